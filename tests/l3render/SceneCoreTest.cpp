// The scene core on the scripted card: frustum, fading, letterboxed viewports and projections, and
// world and screen coordinates meeting on the device's own transforms.
#include "FacadeFixture.h"
#include "effects/EffectScene.h"
#include "l3render/Model.h"

namespace {

class SceneCoreTest : public FacadeFixture {
protected:
    void SetUp() override
    {
        FacadeFixture::SetUp();
        ASSERT_TRUE(startFacade());
        L3SetViewFromAngles(Vector3(0, 0, 0), 0, 0, 0);  // along x; y to the left, z up
    }

    static std::vector<DWORD> viewport()
    {
        const D3DVIEWPORT9& v = state().Viewport;
        return {v.X, v.Y, v.Width, v.Height};
    }
};

TEST_F(SceneCoreTest, TheFrustumHoldsItsInequalitiesInBothProjections)
{
    // Perspective: 45 degrees to either side, atan 0.5 up and down; orthographic: 20 x 10.
    const struct {
        bool orthographic;
        Vector3 centre;
        bool visible;
    } cases[] = {
        {false, {9, 0, 0}, true},   {false, {7, 0, 0}, false},    {false, {1001, 0, 0}, true},
        {false, {1003, 0, 0}, false}, {false, {100, 101.4f, 0}, true}, {false, {100, -103.2f, 0}, false},
        {false, {100, 0, 51}, true}, {false, {100, 0, -52.5f}, false}, {true, {100, 10.5f, 0}, true},
        {true, {100, 11.5f, 0}, false}, {true, {100, 0, -6.5f}, false}, {true, {100, 0, 5.5f}, true},
    };
    for (const auto& c : cases) {
        if (c.orthographic)
            L3SetOrthographic(10, 1000, 20, 10);
        else
            L3SetPerspective(10, 1000, 20, 10);
        EXPECT_EQ(L3SphereInFrustum(c.centre, c.orthographic ? 1.0f : 2.0f, false), c.visible) << c.centre.y;
        EXPECT_EQ(L3Scene.lastDepth, c.centre.x);
    }
    EXPECT_TRUE(L3SphereInFrustum(Vector3(-500, 0, 0), 1, true));
    EXPECT_EQ(L3Scene.lastDepth, -500.0f);
}

TEST_F(SceneCoreTest, FadingFollowsTheVisibilityType)
{
    const struct {
        uint32_t type;
        float depth, fadeNear, fadeFar;
        bool visible;
        int32_t alpha;
    } cases[] = {
        {0, 1e6f, -1, -1, true, 255}, {1, 50, -1, -1, true, 255},  {1, 150, -1, -1, true, 128},  // 127.5
        {1, 125, -1, -1, true, 191},  {1, 200, -1, -1, false, 255}, {2, 100, -1, -1, true, 255},
        {2, 101, -1, -1, false, 255}, {3, 1, -1, -1, false, 255},  {3, 150, 100, 200, true, 128},
        {3, 250, 100, 200, false, 255}, {3, 90, 100, 200, true, 255},
    };
    L3SetVisibleZRange(100, 200);
    for (bool fading : {false, true}) {
        L3SetVisibilityFading(fading);
        for (const auto& c : cases) {
            int32_t alpha = -7;
            EXPECT_EQ(L3AlphaForDistance(c.type, c.depth, c.fadeNear, c.fadeFar, &alpha), !fading || c.visible);
            EXPECT_EQ(alpha, fading ? c.alpha : 255) << c.type << " at " << c.depth;
        }
    }
    // A model draws transparent only when it fades and may; the caller's cap limits the alpha.
    CModel model;
    model.m_visibilityType = 1;
    model.m_flags = CModel::FLAG_ALPHAFADE;
    const struct {
        uint8_t flags;
        float depth;
        int32_t cap;
        bool visible;
        BYTE transparent, alpha;
    } draws[] = {{CModel::FLAG_ALPHAFADE, 150, 255, true, 1, 128}, {CModel::FLAG_ALPHAFADE, 50, 90, true, 1, 90},
                 {CModel::FLAG_ALPHAFADE, 50, 255, true, 0, 90}, {CModel::FLAG_LIT, 150, 255, true, 0, 90},
                 {CModel::FLAG_ALPHAFADE, 250, 255, false, 0, 90}};
    for (const auto& d : draws) {
        model.m_flags = d.flags;
        EXPECT_EQ(L3ModelAlphaForDistance(&model, d.depth, d.cap), d.visible);
        EXPECT_EQ(std::vector<BYTE>({D3DCore.AutoTransparency, D3DCore.AutoTransparencyAlpha}),
                  std::vector<BYTE>({d.transparent, d.alpha}));
    }
    // Frustum first, then the depth rules; a minimum above the maximum is stored twice.
    L3SetPerspective(10, 1000, 20, 10);
    EXPECT_FALSE(L3IsModelVisible(Vector3(150, 0, 0), 1, 3));
    EXPECT_FALSE(L3IsModelVisible(Vector3(150, 500, 0), 1, 0));
    L3SetVisibleZRange(300, 200);
    EXPECT_EQ(std::vector<float>({L3Scene.minVisZ, L3Scene.maxVisZ}), std::vector<float>({300, 300}));
    D3DCore.AutoTransparency = 1;
    L3SetVisibilityFading(false);
    EXPECT_EQ(D3DCore.AutoTransparency, 0);
}

TEST_F(SceneCoreTest, ViewportsAreLetterboxedToThePictureShape)
{
    const float wide = AspectRatioToFloat(2);
    const struct {
        uint32_t type;
        float ratio;
        int32_t y, height;
        uint8_t screenAspect, fullViewport;
        std::vector<DWORD> viewport;
        float viewWidth;
    } cases[] = {
        {0, wide, 0, 480, 0, 0, {0, 60, 640, 360}, 240 * wide},
        {0, 1.0f, 0, 480, 0, 0, {80, 0, 480, 480}, 240},
        {0, wide, 0, 480, 1, 0, {0, 0, 640, 480}, 320},
        {0, wide, 0, 480, 0, 1, {0, 0, 640, 480}, 240 * wide},
        {1, wide, 0, 480, 0, 0, {0, 0, 640, 480}, 240 * wide},  // a wide screen in a 4:3 mode
        {0, AspectRatioToFloat(0), 240, 240, 0, 0, {160, 240, 320, 240}, 320},  // the lower half
    };
    for (const auto& c : cases) {
        ViewportSettings v;
        v.aspectType = c.type;
        v.aspectRatio = c.ratio;
        v.y = c.y, v.width = 640, v.height = c.height;
        v.fov = 240, v.nearZ = 10, v.farZ = 1000;
        v.screenAspect = c.screenAspect;
        v.fullViewport = c.fullViewport;
        L3ApplyViewportSettings(v);
        EXPECT_EQ(viewport(), c.viewport) << c.ratio << " " << c.height;
        EXPECT_NEAR(state().Transforms.at(D3DTS_PROJECTION).m[0][0], 2 * 10 / c.viewWidth, 1e-6f);
    }
    // Orthographic, the height's low bit cleared (363.1).
    L3SetViewportAndProjection(1, AspectRatioToFloat(5), 0, 0, 640, 480, 320, 240, 270, 640000, true);
    EXPECT_EQ(viewport(), std::vector<DWORD>({0, 59, 640, 362}));
    EXPECT_EQ(std::make_pair(true, 1.0f), std::make_pair(bool(L3Scene.orthographic), state().Transforms.at(D3DTS_PROJECTION).m[3][3]));

    EXPECT_EQ(AspectRatioToFloat(6) + AspectRatioToFloat(9), 0.0f);
    EXPECT_EQ(testsupport::countReports("Can't convert auto aspect ratio!"), 1);
}

// The distance of a point from the line through a and b.
float offLine(const Vector3& p, const Vector3& a, const Vector3& b)
{
    const Vector3 d = b - a;
    return (a + d * ((p - a).dot(d) / d.dot(d)) - p).length();
}

TEST_F(SceneCoreTest, WorldPointsLieOnTheRayOfTheirScreenPixel)
{
    D3DCore.SetViewPort(0, 0, 640, 480, 640, 480);
    const Vector3 camera(100, -50, 30);
    for (bool orthographic : {false, true}) {
        if (orthographic)
            L3SetOrthographic(10, 5000, 400, 300);
        else
            L3SetPerspective(10, 5000, 40, 30);
        L3SetViewFromAngles(camera, 0, 0.3f, 1.1f);
        EXPECT_EQ(GetEffectCameraPosition().x, 100.0f);
        const Matrix4 r = L3Scene.viewRotation;
        for (float along : {50.0f, 400.0f})
            for (const auto& [side, up] : {std::pair{-0.4f, -0.2f}, {0.0f, 0.25f}, {0.3f, 0.1f}}) {
                Vector3 p, screen, start, end;
                L3CameraToWorld(side * along, up * along, along, &p);
                ASSERT_TRUE(L3WorldToScreen(p, &screen));
                L3ScreenToWorldRay(screen.x, screen.y, &start, &end);
                EXPECT_LT(offLine(p, start, end), 1e-3f * along) << along << " " << side << " " << up;
                // The scene's depth is the device camera's.
                const D3DMATRIX& v = D3DCore.ViewMatrix;
                L3SphereInFrustum(p, 0, true);
                EXPECT_NEAR(L3Scene.lastDepth, p.x * v.m[0][2] + p.y * v.m[1][2] + p.z * v.m[2][2] + v.m[3][2],
                            1e-3f * along);
            }
        // The same camera given by its axes is the same device camera.
        const D3DMATRIX byAngles = D3DCore.ViewMatrix;
        L3SetViewFromAxes(camera, Vector3(r.m[0][0], r.m[1][0], r.m[2][0]), Vector3(r.m[0][1], r.m[1][1], r.m[2][1]),
                          Vector3(r.m[0][2], r.m[1][2], r.m[2][2]));
        for (int i = 0; i < 16; ++i) EXPECT_NEAR(D3DCore.ViewMatrix.m[i / 4][i % 4], byAngles.m[i / 4][i % 4], 1e-3f);
    }
    // Behind the camera, once the perspective of before the orthographic view is back on the device.
    Vector3 screen;
    L3SetPerspective(10, 5000, 40, 30);
    L3SetViewFromAngles(camera, 0, 0, 0);
    EXPECT_FALSE(L3WorldToScreen(camera - Vector3(100, 0, 0), &screen));
}

}  // namespace
