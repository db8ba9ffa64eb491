#include "ParticleFixture.h"

#include <cmath>

using namespace particletest;
using testsupport::countReports;

namespace {

class EmitterTest : public ParticleFixture {
protected:
    // Effects whose particles stand still where they were launched.
    static Definition still(const std::string& emitter, int count)
    {
        Definition d;
        d.system = section("dummyparticles", {"count " + std::to_string(count)});
        d.emitter = emitter;
        return d;
    }
    struct Launch {
        Vector3 position;
        Vector3 velocity;
    };
    static std::vector<Launch> launches(CParticleEffect* pEffect)
    {
        std::vector<Launch> out;
        CParticleSystem* pSystem = pEffect->GetParticleSystem();
        for (int32_t i = 0; i < pSystem->GetCount(); ++i)
            if (pSystem->GetState(i) == PARTICLE_ALIVE) out.push_back({pSystem->GetPosition(i), pSystem->GetVelocity(i)});
        return out;
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

TEST_F(EmitterTest, FirstLaunchesSpreadOverTheStaggerFramesInIndexOrder)
{
    struct Case {
        int stagger;
        std::vector<int> alive;  // after each update
    } cases[] = {
        {4, {3, 5, 8, 10}},
        {1, {10, 10}},
        {0, {10, 10}},
        {-2, {0, 0, 0}},  // never launches, and runs on
    };
    for (const Case& c : cases) {
        CParticleEffect* pEffect = make(still(section("pointemitter", {"stagger_frames " + std::to_string(c.stagger)}), 10));
        ASSERT_NE(pEffect, nullptr);
        for (size_t u = 0; u < c.alive.size(); ++u) {
            ASSERT_TRUE(pEffect->Update());
            const std::vector<int32_t> s = states(pEffect);
            for (int i = 0; i < 10; ++i)
                EXPECT_EQ(s[i], i < c.alive[u] ? PARTICLE_ALIVE : PARTICLE_UNLAUNCHED) << c.stagger << " " << u << " " << i;
        }
    }
}

TEST_F(EmitterTest, EveryKindLaunchesWhereItsDrawsSay)
{
    Matrix3 m;
    matrix3FromAngles(0.3f, -0.2f, 0.7f, m);
    const Vector3 p(10, 20, 30);
    ExtraEffectData extra = {ExtraEffectData::HAS_X_SIZE | ExtraEffectData::HAS_INITIAL_VELOCITY, 6, 99, {0, 0, 3}};
    void* parts[3] = {nullptr, nullptr, &extra};
    struct Case {
        std::string emitter;
        std::function<Launch()> expected;  // one particle's launch from the next draws
    } cases[] = {
        {section("pointemitter", {"power 4", "variation 2", "offset 1, 2, 3"}),
         [&] {
             const float a = angle(), b = angle();
             angle();
             const float s = 4 + U() * 2 - 1;
             const Vector3 d(std::cos(b) * std::cos(a), -std::cos(b) * std::sin(a), std::sin(b));
             return Launch{turned(Vector3(1, 2, 3), m) + p, d * s};
         }},
        {section("fountainemitter", {"spread 3", "power 8", "variation 2", "position_variation 1, 2, 4", "offset 0, 0, 5"}),
         [&] {
             U();  // along a path of no length
             const Vector3 q = spread(Vector3(1, 2, 4));
             const float z = 8 + U() * 2 - 1;
             const float y = spread(3.0f);
             const float x = spread(3.0f);
             return Launch{p + q + turned(Vector3(0, 0, 5), m), turned(Vector3(x, y, z), m)};
         }},
        {section("shapeemitter", {"x_size 4", "y_size 6", "initial_velocity 0, 0, 2", "velocity_variation 1, 1, 0",
                                "position_offset 0, 0, 1"}),
         [&] {
             const float x = spread(4.0f);
             const float y = spread(6.0f);
             const Vector3 v = Vector3(0, 0, 2) + spread(Vector3(1, 1, 0));
             return Launch{turned(Vector3(x, y, 1), m) + p, turned(v, m)};
         }},
        {section("shapeemitter", {"x_size 4", "y_size 6", "eliptical 1"}),
         [&] {
             const float theta = angle();
             const float x = std::sin(theta) * U() * 2;
             const float y = std::cos(theta) * U() * 3;
             spread(Vector3());
             return Launch{turned(Vector3(x, y, 0), m) + p, Vector3()};
         }},
        {section("volumeemitter", {"x_size 2", "y_size 4", "z_size 8", "initial_velocity 1, 0, 0"}),
         [&] {
             const float y = spread(4.0f);
             const float x = spread(2.0f);
             const float z = spread(8.0f);
             return Launch{turned(Vector3(x, y, z), m) + p, turned(Vector3(1, 0, 0), m)};
         }},
        {section("dynamicshapeemitter", {"x_size 2", "y_size 4", "initial_velocity 9, 9, 9", "position_offset 0, 0, 1"}),
         [&] {
             const float x = spread(6.0f);  // the creator's x size and velocity, the definition's y size
             const float y = spread(4.0f);
             spread(Vector3());
             return Launch{turned(Vector3(x, y, 0), m) + p + Vector3(0, 0, 1), turned(Vector3(0, 0, 3), m)};
         }},
    };
    for (const Case& c : cases) {
        crtSrand(42);
        CParticleEffect* pEffect = make(still(c.emitter, 3), parts, p, m);
        ASSERT_NE(pEffect, nullptr);
        ASSERT_TRUE(run(pEffect, 1));
        const std::vector<Launch> got = launches(pEffect);
        ASSERT_EQ(got.size(), 3u) << c.emitter;
        crtSrand(42);
        for (const Launch& launch : got) {
            SCOPED_TRACE(c.emitter);
            const Launch want = c.expected();
            expectNear(launch.position, want.position);
            expectNear(launch.velocity, want.velocity);
        }
    }
    EXPECT_EQ(testsupport::reports().size(), 0u);
}

TEST_F(EmitterTest, EllipticalShapesStayInsideTheirEllipseEvenWhenFlat)
{
    struct Case {
        std::string emitter;
        Vector3 halfSizes;  // 0: the axis is left out of the test
    } cases[] = {
        {section("volumeemitter", {"eliptical 1"}), Vector3(5, 5, 5)},
        {section("volumeemitter", {"eliptical 1", "z_size 0"}), Vector3(5, 5, 0)},
        {section("volumeemitter", {"eliptical 1", "x_size 0", "y_size 0", "z_size -4"}), Vector3(0, 0, 2)},
        {section("dynamicshapeemitter", {"eliptical 1", "x_size 0", "y_size 8"}), Vector3(0, 4, 0)},
    };
    for (const Case& c : cases) {
        CParticleEffect* pEffect = make(still(c.emitter, 500), nullptr, Vector3(1, 1, 1));
        ASSERT_NE(pEffect, nullptr);
        ASSERT_TRUE(run(pEffect, 1));
        const std::vector<Launch> got = launches(pEffect);
        ASSERT_EQ(got.size(), 500u);
        float farthest = 0;
        for (const Launch& l : got) {
            const Vector3 q = l.position - Vector3(1, 1, 1);
            float r = 0;
            const float axes[3][2] = {{q.x, c.halfSizes.x}, {q.y, c.halfSizes.y}, {q.z, c.halfSizes.z}};
            for (const auto& [v, h] : axes) {
                if (h == 0) {
                    EXPECT_EQ(v, 0.0f);
                } else {
                    r += (v / h) * (v / h);
                }
            }
            EXPECT_LE(r, 1.0f + 1e-5f) << c.emitter;
            farthest = std::max(farthest, r);
        }
        EXPECT_GT(farthest, 0.8f) << c.emitter;  // and they fill it
    }
    // No creator's data: reported, and the definition's sizes serve.
    EXPECT_EQ(countReports("No Extra Effect Data was passed in to a dynamic shape emitter!!"), 1);
}

TEST_F(EmitterTest, AMovingFountainFillsThePathAndAFollowEmitterTracksItsPoints)
{
    CParticleEffect* pEffect = make(still(section("fountainemitter", {"stagger_frames 2", "power 0", "variation 0",
                                                                    "spread 0"}), 100),
                                    nullptr, Vector3(5, 5, 5));
    ASSERT_TRUE(run(pEffect, 1));
    pEffect->SetPosition(Vector3(15, 5, 5));
    ASSERT_TRUE(run(pEffect, 1));
    float least = 10, most = 0;
    for (int32_t i = 50; i < 100; ++i) {
        const Vector3& at = pEffect->GetParticleSystem()->GetPosition(i);
        EXPECT_NEAR(at.y, 5.0f, 1e-5f);
        EXPECT_NEAR(at.z, 5.0f, 1e-5f);
        least = std::min(least, at.x - 5);
        most = std::max(most, at.x - 5);
    }
    EXPECT_GT(least, -1e-5f);
    EXPECT_LT(least, 1.0f);
    EXPECT_LT(most, 10.0f + 1e-5f);
    EXPECT_GT(most, 9.0f);
    Vector3 last;
    pEffect->GetEmitter()->GetLastPosition(last);
    expectNear(last, Vector3(15, 5, 5), 0);

    // Follow: nothing to follow launches nothing; a new list launches from its points alone; a
    // list moved in place is filled between the old and new places.
    pEffect = make(still(section("followemitter", {"stagger_frames 4", "position_offset 0, 0, 1"}), 12));
    const auto xs = [&](int32_t from, int32_t to) {
        std::vector<float> out;
        for (int32_t i = from; i < to; ++i) {
            EXPECT_EQ(pEffect->GetParticleSystem()->GetState(i), PARTICLE_ALIVE);
            EXPECT_NEAR(pEffect->GetParticleSystem()->GetPosition(i).z, 1.0f, 1e-6f);
            out.push_back(pEffect->GetParticleSystem()->GetPosition(i).x);
        }
        return out;
    };
    ASSERT_TRUE(run(pEffect, 1));
    EXPECT_EQ(launches(pEffect).size(), 0u);
    Vector3 first[2] = {Vector3(100, 0, 0), Vector3(200, 0, 0)};
    pEffect->SetFollowedPoints(2, first);
    ASSERT_TRUE(run(pEffect, 1));
    ASSERT_EQ(launches(pEffect).size(), 6u);  // the accumulator ran on while there were no points
    for (float x : xs(0, 6)) EXPECT_TRUE(std::fabs(x - 100) < 1e-4f || std::fabs(x - 200) < 1e-4f) << x;
    first[0].x = 110;
    ASSERT_TRUE(run(pEffect, 1));
    for (float x : xs(6, 9)) EXPECT_TRUE((x > 100 - 1e-4f && x < 110 + 1e-4f) || std::fabs(x - 200) < 1e-4f) << x;
    Vector3 second[1] = {Vector3(-50, 0, 0)};
    pEffect->SetFollowedPoints(1, second);
    ASSERT_TRUE(run(pEffect, 1));
    for (float x : xs(9, 12)) EXPECT_NEAR(x, -50.0f, 1e-4f);
}
