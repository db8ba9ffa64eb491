// Reads any bytes as a saved level state of a small level: as the file itself when the first byte
// is odd, else deflated first so that the bytes reach the block reader. The level has wired script
// objects and the tree clumps of the sample clump file (ClumpWorld.h), so blocks named
// "Clump_000_000" and the like reach the clumps. Every object made must be released again, and the
// list pool come back.
#include "ClumpWorld.h"
#include "FuzzSupport.h"
#include "WiredKinds.h"
#include "gameobjects/CollisionObjectResourceManager.h"
#include "gameobjects/GameObjectManager.h"
#include "gameobjects/GameTree.h"
#include "gameobjects/SampleObjectResourceManager.h"
#include "utility/LList.h"
#include "winfile/Compress.h"

#include <filesystem>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    static testkinds::World* world = nullptr;
    static testkinds::WiredManager* manager = nullptr;
    static CSampleObjectResourceManager* misc = nullptr;
    static uint32_t poolBaseline = 0;
    if (!world) {
        world = new testkinds::World;
        // The misc-object manager makes the tree clumps; the wired objects take another id.
        manager = new testkinds::WiredManager(CResourceManager::MANAGER_HERDS, world->log);
        misc = new CSampleObjectResourceManager;
        for (CResourceManager* pManager : {static_cast<CResourceManager*>(manager), static_cast<CResourceManager*>(misc),
                                           static_cast<CResourceManager*>(new CCollisionObjectResourceManager)})
            world->pObjects->registerResourceManager(pManager);
        if (!clumpworld::bringUpDevice()) abort();
        clumpworld::shapeWorld(getProjData().getWorldMgr());
        poolBaseline = llistElementsInUse();
        std::filesystem::create_directories("data/savedstates");
    }
    if (size == 0) return 0;
    const std::vector<uint8_t> body(data + 1, data + size);
    std::vector<uint8_t> file = body;
    if ((data[0] & 1) == 0 && !body.empty()) {
        file.resize(body.size() + 13);
        uint32_t packed = static_cast<uint32_t>(file.size());
        if (!deflateBuffer(body.data(), file.data(), static_cast<uint32_t>(body.size()), &packed)) abort();
        file.resize(packed);
    }
    fuzz::writeInput("data/savedstates/c01m2.pst", file.data(), file.size());

    for (const char* name : {"tank", "gate", "sp-unit", "Wrecks_x"})
        world->createFromText(std::string("TestActive\n{\ninstancename ") + name + "\n}\n");
    if (!CGameTree::loadTreeClumps("data\\clumps\\demo.clump", false)) abort();
    world->pObjects->update();
    world->pObjects->loadState(1, 2, true);
    world->pObjects->releaseAllObjects();
    CGameTree::unload();
    if (manager->getNumLive() != 0 || misc->getNumLive() != 0) abort();
    if (llistElementsInUse() != poolBaseline) abort();
    world->log.calls.clear();
    return 0;
}
