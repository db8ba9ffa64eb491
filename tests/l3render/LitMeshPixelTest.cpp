// The sample mesh drawn through the façade on the OpenGL renderer headless, in a letterboxed
// viewport, lit by the two best of three coloured point lights.
#include "FacadeFixture.h"
#include "matcore9/HWObjects.h"
#include "winfile/File.h"


namespace {

// The quad's centre; it spans -1..1 in its own x and y.
const Vector3 QUAD(6.0f, 0.8f, 0.0f);

class LitMeshPixelTest : public FacadeFixture {
protected:
    void SetUp() override
    {
        FacadeFixture::SetUp();
        ASSERT_TRUE(startDrawing({"models/demo.msh", "models/demo.mtl", "models/demo.anm", "models/demo.tga"}));
        D3DCore.SetClearColour(true, 0, 0, 80);
        CFile file;
        ASSERT_TRUE(file.Open("data\\models\\demo.msh", FILE_MODE_READ | FILE_MODE_BUFFERED));
        m_mesh = new HWMeshObject();
        ASSERT_TRUE(m_mesh->Load(file, 106, "data\\models\\demo.msh"));
        // Red nearest, then green, then blue, all in reach and in front of the quad.
        const Vector3 at[3] = {QUAD - Vector3(2, 0, 0), QUAD - Vector3(2, 1.5f, 0), QUAD - Vector3(3, 0, 1.6f)};
        lights().SetLightingEnabled(true);
        for (int i = 0; i < 3; ++i) {
            LightDescription d{};
            d.Type = D3DLIGHT_POINT;
            d.Colour[i] = 1.0f;
            d.Position[0] = at[i].x, d.Position[1] = at[i].y, d.Position[2] = at[i].z;
            d.Range = 100.0f;
            d.Attenuation0 = 1.0f;
            m_lights[i] = lights().CreateLight();
            m_lights[i]->SetDesc(&d);
            lights().SetLightActive(m_lights[i], true);
        }
    }

    void TearDown() override
    {
        if (m_mesh) m_mesh->Release();
        FacadeFixture::TearDown();
    }

    // One frame: the 16:9 picture letterboxed, the camera at the origin looking along x, the quad
    // facing it lit by the lights gathered for it; the presented image kept.
    void frame(uint32_t lightsWanted)
    {
        L3BeginScene(true);
        ViewportSettings v;
        v.aspectRatio = AspectRatioToFloat(2);
        v.width = 640, v.height = 480;
        v.nearZ = 1.0f, v.farZ = 1000.0f, v.fov = 240.0f / 270.0f;
        L3ApplyViewportSettings(v);
        L3SetViewFromAngles(Vector3(0, 0, 0), 0, 0, 0);
        CLight* list[3] = {};
        lights().GatherLights(QUAD, 1.5f, list, &lightsWanted);
        lights().ApplyLights(list, lightsWanted);
        // The quad's x to the world's -y (right on screen), its y up, its normal towards the camera.
        SetWorldMatrixFrom43(MeshTransform{{0, -1, 0, 0, 0, 1, 1, 0, 0}, {QUAD.x, QUAD.y, QUAD.z}, {1, 1, 1}});
        m_mesh->Render(0);
        L3EndScene();
        L3Present(false);
        m_image = frontBuffer(640, 480);
    }

    DWORD pixel(int x, int y) const { return m_image.at(y * 640 + x); }

    // Where a world point lands on the render target, through the viewport.
    static std::pair<int, int> onTarget(const Vector3& world)
    {
        Vector3 p;
        EXPECT_TRUE(L3ViewportToScreen(world, &p));
        return {int(p.x) + int(D3DCore.LastViewPort.X), int(p.y) + int(D3DCore.LastViewPort.Y)};
    }

    HWMeshObject* m_mesh = nullptr;
    CLight* m_lights[3] = {};
    std::vector<DWORD> m_image;
};

TEST_F(LitMeshPixelTest, TheTwoBestLightsLightTheMeshWhereTheSceneCorePutsIt)
{
    frame(2);
    EXPECT_EQ(std::vector<DWORD>({D3DCore.LastViewPort.Y, D3DCore.LastViewPort.Height}), std::vector<DWORD>({60, 360}));
    EXPECT_TRUE(m_lights[0]->IsEnabled() && m_lights[1]->IsEnabled() && !m_lights[2]->IsEnabled());
    // The render target's x is the viewport's at full width; the quad stands left of centre.
    const auto [cx, cy] = onTarget(QUAD);
    Vector3 screen;
    ASSERT_TRUE(L3WorldToScreen(QUAD, &screen));
    EXPECT_NEAR(screen.x, cx, 1.0f);
    EXPECT_LT(cx, 300);

    // Red and green light it; blue, ranked third, does not.
    const DWORD lit = pixel(cx, cy);
    EXPECT_TRUE((lit >> 16) > 20 && ((lit >> 8) & 0xFF) > 20 && (lit & 0xFF) < 8) << std::hex << lit;
    // Its corners lie where the scene core projects them; outside them the clear colour, and the
    // bars keep the border colour.
    const auto [left, top] = onTarget(QUAD + Vector3(0, 1, 1));
    const auto [right, bottom] = onTarget(QUAD + Vector3(0, -1, -1));
    ASSERT_TRUE(left + 10 < right && top + 10 < bottom);
    for (const auto& [x, y] : {std::pair{left + 3, top + 3}, {right - 3, bottom - 3}, {left + 3, bottom - 3}})
        EXPECT_NE(pixel(x, y), 0x000050u) << x << "," << y;
    for (const auto& [x, y] : {std::pair{left - 3, cy}, {right + 3, cy}, {cx, top - 3}, {cx, bottom + 3}})
        EXPECT_EQ(pixel(x, y), 0x000050u) << x << "," << y;
    EXPECT_EQ(std::vector<DWORD>({pixel(cx, 58), pixel(cx, 421), pixel(0, 0), pixel(639, 479)}), std::vector<DWORD>(4, 0));

    // Gathered with room for all three, blue joins: its absence above was the ranking.
    frame(3);
    EXPECT_GT(pixel(cx, cy) & 0xFF, 20u) << std::hex << pixel(cx, cy);
}

}  // namespace
