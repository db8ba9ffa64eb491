// The object manager's hot look-ups, each beside the plain container it stands in for: handles
// acquired per second against indexing a std::vector by slot, and instance names found per second
// against a std::unordered_map of lower-cased names.
#include "TestKinds.h"
#include "ai/Events.h"
#include "gameobjects/GameObjectManager.h"
#include "global/ProjData.h"
#include "utility/LList.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <unordered_map>
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

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
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
    std::unordered_map<std::string, resourceHandle> byName;
    for (uint32_t n = 0; n < NUM_OBJECTS; ++n) byName[lower(l.names[n])] = l.handles[n];
    uint32_t i = 0;
    for (auto _ : state) {
        // The query is compared without regard to case, as the object manager does.
        auto it = byName.find(lower(l.names[i]));
        benchmark::DoNotOptimize(it);
        i = (i + 1) % NUM_OBJECTS;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FindBaselineUnorderedMap);

}  // namespace

BENCHMARK_MAIN();
