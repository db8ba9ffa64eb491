// The model manager's lists, ids and releases; clones, instances and one-element models.
#include "ModelFixture.h"

#include "l3render/ModelChunks.h"
#include "matcore9/HWObjects.h"

using ModelManagerTest = ModelFixture;

TEST_F(ModelManagerTest, ListsIdsAndReleases)
{
    const uint32_t first = CModelManager::GetNextId();
    CModel* model = CModelManager::CreateModel();
    CModelElement *root = CModelManager::CreateElement(), *a = CModelManager::CreateElement(),
                  *b = CModelManager::CreateElement(), *grandchild = CModelManager::CreateElement();
    // Every creation takes an id, a refused one too.
    EXPECT_EQ(CModelManager::CreateModelInst(nullptr), nullptr);
    CModelElementBinding* binding = CModelManager::CreateElementBinding();
    EXPECT_EQ(grandchild->m_id, first + 4);
    EXPECT_EQ(binding->m_id, first + 6);
    root->AddChild(a);
    root->AddChild(b);  // the newest child heads the list
    a->AddChild(grandchild);
    a->m_pBinding = binding;
    binding->m_pElement = a;
    EXPECT_EQ(root->m_pFirstChild, b);
    grandchild->m_animNodeIndex = 7;
    model->SetRootLodModel(0, root, 0.0f);
    EXPECT_EQ(model->FindElementByNode(7, 0), grandchild);
    EXPECT_EQ(model->FindParent(grandchild, 0), a);
    // A recursive release takes the children, the later siblings and the binding.
    EXPECT_TRUE(CModelManager::ReleaseElement(b, true));
    EXPECT_EQ(listed(), 2u);
    root->m_pFirstChild = nullptr;
    // A model not made by the manager is refused; one released without its elements leaves them.
    CModel unlisted;
    EXPECT_FALSE(CModelManager::ReleaseModel(&unlisted, true));
    EXPECT_TRUE(CModelManager::ReleaseModel(model, false));
    EXPECT_EQ(CModelManager::GetNumElements(), 1u);
    CModelManager::Init();
    EXPECT_EQ(CModelManager::GetNextId(), 0u);
}

TEST_F(ModelManagerTest, ClonesShareChunksAndMeshesAndCopyTrees)
{
    writeRobotClass();
    mw::Model m = robot();
    m.Chunks = {{1, "shared"}};
    m.Lods.push_back({-1.0f, mw::Element("far")});
    CModel* model = load(m);
    ASSERT_NE(model, nullptr);
    model->m_visibilityType = 3;
    model->m_fadeFar = 20;
    CModelElement* hand = model->FindElementByNode(3, 0);
    hand->m_pBinding = CModelManager::CreateElementBinding();
    hand->m_pBinding->m_value = 42;
    CModel* clone = model->Clone();
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(model->m_pChunks->GetRefCount(), 2);
    EXPECT_EQ(clone->m_pChunks, model->m_pChunks);
    EXPECT_EQ(std::vector<float>({float(clone->m_classId), float(clone->m_flags), float(clone->m_visibilityType),
                                  clone->m_fadeFar, clone->m_radius, clone->GetLodThreshold(1)}),
              std::vector<float>({float(model->m_classId), float(model->m_flags), 3, 20, model->m_radius, -1}));
    EXPECT_EQ(CModelManager::GetNumElements(), 10u);
    // The same tree in new elements, sharing the meshes; the binding copied with its value.
    CModelElement* cloneHand = clone->FindElementByNode(3, 0);
    ASSERT_NE(cloneHand, hand);
    EXPECT_EQ(cloneHand->m_pMeshObject, hand->m_pMeshObject);
    EXPECT_EQ(hand->m_pMeshObject->GetRefCount(), 2);
    EXPECT_EQ(clone->FindParent(cloneHand, 0), clone->FindElementByNode(2, 0));
    EXPECT_EQ(child(clone->GetRootLodModel(0), 0)->m_animNodeIndex, 2u);  // the order kept
    EXPECT_EQ(std::make_pair(42u, cloneHand), std::make_pair(cloneHand->m_pBinding->m_value, cloneHand->m_pBinding->m_pElement));
    // The original goes; the clone keeps what it shares.
    CModelManager::ReleaseModel(model, true);
    EXPECT_EQ(clone->m_pChunks->GetRefCount(), 1);
    EXPECT_EQ(cloneHand->m_pMeshObject->GetRefCount(), 1);
    EXPECT_EQ(CModelManager::GetNumElementBindings(), 1u);
}

TEST_F(ModelManagerTest, InstancesAndOneElementModels)
{
    writeRobotClass();
    mw::Model m = robot();
    m.Lods[0].Root.Children[1].Scale[2] = 2;
    CModel* model = load(m);
    ASSERT_NE(model, nullptr);
    CModelInst* inst = CModelManager::CreateModelInst(model);
    ASSERT_NE(inst, nullptr);
    EXPECT_EQ(std::vector<int>({inst->m_visible, inst->m_alphaCap, int(inst->GetKind())}), std::vector<int>({1, 255, 4}));
    ASSERT_EQ(inst->GetNumAnimNodes(), 4u);
    // Each node starts at its LOD 0 element's local transform.
    EXPECT_FLOAT_EQ(inst->GetAnimNode(1)->Translation[0], 10.0f);
    EXPECT_FLOAT_EQ(inst->GetAnimNode(2)->Scale[2], 2.0f);
    EXPECT_EQ(inst->GetAnimNode(4), nullptr);

    // A model of one element: the element alone, not animated, bounded by its own sphere.
    CModel* hand = nullptr;
    ASSERT_TRUE(CModelUtil::CreateModelFromElement(model, &hand, "HAND"));
    CModelElement* root = hand->GetRootLodModel(0);
    EXPECT_EQ(nullptr, root->m_pFirstChild);
    EXPECT_EQ(CModelElement::NO_ANIM_NODE, root->m_animNodeIndex);
    EXPECT_EQ(model->FindElementByNode(3, 0)->m_pMeshObject, root->m_pMeshObject);
    EXPECT_EQ(std::make_pair(1.5f, model->m_classId), std::make_pair(hand->m_radius, hand->m_classId));
    CModel* none = nullptr;
    EXPECT_FALSE(CModelUtil::CreateModelFromElement(model, &none, "foot"));
    EXPECT_EQ(testsupport::countReports("Failed to find element foot in class robot"), 1);
    m.Lods[0].Root.Children.clear();
    CModel* bare = load(m);
    EXPECT_FALSE(CModelUtil::CreateModelFromElement(bare, &none, "hand"));
    EXPECT_EQ(testsupport::countReports("Could not find element hand in model " + std::to_string(bare->m_id)), 1);
    // An instance of a model without the node starts it at the identity.
    CModelInst* bareInst = CModelManager::CreateModelInst(bare);
    EXPECT_EQ(std::make_pair(1.0f, 0.0f), std::make_pair(bareInst->GetAnimNode(3)->Scale[0], bareInst->GetAnimNode(3)->Translation[1]));

}
