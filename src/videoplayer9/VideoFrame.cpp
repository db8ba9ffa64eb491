#include "videoplayer9/VideoFrame.h"

#include "d3dcore9/D3DCore.h"

// The façade's frame calls are the render core's: begin with the viewport reset, end with the
// scene passes run.
void VideoBeginScene(int32_t clear) { D3DCore.BeginScene(clear != 0, false); }
void VideoEndScene() { D3DCore.EndScene(true); }
void VideoPresent(int32_t arg) { D3DCore.Present(arg != 0); }
