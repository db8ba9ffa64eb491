// Light maps on the scripted card: the list file and what it refuses, and the patches as the
// device receives them (cells, vertices, diagonals, tints, the fog around additive draws).
#include "LightingFixture.h"

#include "TestSupport.h"
#include "kestrune/LightMaps.h"

#include <cmath>

namespace pt = platform::testing;
using testsupport::countReports;

namespace {

struct Vertex {
    float x, y, z, u, v;
};

struct Draw {
    uint32_t vertices = 0, triangles = 0;
    DWORD tint = 0;
    DWORD fog = 0;  // the fog colour the draw had
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
    std::vector<Draw> draw(const LightMapLight& light)
    {
        pt::setD3D9Trace(true);
        pt::clearD3D9Calls();
        L3BeginScene(true);
        LightMaps.BeginLightMapping();
        LightMaps.DrawLightMapLight(light);
        LightMaps.EndLightMapping();
        L3EndScene();
        std::vector<Draw> out;
        DWORD tint = 0, fog = pt::d3d9State()->RenderStates[D3DRS_FOGCOLOR];
        for (const auto& c : pt::d3d9Trace()) {
            if (c.Method == "SetRenderState" && c.Args[0] == D3DRS_TEXTUREFACTOR) tint = static_cast<DWORD>(c.Args[1]);
            if (c.Method == "SetRenderState" && c.Args[0] == D3DRS_FOGCOLOR) fog = static_cast<DWORD>(c.Args[1]);
            if (c.Method != "DrawIndexedPrimitive") continue;
            Draw d;
            d.vertices = static_cast<uint32_t>(c.Args[3]);
            d.triangles = static_cast<uint32_t>(c.Args[5]);
            d.tint = tint;
            d.fog = fog;
            const DynamicVB& vb = D3DCore.DynamicVertexBuffer9[D3DCore.CreateDynamicVertexBuffer(D3DFVF_XYZ | D3DFVF_TEX1)];
            const std::vector<uint8_t> vertexBytes = pt::d3d9BufferBytes(vb.VB);
            const std::vector<uint8_t> indexBytes = pt::d3d9BufferBytes(D3DCore.DynamicIndexBuffer9.IB);
            d.patch.resize(d.vertices);
            std::memcpy(d.patch.data(), vertexBytes.data() + c.Args[1] * sizeof(Vertex), d.vertices * sizeof(Vertex));
            d.indices.resize(d.triangles * 3);
            std::memcpy(d.indices.data(), indexBytes.data() + c.Args[4] * 2, d.indices.size() * 2);
            out.push_back(d);
        }
        pt::setD3D9Trace(false);
        return out;
    }

    static LightMapLight point(float x, float y, float z, float range = 1000.0f)
    {
        LightMapLight l;
        l.Type = LightMapLight::TYPE_POINT;
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
        {"-2\n", 0, {"holds no light maps"}, {}},
        {"two\nspot.tga spotmap.mtl\n", 0, {"holds no light maps"}, {}},
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
    // A slope up along x, two cells split along their other diagonal.
    CAIMap& map = ground(16, [](int32_t c, int32_t) { return static_cast<uint16_t>(10 * c); });
    map.setDiagonal(4, 4, true);
    map.setDiagonal(5, 4, true);
    ASSERT_TRUE(LightMaps.Initialise());

    // On the ground: the near half sizes (30, 40) cover the one cell (4, 4). The additive map is
    // drawn in black fog, and the fog colour comes back after it.
    D3DCore.SetRenderState(D3DRS_FOGCOLOR, 0xFF336699u);
    std::vector<Draw> d = draw(point(450, 450, 40));
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].fog, 0xFF000000u);
    EXPECT_EQ(state().RenderStates[D3DRS_FOGCOLOR], 0xFF336699u);
    EXPECT_EQ(d[0].vertices, 4u);
    EXPECT_EQ(d[0].triangles, 2u);
    EXPECT_EQ(d[0].tint, 0xFFC86432u);
    const Vertex& first = d[0].patch[0];
    EXPECT_EQ(first.x, 400.0f);
    EXPECT_EQ(first.y, 400.0f);
    EXPECT_EQ(first.z, 47.0f);  // the corner's height + 7
    EXPECT_FLOAT_EQ(first.u, (400.0f - 420.0f) / 60.0f);
    EXPECT_FLOAT_EQ(first.v, (490.0f - 400.0f) / 80.0f);  // v runs from the far edge (y + b) to the near
    EXPECT_EQ(d[0].patch[3].z, 57.0f);
    // The cell's own split: (0, 1, 2) and (1, 3, 2).
    EXPECT_EQ(d[0].indices, (std::vector<uint16_t>{0, 1, 2, 1, 3, 2}));

    // Half way up its range: half the tint, half way from the near to the far sizes (a = 890,
    // b = 895): cells 0 .. 14 in x (clamped at 0), in y likewise.
    d = draw(point(450, 450, 40 + 500));
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].tint, 0xFF643219u);
    EXPECT_EQ(d[0].vertices, 15u * 15u);
    EXPECT_EQ(d[0].triangles, 2u * 14u * 14u);
    EXPECT_FLOAT_EQ(d[0].patch[0].u, (0.0f - (450.0f - 890.0f)) / 1780.0f);
    // The first cell keeps the usual split.
    EXPECT_EQ(std::vector<uint16_t>(d[0].indices.begin(), d[0].indices.begin() + 6),
              (std::vector<uint16_t>{0, 1, 16, 0, 16, 15}));

    // At its range and above it the glow is black: nothing is drawn; so for a light of no range.
    EXPECT_TRUE(draw(point(450, 450, 40 + 1000)).empty());
    EXPECT_TRUE(draw(point(450, 450, 40, 0.0f)).empty());
    // Half sizes are held to 3500; a patch off the map draws nothing.
    LightMapLight huge = point(800, 800, 40);
    huge.NearSize[0] = huge.NearSize[1] = 1e6f;
    d = draw(huge);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].vertices, 17u * 17u);
    EXPECT_FLOAT_EQ(d[0].patch[0].u, (0.0f - (800.0f - 3500.0f)) / 7000.0f);
    EXPECT_TRUE(draw(point(-5000, 450, 0)).empty());
    EXPECT_TRUE(testsupport::reports().empty());

    // 71 x 71 cells do not fit one lock of the shared buffer (4000 vertices): rows go in bands.
    ground(80, [](int32_t, int32_t) { return 0; });
    LightMapLight wide = point(4000, 4000, 0);
    wide.NearSize[0] = wide.NearSize[1] = 3500;
    d = draw(wide);
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].vertices, 72u * 55u);
    EXPECT_EQ(d[0].triangles + d[1].triangles, 2u * 71u * 71u);
    EXPECT_EQ(d[1].patch[0].y, 500.0f + 5400.0f);
}

TEST_F(LightMapsTest, ASpotPatchLiesAtTheRaysHitStretchedAlongTheRay)
{
    ground(32, [](int32_t, int32_t) { return 100; });
    ASSERT_TRUE(LightMaps.Initialise());
    LightMapLight spot = point(1000, 1600, 600);
    spot.Type = LightMapLight::TYPE_SPOT;
    spot.Map = LightMapLight::DEFAULT_SPOT_MAP;
    spot.NearSize[0] = spot.NearSize[1] = 100;
    // Down at 4 in 5 and along +x: the ray meets the ground (height 100) 625 away at (1375, 1600);
    // the glow is 0.625 of the way to black and its sizes, a = b = 1131.25, are stretched along
    // the ray by 1 / 0.8.
    spot.Direction = Vector3(0.6f, 0.0f, -0.8f);
    std::vector<Draw> d = draw(spot);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].tint, 0xFF4B2512u);
    const float A = 1131.25f * 1.25f, B = 1131.25f;
    EXPECT_EQ(d[0].vertices, 29u * 25u);  // cells 0 .. 28 in x, 4 .. 28 in y
    EXPECT_EQ(d[0].patch[0].x, 0.0f);
    EXPECT_EQ(d[0].patch[0].y, 400.0f);
    EXPECT_NEAR(d[0].patch[0].u, (0 - 1375 + A) / (2 * A), 1e-5f);
    EXPECT_NEAR(d[0].patch[0].v, (B + 1200) / (2 * B), 1e-5f);

    // Along +y the patch's own axes turn with it: u runs along y, v against x.
    spot.Direction = Vector3(0.0f, 0.6f, -0.8f);
    d = draw(spot);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].patch[0].y, 500.0f);  // the hit is (1000, 1975): cells from 1975 - A
    EXPECT_NEAR(d[0].patch[0].u, (500 - 1975 + A) / (2 * A), 1e-5f);
    EXPECT_NEAR(d[0].patch[0].v, (B + (d[0].patch[0].x - 1000)) / (2 * B), 1e-5f);

    // A ray that misses the ground draws nothing.
    spot.Direction = Vector3(0.0f, 0.0f, 1.0f);
    EXPECT_TRUE(draw(spot).empty());
    EXPECT_TRUE(testsupport::reports().empty());
}

}  // namespace
