// What the drawn effect kinds share: their material (one texture put in the material's place),
// the render pass they are drawn in, the draw state of the camera-facing kinds and colour bytes.
#pragma once

#include "platform/d3d9.h"

#include <cstdint>

class CParamBlock;

class EffectUtils {
public:
    static const char* const DEFAULT_MATERIAL;
    // The vertex format of sprites and trails: position, colour, one texture-coordinate pair.
    static constexpr DWORD VERTEX_FVF = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;

    // The material's state block with the texture (null: the material's own) in place of its first.
    // Names are looked for as given, then under the data folder; a texture also beside its material.
    // One found nowhere is named by its data path: the material under the data folder, the texture
    // beside it (in lower case). A file the user may not read counts as found, for its report.
    // A material that cannot be loaded is reported ("res") and gives 0xFFFFFFFF.
    static DWORD LoadMaterial(const char* material, const char* texture);
    static void ReleaseMaterial(DWORD& handle);
    // "render_type" 0, 1 or 2 into *pType. Missing: false when required (nothing reported: the
    // definition is unreadable), else true with *pType untouched. Another value is reported, false.
    static bool ReadRenderType(const CParamBlock* pBlock, int32_t* pType, bool required);
    // World matrix identity, pass 0 of the material, no vertex shader, VERTEX_FVF. False (reported)
    // for a material that never loaded.
    static bool ApplyDrawState(DWORD material);
    // A colour or alpha from a track: truncated toward zero (saturating; NaN 0), its low 8 bits.
    static uint32_t ColourByte(float value);
    // The same rounded to the nearest integer.
    static uint32_t RoundedColourByte(float value);
};
