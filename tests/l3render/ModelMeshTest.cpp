// Models with drawable meshes on the scripted card: the mesh objects' indicators become element
// and model flags, and dynamic meshes are committed as the load flags say.
#include "MeshFixture.h"
#include "ModelWriter.h"
#include "l3render/Model.h"
#include "l3render/ModelClassManager.h"
#include "l3render/ModelManager.h"
#include "l3render/ModelUtil.h"

namespace {

class ModelMeshTest : public MeshFixture {
protected:
    void SetUp() override
    {
        MeshFixture::SetUp();
        ASSERT_TRUE(bringUp());
        ASSERT_TRUE(CModelClassManager::Init());
        CModelManager::Init();
        const DWORD fvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
        addMaterial("data\\models\\lit.mtl", fvf, SORT_NONE, {1, 1, 0});
        addMaterial("data\\models\\vs.mtl", fvf, SORT_NONE, {0, 0, 1});
    }

    void TearDown() override
    {
        CModelManager::Shutdown();
        CModelClassManager::Shutdown();
        MeshFixture::TearDown();
    }

    // A root and its child, each a quad of the material.
    CModel* load(const char* rootMaterial, const char* childMaterial, uint32_t flags, uint32_t version = 106)
    {
        modelwriter::Element root = modelwriter::quadElement("root", version, 1, rootMaterial);
        root.Children.push_back(modelwriter::quadElement("child", version, 1, childMaterial));
        modelwriter::Model m;
        m.Version = version;
        m.Lods.push_back({0, root});
        m_dir.write("data/models/m.rsm", modelwriter::model(m));
        return CModelUtil::LoadModel("data\\models\\m.rsm", 0, 1.0f, nullptr, flags);
    }
};

}  // namespace

TEST_F(ModelMeshTest, IndicatorsBecomeFlagsAndDynamicMeshesCommitAsAsked)
{
    // Lit by any element, lit in the shader by any, transparent only when every one is.
    CModel* model = load("lit.mtl", "vs.mtl", 0);
    ASSERT_NE(model, nullptr);
    CModelElement* root = model->GetRootLodModel(0);
    EXPECT_EQ(root->m_flags, CModelElement::FLAG_LIT | CModelElement::FLAG_TRANSPARENT);
    EXPECT_EQ(root->m_pFirstChild->m_flags, CModelElement::VSLIT);
    EXPECT_EQ(model->m_flags, CModel::FLAG_LIT | CModel::FLAG_VSLIT);
    model = load("lit.mtl", "lit.mtl", 0);
    EXPECT_EQ(model->m_flags, CModel::FLAG_LIT | CModel::FLAG_ALPHAFADE);

    // Dynamic meshes are committed as they are read unless kept open.
    auto committed = [](CModel* model) {
        int n = 0;
        for (CModelElement* e = model->GetRootLodModel(0); e; e = e->m_pFirstChild) {
            EXPECT_TRUE(e->m_flags & CModelElement::DYNAMIC);
            n += static_cast<HWDynamicMeshObject*>(e->m_pMeshObject)->IsCommitted() ? 1 : 0;
        }
        return n;
    };
    EXPECT_EQ(committed(load("lit.mtl", "vs.mtl", CModelUtil::LOAD_DYNAMIC)), 2);
    model = load("lit.mtl", "vs.mtl", CModelUtil::LOAD_DYNAMIC | CModelUtil::LOAD_KEEP_OPEN);
    EXPECT_EQ(committed(model), 0);
    model->GetRootLodModel(0)->CommitDynamic(true);
    EXPECT_EQ(committed(model), 2);
    EXPECT_TRUE(testsupport::reports().empty());
    // An old file is named on the loading screen.
    D3DCore.EnableLoadingScreen(true);
    ASSERT_NE(load("lit.mtl", "lit.mtl", 0, 104), nullptr);
    EXPECT_STREQ(D3DCore.Loading.History[D3DCore.Loading.HistoryNewest], "data\\models\\m.rsm is out of date. Expected 106, got 104");
    D3DCore.EnableLoadingScreen(false);
}
