// Feeds random bytes as a clump file to the clump manager on the reference device with no renderer
// (ClumpWorld.h: the seeds name the sample box models), changes one element's state, then unloads:
// nothing may be left in the model manager or the buffer allocator.
#include "ClumpWorld.h"
#include "FuzzSupport.h"
#include "kestrune/ClumpManager.h"
#include "matcore9/BufferAllocator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = [] {
        fuzz::setUp();
        if (!clumpworld::bringUp()) abort();
        for (int i = 0; i < 16; ++i) getProjData().getWorldMgr()->getAIMap()->setShadowHeight(i, 15 - i, uint16_t(i * 20));
        return true;
    }();
    (void)ready;
    CBufferAllocator::GetInstance()->EnableRecycling();
    const fuzz::InputFile input("data/clumps/fuzz.clump", data, size);
    {
        CClumpManager clumps;
        if (clumps.LoadClumpFile("data\\clumps\\fuzz.clump") && clumps.GetNumClumpTypes() &&
            clumps.GetClumpType(0)->numClumps)
            clumps.GetClumpType(0)->pClumpList[0].SetElementState(0, data[size / 2] % 7, nullptr, true);
        clumps.Unload();
    }
    if (CModelManager::GetNumElements() || CModelManager::GetNumModels() || CModelManager::GetNumModelInsts() ||
        CBufferAllocator::GetInstance()->BlocksInUse() != 0)
        abort();
    return 0;
}
