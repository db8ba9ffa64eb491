// One object-manager step of a level of 200 collision testers bouncing on flat ground, against the
// same fall, bounce and a test of every pair of their spheres in a plain loop over a std::vector.
// Figures are per tester per step.
#include "ai/Events.h"
#include "ai/WorldMgr.h"
#include "gameobjects/CollisionObjectResourceManager.h"
#include "gameobjects/GameObjectManager.h"
#include "gameobjects/ModelResourceManager.h"
#include "gameobjects/PhysicsObjectResourceManager.h"
#include "gameobjects/SampleObjectResourceManager.h"
#include "global/ProjData.h"
#include "utility/BlockFile.h"
#include "utility/Collision.h"
#include "utility/LList.h"
#include "utility/ParamBlock.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

namespace {

const uint32_t TESTERS = 200;
const uint32_t ROW = 20;
const float SPACING = 300.0f;

// Where tester i starts: rows of 20 on the ground plan, dropped from heights between 100 and 800.
Vector3 start(uint32_t i)
{
    const float column = static_cast<float>(i % ROW), row = static_cast<float>(i / ROW);
    return Vector3(1000.0f + SPACING * column, 1000.0f + SPACING * row, 100.0f + 50.0f * static_cast<float>(i % 15));
}

CGameObjectManager* level()
{
    static CGameObjectManager* pObjects = nullptr;
    if (pObjects) return pObjects;
    llistInitElementPool();
    createProjData();
    getProjData().FrameStep = 30;
    CEvents::initialise(0);
    getProjData().pWorldMgr = new CWorldMgr;
    getProjData().pWorldMgr->createTree(512.0f, 4);
    for (int i = 0; i < 3; ++i) getProjData().pWorldMgr->advanceFrame();
    pObjects = new CGameObjectManager;
    pObjects->registerResourceManager(new CSampleObjectResourceManager);
    pObjects->registerResourceManager(new CCollisionObjectResourceManager);
    pObjects->registerResourceManager(new CPhysicsObjectResourceManager);
    pObjects->registerResourceManager(new CModelResourceManager);
    pObjects->initialiseResourceManagers();
    for (uint32_t i = 0; i < TESTERS; ++i) {
        const Vector3 at = start(i);
        char text[160];
        snprintf(text, sizeof text, "CollisionTest\n{\nposition %g, %g, %g\ncollision_type 0\n}\n", at.x, at.y, at.z);
        const char* cursor = text;
        CParamBlock* pBlock = nullptr;
        if (!parseBlock(cursor, &pBlock, 0, 8) || !pObjects->createObjectByName("CollisionTest", pBlock, 0)) abort();
        delete pBlock;
    }
    pObjects->update();
    return pObjects;
}

void perTester(benchmark::State& state)
{
    state.counters["ns_per_tester_step"] = benchmark::Counter(static_cast<double>(state.iterations()) * TESTERS,
                                                              benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_TesterLevelStep(benchmark::State& state)
{
    CGameObjectManager* pObjects = level();
    for (auto _ : state) pObjects->update();
    perTester(state);
}
BENCHMARK(BM_TesterLevelStep)->Unit(benchmark::kMicrosecond);

void BM_TesterPlainLoopAllPairs(benchmark::State& state)
{
    struct Ball {
        Vector3 position, velocity;
    };
    std::vector<Ball> balls(TESTERS);
    for (uint32_t i = 0; i < TESTERS; ++i) balls[i].position = start(i);
    for (auto _ : state) {
        for (Ball& b : balls) {
            b.velocity *= 0.99f;
            if (b.position.z - 50.0f > 0.0f)
                b.velocity.z -= 6.0f;
            else if (b.velocity.z < 0.0f)
                b.velocity.z = -b.velocity.z;
        }
        for (size_t a = 0; a < balls.size(); ++a)
            for (size_t b = a + 1; b < balls.size(); ++b) {
                Vector3 point, normal;
                benchmark::DoNotOptimize(
                    sphereSphereIntersect(balls[a].position, 100.0f, balls[b].position, 100.0f, point, normal));
            }
        for (Ball& b : balls) b.position += b.velocity;
    }
    perTester(state);
}
BENCHMARK(BM_TesterPlainLoopAllPairs)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
