// Display lists drawn on the OpenGL renderer headless: a textured, animated list (also after a
// lost device) and transparent quads that come out right only when drawn far to near.
#include "DisplayListFixture.h"

#include "d3d9gl/DeviceRenderer.h"
#include "d3dcore9/MaterialAnimation.h"
#include "d3dcore9/RenderMatrix.h"

#include <cstdlib>

namespace pt = platform::testing;

namespace {

struct TexturedVertex {  // XYZ | TEX1
    float x, y, z, u, v;
};

class DisplayListPixelTest : public DisplayListFixture {
protected:
    void SetUp() override
    {
        DisplayListFixture::SetUp();
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        d3d9ref::setRendererFactory(&d3d9gl::createOffscreenDeviceRenderer);
        ASSERT_TRUE(bringUp(false, 640, 480));
        D3DMATRIX identity;
        RenderMatrix::identity(identity);
        D3DCore.SetWorldMatrix(identity);
        DXInterface.ID3DDevice->SetTransform(D3DTS_VIEW, &identity);
        DXInterface.ID3DDevice->SetTransform(D3DTS_PROJECTION, &identity);
        D3DCore.SetClearColour(true, 0, 0, 0);
    }

    void TearDown() override
    {
        if (m_texture) m_texture->Release();
        DisplayListFixture::TearDown();
        d3d9ref::setRendererFactory(nullptr);
    }

    // One frame of the given lists, presented; false when the device gave no scene.
    bool frame(std::initializer_list<DisplayHandle*> lists)
    {
        D3DCore.BeginScene(true, false);
        const bool drew = D3DCore.BegunScene != 0;
        for (DisplayHandle* h : lists) D3DCore.DrawDisplayList(h, 0);
        D3DCore.EndScene(true);
        D3DCore.Present(false);
        return drew;
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

    static ::testing::AssertionResult near(DWORD p, DWORD expected, int tolerance = 3)
    {
        for (int shift : {0, 8, 16})
            if (std::abs(static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((expected >> shift) & 0xFF)) > tolerance)
                return ::testing::AssertionFailure() << std::hex << "got " << p << ", expected " << expected;
        return ::testing::AssertionSuccess();
    }

    // The colour of each quarter of the screen: top left, top right, bottom left, bottom right.
    std::vector<DWORD> quarters() { return {pixel(160, 120), pixel(480, 120), pixel(160, 360), pixel(480, 360)}; }

    IDirect3DTexture9* m_texture = nullptr;
};

TEST_F(DisplayListPixelTest, ATexturedAnimatedListSurvivesALostDevice)
{
    // Red, green / blue, white, sampled point by point.
    ASSERT_EQ(DXInterface.ID3DDevice->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &m_texture, nullptr),
              D3D_OK);
    D3DLOCKED_RECT r{};
    m_texture->LockRect(0, &r, nullptr, 0);
    const DWORD texels[2][2] = {{0xFFFF0000, 0xFF00FF00}, {0xFF0000FF, 0xFFFFFFFF}};
    for (int y = 0; y < 2; ++y) std::memcpy(static_cast<uint8_t*>(r.pBits) + y * r.Pitch, texels[y], 8);
    m_texture->UnlockRect(0);
    GMaterial* GM = newMaterial("textured.mtl", {1},
                                {{rs(D3DRS_LIGHTING, FALSE), ss(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1),
                                  ss(0, D3DTSS_COLORARG1, D3DTA_TEXTURE), ss(0, 105, D3DTEXF_POINT),
                                  ss(0, 106, D3DTEXF_POINT), ss(0, 107, D3DTEXF_NONE)}},
                                D3DFVF_XYZ | D3DFVF_TEX1);
    AnalyseFVF(GM->FVFFormat);
    StateBlock* SB = makeBlock(GM);
    SB->Texture[0][0] = m_texture;

    DisplayHandle* h = D3DCore.CreateDisplayHandle();
    const MultiBlock m = multi({SB});
    AddTrisConfig c;
    c.Vertices = 4;
    c.Indices = 6;
    c.VBDynamic = c.IBDynamic = c.VBRestore = c.IBRestore = 1;
    void *v = nullptr, *i = nullptr;
    ASSERT_NE(D3DCore.AddTris(h, &m, &c, &v, &i, nullptr), nullptr);
    const TexturedVertex quad[4] = {{-1, 1, 0.5f, 0, 0}, {1, 1, 0.5f, 1, 0}, {-1, -1, 0.5f, 0, 1}, {1, -1, 0.5f, 1, 1}};
    std::memcpy(v, quad, sizeof(quad));
    const WORD index[6] = {0, 1, 2, 2, 1, 3};
    std::memcpy(i, index, sizeof(index));
    D3DCore.EndAddTris();

    ASSERT_TRUE(frame({h}));
    EXPECT_EQ(quarters(), (std::vector<DWORD>{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}));

    // Half a texture across by the animation, in explicit coordinates.
    MaterialAnimation* A = GM->NewAnimation(0);
    A->UVType = MaterialAnimation::UV_EXPLICIT;
    ASSERT_TRUE(A->CompileBlock(MaterialAnimation::OFFSETU, {"time", "4000", "divide"}));
    D3DCore.AnimationTime = 2000.0;
    ASSERT_TRUE(frame({h}));
    EXPECT_EQ(quarters(), (std::vector<DWORD>{0x00FF00, 0xFF0000, 0xFFFFFF, 0x0000FF}));

    // Lost: a frame without a scene; then reset, the buffers are back and drawn at once. (The
    // material library's restore step sends every state again; here the cache just forgets.)
    const D3DCoreFuncHandle restore = D3DCore.RegisterFunc(1, [] { D3DCore.InvalidateStateCache(); });
    pt::queueTestCooperativeLevel(D3DERR_DEVICELOST);
    EXPECT_FALSE(frame({h}));
    EXPECT_EQ(pt::d3d9LiveResources(D3DPOOL_DEFAULT), 0);
    pt::queueTestCooperativeLevel(D3DERR_DEVICENOTRESET);
    ASSERT_TRUE(frame({h}));
    EXPECT_EQ(quarters(), (std::vector<DWORD>{0x00FF00, 0xFF0000, 0xFFFFFF, 0x0000FF}));
    D3DCore.UnregisterFunc(restore);
    D3DCore.DeleteDisplayHandle(h);
}

TEST_F(DisplayListPixelTest, TransparentQuadsAreBlendedFarToNear)
{
    // A perspective view down +z; half-transparent quads filling the view at depths 10, 20, 30.
    D3DCore.SetPerspective(1.0f, 100.0f, 2.0f, 2.0f, true);
    GMaterial* GM = newMaterial("glass.mtl", {1},
                                {{rs(D3DRS_LIGHTING, FALSE), rs(D3DRS_ALPHABLENDENABLE, TRUE),
                                  rs(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA), rs(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA),
                                  rs(D3DRS_ZWRITEENABLE, FALSE), ss(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1),
                                  ss(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE), ss(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1),
                                  ss(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE)}});
    AnalyseFVF(GM->FVFFormat);
    GM->DelayedSort = SORT_MATERIAL;
    StateBlock* SB = makeBlock(GM);
    const MultiBlock m = multi({SB});
    DisplayHandle* lists[3];
    const DWORD colours[3] = {0x80FF0000, 0x8000FF00, 0x800000FF};  // near red, green, far blue
    for (int k = 0; k < 3; ++k) {
        lists[k] = D3DCore.CreateDisplayHandle();
        const float z = 10.0f * static_cast<float>(k + 1);
        AddTrisConfig c;
        c.Vertices = 4;
        c.Indices = 6;
        void *v = nullptr, *i = nullptr;
        ASSERT_NE(D3DCore.AddTris(lists[k], &m, &c, &v, &i, nullptr), nullptr);
        const QuadVertex q[4] = {{-z, z, z, colours[k]}, {z, z, z, colours[k]}, {-z, -z, z, colours[k]}, {z, -z, z, colours[k]}};
        std::memcpy(v, q, sizeof(q));
        const WORD index[6] = {0, 1, 2, 2, 1, 3};
        std::memcpy(i, index, sizeof(index));
        D3DCore.EndAddTris();
    }
    // Given near to far; drawn far to near: blue, then green over it, then red over both.
    ASSERT_TRUE(frame({lists[0], lists[1], lists[2]}));
    EXPECT_TRUE(near(pixel(320, 240), 0x804020));
    for (DisplayHandle* h : lists) D3DCore.DeleteDisplayHandle(h);
}

}  // namespace
