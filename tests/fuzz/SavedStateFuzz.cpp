// Reads any bytes as a saved level state of a small level: as the file itself when the first byte
// is odd, else deflated first so that the bytes reach the block reader. The level has wired script
// objects and the tree clumps of the sample clump file (ClumpWorld.h), so blocks named
// "Clump_000_000" and the like reach the clumps. The level is loaded once; after each input it
// restarts as the game restarts a level, keeping its tree clumps (loaded again only when an input
// deleted one). Every other object made must be gone again, and the list pool come back.
#include "ClumpWorld.h"
#include "FuzzSupport.h"
#include "WiredKinds.h"
#include "ai/Events.h"
#include "gameobjects/CollisionObjectResourceManager.h"
#include "gameobjects/GameObjectManager.h"
#include "gameobjects/GameTree.h"
#include "gameobjects/SampleObjectResourceManager.h"
#include "gameobjects/TreeClump.h"
#include "utility/BlockFile.h"
#include "utility/LList.h"
#include "winfile/Compress.h"

#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Level {
    bool quiet = (fuzz::setUp(), true);  // before the world is made
    testkinds::World world;
    testkinds::WiredManager* manager = nullptr;
    CSampleObjectResourceManager* misc = nullptr;
    uint32_t trees = 0;
    uint32_t poolBaseline = 0;
    // The wired objects each input starts with, read once.
    std::vector<CParamBlock*> wired;
    // One stream deflates every input: making its quarter megabyte of state anew for each input
    // took a seventh of the run.
    z_stream stream{};

    Level()
    {
        // The misc-object manager makes the tree clumps; the wired objects take another id.
        manager = new testkinds::WiredManager(CResourceManager::MANAGER_HERDS, world.log);
        misc = new CSampleObjectResourceManager;
        for (CResourceManager* pManager : {static_cast<CResourceManager*>(manager), static_cast<CResourceManager*>(misc),
                                           static_cast<CResourceManager*>(new CCollisionObjectResourceManager)})
            world.pObjects->registerResourceManager(pManager);
        if (!clumpworld::bringUpDevice()) abort();
        clumpworld::shapeWorld(getProjData().getWorldMgr());
        loadTrees();
        for (const char* name : {"tank", "gate", "sp-unit", "Wrecks_x"}) {
            const std::string text = std::string("TestActive\n{\ninstancename ") + name + "\n}\n";
            const char* cursor = text.c_str();
            CParamBlock* pBlock = nullptr;
            if (!parseBlock(cursor, &pBlock, 0, 64)) abort();
            wired.push_back(pBlock);
        }
        if (deflateInit(&stream, Z_DEFAULT_COMPRESSION) != Z_OK) abort();
        // The pool as a restart leaves it.
        restart();
        poolBaseline = llistElementsInUse();
    }
    void loadTrees()
    {
        if (!CGameTree::loadTreeClumps("data\\clumps\\demo.clump", false)) abort();
        world.pObjects->update();
        trees = misc->getNumLive();
    }
    // Whether a tree clump would save a state: one the input restored.
    bool treesChanged()
    {
        bool changed = false;
        for (uint32_t handle : CGameTree::getTreeClumps()) {
            CResource* pResource = nullptr;
            if (!world.pObjects->acquireResource(handle, &pResource) || !pResource) continue;
            CParamBlock* pState = static_cast<CTreeClump*>(pResource)->saveState();
            changed = changed || pState;
            delete pState;
        }
        return changed;
    }
    // As the game restarts a level: everything but the tree clumps deleted, the wiring table made
    // anew, the trees as they stood at the start.
    void restart()
    {
        CGameObjectManager& objects = *world.pObjects;
        objects.resetDeletionTracking();
        const uint32_t keep = CTreeClump::TYPE_ID;
        objects.deleteAllObjectsExcept(&keep, 1);
        objects.update();
        objects.update();
        objects.detachEventWiring();
        CEvents::freeAll();
        CEvents::initialise(0);
        if (misc->getNumLive() == trees) {
            if (treesChanged()) CGameTree::resetAll();
            return;
        }
        objects.releaseAllObjects();
        CGameTree::unload();
        // As at the start: the trees loaded, then a restart over them, so that the list pool stands
        // where it stood then.
        loadTrees();
        restart();
    }
    // The body as deflateBuffer lays it out: the header, the zlib stream and a zero byte, or the
    // header and the body stored when deflating saves no more than that.
    std::vector<uint8_t> deflated(const std::vector<uint8_t>& body)
    {
        const uint32_t size = static_cast<uint32_t>(body.size());
        SDeflateHeader header = {DEFLATE_MAGIC, 0, 0, size, 0};
        std::vector<uint8_t> file(sizeof header + deflateBound(&stream, size) + 1);
        if (deflateReset(&stream) != Z_OK) abort();
        stream.next_in = const_cast<Bytef*>(body.data());
        stream.avail_in = size;
        stream.next_out = file.data() + sizeof header;
        stream.avail_out = static_cast<uInt>(file.size() - sizeof header - 1);
        if (deflate(&stream, Z_FINISH) != Z_STREAM_END) abort();
        const uint32_t packed = static_cast<uint32_t>(stream.total_out);
        if (packed + 13 < size) {
            header.payloadSize = packed;
            file[sizeof header + packed] = 0;
            file.resize(sizeof header + packed + 1);
        } else {
            header.flags = DEFLATE_FLAG_STORED;
            header.payloadSize = size;
            file.resize(sizeof header + size);
            std::memcpy(file.data() + sizeof header, body.data(), size);
        }
        std::memcpy(file.data(), &header, sizeof header);
        return file;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Level& level = *new Level;
    if (size == 0) return 0;
    const std::vector<uint8_t> body(data + 1, data + size);
    const std::vector<uint8_t> file = (data[0] & 1) == 0 && !body.empty() ? level.deflated(body) : body;
    const fuzz::InputFile input("data/savedstates/c01m2.pst", file.data(), file.size());

    for (CParamBlock* pBlock : level.wired) level.world.pObjects->createObjectByName(pBlock->getName(), pBlock, 0);
    level.world.pObjects->update();
    level.world.pObjects->loadState(1, 2, true);
    level.restart();
    if (level.manager->getNumLive() != 0 || level.misc->getNumLive() != level.trees) abort();
    if (llistElementsInUse() != level.poolBaseline) abort();
    level.world.log.calls.clear();
    return 0;
}
