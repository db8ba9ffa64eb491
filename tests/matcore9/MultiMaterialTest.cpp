// Multi-material files and texture-animation files on the scripted card.
#include "MaterialFileFixture.h"
#include "matcore9/MeshFile.h"
#include "utility/RunLog.h"

using testsupport::countReports;

namespace {

enum { ENDED = -1, REFUSED = 0, LOADED = 1 };

class MultiMaterialTest : public MaterialFileFixture {
protected:
    void TearDown() override
    {
        m_multi.Release();
        D3DCore.ClearMBlocks();
        MaterialFileFixture::TearDown();
    }

    // Through the plain entry (white colours), or with both colour triples the given one.
    int load(const char* name, const float* colour = nullptr)
    {
        m_multi.Release();
        m_multi = MultiBlock();
        // The texture the materials bind: a 4 x 4 image, written once (a newer one is read again).
        if (!m_dir.exists("data/tex.tga")) {
            std::string tga(18, '\0');
            tga[2] = 2, tga[12] = 4, tga[14] = 4, tga[16] = 32, tga[17] = 0x28;
            tga.append(4 * 4 * 4, '\x7f');
            write("tex.tga", tga);
        }
        TexNames textures;
        textures.TotalNames = 1;
        std::strcpy(textures.Name[0], "data\\tex.tga");
        try {
            const bool loaded = colour ? MatCore.LoadMultiMaterialFile(name, textures, colour, colour, &m_multi, &m_info)
                                       : MatCore.LoadMultiMaterial(name, textures, &m_multi, &m_info);
            return loaded ? LOADED : REFUSED;
        } catch (const testsupport::ProcessExit& e) {
            return e.code == 1 ? ENDED : e.code;
        }
    }
    // Loads again, the files gone, while the first load's blocks are held: the same blocks.
    void loadAgainWithout(const char* name, const std::vector<const char*>& gone)
    {
        for (const char* f : gone) std::remove((m_dir.path() + "/data/" + f).c_str());
        MultiBlock held = m_multi;
        held.AddRef();
        EXPECT_EQ(load(name), LOADED);
        EXPECT_EQ(m_multi.StateBlock[0], held.StateBlock[0]);
        EXPECT_EQ(D3DCore.StateBlocks.GetSB(held.StateBlock[0])->RefCount, 2u);
        held.Release();
    }

    const GMaterial* choice(int i) { return D3DCore.StateBlocks.GetSB(m_multi.StateBlock[i])->GMaterial; }

    MultiBlock m_multi;
    MeshMaterialInfo m_info;
};

const std::string PLAIN = material("", "");
const std::string LIT = [] {
    std::string t = material("lighting TRUE\ndiffusereflection VERTEX\nambientreflection MODEL\n", "");
    return t.replace(t.find("fvf XYZ|TEX1"), 12, "fvf XYZ|NORMAL|TEX1");
}();

TEST_F(MultiMaterialTest, AFileIsReadOnceAndItsChoicesShareOneLayout)
{
    write("models\\set.mtm", "// a set\n[multimaterial]\nmaterials 2\nmaterial lit.mtl\nmaterial* glass.mtl\n[end]\n");
    write("models\\lit.mtl", LIT);
    write("models\\glass.mtl", material("sort material\n", "setrenderstate alphablendenable true\n"));
    ASSERT_EQ(load("data\\models\\set.mtm"), LOADED);
    EXPECT_EQ(m_multi.TransparentBlock, m_multi.StateBlock[1]);
    EXPECT_STREQ(choice(1)->Name, "data\\models\\glass.mtl");
    EXPECT_EQ(m_multi.MainFVF.D3DFlags, static_cast<DWORD>(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1));
    EXPECT_EQ(std::vector<int>({m_info.Lit, m_info.Transparent, m_info.VSLit}), std::vector<int>({1, 1, 0}));
    loadAgainWithout("data\\models\\set.mtm", {"models/set.mtm", "models/lit.mtl"});
    EXPECT_EQ(D3DCore.NumBlocks, 1);

    // An ordinary material file is a set of one, and once loaded it is taken again by name.
    write("plain.mtl", PLAIN);
    ASSERT_EQ(load("data\\plain.mtl"), LOADED);
    EXPECT_EQ(m_multi.Blocks, 1);
    loadAgainWithout("data\\plain.mtl", {"plain.mtl"});
    EXPECT_EQ(D3DCore.NumBlocks, 1);
    EXPECT_TRUE(testsupport::reports().empty());

    EXPECT_EQ(load("data\\nothing.mtm"), ENDED);
}

TEST_F(MultiMaterialTest, ALitChoiceLoadedWithoutColoursIsWhite)
{
    write("lit.mtl", LIT);
    const float grey[3] = {0.5f, 0.5f, 0.5f};
    ASSERT_EQ(load("data\\lit.mtl", grey), LOADED);
    const DWORD tinted = m_multi.StateBlock[0];
    MultiBlock held = m_multi;
    held.AddRef();
    ASSERT_EQ(load("data\\lit.mtl"), LOADED);
    const StateBlock* SB = D3DCore.StateBlocks.GetSB(m_multi.StateBlock[0]);
    EXPECT_NE(m_multi.StateBlock[0], tinted);
    EXPECT_EQ(std::vector<float>(SB->Diffuse, SB->Diffuse + 3), std::vector<float>({1, 1, 1}));
    EXPECT_EQ(std::vector<float>(SB->Ambient, SB->Ambient + 3), std::vector<float>({1, 1, 1}));
    held.Release();

    EXPECT_EQ(load("data\\\\lit.mtl"), REFUSED);
    EXPECT_EQ(countReports("strstr(Material, \"\\\\\\\\\") == NULL"), 1);
}

TEST_F(MultiMaterialTest, BadSetsAreRefusedBeforeAnythingIsKept)
{
    write("a.mtl", PLAIN);
    const std::pair<const char*, const char*> bad[] = {
        {"materials 5\n", "Invalid Number Parameter for materials at line 2 in \ndata\\set.mtm"},
        {"materials 1\nmaterials 1\n", "Materials given twice in data\\set.mtm"},
        {"materials 1\nmaterial a.mtl\nmaterial a.mtl\n[end]\n", "More materials than declared"},
        {"materials 2\nmaterial* a.mtl\nmaterial* a.mtl\n[end]\n", "Second transparent material in data\\set.mtm"},
        {"materials 2\nmaterial a.mtl\n[end]\n", "Fewer materials than declared in data\\set.mtm"},
        {"materials 1\nmaterial a.mtl\n", "Missing [end] in data\\set.mtm"},
    };
    for (const auto& [body, report] : bad) {
        testsupport::clearReports();
        resetRunLogCount();  // each a run of its own: a file's report is made once a run
        write("set.mtm", std::string("[multimaterial]\n") + body);
        EXPECT_EQ(load("data\\set.mtm"), REFUSED) << body;
        EXPECT_EQ(countReports(report), 1) << body;
    }
    EXPECT_EQ(D3DCore.StateBlocks.SlotsUsed, 0u);

    // Choices that cannot share geometry are reported; a material both lit and VS-lit too.
    std::string vsLit = LIT;
    write("vslit.mtl", vsLit.replace(vsLit.find("lighting TRUE"), 13, "lighting TRUE\nvslighting TRUE"));
    write("poly.mtl", material("sort poly\nuvsource 1 0\n", ""));
    write("set.mtm", "[multimaterial]\nmaterials 3\nmaterial a.mtl\nmaterial poly.mtl\nmaterial vslit.mtl\n[end]\n");
    testsupport::clearReports();
    EXPECT_EQ(load("data\\set.mtm"), LOADED);
    for (const char* report : {"GM->UVSource", "SORT_POLY", "!(RetMatInfo.Lit && RetMatInfo.VSLit)"})
        EXPECT_EQ(countReports(report), 1) << report;

    // A choice left without its material (taken away while the card validates the next one) fails
    // the check, and the blocks the set took go back.
    m_multi.Release(), m_multi = MultiBlock();
    const DWORD slots = D3DCore.StateBlocks.SlotsUsed;
    write("b.mtl", PLAIN);
    write("pair.mtm", "[multimaterial]\nmaterials 2\nmaterial a.mtl\nmaterial b.mtl\n[end]\n");
    platform::testing::setValidateResult([](DWORD* passes) {
        StateBlock* first = nullptr;
        if (*passes = 1; D3DCore.FindStateBlockByName("data\\a.mtl", &first)) {
            first->GMaterial->Release();
            first->GMaterial = nullptr;
        }
        return D3D_OK;
    });
    testsupport::clearReports();
    EXPECT_EQ(load("data\\pair.mtm"), REFUSED);
    EXPECT_EQ(std::make_tuple(1, slots, 0), std::make_tuple(countReports("GM0 != NULL"), D3DCore.StateBlocks.SlotsUsed, int(m_multi.Blocks)));
}

TEST_F(MultiMaterialTest, AFailingChoiceFallsBackAndAFailingFallBackEndsTheRun)
{
    for (const char* f : {"fallbackmaterials/vc.mtl", "fallbackmaterials/t1.mtl", "fallbackmaterials/t1_vc.mtl"}) copyData(f);
    for (const char* f : {"bad.mtl", "bad2.mtl", "bad3.mtl"}) write(f, material("alwaysfail\n", ""));
    write("set.mtm", "[multimaterial]\nmaterials 1\nmaterial bad.mtl\n[end]\n");
    ASSERT_EQ(load("data\\set.mtm"), LOADED);
    EXPECT_STREQ(choice(0)->Name, "data\\fallbackmaterials\\t1.mtl");

    write("fallbackmaterials/t1.mtl", material("alwaysfail\n", ""));
    write("set2.mtm", "[multimaterial]\nmaterials 1\nmaterial bad2.mtl\n[end]\n");
    EXPECT_EQ(load("data\\set2.mtm"), ENDED);
    // Said by the material library, and the set's words as the reason the run stops.
    EXPECT_EQ(countReports("Material data\\bad2.mtl failed to validate\nError: Material set to Always Fail"), 1);
    EXPECT_EQ(countReports("Error: Multi-Material: data\\set2.mtm Primary Material: data\\bad2.mtl failed to validate"), 1);
    EXPECT_EQ(load("data\\bad3.mtl"), ENDED);

    // A full table of name blocks only costs the saving.
    for (int i = D3DCore.NumBlocks; i < MAXMBLOCKS; ++i) D3DCore.AddMBlock()->Name = new char[2]{'x', 0};
    write("a.mtl", PLAIN);
    write("set3.mtm", "[multimaterial]\nmaterials 1\nmaterial a.mtl\n[end]\n");
    EXPECT_EQ(load("data\\set3.mtm"), LOADED);
    EXPECT_EQ(countReports("Too many multi-materials - data\\set3.mtm is read at every load"), 1);
}

// Texture-animation files compiled into the stages of a parsed material.
class TextureAnimationTest : public MaterialFileFixture {};

TEST_F(TextureAnimationTest, ProgramsCompileIntoTheirStagesOrTheWholeFileIsTakenBack)
{
    write("basic.vsh", "vs.1.1\ndcl_position0 v0\nm4x4 oPos, v0, c0\n");
    write("f.mtl", PLAIN);
    write("s.mtl", material("vertexshader basic.vsh\n", ""));
    const ParseResult fixed = parse("f.mtl");
    const ParseResult shaded = parse("s.mtl");
    ASSERT_TRUE(fixed.Parsed);
    ASSERT_TRUE(shaded.Parsed);

    testsupport::clearReports();
    struct Case {
        bool shader;
        const char* text;
        const char* report;  // null: compiles
    };
    const Case cases[] = {
        {false, "stage 0\n[scaleu]\n1\n[end]\n", "Missing UVType in data\\a.anm"},
        {false, "stage 2\n", "data\\a.anm accesses invalid texture stage"},
        {true, "stage 8\n", "data\\a.anm accesses invalid pseudostage (stage > 7)"},
        {false, "stage 0\nuvtype sideways\n", "Illegal Arg sideways in data\\a.anm"},
        {false, "vertexshaderregister 8 tmatrix\n", "vertexshaderregister command must appear after stage command in <data\\a.anm"},
        {false, "stage 0\nvertexshaderregister 93 tmatrix\n", "Invalid Number Parameter for vertexshaderregister at line 2"},
        {false, "stage 0\nuvtype explicit\n[offsetu]\ntime Wobble\n[end]\n", "Illegal instruction: Wobble in\ndata\\a.anm"},
        {false, "stage 0\nuvtype explicit\n[offsetu]\ntime\n", "Missing [end] in data\\a.anm"},
        {false, "stage 0\nuvtype explicit\nframes 3\n", "Illegal Command frames in data\\a.anm"},
        {false, "stage 1\nuvtype cubemap\n[afactor]\n; full\n255\n[end]\n[scaleu]\n[end]\n", nullptr},
        {true, "stage 7\nuvtype NoMatrix\nvertexshaderregister 88 tmatrix\n[shaderregisters]\n0.5 4 2 vregister\n[end]\n",
         nullptr},
    };
    for (const Case& c : cases) {
        testsupport::clearReports();
        resetRunLogCount();
        GMaterial* GM = c.shader ? shaded.GM : fixed.GM;
        write("a.anm", c.text);
        EXPECT_EQ(MatCore.CompileTextureAnimation("data\\a.anm", GM), c.report == nullptr) << c.text;
        EXPECT_EQ(countReports(c.report ? c.report : "Assertion"), c.report ? 1 : 0) << c.text;
        if (!c.report) continue;
        for (DWORD s = 0; s < MAXSBSTAGES; ++s) EXPECT_EQ(GM->Animation[s], nullptr) << c.text;
    }
    const MaterialAnimation* a = fixed.GM->Animation[1];
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->InstructionCount[MaterialAnimation::AFACTOR], 1);
    EXPECT_EQ(shaded.GM->TextureMatrixRegister[7], 88);

    write("a.anm", "stage 0\nuvtype explicit\n");
    std::string twoPass = material("textureanimation a.anm\n", "");
    twoPass.replace(twoPass.find("passes 1"), 8, "passes 2");
    twoPass.replace(twoPass.rfind("[end]"), 5, "[pass]\nstages 0\n[end]\n[end]");
    write("two.mtl", twoPass);
    const ParseResult two = parse("two.mtl");
    EXPECT_TRUE(two.Parsed);
    EXPECT_EQ(countReports("Animated materials cannot be multi-pass"), 1);
    EXPECT_FALSE(MatCore.CompileTextureAnimation("data\\gone.anm", fixed.GM));
}

}  // namespace
