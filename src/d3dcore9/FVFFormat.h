// FVFFormat: the vertex layout of one flexible-vertex-format word (sizes and byte offsets), as the
// render core's buffers and vertex writers use it. Fill D3DFlags, then AnalyseFVF.
#pragma once

#include "platform/d3d9.h"

#include <cstdint>

const int32_t MAX_FVF_TEXSETS = 8;

struct FVFFormat {
    DWORD D3DFlags = 0;
    DWORD Size = 0;  // bytes per vertex
    bool FormatValid = false;
    bool XYZ = false;
    bool RHW = false;
    int32_t Weights = 0;  // 0..5 blend weights
    bool Normal = false;
    bool Diffuse = false;
    bool Specular = false;
    int32_t TexSets = 0;  // 0..8
    DWORD RHWOffset = 0;
    DWORD WeightOffset = 0;
    DWORD NormalOffset = 0;
    DWORD DiffuseOffset = 0;
    DWORD SpecularOffset = 0;
    DWORD TexOffset[MAX_FVF_TEXSETS] = {};

    // The union of this and another valid format (larger weight and texture-set counts, every
    // component of either), analysed again. False, leaving this unchanged, when the two cannot be
    // merged.
    bool Merge(const FVFFormat& FVF2);
};

// Fills the record from its D3DFlags. Every texture set counts two floats, whatever the
// texture-size bits say; more than 8 sets makes the format invalid.
void AnalyseFVF(FVFFormat& format);
