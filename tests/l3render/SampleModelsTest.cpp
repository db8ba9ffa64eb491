// The sample data's models are what the model tool writes today, and they load as the game and
// the animations expect them.
#include "ModelFixture.h"
#include "SampleModels.h"
#include "matcore9/HWObjects.h"

#include <fstream>
#include <sstream>

namespace {

std::string shipped(const std::string& name)
{
    std::ifstream in(std::string(VELDRANE_DATA) + "/" + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

using SampleModelsTest = ModelFixture;

TEST_F(SampleModelsTest, TheDataHoldsWhatTheToolWrites)
{
    for (const auto& [name, bytes] : samplemodels::files()) {
        SCOPED_TRACE(name);
        EXPECT_EQ(shipped(name), bytes);
        write("data/" + name, bytes);
    }
    // The robot: its parts numbered by its class as the walk animation names them, at rest where
    // the animation has them.
    CModel* robot = CModelUtil::LoadModel("data\\models\\robot.rsm", 0, 1.0f, nullptr, CModelUtil::LOAD_TOOL);
    ASSERT_NE(robot, nullptr);
    const char* parts[4] = {"root", "armL", "armR", "hand"};
    const float rest[4][3] = {{0, 0, 0}, {10, 0, 0}, {0, 20, 0}, {0, 5, 0}};
    for (uint32_t node = 0; node < 4; ++node) {
        SCOPED_TRACE(parts[node]);
        uint32_t index = 0;
        ASSERT_TRUE(CModelClassManager::GetClass(robot->m_classId)->FindElement(parts[node], &index));
        EXPECT_EQ(index, node);
        const CModelElement* e = robot->FindElementByNode(node, 0);
        ASSERT_NE(e, nullptr);
        for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(e->m_local.Translation[i], rest[node][i]);
        EXPECT_EQ(e->m_pMeshObject != nullptr, node != 0);
    }
    EXPECT_EQ(robot->FindParent(robot->FindElementByNode(3, 0), 0), robot->FindElementByNode(2, 0));
    EXPECT_EQ(robot->m_numMeshElements, 3u);
    // Round the root, as far as the hand's cube reaches: 20 + 5 + the cube's half diagonal.
    EXPECT_NEAR(robot->m_radius, 25.0f + std::sqrt(3.0f), 1e-4f);

    // The sphere: radius 2 round the origin, one strip.
    CModel* sphere = CModelUtil::LoadModel("data\\sphere.rsm", 0, 1.0f, nullptr, CModelUtil::LOAD_TOOL);
    ASSERT_NE(sphere, nullptr);
    EXPECT_FLOAT_EQ(sphere->m_radius, 2.0f);
    const auto* tool = static_cast<HWToolObject*>(sphere->GetRootLodModel(0)->m_pMeshObject);
    const TMD* strip = tool->TMBs.First->TMDs.First;
    EXPECT_EQ(strip->Kind, 1u);
    EXPECT_GT(strip->Degenerates, 0u);
    EXPECT_NE(CModelUtil::LoadModel("data\\models\\debris.rsm", 0, 1.0f, nullptr, CModelUtil::LOAD_TOOL), nullptr);
    EXPECT_TRUE(testsupport::reports().empty());
}
