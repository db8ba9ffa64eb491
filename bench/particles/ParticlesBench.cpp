// Particle updates per second of one effect (dummy particles, a point emitter, gravity, respawning)
// beside a plain loop over a std::vector of the same particle records doing the same ageing,
// copying, gravity, damping, moving and relaunching in the same run; and the gravity controller
// bouncing on a 256 x 256 AI map beside the plain loop asking the same map.
#include "../RenderCoreBench.h"
#include "../SphereModel.h"
#include "ai/WorldMgr.h"
#include "d3dcore9/D3DCore.h"
#include "effects/EffectManager.h"
#include "effects/particlesystem/ParticleEffect.h"
#include "effects/particlesystem/ParticleSystem.h"
#include "global/ProjData.h"
#include "platform/testing.h"
#include "platform/win32.h"
#include "utility/Assert.h"
#include "utility/BlockFile.h"
#include "utility/LList.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

const int LIFESPAN = 100;

void quiet(const char*, const char*, const char*, int) {}

// The device, the project data with a world and the effect manager, once.
CEffectManager& manager()
{
    static CEffectManager* pManager = nullptr;
    if (pManager) return *pManager;
    setAssertReportHook(quiet);
    llistInitElementPool();
    static RenderCoreBench core(false, "particles");
    if (!core.ok() || !bench::prepareSphereModel(VELDRANE_DATA)) abort();
    createProjData();
    getProjData().pWorldMgr = new CWorldMgr;
    pManager = new CEffectManager;
    return *pManager;
}

std::unique_ptr<CEffectDefinition> definition(int count, bool collision)
{
    char text[1024];
    snprintf(text, sizeof text,
             "PARTICLESYSTEM\n{\nOnCollision SYS_NONE\nOnParticleDeath SYS_NONE\nOnSystemDeath SYS_NONE\n"
             "OnTime SYS_NONE\nOnPeriod SYS_NONE\nOnTimeParticle SYS_NONE\nOnPeriodParticle SYS_NONE\n"
             "dummyparticles\n{\ncount %d\nlifespan %d\n}\n%s\n{\ngravity 0, 0, -0.05\ndampening 99\n}\n"
             "pointemitter\n{\npower 2\nvariation 1\nstagger_frames 1\n}\n}\n",
             count, LIFESPAN, collision ? "gravitycontroller" : "gravitycontrollernocollision");
    const char* cursor = text;
    CParamBlock* pBlock = nullptr;
    if (!parseBlock(cursor, &pBlock, 0, 64)) abort();
    CEffectDefinition* pDef = nullptr;
    if (!ReadParticleEffectDefinition(manager(), *pBlock, &pDef)) abort();
    delete pBlock;
    return std::unique_ptr<CEffectDefinition>(pDef);
}

// The particle record as the effect keeps it, in one struct.
struct Particle {
    Vector3 position, previous;
    int32_t state, previousState;
    Vector3 velocity;
    int32_t age;
};

// The same frame written by hand in one pass.
class PlainParticles {
public:
    PlainParticles(int count, const Vector3& origin, const CAIMap* pMap)
        : m_particles(static_cast<size_t>(count)), m_origin(origin), m_pMap(pMap)
    {
        for (Particle& p : m_particles) p = Particle{Vector3(), Vector3(), 3, 0, Vector3(), 0};
    }
    void update()
    {
        const Vector3 gravity(0, 0, -0.05f);
        for (Particle& p : m_particles) {
            if (p.state == 2 && ++p.age == LIFESPAN) p.state = 1;
            p.previous = p.position;
            p.previousState = p.state;
            if (p.state == 2) {
                p.velocity = (p.velocity + gravity) * 0.99f;
                p.position += p.age == 1 ? p.velocity * (crtRand() * (1.0f / 32767)) : p.velocity;
                if (m_pMap) bounce(p);
            } else if (p.state == 1) {
                p.state = 3;
            }
            if (p.state == 3) launch(p);
        }
    }

private:
    void bounce(Particle& p) const
    {
        float h;
        Vector3 n(0, 0, 1);
        if (!m_pMap->getGroundHeight(p.position.x, p.position.y, &h, &n)) h = 0;
        if (p.position.z >= h) return;
        p.velocity -= n * (2 * p.velocity.dot(n));
        p.position.z = h;
    }
    void launch(Particle& p) const
    {
        const float a = crtRand() * 1.9175345e-04f, b = crtRand() * 1.9175345e-04f;
        crtRand();
        const float speed = 2 + crtRand() * (1.0f / 32767) - 0.5f;
        p.position = m_origin;
        p.velocity = Vector3(std::cos(b) * std::cos(a), -std::cos(b) * std::sin(a), std::sin(b)) * speed;
        p.previous = p.position;
        p.age = 0;
        p.state = 2;
    }

    std::vector<Particle> m_particles;
    Vector3 m_origin;
    const CAIMap* m_pMap;
};

double since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void run(benchmark::State& state, bool collision)
{
    const int count = static_cast<int>(state.range(0));
    CEffectManager& effects = manager();
    CAIMap* pAIMap = getProjData().getWorldMgr()->getAIMap();
    pAIMap->destroy();
    const CAIMap* pMap = nullptr;
    if (collision) {
        pAIMap->create(256, 256, 1, 0, 0);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) pAIMap->setHeight(x, y, static_cast<uint16_t>(8 + (x * 7 + y * 3) % 5));
        pMap = pAIMap;
    }
    const Vector3 origin(128, 128, 20);
    auto pDef = definition(count, collision);
    crtSrand(1);
    CParticleEffect effect(&effects, static_cast<CParticleEffectDefinition*>(pDef.get()), 0, origin, Matrix3());
    PlainParticles plain(count, origin, pMap);
    // Into the steady state: everything launched, a lifespan's share relaunched each frame.
    for (int i = 0; i < LIFESPAN; ++i) {
        effect.Update();
        plain.update();
    }
    double effectSeconds = 0, plainSeconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        effect.Update();
        effectSeconds += since(start);
        start = std::chrono::steady_clock::now();
        plain.update();
        plainSeconds += since(start);
    }
    const double updates = static_cast<double>(state.iterations()) * count;
    state.counters["effect_per_s"] = updates / effectSeconds;
    state.counters["plain_per_s"] = updates / plainSeconds;
    state.counters["ratio"] = effectSeconds / plainSeconds;
    benchmark::DoNotOptimize(effect.GetParticleSystem()->GetPosition(0));
}

void BM_ParticleEffectBesidePlainLoop(benchmark::State& state) { run(state, false); }
BENCHMARK(BM_ParticleEffectBesidePlainLoop)->Arg(10000)->Arg(65536)->Unit(benchmark::kMicrosecond);

void BM_GroundCollisionBesidePlainLoop(benchmark::State& state) { run(state, true); }
BENCHMARK(BM_GroundCollisionBesidePlainLoop)->Arg(10000)->Arg(65536)->Unit(benchmark::kMicrosecond);

}  // namespace
VELDRANE_BENCH_MAIN("particles")
