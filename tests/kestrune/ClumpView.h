// The clump pixel tests' view on the OpenGL renderer: one frame from (0, 500, 150) looking east, and
// the pixel where a world point lands in its image (FacadeFixture::frontBuffer(640, 480)).
#pragma once

#include "FacadeFixture.h"

#include <functional>
#include <vector>

namespace clumpview {

// Draws and presents the frame.
inline void frame(const std::function<void()>& draw)
{
    drawFrame(wholeTarget(240.0f / 270.0f, 1.0f, 10000.0f, 2), [&] {
        L3SetViewFromAngles(Vector3(0, 500, 150), 0, 0, 0);
        draw();
    });
}

inline DWORD at(const std::vector<DWORD>& image, const Vector3& world)
{
    Vector3 p;
    EXPECT_TRUE(L3ViewportToScreen(world, &p));
    return image.at((int(p.y) + D3DCore.LastViewPort.Y) * 640 + int(p.x) + D3DCore.LastViewPort.X);
}

}  // namespace clumpview
