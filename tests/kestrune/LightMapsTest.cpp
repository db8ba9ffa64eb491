// Light maps on the scripted card: the list file and what it refuses, and the patches as the
// device receives them (cells, vertices, diagonals, tints, the fog around additive draws).
#include "LightingFixture.h"

#include "TestSupport.h"
#include "kestrune/LightMaps.h"

namespace pt = platform::testing;
using testsupport::countReports;

namespace {

struct Vertex {
    float x, y, z, u, v;
};

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
        ASSERT_TRUE(startFacade());
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
        l.Type = type;
        l.Map = type == LightMapLight::TYPE_SPOT ? LightMapLight::DEFAULT_SPOT_MAP : LightMapLight::DEFAULT_POINT_MAP;
        l.Position = Vector3(x, y, z);
        l.Range = range;
        l.NearSize[0] = 30;
        l.NearSize[1] = 40;
        l.FarSize[0] = l.FarSize[1] = range * 1.75f;
        l.NearColour = 0xFFC86432u;
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
    struct Row {
        std::string text;  // empty: no file
        uint32_t maps;
        std::vector<std::string> reports;
        std::vector<bool> loaded;  // of the first maps
    };
    const Row rows[] = {
        {"; comment\n// another\n\n  \t\n2\nspot.tga spotmap.mtl\r\n\npoint.tga\tpointmap.mtl", 2, {}, {true, true}},
        {"", 0, {"File not found: data\\lights\\lightmaps.txt"}, {}},
        {"0\nspot.tga spotmap.mtl\n", 0, {"holds no light maps"}, {}},
        {"two\n", 0, {"holds no light maps"}, {}},
        {"1\nspot.tga spotmap.mtl\npoint.tga pointmap.mtl\n", 1, {"contains too many lightmaps"}, {true}},
        {"3\nspot.tga spotmap.mtl\n", 1, {"fewer lightmaps"}, {true}},
        {many, 256, {"declares too many", "contains too many lightmaps"}, {true}},
        {"2\nspot.tga " + std::string(600, 'x') + " spotmap.mtl\npoint.tga pointmap.mtl\n", 2,
         {"Light map name too long", "Line too long in lightmaps.txt"}, {false, true}},
        {"3\nspot.tga\nmissing.tga nothere.mtl\npoint.tga other.mtl\nspot.tga spotmap.mtl\n", 3,
         {"needs a texture and a material", "File not found: data\\lights\\nothere.mtl", "D3DFlags == (D3DFVF_XYZ"},
         {false, false, true}},
    };
    const DWORD blocksBefore = D3DCore.StateBlocks.SlotsUsed;
    for (const Row& row : rows) {
        testsupport::clearReports();
        std::filesystem::remove(m_dir.file("data/lights/lightmaps.txt"));
        if (!row.text.empty()) m_dir.write("data/lights/lightmaps.txt", row.text);
        EXPECT_EQ(LightMaps.Initialise(), !row.text.empty());
        EXPECT_EQ(LightMaps.NumLightMaps(), row.maps) << row.text.substr(0, 40);
        for (size_t i = 0; i < row.loaded.size(); ++i)
            EXPECT_EQ(LightMaps.Material(static_cast<uint32_t>(i)) != SB_NONE, row.loaded[i]) << row.text.substr(0, 40);
        EXPECT_EQ(testsupport::reports().size(), row.reports.size()) << row.text.substr(0, 40);
        for (const std::string& r : row.reports) EXPECT_EQ(countReports(r), 1) << r;
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
    // The corner's height + 7; u from the left edge (x - a), v from the far edge (y + b).
    const Vertex& v = d[0].patch[0];
    EXPECT_EQ(std::vector<float>({v.x, v.y, v.z, d[0].patch[3].z}), std::vector<float>({400, 400, 47, 57}));
    EXPECT_FLOAT_EQ(v.u, (400.0f - 420.0f) / 60.0f);
    EXPECT_FLOAT_EQ(v.v, (490.0f - 400.0f) / 80.0f);
    EXPECT_EQ(d[0].indices, (std::vector<uint16_t>{0, 1, 2, 1, 3, 2}));  // the cell's own split

    // Half way up its range: half the tint, half way from the near to the far sizes (a = 890,
    // b = 895): cells 0 .. 14 in x (clamped at 0), in y likewise; the usual split.
    d = draw(light(450, 450, 40 + 500));
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(std::vector<DWORD>({d[0].tint, d[0].vertices}), std::vector<DWORD>({0xFF643219u, 15 * 15}));
    EXPECT_FLOAT_EQ(d[0].patch[0].u, (0.0f - (450.0f - 890.0f)) / 1780.0f);
    EXPECT_EQ(std::vector<uint16_t>(d[0].indices.begin(), d[0].indices.begin() + 6),
              (std::vector<uint16_t>{0, 1, 16, 0, 16, 15}));
    // Black at its range and above, a light of no range, a patch off the map: nothing drawn.
    for (const LightMapLight& l : {light(450, 450, 1040), light(450, 450, 40, 0.0f), light(-5000, 450, 0)})
        EXPECT_TRUE(draw(l).empty());
    // Half sizes are held to 3500.
    LightMapLight huge = light(800, 800, 40);
    huge.NearSize[0] = huge.NearSize[1] = 1e6f;
    d = draw(huge);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_FLOAT_EQ(d[0].patch[0].u, (0.0f - (800.0f - 3500.0f)) / 7000.0f);
    EXPECT_TRUE(testsupport::reports().empty());

    // A spot light down at 4 in 5 along +x meets the ground (height 100) 625 away at (1375, 1600):
    // 0.625 of the way to black, sizes a = b = 1131.25 and a stretched by 1 / 0.8 along the ray.
    ground(32, [](int32_t, int32_t) { return 100; });
    LightMapLight spot = light(1000, 1600, 600, 1000, LightMapLight::TYPE_SPOT);
    spot.NearSize[0] = spot.NearSize[1] = 100;
    spot.Direction = Vector3(0.6f, 0.0f, -0.8f);
    const float A = 1131.25f * 1.25f, B = 1131.25f;
    d = draw(spot);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(std::vector<DWORD>({d[0].tint, d[0].vertices}), std::vector<DWORD>({0xFF4B2512u, 29 * 25}));
    EXPECT_NEAR(d[0].patch[0].u, (0 - 1375 + A) / (2 * A), 1e-5f);
    EXPECT_NEAR(d[0].patch[0].v, (B + 1200) / (2 * B), 1e-5f);
    // Along +y the patch's own axes turn with it: u runs along y, v against x.
    spot.Direction = Vector3(0.0f, 0.6f, -0.8f);
    d = draw(spot);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_NEAR(d[0].patch[0].u, (d[0].patch[0].y - 1975 + A) / (2 * A), 1e-5f);
    EXPECT_NEAR(d[0].patch[0].v, (B + (d[0].patch[0].x - 1000)) / (2 * B), 1e-5f);
    spot.Direction = Vector3(0.0f, 0.0f, 1.0f);  // misses the ground
    EXPECT_TRUE(draw(spot).empty());

    // 71 x 71 cells do not fit one lock of the shared buffer (4000 vertices): rows go in bands.
    ground(80, [](int32_t, int32_t) { return 0; });
    LightMapLight wide = light(4000, 4000, 0);
    wide.NearSize[0] = wide.NearSize[1] = 3500;
    d = draw(wide);
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].triangles + d[1].triangles, 2u * 71u * 71u);
    EXPECT_EQ(d[1].patch[0].y, 500.0f + 5400.0f);
}

}  // namespace
