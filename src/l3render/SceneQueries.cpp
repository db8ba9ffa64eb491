// The scene core's queries: the frustum, fading by distance and the conversions.
#include "d3dcore9/D3DCore.h"
#include "l3render/L3Render.h"
#include "l3render/Model.h"
#include "l3render/SceneState.h"
#include "matcore9/Forwarders.h"
#include "utility/Assert.h"

#include <cmath>

namespace {

Vector3 column(const Matrix4& m, int c) { return Vector3(m.m[0][c], m.m[1][c], m.m[2][c]); }

// Halves round to even, as the fade tables were made.
int32_t fadeAlpha(float fraction) { return static_cast<int32_t>(std::nearbyint(fraction * 255.0f)); }

// Through the device's view and projection; x and y mapped onto a width x height rectangle.
bool project(const Vector3& world, float width, float height, Vector3* out)
{
    const D3DMATRIX& v = D3DCore.ViewMatrix;
    const D3DMATRIX& p = D3DCore.ProjectionMatrix;
    float view[4], clip[4];
    for (int c = 0; c < 4; ++c)
        view[c] = world.x * v.m[0][c] + world.y * v.m[1][c] + world.z * v.m[2][c] + v.m[3][c];
    for (int c = 0; c < 4; ++c)
        clip[c] = view[0] * p.m[0][c] + view[1] * p.m[1][c] + view[2] * p.m[2][c] + view[3] * p.m[3][c];
    const float x = clip[0] / clip[3], y = clip[1] / clip[3], z = clip[2] / clip[3];
    out->set(width * 0.5f + width * 0.5f * x, height * 0.5f - height * 0.5f * y, z);
    return z < 1.0f;
}

}  // namespace

bool L3SphereInFrustum(const Vector3& centre, float radius, bool depthOnly)
{
    L3SceneState& s = sceneState();
    const Vector3 d = centre - s.cameraPosition;
    const float depth = d.dot(column(s.viewRotation, 0));
    s.lastDepth = depth;
    if (depthOnly) return true;
    if (depth - s.nearZ < -radius || depth - s.farZ > radius) return false;
    const float x = d.dot(column(s.viewRotation, 1)), y = d.dot(column(s.viewRotation, 2));
    if (s.orthographic) {
        const float halfWidth = s.viewWidth * 0.5f, halfHeight = s.viewHeight * 0.5f;
        if (halfWidth - x < -radius || x + halfWidth < -radius) return false;
        if (halfHeight - y < -radius || y + halfHeight < -radius) return false;
        return true;
    }
    if (s.sinHorizontal * depth - s.cosHorizontal * x < -radius || s.sinHorizontal * depth + s.cosHorizontal * x < -radius)
        return false;
    if (s.sinVertical * depth - s.cosVertical * y < -radius || s.sinVertical * depth + s.cosVertical * y < -radius)
        return false;
    return true;
}

bool L3AlphaForDistance(uint32_t visibilityType, float depth, float fadeNear, float fadeFar, int32_t* pAlpha)
{
    const L3SceneState& s = sceneState();
    bool visible = true;
    int32_t alpha = 255;
    if (s.fading) {
        switch (visibilityType) {
        case 0:
            break;
        case 1:
            if (depth >= s.maxVisZ)
                visible = false;
            else if (depth > s.minVisZ)
                alpha = fadeAlpha((s.maxVisZ - depth) / (s.maxVisZ - s.minVisZ));
            break;
        case 2:
            visible = depth <= s.minVisZ;
            break;
        case 3:
            if (depth > fadeFar)
                visible = false;
            else if (depth > fadeNear)
                alpha = fadeAlpha((fadeFar - depth) / (fadeFar - fadeNear));
            break;
        default:
            ASSERT(visibilityType < CModel::NUM_VISIBILITY_TYPES);
            break;
        }
    }
    if (pAlpha) *pAlpha = alpha;
    return visible;
}

bool L3IsModelVisible(const Vector3& centre, float radius, uint32_t visibilityType, float fadeNear, float fadeFar)
{
    if (!L3SphereInFrustum(centre, radius, false)) return false;
    return L3AlphaForDistance(visibilityType, sceneState().lastDepth, fadeNear, fadeFar, nullptr);
}

bool L3ModelAlphaForDistance(const CModel* pModel, float depth, int32_t alphaCap)
{
    if (!VERIFY(pModel)) return false;
    return L3ApplyAlphaForDistance(pModel->m_visibilityType, depth, pModel->m_fadeNear, pModel->m_fadeFar, alphaCap,
                                   (pModel->m_flags & CModel::FLAG_ALPHAFADE) != 0);
}

bool L3ApplyAlphaForDistance(uint32_t visibilityType, float depth, float fadeNear, float fadeFar, int32_t alphaCap,
                             bool alphaPermitted)
{
    int32_t alpha = 255;
    const bool visible = L3AlphaForDistance(visibilityType, depth, fadeNear, fadeFar, &alpha);
    if (alpha > alphaCap) alpha = alphaCap;
    if (!VERIFY((alpha >= 0) && (alpha <= 255))) alpha = alpha < 0 ? 0 : 255;
    if (visible && alpha < 255 && alphaPermitted) {
        MatSetAutoTransparency(1);
        MatSetFade(alpha);
    } else {
        MatSetAutoTransparency(0);
    }
    return visible;
}

bool L3WorldToScreen(const Vector3& world, Vector3* pScreenPosition)
{
    if (!VERIFY(pScreenPosition)) return false;
    return project(world, static_cast<float>(L3GetScreenWidth()), static_cast<float>(L3GetScreenHeight()),
                   pScreenPosition);
}

bool L3ViewportToScreen(const Vector3& world, Vector3* pViewportPosition)
{
    if (!VERIFY(pViewportPosition)) return false;
    return project(world, static_cast<float>(D3DCore.LastViewPort.Width), static_cast<float>(D3DCore.LastViewPort.Height),
                   pViewportPosition);
}

void L3ScreenToViewWindow(float x, float y, float* pViewportX, float* pViewportY)
{
    if (!VERIFY(pViewportX) || !VERIFY(pViewportY)) return;
    const L3SceneState& s = sceneState();
    *pViewportX = (0.5f - x / static_cast<float>(L3GetScreenWidth())) * s.viewWidth;
    *pViewportY = (0.5f - y / static_cast<float>(L3GetScreenHeight())) * s.viewHeight;
}

void L3CameraToWorld(float x, float y, float z, Vector3* pOutput)
{
    if (!VERIFY(pOutput)) return;
    const L3SceneState& s = sceneState();
    *pOutput = s.cameraPosition + column(s.viewRotation, 1) * x + column(s.viewRotation, 2) * y +
               column(s.viewRotation, 0) * z;
}

void L3ScreenToWorldRay(float x, float y, Vector3* pRayStart, Vector3* pRayEnd)
{
    if (!VERIFY(pRayStart) || !VERIFY(pRayEnd)) return;
    const L3SceneState& s = sceneState();
    float vx = 0.0f, vy = 0.0f;
    L3ScreenToViewWindow(x, y, &vx, &vy);
    if (s.orthographic) {
        L3CameraToWorld(vx, vy, s.nearZ, pRayStart);
        Vector3 direction = column(s.viewRotation, 0);
        direction.normalise();
        *pRayEnd = *pRayStart + direction * (s.farZ - s.nearZ);
        return;
    }
    *pRayStart = s.cameraPosition;
    L3CameraToWorld(vx / s.nearZ * s.farZ, vy / s.nearZ * s.farZ, s.farZ, pRayEnd);
}
