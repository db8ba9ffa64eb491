// The sample robot walking, drawn on the OpenGL renderer headless: its elements stand where the
// walk's keys put them at 0, 250 and 500 ms, and the hand's pixels follow its swing.
#include "FacadeFixture.h"
#include "animation/ModelAnim.h"
#include "l3render/ModelClassManager.h"
#include "l3render/ModelUtil.h"

#include <cmath>

using WalkPixelTest = FacadeFixture;

TEST_F(WalkPixelTest, TheSampleRobotWalksAsItsKeysSay)
{
    ASSERT_TRUE(startDrawing({"models/robot.rsm", "classdef/robot.def", "models/demo.mtl", "models/demo.anm",
                              "models/demo.tga", "anims/robot_walk.txt"}));
    const DWORD clear = 0x000050;
    D3DCore.SetClearColour(true, 0, 0, 0x50);
    CModel* robot = CModelUtil::LoadModel("data\\models\\robot.rsm", 0, 1, nullptr, 0);
    ASSERT_NE(robot, nullptr);
    CModelInst* inst = CModelManager::CreateModelInst(robot);
    // Upright, 50 ahead of the camera: the model's y to the left, its z up.
    inst->m_transform = {{1, 0, 0, 0, 1, 0, 0, 0, 1}, {50, -12, 0}, {1, 1, 1}};
    CModelAnim walk("data\\anims\\robot_walk.txt");
    ASSERT_TRUE(walk.Attach(CModelClassManager::GetClass(robot->m_classId), inst));
    std::vector<DWORD> image;
    auto at = [&](const float* world) {
        Vector3 p;
        EXPECT_TRUE(L3WorldToScreen(Vector3(world[0], world[1], world[2]), &p));
        return image.at(size_t(p.y) * 640 + size_t(p.x));
    };
    // The root bobs up 1 at a quarter; the right arm turns 30 degrees about x, swinging the hand,
    // 5 from it, 2.5 down.
    const std::vector<float> rest = {50, -12, 0, 60, -12, 0, 50, 8, 0, 50, 13, 0},
                             quarter = {50, -12, 1, 60, -12, 1, 50, 8, 1, 50, 8 + 5 * std::cos(0.5235988f), -1.5f};
    std::vector<float> handAtRest;
    for (const auto& [elapsed, pose] : {std::pair{0u, rest}, {250u, quarter}, {250u, rest}}) {
        walk.Play(elapsed);
        drawFrame(wholeTarget(0.75f, 1, 1000), [&] {
            L3SetViewFromAngles(Vector3(0, 0, 0), 0, 0, 0);
            EXPECT_EQ(0, inst->Render());
        });
        image = frontBuffer(640, 480);
        for (uint32_t n = 0; n < 4; ++n)
            for (int i = 0; i < 3; ++i)
                EXPECT_NEAR(pose[n * 3 + i], robot->FindElementByNode(n, 0)->m_world.Translation[i], 1e-4f) << elapsed;
        const float* hand = robot->FindElementByNode(3, 0)->m_world.Translation;
        EXPECT_NE(clear, at(hand));
        if (handAtRest.empty()) handAtRest.assign(hand, hand + 3);
        EXPECT_EQ(pose == rest, at(handAtRest.data()) != clear);
    }
}
