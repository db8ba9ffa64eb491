// Reads any bytes as a saved level state of a small level: as the file itself when the first byte
// is odd, else deflated first so that the bytes reach the block reader. Every object made must be
// released again and the list pool come back.
#include "FuzzSupport.h"
#include "WiredKinds.h"
#include "gameobjects/GameObjectManager.h"
#include "utility/LList.h"
#include "winfile/Compress.h"

#include <filesystem>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    static testkinds::World* world = nullptr;
    static testkinds::WiredManager* manager = nullptr;
    static uint32_t poolBaseline = 0;
    if (!world) {
        world = new testkinds::World;
        manager = new testkinds::WiredManager(CResourceManager::MANAGER_MISC, world->log);
        world->pObjects->registerResourceManager(manager);
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
    world->pObjects->update();
    world->pObjects->loadState(1, 2, true);
    world->pObjects->releaseAllObjects();
    if (manager->getNumLive() != 0) abort();
    if (llistElementsInUse() != poolBaseline) abort();
    world->log.calls.clear();
    return 0;
}
