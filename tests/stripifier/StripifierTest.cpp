#include "stripifier/Stripifier.h"

#include "TestSupport.h"
#include "platform/d3d9.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <tuple>

using testsupport::countReports;

namespace {

typedef std::array<uint32_t, 3> Tri;
typedef std::vector<uint32_t> Indices;

struct Mesh {
    uint32_t primitive = MESH_TRIANGLELIST;
    Indices indices;
    uint32_t vertexCount = 0;

    Mesh() = default;
    Mesh(uint32_t type, Indices list) : primitive(type), indices(std::move(list))
    {
        vertexCount = *std::max_element(indices.begin(), indices.end()) + 1;
    }
    Mesh& face(uint32_t a, uint32_t b, uint32_t c)
    {
        indices.insert(indices.end(), {a, b, c});
        vertexCount = std::max({vertexCount, a + 1, b + 1, c + 1});
        return *this;
    }
};

StripifyOptions options(uint32_t output, uint32_t tries = 1)
{
    StripifyOptions o;
    o.LengthMode = 0;
    o.OutputType = output;
    o.NumTries = tries;
    return o;
}

// One Stripify call on a mesh whose vertex v sits at x = v, so that triangles can be read back by
// position after the vertices have been moved or copied; the reports it sent are kept.
struct Result {
    MeshData out = {};
    StripifyOptions options;
    bool ok;
    Indices codes;
    int progressDone = 0;  // progress reports at 100 %
    bool stop;

    Result(const Mesh& mesh, const StripifyOptions& o, uint32_t indexSize = 4, bool stopAtFirst = false)
        : options(o), stop(stopAtFirst)
    {
        std::vector<float> vertices(size_t(mesh.vertexCount) * 3, 0.0f);
        for (uint32_t v = 0; v < mesh.vertexCount; ++v)
            vertices[size_t(v) * 3] = static_cast<float>(v);
        std::vector<uint16_t> narrow(mesh.indices.begin(), mesh.indices.end());
        Indices wide = mesh.indices;
        MeshData in = {mesh.primitive, mesh.vertexCount, 12, static_cast<uint32_t>(wide.size()), 0, vertices.data(),
                       indexSize, indexSize == 2 ? static_cast<void*>(narrow.data()) : wide.data(), 0};
        ok = Stripify(in, out, options, collect, this);
    }
    ~Result()
    {
        FreeMeshData(out);
        FreeMeshData(options.NormalMesh);
        FreeMeshData(options.OpenEdgeMesh);
    }
    int count(uint32_t code) const { return static_cast<int>(std::count(codes.begin(), codes.end(), code)); }

    static bool collect(const StripifyReport& report, void* context)
    {
        Result& r = *static_cast<Result*>(context);
        if (report.Type == STRIPIFY_REPORT_MESSAGE) {
            EXPECT_STREQ(StripifyMessages[report.Code], report.pText);
            r.codes.push_back(report.Code);
        } else if (report.Progress == 1.0f) {
            ++r.progressDone;
        }
        return r.stop;
    }
};

Indices indicesOf(const MeshData& m)
{
    Indices all(m.NumIndices);
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = m.IndexSize == 2 ? static_cast<const uint16_t*>(m.pIndices)[i]
                                  : static_cast<const uint32_t*>(m.pIndices)[i];
    return all;
}

// The vertex a stored index stands for, read back from its position.
uint32_t vertexId(const MeshData& m, uint32_t index)
{
    float x;
    memcpy(&x, static_cast<const uint8_t*>(m.pVertices) + size_t(index) * m.VertexSize, sizeof x);
    return static_cast<uint32_t>(x);
}

// Triangles by vertex id, each turned to start at its smallest id, sorted; those with a repeated
// index are only counted. Strips flip every second triangle as they are drawn.
std::vector<Tri> triangles(const Indices& indices, bool strip, uint32_t* pDegenerates = nullptr,
                           const MeshData* pVertices = nullptr)
{
    std::vector<Tri> tris;
    uint32_t degenerates = 0;
    for (size_t i = 0; i + 2 < indices.size(); i += strip ? 1 : 3) {
        Tri t = {indices[i], indices[i + 1], indices[i + 2]};
        if (strip && (i & 1)) std::swap(t[0], t[1]);
        if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2]) {
            ++degenerates;
            continue;
        }
        if (pVertices)
            for (uint32_t& v : t)
                v = v < pVertices->NumVertices ? vertexId(*pVertices, v) : UINT32_MAX;
        std::rotate(t.begin(), std::min_element(t.begin(), t.end()), t.end());
        tris.push_back(t);
    }
    std::sort(tris.begin(), tris.end());
    if (pDegenerates) *pDegenerates = degenerates;
    return tris;
}

std::vector<Tri> drawn(const MeshData& m, uint32_t* pDegenerates = nullptr)
{
    return triangles(indicesOf(m), m.PrimitiveType == MESH_TRIANGLESTRIP, pDegenerates, &m);
}

// A w x h grid of quads; closed joins the far sides so that every edge has two faces (a torus).
Mesh grid(uint32_t w, uint32_t h, bool closed)
{
    Mesh m;
    const uint32_t columns = closed ? w : w + 1, rows = closed ? h : h + 1;
    auto at = [&](uint32_t x, uint32_t y) { return (y % rows) * columns + x % columns; };
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            m.face(at(x, y), at(x + 1, y), at(x, y + 1)).face(at(x + 1, y), at(x + 1, y + 1), at(x, y + 1));
    return m;
}

TEST(StripifierTest, SmallMeshesGiveTheKnownStrips)
{
    EXPECT_EQ(0xD001A79Cu, StripifySeedStep(STRIPIFY_START_SEED));
    const StripifyOptions strip = options(STRIPIFY_OUTPUT_STRIP);

    const Result single(Mesh().face(0, 1, 2), strip);
    EXPECT_EQ((Indices{0, 1, 2}), indicesOf(single.out));
    EXPECT_EQ((Indices{STRIPIFY_UNCONNECTED_FACES}), single.codes);

    // Both faces have one neighbour; the first seed step picks the second of them. A limit of 0 in
    // length mode 0 does not cut the strip.
    const Result pair(Mesh().face(0, 1, 2).face(2, 1, 3), strip, 2);
    EXPECT_EQ((Indices{3, 2, 1, 0}), indicesOf(pair.out));
    EXPECT_EQ(std::make_tuple(2u, 0u, size_t(0)), std::make_tuple(pair.out.IndexSize, pair.out.NumDegenerates, pair.codes.size()));

    const Result flipped(Mesh().face(0, 1, 2).face(1, 2, 3), strip);
    EXPECT_EQ(std::make_pair(2u, 1), std::make_pair(flipped.options.NumFlippedFaces, flipped.count(STRIPIFY_FLIPPED_FACES)));

    // The third triangle of the strip repeats a vertex, and so does the fourth: reported once.
    const Result dropped(Mesh(MESH_TRIANGLESTRIP, {0, 1, 2, 3, 3, 4, 5}), options(STRIPIFY_OUTPUT_LIST));
    EXPECT_EQ((std::vector<Tri>{{0, 1, 2}, {1, 3, 2}, {3, 4, 5}}), drawn(dropped.out));
    EXPECT_EQ(1, dropped.count(STRIPIFY_DEGENERATE_FACES));

    // Back to back, two faces share all three vertices and still both get drawn.
    const Result twin(Mesh().face(0, 1, 2).face(0, 2, 1), strip);
    EXPECT_EQ((std::vector<Tri>{{0, 1, 2}, {0, 2, 1}}), drawn(twin.out));
    EXPECT_EQ(1, twin.count(STRIPIFY_DUPLICATE_FACES));

    // Too short a strip has no faces; a fan is reported but stripped.
    const Result empty(Mesh(MESH_TRIANGLESTRIP, {0, 1}), strip);
    EXPECT_EQ(std::make_pair(true, 0u), std::make_pair(empty.ok, empty.out.NumIndices));
    const Result fan(Mesh(MESH_TRIANGLEFAN, {0, 1, 2, 3, 4}), strip);
    EXPECT_EQ(1, countReports("WHY ARE YOU USING FANS????"));
    EXPECT_EQ((std::vector<Tri>{{0, 1, 2}, {0, 2, 3}, {0, 3, 4}}), drawn(fan.out));

    // The input freed when asked, the output written over it.
    MeshData mesh = {MESH_TRIANGLELIST, 4, 12, 6, 0, calloc(4, 12), 2, malloc(12), 0};
    const uint16_t indices[6] = {0, 1, 2, 2, 1, 3};
    memcpy(mesh.pIndices, indices, sizeof indices);
    StripifyOptions o = options(STRIPIFY_OUTPUT_STRIP);
    o.FreeInput = 1;
    ASSERT_TRUE(Stripify(mesh, mesh, o));
    EXPECT_EQ((Indices{3, 2, 1, 0}), indicesOf(mesh));
    FreeMeshData(mesh);
}

// The output draws every face of the input once with its winding, whatever the mesh's faults, and
// its statistics add up.
TEST(StripifierTest, OutputDrawsEveryFaceOnceOnManyShapes)
{
    std::map<std::string, Mesh> meshes = {{"open", grid(9, 7, false)}, {"closed", grid(8, 6, true)}};
    meshes["flipped"] = grid(6, 6, false);
    for (size_t i = 0; i < meshes["flipped"].indices.size(); i += 21)
        std::swap(meshes["flipped"].indices[i], meshes["flipped"].indices[i + 1]);
    meshes["duplicates"] = grid(5, 5, true).face(0, 1, 5).face(0, 1, 5).face(5, 1, 0).face(7, 8, 12);
    meshes["degenerate"] = grid(5, 4, false).face(3, 3, 9).face(4, 10, 4);
    meshes["degenerate"].vertexCount += 2;  // two vertices no face uses
    std::mt19937 rng(11);
    for (int i = 0; i < 300; ++i)  // a soup with edges shared by many faces
        meshes["soup"].face(rng() % 40, rng() % 40, rng() % 40);

    struct Setting {
        uint32_t output, tries, mode, limit;
        bool reorder;
    };
    const Setting settings[] = {
        {STRIPIFY_OUTPUT_STRIP, 1, 0, 0, false}, {STRIPIFY_OUTPUT_STRIP, 8, 0, 0, true},
        {STRIPIFY_OUTPUT_STRIP, 1, 0, 3, false}, {STRIPIFY_OUTPUT_STRIP, 1, STRIPIFY_LENGTH_UNLIMITED, 3, true},
        {STRIPIFY_OUTPUT_LIST, 3, 0, 0, true},   {STRIPIFY_OUTPUT_DISPLAYLIST, 1, 0, 0, false},
    };
    for (const auto& [name, mesh] : meshes) {
        const std::vector<Tri> faces = triangles(mesh.indices, false);
        for (const Setting& s : settings) {
            SCOPED_TRACE(name + " output " + std::to_string(s.output) + " tries " + std::to_string(s.tries) +
                         " limit " + std::to_string(s.limit) + " mode " + std::to_string(s.mode));
            StripifyOptions o = options(s.output, s.tries);
            o.LengthMode = s.mode;
            o.MaxLength = s.limit;
            o.ReorderVertices = s.reorder;
            const Result run(mesh, o);
            ASSERT_TRUE(run.ok);
            uint32_t degenerates;
            EXPECT_EQ(faces, drawn(run.out, &degenerates));
            const StripifyOptions& stats = run.options;
            uint32_t stripFaces = stats.LongStripFaces, strips = stats.NumLongStrips, longest = 0;
            for (int l = 0; l < MAX_STRIP_LENGTH_COUNTS; ++l) {
                stripFaces += stats.StripLengthCounts[l] * (l + 1);
                strips += stats.StripLengthCounts[l];
                if (stats.StripLengthCounts[l]) longest = l + 1;
            }
            EXPECT_EQ(faces.size(), stripFaces);
            EXPECT_EQ(stats.NumStrips, strips);
            EXPECT_TRUE(s.limit == 0 || s.mode != 0 || longest <= s.limit);
            if (s.output == STRIPIFY_OUTPUT_STRIP) {
                EXPECT_EQ(degenerates, run.out.NumDegenerates);
                EXPECT_EQ(faces.size() + degenerates, stats.NumTriangles);
            } else {
                EXPECT_EQ(faces.size() * 3, run.out.NumIndices);
            }
            EXPECT_EQ(name == "flipped" || name == "duplicates" || name == "soup",
                      run.count(STRIPIFY_FLIPPED_FACES) > 0);
            EXPECT_EQ(name == "degenerate" || name == "soup", run.count(STRIPIFY_DEGENERATE_FACES) > 0);
            for (uint32_t code = 0; code <= STRIPIFY_DEGENERATE_FACES; ++code)
                EXPECT_LE(run.count(code), static_cast<int>(s.tries > 1 ? s.tries + 1 : 1));
            if (!s.reorder) continue;
            // Renumbered by first use; the unused vertices follow in their old order.
            uint32_t seen = 0;
            for (uint32_t index : indicesOf(run.out)) {
                EXPECT_LE(index, seen);
                seen += index == seen;
            }
            EXPECT_EQ(seen < mesh.vertexCount, run.count(STRIPIFY_UNUSED_VERTICES) == 1);
            for (uint32_t v = std::max(seen, 1u); v < mesh.vertexCount; ++v)
                EXPECT_LT(vertexId(run.out, v - 1), vertexId(run.out, v));
        }
    }
}

TEST(StripifierTest, SeedSearchKeepsTheBestTryAndStopsWhenAsked)
{
    const Mesh torus = grid(24, 16, true);
    const Result one(torus, options(STRIPIFY_OUTPUT_STRIP, 1));
    const Result eight(torus, options(STRIPIFY_OUTPUT_STRIP, 8));
    const Result again(torus, options(STRIPIFY_OUTPUT_STRIP, 8));
    const Result stopped(torus, options(STRIPIFY_OUTPUT_STRIP, 8), 4, true);
    EXPECT_LE(eight.out.NumDegenerates, one.out.NumDegenerates);
    EXPECT_EQ(indicesOf(eight.out), indicesOf(again.out));
    EXPECT_EQ(9, eight.progressDone);
    EXPECT_EQ(2, stopped.progressDone);
    EXPECT_EQ(indicesOf(one.out), indicesOf(stopped.out));
    // Of equal tries the first is kept: two tries of the pair give the one-try strip.
    const Result pair(Mesh().face(0, 1, 2).face(2, 1, 3), options(STRIPIFY_OUTPUT_STRIP, 2));
    EXPECT_EQ((Indices{3, 2, 1, 0}), indicesOf(pair.out));
}


TEST(StripifierTest, IndicesNarrowOnlyWhenCountAndValuesFit)
{
    // Isolated copies of one triangle take 5 indices each (two to join, three of their own); the
    // chain of an even number n of faces that comes first takes n + 2.
    auto mesh = [](uint32_t copies, uint32_t chain) {
        Mesh m;
        for (uint32_t i = 0; i < copies; ++i)
            m.face(0, 1, 2);
        for (uint32_t i = 0; i < chain; ++i)
            m.face(3 + i, 4 + i + (i & 1), 4 + i + !(i & 1));
        return m;
    };
    StripifyOptions keep = options(STRIPIFY_OUTPUT_STRIP);
    keep.Keep32BitIndices = 1;
    const Result fits(mesh(13106, 4), options(STRIPIFY_OUTPUT_STRIP));
    const Result over(mesh(13105, 10), options(STRIPIFY_OUTPUT_STRIP));
    const Result kept(mesh(13106, 4), keep);
    const Result large(Mesh().face(0, 1, 70000), options(STRIPIFY_OUTPUT_STRIP));
    ASSERT_EQ(65536u, fits.out.NumIndices);
    ASSERT_EQ(65537u, over.out.NumIndices);
    EXPECT_EQ(indicesOf(fits.out), indicesOf(kept.out));
    EXPECT_EQ((Indices{0, 1, 70000}), indicesOf(large.out));
    // Index size and the 32-bit report: kept on request without it.
    Indices sizes;
    for (const Result* r : {&fits, &over, &kept, &large})
        sizes.insert(sizes.end(), {r->out.IndexSize, uint32_t(r->count(STRIPIFY_32BIT_INDICES))});
    EXPECT_EQ((Indices{2, 0, 4, 1, 4, 0, 4, 1}), sizes);
}

TEST(StripifierTest, UnreadableInputFailsWithoutWriting)
{
    Mesh beyond = Mesh().face(0, 1, 2);
    beyond.vertexCount = 2;
    const struct {
        Mesh mesh;
        uint32_t indexSize;
        StripifyOptions options;
        const char* report;
    } cases[] = {
        {beyond, 4, options(STRIPIFY_OUTPUT_STRIP), "Input index beyond the vertex array"},
        {Mesh().face(0, 1, 2), 3, options(STRIPIFY_OUTPUT_STRIP), "Input indices are not a valid size"},
        {Mesh().face(0, 1, 2), 4, StripifyOptions(), "Invalid output type"},
        {Mesh(MESH_LINELIST, {0, 1, 2}), 4, options(STRIPIFY_OUTPUT_STRIP), "Input is not a triangle list"},
    };
    for (const auto& c : cases) {
        testsupport::clearReports();
        const Result run(c.mesh, c.options, c.indexSize);
        EXPECT_FALSE(run.ok) << c.report;
        EXPECT_EQ(0u, run.out.NumIndices + run.out.NumVertices + run.options.NumStrips) << c.report;
        EXPECT_EQ(1, countReports(c.report));
    }
}

TEST(StripifierTest, DisplayListColoursEachStrip)
{
    const Result run(Mesh().face(0, 1, 2).face(2, 1, 3).face(4, 5, 6), options(STRIPIFY_OUTPUT_DISPLAYLIST));
    EXPECT_EQ(std::make_pair(DWORD(STRIPIFY_DISPLAYLIST_FVF), 16u), std::make_pair(DWORD(run.out.FVF), run.out.VertexSize));
    EXPECT_EQ((Indices{0, 1, 2, 3, 4, 5, 6, 7, 8}), indicesOf(run.out));
    EXPECT_EQ(4u, run.options.NumDegenerates);            // the joined strip is built for the statistics
    EXPECT_EQ(1, run.count(STRIPIFY_UNCONNECTED_FACES));  // though the first strip is connected
    Indices colours(9);
    for (uint32_t v = 0; v < 9; ++v)
        memcpy(&colours[v], static_cast<const uint8_t*>(run.out.pVertices) + v * 16 + 12, 4);
    // 2/3 of full red, darkened by 1/64 before each vertex; the next strip starts green.
    EXPECT_EQ((Indices{0xFFA60000, 0xFFA20000, 0xFF9E0000, 0xFF9A0000, 0xFF960000, 0xFF920000, 0xFF00A600, 0xFF00A200,
                       0xFF009E00}),
              colours);
}

TEST(StripifierTest, DebugMeshesShowNormalsAndOpenEdges)
{
    auto pointOf = [](const MeshData& lines, uint32_t vertex) {
        std::vector<float> p(3);
        memcpy(p.data(), static_cast<const uint8_t*>(lines.pVertices) + vertex * 16, 12);
        return p;
    };
    const struct {
        uint32_t fvf, vertexSize;
        std::vector<float> tip;  // the normal line's end for vertex 0; none when no normal mesh is made
    } cases[] = {{D3DFVF_XYZ | D3DFVF_NORMAL, 104, {20, 0, 0}}, {D3DFVF_XYZ, 104, {0, 0, 20}}, {0, 104, {0, 20, 0}},
                 {0, 100, {}}};
    for (const auto& c : cases) {
        // A right triangle; each vertex has the normal (1, 0, 0) after its position and (0, 1, 0) at
        // byte 92 when it is long enough.
        const uint32_t floats = c.vertexSize / 4;
        std::vector<float> vertices(3 * floats, 0.0f);
        for (uint32_t v = 0; v < 3; ++v) {
            vertices[v * floats] = static_cast<float>(v % 2);
            vertices[v * floats + 1] = static_cast<float>(v / 2);
            vertices[v * floats + 3] = 1.0f;
            if (floats > 25) vertices[v * floats + 24] = 1.0f;
        }
        uint32_t indices[3] = {0, 1, 2};
        MeshData in = {MESH_TRIANGLELIST, 3, c.vertexSize, 3, c.fvf, vertices.data(), 4, indices, 0};
        StripifyOptions o = options(STRIPIFY_OUTPUT_STRIP);
        o.MakeNormalMesh = o.MakeOpenEdgeMesh = 1;
        MeshData out = {};
        testsupport::clearReports();
        ASSERT_TRUE(Stripify(in, out, o));
        EXPECT_EQ(c.tip.empty(), o.NormalMesh.pVertices == nullptr);
        EXPECT_EQ(c.tip.empty() ? 1 : 0, countReports("no normal mesh made"));
        if (!c.tip.empty()) { EXPECT_EQ(std::make_pair(6u, c.tip), std::make_pair(o.NormalMesh.NumVertices, pointOf(o.NormalMesh, 1))); }

        // The lone triangle's three edges, lifted by 0.1 along its normal (0, 0, 1).
        EXPECT_EQ(12u, o.OpenEdgeMesh.NumIndices);
        EXPECT_EQ((std::vector<float>{1, 0, 0.1f}), pointOf(o.OpenEdgeMesh, 1));
        for (MeshData* m : {&out, &o.NormalMesh, &o.OpenEdgeMesh})
            FreeMeshData(*m);
    }
}

}  // namespace
