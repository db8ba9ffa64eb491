// Model draws through the scene core: visibility, LOD choice, the frame's counters, lights and
// hooks, and the alternate element. Trees of dummy elements: the results and counters are what
// a draw shows here.
#include "FacadeFixture.h"
#include "l3render/Model.h"
#include "l3render/ModelManager.h"

namespace {

int preDraws = 0, postDraws = 0;
void pre(CModelInst*) { ++preDraws; }
void post(CModelInst*) { ++postDraws; }

class ModelRenderTest : public FacadeFixture {
protected:
    void SetUp() override
    {
        FacadeFixture::SetUp();
        ASSERT_TRUE(startFacade());
        // Looking along x from the origin, 90 degrees wide, the LOD scale 2^28 / 20 x 10.
        L3SetViewFromAngles(Vector3(0, 0, 0), 0, 0, 0);
        L3SetPerspective(10, 1e9f, 20, 20);
        L3SetVisibilityFading(false);
        m_model = CModelManager::CreateModel();
        m_model->m_radius = 5;
        m_inst = nullptr;
        preDraws = postDraws = 0;
        lights().SetDrawHooks(pre, post);
    }

    void TearDown() override
    {
        lights().SetDrawHooks(nullptr, nullptr);
        FacadeFixture::TearDown();
    }

    void lods(std::initializer_list<float> thresholds)
    {
        uint32_t lod = 0;
        for (float t : thresholds) {
            if (t >= 0) m_model->SetRootLodModel(lod, CModelManager::CreateElement(), t);
            ++lod;
        }
        if (!m_inst) m_inst = CModelManager::CreateModelInst(m_model);
    }

    // The instance at depth x.
    int32_t drawAt(float x, int32_t lod = -1)
    {
        m_inst->m_transform.Translation[0] = x;
        return m_model->Render(m_inst, lod);
    }

    std::vector<uint32_t> counters() const { return {L3Scene.drawsAttempted, L3Scene.drawsDone, L3Scene.drawsSkipped}; }

    CModel* m_model = nullptr;
    CModelInst* m_inst = nullptr;
};

}  // namespace

TEST_F(ModelRenderTest, TheLodIsTheFirstWhoseThresholdTheValueReaches)
{
    const float scale = L3Scene.lodScale;
    ASSERT_FLOAT_EQ(scale, 134217728.0f);
    lods({5000, 1000, 0});
    L3BeginScene(true);
    EXPECT_EQ(drawAt(scale / 6000), 0);
    EXPECT_EQ(drawAt(scale / 2000), 1);
    EXPECT_EQ(drawAt(scale / 10), 2);
    EXPECT_EQ(m_inst->Render(), 2);
    // A LOD asked for is drawn when it exists.
    EXPECT_EQ(drawAt(scale / 6000, 1), 1);
    EXPECT_EQ(drawAt(scale / 6000, 5), CModel::RENDER_NO_LOD);
    EXPECT_EQ(testsupport::countReports("pRootLodModel[lod] != NULL"), 1);
    // Without LOD 1, 2000 draws LOD 2.
    CModelManager::ReleaseElement(m_model->GetRootLodModel(1), true);
    m_model->SetRootLodModel(1, nullptr, 1000);
    EXPECT_EQ(drawAt(scale / 2000), 2);
    EXPECT_EQ(counters(), std::vector<uint32_t>({7, 6, 1}));
    // Every threshold above the value: nothing drawn, a skipped draw.
    L3EndScene();
    L3BeginScene(true);
    m_model->SetRootLodModel(0, m_model->GetRootLodModel(0), 20000);
    m_model->SetRootLodModel(2, m_model->GetRootLodModel(2), 20000);
    EXPECT_EQ(drawAt(scale / 10000), CModel::RENDER_NO_LOD);
    // Without bounds the value is the LOD scale itself, whatever the depth.
    m_model->m_flags = CModel::FLAG_NOBOUNDS;
    EXPECT_EQ(drawAt(scale / 10000), 0);
    EXPECT_EQ(counters(), std::vector<uint32_t>({2, 1, 1}));
    L3EndScene();
}

TEST_F(ModelRenderTest, VisibilityTakesTheFirstScaleOnly)
{
    lods({0});
    L3BeginScene(true);
    // The sphere reaches 7 in front of the near plane with radius 5: culled; scaled by 2 it shows.
    EXPECT_EQ(drawAt(3), CModel::RENDER_CULLED);
    m_inst->m_transform.Scale[1] = m_inst->m_transform.Scale[2] = 4;
    EXPECT_EQ(drawAt(3), CModel::RENDER_CULLED);
    m_inst->m_transform.Scale[0] = 2;
    EXPECT_EQ(drawAt(3), 0);
    // The model's centre turns and scales with the instance: 4 to the side, turned to lie ahead.
    m_model->m_centre = Vector3(0, 4, 0);
    const float turn[9] = {0, -1, 0, 1, 0, 0, 0, 0, 1};
    std::copy(turn, turn + 9, m_inst->m_transform.Rotation);
    EXPECT_EQ(drawAt(-5), 0);
    EXPECT_EQ(drawAt(-15), CModel::RENDER_CULLED);
    // Without bounds only the depth is asked for.
    m_model->m_flags = CModel::FLAG_NOBOUNDS;
    EXPECT_EQ(drawAt(-1000), 0);
    // A model that fades out by distance is culled beyond its range.
    m_model->m_flags = 0;
    m_model->m_visibilityType = 3;
    m_model->m_fadeNear = 100;
    m_model->m_fadeFar = 200;
    L3SetVisibilityFading(true);
    EXPECT_EQ(drawAt(150), 0);
    EXPECT_EQ(drawAt(300), CModel::RENDER_CULLED);
    EXPECT_EQ(counters(), std::vector<uint32_t>({8, 4, 0}));
    L3EndScene();
}

TEST_F(ModelRenderTest, LitModelsGatherLightsBetweenTheirHooks)
{
    LightDescription d{};
    d.Type = D3DLIGHT_POINT;
    d.Colour[0] = d.Colour[1] = d.Colour[2] = 1;
    d.Range = 1000;
    d.Attenuation0 = 1;
    for (int i = 0; i < 3; ++i) {
        d.Position[0] = 100.0f + 10 * i;
        CLight* light = lights().CreateLight();
        light->SetDesc(&d);
        lights().SetLightActive(light, true);
    }
    lods({0});
    L3BeginScene(true);
    struct Case {
        uint8_t flags;
        bool lighting;
        int hooks;
        uint32_t lights;
        bool applied;
    };
    const Case cases[] = {
        {CModel::FLAG_LIT, true, 1, 2, true},
        {CModel::FLAG_VSLIT, true, 1, 2, false},
        {CModel::FLAG_LIT | CModel::FLAG_VSLIT, true, 1, 2, false},
        {CModel::FLAG_LIT, false, 0, 0, false},
        {0, true, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.flags) * 10 + c.lighting);
        lights().SetLightingEnabled(false);
        lights().SetLightingEnabled(c.lighting);
        preDraws = postDraws = 0;
        m_model->m_flags = c.flags;
        EXPECT_EQ(drawAt(100), 0);
        EXPECT_EQ(preDraws, c.hooks);
        EXPECT_EQ(postDraws, c.hooks);
        EXPECT_EQ(m_inst->m_numLights, c.lights);
        int on = 0;
        for (const auto& [index, enabled] : state().LightEnabled) on += enabled ? 1 : 0;
        EXPECT_EQ(on, c.applied ? 2 : 0);
    }
    // Culled: no hooks, no lights.
    m_model->m_flags = CModel::FLAG_LIT;
    preDraws = 0;
    EXPECT_EQ(drawAt(-100), CModel::RENDER_CULLED);
    EXPECT_EQ(preDraws, 0);
    EXPECT_EQ(m_inst->m_numLights, 0u);

    // The alternate element: 4 lights for fixed-function lighting, result 0; culled unless the
    // placement is kept.
    m_model->m_pAlternateElement = m_model->GetRootLodModel(0);
    EXPECT_EQ(drawAt(100), 0);
    EXPECT_EQ(m_inst->m_numLights, 3u);
    EXPECT_EQ(drawAt(-100), CModel::RENDER_CULLED);
    EXPECT_EQ(m_inst->m_visible, 0);
    m_model->m_keepPlacement = 1;
    EXPECT_EQ(drawAt(-100), 0);
    EXPECT_EQ(L3Scene.drawsDone, 5u);  // the alternate element's draws are not counted as done
    L3EndScene();
}
