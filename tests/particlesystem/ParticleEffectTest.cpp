#include "ParticleFixture.h"

using namespace particletest;
using testsupport::countReports;

namespace {

using ParticleEffectTest = ParticleFixture;

Definition withParts(const std::string& system, const std::string& controller = "", const std::string& emitter = "")
{
    Definition d;
    d.system = system;
    if (!controller.empty()) d.controller = controller;
    if (!emitter.empty()) d.emitter = emitter;
    return d;
}

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
    d.set("OnPeriod", "puff").set("OnPeriodPeriod", "10").set("OnPeriodVariation", "0").set("OnPeriodSound", "period.wav");
    d.set("OnParticleDeath", "puff").set("OnParticleDeathSound", "death.wav");
    d.set("OnSystemDeath", "puff").set("OnSystemDeathSound", "sysdeath.wav");
    // An effect found nowhere fails only at its event; a sound file missing plays nothing.
    d.set("OnCollision", "ghost").set("OnCollisionSound", "no.wav");
    d.system = section("dummyparticles", {"count 1", "lifespan 5"});
    // Each puff sounds where it starts.
    Definition puff;
    puff.set("instancename", "puff").set("OnLaunchSound", "launch.wav").system = section("dummyparticles", {"count 0"});
    CParticleEffect* pEffect = make(d, nullptr, Vector3(1, 2, 3), Matrix3(), puff.text());
    ASSERT_NE(pEffect, nullptr);
    // The time event in the first update; the particle launched there expires in the fifth after,
    // its death where the effect then is; the system's death where the effect is.
    ASSERT_TRUE(run(pEffect, 5));
    EXPECT_EQ(played("time.wav").size(), 1u);
    pEffect->SetPosition(Vector3(7, 7, 7));
    ASSERT_TRUE(run(pEffect, 1));
    EXPECT_EQ(states(pEffect), std::vector<int32_t>{PARTICLE_FINISHED});
    ASSERT_EQ(played("death.wav").size(), 1u);
    EXPECT_EQ(played("launch.wav").back().pending.position, (ds::Vector{1, -2, 3}));
    manager->Update();
    EXPECT_FALSE(manager->IsLive(pEffect));
    EXPECT_EQ(played("sysdeath.wav").size(), 1u);
    EXPECT_EQ(played("launch.wav").back().pending.position, (ds::Vector{7, -7, 7}));
    // Periods at frames 10, 20, 30.
    d.system = section("dummyparticles", {"count 1"});
    ASSERT_TRUE(run(make(d, nullptr, Vector3(), Matrix3(), puff.text()), 31));
    EXPECT_EQ(played("period.wav").size(), 3u);
}

TEST_F(ParticleEffectTest, AnEffectReplacedFromItsOwnEventEndsOnlyOnceItsUpdateIsOver)
{
    // One instance at most, the older destroyed, and the effect's own time or particle-death event
    // starts it again while its update runs; or starts again the multi-effect it is part of.
    const std::pair<std::string, std::string> events[] = {{"OnTime", "OnTimeTime"}, {"OnParticleDeath", ""}};
    for (const auto& [event, frameKey] : events)
        for (bool inMulti : {false, true}) {
            SCOPED_TRACE(event + (inMulti ? " of a part" : ""));
            const char* name = inMulti ? "group" : "again";
            Definition d = withParts(section("dummyparticles", {"count 2", "lifespan 1"}));
            d.set("instancename", "again").set("MaxInstances", "1").set("AbortTechnique", "1").set(event, name);
            if (!frameKey.empty()) d.set(frameKey, "1");
            const std::string limit = "MaxInstances 1\nAbortTechnique 1\n";
            manager = std::make_unique<CEffectManager>();
            define(d.text() + block("MULTIEFFECT", "group", limit + "Effects\n{\n{\nEffect again\n}\n}\n"),
                   {"again", "group"});
            // Told by its end call: its replacement may take its address.
            int firstEnded = 0;
            EffectEndCallback count = [](CEffect*, void* ended) { ++*static_cast<int*>(ended); };
            ASSERT_NE(manager->CreateEffect(name, Vector3(), Matrix3(), 0, count, &firstEnded), nullptr);
            for (int update = 0; update < 4; ++update) manager->Update();
            EXPECT_EQ(firstEnded, 1);
            EXPECT_EQ(manager->GetNumEffects(), inMulti ? 2u : 1u);
        }
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

TEST_F(ParticleEffectTest, APointConsumerFollowsEveryParticleUntilItsLeaderEnds)
{
    const std::string follower =
        withParts(section("dummyparticles", {"count 4"}), "", section("followemitter", {})).set("instancename", "follower").text();
    Definition d = withParts(section("dummyparticles", {"count 3"}), "", section("pointemitter", {"stagger_frames 3"}));
    CParticleEffect* pEffect = make(d.set("PointConsumer", "follower"), nullptr, Vector3(5, 6, 7), Matrix3(), follower);
    auto* pConsumer = dynamic_cast<CParticleEffect*>(pEffect->GetLinkedEffect());
    ASSERT_NE(pConsumer, nullptr);
    EXPECT_EQ(pEffect, pConsumer->GetLeader());
    EXPECT_EQ(std::make_pair(pEffect->GetParticleSystem()->GetPositions(), 3u),
              std::make_pair(pConsumer->GetFollowedPoints(), pConsumer->GetFollowedPointCount()));
    // The consumer launches from where the particles wait, at the effect's place.
    manager->Update();
    EXPECT_EQ(states(pConsumer), (std::vector<int32_t>(4, PARTICLE_ALIVE)));
    expectNear(at(pConsumer, 3), Vector3(5, 6, 7), 1e-5f);
    manager->DestroyEffect(pEffect);
    EXPECT_EQ(nullptr, pConsumer->GetFollowedPoints());
    EXPECT_EQ(nullptr, pConsumer->GetLeader());


    // Its staggering runs on while there is nothing to follow: three frames' worth start at once.
    CParticleEffect* pStaggered =
        make(withParts(section("dummyparticles", {"count 4"}), "", section("followemitter", {"stagger_frames 4"})));
    ASSERT_TRUE(run(pStaggered, 2));
    Vector3 point(1, 2, 3);
    pStaggered->SetFollowedPoints(1, &point);
    ASSERT_TRUE(run(pStaggered, 1));
    const int32_t A = PARTICLE_ALIVE;
    EXPECT_EQ(states(pStaggered), (std::vector<int32_t>{A, A, A, 0}));
    pStaggered->SetFollowedPoints(0, nullptr);
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
