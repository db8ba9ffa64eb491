// What state blocks and materials take from the texture and shader tables, by handle or slot.
// Handles no longer in use give nothing.
#pragma once

#include "platform/d3d9.h"

#include <cstdint>

namespace materialtables {

const char* DiskTextureName(DWORD handle);       // null when not in use
IDirect3DBaseTexture9* HWTexture(DWORD handle);  // null when not in use
int32_t HWTexturePalette(DWORD handle);          // -1 none

IDirect3DVertexShader9* VertexShader(DWORD slot);
IDirect3DVertexDeclaration9* VertexDeclaration(DWORD slot);
IDirect3DPixelShader9* PixelShader(DWORD slot);
// One material's reference to a slot dropped.
void ReleaseVertexShader(DWORD slot);
void ReleasePixelShader(DWORD slot);

// The material that already uses a texture file: the first block in use of another material that
// holds it (what the texture tables name in their mismatch reports).
const char* TextureUser(const char* diskName, const char* requester);

}  // namespace materialtables
