// Model draws through the scene core: visibility, LOD choice, the frame's counters, lights and
// hooks, and the alternate element, on trees of dummy elements.
#include "FacadeFixture.h"
#include "l3render/Model.h"
#include "l3render/ModelManager.h"

namespace {

int hooks[2];
void pre(CModelInst*) { ++hooks[0]; }
void post(CModelInst*) { ++hooks[1]; }

class ModelRenderTest : public FacadeFixture {
protected:
    void SetUp() override
    {
        FacadeFixture::SetUp();
        ASSERT_TRUE(startFacade());
        // Looking along x from the origin, 90 degrees wide: the LOD scale is 2^28 / 20 x 10.
        L3SetViewFromAngles(Vector3(0, 0, 0), 0, 0, 0);
        L3SetPerspective(10, 1e9f, 20, 20);
        m_model = CModelManager::CreateModel();
        m_model->m_radius = 5;
        lights().SetDrawHooks(pre, post);
        L3BeginScene(true);
    }

    void TearDown() override
    {
        L3EndScene();
        lights().SetDrawHooks(nullptr, nullptr);
        FacadeFixture::TearDown();
    }

    void lods(std::initializer_list<float> thresholds)
    {
        uint32_t lod = 0;
        for (float t : thresholds) m_model->SetRootLodModel(lod++, CModelManager::CreateElement(), t);
        m_inst = CModelManager::CreateModelInst(m_model);
    }

    // The instance at depth x.
    int32_t drawAt(float x, int32_t lod = -1)
    {
        m_inst->m_transform.Translation[0] = x;
        return m_model->Render(m_inst, lod);
    }

    static std::vector<uint32_t> counters() { return {L3Scene.drawsAttempted, L3Scene.drawsDone, L3Scene.drawsSkipped}; }

    CModel* m_model = nullptr;
    CModelInst* m_inst = nullptr;
};

}  // namespace

TEST_F(ModelRenderTest, TheLodIsTheFirstWhoseThresholdTheValueReaches)
{
    const float scale = L3Scene.lodScale;
    ASSERT_FLOAT_EQ(scale, 134217728.0f);
    lods({5000, 1024, 0});
    // A threshold equal to the value is reached.
    EXPECT_EQ(std::vector<int32_t>({drawAt(scale / 6000), drawAt(scale / 2000), drawAt(scale / 1024), drawAt(scale / 10),
                                    m_inst->Render()}),
              std::vector<int32_t>({0, 1, 1, 2, 2}));
    // A LOD asked for is drawn when it exists.
    EXPECT_EQ(std::pair(drawAt(scale / 6000, 1), drawAt(scale / 6000, 5)), std::pair(1, int32_t(CModel::RENDER_NO_LOD)));
    EXPECT_EQ(testsupport::countReports("pRootLodModel[lod] != NULL"), 1);
    // With every threshold above the value nothing is drawn; without bounds the value is the LOD
    // scale itself, whatever the depth.
    m_model->m_lodThreshold[0] = m_model->m_lodThreshold[1] = m_model->m_lodThreshold[2] = 20000;
    EXPECT_EQ(drawAt(scale / 10000), CModel::RENDER_NO_LOD);
    m_model->m_flags = CModel::FLAG_NOBOUNDS;
    EXPECT_EQ(drawAt(scale / 10000), 0);
    EXPECT_EQ(counters(), std::vector<uint32_t>({9, 7, 2}));

    L3BeginScene(true);
    EXPECT_EQ(counters(), std::vector<uint32_t>({0, 0, 0}));
}

TEST_F(ModelRenderTest, VisibilityTakesTheFirstScaleOnly)
{
    lods({0});
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
    m_model->m_flags = 0, m_model->m_visibilityType = 3, m_model->m_fadeNear = 100, m_model->m_fadeFar = 200;
    L3SetVisibilityFading(true);
    EXPECT_EQ(std::pair(drawAt(150), drawAt(300)), std::pair(0, int32_t(CModel::RENDER_CULLED)));
    EXPECT_EQ(counters(), std::vector<uint32_t>({8, 4, 0}));
}

TEST_F(ModelRenderTest, LitModelsGatherLightsBetweenTheirHooks)
{
    LightDescription d{};
    d.Type = D3DLIGHT_POINT;
    d.Colour[0] = d.Range = d.Attenuation0 = 1000;
    for (float x : {100, 110, 120}) {
        d.Position[0] = x;
        CLight* light = lights().CreateLight();
        light->SetDesc(&d);
        lights().SetLightActive(light, true);
    }
    lods({0});
    // Flags, lighting on, then hooks called, lights gathered and lights on in the device.
    const int cases[][5] = {{CModel::FLAG_LIT, 1, 1, 2, 2},
                            {CModel::FLAG_VSLIT, 1, 1, 2, 0},
                            {CModel::FLAG_LIT | CModel::FLAG_VSLIT, 1, 1, 2, 0},
                            {CModel::FLAG_LIT, 0, 0, 0, 0},
                            {0, 1, 0, 0, 0}};
    for (const auto& [flags, lighting, hooked, gathered, applied] : cases) {
        SCOPED_TRACE(flags * 10 + lighting);
        lights().SetLightingEnabled(false);
        lights().SetLightingEnabled(lighting != 0);
        hooks[0] = hooks[1] = 0;
        m_model->m_flags = static_cast<uint8_t>(flags);
        EXPECT_EQ(drawAt(100), 0);
        EXPECT_EQ(std::vector<int>({hooks[0], hooks[1], int(m_inst->m_numLights)}),
                  std::vector<int>({hooked, hooked, gathered}));
        int on = 0;
        for (const auto& [index, enabled] : state().LightEnabled) on += enabled ? 1 : 0;
        EXPECT_EQ(on, applied);
    }
    // The alternate element: up to 4 lights for fixed-function lighting, result 0; culled unless the
    // placement is kept. Its draws are attempts, never done draws.
    m_model->m_flags = CModel::FLAG_LIT;
    m_model->m_pAlternateElement = m_model->GetRootLodModel(0);
    EXPECT_EQ(drawAt(100), 0);
    EXPECT_EQ(m_inst->m_numLights, 3u);
    EXPECT_EQ(drawAt(-100), CModel::RENDER_CULLED);
    EXPECT_EQ(m_inst->m_visible, 0);
    m_model->m_keepPlacement = 1;
    EXPECT_EQ(drawAt(-100), 0);
    EXPECT_EQ(counters(), std::vector<uint32_t>({8, 5, 0}));
}
