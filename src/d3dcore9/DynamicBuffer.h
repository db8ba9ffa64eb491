// Shared dynamic vertex buffers (one per FVF word, D3DCore.DynamicVertexBuffer9) and the one
// dynamic 16-bit index buffer (D3DCore.DynamicIndexBuffer9), each used as a ring: a write that
// fits behind the previous one is appended (NOOVERWRITE), one that does not starts again at the
// front (DISCARD), so a lock never waits for the device.
//
// Per frame: Lock, fill, Unlock, then draw what the last lock covered. A lock that cannot be
// served (more than a third of a vertex buffer, more than the index buffer, none at all, while
// locked, or without a device buffer) returns null and changes nothing: callers skip or split.
#pragma once

#include "platform/d3d9.h"

#include <cstdint>

struct DynamicIB;

struct DynamicVB {
    IDirect3DVertexBuffer9* VB = nullptr;
    DWORD FVF = 0;
    DWORD FVFSize = 0;       // bytes per vertex
    int32_t FreeVertices = 0;  // left behind the write position
    DWORD NextByte = 0;
    DWORD NextVertex = 0;
    bool Locked = false;
    DWORD LastByte = 0;  // where the last lock began, its size and first vertex
    DWORD LastVertices = 0;
    DWORD LastStartVertex = 0;
    DWORD MaxVertices = 0;
    char Name[48] = {};
    DWORD VerticesUsed = 0;  // handed out, the skipped tail of each wrap included

    void* Lock(uint32_t Vertices);
    void Unlock();
    // Draw the vertices of the last lock (or the first `Vertices` of them).
    void DrawTriList(int Vertices = -1);
    void DrawTriStrip(int Vertices = -1);
    // With FilledVertices -1 both counts come from the last locks.
    void DrawIndexed(DynamicIB& IdxList, int FilledVertices = -1, int FilledIndices = -1);

    // The device buffer of MaxVertices x FVFSize bytes.
    bool CreateBuffer();
};

struct DynamicIB {
    IDirect3DIndexBuffer9* IB = nullptr;
    int32_t FreeIndices = 0;
    DWORD NextByte = 0;
    bool Locked = false;
    DWORD LastByte = 0;
    DWORD LastIndices = 0;
    DWORD MaxIndices = 0;
    DWORD IndicesUsed = 0;

    uint16_t* Lock(uint32_t Indices);
    void Unlock();

    bool CreateBuffer();
};

// The buffer's name from its FVF word: "XYZ" or "XYZRHW", then "+DIFFUSE", "+NORMAL",
// "+SPECULAR" and "+TEX<n>" for what it holds.
void BuildDynamicVBName(DWORD FVF, char* name, size_t size);
