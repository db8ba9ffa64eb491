// Model clumps on the scripted card: what members, states, refreshes and colours leave in the
// combined mesh, the refusals that leave it alone, and the bounds.
#include "MeshFixture.h"
#include "ModelWriter.h"
#include "l3render/ModelClassManager.h"
#include "l3render/ModelClump.h"
#include "l3render/ModelManager.h"
#include "l3render/ModelUtil.h"

using testsupport::countReports;

namespace {

enum Child { NO_CHILD, DUMMY_CHILD, FIVE_VERTEX_CHILD };

// A model of one quad drawn as the strip, kept open; with a fifth vertex or a child if asked.
CModel* stripModel(testsupport::TempDir& dir, std::vector<uint32_t> strip, bool fifth = false, Child child = NO_CHILD)
{
    modelwriter::Element e("m");
    e.Type = modelwriter::TYPE_MESH;
    mw::Block b = mw::demoQuad("c.mtl", "t.tga");
    b.Primitives = {mw::quad(QUAD_FVF, 106, 0xFF804020)};
    b.Primitives[0].Kind = mw::KIND_STRIP;
    b.Primitives[0].IndexList = strip;
    if (fifth) b.Primitives[0].add(mw::Vertex());
    e.Mesh = mw::section({b}, 106);
    if (child == DUMMY_CHILD) e.Children.push_back(modelwriter::Element("dummy"));
    if (child == FIVE_VERTEX_CHILD) {
        e.Children.push_back(e);
        b.Primitives[0].add(mw::Vertex());
        e.Children[0].Mesh = mw::section({b}, 106);
    }
    modelwriter::Model m;
    m.Lods.push_back({0, e});
    dir.write("data/models/m.rsm", modelwriter::model(m));
    return CModelUtil::LoadModel("data\\models\\m.rsm", 0, 1, nullptr, CModelUtil::LOAD_DYNAMIC | CModelUtil::LOAD_KEEP_OPEN);
}

CModelInst* at(CModel* m, float z)
{
    CModelInst* i = CModelManager::CreateModelInst(m);
    i->m_transform.Translation[2] = z;
    return i;
}

template <class T>
std::vector<T> locked(HWDynamicSubMesh* d, bool vertices)
{
    const T* p = static_cast<const T*>(vertices ? d->LockVertices(DSM_LOCK_READ) : d->LockIndices(DSM_LOCK_READ));
    std::vector<T> out(p, p + (vertices ? d->GetNumVertices() : d->GetNumIndices()));
    vertices ? d->UnlockVertexRange(0, 0) : d->UnlockIndexRange(0, 0);
    return out;
}

}  // namespace

using ModelClumpTest = MeshFixture;

TEST_F(ModelClumpTest, MembersStatesAndRefreshesReachTheCombinedMesh)
{
    ASSERT_TRUE(bringUp());
    ASSERT_TRUE(CModelClassManager::Init());
    ASSERT_TRUE(CModelManager::Init());
    addMaterial("data\\models\\c.mtl", QUAD_FVF);
    CModel* whole = stripModel(m_dir, {0, 1, 2, 3});
    CModel* states[] = {nullptr, stripModel(m_dir, {1, 0, 3, 2}), stripModel(m_dir, {0, 1, 2, 3}, true)};
    CModelInst *a = at(whole, 0), *b = at(whole, 10);
    CModelClump clump;
    for (auto [elements, vertices, indices, ok] : {std::tuple{0u, 9u, 9u, false}, {1u, 0x10000u, 9u, false},
                                                    {1u, 0u, 5u, false}, {1u, 5u, 0u, false}, {3u, 99u, 99u, true}})
        EXPECT_EQ(clump.Init(elements, vertices, indices, 0), ok);
    EXPECT_EQ(countReports("maxIndices == 0") + countReports("maxVertices == 0"), 2);

    // Refused members leave the clump and its mesh alone: a state of another size, a LOD or state
    // count out of range, a tree with an element that is not a dynamic mesh, a tree whose second
    // mesh would not fit (refused before its first goes in).
    uint32_t index = 9;
    EXPECT_FALSE(clump.AddElementWithStates(a, 0, 3, states, &index));
    EXPECT_EQ(countReports("Each clump state RSM must have same vertex count"), 1);
    for (auto [lod, n] : {std::pair{8u, 1u}, {0u, 0u}, {0u, 7u}}) EXPECT_FALSE(clump.AddElementWithStates(a, lod, n, states, &index));
    EXPECT_FALSE(clump.AddElement(at(stripModel(m_dir, {0, 1, 2, 3}, false, DUMMY_CHILD), 0), 0, &index));
    CModelClump small;
    ASSERT_TRUE(small.Init(1, 4, 99, 0));
    EXPECT_FALSE(small.AddElement(at(stripModel(m_dir, {0, 1, 2, 3}, false, FIVE_VERTEX_CHILD), 0), 0, &index));
    EXPECT_EQ(small.GetMeshObject()->GetFirstSubMesh(), nullptr);
    EXPECT_EQ(clump.GetMeshObject()->GetFirstSubMesh(), nullptr);
    EXPECT_EQ(clump.GetNumElements() + index, 9u);

    // Two members of one strip, joined by repeated indices; the second moved by its instance.
    ASSERT_TRUE(clump.AddElementWithStates(a, 0, 2, states, &index));
    ASSERT_TRUE(clump.AddElement(b, 0, &index));
    HWDynamicSubMesh* dsm = clump.GetMeshObject()->GetFirstSubMesh();
    EXPECT_EQ(locked<WORD>(dsm, false), (std::vector<WORD>{0, 1, 2, 3, 3, 4, 4, 5, 6, 7}));
    // A state copies its strip, and the join after it follows the new last index.
    CClumpElementData *first = clump.GetElement(0), *second = clump.GetElement(index);
    EXPECT_TRUE(first->SetState(1, DSM_COPY_POSITION));
    const std::vector<WORD> burnt = {1, 0, 3, 2, 2, 4, 4, 5, 6, 7};
    EXPECT_EQ(locked<WORD>(dsm, false), burnt);
    // A state without a mesh, past the table, or naming a vertex past the piece copies nothing.
    static_cast<WORD*>(first->GetOriginalDSM(1)->LockIndices(DSM_LOCK_READWRITE))[2] = 4;
    first->GetOriginalDSM(1)->UnlockIndices();
    EXPECT_FALSE(second->SetState(1, 1));
    EXPECT_FALSE(first->SetState(6, 1));
    EXPECT_FALSE(first->SetState(1, 1));
    EXPECT_EQ(countReports("Clump state mesh index beyond its vertices"), 1);

    EXPECT_EQ(locked<WORD>(dsm, false), burnt);

    // A refresh follows the moved instance; colours scale member by member.
    b->m_transform.Translation[2] = 20;
    EXPECT_TRUE(clump.RefreshElement(1, DSM_COPY_POSITION));
    second->ScaleColour(0.5f, 1.0f, 0.0f);
    const std::vector<QuadVertex> v = locked<QuadVertex>(dsm, true);
    EXPECT_EQ(std::vector<float>({v[1].z, v[5].x, v[5].z}), std::vector<float>({0, 1, 20}));
    EXPECT_EQ(std::vector<DWORD>({v[1].colour, v[5].colour}), std::vector<DWORD>({0xFF804020u, 0xFF404000u}));

    // Full at three; the sphere takes in every member's.
    ASSERT_TRUE(clump.AddElement(at(whole, 40), 0, &index));
    EXPECT_FALSE(clump.AddElement(a, 0, &index));
    EXPECT_EQ(countReports("numElements < maxElements"), 1);
    clump.Finish();
    EXPECT_TRUE(clump.GetMeshObject()->IsCommitted());
    EXPECT_EQ(clump.GetCentre().z, whole->m_centre.z + 20);
    EXPECT_NEAR(clump.GetRadius(), 20 + whole->m_radius, 0.05f);
    CModelManager::Shutdown();
    CModelClassManager::Shutdown();
}
