// Lighting on the scripted card: the light-effect pool, fades and the object colour; the light-map
// list and its patches as the device receives them; vehicle shadows draped over the ground; volume
// fog files and drift; the cloud-level map; a level that brings them all to the game; and light
// maps, shadows and fog puffs drawn headless.
#include "FacadeFixture.h"
#include "LightData.h"

#include "TestSupport.h"
#include "ai/AIMap.h"
#include "ai/WorldMgr.h"
#include "global/ProjData.h"
#include "kestrune/GameLogic.h"
#include "kestrune/LightEffects.h"
#include "kestrune/LightMaps.h"
#include "kestrune/Shadows.h"
#include "kestrune/VolumeFog.h"
#include "l3render/Light.h"
#include "matcore9/Forwarders.h"
#include "platform/testing.h"
#include "utility/RunLog.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <utility>

namespace pt = platform::testing;
using testsupport::countReports;

namespace {

// The render façade on the scripted card (or the OpenGL renderer headless, see m_drawing) with the
// project data, a world manager whose AI map and land tree the lights and shadows stand on, and the
// shipped light, shadow and cloud data copied into the test's data folder.
class LightingFixture : public FacadeFixture {
protected:
    void SetUp() override
    {
        FacadeFixture::SetUp();
        createProjData();
        getProjData().pWorldMgr = new CWorldMgr(&levelObjectHooks);  // the game's, which reads its level settings
        for (const char* f : {"lights/lightmaps.txt", "lights/spot.tga", "lights/point.tga", "lights/spotmap.mtl",
                              "lights/pointmap.mtl", "models/shadow/shadow.mtl", "models/shadow/plane shadow.tga",
                              "models/shadow/MechShad.tga", "models/volumefog/cloudlevel.tga",
                              "models/volumefog/puff.rsm", "models/volumefog/puff.mtl", "sphere.rsm"})
            copyData(f);
        ASSERT_TRUE(startFacade());
    }

    void TearDown() override
    {
        getProjData().pWorldMgr->unloadLevel();
        delete std::exchange(getProjData().pWorldMgr, nullptr);
        destroyProjData();
        FacadeFixture::TearDown();
    }
    // An AI map of cells x cells of 100 units from the origin, heights by cell, and a land tree over it.
    static CAIMap& ground(int32_t cells, const std::function<uint16_t(int32_t, int32_t)>& height)
    {
        CWorldMgr* pWorld = getProjData().getWorldMgr();
        pWorld->createTree(100.0f, 2);
        CAIMap& map = *pWorld->getAIMap();
        EXPECT_TRUE(map.create(cells, cells, 100, 0, 0));
        for (int32_t r = 0; r < cells; ++r)
            for (int32_t c = 0; c < cells; ++c) map.setHeight(c, r, height(c, r));
        return map;
    }
    // One frame through the façade: the camera looking straight down from above (x, y) at height z
    // (camera x and y along the world's), the view window width x height at the near distance 100.
    void frameLookingDown(float x, float y, float z, float viewWidth, const std::function<void()>& draws)
    {
        L3BeginScene(true);
        L3SetPerspective(100.0f, 100000.0f, viewWidth, viewWidth * 0.75f);
        D3DMATRIX view{};
        view.m[0][0] = view.m[1][1] = view.m[3][3] = 1;
        view.m[2][2] = -1;
        view.m[3][0] = -x, view.m[3][1] = -y, view.m[3][2] = z;
        MatSetViewMatrix(view);
        const float camera[3] = {x, y, z};
        std::copy(camera, camera + 3, D3DCore.CameraPosition);
        draws();
        L3EndScene();
        L3Present(false);
    }
};

LightProperties light(uint8_t type, float range, const std::array<float, 3>& c2 = {1.0f, 0.5f, 0.25f})
{
    LightProperties p{};
    p.effects = LIGHTEFFECT_MODEL | LIGHTEFFECT_LIGHTMAP | LIGHTEFFECT_COLOUR, p.type = type, p.range = range;
    p.position = Vector3(200, 300, 400), p.direction = Vector3(0.6f, 0, -0.8f);
    for (int i = 0; i < 3; ++i) p.colour1[i] = 0.2f * (i + 1), p.colour2[i] = c2[i];
    p.innerCone = 0.3f, p.outerCone = 0.5f, p.lightMapSize[0] = p.lightMapSize[1] = 40;
    return p;
}

class LightEffectsTest : public LightingFixture {
protected:
    void SetUp() override
    {
        LightingFixture::SetUp();
        ground(8, [](int32_t, int32_t) { return 0; });
        ASSERT_TRUE(InitLightEffects(32));
        testsupport::clearReports();
    }
    void TearDown() override
    {
        ShutdownLightEffects();
        EXPECT_EQ(lights().GetNumLights(), 0u);
        LightingFixture::TearDown();
    }
    static const LightEffect& e(uint16_t h) { return *GetLightEffect(h); }
    static LightDescription desc(uint16_t h)
    {
        LightDescription d{};
        return e(h).pD3DLight ? e(h).pD3DLight->GetDesc(&d), d : d;
    }
};

TEST_F(LightEffectsTest, ThePoolHoldsThirtyTwoLightsOffUntilSwitchedAndRefusesHandlesOfNoLight)
{
    // Nothing of a directional light can go on the ground: refused, and its record not lost.
    LightProperties mapOnly = light(LIGHT_DIRECTIONAL, 1000);
    mapOnly.effects = LIGHTEFFECT_LIGHTMAP;
    uint16_t h = 7;
    EXPECT_FALSE(CreateLightEffect(mapOnly, &h));
    EXPECT_EQ(h, INVALID_LIGHT);
    std::vector<uint16_t> handles;
    for (int i = 0; i < 32; ++i) {
        ASSERT_TRUE(CreateLightEffect(light(LIGHT_POINT, 1000), &h)) << i;
        EXPECT_EQ(std::make_pair(false, false), std::make_pair(bool(e(h).on), bool(e(h).pD3DLight->IsActive()))) << i;
        handles.push_back(h);
    }
    EXPECT_FALSE(CreateLightEffect(light(LIGHT_POINT, 1000), &h));
    EXPECT_EQ(lights().GetNumLights(), 32u);
    // Past the pool: ignored by destroy, refused (and reported) elsewhere.
    for (uint16_t bad : {uint16_t(32), uint16_t(0xFFFE), INVALID_LIGHT}) {
        EXPECT_FALSE(IsLightEffectValid(bad));
        DestroyLightEffect(bad, true);
    }
    EXPECT_EQ(testsupport::reports().size(), 1u);  // the refused directional light's
    LightProperties out{};
    EXPECT_FALSE(GetLightEffectProperties(40, &out));
    EXPECT_FALSE(SetLightEffectProperties(40, light(LIGHT_POINT, 1)));
    DestroyLightEffect(handles[5], true);
    DestroyLightEffect(handles[5], true);
    EXPECT_EQ(countReports("Tried to destroy a non-existent light"), 1);
    ASSERT_TRUE(CreateLightEffect(light(LIGHT_POINT, 1000), &h));
    EXPECT_EQ(h, handles[5]);
    EXPECT_TRUE(DestroyAllLightEffects());
    EXPECT_EQ(lights().GetNumLights(), 0u);
}

TEST_F(LightEffectsTest, LightsFadeInAndOutAndACondemnedLightFreesItselfAtTheEnd)
{
    LightProperties p = light(LIGHT_POINT, 10, {1, 0, 0});
    p.position = Vector3(5, 0, 0), p.fadeInDelay = 200, p.fadeOutDelay = 500;
    uint16_t h = INVALID_LIGHT;
    ASSERT_TRUE(CreateLightEffect(p, &h));
    EXPECT_EQ(GetLightEffectColourAtPoint(Vector3()), 0x808080u);  // off: plain grey
    SwitchLightEffect(h, true);
    UpdateLightEffects(100);
    EXPECT_EQ(desc(h).Colour[0], 0.5f);  // half way in: the properties' second colour at half strength
    UpdateLightEffects(100);
    // On: the object colour adds the red share (1 - d² / range²) to 0.5, rounded and clamped.
    EXPECT_EQ(GetLightEffectColourAtPoint(Vector3()), 0xFF8080u);
    EXPECT_EQ(GetLightEffectColourAtPoint(Vector3(5, 8, 0)), 0xDB8080u);
    // Condemned: it fades out over 500 ms, refuses a second destroy, then frees itself.
    DestroyLightEffect(h, false);
    DestroyLightEffect(h, false);
    EXPECT_EQ(testsupport::reports().size(), 1u);
    UpdateLightEffects(400);
    EXPECT_NEAR(desc(h).Colour[0], 0.2f, 1e-5f);
    UpdateLightEffects(100);
    EXPECT_FALSE(IsLightEffectValid(h));

    // A light kept out of the object colour carries the byte in its Direct3D light, and loses it there
    // when its properties change.
    p.noObjectColour = 1;
    ASSERT_TRUE(CreateLightEffect(p, &h));
    SwitchLightEffect(h, true);
    UpdateLightEffects(200);
    EXPECT_EQ(GetLightEffectColourAtPoint(Vector3()), 0x808080u);
    EXPECT_EQ(e(h).pD3DLight->GetNoObjectColour(), 1);
    p.noObjectColour = 0;
    ASSERT_TRUE(SetLightEffectProperties(h, p));
    EXPECT_EQ(e(h).pD3DLight->GetNoObjectColour(), 0);
}

struct Vertex { float x, y, z, u, v; };

struct Draw {
    uint32_t vertices, triangles;
    DWORD tint, fog;  // the texture factor and fog colour the draw had
    std::vector<Vertex> patch;
    std::vector<uint16_t> indices;
};

class LightMapsTest : public LightingFixture {
protected:
    void SetUp() override
    {
        LightingFixture::SetUp();
        testsupport::clearReports();
    }
    void TearDown() override
    {
        if (LightMaps.IsInitialised()) LightMaps.Shutdown();
        LightingFixture::TearDown();
    }
    // Every patch draw of one light-map pass over the light, as the device received it.
    static std::vector<Draw> draw(const LightMapLight& light)
    {
        pt::setD3D9Trace(true);
        pt::clearD3D9Calls();
        L3BeginScene(true);
        LightMaps.BeginLightMapping();
        LightMaps.DrawLightMapLight(light);
        LightMaps.EndLightMapping();
        L3EndScene();
        std::vector<Draw> out;
        DWORD state[2] = {0, pt::d3d9State()->RenderStates[D3DRS_FOGCOLOR]};
        const std::vector<uint8_t> vb = pt::d3d9BufferBytes(
            D3DCore.DynamicVertexBuffer9[D3DCore.CreateDynamicVertexBuffer(D3DFVF_XYZ | D3DFVF_TEX1)].VB);
        const std::vector<uint8_t> ib = pt::d3d9BufferBytes(D3DCore.DynamicIndexBuffer9.IB);
        for (const auto& c : pt::d3d9Trace()) {
            if (c.Method == "SetRenderState" && (c.Args[0] == D3DRS_TEXTUREFACTOR || c.Args[0] == D3DRS_FOGCOLOR))
                state[c.Args[0] == D3DRS_FOGCOLOR] = static_cast<DWORD>(c.Args[1]);
            if (c.Method != "DrawIndexedPrimitive") continue;
            Draw d{static_cast<uint32_t>(c.Args[3]), static_cast<uint32_t>(c.Args[5]), state[0], state[1], {}, {}};
            d.patch.resize(d.vertices);
            std::memcpy(d.patch.data(), vb.data() + c.Args[1] * sizeof(Vertex), d.vertices * sizeof(Vertex));
            d.indices.resize(d.triangles * 3);
            std::memcpy(d.indices.data(), ib.data() + c.Args[4] * 2, d.indices.size() * 2);
            out.push_back(d);
        }
        pt::setD3D9Trace(false);
        return out;
    }

    static LightMapLight light(float x, float y, float z, float range = 1000.0f, uint8_t type = LightMapLight::TYPE_POINT)
    {
        LightMapLight l;
        l.Type = type, l.Position = Vector3(x, y, z), l.Range = range, l.NearColour = 0xFFC86432u;
        l.Map = type == LightMapLight::TYPE_SPOT ? LightMapLight::DEFAULT_SPOT_MAP : LightMapLight::DEFAULT_POINT_MAP;
        l.NearSize[0] = 30, l.NearSize[1] = 40, l.FarSize[0] = l.FarSize[1] = range * 1.75f;
        return l;
    }
};

TEST_F(LightMapsTest, TheListLoadsItsMapsAndReportsWhatItCannotUse)
{
    // The shipped material, but for vertices with a colour.
    std::string other = m_dir.read("data/lights/pointmap.mtl");
    other.replace(other.find("fvf XYZ|TEX1"), 12, "fvf XYZ|DIFFUSE|TEX1");
    m_dir.write("data/lights/other.mtl", other);
    std::string many = "300\n";
    for (int i = 0; i < 257; ++i) many += "point.tga pointmap.mtl\n";
    // The text (empty: no file), the maps, the reports, which of the first maps loaded.
    struct Row { std::string text; uint32_t maps; std::vector<std::string> reports; std::vector<bool> loaded; };
    const Row rows[] = {
        {"; comment\n// another\n\n  \t\n2\nspot.tga spotmap.mtl\r\n\npoint.tga\tpointmap.mtl", 2, {}, {true, true}},
        {"", 0, {"File not found: data\\lights\\lightmaps.txt"}, {}},
        {"0\nspot.tga spotmap.mtl\n", 0, {"holds no light maps"}, {}},
        {"two\n", 0, {"holds no light maps"}, {}},
        {"1\nspot.tga spotmap.mtl\npoint.tga pointmap.mtl\n", 1, {"contains too many lightmaps"}, {true}},
        {"3\nspot.tga spotmap.mtl\n", 1, {"fewer lightmaps"}, {true}},
        // A damaged list is one report, its first fault; a material of the wrong layout is a file
        // of its own.
        {many, 256, {"declares too many"}, {true}},
        {"2\nspot.tga " + std::string(600, 'x') + " spotmap.mtl\npoint.tga pointmap.mtl\n", 2,
         {"Line too long in data\\lights\\lightmaps.txt"}, {false, true}},
        // A missing material is a file of its own too; two maps of it say so once.
        {"4\nspot.tga\nmissing.tga nothere.mtl\npoint.tga other.mtl\nmissing.tga nothere.mtl\nspot.tga spotmap.mtl\n", 4,
         {"While reading data\\lights\\lightmaps.txt\nA light map needs a texture and a material",
          "File not found: data\\lights\\nothere.mtl", "D3DFlags == (D3DFVF_XYZ"},
         {false, false, false, true}},
    };
    const DWORD blocksBefore = D3DCore.StateBlocks.SlotsUsed;
    for (const Row& row : rows) {
        testsupport::clearReports();
        forgetFileFailures();  // each as a run of its own
        std::filesystem::remove(m_dir.file("data/lights/lightmaps.txt"));
        if (!row.text.empty()) m_dir.write("data/lights/lightmaps.txt", row.text);
        EXPECT_EQ(LightMaps.Initialise(), !row.text.empty());
        EXPECT_EQ(LightMaps.NumLightMaps(), row.maps) << row.text.substr(0, 40);
        for (size_t i = 0; i < row.loaded.size(); ++i)
            EXPECT_EQ(LightMaps.Material(static_cast<uint32_t>(i)) != SB_NONE, row.loaded[i]) << row.text.substr(0, 40);
        EXPECT_EQ(testsupport::reports().size(), row.reports.size()) << row.text.substr(0, 40);
        for (const std::string& r : row.reports) EXPECT_EQ(countReports(r), 1) << r;
        for (const testsupport::Report& r : testsupport::reports())
            EXPECT_TRUE(r.message.find("data\\lights\\") != std::string::npos) << r.message;
        LightMaps.Shutdown();
        EXPECT_EQ(D3DCore.StateBlocks.SlotsUsed, blocksBefore);
    }
}

TEST_F(LightMapsTest, PatchesLieOnTheCellsUnderTheLightSizedAndTintedByItsHeight)
{
    // A slope up along x, one cell split along its other diagonal.
    CAIMap& map = ground(16, [](int32_t c, int32_t) { return static_cast<uint16_t>(10 * c); });
    map.setDiagonal(4, 4, true);
    ASSERT_TRUE(LightMaps.Initialise());
    // On the ground the near half sizes (30, 40) cover the one cell (4, 4). The additive map is
    // drawn in black fog, and the fog colour comes back after it.
    D3DCore.SetRenderState(D3DRS_FOGCOLOR, 0xFF336699u);
    std::vector<Draw> d = draw(light(450, 450, 40));
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(std::vector<DWORD>({d[0].fog, state().RenderStates[D3DRS_FOGCOLOR], d[0].tint, d[0].vertices}),
              std::vector<DWORD>({0xFF000000u, 0xFF336699u, 0xFFC86432u, 4}));
    // The corner's height + 7; u from the left edge (x - a); the cell's own split.
    const Vertex& v = d[0].patch[0];
    EXPECT_EQ(std::vector<float>({v.x, v.y, v.z, d[0].patch[3].z}), std::vector<float>({400, 400, 47, 57}));
    EXPECT_NEAR(v.u, (400.0f - 420.0f) / 60.0f, 1e-6f);
    EXPECT_EQ(d[0].indices, (std::vector<uint16_t>{0, 1, 2, 1, 3, 2}));
    // Half way up its range: half the tint, half way from the near to the far sizes (a = 890,
    // b = 895): cells 0 .. 14 in x (clamped at 0), in y likewise.
    d = draw(light(450, 450, 40 + 500));
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(std::vector<DWORD>({d[0].tint, d[0].vertices}), std::vector<DWORD>({0xFF643219u, 15 * 15}));
    EXPECT_FLOAT_EQ(d[0].patch[0].u, (0.0f - (450.0f - 890.0f)) / 1780.0f);
    // Black at its range and above, a light of no range, a patch off the map: nothing drawn.
    for (const LightMapLight& l : {light(450, 450, 1040), light(450, 450, 40, 0.0f), light(-5000, 450, 0)})
        EXPECT_TRUE(draw(l).empty());
    // Half sizes are held to 3500.
    LightMapLight huge = light(800, 800, 40);
    huge.NearSize[0] = huge.NearSize[1] = 1e6f;
    d = draw(huge);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_FLOAT_EQ(d[0].patch[0].u, (0.0f - (800.0f - 3500.0f)) / 7000.0f);
    LightMapLight spot = light(1000, 1600, 600, 1000, LightMapLight::TYPE_SPOT);
    spot.Direction = Vector3(0.0f, 0.0f, 1.0f);  // a spot whose ray misses the ground
    EXPECT_TRUE(draw(spot).empty());
    EXPECT_TRUE(testsupport::reports().empty());
    // 71 x 71 cells do not fit one lock of the shared buffer (4000 vertices): rows go in bands.
    ground(80, [](int32_t, int32_t) { return 0; });
    LightMapLight wide = light(4000, 4000, 0);
    wide.NearSize[0] = wide.NearSize[1] = 3500;
    d = draw(wide);
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].triangles + d[1].triangles, 2u * 71u * 71u);
    EXPECT_EQ(d[1].patch[0].y, 500.0f + 5400.0f);
}

struct ShadowVertex { float x, y, z, u, v; };

class ShadowsTest : public LightingFixture {
protected:
    void SetUp() override
    {
        LightingFixture::SetUp();
        ASSERT_TRUE(InitShadows());
    }
    void TearDown() override { ShutdownShadows(), LightingFixture::TearDown(); }
    // The mesh's vertices after one shadow drawn in a scene, and the number of draws it made.
    static std::vector<ShadowVertex> render(uint32_t mesh, float a, float c, int32_t n, int* pDraws = nullptr)
    {
        const int before = pt::d3d9Calls("DrawIndexedPrimitive");
        L3BeginScene(true);
        RenderVehicleShadow(mesh, 800, 800, 12345.0f, a, 0, c, n, 100);
        L3EndScene();
        if (pDraws) *pDraws = pt::d3d9Calls("DrawIndexedPrimitive") - before;
        const std::vector<uint8_t> bytes = pt::d3d9BufferBytes(GetShadowVertexList(mesh)->VertexBuffer[0]);
        std::vector<ShadowVertex> out(bytes.size() / sizeof(ShadowVertex));
        std::memcpy(out.data(), bytes.data(), out.size() * sizeof(ShadowVertex));
        return out;
    }
};

TEST_F(ShadowsTest, EachMeshIsAGridOfQuadsDrapedOverTheGroundUnderTheVehicle)
{
    ground(16, [](int32_t c, int32_t) { return static_cast<uint16_t>(10 * c); });  // rising 0.1 along x
    for (uint32_t mesh : {SHADOW_JET, SHADOW_WALKER}) {
        const VertexList* list = GetShadowVertexList(mesh);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(std::make_pair(25u, 96u), std::make_pair(uint32_t(list->Vertices), uint32_t(list->Indices)));
    }
    int draws = 0;
    std::vector<ShadowVertex> v = render(SHADOW_JET, 0, 0, 4, &draws);
    EXPECT_EQ(draws, 1);
    EXPECT_EQ(std::vector<float>({v[7].u, v[7].v}), std::vector<float>({0.5f, 0.25f}));  // column 2, row 1
    // Column 0, row 0: (-100, 100) from the vehicle, on ground 10 lower, lifted 3.5 along the normal.
    const float n = 1 / std::sqrt(1.01f);
    const float lift = 3.5f * 0.1f * n;  // towards -x
    EXPECT_NEAR((Vector3(v[0].x, v[0].y, v[0].z) - Vector3(-100 - lift, 100, -10 + 3.5f * n)).length(), 0.0f, 1e-4f);
    EXPECT_NEAR(v[24].z, 10 + 3.5f * n, 1e-4f);
    const D3DMATRIX& world = state().Transforms.at(D3DTS_WORLD);  // at the vehicle, on its ground
    EXPECT_EQ(std::vector<float>({world.m[3][0], world.m[3][1], world.m[3][2]}), std::vector<float>({800, 800, 80}));
    // A roll of 1.3 is taken as 1.1780972, which shortens the sides by its cosine.
    EXPECT_NEAR(render(SHADOW_JET, 0, 1.3f, 4)[0].y, 100 * std::cos(1.1780972f), 1e-3f);
    for (int32_t none : {0, -3}) {  // no grid, no shadow
        render(SHADOW_JET, 0, 0, none, &draws);
        EXPECT_EQ(draws, 0);
    }
    EXPECT_TRUE(testsupport::reports().empty());
    // The roll wrapped, then kept out of the bands around a quarter turn.
    const float pi = 3.14159265f, low = 1.1780972f, high = 1.9634955f;
    const std::pair<float, float> rows[] = {{1.0f, 1.0f}, {1.3f, low},           {1.7f, high},
                                            {2.5f, 2.5f}, {-1.3f - 4 * pi, -low}, {NAN, 0.0f}};
    for (const auto& [c, expected] : rows) EXPECT_NEAR(ShadowBankAngle(c), expected, 1e-5f) << c;

    // Without their material neither mesh is made, and the material is named once.
    ShutdownShadows();
    std::filesystem::remove(m_dir.file("data/models/shadow/shadow.mtl"));
    EXPECT_FALSE(InitShadows());
    ASSERT_EQ(testsupport::reports().size(), 1u);
    EXPECT_EQ(countReports("data\\models\\shadow\\shadow.mtl"), 1);
}

struct Puff { Vector3 at; uint32_t alpha; };  // the world matrix's translation, the texture factor's alpha
std::vector<Puff> puffs;

// Stands in for the model's draw: the puff's material and place reach the device.
void recordPuff(CModelInst*, const Vector3& at)
{
    D3DCore.SetWorldTransform(0, 0, at.x, at.y, at.z, 1);
    D3DCore.ApplyStateBlock(D3DCore.StateBlocks.GetSB(MatFindStateBlock("CloudPart")), 0, 0);
    const D3DMATRIX& world = pt::d3d9State()->Transforms.at(D3DTS_WORLD);
    puffs.push_back({Vector3(world.m[3][0], world.m[3][1], world.m[3][2]),
                     pt::d3d9State()->RenderStates[D3DRS_TEXTUREFACTOR] >> 24});
}

const std::string MODEL = "nummodels 1\n[model]\nname data\\models\\volumefog\\puff.rsm\n";
const std::string SAMPLE = MODEL + "vertices 2\ninstances 3\n[data]\npos 0 0 0\npos 100 0 50\n[end]\n[instances]\n"
                                   "pos 1000 1000 500\nrandom 2 0 0 400 76800 76800 600\n[end]\n[end]\n";

class VolumeFogTest : public LightingFixture {
protected:
    void SetUp() override
    {
        LightingFixture::SetUp();
        pt::setManualClock(true);
        pt::setTime(1000);
        pt::setClockStep(0);
        crtSrand(1);
        SetVolumePuffRenderer(recordPuff);
        puffs.clear();
        testsupport::clearReports();
    }
    void TearDown() override
    {
        ReleaseVolumeFog();
        SetVolumePuffRenderer(nullptr);
        pt::setClockStep(0);
        pt::setManualClock(false);
        LightingFixture::TearDown();
    }

    bool load(const std::string& text)
    {
        m_dir.write("volumes.txt", text);
        return LoadVolumeModels("volumes.txt");
    }
    // The camera at c looking along +x, the world's z up.
    static void lookAlongX(const Vector3& c)
    {
        D3DMATRIX view{};
        view.m[0][2] = view.m[1][0] = view.m[2][1] = view.m[3][3] = 1;
        view.m[3][0] = -c.y, view.m[3][1] = -c.z, view.m[3][2] = -c.x;
        MatSetViewMatrix(view);
    }
};

TEST_F(VolumeFogTest, TheFileGivesBanksOfPuffsAndNothingIsWrittenPastAnArray)
{
    // A damaged file is one report, its first fault, naming it; what is read whole stays.
    struct Row { std::string text; uint32_t vertices, instances, complete; std::string report; };
    const std::string head = MODEL + "vertices 2\ninstances 2\n", data = "[data]\npos 0 0 0\npos 1,2,3\n[end]\n";
    const std::string instances = "[instances]\npos 10 10 10\npos 20000 20 20\n[end]\n";
    const Row rows[] = {
        {head + data + instances + "[end]\n", 2, 2, true, ""},
        {head + "[data]\npos 0 0 0\npos 1 2 3\npos 4 5 6\n[end]\n" + instances + "[end]\n", 2, 2, true,
         "More pos lines than vertices"},
        {head + data + "[instances]\npos 1 1 1\nrandom 5 0 0 0 76800 76800 0\n[end]\n[end]\n", 2, 2, true,
         "More instances than declared"},
        {head + "[data]\npos 0 0 0\n[end]\n" + instances + "[end]\n", 1, 2, true, "CurrentVertex =="},
        {head + data + instances + "[end]\n[model]\nname x\n[data]\npos 1 2 3\n[end]\n[end]\n", 2, 2, true,
         "CurrentModel < Models"},
        {MODEL + "[data]\npos 1 2 3\n[end]\ninstances 1\n[instances]\npos 1 1 1\n[end]\n[end]\n", 0, 1, false, "Points"},
        {head + data + instances + "[end]\nnummodels 2\ncolour red\n", 2, 2, true, "Models == -1"},
        {MODEL + "vertices 0\nvertices 70000\nvertices two\ninstances -3\n[end]\n", 0, 0, false, "Bad count"},
        {head + "[data]\npos 1 2\npos 1 2 x\n[end]\n" + instances + "[end]\n", 0, 2, true, "Bad position"},
    };
    for (const Row& row : rows) {
        testsupport::clearReports();
        forgetFileFailures();  // each as a run of its own
        ASSERT_TRUE(load(row.text));
        const VolumeModel* m = GetVolumeModel(0);
        ASSERT_NE(m, nullptr) << row.text;
        EXPECT_EQ(std::vector<uint32_t>({m->Vertices, m->Instances, m->Complete}),
                  std::vector<uint32_t>({row.vertices, row.instances, row.complete})) << row.text;
        ASSERT_EQ(testsupport::reports().size(), row.report.empty() ? 0u : 1u) << row.text;
        if (row.report.empty()) continue;
        EXPECT_EQ(countReports(row.report), 1) << row.report;
        EXPECT_EQ(testsupport::reports()[0].message.rfind("While reading volumes.txt", 0), 0u) << row.report;
    }
    ASSERT_TRUE(load(rows[0].text));
    EXPECT_EQ(std::vector<float>({GetVolumeModel(0)->Points[1].z, GetVolumeModel(0)->Positions[1].x}),
              std::vector<float>({3, 20000}));
    // Cut at any line, a file keeps what it holds and reports a missing end.
    pt::setClockStep(1);
    for (size_t at = 0, n = 0; at != std::string::npos; at = SAMPLE.find('\n', at + 1), ++n) {
        testsupport::clearReports();
        forgetFileFailures();
        ASSERT_TRUE(load(SAMPLE.substr(0, at)));
        for (int i = 0; i < 3; ++i) UpdateVolumeFog();
        const bool whole = at + 1 == SAMPLE.size();
        const VolumeModel* cut = GetVolumeModel(0);
        EXPECT_TRUE(!cut || cut->Complete == whole) << n;
        EXPECT_EQ(testsupport::reports().size(), n < 2 || whole ? 0u : 1u) << n;
    }
    EXPECT_FALSE(LoadVolumeModels("missing.txt"));
    // The models it names are files of their own: each that cannot be loaded says so, and the file
    // that names it says no more of it.
    testsupport::clearReports();
    const std::string rest = "vertices 1\ninstances 1\n[data]\npos 0 0 0\n[end]\n[instances]\npos 1 1 1\n[end]\n[end]\n";
    ASSERT_TRUE(load("nummodels 2\n[model]\nname data\\nowhere.rsm\n" + rest + "[model]\nname data\\gone.rsm\n" + rest));
    EXPECT_EQ(std::vector<int>({countReports("RSM <data\\nowhere.rsm>"), countReports("RSM <data\\gone.rsm>"),
                                countReports("While reading"), int(testsupport::reports().size())}),
              std::vector<int>({1, 1, 0, 2}));
}

TEST_F(VolumeFogTest, BanksDriftAndWrapAndFadeByDistanceAndEdgeAsTheCameraSeesThem)
{
    ASSERT_TRUE(load(MODEL + "vertices 1\ninstances 6\n[data]\npos 0 0 0\n[end]\n[instances]\npos 40000 40000 0\n"
                             "pos 58000 40000 0\npos 62000 40000 0\npos 38000 40000 0\npos 41500 1500 0\n"
                             "pos 50 76790 0\n[end]\n[end]\n"));
    ASSERT_TRUE(LoadCloudLevel());  // the clock's start
    lookAlongX(Vector3(40000, 40000, 0));
    UpdateVolumeFog();
    // Ahead of the camera by 1158: s = -200 - trunc((1158 - 100) x -0.25) = 64, alpha 64 x 1.424581,
    // drawn 4 x (200 + 64) back. 18000 away: s at its 179, faded to 3.5 - 3 = 0.5. 22000 away: not
    // drawn; 2000 behind: s < 0.
    ASSERT_EQ(puffs.size(), 2u);
    EXPECT_EQ(std::vector<uint32_t>({puffs[0].alpha, puffs[1].alpha}), std::vector<uint32_t>({91, 127}));
    EXPECT_FLOAT_EQ(puffs[0].at.x, 40000 + 1158 - 4 * 264);
    EXPECT_FLOAT_EQ(puffs[1].at.x, 58000 + 1158 - 4 * 379);
    // A second later every bank has moved 125 towards -x and +y, across the edges where it had to;
    // the frame's second viewport moves nothing.
    pt::advanceTime(1000);
    UpdateVolumeFog(), UpdateVolumeFog();
    const VolumeModel* m = GetVolumeModel(0);
    EXPECT_EQ(std::vector<float>({m->Positions[0].x, m->Positions[0].y, m->Positions[5].x, m->Positions[5].y}),
              std::vector<float>({40000 - 125, 40000 + 125, 76800 + 50 - 125, 76790 + 125 - 76800}));
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(VolumeFogTest, TheCloudLevelIsTheImagesFirstBytesAndOnly256By256IsTaken)
{
    ASSERT_TRUE(LoadCloudLevel());
    const std::string tga = m_dir.read("data/models/volumefog/cloudlevel.tga");
    const uint8_t* map = GetCloudLevel();
    for (int y = 0; y < 256; y += 37)
        for (int x = 0; x < 256; x += 29)
            EXPECT_EQ(map[x * 256 + 255 - y], static_cast<uint8_t>(tga[18 + (y * 256 + x) * 3])) << x << " " << y;
    const std::vector<uint8_t> before(map, map + 256 * 256);
    std::string narrow = tga.substr(0, 18 + 128 * 128 * 3);
    narrow[12] = narrow[14] = static_cast<char>(128), narrow[13] = narrow[15] = 0;
    // One report each, naming the file.
    const std::pair<std::string, std::string> rows[] = {
        {narrow, "SizeX == 256"},
        {tga.substr(0, 18 + 1000), ""},  // the image reader's own report
        {"", "File not found: data\\models\\volumefog\\cloudlevel.tga"},
    };
    for (const auto& [file, report] : rows) {
        testsupport::clearReports();
        forgetFileFailures();
        std::filesystem::remove(m_dir.file("data/models/volumefog/cloudlevel.tga"));
        if (!file.empty()) m_dir.write("data/models/volumefog/cloudlevel.tga", file);
        EXPECT_FALSE(LoadCloudLevel());
        ASSERT_EQ(testsupport::reports().size(), 1u) << report;
        if (!report.empty()) {
            EXPECT_EQ(countReports(report), 1) << report;
        }
        EXPECT_EQ(countReports("cloudlevel.tga"), 1) << report;
        EXPECT_TRUE(std::equal(before.begin(), before.end(), GetCloudLevel()));
    }
}

int puffsDrawn = 0;

using GameLightingTest = LightingFixture;

TEST_F(GameLightingTest, ALevelBringsItsLightsFogAndCloudsAndTheGameStepsAndDrawsThem)
{
    copyData("models/volumefog/volumemodels.txt");
    ground(64, [](int32_t, int32_t) { return 0; });
    // The level's settings file names the volume-model file; the level load reads it.
    strcpy(getProjData().CurrentLevelPath, "data\\levels\\fog\\");
    m_dir.write("data/levels/fog/level.ini", "[TREES]\ntrunkstate = <int> 1\n[VOLUMEMODELS]\n"
                                             "VolumeData = <string> \"data\\models\\volumefog\\volumemodels.txt\"\n");
    m_dir.write("level.txt", "");
    getProjData().FrameStep = 30;
    SetVolumePuffRenderer([](CModelInst*, const Vector3&) { ++puffsDrawn; });
    testsupport::clearReports();

    CGameLogic logic(nullptr);
    ASSERT_TRUE(logic.loadLevel("level.txt"));
    EXPECT_EQ(std::make_tuple(32, 2u, 1), std::make_tuple(int(GetMaxLightEffects()), uint32_t(LightMaps.NumLightMaps()), int(GetNumVolumeModels())));
    LightProperties p{};
    p.effects = LIGHTEFFECT_LIGHTMAP, p.type = LIGHT_POINT, p.position = Vector3(3000, 3000, 100);
    p.colour2[0] = 1, p.range = 500, p.lightMapSize[0] = p.lightMapSize[1] = 200, p.fadeInDelay = 90;
    uint16_t light = INVALID_LIGHT;
    ASSERT_TRUE(CreateLightEffect(p, &light));
    SwitchLightEffect(light, true);
    logic.fixedStep();
    EXPECT_FLOAT_EQ(GetLightEffect(light)->fadeProgress, 1.0f / 3.0f);
    // The view over the first bank (38400, 38400, 900), looking down on it from 1500 above.
    const int drawsBefore = platform::testing::d3d9Calls("DrawIndexedPrimitive");
    frameLookingDown(38400, 38400, 2400, 100, [&] { logic.renderView(); });
    EXPECT_GT(platform::testing::d3d9Calls("DrawIndexedPrimitive"), drawsBefore);  // the light map
    EXPECT_GT(puffsDrawn, 0);
    // Only the effects' missing precache list is reported.
    EXPECT_EQ(testsupport::reports().size(), static_cast<size_t>(testsupport::countReports("loaded")));
    logic.unloadLevel();
    EXPECT_EQ(std::make_tuple(0, false, -1), std::make_tuple(int(GetMaxLightEffects()), bool(LightMaps.IsInitialised()), int(GetNumVolumeModels())));

    // A file the level names that is not there is said by name; a level that names none has none,
    // whatever the level before it named.
    m_dir.write("data/levels/fog/level.ini", "[VOLUMEMODELS]\nVolumeData = <string> \"data\\fog\\gone.txt\"\n");
    testsupport::clearReports();
    ASSERT_TRUE(logic.loadLevel("level.txt"));
    EXPECT_EQ(countReports("File not found: data\\fog\\gone.txt"), 1);
    EXPECT_EQ(GetNumVolumeModels(), -1);
    std::filesystem::remove(m_dir.file("data/levels/fog/level.ini"));
    ASSERT_TRUE(logic.loadLevel("level.txt"));
    EXPECT_STREQ(GetVolumeDataFile(), "");
    EXPECT_EQ(countReports("File not found"), 1);
    logic.unloadLevel();

    SetVolumePuffRenderer(nullptr);
}

// Drawn on the OpenGL renderer headless, seen from straight above: 1000 units of ground across the
// 640 pixels of the screen (0.64 pixels a unit), the screen's middle over (3200, 3200).
class LightingPixelTest : public LightingFixture {
protected:
    LightingPixelTest()
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        d3d9ref::setRendererFactory(&d3d9gl::createOffscreenDeviceRenderer);
        m_drawing = true;
    }
    void SetUp() override
    {
        LightingFixture::SetUp();
        D3DCore.SetClearColour(true, 0, 0, 0);
        ground(64, [](int32_t, int32_t) { return 0; });
        ASSERT_TRUE(LightMaps.Initialise());
    }
    void TearDown() override
    {
        LightMaps.Shutdown();
        ShutdownShadows();
        ReleaseVolumeFog();
        SetVolumePuffRenderer(nullptr);
        platform::testing::setManualClock(false);
        LightingFixture::TearDown();
    }
    // The brightest channel of the pixel over each world point (x, y) on the ground, after one
    // frame seen from 1000 above the light maps (7 over the ground).
    std::vector<int> frame(const std::vector<std::pair<float, float>>& points, const std::function<void()>& draws)
    {
        frameLookingDown(3200, 3200, 1007, 100, draws);
        const std::vector<DWORD> image = frontBuffer(640, 480);
        std::vector<int> out;
        for (const auto& [x, y] : points) {
            const int column = static_cast<int>(320 + (x - 3200) * 0.64f), row = static_cast<int>(240 - (y - 3200) * 0.64f);
            const DWORD p = image[static_cast<size_t>(row) * 640 + column];
            out.push_back(static_cast<int>(std::max({p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF})));
        }
        return out;
    }
    std::vector<int> lightMap(const LightMapLight& light, const std::vector<std::pair<float, float>>& points)
    {
        return frame(points, [&] { LightMaps.BeginLightMapping(), LightMaps.DrawLightMapLight(light), LightMaps.EndLightMapping(); });
    }
};

TEST_F(LightingPixelTest, LightMapsGlowUnderAPointLightAndWhereASpotsRayMeetsTheGround)
{
    LightMapLight light;
    light.Range = 400;
    light.NearSize[0] = light.NearSize[1] = 100;
    light.FarSize[0] = light.FarSize[1] = 700;
    light.NearColour = 0xFFFFFFFFu;
    // On the ground: a glow of half size 100, brightest in the middle (its fading with height is
    // checked on the device's vertices and tints).
    light.Position = Vector3(3200, 3200, 0);
    std::vector<int> seen = lightMap(light, {{3200, 3200}, {3260, 3200}, {3200, 3140}, {3300, 3200}, {3200, 3080}});
    EXPECT_GT(seen[0], 240);
    EXPECT_GT(std::min(seen[1], seen[2]), 60);
    EXPECT_LT(std::max(seen[3], seen[4]), 8);
    // 625 along (0.6, 0, -0.8) from (2825, 3200, 500) is (3200, 3200, 0): 0.375 of white there,
    // nothing under the light, 187.5 along the ray and 150 across it.
    light.Type = LightMapLight::TYPE_SPOT;
    light.Map = LightMapLight::DEFAULT_SPOT_MAP;
    light.Range = 1000;
    light.NearSize[0] = light.NearSize[1] = light.FarSize[0] = light.FarSize[1] = 150;
    light.Position = Vector3(2825, 3200, 500);
    light.Direction = Vector3(0.6f, 0.0f, -0.8f);
    seen = lightMap(light, {{3200, 3200}, {2825, 3200}, {3340, 3200}, {3060, 3200}, {3200, 3340}, {3200, 3060}});
    EXPECT_NEAR(seen[0], 95, 10);
    EXPECT_LT(seen[1], 4);
    EXPECT_GT(std::min(seen[2], seen[3]), 30);
    EXPECT_LT(std::max(seen[4], seen[5]), 8);
}

TEST_F(LightingPixelTest, TheShadowLiesUnderTheVehicleAndTurnsWithIt)
{
    ASSERT_TRUE(InitShadows());
    D3DCore.SetClearColour(true, 128, 128, 128);
    // The jet's delta wing spreads behind its middle: 40 behind and 60 aside is in its shadow, 40
    // ahead is not, nor the ground beyond the mesh. Turned half round, the wing is on the other side.
    const std::vector<std::pair<float, float>> points = {
        {3160, 3260}, {3160, 3140}, {3250, 3200}, {3240, 3260}, {3400, 3400}};
    for (const float heading : {0.0f, 3.14159265f}) {
        const std::vector<int> seen =
            frame(points, [&] { RenderVehicleShadow(SHADOW_JET, 3200, 3200, 0, heading, 0, 0, 4, 100); });
        EXPECT_EQ(seen[0] < 80, heading == 0) << heading;
        EXPECT_EQ(seen[3] < 80, heading != 0) << heading;
        EXPECT_TRUE(heading != 0 || std::max(seen[1], seen[2]) < 80);
        EXPECT_GT(seen[4], 120);
    }
}

// Stands in for the puff model's draw: a square of 200 at the place, in the puffs' material.
void drawPuffSquare(CModelInst*, const Vector3& at)
{
    struct V { float x, y, z; DWORD colour; };
    const V quad[4] = {{at.x - 100, at.y - 100, at.z, ~0u}, {at.x + 100, at.y - 100, at.z, ~0u},
                       {at.x - 100, at.y + 100, at.z, ~0u}, {at.x + 100, at.y + 100, at.z, ~0u}};
    D3DMATRIX identity{};
    identity.m[0][0] = identity.m[1][1] = identity.m[2][2] = identity.m[3][3] = 1;
    D3DCore.SetWorldMatrix(identity);
    D3DCore.ApplyStateBlock(D3DCore.StateBlocks.GetSB(MatFindStateBlock("CloudPart")), 0, 0);
    DXInterface.ID3DDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V));
    D3DCore.InvalidateStateCache();
}

TEST_F(LightingPixelTest, AFogBanksPuffsFadeTowardsTheWorldsEdge)
{
    platform::testing::setManualClock(true);
    SetVolumePuffRenderer(drawPuffSquare);
    m_dir.write("fog.txt", "nummodels 1\n[model]\nname data\\models\\volumefog\\puff.rsm\nvertices 1\ninstances 3\n"
                           "[data]\npos 0 0 0\n[end]\n[instances]\npos 38400 20000 0\npos 38400 3000 0\npos 38400 1500 0\n"
                           "[end]\n[end]\n");
    ASSERT_TRUE(LoadVolumeModels("fog.txt"));
    ASSERT_TRUE(LoadCloudLevel());
    // Over each bank from 2000 above: the puff is drawn 1642 below the camera, faded by the edge
    // (half way into its 6000, a quarter of the way).
    const std::pair<float, int> rows[] = {{20000.0f, 254}, {3000.0f, 127}, {1500.0f, 63}};
    for (const auto& [y, expected] : rows) {
        frameLookingDown(38400, y, 2000, 100, [] { UpdateVolumeFog(); });
        EXPECT_NEAR(static_cast<int>(frontBuffer(640, 480)[240 * 640 + 320] & 0xFF), expected, 6) << y;
    }
}

}  // namespace
