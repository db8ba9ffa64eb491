// Models without a device: files written by the model writer into a temporary data folder, tool
// meshes (load flag 4) where a mesh is needed, the class and model managers started and stopped
// around each test, which ends with nothing left in the manager's lists.
#pragma once

#include "ModelWriter.h"
#include "TestSupport.h"
#include "l3render/Model.h"
#include "l3render/ModelClassManager.h"
#include "l3render/ModelManager.h"
#include "l3render/ModelUtil.h"
#include "matcore9/BufferAllocator.h"
#include "platform/testing.h"
#include "utility/LList.h"

#include <gtest/gtest.h>

#include <string>

namespace mw = modelwriter;

class ModelFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        llistInitElementPool();
        platform::testing::clearMessageBoxes();
        ASSERT_TRUE(CModelClassManager::Init());
        ASSERT_TRUE(CModelManager::Init());
    }

    void TearDown() override
    {
        CModelManager::Shutdown();
        EXPECT_EQ(listed() + CModelManager::GetNumModelInsts(), 0u);
        CModelClassManager::Shutdown();
        EXPECT_EQ(CBufferAllocator::GetInstance()->BlocksInUse(), 0u);
        CBufferAllocator::DestroyInstance();
        llistFreeElementPool();
    }

    void write(const std::string& path, const std::string& bytes) { m_dir.write(path, bytes); }

    // The model written to data\models\m.rsm and loaded (tool meshes unless told otherwise).
    CModel* load(const mw::Model& m, uint32_t lod = 0, CModel* into = nullptr, uint32_t flags = CModelUtil::LOAD_TOOL,
                 float lodDistance = 1.0f)
    {
        write("data/models/m.rsm", mw::model(m));
        return CModelUtil::LoadModel("data\\models\\m.rsm", lod, lodDistance, into, flags);
    }

    void writeRobotClass() { write("data/classdef/robot.def", mw::classFile({{"robot", {"root", "armL", "armR", "hand"}}})); }

    // The robot of the sample walk: a dummy root with armL at (10, 0, 0) and armR at (0, 20, 0), a
    // mesh hand at (0, 5, 0) under armR.
    static mw::Model robot(uint32_t version = 106)
    {
        mw::Element root("root"), armR("armR", 0, 20, 0), hand = mw::quadElement("hand", version);
        hand.Translation[1] = 5;
        armR.Children.push_back(hand);
        root.Children = {mw::Element("armL", 10, 0, 0), armR};
        mw::Model m;
        m.Version = version;
        m.ClassName = "robot";
        m.Lods.push_back({0.0f, root});
        return m;
    }

    // The i-th child in list order (the reverse of the file's).
    static CModelElement* child(CModelElement* e, int i)
    {
        for (e = e->m_pFirstChild; e && i--;) e = e->m_pNextSibling;
        return e;
    }

    static uint32_t listed()
    {
        return CModelManager::GetNumElements() + CModelManager::GetNumModels() + CModelManager::GetNumElementBindings();
    }

    testsupport::TempDir m_dir;
    testsupport::ScopedCwd m_cwd{m_dir.path()};
};
