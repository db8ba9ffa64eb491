// The render core's tables of loaded vertex and pixel shaders. A slot is shared by every material
// that names the same shader file (exact, case-sensitive name) and counts them in RefCount. Slot 0
// is never used, so a slot index of 0 means "no shader" wherever materials keep one.
#pragma once

#include "platform/d3d9.h"

#include <cstdint>

const int32_t MAXVERTEXSHADERS = 32;
const int32_t MAXPIXELSHADERS = 32;
// A vertex declaration kept with its shader: at most 16 elements (32 words), end element included.
const int32_t MAXDECLARATIONELEMENTS = 16;

struct VertexShaderTable {
    IDirect3DVertexShader9* VShaderPtr[MAXVERTEXSHADERS];
    IDirect3DVertexDeclaration9* VShaderDec[MAXVERTEXSHADERS];
    int32_t RefCount[MAXVERTEXSHADERS];
    char* Name[MAXVERTEXSHADERS];        // heap copy of the file name; null: the slot is free
    char* Path[MAXVERTEXSHADERS];        // where it was found and read, for reports
    char* Source[MAXVERTEXSHADERS];      // the source text as read, NUL-terminated
    uint32_t SourceSize[MAXVERTEXSHADERS];
    BYTE Keep[MAXVERTEXSHADERS];         // set: the device objects outlive the slot
    D3DVERTEXELEMENT9 Declaration[MAXVERTEXSHADERS][MAXDECLARATIONELEMENTS];
    DWORD Usage[MAXVERTEXSHADERS];       // D3DUSAGE_SOFTWAREPROCESSING when made for software processing
};

struct PixelShaderTable {
    IDirect3DPixelShader9* PShaderPtr[MAXPIXELSHADERS];
    int32_t RefCount[MAXPIXELSHADERS];
    char* Name[MAXPIXELSHADERS];
    char* Path[MAXPIXELSHADERS];
    char* Source[MAXPIXELSHADERS];
    uint32_t SourceSize[MAXPIXELSHADERS];
    BYTE Keep[MAXPIXELSHADERS];
};
