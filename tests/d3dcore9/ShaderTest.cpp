// Finding files on the override and game paths, and the shader tables built on it.
#include "CoreFixture.h"

#include "d3dcore9/MaterialTables.h"

#include "utility/RunLog.h"
#include "winfile/File.h"

#include <cstring>
#include <filesystem>

namespace pt = platform::testing;
using testsupport::reports;

namespace {

const char* const BASIC_VSH = "vs.1.1\ndcl_position0 v0\ndcl_position4 v4\ndcl_position6 v6\n"
                              "m4x4 oPos, v0, c0\nmov oD0, v4\nmov oT0, v6\n";
const char* const MODULATE_PSH = "ps.1.1\ntex t0\nmul r0, t0, v0\n";
const DWORD XYZ_DIFFUSE_TEX1 = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;

class ShaderTest : public CoreFixture {
protected:
    void remove(const std::string& name) { std::filesystem::remove(m_dir.file(name)); }

    // Where FindFile settles for the name, "" when nowhere.
    std::string find(const char* name, const char* base = "data", bool quiet = true)
    {
        CFile file;
        char path[MAX_PATH] = {};
        const bool found = D3DCore.FindFile(file, name, base, "VertexShaders", FILE_MODE_READ, path, quiet);
        EXPECT_EQ(found, file.IsOpen());
        return found ? path : "";
    }

    // The message of the only report, checked against its expression.
    static std::string onlyReport(const char* expression)
    {
        EXPECT_EQ(reports().size(), 1u);
        if (reports().empty()) return "";
        EXPECT_EQ(reports()[0].expression, expression);
        return reports()[0].message;
    }

    int32_t loadVertex(const char* file, DWORD fvf = XYZ_DIFFUSE_TEX1)
    {
        return D3DCore.LoadVertexShader(file, "water", fvf, false, nullptr);
    }
};

TEST_F(ShaderTest, FindFileTriesOverridesTheNameThenSiblingFoldersUpTheTree)
{
    const char* files[] = {"override/water.mtl", "data/levels/l1/water.mtl", "data/levels/VertexShaders/water.mtl",
                           "data/VertexShaders/water.mtl", "VertexShaders/water.mtl"};
    for (const char* f : files) m_dir.write(f, "x");
    ASSERT_TRUE(D3DCore.SetOverridePath("override\\", 3));
    // Each removal uncovers the next candidate; the folder above Base is never searched.
    const char* expected[] = {"override\\water.mtl", "data\\levels\\l1\\water.mtl",
                              "data\\levels\\VertexShaders\\water.mtl", "data\\VertexShaders\\water.mtl", ""};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(find("data\\levels\\l1\\water.mtl"), expected[i]) << i;
        if (i < 4) remove(files[i]);
    }
    EXPECT_TRUE(reports().empty());  // quiet

    // A name outside Base is taken as inside it; Base is compared over its own length only.
    m_dir.write("data/levels/l2/rock.mtl", "x");
    m_dir.write("database/VertexShaders/sand.mtl", "x");
    EXPECT_EQ(find("levels\\l2\\rock.mtl"), "data\\levels\\l2\\rock.mtl");
    EXPECT_EQ(find("database\\x\\y\\sand.mtl"), "database\\VertexShaders\\sand.mtl");
    // With an empty Base every folder up to the top counts, the top itself as SubDir\Leaf.
    EXPECT_EQ(find("a\\b\\water.mtl", ""), "VertexShaders\\water.mtl");
}

TEST_F(ShaderTest, FindFileReportsUnlessQuietAndSkipsCandidatesTooLongForThePath)
{
    D3DCore::SetModelName("tank.rsm");
    find("data\\missing.mtl", "data", false);
    EXPECT_EQ(onlyReport("false"), "Failed to find data\\missing.mtl on game path\nRSM: tank.rsm");
    D3DCore::SetModelName(nullptr);
    testsupport::clearReports();

    // An override folder whose candidate would not fit is passed over, not cut short.
    m_dir.write("data/short.mtl", "x");
    const std::string longFolder(255, 'o');
    ASSERT_TRUE(D3DCore.SetOverridePath((longFolder + "\\").c_str(), 0));
    EXPECT_EQ(find("data\\short.mtl"), "data\\short.mtl");
    EXPECT_TRUE(reports().empty());
}

TEST_F(ShaderTest, ShadersAreSharedByExactNameAndReleasedWithTheirLastMaterial)
{
    m_dir.write("data/VertexShaders/basic.vsh", BASIC_VSH);
    m_dir.write("data/VertexShaders/Basic.vsh", BASIC_VSH);
    // Saved by an editor that marks its text: the mark is no part of the shader.
    m_dir.write("data/PixelShaders/modulate.psh", std::string("\xEF\xBB\xBF") + MODULATE_PSH);
    ASSERT_TRUE(bringUp());
    const VertexShaderTable& V = D3DCore.VShaderTable;
    const PixelShaderTable& P = D3DCore.PShaderTable;

    const int32_t a = loadVertex("data\\levels\\l1\\basic.vsh");
    EXPECT_EQ(a, 1);
    EXPECT_EQ(loadVertex("data\\levels\\l1\\basic.vsh"), a);
    ASSERT_NE(V.VShaderPtr[a], nullptr);
    EXPECT_EQ(loadVertex("data\\levels\\l1\\Basic.vsh"), 2);  // another spelling is another shader

    const int32_t p = D3DCore.LoadPixelShader("data\\levels\\l1\\modulate.psh", "water");
    EXPECT_EQ(D3DCore.LoadPixelShader("data\\levels\\l1\\modulate.psh", "rock"), p);
    EXPECT_EQ(pt::d3d9ShaderTokens(P.PShaderPtr[p]),
              (std::vector<DWORD>{0xFFFF0101u, 0x42, 0xB00F0000u, 0x05, 0x800F0000u, 0xB0E40000u, 0x90E40000u, 0xFFFF}));

    pt::setD3D9Trace(true);
    D3DCore.ReleaseVertexShader(V.VShaderPtr[a]);
    EXPECT_NE(V.Name[a], nullptr);
    D3DCore.ReleaseVertexShader(V.VShaderPtr[a]);
    EXPECT_EQ(V.Name[a], nullptr);
    EXPECT_EQ(pt::d3d9Calls("Release"), 2);  // shader and declaration
    // The freed slot is the first free one again.
    EXPECT_EQ(loadVertex("data\\levels\\l1\\basic.vsh"), a);

    // A kept slot forgets its device objects without releasing them.
    IDirect3DPixelShader9* kept = P.PShaderPtr[p];
    D3DCore.PShaderTable.Keep[p] = 1;
    kept->AddRef();
    D3DCore.ReleasePixelShader(kept);
    D3DCore.ReleasePixelShader(kept);
    EXPECT_EQ(P.PShaderPtr[p], nullptr);
    EXPECT_EQ(kept->Release(), 1u);  // the table's own reference is still there
    kept->Release();
    EXPECT_TRUE(reports().empty());
    D3DCore.ClearVertexShaders();
}

TEST_F(ShaderTest, DeclarationsFollowTheFVFWithRegisterUsageIndices)
{
    m_dir.write("data/VertexShaders/full.vsh", "vs_1_1\nmov oPos, v0\n");
    ASSERT_TRUE(bringUp());
    struct Expect {
        WORD offset;
        BYTE type, index;
    };
    struct Case {
        const char* file;
        DWORD fvf;
        std::vector<Expect> elements;
    } cases[] = {
        {"data\\m\\full.vsh", D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1,
         {{0, D3DDECLTYPE_FLOAT3, 0}, {12, D3DDECLTYPE_FLOAT3, 2}, {24, D3DDECLTYPE_D3DCOLOR, 4},
          {28, D3DDECLTYPE_D3DCOLOR, 5}, {32, D3DDECLTYPE_FLOAT2, 6}}},
    };
    for (const Case& c : cases) {
        const int32_t slot = loadVertex(c.file, c.fvf);
        ASSERT_GT(slot, 0);
        const std::vector<D3DVERTEXELEMENT9> made = pt::d3d9DeclarationElements(D3DCore.VShaderTable.VShaderDec[slot]);
        ASSERT_EQ(made.size(), c.elements.size() + 1) << c.file;
        for (size_t i = 0; i < c.elements.size(); ++i) {
            const D3DVERTEXELEMENT9 e = {0, c.elements[i].offset, c.elements[i].type, D3DDECLMETHOD_DEFAULT,
                                         D3DDECLUSAGE_POSITION, c.elements[i].index};
            EXPECT_EQ(std::memcmp(&made[i], &e, sizeof e), 0) << c.file << " " << i;
        }
        EXPECT_EQ(std::memcmp(made.data(), D3DCore.VShaderTable.Declaration[slot], made.size() * sizeof(made[0])), 0);
    }
    EXPECT_TRUE(reports().empty());
}

TEST_F(ShaderTest, WithoutHardwareVertexShadersAGivenDeclarationIsMadeUnderSoftwareProcessing)
{
    caps().VertexShaderVersion = 0;
    m_dir.write("data/VertexShaders/basic.vsh", BASIC_VSH);
    ASSERT_TRUE(bringUp());
    ASSERT_EQ(state().Behaviour, D3DCREATE_MIXED_VERTEXPROCESSING);
    const D3DVERTEXELEMENT9 given[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                       {0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0}};
    pt::setD3D9Trace(true);
    const int32_t slot = D3DCore.LoadVertexShader("data\\m\\basic.vsh", "water", 0, true, given);
    ASSERT_EQ(slot, 1);
    EXPECT_EQ(D3DCore.VShaderTable.Usage[slot], D3DUSAGE_SOFTWAREPROCESSING);
    std::vector<std::string> order;
    for (const pt::D3D9Call& call : pt::d3d9Trace())
        if (call.Method != "Release") order.push_back(call.Method + (call.Args.empty() ? "" : std::to_string(call.Args[0] & 1)));
    EXPECT_EQ(order[0], "SetSoftwareVertexProcessing1");
    EXPECT_EQ(order.back(), "SetSoftwareVertexProcessing0");
}

TEST_F(ShaderTest, EveryFailureIsOneReportInItsOwnWordsNamingTheFile)
{
    m_dir.write("data/VertexShaders/basic.vsh", BASIC_VSH);
    m_dir.write("data/VertexShaders/typo.vsh", "vs.1.1\nmov oPos, v0\nmvo oD0, v4\n");
    m_dir.write("data/PixelShaders/modulate.psh", MODULATE_PSH);
    m_dir.write("data/PixelShaders/bad.psh", "ps.1.1\ntex r0\n");
    ASSERT_TRUE(bringUp());
    // What follows from a failure (no shader made, more words on the same failure) counts as a
    // failed check but is not written: one report each, naming the file.
    struct Case {
        const char* name;
        std::function<int32_t()> load;
        const char* forced;  // a device call made to fail
        int checks;          // failed checks
        const char* said;    // the one report's message
        bool slot;           // a (possibly empty) slot is returned
    } cases[] = {
        {"missing vertex", [&] { return loadVertex("data\\m\\none.vsh"); }, nullptr, 1,
         "Failed to find Vertex Shader: data\\m\\none.vsh on game path", false},
        {"missing pixel", [] { return D3DCore.LoadPixelShader("data\\m\\none.psh", "water"); }, nullptr, 1,
         "Failed to find Pixel Shader: data\\m\\none.psh on game path", false},
        {"unknown instruction", [&] { return loadVertex("data\\m\\typo.vsh"); }, nullptr, 2,
         "Error in VertexShader\ndata\\VertexShaders\\typo.vsh\n(3): error: unknown instruction 'mvo'", true},
        {"pixel error", [] { return D3DCore.LoadPixelShader("data\\m\\bad.psh", "water"); }, nullptr, 2,
         "Error in PixelShader\ndata\\PixelShaders\\bad.psh\n(2): error: 'tex': a texture instruction writing "
         "other than a t register", true},
        {"rhw", [&] { return loadVertex("data\\m\\basic.vsh", D3DFVF_XYZRHW | D3DFVF_DIFFUSE); }, nullptr, 1,
         "Error in water\nXYZRHW not allowed for vertex shaders", true},
        {"create shader", [&] { return loadVertex("data\\m\\basic.vsh"); }, "CreateVertexShader", 3,
         "While reading data\\VertexShaders\\basic.vsh\nCreate v-shader failed", true},
        {"create declaration", [&] { return loadVertex("data\\m\\basic.vsh"); }, "CreateVertexDeclaration", 3,
         "While reading data\\VertexShaders\\basic.vsh\nCreate declaration failed", true},
        {"create pixel", [] { return D3DCore.LoadPixelShader("data\\m\\modulate.psh", "water"); }, "CreatePixelShader", 2,
         "While reading data\\PixelShaders\\modulate.psh\nFailed to create pixel shader\ndata\\m\\modulate.psh in "
         "water\nDXError: D3DERR_OUTOFVIDEOMEMORY",
         true},
    };
    for (const Case& c : cases) {
        D3DCore.ClearVertexShaders();
        D3DCore.ClearPixelShaders();
        testsupport::clearReports();
        resetRunLogCount();  // each a run of its own
        const int before = checksFailed();
        if (c.forced) pt::setD3D9Failure(c.forced, D3DERR_OUTOFVIDEOMEMORY);
        const int32_t slot = c.load();
        if (c.forced) pt::setD3D9Failure(c.forced, D3D_OK);
        EXPECT_EQ(slot, c.slot ? 1 : 0) << c.name;
        EXPECT_EQ(checksFailed() - before, c.checks) << c.name;
        ASSERT_EQ(reports().size(), 1u) << c.name;
        EXPECT_EQ(reports()[0].message, c.said) << c.name;
    }

    // The material that holds a shader that could not be made lets it go without another word.
    D3DCore.ClearPixelShaders();
    testsupport::clearReports();
    resetRunLogCount();
    ASSERT_EQ(D3DCore.LoadPixelShader("data\\m\\bad.psh", "water"), 1);
    const int before = checksFailed();
    materialtables::ReleasePixelShader(1);
    EXPECT_EQ(checksFailed() - before, 0);  // nothing to release: no refused release either
    EXPECT_EQ(reports().size(), 1u);
    D3DCore.ClearVertexShaders();
    D3DCore.ClearPixelShaders();
}

TEST_F(ShaderTest, FullTablesLongDeclarationsAndNullReleasesStopAfterTheirReport)
{
    for (int i = 0; i < MAXVERTEXSHADERS; ++i) {
        m_dir.write("data/VertexShaders/s" + std::to_string(i) + ".vsh", BASIC_VSH);
        m_dir.write("data/PixelShaders/s" + std::to_string(i) + ".psh", MODULATE_PSH);
    }
    m_dir.write("data/VertexShaders/broken.vsh", "vs.1.1\nbogus\n");
    ASSERT_TRUE(bringUp());
    for (int i = 1; i < MAXVERTEXSHADERS; ++i) {
        const std::string name = "s" + std::to_string(i);
        ASSERT_EQ(loadVertex(("data\\m\\" + name + ".vsh").c_str()), i);
        ASSERT_EQ(D3DCore.LoadPixelShader(("data\\m\\" + name + ".psh").c_str(), "water"), i);
    }
    EXPECT_EQ(loadVertex("data\\m\\s0.vsh"), 0);
    EXPECT_EQ(D3DCore.LoadPixelShader("data\\m\\s0.psh", "water"), 0);
    EXPECT_EQ(reports().size(), 2u);
    // Loading a full table's own file still shares it.
    EXPECT_EQ(loadVertex("data\\m\\s5.vsh"), 5);
    D3DCore.ClearVertexShaders();
    testsupport::clearReports();

    // A given declaration with no end in 16 elements is refused, not copied.
    D3DVERTEXELEMENT9 longer[17];
    for (int i = 0; i < 17; ++i)
        longer[i] = D3DVERTEXELEMENT9{0, static_cast<WORD>(4 * i), D3DDECLTYPE_FLOAT1, 0, D3DDECLUSAGE_POSITION,
                                      static_cast<BYTE>(i)};
    longer[16] = D3DVERTEXELEMENT9{0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0};
    EXPECT_EQ(D3DCore.LoadVertexShader("data\\m\\s1.vsh", "water", 0, true, longer), 0);
    EXPECT_EQ(onlyReport("DeclarationLength <= MAXDECLARATIONELEMENTS"), "Error in water\nVertex declaration has no end within 16 elements");
    EXPECT_EQ(D3DCore.VShaderTable.Name[1], nullptr);
    testsupport::clearReports();

    // Releasing null reports and leaves a failed slot (null shader) alone.
    ASSERT_EQ(loadVertex("data\\m\\broken.vsh"), 1);
    testsupport::clearReports();
    D3DCore.ReleaseVertexShader(nullptr);
    EXPECT_EQ(D3DCore.VShaderTable.RefCount[1], 1);
    D3DCore.ReleasePixelShader(nullptr);
    D3DCore.ReleasePixelShader(reinterpret_cast<IDirect3DPixelShader9*>(&longer));  // not the table's
    EXPECT_EQ(reports().size(), 3u);
}

TEST_F(ShaderTest, PixelShadersNeedACardThatRunsThem)
{
    caps().PixelShaderVersion = 0;
    m_dir.write("data/PixelShaders/modulate.psh", MODULATE_PSH);
    ASSERT_TRUE(bringUp());
    EXPECT_EQ(D3DCore.LoadPixelShader("data\\m\\modulate.psh", "water"), 1);
    ASSERT_GE(reports().size(), 1u);
    EXPECT_EQ(reports()[0].expression, "D3DCore.CurrentDevice->PixelShaders");
    EXPECT_EQ(D3DCore.PShaderTable.PShaderPtr[1], nullptr);
}

}  // namespace
