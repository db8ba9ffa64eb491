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
        EXPECT_EQ(std::vector<int>({static_cast<int>(list->Vertices), static_cast<int>(list->Indices)}),
                  std::vector<int>({25, 96}));
        std::vector<uint16_t> index(36);
        std::memcpy(index.data(), pt::d3d9BufferBytes(list->IndexBuffer).data(), 36 * 2);
        EXPECT_EQ(std::vector<uint16_t>(index.begin(), index.begin() + 6), (std::vector<uint16_t>{0, 1, 5, 1, 6, 5}));
        EXPECT_EQ(std::vector<uint16_t>(index.begin() + 30, index.end()), (std::vector<uint16_t>{6, 7, 11, 7, 12, 11}));
    }
    int draws = 0;
    std::vector<ShadowVertex> v = render(SHADOW_JET, 0, 0, 4, &draws);
    EXPECT_EQ(draws, 1);
    EXPECT_EQ(std::vector<float>({v[7].u, v[7].v}), std::vector<float>({0.5f, 0.25f}));  // column 2, row 1
    // Column 0, row 0: (-100, 100) from the vehicle, on ground 10 lower, lifted 3.5 along the normal.
    const float n = 1 / std::sqrt(1.01f);
    const float lift = 3.5f * 0.1f * n;  // towards -x
    EXPECT_NEAR(v[0].x, -100 - lift, 1e-4f);
    EXPECT_NEAR(v[0].y, 100, 1e-4f);
    EXPECT_NEAR(v[0].z, -10 + 3.5f * n, 1e-4f);
    EXPECT_NEAR(v[24].z, 10 + 3.5f * n, 1e-4f);
    const D3DMATRIX& world = state().Transforms.at(D3DTS_WORLD);
    EXPECT_EQ(std::vector<float>({world.m[3][0], world.m[3][1], world.m[3][2], world.m[0][0]}),
              std::vector<float>({800, 800, 80, 1}));
    // The caller's grid count spaces the lines: with 2, column 1 stands at 0 and column 4 at 300.
    v = render(SHADOW_WALKER, 0, 0, 2);
    EXPECT_NEAR(v[1].x, -lift, 1e-3f);
    EXPECT_NEAR(v[4].x, 300 - lift, 1e-3f);
    // A roll of 1.3 is taken as 1.1780972, which shortens the sides by its cosine.
    EXPECT_NEAR(render(SHADOW_JET, 0, 1.3f, 4)[0].y, 100 * std::cos(1.1780972f), 1e-3f);
    // No grid, no shadow.
    for (int32_t none : {0, -3}) {
        render(SHADOW_JET, 0, 0, none, &draws);
        EXPECT_EQ(draws, 0);
    }
    EXPECT_TRUE(testsupport::reports().empty());

    // The roll wrapped, then kept out of the bands around a quarter turn.
    const float pi = 3.14159265f, low = 1.1780972f, high = 1.9634955f;
    const std::pair<float, float> rows[] = {
        {1.0f, 1.0f},     {1.3f, low},     {pi / 2, high},        {1.7f, high},        {2.5f, 2.5f},
        {-1.3f, -low},    {-pi / 2, -high}, {1.3f + 2 * pi, low}, {-1.3f - 4 * pi, -low}, {NAN, 0.0f},
    };
    for (const auto& [c, expected] : rows) EXPECT_NEAR(ShadowBankAngle(c), expected, 1e-5f) << c;
}

}  // namespace
