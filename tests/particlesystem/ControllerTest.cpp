#include "ParticleFixture.h"

#include <cmath>

using namespace particletest;
using platform::testing::dsound::Vector;

namespace {

class ControllerTest : public ParticleFixture {
protected:
    // Particles launched exactly at the effect's position with the given velocity.
    static std::string fromThePoint(const std::string& velocity, int staggerFrames = 1)
    {
        return section("volumeemitter", {"x_size 0", "y_size 0", "z_size 0", "initial_velocity " + velocity,
                                       "stagger_frames " + std::to_string(staggerFrames)});
    }
    static const Vector3& at(CParticleEffect* pEffect, int32_t i) { return pEffect->GetParticleSystem()->GetPosition(i); }
    static const Vector3& speed(CParticleEffect* pEffect, int32_t i)
    {
        return pEffect->GetParticleSystem()->GetVelocity(i);
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
        EXPECT_NEAR(v0.length(), 3.0f, 1e-4f);
        ASSERT_TRUE(run(pEffect, 1));
        const Vector3 v1 = (v0 + Vector3(0, 0, -1)) * 0.9f;
        expectNear(speed(pEffect, 0), v1, 1e-6f);
        // With a lifespan the age is 1 now: a random part of the move (the draw after the launch's
        // four); without one the age stays 0 and the move is whole.
        crtSrand(9);
        for (int i = 0; i < 4; ++i) crtRand();
        const float u = lifespan[0] == '-' ? 1.0f : static_cast<float>(crtRand()) / 32767.0f;
        expectNear(at(pEffect, 0), p0 + Vector3(1, 0, 0) + v1 * u);
        EXPECT_EQ(pEffect->GetParticleSystem()->GetAge(0), lifespan[0] == '-' ? 0 : 1);
        const Vector3 p1 = at(pEffect, 0);
        ASSERT_TRUE(run(pEffect, 1));
        expectNear(at(pEffect, 0), p1 + Vector3(1, 0, 0) + (v1 + Vector3(0, 0, -1)) * 0.9f);
    }
}

TEST_F(ControllerTest, GroundCollisionsBounceKillAndReportOncePerRunOfColliders)
{
    ground(10);
    struct Case {
        const char* what;
        std::vector<std::string> keys;
        float secondHeight;  // the second particle's launch height
        size_t events;
        Vector3 bounced;     // the first particle's velocity after its bounce
        int32_t state;       // the first particle's state after the collision
    } cases[] = {
        {"a run", {}, 11.5f, 1, Vector3(0, 0, 1), PARTICLE_ALIVE},
        {"a gap", {}, 50.0f, 2, Vector3(0, 0, 1), PARTICLE_ALIVE},
        {"damped", {"collision_dampening 50", "collision_zdampening 50"}, 11.5f, 1, Vector3(0, 0, 0.25f), PARTICLE_ALIVE},
        {"killed", {"kill_on_collision 1", "respawn 0"}, 11.5f, 1, Vector3(0, 0, -1), PARTICLE_FINISHED},
        {"killed to wait", {"kill_on_collision 1", "respawn 1"}, 11.5f, 1, Vector3(0, 0, -1), PARTICLE_WAITING},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t before = played("collision.wav").size(), deaths = played("death.wav").size();
        Definition d;
        d.set("OnCollisionSound", "collision.wav").set("OnParticleDeathSound", "death.wav");
        d.system = section("dummyparticles", {"count 3"});
        std::vector<std::string> keys = c.keys;
        keys.push_back("gravity 0, 0, 0");
        d.controller = section("gravitycontroller", keys);
        d.emitter = fromThePoint("0, 0, -1", 3);
        // One launch a frame, each from its own place; all three sink below the ground together.
        CParticleEffect* pEffect = make(d, nullptr, Vector3(10, 10, 12.5f));
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
        EXPECT_EQ(events[before].pending.position, (Vector{10, -10, 10}));
        EXPECT_EQ(pEffect->GetParticleSystem()->GetState(0), c.state);
        expectNear(speed(pEffect, 0), c.bounced, 1e-6f);
        if (c.state == PARTICLE_ALIVE) {
            EXPECT_EQ(at(pEffect, 0).z, 10.0f);
            EXPECT_EQ(played("death.wav").size(), deaths);
        } else {
            EXPECT_EQ(played("death.wav").size(), deaths + 3 - (c.secondHeight > 20));
        }
    }
}

TEST_F(ControllerTest, APlaneAboveTheEmissionPointLiesUnderTheGroundOfTheMapsEdge)
{
    // No AI map under the effect: ground 0 and straight up; the plane 5 above a point emitter's
    // origin, or above a fountain's last emission point.
    struct Case {
        std::string emitter;
        Vector3 position;
        float floor;
    } cases[] = {
        {fromThePoint("0, 0, -1"), Vector3(-30, 7, 5.5f), 5.0f},
        {section("fountainemitter", {"power -1", "variation 0", "spread 0"}), Vector3(-30, 7, 100.5f), 105.5f},
    };
    for (const Case& c : cases) {
        Definition d;
        d.set("OnCollisionSound", "collision.wav");
        d.system = section("dummyparticles", {"count 1"});
        d.controller = section("gravitycontroller", {"gravity 0, 0, 0", "collision_plane 5"});
        d.emitter = c.emitter;
        CParticleEffect* pEffect = make(d, nullptr, c.position);
        ASSERT_TRUE(run(pEffect, 2));
        expectNear(at(pEffect, 0), Vector3(-30, 7, c.floor));
        expectNear(speed(pEffect, 0), Vector3(0, 0, 1), 0);
    }
    EXPECT_EQ(played("collision.wav").size(), 2u);
}

TEST_F(ControllerTest, AttractionPullsFromAnywhereButTheTarget)
{
    Definition d;
    d.system = section("dummyparticles", {"count 1"});
    d.controller = section("attractioncontroller", {"power 0.1", "falloff 1", "cutoff 10"});
    d.emitter = fromThePoint("1, 0, 0");
    CParticleEffect* pEffect = make(d, nullptr, Vector3(3, 3, 3));
    ASSERT_TRUE(run(pEffect, 2));
    // At the target: the velocity stays as it was.
    expectNear(speed(pEffect, 0), Vector3(1, 0, 0), 0);
    expectNear(at(pEffect, 0), Vector3(4, 3, 3), 0);
    // One unit off: the scaled distance is raised to the cutoff, so the pull is 0.1 / 100.
    ASSERT_TRUE(run(pEffect, 1));
    expectNear(speed(pEffect, 0), Vector3(0.999f, 0, 0), 1e-6f);
}

TEST_F(ControllerTest, WrappingSpaceKeepsParticlesInTheBoxAroundTheCamera)
{
    Definition d;
    d.system = section("dummyparticles", {"count 2"});
    d.controller = section("wrappingspacecontroller", {"x 100", "y 0", "z -5", "wobbleamp 2", "wobblevariation 0.5",
                                                     "wobblefreq 0.25"});
    d.emitter = fromThePoint("1, 0, 0");
    CParticleEffect* pEffect = make(d, nullptr, Vector3(59, 70, 80));
    ASSERT_TRUE(run(pEffect, 2));
    // 60 in front with a box of 100 is 40 behind; y and z have no box and stay.
    const float phase = 0.25f;
    expectNear(at(pEffect, 0), Vector3(-40 + 2 * std::sin(phase), 70 + 2 * std::sin(2 * 0.5f + phase), 80), 1e-5f);
    expectNear(at(pEffect, 1), Vector3(-40 + 2 * std::sin(0.5f + phase), 70 + 2 * std::sin(0.5f + phase), 80), 1e-5f);

    struct Case {
        float offset, size, wrapped;
    } cases[] = {
        {60, 100, -40}, {-60, 100, 40}, {50, 100, 50}, {-50, 100, -50}, {149, 100, 49},
        {1e6f + 20, 100, 20}, {-1e6f - 20, 100, -20}, {7, 0, 7}, {7, -100, 7},
    };
    for (const Case& c : cases) EXPECT_NEAR(wrapIntoBox(c.offset, c.size), c.wrapped, 1e-3f) << c.offset << " " << c.size;
    EXPECT_TRUE(std::isnan(wrapIntoBox(NAN, 100)));
    EXPECT_TRUE(std::isnan(wrapIntoBox(INFINITY, 100)));
}
