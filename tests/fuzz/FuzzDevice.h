// The reference device with no renderer, brought up as the game brings it up.
#pragma once

#include "FuzzSupport.h"
#include "ReferenceDevice.h"
#include "d3dcore9/D3DCore.h"
#include "platform/testing.h"

#include <cstdlib>

namespace fuzz {

inline void startDevice()
{
    const char codes[] = "3\nDXT1\nDXT3\nDXT5\n";
    writeInput("data/4CC.txt", codes, sizeof codes - 1);
    if (!bringUpReferenceDevice()) abort();
}

// The state blocks' references as the set-up left them. A fatal report may end a load half way with
// blocks still held: after each input those go, and what the run keeps for every input stays.
class StateBlockBaseline {
public:
    void take()
    {
        for (DWORD i = 0; i < MAXSTATEBLOCKS; ++i) m_refs[i] = D3DCore.StateBlocks.StateBlock[i].RefCount;
    }
    void releaseExtra()
    {
        StateBlockTable& table = D3DCore.StateBlocks;
        for (DWORD i = table.FirstUsed; i <= table.LastUsed && i < MAXSTATEBLOCKS; ++i)
            while (table.StateBlock[i].RefCount > m_refs[i]) table.ReleaseSB(i);
    }

private:
    DWORD m_refs[MAXSTATEBLOCKS] = {};
};

}  // namespace fuzz
