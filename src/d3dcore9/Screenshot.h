// Front-buffer screenshots, written as numbered uncompressed TGA files ("Veldrane_00000.tga" on)
// in the working folder. createScreenshotSurface once the device exists; takeScreenshot any time
// after a frame was presented; releaseScreenshotSurface at shutdown.
#pragma once

#include "platform/d3d9.h"

#include <string>

// The 2048 x 2048 A8R8G8B8 system-memory capture texture and its top surface.
bool createScreenshotSurface();
void releaseScreenshotSurface();
// Copies the front buffer and writes it under the first free number. The result of the failing
// step, else D3D_OK. A shot that fails leaves no file, so the next one takes its number. When the
// file could not be written, cause (when given) gets why (writeFailureCause).
HRESULT takeScreenshot(std::string* cause = nullptr);
// Writes width x height pixels of an A8R8G8B8 surface (clamped to its size) as a TGA file, under
// the process's temporary name in the file's folder first and moved over the name once whole.
// D3DERR_INVALIDCALL for another format, E_FAIL when the file cannot be written whole (cause,
// when given, gets why); either way no file is left.
HRESULT writeSurfaceTGA(IDirect3DDevice9* device, const char* name, UINT width, UINT height,
                        IDirect3DSurface9* surface, std::string* cause = nullptr);
