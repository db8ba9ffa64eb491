#include "ParticleFixture.h"

#include <cmath>

using namespace particletest;

namespace {

class ControllerTest : public ParticleFixture {
protected:
    // count particles launched exactly at the effect's position with the velocity.
    static Definition fromThePoint(const std::string& controller, const std::string& velocity, int count = 1,
                                   int staggerFrames = 1)
    {
        Definition d;
        d.system = section("dummyparticles", {"count " + std::to_string(count)});
        d.controller = controller;
        d.emitter = section("volumeemitter", {"x_size 0", "y_size 0", "z_size 0", "initial_velocity " + velocity,
                                              "stagger_frames " + std::to_string(staggerFrames)});
        return d;
    }
};

}  // namespace

TEST_F(ControllerTest, GravityDampsDriftsAndSpreadsOnlyTheFirstMove)
{
    for (const char* lifespan : {"100", "-1"}) {
        Definition d;
        d.system = section("dummyparticles", {"count 1", std::string("lifespan ") + lifespan});
        d.controller = section("gravitycontrollernocollision", {"gravity 0, 0, -1", "dampening 90"});
        d.emitter = section("pointemitter", {"power 3", "variation 0"});
        crtSrand(9);
        CParticleEffect* pEffect = make(d, nullptr, Vector3(0, 0, 50));
        pEffect->SetDrift(Vector3(1, 0, 0));
        ASSERT_TRUE(run(pEffect, 1));
        const Vector3 p0 = at(pEffect, 0), v0 = speed(pEffect, 0);
        ASSERT_TRUE(run(pEffect, 1));
        const Vector3 v1 = (v0 + Vector3(0, 0, -1)) * 0.9f;
        expectNear(speed(pEffect, 0), v1, 1e-6f);
        // With a lifespan the age is 1 now: a random part of the move, the draw after the launch's
        // four. Without one the age stays 0 and every move is whole.
        crtSrand(9);
        for (int i = 0; i < 4; ++i) crtRand();
        const float u = lifespan[0] == '-' ? 1.0f : static_cast<float>(crtRand()) / 32767.0f;
        expectNear(at(pEffect, 0), p0 + Vector3(1, 0, 0) + v1 * u);
        const Vector3 p1 = at(pEffect, 0);
        ASSERT_TRUE(run(pEffect, 1));
        expectNear(at(pEffect, 0), p1 + Vector3(1, 0, 0) + (v1 + Vector3(0, 0, -1)) * 0.9f);
    }
}

TEST_F(ControllerTest, GroundCollisionsBounceKillAndReportOncePerRunOfColliders)
{
    ground(10);
    const std::string puff = [] {
        Definition p;
        p.set("instancename", "puff").set("OnLaunchSound", "launch.wav");
        p.system = section("dummyparticles", {"count 0"});
        return p.text();
    }();
    struct Case {
        std::vector<std::string> keys;
        float secondHeight;  // where the second particle starts
        size_t events;
        Vector3 bounced;  // the first particle's velocity after it hit the ground
        int32_t state;
    } cases[] = {
        {{}, 11.5f, 1, Vector3(0, 0, 1), PARTICLE_ALIVE},
        {{}, 50.0f, 2, Vector3(0, 0, 1), PARTICLE_ALIVE},  // a gap in the run
        {{"collision_dampening 50", "collision_zdampening 50"}, 11.5f, 1, Vector3(0, 0, 0.25f), PARTICLE_ALIVE},
        {{"kill_on_collision 1", "respawn 0"}, 11.5f, 1, Vector3(0, 0, -1), PARTICLE_FINISHED},
        {{"kill_on_collision 1", "respawn 1"}, 11.5f, 1, Vector3(0, 0, -1), PARTICLE_WAITING},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys.empty() ? "bounce" : c.keys[0]);
        const size_t before = played("collision.wav").size(), deaths = played("death.wav").size();
        std::vector<std::string> keys = c.keys;
        keys.push_back("gravity 0, 0, 0");
        Definition d = fromThePoint(section("gravitycontroller", keys), "0, 0, -1", 3, 3);
        d.set("OnCollision", "puff").set("OnCollisionSound", "collision.wav").set("OnParticleDeathSound", "death.wav");
        // One launch a frame, each from its own place, all three below the ground together.
        CParticleEffect* pEffect = make(d, nullptr, Vector3(10, 10, 12.5f), Matrix3(), puff);
        ASSERT_TRUE(run(pEffect, 1));
        pEffect->SetPosition(Vector3(20, 20, c.secondHeight));
        ASSERT_TRUE(run(pEffect, 1));
        pEffect->SetPosition(Vector3(30, 30, 10.5f));
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
        if (c.state == PARTICLE_ALIVE) {
            EXPECT_EQ(at(pEffect, 0).z, 10.0f);
            EXPECT_EQ(played("death.wav").size(), deaths);
        } else {
            EXPECT_EQ(played("death.wav").size(), deaths + 3);
        }
    }
}

TEST_F(ControllerTest, APlaneServesWhereThereIsNoGroundAndAttractionSparesTheTarget)
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
    // Attraction: at the target the velocity stays; one unit off the scaled distance is raised to
    // the cutoff, so the pull is 0.1 / 100.
    Definition d = fromThePoint(section("attractioncontroller", {"power 0.1", "falloff 1", "cutoff 10"}), "1, 0, 0");
    CParticleEffect* pEffect = make(d, nullptr, Vector3(3, 3, 3));
    ASSERT_TRUE(run(pEffect, 2));
    expectNear(speed(pEffect, 0), Vector3(1, 0, 0), 0);
    expectNear(at(pEffect, 0), Vector3(4, 3, 3), 0);
    ASSERT_TRUE(run(pEffect, 1));
    expectNear(speed(pEffect, 0), Vector3(0.999f, 0, 0), 1e-6f);
}

TEST_F(ControllerTest, WrappingSpaceKeepsParticlesInTheBoxAroundTheCamera)
{
    const std::string controller = section(
        "wrappingspacecontroller", {"x 100", "y 0", "z -5", "wobbleamp 2", "wobblevariation 0.5", "wobblefreq 0.25"});
    CParticleEffect* pEffect = make(fromThePoint(controller, "1, 0, 0", 2), nullptr, Vector3(59, 70, 80));
    ASSERT_TRUE(run(pEffect, 2));
    // 60 in front with a box of 100 is 40 behind; y and z have no box and stay. The wobble's
    // phase moved on once already.
    const float s = std::sin(0.75f), s2 = std::sin(1.25f);
    expectNear(at(pEffect, 0), Vector3(-40 + 2 * std::sin(0.25f), 70 + 2 * s2, 80), 1e-5f);
    expectNear(at(pEffect, 1), Vector3(-40 + 2 * s, 70 + 2 * s, 80), 1e-5f);

    const float cases[][3] = {{60, 100, -40},   {-60, 100, 40},         {50, 100, 50},         {-50, 100, -50},
                              {149, 100, 49},   {1e6f + 20, 100, 20}, {-1e6f - 20, 100, -20}, {7, 0, 7},
                              {7, -100, 7}};
    for (const auto& c : cases) EXPECT_NEAR(wrapIntoBox(c[0], c[1]), c[2], 1e-3f) << c[0] << " " << c[1];
    EXPECT_TRUE(std::isnan(wrapIntoBox(NAN, 100)) && std::isnan(wrapIntoBox(INFINITY, 100)));
}

TEST_F(ControllerTest, AbsurdNumbersRunWithoutHangingOrUndefinedArithmetic)
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
        Definition d;
        d.system = section("dummyparticles", {"count 50", "lifespan 3"});
        d.controller = controller;
        d.emitter = emitter;
        CParticleEffect* pEffect = make(d, nullptr, Vector3(100, 100, 5));
        ASSERT_NE(pEffect, nullptr) << controller;
        EXPECT_TRUE(run(pEffect, 20)) << controller;
    }
}
