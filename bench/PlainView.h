// The plain baselines' side of a frame's placing: a sphere against the six planes of the scene
// core's view (read from it as it stands), and a device world matrix from a rotation and a
// translation.
#pragma once

#include "l3render/L3Render.h"
#include "platform/d3d9.h"

namespace plainview {

inline bool inView(const Vector3& at, float r)
{
    const L3SceneState& view = L3Scene;
    const float offset[3] = {at.x - view.cameraPosition.x, at.y - view.cameraPosition.y, at.z - view.cameraPosition.z};
    float depth = 0, x = 0, y = 0;
    for (int k = 0; k < 3; ++k) {
        depth += offset[k] * view.viewRotation.m[k][0];
        x += offset[k] * view.viewRotation.m[k][1];
        y += offset[k] * view.viewRotation.m[k][2];
    }
    return depth - view.nearZ >= -r && depth - view.farZ <= r &&
           view.sinHorizontal * depth - view.cosHorizontal * x >= -r &&
           view.sinHorizontal * depth + view.cosHorizontal * x >= -r &&
           view.sinVertical * depth - view.cosVertical * y >= -r && view.sinVertical * depth + view.cosVertical * y >= -r;
}

// Rows of the rotation, then the translation.
inline D3DMATRIX worldMatrix(const float rotation[9], const float translation[3])
{
    D3DMATRIX m{};
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) m.m[row][col] = rotation[3 * row + col];
    for (int k = 0; k < 3; ++k) m.m[3][k] = translation[k];
    m.m[3][3] = 1.0f;
    return m;
}

}  // namespace plainview
