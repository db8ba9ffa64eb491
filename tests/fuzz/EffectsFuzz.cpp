// Reads any bytes as an effect definitions file: precaches every "instancename" it holds, starts
// each effect, and runs 64 updates and the five passes on the reference device, with the logging test
// kind ("TESTEFFECT") beside the game's kinds. Every effect must end with the manager.
#include "EffectTestKind.h"
#include "FuzzSupport.h"
#include "d3dcore9/D3DCore.h"
#include "effects/Effect.h"
#include "effects/EffectManager.h"
#include "global/ProjData.h"
#include "platform/testing.h"
#include "utility/ParamBlock.h"

#include <string>
#include <vector>

namespace {

void bringUp()
{
    static bool done = false;
    if (done) return;
    done = true;
    std::filesystem::create_directories("data");
    const char codes[] = "3\nDXT1\nDXT3\nDXT5\n";
    fuzz::writeInput("data/4CC.txt", reinterpret_cast<const uint8_t*>(codes), sizeof(codes) - 1);
    platform::testing::resetD3D9();
    if (DXSetup::Load() != 0) abort();
    DXSetup::SetEnumFilter(GameEnumFilter());
    if (!D3DCore.Init()) abort();
    const int32_t mode = D3DCore.FindMode(0, 0, 640, 480);
    D3DCore.SetMode(0, 0, mode, D3DCore.FindFormat(0, 0, mode, 32), 0, 0, true, 0, 0, 0);
    if (!D3DCore.CreateDevice(false, false, 1)) abort();
    createProjData();
    installTestKind();
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    bringUp();
    effectLog().clear();
    renderedEffects().clear();
    fuzz::writeInput("effects.txt", data, size);
    const std::vector<std::string> names = instanceNames("effects.txt");
    {
        CEffectManager manager;
        if (manager.ReadBlocks("effects.txt"))
            for (const std::string& name : names) manager.PrecacheEffect(name.c_str());
        manager.FreeBlocks();
        Matrix3 orientation;
        for (const std::string& name : names) manager.CreateEffect(name.c_str(), Vector3(1, 2, 3), orientation, 0, nullptr, nullptr);
        // Long enough for particles to launch, fall, bounce, die and come back; drawn now and then.
        for (int frame = 0; frame < 64; ++frame) {
            getProjData().GameTime += 400;
            manager.Update();
            if (frame % 16 > 2) continue;
            D3DCore.BeginScene(true, false);
            manager.Render(0.5f);
            D3DCore.EndScene(true);
        }
    }
    if (logged("create").size() != logged("delete").size()) abort();
    return 0;
}
