// Display lists on the scripted card: materials made by hand, quads added as batches.
#pragma once

#include "FrameFixture.h"

#include <cstring>
#include <vector>

struct QuadVertex {  // XYZ | DIFFUSE
    float x, y, z;
    DWORD colour;
};
const DWORD QUAD_FVF = D3DFVF_XYZ | D3DFVF_DIFFUSE;

class DisplayListFixture : public FrameFixture {
protected:
    void TearDown() override
    {
        D3DCore.FreeDisplayHandles();
        D3DCore.StateBlocks.ReleaseAll();
        FrameFixture::TearDown();
    }

    // A one-stage material of the given passes and sort, its format analysed.
    static StateBlock* material(const char* name, DWORD passes = 1, DWORD sort = SORT_NONE, DWORD fvf = QUAD_FVF)
    {
        std::vector<DWORD> stages(passes, 1);
        GMaterial* GM = newMaterial(name, stages, {}, fvf);
        AnalyseFVF(GM->FVFFormat);
        GM->DelayedSort = sort;
        return makeBlock(GM);
    }

    static MultiBlock multi(std::vector<StateBlock*> choices, StateBlock* transparent = nullptr, const char* name = "multi")
    {
        MultiBlock m;
        m.Blocks = static_cast<int32_t>(choices.size());
        for (size_t i = 0; i < choices.size(); ++i) m.StateBlock[i] = handleOf(choices[i]);
        if (transparent) m.TransparentBlock = handleOf(transparent);
        m.MainFVF = choices[0]->GMaterial->FVFFormat;
        m.SetName(name);
        return m;
    }

    // A square of side 2 around (x, y, z) as an indexed triangle list, closed again.
    static VertexList* quad(DisplayHandle* h, const MultiBlock& m, float x, float y, float z, DWORD colour = 0xFFFFFFFF,
                            AddTrisConfig config = AddTrisConfig())
    {
        if (config.Vertices == 0) config.Vertices = 4;
        if (config.Indices == 0) config.Indices = 6;
        void *v = nullptr, *i = nullptr;
        VertexList* list = D3DCore.AddTris(h, &m, &config, &v, &i, nullptr);
        if (!list) return nullptr;
        const QuadVertex q[4] = {{x - 1, y + 1, z, colour}, {x + 1, y + 1, z, colour}, {x - 1, y - 1, z, colour},
                                 {x + 1, y - 1, z, colour}};
        std::memcpy(v, q, sizeof(q));
        const WORD index[6] = {0, 1, 2, 2, 1, 3};
        std::memcpy(i, index, sizeof(index));
        D3DCore.EndAddTris();
        return list;
    }

    static DWORD refs(const StateBlock* SB) { return SB->RefCount; }
};
