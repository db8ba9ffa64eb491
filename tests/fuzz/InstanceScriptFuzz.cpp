// Reads any bytes as a level's instantiation script through the object manager, with the logging
// test kinds and the game's misc, physics, collision and model managers registered (so the sample
// kinds and placed effects read their keys); every object made must be released again and the list
// pool come back.
#include "FuzzSupport.h"
#include "TestKinds.h"
#include "ai/Events.h"
#include "gameobjects/CollisionObjectResourceManager.h"
#include "gameobjects/GameObjectManager.h"
#include "gameobjects/ModelResourceManager.h"
#include "gameobjects/PhysicsObjectResourceManager.h"
#include "gameobjects/SampleObjectResourceManager.h"
#include "utility/BlockFile.h"
#include "utility/LList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    static testkinds::World* world = nullptr;
    static uint32_t poolBaseline = 0;
    static CSampleObjectResourceManager* misc = nullptr;
    if (!world) {
        world = new testkinds::World;
        misc = new CSampleObjectResourceManager;
        world->pObjects->registerResourceManager(misc);
        world->pObjects->registerResourceManager(new CCollisionObjectResourceManager);
        world->pObjects->registerResourceManager(new CPhysicsObjectResourceManager);
        world->pObjects->registerResourceManager(new CModelResourceManager);
        world->pObjects->initialiseResourceManagers();
        // The kinds' model files are defined at their first use, for good: define them up front so
        // that the pool check sees only what one script leaves behind.
        uint32_t typeId = 0;
        for (const char* model : {"data\\dumb_test_object.rsm", "models\\sphere.rsm"})
            world->pObjects->addDefinition(CResourceManager::MANAGER_MODELS, model, &typeId);
        poolBaseline = llistElementsInUse();
    }
    const fuzz::InputFile input("script.txt", data, size);
    char* text = nullptr;
    blockStartList blocks;
    if (!scanBlocks("script.txt", &text, blocks)) abort();
    world->pObjects->createObjectsFromInstanceScript(blocks);
    deleteBlockStartList(blocks);
    delete[] text;
    world->pObjects->update();
    world->pObjects->releaseAllObjects();
    // The wiring table goes with the level, as at a level's end.
    CEvents::freeAll();
    CEvents::initialise(0);
    if (world->pManager->getNumLive() != 0 || misc->getNumLive() != 0) abort();
    if (llistElementsInUse() != poolBaseline) abort();
    world->log.calls.clear();
    return 0;
}
