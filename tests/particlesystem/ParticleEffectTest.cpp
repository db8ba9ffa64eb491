#include "ParticleFixture.h"

#include <cmath>

using namespace particletest;
using testsupport::countReports;

namespace {

class ParticleEffectTest : public ParticleFixture {
protected:
    // Another effect of the same file: dummy particles that end at their first update.
    static std::string shortLived(const std::string& name, const std::vector<std::string>& keys = {})
    {
        Definition d;
        d.set("instancename", name);
        for (const std::string& key : keys) d.keys.push_back(key);
        d.system = section("dummyparticles", {"count 0"});
        return d.text();
    }
};

// Particles alive after each update, one emission per particle and frame.
std::vector<int> aliveAfterUpdates(CParticleEffect* pEffect, int updates)
{
    std::vector<int> out;
    for (int u = 0; u < updates; ++u) {
        pEffect->Update();
        int alive = 0;
        for (int32_t s : ParticleFixture::states(pEffect)) alive += s == PARTICLE_ALIVE;
        out.push_back(alive);
    }
    return out;
}

}  // namespace

TEST_F(ParticleEffectTest, RequiredKeysPartsAndBadValuesRefuseTheDefinition)
{
    const char* required[] = {"OnCollision", "OnParticleDeath", "OnSystemDeath",   "OnTime",
                              "OnPeriod",    "OnTimeParticle",  "OnPeriodParticle"};
    for (const char* key : required) {
        testsupport::clearReports();
        EXPECT_EQ(read(Definition().drop(key)), nullptr) << key;
        EXPECT_GE(countReports(key), 1) << key;
    }
    // Only "SYS_NONE" written so is none: any other spelling names an effect, whose frame keys
    // are then required.
    struct Case {
        const char* what;
        Definition def;
        bool accepted;
    } cases[] = {
        {"sys_none time", Definition().set("OnTime", "sys_none"), false},
        {"time given", Definition().set("OnTime", "sys_none").set("OnTimeTime", "3"), true},
        {"period without variation", Definition().set("OnPeriod", "smoke").set("OnPeriodPeriod", "5"), false},
        {"particle period", Definition().set("OnPeriodParticle", "a").set("OnPeriodParticlePeriod", "5")
                                .set("OnPeriodParticleVariation", "0"), true},
        {"particle time", Definition().set("OnTimeParticle", "a"), false},
        {"no frames", Definition().set("Active_Frames", "0"), false},
        {"frames cancel out", Definition().set("Active_Frames", "-4").set("Inactive_Frames", "4"), false},
        {"inactive only", Definition().set("Active_Frames", "0").set("Inactive_Frames", "3"), true},
        {"count -1", [] { Definition d; d.system = section("dummyparticles", {"count -1"}); return d; }(), false},
        {"count 2^31-1", [] { Definition d; d.system = section("dummyparticles", {"count 2147483647"}); return d; }(), false},
        {"count 65536", [] { Definition d; d.system = section("dummyparticles", {"count 65536"}); return d; }(), true},
        {"no count", [] { Definition d; d.system = section("dummyparticles", {"lifespan 4"}); return d; }(), false},
        {"two parts", [] { Definition d; d.emitter.clear(); return d; }(), false},
        {"four parts", [] { Definition d; d.emitter += section("pointemitter", {}); return d; }(), false},
        {"parts in another order", [] { Definition d; std::swap(d.controller, d.emitter); return d; }(), false},
        {"unknown part", [] { Definition d; d.controller = section("antigravity", {}); return d; }(), false},
        {"names in capitals", [] {
             Definition d;
             d.system = section("DummyParticles", {"count 1"});
             d.controller = section("GRAVITYCONTROLLER", {});
             d.emitter = section("VolumeEmitter", {});
             return d;
         }(), true},
        {"drawn kind not yet read", [] { Definition d; d.system = section("spriteparticles", {"count 1"}); return d; }(), false},
    };
    for (const Case& c : cases) {
        testsupport::clearReports();
        EXPECT_EQ(read(c.def) != nullptr, c.accepted) << c.what;
        if (!c.accepted) {
            EXPECT_GE(testsupport::reports().size(), 1u) << c.what;
        }
    }
}

TEST_F(ParticleEffectTest, DefaultsAndSamplesAreTakenWhenRead)
{
    const int buffersBefore = platform::testing::dsound::liveBuffers();
    CParticleEffectDefinition* pDef = read(Definition()
                                               .set("OnLaunchSound", "launch.wav")
                                               .set("OnCollisionSound", "collision.wav")
                                               .set("OnCollisionSoundVolume", "0.5")
                                               .set("OnTimeSound", "SYS_NONE")
                                               .set("OnPeriodSound", "missing.wav")
                                               .set("OnCollision", "puff")
                                               .set("OnSystemDeath", "ghost")
                                               .set("EffectRadius", "12"),
                                           shortLived("puff"));
    ASSERT_NE(pDef, nullptr);
    // Event effects are precached with the definition; one that is nowhere to be found is not.
    EXPECT_NE(manager->FindDefinition("puff"), nullptr);
    EXPECT_EQ(manager->FindDefinition("ghost"), nullptr);
    EXPECT_STREQ(pDef->OnSystemDeath, "ghost");
    EXPECT_FLOAT_EQ(pDef->EffectRadius, 12.0f);
    EXPECT_EQ(pDef->Active_Frames, 1);
    EXPECT_EQ(pDef->Inactive_Frames, 0);
    EXPECT_EQ(pDef->OnTimeTime, -1);
    EXPECT_EQ(pDef->OnTimeParticleTime, -1);
    EXPECT_EQ(pDef->OnPeriodPeriod, 0);
    EXPECT_STREQ(pDef->OnParticleDeath, "");
    EXPECT_FLOAT_EQ(pDef->m_collisionVolume, 0.5f);
    EXPECT_FLOAT_EQ(pDef->m_collisionMinDistance, 250.0f);
    EXPECT_FLOAT_EQ(pDef->m_periodMinDistance, 250.0f);
    ASSERT_NE(pDef->m_pLaunchSample, nullptr);
    EXPECT_EQ(pDef->m_pLaunchSample->m_category, 1);
    EXPECT_TRUE(pDef->m_pLaunchSample->m_3D);
    EXPECT_NE(pDef->m_pCollisionSample, nullptr);
    EXPECT_EQ(pDef->m_pTimeSample, nullptr);
    EXPECT_EQ(pDef->m_pPeriodSample, nullptr);
    EXPECT_EQ(pDef->m_pParticleDeathSample, nullptr);
    // The definition holds the samples until it goes.
    EXPECT_EQ(pDef->m_pLaunchSample->m_refCount, 1);
    manager.reset();
    EXPECT_EQ(platform::testing::dsound::liveBuffers(), buffersBefore);
}

TEST_F(ParticleEffectTest, EmissionFollowsTheActiveAndInactiveFrames)
{
    Definition d;
    d.set("Active_Frames", "2").set("Inactive_Frames", "3");
    d.system = section("dummyparticles", {"count 20"});
    d.emitter = section("pointemitter", {"stagger_frames 20"});
    CParticleEffect* pEffect = make(d);
    ASSERT_NE(pEffect, nullptr);
    // Launches in the updates of frames 0, 1, 5, 6, 10, 11.
    EXPECT_EQ(aliveAfterUpdates(pEffect, 13), (std::vector<int>{1, 2, 2, 2, 2, 3, 4, 4, 4, 4, 5, 6, 6}));
}

TEST_F(ParticleEffectTest, TimePeriodAndDeathEventsStartTheirEffectsAndSounds)
{
    Definition d;
    d.set("OnTimeSound", "time.wav").set("OnTime", "puff").set("OnTimeTime", "0");
    d.set("OnPeriodSound", "period.wav").set("OnPeriodSoundVolume", "0.5").set("OnPeriod", "puff");
    d.set("OnPeriodPeriod", "10").set("OnPeriodVariation", "0");
    d.set("OnParticleDeath", "puff").set("OnSystemDeath", "puff");
    d.set("OnParticleDeathSound", "death.wav").set("OnSystemDeathSound", "sysdeath.wav");
    d.set("OnLaunchSound", "launch.wav").set("OnLaunchSoundMinDistance", "40");
    d.system = section("dummyparticles", {"count 1", "lifespan 5"});
    // Each puff plays its own launch sound where it starts.
    const std::string puff = shortLived("puff", {"OnLaunchSound launch.wav"});
    CParticleEffect* pEffect = make(d, nullptr, Vector3(1, 2, 3), Matrix3(), puff);
    ASSERT_NE(pEffect, nullptr);
    ASSERT_EQ(played("launch.wav").size(), 1u);
    EXPECT_EQ(played("launch.wav")[0].pending.minDistance, 40.0f);
    EXPECT_EQ(played("launch.wav")[0].pending.position, (platform::testing::dsound::Vector{1, -2, 3}));

    // The particle launched in the first update expires in the fifth after it and finishes.
    ASSERT_TRUE(run(pEffect, 1));
    EXPECT_EQ(played("time.wav").size(), 1u);
    EXPECT_EQ(manager->GetNumEffects(), 2u);
    ASSERT_TRUE(run(pEffect, 4));
    EXPECT_EQ(states(pEffect), std::vector<int32_t>{PARTICLE_ALIVE});
    EXPECT_EQ(pEffect->GetParticleSystem()->GetAge(0), 4);
    pEffect->SetPosition(Vector3(7, 7, 7));
    ASSERT_TRUE(run(pEffect, 1));
    EXPECT_EQ(states(pEffect), std::vector<int32_t>{PARTICLE_FINISHED});
    ASSERT_EQ(played("death.wav").size(), 1u);
    EXPECT_EQ(played("death.wav")[0].pending.minDistance, 500.0f);  // the manager's default
    // The death's puff starts where the particle was: where it was launched from.
    EXPECT_EQ(played("launch.wav").back().pending.position, (platform::testing::dsound::Vector{1, -2, 3}));
    EXPECT_EQ(played("period.wav").size(), 0u);

    // The end: the system's death where the effect is, and the manager lets it go.
    manager->Update();
    EXPECT_FALSE(manager->IsLive(pEffect));
    EXPECT_EQ(played("sysdeath.wav").size(), 1u);
    EXPECT_EQ(played("launch.wav").back().pending.position, (platform::testing::dsound::Vector{7, -7, 7}));
    manager->Update();  // the puffs end
    EXPECT_EQ(manager->GetNumEffects(), 0u);

    // Periods at frames 10, 20, 30; paused, the timer runs on without its event.
    d.system = section("dummyparticles", {"count 1"});
    pEffect = make(d, nullptr, Vector3(), Matrix3(), puff);
    ASSERT_TRUE(run(pEffect, 31));
    ASSERT_EQ(played("period.wav").size(), 3u);
    EXPECT_LT(played("period.wav")[0].volume, played("time.wav")[0].volume);
    EXPECT_EQ(played("time.wav").size(), 2u);
    EXPECT_EQ(manager->GetNumEffects(), 5u);
    pEffect->PauseEmitter();
    ASSERT_TRUE(run(pEffect, 10));
    EXPECT_EQ(played("period.wav").size(), 3u);
    pEffect->UnpauseEmitter();
    ASSERT_TRUE(run(pEffect, 10));
    EXPECT_EQ(played("period.wav").size(), 4u);
}

TEST_F(ParticleEffectTest, PausingUnpausingAndTriggersAndTheEndOfAPausedEffect)
{
    Definition d;
    d.system = section("dummyparticles", {"count 4", "lifespan 2"});
    d.controller = section("gravitycontrollernocollision", {"respawn 1"});
    d.emitter = section("pointemitter", {"stagger_frames 4"});
    CParticleEffect* pEffect = make(d);
    ASSERT_TRUE(run(pEffect, 2));
    pEffect->PauseEmitter();
    EXPECT_TRUE(pEffect->IsEmitterPaused());
    ASSERT_TRUE(run(pEffect, 1));
    EXPECT_EQ(states(pEffect), (std::vector<int32_t>{PARTICLE_WAITING, PARTICLE_ALIVE, 0, 0}));
    // Unpaused, the waiting particle starts over unlaunched and the staggering from index 0.
    pEffect->UnpauseEmitter();
    EXPECT_EQ(states(pEffect), (std::vector<int32_t>{0, PARTICLE_ALIVE, 0, 0}));
    ASSERT_TRUE(run(pEffect, 1));
    EXPECT_EQ(states(pEffect), (std::vector<int32_t>{PARTICLE_ALIVE, PARTICLE_ALIVE, 0, 0}));

    // While no particle has finished, a paused effect runs on.
    pEffect->PauseEmitter();
    ASSERT_TRUE(run(pEffect, 2));
    EXPECT_EQ(states(pEffect), (std::vector<int32_t>{PARTICLE_WAITING, PARTICLE_WAITING, 0, 0}));
    pEffect->Trigger(0);
    EXPECT_EQ(states(pEffect), (std::vector<int32_t>{PARTICLE_EXPIRED, PARTICLE_EXPIRED, 0, 0}));
    ASSERT_TRUE(run(pEffect, 1));
    EXPECT_EQ(states(pEffect), (std::vector<int32_t>{PARTICLE_FINISHED, PARTICLE_FINISHED, 0, 0}));
    EXPECT_EQ(pEffect->GetParticleSystem()->GetLivingParticles(), 2);
    // Now only unlaunched particles live: over.
    manager->Update();
    EXPECT_FALSE(manager->IsLive(pEffect));

    // No particles at all: over at the first update.
    d.system = section("dummyparticles", {"count 0"});
    pEffect = make(d);
    ASSERT_NE(pEffect, nullptr);
    EXPECT_FALSE(run(pEffect, 1));
}

TEST_F(ParticleEffectTest, ASeedRepeatsItsRunAndAnotherSeedDoesNot)
{
    ground(5);
    Definition d;
    d.set("OnPeriodParticle", "sparks").set("OnPeriodParticlePeriod", "7").set("OnPeriodParticleVariation", "4");
    d.system = section("dummyparticles", {"count 64", "lifespan 30"});
    d.controller = section("gravitycontroller", {"gravity 0, 0, -0.5", "dampening 98", "collision_dampening 60"});
    d.emitter = section("volumeemitter", {"eliptical 1", "initial_velocity 1, 0, 2", "z_size 30", "stagger_frames 8"});
    const auto positions = [&](unsigned seed) {
        crtSrand(seed);
        CParticleEffect* pEffect = make(d, nullptr, Vector3(100, 100, 20), Matrix3(), shortLived("sparks"));
        std::vector<float> out;
        for (int u = 0; u < 200; ++u) {
            EXPECT_TRUE(pEffect->Update());
            for (int32_t i = 0; i < 64; ++i) {
                const Vector3& p = pEffect->GetParticleSystem()->GetPosition(i);
                out.insert(out.end(), {p.x, p.y, p.z});
            }
        }
        return out;
    };
    const std::vector<float> first = positions(7);
    EXPECT_EQ(positions(7), first);
    EXPECT_NE(positions(8), first);
}

TEST_F(ParticleEffectTest, APointConsumerFollowsEveryParticle)
{
    Definition follower;
    follower.set("instancename", "follower");
    follower.system = section("dummyparticles", {"count 4"});
    follower.emitter = section("followemitter", {});
    Definition d;
    d.set("PointConsumer", "follower");
    d.system = section("dummyparticles", {"count 3"});
    d.emitter = section("pointemitter", {"power 1", "stagger_frames 3"});
    CParticleEffect* pEffect = make(d, nullptr, Vector3(5, 6, 7), Matrix3(), follower.text());
    ASSERT_NE(pEffect, nullptr);
    auto* pConsumer = dynamic_cast<CParticleEffect*>(pEffect->GetLinkedEffect());
    ASSERT_NE(pConsumer, nullptr);
    EXPECT_EQ(pConsumer->GetLeader(), pEffect);
    EXPECT_EQ(pConsumer->GetFollowedPoints(), pEffect->GetParticleSystem()->GetPositions());
    EXPECT_EQ(pConsumer->GetFollowedPointCount(), 3u);
    for (int32_t i = 0; i < 3; ++i) expectNear(pEffect->GetParticleSystem()->GetPosition(i), Vector3(5, 6, 7), 0);
    // The consumer launches from where the particles are.
    manager->Update();
    manager->Update();
    const CParticleSystem* pFollowing = pConsumer->GetParticleSystem();
    ASSERT_EQ(pFollowing->GetState(0), PARTICLE_ALIVE);
    EXPECT_LT((pFollowing->GetPosition(0) - Vector3(5, 6, 7)).length(), 2.0f);
    // Ended, the leader leaves the consumer nothing to follow.
    manager->DestroyEffect(pEffect);
    EXPECT_EQ(pConsumer->GetFollowedPoints(), nullptr);
    EXPECT_EQ(pConsumer->GetLeader(), nullptr);
}

TEST_F(ParticleEffectTest, AnEffectWhosePartCannotBeBuiltIsNotCreated)
{
    SParticleSystemKind* pSystem = FindParticleSystemKind("dummyparticles");
    SControllerKind* pController = FindControllerKind("gravitycontrollernocollision");
    SEmitterKind* pEmitter = FindEmitterKind("pointemitter");
    ASSERT_TRUE(pSystem && pController && pEmitter);
    const SParticleSystemKind system = *pSystem;
    const SControllerKind controller = *pController;
    const SEmitterKind emitter = *pEmitter;
    for (int part = 0; part < 3; ++part) {
        *pSystem = system;
        *pController = controller;
        *pEmitter = emitter;
        if (part == 0) pSystem->factory = [](CParticleEffect*, const CParticleSystemDefinition*, void*) -> CParticleSystem* { return nullptr; };
        if (part == 1) pController->factory = [](CParticleEffect*, const CControllerDefinition*, void*) -> CParticleController* { return nullptr; };
        if (part == 2) pEmitter->factory = [](CParticleEffect*, const CEmitterDefinition*, void*) -> CParticleEmitter* { return nullptr; };
        EXPECT_EQ(make(Definition()), nullptr) << part;
        EXPECT_EQ(manager->GetNumEffects(), 0u) << part;
    }
    *pSystem = system;
    *pController = controller;
    *pEmitter = emitter;
    EXPECT_NE(make(Definition()), nullptr);
}
