// The frame calls the video players draw their frames between: the render façade's begin (with
// the clear flag), end and present, on the render core's device.
#pragma once

#include <cstdint>

void VideoBeginScene(int32_t clear);
void VideoEndScene();
void VideoPresent(int32_t arg);
