#include "CoreFixture.h"

#include "utility/RunLog.h"
#include "winfile/File.h"

#include <cstdio>
#include <cstring>

namespace pt = platform::testing;
using testsupport::countReports;

namespace {

class DeviceTest : public CoreFixture {};

// Plain assertions whose expression is exactly the text.
int countExpression(const std::string& text)
{
    int n = 0;
    for (const auto& r : testsupport::reports())
        if (r.message.empty() && r.expression == text) ++n;
    return n;
}

std::vector<std::string>* order = nullptr;
void beforeRelease() { order->push_back(D3DCore.DynamicIndexBuffer9.IB ? "type0 with IB" : "type0"); }
void afterRestore() { order->push_back(D3DCore.DynamicIndexBuffer9.IB ? "type1 with IB" : "type1"); }

TEST_F(DeviceTest, FullScreenDeviceGetsItsPresentParametersAndCreationTail)
{
    ASSERT_TRUE(bringUp());
    const D3DPRESENT_PARAMETERS& pp = state().Parameters;
    EXPECT_EQ(std::vector<uint64_t>({pp.BackBufferWidth, pp.BackBufferFormat, uint64_t(pp.Windowed), pp.AutoDepthStencilFormat,
                                     pp.PresentationInterval, state().Behaviour}),
              std::vector<uint64_t>({800, D3DFMT_X8R8G8B8, FALSE, D3DFMT_D24S8, D3DPRESENT_INTERVAL_ONE,
                                     D3DCREATE_HARDWARE_VERTEXPROCESSING}));
    ASSERT_NE(D3DCore.DynamicIndexBuffer9.IB, nullptr);
    for (const char* call : {"Foreground", "FullScreen"}) EXPECT_TRUE(m_host.has(call)) << call;

    // The interval is held to 1..4 and presents immediately without vsync.
    ASSERT_TRUE(D3DCore.CreateDevice(true, true, 7));
    EXPECT_EQ(state().Parameters.PresentationInterval, D3DPRESENT_INTERVAL_FOUR);
    EXPECT_EQ(countReports("Interval >= 1 && Interval <= 4"), 1);
    ASSERT_TRUE(D3DCore.CreateDevice(false, false, 2));
    EXPECT_EQ(state().Parameters.PresentationInterval, D3DPRESENT_INTERVAL_IMMEDIATE);
    EXPECT_EQ(pt::d3d9LiveDevices(), 1);

    D3DCore.ReleaseDevice();
    EXPECT_EQ(pt::d3d9LiveResources(D3DPOOL_DEFAULT), 0);
    D3DCore.Shutdown();
    EXPECT_EQ(pt::d3d9LiveDevices(), 0);
}

TEST_F(DeviceTest, WindowedDevicesUseTheDesktopFormatWhateverTheMode)
{
    ASSERT_TRUE(bringUp(false));
    EXPECT_EQ(state().Parameters.PresentationInterval, D3DPRESENT_INTERVAL_DEFAULT);
    EXPECT_TRUE(m_host.has("ClientSize 800x600"));
    D3DCore.ChangeMode(0, 0, D3DCore.FindMode(0, 0, 1024, 768), 0, false, 0);
    const D3DPRESENT_PARAMETERS& pp = state().Parameters;
    // The desktop's format, not the 16-bit mode type's.
    EXPECT_EQ(std::make_tuple(TRUE, 1024u, D3DFMT_X8R8G8B8), std::make_tuple(pp.Windowed, pp.BackBufferWidth, pp.BackBufferFormat));
    EXPECT_EQ(pp.AutoDepthStencilFormat, D3DFMT_D24S8);  // a 32-bit back buffer takes a 32-bit depth format
}

TEST_F(DeviceTest, DepthFallsBackThroughTheSameListOnly)
{
    pt::setCreateDeviceResult([](const D3DPRESENT_PARAMETERS& p, DWORD) {
        return p.AutoDepthStencilFormat == D3DFMT_D24S8 ? D3DERR_OUTOFVIDEOMEMORY : D3D_OK;
    });
    ASSERT_TRUE(bringUp());
    ASSERT_EQ(pt::d3d9CreateAttempts().size(), 2u);
    const D3DPRESENT_PARAMETERS& first = pt::d3d9CreateAttempts()[0];
    D3DPRESENT_PARAMETERS second = pt::d3d9CreateAttempts()[1];
    EXPECT_EQ(second.AutoDepthStencilFormat, D3DFMT_D24X8);
    second.AutoDepthStencilFormat = first.AutoDepthStencilFormat;
    EXPECT_EQ(std::memcmp(&first, &second, sizeof(first)), 0);  // nothing else varied
    EXPECT_EQ(D3DCore.ActualZFormat->Format, D3DFMT_D24X8);

    pt::setCreateDeviceResult([](const D3DPRESENT_PARAMETERS&, DWORD) { return D3DERR_OUTOFVIDEOMEMORY; });
    EXPECT_FALSE(D3DCore.CreateDevice(false, true, 1));
}

TEST_F(DeviceTest, VertexProcessingFollowsTransformAndLightingAndShaders)
{
    caps().VertexShaderVersion = D3DVS_VERSION(1, 0);
    ASSERT_TRUE(bringUp());
    EXPECT_EQ(state().Behaviour, D3DCREATE_MIXED_VERTEXPROCESSING);
    EXPECT_EQ(D3DCore.SoftwareShaders, 1);
    D3DCore.pDevice->HardwareTnL = 0;
    ASSERT_TRUE(D3DCore.CreateDevice(false, true, 1));
    EXPECT_EQ(state().Behaviour, D3DCREATE_SOFTWARE_VERTEXPROCESSING);
    EXPECT_EQ(D3DCore.SoftwareShaders, 0);
}

TEST_F(DeviceTest, SetModeRefusesBadIndicesAndEndsOnAnUnservableDesktop)
{
    ASSERT_EQ(DXSetup::Load(), 0);
    DXSetup::SetEnumFilter(GameEnumFilter());
    ASSERT_TRUE(D3DCore.Init());
    D3DCore.SetMode(0, 0, 2, 1, 0, 0, true, 1, 2, 0);
    DXMode* chosen = D3DCore.pMode;
    D3DCore.SetMode(0, 0, 99, 0, 0, 0, true, 0, 0, 0);
    D3DCore.SetMode(0, 0, 0, 0, 5, 0, true, 0, 0, 0);
    D3DCore.SetMode(1, 0, 0, 0, 0, 0, true, 0, 0, 0);
    EXPECT_EQ(D3DCore.pMode, chosen);
    EXPECT_EQ(testsupport::reports().size(), 3u);

    DXDevice* device = DXSetup.Adapters.First->Devices.First;
    device->DesktopMode.ZBuffers.Clear();
    device->CanDoWindowed = 0;
    testsupport::clearReports();
    ::testing::internal::CaptureStderr();
    try {
        D3DCore.SetMode(0, 0, 0, 0, 0, 0, false, 0, 0, 0);
        FAIL() << "the process should have ended";
    } catch (const testsupport::ProcessExit& e) {
        EXPECT_EQ(e.code, 1);
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "stopping as the desktop's screen mode cannot show the game in a window\n");
    // Every check is reported before the process ends.
    ASSERT_EQ(testsupport::reports().size(), 3u);
    EXPECT_EQ(countReports("D3D not supported in current screen mode"), 1);
}

TEST_F(DeviceTest, VBIBConfigAppliesOnlyThePCSectionAndRefusesWhatWouldHurt)
{
    m_dir.write("data/VBIBConfig.txt",
                "; dynamic buffer sizes\n[XBOX]\nIB 1000\nVB xyz|normal 999\n[PC]\nIB 65536\nVB xyz|normal|tex1 4000\n"
                "VB xyzrhw|diffuse|tex1 2000\n// debug text buffer\nVB xyzrhw|tex1 3000\n");
    D3DCore.ReadVBIBConfig();
    EXPECT_EQ(D3DCore.DynamicIB9Size, 65536u);
    EXPECT_EQ(D3DCore.DynamicVB9Size[0].FVF, 0x112u);
    EXPECT_EQ(D3DCore.DynamicVB9Size[0].Size, 4000u);
    EXPECT_EQ(D3DCore.DynamicVB9Size[2].FVF, 0x104u);
    EXPECT_EQ(D3DCore.DynamicVB9Size[3].FVF, 0u);
    EXPECT_EQ(testsupport::reports().size(), 0u);

    // Lines that would hurt are refused, each checked; the file's first fault is the one report.
    std::string text = "[PC]\nIB 0\nIB -5\nVB xyz|bogus|tex2 10\nVB xyz|normal 0\nVB tex0 50\nVB\nVB xyz\n";
    for (int i = 0; i < 16; ++i) text += "VB xyz|diffuse " + std::to_string(100 + i) + "\n";
    m_dir.write("data/VBIBConfig.txt", text);
    const int checks = checksFailed();
    D3DCore.ReadVBIBConfig();
    EXPECT_EQ(D3DCore.DynamicIB9Size, 32768u);
    EXPECT_EQ(checksFailed() - checks, 8);
    ASSERT_EQ(testsupport::reports().size(), 1u);
    EXPECT_EQ(testsupport::reports()[0].message, "Invalid DynamicIB size in <data\\VBIBConfig.txt>");
    EXPECT_EQ(D3DCore.DynamicVB9Size[0].FVF, 0x202u);  // the known components still count
    EXPECT_EQ(D3DCore.DynamicVB9Size[1].Size, 100u);
    EXPECT_EQ(D3DCore.DynamicVB9Size[15].Size, 114u);  // the seventeenth line is ignored

    resetRunLogCount();  // another run
    m_dir.write("data/VBIBConfig.txt", "[PC]\nVB xyz|bogus|tex2 10\n");
    D3DCore.ReadVBIBConfig();
    EXPECT_EQ(countReports("Illegal FVF component <bogus> in <xyz|bogus|tex2> in <data\\VBIBConfig.txt"), 1);
}

TEST_F(DeviceTest, LostAndRestoredDeviceKeepsTheOrder)
{
    ASSERT_TRUE(bringUp());
    std::vector<std::string> seen;
    order = &seen;
    D3DCore.RegisterFunc(0, beforeRelease);
    D3DCore.RegisterFunc(1, afterRestore);
    D3DCore.SetPerspective(1, 1000, 2, 1.5f, true);
    D3DCore.ForceRenderState(D3DRS_ZENABLE, 1);
    D3DCore.SaveRenderDefaults();
    pt::setD3D9Trace(true);
    pt::clearD3D9Calls();

    D3DCore.LoseDevice();
    EXPECT_EQ(seen, std::vector<std::string>{"type0"});
    EXPECT_EQ(pt::d3d9LiveResources(D3DPOOL_DEFAULT), 0);
    pt::setD3D9DeviceState(D3DERR_DEVICENOTRESET);
    D3DPRESENT_PARAMETERS pp = D3DCore.PresentParameters;
    ASSERT_EQ(DXInterface.ID3DDevice->Reset(&pp), D3D_OK);
    D3DCore.RestoreLostDevice();
    EXPECT_EQ(seen, (std::vector<std::string>{"type0", "type1 with IB"}));

    std::vector<std::string> methods;
    for (const auto& c : pt::d3d9Trace())
        if (c.Method != "Release" && c.Method != "Reset") methods.push_back(c.Method);
    EXPECT_EQ(methods, (std::vector<std::string>{"CreateIndexBuffer", "SetViewport", "SetTransform", "SetTransform",
                                                 "SetTransform", "SetPaletteEntries", "SetCurrentTexturePalette",
                                                 "SetRenderState", "SetVertexShader", "SetPixelShader"}));
    EXPECT_EQ(state().Transforms.at(D3DTS_PROJECTION)._22, 2 * 1 / 1.5f);
    order = nullptr;
}

TEST_F(DeviceTest, ChangeModeResetsOnlyOnAChange)
{
    ASSERT_TRUE(bringUp());
    int32_t mode = D3DCore.ModeIndex;
    EXPECT_EQ(D3DCore.ChangeMode(0, 0, mode, 1, false, 0), 0);
    EXPECT_EQ(pt::d3d9Calls("Reset"), 0);

    std::vector<std::string> seen;
    order = &seen;
    D3DCore.RegisterFunc(0, beforeRelease);
    D3DCore.RegisterFunc(1, afterRestore);
    D3DCore.SetRenderState(D3DRS_LIGHTING, 0);
    pt::queueResetResult(D3DERR_DEVICELOST);
    pt::queueResetResult(D3DERR_DEVICELOST);
    int32_t bigger = D3DCore.FindMode(0, 0, 1024, 768);
    D3DCore.ChangeMode(0, 0, bigger, 1, false, 0);
    EXPECT_EQ(m_host.Pumps, 2);
    EXPECT_EQ(pt::d3d9Calls("Reset"), 3);
    EXPECT_EQ(D3DCore.LastViewPort.Height, 768u);
    EXPECT_EQ(D3DCore.RenderStates[D3DRS_LIGHTING], STATE_UNKNOWN);
    EXPECT_EQ(seen, (std::vector<std::string>{"type0", "type1 with IB"}));

    // The 16-bit format takes the first D16 record.
    D3DCore.ChangeMode(0, 0, bigger, 0, false, 0);
    EXPECT_EQ(state().Parameters.BackBufferFormat, D3DFMT_R5G6B5);
    EXPECT_EQ(state().Parameters.AutoDepthStencilFormat, D3DFMT_D16);

    // Present options reset only when they change.
    pt::clearD3D9Calls();
    D3DCore.SetPresentOptions(true, 1, 0, 0, 0, true);
    EXPECT_EQ(pt::d3d9Calls("Reset"), 0);
    D3DCore.SetPresentOptions(true, 3, 0, 0, 0, true);
    EXPECT_EQ(state().Parameters.PresentationInterval, D3DPRESENT_INTERVAL_THREE);
    order = nullptr;
}

TEST_F(DeviceTest, ChangeModeWithoutAMatchingDepthFormatKeepsTheMode)
{
    card().DepthFormats = {D3DFMT_D24X4S4, D3DFMT_D16};
    ASSERT_TRUE(bringUp(true, 800, 600, 16));
    D3DCore.ChangeMode(0, 0, D3DCore.FindMode(0, 0, 1024, 768), 1, false, 0);
    EXPECT_EQ(countExpression("ActualZFormat != NULL"), 1);
    EXPECT_EQ(D3DCore.ChangeMode(0, 0, 99, 1, false, 0), 0);
    EXPECT_EQ(pt::d3d9Calls("Reset"), 0);
    EXPECT_EQ(D3DCore.GetScreenWidth(), 800u);
}

TEST_F(DeviceTest, MultisampleFallBackLowersOneStepAtATime)
{
    ASSERT_TRUE(bringUp(true, 800, 600, 32, 4));
    EXPECT_EQ(state().Parameters.MultiSampleType, D3DMULTISAMPLE_NONMASKABLE);
    EXPECT_EQ(state().Parameters.MultiSampleQuality, 2u);
    pt::setResetResult([](const D3DPRESENT_PARAMETERS& p) {
        return p.MultiSampleType != D3DMULTISAMPLE_NONE ? D3DERR_NOTAVAILABLE : D3D_OK;
    });
    int32_t bigger = D3DCore.FindMode(0, 0, 1024, 768);
    EXPECT_EQ(D3DCore.ChangeMode(0, 0, bigger, 1, false, -1), 0);
    std::vector<int> tried;
    for (const auto& p : pt::d3d9ResetParameters())
        tried.push_back(p.MultiSampleType == D3DMULTISAMPLE_NONE ? 0 : static_cast<int>(p.MultiSampleQuality) + 2);
    EXPECT_EQ(tried, (std::vector<int>{4, 3, 2, 0}));

}

TEST_F(DeviceTest, DesktopSwitchAndRestore)
{
    ASSERT_TRUE(bringUp());
    // Before any switch to the desktop, a reactivation restores the mode the device was made in.
    const D3DPRESENT_PARAMETERS made = state().Parameters;
    D3DCore.RestoreDevice();
    EXPECT_EQ(std::make_tuple(made.BackBufferFormat, made.FullScreen_RefreshRateInHz, made.PresentationInterval),
              std::make_tuple(state().Parameters.BackBufferFormat, state().Parameters.FullScreen_RefreshRateInHz,
                              state().Parameters.PresentationInterval));
    card().Desktop.Format = D3DFMT_R5G6B5;
    D3DCore.SwitchToDesktop();
    const D3DPRESENT_PARAMETERS& pp = state().Parameters;
    // The display mode of a full-screen device.
    EXPECT_EQ(std::make_tuple(TRUE, 1280u, D3DFMT_X8R8G8B8), std::make_tuple(pp.Windowed, pp.BackBufferWidth, pp.BackBufferFormat));

    pt::queueResetResult(D3DERR_DEVICELOST);
    pt::queueTestCooperativeLevel(D3DERR_DEVICELOST);
    pt::queueTestCooperativeLevel(D3DERR_DEVICELOST);
    pt::queueTestCooperativeLevel(D3DERR_DEVICENOTRESET);
    pt::queueTestCooperativeLevel(D3DERR_DEVICENOTRESET);  // after the first reset failed
    D3DCore.RestoreDevice();
    EXPECT_EQ(std::make_pair(FALSE, 800u), std::make_pair(state().Parameters.Windowed, state().Parameters.BackBufferWidth));

    EXPECT_EQ(testsupport::reports().size(), 0u);
}

TEST_F(DeviceTest, ModeQueriesAndTheirTieRules)
{
    card().Modes = {{800, 600, 60, D3DFMT_R5G6B5},    {800, 600, 60, D3DFMT_X8R8G8B8},
                    {1280, 1024, 60, D3DFMT_R5G6B5},  {1280, 1024, 60, D3DFMT_X8R8G8B8},
                    {1600, 1200, 60, D3DFMT_R5G6B5},  {1600, 1200, 60, D3DFMT_X8R8G8B8},
                    {1920, 1440, 60, D3DFMT_R5G6B5},  {1920, 1440, 60, D3DFMT_X8R8G8B8}};
    ASSERT_EQ(DXSetup::Load(), 0);
    ASSERT_TRUE(D3DCore.Init());  // the default filter keeps every size
    EXPECT_EQ(D3DCore.GetNumModes(0, 0, true), 3);
    EXPECT_EQ(D3DCore.FindMode(0, 0, 512, 384), 0);
    EXPECT_EQ(D3DCore.FindMode(0, 0, 1300, 1100), 1);
    EXPECT_EQ(D3DCore.FindMode(0, 0, 1700, 1000), 0);  // 1280x1024 is not smaller in both
    EXPECT_EQ(D3DCore.FindFormat(0, 0, 1, 24), -1);
    EXPECT_EQ(D3DCore.FindRefreshRate(0, 0, 1, 1, 60), -1);

    uint32_t w = 7, h = 7;
    D3DCore.GetModeSize(0, 0, 4, &w, &h);
    EXPECT_EQ(w, 7u);
    EXPECT_EQ(countExpression("Index < Device->Modes.Objects"), 1);
    D3DCore.GetModeSize(0, 0, 3, &w, &h);
    EXPECT_EQ(h, 1440u);
    EXPECT_EQ(D3DCore.GetNumModes(0, 3, false), 0);
}

TEST_F(DeviceTest, ShellActivationRestartsTheFrameCounter)
{
    struct Host : RecordingHost {
        void (*activate)() = nullptr;
        int32_t RegisterShellFunc(uint32_t type, void (*f)()) override
        {
            if (type == 0) activate = f;
            return static_cast<int32_t>(type);
        }
    } host;
    D3DCore::SetHost(&host);
    ASSERT_EQ(DXSetup::Load(), 0);
    ASSERT_TRUE(D3DCore.Init());
    ASSERT_NE(host.activate, nullptr);
    D3DCore.FrameCount = 55;
    host.activate();
    EXPECT_EQ(D3DCore.FrameCount, 0u);
    D3DCore.Shutdown();
    D3DCore::SetHost(&m_host);
}

TEST_F(DeviceTest, StartingTwiceOrStoppingWithALiveDeviceLeavesNothingDangling)
{
    ASSERT_TRUE(bringUp());
    DXDevice* chosen = D3DCore.pDevice;
    EXPECT_FALSE(D3DCore.Init());
    EXPECT_EQ(DXSetup.Adapters.Objects, 1);  // the tree the choice points into is kept
    EXPECT_EQ(D3DCore.pDevice, chosen);

    D3DCore.Shutdown();
    EXPECT_EQ(countReports("!D3DCore.DeviceActive"), 1);
    EXPECT_EQ(D3DCore.ActualZFormat, nullptr);  // no pointer into the freed tree is left
    EXPECT_EQ(pt::d3d9LiveDevices(), 0);
    EXPECT_EQ(DXSetup.Adapters.Objects, 0);
}

}  // namespace

#include "d3dcore9/RenderCoreStart.h"

namespace {

class RenderCoreStartTest : public CoreFixture {};

TEST_F(RenderCoreStartTest, TheGameBringsTheCoreUpAndDownCleanly)
{
    ASSERT_EQ(DXSetup::Load(), 0);
    RenderCoreSettings settings;
    settings.Width = 1024;
    settings.Height = 768;
    settings.Bits = 16;
    ASSERT_TRUE(StartRenderCore(settings));
    EXPECT_EQ(state().Parameters.BackBufferFormat, D3DFMT_R5G6B5);
    StopRenderCore();
    EXPECT_EQ(pt::d3d9LiveDevices(), 0);
    ASSERT_EQ(DXSetup::Load(), 0);
    settings.FullScreen = false;
    ASSERT_TRUE(StartRenderCore(settings));
    EXPECT_EQ(state().Parameters.Windowed, TRUE);
    EXPECT_TRUE(m_host.has("ClientSize 1024x768"));
    StopRenderCore();
    EXPECT_EQ(testsupport::reports().size(), 0u);

    // Modes in 32 bits only: A8R8G8B8 gives way to X8R8G8B8, one format is left and pruning drops it.
    card().Modes = {{800, 600, 60, D3DFMT_X8R8G8B8}, {800, 600, 60, D3DFMT_A8R8G8B8}};
    ASSERT_EQ(DXSetup::Load(), 0);
    EXPECT_FALSE(StartRenderCore(settings));
    EXPECT_EQ(countReports("No supported 3D card found"), 1);
    EXPECT_EQ(DXSetup.DDrawLoaded, 0);
}

TEST_F(RenderCoreStartTest, ACardThatFailsReachesTheRunLog)
{
    caps().PrimitiveMiscCaps = 0;
    {
        testsupport::RealRunLog realLog;
        ASSERT_EQ(DXSetup::Load(), 0);
        EXPECT_FALSE(StartRenderCore(RenderCoreSettings{}));
    }
    std::string log = m_dir.read("Veldrane.log");
    EXPECT_NE(log.find("Not Supported: Card doesn't support blendop"), std::string::npos);
    EXPECT_NE(log.find("No supported 3D card found"), std::string::npos);
}

}  // namespace
