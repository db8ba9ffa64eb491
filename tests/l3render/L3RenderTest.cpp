#include "l3render/L3Render.h"

#include "d3dcore9/D3DCore.h"

#include <gtest/gtest.h>

TEST(L3RenderTest, TheScreenIsTheRenderCoresTarget)
{
    // Drawing into a texture of another size: the façade sees the target, not the window.
    D3DCore.SetOverrideSize(800, 600);
    EXPECT_EQ(L3GetScreenWidth(), 800);
    EXPECT_EQ(L3GetScreenHeight(), 600);
    D3DCore.ClearOverrideSize();
    // Otherwise the display mode's size.
    const uint32_t width = D3DCore.ScreenWidth, height = D3DCore.ScreenHeight;
    D3DCore.ScreenWidth = 1024;
    D3DCore.ScreenHeight = 768;
    EXPECT_EQ(L3GetScreenWidth(), 1024);
    EXPECT_EQ(L3GetScreenHeight(), 768);
    D3DCore.ScreenWidth = width;
    D3DCore.ScreenHeight = height;
}
