// The render core on the scripted card, with a shell host that counts what the frame asks of it.
#pragma once

#include "BlockBuilder.h"
#include "CoreFixture.h"
#include "d3dcore9/D3DCore.h"

#include <cstring>
#include <string>
#include <vector>

class FrameHost : public D3DCoreHost {
public:
    int Unacquires = 0;
    int Erases = 0;
    std::vector<bool> NotReady;
    uint64_t Clock = 5000;
    void UnacquireInput() override { ++Unacquires; }
    void EraseBackground() override { ++Erases; }
    void SetDeviceNotReady(bool notReady) override { NotReady.push_back(notReady); }
    uint64_t ReadTimeStampCounter() override { return Clock; }
    uint64_t GetProcessorClock() override { return 2000; }
};

class FrameFixture : public RenderCoreFixture<FrameHost> {
protected:
    void TearDown() override
    {
        D3DCore.ReleaseDynamicVertexBuffers();
        D3DCore.ReleaseDynamicBuffers();
        for (auto& row : D3DCore.D3DCoreFunc)
            for (auto& slot : row) slot = nullptr;
        releaseInterfaces();
        D3DCore::ResetObject();
        D3DCore::SetHost(nullptr);
        CardFixture::TearDown();
    }

    // The trace entries of one method, in order.
    static std::vector<std::vector<uint64_t>> calls(const std::string& method)
    {
        std::vector<std::vector<uint64_t>> out;
        for (const auto& c : platform::testing::d3d9Trace())
            if (c.Method == method) out.push_back(c.Args);
        return out;
    }

    // The presented image at (x, y), as 0xAARRGGBB (of a window of 800 x 600 at most).
    static DWORD frontPixel(int x, int y)
    {
        IDirect3DTexture9* capture = nullptr;
        IDirect3DSurface9* surface = nullptr;
        DWORD p = 0;
        if (DXInterface.ID3DDevice->CreateTexture(800, 600, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &capture,
                                                  nullptr) != D3D_OK)
            return p;
        capture->GetSurfaceLevel(0, &surface);
        D3DLOCKED_RECT r{};
        if (DXInterface.ID3DDevice->GetFrontBufferData(0, surface) == D3D_OK &&
            surface->LockRect(&r, nullptr, D3DLOCK_READONLY) == D3D_OK) {
            std::memcpy(&p, static_cast<const uint8_t*>(r.pBits) + y * r.Pitch + x * 4, 4);
            surface->UnlockRect();
        }
        surface->Release();
        capture->Release();
        return p;
    }

};
