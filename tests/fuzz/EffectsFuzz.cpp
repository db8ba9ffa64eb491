// Reads any bytes as an effect definitions file: precaches every "instancename" it holds, starts
// each effect, and runs 64 updates and the five passes through the render façade on the null
// renderer, with the particle materials and the debris model at hand, with the logging test
// kind ("TESTEFFECT") beside the game's kinds. One manager serves every input: once the effects
// started are destroyed and the names unprecached it must hold nothing.
#include "EffectTestKind.h"
#include "FuzzSupport.h"
#include "d3dcore9/D3DCore.h"
#include "d3dcore9/RenderCoreStart.h"
#include "effects/Effect.h"
#include "effects/EffectManager.h"
#include "global/ProjData.h"
#include "l3render/L3Render.h"
#include "platform/testing.h"
#include "utility/LList.h"
#include "utility/ParamBlock.h"

#include <string>
#include <vector>

namespace {

void bringUp()
{
    const char codes[] = "3\nDXT1\nDXT3\nDXT5\n";
    fuzz::writeInput("data/4CC.txt", codes, sizeof(codes) - 1);
    // The core materials, the particle materials and textures, and the debris model, as shipped.
    for (const char* name : {"renderdefault.txt", "font.mtl", "font.tga", "letterbox.mtl", "fallbackmaterials/vc.mtl",
                             "fallbackmaterials/t1.mtl", "fallbackmaterials/t1_vc.mtl", "models/debris.rsm",
                             "models/debris.mtl", "models/demo.tga", "particles/PartLinearAdd.mtl",
                             "particles/PartLinearBlend.mtl", "particles/smoke.tga", "particles/trail.tga"})
        fuzz::holdShipped(name);
    platform::testing::resetD3D9();
    llistInitElementPool();
    if (DXSetup::Load() != 0) abort();
    DXSetup::SetEnumFilter(GameEnumFilter());
    RenderCoreSettings settings;
    settings.FullScreen = false;
    if (!L3Init() || !SelectRenderMode(settings) || !L3CreateDevice(false, false, 1)) abort();
    D3DCore.FrameStatsEnabled = 0;  // the statistics overlay is no effect's
    L3SetViewFromAngles(Vector3(-500, 0, 0), 0, 0, 0);
    createProjData();
    installTestKind();
    new CEffectManager;
}

// The instance names of the top-level blocks, as the file spells them.
std::vector<std::string> instanceNames(const char* fileName)
{
    std::vector<std::string> names;
    blockList blocks;
    loadBlocks(fileName, blocks, 64);
    char name[64];
    for (const TPtrNode<CParamBlock>* node = blocks.pHead; node; node = node->pNext)
        if (node->pObject->parseString("instancename", name)) names.push_back(name);
    deleteBlockList(blocks);
    return names;
}

}  // namespace

// Before the first input, so that what lives for the whole run is not taken for a leak of one.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::setUp();
    bringUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    effectLog().clear();
    renderedEffects().clear();
    const fuzz::InputFile input("effects.txt", data, size);
    const std::vector<std::string> names = instanceNames("effects.txt");
    CEffectManager& manager = *pTheEffectManager;
    if (manager.ReadBlocks("effects.txt"))
        for (const std::string& name : names) manager.PrecacheEffect(name.c_str());
    manager.FreeBlocks();
    std::vector<CEffect*> started;
    for (const std::string& name : names)
        started.push_back(manager.CreateEffect(name.c_str(), Vector3(1, 2, 3), Matrix3(), 0, nullptr, nullptr));
    // Long enough for particles to launch, fall, bounce, die and come back; drawn now and then. A
    // file whose effects keep starting more has shown what it does once they number thousands.
    for (int frame = 0; frame < 64 && manager.GetNumEffects() < 2000; ++frame) {
        getProjData().GameTime += 400;
        manager.Update();
        if (frame % 16 > 2) continue;
        D3DCore.BeginScene(true, false);
        manager.Render(0.5f);
        D3DCore.EndScene(true);
    }
    // Every effect was started here or by one started here, and goes with it.
    for (CEffect* effect : started)
        if (manager.IsLive(effect)) manager.DestroyEffect(effect);
    for (const std::string& name : names) manager.UnprecacheEffect(name.c_str());
    if (manager.GetNumEffects() != 0 || manager.GetNumDefinitions() != 0) abort();
    if (logged("create").size() != logged("delete").size()) abort();
    return 0;
}
