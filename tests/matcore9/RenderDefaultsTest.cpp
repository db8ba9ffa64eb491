#include "MatFixture.h"

#include <cstring>

namespace pt = platform::testing;
using testsupport::countReports;

namespace {

class RenderDefaultsTest : public MatFixture {};

TEST_F(RenderDefaultsTest, NameTablesTranslateWordsAndStatesBothWays)
{
    MatCore.BuildMaps();
    // Every state word, in capitals, finds its entry and its entry finds it back.
    for (int32_t t : {MAP_RENDERSTATES, MAP_STAGESTATES})
        for (int32_t i = 0; i < MatCore.Maps[t].Mappings; ++i) {
            const MapEntry& e = MatCore.Maps[t].Mapping[i];
            std::string upper = e.Name;
            for (char& c : upper) c = static_cast<char>(std::toupper(c));
            DWORD value = 0, table = 0;
            ASSERT_TRUE(MatCore.FindMapping(t, upper.c_str(), &value, &table)) << upper;
            EXPECT_EQ(std::make_pair(value, table), std::make_pair(e.Value, e.ValueTable));
            EXPECT_EQ(t == MAP_RENDERSTATES ? MatCore.FindRenderStateMapping(value) : MatCore.FindStageStateMapping(value),
                      &e);
        }
    // A value the table gives rather than the enumeration.
    DWORD value = 0;
    EXPECT_TRUE(MatCore.FindMapping(2, "maxanisotropy", &value));
    EXPECT_EQ(110u, value);

    EXPECT_FALSE(MatCore.FindMapping(MAP_RENDERSTATES, "zenabl", nullptr));
    EXPECT_EQ(MatCore.FindRenderStateMapping(D3DRS_MULTISAMPLEANTIALIAS), nullptr);
}

TEST_F(RenderDefaultsTest, ValuesAreReadAsMaterialFilesWriteThem)
{
    MatCore.BuildMaps();
    const struct {
        int32_t table;
        const char* text;
        bool ok;
        DWORD value;
    } cases[] = {
        {3, "TRUE", true, 1},
        {0, "4294967296", false, 0},
        {0, "-0.5f", true, 0xBF000000u},
        {0, "f", false, 0},
        {21, "XYZ NORMAL TEX1", true, 0x112},
        {16, "texture | complement", true, 0x12},
        {9, "lessequal // a comment", true, 4},
        {9, "sometimes", false, 0},
        {0, "-1", false, 0},
    };
    for (const auto& c : cases) {
        DWORD value = 0;
        EXPECT_EQ(MatCore.ParseValue(c.table, c.text, &value), c.ok) << c.text;
        EXPECT_EQ(c.ok ? value : 0u, c.value) << c.text;
    }
}

TEST_F(RenderDefaultsTest, DefaultsFileLinesAreReadOrReported)
{
    const std::string longLine = "renderstate fogcolor rare 0x00ff00ff" + std::string(600, ' ') + "ambient\n";
    m_dir.write("data/renderdefault.txt",
                "// a comment\n\n"
                "RenderState ZEnable Rare TRUE\n"
                "renderstate colorwriteenable,rare,1\n"
                "renderstate unknownstate rare 1\n"
                "texturestagestate unknownstage rare 1\n"
                "texturestagestate mipfilter always point\n"
                "renderstate cullmode sometimes cw\n" +
                    longLine +
                    "renderstate alpharef rare banana\n"
                    "material zenable rare true\n");
    MatCore.BuildMaps();
    const int checks = checksFailed();
    MatCore.LoadRenderDefaults();
    const MapEntry* z = MatCore.FindRenderStateMapping(D3DRS_ZENABLE);
    EXPECT_EQ(std::make_pair(z->Default, z->Usage), std::make_pair(DWORD(1), DWORD(ST_RARE)));
    // Red and blue masks exchanged, as material files do.
    EXPECT_EQ(MatCore.FindRenderStateMapping(D3DRS_COLORWRITEENABLE)->Default, 4u);
    EXPECT_EQ(MatCore.FindStageStateMapping(100 + D3DSAMP_MIPFILTER)->Default, static_cast<DWORD>(D3DTEXF_POINT));
    EXPECT_EQ(MatCore.FindRenderStateMapping(D3DRS_CULLMODE)->Usage, static_cast<DWORD>(ST_UNDEFINED));
    // The over-long line is cut, and its remainder is no line of its own.
    EXPECT_EQ(MatCore.FindRenderStateMapping(D3DRS_FOGCOLOR)->Default, 0x00ff00ffu);
    // Usage, state type, the long line, the unknown stage state and the bad value are refused; an
    // unknown render state is skipped silently. The file's first fault is its one report.
    EXPECT_EQ(checksFailed() - checks, 5);
    ASSERT_EQ(testsupport::reports().size(), 1u);
    EXPECT_EQ(testsupport::reports()[0].message, "While reading data\\renderdefault.txt");
    EXPECT_EQ(testsupport::reports()[0].expression, "false");
    EXPECT_EQ(MatCore.FindRenderStateMapping(D3DRS_ALPHAREF)->Usage, static_cast<DWORD>(ST_UNDEFINED));
}

TEST_F(RenderDefaultsTest, AMissingDefaultsFileEndsTheRun)
{
    std::remove((m_dir.path() + "/data/renderdefault.txt").c_str());
    try {
        MatCore.InitRenderStates();
        FAIL() << "the run went on";
    } catch (const testsupport::ProcessExit& e) {
        EXPECT_EQ(e.code, 1);
    }
    EXPECT_EQ(countReports("failed to open data\\renderdefault.txt"), 1);
}

TEST_F(RenderDefaultsTest, EveryStateIsForcedToItsDefaultOnEveryStage)
{
    ASSERT_TRUE(bringUp());
    D3DCore.SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    pt::setD3D9Trace(true);
    MatCore.ApplyRenderDefaults();
    EXPECT_TRUE(testsupport::reports().empty());
    // Render states in table order, ZBIAS never sent; the cache was forgotten first, so CULLMODE
    // goes out although the cache held its value.
    std::vector<uint64_t> sent;
    for (const auto& c : calls("SetRenderState")) sent.push_back(c[0]);
    std::vector<uint64_t> expected;
    for (int32_t i = 0; i < MatCore.Maps[MAP_RENDERSTATES].Mappings; ++i)
        if (MatCore.Maps[MAP_RENDERSTATES].Mapping[i].Value != RS_ZBIAS)
            expected.push_back(MatCore.Maps[MAP_RENDERSTATES].Mapping[i].Value);
    EXPECT_EQ(sent, expected);
    // Every stage state on all 8 stages of the card: 14 stage states, 9 sampler states.
    EXPECT_EQ(calls("SetTextureStageState").size(), 14u * 8);
    EXPECT_EQ(calls("SetSamplerState").size(), 9u * 8);
    EXPECT_EQ(state().SamplerStates[7][D3DSAMP_MIPFILTER], static_cast<DWORD>(D3DTEXF_LINEAR));
    EXPECT_EQ(D3DCore.RenderStateDefaults[D3DRS_CULLMODE], static_cast<DWORD>(D3DCULL_CCW));
}

TEST_F(RenderDefaultsTest, DepthDefaultFollowsTheDepthBufferAndWBuffering)
{
    ASSERT_TRUE(bringUp());
    const struct {
        DWORD fileDefault;
        bool depth, deviceW, option;
        DWORD sent;
        BYTE inUse;
    } cases[] = {
        {D3DZB_USEW, true, false, true, D3DZB_TRUE, 0},
        {D3DZB_USEW, true, true, true, D3DZB_USEW, 1},
        {D3DZB_TRUE, false, true, true, D3DZB_FALSE, 0},
    };
    for (const auto& c : cases) {
        MatCore.SetRenderStateDefault(D3DRS_ZENABLE, c.fileDefault, ST_KEEP);
        D3DCore.DepthBufferEnabled = c.depth;
        D3DCore.CurrentDevice->WBuffer = c.deviceW;
        D3DCore.WBufferOption = c.option;
        D3DCore.WBufferInUse = 0;
        MatCore.ApplyRenderDefaults();
        EXPECT_EQ(state().RenderStates[D3DRS_ZENABLE], c.sent);
        // The choice is kept as the default: USEW is gone for good where it was refused.
        EXPECT_EQ(MatCore.FindRenderStateMapping(D3DRS_ZENABLE)->Default, c.sent);
        EXPECT_EQ(D3DCore.WBufferInUse, c.inUse);
    }
}

TEST_F(RenderDefaultsTest, StatesMissingFromTheFileAreReportedOnceAndNotSent)
{
    m_dir.write("data/renderdefault.txt", "renderstate zenable alwaysw true\ntexturestagestate colorop alwaysw modulate\n");
    ASSERT_TRUE(bringUp());
    pt::setD3D9Trace(true);
    const int checks = checksFailed();
    MatCore.ApplyRenderDefaults();
    MatCore.ApplyRenderDefaults();
    // Each is checked; the first is said, naming the file, and the rest follow from the same file.
    EXPECT_EQ(checksFailed() - checks, 54 + 22);
    ASSERT_EQ(testsupport::reports().size(), 1u);
    EXPECT_EQ(testsupport::reports()[0].message,
              "While reading data\\renderdefault.txt\nRenderState <fillmode> missing from renderdefault.txt");
    EXPECT_EQ(calls("SetRenderState").size(), 2u);
    EXPECT_EQ(calls("SetTextureStageState").size(), 2u * 8);
    EXPECT_EQ(calls("SetSamplerState").size(), 0u);
}

}  // namespace
