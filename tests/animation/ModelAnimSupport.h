// Model animation on a robot of dummy elements (no device needed): root, armL at (10, 0, 0),
// armR at (0, 20, 0) and hand at (0, 5, 0) under armR, of class robot, in a temporary data
// folder that the test runs in, with the managers its models need.
#pragma once

#include "ModelWriter.h"
#include "TestSupport.h"
#include "animation/ModelAnim.h"
#include "l3render/Model.h"
#include "l3render/ModelClassManager.h"
#include "l3render/ModelManager.h"
#include "l3render/ModelUtil.h"
#include "utility/LList.h"

#include <gtest/gtest.h>

#include <string>

namespace mw = modelwriter;

class ModelAnimFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        llistInitElementPool();
        ASSERT_TRUE(CModelClassManager::Init());
        ASSERT_TRUE(CModelManager::Init());
        m_dir.write("data/classdef/robot.def", mw::classFile({{"robot", {"root", "armL", "armR", "hand"}}}));
        mw::Element root("root");
        mw::Element armR("armR", 0, 20, 0);
        armR.Children.push_back(mw::Element("hand", 0, 5, 0));
        root.Children.push_back(mw::Element("armL", 10, 0, 0));
        root.Children.push_back(armR);
        mw::Model robot;
        robot.ClassName = "robot";
        robot.Lods.push_back({0.0f, root});
        m_dir.write("data/models/robot.rsm", mw::model(robot));
    }

    void TearDown() override
    {
        CModelManager::Shutdown();
        EXPECT_EQ(0u, CModelManager::GetNumModels() + CModelManager::GetNumModelInsts());
        CModelClassManager::Shutdown();
        llistFreeElementPool();
    }

    static const CModelClass* classNamed(const char* name)
    {
        uint32_t id = 0;
        return CModelClassManager::FindClassId(name, &id, true) ? CModelClassManager::GetClass(id) : nullptr;
    }

    // The x, y, z of an instance node's translation.
    static std::vector<float> position(CModelInst* inst, uint32_t node)
    {
        const float* t = inst->GetAnimNode(node)->Translation;
        return {t[0], t[1], t[2]};
    }

    testsupport::TempDir m_dir;
    testsupport::ScopedCwd m_cwd{m_dir.path()};
};
