// The event wiring and the saved level states, each beside a plain stand-in: sendEvent to 15
// resolved recipients against calling the same handlers in a loop, the per-frame step over a full
// table (of repeating outputs) against a loop over its handlers, and saving plus loading the state of 1,000 named objects
// against deflating and inflating the same text with zlib alone.
#include "../BenchMain.h"
#include "WiredKinds.h"
#include "ai/Events.h"
#include "gameobjects/GameObjectManager.h"
#include "global/ProjData.h"
#include "utility/LList.h"
#include "utility/ParamBlock.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const uint32_t NUM_SAVED = 1000;
const uint32_t TABLE_SIZE = CEvents::DEFAULT_MAX_HANDLERS;
const uint32_t NUM_RECIPIENTS = CEvents::MAX_RECIPIENTS;

uint64_t handled = 0;
void countEvent(EventValue value, CGameObject*) { handled += value; }
EventValue one(CGameObject*) { return 1; }

// One level for every benchmark: a full wiring table and 1,000 named objects with a state each;
// the saved states go into the program's folder.
struct Level {
    testkinds::CallLog log;
    CGameObjectManager* pObjects = nullptr;
    std::vector<CGameObject*> objects;
    CEvents* pSender = nullptr;
    std::vector<CGameObject*> recipients;

    Level()
    {
        llistInitElementPool();
        createProjData();
        CEvents::initialise(0);
        pObjects = new CGameObjectManager;
        pObjects->registerResourceManager(
            new testkinds::WiredManager(CResourceManager::MANAGER_MISC, log, NUM_SAVED + 1));
        char name[32];
        for (uint32_t i = 0; i < NUM_SAVED; ++i) {
            snprintf(name, sizeof name, "Object_%04u", i);
            CParamBlock block("TestActive");
            block.addString("instancename", name);
            resourceHandle handle = 0;
            pObjects->createObjectByName("TestActive", &block, 0);
            pObjects->findHandleByName(name, &handle);
            CResource* pResource = nullptr;
            pObjects->acquireResource(handle, &pResource);
            auto* pObject = static_cast<testkinds::WiredObject*>(pResource);
            pObject->state = {{"health", std::to_string(i % 97)}, {"mode", "patrol"}};
            objects.push_back(pObject);
        }
        pObjects->update();
        pObjects->loadState(1, 1, true);  // no file: tracks deletions
        // Every record the table hands out without a report: each object's output repeats to the next.
        for (uint32_t i = 0; i + 1 < TABLE_SIZE; ++i) {
            CEvents* pRecord = CEvents::allocate(objects[i]->getResourceHandle());
            objects[i]->d_pMssgHandler = pRecord;
            pRecord->addInProcess(CEvents::ON_GO, countEvent);
            pRecord->addOutProcess(CEvents::ON_GO, one, 1);
            pRecord->addRecipient(CEvents::ON_GO, objects[i + 1]->getInstanceName());
        }
        pSender = objects[0]->getMssgHandler();
        pSender->addOutProcess(CEvents::ON_STOP, one, 0);
        for (uint32_t i = 1; i <= NUM_RECIPIENTS; ++i) {
            pSender->addRecipient(CEvents::ON_STOP, objects[i]->getInstanceName());
            recipients.push_back(objects[i]);
            objects[i]->getMssgHandler()->addInProcess(CEvents::ON_STOP, countEvent);
        }
        // Resolves the names; each repeating output has fired once.
        for (uint32_t i = 0; i + 1 < TABLE_SIZE; ++i) objects[i]->getMssgHandler()->sendEvent(CEvents::ON_GO);
        pSender->sendEvent(CEvents::ON_STOP);
        log.calls.clear();
    }
};

Level& level()
{
    static Level* made = new Level;
    return *made;
}

void BM_SendEvent(benchmark::State& state)
{
    Level& l = level();
    for (auto _ : state) benchmark::DoNotOptimize(l.pSender->sendEvent(CEvents::ON_STOP));
    state.SetItemsProcessed(state.iterations() * NUM_RECIPIENTS);
}
BENCHMARK(BM_SendEvent);

// The plain stand-in: the same handler called n times in a loop, with the value computed for each.
void handlerLoop(benchmark::State& state, CGameObject* const* objects, uint32_t n)
{
    EventInHandler handlers[TABLE_SIZE];
    std::fill(handlers, handlers + n, countEvent);
    benchmark::DoNotOptimize(handlers);
    for (auto _ : state)
        for (uint32_t i = 0; i < n; ++i) handlers[i](one(objects[i]), objects[i]);
    benchmark::DoNotOptimize(handled);
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_SendBaselineHandlerLoop(benchmark::State& state)
{
    handlerLoop(state, level().recipients.data(), NUM_RECIPIENTS);
}
BENCHMARK(BM_SendBaselineHandlerLoop);
BENCH_PAIR(BM_SendEvent, BM_SendBaselineHandlerLoop);

void BM_UpdateAll(benchmark::State& state)
{
    level();
    for (auto _ : state) CEvents::updateAll();
    state.SetItemsProcessed(state.iterations() * TABLE_SIZE);
}
BENCHMARK(BM_UpdateAll);

void BM_UpdateAllBaselineLoop(benchmark::State& state)
{
    handlerLoop(state, level().objects.data() + 1, TABLE_SIZE - 1);
}
BENCHMARK(BM_UpdateAllBaselineLoop);
BENCH_PAIR(BM_UpdateAll, BM_UpdateAllBaselineLoop);

void BM_SaveAndLoadState(benchmark::State& state)
{
    Level& l = level();
    for (auto _ : state) {
        if (!l.pObjects->saveState(1, 2) || !l.pObjects->loadState(1, 2, true))
            return state.SkipWithError("the state could not be saved and loaded");
        l.log.calls.clear();
    }
    state.SetItemsProcessed(state.iterations() * NUM_SAVED);
}
BENCHMARK(BM_SaveAndLoadState)->Unit(benchmark::kMicrosecond);

void BM_SaveAndLoadBaselineZlib(benchmark::State& state)
{
    Level& l = level();
    // The very text the state file holds.
    l.pObjects->saveState(1, 3);
    const std::string path = "data/savedstates/c01m3.pst";
    std::ifstream in(path, std::ios::binary);
    std::stringstream packed;
    packed << in.rdbuf();
    const std::string file = packed.str();
    if (file.size() < 13) return state.SkipWithError("no saved state to read");
    uint32_t textSize = 0;
    memcpy(&textSize, file.data() + 4, 4);
    std::vector<Bytef> text(textSize), back(textSize), work(compressBound(textSize));
    uLongf size = textSize;
    if (uncompress(text.data(), &size, reinterpret_cast<const Bytef*>(file.data()) + 12, file.size() - 13) != Z_OK)
        return state.SkipWithError("no saved state to read");
    for (auto _ : state) {
        uLongf workSize = work.size(), backSize = back.size();
        compress(work.data(), &workSize, text.data(), textSize);
        uncompress(back.data(), &backSize, work.data(), workSize);
        benchmark::DoNotOptimize(back.data());
    }
    state.SetItemsProcessed(state.iterations() * NUM_SAVED);
}
BENCHMARK(BM_SaveAndLoadBaselineZlib)->Unit(benchmark::kMicrosecond);
BENCH_PAIR(BM_SaveAndLoadState, BM_SaveAndLoadBaselineZlib);

}  // namespace

VELDRANE_BENCH_MAIN("wiring")
