// The reference device drawing through OpenGL: what the engine sees through Direct3D calls.
#include "HeadlessDevice.h"

#include <SDL.h>

#include <functional>
#include <vector>

namespace {

struct ScreenVertex {
    float x, y, z, rhw;
    DWORD colour;
    float u, v;
};

using DeviceRendererTest = HeadlessDevice;

// Clears and user-pointer draws reach the front buffer; the user-pointer draws let go of stream 0
// (and the indexed one of the indices); stage constants reach the renderer; the card's defaults
// and fog caps are what the renderer does.
TEST_F(DeviceRendererTest, UserPointerDrawsStageConstantsAndDefaults)
{
    const platform::testing::D3D9State& s = *platform::testing::d3d9State();
    EXPECT_EQ(std::make_pair(DWORD(D3DTA_CURRENT), DWORD(D3DTA_CURRENT)),
              std::make_pair(s.StageStates[3][D3DTSS_COLORARG0], s.StageStates[3][D3DTSS_RESULTARG]));
    D3DCAPS9 caps{};
    ASSERT_EQ(m_device->GetDeviceCaps(&caps), D3D_OK);
    const DWORD fog = D3DPRASTERCAPS_FOGVERTEX | D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_FOGRANGE | D3DPRASTERCAPS_WFOG;
    EXPECT_EQ(caps.RasterCaps & fog, fog);
    EXPECT_EQ(m_device->SetTextureStageState(0, static_cast<D3DTEXTURESTAGESTATETYPE>(33), 0), D3DERR_INVALIDCALL);

    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(m_device->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    ASSERT_EQ(m_device->CreateIndexBuffer(12, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), D3D_OK);
    m_device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF204060, 1.0f, 0);
    m_device->BeginScene();
    m_device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    ASSERT_EQ(m_device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_CONSTANT), D3D_OK);
    ASSERT_EQ(m_device->SetTextureStageState(0, D3DTSS_CONSTANT, 0xFF00FF00), D3D_OK);
    const struct {
        float x, y, z, rhw;
        DWORD c;
    } quad[] = {{-0.5f, -0.5f, 0.5f, 1, 0xFFFF0000}, {15.5f, -0.5f, 0.5f, 1, 0xFFFF0000},
                {-0.5f, 15.5f, 0.5f, 1, 0xFFFF0000}, {15.5f, 15.5f, 0.5f, 1, 0xFFFF0000}};
    const WORD indices[6] = {0, 1, 2, 2, 1, 3};
    m_device->SetStreamSource(0, vb, 0, 20);
    m_device->SetIndices(ib);
    m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(quad[0]));
    EXPECT_EQ(nullptr, s.Streams[0].Buffer);
    EXPECT_EQ(ib, s.Indices);
    m_device->SetStreamSource(0, vb, 0, 20);
    EXPECT_EQ(m_device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 2, indices, D3DFMT_A8R8G8B8, quad, 20),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(m_device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 2, indices, D3DFMT_INDEX16, quad, 20), D3D_OK);
    EXPECT_EQ(nullptr, s.Streams[0].Buffer);
    EXPECT_EQ(nullptr, s.Indices);
    present();
    EXPECT_EQ(std::make_pair(0xFF00FF00u, 0xFF00FF00u), std::make_pair(DWORD(front(0, 0)), DWORD(front(15, 15))));

    EXPECT_EQ(front(16, 16), 0xFF204060u);
    EXPECT_EQ(front(40, 40), 0u);  // outside the presented image the capture is zero
    vb->Release();
    ib->Release();
}

TEST_F(DeviceRendererTest, BuffersAndTexturesAreCopiedAgainWhenWritten)
{
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(m_device->CreateVertexBuffer(4 * sizeof(ScreenVertex), D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY,
                                           D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, D3DPOOL_DEFAULT, &vb, nullptr),
              D3D_OK);
    ASSERT_EQ(m_device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    // Half diffuse modulates the new texel.
    for (auto [diffuse, texel, seen] : {std::tuple{0xFFFFFFFFu, 0xFF00FF00u, 0xFF00FF00u}, {0xFF808080u, 0xFFFFFFFFu, 0xFF808080u}}) {
        void* p = nullptr;
        ASSERT_EQ(vb->Lock(0, 0, &p, D3DLOCK_DISCARD), D3D_OK);
        const ScreenVertex v[] = {{-0.5f, -0.5f, 0.5f, 1, diffuse, 0, 0}, {31.5f, -0.5f, 0.5f, 1, diffuse, 1, 0},
                                  {-0.5f, 31.5f, 0.5f, 1, diffuse, 0, 1}, {31.5f, 31.5f, 0.5f, 1, diffuse, 1, 1}};
        std::memcpy(p, v, sizeof(v));
        vb->Unlock();
        D3DLOCKED_RECT r{};
        ASSERT_EQ(tex->LockRect(0, &r, nullptr, 0), D3D_OK);
        std::memcpy(r.pBits, &texel, 4);
        tex->UnlockRect(0);
        m_device->BeginScene();
        m_device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        m_device->SetStreamSource(0, vb, 0, sizeof(ScreenVertex));
        m_device->SetTexture(0, tex);
        m_device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
        present();
        EXPECT_EQ(front(8, 8), seen);
    }
    m_device->SetTexture(0, nullptr);
    m_device->SetStreamSource(0, nullptr, 0, 0);
    tex->Release();
    vb->Release();
}

// Dynamic buffers filled a piece at a time, as the render core fills them: each draw reads the
// vertices and indices as they stand when it is made, even when they are written over before the
// frame is presented; indexed draws find their vertices wherever the indices and base vertex put them.
TEST_F(DeviceRendererTest, DynamicBuffersAreReadAsTheyStandAtEachDraw)
{
    struct Vertex {
        float x, y, z, rhw;
        DWORD c;
    };
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    const DWORD usage = D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY;
    ASSERT_EQ(m_device->CreateVertexBuffer(16 * sizeof(Vertex), usage, 0, D3DPOOL_DEFAULT, &vb, nullptr), D3D_OK);
    ASSERT_EQ(m_device->CreateIndexBuffer(24, usage, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib, nullptr), D3D_OK);
    // Quad `at` of the 16 vertices: a column 8 pixels wide at x, the full height.
    auto quad = [&](UINT at, float x, DWORD colour, DWORD flags) {
        void* p = nullptr;
        ASSERT_EQ(vb->Lock(at * sizeof(Vertex), 4 * sizeof(Vertex), &p, flags), D3D_OK);
        const Vertex v[] = {{x - 0.5f, -0.5f, 0.5f, 1, colour}, {x + 7.5f, -0.5f, 0.5f, 1, colour},
                            {x - 0.5f, 31.5f, 0.5f, 1, colour}, {x + 7.5f, 31.5f, 0.5f, 1, colour}};
        std::memcpy(p, v, sizeof(v));
        vb->Unlock();
    };
    auto indices = [&](UINT at, WORD first) {
        void* p = nullptr;
        ASSERT_EQ(ib->Lock(at * 2, 12, &p, D3DLOCK_NOOVERWRITE), D3D_OK);
        const WORD i[] = {first, WORD(first + 1), WORD(first + 2), WORD(first + 2), WORD(first + 1), WORD(first + 3)};
        std::memcpy(p, i, sizeof(i));
        ib->Unlock();
    };
    m_device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    m_device->BeginScene();
    m_device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    m_device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    m_device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    m_device->SetStreamSource(0, vb, 0, sizeof(Vertex));
    m_device->SetIndices(ib);
    quad(0, 0, 0xFFFF0000, D3DLOCK_DISCARD);
    indices(0, 0);
    m_device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2);
    quad(4, 8, 0xFF00FF00, D3DLOCK_NOOVERWRITE);
    indices(6, 0);
    m_device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 4, 0, 4, 6, 2);
    quad(8, 16, 0xFF0000FF, D3DLOCK_NOOVERWRITE);
    m_device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 8, 2);
    quad(12, 24, 0xFFFFFF00, D3DLOCK_NOOVERWRITE);
    indices(0, 12);  // written over indices already drawn with
    m_device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 12, 4, 0, 2);
    quad(0, 24, 0xFFFFFFFF, D3DLOCK_DISCARD);  // written over the first quad, drawn after the others
    present();
    EXPECT_EQ((std::vector<DWORD>{front(4, 4), front(12, 4), front(20, 4), front(28, 4)}),
              (std::vector<DWORD>{0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00}));
    m_device->SetStreamSource(0, nullptr, 0, 0);
    m_device->SetIndices(nullptr);
    ib->Release();
    vb->Release();
}

// Draws of the same states, with nothing set between them, still see a texture written and a clear
// made since the draw before: the clear writes every channel, the draw after it red alone again.
TEST_F(DeviceRendererTest, DrawsOfTheSameStatesSeeWhatChangedBetweenThem)
{
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(m_device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    auto texel = [&](DWORD colour) {
        D3DLOCKED_RECT r{};
        ASSERT_EQ(tex->LockRect(0, &r, nullptr, 0), D3D_OK);
        std::memcpy(r.pBits, &colour, 4);
        tex->UnlockRect(0);
    };
    const ScreenVertex quad[] = {{-0.5f, -0.5f, 0.5f, 1, ~0u, 0, 0}, {31.5f, -0.5f, 0.5f, 1, ~0u, 1, 0},
                                 {-0.5f, 31.5f, 0.5f, 1, ~0u, 0, 1}, {31.5f, 31.5f, 0.5f, 1, ~0u, 1, 1}};
    texel(0xFF00FF00);
    m_device->BeginScene();
    m_device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    m_device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    m_device->SetTexture(0, tex);
    m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex));
    texel(0xFFFFFFFF);
    m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex));
    present();
    EXPECT_EQ(front(8, 8), 0xFFFFFFFFu);
    m_device->BeginScene();
    m_device->SetRenderState(D3DRS_COLORWRITEENABLE, 1);  // red
    for (int i = 0; i < 2; ++i) {
        m_device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
        m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex));
    }
    present();
    EXPECT_EQ(front(8, 8), 0xFFFF00FFu);
    m_device->SetTexture(0, nullptr);
    tex->Release();
}

// The front buffer shows each frame as it was presented: one drawn over the last without a clear,
// one with nothing drawn, one with a clear of part of it and one wholly cleared.
TEST_F(DeviceRendererTest, PresentsShowWhatEachFrameDrewOverTheLast)
{
    m_device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    m_device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    m_device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    auto quad = [&](float x, DWORD colour) {
        const struct {
            float x, y, z, rhw;
            DWORD c;
        } v[] = {{x - 0.5f, -0.5f, 0.5f, 1, colour}, {x + 7.5f, -0.5f, 0.5f, 1, colour},
                 {x - 0.5f, 7.5f, 0.5f, 1, colour}, {x + 7.5f, 7.5f, 0.5f, 1, colour}};
        m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(v[0]));
    };
    auto frame = [&](const std::function<void()>& draw) {
        m_device->BeginScene();
        draw();
        present();
        return std::vector<DWORD>{front(2, 2), front(10, 2), front(18, 2), front(28, 28)};
    };
    const DWORD red = 0xFFFF0000, green = 0xFF00FF00, blue = 0xFF0000FF, white = 0xFFFFFFFF, black = 0xFF000000;
    EXPECT_EQ(frame([&] {
                  m_device->Clear(0, nullptr, D3DCLEAR_TARGET, red, 1.0f, 0);
                  quad(0, green);
              }),
              (std::vector<DWORD>{green, red, red, red}));
    EXPECT_EQ(frame([&] { quad(8, blue); }), (std::vector<DWORD>{green, blue, red, red}));
    EXPECT_EQ(frame([] {}), (std::vector<DWORD>{green, blue, red, red}));
    const D3DVIEWPORT9 whole{0, 0, W, H, 0, 1}, corner{24, 24, 8, 8, 0, 1};
    EXPECT_EQ(frame([&] {
                  m_device->SetViewport(&corner);
                  m_device->Clear(0, nullptr, D3DCLEAR_TARGET, white, 1.0f, 0);
                  m_device->SetViewport(&whole);
              }),
              (std::vector<DWORD>{green, blue, red, white}));
    EXPECT_EQ(frame([&] {
                  m_device->Clear(0, nullptr, D3DCLEAR_TARGET, black, 1.0f, 0);
                  quad(16, green);
              }),
              (std::vector<DWORD>{black, black, green, black}));
}

// A level of a render-target texture, made the target, takes the clears and draws (with a depth
// buffer of its own) and is sampled the right way up; the back buffer keeps its own pixels. A
// format that cannot be drawn into is refused.
TEST_F(DeviceRendererTest, RenderTargetTexturesHoldWhatIsDrawnIntoThem)
{
    IDirect3DTexture9 *target = nullptr, *blocks = nullptr;
    ASSERT_EQ(m_device->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr),
              D3D_OK);
    ASSERT_EQ(m_device->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_DXT1, D3DPOOL_DEFAULT, &blocks, nullptr), D3D_OK);
    IDirect3DSurface9 *level = nullptr, *blockLevel = nullptr, *back = nullptr;
    target->GetSurfaceLevel(0, &level), blocks->GetSurfaceLevel(0, &blockLevel);
    ASSERT_EQ(m_device->GetRenderTarget(0, &back), D3D_OK);
    EXPECT_EQ(m_device->SetRenderTarget(0, blockLevel), D3DERR_INVALIDCALL);

    struct Vertex {
        float x, y, z, rhw;
        DWORD colour;
        float u, v;
    };
    auto quad = [&](float x1, float y1, float x2, float y2, float z, DWORD colour) {
        const Vertex q[] = {{x1 - 0.5f, y1 - 0.5f, z, 1, colour, 0, 0}, {x2 - 0.5f, y1 - 0.5f, z, 1, colour, 1, 0},
                            {x1 - 0.5f, y2 - 0.5f, z, 1, colour, 0, 1}, {x2 - 0.5f, y2 - 0.5f, z, 1, colour, 1, 1}};
        m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof(Vertex));
    };
    m_device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF204060, 1.0f, 0);
    ASSERT_EQ(m_device->SetRenderTarget(0, level), D3D_OK);
    m_device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFF0000, 1.0f, 0);
    m_device->BeginScene();
    m_device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    m_device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    quad(0, 0, 8, 8, 0.25f, 0xFF00FF00);   // green in the top left quarter, in front of
    quad(0, 0, 16, 8, 0.5f, 0xFF0000FF);   // blue over the top half, drawn after it
    m_device->EndScene();
    ASSERT_EQ(m_device->SetRenderTarget(0, back), D3D_OK);
    m_device->BeginScene();
    m_device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    m_device->SetTexture(0, target);
    quad(0, 0, 16, 16, 0.5f, 0);
    present();
    EXPECT_EQ(std::vector<DWORD>({front(4, 4), front(12, 4), front(4, 12), front(12, 12), front(20, 20)}),
              std::vector<DWORD>({0xFF00FF00u, 0xFF0000FFu, 0xFFFF0000u, 0xFFFF0000u, 0xFF204060u}));
    m_device->SetTexture(0, nullptr);
    for (IDirect3DResource9* r : std::initializer_list<IDirect3DResource9*>{back, blockLevel, level, blocks, target}) r->Release();
}

// The X8R8G8B8 back buffer keeps no alpha: a clear and a draw of alpha 0 leave blending reading
// a destination alpha of one, and the screenshot reads opaque.
TEST_F(DeviceRendererTest, AnOpaqueBackBufferReadsItsAlphaAsOne)
{
    const struct {
        float x, y, z, rhw;
        DWORD c;
    } clear[] = {{-0.5f, -0.5f, 0.5f, 1, 0x00000000}, {31.5f, -0.5f, 0.5f, 1, 0x00000000},
                 {-0.5f, 31.5f, 0.5f, 1, 0x00000000}, {31.5f, 31.5f, 0.5f, 1, 0x00000000}},
      red[] = {{-0.5f, -0.5f, 0.5f, 1, 0xFFFF0000}, {31.5f, -0.5f, 0.5f, 1, 0xFFFF0000},
               {-0.5f, 31.5f, 0.5f, 1, 0xFFFF0000}, {31.5f, 31.5f, 0.5f, 1, 0xFFFF0000}};
    m_device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00000000, 1.0f, 0);
    m_device->BeginScene();
    m_device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    m_device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    m_device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    m_device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, clear, sizeof(clear[0]));
    m_device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    m_device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_DESTALPHA);
    m_device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, red, sizeof(red[0]));
    present();
    EXPECT_EQ(front(16, 16), 0xFFFF0000u);
    m_device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
}

TEST_F(DeviceRendererTest, PresentsWaitForTheDisplayAsTheIntervalAsks)
{
    EXPECT_EQ(SDL_GL_GetSwapInterval(), 1) << "the default interval waits once";
    const std::pair<UINT, int> cases[] = {{D3DPRESENT_INTERVAL_IMMEDIATE, 0}, {D3DPRESENT_INTERVAL_ONE, 1},
                                          {D3DPRESENT_INTERVAL_TWO, 2}};
    for (const auto& [interval, swap] : cases) {
        D3DPRESENT_PARAMETERS pp = headlessParameters(interval);
        ASSERT_EQ(m_device->Reset(&pp), D3D_OK);
        EXPECT_EQ(SDL_GL_GetSwapInterval(), swap) << interval;
    }
}

}  // namespace
