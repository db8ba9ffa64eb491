// Reads any bytes as particle-system definitions and runs every effect that reads for 64 updates,
// moved, fed points, paused, unpaused and triggered on the way, over a small AI map.
#include "FuzzSupport.h"
#include "ai/WorldMgr.h"
#include "effects/particlesystem/ParticleEffect.h"
#include "effects/particlesystem/ParticleEmitter.h"
#include "global/ProjData.h"
#include "platform/win32.h"
#include "utility/BlockFile.h"
#include "utility/LList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    if (!llistElementPoolExists()) llistInitElementPool();
    if (!projDataExists()) {
        createProjData();
        getProjData().pWorldMgr = new CWorldMgr;
        CAIMap* pMap = getProjData().getWorldMgr()->getAIMap();
        pMap->create(16, 16, 4, -32, -32);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) pMap->setHeight(x, y, static_cast<uint16_t>((x * 5 + y * 3) % 7));
    }
    fuzz::writeInput("input.txt", data, size);
    blockList blocks;
    loadBlocks("input.txt", blocks, 64);
    Vector3 points[3] = {Vector3(1, 2, 3), Vector3(-5, 0, 9), Vector3(30, -30, 0)};
    ExtraEffectData shape = {ExtraEffectData::HAS_X_SIZE | ExtraEffectData::HAS_INITIAL_VELOCITY, 3, 0, {0, 0, 1}};
    ParticleEffectExtraData extra = {nullptr, nullptr, &shape};
    for (TPtrNode<CParamBlock>* pNode = blocks.pHead; pNode; pNode = pNode->pNext) {
        const CParamBlock* pBlock = pNode->pObject;
        CParticleEffectDefinition definition;
        if (!definition.Read(pBlock)) continue;
        crtSrand(1);
        CParticleEffect effect(&definition, &extra, Vector3(0, 0, 10), Matrix3());
        if (!effect.IsBuilt()) continue;
        effect.SetFollowedPoints(3, points);
        effect.SetDrift(Vector3(0.5f, 0, 0));
        for (int frame = 0; frame < 64; ++frame) {
            if (!effect.Update()) break;
            effect.Render(frame % 5, 0.5f);
            if (frame == 10) effect.SetPosition(Vector3(20, -10, 3));
            if (frame == 20) effect.PauseEmitter();
            if (frame == 30) effect.UnpauseEmitter();
            if (frame == 40) effect.Trigger(frame & 1);
            if (frame == 50) points[1].z += 100;
        }
    }
    deleteBlockList(blocks);
    return 0;
}
