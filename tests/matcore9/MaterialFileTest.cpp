// Material files: the shipped materials, table-driven snippets (value forms, states, ordering and
// every error with its exit), and the decision between shader alternatives on a scripted card.
#include "MaterialFileFixture.h"

#include "utility/RunLog.h"

#include <functional>

using testsupport::countReports;

namespace {

class MaterialFileTest : public MaterialFileFixture {};

TEST_F(MaterialFileTest, ShippedMaterialsLoadWithoutAReport)
{
    struct Shipped {
        const char* file;
        DWORD fvf;
        BYTE lit;
    };
    const Shipped shipped[] = {
        {"letterbox.mtl", D3DFVF_XYZRHW | D3DFVF_DIFFUSE, 0},
        {"font.mtl", D3DFVF_XYZRHW | D3DFVF_TEX1, 0},
        {"overlay\\hudfont.mtl", D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, 0},
        {"fallbackmaterials\\vc.mtl", D3DFVF_XYZ | D3DFVF_DIFFUSE, 0},
        {"fallbackmaterials\\t1_vc.mtl", D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1, 0},
        {"fallbackmaterials\\t1.mtl", D3DFVF_XYZ | D3DFVF_TEX1, 0},
        {"models\\demo.mtl", D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, 1},
    };
    copyData("models/demo.anm");
    for (const Shipped& s : shipped) {
        SCOPED_TRACE(s.file);
        std::string name = s.file;
        std::replace(name.begin(), name.end(), '\\', '/');
        copyData(name);
        const ParseResult r = parse(s.file);
        ASSERT_TRUE(r.Parsed);
        EXPECT_EQ(std::make_pair(r.GM->FVFFormat.D3DFlags, r.Lit), std::make_pair(s.fvf, s.lit));
        EXPECT_TRUE(testsupport::reports().empty());
        EXPECT_EQ(MatCore.Warnings, 0u) << MatCore.LoadingText;
    }
    // The mesh's material scrolls and turns its texture about the centre.
    const GMaterial* demo = m_parsed.back();
    ASSERT_NE(demo->Animation[0], nullptr);
    D3DCore.AnimationTime = 2000.0;
    EXPECT_FLOAT_EQ(demo->Animation[0]->Evaluate(MaterialAnimation::OFFSETU, demo), 0.5f);
}

enum Expect { OK, BAD_VALUE, FATAL };

struct Snippet {
    const char* shader;  // lines at line 8
    const char* pass;    // lines at line 10 + the shader lines
    Expect expect;
    const char* text;  // OK: the warning; otherwise the report
    std::function<bool(const GMaterial&)> check = nullptr;
    const char* from = nullptr;  // an edit of the template
    const char* to = "";
};

const DWORD SS_MIPMAPLODBIAS = 108;

const Snippet SNIPPETS[] = {
    // Values and states.
    {"", "setrenderstate colorwriteenable 1\n", OK, nullptr,
     [](const GMaterial& m) { return hasNode(m.PassStates[0], NODE_RENDERSTATE, 0, D3DRS_COLORWRITEENABLE, 4); }},
    {"", "setrenderstate texturefactor 0x80ff0000\n", OK, nullptr,
     [](const GMaterial& m) {
         return m.UseTextureFactor && m.TextureFactor == 0x80ff0000u &&
                !hasState(m.PassStates[0], NODE_RENDERSTATE, D3DRS_TEXTUREFACTOR);
     }},
    {"", "setrenderstate zbias 3\n", OK, nullptr,
     [](const GMaterial& m) { return m.DepthBias[0] == 3.0f && !hasState(m.PassStates[0], 0, RS_ZBIAS); }},
    {"minmipsize 0 0\nminmipsize 1 256\nuvsource 1 0\nignorealpha 7\n", "", OK, nullptr,
     [](const GMaterial& m) { return m.MinMipSize[0] == 1 && m.MinMipSize[1] == 256 && m.UVSource[1] == 0 && m.IgnoreAlpha[7]; }},
    {"#if XBOX\nbogus\n#endif\n#if PC\nsortbias -0.5\n#endif\n#endif\n", "", OK, nullptr,
     [](const GMaterial& m) { return m.SortBias == -0.5f; }},
    {"textureformat 1 ABCD l8 1234 565\ntextureformat 2 l8\nsort poly\nsortscale independent\n", "", OK, nullptr,
     [](const GMaterial& m) {
         return m.TexFormat[0]->Format == D3DFMT_A8R8G8B8 && m.TexFormat[1]->Format == D3DFMT_R5G6B5 && !m.TexFormat[2] &&
                m.DelayedSort == SORT_POLY && m.SortScale == 2;
     }},
    {"sortbias 0.25" "                                                                                                    "
     "                                                                                                    "
     "                                                                                                    "
     "                                                                                                    "
     "                                                                                                    "
     "                                                      bogus\n",
     "stageid 1 glow\n", OK, nullptr,
     [](const GMaterial& m) { return m.SortBias == 0.25f && std::string(m.StageName[0][1]) == "glow" && m.FindStageID("GLOW") == 1; }},
    {"optimise TRUE\nuseprocessvertices\n", "", OK, "Obsolete Optimise command in data\\t.mtl"},
    {"", "", OK, nullptr, [](const GMaterial& m) { return m.FVFFormat.D3DFlags == (D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1); },
     "fvf XYZ|TEX1", "fvf xyz normal tex1\t// all three"},
    // Parameter errors: reported, and the material is not loaded.
    {"minmipsize 0 3\n", "", BAD_VALUE, "Invalid Number Parameter for minmipsize at line 8 in \ndata\\t.mtl"},
    {"sort SOMETIMES\n", "", BAD_VALUE, "Invalid Argument Parameter for sort at line 8"},
    {"vertexshaderregister 8 wvmatrixx\n", "", BAD_VALUE, "Invalid Argument Parameter for vertexshaderregister"},
    {"#if PS2\n#endif\n", "", BAD_VALUE, "Invalid Number Parameter for #if at line 8"},
    {"passes 2\n", "", BAD_VALUE, "GMaterial->Passes == 0"},
    {"", "SetRenderState fogginess true\n", BAD_VALUE, "Invalid Command Parameter for SetRenderState at line 10"},
    {"", "setrenderstate zenable usew\n", BAD_VALUE, "Value != D3DZB_USEW"},
    {"", "", BAD_VALUE, "Shaders == 0xffffffff", nullptr, "shaders 1\n", "shaders 1\nshaders 1\n"},
    {"", "", BAD_VALUE, "GMaterial->MatID == NULL", nullptr, "shaders 1\n", "shaders 1\nmaterialid a\nmaterialid b\n"},
    // Structural errors end the run.
    {"bogus 1\n", "", FATAL, "Error: Unrecognised keyword \"bogus\" at line 8 in data\\t.mtl"},
    {"", "settexturestagestate 2 colorop disable\n", FATAL,
     "Error: Material: data\\t.mtl\nShader 1 Pass 1 Line 10\nInvalid stage for COLOROP"},
    {"", "stageid 0 glow\nstageid 0 shine\n", FATAL, "Line 11\nStageID already in use"},
    {"", "stageid 2 glow\n", FATAL, "Line 10\nStageID stage too big"},
    {"", "settexture 2 0\n", FATAL, "Line 10\nInvalid stage for SETTEXTURE"},
    {"", "setrenderstate texturefactor 0xff\nbumpmaptype dot3tfactor\n", FATAL,
     "Line 11\nBumpMapType DOT3TFACTOR and SetRenderState TEXTUREFACTOR are mutually exclusive"},
    {"", "settexture 0 1\n", FATAL, "Error: Material data\\t.mtlnot supported. No suitable texture formats"},
    {"alwayspass\nalwaysfail\n", "", FATAL, "Shader in Material data\\t.mtl contains mutually exclusive AlwaysPass and AlwaysFail"},
    {"lighting TRUE\ndiffusereflection MODEL\nambientreflection VERTEX\n", "", FATAL,
     "Material <data\\t.mtl> is lit, NORMAL needed in FVF format"},
    {"", "", FATAL, "Material data\\t.mtl does not define number of shaders in global block", nullptr, "shaders 1\n", ""},
    {"", "", FATAL, " Not enough passes in material data\\t.mtl shader 1 line 20", nullptr, "passes 1", "passes 2"},
    {"", "", FATAL, "Material data\\t.mtl contains an invalid FVF", nullptr, "fvf XYZ|TEX1\n", ""},
    {"stream 0 float3:x\n", "", FATAL, "Illegal stream definition in\ndata\\t.mtl", nullptr, "fvf XYZ|TEX1\n", "streams 1\n"},
    {"stream 0 float3:0\n", "", FATAL, "Custom vertex streams must use vertex shaders\ndata\\t.mtl", nullptr,
     "fvf XYZ|TEX1\n", "streams 1\n"},
    {"", "", FATAL, "Too many passes in material data\\t.mtl shader 1 line 20", nullptr, "[end]\n[end]\n",
     "[end]\n[pass]\n[end]\n[end]\n"},
};

TEST_F(MaterialFileTest, SnippetsLoadOrReportAsWritten)
{
    for (const Snippet& s : SNIPPETS) {
        std::string text = material(s.shader, s.pass);
        if (s.from) text.replace(text.find(s.from), std::strlen(s.from), s.to);
        SCOPED_TRACE(text);
        testsupport::clearReports();
        resetRunLogCount();  // each a run of its own: a file's report is made once a run
        MatCore.Warnings = 0;
        write("t.mtl", text);
        const ParseResult r = parse("t.mtl");
        EXPECT_EQ(r.Parsed, s.expect == OK);
        EXPECT_EQ(r.Exit, s.expect == FATAL ? 1 : -1);
        EXPECT_FALSE(D3DCore.StateBlocks.RecordStarted);
        if (s.expect == OK) {
            EXPECT_TRUE(testsupport::reports().empty());
            EXPECT_STREQ(MatCore.LoadingText, s.text ? s.text : "");
            EXPECT_TRUE(!r.GM || !s.check || s.check(*r.GM));
        } else {
            EXPECT_EQ(countReports(s.text), 1);
            EXPECT_EQ(r.GM, nullptr);
        }
        MatCore.LoadingText[0] = 0;
    }
    EXPECT_EQ(GMaterial::Live, static_cast<int32_t>(m_parsed.size()));
}

TEST_F(MaterialFileTest, NeverStatesEndTheRunAndNeverWStatesAreLeftOut)
{
    MatCore.SetRenderStateDefault(D3DRS_DITHERENABLE, FALSE, ST_NEVER);
    MatCore.SetRenderStateDefault(D3DRS_SHADEMODE, 2, ST_NEVERW);
    MatCore.SetStageStateDefault(D3DTSS_BUMPENVMAT00, 0, ST_NEVER);
    MatCore.SetStageStateDefault(D3DTSS_BUMPENVMAT01, 0, ST_NEVERW);
    write("t.mtl", material("", "setrenderstate shademode flat\nsettexturestagestate 0 bumpenvmat01 1\n"));
    const ParseResult r = parse("t.mtl");
    ASSERT_TRUE(r.Parsed);
    EXPECT_FALSE(hasState(r.GM->PassStates[0], NODE_RENDERSTATE, D3DRS_SHADEMODE));
    EXPECT_FALSE(hasState(r.GM->PassStates[0], NODE_STAGESTATE, D3DTSS_BUMPENVMAT01));
    EXPECT_EQ(MatCore.Warnings, 1u);  // the stage state goes silently
    EXPECT_STREQ(MatCore.LoadingText, "Warning: Never state <shademode> ignored in material data\\t.mtl line 10");

    write("t.mtl", material("", "setrenderstate ditherenable true\n"));
    EXPECT_EQ(parse("t.mtl").Exit, 1);
    EXPECT_EQ(countReports("Error: Never state <ditherenable> not allowed in material data\\t.mtl line 10"), 1);
    write("t.mtl", material("", "settexturestagestate 1 bumpenvmat00 1\n"));
    EXPECT_EQ(parse("t.mtl").Exit, 1);
}

TEST_F(MaterialFileTest, AlternativesAreTriedInOrderAndTheRestIsNotRead)
{
    // The first alternative fails twice (with point mip filtering too).
    const std::string second = material("", "", "");
    scriptValidation({D3DERR_UNSUPPORTEDCOLOROPERATION, D3DERR_UNSUPPORTEDCOLOROPERATION});
    write("t.mtl", material("sort last\n", "", "shaders 2\nmaterialid cliff\n") + second + "[shader]\nbogus\n");
    ParseResult r = parse("t.mtl");
    ASSERT_TRUE(r.Parsed);
    EXPECT_EQ(r.GM->ShaderUsed, 1u);
    EXPECT_STREQ(r.GM->MatID, "cliff");
    EXPECT_EQ(r.GM->DelayedSort, SORT_NONE);  // the first alternative's values went with it
    EXPECT_STREQ(MatCore.LoadingText, "Warning: data\\t.mtl uses shader 2");

    // Both declared alternatives fail: a third is never read, and the declared format stays.
    scriptValidation(std::vector<HRESULT>(4, D3DERR_TOOMANYOPERATIONS));
    write("t.mtl", material("", "", "shaders 2\n") + second + "[shader]\nbogus\n");
    r = parse("t.mtl");
    EXPECT_EQ(std::make_pair(r.Exit, r.Error), std::make_pair(-1, D3DERR_TOOMANYOPERATIONS));
    EXPECT_STREQ(MatCore.FallbackMaterial(MatCore.DeclaredFVF), "data\\fallbackmaterials\\t1.mtl");

    // The retry with point mip filtering, and a card that needs two calls for the pass.
    MatCore.Warnings = 0;
    scriptValidation({D3DERR_CONFLICTINGTEXTUREFILTER}, 2);
    write("t.mtl", material("", "settexturestagestate 0 mipfilter linear\n"));
    r = parse("t.mtl");
    ASSERT_TRUE(r.Parsed);
    EXPECT_TRUE(hasNode(r.GM->PassStates[0], NODE_STAGESTATE, 1, 107, D3DTEXF_POINT));
    EXPECT_FALSE(hasNode(r.GM->PassStates[0], NODE_STAGESTATE, 0, 107, D3DTEXF_LINEAR));
    EXPECT_STREQ(MatCore.LoadingText, "Warning: data\\t.mtl takes 2 calls but 1 passes");

    // alwayspass still validates (and warns); alwaysfail fails whatever the card says.
    MatCore.Warnings = 0;
    scriptValidation({D3DERR_WRONGTEXTUREFORMAT, D3DERR_WRONGTEXTUREFORMAT});
    write("t.mtl", material("alwayspass\n", ""));
    EXPECT_TRUE(parse("t.mtl").Parsed);
    EXPECT_STREQ(MatCore.LoadingText, "Warning: data\\t.mtl shader 1 failed to validate");
    write("t.mtl", material("alwaysfail\n", ""));
    r = parse("t.mtl");
    EXPECT_FALSE(r.Parsed);
    EXPECT_EQ(r.Error, static_cast<HRESULT>(0xFEDC0004u));
    EXPECT_EQ(GMaterial::Live, static_cast<int32_t>(m_parsed.size()));
}

TEST_F(MaterialFileTest, AMaterialInUseIsTakenAgainAndAMissingFileIsReported)
{
    std::string text = material("lighting TRUE\nvslighting TRUE\ndiffusereflection VERTEX\nambientreflection MODEL\n", "");
    text.replace(text.find("fvf XYZ|TEX1"), 12, "fvf XYZ|NORMAL|TEX1");
    write("t.mtl", text);
    const float white[3] = {1, 1, 1};
    DWORD handle = SB_NONE;
    ASSERT_TRUE(D3DCore.StateBlocks.CreateSB("data\\t.mtl", TexNames(), white, white, &handle));
    StateBlock* SB = D3DCore.StateBlocks.GetSB(handle);
    ASSERT_TRUE(MatCore.ParseMaterial("data\\t.mtl", &SB->GMaterial, nullptr, nullptr, nullptr));
    EXPECT_EQ(SB->GMaterial->Diffuse[0], -1.0f);
    EXPECT_EQ(SB->GMaterial->Ambient[0], 1.0f);

    std::remove((m_dir.path() + "/data/t.mtl").c_str());
    const ParseResult again = parse("t.mtl");
    ASSERT_TRUE(again.Parsed);
    EXPECT_EQ(again.GM, SB->GMaterial);
    EXPECT_EQ(std::make_pair(again.Lit, again.VSLit), std::make_pair(BYTE(1), BYTE(1)));

    EXPECT_FALSE(parse("gone.mtl").Parsed);
    EXPECT_EQ(countReports("Material data\\gone.mtl Not Found"), 1);
    EXPECT_STREQ(MatCore.FallbackMaterial(MatCore.DeclaredFVF), "data\\fallbackmaterials\\vc.mtl");
}

TEST_F(MaterialFileTest, VertexStreamsGoToTheShaderAsADeclaration)
{
    write("basic.vsh", "vs.1.1\ndcl_position0 v0\ndcl_position1 v1\nm4x4 oPos, v0, c0\nmov oD0, v1\n");
    const std::string streams = "streams 2\nstream 1 d3dcolor:1 float2:2\nstream 0 float3:0", shader = "\nvertexshader basic.vsh\n";
    std::string text = material(streams + shader, "settexturestagestate 1 texcoordindex 1\n");
    text.erase(text.find("fvf XYZ|TEX1\n"), 13);
    write("t.mtl", text);
    ParseResult r = parse("t.mtl");
    ASSERT_TRUE(r.Parsed);
    EXPECT_EQ(r.GM->StreamVertexSize[1], 12u);
    ASSERT_NE(r.GM->VertexShader, 0u);
    const D3DVERTEXELEMENT9* d = D3DCore.VShaderTable.Declaration[r.GM->VertexShader];
    const std::vector<std::vector<int>> expected = {{0, 0, D3DDECLTYPE_FLOAT3, 0}, {1, 0, D3DDECLTYPE_D3DCOLOR, 1},
                                                    {1, 4, D3DDECLTYPE_FLOAT2, 2}, {0xFF, 0, D3DDECLTYPE_UNUSED, 0}};
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ((std::vector<int>{d[i].Stream, d[i].Offset, d[i].Type, d[i].UsageIndex}), expected[i]) << i;

    const std::pair<std::string, const char*> bad[] = {
        {"", "TexCoord Index must match stage index for VS materials"},
        // Sixteen elements and the end do not fit a declaration.
        {" float1:0 float1:1 float1:2 float1:3 float1:4 float1:5 float1:6 float1:7 float1:8 float1:9 float1:10 float1:11 "
         "float1:12 float1:13",
         "Illegal stream definition in\ndata\\t.mtl"},
    };
    for (const auto& [more, report] : bad) {
        text = material(streams + more + shader, more.empty() ? "settexturestagestate 1 texcoordindex 0\n" : "");
        text.erase(text.find("fvf XYZ|TEX1\n"), 13);
        resetRunLogCount();
        write("t.mtl", text);
        EXPECT_EQ(parse("t.mtl").Exit, 1) << report;
        EXPECT_EQ(countReports(report), 1) << report;
    }
}

// A card of two stages and two textures at once, without pixel shaders, that can W-buffer and
// cannot bias mip levels.
class SmallCardTest : public MaterialFileFixture {
protected:
    void configureCard(D3DCAPS9& caps) override
    {
        caps.MaxTextureBlendStages = 2;
        caps.MaxSimultaneousTextures = 2;
        caps.PixelShaderVersion = 0;
        caps.RasterCaps = (caps.RasterCaps | D3DPRASTERCAPS_WBUFFER) & ~D3DPRASTERCAPS_MIPMAPLODBIAS;
    }
};

TEST_F(SmallCardTest, WhatTheCardCannotDoIsLeftOutOrRefused)
{
    scriptValidation({});
    write("t.mtl", material("", "settexturestagestate 0 mipmaplodbias 3\n"));
    ParseResult r = parse("t.mtl");
    ASSERT_TRUE(r.Parsed);
    EXPECT_FALSE(hasState(r.GM->PassStates[0], NODE_STAGESTATE, SS_MIPMAPLODBIAS));
    EXPECT_TRUE(hasNode(r.GM->PassStates[0], NODE_RENDERSTATE, 0, D3DRS_ZENABLE, D3DZB_USEW));
    EXPECT_EQ(m_validations, 1);

    // Too many stages: refused without asking the card; with alwayspass the stage the card lacks
    // was never recorded.
    std::string text = material("alwayspass\n", "settexturestagestate 2 colorop disable\n");
    text.replace(text.find("stages 2"), 8, "stages 3");
    write("t.mtl", text);
    r = parse("t.mtl");
    ASSERT_TRUE(r.Parsed);
    EXPECT_EQ(m_validations, 1);
    EXPECT_FALSE(hasNode(r.GM->PassStates[0], NODE_STAGESTATE, 2, D3DTSS_COLOROP, D3DTOP_DISABLE));
    text.erase(text.find("alwayspass\n"), 11);
    write("t.mtl", text);
    EXPECT_EQ(parse("t.mtl").Error, D3DERR_TOOMANYOPERATIONS);
    write("t.mtl", material("pixelshader p.psh\n", ""));
    EXPECT_EQ(parse("t.mtl").Error, static_cast<HRESULT>(0xFEDC0006u));
}

}  // namespace
