// What state blocks ask of the texture and shader tables, in one place.
#pragma once

#include "platform/d3d9.h"

namespace sbseam {

bool AddDiskTexture(const char* name, DWORD* handle);
const char* DiskTextureName(DWORD handle);  // null when not in use
void ReleaseDiskTexture(DWORD handle);
void ReleaseHWTexture(DWORD handle);
IDirect3DBaseTexture9* HWTexture(DWORD handle);  // null when not in use
int32_t HWTexturePalette(DWORD handle);          // -1 none

IDirect3DVertexShader9* VertexShader(DWORD index);
IDirect3DVertexDeclaration9* VertexDeclaration(DWORD index);
IDirect3DPixelShader9* PixelShader(DWORD index);
void ReleaseVertexShader(DWORD index);
void ReleasePixelShader(DWORD index);

}  // namespace sbseam
