// Model instances drawn through the façade on the OpenGL renderer headless: element placement and
// shader lights as a mesh sees them, the sample robot lit where the scene core projects its elements,
// a clump of four blocks that looks the same combined as member by member, and a static mesh drawn
// as a strip that looks the same as the file's triangle list.
#include "FacadeFixture.h"
#include "SampleModels.h"
#include "l3render/ModelClump.h"
#include "l3render/ModelUtil.h"
#include "matcore9/HWObjects.h"

#include <cmath>
#include <functional>

namespace {

const DWORD CLEAR = 0x000050;

class ModelDrawTest : public FacadeFixture {
protected:
    void SetUp() override
    {
        FacadeFixture::SetUp();
        ASSERT_TRUE(startDrawing({"models/robot.rsm", "classdef/robot.def", "models/debris.rsm", "models/debris.mtl", "models/demo.mtl",
                                  "models/demo.anm", "models/demo.tga"}));
        D3DCore.SetClearColour(true, 0, 0, 0x50);
        D3DCore.FrameStatsEnabled = 0;
    }

    // One frame of the whole 4:3 target seen from the origin along x.
    std::vector<DWORD> frame(const std::function<void()>& draw)
    {
        drawFrame(wholeTarget(0.75f, 1, 1000), [&] {
            L3SetViewFromAngles(Vector3(0, 0, 0), 0, 0, 0);
            draw();
        });
        return m_image = frontBuffer(640, 480);
    }
    // The pixel where the scene core puts the element.
    DWORD at(const CModelElement* e) const
    {
        Vector3 p;
        const float* t = e->m_world.Translation;
        EXPECT_TRUE(L3WorldToScreen(Vector3(t[0], t[1], t[2]), &p));
        return m_image.at(size_t(p.y) * 640 + size_t(p.x));
    }
    static CLight* light(DWORD type, Vector3 at, Vector3 direction, Vector3 colour = Vector3(1, 0.5f, 0.25f))
    {
        LightDescription d{type,         {colour.x, colour.y, colour.z}, {0.1f, 0.2f, 0}, {at.x, at.y, at.z},
                           {direction.x, direction.y, direction.z}, 10, 0, 0, 0, 0, 0, 0};
        CLight* l = lights().CreateLight();
        l->SetDesc(&d);
        return l;
    }

    std::vector<DWORD> m_image;
};

std::vector<float> world(const CModelElement* e)
{
    return {e->m_world.Translation[0], e->m_world.Translation[1], e->m_world.Rotation[1], e->m_world.Scale[0]};
}

}  // namespace

TEST_F(ModelDrawTest, ElementsArePlacedAndLitInTheirOwnFrame)
{
    // The robot at x 100, scaled 3: its root's node turned a quarter about z, scaled 2, at x 10; the
    // left arm by its own transform, the right arm by its node moved to y 7, the hand's node past
    // the model's four.
    CModel* robot = CModelUtil::LoadModel("data\\models\\robot.rsm", 0, 1, nullptr, 0);
    ASSERT_NE(robot, nullptr);
    CModelElement *armL = robot->FindElementByNode(1, 0), *armR = robot->FindElementByNode(2, 0),
                  *hand = robot->FindElementByNode(3, 0);
    armL->m_animNodeIndex = CModelElement::NO_ANIM_NODE;
    hand->m_animNodeIndex = 4;
    CModelInst* inst = CModelManager::CreateModelInst(robot);
    inst->m_transform = {{1, 0, 0, 0, 1, 0, 0, 0, 1}, {100, 0, 0}, {3, 3, 3}};
    *inst->GetAnimNode(0) = {{0, 1, 0, -1, 0, 0, 0, 0, 1}, {10, 0, 0}, {2, 2, 2}};
    inst->GetAnimNode(2)->Translation[1] = 7;
    frame([&] { EXPECT_EQ(inst->Render(), 0); });
    EXPECT_EQ(world(robot->GetRootLodModel(0)), std::vector<float>({130, 0, 1, 6}));
    EXPECT_EQ(world(armL), std::vector<float>({130, 60, 1, 6}));
    EXPECT_EQ(world(armR), std::vector<float>({88, 0, 1, 6}));
    EXPECT_EQ(world(hand), std::vector<float>({58, 0, 1, 6}));
    EXPECT_EQ(testsupport::countReports("index < pModel->GetNumAnimNodes()"), 1);
    // The left arm drew last: the device has its turn and place but not its scale, and its id.
    const D3DMATRIX& w = platform::testing::d3d9State()->Transforms.at(D3DTS_WORLD);
    EXPECT_EQ(std::vector<float>({w.m[0][1], w.m[1][0], w.m[3][0], w.m[3][1]}), std::vector<float>({1, -1, 130, 60}));
    EXPECT_EQ(std::vector<uint32_t>({D3DCore.RenderFlags, uint32_t(D3DCore.UniqueIndex)}),
              std::vector<uint32_t>({inst->m_id & 0x1FF, inst->m_id}));
    robot->m_hierarchical = 0;
    frame([&] { inst->Render(); });
    EXPECT_EQ(world(armL), std::vector<float>({130, 0, 0, 3}));
    EXPECT_EQ(world(armR), std::vector<float>({100, 21, 0, 3}));
    EXPECT_EQ(world(hand), std::vector<float>({100, 15, 0, 3}));

    // Lights of range 10 round the left arm, placed again at (130, 60, 0), lit in the shader: in its
    // frame world (3, 4, 0) is (4, -3, 0).
    robot->m_hierarchical = 1;
    armL->m_flags |= CModelElement::VSLIT;
    CLight* far = light(D3DLIGHT_POINT, Vector3(127, 56, 0), Vector3());
    CLight* sun = light(D3DLIGHT_DIRECTIONAL, Vector3(), Vector3(0, 0, -2));
    CLight* near = light(D3DLIGHT_POINT, Vector3(130.5f, 60, 0), Vector3());
    const std::vector<float> ambient = {.1f, .2f, 0, 0}, unlit = {1, 0, 0, 0, 0, 0, 0, 0},
                             farPair = {.8f, -.6f, 0, 0, .75f, .375f, .1875f, 0}, sunPair = {0, 0, -1, 0, 1, .5f, .25f, 0},
                             nearPair = {1, 0, 0, 0, .99f, .495f, .2475f, 0};
    lights().SetLightingEnabled(true);
    for (const auto& [list, want] : std::vector<std::pair<std::vector<CLight*>, std::vector<std::vector<float>>>>{
             {{far, sun}, {ambient, farPair, sunPair}}, {{near}, {ambient, nearPair, unlit}}, {{}, {unlit, unlit}}}) {
        CLight* given[2] = {list.empty() ? nullptr : list[0], list.size() > 1 ? list[1] : nullptr};
        armL->Draw(inst, robot->GetRootLodModel(0)->m_world, given, uint32_t(list.size()), false);
        std::vector<float> all;
        for (const auto& r : want) all.insert(all.end(), r.begin(), r.end());
        for (size_t i = 0; i < all.size(); ++i)
            EXPECT_NEAR(D3DCore.VertexShaderConstants[5 + i / 4][i % 4], all[i], 2e-3f) << list.size() << ": " << i;
    }
}

TEST_F(ModelDrawTest, AStaticMeshDrawsTheTrianglesOfItsFileAsOneStrip)
{
    // The sample sphere as a triangle list (the strip the data tool made, its joins dropped), each
    // vertex in a colour of its own; a dynamic mesh draws the file's list as it stands.
    namespace mw = meshwriter;
    mw::Primitive ball = samplemodels::sphere(2, 16, 8);
    std::vector<uint32_t> list;
    for (size_t i = 0; i + 2 < ball.IndexList.size(); ++i) {
        uint32_t f[3] = {ball.IndexList[i], ball.IndexList[i + 1], ball.IndexList[i + 2]};
        if (i % 2) std::swap(f[0], f[1]);
        if (f[0] != f[1] && f[1] != f[2] && f[0] != f[2]) list.insert(list.end(), f, f + 3);
    }
    ASSERT_EQ(list.size(), 16u * 14 * 3);
    ball.Kind = mw::KIND_LIST;
    ball.IndexList = list;
    const size_t size = mw::vertexBytes(mw::Vertex(), samplemodels::COLOUR_FVF).size();
    for (uint32_t v = 0; v * size < ball.VertexData.size(); ++v) {
        const uint32_t colour = 0xFF000000u | ((v * 0x2F1D57u) & 0xFFFFFFu);
        std::memcpy(&ball.VertexData[v * size + 12], &colour, 4);
    }
    modelwriter::Model m;
    m.Lods.push_back({0.0f, samplemodels::meshElement("ball", 0, 0, 0, ball, "fallbackmaterials\\vc.mtl", {}, 2)});
    write("ball.rsm", modelwriter::model(m));
    write("listball.rsm", modelwriter::model(m));
    CModel* strip = CModelUtil::LoadModel("data\\ball.rsm", 0, 1, nullptr, 0);
    CModel* asRead = CModelUtil::LoadModel("data\\listball.rsm", 0, 1, nullptr, CModelUtil::LOAD_DYNAMIC);
    ASSERT_TRUE(strip && asRead);
    const VertexList* VL =
        static_cast<HWMeshObject*>(strip->GetRootLodModel(0)->m_pMeshObject)->GetDisplayHandle()->Blocks.First->VertexLists.First;
    EXPECT_EQ(VL->ListType, D3DPT_TRIANGLESTRIP);
    EXPECT_LT(VL->Indices, int32_t(list.size() / 2));

    std::vector<DWORD> images[2];
    for (int i = 0; i < 2; ++i) {
        CModelInst* inst = CModelManager::CreateModelInst(i ? asRead : strip);
        inst->m_transform = {{1, 0, 0, 0, 1, 0, 0, 0, 1}, {8, 0.5f, -0.3f}, {1, 1, 1}};
        images[i] = frame([&] { inst->Render(); });
    }
    int drawn = 0, differ = 0;
    for (size_t i = 0; i < images[0].size(); ++i) {
        drawn += images[1][i] != CLEAR;
        for (int shift : {0, 8, 16}) differ += std::abs(int(images[0][i] >> shift & 0xFF) - int(images[1][i] >> shift & 0xFF)) > 2;
    }
    EXPECT_GT(drawn, 10000);
    EXPECT_EQ(differ, 0);
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(ModelDrawTest, AClumpLooksTheSameCombinedAsMemberByMember)
{
    CModel* block = CModelUtil::LoadModel("data\\models\\debris.rsm", 0, 1, nullptr, CModelUtil::LOAD_DYNAMIC);
    ASSERT_NE(block, nullptr);
    // The card's light on and the light manager's off: both ways are lit alike.
    const uint32_t h = MatCore.Lights.AllocLight();
    MatCore.Lights.SetLight(h, LightDescription{D3DLIGHT_DIRECTIONAL, {1, 1, 1}, {}, {}, {1, -0.4f, -0.6f}, 1000, 0, 0, 0, 0, 0, 0});
    MatCore.Lights.LightEnable(h, true);
    CModelClump clump;
    ASSERT_TRUE(clump.Init(4, 0xffff, 0xffff, 0));
    for (int i = 0; i < 4; ++i) {
        CModelInst* inst = CModelManager::CreateModelInst(block);
        const float s = std::sin(0.6f * i), c = std::cos(0.6f * i);
        inst->m_transform = {{c, s, 0, -s, c, 0, 0, 0, 1}, {8.0f + i, 1.5f - i, i % 2 - 0.5f}, {1, 1, 1}};
        ASSERT_TRUE(clump.AddElement(inst, 0, nullptr));
    }
    clump.Finish();
    // At exactly the switch distance the members are drawn, each counted; nearer it, the mesh.
    bool visible = false;
    float depth = 0;
    const std::vector<DWORD> members = frame([&] {
        L3SphereInFrustum(clump.GetCentre(), clump.GetRadius(), false);
        depth = L3Scene.lastDepth;
        EXPECT_TRUE(clump.Render(depth, false, &visible));
        EXPECT_TRUE(visible);
    });
    EXPECT_EQ(L3Scene.drawsAttempted, 4u);
    const std::vector<DWORD> combined = frame([&] { EXPECT_FALSE(clump.Render(depth - 0.01f, false, &visible)); });
    EXPECT_EQ(L3Scene.drawsAttempted, 0u);
    int drawn = 0, differ = 0;
    for (size_t i = 0; i < members.size(); ++i) {
        drawn += members[i] != CLEAR;
        for (int shift : {0, 8, 16}) differ += std::abs(int(members[i] >> shift & 0xFF) - int(combined[i] >> shift & 0xFF)) > 3;
    }
    EXPECT_GT(drawn, 2000);
    EXPECT_LT(differ, drawn / 100);
    // Forced, the mesh whatever the distance; out of view nothing, and still false when forced.
    EXPECT_EQ(frame([&] { EXPECT_FALSE(clump.Render(1e9f, true, &visible)); }), combined);
    frame([&] {
        L3SetViewFromAngles(Vector3(100, 0, 0), 0, 0, 0);
        EXPECT_FALSE(clump.Render(1e9f, true, &visible));
        EXPECT_FALSE(visible);

        EXPECT_TRUE(clump.Render(1e9f, false, &visible));
    });
    EXPECT_EQ(L3Scene.drawsAttempted, 0u);
    MatCore.Lights.LightEnable(h, false);
    MatCore.Lights.FreeLight(h);
}
