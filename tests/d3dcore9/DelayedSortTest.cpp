// The delayed sorted pass: the bucket sort, the order blocks are drawn in at the end of the scene,
// per-triangle runs through the dynamic buffer, fog, the material factor each object was queued
// with, and what happens when the tables are full.
#include "DisplayListFixture.h"

#include "d3dcore9/RenderMatrix.h"

#include <algorithm>
#include <array>
#include <map>
#include <random>

namespace pt = platform::testing;
using testsupport::countReports;

namespace {

class DelayedSortTest : public DisplayListFixture {
protected:
    void SetUp() override
    {
        DisplayListFixture::SetUp();
        ASSERT_TRUE(bringUp());
        D3DCore.SetCameraAngles(0, 0, 0, 0, 0, 0);
    }

    // A display list of one quad at the origin, drawn placed at (x, y, z).
    DisplayHandle* placed(StateBlock* SB, float x, float y, float z, const char* name)
    {
        DisplayHandle* h = D3DCore.CreateDisplayHandle();
        VertexList* v = quad(h, multi({SB}), 0, 0, 0);
        m_names[v->Stream(0)] = name;
        m_at[h] = {x, y, z};
        return h;
    }

    void draw(DisplayHandle* h)
    {
        D3DMATRIX w;
        RenderMatrix::identity(w);
        std::copy(m_at[h].begin(), m_at[h].end(), w.m[3]);
        D3DCore.SetWorldMatrix(w);
        D3DCore.DrawDisplayList(h, 0);
    }

    // The names of the lists drawn, in order (stream 0 at each indexed draw).
    std::string drawn()
    {
        std::string out;
        uint64_t stream = 0;
        for (const auto& c : pt::d3d9Trace()) {
            if (c.Method == "SetStreamSource" && c.Args[0] == 0) stream = c.Args[1];
            if (c.Method == "DrawIndexedPrimitive")
                for (auto& [vb, name] : m_names)
                    if (reinterpret_cast<uint64_t>(vb) == stream) out += name;
        }
        return out;
    }

    // The texture factor on the card at each draw, from the moment the trace was switched on.
    static std::vector<DWORD> factorsAtDraws(DWORD factor)
    {
        std::vector<DWORD> out;
        for (const auto& c : pt::d3d9Trace()) {
            if (c.Method == "SetRenderState" && c.Args[0] == D3DRS_TEXTUREFACTOR)
                factor = static_cast<DWORD>(c.Args[1]);
            if (c.Method == "DrawIndexedPrimitive" || c.Method == "DrawPrimitive") out.push_back(factor);
        }
        return out;
    }

    std::map<IDirect3DVertexBuffer9*, std::string> m_names;
    std::map<DisplayHandle*, std::array<float, 3>> m_at;
};

TEST_F(DelayedSortTest, BucketSortIsFarToNearAndStableForEqualKeys)
{
    DelayedSortTables& T = D3DCore.Delayed;
    std::mt19937 random(17);
    for (int round = 0; round < 3; ++round) {
        T.ClearSort();
        // Few distinct keys, so that ties are many; the low and high bytes both vary.
        for (int i = 0; i < MAXSORTEDOBJECTS; ++i)
            ASSERT_NE(T.Push(nullptr, nullptr, (random() % 40) * 0x0F3 + (round == 2 ? 0x100 : 0)), nullptr);
        EXPECT_EQ(T.Push(nullptr, nullptr, 5), nullptr);
        ASSERT_EQ(T.Order(), MAXSORTEDOBJECTS);
        for (int i = 1; i < MAXSORTEDOBJECTS; ++i) {
            const SortEntry* a = T.Ordered[i - 1];
            const SortEntry* b = T.Ordered[i];
            ASSERT_TRUE(a->Key > b->Key || (a->Key == b->Key && a < b)) << i;
        }
    }
}

TEST_F(DelayedSortTest, DelayedBlocksAreDrawnFarToNearAtTheEndOfTheScene)
{
    StateBlock* S = material("sorted.mtl", 1, SORT_MATERIAL);
    StateBlock* L = material("last.mtl", 1, SORT_LAST);
    StateBlock* Far = material("far.mtl", 1, SORT_MATERIAL);
    Far->GMaterial->SortBias = 1e9f;
    StateBlock* Near = material("near.mtl", 1, SORT_MATERIAL);
    Near->GMaterial->SortBias = -1e9f;
    DisplayHandle* a = placed(S, 0, 0, 10, "a");
    DisplayHandle* b = placed(S, 0, 30, 0, "b");
    DisplayHandle* c = placed(S, -20, 0, 0, "c");
    DisplayHandle* d = placed(S, 0, 0, -20, "d");  // as far as c: drawn in the order they came
    DisplayHandle* last = placed(L, 0, 0, 1000, "L");
    DisplayHandle* farthest = placed(Far, 0, 0, 1, "F");
    DisplayHandle* nearest = placed(Near, 0, 0, 1, "N");
    D3DCore.EnableFog(true);
    D3DCore.BeginScene(true, false);
    pt::setD3D9Trace(true);
    for (DisplayHandle* h : {a, last, nearest, b, c, d, farthest}) draw(h);
    EXPECT_EQ(drawn(), "");  // nothing yet
    D3DCore.EndScene(true);
    // Keys: F 65535, b 30, c and d 20, a 10; L and N 0, in the order they were drawn.
    EXPECT_EQ(drawn(), "FbcdaLN");

    // Fog as each block had it; a frame with nothing delayed leaves fog alone.
    D3DCore.BeginScene(true, false);
    pt::clearD3D9Calls();
    D3DCore.EnableFog(true);
    draw(a);
    D3DCore.EnableFog(false);
    draw(b);
    D3DCore.EnableFog(true);
    D3DCore.EndScene(true);
    std::vector<uint64_t> fog;
    for (const auto& call : calls("SetRenderState"))
        if (call[0] == D3DRS_FOGENABLE) fog.push_back(call[1]);
    EXPECT_EQ(fog, (std::vector<uint64_t>{1, 0, 1, 0, 1, 0}));  // as drawn, then b (off), a (on), off at the end

    // A list deleted after it was drawn is not drawn at the scene's end.
    D3DCore.BeginScene(true, false);
    draw(a);
    draw(b);
    D3DCore.DeleteDisplayHandle(a);
    pt::clearD3D9Calls();
    D3DCore.EndScene(true);
    EXPECT_EQ(drawn(), "b");
}

TEST_F(DelayedSortTest, EachDelayedDrawHasTheMaterialFactorItsObjectWasQueuedWith)
{
    // Shared materials tinted object by object, and put back before the scene ends.
    D3DCore.DynamicVB9Size[0] = DynamicVBSize{QUAD_FVF, 60};
    StateBlock* S = material("tinted.mtl", 2, SORT_MATERIAL);
    StateBlock* P = material("tintedpoly.mtl", 1, SORT_POLY);
    for (StateBlock* SB : {S, P}) SB->GMaterial->UseTextureFactor = 1;
    DisplayHandle* a = placed(S, 0, 0, 30, "a");
    DisplayHandle* b = placed(S, 0, 0, 10, "b");
    DisplayHandle* c = placed(P, 0, 0, 20, "c");
    DisplayHandle* d = placed(P, 0, 0, 5, "d");
    D3DCore.BeginScene(true, false);
    const std::pair<DisplayHandle*, DWORD> queued[] = {
        {b, 0xFF103020}, {a, 0xFF204010}, {d, 0xFF302010}, {c, 0xFF0A0B0C}};
    for (auto [h, tint] : queued) {
        (h == c || h == d ? P : S)->GMaterial->TextureFactor = tint;
        draw(h);
    }
    for (StateBlock* SB : {S, P}) SB->GMaterial->TextureFactor = 0xFF808080;
    const DWORD before = state().RenderStates[D3DRS_TEXTUREFACTOR];
    pt::setD3D9Trace(true);
    D3DCore.EndScene(true);
    // Far to near: a (two passes), c (its two triangles in one run), b (two passes), d.
    EXPECT_EQ(drawn(), "aabb");
    EXPECT_EQ(factorsAtDraws(before),
              (std::vector<DWORD>{0xFF204010, 0xFF204010, 0xFF0A0B0C, 0xFF103020, 0xFF103020, 0xFF302010}));
    // The materials keep the factor they hold.
    EXPECT_EQ(S->GMaterial->TextureFactor, 0xFF808080u);
    EXPECT_EQ(P->GMaterial->TextureFactor, 0xFF808080u);
}

TEST_F(DelayedSortTest, TrianglesOfInterleavedObjectsGoInRuns)
{
    // Room for one triangle per lock: a run of two needs two.
    D3DCore.DynamicVB9Size[0] = DynamicVBSize{QUAD_FVF, 9};
    StateBlock* P = material("poly.mtl", 1, SORT_POLY);
    DisplayHandle* h = D3DCore.CreateDisplayHandle();
    // One object of three triangles at depths 10, 30 and 50, another of one at 40; one triangle
    // names a vertex the list does not have.
    const MultiBlock m = multi({P});
    auto object = [&](std::vector<float> depths, bool bad) {
        AddTrisConfig c;
        c.Vertices = static_cast<uint32_t>(depths.size() * 3);
        c.Indices = c.Vertices + (bad ? 3 : 0);
        void *v = nullptr, *i = nullptr;
        VertexList* list = D3DCore.AddTris(h, &m, &c, &v, &i, nullptr);
        QuadVertex* q = static_cast<QuadVertex*>(v);
        WORD* index = static_cast<WORD*>(i);
        for (size_t t = 0; t < depths.size(); ++t)
            for (int k = 0; k < 3; ++k) {
                q[t * 3 + k] = QuadVertex{static_cast<float>(k), 0, depths[t], static_cast<DWORD>(t)};
                index[t * 3 + k] = static_cast<WORD>(t * 3 + k);
            }
        if (bad) index[c.Indices - 3] = index[c.Indices - 2] = index[c.Indices - 1] = static_cast<WORD>(c.Vertices);
        D3DCore.EndAddTris();
        return list;
    };
    object({10, 30, 50}, true);
    object({40}, false);
    D3DCore.BeginScene(true, false);
    D3DCore.DrawDisplayList(h, 0);
    pt::setD3D9Trace(true);
    D3DCore.EndScene(true);
    // Depths 50 | 40 | 30, 10: three runs, the last split in two locks.
    EXPECT_EQ(calls("DrawPrimitive").size(), 4u);
    EXPECT_EQ(D3DCore.DynamicVertexBuffer9[P->GMaterial->DynamicVB].VerticesUsed, 12u);
}

TEST_F(DelayedSortTest, FullTablesDropWhatDoesNotFit)
{
    StateBlock* S = material("sorted.mtl", 1, SORT_MATERIAL);
    DisplayHandle* h = D3DCore.CreateDisplayHandle();
    const MultiBlock m = multi({S});
    quad(h, m, 0, 0, 0);
    quad(h, m, 0, 0, 5);  // two lists: two sort entries per block
    D3DCore.BeginScene(true, false);
    for (int i = 0; i < MAXSORTEDOBJECTS + 1; ++i) D3DCore.DrawDisplayList(h, 0);
    EXPECT_EQ(D3DCore.Delayed.NextEntry, MAXSORTEDOBJECTS);
    EXPECT_TRUE(testsupport::reports().empty());  // the entry table fills silently
    pt::clearD3D9Calls();
    D3DCore.EndScene(true);
    EXPECT_EQ(countReports("Too many delayed sorted objects!"), 1);
    EXPECT_EQ(pt::d3d9Calls("DrawIndexedPrimitive"), MAXSORTEDOBJECTS);

    // Shader constants kept per block: a pool too small skips the block without a word.
    S->GMaterial->VSRegisterMin = 0;
    S->GMaterial->VSRegisterMax = 95;
    D3DCore.BeginScene(true, false);
    for (int i = 0; i < 50; ++i) D3DCore.DrawDisplayList(h, 0);
    EXPECT_EQ(D3DCore.Delayed.NextEntry, DELAYED_VS_FLOATS / (96 * 4));
    D3DCore.EndScene(true);
    S->GMaterial->VSRegisterMin = 1000;
    S->GMaterial->VSRegisterMax = -1000;
    // Texture matrices: a hundred blocks have them, the next is reported and skipped.
    const float nine[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    S->GMaterial->SetStageTextureMatrix(0, nine);
    D3DCore.BeginScene(true, false);
    for (int i = 0; i < MAXDELAYEDMATBLOCKS + 1; ++i) D3DCore.DrawDisplayList(h, 0);
    EXPECT_EQ(D3DCore.Delayed.NextEntry, MAXDELAYEDMATBLOCKS);
    EXPECT_EQ(countReports("DelayMatBlocks < MAXDELAYEDMATBLOCKS"), 1);
    D3DCore.EndScene(true);
}

}  // namespace
