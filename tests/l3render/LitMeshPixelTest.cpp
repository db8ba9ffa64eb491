// The sample mesh drawn through the façade on the OpenGL renderer headless, in a letterboxed
// viewport, lit by the two best of three coloured point lights.
#include "FacadeFixture.h"
#include "d3d9gl/DeviceRenderer.h"
#include "matcore9/BufferAllocator.h"
#include "matcore9/HWObjects.h"
#include "winfile/File.h"

#include <cstdlib>

namespace {

// The quad's centre, and its half size (it spans -1..1 in its own x and y).
const Vector3 QUAD(6.0f, 0.8f, 0.0f);

LightDescription pointLight(const Vector3& at, float r, float g, float b)
{
    LightDescription d{};
    d.Type = D3DLIGHT_POINT;
    d.Colour[0] = r, d.Colour[1] = g, d.Colour[2] = b;
    d.Position[0] = at.x, d.Position[1] = at.y, d.Position[2] = at.z;
    d.Range = 100.0f;
    d.Attenuation0 = 1.0f;
    return d;
}

class LitMeshPixelTest : public FacadeFixture {
protected:
    void SetUp() override
    {
        FacadeFixture::SetUp();
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        d3d9ref::setRendererFactory(&d3d9gl::createOffscreenDeviceRenderer);
        for (const char* f : {"models/demo.msh", "models/demo.mtl", "models/demo.anm", "models/demo.tga"}) copyData(f);
        ASSERT_TRUE(startFacade(640, 480));
        D3DCore.SetClearColour(true, 0, 0, 80);
        CFile file;
        ASSERT_TRUE(file.Open("data\\models\\demo.msh", FILE_MODE_READ | FILE_MODE_BUFFERED));
        m_mesh = new HWMeshObject();
        ASSERT_TRUE(m_mesh->Load(file, 106, "data\\models\\demo.msh"));
        // Red nearest, then green, then blue, all in reach and in front of the quad.
        const Vector3 at[3] = {QUAD - Vector3(2.0f, 0, 0), QUAD - Vector3(2.0f, 1.5f, 0), QUAD - Vector3(3.0f, 0, 1.6f)};
        const float colours[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
        lights().SetLightingEnabled(true);
        for (int i = 0; i < 3; ++i) {
            m_lights[i] = lights().CreateLight();
            const LightDescription d = pointLight(at[i], colours[i][0], colours[i][1], colours[i][2]);
            m_lights[i]->SetDesc(&d);
            lights().SetLightActive(m_lights[i], true);
        }
    }

    void TearDown() override
    {
        if (m_mesh) m_mesh->Release();
        D3DCore.FreeDisplayHandles();
        CBufferAllocator::DestroyInstance();
        FacadeFixture::TearDown();
        d3d9ref::setRendererFactory(nullptr);
    }

    // One frame: the letterboxed 16:9 picture, the camera at the origin looking along x, the
    // quad facing it lit by the lights the manager gathers for it.
    void frame(uint32_t lightsWanted)
    {
        L3BeginScene(true);
        ViewportSettings v;
        v.aspectRatio = AspectRatioToFloat(2);
        v.width = 640, v.height = 480;
        v.nearZ = 1.0f, v.farZ = 1000.0f;
        v.fov = 240.0f / 270.0f;
        L3ApplyViewportSettings(v);
        L3SetViewFromAngles(Vector3(0, 0, 0), 0, 0, 0);
        CLight* list[3] = {};
        uint32_t n = lightsWanted;
        lights().GatherLights(QUAD, 1.5f, list, &n);
        lights().ApplyLights(list, n);
        // The quad's x to the world's -y (to the right on screen), its y up, its normal (0, 0, -1)
        // towards the camera.
        MeshTransform placement{{0, -1, 0, 0, 0, 1, 1, 0, 0}, {QUAD.x, QUAD.y, QUAD.z}, {1, 1, 1}};
        SetWorldMatrixFrom43(placement);
        m_mesh->Render(0);
        L3EndScene();
        L3Present(false);
    }

    // The presented image at (x, y) as 0x00RRGGBB.
    DWORD pixel(int x, int y)
    {
        IDirect3DTexture9* capture = nullptr;
        IDirect3DSurface9* surface = nullptr;
        EXPECT_EQ(DXInterface.ID3DDevice->CreateTexture(640, 480, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &capture,
                                                        nullptr),
                  D3D_OK);
        capture->GetSurfaceLevel(0, &surface);
        EXPECT_EQ(DXInterface.ID3DDevice->GetFrontBufferData(0, surface), D3D_OK);
        D3DLOCKED_RECT r{};
        surface->LockRect(&r, nullptr, D3DLOCK_READONLY);
        DWORD p;
        std::memcpy(&p, static_cast<const uint8_t*>(r.pBits) + y * r.Pitch + x * 4, 4);
        surface->UnlockRect();
        surface->Release();
        capture->Release();
        return p & 0xFFFFFF;
    }

    // Where a world point lands on the render target, through the viewport.
    static std::pair<int, int> onTarget(const Vector3& world)
    {
        Vector3 p;
        EXPECT_TRUE(L3ViewportToScreen(world, &p));
        return {static_cast<int>(p.x) + static_cast<int>(D3DCore.LastViewPort.X),
                static_cast<int>(p.y) + static_cast<int>(D3DCore.LastViewPort.Y)};
    }

    HWMeshObject* m_mesh = nullptr;
    CLight* m_lights[3] = {};
};

int red(DWORD p) { return (p >> 16) & 0xFF; }
int green(DWORD p) { return (p >> 8) & 0xFF; }
int blue(DWORD p) { return p & 0xFF; }

TEST_F(LitMeshPixelTest, TheTwoBestLightsLightTheMeshWhereTheSceneCorePutsIt)
{
    frame(2);
    EXPECT_EQ(std::vector<float>({float(D3DCore.LastViewPort.Y), float(D3DCore.LastViewPort.Height)}),
              std::vector<float>({60, 360}));
    EXPECT_TRUE(m_lights[0]->IsEnabled() && m_lights[1]->IsEnabled() && !m_lights[2]->IsEnabled());
    const auto [cx, cy] = onTarget(QUAD);
    // Full width: the render target's x is the viewport's.
    Vector3 screen;
    ASSERT_TRUE(L3WorldToScreen(QUAD, &screen));
    EXPECT_NEAR(screen.x, cx, 1.0f);
    EXPECT_LT(cx, 320);  // the quad stands left of the view's centre

    // Red and green light it; blue, ranked third, does not.
    const DWORD lit = pixel(cx, cy);
    EXPECT_GT(red(lit), 20) << std::hex << lit;
    EXPECT_GT(green(lit), 20) << std::hex << lit;
    EXPECT_LT(blue(lit), 8) << std::hex << lit;
    // Its edges lie where the scene core projects its corners; outside them the clear colour, and
    // the bars keep the border colour.
    const auto [leftX, topY] = onTarget(QUAD + Vector3(0, 1, 1));
    const auto [rightX, bottomY] = onTarget(QUAD + Vector3(0, -1, -1));
    ASSERT_LT(leftX + 10, rightX);
    ASSERT_LT(topY + 10, bottomY);
    for (const auto& [x, y] : {std::pair{leftX + 3, topY + 3}, {rightX - 3, bottomY - 3}, {leftX + 3, bottomY - 3}})
        EXPECT_NE(pixel(x, y), 0x000050u) << x << "," << y;
    for (const auto& [x, y] : {std::pair{leftX - 3, cy}, {rightX + 3, cy}, {cx, topY - 3}, {cx, bottomY + 3}})
        EXPECT_EQ(pixel(x, y), 0x000050u) << x << "," << y;
    EXPECT_EQ(std::vector<DWORD>({pixel(cx, 58), pixel(cx, 421), pixel(0, 0), pixel(639, 479)}),
              std::vector<DWORD>(4, 0u));

    // Gathered with room for all three, blue joins: its absence above was the ranking.
    frame(3);
    EXPECT_GT(blue(pixel(cx, cy)), 20) << std::hex << pixel(cx, cy);
}

}  // namespace
