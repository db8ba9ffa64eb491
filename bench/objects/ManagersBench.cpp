// The pooled managers against the heap: instantiate, acquire and release cycles per second of the
// misc-object and physics managers beside new and delete of the same object in a plain slot table
// (HeapSlots.h), and one physics step of 200 particles (velocity, then position) beside the same
// arithmetic over a std::vector.
#include "../BenchMain.h"
#include "HeapSlots.h"
#include "gameobjects/PhysicsObject.h"
#include "gameobjects/PhysicsObjectResourceManager.h"
#include "gameobjects/SampleObjectResourceManager.h"
#include "gameobjects/TreeClump.h"

#include <vector>

namespace {

// With a quarter of the slots taken, as in a running level, so the slot scan has work to do.
template <class Manager>
void fill(Manager& manager, uint32_t typeId, uint32_t count)
{
    resourceHandle handle = 0;
    for (uint32_t i = 0; i < count; ++i) manager.instantiate(typeId, &handle, 1);
}

template <class Manager>
void cycle(benchmark::State& state, uint32_t typeId, uint32_t live)
{
    Manager manager;
    fill(manager, typeId, live);
    for (auto _ : state) {
        resourceHandle handle = 0;
        CResource* pResource = nullptr;
        manager.instantiate(typeId, &handle, 1);
        manager.acquire(handle, &pResource);
        benchmark::DoNotOptimize(pResource);
        manager.release(handle);
    }
    for (uint32_t slot = 0; slot < live; ++slot) manager.release(manager.getResourceManagerId() | slot);
}

void BM_MiscCycle(benchmark::State& state)
{
    cycle<CSampleObjectResourceManager>(state, CTreeClump::TYPE_ID, CSampleObjectResourceManager::MAX_OBJECTS / 4);
}
BENCHMARK(BM_MiscCycle);

void BM_MiscBaselineHeapSlots(benchmark::State& state)
{
    heapSlotCycles<CTreeClump>(state, CSampleObjectResourceManager::MAX_OBJECTS);
}
BENCHMARK(BM_MiscBaselineHeapSlots);
BENCH_PAIR(BM_MiscCycle, BM_MiscBaselineHeapSlots);

void BM_PhysicsCycle(benchmark::State& state)
{
    cycle<CPhysicsObjectResourceManager>(state, CPhysicsObject::PHYSICS_PARTICLE,
                                         CPhysicsObjectResourceManager::MAX_PHYSICS_OBJECTS / 4);
}
BENCHMARK(BM_PhysicsCycle);

void BM_PhysicsBaselineHeapSlots(benchmark::State& state)
{
    heapSlotCycles<CPhysicsParticle>(state, CPhysicsObjectResourceManager::MAX_PHYSICS_OBJECTS);
}
BENCHMARK(BM_PhysicsBaselineHeapSlots);
BENCH_PAIR(BM_PhysicsCycle, BM_PhysicsBaselineHeapSlots);

const int STEP_MS = 33;
const uint32_t NUM_PARTICLES = 200;

void BM_PhysicsStep200(benchmark::State& state)
{
    CPhysicsObjectResourceManager manager;
    std::vector<CPhysicsObject*> bodies;
    std::vector<Vector3> positions(NUM_PARTICLES);
    for (uint32_t i = 0; i < NUM_PARTICLES; ++i) {
        resourceHandle handle = 0;
        CResource* pResource = nullptr;
        manager.instantiate(CPhysicsObject::PHYSICS_PARTICLE, &handle, 1);
        manager.acquire(handle, &pResource);
        auto* p = static_cast<CPhysicsParticle*>(pResource);
        p->clear();
        p->pPosition = &positions[i];
        p->mass = p->invMass = 1.0f;
        p->velocity.set(1.0f, 0.5f, static_cast<float>(i));
        bodies.push_back(p);
    }
    for (auto _ : state) {
        for (CPhysicsObject* p : bodies) {
            p->addForce(Vector3(0.0f, 0.0f, -9.81f));
            p->integrateVelocity(STEP_MS);
            p->integratePosition(STEP_MS);
        }
        benchmark::DoNotOptimize(positions.data());
    }
    for (CPhysicsObject* p : bodies) manager.release(p->getResourceHandle());
}
BENCHMARK(BM_PhysicsStep200);

struct PlainParticle {
    Vector3 position, velocity, force;
    float invMass;
};

void BM_PhysicsStep200Baseline(benchmark::State& state)
{
    std::vector<PlainParticle> particles(NUM_PARTICLES);
    for (uint32_t i = 0; i < NUM_PARTICLES; ++i) {
        particles[i].velocity.set(1.0f, 0.5f, static_cast<float>(i));
        particles[i].invMass = 1.0f;
    }
    const float dt = STEP_MS * 0.001f;
    for (auto _ : state) {
        for (PlainParticle& p : particles) {
            p.force += Vector3(0.0f, 0.0f, -9.81f);
            p.velocity += p.force * p.invMass * dt;
            p.velocity *= CPhysicsObject::DAMPING;
            p.force = Vector3();
            p.position += p.velocity * dt;
        }
        benchmark::DoNotOptimize(particles.data());
    }
}
BENCHMARK(BM_PhysicsStep200Baseline);
BENCH_PAIR(BM_PhysicsStep200, BM_PhysicsStep200Baseline);

}  // namespace

VELDRANE_BENCH_MAIN("managers")
