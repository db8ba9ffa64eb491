// The debug-text printer, the loading screen and the statistics overlay on the scripted card, with
// a hand-made debug font. The texts printed are watched through the printer's observer.
#include "FrameFixture.h"

#include "d3dcore9/RenderStatistics.h"

#include <cstring>
#include <string>

namespace pt = platform::testing;

namespace {

struct Printed {
    std::string text;
    float x, y, scale;
};
std::vector<Printed> printed;

void observe(const char* text, float x, float y, float scale) { printed.push_back({text, x, y, scale}); }

struct GlyphVertex {
    float x, y, z, rhw, u, v;
};

class DebugTextTest : public FrameFixture {
protected:
    void SetUp() override
    {
        FrameFixture::SetUp();
        pt::setManualClock(true);
        pt::setTime(0);
        printed.clear();
        D3DCore::SetDebugTextObserver(observe);
    }

    void TearDown() override
    {
        D3DCore::SetDebugTextObserver(nullptr);
        pt::setKeyDown(VK_ESCAPE, false);
        pt::setManualClock(false);
        if (D3DCore.DeviceActive) D3DCore.StateBlocks.ReleaseAll();
        FrameFixture::TearDown();
    }

    // The device with the debug font: one pass selecting the texture.
    void upWithFont(uint32_t width = 800, uint32_t height = 600)
    {
        ASSERT_TRUE(bringUp(true, width, height));
        GMaterial* GM = newMaterial("data\\font.mtl", {1}, {{ss(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1)}},
                                    D3DFVF_XYZRHW | D3DFVF_TEX1);
        D3DCore.DebugFontBlock = handleOf(makeBlock(GM));
        D3DCore.FontLoaded = 1;
        D3DCore.CreateDebugTextBuffer();
    }

    // The glyph vertices of the last draw of the debug-text buffer.
    static std::vector<GlyphVertex> lastGlyphs()
    {
        const DynamicVB& vb = D3DCore.DynamicVertexBuffer9[D3DCore.DebugPrintVertexBuffer];
        const std::vector<uint8_t> bytes = pt::d3d9BufferBytes(vb.VB);
        std::vector<GlyphVertex> out(vb.LastVertices);
        std::memcpy(out.data(), bytes.data() + vb.LastByte, out.size() * sizeof(GlyphVertex));
        return out;
    }

    std::vector<std::string> texts() const
    {
        std::vector<std::string> out;
        for (const Printed& p : printed) out.push_back(p.text);
        return out;
    }
};

TEST_F(DebugTextTest, GlyphQuadsModesAndLongTexts)
{
    upWithFont();
    D3DCore.DebugPrint("AB", 10, 20);  // no scene: nothing
    EXPECT_TRUE(printed.empty());

    pt::setD3D9Trace(true);
    D3DCore.BeginScene(true, false);
    pt::clearD3D9Calls();
    const char text[] = {'A', static_cast<char>(0x80), 0};
    D3DCore.DebugPrint(text, 10, 20);
    ASSERT_EQ(calls("DrawPrimitive").size(), 1u);
    EXPECT_EQ(calls("DrawPrimitive")[0][2], 4u);  // two characters, two triangles each
    const std::vector<GlyphVertex> v = lastGlyphs();
    ASSERT_EQ(v.size(), 12u);
    // 'A' (65): column 1, row 4; byte 0x80 read unsigned: column 0, row 8, below the grid.
    EXPECT_EQ(std::vector<float>({v[0].x, v[0].y, v[0].u, v[0].v, v[0].z, v[0].rhw}),
              std::vector<float>({9.5f, 19.5f, 1 / 16.0f, 0.5f, 0.01f, 100.0f}));
    EXPECT_EQ(std::vector<float>({v[5].x, v[5].y, v[5].u, v[5].v}), std::vector<float>({13.5f, 27.5f, 2 / 16.0f, 0.625f}));
    EXPECT_EQ(std::vector<float>({v[6].x, v[6].u, v[6].v}), std::vector<float>({13.5f, 0.0f, 1.0f}));

    // Mode 1 silences DebugPrint, mode 2 also the unforced scaled prints.
    printed.clear();
    D3DCore.SetDebugTextMode(1);
    D3DCore.DebugPrint("a", 0, 0);
    D3DCore.DebugPrintScaled("b", 0, 0, 2, false, false);
    D3DCore.SetDebugTextMode(2);
    D3DCore.DebugPrintScaled("c", 0, 0, 2, false, false);
    D3DCore.DebugPrintScaled("d", 0, 0, 2, false, true);
    D3DCore.SetDebugTextMode(0);
    D3DCore.DebugPrint("", 0, 0);
    EXPECT_EQ(texts(), std::vector<std::string>({"b", "d"}));
    EXPECT_EQ(lastGlyphs()[5].x, 7.5f);  // 4 x 2 pixels wide

    // A text past a third of the buffer goes in pieces, none refused.
    testsupport::clearReports();
    pt::clearD3D9Calls();
    const uint32_t perLock = D3DCore.DynamicVertexBuffer9[D3DCore.DebugPrintVertexBuffer].MaxVertices / 3 / 6;
    D3DCore.DebugPrint(std::string(perLock * 2 + 5, 'x').c_str(), 0, 0);
    EXPECT_EQ(calls("DrawPrimitive").size(), 3u);
    EXPECT_TRUE(testsupport::reports().empty());
    D3DCore.EndScene(true);
}

TEST_F(DebugTextTest, LoadingScreenFramesLevelsAndHistory)
{
    upWithFont(640, 480);
    EXPECT_EQ(D3DCore.ShowLoadingScreen("off", true), 0);  // not enabled: nothing drawn
    const UINT frames = state().FramesPresented;
    EXPECT_EQ(frames, 0u);
    D3DCore.EnableLoadingScreen(true);
    pt::setTime(2500);
    EXPECT_EQ(D3DCore.ShowLoadingScreen("Level", false), 0);
    EXPECT_EQ(state().FramesPresented, 1u);
    // Scale 2 at 640 wide: title at scale 4 centred at y 40, the level at (60, 120), timer at (560, 464).
    const std::string title = "Loading Veldrane - Please Wait";
    ASSERT_EQ(printed.size(), 3u);
    EXPECT_EQ(std::vector<float>({printed[1].x, printed[1].y}), std::vector<float>({60, 120}));
    EXPECT_EQ(std::vector<float>({printed[2].x, printed[2].y, printed[2].scale}),
              std::vector<float>({(640 - 16.0f * title.size()) / 2, 40, 4}));

    // Within 100 ms nothing is drawn again unless forced.
    pt::setTime(2550);
    EXPECT_EQ(D3DCore.ShowLoadingScreen("Models", false), 1);
    EXPECT_EQ(state().FramesPresented, 1u);
    D3DCore.SetLoadingText("first");
    D3DCore.SetLoadingText(std::string(90, 'w').c_str());
    printed.clear();
    pt::setTime(4700);
    D3DCore.AddLoadingText("newest");
    EXPECT_EQ(state().FramesPresented, 2u);
    EXPECT_EQ(texts(), std::vector<std::string>({"Time: 2", "Level", "Models", "newest", std::string(90, 'w'),
                                                 "first", title}));
    EXPECT_EQ(std::vector<float>({printed[2].x, printed[2].y, printed[3].y, printed[5].y}),
              std::vector<float>({68, 140, 440, 400}));

    // Pops, pushes past eight and long texts are refused; Escape asks to abort.
    testsupport::clearReports();
    EXPECT_EQ(D3DCore.ShowLoadingScreen(std::string(128, 'x').c_str(), true), 0);
    for (int i = 2; i < 9; ++i) D3DCore.ShowLoadingScreen("more", false);
    EXPECT_EQ(D3DCore.Loading.DispLevels, 8);
    for (int i = 0; i < 9; ++i) D3DCore.ShowLoadingScreen("", false);
    EXPECT_EQ(D3DCore.Loading.DispLevels, 0);
    EXPECT_EQ(testsupport::reports().size(), 2u);  // the ninth push, the pop too many
    pt::setKeyDown(VK_ESCAPE, true);
    D3DCore.ShowLoadingScreen("Level", false);
    EXPECT_EQ(testsupport::countReports("Abort Load?"), 1);
}

TEST_F(DebugTextTest, NumbersAreFormattedToElevenCharacters)
{
    const std::pair<int32_t, const char*> counts[] = {
        {1234567, "1,234,567  "}, {999, "999        "}, {2000000000, "2000,000,000"}};
    for (const auto& [n, text] : counts) EXPECT_STREQ(FormatCount(n), text) << n;
    const std::pair<float, const char*> thousandths[] = {
        {0.005f, "0.005      "}, {1234.5678f, "1,234.567  "}, {3e9f, "2000,000.000"}};
    for (const auto& [x, text] : thousandths) EXPECT_STREQ(FormatThousandths(x), text) << x;
    EXPECT_EQ(testsupport::countReports("strlen(Buffer) == 11") + testsupport::countReports("strlen(numberBuffer) == 11"), 2);
}

TEST_F(DebugTextTest, StatisticsAverageOverWindowsAndAreShown)
{
    upWithFont();
    auto frame = [&](int draws, int strip, int degenerate) {
        D3DCore.BeginScene(true, false);
        for (int i = 0; i < draws; ++i) D3DCore.CountDraw(D3DPT_TRIANGLELIST, 10, 30, 0);
        if (strip) D3DCore.CountDraw(D3DPT_TRIANGLESTRIP, strip, strip + 2, degenerate);
        D3DCore.EndScene(true);
    };
    // The first window runs from the clock's origin: two frames over 1250 ms, the second of two
    // scenes, whose draws both count in the one frame.
    pt::setTime(500);
    frame(2, 0, 0);
    D3DCore.Present(false);
    pt::setTime(900);
    frame(1, 0, 0);
    pt::setTime(1250);
    frame(3, 20, 5);
    D3DCore.Present(false);
    const FrameStatistics& s = D3DCore.LastStatistics;
    EXPECT_FLOAT_EQ(s.FPS, 1.6f);
    EXPECT_EQ(std::vector<int32_t>({s.TPS, s.NonDegenerateTPS, s.TPF, s.STPF, s.NonDegenerateSTPF, s.TPC}),
              std::vector<int32_t>({64, 60, 40, 10, 7, 11}));

    // A window without draws divides by one.
    pt::setTime(2300);
    D3DCore.BeginScene(true, false);
    printed.clear();
    D3DCore.EndScene(true);
    EXPECT_EQ(D3DCore.LastStatistics.VPT, 0.0f);
    ASSERT_GE(texts().size(), 18u);
    EXPECT_EQ(texts()[0], "0.952       FPS");
    D3DCore.ShortStatistics = 1;
    D3DCore.BeginScene(true, false);
    printed.clear();
    D3DCore.EndScene(true);
    EXPECT_EQ(printed.size(), 3u);
}

}  // namespace
