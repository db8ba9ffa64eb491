// The render core brought up on the scripted card, with a shell host that records what it is asked.
#pragma once

#include "../dxsetup9/CardFixture.h"
#include "d3dcore9/D3DCore.h"

#include <string>
#include <vector>

class RecordingHost : public D3DCoreHost {
public:
    std::vector<std::string> Calls;
    int Pumps = 0;
    void SetDeviceNotReady(bool notReady) override { Calls.push_back(notReady ? "NotReady" : "Ready"); }
    void ProcessMessages() override { ++Pumps; }
    void SetClientSize(uint32_t w, uint32_t h) override
    {
        Calls.push_back("ClientSize " + std::to_string(w) + "x" + std::to_string(h));
    }
    void SetFullScreen(bool f) override { Calls.push_back(f ? "FullScreen" : "Windowed"); }
    void BringToForeground() override { Calls.push_back("Foreground"); }
    void SetFullScreenWindow() override { Calls.push_back("Popup"); }
    void ShowMainWindow(bool) override { Calls.push_back("Show"); }
    void RestoreWindow() override { Calls.push_back("Restore"); }
    uint32_t GetScreenWidth() override { return 1280; }
    uint32_t GetScreenHeight() override { return 1024; }
    bool has(const std::string& call) const
    {
        for (const auto& c : Calls)
            if (c == call) return true;
        return false;
    }
};

// The render core on the scripted card, with a shell host of the test's kind.
template <class Host>
class RenderCoreFixture : public CardFixture {
protected:
    void SetUp() override
    {
        CardFixture::SetUp();
        D3DCore::ResetObject();
        D3DCore::SetHost(&m_host);
    }

    // Init, the mode nearest to width x height at the given depth, and the device.
    bool bringUp(bool fullScreen = true, uint32_t width = 800, uint32_t height = 600, int32_t bits = 32,
                 int32_t multiSample = 0)
    {
        if (DXSetup::Load() != 0) return false;
        DXSetup::SetEnumFilter(GameEnumFilter());
        if (!D3DCore.Init()) return false;
        int32_t mode = D3DCore.FindMode(0, 0, width, height);
        int32_t format = D3DCore.FindFormat(0, 0, mode, bits);
        D3DCore.SetMode(0, 0, mode, format, 0, 0, fullScreen, 0, 0, multiSample);
        return D3DCore.CreateDevice(false, true, 1);
    }

    static const platform::testing::D3D9State& state() { return *platform::testing::d3d9State(); }

    Host m_host;
};

class CoreFixture : public RenderCoreFixture<RecordingHost> {
protected:
    void TearDown() override
    {
        if (D3DCore.DynamicIndexBuffer9.IB) D3DCore.DynamicIndexBuffer9.IB->Release();
        D3DCore.DynamicIndexBuffer9.IB = nullptr;
        CardFixture::TearDown();
        D3DCore::ResetObject();
        D3DCore::SetHost(nullptr);
    }
};
