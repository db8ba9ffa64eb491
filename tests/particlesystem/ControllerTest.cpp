#include "ParticleFixture.h"

#include <cmath>
#include <tuple>

using namespace particletest;

namespace {

using ControllerTest = ParticleFixture;
using EmitterTest = ParticleFixture;

// count particles launched exactly at the effect's position with the velocity.
Definition fromThePoint(const std::string& controller, const std::string& velocity, int count = 1, int staggerFrames = 1)
{
    Definition d;
    d.system = section("dummyparticles", {"count " + std::to_string(count)});
    d.controller = controller;
    d.emitter = section("volumeemitter", {"x_size 0", "y_size 0", "z_size 0", "initial_velocity " + velocity,
                                          "stagger_frames " + std::to_string(staggerFrames)});
    return d;
}
// Particles that stay where they were launched.
Definition still(const std::string& emitter, int count)
{
    Definition d;
    d.system = section("dummyparticles", {"count " + std::to_string(count)});
    return d.emitter = emitter, d;
}

}  // namespace

TEST_F(ControllerTest, GroundCollisionsBounceKillAndReportOncePerRunOfColliders)
{
    ground(10);
    Definition p;
    p.set("instancename", "puff").set("OnLaunchSound", "launch.wav");
    p.system = section("dummyparticles", {"count 0"});
    const struct {
        std::vector<std::string> keys;
        float secondHeight;  // where the second particle starts: with the others, or leaving a gap
        size_t events;
        Vector3 bounced;  // the first particle's velocity after it hit the ground
        int32_t state;
    } cases[] = {
        {{}, 11.5f, 1, Vector3(0, 0, 1), PARTICLE_ALIVE},
        {{}, 50.0f, 2, Vector3(0, 0, 1), PARTICLE_ALIVE},
        {{"collision_dampening 50", "collision_zdampening 50"}, 11.5f, 1, Vector3(0, 0, 0.25f), PARTICLE_ALIVE},
        {{"kill_on_collision 1", "respawn 1"}, 11.5f, 1, Vector3(0, 0, -1), PARTICLE_WAITING},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        const size_t before = played("collision.wav").size(), deaths = played("death.wav").size();
        std::vector<std::string> keys = c.keys;
        keys.push_back("gravity 0, 0, 0");
        Definition d = fromThePoint(section("gravitycontroller", keys), "0, 0, -1", 3, 3);
        d.set("OnCollision", "puff").set("OnCollisionSound", "collision.wav").set("OnParticleDeathSound", "death.wav");
        // One launch a frame, each from its own place, all three below the ground together.
        CParticleEffect* pEffect = make(d, nullptr, Vector3(10, 10, 12.5f), Matrix3(), p.text());
        for (const Vector3& next : {Vector3(20, 20, c.secondHeight), Vector3(30, 30, 10.5f)}) {
            ASSERT_TRUE(run(pEffect, 1));
            pEffect->SetPosition(next);
        }
        ASSERT_TRUE(run(pEffect, 1));
        EXPECT_EQ(played("collision.wav").size(), before);
        pEffect->PauseEmitter();  // so that a particle made to wait stays waiting
        ASSERT_TRUE(run(pEffect, 1));
        const auto events = played("collision.wav");
        ASSERT_EQ(events.size(), before + c.events);
        EXPECT_EQ(events[before].pending.position, (ds::Vector{10, -10, 10}));
        EXPECT_EQ(played("launch.wav").back().pending.position, events.back().pending.position);  // the puff
        EXPECT_EQ(pEffect->GetParticleSystem()->GetState(0), c.state);
        expectNear(speed(pEffect, 0), c.bounced, 1e-6f);
        EXPECT_EQ(played("death.wav").size(), deaths + (c.state == PARTICLE_ALIVE ? 0 : 3));
    }
}

TEST_F(ControllerTest, APlaneAboveTheEmissionPointServesWhereThereIsNoGround)
{
    // Off the AI map: ground 0, straight up. The plane 5 above a point emitter's origin, or above a
    // fountain's last emission point.
    const std::string controller = section("gravitycontroller", {"gravity 0, 0, 0", "collision_plane 5"});
    Definition fountain = fromThePoint(controller, "0, 0, 0");
    fountain.emitter = section("fountainemitter", {"power -1", "variation 0", "spread 0"});
    const std::pair<Definition, Vector3> cases[] = {{fromThePoint(controller, "0, 0, -1"), Vector3(-30, 7, 5.5f)},
                                                    {fountain, Vector3(-30, 7, 100.5f)}};
    for (const auto& [d, position] : cases) {
        CParticleEffect* pEffect = make(d, nullptr, position);
        ASSERT_TRUE(run(pEffect, 2));
        expectNear(at(pEffect, 0), Vector3(-30, 7, position.z == 5.5f ? 5.0f : 105.5f));
        expectNear(speed(pEffect, 0), Vector3(0, 0, 1), 0);
    }
}

TEST_F(ControllerTest, WrappingSpaceKeepsParticlesInTheBoxAroundTheCamera)
{
    const std::string controller = section(
        "wrappingspacecontroller", {"x 100", "y 0", "z -5", "wobbleamp 2", "wobblevariation 0.5", "wobblefreq 0.25"});
    // About the camera the level is seen from, away from the origin.
    SetEffectCameraPosition(Vector3(1000, 0, 0));
    CParticleEffect* pEffect = make(fromThePoint(controller, "1, 0, 0", 2), nullptr, Vector3(1059, 70, 80));
    ASSERT_TRUE(run(pEffect, 2));
    // 60 in front with a box of 100 is 40 behind; y and z have no box and stay. The wobble's
    // phase moved on once already.
    const float s = std::sin(0.75f), s2 = std::sin(1.25f);
    expectNear(at(pEffect, 0), Vector3(960 + 2 * std::sin(0.25f), 70 + 2 * s2, 80), 1e-5f);
    expectNear(at(pEffect, 1), Vector3(960 + 2 * s, 70 + 2 * s, 80), 1e-5f);
    const float cases[][3] = {{60, 100, -40},   {-60, 100, 40},         {50, 100, 50},         {-50, 100, -50},
                              {149, 100, 49},   {1e6f + 20, 100, 20}, {-1e6f - 20, 100, -20}, {7, 0, 7},
                              {7, -100, 7}};
    for (const auto& c : cases) EXPECT_NEAR(wrapIntoBox(c[0], c[1]), c[2], 1e-3f) << c[0] << " " << c[1];
    for (float x : {NAN, INFINITY}) EXPECT_TRUE(std::isnan(wrapIntoBox(x, 100))) << x;
}

TEST_F(ControllerTest, AbsurdNumbersRunWithoutUndefinedArithmeticAndEveryParticleEndsAtItsLifespan)
{
    ground(3);
    const std::pair<std::string, std::string> cases[] = {
        {section("gravitycontroller", {"gravity 1e38, nan, -inf", "collision_plane inf"}),
         section("volumeemitter", {"eliptical 1", "x_size 1e-45", "y_size nan", "z_size inf"})},
        {section("wrappingspacecontroller", {"x 1e-45", "y nan", "z 1e38", "wobbleamp inf"}),
         section("pointemitter", {"power 1e38", "variation nan"})},
        {section("attractioncontroller", {"falloff 0", "cutoff nan", "power inf"}),
         section("dynamicshapeemitter", {"eliptical 1", "x_size 1e-40", "y_size -1e-45", "stagger_frames -2147483648"})},
        {section("gravitycontrollernocollision", {"dampening 1e30"}),
         section("fountainemitter", {"spread inf", "position_variation nan, 1e38, -1e38"})},
    };
    for (const auto& [controller, emitter] : cases) {
        Definition d = still(emitter, 50);
        d.system = section("dummyparticles", {"count 50", "lifespan 3"}), d.controller = controller;
        CParticleEffect* pEffect = make(d, nullptr, Vector3(100, 100, 5));
        ASSERT_NE(pEffect, nullptr) << controller;
        for (int update = 0; update < 20; ++update) {
            ASSERT_TRUE(pEffect->Update()) << controller;
            const CParticleSystem* pSystem = pEffect->GetParticleSystem();
            for (int32_t i = 0; i < 50; ++i)
                if (pSystem->GetState(i) == PARTICLE_ALIVE) { ASSERT_LT(pSystem->GetAge(i), 3) << controller << i; }
        }
    }
}

TEST_F(EmitterTest, FirstLaunchesSpreadOverStaggerAndActiveFramesInIndexOrder)
{
    const struct {
        Definition def;
        std::vector<int> alive;  // after each update
    } cases[] = {
        {still(section("pointemitter", {"stagger_frames 4"}), 10), {3, 5, 8, 10}},
        // Emitting in frames 0, 1, 5, 6, 10 and 11.
        {still(section("pointemitter", {"stagger_frames 20"}), 20).set("Active_Frames", "2").set("Inactive_Frames", "3"),
         {1, 2, 2, 2, 2, 3, 4, 4, 4, 4, 5, 6, 6}},
    };
    for (const auto& c : cases) {
        CParticleEffect* pEffect = make(c.def);
        ASSERT_NE(pEffect, nullptr);
        for (int alive : c.alive) {
            ASSERT_TRUE(pEffect->Update());
            const std::vector<int32_t> s = states(pEffect);
            for (size_t i = 0; i < s.size(); ++i)
                EXPECT_EQ(s[i], int(i) < alive ? PARTICLE_ALIVE : PARTICLE_UNLAUNCHED) << c.def.text() << alive << i;
        }
    }
}

TEST_F(EmitterTest, EllipticalShapesStayInsideTheirEllipseEvenWhenFlat)
{
    // The creator's x size and velocity (flags 1 and 4) win over the definition's.
    ExtraEffectData extra = {ExtraEffectData::HAS_X_SIZE | ExtraEffectData::HAS_INITIAL_VELOCITY, 6, 99, {0, 0, 3}};
    ParticleEffectExtraData parts = {nullptr, nullptr, &extra};
    const std::tuple<std::string, Vector3, void*> cases[] = {  // the half sizes; 0 leaves the axis out
        {section("volumeemitter", {"eliptical 1"}), Vector3(5, 5, 5), nullptr},
        {section("volumeemitter", {"eliptical 1", "z_size 0"}), Vector3(5, 5, 0), nullptr},
        {section("volumeemitter", {"eliptical 1", "x_size 0", "y_size 0", "z_size -4"}), Vector3(0, 0, 2), nullptr},
        {section("dynamicshapeemitter", {"eliptical 1", "x_size 0", "y_size 8"}), Vector3(0, 4, 0), nullptr},
        {section("dynamicshapeemitter", {"eliptical 1", "x_size 2", "y_size 4", "initial_velocity 9, 9, 9"}),
         Vector3(3, 2, 0), &parts},
    };
    for (const auto& [emitter, half, data] : cases) {
        CParticleEffect* pEffect = make(still(emitter, 500), data, Vector3(1, 1, 1));
        ASSERT_NE(pEffect, nullptr);
        ASSERT_TRUE(run(pEffect, 1));

        if (data) expectNear(speed(pEffect, 0), Vector3(0, 0, 3), 0);
        float farthest = 0;
        for (int32_t i = 0; i < 500; ++i) {
            const Vector3 q = at(pEffect, i) - Vector3(1, 1, 1);
            float r = 0;
            for (const auto& [v, h] : {std::pair{q.x, half.x}, {q.y, half.y}, {q.z, half.z}}) {
                if (h == 0)
                    EXPECT_EQ(v, 0.0f);
                else
                    r += (v / h) * (v / h);
            }
            EXPECT_LE(r, 1.0f + 1e-5f) << emitter;
            farthest = std::max(farthest, r);
        }
        EXPECT_GT(farthest, 0.8f) << emitter;  // and they fill it
    }
    // No creator's data: reported, and the definition's sizes serve.
    EXPECT_EQ(testsupport::countReports("No Extra Effect Data was passed in to a dynamic shape emitter!!"), 1);
}
