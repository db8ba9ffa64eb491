// A textured, animated display list drawn on the OpenGL renderer headless, also after a lost device.
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

    static DWORD pixel(int x, int y) { return frontPixel(x, y) & 0xFFFFFF; }

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

}  // namespace
