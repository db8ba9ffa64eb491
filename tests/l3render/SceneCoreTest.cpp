// The scene core on the scripted card: frustum, fading, letterboxed viewports and projections, and
// world and screen coordinates meeting on the device's own transforms.
#include "FacadeFixture.h"
#include "effects/EffectScene.h"
#include "l3render/L3Render.h"
#include "l3render/Model.h"

#include <cmath>

namespace {

class SceneCoreTest : public FacadeFixture {
protected:
    void SetUp() override
    {
        FacadeFixture::SetUp();
        ASSERT_TRUE(startFacade());
        ASSERT_EQ(L3GetScreenWidth(), 640);
        L3SetVisibilityFading(false);
    }

    static std::vector<float> viewport()
    {
        const D3DVIEWPORT9& v = state().Viewport;
        return {float(v.X), float(v.Y), float(v.Width), float(v.Height)};
    }
};

TEST_F(SceneCoreTest, TheFrustumHoldsItsInequalitiesInBothProjections)
{
    struct Case {
        bool orthographic;
        Vector3 centre;
        float radius;
        bool visible;
    };
    const Case cases[] = {
        {false, {9, 0, 0}, 2, true},  // behind the near plane by less than the radius
        {false, {7, 0, 0}, 2, false},
        {false, {1001, 0, 0}, 2, true},
        {false, {1003, 0, 0}, 2, false},
        {false, {100, 101, 0}, 1, true},  // 45 degrees to either side
        {false, {100, 102, 0}, 1, false},
        {false, {100, -102, 0}, 1, false},
        {false, {100, 0, 51}, 1, true},  // 0.5 up and down
        {false, {100, 0, -52}, 1, false},
        {true, {100, 10.5f, 0}, 1, true},  // 20 x 10 wide
        {true, {100, 11.5f, 0}, 1, false},
        {true, {100, 0, -6.5f}, 1, false},
        {true, {100, 0, 5.5f}, 1, true},
    };
    L3SetViewFromAngles(Vector3(0, 0, 0), 0, 0, 0);
    for (const Case& c : cases) {
        if (c.orthographic)
            L3SetOrthographic(10, 1000, 20, 10);
        else
            L3SetPerspective(10, 1000, 20, 10);
        EXPECT_EQ(L3SphereInFrustum(c.centre, c.radius, false), c.visible) << c.centre.x << " " << c.centre.y;
        EXPECT_EQ(L3Scene.lastDepth, c.centre.x);
    }
    EXPECT_TRUE(L3Scene.orthographic);
    EXPECT_TRUE(L3SphereInFrustum(Vector3(-500, 0, 0), 1, true));
    EXPECT_EQ(L3Scene.lastDepth, -500.0f);
    // The LOD scale is 2^28 over the view height at the near distance.
    EXPECT_EQ(L3Scene.lodScale, 268435456.0f / 10.0f * 10.0f);
}

TEST_F(SceneCoreTest, FadingFollowsTheVisibilityType)
{
    struct Case {
        uint32_t type;
        float depth, fadeNear, fadeFar;
        bool visible;
        int32_t alpha;
    };
    const Case cases[] = {
        {0, 1e6f, -1, -1, true, 255},  {1, 50, -1, -1, true, 255},   {1, 150, -1, -1, true, 128},  // 127.5
        {1, 125, -1, -1, true, 191},   {1, 200, -1, -1, false, 255}, {2, 100, -1, -1, true, 255},
        {2, 101, -1, -1, false, 255},  {3, 1, -1, -1, false, 255},   {3, 150, 100, 200, true, 128},
        {3, 250, 100, 200, false, 255}, {3, 90, 100, 200, true, 255},
    };
    L3SetVisibleZRange(100, 200);
    for (int fading = 0; fading < 2; ++fading) {
        L3SetVisibilityFading(fading != 0);
        for (const Case& c : cases) {
            int32_t alpha = -7;
            EXPECT_EQ(L3AlphaForDistance(c.type, c.depth, c.fadeNear, c.fadeFar, &alpha), fading ? c.visible : true);
            EXPECT_EQ(alpha, fading ? c.alpha : 255) << c.type << " at " << c.depth;
        }
    }

    // The model's draw: transparent only when it fades and may; the caller's cap limits the alpha.
    CModel model;
    model.m_visibilityType = 1;
    model.m_flags = CModel::FLAG_ALPHAFADE;
    EXPECT_TRUE(L3ModelAlphaForDistance(&model, 150, 255));
    EXPECT_EQ(D3DCore.AutoTransparency, 1);
    EXPECT_EQ(D3DCore.AutoTransparencyAlpha, 128);
    EXPECT_TRUE(L3ModelAlphaForDistance(&model, 50, 90));
    EXPECT_EQ(D3DCore.AutoTransparencyAlpha, 90);
    EXPECT_TRUE(L3ModelAlphaForDistance(&model, 50, 255));
    EXPECT_EQ(D3DCore.AutoTransparency, 0);
    model.m_flags = CModel::FLAG_LIT;
    EXPECT_TRUE(L3ModelAlphaForDistance(&model, 150, 255));
    EXPECT_EQ(D3DCore.AutoTransparency, 0);
    EXPECT_FALSE(L3ModelAlphaForDistance(&model, 250, 255));
    // Frustum first, then the depth rules.
    L3SetViewFromAngles(Vector3(0, 0, 0), 0, 0, 0);
    L3SetPerspective(10, 1000, 20, 10);
    EXPECT_TRUE(L3IsModelVisible(Vector3(150, 0, 0), 1, 1));
    EXPECT_FALSE(L3IsModelVisible(Vector3(150, 0, 0), 1, 3));
    EXPECT_FALSE(L3IsModelVisible(Vector3(150, 500, 0), 1, 0));

    // The range's checks, and a minimum above the maximum stored twice.
    testsupport::clearReports();
    L3SetVisibleZRange(300, 200);
    EXPECT_EQ(std::vector<float>({L3Scene.minVisZ, L3Scene.maxVisZ}), std::vector<float>({300, 300}));
    L3SetVisibleZRange(-1, 10);
    EXPECT_EQ(testsupport::countReports("minVisZ >= 0.0f"), 1);
    L3SetRenderQuality(5);
    EXPECT_EQ(testsupport::countReports("Invalid render quality"), 1);
    EXPECT_EQ(L3Scene.renderQuality, 5);
    // Switching fading off draws opaque again.
    D3DCore.AutoTransparency = 1;
    L3SetVisibilityFading(false);
    EXPECT_EQ(D3DCore.AutoTransparency, 0);
}

TEST_F(SceneCoreTest, ViewportsAreLetterboxedToThePictureShape)
{
    struct Case {
        uint32_t type;
        float ratio;
        int32_t x, y, width, height;
        uint8_t screenAspect, fullViewport;
        std::vector<float> viewport;
        float viewWidth;
    };
    const float wide = 1.7777778f;
    const Case cases[] = {
        {0, wide, 0, 0, 640, 480, 0, 0, {0, 60, 640, 360}, 240 * wide},
        {0, 1.0f, 0, 0, 640, 480, 0, 0, {80, 0, 480, 480}, 240},
        {0, wide, 0, 0, 640, 480, 1, 0, {0, 0, 640, 480}, 320},
        {0, wide, 0, 0, 640, 480, 0, 1, {0, 0, 640, 480}, 240 * wide},
        {1, wide, 0, 0, 640, 480, 0, 0, {0, 0, 640, 480}, 240 * wide},  // a wide screen in a 4:3 mode
        {0, 1.3333334f, 0, 240, 640, 240, 0, 0, {160, 240, 320, 240}, 320},  // the lower half
    };
    for (const Case& c : cases) {
        ViewportSettings v;
        v.aspectType = c.type;
        v.aspectRatio = c.ratio;
        v.x = c.x, v.y = c.y, v.width = c.width, v.height = c.height;
        v.fov = 240;
        v.nearZ = 10;
        v.farZ = 1000;
        v.screenAspect = c.screenAspect;
        v.fullViewport = c.fullViewport;
        L3ApplyViewportSettings(v);
        EXPECT_EQ(viewport(), c.viewport) << c.ratio << " " << c.height;
        EXPECT_NEAR(L3Scene.viewWidth, c.viewWidth, 1e-3f);
        EXPECT_NEAR(state().Transforms.at(D3DTS_PROJECTION).m[0][0], 2 * 10 / c.viewWidth, 1e-6f);
    }
    ViewportSettings ortho;
    ortho.aspectRatio = 1.3333334f;
    ortho.width = 640, ortho.height = 480, ortho.fov = 240, ortho.nearZ = 10, ortho.farZ = 1000;
    ortho.orthographic = 1;
    L3ApplyViewportSettings(ortho);
    EXPECT_TRUE(L3Scene.orthographic);
    EXPECT_EQ(state().Transforms.at(D3DTS_PROJECTION).m[3][3], 1.0f);

    // Bars for a picture shape on a screen of the mode's shape; the base width scaled by the ratio.
    L3SetViewportAndProjection(0, wide, 0, 0, 640, 480, 320, 240, 270, 640000, false);
    EXPECT_EQ(viewport(), std::vector<float>({0, 60, 640, 360}));
    EXPECT_NEAR(L3Scene.viewWidth, wide * 320 * 0.75f, 1e-3f);
    EXPECT_FALSE(L3Scene.orthographic);
    L3SetViewportAndProjection(1, AspectRatioToFloat(5), 0, 0, 640, 480, 320, 240, 270, 640000, true);
    EXPECT_EQ(viewport(), std::vector<float>({0, 59, 640, 362}));  // 363.1, the low bit cleared
    EXPECT_EQ(std::vector<float>({float(L3Scene.aspectMode), L3Scene.aspectRatio}), std::vector<float>({1, 2.35f}));

    testsupport::clearReports();
    EXPECT_EQ(AspectRatioToFloat(6), 0.0f);
    EXPECT_EQ(AspectRatioToFloat(9), 0.0f);
    EXPECT_EQ(testsupport::countReports("Can't convert auto aspect ratio!"), 1);
    EXPECT_EQ(testsupport::reports().size(), 2u);
}

// The distance of a point from the line through a and b.
float offLine(const Vector3& p, const Vector3& a, const Vector3& b)
{
    Vector3 d = b - a;
    const float t = (p - a).dot(d) / d.dot(d);
    return (a + d * t - p).length();
}

TEST_F(SceneCoreTest, WorldPointsLieOnTheRayOfTheirScreenPixel)
{
    D3DCore.SetViewPort(0, 0, 640, 480, 640, 480);
    const Vector3 camera(100, -50, 30);
    for (int orthographic = 0; orthographic < 2; ++orthographic) {
        if (orthographic)
            L3SetOrthographic(10, 5000, 400, 300);
        else
            L3SetPerspective(10, 5000, 40, 30);
        L3SetViewFromAngles(camera, 0, 0.3f, 1.1f);
        EXPECT_EQ(GetEffectCameraPosition().x, 100.0f);
        const Matrix4 rotation = L3Scene.viewRotation;
        for (float along : {50.0f, 400.0f})
            for (float side : {-0.4f, 0.0f, 0.3f})
                for (float up : {-0.2f, 0.25f}) {
                    Vector3 p;
                    L3CameraToWorld(side * along, up * along, along, &p);
                    Vector3 screen, start, end;
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
        L3SetViewFromAxes(camera, Vector3(rotation.m[0][0], rotation.m[1][0], rotation.m[2][0]),
                          Vector3(rotation.m[0][1], rotation.m[1][1], rotation.m[2][1]),
                          Vector3(rotation.m[0][2], rotation.m[1][2], rotation.m[2][2]));
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) EXPECT_NEAR(D3DCore.ViewMatrix.m[r][c], byAngles.m[r][c], 1e-3f);
        EXPECT_NEAR(L3Scene.viewRotation.m[1][0], rotation.m[1][0], 1e-5f);
    }
    // Behind the camera, once the perspective of before the orthographic view is back on the device;
    // and outputs that are not there.
    Vector3 screen;
    L3SetPerspective(10, 5000, 40, 30);
    L3SetViewFromAngles(camera, 0, 0, 0);
    EXPECT_FALSE(L3WorldToScreen(camera - Vector3(100, 0, 0), &screen));
    screen.set(7, 7, 7);
    testsupport::clearReports();
    EXPECT_FALSE(L3WorldToScreen(camera, nullptr));
    L3ScreenToWorldRay(1, 1, nullptr, &screen);
    L3ScreenToViewWindow(1, 1, &screen.x, nullptr);
    EXPECT_EQ(testsupport::countReports("pScreenPosition") + testsupport::countReports("pRayStart") +
                  testsupport::countReports("pViewportY"),
              3);
    EXPECT_EQ(screen.x, 7.0f);
}

}  // namespace
