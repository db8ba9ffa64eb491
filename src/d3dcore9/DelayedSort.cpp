// The delayed sorted pass: blocks recorded while display lists are drawn, sorted far to near and
// drawn at the end of the scene.
#include "d3dcore9/DelayedSort.h"

#include "d3dcore9/D3DCore.h"
#include "d3dcore9/MaterialAnimation.h"
#include "utility/Assert.h"
#include "utility/VectorMath.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

const DWORD FOG_BLACK = 0xFF000000u;

// A distance as a key: truncated, 0..65535; a negative sum (or not a number) gives 0.
DWORD keyOf(float distance)
{
    if (!(distance > 0)) return 0;
    if (distance >= 65535.0f) return 65535;
    return static_cast<DWORD>(distance);
}

// The state block a recorded entry is drawn with.
StateBlock* entryBlock(const DelayedEntry& e)
{
    const MultiBlock& MM = e.Block->MultiBlock;
    const DWORD handle = e.AutoTransparent ? MM.TransparentBlock
                                           : (e.Choice < MAXSTATEBLOCKCHOICES ? MM.StateBlock[e.Choice] : SB_NONE);
    StateBlock* SB = handle != SB_NONE ? D3DCore.StateBlocks.GetSB(handle) : nullptr;
    return SB && SB->GMaterial ? SB : nullptr;
}

}  // namespace

// ---- Tables ----

void DelayedSortTables::Reset()
{
    NextEntry = DelayMatBlocks = DelayMatrices = VSFill = PSFill = 0;
    ClearSort();
}

void DelayedSortTables::ClearSort()
{
    NextSortEntry = 0;
    std::fill(std::begin(Low), std::end(Low), nullptr);
    std::fill(std::begin(High), std::end(High), nullptr);
}

SortEntry* DelayedSortTables::Push(DelayedEntry* entry, VertexList* list, DWORD key)
{
    if (NextSortEntry >= MAXSORTEDOBJECTS) return nullptr;
    SortEntry& s = Sort[NextSortEntry++];
    s.Entry = entry;
    s.List = list;
    s.Vertex[0] = s.Vertex[1] = s.Vertex[2] = nullptr;
    s.Key = key & 0xFFFF;
    s.Next = Low[s.Key & 255];
    Low[s.Key & 255] = &s;
    return &s;
}

int32_t DelayedSortTables::Order()
{
    // Low bytes upwards onto the heads of the high-byte buckets: each high bucket then reads in
    // descending key order, and equal keys in the order they were pushed.
    for (int b = 0; b < 256; ++b)
        for (SortEntry* s = Low[b]; s;) {
            SortEntry* next = s->Next;
            s->Next = High[s->Key >> 8];
            High[s->Key >> 8] = s;
            s = next;
        }
    int32_t n = 0;
    for (int b = 255; b >= 0; --b)
        for (SortEntry* s = High[b]; s; s = s->Next) Ordered[n++] = s;
    return n;
}

void DelayedSortTables::Forget(const MatBlock* block)
{
    for (int32_t i = 0; i < NextEntry; ++i)
        if (Entries[i].Block == block) Entries[i].Block = nullptr;
}

// ---- Recording ----

void D3DCore::RecordDelayed(MatBlock* p, StateBlock* SB, BYTE AutoTransparent, DWORD Colour)
{
    DelayedSortTables& T = Delayed;
    if (T.NextEntry >= MAXSORTEDOBJECTS) return;
    const GMaterial* GM = SB->GMaterial;
    DelayedEntry& e = T.Entries[T.NextEntry];
    e = DelayedEntry{};
    e.World = WorldMatrix;
    e.Block = p;
    e.Colour = Colour;
    e.Choice = static_cast<BYTE>(p->Material);
    e.AutoTransparent = AutoTransparent;
    e.FogEnabled = FogEnabled;
    e.RenderFlags = RenderFlags;
    // Callers tint a shared material object by object, so the factor it holds now is this block's.
    const StateBlock* drawn = entryBlock(e);
    e.TextureFactor = (drawn ? drawn->GMaterial : GM)->TextureFactor;
    if (GM->TextureMatrixCount) {
        int32_t needed = 0;
        for (DWORD pass = 0; pass < GM->Passes && pass < MAXPASSES; ++pass)
            for (DWORD stage = 0; stage < MAXSBSTAGES; ++stage) needed += GM->TextureMatrix[pass][stage] != nullptr;
        // Nothing is written past the tables: a block that does not fit is not drawn.
        if (!VERIFY(T.DelayMatBlocks < MAXDELAYEDMATBLOCKS)) return;
        if (T.DelayMatrices + needed > MAXDELAYEDMATRICES) {
            assertFailed("DelayMatrices < MAXDELAYEDMATRICES", __FILE__, __LINE__);
            return;
        }
        DelayedMatBlock& mb = T.MatBlocks[T.DelayMatBlocks++];
        mb = DelayedMatBlock{};
        for (DWORD pass = 0; pass < GM->Passes && pass < MAXPASSES; ++pass)
            for (DWORD stage = 0; stage < MAXSBSTAGES; ++stage)
                if (const D3DMATRIX* m = GM->TextureMatrix[pass][stage]) {
                    T.Matrices[T.DelayMatrices] = *m;
                    mb.Matrix[pass][stage] = &T.Matrices[T.DelayMatrices++];
                }
        e.TextureMatrices = &mb;
    }
    // The shader constants set for this object, kept until it is drawn.
    auto keep = [&](int32_t first, int32_t last, int32_t limit, float (*cache)[4], float* pool, int32_t& fill,
                    int32_t poolSize, float*& out, BYTE& outFirst, BYTE& outCount) {
        if (first > last) return true;
        if (!VERIFY(first >= 0 && last <= limit)) return false;
        const int32_t floats = (last - first + 1) * 4;
        if (fill + floats > poolSize) return false;
        std::memcpy(pool + fill, cache[first], sizeof(float) * static_cast<size_t>(floats));
        out = pool + fill;
        outFirst = static_cast<BYTE>(first);
        outCount = static_cast<BYTE>(last - first + 1);
        fill += floats;
        return true;
    };
    if (!keep(GM->VSRegisterMin, GM->VSRegisterMax, MAX_VS_CONSTANTS - 1, VertexShaderConstants, T.VSPool, T.VSFill,
              DELAYED_VS_FLOATS, e.VertexShaderRegisters, e.FirstVSRegister, e.VSRegisterCount))
        return;
    if (!keep(GM->PSRegisterMin, GM->PSRegisterMax, MAX_PS_CONSTANTS - 1, PixelShaderConstants, T.PSPool, T.PSFill,
              DELAYED_PS_FLOATS, e.PixelShaderRegisters, e.FirstPSRegister, e.PSRegisterCount))
        return;
    ++T.NextEntry;
}

// ---- The sorted pass ----

// Sort entries of one recorded block; false once the sort table is full.
bool D3DCore::SortEntries(DelayedEntry& e, StateBlock* SB)
{
    DelayedSortTables& T = Delayed;
    const GMaterial* GM = SB->GMaterial;
    auto push = [&](VertexList* v, DWORD key) {
        SortEntry* s = T.Push(&e, v, key);
        if (!s) assertFailedMsg("Too many delayed sorted objects!", "NextEntry < MAXSORTEDOBJECTS", __FILE__, __LINE__);
        return s;
    };
    const D3DMATRIX& W = e.World;
    if (GM->DelayedSort == SORT_MATERIAL) {
        for (VertexList* v = e.Block->VertexLists.First; v; v = v->Next) {
            const float* c = v->Centre;
            float d2 = 0;
            for (int k = 0; k < 3; ++k) {
                const float d = c[0] * W.m[0][k] + c[1] * W.m[1][k] + c[2] * W.m[2][k] + W.m[3][k] - CameraPosition[k];
                d2 += d * d;
            }
            if (!push(v, keyOf((d2 == 0 ? 0.0f : fastSqrt(d2)) + GM->SortBias))) return false;
        }
        return true;
    }
    if (GM->DelayedSort != SORT_POLY) {
        for (VertexList* v = e.Block->VertexLists.First; v; v = v->Next)
            if (!push(v, 0)) return false;
        return true;
    }
    // Per triangle, in the object's space: the camera taken back through the world matrix's
    // rotation, its scale undone as the material says.
    float s[3], R[3][3];
    for (int i = 0; i < 3; ++i) {
        s[i] = W.m[i][0] * W.m[i][0] + W.m[i][1] * W.m[i][1] + W.m[i][2] * W.m[i][2];
        for (int j = 0; j < 3; ++j) R[i][j] = W.m[i][j];
    }
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const float by = GM->SortScale == 1 ? s[0] : (GM->SortScale == 2 ? s[i] : 1.0f);
            if (by != 0) R[i][j] /= by;
        }
    float local[3];
    for (int j = 0; j < 3; ++j) {
        local[j] = 0;
        for (int i = 0; i < 3; ++i) local[j] += (CameraPosition[i] - W.m[3][i]) * R[j][i];
    }
    for (VertexList* v = e.Block->VertexLists.First; v; v = v->Next) {
        // Lists that cannot be read as triangles of the system copy are passed over.
        if (!VERIFY(v->Indices != 0) || !VERIFY(v->ListType == D3DPT_TRIANGLELIST) || !v->SysIndexBuffer ||
            !v->SysVertexBuffer || v->FVFSize < 12)
            continue;
        const uint16_t* index = reinterpret_cast<const uint16_t*>(v->SysIndexBuffer);
        for (int32_t t = 0; t + 3 <= v->Indices; t += 3) {
            const BYTE* corner[3];
            float centre[3] = {0, 0, 0};
            bool inside = true;
            for (int k = 0; k < 3; ++k) {
                inside = inside && index[t + k] < v->Vertices;
                if (!inside) break;
                corner[k] = v->SysVertexBuffer + static_cast<size_t>(index[t + k]) * v->FVFSize;
                float p[3];
                std::memcpy(p, corner[k], sizeof(p));
                for (int j = 0; j < 3; ++j) centre[j] += p[j];
            }
            if (!inside) continue;
            float d[3];
            for (int j = 0; j < 3; ++j) d[j] = centre[j] * 0.33333334f - local[j];
            float distance;
            if (GM->SortScale == 1)
                distance = std::sqrt((d[0] * d[0] + d[1] * d[1] + d[2] * d[2]) * s[0]);
            else if (GM->SortScale == 2)
                distance = std::sqrt(d[0] * d[0] * s[0] + d[1] * d[1] * s[1] + d[2] * d[2] * s[2]);
            else
                distance = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            SortEntry* se = push(v, keyOf(distance + GM->SortBias));
            if (!se) return false;
            for (int k = 0; k < 3; ++k) se->Vertex[k] = corner[k];
        }
    }
    return true;
}

void D3DCore::DrawDelayedSorted()
{
    DelayedSortTables& T = Delayed;
    if (T.NextEntry == 0) return;
    T.ClearSort();
    for (int32_t i = 0; i < T.NextEntry; ++i) {
        DelayedEntry& e = T.Entries[i];
        if (!e.Block) continue;
        RenderFlags = e.RenderFlags;
        StateBlock* SB = entryBlock(e);
        if (!SB || !VERIFY(SB->GMaterial->DelayedSort)) continue;
        if (!SortEntries(e, SB)) break;
    }
    const int32_t n = T.Order();
    if (n == 0) return;
    DelayedEntry* previous = T.Ordered[0]->Entry;
    SetWorldMatrix(previous->World);
    for (int32_t k = 0; k < n;) k = DrawSorted(k, n, previous);
    EnableFog(false);
}

namespace {

// The entry's static texture matrices of a pass on (COUNT2) or off again.
void delayedMatrices(const DelayedEntry* e, DWORD pass, bool on)
{
    if (!e->TextureMatrices) return;
    for (DWORD stage = 0; stage < MAXSBSTAGES; ++stage)
        if (const D3DMATRIX* m = e->TextureMatrices->Matrix[pass][stage]) {
            if (on)
                D3DCore.SetTextureMatrix(stage, D3DTTFF_COUNT2, *m);
            else
                D3DCore.SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
        }
}

// A pass of the entry's state block with the material's factor as it was queued, not the one the
// last object drawn left in it; the material keeps its own.
void applyQueued(StateBlock* SB, const DelayedEntry* e, DWORD pass, DWORD fvf)
{
    GMaterial* GM = SB->GMaterial;
    const DWORD now = GM->TextureFactor;
    GM->TextureFactor = e->TextureFactor;
    D3DCore.ApplyStateBlock(SB, pass, fvf);
    GM->TextureFactor = now;
}

}  // namespace

int32_t D3DCore::DrawSorted(int32_t k, int32_t n, DelayedEntry*& previous)
{
    DelayedSortTables& T = Delayed;
    SortEntry* s = T.Ordered[k];
    DelayedEntry* e = s->Entry;
    StateBlock* SB = entryBlock(*e);
    GMaterial* GM = SB->GMaterial;
    // The constants the object had when it was drawn go back into the caches.
    if (e->VertexShaderRegisters)
        if (float* c = GetVertexShaderConstants(e->FirstVSRegister, e->VSRegisterCount))
            std::memcpy(c, e->VertexShaderRegisters, sizeof(float) * 4 * e->VSRegisterCount);
    if (e->PixelShaderRegisters)
        if (float* c = GetPixelShaderConstants(e->FirstPSRegister, e->PSRegisterCount))
            std::memcpy(c, e->PixelShaderRegisters, sizeof(float) * 4 * e->PSRegisterCount);
    if (e != previous) {
        SetWorldMatrix(e->World);
        previous = e;
    }
    const DWORD passes = std::min<DWORD>(GM->Passes, MAXPASSES);

    if (GM->DelayedSort == SORT_POLY) {
        // One run: the consecutive triangles of this entry, sent through the dynamic buffer.
        int32_t run = 1;
        while (k + run < n && T.Ordered[k + run]->Entry == e) ++run;
        const int32_t h = GM->DynamicVB;
        if (!VERIFY(TotalDynamicVertexBuffers9 > h) || h < 0) return k + run;
        DynamicVB& vb = DynamicVertexBuffer9[h];
        const DWORD size = vb.FVFSize;
        if (!VERIFY(size == s->List->FVFSize)) return k + run;
        // A lock may take a third of the buffer: longer runs go in several.
        const int32_t perLock = static_cast<int32_t>(vb.MaxVertices / 3 / 3);
        if (perLock <= 0) return k + run;
        SetRenderState(D3DRS_TEXTUREFACTOR, ApplyColourModifiers(GM, e->Colour));
        for (int32_t first = k; first < k + run; first += perLock) {
            const int32_t triangles = std::min(perLock, k + run - first);
            BYTE* out = static_cast<BYTE*>(vb.Lock(static_cast<uint32_t>(triangles * 3)));
            if (!out) break;
            for (int32_t t = 0; t < triangles; ++t)
                for (const BYTE* corner : T.Ordered[first + t]->Vertex) {
                    std::memcpy(out, corner, size);
                    out += size;
                }
            vb.Unlock();
            for (DWORD pass = 0; pass < passes; ++pass) {
                delayedMatrices(e, pass, true);
                applyQueued(SB, e, pass, 0);
                vb.DrawTriList(-1);
                delayedMatrices(e, pass, false);
            }
        }
        return k + run;
    }

    VertexList* v = s->List;
    SetRenderState(D3DRS_TEXTUREFACTOR, ApplyColourModifiers(GM, e->Colour));
    if (GM->Lit) SetMaterialColours(SB);
    if ((e->FogEnabled != 0) != (FogEnabled != 0)) EnableFog(e->FogEnabled != 0);
    if (GM->BlackFog) SetRenderState(D3DRS_FOGCOLOR, FOG_BLACK);
    for (DWORD pass = 0; pass < passes; ++pass) {
        bool animated = false;
        if (pass == 0) {
            RenderFlags = e->RenderFlags;
            for (DWORD stage = 0; stage < MAXSBSTAGES; ++stage)
                if (GM->Animation[stage]) {
                    ApplyTextureAnimation(GM, stage);
                    animated = true;
                }
        }
        delayedMatrices(e, pass, true);
        applyQueued(SB, e, pass, v->FVF);
        DrawVertexList(v, GM);
        if (GM->BlackFog)
            SetRenderState(D3DRS_FOGCOLOR, FOG_BLACK | ((FogR & 0xFF) << 16) | ((FogG & 0xFF) << 8) | (FogB & 0xFF));
        if (animated)
            for (DWORD stage = 0; stage < MAXSBSTAGES; ++stage)
                if (GM->Animation[stage] && GM->Animation[stage]->UVType != MaterialAnimation::UV_NOMATRIX)
                    SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
        delayedMatrices(e, pass, false);
    }
    return k + 1;
}
