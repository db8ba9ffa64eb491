// The tables of the delayed sorted pass: DrawDisplayList records each block of a delayed-sort
// material with what it needs to be drawn later (world matrix, colour, fog, shader constants,
// texture matrices); at the end of the scene DrawDelayedSorted turns them into sort entries (one
// per vertex list, or per triangle for SORT_POLY), orders them far to near with a two-pass bucket
// sort on a 16-bit key and draws them. Every table is fixed; BeginScene empties them.
#pragma once

#include "d3dcore9/StateBlock.h"
#include "platform/d3d9.h"

#include <cstdint>

const int32_t MAXSORTEDOBJECTS = 2048;
const int32_t MAXDELAYEDMATBLOCKS = 100;
const int32_t MAXDELAYEDMATRICES = 200;
const int32_t DELAYED_VS_FLOATS = 16384;  // 4096 registers
const int32_t DELAYED_PS_FLOATS = 4096;   // 1024 registers

struct MatBlock;
class VertexList;

// The static texture matrices of a recorded block, per pass and stage (null: none).
struct DelayedMatBlock {
    D3DMATRIX* Matrix[MAXPASSES][MAXSBSTAGES];
};

struct DelayedEntry {
    D3DMATRIX World;
    MatBlock* Block;      // null once its display list is deleted
    DWORD Colour;         // texture factor before the colour modifiers
    DWORD TextureFactor;  // the material's own factor as it was queued, which its passes apply
    BYTE Choice;
    BYTE AutoTransparent;
    BYTE FogEnabled;
    DWORD RenderFlags;
    float* VertexShaderRegisters;
    BYTE FirstVSRegister, VSRegisterCount;
    float* PixelShaderRegisters;
    BYTE FirstPSRegister, PSRegisterCount;
    DelayedMatBlock* TextureMatrices;
};

struct SortEntry {
    DelayedEntry* Entry;
    VertexList* List;         // the list drawn (per-triangle entries: the list the triangle is in)
    const BYTE* Vertex[3];    // per-triangle entries: the vertices in the list's system copy
    DWORD Key;                // 0..65535, drawn from the highest
    SortEntry* Next;          // in its bucket
};

struct DelayedSortTables {
    DelayedEntry Entries[MAXSORTEDOBJECTS];
    int32_t NextEntry = 0;
    DelayedMatBlock MatBlocks[MAXDELAYEDMATBLOCKS];
    int32_t DelayMatBlocks = 0;
    D3DMATRIX Matrices[MAXDELAYEDMATRICES];
    int32_t DelayMatrices = 0;
    float VSPool[DELAYED_VS_FLOATS];
    int32_t VSFill = 0;
    float PSPool[DELAYED_PS_FLOATS];
    int32_t PSFill = 0;
    SortEntry Sort[MAXSORTEDOBJECTS];
    int32_t NextSortEntry = 0;
    SortEntry* Low[256];
    SortEntry* High[256];
    SortEntry* Ordered[MAXSORTEDOBJECTS];  // drawing order

    // Empty for a new scene.
    void Reset();
    // The start of a sorted pass: no sort entries, empty buckets.
    void ClearSort();
    // Adds an entry at the head of its low-byte bucket; null when the table is full.
    SortEntry* Push(DelayedEntry* entry, VertexList* list, DWORD key);
    // The second pass: by high byte into Ordered, farthest first, ties in the order they were
    // pushed. Returns the count.
    int32_t Order();
    // Forgets the entries of a block about to be freed.
    void Forget(const MatBlock* block);
};
