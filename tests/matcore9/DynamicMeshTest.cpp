// Dynamic meshes: sub-meshes gathered and joined, range operations, locks before and after
// commit with their uploads, normals and prelighting, drawing.
#include "MeshFixture.h"

#include <cmath>
#include <cstring>

namespace pt = platform::testing;
using testsupport::countReports;

namespace {

const DWORD LIT_FVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;

class DynamicMeshTest : public MeshFixture {
protected:
    static std::vector<WORD> indices(HWDynamicSubMesh* d)
    {
        const WORD* p = static_cast<const WORD*>(d->LockIndices(DSM_LOCK_READ));
        std::vector<WORD> out(p, p + d->GetNumIndices());
        d->UnlockIndexRange(0, 0);
        return out;
    }
    static DWORD diffuse(HWDynamicSubMesh* d, DWORD vertex)
    {
        const BYTE* p = static_cast<const BYTE*>(d->LockVertices(DSM_LOCK_READ));
        DWORD colour;
        std::memcpy(&colour, p + vertex * d->GetVertexSize() + d->GetMultiBlock()->MainFVF.DiffuseOffset, 4);
        d->UnlockVertexRange(0, 0);
        return colour;
    }
    static mw::Primitive strip(std::vector<uint32_t> list, uint32_t degenerates)
    {
        mw::Primitive p = mw::quad(LIT_FVF);
        p.Kind = mw::KIND_STRIP;
        p.Degenerates = degenerates;
        while (p.VertexData.size() / 36 < list.size()) p.add(mw::Vertex());
        p.IndexList = list;
        return p;
    }
    // A committed quad object of the lit material.
    HWDynamicMeshObject* committedQuad(DWORD colour = 0x80102030)
    {
        HWDynamicMeshObject* mesh = new HWDynamicMeshObject(65535, 65535);
        mw::Block b = mw::demoQuad("lit.mtl", "t.tga");
        b.Primitives = {mw::quad(LIT_FVF, 106, colour)};
        EXPECT_TRUE(load(mesh, mw::section({b}, 106), 106));
        EXPECT_TRUE(mesh->Commit());
        return mesh;
    }
    void SetUp() override
    {
        MeshFixture::SetUp();
        ASSERT_TRUE(bringUp());
        addMaterial("data\\models\\lit.mtl", LIT_FVF);
        addMaterial("data\\models\\list.mtl", LIT_FVF);
    }
};

TEST_F(DynamicMeshTest, LoadedPrimitivesGatherBySubMeshAndStripsJoin)
{
    HWDynamicMeshObject* mesh = new HWDynamicMeshObject(100, 20);
    std::vector<mw::Block> blocks(4, mw::demoQuad("lit.mtl", "t.tga"));
    blocks[0].Primitives = {strip({0, 1, 2, 3, 4}, 1)};
    blocks[1].Primitives = {strip({0, 1, 2, 3}, 2)};
    blocks[2].Primitives = {strip({0, 1, 2, 3}, 0)};  // 12 + 4 leaves fewer than 10 to spare
    blocks[3].Material = "list.mtl";
    blocks[3].Primitives = {mw::quad(LIT_FVF)};
    ASSERT_TRUE(load(mesh, mw::section(blocks, 106), 106));
    HWDynamicSubMesh* joined = mesh->GetFirstSubMesh();
    ASSERT_NE(joined, nullptr);
    // Odd count: the last index twice, then once more and the first new one.
    EXPECT_EQ(indices(joined), (std::vector<WORD>{0, 1, 2, 3, 4, 4, 4, 5, 5, 6, 7, 8}));
    EXPECT_EQ(joined->GetNumDegen(), 1u + 2 + 5);
    ASSERT_NE(joined->GetNext(), nullptr);
    EXPECT_EQ(joined->GetNext()->GetNumIndices(), 4u);

    ASSERT_TRUE(mesh->Commit());
    EXPECT_EQ(mesh->GetDisplayHandle()->Blocks.Objects, 2);
    EXPECT_EQ(CBufferAllocator::GetInstance()->BlocksInUse(), 0u);  // the native memory went back
    pt::setD3D9Trace(true);
    D3DCore.BeginScene(true, false);
    mesh->Render(0);
    D3DCore.EndScene(true);
    EXPECT_EQ(calls("DrawIndexedPrimitive").size(), 3u);
    mesh->Release();

    // Older files convert generic vertices and narrow their indices; 106 files must have 16-bit ones.
    mesh = new HWDynamicMeshObject(65535, 65535);
    mw::Block old = mw::demoQuad("list.mtl", "t.tga");
    old.Primitives = {mw::quad(0, 105)};
    ASSERT_TRUE(load(mesh, mw::section({old}, 105), 105));
    EXPECT_EQ(indices(mesh->GetFirstSubMesh()), (std::vector<WORD>{0, 2, 1, 2, 3, 1}));
    mesh->Release();
    mesh = new HWDynamicMeshObject(65535, 65535);
    old.Primitives = {mw::quad(LIT_FVF)};
    old.Primitives[0].IndexSize = 4;
    EXPECT_FALSE(load(mesh, mw::section({old}, 106), 106));
    EXPECT_EQ(countReports("indexSize == 2"), 1);
    mesh->Release();
}

TEST_F(DynamicMeshTest, RangeOperationsChangeOnlyWhatFits)
{
    MultiBlock lit, list;
    MeshMaterialInfo info;
    ASSERT_TRUE(loadMaterial("data\\models\\lit.mtl", TexNames(), nullptr, nullptr, &lit, &info));
    ASSERT_TRUE(loadMaterial("data\\models\\list.mtl", TexNames(), nullptr, nullptr, &list, &info));
    // Two sources: a strip of 6 vertices and indices, and one of 5 with a colour and a normal.
    HWDynamicSubMesh six, five, target;
    ASSERT_TRUE(six.Init(nullptr, 6, 6, 2, lit, D3DPT_TRIANGLESTRIP, nullptr, 0));
    ASSERT_TRUE(five.Init(nullptr, 5, 5, 2, lit, D3DPT_TRIANGLESTRIP, nullptr, 0));
    for (HWDynamicSubMesh* s : {&six, &five}) {
        BYTE* v = static_cast<BYTE*>(s->LockVertices(DSM_LOCK_WRITE));
        WORD* i = static_cast<WORD*>(s->LockIndices(DSM_LOCK_WRITE));
        const DWORD n = s->GetMaxVertices();
        mw::Vertex vertex;
        vertex.Position[0] = vertex.Normal[0] = 1;
        vertex.Diffuse = 0x80FF4003;
        for (DWORD k = 0; k < n; ++k) {
            std::memcpy(v + k * 36, mw::vertexBytes(vertex, LIT_FVF).data(), 36);
            i[k] = static_cast<WORD>(k);
        }
        EXPECT_FALSE(s->SetNumVertices(n + 1));
        EXPECT_TRUE(s->SetNumVertices(n));
        EXPECT_TRUE(s->SetNumIndices(n));
        s->UnlockVertices();
        s->UnlockIndices();
    }
    EXPECT_FALSE(six.SetNumVertices(1));  // outside a lock
    EXPECT_EQ(countReports("numVtx <= maxVertices"), 2);

    ASSERT_TRUE(target.Init(nullptr, 12, 12, 2, lit, D3DPT_TRIANGLESTRIP, nullptr, 0));
    DWORD vertexOffset = 0, indexOffset = 0;
    ASSERT_TRUE(target.Append(&six, &vertexOffset, &indexOffset));
    // 6 + 5 indices would fit, but not with the 2 that join the strips.
    EXPECT_FALSE(target.Append(&five, &vertexOffset, &indexOffset));
    HWDynamicSubMesh other;
    ASSERT_TRUE(other.Init(nullptr, 5, 5, 2, list, D3DPT_TRIANGLESTRIP, nullptr, 0));
    EXPECT_FALSE(target.Append(&other, &vertexOffset, &indexOffset));  // another material
    EXPECT_EQ(target.GetNumIndices(), 6u);

    // Copies through a placement: scaled, turned a quarter about z, moved.
    const MeshTransform turn = {{0, 1, 0, -1, 0, 0, 0, 0, 1}, {10, 0, 0}, {2, 2, 2}};
    const BYTE* before = static_cast<const BYTE*>(target.LockVertices(DSM_LOCK_READ));
    const std::string untouched(reinterpret_cast<const char*>(before), 6 * 36);
    target.UnlockVertexRange(0, 0);
    EXPECT_FALSE(target.CopyVertices(turn, &five, 0, 4, 3, DSM_COPY_POSITION));  // past the target
    EXPECT_FALSE(target.CopyVertices(turn, &five, 3, 0, 3, DSM_COPY_POSITION));  // past the source
    EXPECT_FALSE(target.TransformVertices(turn, 6, 1));
    EXPECT_FALSE(target.TransformVertices(turn, 0, 0));
    EXPECT_FALSE(target.ScaleDiffuse(1, 1, 1, 5, 2));
    ASSERT_TRUE(target.CopyVertices(turn, &five, 0, 1, 2, DSM_COPY_POSITION | DSM_COPY_NORMAL));
    ASSERT_TRUE(target.ScaleDiffuse(0.5f, 2, 1, 2, 1));
    const BYTE* after = static_cast<const BYTE*>(target.LockVertices(DSM_LOCK_READ));
    float position[3], normal[3];
    std::memcpy(position, after + 36, 12);
    std::memcpy(normal, after + 36 + 12, 12);
    EXPECT_EQ(std::vector<float>(position, position + 3), (std::vector<float>{10, 2, 0}));
    EXPECT_EQ(std::vector<float>(normal, normal + 3), (std::vector<float>{0, 1, 0}));  // turned, not scaled
    DWORD colours[2];
    std::memcpy(&colours[0], after + 2 * 36 + 24, 4);
    std::memcpy(&colours[1], after + 3 * 36 + 24, 4);
    // 255 x 0.5 rounds up, 64 x 2, alpha kept; the next vertex untouched.
    EXPECT_EQ(std::vector<DWORD>(colours, colours + 2), (std::vector<DWORD>{0x80808003u, 0x80FF4003u}));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(after) + 3 * 36, 3 * 36), untouched.substr(3 * 36));
    target.UnlockVertexRange(0, 0);
    EXPECT_EQ(testsupport::reports().size(), 3u + 7);  // the three counts above, the seven refusals
    lit.Release();
    list.Release();
}

TEST_F(DynamicMeshTest, ChangesAfterCommitReachTheCardBeforeTheDraw)
{
    HWDynamicMeshObject* mesh = committedQuad();
    HWDynamicSubMesh* d = mesh->GetFirstSubMesh();
    VertexList* VL = d->GetVertexList();
    const DWORD size = d->GetVertexSize();
    auto cardBytes = [&] { return pt::d3d9BufferBytes(VL->VertexBuffer[0]); };
    auto copyBytes = [&] { return std::vector<uint8_t>(VL->SysVertexBuffer, VL->SysVertexBuffer + 4 * size); };
    auto locksOf = [&](const void* buffer) {
        std::vector<std::vector<uint64_t>> out;
        for (const auto& c : calls("Lock"))
            if (c[0] == reinterpret_cast<uintptr_t>(buffer)) out.push_back(c);
        return out;
    };
    pt::setD3D9Trace(true);

    BYTE* v = static_cast<BYTE*>(d->LockVertices(DSM_LOCK_WRITE));
    EXPECT_EQ(v, VL->SysVertexBuffer);
    EXPECT_EQ(d->LockVertices(DSM_LOCK_READ), nullptr);
    EXPECT_EQ(countReports("!vertexLock"), 1);
    v[2 * size] = 0x11;
    d->UnlockVertexRange(2, 1);
    v = static_cast<BYTE*>(d->LockVertices(DSM_LOCK_READWRITE));
    v[0] = 0x22;
    d->UnlockVertexRange(0, 1);  // the waiting range grows to vertices 0..2
    EXPECT_NE(cardBytes(), copyBytes());
    D3DCore.BeginScene(true, false);
    mesh->Render(0);
    ASSERT_EQ(locksOf(VL->VertexBuffer[0]).size(), 1u);
    EXPECT_EQ(locksOf(VL->VertexBuffer[0])[0], (std::vector<uint64_t>{reinterpret_cast<uintptr_t>(VL->VertexBuffer[0]),
                                                                      0, 3 * size, 0}));
    EXPECT_EQ(cardBytes(), copyBytes());
    EXPECT_EQ(calls("DrawIndexedPrimitive").size(), 1u);
    mesh->Render(0);  // nothing changed: nothing sent
    EXPECT_EQ(locksOf(VL->VertexBuffer[0]).size(), 1u);

    // Indices the same way; a discarding lock writes the card's buffer itself.
    WORD* i = static_cast<WORD*>(d->LockIndices(DSM_LOCK_WRITE));
    std::swap(i[0], i[1]);
    d->UnlockIndices();
    v = static_cast<BYTE*>(d->LockVertices(DSM_LOCK_DISCARD));
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(locksOf(VL->VertexBuffer[0]).back()[3], uint64_t{D3DLOCK_DISCARD});
    std::memset(v, 0x33, 4 * size);
    d->UnlockVertices();
    mesh->Render(0);
    D3DCore.EndScene(true);
    EXPECT_EQ(locksOf(VL->VertexBuffer[0]).size(), 2u);
    EXPECT_EQ(cardBytes(), std::vector<uint8_t>(4 * size, 0x33));
    EXPECT_EQ(pt::d3d9BufferBytes(VL->IndexBuffer), (std::vector<uint8_t>{2, 0, 0, 0, 1, 0, 2, 0, 3, 0, 1, 0}));
    // The copy no longer matches the card: a later partial change says so once.
    d->LockVertices(DSM_LOCK_WRITE);
    d->UnlockVertexRange(0, 1);
    d->CommitChanges();
    d->CommitChanges();
    EXPECT_EQ(countReports("!discardContents"), 1);
    d->UnlockVertices();
    EXPECT_EQ(countReports("vertexLock"), 2);  // with the "!vertexLock" above
    mesh->Release();
}

TEST_F(DynamicMeshTest, NormalsAndPrelightingBakeALightIntoTheColours)
{
    HWDynamicMeshObject* mesh = committedQuad(0x80102030);
    HWDynamicSubMesh* d = mesh->GetFirstSubMesh();
    Matrix3 upright;  // a quarter turn about x: the object's y is the world's z
    upright.m[1][1] = upright.m[2][2] = 0;
    upright.m[1][2] = 1;
    upright.m[2][1] = -1;
    EXPECT_FALSE(mesh->Prelight(upright, Vector3(0, 1, 0), Vector3(), Vector3(1, 1, 1)));  // no normals yet
    ASSERT_TRUE(mesh->BuildNormals(false));
    EXPECT_NEAR(d->GetNormals()[3 * 3 + 2], 1, 1e-5);  // (pa - pb) x (pc - pb) of the clockwise quad

    // Light straight along the normal: 0.5 + 0.1 of red, green past 1, blue below 0 (which gives 255).
    ASSERT_TRUE(mesh->Prelight(upright, Vector3(0, 1, 0), Vector3(0.1f, 0.2f, -0.5f), Vector3(0.5f, 1.0f, 0)));
    EXPECT_EQ(diffuse(d, 0), 0x8099FFFFu);
    // From behind: the ambient alone, rounded to nearest.
    ASSERT_TRUE(mesh->Prelight(upright, Vector3(0, -1, 0), Vector3(0.1f, 0.2f, -0.5f), Vector3(0.5f, 1.0f, 0)));
    EXPECT_EQ(diffuse(d, 3), 0x801A33FFu);
    mesh->Release();
}

}  // namespace
