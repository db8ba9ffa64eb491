// The model manager's lists, ids and release order; clones, instances and one-element models.
#include "ModelFixture.h"

#include "l3render/ModelChunks.h"
#include "matcore9/HWObjects.h"

using ModelManagerTest = ModelFixture;

TEST_F(ModelManagerTest, ListsIdsAndReleases)
{
    const uint32_t first = CModelManager::GetNextId();
    CModel* model = CModelManager::CreateModel();
    CModelElement* root = CModelManager::CreateElement();
    CModelElement* a = CModelManager::CreateElement();
    CModelElement* b = CModelManager::CreateElement();
    CModelElement* grandchild = CModelManager::CreateElement();
    // Every creation takes an id, a refused one too.
    EXPECT_EQ(CModelManager::CreateModelInst(nullptr), nullptr);
    CModelElementBinding* binding = CModelManager::CreateElementBinding();
    EXPECT_EQ(model->m_id, first);
    EXPECT_EQ(grandchild->m_id, first + 4);
    EXPECT_EQ(binding->m_id, first + 6);
    EXPECT_EQ(CModelManager::GetNumElements(), 4u);

    root->AddChild(a);
    root->AddChild(b);  // b first: the newest child heads the list
    a->AddChild(grandchild);
    a->m_pBinding = binding;
    binding->m_pElement = a;
    EXPECT_EQ(root->m_pFirstChild, b);
    EXPECT_EQ(b->m_pNextSibling, a);
    EXPECT_EQ(root->FindParentOf(grandchild), a);
    grandchild->m_animNodeIndex = 7;
    model->SetRootLodModel(0, root, 0.0f);
    EXPECT_EQ(model->FindElementByNode(7, 0), grandchild);
    EXPECT_EQ(model->FindParent(a, 0), root);

    // A recursive release takes the children, the later siblings and the binding.
    EXPECT_TRUE(CModelManager::ReleaseElement(b, true));
    EXPECT_EQ(CModelManager::GetNumElements(), 1u);
    EXPECT_EQ(CModelManager::GetNumElementBindings(), 0u);
    EXPECT_FALSE(CModelManager::ReleaseElement(nullptr, false));
    EXPECT_FALSE(CModelManager::ReleaseElementBinding(nullptr));
    EXPECT_FALSE(CModelManager::ReleaseModelInst(nullptr));
    root->m_pFirstChild = nullptr;
    EXPECT_TRUE(CModelManager::ReleaseModel(model, false));  // the element stays listed
    EXPECT_EQ(CModelManager::GetNumElements(), 1u);
    EXPECT_TRUE(CModelManager::ReleaseElement(root, true));

    // Init starts the ids again.
    CModelManager::Init();
    EXPECT_EQ(CModelManager::GetNextId(), 0u);
}

TEST_F(ModelManagerTest, ShutdownReleasesEverythingAndTheMeshes)
{
    writeRobotClass();
    CModel* model = load(robot());
    ASSERT_NE(model, nullptr);
    HWBaseObject* mesh = model->FindElementByNode(3, 0)->m_pMeshObject;
    mesh->AddRef();
    CModelManager::CreateModelInst(model);
    CModelManager::CreateElementBinding();
    CModelManager::CreateModel()->SetRootLodModel(0, CModelManager::CreateElement(), 0.0f);
    CModelManager::Shutdown();
    EXPECT_EQ(listed() + CModelManager::GetNumModelInsts(), 0u);
    EXPECT_EQ(mesh->GetRefCount(), 1);
    mesh->Release();
}

TEST_F(ModelManagerTest, ClonesShareChunksAndCopyTrees)
{
    writeRobotClass();
    mw::Model m = robot();
    m.Chunks = {{1, "shared"}};
    m.Lods.push_back({-1.0f, mw::Element("far")});
    CModel* model = load(m);
    ASSERT_NE(model, nullptr);
    model->m_visibilityType = 3;
    model->m_fadeNear = 10;
    model->m_fadeFar = 20;
    CModelElement* hand = model->FindElementByNode(3, 0);
    hand->m_pBinding = CModelManager::CreateElementBinding();
    hand->m_pBinding->m_value = 42;
    hand->m_pBinding->m_pElement = hand;

    CModel* clone = model->Clone();
    ASSERT_NE(clone, nullptr);
    EXPECT_NE(clone->m_id, model->m_id);
    EXPECT_EQ(clone->m_pChunks, model->m_pChunks);
    EXPECT_EQ(model->m_pChunks->GetRefCount(), 2);
    EXPECT_EQ(clone->m_classId, model->m_classId);
    EXPECT_EQ(clone->m_flags, model->m_flags);
    EXPECT_EQ(clone->m_visibilityType, 3);
    EXPECT_FLOAT_EQ(clone->m_fadeFar, 20.0f);
    EXPECT_FLOAT_EQ(clone->m_radius, model->m_radius);
    EXPECT_FLOAT_EQ(clone->GetLodThreshold(1), -1.0f);
    EXPECT_EQ(CModelManager::GetNumElements(), 10u);
    // The same tree in new elements, sharing the meshes; the binding copied with its value.
    CModelElement* cloneHand = clone->FindElementByNode(3, 0);
    ASSERT_NE(cloneHand, nullptr);
    EXPECT_NE(cloneHand, hand);
    EXPECT_EQ(cloneHand->m_pMeshObject, hand->m_pMeshObject);
    EXPECT_EQ(hand->m_pMeshObject->GetRefCount(), 2);
    EXPECT_EQ(clone->FindParent(cloneHand, 0), clone->FindElementByNode(2, 0));
    EXPECT_EQ(clone->FindElementByNode(2, 0)->m_pParent, clone->FindElementByNode(0, 0));
    EXPECT_EQ(clone->FindElementByNode(0, 0)->m_pFirstChild->m_animNodeIndex, 2u);  // order kept
    ASSERT_NE(cloneHand->m_pBinding, nullptr);
    EXPECT_NE(cloneHand->m_pBinding, hand->m_pBinding);
    EXPECT_EQ(cloneHand->m_pBinding->m_value, 42u);
    EXPECT_EQ(cloneHand->m_pBinding->m_pElement, cloneHand);

    // The original goes; the clone keeps what it shares.
    CModelManager::ReleaseModel(model, true);
    EXPECT_EQ(clone->m_pChunks->GetRefCount(), 1);
    EXPECT_EQ(cloneHand->m_pMeshObject->GetRefCount(), 1);
    EXPECT_EQ(CModelManager::GetNumElementBindings(), 1u);
}

TEST_F(ModelManagerTest, InstancesStartAtTheLocalTransforms)
{
    writeRobotClass();
    mw::Model m = robot();
    m.Lods[0].Root.Children.pop_back();  // no armR and hand: their nodes start at the identity
    m.Lods[0].Root.Children[0].Scale[2] = 2;
    CModel* model = load(m);
    ASSERT_NE(model, nullptr);
    CModelInst* inst = CModelManager::CreateModelInst(model);
    ASSERT_NE(inst, nullptr);
    EXPECT_EQ(inst->GetModel(), model);
    EXPECT_EQ(inst->GetKind(), 4u);
    EXPECT_STREQ(inst->GetTypeName(), "Model");
    EXPECT_EQ(inst->m_visible, 1);
    EXPECT_EQ(inst->m_alphaCap, 255);
    ASSERT_EQ(inst->GetNumAnimNodes(), 4u);
    EXPECT_FLOAT_EQ(inst->GetAnimNode(1)->Translation[0], 10.0f);
    EXPECT_FLOAT_EQ(inst->GetAnimNode(1)->Scale[2], 2.0f);
    EXPECT_FLOAT_EQ(inst->GetAnimNode(3)->Translation[1], 0.0f);
    EXPECT_FLOAT_EQ(inst->GetAnimNode(3)->Scale[0], 1.0f);
    EXPECT_FLOAT_EQ(inst->GetAnimNode(3)->Rotation[8], 1.0f);
    EXPECT_EQ(inst->GetAnimNode(4), nullptr);
    CModelInst* other = CModelManager::CreateModelInst(model);
    inst->m_instanceData[3] = 5.0f;
    other->CopyInstanceData(inst);
    EXPECT_FLOAT_EQ(other->m_instanceData[3], 5.0f);
    EXPECT_TRUE(CModelManager::ReleaseModelInst(inst));
    EXPECT_EQ(CModelManager::GetNumModelInsts(), 1u);
}

TEST_F(ModelManagerTest, OneElementModels)
{
    writeRobotClass();
    CModel* model = load(robot());
    ASSERT_NE(model, nullptr);
    CModel* hand = nullptr;
    ASSERT_TRUE(CModelUtil::CreateModelFromElement(model, &hand, "HAND"));
    CModelElement* root = hand->GetRootLodModel(0);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->m_pFirstChild, nullptr);
    EXPECT_EQ(root->m_pParent, nullptr);
    EXPECT_EQ(root->m_animNodeIndex, CModelElement::NO_ANIM_NODE);
    EXPECT_EQ(root->m_pMeshObject, model->FindElementByNode(3, 0)->m_pMeshObject);
    EXPECT_FLOAT_EQ(hand->m_radius, 1.5f);
    EXPECT_FLOAT_EQ(hand->GetLodThreshold(0), 0.0f);
    EXPECT_EQ(hand->m_classId, model->m_classId);
    EXPECT_EQ(hand->m_flags, model->m_flags);

    CModel* none = nullptr;
    EXPECT_FALSE(CModelUtil::CreateModelFromElement(model, &none, "foot"));
    EXPECT_EQ(testsupport::countReports("Failed to find element foot in class robot"), 1);
    mw::Model armless = robot();
    armless.Lods[0].Root.Children.clear();
    CModel* bare = load(armless);
    EXPECT_FALSE(CModelUtil::CreateModelFromElement(bare, &none, "hand"));
    EXPECT_EQ(testsupport::countReports("Could not find element hand in model " + std::to_string(bare->m_id)), 1);
    EXPECT_EQ(none, nullptr);
}
