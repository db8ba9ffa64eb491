// The event wiring and the saved level states, each beside a plain stand-in: sendEvent to 15
// resolved recipients against calling the same handlers in a loop; the per-frame step over a full
// table (of repeating outputs) against a loop over its handlers; and saving plus loading the state
// of 1,000 named objects against the same states written as text, deflated into a file, read back,
// inflated and parsed by hand.
#include "../BenchMain.h"
#include "../FoldedNames.h"
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
#include <map>
#include <string_view>
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
        // Every record the table hands out without a report: each object's output repeats to the
        // next, the last one's to the first, so that every recipient has a record to receive it.
        const uint32_t wired = TABLE_SIZE - 1;
        for (uint32_t i = 0; i < wired; ++i) {
            CEvents* pRecord = CEvents::allocate(objects[i]->getResourceHandle());
            objects[i]->d_pMssgHandler = pRecord;
            pRecord->addInProcess(CEvents::ON_GO, countEvent);
            pRecord->addOutProcess(CEvents::ON_GO, one, 1);
        }
        for (uint32_t i = 0; i < wired; ++i)
            objects[i]->getMssgHandler()->addRecipient(CEvents::ON_GO, objects[(i + 1) % wired]->getInstanceName());
        pSender = objects[0]->getMssgHandler();
        pSender->addOutProcess(CEvents::ON_STOP, one, 0);
        for (uint32_t i = 1; i <= NUM_RECIPIENTS; ++i) {
            pSender->addRecipient(CEvents::ON_STOP, objects[i]->getInstanceName());
            recipients.push_back(objects[i]);
            objects[i]->getMssgHandler()->addInProcess(CEvents::ON_STOP, countEvent);
        }
        // Resolves the names; each repeating output has fired once.
        for (uint32_t i = 0; i < wired; ++i) objects[i]->getMssgHandler()->sendEvent(CEvents::ON_GO);
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
    handlerLoop(state, level().objects.data(), TABLE_SIZE - 1);
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

// The same states saved and loaded by hand: each object's entries written as a block of text,
// deflated with zlib into a file, read back, inflated and parsed line by line into a std::map per
// name, each found again by its name and given its entries.
void BM_SaveAndLoadPlainFile(benchmark::State& state)
{
    Level& l = level();
    struct Saved {
        std::string name;
        std::map<std::string, std::string> entries;
    };
    std::vector<Saved> objects;
    for (CGameObject* pObject : l.objects)
        objects.push_back({pObject->getInstanceName(), static_cast<testkinds::WiredObject*>(pObject)->state});
    bench::FoldedMap<size_t> byName;
    for (size_t i = 0; i < objects.size(); ++i) byName.emplace(objects[i].name, i);
    std::string text;
    std::vector<Bytef> packed, unpacked;
    for (auto _ : state) {
        text.clear();
        for (const Saved& o : objects) {
            text += o.name;
            text += "\n{\n";
            for (const auto& [key, value] : o.entries) text += "\t" + key + "\t" + value + "\n";
            text += "}\n";
        }
        uLongf size = compressBound(text.size());
        packed.resize(size);
        compress(packed.data(), &size, reinterpret_cast<const Bytef*>(text.data()), text.size());
        const uint32_t textSize = static_cast<uint32_t>(text.size());
        FILE* f = fopen("plain.pst", "wb");
        if (!f) return state.SkipWithError("cannot write the file");
        fwrite(&textSize, 4, 1, f);
        fwrite(packed.data(), 1, size, f);
        fclose(f);

        f = fopen("plain.pst", "rb");
        uint32_t readSize = 0;
        if (!f || fread(&readSize, 4, 1, f) != 1) return state.SkipWithError("cannot read the file");
        packed.resize(size);
        const size_t got = fread(packed.data(), 1, packed.size(), f);
        fclose(f);
        unpacked.resize(readSize);
        uLongf unpackedSize = readSize;
        if (uncompress(unpacked.data(), &unpackedSize, packed.data(), got) != Z_OK)
            return state.SkipWithError("cannot inflate the file");
        const char* p = reinterpret_cast<const char*>(unpacked.data());
        const char* end = p + unpackedSize;
        auto line = [&] {
            const char* start = p;
            while (p < end && *p != '\n') ++p;
            std::string_view out(start, static_cast<size_t>(p - start));
            if (p < end) ++p;
            return out;
        };
        while (p < end) {
            const auto found = byName.find(line());
            line();  // {
            std::map<std::string, std::string> entries;
            for (std::string_view entry = line(); entry != "}"; entry = line()) {
                const size_t tab = entry.find('\t', 1);
                entries.emplace(std::string(entry.substr(1, tab - 1)), std::string(entry.substr(tab + 1)));
            }
            if (found != byName.end()) objects[found->second].entries = std::move(entries);
        }
        benchmark::DoNotOptimize(objects.data());
    }
    state.SetItemsProcessed(state.iterations() * NUM_SAVED);
}
BENCHMARK(BM_SaveAndLoadPlainFile)->Unit(benchmark::kMicrosecond);
BENCH_PAIR(BM_SaveAndLoadState, BM_SaveAndLoadPlainFile);

}  // namespace

VELDRANE_BENCH_MAIN("wiring")
