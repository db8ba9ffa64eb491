// The object manager's hot look-ups, each beside the plain container it stands in for: handles
// acquired per second against indexing a std::vector by slot, and instance names found per second
// against a std::unordered_map whose hash and equality ignore case (the query looked up as it is).
#include "../BenchMain.h"
#include "../FoldedNames.h"
#include "TestKinds.h"
#include "ai/Events.h"
#include "gameobjects/GameObjectManager.h"
#include "global/ProjData.h"
#include "utility/LList.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

const uint32_t NUM_OBJECTS = 1000;

// A level of NUM_OBJECTS named active objects, made once for the whole program.
struct Level {
    testkinds::CallLog log;
    CGameObjectManager* pObjects = nullptr;
    std::vector<resourceHandle> handles;
    std::vector<CResource*> bySlot;
    std::vector<std::string> names;

    Level()
    {
        llistInitElementPool();
        createProjData();
        CEvents::initialise(0);
        pObjects = new CGameObjectManager;
        pObjects->registerResourceManager(new testkinds::LoggingManager(0x84000000, log, NUM_OBJECTS));
        char name[32];
        for (uint32_t i = 0; i < NUM_OBJECTS; ++i) {
            snprintf(name, sizeof name, "Object_%04u", i);
            CParamBlock block("TestActive");
            block.addString("instancename", name);
            pObjects->createObjectByName("TestActive", &block, 0);
            resourceHandle handle = 0;
            pObjects->findHandleByName(name, &handle);
            CResource* pResource = nullptr;
            pObjects->acquireResource(handle, &pResource);
            handles.push_back(handle);
            bySlot.push_back(pResource);
            names.push_back(name);
        }
        pObjects->update();
        log.calls.clear();
    }
};

Level& level()
{
    static Level* made = new Level;
    return *made;
}

void BM_AcquireResource(benchmark::State& state)
{
    Level& l = level();
    uint32_t i = 0;
    for (auto _ : state) {
        CResource* pResource = nullptr;
        l.pObjects->acquireResource(l.handles[i], &pResource);
        benchmark::DoNotOptimize(pResource);
        i = (i + 1) % NUM_OBJECTS;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AcquireResource);

void BM_AcquireBaselineVector(benchmark::State& state)
{
    Level& l = level();
    uint32_t i = 0;
    for (auto _ : state) {
        CResource* pResource = l.bySlot[l.handles[i] & CResourceManager::MASK_SLOT];
        benchmark::DoNotOptimize(pResource);
        i = (i + 1) % NUM_OBJECTS;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AcquireBaselineVector);
BENCH_PAIR(BM_AcquireResource, BM_AcquireBaselineVector);

void BM_FindHandleByName(benchmark::State& state)
{
    Level& l = level();
    uint32_t i = 0;
    for (auto _ : state) {
        resourceHandle handle = 0;
        benchmark::DoNotOptimize(l.pObjects->findHandleByName(l.names[i].c_str(), &handle));
        i = (i + 1) % NUM_OBJECTS;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FindHandleByName);

void BM_FindBaselineUnorderedMap(benchmark::State& state)
{
    Level& l = level();
    bench::FoldedMap<resourceHandle> byName;
    for (uint32_t n = 0; n < NUM_OBJECTS; ++n) byName.emplace(l.names[n], l.handles[n]);
    uint32_t i = 0;
    for (auto _ : state) {
        auto it = byName.find(std::string_view(l.names[i].c_str()));
        benchmark::DoNotOptimize(it);
        i = (i + 1) % NUM_OBJECTS;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FindBaselineUnorderedMap);
BENCH_PAIR(BM_FindHandleByName, BM_FindBaselineUnorderedMap);

}  // namespace

VELDRANE_BENCH_MAIN("objects")
