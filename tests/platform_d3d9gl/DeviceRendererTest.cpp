// The reference device drawing through OpenGL: what the engine sees through Direct3D calls.
#include "HeadlessDevice.h"

#include <SDL.h>

namespace {

struct ScreenVertex {
    float x, y, z, rhw;
    DWORD colour;
    float u, v;
};

class DeviceRendererTest : public HeadlessDevice {};

TEST_F(DeviceRendererTest, ClearsAndUserPointerDrawsReachTheFrontBuffer)
{
    m_device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF204060, 1.0f, 0);
    m_device->BeginScene();
    m_device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, 3);  // select the diffuse colour
    const struct {
        float x, y, z, rhw;
        DWORD c;
    } quad[] = {{-0.5f, -0.5f, 0.5f, 1, 0xFFFF8000}, {15.5f, -0.5f, 0.5f, 1, 0xFFFF8000},
                {-0.5f, 15.5f, 0.5f, 1, 0xFFFF8000}, {15.5f, 15.5f, 0.5f, 1, 0xFFFF8000}};
    m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(quad[0]));
    m_device->EndScene();
    m_device->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(front(0, 0), 0xFFFF8000u);
    EXPECT_EQ(front(15, 15), 0xFFFF8000u);
    EXPECT_EQ(front(16, 16), 0xFF204060u);
    // Outside the presented image the capture is zero.
    EXPECT_EQ(front(40, 40), 0u);
}

TEST_F(DeviceRendererTest, BuffersAndTexturesAreCopiedAgainWhenWritten)
{
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(m_device->CreateVertexBuffer(4 * sizeof(ScreenVertex), D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY,
                                           D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, D3DPOOL_DEFAULT, &vb, nullptr),
              D3D_OK);
    ASSERT_EQ(m_device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    auto fill = [&](DWORD diffuse, DWORD texel) {
        void* p = nullptr;
        ASSERT_EQ(vb->Lock(0, 0, &p, D3DLOCK_DISCARD), D3D_OK);
        const ScreenVertex v[] = {{-0.5f, -0.5f, 0.5f, 1, diffuse, 0, 0},
                                  {31.5f, -0.5f, 0.5f, 1, diffuse, 1, 0},
                                  {-0.5f, 31.5f, 0.5f, 1, diffuse, 0, 1},
                                  {31.5f, 31.5f, 0.5f, 1, diffuse, 1, 1}};
        std::memcpy(p, v, sizeof(v));
        vb->Unlock();
        D3DLOCKED_RECT r{};
        ASSERT_EQ(tex->LockRect(0, &r, nullptr, 0), D3D_OK);
        std::memcpy(r.pBits, &texel, 4);
        tex->UnlockRect(0);
    };
    auto frame = [&] {
        m_device->BeginScene();
        m_device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        m_device->SetStreamSource(0, vb, 0, sizeof(ScreenVertex));
        m_device->SetTexture(0, tex);
        m_device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
        m_device->EndScene();
        m_device->Present(nullptr, nullptr, nullptr, nullptr);
    };
    fill(0xFFFFFFFF, 0xFF00FF00);
    frame();
    EXPECT_EQ(front(8, 8), 0xFF00FF00u);
    // Half diffuse modulates the new texel.
    fill(0xFF808080, 0xFFFFFFFF);
    frame();
    EXPECT_EQ(front(8, 8), 0xFF808080u);
    m_device->SetTexture(0, nullptr);
    m_device->SetStreamSource(0, nullptr, 0, 0);
    tex->Release();
    vb->Release();
}

TEST_F(DeviceRendererTest, PresentsWaitForTheDisplayAsTheIntervalAsks)
{
    EXPECT_EQ(SDL_GL_GetSwapInterval(), 1) << "the default interval waits once";
    const struct {
        UINT interval;
        int swap;
    } cases[] = {{D3DPRESENT_INTERVAL_IMMEDIATE, 0}, {D3DPRESENT_INTERVAL_ONE, 1}, {D3DPRESENT_INTERVAL_TWO, 2}};
    for (const auto& c : cases) {
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = W;
        pp.BackBufferHeight = H;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.Windowed = TRUE;
        pp.PresentationInterval = c.interval;
        ASSERT_EQ(m_device->Reset(&pp), D3D_OK);
        EXPECT_EQ(SDL_GL_GetSwapInterval(), c.swap) << c.interval;
    }
}

TEST_F(DeviceRendererTest, TheNullRendererCanStillBeChosen)
{
    m_surface->Release();
    m_capture->Release();
    m_device->Release();
    m_surface = nullptr;
    m_capture = nullptr;
    d3d9ref::setRendererFactory(&d3d9ref::createNullRenderer);
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = W;
    pp.BackBufferHeight = H;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.Windowed = TRUE;
    ASSERT_EQ(m_d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &pp, &m_device), D3D_OK);
    ASSERT_EQ(m_device->CreateTexture(64, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &m_capture, nullptr), D3D_OK);
    ASSERT_EQ(m_capture->GetSurfaceLevel(0, &m_surface), D3D_OK);
    m_device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0);
    m_device->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(front(0, 0), 0u);
}

}  // namespace
