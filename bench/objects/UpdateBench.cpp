// One object-manager update over a level of N objects spread over the land tree, half of them
// moving (dynamic) and half standing (static), against a plain loop over a std::vector of the same
// objects on the heap calling the same (virtual) update and think, and for the contact pass the
// objects sorted into a grid of the tree's cells each step, every pair of a cell with a mover in it
// meeting. Without
// contacts (no object takes part in the contact pass) the step is beside the plain loop alone.
// Figures are per object per step.
#include "../BenchMain.h"
#include "ai/Events.h"
#include "ai/WorldMgr.h"
#include "gamemanagement/SlotResourceManager.h"
#include "gameobjects/GameObjectManager.h"
#include "global/ProjData.h"
#include "utility/LList.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

const uint32_t TYPE_BODY = 0x01000001;
const float CELL_SIZE = 512.0f;
const uint32_t TREE_DEPTH = 4;
const float WORLD_SIZE = CELL_SIZE * (1u << TREE_DEPTH);

class Body : public CGameObject {
public:
    Body() : CGameObject(TYPE_BODY) {}
    const char* getTypeName() const override { return "Body"; }
    void update(int step) override
    {
        if (!moving) return;
        position += velocity * (step * 0.001f);
        // Bounce off the edges so the level keeps its objects.
        bounce(position.x, velocity.x);
        bounce(position.y, velocity.y);
    }
    void interact(CGameObject*) override { ++contacts; }
    bool think(int) override { return moving; }
    void render() override {}
    void prepareAsReplica() override {}
    bool GetCurrentPosition(Vector3* pPosition) override
    {
        *pPosition = position;
        return true;
    }
    bool GetCurrentSpeed(float* pSpeed) override
    {
        *pSpeed = moving ? 1.0f : 0.0f;
        return true;
    }
    bool isStaticObject() override { return !moving; }

    // Every second object moves, in a direction and at a speed of its own.
    void place(uint32_t index, uint32_t& seed)
    {
        auto next = [&seed]() {
            seed = seed * 1664525u + 1013904223u;
            return (seed >> 8) * (1.0f / 16777216.0f);
        };
        position.set(next() * WORLD_SIZE, next() * WORLD_SIZE, 0.0f);
        moving = index % 2 == 0;
        const float angle = next() * 6.2831853f;
        velocity.set(std::cos(angle) * 200.0f, std::sin(angle) * 200.0f, 0.0f);
    }

    Vector3 position;
    Vector3 velocity;
    bool moving = false;

private:
    static void bounce(float& coordinate, float& velocity)
    {
        if (coordinate >= 0.0f && coordinate <= WORLD_SIZE) return;
        coordinate = coordinate < 0.0f ? -coordinate : 2.0f * WORLD_SIZE - coordinate;
        velocity = -velocity;
    }

public:
    uint64_t contacts = 0;
};

class BodyManager : public CSlotResourceManager {
public:
    explicit BodyManager(uint32_t capacity) : CSlotResourceManager(TYPE_BODY, capacity, definitions(), 1) {}
    void destroy() override { delete this; }

protected:
    CResource* makeResource(uint32_t) override { return new Body; }

private:
    static const resDef* definitions()
    {
        static resDef body;
        fillDefinition(&body, TYPE_BODY, "Body");
        return &body;
    }
};

// A level of n bodies, settled into the tree. One level exists at a time: the tree's leaves hold
// list ids of one object manager.
struct Level {
    explicit Level(uint32_t n) : count(n)
    {
        getProjData().getWorldMgr()->createTree(CELL_SIZE, TREE_DEPTH);
        pObjects = new CGameObjectManager;
        pObjects->registerResourceManager(new BodyManager(n));
        uint32_t seed = 12345;
        for (uint32_t i = 0; i < n; ++i) {
            resourceHandle handle = 0;
            pObjects->createObjectFromCodeWithHandle(TYPE_BODY, &handle, 0, nullptr);
            CResource* pResource = nullptr;
            pObjects->acquireResource(handle, &pResource);
            bodies.push_back(static_cast<Body*>(pResource));
            bodies.back()->place(i, seed);
        }
        pObjects->update();
        pObjects->update();
    }
    ~Level()
    {
        pObjects->releaseAllObjects();
        delete pObjects;
    }

    uint32_t count;
    CGameObjectManager* pObjects;
    std::vector<Body*> bodies;
};

Level& level(uint32_t n)
{
    static std::unique_ptr<Level> current;
    if (!current) {
        llistInitElementPool();
        createProjData();
        CEvents::initialise(0);
        getProjData().pWorldMgr = new CWorldMgr;
    }
    if (!current || current->count != n) {
        current.reset();
        current = std::make_unique<Level>(n);
    }
    return *current;
}

void perObjectStep(benchmark::State& state, uint32_t n)
{
    state.counters["ns_per_object_step"] = benchmark::Counter(static_cast<double>(state.iterations()) * n,
                                                              benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

uint64_t contactsOf(const std::vector<Body*>& bodies)
{
    uint64_t sum = 0;
    for (const Body* b : bodies) sum += b->contacts;
    return sum;
}

void BM_ObjectUpdate(benchmark::State& state)
{
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    Level& l = level(n);
    const uint64_t before = contactsOf(l.bodies);
    for (auto _ : state) l.pObjects->update();
    perObjectStep(state, n);
    state.counters["contacts_per_step"] = static_cast<double>(contactsOf(l.bodies) - before) / state.iterations();
}
BENCHMARK(BM_ObjectUpdate)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_ObjectUpdateWithoutContacts(benchmark::State& state)
{
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    Level& l = level(n);
    for (Body* pBody : l.bodies) *pBody->getTreeEligibleFlag() = 0;
    for (auto _ : state) l.pObjects->update();
    for (Body* pBody : l.bodies) *pBody->getTreeEligibleFlag() = 1;
    perObjectStep(state, n);
}
BENCHMARK(BM_ObjectUpdateWithoutContacts)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// The plain level: the same bodies, each on the heap as a level's objects are, stepped through the
// objects' own (virtual) calls, as a list of objects of many kinds must be.
struct PlainBodies {
    std::vector<std::unique_ptr<Body>> owned;
    std::vector<CGameObject*> objects;

    explicit PlainBodies(uint32_t n)
    {
        uint32_t seed = 12345;
        for (uint32_t i = 0; i < n; ++i) {
            owned.push_back(std::make_unique<Body>());
            owned.back()->place(i, seed);
            objects.push_back(owned.back().get());
        }
    }
};

void BM_PlainVectorLoop(benchmark::State& state)
{
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    PlainBodies plain(n);
    const int step = 30;  // the game's fixed step in ms
    for (auto _ : state) {
        for (CGameObject* object : plain.objects) object->update(step);
        for (CGameObject* object : plain.objects) benchmark::DoNotOptimize(object->think(step));
    }
    perObjectStep(state, n);
}
BENCHMARK(BM_PlainVectorLoop)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCH_PAIR(BM_ObjectUpdateWithoutContacts, BM_PlainVectorLoop);

void BM_PlainVectorLoopWithGrid(benchmark::State& state)
{
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    PlainBodies plain(n);
    const int step = 30;
    const uint32_t side = 1u << TREE_DEPTH;
    std::vector<std::vector<Body*>> cells(side * side);
    auto cellOf = [side](const Vector3& p) {
        const uint32_t x = std::min(side - 1, static_cast<uint32_t>(std::max(0.0f, p.x) / CELL_SIZE));
        const uint32_t y = std::min(side - 1, static_cast<uint32_t>(std::max(0.0f, p.y) / CELL_SIZE));
        return y * side + x;
    };
    for (auto _ : state) {
        for (CGameObject* object : plain.objects) object->update(step);
        for (std::vector<Body*>& cell : cells) cell.clear();
        for (const auto& body : plain.owned) cells[cellOf(body->position)].push_back(body.get());
        for (const std::vector<Body*>& cell : cells)
            for (size_t a = 0; a < cell.size(); ++a)
                for (size_t b = a + 1; b < cell.size(); ++b)
                    if (cell[a]->moving || cell[b]->moving) static_cast<CGameObject*>(cell[a])->interact(cell[b]);
        for (CGameObject* object : plain.objects) benchmark::DoNotOptimize(object->think(step));
    }
    perObjectStep(state, n);
    uint64_t contacts = 0;
    for (const auto& b : plain.owned) contacts += b->contacts;
    state.counters["contacts_per_step"] = static_cast<double>(contacts) / state.iterations();
}
BENCHMARK(BM_PlainVectorLoopWithGrid)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCH_PAIR(BM_ObjectUpdate, BM_PlainVectorLoopWithGrid);

}  // namespace

VELDRANE_BENCH_MAIN("update")
