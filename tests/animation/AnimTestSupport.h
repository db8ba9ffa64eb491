// Animations written to a temporary folder that the test runs in, with the list pool their trees
// need; for animations on models, a robot of dummy elements (no device): root, armL at (10, 0, 0),
// armR at (0, 20, 0) and hand at (0, 5, 0) under armR, of class robot.
#pragma once

#include "ModelWriter.h"
#include "TestSupport.h"
#include "animation/ModelAnim.h"
#include "l3render/Model.h"
#include "l3render/ModelClassManager.h"
#include "l3render/ModelInst.h"
#include "l3render/ModelManager.h"
#include "l3render/ModelUtil.h"
#include "utility/LList.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// The linear sample: the root moves 100 along x in 1000 ms while armL turns 90 degrees about z.
inline const char* const kLinearSample =
    "#HIERARCHY\n\"Root\" \"none\"\n\"armL\" \"Root\"\n"
    "#NAME:\"Root\"\n#TRACK:POS #CONTROLLER:Linear\n0[0,0,0] 4800[100,0,0]\n"
    "#NAME:\"armL\"\n#TRACK:ROT #CONTROLLER:Linear\n0[1,0,0,0] 4800[0.70710678,0,0,0.70710678]\n";

class AnimTest : public ::testing::Test {
protected:
    void SetUp() override { llistInitElementPool(); }
    void TearDown() override { llistFreeElementPool(); }

    // Each text a file of its own: a file that failed is not read again in the run.
    std::unique_ptr<CAnimation> load(const std::string& text)
    {
        const std::string name = "anim" + std::to_string(m_loads++) + ".txt";
        m_dir.write(name, text);
        return std::make_unique<CAnimation>(name.c_str());
    }

    testsupport::TempDir m_dir;
    testsupport::ScopedCwd m_cwd{m_dir.path()};
    int m_loads = 0;
};

inline CAnimNode* node(CAnimation& anim, const char* name) { return anim.GetHierarchy().FindNodeByName(name); }

class ModelAnimFixture : public AnimTest {
protected:
    void SetUp() override
    {
        AnimTest::SetUp();
        ASSERT_TRUE(CModelClassManager::Init() && CModelManager::Init());
        namespace mw = modelwriter;
        m_dir.write("data/classdef/robot.def", mw::classFile({{"robot", {"root", "armL", "armR", "hand"}}}));
        mw::Element root("root"), armR("armR", 0, 20, 0);
        armR.Children.push_back(mw::Element("hand", 0, 5, 0));
        root.Children = {mw::Element("armL", 10, 0, 0), armR};
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
        AnimTest::TearDown();
    }

    // A new instance of the robot; the model manager's shutdown takes it.
    static CModelInst* robotInstance()
    {
        CModel* model = CModelUtil::LoadModel("data\\models\\robot.rsm", 0, 1.0f, nullptr, 0);
        return model ? CModelManager::CreateModelInst(model) : nullptr;
    }

    static const CModelClass* classNamed(const char* name)
    {
        uint32_t id = 0;
        return CModelClassManager::FindClassId(name, &id, true) ? CModelClassManager::GetClass(id) : nullptr;
    }

    // The translations of the instance's nodes, x, y, z by turns.
    static std::vector<float> positions(CModelInst* inst)
    {
        std::vector<float> all;
        for (uint32_t n = 0; n < inst->GetNumAnimNodes(); ++n) {
            const float* t = inst->GetAnimNode(n)->Translation;
            all.insert(all.end(), t, t + 3);
        }
        return all;
    }
};
