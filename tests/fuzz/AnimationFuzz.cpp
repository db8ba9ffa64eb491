// Reads any bytes as an animation text file and plays what loads in every loop mode and direction.
#include "FuzzSupport.h"
#include "animation/Animation.h"
#include "utility/LList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    if (!llistElementPoolExists()) llistInitElementPool();
    const fuzz::InputFile input("input.txt", data, size);
    CAnimation anim("input.txt");
    if (anim.GetAnimError() != ANIM_OK) return 0;
    for (int32_t loopMode = 0; loopMode < 3; ++loopMode) {
        anim.LoopMode = loopMode;
        for (uint32_t elapsed : {0u, 16u, 700u, 33u}) anim.Advance(elapsed);
        anim.SetDirection(CAnimation::DIRECTION_BACKWARD);
        anim.SetTime(0.25f);
        anim.Advance(16);
        anim.SetDirection(CAnimation::DIRECTION_FORWARD);
        anim.IsFinished();
        anim.GetTimeOffset(100);
    }
    CAnimHierarchy& tree = anim.GetHierarchy();
    tree.ForEachPair(tree.RootNode, [](CAnimNode*, CAnimNode*, void*) { return true; }, nullptr);
    return 0;
}
