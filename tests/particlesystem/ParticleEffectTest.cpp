#include "ParticleFixture.h"

using namespace particletest;
using testsupport::countReports;

namespace {

class ParticleEffectTest : public ParticleFixture {
protected:
    // Another effect of the same file: particles that end at their first update.
    static std::string shortLived(const std::string& name, const std::string& key = "")
    {
        Definition d;
        d.set("instancename", name);
        if (!key.empty()) d.keys.push_back(key);
        d.system = section("dummyparticles", {"count 0"});
        return d.text();
    }
    static Definition withParts(const std::string& system, const std::string& controller = "",
                                const std::string& emitter = "")
    {
        Definition d;
        d.system = system;
        if (!controller.empty()) d.controller = controller;
        if (!emitter.empty()) d.emitter = emitter;
        return d;
    }
};

}  // namespace

TEST_F(ParticleEffectTest, MissingKeysWrongPartsAndValuesThatCannotRunAreRefused)
{
    for (const char* key : {"OnCollision", "OnParticleDeath", "OnSystemDeath", "OnTime", "OnPeriod", "OnTimeParticle",
                            "OnPeriodParticle"}) {
        testsupport::clearReports();
        EXPECT_EQ(read(Definition().drop(key)), nullptr) << key;
        EXPECT_EQ(countReports(key), 1) << key;
    }
    const std::string dummy = section("dummyparticles", {"count 1"});
    // Only "SYS_NONE" so written is none: another spelling names an effect, whose frames are needed.
    const std::pair<Definition, bool> cases[] = {
        {Definition().set("OnTime", "sys_none"), false},
        {Definition().set("OnTime", "sys_none").set("OnTimeTime", "3"), true},
        {Definition().set("OnPeriod", "smoke").set("OnPeriodPeriod", "5"), false},
        {Definition().set("OnTimeParticle", "a"), false},
        {Definition().set("Active_Frames", "-4").set("Inactive_Frames", "4"), false},
        {Definition().set("Active_Frames", "0").set("Inactive_Frames", "3"), true},
        {withParts(section("dummyparticles", {"count -1"})), false},
        {withParts(section("dummyparticles", {"count 2147483647"})), false},
        {withParts(section("dummyparticles", {"count 65536"})), true},
        {withParts(section("dummyparticles", {"lifespan 4"})), false},
        {withParts(dummy + section("pointemitter", {}), section("pointemitter", {})), false},  // four parts
        {withParts(dummy, section("antigravity", {})), false},
        {withParts(dummy, section("pointemitter", {}), section("gravitycontroller", {})), false},
        {withParts(section("DummyParticles", {"count 1"}), section("GRAVITYCONTROLLER", {}), section("Volumeemitter", {})),
         true},
        {withParts(section("spriteparticles", {"count 1"})), false},
    };
    for (const auto& [d, accepted] : cases) {
        testsupport::clearReports();
        EXPECT_EQ(read(d) != nullptr, accepted) << d.text();
        EXPECT_EQ(testsupport::reports().empty(), accepted) << d.text();
    }
    Definition two = withParts(dummy);
    two.emitter.clear();
    EXPECT_EQ(read(two), nullptr);
}

TEST_F(ParticleEffectTest, TimePeriodAndDeathEventsStartTheirEffectsAndSounds)
{
    Definition d;
    d.set("OnTime", "puff").set("OnTimeTime", "0").set("OnTimeSound", "time.wav");
    d.set("OnPeriod", "puff").set("OnPeriodPeriod", "10").set("OnPeriodVariation", "0");
    d.set("OnPeriodSound", "period.wav").set("OnPeriodSoundVolume", "0.5");
    d.set("OnParticleDeath", "puff").set("OnParticleDeathSound", "death.wav");
    d.set("OnSystemDeath", "puff").set("OnSystemDeathSound", "sysdeath.wav");
    d.set("OnLaunchSound", "launch.wav").set("OnLaunchSoundMinDistance", "40");
    // An effect found nowhere fails only at its event; a sound file missing plays nothing.
    d.set("OnCollision", "ghost").set("OnCollisionSound", "no.wav");
    d.system = section("dummyparticles", {"count 1", "lifespan 5"});
    // Each puff sounds where it starts.
    const std::string puff = shortLived("puff", "OnLaunchSound launch.wav");
    CParticleEffect* pEffect = make(d, nullptr, Vector3(1, 2, 3), Matrix3(), puff);
    ASSERT_NE(pEffect, nullptr);
    ASSERT_EQ(played("launch.wav").size(), 1u);
    EXPECT_EQ(played("launch.wav")[0].pending.minDistance, 40.0f);
    EXPECT_EQ(played("launch.wav")[0].pending.position, (ds::Vector{1, -2, 3}));

    // The time event in the first update; the particle launched there expires in the fifth after.
    ASSERT_TRUE(run(pEffect, 5));
    EXPECT_EQ(played("time.wav").size(), 1u);
    EXPECT_EQ(states(pEffect), std::vector<int32_t>{PARTICLE_ALIVE});
    EXPECT_EQ(pEffect->GetParticleSystem()->GetAge(0), 4);
    pEffect->SetPosition(Vector3(7, 7, 7));
    ASSERT_TRUE(run(pEffect, 1));
    EXPECT_EQ(states(pEffect), std::vector<int32_t>{PARTICLE_FINISHED});
    ASSERT_EQ(played("death.wav").size(), 1u);
    EXPECT_EQ(played("death.wav")[0].pending.minDistance, 500.0f);  // the audio manager's default
    EXPECT_EQ(played("launch.wav").back().pending.position, (ds::Vector{1, -2, 3}));  // where it died
    EXPECT_EQ(manager->GetNumEffects(), 3u);
    // The system's death where the effect is; the manager lets it go, then the puffs.
    manager->Update();
    EXPECT_FALSE(manager->IsLive(pEffect));
    EXPECT_EQ(played("sysdeath.wav").size(), 1u);
    EXPECT_EQ(played("launch.wav").back().pending.position, (ds::Vector{7, -7, 7}));
    manager->Update();
    EXPECT_EQ(manager->GetNumEffects(), 0u);

    // Periods at frames 10, 20, 30; paused, the timer runs on without its event.
    d.system = section("dummyparticles", {"count 1"});
    pEffect = make(d, nullptr, Vector3(), Matrix3(), puff);
    ASSERT_TRUE(run(pEffect, 31));
    ASSERT_EQ(played("period.wav").size(), 3u);
    EXPECT_LT(played("period.wav")[0].volume, played("time.wav")[0].volume);
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
    Definition d = withParts(section("dummyparticles", {"count 4", "lifespan 2"}),
                             section("gravitycontrollernocollision", {"respawn 1"}),
                             section("pointemitter", {"stagger_frames 4"}));
    CParticleEffect* pEffect = make(d);
    ASSERT_TRUE(run(pEffect, 2));
    pEffect->PauseEmitter();
    ASSERT_TRUE(run(pEffect, 1));
    const int32_t A = PARTICLE_ALIVE, W = PARTICLE_WAITING;
    EXPECT_EQ(states(pEffect), (std::vector<int32_t>{W, A, 0, 0}));
    // Unpaused, the waiting particle starts over unlaunched, and so does the staggering.
    pEffect->UnpauseEmitter();
    EXPECT_EQ(states(pEffect), (std::vector<int32_t>{0, A, 0, 0}));
    ASSERT_TRUE(run(pEffect, 1));
    EXPECT_EQ(states(pEffect), (std::vector<int32_t>{A, A, 0, 0}));
    // Paused, it runs on while no particle has finished; triggered, the waiting ones retire.
    pEffect->PauseEmitter();
    ASSERT_TRUE(run(pEffect, 2));
    EXPECT_EQ(states(pEffect), (std::vector<int32_t>{W, W, 0, 0}));
    pEffect->TriggerEmitter();
    EXPECT_EQ(states(pEffect), (std::vector<int32_t>{PARTICLE_EXPIRED, PARTICLE_EXPIRED, 0, 0}));
    ASSERT_TRUE(run(pEffect, 1));
    EXPECT_EQ(pEffect->GetParticleSystem()->GetLivingParticles(), 2);
    // Only unlaunched particles live now: over. So is an effect of no particles.
    manager->Update();
    EXPECT_FALSE(manager->IsLive(pEffect));
    pEffect = make(withParts(section("dummyparticles", {"count 0"})));
    ASSERT_NE(pEffect, nullptr);
    EXPECT_FALSE(run(pEffect, 1));
}

TEST_F(ParticleEffectTest, ASeedRepeatsItsRunAndAnotherSeedDoesNot)
{
    ground(5);
    Definition d = withParts(section("dummyparticles", {"count 64", "lifespan 30"}),
                             section("gravitycontroller", {"gravity 0, 0, -0.5", "dampening 98", "collision_dampening 60"}),
                             section("volumeemitter", {"eliptical 1", "initial_velocity 1, 0, 2", "z_size 30",
                                                       "stagger_frames 8"}));
    d.set("OnPeriodParticle", "sparks").set("OnPeriodParticlePeriod", "7").set("OnPeriodParticleVariation", "4");
    const auto positions = [&](unsigned seed) {
        crtSrand(seed);
        CParticleEffect* pEffect = make(d, nullptr, Vector3(100, 100, 20), Matrix3(), shortLived("sparks"));
        std::vector<float> out;
        for (int u = 0; u < 200 && pEffect->Update(); ++u)
            for (int32_t i = 0; i < 64; ++i) out.insert(out.end(), {at(pEffect, i).x, at(pEffect, i).y, at(pEffect, i).z});
        return out;
    };
    const std::vector<float> first = positions(7);
    EXPECT_EQ(first.size(), 200u * 64 * 3);
    EXPECT_EQ(positions(7), first);
    EXPECT_NE(positions(8), first);
}

TEST_F(ParticleEffectTest, APointConsumerFollowsEveryParticleUntilItsLeaderEnds)
{
    Definition follower = withParts(section("dummyparticles", {"count 4"}), "", section("followemitter", {}));
    follower.set("instancename", "follower");
    Definition d = withParts(section("dummyparticles", {"count 3"}), "", section("pointemitter", {"stagger_frames 3"}));
    CParticleEffect* pEffect = make(d.set("PointConsumer", "follower"), nullptr, Vector3(5, 6, 7), Matrix3(), follower.text());
    auto* pConsumer = dynamic_cast<CParticleEffect*>(pEffect->GetLinkedEffect());
    ASSERT_TRUE(pConsumer && pConsumer->GetLeader() == pEffect);
    EXPECT_EQ(pConsumer->GetFollowedPoints(), pEffect->GetParticleSystem()->GetPositions());
    EXPECT_EQ(pConsumer->GetFollowedPointCount(), 3u);
    // The consumer launches from where the particles wait, at the effect's place.
    manager->Update();
    EXPECT_EQ(states(pConsumer), (std::vector<int32_t>(4, PARTICLE_ALIVE)));
    expectNear(at(pConsumer, 3), Vector3(5, 6, 7), 1e-5f);
    manager->DestroyEffect(pEffect);
    EXPECT_TRUE(pConsumer->GetFollowedPoints() == nullptr && pConsumer->GetLeader() == nullptr);
}

TEST_F(ParticleEffectTest, AnEffectWhosePartCannotBeBuiltIsNotCreated)
{
    SParticleSystemKind* pSystem = FindParticleSystemKind("dummyparticles");
    SControllerKind* pController = FindControllerKind("gravitycontrollernocollision");
    SEmitterKind* pEmitter = FindEmitterKind("pointemitter");
    const SParticleSystemKind system = *pSystem;
    const SControllerKind controller = *pController;
    const SEmitterKind emitter = *pEmitter;
    for (int part = 0; part < 4; ++part) {
        *pSystem = system;
        *pController = controller;
        *pEmitter = emitter;
        if (part == 0) pSystem->factory = [](CParticleEffect*, const CParticleSystemDefinition*, void*) -> CParticleSystem* { return nullptr; };
        if (part == 1) pController->factory = [](CParticleEffect*, const CControllerDefinition*, void*) -> CParticleController* { return nullptr; };
        if (part == 2) pEmitter->factory = [](CParticleEffect*, const CEmitterDefinition*, void*) -> CParticleEmitter* { return nullptr; };
        EXPECT_EQ(make(Definition()) != nullptr, part == 3) << part;
        EXPECT_EQ(manager->GetNumEffects(), part == 3 ? 1u : 0u) << part;
    }
}
