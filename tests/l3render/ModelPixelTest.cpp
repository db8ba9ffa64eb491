// The sample models drawn through the façade on the OpenGL renderer headless: the robot through its
// instance, lit by two lights, where the scene core projects its elements; a clump of four blocks
// gives the same picture combined as member by member.
#include "FacadeFixture.h"
#include "d3d9gl/DeviceRenderer.h"
#include "l3render/ModelClump.h"
#include "l3render/ModelManager.h"
#include "l3render/ModelUtil.h"
#include "matcore9/BufferAllocator.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>

namespace {

const DWORD CLEAR = 0x000050;

class ModelPixelTest : public FacadeFixture {
protected:
    void SetUp() override
    {
        FacadeFixture::SetUp();
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        d3d9ref::setRendererFactory(&d3d9gl::createOffscreenDeviceRenderer);
        for (const char* f : {"models/robot.rsm", "classdef/robot.def", "models/debris.rsm", "models/demo.mtl",
                              "models/demo.anm", "models/demo.tga"})
            copyData(f);
        ASSERT_TRUE(startFacade(640, 480));
        D3DCore.SetClearColour(true, 0, 0, 0x50);
        D3DCore.FrameStatsEnabled = 0;
    }

    void TearDown() override
    {
        CModelManager::Shutdown();
        D3DCore.FreeDisplayHandles();
        CBufferAllocator::DestroyInstance();
        FacadeFixture::TearDown();
        d3d9ref::setRendererFactory(nullptr);
    }

    // One frame of the whole 4:3 target seen from the origin along x; the presented image kept.
    void frame(const std::function<void()>& draw)
    {
        L3BeginScene(true);
        ViewportSettings v;
        v.aspectRatio = AspectRatioToFloat(0);
        v.width = 640, v.height = 480;
        v.nearZ = 1.0f, v.farZ = 1000.0f, v.fov = 0.75f;
        L3ApplyViewportSettings(v);
        L3SetViewFromAngles(Vector3(0, 0, 0), 0, 0, 0);
        draw();
        L3EndScene();
        L3Present(false);
        m_image = frontBuffer(640, 480);
    }

    DWORD at(const Vector3& world) const
    {
        Vector3 p;
        EXPECT_TRUE(L3WorldToScreen(world, &p));
        return m_image.at(static_cast<size_t>(p.y) * 640 + static_cast<size_t>(p.x));
    }
    static Vector3 position(const CModelElement* e)
    {
        return Vector3(e->m_world.Translation[0], e->m_world.Translation[1], e->m_world.Translation[2]);
    }
    static void light(float r, float g, Vector3 direction, LightDescription* d)
    {
        *d = LightDescription{};
        d->Type = D3DLIGHT_DIRECTIONAL;
        d->Colour[0] = r, d->Colour[1] = g;
        d->Direction[0] = direction.x, d->Direction[1] = direction.y, d->Direction[2] = direction.z;
        d->Range = 1000;
    }

    std::vector<DWORD> m_image;
};

}  // namespace

TEST_F(ModelPixelTest, TheRobotIsLitWhereItsElementsAre)
{
    CModel* robot = CModelUtil::LoadModel("data\\models\\robot.rsm", 0, 1.0f, nullptr, 0);
    ASSERT_NE(robot, nullptr);
    CModelInst* inst = CModelManager::CreateModelInst(robot);
    // Standing (its y up the world's z), its left arm to the right of the screen.
    inst->m_transform = {{0, -1, 0, 0, 0, 1, -1, 0, 0}, {50, 5, -10}, {1, 1, 1}};
    lights().SetLightingEnabled(true);
    for (int i = 0; i < 2; ++i) {
        LightDescription d;
        light(i == 0, i == 1, i == 0 ? Vector3(1, 0, 0) : Vector3(1, -0.5f, -0.5f), &d);
        CLight* l = lights().CreateLight();
        l->SetDesc(&d);
        lights().SetLightActive(l, true);
    }
    std::vector<Vector3> before;
    frame([&] { EXPECT_EQ(inst->Render(), 0); });
    // Each mesh element shows red and green light on its texture, and nothing blue.
    for (uint32_t node = 1; node < 4; ++node) {
        const Vector3 p = position(robot->FindElementByNode(node, 0));
        before.push_back(p);
        const DWORD c = at(p);
        EXPECT_TRUE((c >> 16) > 20 && ((c >> 8) & 0xFF) > 20 && (c & 0xFF) < 8) << node << ": " << std::hex << c;
    }
    EXPECT_NEAR(before[0].y, -5, 1e-4);  // the left arm
    EXPECT_NEAR(before[2].z, 15, 1e-4);  // the hand

    // Turned half round: the elements move, and what they left is background.
    inst->m_transform = {{0, 1, 0, 0, 0, 1, 1, 0, 0}, {50, 5, -10}, {1, 1, 1}};
    frame([&] { inst->Render(); });
    const Vector3 arm = position(robot->FindElementByNode(1, 0));
    EXPECT_NEAR(arm.y, 15, 1e-4);
    EXPECT_NE(at(arm), CLEAR);
    EXPECT_EQ(at(before[0]), CLEAR);
}

TEST_F(ModelPixelTest, AClumpLooksTheSameCombinedAsMemberByMember)
{
    CModel* block = CModelUtil::LoadModel("data\\models\\debris.rsm", 0, 1.0f, nullptr, CModelUtil::LOAD_DYNAMIC);
    ASSERT_NE(block, nullptr);
    // The card's light on, the light manager's off: both ways are lit alike.
    LightDescription sun;
    light(1, 1, Vector3(1, -0.4f, -0.6f), &sun);
    const uint32_t h = MatCore.Lights.AllocLight();
    MatCore.Lights.SetLight(h, sun);
    MatCore.Lights.LightEnable(h, true);
    CModelClump clump;
    ASSERT_TRUE(clump.Init(4, 0xffff, 0xffff, 0));
    for (int i = 0; i < 4; ++i) {
        CModelInst* inst = CModelManager::CreateModelInst(block);
        const float s = std::sin(0.6f * i), c = std::cos(0.6f * i);
        inst->m_transform = {{c, s, 0, -s, c, 0, 0, 0, 1}, {8.0f + i, 1.5f - i, i % 2 - 0.5f}, {1, 1, 1}};
        ASSERT_TRUE(clump.AddElement(inst, 0, nullptr));
    }
    clump.Finish();

    // At exactly the switch distance the members are drawn, each counted; nearer it, the mesh.
    bool visible = false;
    float depth = 0;
    std::vector<DWORD> members, combined;
    frame([&] {
        L3SphereInFrustum(clump.m_centre, clump.m_radius, false);
        depth = L3Scene.lastDepth;
        EXPECT_TRUE(clump.Render(depth, false, &visible));
    });
    EXPECT_TRUE(visible);
    EXPECT_EQ(L3Scene.drawsAttempted, 4u);
    members = m_image;
    frame([&] { EXPECT_FALSE(clump.Render(depth - 0.01f, false, &visible)); });
    EXPECT_EQ(L3Scene.drawsAttempted, 0u);
    combined = m_image;
    int drawn = 0, differ = 0;
    for (size_t i = 0; i < members.size(); ++i) {
        drawn += members[i] != CLEAR;
        const DWORD a = members[i], b = combined[i];
        for (int shift : {0, 8, 16}) differ += std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 3;
    }
    EXPECT_GT(drawn, 2000);
    EXPECT_LT(differ, drawn / 100);
    // Forced, the combined mesh is drawn whatever the distance; out of view, nothing.
    frame([&] { EXPECT_FALSE(clump.Render(1e9f, true, &visible)); });
    EXPECT_EQ(m_image, combined);
    clump.m_centre = clump.m_centre * -1.0f;
    frame([&] { clump.Render(1e9f, false, &visible); });
    EXPECT_FALSE(visible);
    EXPECT_EQ(std::count(m_image.begin(), m_image.end(), CLEAR), 640 * 480);
    MatCore.Lights.LightEnable(h, false);
    MatCore.Lights.FreeLight(h);
}
