// One object-manager step of a level of 200 collision testers bouncing on flat ground, beside the
// same fall, bounce, move and turn over a std::vector with the pairs found by sorting on x and
// sweeping (the swept sphere test for each pair that may meet); figures are per tester per step.
// And the contact solver settling 256 contacts of two moving objects each, beside the same elastic
// exchange, damage check and knock-back written over plain records.
#include "../BenchMain.h"
#include "../PlainVector.h"
#include "ModelWriter.h"
#include "ai/Events.h"
#include "ai/WorldMgr.h"
#include "gameobjects/CollisionObjectResourceManager.h"
#include "gameobjects/GameObjectManager.h"
#include "gameobjects/InteractionSolver.h"
#include "gameobjects/ModelResourceManager.h"
#include "gameobjects/PhysicsObjectResourceManager.h"
#include "gameobjects/SampleObjectResourceManager.h"
#include "gameobjects/SampleObjects.h"
#include "global/ProjData.h"
#include "utility/Assert.h"
#include "utility/BlockFile.h"
#include "utility/LList.h"
#include "utility/ParamBlock.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <vector>

namespace {

const uint32_t TESTERS = 200;
const uint32_t ROW = 20;
const float SPACING = 300.0f;
const float SIZE = CCollisionTest::SIZE;

void quiet(const char*, const char*, const char*, int) {}

// Where tester i starts: rows of 20 on the ground plan, dropped from heights between 100 and 800.
Vector3 start(uint32_t i)
{
    const float column = static_cast<float>(i % ROW), row = static_cast<float>(i / ROW);
    return Vector3(1000.0f + SPACING * column, 1000.0f + SPACING * row, 100.0f + 50.0f * static_cast<float>(i % 15));
}

// The project data with a world on flat ground past its first frames, once.
bool world()
{
    static const bool made = [] {
        setAssertReportHook(quiet);
        llistInitElementPool();
        createProjData();
        getProjData().FrameStep = 30;
        CEvents::initialise(0);
        getProjData().pWorldMgr = new CWorldMgr;
        getProjData().pWorldMgr->createTree(512.0f, 4);
        for (int i = 0; i < 3; ++i) getProjData().pWorldMgr->advanceFrame();
        return true;
    }();
    return made;
}

// The testers' level, with the tester's model as a placeholder of one dummy element written into
// the program's folder; null when it cannot be made.
CGameObjectManager* level()
{
    static CGameObjectManager* pObjects = [] () -> CGameObjectManager* {
        world();
        modelwriter::Model placeholder;
        placeholder.Lods.push_back({0.0f, modelwriter::Element("root")});
        std::filesystem::create_directories("data");
        std::ofstream("data/dumb_test_object.rsm", std::ios::binary) << modelwriter::model(placeholder);
        auto* pLevel = new CGameObjectManager;
        pLevel->registerResourceManager(new CSampleObjectResourceManager);
        pLevel->registerResourceManager(new CCollisionObjectResourceManager);
        pLevel->registerResourceManager(new CPhysicsObjectResourceManager);
        pLevel->registerResourceManager(new CModelResourceManager);
        pLevel->initialiseResourceManagers();
        for (uint32_t i = 0; i < TESTERS; ++i) {
            const Vector3 at = start(i);
            char text[160];
            snprintf(text, sizeof text, "CollisionTest\n{\nposition %g, %g, %g\ncollision_type 0\n}\n", at.x, at.y, at.z);
            const char* cursor = text;
            CParamBlock* pBlock = nullptr;
            const bool made = parseBlock(cursor, &pBlock, 0, 8) && pLevel->createObjectByName("CollisionTest", pBlock, 0);
            delete pBlock;
            if (!made) return nullptr;
        }
        pLevel->update();
        return pLevel;
    }();
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
    if (!pObjects) return state.SkipWithError("the level could not be made");
    for (auto _ : state) pObjects->update();
    perTester(state);
}
BENCHMARK(BM_TesterLevelStep)->Unit(benchmark::kMicrosecond);

struct Quat {
    float x = 0, y = 0, z = 0, w = 1;
};

Quat operator*(const Quat& a, const Quat& b)
{
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

void toMatrix(const Quat& q, float m[3][3])
{
    const float xx = q.x * q.x, yy = q.y * q.y, zz = q.z * q.z, xy = q.x * q.y, xz = q.x * q.z, yz = q.y * q.z;
    const float wx = q.w * q.x, wy = q.w * q.y, wz = q.w * q.z;
    m[0][0] = 1 - 2 * (yy + zz), m[0][1] = 2 * (xy + wz), m[0][2] = 2 * (xz - wy);
    m[1][0] = 2 * (xy - wz), m[1][1] = 1 - 2 * (xx + zz), m[1][2] = 2 * (yz + wx);
    m[2][0] = 2 * (xz + wy), m[2][1] = 2 * (yz - wx), m[2][2] = 1 - 2 * (xx + yy);
}

// The first time within the step at which two spheres of the tester's size, moving, touch.
bool sweptSpheres(plain::V3 p1, plain::V3 v1, plain::V3 p2, plain::V3 v2, float& time)
{
    using namespace plain;
    const V3 d = p1 - p2, m = v1 - v2;
    const float reach = 2.0f * SIZE, c = dot(d, d) - reach * reach;
    if (c <= 0.0f) {
        time = 0.0f;
        return true;
    }
    const float a = dot(m, m), b = 2.0f * dot(d, m);
    if (a <= 0.0f || b >= 0.0f) return false;
    const float disc = b * b - 4.0f * a * c;
    if (disc < 0.0f) return false;
    time = (-b - std::sqrt(disc)) / (2.0f * a);
    return time <= 1.0f;
}

void BM_TesterPlainSweepAndPrune(benchmark::State& state)
{
    using namespace plain;
    struct Ball {
        V3 position, velocity;
        Quat orientation, spin;
        float turn[3][3];
    };
    std::vector<Ball> balls(TESTERS);
    for (uint32_t i = 0; i < TESTERS; ++i) {
        const Vector3 at = start(i);
        balls[i].position = {at.x, at.y, at.z};
    }
    std::vector<uint32_t> order(TESTERS);
    for (uint32_t i = 0; i < TESTERS; ++i) order[i] = i;
    uint64_t contacts = 0;
    for (auto _ : state) {
        for (Ball& b : balls) {
            b.velocity = b.velocity * CCollisionTest::DAMPING;
            const float clearance = b.position.z - CCollisionTest::GROUND_CLEARANCE;
            if (clearance > 0.0f)
                b.velocity.z -= CCollisionTest::GRAVITY;
            else if (clearance < 0.0f && b.velocity.z < 0.0f)
                b.velocity.z = -b.velocity.z;
        }
        std::sort(order.begin(), order.end(),
                  [&](uint32_t a, uint32_t b) { return balls[a].position.x < balls[b].position.x; });
        for (size_t a = 0; a < order.size(); ++a) {
            const Ball& first = balls[order[a]];
            const float reach = first.position.x + 2.0f * SIZE + std::fabs(first.velocity.x);
            for (size_t b = a + 1; b < order.size(); ++b) {
                const Ball& second = balls[order[b]];
                if (second.position.x - std::fabs(second.velocity.x) > reach) break;
                float time;
                contacts += sweptSpheres(first.position, first.velocity, second.position, second.velocity, time);
            }
        }
        for (Ball& b : balls) {
            b.position = b.position + b.velocity;
            b.orientation = b.orientation * b.spin;
            toMatrix(b.orientation, b.turn);
        }
        benchmark::DoNotOptimize(balls.data());
    }
    benchmark::DoNotOptimize(contacts);
    perTester(state);
}
BENCHMARK(BM_TesterPlainSweepAndPrune)->Unit(benchmark::kMicrosecond);
BENCH_PAIR(BM_TesterLevelStep, BM_TesterPlainSweepAndPrune);

// Contacts -----------------------------------------------------------------------------------------

const int CONTACTS = 256;

// An object that moves and takes knock-back, and nothing else.
class Ball : public CGameObject {
public:
    Ball() : CGameObject(0x01000099) {}
    const char* getTypeName() const override { return "Ball"; }
    void update(int) override {}
    void interact(CGameObject*) override {}
    bool think(int) override { return false; }
    void render() override {}
    void prepareAsReplica() override {}
    bool isStaticObject() override { return false; }
    bool GetCurrentPosition(Vector3* pPosition) override
    {
        *pPosition = position;
        return true;
    }
    bool GetCurrentDirection(Vector3* pDirection) override
    {
        const float length = std::sqrt(velocity.lengthSquared());
        *pDirection = length > 0.0f ? velocity / length : Vector3(1, 0, 0);
        return true;
    }
    bool GetCurrentSpeed(float* pSpeed) override
    {
        *pSpeed = std::sqrt(velocity.lengthSquared());
        return true;
    }
    void addVelocity(const Vector3& change) override { velocity += change; }
    void setVelocity(const Vector3& v) override { velocity = v; }
    void applyDamage(float amount, CGameObject*) override { health -= static_cast<int32_t>(amount); }

    Vector3 position, velocity;
};

// Two bodies a contact apart, heading into each other; their masses from 1 to 4.
struct ContactCase {
    Vector3 p1, v1, p2, v2, point, normal;
    float m1, m2;
};

std::vector<ContactCase> contactCases()
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f), mass(1.0f, 4.0f);
    std::vector<ContactCase> cases(CONTACTS);
    for (ContactCase& c : cases) {
        c.normal = Vector3(u(rng), u(rng), 0.2f);
        c.normal.normalise();
        c.p1 = Vector3(100 * u(rng), 100 * u(rng), 0);
        c.p2 = c.p1 - c.normal * 20.0f;
        c.point = c.p1 - c.normal * 10.0f;
        c.v1 = c.normal * (-30.0f - 20.0f * u(rng)) + Vector3(10 * u(rng), 10 * u(rng), 0);
        c.v2 = c.normal * (30.0f + 20.0f * u(rng));
        c.m1 = mass(rng), c.m2 = mass(rng);
    }
    return cases;
}

struct Balls {
    std::vector<std::unique_ptr<Ball>> balls;

    explicit Balls(const std::vector<ContactCase>& cases)
    {
        for (const ContactCase& c : cases)
            for (int side = 0; side < 2; ++side) {
                auto ball = std::make_unique<Ball>();
                ball->position = side ? c.p2 : c.p1;
                ball->mass = side ? c.m2 : c.m1;
                ball->damageThreshold = 20.0f;
                ball->maxKnockbackVelocity = 60.0f;
                balls.push_back(std::move(ball));
            }
    }
    void solve(const std::vector<ContactCase>& cases)
    {
        for (int i = 0; i < CONTACTS; ++i) {
            Ball &a = *balls[2 * i], &b = *balls[2 * i + 1];
            a.velocity = cases[i].v1, b.velocity = cases[i].v2;
            a.health = b.health = 100;
            Vector3 normal = cases[i].normal;
            solveObjectInteraction(&a, &b, cases[i].point, normal, 1.0f);
        }
    }
};

void BM_ContactSolver(benchmark::State& state)
{
    world();
    const std::vector<ContactCase> cases = contactCases();
    Balls balls(cases);
    for (auto _ : state) balls.solve(cases);
    benchmark::DoNotOptimize(balls.balls.front()->velocity);
    state.SetItemsProcessed(state.iterations() * CONTACTS);
}
BENCHMARK(BM_ContactSolver);

struct PlainBody {
    plain::V3 position, velocity;
    float mass, energyToDamage = 1.0f, damageThreshold = 20.0f, ceiling = 60.0f;
    int32_t health = 100;
};

float length(plain::V3 v) { return std::sqrt(plain::dot(v, v)); }

// Two moving bodies that both respond: the elastic exchange of point masses (scaled toward the
// lighter), damage past the threshold, and the boosted change shared by mass, as knock-back away
// from the contact within each body's ceiling.
void plainSolve(PlainBody& a, PlainBody& b, plain::V3 point, plain::V3 normal)
{
    using namespace plain;
    if (length(a.velocity) <= 0.1f && length(b.velocity) <= 0.1f) return;
    const float m1 = a.mass > b.mass ? a.mass / b.mass : 1.0f, m2 = b.mass > a.mass ? b.mass / a.mass : 1.0f;
    const V3 after1 = (a.velocity * (m1 - m2) + b.velocity * (2.0f * m2)) * (1.0f / (m1 + m2));
    const V3 after2 = (a.velocity * (2.0f * m1) + b.velocity * (m2 - m1)) * (1.0f / (m1 + m2));
    V3 change1 = (after1 - after2) * (1.05f / (m1 / m2)), change2 = (after2 - after1) * (1.05f / (m2 / m1));
    for (auto [body, change] : {std::pair<PlainBody*, V3>{&a, change1}, {&b, change2}}) {
        const float energy = body->energyToDamage * length(change);
        if (body->damageThreshold < energy) body->health -= static_cast<int32_t>(std::min(energy, 500000.0f));
    }
    const float ratio = std::min(a.mass, b.mass) / std::max(a.mass, b.mass);
    change1 = change1 * (1.085f * (a.mass > b.mass ? 1.0f - ratio : ratio));
    change2 = change2 * (1.085f * (a.mass > b.mass ? ratio : 1.0f - ratio));
    for (auto [body, change] : {std::pair<PlainBody*, V3>{&a, change1}, {&b, change2}}) {
        const V3 next = body->velocity + change;
        const float speed = length(next);
        if (body->ceiling < speed) {
            body->velocity = next * (body->ceiling / speed);
            continue;
        }
        const V3 away = body->position - point;
        const float along = dot(change, normal);
        if (dot(away, normal) > 0.0f)
            body->velocity = body->velocity + (along > 0.0f ? change : change * -1.0f);
        else if (dot(away, change) > 0.0f)
            body->velocity = body->velocity + (along <= 0.0f ? change : change * -1.0f);
    }
}

void BM_PlainContactSolver(benchmark::State& state)
{
    using plain::V3;
    const std::vector<ContactCase> cases = contactCases();
    auto v3 = [](const Vector3& v) { return V3{v.x, v.y, v.z}; };
    std::vector<PlainBody> bodies;
    for (const ContactCase& c : cases) {
        bodies.push_back(PlainBody{v3(c.p1), {}, c.m1});
        bodies.push_back(PlainBody{v3(c.p2), {}, c.m2});
    }
    auto solve = [&] {
        for (int i = 0; i < CONTACTS; ++i) {
            PlainBody &a = bodies[2 * i], &b = bodies[2 * i + 1];
            a.velocity = v3(cases[i].v1), b.velocity = v3(cases[i].v2);
            a.health = b.health = 100;
            plainSolve(a, b, v3(cases[i].point), v3(cases[i].normal));
        }
    };
    // The plain rules must give the solver's velocities and health, or the pair measures different work.
    world();
    Balls balls(cases);
    balls.solve(cases);
    solve();
    for (size_t i = 0; i < bodies.size(); ++i) {
        const V3 v = v3(balls.balls[i]->velocity) - bodies[i].velocity;
        if (plain::dot(v, v) > 1e-4f || balls.balls[i]->health != bodies[i].health)
            return state.SkipWithError("the plain solver's results differ from the engine's");
    }
    for (auto _ : state) solve();
    benchmark::DoNotOptimize(bodies.front().velocity);
    state.SetItemsProcessed(state.iterations() * CONTACTS);
}
BENCHMARK(BM_PlainContactSolver);
BENCH_PAIR(BM_ContactSolver, BM_PlainContactSolver);

}  // namespace

VELDRANE_BENCH_MAIN("testers")
