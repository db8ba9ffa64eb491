// Model clumps on the scripted card: what members, state changes, refreshes and colour scaling leave
// in the combined mesh's indices and vertices, the refusals that leave it alone, and the bounds.
#include "MeshFixture.h"
#include "ModelWriter.h"
#include "l3render/ModelClassManager.h"
#include "l3render/ModelClump.h"
#include "l3render/ModelManager.h"
#include "l3render/ModelUtil.h"

using testsupport::countReports;

namespace {

class ModelClumpTest : public MeshFixture {
protected:
    void SetUp() override
    {
        MeshFixture::SetUp();
        ASSERT_TRUE(bringUp());
        ASSERT_TRUE(CModelClassManager::Init());
        CModelManager::Init();
        addMaterial("data\\models\\c.mtl", QUAD_FVF);
    }
    void TearDown() override
    {
        CModelManager::Shutdown();
        CModelClassManager::Shutdown();
        MeshFixture::TearDown();
    }

    // A one-element model of a strip over vertices (i, 0, 0), kept open; with a dummy child if asked.
    CModel* model(std::vector<uint32_t> strip, uint32_t vertices, bool dummyChild = false)
    {
        modelwriter::Element e("m");
        e.Type = modelwriter::TYPE_MESH;
        mw::Primitive p;
        p.Kind = mw::KIND_STRIP;
        p.FVF = QUAD_FVF;
        for (uint32_t i = 0; i < vertices; ++i) {
            mw::Vertex v;
            v.Position[0] = static_cast<float>(i);
            v.Diffuse = 0xFF804020;
            p.add(v);
        }
        p.IndexList = strip;
        mw::Block b;
        b.Material = "c.mtl";
        b.Primitives = {p};
        e.Mesh = mw::section({b}, 106);
        if (dummyChild) e.Children.push_back(modelwriter::Element("dummy"));
        modelwriter::Model m;
        m.Lods.push_back({0, e});
        m_dir.write("data/models/m.rsm", modelwriter::model(m));
        return CModelUtil::LoadModel("data\\models\\m.rsm", 0, 1.0f, nullptr,
                                     CModelUtil::LOAD_DYNAMIC | CModelUtil::LOAD_KEEP_OPEN);
    }
    static CModelInst* inst(CModel* m, float z)
    {
        CModelInst* i = CModelManager::CreateModelInst(m);
        i->m_transform.Translation[2] = z;
        return i;
    }
    static std::vector<WORD> indices(HWDynamicSubMesh* d)
    {
        const WORD* p = static_cast<const WORD*>(d->LockIndices(DSM_LOCK_READ));
        std::vector<WORD> out(p, p + d->GetNumIndices());
        d->UnlockIndexRange(0, 0);
        return out;
    }
    static QuadVertex vertex(HWDynamicSubMesh* d, DWORD i)
    {
        QuadVertex v;
        std::memcpy(&v, static_cast<const BYTE*>(d->LockVertices(DSM_LOCK_READ)) + i * sizeof v, sizeof v);
        d->UnlockVertexRange(0, 0);
        return v;
    }
};

}  // namespace

TEST_F(ModelClumpTest, MembersStatesAndRefreshesReachTheCombinedMesh)
{
    CModel* whole = model({0, 1, 2, 3}, 4);
    CModel* burnt = model({1, 0, 3, 2}, 4);
    CModel* bigger = model({0, 1, 2, 3}, 5);
    CModel* withDummy = model({0, 1, 2, 3}, 4, true);
    ASSERT_TRUE(whole && burnt && bigger && withDummy);
    CModelInst* a = inst(whole, 0);
    CModelInst* b = inst(whole, 10);

    CModelClump clump;
    struct Init {
        uint32_t elements, vertices, indices;
        bool ok;
    };
    for (const Init& i : {Init{0, 10, 10, false}, {1, 0x10000, 10, false}, {1, 0, 5, false}, {1, 5, 0, false},
                          {3, 100, 100, true}, {3, 100, 100, false}})
        EXPECT_EQ(clump.Init(i.elements, i.vertices, i.indices, 0), i.ok);
    EXPECT_EQ(countReports("maxIndices == 0") + countReports("maxVertices == 0"), 2);

    // Refused members leave the clump and its mesh as they were.
    uint32_t index = 99;
    CModel* states[] = {nullptr, burnt, bigger};
    EXPECT_FALSE(clump.AddElementWithStates(a, 0, 3, states, &index));
    EXPECT_EQ(countReports("Each clump state RSM must have same vertex count"), 1);
    EXPECT_FALSE(clump.AddElementWithStates(a, 8, 1, states, &index));
    EXPECT_FALSE(clump.AddElementWithStates(a, 0, 0, states, &index));
    EXPECT_FALSE(clump.AddElementWithStates(a, 0, 7, states, &index));
    EXPECT_FALSE(clump.AddElement(inst(withDummy, 0), 0, &index));
    EXPECT_EQ(clump.GetNumElements(), 0u);
    EXPECT_EQ(clump.GetMeshObject()->GetFirstSubMesh(), nullptr);
    EXPECT_EQ(index, 99u);

    // Two members of one strip: the second moved by its instance, joined by repeated indices.
    ASSERT_TRUE(clump.AddElementWithStates(a, 0, 2, states, &index));
    EXPECT_EQ(index, 0u);
    ASSERT_TRUE(clump.AddElement(b, 0, &index));
    EXPECT_EQ(index, 1u);
    HWDynamicSubMesh* dsm = clump.GetMeshObject()->GetFirstSubMesh();
    EXPECT_EQ(indices(dsm), (std::vector<WORD>{0, 1, 2, 3, 3, 4, 4, 5, 6, 7}));
    EXPECT_EQ(vertex(dsm, 5).x, 1.0f);
    EXPECT_EQ(vertex(dsm, 5).z, 10.0f);

    // A state change copies the state's strip; the join after it repeats its new last index.
    CClumpElementData* first = clump.GetElement(0);
    CClumpElementData* second = clump.GetElement(1);
    EXPECT_TRUE(first->SetState(1, DSM_COPY_POSITION | DSM_COPY_DIFFUSE));
    EXPECT_EQ(indices(dsm), (std::vector<WORD>{1, 0, 3, 2, 2, 4, 4, 5, 6, 7}));
    EXPECT_EQ(first->m_currentState, 1);
    // States it lacks, past the table, or whose mesh names a vertex outside the piece copy nothing.
    EXPECT_FALSE(second->SetState(1, DSM_COPY_POSITION));
    EXPECT_FALSE(first->SetState(6, DSM_COPY_POSITION));
    WORD* source = static_cast<WORD*>(first->GetOriginalDSM(1)->LockIndices(DSM_LOCK_READWRITE));
    source[2] = 4;
    first->GetOriginalDSM(1)->UnlockIndices();
    EXPECT_FALSE(first->SetState(1, DSM_COPY_POSITION));
    EXPECT_EQ(indices(dsm), (std::vector<WORD>{1, 0, 3, 2, 2, 4, 4, 5, 6, 7}));
    EXPECT_EQ(first->m_currentState, 1);
    EXPECT_EQ(countReports("pData->GetOriginalDSM(state) != NULL") + countReports("state < MAX_STATES") +
                  countReports("Clump state mesh index beyond its vertices"),
              3);

    // A refresh follows the moved instance without touching the indices; colours scale per member.
    b->m_transform.Translation[2] = 20;
    EXPECT_TRUE(clump.RefreshElement(1, DSM_COPY_POSITION));
    EXPECT_EQ(vertex(dsm, 5).z, 20.0f);
    second->ScaleColour(0.5f, 1.0f, 0.0f);
    EXPECT_EQ(vertex(dsm, 5).colour, 0xFF404000u);
    EXPECT_EQ(vertex(dsm, 1).colour, 0xFF804020u);

    // Full: the fourth member is refused. The sphere takes in every member's.
    ASSERT_TRUE(clump.AddElement(inst(whole, 40), 0, &index));
    EXPECT_FALSE(clump.AddElement(a, 0, &index));
    EXPECT_EQ(countReports("numElements < maxElements"), 1);
    clump.Finish();
    EXPECT_TRUE(clump.GetMeshObject()->IsCommitted());
    EXPECT_EQ(std::vector<float>({clump.m_centre.x, clump.m_centre.z}),
              std::vector<float>({whole->m_centre.x, whole->m_centre.z + 20}));
    EXPECT_FLOAT_EQ(clump.m_radius, 20 + whole->m_radius);
}
