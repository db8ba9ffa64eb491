// The render façade's screen size: the size of the render target in pixels.
#pragma once

int L3GetScreenWidth();
int L3GetScreenHeight();
