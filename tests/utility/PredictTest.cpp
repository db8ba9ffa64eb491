#include "utility/Predict.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

// How far apart the shot (gravity along z) and the target are after time t.
float miss(const Vector3& launch, const Vector3& velocity, float gravity, const Vector3& target, const Vector3& targetVelocity, float t)
{
    const Vector3 shot = launch + velocity * t + Vector3(0, 0, 0.5f * gravity * t * t);
    return (shot - (target + targetVelocity * t)).length();
}

TEST(PredictTest, MovingTargetsAreMetWhereTheShotArrives)
{
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> pos(-500.0f, 500.0f), vel(-40.0f, 40.0f);
    for (int i = 0; i < 2000; ++i) {
        const Vector3 launch(pos(rng), pos(rng), pos(rng)), target(pos(rng), pos(rng), pos(rng));
        const Vector3 targetVelocity(vel(rng), vel(rng), vel(rng));
        Vector3 v;
        float t;
        // The projectile is faster than any target here, so there is always an answer.
        ASSERT_TRUE(predictLaunchVelocity(launch, target, targetVelocity, 80.0f, &v, &t)) << i;
        EXPECT_GT(t, 0.0f);
        EXPECT_NEAR(80.0f, v.length(), 1e-2f);
        EXPECT_LT(miss(launch, v, 0.0f, target, targetVelocity, t), 0.08f) << i;
    }
}

TEST(PredictTest, TargetsAsFastOrFasterThanTheShot)
{
    // As fast, coming straight at the launcher: the square term vanishes; they meet half-way after 2.5.
    Vector3 v(7, 7, 7);
    float t = 7.0f;
    ASSERT_TRUE(predictLaunchVelocity(Vector3(), Vector3(100, 0, 0), Vector3(-20, 0, 0), 20.0f, &v, &t));
    EXPECT_FLOAT_EQ(2.5f, t);
    EXPECT_NEAR(20.0f, v.length(), 1e-4f);
    EXPECT_LT(miss(Vector3(), v, 0.0f, Vector3(100, 0, 0), Vector3(-20, 0, 0), t), 2e-3f);
    // Receding or moving across as fast, or outrunning the shot: never met, and nothing written.
    v = Vector3(7, 7, 7);
    t = 7.0f;
    for (const Vector3& velocity : {Vector3(20, 0, 0), Vector3(0, 20, 0), Vector3(30, 0, 0)})
        EXPECT_FALSE(predictLaunchVelocity(Vector3(), Vector3(100, 0, 0), velocity, 20.0f, &v, &t));
    EXPECT_EQ(std::make_pair(7.0f, 7.0f), std::make_pair(v.x, t));
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST(PredictTest, BallisticSolutionsHitTheTargetWhenSimulated)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> pos(0.0f, 300.0f), vel(-10.0f, 10.0f);
    const float gravity = -9.81f;
    int withSolutions = 0;
    for (int i = 0; i < 2000; ++i) {
        const Vector3 launch(pos(rng), pos(rng), pos(rng) * 0.1f), target(pos(rng), pos(rng), pos(rng) * 0.1f);
        const Vector3 targetVelocity(vel(rng), vel(rng), 0.0f);
        unsigned int n = 99, quickest = 99, slowest = 99;
        Vector3 velocities[4];
        float times[4];
        const bool ok = predictBallisticSolutions(launch, target, targetVelocity, 70.0f, gravity, &n, velocities, times,
                                                  &quickest, &slowest);
        EXPECT_EQ(ok, n > 0);
        if (!ok) continue;
        ++withSolutions;
        ASSERT_LE(n, 4u);
        ASSERT_LT(std::max(quickest, slowest), n);
        for (unsigned int k = 0; k < n; ++k) {
            EXPECT_GT(times[k], 0.0f) << i;
            EXPECT_LE(times[quickest], times[k]) << i;
            EXPECT_GE(times[slowest], times[k]) << i;
            EXPECT_NEAR(70.0f, velocities[k].length(), 0.05f) << i;
            EXPECT_LT(miss(launch, velocities[k], gravity, target, targetVelocity, times[k]), 0.35f) << i;
        }
    }
    EXPECT_GT(withSolutions, 1500);
}

TEST(PredictTest, BallisticLobAndDirectShotOutOfRangeAndWithoutGravity)
{
    unsigned int n = 0, quickest = 9, slowest = 9;
    Vector3 velocities[4];
    float times[4];
    // Level ground, 100 away, speed 50, gravity -10: two elevations with sin 2θ = R·g/v² = 0.4.
    ASSERT_TRUE(predictBallisticSolutions(Vector3(), Vector3(100, 0, 0), Vector3(), 50.0f, -10.0f, &n, velocities, times,
                                          &quickest, &slowest));
    ASSERT_EQ(2u, n);
    ASSERT_NE(quickest, slowest);

    const float flat = 0.5f * std::asin(0.4f);
    EXPECT_NEAR(flat, std::atan2(velocities[quickest].z, velocities[quickest].x), 1e-4f);
    EXPECT_NEAR(float(M_PI) * 0.5f - flat, std::atan2(velocities[slowest].z, velocities[slowest].x), 1e-4f);
    // Out of range (300 needs more than v²/g = 250), and without gravity (reported).
    for (auto [distance, gravity] : {std::pair{300.0f, -10.0f}, {10.0f, 1e-9f}}) {
        n = 7;
        EXPECT_FALSE(predictBallisticSolutions(Vector3(), Vector3(distance, 0, 0), Vector3(), 50.0f, gravity, &n, velocities,
                                               times, &quickest, &slowest));
        EXPECT_EQ(0u, n);
    }
    EXPECT_EQ(1, testsupport::countReports("(gravity > EPSILON) || (gravity < -EPSILON)"));
    EXPECT_EQ(0, testsupport::countReports("a4 != 0.0"));
}

}  // namespace
