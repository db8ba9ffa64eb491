// The render core on the scripted card, with a shell host that counts what the frame asks of it.
#pragma once

#include "TestSupport.h"
#include "d3dcore9/D3DCore.h"
#include "platform/testing.h"

#include <gtest/gtest.h>

#include <memory>
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

class FrameFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::testing::resetD3D9();
        releaseInterfaces();
        DXSetup::ResetObject();
        D3DCore::ResetObject();
        D3DCore::SetHost(&m_host);
        m_cwd = std::make_unique<testsupport::ScopedCwd>(m_dir.path());
        m_dir.write("data/4CC.txt", "; codes\n3\nDXT1\nDXT3\nDXT5\n");
    }

    void TearDown() override
    {
        D3DCore.ReleaseDynamicVertexBuffers();
        D3DCore.ReleaseDynamicBuffers();
        for (auto& row : D3DCore.D3DCoreFunc)
            for (auto& slot : row) slot = nullptr;
        releaseInterfaces();
        D3DCore::ResetObject();
        D3DCore::SetHost(nullptr);
        DXSetup::ResetObject();
        m_cwd.reset();
        platform::testing::resetD3D9();
    }

    static void releaseInterfaces()
    {
        if (DXInterface.ID3DDevice) DXInterface.ID3DDevice->Release();
        if (DXInterface.ID3D) DXInterface.ID3D->Release();
        DXInterface = TDXInterface{};
    }

    // Init, the mode nearest to width x height in 32 bits, and the device.
    bool bringUp(bool fullScreen = true, uint32_t width = 800, uint32_t height = 600)
    {
        if (DXSetup::Load() != 0) return false;
        DXSetup::SetEnumFilter(GameEnumFilter());
        if (!D3DCore.Init()) return false;
        const int32_t mode = D3DCore.FindMode(0, 0, width, height);
        const int32_t format = D3DCore.FindFormat(0, 0, mode, 32);
        D3DCore.SetMode(0, 0, mode, format, 0, 0, fullScreen, 0, 0, 0);
        return D3DCore.CreateDevice(false, true, 1);
    }

    static const platform::testing::D3D9State& state() { return *platform::testing::d3d9State(); }

    // The border material the screen margin is drawn with, recorded by hand.
    static DWORD borderBlock()
    {
        const float white[3] = {1, 1, 1};
        DWORD handle = SB_NONE;
        StateBlockTable& table = D3DCore.StateBlocks;
        EXPECT_TRUE(table.CreateSB("border", TexNames(), white, white, &handle));
        GMaterial* GM = new GMaterial();
        GM->FVFFormat.D3DFlags = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;
        GM->Passes = 1;
        GM->Stages[0] = 1;
        table.BeginRecordPass(GM, 0);
        table.RecordRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        table.RecordRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        table.RecordRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        for (DWORD type : {D3DTSS_COLOROP, D3DTSS_ALPHAOP}) table.RecordStageState(0, type, D3DTOP_SELECTARG1);
        for (DWORD type : {D3DTSS_COLORARG1, D3DTSS_ALPHAARG1}) table.RecordStageState(0, type, 0);  // diffuse
        table.EndRecord();
        table.GetSB(handle)->GMaterial = GM;
        return handle;
    }

    // The trace entries of one method, in order.
    static std::vector<std::vector<uint64_t>> calls(const std::string& method)
    {
        std::vector<std::vector<uint64_t>> out;
        for (const auto& c : platform::testing::d3d9Trace())
            if (c.Method == method) out.push_back(c.Args);
        return out;
    }

    FrameHost m_host;
    testsupport::TempDir m_dir;
    std::unique_ptr<testsupport::ScopedCwd> m_cwd;
};
