// Element trees placed and drawn for an instance: world transforms from animation nodes or local
// transforms under the parent's, the device's world matrix without the scale, the instance id, and
// the shader light registers, as a mesh sees them when it is drawn.
#include "FacadeFixture.h"
#include "l3render/ModelManager.h"
#include "matcore9/HWObjects.h"

#include <cstring>

namespace {

// Keeps, for each draw, the flags, the device's world matrix, the unique index and registers 5-9.
class RecordingMesh : public HWBaseObject {
public:
    struct Draw {
        uint32_t flags;
        D3DMATRIX world;
        int32_t unique;
        float registers[5][4];
    };
    bool Load(CFile&, DWORD, const char*) override { return true; }
    void SetMaterial(int32_t) override {}
    void SetAnimationStart(float) override {}
    void Render(uint32_t flags) override
    {
        Draw d{flags, platform::testing::d3d9State()->Transforms.at(D3DTS_WORLD), D3DCore.UniqueIndex, {}};
        std::memcpy(d.registers, D3DCore.VertexShaderConstants[5], sizeof d.registers);
        draws.push_back(d);
    }
    std::vector<Draw> draws;
};

class ModelPlacementTest : public FacadeFixture {
protected:
    void SetUp() override
    {
        FacadeFixture::SetUp();
        ASSERT_TRUE(startFacade());
        L3SetViewFromAngles(Vector3(0, 0, 0), 0, 0, 0);
        L3SetPerspective(1, 1e4f, 2, 2);
        L3SetVisibilityFading(false);
        m_model = CModelManager::CreateModel();
        m_model->m_radius = 50;
        m_model->m_numAnimNodes = 2;
        // A root turned a quarter about z, scaled 2, at x 10; under it an animated child and a
        // child whose node lies past the model's nodes.
        m_root = element(CModelElement::NO_ANIM_NODE, {0, 1, 0, -1, 0, 0, 0, 0, 1}, {10, 0, 0}, 2);
        m_animated = element(1, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {5, 5, 5}, 1);
        m_stray = element(5, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 1, 0}, 1);
        m_root->AddChild(m_animated);
        m_root->AddChild(m_stray);
        m_model->SetRootLodModel(0, m_root, 0);
        m_inst = CModelManager::CreateModelInst(m_model);
        m_inst->m_transform.Translation[0] = 100;
        for (float& s : m_inst->m_transform.Scale) s = 3;
        *m_inst->GetAnimNode(1) = IdentityTransform();
        m_inst->GetAnimNode(1)->Translation[0] = 1;
    }

    CModelElement* element(uint32_t node, std::array<float, 9> rotation, std::array<float, 3> at, float scale)
    {
        CModelElement* e = CModelManager::CreateElement();
        e->m_animNodeIndex = node;
        std::copy(rotation.begin(), rotation.end(), e->m_local.Rotation);
        std::copy(at.begin(), at.end(), e->m_local.Translation);
        for (float& s : e->m_local.Scale) s = scale;
        e->m_pMeshObject = new RecordingMesh();
        e->m_flags = CModelElement::VSLIT;
        return e;
    }
    static RecordingMesh& mesh(CModelElement* e) { return *static_cast<RecordingMesh*>(e->m_pMeshObject); }
    static std::vector<float> world(CModelElement* e)
    {
        const float* t = e->m_world.Translation;
        return {t[0], t[1], t[2], e->m_world.Rotation[1], e->m_world.Scale[0]};
    }

    CModel* m_model = nullptr;
    CModelElement *m_root = nullptr, *m_animated = nullptr, *m_stray = nullptr;
    CModelInst* m_inst = nullptr;
};

}  // namespace

TEST_F(ModelPlacementTest, ElementsArePlacedUnderTheirParentOrTheInstance)
{
    L3BeginScene(true);
    // Hierarchical: the children take the root's turn, scale and place; the animated child its node.
    ASSERT_EQ(m_inst->Render(), 0);
    EXPECT_EQ(world(m_root), std::vector<float>({130, 0, 0, 1, 6}));
    EXPECT_EQ(world(m_animated), std::vector<float>({130, 6, 0, 1, 6}));
    EXPECT_EQ(world(m_stray), std::vector<float>({124, 0, 0, 1, 6}));
    EXPECT_EQ(testsupport::countReports("index < pModel->GetNumAnimNodes()"), 1);
    // The device has the turn and place but not the scale; the mesh gets the instance id.
    const RecordingMesh::Draw& d = mesh(m_root).draws.at(0);
    EXPECT_EQ(std::vector<float>({d.world.m[0][1], d.world.m[1][0], d.world.m[2][2], d.world.m[3][0]}),
              std::vector<float>({1, -1, 1, 130}));
    EXPECT_EQ(d.flags, m_inst->m_id);
    EXPECT_EQ(d.unique, static_cast<int32_t>(m_inst->m_id));
    // Not hierarchical: every element under the instance alone.
    m_model->m_hierarchical = 0;
    m_inst->Render();
    EXPECT_EQ(world(m_animated), std::vector<float>({103, 0, 0, 0, 3}));
    EXPECT_EQ(world(m_stray), std::vector<float>({100, 3, 0, 0, 3}));
    L3EndScene();
}

TEST_F(ModelPlacementTest, ShaderLightsAreInTheElementsFrame)
{
    // The root stands at (130, 0, 0), turned so that world (3, 4, 0) is (4, -3, 0) in its frame.
    auto light = [&](DWORD type, std::array<float, 3> at, std::array<float, 3> direction) {
        LightDescription d{};
        d.Type = type;
        d.Colour[0] = 1, d.Colour[1] = 0.5f, d.Colour[2] = 0.25f;
        d.Ambient[0] = 0.1f, d.Ambient[1] = 0.2f, d.Ambient[2] = 0.3f;
        std::copy(at.begin(), at.end(), d.Position);
        std::copy(direction.begin(), direction.end(), d.Direction);
        d.Range = 10;
        CLight* l = lights().CreateLight();
        l->SetDesc(&d);
        return l;
    };
    CLight* far = light(D3DLIGHT_POINT, {127, -4, 0}, {});
    CLight* sun = light(D3DLIGHT_DIRECTIONAL, {}, {0, 0, -2});
    CLight* near = light(D3DLIGHT_POINT, {130.5f, 0, 0}, {});
    CLight* spot = light(D3DLIGHT_SPOT, {}, {});
    const std::vector<float> none = {1, 0, 0, 0, 0, 0, 0, 0};
    const std::vector<float> farPair = {0.8f, -0.6f, 0, 0, 0.75f, 0.375f, 0.1875f, 0};
    const std::vector<float> sunPair = {0, 0, -1, 0, 1, 0.5f, 0.25f, 0};
    const std::vector<float> nearPair = {1, 0, 0, 0, 0.99f, 0.495f, 0.2475f, 0};
    const std::vector<float> ambient = {0.1f, 0.2f, 0.3f, 0};
    auto cat = [](std::initializer_list<std::vector<float>> parts) {
        std::vector<float> out;
        for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    struct Case {
        std::vector<CLight*> list;
        bool lighting;
        std::vector<float> registers;  // 5 to 9
    };
    const float mark = 7;
    const std::vector<float> untouched(20, mark);
    const Case cases[] = {
        {{far, sun}, true, cat({ambient, farPair, sunPair})},
        {{near}, true, cat({ambient, nearPair, none})},
        {{}, true, cat({none, none, {mark, mark, mark, mark}})},
        {{spot, sun}, true, cat({ambient, none, sunPair})},
        {{far}, false, untouched},
    };
    L3BeginScene(true);
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        lights().SetLightingEnabled(c.lighting);
        for (int r = 5; r < 10; ++r) D3DCore.SetVertexShaderConstant(r, mark, mark, mark, mark);
        CLight* list[2] = {};
        std::copy(c.list.begin(), c.list.end(), list);
        m_root->Draw(m_inst, m_inst->m_transform, list, static_cast<uint32_t>(c.list.size()), false);
        const float* got = &mesh(m_root).draws.back().registers[0][0];
        for (size_t i = 0; i < 20; ++i) EXPECT_NEAR(got[i], c.registers[i], 2e-3f) << i;
    }
    // An element not lit in the shader leaves the registers alone.
    m_root->m_flags = 0;
    lights().SetLightingEnabled(true);
    D3DCore.SetVertexShaderConstant(5, mark, mark, mark, mark);
    CLight* one[] = {far};
    m_root->Draw(m_inst, m_inst->m_transform, one, 1, false);
    EXPECT_EQ(mesh(m_root).draws.back().registers[0][0], mark);
    L3EndScene();
}
