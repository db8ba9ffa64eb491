// Display lists through the reference device: batches, blocks, references, buffers and drawing.
#include "DisplayListFixture.h"

namespace pt = platform::testing;
using testsupport::countReports;

namespace {

class DisplayListTest : public DisplayListFixture {};

TEST_F(DisplayListTest, BatchesShareBlocksAndGiveTheirReferencesBack)
{
    ASSERT_TRUE(bringUp());
    StateBlock* A = material("a.mtl");
    StateBlock* B = material("b.mtl");
    StateBlock* T = material("t.mtl");
    DisplayHandle* h = D3DCore.CreateDisplayHandle();
    const MultiBlock ab = multi({A, B}, T, "first");
    MultiBlock renamed = ab;
    renamed.SetName("second");
    ASSERT_NE(quad(h, ab, 0, 0, 0), nullptr);
    ASSERT_NE(quad(h, renamed, 5, 0, 0), nullptr);
    EXPECT_EQ(h->Blocks.Objects, 1);
    // A new block: one reference for the block drawn and one per choice; the transparent variant none.
    EXPECT_EQ(std::vector<DWORD>({refs(A), refs(B), refs(T)}), std::vector<DWORD>({3, 2, 1}));
    MultiBlock other = ab;
    other.TransparentBlock = SB_NONE;
    MultiBlock reformatted = ab;  // the same vertex size in another format
    reformatted.MainFVF.D3DFlags = D3DFVF_XYZ | D3DFVF_SPECULAR;
    ASSERT_NE(quad(h, other, 0, 5, 0), nullptr);
    ASSERT_NE(quad(h, reformatted, 0, 5, 0), nullptr);
    EXPECT_EQ(h->Blocks.Objects, 3);
    EXPECT_EQ(refs(A), 7u);

    // Choices move the reference of the block drawn; a choice without a state block is ignored.
    D3DCore.SetDisplayListMaterial(h, 1);
    EXPECT_EQ(std::vector<DWORD>({refs(A), refs(B)}), std::vector<DWORD>({4, 7}));
    EXPECT_FALSE(h->Blocks.First->SetMaterial(7));
    EXPECT_EQ(h->Blocks.First->StateBlock, handleOf(B));

    D3DCore.DeleteDisplayHandle(h);
    EXPECT_EQ(std::vector<DWORD>({refs(A), refs(B), refs(T)}), std::vector<DWORD>({1, 1, 1}));
    EXPECT_EQ(pt::d3d9LiveResources(D3DPOOL_MANAGED), 0);
}

TEST_F(DisplayListTest, RefusedBatchesChangeNothing)
{
    ASSERT_TRUE(bringUp());
    StateBlock* A = material("a.mtl");
    StateBlock* P = material("p.mtl", 1, SORT_POLY);
    P->GMaterial->Streams = 0;
    StateBlock* S = material("s.mtl");
    S->GMaterial->Streams = 2;
    S->GMaterial->StreamVertexSize = new DWORD[2]{12, 4};
    DisplayHandle* h = D3DCore.CreateDisplayHandle();
    struct Case {
        StateBlock* SB;
        AddTrisConfig config;
        const char* report;
    };
    auto config = [](uint32_t vertices, uint32_t indices, BYTE use32 = 0) {
        AddTrisConfig c;
        c.Vertices = vertices;
        c.Indices = indices;
        c.Use32BitIndices = use32;
        return c;
    };
    const Case cases[] = {
        {A, config(0, 6), "AddTris requested for zero vertices!!"},
        {A, config(4, 6, 1), "32-bit indices not supported yet"},
        {A, config(4, 65536), "Config.Indices <= 65535"},
        {S, config(4, 6), "Final parameter required in AddTris call!!!"},
        {P, config(4, 0), "!PolySort"},
    };
    for (const Case& k : cases) {
        testsupport::clearReports();
        MultiBlock m = multi({k.SB});
        AddTrisConfig c = k.config;
        void *v = nullptr, *i = nullptr;
        EXPECT_EQ(D3DCore.AddTris(h, &m, &c, &v, &i, nullptr), nullptr) << k.report;
        EXPECT_EQ(countReports(k.report), 1) << k.report;
        EXPECT_EQ(std::make_pair(0, 0), std::make_pair(int(h->Blocks.Objects), int(D3DCore.AddingTris))) << k.report;
    }
    // A second batch while one is open is refused; closing twice is reported once and harmless.
    MultiBlock m = multi({A});
    AddTrisConfig c = config(4, 6);
    void *v = nullptr, *i = nullptr;
    ASSERT_NE(D3DCore.AddTris(h, &m, &c, &v, &i, nullptr), nullptr);
    EXPECT_EQ(D3DCore.AddTris(h, &m, &c, &v, &i, nullptr), nullptr);
    D3DCore.EndAddTris();
    D3DCore.EndAddTris();
    EXPECT_EQ(countReports("AddingTris"), 2);  // the second batch and the second close
    EXPECT_EQ(h->Blocks.First->VertexLists.Objects, 1);

    // Primitive counts by type; a non-indexed line list has none.
    struct Count {
        D3DPRIMITIVETYPE type;
        uint32_t vertices, indices;
        int32_t primitives;
    };
    const Count counts[] = {{D3DPT_LINESTRIP, 8, 8, 7}, {D3DPT_TRIANGLEFAN, 8, 9, 7},
                            {D3DPT_TRIANGLELIST, 9, 0, 3}, {D3DPT_LINELIST, 8, 0, 0}};
    for (const Count& k : counts) {
        AddTrisConfig cc = config(k.vertices, k.indices);
        cc.ListType = k.type;
        VertexList* list = D3DCore.AddTris(h, &m, &cc, &v, &i, nullptr);
        ASSERT_NE(list, nullptr);
        D3DCore.EndAddTris();
        EXPECT_EQ(list->PrimitiveCount, k.primitives) << k.type << " " << k.indices;
    }
}

TEST_F(DisplayListTest, BuffersFollowTheUsageRulesAndRefillAfterALostDevice)
{
    ASSERT_TRUE(bringUp());
    StateBlock* A = material("a.mtl");
    DisplayHandle* h = D3DCore.CreateDisplayHandle();
    const MultiBlock m = multi({A});
    pt::setD3D9Trace(true);
    struct Case {
        BYTE dynamic, writeOnly, clipping, softwareShaders, writeOnlySwitch;
        DWORD usage;
        D3DPOOL pool;
    };
    const Case cases[] = {
        {0, 1, 0, 0, 1, D3DUSAGE_DONOTCLIP | D3DUSAGE_WRITEONLY, D3DPOOL_MANAGED},
        {1, 1, 0, 0, 1, D3DUSAGE_DONOTCLIP | D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, D3DPOOL_DEFAULT},
        {0, 0, 1, 0, 1, 0, D3DPOOL_MANAGED},
        {0, 1, 0, 0, 0, D3DUSAGE_DONOTCLIP, D3DPOOL_MANAGED},
        {1, 0, 0, 1, 1, D3DUSAGE_DONOTCLIP | D3DUSAGE_DYNAMIC, D3DPOOL_SYSTEMMEM},
    };
    for (const Case& k : cases) {
        pt::clearD3D9Calls();
        D3DCore.WriteOnlyBuffers = k.writeOnlySwitch;
        D3DCore.SoftwareShaders = k.softwareShaders;
        A->GMaterial->VertexShader = k.softwareShaders ? 1 : 0;
        AddTrisConfig c;
        c.VBDynamic = c.IBDynamic = k.dynamic;
        c.VBWriteOnly = c.IBWriteOnly = k.writeOnly;
        c.VBClipping = c.IBClipping = k.clipping;
        ASSERT_NE(quad(h, m, 0, 0, 0, 0xFFFFFFFF, c), nullptr);
        EXPECT_EQ(calls("CreateVertexBuffer"), (std::vector<std::vector<uint64_t>>{{64, k.usage, QUAD_FVF, uint64_t(k.pool)}}));
        EXPECT_EQ(calls("CreateIndexBuffer").at(0)[1], k.usage);
    }
    A->GMaterial->VertexShader = 0;
    D3DCore.SoftwareShaders = 0;

    // Restore copies refill the dynamic buffers; without one they come back zeroed.
    AddTrisConfig c;
    c.VBDynamic = c.IBDynamic = c.VBRestore = c.IBRestore = 1;
    VertexList* kept = quad(h, m, 3, 4, 5, 0xFF112233, c);
    c.VBRestore = c.IBRestore = 0;
    VertexList* lost = quad(h, m, 3, 4, 5, 0xFF112233, c);
    ASSERT_NE(kept, nullptr);
    ASSERT_NE(lost, nullptr);

    const std::vector<uint8_t> vertices = pt::d3d9BufferBytes(kept->Stream(0));
    EXPECT_EQ(vertices, std::vector<uint8_t>(kept->SysVertexBuffer, kept->SysVertexBuffer + 64));
    EXPECT_EQ(pt::d3d9BufferBytes(lost->Stream(0)), vertices);
    D3DCore.LoseDevice();
    EXPECT_EQ(pt::d3d9LiveResources(D3DPOOL_DEFAULT), 0);
    D3DCore.RestoreLostDevice();
    EXPECT_EQ(pt::d3d9BufferBytes(kept->Stream(0)), vertices);
    EXPECT_EQ(pt::d3d9BufferBytes(kept->IndexBuffer), std::vector<uint8_t>(kept->SysIndexBuffer, kept->SysIndexBuffer + 12));
    EXPECT_EQ(pt::d3d9BufferBytes(lost->Stream(0)), std::vector<uint8_t>(64, 0));

    // Ranges: exactly the bytes asked for; outside the buffer refused.
    for (int b = 0; b < 12; ++b) kept->SysIndexBuffer[b] = static_cast<BYTE>(0xA0 + b);
    EXPECT_TRUE(kept->UpdateIB(4, 8));
    const std::vector<uint8_t> ib = pt::d3d9BufferBytes(kept->IndexBuffer);
    EXPECT_EQ(std::vector<uint8_t>(ib.begin() + 2, ib.end()), (std::vector<uint8_t>{1, 0, 0xA4, 0xA5, 0xA6, 0xA7,
                                                                                    0xA8, 0xA9, 0xAA, 0xAB}));
    EXPECT_FALSE(kept->UpdateIB(8, 8));
    EXPECT_FALSE(kept->UpdateVB(-4, 8));
    // No reading a write-only buffer, no second lock.
    void* p = nullptr;
    kept->VBCreatedWOnly = 1;
    EXPECT_FALSE(kept->LockVB(&p, D3DLOCK_READONLY, 0, 0));
    EXPECT_TRUE(kept->LockVB(&p, D3DLOCK_DISCARD, 0, 0));
    EXPECT_FALSE(kept->LockVB(&p, 0, 0, 0));
    EXPECT_TRUE(kept->UnlockVB());
}

TEST_F(DisplayListTest, PerTriangleBatchesLiveInSystemCopiesAndCentresAreKeptForSortedOnes)
{
    ASSERT_TRUE(bringUp());
    StateBlock* P = material("p.mtl", 1, SORT_POLY);
    StateBlock* S = material("s.mtl", 1, SORT_MATERIAL);
    StateBlock* N = material("n.mtl");
    DisplayHandle* h = D3DCore.CreateDisplayHandle();
    pt::setD3D9Trace(true);
    AddTrisConfig restore;
    restore.VBRestore = restore.IBRestore = restore.VBDynamic = restore.IBDynamic = 1;
    VertexList* poly = quad(h, multi({P}), 0, 0, 0, 0xFFFFFFFF, restore);
    ASSERT_NE(poly, nullptr);
    EXPECT_EQ(calls("CreateVertexBuffer").size(), 1u);  // the dynamic buffer of its format only
    EXPECT_EQ(calls("CreateIndexBuffer").size(), 0u);
    EXPECT_NE(poly->SysIndexBuffer, nullptr);
    EXPECT_EQ(P->GMaterial->DynamicVB, poly->DynamicVB);

    VertexList* sorted = quad(h, multi({S}), 4, -2, 7);
    VertexList* plain = quad(h, multi({N}), 4, -2, 7);
    EXPECT_EQ(std::vector<float>(sorted->Centre, sorted->Centre + 3), (std::vector<float>{4, -2, 7}));
    EXPECT_EQ(plain->Centre[0], 0.0f);
}

TEST_F(DisplayListTest, EachPassIsSetOnceForAllTheBlocksLists)
{
    ASSERT_TRUE(bringUp());
    StateBlock* A = material("a.mtl", 2);
    A->GMaterial->BlackFog = 1;
    A->GMaterial->TextureFactor = 0x80402010;
    A->GMaterial->AddFadeModulate = 1;
    D3DCore.SetFog(10, 100, 0x12, 0x34, 0x56);
    DisplayHandle* h = D3DCore.CreateDisplayHandle();
    const MultiBlock m = multi({A});
    quad(h, m, 0, 0, 0);
    quad(h, m, 3, 0, 0);
    static int callbacks = 0;
    callbacks = 0;
    A->GMaterial->DrawCallback = [](VertexList*, const D3DMATRIX* world, const D3DMATRIX* camera) {
        ++callbacks;
        EXPECT_EQ(world->_11, 1.0f);
        EXPECT_EQ(camera->_42, 7.0f);  // the camera's position
    };
    D3DCore.SetCameraAngles(0, 0, 0, 0, 7, 0);
    D3DCore.BeginScene(true, false);
    pt::setD3D9Trace(true);
    D3DCore.DrawDisplayList(h, 0xFFFF);
    EXPECT_EQ(callbacks, 4);
    EXPECT_EQ(calls("DrawIndexedPrimitive").size(), 4u);
    EXPECT_EQ(std::vector<uint32_t>({D3DCore.Counts.Triangles, D3DCore.Counts.FVFChanges, D3DCore.Counts.StreamChanges}),
              std::vector<uint32_t>({8, 1, 4}));
    // Black fog in the first pass only; the factor through the modifiers.
    std::vector<uint64_t> fog;
    for (const auto& c : calls("SetRenderState"))
        if (c[0] == D3DRS_FOGCOLOR) fog.push_back(c[1]);
    EXPECT_EQ(fog, (std::vector<uint64_t>{0xFF000000, 0xFF123456}));
    EXPECT_EQ(state().RenderStates[D3DRS_TEXTUREFACTOR], 0x80201008u);

    // Override: the override's material with the block's format; a per-triangle block ends the call.
    StateBlock* O = material("o.mtl");
    StateBlock* P = material("p.mtl", 1, SORT_POLY);
    DisplayHandle* mixed = D3DCore.CreateDisplayHandle();
    quad(mixed, multi({P}), 0, 0, 0);
    quad(mixed, m, 0, 0, 0);
    D3DCore.MaterialOverride = 1;
    D3DCore.OverrideBlock = handleOf(O);
    pt::clearD3D9Calls();
    D3DCore.DrawDisplayList(h, 0);
    EXPECT_EQ(pt::d3d9Calls("DrawIndexedPrimitive"), 2);
    D3DCore.DrawDisplayList(mixed, 0);
    EXPECT_EQ(pt::d3d9Calls("DrawIndexedPrimitive"), 2);
    D3DCore.MaterialOverride = 0;

    // Auto-transparency without a transparent variant: reported with the material, drawn as it is.
    D3DCore.AutoTransparency = 1;
    pt::clearD3D9Calls();
    D3DCore.DrawDisplayList(h, 0);
    EXPECT_EQ(countReports("Can't set auto-transparency - Multi-material required\nMaterial: a.mtl"), 1);
    EXPECT_EQ(pt::d3d9Calls("DrawIndexedPrimitive"), 4);
    D3DCore.AutoTransparency = 0;
    D3DCore.DrawDisplayList(nullptr, 0);
    D3DCore.EndScene(true);
    A->GMaterial->DrawCallback = nullptr;
}

}  // namespace
