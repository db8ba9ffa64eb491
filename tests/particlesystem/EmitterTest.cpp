#include "ParticleFixture.h"

#include <cmath>
#include <functional>

using namespace particletest;

namespace {

class EmitterTest : public ParticleFixture {
protected:
    // Particles that stay where they were launched.
    static Definition still(const std::string& emitter, int count)
    {
        Definition d;
        d.system = section("dummyparticles", {"count " + std::to_string(count)});
        d.emitter = emitter;
        return d;
    }
};

// The draws as the emitters make them.
float U() { return static_cast<float>(crtRand()) / 32767.0f; }
float angle() { return static_cast<float>(crtRand()) * 1.9175345e-04f; }
float spread(float v) { return U() * v - v / 2; }
Vector3 spread(const Vector3& v)
{
    const float x = spread(v.x);
    const float y = spread(v.y);
    return Vector3(x, y, spread(v.z));
}
Vector3 turned(const Vector3& v, const Matrix3& m)
{
    Vector3 out;
    m.transform(v, out);
    return out;
}

}  // namespace

TEST_F(EmitterTest, FirstLaunchesSpreadOverStaggerAndActiveFramesInIndexOrder)
{
    struct Case {
        Definition def;
        std::vector<int> alive;  // after each update
    } cases[] = {
        {still(section("pointemitter", {"stagger_frames 4"}), 10), {3, 5, 8, 10}},
        {still(section("pointemitter", {"stagger_frames 0"}), 10), {10}},
        {still(section("pointemitter", {"stagger_frames -2"}), 10), {0, 0}},  // never, and runs on
        // Emitting in frames 0, 1, 5, 6, 10 and 11.
        {still(section("pointemitter", {"stagger_frames 20"}), 20).set("Active_Frames", "2").set("Inactive_Frames", "3"),
         {1, 2, 2, 2, 2, 3, 4, 4, 4, 4, 5, 6, 6}},
    };
    for (const Case& c : cases) {
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

TEST_F(EmitterTest, PointAndCreatorSizedShapesLaunchWhereTheirDrawsSay)
{
    Matrix3 m;
    matrix3FromAngles(0.3f, -0.2f, 0.7f, m);
    const Vector3 p(10, 20, 30);
    ExtraEffectData extra = {ExtraEffectData::HAS_X_SIZE | ExtraEffectData::HAS_INITIAL_VELOCITY, 6, 99, {0, 0, 3}};
    ParticleEffectExtraData parts = {nullptr, nullptr, &extra};
    struct Launch {
        Vector3 position, velocity;
    };
    const std::pair<std::string, std::function<Launch()>> cases[] = {
        {section("pointemitter", {"power 4", "variation 2", "offset 1, 2, 3"}), [&] {
             const float a = angle(), b = angle();
             angle();
             const float s = 4 + U() * 2 - 1;
             const Vector3 d(std::cos(b) * std::cos(a), -std::cos(b) * std::sin(a), std::sin(b));
             return Launch{turned(Vector3(1, 2, 3), m) + p, d * s};  // the direction is not turned
         }},
        // The creator's x size and velocity (flags 1 and 4), the definition's y size.
        {section("dynamicshapeemitter", {"x_size 2", "y_size 4", "initial_velocity 9, 9, 9", "position_offset 0, 0, 1"}),
         [&] {
             const float x = spread(6.0f);
             const float y = spread(4.0f);
             spread(Vector3());
             return Launch{turned(Vector3(x, y, 0), m) + p + Vector3(0, 0, 1), turned(Vector3(0, 0, 3), m)};
         }},
    };
    for (const auto& [emitter, expected] : cases) {
        SCOPED_TRACE(emitter);
        crtSrand(42);
        CParticleEffect* pEffect = make(still(emitter, 3), &parts, p, m);
        ASSERT_TRUE(pEffect && run(pEffect, 1));
        crtSrand(42);
        for (int32_t i = 0; i < 3; ++i) {
            const Launch want = expected();
            expectNear(at(pEffect, i), want.position);
            expectNear(speed(pEffect, i), want.velocity);
        }
    }
    EXPECT_EQ(testsupport::reports().size(), 0u);
}

TEST_F(EmitterTest, EllipticalShapesStayInsideTheirEllipseEvenWhenFlat)
{
    const std::pair<std::string, Vector3> cases[] = {  // the half sizes; 0 leaves the axis out
        {section("volumeemitter", {"eliptical 1"}), Vector3(5, 5, 5)},
        {section("volumeemitter", {"eliptical 1", "z_size 0"}), Vector3(5, 5, 0)},
        {section("volumeemitter", {"eliptical 1", "x_size 0", "y_size 0", "z_size -4"}), Vector3(0, 0, 2)},
        {section("dynamicshapeemitter", {"eliptical 1", "x_size 0", "y_size 8"}), Vector3(0, 4, 0)},
    };
    for (const auto& [emitter, half] : cases) {
        CParticleEffect* pEffect = make(still(emitter, 500), nullptr, Vector3(1, 1, 1));
        ASSERT_TRUE(pEffect && run(pEffect, 1));
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

TEST_F(EmitterTest, AMovingFountainFillsThePathAndAFollowEmitterTracksItsPoints)
{
    CParticleEffect* pEffect =
        make(still(section("fountainemitter", {"stagger_frames 2", "power 0", "variation 0", "spread 0"}), 100), nullptr,
             Vector3(5, 5, 5));
    ASSERT_TRUE(run(pEffect, 1));
    pEffect->SetPosition(Vector3(15, 5, 5));
    ASSERT_TRUE(run(pEffect, 1));
    float least = 10, most = 0;
    for (int32_t i = 50; i < 100; ++i) {
        expectNear(at(pEffect, i), Vector3(at(pEffect, i).x, 5, 5), 1e-5f);
        least = std::min(least, at(pEffect, i).x - 5);
        most = std::max(most, at(pEffect, i).x - 5);
    }
    EXPECT_TRUE(least > -1e-5f && least < 1 && most > 9 && most < 10 + 1e-5f) << least << " " << most;
    Vector3 last;
    pEffect->GetEmitter()->GetLastPosition(last);
    expectNear(last, Vector3(15, 5, 5), 0);

    // Follow: nothing to follow launches nothing; a new list launches from its points alone; a
    // list moved in place is filled between the old and new places.
    pEffect = make(still(section("followemitter", {"stagger_frames 4", "position_offset 0, 0, 1"}), 12));
    const auto launchedAt = [&](int32_t from, int32_t to, float low, float high) {
        for (int32_t i = from; i < to; ++i) {
            const Vector3& q = at(pEffect, i);
            EXPECT_EQ(pEffect->GetParticleSystem()->GetState(i), PARTICLE_ALIVE);
            EXPECT_NEAR(q.z, 1.0f, 1e-6f);
            EXPECT_TRUE((q.x > low - 1e-4f && q.x < high + 1e-4f) || std::fabs(q.x - 200) < 1e-4f) << q.x;
        }
    };
    ASSERT_TRUE(run(pEffect, 1));
    EXPECT_EQ(states(pEffect), std::vector<int32_t>(12, PARTICLE_UNLAUNCHED));
    Vector3 first[2] = {Vector3(100, 0, 0), Vector3(200, 0, 0)};
    pEffect->SetFollowedPoints(2, first);
    ASSERT_TRUE(run(pEffect, 1));
    launchedAt(0, 6, 100, 100);  // the accumulator ran on while there were no points
    first[0].x = 110;
    ASSERT_TRUE(run(pEffect, 1));
    launchedAt(6, 9, 100, 110);
    Vector3 second[1] = {Vector3(-50, 0, 0)};
    pEffect->SetFollowedPoints(1, second);
    ASSERT_TRUE(run(pEffect, 1));
    for (int32_t i = 9; i < 12; ++i) EXPECT_NEAR(at(pEffect, i).x, -50.0f, 1e-4f);
}
