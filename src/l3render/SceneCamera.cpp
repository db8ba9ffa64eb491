// The scene core's setters: camera, projection, viewport, quality and fading.
#include "d3dcore9/D3DCore.h"
#include "l3render/L3Render.h"
#include "l3render/SceneState.h"
#include "matcore9/Forwarders.h"
#include "utility/Assert.h"

#include <cmath>
#include <cstring>

namespace {

// The game camera's depth, horizontal and vertical axes are the device camera's forward, left and
// up: its rows in the device's order are (right, up, forward).
void sendCameraMatrix(const Matrix4& camera)
{
    Matrix4 device;
    for (int c = 0; c < 3; ++c) {
        device.m[0][c] = -camera.m[1][c];
        device.m[1][c] = camera.m[2][c];
        device.m[2][c] = camera.m[0][c];
        device.m[3][c] = camera.m[3][c];
    }
    device.invertAffine();
    D3DMATRIX view;
    std::memcpy(&view, device.m, sizeof(view));
    MatSetViewMatrix(view);
}

void setCamera(const Matrix4& camera, const Matrix4& inverse)
{
    L3SceneState& s = sceneState();
    s.cameraPosition.set(camera.m[3][0], camera.m[3][1], camera.m[3][2]);
    s.viewRotation = inverse;
    sendCameraMatrix(camera);
    sceneCameraMoved();
}

void setProjection(float nearZ, float farZ, float width, float height, bool orthographic)
{
    if (!VERIFY(width > 0.0f && height > 0.0f && nearZ > 0.0f)) return;
    L3SceneState& s = sceneState();
    s.nearZ = nearZ;
    s.farZ = farZ;
    s.viewWidth = width;
    s.viewHeight = height;
    if (orthographic) {
        s.sinHorizontal = s.sinVertical = 0.0f;
        s.cosHorizontal = s.cosVertical = 1.0f;
    } else {
        const float horizontal = std::atan(width / (2.0f * nearZ)), vertical = std::atan(height / (2.0f * nearZ));
        s.sinHorizontal = std::sin(horizontal);
        s.cosHorizontal = std::cos(horizontal);
        s.sinVertical = std::sin(vertical);
        s.cosVertical = std::cos(vertical);
    }
    s.lodScale = 268435456.0f / height * nearZ;
    s.orthographic = orthographic;
    if (orthographic)
        D3DCore.SetProjection(nearZ, farZ, width, height);
    else
        MatSetPerspective(nearZ, farZ, width, height);
}

}  // namespace

void L3SetViewFromAngles(const Vector3& position, float a, float b, float c)
{
    L3SceneState& s = sceneState();
    s.cameraPosition = position;
    s.cameraAngles[0] = a, s.cameraAngles[1] = b, s.cameraAngles[2] = c;
    Matrix4 rx, ry, rz;
    rz.setRotationZ(c);
    ry.setRotationY(-b);
    rx.setRotationX(a);
    Matrix4::multiply(s.viewRotation, rz, ry);
    Matrix4::multiply(s.viewRotation, s.viewRotation, rx);
    MatSetCameraAngles(a, b, c, position.x, position.y, position.z);
    sceneCameraMoved();
}

void L3SetViewFromAnglesAlt(const Vector3& position, float a, float b, float c)
{
    L3SceneState& s = sceneState();
    s.cameraPosition = position;
    s.cameraAngles[0] = a, s.cameraAngles[1] = b, s.cameraAngles[2] = c;
    Matrix4 rx, ry, rz;
    rx.setRotationX(c);
    ry.setRotationY(-b);
    rz.setRotationZ(a);
    Matrix4::multiply(s.viewRotation, rx, ry);
    Matrix4::multiply(s.viewRotation, s.viewRotation, rz);
    MatSetCameraAnglesZFirst(a, b, c, position.x, position.y, position.z);
    sceneCameraMoved();
}

void L3SetViewMatrix(const Matrix4& camera)
{
    Matrix4 inverse = camera;
    inverse.invertAffine();
    setCamera(camera, inverse);
}

void L3SetViewFromAxes(const Vector3& position, const Vector3& depthAxis, const Vector3& horizontalAxis,
                       const Vector3& verticalAxis)
{
    Matrix4 camera;
    const Vector3* rows[4] = {&depthAxis, &horizontalAxis, &verticalAxis, &position};
    for (int r = 0; r < 4; ++r) {
        camera.m[r][0] = rows[r]->x;
        camera.m[r][1] = rows[r]->y;
        camera.m[r][2] = rows[r]->z;
    }
    Matrix4 inverse;
    matrix4AffineInverse(camera, inverse);
    setCamera(camera, inverse);
}

void L3SetPerspective(float nearZ, float farZ, float width, float height)
{
    setProjection(nearZ, farZ, width, height, false);
}

void L3SetOrthographic(float nearZ, float farZ, float width, float height)
{
    setProjection(nearZ, farZ, width, height, true);
}

void L3SetPerspective(float nearZ, float farZ, float baseWidth, float height, float aspect)
{
    setProjection(nearZ, farZ, aspect * baseWidth * 0.75f, height, false);
}

void L3SetOrthographic(float nearZ, float farZ, float baseWidth, float height, float aspect)
{
    setProjection(nearZ, farZ, aspect * baseWidth * 0.75f, height, true);
}

void L3SetFarPlane(float farZ)
{
    const L3SceneState& s = sceneState();
    setProjection(s.nearZ, farZ, s.viewWidth, s.viewHeight, s.orthographic);
}

float AspectRatioToFloat(uint32_t ratio)
{
    static const float ratios[6] = {1.3333334f, 1.66f, 1.7777778f, 1.85f, 2.0f, 2.35f};
    if (ratio < 6) return ratios[ratio];
    if (ratio == 6)
        assertFailedMsg("Can't convert auto aspect ratio!", "false", __FILE__, __LINE__);
    else
        assertFailed("false", __FILE__, __LINE__);
    return 0.0f;
}

float L3GetPixelAspectScale(uint32_t aspectMode, int32_t width, int32_t height)
{
    if (!VERIFY(width > 0 && height > 0)) return 1.0f;
    const float w = aspectMode == 1 ? 16.0f : 4.0f, h = aspectMode == 1 ? 9.0f : 3.0f;
    return (static_cast<float>(height) * w) / (static_cast<float>(width) * h);
}

void L3ApplyViewportSettings(const ViewportSettings& settings)
{
    const int32_t width = settings.width, height = settings.height;
    if (!VERIFY(width > 0 && height > 0) || !VERIFY(((width | height) & 1) == 0)) return;
    const float factor = L3GetPixelAspectScale(settings.aspectType, L3GetScreenWidth(), L3GetScreenHeight()) *
                         static_cast<float>(width) / static_cast<float>(height);
    const float target = settings.screenAspect ? factor : settings.aspectRatio;
    int32_t usedWidth = width, usedHeight = height;
    if (!settings.fullViewport) {
        if (target >= factor)
            usedHeight = 2 * static_cast<int32_t>(std::lround(height * factor / (2.0f * target)));
        else
            usedWidth = 2 * static_cast<int32_t>(std::lround(width * target / (2.0f * factor)));
    }
    if (!VERIFY(usedWidth > 0 && usedHeight > 0 && usedWidth <= width && usedHeight <= height)) return;
    if (settings.screenAspect) ASSERT(usedWidth == width && usedHeight == height);
    D3DCore.SetViewPort(settings.x, settings.y, width, height, usedWidth, usedHeight);
    setProjection(settings.nearZ, settings.farZ, settings.fov * target, settings.fov, settings.orthographic != 0);
}

void L3SetViewportAndProjection(uint32_t aspectMode, float aspectRatio, int32_t x, int32_t y, int32_t width,
                                int32_t height, float baseViewWidth, float viewHeight, float nearZ, float farZ,
                                bool orthographic)
{
    L3SceneState& s = sceneState();
    s.aspectMode = aspectMode;
    s.aspectRatio = aspectRatio;
    if (!VERIFY(aspectRatio > 0.0f)) return;
    const float w = aspectMode == 1 ? 16.0f : 4.0f, h = aspectMode == 1 ? 9.0f : 3.0f;
    const int32_t usedHeight = static_cast<int32_t>(std::lround(height * w / (aspectRatio * h))) & ~1;
    D3DCore.SetLetterboxViewPort(x, y, width, height, usedHeight);
    if (orthographic)
        L3SetOrthographic(nearZ, farZ, baseViewWidth, viewHeight, aspectRatio);
    else
        L3SetPerspective(nearZ, farZ, baseViewWidth, viewHeight, aspectRatio);
}

void L3SetRenderQuality(int32_t Level)
{
    ASSERT_MSG(Level >= 0 && Level <= 2, "Invalid render quality");
    sceneState().renderQuality = Level;
}

void L3SetVisibleZRange(float minVisZ, float maxVisZ)
{
    ASSERT(minVisZ >= 0.0f);
    ASSERT(maxVisZ >= 0.0f);
    L3SceneState& s = sceneState();
    s.minVisZ = minVisZ;
    s.maxVisZ = minVisZ > maxVisZ ? minVisZ : maxVisZ;
}

void L3SetVisibilityFading(bool on)
{
    sceneState().fading = on;
    if (!on) MatSetAutoTransparency(0);
}
