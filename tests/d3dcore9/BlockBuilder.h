// State blocks made by hand, recorded as the material loader records them.
#pragma once

#include "d3dcore9/D3DCore.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <vector>

// A render state, or with Stage set a stage state of stage Index.
struct RecordedState {
    bool Stage;
    DWORD Index, State, Value;
};
inline RecordedState rs(DWORD state, DWORD value) { return {false, 0, state, value}; }
inline RecordedState ss(DWORD stage, DWORD state, DWORD value) { return {true, stage, state, value}; }

inline char* copyText(const char* s)
{
    char* copy = new char[std::strlen(s) + 1];
    std::strcpy(copy, s);
    return copy;
}

inline TexNames texNames(std::initializer_list<const char*> list)
{
    TexNames t;
    for (const char* n : list) std::strcpy(t.Name[t.TotalNames++], n);
    return t;
}

inline void record(StateList* list, const std::vector<RecordedState>& states)
{
    for (const RecordedState& s : states) {
        StateNode* node = new StateNode();
        node->Type = s.Stage ? NODE_STAGESTATE : NODE_RENDERSTATE;
        node->Stage = s.Index;
        node->State = s.State;
        node->Value = s.Value;
        list->Append(node);
    }
}

// A named material with stages.size() passes, pass p holding passes[p].
inline GMaterial* newMaterial(const char* name, std::vector<DWORD> stages, std::vector<std::vector<RecordedState>> passes = {},
                              DWORD fvf = D3DFVF_XYZ | D3DFVF_DIFFUSE)
{
    GMaterial* GM = new GMaterial();
    GM->Name = copyText(name);
    GM->FVFFormat.D3DFlags = fvf;
    GM->Passes = static_cast<DWORD>(stages.size());
    for (size_t p = 0; p < stages.size(); ++p) {
        GM->Stages[p] = stages[p];
        if (p < passes.size()) record(&GM->PassStates[p], passes[p]);
    }
    return GM;
}

// The block of the name and textures; a new one gets the material, a shared one keeps its own.
inline StateBlock* makeBlock(GMaterial* GM, const TexNames& textures = TexNames(), float red = 1.0f)
{
    const float colour[3] = {red, 1, 1};
    DWORD handle = SB_NONE;
    EXPECT_TRUE(D3DCore.StateBlocks.CreateSB(GM->Name, textures, colour, colour, &handle));
    StateBlock* SB = D3DCore.StateBlocks.GetSB(handle);
    if (SB && !SB->GMaterial) SB->GMaterial = GM;
    else GM->Release();
    return SB;
}

inline DWORD handleOf(const StateBlock* SB) { return D3DCore.StateBlocks.HandleOf(SB); }

// The border material the screen margin is drawn with.
inline DWORD borderBlock()
{
    return handleOf(makeBlock(newMaterial("border", {1},
                                          {{rs(D3DRS_ZENABLE, D3DZB_FALSE), rs(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA),
                                            rs(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA),
                                            ss(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1), ss(0, D3DTSS_COLORARG1, 0),
                                            ss(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1), ss(0, D3DTSS_ALPHAARG1, 0)}},
                                          D3DFVF_XYZRHW | D3DFVF_DIFFUSE)));
}
