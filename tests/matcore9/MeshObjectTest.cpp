// Mesh sections read by tool and static mesh objects: every version's layout, bad sections,
// vertex conversion into the material's format, display lists and drawing.
#include "MeshFixture.h"

#include "utility/RunLog.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>

namespace pt = platform::testing;
using testsupport::countReports;

namespace {

class MeshObjectTest : public MeshFixture {
protected:
    // The faces a primitive draws, each turned to start at its smallest index, in order; faces with
    // a repeated index draw nothing and are left out.
    static std::vector<std::array<uint32_t, 3>> faces(bool strip, const std::vector<uint32_t>& indices)
    {
        std::vector<std::array<uint32_t, 3>> out;
        for (size_t i = 0; i + 2 < indices.size(); i += strip ? 1 : 3) {
            std::array<uint32_t, 3> f = {indices[i], indices[i + 1], indices[i + 2]};
            if (strip && i % 2) std::swap(f[0], f[1]);
            if (f[0] == f[1] || f[1] == f[2] || f[0] == f[2]) continue;
            std::rotate(f.begin(), std::min_element(f.begin(), f.end()), f.end());
            out.push_back(f);
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    static std::vector<uint32_t> words(const BYTE* data, DWORD count, DWORD size)
    {
        std::vector<uint32_t> out(count);
        for (DWORD i = 0; i < count; ++i) std::memcpy(&out[i], data + i * size, size);
        return out;
    }

    // The vertex buffer of a static mesh's only batch, as the card holds it.
    static std::string cardVertices(HWMeshObject* mesh)
    {
        const VertexList* VL = mesh->GetDisplayHandle()->Blocks.First->VertexLists.First;
        const std::vector<uint8_t> b = pt::d3d9BufferBytes(VL->VertexBuffer[0]);
        return std::string(b.begin(), b.end());
    }
};

// Each bad value stops the load with one report, before anything reads past it.
TEST_F(MeshObjectTest, BadSectionsStopTheLoadWithOneReport)
{
    struct Case {
        const char* name;
        DWORD version;
        std::function<void(mw::Block&, mw::Primitive&)> change;
        const char* report;
        int32_t at = -1;  // where a word is written over the section: the block count, the first name's length
        uint32_t value = 0;
    };
    const Case cases[] = {
        {"version 99", 99, nullptr, "FileVersion == 100 ||"},
        {"version 107", 107, nullptr, "FileVersion == 100 ||"},
        {"no blocks", 106, nullptr, "numMaterials > 0", 0, 0},
        {"empty name", 106, nullptr, "NameLength > 0 && NameLength <= 256", 4, 0},
        {"long name", 106, nullptr, "NameLength > 0 && NameLength <= 256", 4, 257},
        {"no terminator", 106, nullptr, "Name[NameLength - 1] == 0", 4, 5},
        {"name past 255", 106, [](auto& b, auto&) { b.Material = std::string(244, 'm'); },
         "strlen(Folder) + strlen(Name) <= 255"},
        {"nine textures", 106, [](auto& b, auto&) { b.Textures.resize(9, "t.tga"); }, "Textures <= 8"},
        {"kind 0", 106, [](auto&, auto& p) { p.Kind = 0; }, "Unknown primitive kind"},
        {"kind 5", 105, [](auto&, auto& p) { p.Kind = 5; }, "Unknown primitive kind"},
        {"65536 vertices", 106, [](auto&, auto& p) { p.Vertices = 65536; }, "Vertices > 0 && Vertices < 65536"},
        {"65536 indices", 105, [](auto&, auto& p) { p.Indices = 65536; }, "Indices > 0 && Indices < 65536"},
        {"strip degenerates", 106,
         [](auto&, auto& p) {
             p.Kind = mw::KIND_STRIP;
             p.Degenerates = 7;
         },
         "numDegen <= Indices"},
        {"index past the vertices", 106, [](auto&, auto& p) { p.IndexList[4] = 4; }, "Index < numVertices"},
        {"index past 16 bits", 105, [](auto&, auto& p) { p.IndexList[0] = 65536; }, "TempIndexBuffer[i] < 65536"},
        {"vertex size", 106, [](auto&, auto& p) { p.VertexSize = 36; }, "VertexSize == FVFSize"},
        {"generic size", 106, [](auto&, auto& p) { p = mw::quad(0), p.VertexSize = 32; }, "VertexSize == FVFSize"},
        {"point size", 106, [](auto&, auto& p) { p.FVF |= 0x20; }, "(FVF & ~KNOWN_FVF_BITS) == 0"},
        {"index size 3", 106, [](auto&, auto& p) { p.IndexSize = 3; }, "IndexSize == 2 || IndexSize == 4"},
        {"nine UV sets", 105, [](auto&, auto& p) { p.UVSets = 9; }, "UVSets <= 8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::clearReports();
        resetRunLogCount();  // each a run of its own: a file's report is made once a run
        mw::Block block = mw::demoQuad("demo.mtl", "demo.tga");
        block.Primitives = {mw::quad(mw::XYZ | mw::NORMAL | mw::TEX(1), c.version)};
        if (c.change) c.change(block, block.Primitives[0]);
        std::string bytes = mw::section({block}, c.version);
        if (c.at >= 0) std::memcpy(&bytes[static_cast<size_t>(c.at)], &c.value, 4);
        HWToolObject* tool = new HWToolObject();
        EXPECT_FALSE(load(tool, bytes, c.version));
        tool->Release();
        ASSERT_EQ(testsupport::reports().size(), 1u);
        EXPECT_EQ(countReports(c.report), 1);
    }

    // Every shorter file stops at its end.
    for (DWORD version : {105u, 106u}) {
        const std::string whole = quadSection(version);
        for (size_t size = 0; size < whole.size(); ++size) {
            SCOPED_TRACE(size);
            testsupport::clearReports();
            resetRunLogCount();
            HWToolObject* tool = new HWToolObject();
            EXPECT_FALSE(load(tool, whole.substr(0, size), version));
            tool->Release();
            ASSERT_EQ(countReports("BytesRead == Bytes"), 1);
        }
    }
    EXPECT_EQ(CBufferAllocator::GetInstance()->BlocksInUse(), 0u);
}

TEST_F(MeshObjectTest, StaticMeshesFillDisplayListsAndDraw)
{
    ASSERT_TRUE(bringUp());
    const DWORD fvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
    addMaterial("data\\models\\lit.mtl", fvf, SORT_NONE, {1, 1, 0});
    addMaterial("data\\models\\vs.mtl", fvf, SORT_NONE, {0, 0, 1});
    addMaterial("data\\models\\poly.mtl", fvf, SORT_POLY, {0, 1, 0});
    std::vector<mw::Block> blocks = {mw::demoQuad("lit.mtl", "t.tga"), mw::demoQuad("vs.mtl", "t.tga"),
                                     mw::demoQuad("poly.mtl", "t.tga")};
    blocks[1].Primitives[0].Kind = mw::KIND_STRIP;
    blocks[1].Primitives[0].Degenerates = 2;
    HWMeshObject* mesh = new HWMeshObject();
    ASSERT_TRUE(load(mesh, mw::section(blocks, 106), 106));
    // Not every block has a transparent choice.
    EXPECT_EQ(mesh->Properties.TransparencyAvailable, 0);
    DisplayHandle* h = mesh->GetDisplayHandle();
    ASSERT_EQ(h->Blocks.Objects, 3);
    const VertexList* lit = h->Blocks.First->VertexLists.First;
    const VertexList* strip = h->Blocks.First->Next->VertexLists.First;
    const VertexList* poly = h->Blocks.Last->VertexLists.First;
    // Triangles are drawn as one strip, whatever the file gave; its joins are the stripifier's
    // count, not the file's. Triangles sorted one by one stay the file's list.
    EXPECT_EQ(std::make_pair(lit->ListType, strip->ListType), std::make_pair(D3DPT_TRIANGLESTRIP, D3DPT_TRIANGLESTRIP));
    EXPECT_EQ(std::make_pair(lit->DegenerateCount, strip->DegenerateCount), std::make_pair(0, 0));
    EXPECT_EQ(pt::d3d9BufferBytes(lit->IndexBuffer), (std::vector<uint8_t>{3, 0, 1, 0, 2, 0, 0, 0}));
    EXPECT_EQ(poly->ListType, D3DPT_TRIANGLELIST);
    EXPECT_EQ(poly->Indices, 6);
    EXPECT_FALSE(poly->Optimised);
    // An equal format is copied as it stands.
    EXPECT_EQ(cardVertices(mesh), blocks[0].Primitives[0].VertexData);

    pt::setD3D9Trace(true);
    D3DCore.BeginScene(true, false);
    mesh->SetMaterial(0);
    mesh->SetAnimationStart(250.0f);
    mesh->Render(0);
    EXPECT_EQ(calls("DrawIndexedPrimitive").size(), 2u);  // the third waits for the sorted pass
    EXPECT_TRUE(testsupport::reports().empty());
    D3DCore.AutoTransparency = 1;
    mesh->Render(0);  // said once
    mesh->Render(0);
    D3DCore.AutoTransparency = 0;
    D3DCore.EndScene(true);
    EXPECT_EQ(countReports("Properties.TransparencyAvailable || !D3DCore.AutoTransparency"), 1);
    EXPECT_EQ(D3DCore.StateBlocks.GetSB(h->Blocks.First->StateBlock)->GMaterial->AnimStart, 250.0f);
    mesh->Release();
    EXPECT_EQ(D3DCore.DisplayHandles.Objects, 0);

    // A block whose material does not load stops the load.
    testsupport::clearReports();
    mesh = new HWMeshObject();
    EXPECT_FALSE(load(mesh, quadSection(106, "missing.mtl"), 106));
    EXPECT_EQ(countReports("Worked"), 1);
    mesh->Release();
}

// Whatever the stripifier finds wrong with the triangles, they load and draw as the file has them,
// as one strip where the stripifier makes one.
TEST_F(MeshObjectTest, TrianglesLoadAsOneStripOfTheSameFacesWhateverIsWrongWithThem)
{
    ASSERT_TRUE(bringUp());
    addMaterial("data\\models\\demo.mtl", D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    struct Case {
        const char* name;
        DWORD kind;
        std::vector<uint32_t> indices;
        D3DPRIMITIVETYPE drawn;
        const char* report = nullptr;
    };
    const Case cases[] = {
        {"flipped", mw::KIND_LIST, {0, 2, 1, 2, 1, 3}, D3DPT_TRIANGLESTRIP},
        {"duplicate", mw::KIND_LIST, {0, 2, 1, 0, 1, 2, 2, 3, 1}, D3DPT_TRIANGLESTRIP},
        {"unconnected", mw::KIND_LIST, {0, 2, 1, 1, 3, 0}, D3DPT_TRIANGLESTRIP},
        {"degenerate face", mw::KIND_STRIP, {0, 2, 2, 1, 3}, D3DPT_TRIANGLESTRIP},
        {"fan", mw::KIND_FAN, {0, 2, 3, 1}, D3DPT_TRIANGLESTRIP, "WHY ARE YOU USING FANS????"},
        {"only degenerate faces", mw::KIND_STRIP, {0, 0, 1, 1}, D3DPT_TRIANGLESTRIP},
        {"lines", mw::KIND_LINES, {0, 1, 2, 3}, D3DPT_LINELIST},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::clearReports();
        mw::Block block = mw::demoQuad("demo.mtl", "demo.tga");
        mw::Primitive& p = block.Primitives[0];
        p.Kind = c.kind;
        p.IndexList = c.indices;
        HWMeshObject* mesh = new HWMeshObject();
        ASSERT_TRUE(load(mesh, mw::section({block}, 106), 106));
        const VertexList* VL = mesh->GetDisplayHandle()->Blocks.First->VertexLists.First;
        const std::vector<uint8_t> bytes = pt::d3d9BufferBytes(VL->IndexBuffer);
        const std::vector<uint32_t> drawn = words(bytes.data(), DWORD(bytes.size() / 2), 2);
        EXPECT_EQ(VL->ListType, c.drawn);
        const std::vector<uint32_t> list = c.kind == mw::KIND_FAN ? std::vector<uint32_t>{0, 2, 3, 0, 3, 1} : c.indices;
        if (c.kind != mw::KIND_LINES) {
            EXPECT_EQ(faces(true, drawn), faces(c.kind == mw::KIND_STRIP, list));
        }
        const bool asRead = c.kind == mw::KIND_LINES || !std::strcmp(c.name, "only degenerate faces");
        EXPECT_EQ(drawn == c.indices, asRead);
        EXPECT_EQ(testsupport::reports().size(), c.report ? 1u : 0u);
        if (c.report) {
            EXPECT_EQ(countReports(c.report), 1);
        }
        mesh->Release();
    }

    // A tool object keeps the strip, its joins counted, with 16-bit indices for a file's 32-bit ones.
    mw::Block block = mw::demoQuad("demo.mtl", "demo.tga");
    block.Primitives[0] = mw::quad(0, 105);
    block.Primitives[0].IndexList = {0, 2, 1, 2, 1, 3};  // faces wound against each other: two strips, joined
    HWToolObject* tool = new HWToolObject();
    ASSERT_TRUE(load(tool, mw::section({block}, 105), 105));
    const TMD* tmd = tool->TMBs.First->TMDs.First;
    EXPECT_EQ(std::make_tuple(tmd->Kind, tmd->IndexSize, tmd->Degenerates), std::make_tuple(1u, 2u, 4u));
    EXPECT_EQ(faces(true, words(tmd->IndexData, tmd->Indices, 2)), faces(false, block.Primitives[0].IndexList));
    tool->Release();
}

// The file's vertices in the material's format: copied when the formats match, rebuilt component
// by component when they do not, converted from generic vertices in files before 106.
TEST_F(MeshObjectTest, VerticesAreConvertedIntoTheMaterialsFormat)
{
    ASSERT_TRUE(bringUp());
    mw::Vertex source;  // what the file holds, in each layout
    source.Position[0] = 1;
    source.Position[1] = -1;
    source.Normal[2] = -1;
    source.Diffuse = 0xFF102030;
    source.Specular = 0xFF0000FF;
    // Generic colours as floats: truncated, 16.5 / 255 comes back as 0x10.
    const float colour[4] = {1, 16.5f / 255, 32.5f / 255, 48.5f / 255};
    std::copy(colour, colour + 4, source.Colour);
    source.UV[0][0] = source.UV[0][1] = 1;
    source.UV[1][0] = 0.25f, source.UV[1][1] = 0.75f;
    struct Case {
        const char* name;
        DWORD version, fileFVF, materialFVF;
        BYTE uvSource0;  // the generic UV set texture set 0 reads
        std::function<void(mw::Vertex&)> expected;  // the source, changed
        std::vector<const char*> reports, warnings;
    };
    const DWORD XNT = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
    const DWORD XDT = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;
    const Case cases[] = {
        {"equal", 106, XNT, XNT, 0, nullptr, {}, {}},
        {"redundant normal", 106, XNT | D3DFVF_DIFFUSE, XDT, 0, nullptr, {}, {"Redundant normal"}},
        {"missing normal and diffuse", 106, D3DFVF_XYZ | D3DFVF_TEX1, XNT | D3DFVF_DIFFUSE, 0,
         [](mw::Vertex& v) { v.Normal[2] = 0, v.Diffuse = 0; },
         {"Can't Load data\\models\\m.rsm / data\\models\\missing normal and diffuse.mtl\n"
          "Normal requested in material, not present in model"},  // the material's one report
         {}},
        {"redundant specular, missing set", 106, XDT | D3DFVF_SPECULAR, D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX2, 0,
         [](mw::Vertex& v) { v.UV[1][0] = v.UV[1][1] = 0; }, {"1 textures in model, 2 textures in material"},
         {"Redundant specular"}},
        {"generic, UV set 1", 101, 0, XNT | D3DFVF_DIFFUSE, 1,
         [](mw::Vertex& v) { v.UV[0][0] = 0.25f, v.UV[0][1] = 0.75f; }, {}, {}},
        {"generic, specular", 105, 0, D3DFVF_XYZ | D3DFVF_SPECULAR, 0, [](mw::Vertex& v) { v.Specular = 0; },
         {"While reading data\\models\\m.rsm"}, {}},  // "false", naming the file
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::clearReports();
        resetRunLogCount();
        MatCore.Warnings = 0;
        StateBlock* SB = addMaterial("data\\models\\" + std::string(c.name) + ".mtl", c.materialFVF);
        SB->GMaterial->UVSource[0] = c.uvSource0;
        mw::Block b = mw::demoQuad(std::string(c.name) + ".mtl", "demo.tga");
        mw::Primitive& p = b.Primitives[0];
        p.FVF = c.fileFVF;
        p.IndexSize = c.version < 106 ? 4 : 2;
        p.VertexData.clear();
        for (int i = 0; i < 4; ++i) p.add(source, c.version);
        HWMeshObject* mesh = new HWMeshObject();
        ASSERT_TRUE(load(mesh, mw::section({b}, c.version), c.version));
        mw::Vertex expected = source;
        if (c.expected) c.expected(expected);
        const std::string vertex = mw::vertexBytes(expected, c.materialFVF);
        EXPECT_EQ(cardVertices(mesh).substr(3 * vertex.size()), vertex);
        EXPECT_EQ(testsupport::reports().size(), c.reports.size());
        for (const char* r : c.reports) EXPECT_EQ(countReports(r), 1) << r;
        EXPECT_EQ(MatCore.Warnings, c.warnings.size());
        for (const char* w : c.warnings) EXPECT_NE(std::strstr(MatCore.LoadingText, w), nullptr) << w;
        mesh->Release();
    }

    // A material that does not fit is said once, not again for each model that uses it.
    testsupport::clearReports();
    resetRunLogCount();
    addMaterial("data\\models\\colour.mtl", XNT | D3DFVF_DIFFUSE);
    mw::Block b = mw::demoQuad("colour.mtl", "demo.tga");
    mw::Primitive& p = b.Primitives[0];
    p.FVF = XNT;
    p.IndexSize = 2;
    p.VertexData.clear();
    for (int i = 0; i < 4; ++i) p.add(source, 106);
    for (const char* model : {"data\\models\\m.rsm", "data\\models\\n.rsm"}) {
        HWMeshObject* mesh = new HWMeshObject();
        EXPECT_TRUE(load(mesh, mw::section({b}, 106), 106, model));
        mesh->Release();
    }
    EXPECT_EQ(testsupport::reports().size(), 1u);
    EXPECT_EQ(countReports("Diffuse requested in material, not present in model"), 1);
}

// The sample data's mesh is the writer's quad, and loads with the material files beside it.
TEST_F(MeshObjectTest, TheSampleMeshLoadsWithItsMaterial)
{
    auto shipped = [](const std::string& name) {
        std::ifstream in(std::string(VELDRANE_DATA "/") + name, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    const std::string section = shipped("models/demo.msh");
    EXPECT_EQ(section, mw::section({mw::demoQuad("demo.mtl", "demo.tga")}, 106));
    for (const char* name : {"renderdefault.txt", "models/demo.mtl", "models/demo.anm", "models/demo.tga"})
        m_dir.write(std::string("data/") + name, shipped(name));
    ASSERT_TRUE(bringUp());
    MatCore.InitRenderStates();
    SetMeshMaterialLoader(nullptr);
    HWMeshObject* mesh = new HWMeshObject();
    ASSERT_TRUE(load(mesh, section, 106, "data\\models\\demo.msh"));
    const MatBlock* block = mesh->GetDisplayHandle()->Blocks.First;
    ASSERT_NE(block, nullptr);
    EXPECT_STREQ(block->MultiBlock.Name, "data\\models\\demo.mtl");
    EXPECT_NE(D3DCore.StateBlocks.GetSB(block->StateBlock)->GMaterial->Animation[0], nullptr);
    EXPECT_EQ(cardVertices(mesh), mw::demoQuad("", "").Primitives[0].VertexData);  // the material's own format
    EXPECT_TRUE(testsupport::reports().empty());
    EXPECT_EQ(MatCore.Warnings, 0u);
    mesh->Release();
    MatCore.ShutdownRenderStates();
}

// A material file that has made its report has its fall-back stand in: that the fall-back does not
// fit a model follows from that report, for every model that uses the material, in every kind of
// mesh. A model that names the fall-back itself, or a fall-back that stands in without a report, is
// checked as any material is.
TEST_F(MeshObjectTest, TheFallBackOfAFileThatReportedIsNotReportedAgainForNotFittingAModel)
{
    auto shipped = [](const std::string& name) {
        std::ifstream in(std::string(VELDRANE_DATA "/") + name, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    struct Load {
        const char* model;
        const char* material;  // as the model names it
        bool dynamic = false;
        bool kept = true;  // false: let go before the next load
    };
    struct Case {
        const char* name;
        bool refused;  // by the card, without a report; else a value of the file is bad
        std::vector<Load> loads;
        std::vector<std::string> misfits;  // each said once
    };
    const std::string lacks = "\nDiffuse requested in material, not present in model";
    const Case cases[] = {
        {"static meshes", false, {{"data\\models\\m.rsm", "demo.mtl"}, {"data\\models\\n.rsm", "demo.mtl"}}, {}},
        {"dynamic meshes", false,
         {{"data\\models\\m.rsm", "demo.mtl", true}, {"data\\models\\n.rsm", "demo.mtl", true}}, {}},
        // With the same textures the later model takes the block the fall-back was parsed into.
        {"the fall-back named by a later model", false,
         {{"data\\fallbackmaterials\\m.rsm", "demo.mtl"}, {"data\\fallbackmaterials\\n.rsm", "vc.mtl", true}},
         {"Can't Load data\\fallbackmaterials\\n.rsm / data\\fallbackmaterials\\vc.mtl" + lacks}},
        {"the fall-back named in a freed slot", false,
         {{"data\\fallbackmaterials\\m.rsm", "demo.mtl", false, false}, {"data\\fallbackmaterials\\n.rsm", "vc.mtl"}},
         {"Can't Load data\\fallbackmaterials\\n.rsm / data\\fallbackmaterials\\vc.mtl" + lacks}},
        {"a file the card refuses", true,
         {{"data\\models\\m.rsm", "demo.mtl"}, {"data\\models\\n.rsm", "demo.mtl", true}},
         {"Can't Load data\\models\\m.rsm / data\\models\\demo.mtl" + lacks}},
    };
    caps().PixelShaderVersion = 0;
    m_dir.write("data/renderdefault.txt", shipped("renderdefault.txt"));
    for (const char* name : {"vc.mtl", "t1_vc.mtl"})
        m_dir.write(std::string("data/fallbackmaterials/") + name, shipped(std::string("fallbackmaterials/") + name));
    // Beside the fall-backs too, where a model names both with the same textures.
    const std::string folders[] = {"data/models/", "data/fallbackmaterials/"};
    for (const std::string& folder : folders)
        for (const char* name : {"demo.anm", "demo.tga"})
            m_dir.write(folder + name, shipped(std::string("models/") + name));
    ASSERT_TRUE(bringUp());
    MatCore.InitRenderStates();
    SetMeshMaterialLoader(nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Before its fvf line: the fall-back without texture coordinates. Refused, each technique
        // wanting the pixel shaders the card lacks: the fall-back of its format. Both want a colour.
        std::string material = shipped("models/demo.mtl");
        if (!c.refused) material.replace(material.find("passes 1\n"), 9, "passes abc\n");
        for (size_t at; c.refused && (at = material.find("fvf XYZ|NORMAL|TEX1\n")) != std::string::npos;)
            material.replace(at, 20, "fvf XYZ|NORMAL|DIFFUSE|TEX1\npixelshader p.psh\n");
        for (const std::string& folder : folders) m_dir.write(folder + "demo.mtl", material);
        testsupport::clearReports();
        resetRunLogCount();
        std::vector<HWBaseObject*> kept;
        for (const Load& l : c.loads) {
            HWBaseObject* object = l.dynamic ? static_cast<HWBaseObject*>(new HWDynamicMeshObject(65535, 65535))
                                             : new HWMeshObject();
            EXPECT_TRUE(load(object, mw::section({mw::demoQuad(l.material, "demo.tga")}, 106), 106, l.model));
            if (l.kept)
                kept.push_back(object);
            else
                object->Release();
        }
        const int fileSaid = countReports("Invalid Number Parameter for passes at line 6");
        EXPECT_EQ(fileSaid == 0, c.refused);
        for (const std::string& misfit : c.misfits) EXPECT_EQ(countReports(misfit), 1) << misfit;
        EXPECT_EQ(testsupport::reports().size(), fileSaid + c.misfits.size());  // and nothing else
        for (HWBaseObject* object : kept) object->Release();
    }
    MatCore.ShutdownRenderStates();
}

}  // namespace
