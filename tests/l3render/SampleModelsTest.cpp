// The sample data's models are what the model tool writes today, and they load as the game and
// the sample animations expect them.
#include "ModelFixture.h"
#include "SampleModels.h"
#include "matcore9/HWObjects.h"

#include <fstream>
#include <sstream>

using SampleModelsTest = ModelFixture;

TEST_F(SampleModelsTest, TheDataHoldsWhatTheToolWrites)
{
    for (const auto& [name, bytes] : samplemodels::files()) {
        std::ifstream in(std::string(VELDRANE_DATA) + "/" + name, std::ios::binary);
        std::stringstream shipped;
        shipped << in.rdbuf();
        EXPECT_EQ(shipped.str(), bytes) << name;
        write("data/" + name, bytes);
    }
    // The robot's parts numbered by its class as the walk names them (where they rest is seen when
    // it is drawn).
    CModel* robot = CModelUtil::LoadModel("data\\models\\robot.rsm", 0, 1.0f, nullptr, CModelUtil::LOAD_TOOL);
    ASSERT_NE(robot, nullptr);
    const char* parts[4] = {"root", "armL", "armR", "hand"};
    for (uint32_t node = 0; node < 4; ++node) {
        uint32_t index = 0;
        EXPECT_TRUE(CModelClassManager::GetClass(robot->m_classId)->FindElement(parts[node], &index)) << parts[node];
        EXPECT_EQ(node, index);
    }
    EXPECT_EQ(robot->FindParent(robot->FindElementByNode(3, 0), 0), robot->FindElementByNode(2, 0));
    EXPECT_EQ(robot->m_numMeshElements, 3u);
    // Round the root, as far as the hand's cube reaches: 20 + 5 + the cube's half diagonal.
    EXPECT_NEAR(robot->m_radius, 25.0f + std::sqrt(3.0f), 1e-4f);

    // The sphere: radius 2 round the origin, one strip with its joins counted.
    CModel* sphere = CModelUtil::LoadModel("data\\sphere.rsm", 0, 1.0f, nullptr, CModelUtil::LOAD_TOOL);
    ASSERT_NE(sphere, nullptr);
    const TMD* strip = static_cast<HWToolObject*>(sphere->GetRootLodModel(0)->m_pMeshObject)->TMBs.First->TMDs.First;
    EXPECT_EQ(std::make_pair(2.0f, 1u), std::make_pair(sphere->m_radius, uint32_t(strip->Kind)));
    EXPECT_GT(strip->Degenerates, 0u);

    EXPECT_NE(CModelUtil::LoadModel("data\\models\\debris.rsm", 0, 1.0f, nullptr, CModelUtil::LOAD_TOOL), nullptr);
    EXPECT_TRUE(testsupport::reports().empty());
}
