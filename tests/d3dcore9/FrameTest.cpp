#include "FrameFixture.h"

namespace pt = platform::testing;
using testsupport::countReports;

namespace {

std::vector<std::string> events;
void type0() { events.push_back("0"); }
void type1() { events.push_back("1"); }
void type2() { events.push_back("2"); }
void type3() { events.push_back("3"); }
void type4() { events.push_back("4 scene " + std::to_string(D3DCore.BegunScene)); }
void type5() { events.push_back("5"); }

class FrameTest : public FrameFixture {
protected:
    void SetUp() override
    {
        FrameFixture::SetUp();
        ASSERT_TRUE(bringUp());
        events.clear();
        pt::clearD3D9Calls();
        testsupport::clearReports();
    }

    void frame(bool passes = true)
    {
        D3DCore.BeginScene(true, false);
        if (D3DCore.BegunScene) events.push_back("draw");
        D3DCore.EndScene(passes);
        D3DCore.Present(passes);
    }
};

TEST_F(FrameTest, CallbacksRunAtTheirMomentsInSlotOrder)
{
    D3DCore.RegisterFunc(2, type2);
    D3DCore.RegisterFunc(3, type3);
    const D3DCoreFuncHandle first4 = D3DCore.RegisterFunc(4, type4);
    D3DCore.RegisterFunc(4, type4);
    D3DCore.RegisterFunc(5, type5);
    D3DCore.RegisterFunc(0, type0);
    D3DCore.RegisterFunc(1, type1);
    EXPECT_EQ(first4.Index, 0);
    pt::setD3D9Trace(true);
    frame();
    // Each off-screen pass has a scene of its own and runs no scene passes.
    EXPECT_EQ(events, (std::vector<std::string>{"draw", "3", "2", "4 scene 1", "4 scene 1"}));
    EXPECT_EQ(pt::d3d9Calls("BeginScene"), 3);
    EXPECT_EQ(pt::d3d9Calls("Present"), 1);

    // Without scene passes, or with the skip byte, types 2, 3 and 4 stay quiet.
    events.clear();
    frame(false);
    D3DCore.SkipScenePasses = 1;
    frame(true);
    EXPECT_EQ(events, (std::vector<std::string>{"draw", "draw"}));
    EXPECT_EQ(D3DCore.FrameCount, 3u);

    D3DCore.UnregisterFunc(first4);
    EXPECT_EQ(D3DCore.D3DCoreFunc[4][0], nullptr);
    // Every slot must be empty at shutdown.
    D3DCore.ClearFuncs();
    EXPECT_EQ(countReports("D3DCore.D3DCoreFunc[j][i] == NULL"), 6);
}

TEST_F(FrameTest, RegistrationRefusesAFullRowAndBadHandles)
{
    for (int i = 0; i < 10; ++i) EXPECT_EQ(D3DCore.RegisterFunc(2, type2).Index, i);
    const D3DCoreFuncHandle full = D3DCore.RegisterFunc(2, type3);
    EXPECT_EQ(full.Index, -1);
    EXPECT_EQ(D3DCore.RegisterFunc(6, type2).Index, -1);
    // The handle of a full row, or one out of range, does nothing beyond its report.
    D3DCore.UnregisterFunc(full);
    D3DCore.UnregisterFunc(D3DCoreFuncHandle{9, 0});
    D3DCore.UnregisterFunc(D3DCoreFuncHandle{2, 10});
    for (auto* slot : D3DCore.D3DCoreFunc[2]) EXPECT_EQ(slot, type2);
}

TEST_F(FrameTest, BeginSceneClearsThenOpensTheScene)
{
    pt::setD3D9Trace(true);
    D3DCore.BeginScene(true, false);
    // Depth and stencil only: the clear colour is off by default.
    EXPECT_EQ(calls("Clear").at(0)[2], D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL);
    EXPECT_TRUE(state().InScene);
    D3DCore.EndScene(true);

    pt::clearD3D9Calls();
    D3DCore.SetClearColour(true, 0x12, 0x34, 0x56);
    D3DCore.BeginScene(true, false);
    EXPECT_EQ(calls("Clear"), (std::vector<std::vector<uint64_t>>{{0, 0, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL,
                                                                   0xFF123456u, 0x3F800000u, 0}}));
    D3DCore.EndScene(true);
    // Turned off, the colour given is not taken and the target is left alone.
    pt::clearD3D9Calls();
    D3DCore.SetClearColour(false, 1, 2, 3);
    D3DCore.BeginScene(true, false);
    EXPECT_EQ(calls("Clear").at(0)[2], D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL);
    EXPECT_EQ(D3DCore.ClearColour, 0xFF123456u);
    D3DCore.EndScene(true);

    // The frame's counters start again at every scene: world-matrix sets, vertices and indices
    // handed out.
    const int32_t h = D3DCore.CreateDynamicVertexBuffer(0x44);
    ASSERT_NE(D3DCore.DynamicVertexBuffer9[h].Lock(3), nullptr);
    D3DCore.DynamicVertexBuffer9[h].Unlock();
    D3DCore.SetWorldTransform(0, 0, 1, 2, 3, 1);
    D3DCore.BeginScene(false, false);
    EXPECT_EQ(D3DCore.WorldMatrixChanges + D3DCore.DynamicVertexBuffer9[h].VerticesUsed, 0u);
    D3DCore.EndScene(true);

    // The frame time runs on the processor clock (2000 cycles a second here), unless frozen.
    m_host.Clock += 3000;
    D3DCore.BeginScene(false, false);
    D3DCore.EndScene(true);
    D3DCore.FreezeFrameTime = 1;
    m_host.Clock += 3000;
    D3DCore.BeginScene(false, false);
    EXPECT_DOUBLE_EQ(D3DCore.FrameTime, 1500.0);
    D3DCore.EndScene(true);
}

TEST_F(FrameTest, EndSceneAlwaysUnbindsStreamsTexturesAndPixelShader)
{
    const int32_t h = D3DCore.CreateDynamicVertexBuffer(0x44);
    DynamicVB& vb = D3DCore.DynamicVertexBuffer9[h];
    ASSERT_NE(vb.Lock(3), nullptr);
    vb.Unlock();
    D3DCore.SetStreamSource(3, vb.VB, 20);
    D3DCore.SetTexture(2, reinterpret_cast<IDirect3DBaseTexture9*>(vb.VB));
    D3DCore.EndScene(true);  // no scene open
    EXPECT_EQ(state().Streams[3].Buffer, nullptr);
    EXPECT_EQ(state().Textures[2], nullptr);
    EXPECT_EQ(pt::d3d9Calls("EndScene"), 0);
    // Only streams that are set are unbound again.
    pt::clearD3D9Calls();
    D3DCore.EndScene(true);
    EXPECT_EQ(pt::d3d9Calls("SetStreamSource"), 0);
    EXPECT_EQ(pt::d3d9Calls("SetPixelShader"), 0);
}

TEST_F(FrameTest, ALostDeviceDrawsNothingUntilItIsReset)
{
    D3DCore.RegisterFunc(0, type0);
    D3DCore.RegisterFunc(1, type1);
    pt::queueTestCooperativeLevel(D3DERR_DEVICELOST);
    pt::queueTestCooperativeLevel(D3DERR_DEVICELOST);
    pt::queueTestCooperativeLevel(D3DERR_DEVICELOST);
    pt::queueTestCooperativeLevel(D3DERR_DEVICENOTRESET);
    pt::queueResetResult(E_FAIL);
    pt::queueTestCooperativeLevel(D3DERR_DEVICENOTRESET);
    for (int i = 0; i < 4; ++i) frame();
    // Released once, input let go once, nothing presented.
    EXPECT_EQ(events, (std::vector<std::string>{"0"}));
    EXPECT_EQ(m_host.Unacquires, 1);
    EXPECT_EQ(m_host.NotReady, (std::vector<bool>{true, true}));
    EXPECT_EQ(pt::d3d9Calls("Present") + pt::d3d9Calls("BeginScene"), 0);
    EXPECT_EQ(pt::d3d9Calls("Reset"), 1);

    frame();
    EXPECT_EQ(events, (std::vector<std::string>{"0", "1", "draw"}));
    EXPECT_EQ(D3DCore.DeviceLost, 0);
    EXPECT_EQ(pt::d3d9Calls("Present"), 1);
    D3DCore.UnregisterFunc(D3DCoreFuncHandle{0, 0});
    D3DCore.UnregisterFunc(D3DCoreFuncHandle{1, 0});

    // Lost in an off-screen pass: the frame ends there, unpresented.
    events.clear();
    D3DCore.RegisterFunc(4, type4);
    pt::queueTestCooperativeLevel(D3D_OK);
    pt::queueTestCooperativeLevel(D3DERR_DEVICELOST);
    frame();
    EXPECT_EQ(events, (std::vector<std::string>{"draw"}));
    EXPECT_EQ(D3DCore.DeviceLost, 1);
    EXPECT_EQ(pt::d3d9Calls("Present"), 1);
    D3DCore.UnregisterFunc(D3DCoreFuncHandle{4, 0});
}

TEST_F(FrameTest, WindowedDeviceStaysLostWhileTheDesktopCannotServeIt)
{
    D3DCore.ReleaseDevice();
    const int32_t mode = D3DCore.FindMode(0, 0, 800, 600);
    D3DCore.SetMode(0, 0, mode, D3DCore.FindFormat(0, 0, mode, 32), 0, 0, false, 0, 0, 0);
    ASSERT_TRUE(D3DCore.CreateDevice(false, true, 1));
    pt::clearD3D9Calls();
    pt::queueTestCooperativeLevel(D3DERR_DEVICELOST);
    pt::queueTestCooperativeLevel(D3DERR_DEVICENOTRESET);
    pt::queueTestCooperativeLevel(D3DERR_DEVICENOTRESET);
    frame();
    EXPECT_EQ(m_host.Erases, 1);
    // The desktop switched to a format no depth format matches: no reset is tried.
    pt::D3D9Adapter& card = pt::d3d9Config().Adapters[0];
    const pt::D3D9Adapter kept = card;
    card.Desktop.Format = D3DFMT_R5G6B5;
    for (D3DFORMAT depth : card.DepthFormats) card.DepthMismatches.push_back({D3DFMT_R5G6B5, depth});
    frame();
    EXPECT_EQ(pt::d3d9Calls("Reset"), 0);
    EXPECT_EQ(D3DCore.DeviceLost, 1);
    EXPECT_EQ(m_host.Erases, 1);
    card = kept;
    frame();
    EXPECT_EQ(pt::d3d9Calls("Reset"), 1);
    EXPECT_EQ(D3DCore.DeviceLost, 0);
    EXPECT_EQ(pt::d3d9Calls("Present"), 1);
}

TEST_F(FrameTest, ViewportsLetterboxAndRefusals)
{
    D3DCore.SetViewPort(0, 0, 640, 480, 640, 360);
    EXPECT_EQ(std::vector<DWORD>({state().Viewport.Y, state().Viewport.Height}), std::vector<DWORD>({60, 360}));
    EXPECT_EQ(D3DCore.CurrentViewportInfo.LetterboxSize, 60);
    // 99% of 800 is 792; of 600, 594: margins of 4 and 3 pixels.
    EXPECT_EQ(std::vector<int>({D3DCore.MarginWidth, D3DCore.MarginHeight}), std::vector<int>({4, 3}));

    // Odd sizes and used sizes beyond the full ones keep the previous viewport.
    testsupport::clearReports();
    D3DCore.SetViewPort(0, 0, 640, 480, 700, 480);
    D3DCore.SetViewPort(0, 0, 640, 480, 639, 480);
    D3DCore.SetViewPort(0, 0, 641, 480, 640, 480);
    EXPECT_EQ(testsupport::reports().size(), 3u);
    EXPECT_EQ(state().Viewport.Y, 60u);

    D3DCore.SetViewPort(100, 0, 600, 400, 400, 400);
    EXPECT_EQ(state().Viewport.X, 200u);
    D3DCore.SetFullViewPort(true);
    EXPECT_EQ(state().Viewport.Height, 600u);
    EXPECT_EQ(pt::d3d9Calls("Clear"), 1);
}

TEST_F(FrameTest, LetterboxBordersAreClearedWithTheBorderColour)
{
    D3DCore.SetBorderColour(true, 0x20, 0x10, 0x00, 0);
    D3DCore.SetViewPort(0, 0, 800, 600, 800, 500);
    pt::setD3D9Trace(true);
    D3DCore.BeginScene(true, false);
    D3DCore.EndScene(true);
    D3DCore.Present(false);
    // Viewports: the strip above, the strip below, the kept one; twice (begin and present).
    std::vector<std::vector<uint64_t>> expected;
    for (int i = 0; i < 2; ++i) {
        expected.push_back({0, 0, 800, 50});
        expected.push_back({0, 550, 800, 50});
        expected.push_back({0, 50, 800, 500});
    }
    std::vector<std::vector<uint64_t>> viewports;
    for (const auto& v : calls("SetViewport")) viewports.push_back({v[0], v[1], v[2], v[3]});
    EXPECT_EQ(viewports, expected);
    const auto clears = calls("Clear");
    ASSERT_EQ(clears.size(), 5u);
    EXPECT_EQ(clears[0][3], 0xFF201000u);
    EXPECT_EQ(clears[2][2], D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL);  // the frame's own clear
}

TEST_F(FrameTest, ScreenMarginIsDrawnBeforePresent)
{
    D3DCore.SetViewPort(0, 0, 800, 600, 800, 600);
    D3DCore.LetterboxBlock = borderBlock();
    D3DCore.DrawMargin = 1;
    D3DCore.RegisterFunc(2, type2);
    pt::setD3D9Trace(true);
    frame();
    EXPECT_EQ(calls("DrawPrimitiveUP").size(), 4u);
    // The margin's scene runs the scene passes too, all before the present.
    EXPECT_EQ(events, (std::vector<std::string>{"draw", "2", "2"}));
    EXPECT_EQ(pt::d3d9Calls("Present"), 1);
    EXPECT_EQ(pt::d3d9Trace().back().Method, "Present");
    D3DCore.UnregisterFunc(D3DCoreFuncHandle{2, 0});
}

TEST_F(FrameTest, FadeIsHeldToAByteAndBecomesTheAutoTransparentAlpha)
{
    for (auto [given, kept] : {std::pair{300, 255}, {-1, 0}, {128, 128}, {255, 255}}) {
        testsupport::clearReports();
        D3DCore.SetFade(given);
        EXPECT_EQ(std::vector<int>({D3DCore.FadeAlpha, D3DCore.AutoTransparencyAlpha}), std::vector<int>({kept, kept}));
        EXPECT_EQ(testsupport::reports().size(), given == kept ? 0u : 1u) << given;
    }
}

}  // namespace
