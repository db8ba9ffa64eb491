// Vehicle shadows on the scripted card: the grid meshes, the roll bands, and the vertices draped
// over a slope as the device holds them.
#include "LightingFixture.h"

#include "TestSupport.h"
#include "kestrune/Shadows.h"

#include <cmath>

namespace pt = platform::testing;

namespace {

struct ShadowVertex {
    float x, y, z, u, v;
};

class ShadowsTest : public LightingFixture {
protected:
    void SetUp() override
    {
        LightingFixture::SetUp();
        ASSERT_TRUE(startFacade());
        ASSERT_TRUE(InitShadows());
    }
    void TearDown() override
    {
        ShutdownShadows();
        LightingFixture::TearDown();
    }

    static std::vector<ShadowVertex> vertices(uint32_t mesh)
    {
        const std::vector<uint8_t> bytes = pt::d3d9BufferBytes(GetShadowVertexList(mesh)->VertexBuffer[0]);
        std::vector<ShadowVertex> out(bytes.size() / sizeof(ShadowVertex));
        std::memcpy(out.data(), bytes.data(), out.size() * sizeof(ShadowVertex));
        return out;
    }

    // One shadow drawn in a scene; the draws the device received.
    static int render(uint32_t mesh, float x, float y, float a, float b, float c, int32_t n, float h)
    {
        const int before = pt::d3d9Calls("DrawIndexedPrimitive");
        L3BeginScene(true);
        RenderVehicleShadow(mesh, x, y, 12345.0f, a, b, c, n, h);
        L3EndScene();
        return pt::d3d9Calls("DrawIndexedPrimitive") - before;
    }
};

TEST_F(ShadowsTest, EachMeshIsAGridOfQuadsDrapedOverTheGroundUnderTheVehicle)
{
    // Rising 0.1 a unit along x.
    ground(16, [](int32_t c, int32_t) { return static_cast<uint16_t>(10 * c); });
    for (uint32_t mesh : {SHADOW_JET, SHADOW_WALKER}) {
        const VertexList* list = GetShadowVertexList(mesh);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->Vertices, 25);
        EXPECT_EQ(list->Indices, 96);
        std::vector<uint16_t> index(96);
        std::memcpy(index.data(), pt::d3d9BufferBytes(list->IndexBuffer).data(), 96 * 2);
        EXPECT_EQ(std::vector<uint16_t>(index.begin(), index.begin() + 6), (std::vector<uint16_t>{0, 1, 5, 1, 6, 5}));
        EXPECT_EQ(std::vector<uint16_t>(index.begin() + 30, index.begin() + 36),
                  (std::vector<uint16_t>{6, 7, 11, 7, 12, 11}));  // quad (1, 1)
        const std::vector<ShadowVertex> v = vertices(mesh);
        EXPECT_EQ(v[7].u, 0.5f);   // column 2
        EXPECT_EQ(v[7].v, 0.25f);  // row 1
    }

    EXPECT_EQ(render(SHADOW_JET, 800, 800, 0, 0, 0, 4, 100), 1);
    const float n = 1 / std::sqrt(1.01f);
    const std::vector<ShadowVertex> v = vertices(SHADOW_JET);
    // Column 0, row 0: (-100, 100) from the vehicle, on ground 10 lower than under it.
    EXPECT_NEAR(v[0].x, -100 - 3.5f * 0.1f * n, 1e-4f);
    EXPECT_NEAR(v[0].y, 100, 1e-4f);
    EXPECT_NEAR(v[0].z, -10 + 3.5f * n, 1e-4f);
    EXPECT_NEAR(v[24].z, 10 + 3.5f * n, 1e-4f);
    const D3DMATRIX& world = state().Transforms.at(D3DTS_WORLD);
    EXPECT_EQ(std::vector<float>({world.m[3][0], world.m[3][1], world.m[3][2], world.m[0][0]}),
              std::vector<float>({800, 800, 80, 1}));

    // Turned a quarter to the left: the corner ahead on the right, (100, 100), goes to (-100, 100).
    ground(16, [](int32_t, int32_t) { return 0; });
    render(SHADOW_WALKER, 800, 800, 3.14159265f / 2, 0, 0, 4, 100);
    EXPECT_NEAR(vertices(SHADOW_WALKER)[4].x, -100, 1e-3f);
    EXPECT_NEAR(vertices(SHADOW_WALKER)[4].y, 100, 1e-3f);
    // The caller's grid count spaces the lines: with 2, column 1 stands at 0 and column 4 at 300.
    render(SHADOW_WALKER, 800, 800, 0, 0, 0, 2, 100);
    EXPECT_NEAR(vertices(SHADOW_WALKER)[1].x, 0, 1e-3f);
    EXPECT_NEAR(vertices(SHADOW_WALKER)[4].x, 300, 1e-3f);
    // A roll of 1.3 is taken as 1.1780972, which shortens the sides by its cosine.
    render(SHADOW_JET, 800, 800, 0, 0, 1.3f, 4, 100);
    EXPECT_NEAR(vertices(SHADOW_JET)[0].y, 100 * std::cos(1.1780972f), 1e-3f);

    // No grid, no shadow.
    EXPECT_EQ(render(SHADOW_JET, 800, 800, 0, 0, 0, 0, 100), 0);
    EXPECT_EQ(render(SHADOW_JET, 800, 800, 0, 0, 0, -3, 100), 0);
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(ShadowsTest, TheRollIsWrappedAndKeptOutOfTheBandsAroundAQuarterTurn)
{
    const float pi = 3.14159265f, low = 1.1780972f, high = 1.9634955f;
    const std::pair<float, float> rows[] = {
        {0.0f, 0.0f},   {1.0f, 1.0f},      {low, low},        {1.3f, low},    {pi / 2, high}, {1.7f, high},
        {high, high},   {2.5f, 2.5f},      {-1.3f, -low},     {-pi / 2, -high}, {-1.7f, -high}, {-low, -low},
        {1.3f + 2 * pi, low}, {-1.3f - 4 * pi, -low}, {NAN, 0.0f}, {INFINITY, 0.0f},
    };
    for (const auto& [c, expected] : rows) EXPECT_NEAR(ShadowBankAngle(c), expected, 1e-5f) << c;
}

}  // namespace
