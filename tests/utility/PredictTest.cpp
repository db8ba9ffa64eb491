#include "utility/Predict.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

Vector3 vec(float x, float y, float z)
{
    Vector3 v;
    v.x = x;
    v.y = y;
    v.z = z;
    return v;
}

float length(const Vector3& v)
{
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

// Where the shot and the target are after time t (gravity along z acts on the shot only).
Vector3 shotAt(const Vector3& launch, const Vector3& velocity, float gravity, float t)
{
    return vec(launch.x + velocity.x * t, launch.y + velocity.y * t,
               launch.z + velocity.z * t + 0.5f * gravity * t * t);
}

Vector3 targetAt(const Vector3& target, const Vector3& velocity, float t)
{
    return vec(target.x + velocity.x * t, target.y + velocity.y * t, target.z + velocity.z * t);
}

void expectMeets(const Vector3& a, const Vector3& b, float tolerance)
{
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

TEST(PredictTest, MovingTargetsAreMetWhereTheShotArrives)
{
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> pos(-500.0f, 500.0f);
    std::uniform_real_distribution<float> vel(-40.0f, 40.0f);
    int solved = 0;
    for (int i = 0; i < 2000; ++i) {
        const Vector3 launch = vec(pos(rng), pos(rng), pos(rng));
        const Vector3 target = vec(pos(rng), pos(rng), pos(rng));
        const Vector3 targetVelocity = vec(vel(rng), vel(rng), vel(rng));
        const float speed = 80.0f;
        Vector3 v;
        float t;
        // The projectile is faster than any target here, so there is always an answer.
        ASSERT_TRUE(predictLaunchVelocity(launch, target, targetVelocity, speed, &v, &t)) << i;
        EXPECT_GT(t, 0.0f);
        EXPECT_NEAR(speed, length(v), 1e-2f);
        expectMeets(shotAt(launch, v, 0.0f, t), targetAt(target, targetVelocity, t), 0.05f);
        ++solved;
    }
    EXPECT_EQ(2000, solved);
}

TEST(PredictTest, TargetOutrunningTheShotHasNoSolutionAndOutputsStay)
{
    Vector3 v = vec(7, 7, 7);
    float t = 7.0f;
    // Receding at 30 from a shot of speed 20.
    EXPECT_FALSE(predictLaunchVelocity(vec(0, 0, 0), vec(100, 0, 0), vec(30, 0, 0), 20.0f, &v, &t));
    EXPECT_EQ(7.0f, v.x);
    EXPECT_EQ(7.0f, t);
    EXPECT_EQ(0u, testsupport::reports().size());
}

TEST(PredictTest, TargetAsFastAsTheShotSolvesTheLinearEquation)
{
    // Target speed equals shot speed: the square term vanishes.
    Vector3 v = vec(7, 7, 7);
    float t = 7.0f;
    // Coming straight at the launcher at 20: they meet half-way after 100/40 = 2.5.
    ASSERT_TRUE(predictLaunchVelocity(vec(0, 0, 0), vec(100, 0, 0), vec(-20, 0, 0), 20.0f, &v, &t));
    EXPECT_FLOAT_EQ(2.5f, t);
    EXPECT_TRUE(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));
    EXPECT_NEAR(20.0f, length(v), 1e-4f);
    expectMeets(shotAt(vec(0, 0, 0), v, 0.0f, t), targetAt(vec(100, 0, 0), vec(-20, 0, 0), t), 1e-3f);

    // Receding or moving across at the same speed: never met, and nothing written.
    v = vec(7, 7, 7);
    t = 7.0f;
    EXPECT_FALSE(predictLaunchVelocity(vec(0, 0, 0), vec(100, 0, 0), vec(20, 0, 0), 20.0f, &v, &t));
    EXPECT_FALSE(predictLaunchVelocity(vec(0, 0, 0), vec(100, 0, 0), vec(0, 20, 0), 20.0f, &v, &t));
    EXPECT_EQ(7.0f, v.x);
    EXPECT_EQ(7.0f, t);
}

TEST(PredictTest, BallisticSolutionsHitTheTargetWhenSimulated)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> pos(0.0f, 300.0f);
    std::uniform_real_distribution<float> vel(-10.0f, 10.0f);
    const float gravity = -9.81f;
    int withSolutions = 0;
    for (int i = 0; i < 2000; ++i) {
        const Vector3 launch = vec(pos(rng), pos(rng), pos(rng) * 0.1f);
        const Vector3 target = vec(pos(rng), pos(rng), pos(rng) * 0.1f);
        const Vector3 targetVelocity = vec(vel(rng), vel(rng), 0.0f);
        unsigned int n = 99, quickest = 99, slowest = 99;
        Vector3 velocities[4];
        float times[4];
        const bool ok = predictBallisticSolutions(launch, target, targetVelocity, 70.0f, gravity, &n, velocities,
                                                  times, &quickest, &slowest);
        EXPECT_EQ(ok, n > 0);
        if (!ok)
            continue;
        ++withSolutions;
        ASSERT_LE(n, 4u);
        ASSERT_LT(quickest, n);
        ASSERT_LT(slowest, n);
        for (unsigned int k = 0; k < n; ++k) {
            EXPECT_GT(times[k], 0.0f);
            EXPECT_LE(times[quickest], times[k]);
            EXPECT_GE(times[slowest], times[k]);
            EXPECT_NEAR(70.0f, length(velocities[k]), 0.05f) << i;
            expectMeets(shotAt(launch, velocities[k], gravity, times[k]),
                        targetAt(target, targetVelocity, times[k]), 0.2f);
        }
    }
    EXPECT_GT(withSolutions, 1500);
}

TEST(PredictTest, BallisticLobAndDirectShotAtAStationaryTarget)
{
    unsigned int n = 0, quickest = 9, slowest = 9;
    Vector3 velocities[4];
    float times[4];
    // Level ground, 100 away, speed 50, gravity -10: two elevations (flat and lob).
    ASSERT_TRUE(predictBallisticSolutions(vec(0, 0, 0), vec(100, 0, 0), vec(0, 0, 0), 50.0f, -10.0f, &n,
                                          velocities, times, &quickest, &slowest));
    ASSERT_EQ(2u, n);
    EXPECT_NE(quickest, slowest);
    // Range formula: sin 2θ = R·g/v² = 0.4.
    const float flat = 0.5f * std::asin(0.4f);
    const float lob = float(M_PI) * 0.5f - flat;
    EXPECT_NEAR(flat, std::atan2(velocities[quickest].z, velocities[quickest].x), 1e-4f);
    EXPECT_NEAR(lob, std::atan2(velocities[slowest].z, velocities[slowest].x), 1e-4f);

    // Out of range: 300 away at speed 50 needs more than v²/g = 250.
    n = 7;
    EXPECT_FALSE(predictBallisticSolutions(vec(0, 0, 0), vec(300, 0, 0), vec(0, 0, 0), 50.0f, -10.0f, &n,
                                           velocities, times, &quickest, &slowest));
    EXPECT_EQ(0u, n);
}

TEST(PredictTest, BallisticWithoutGravityIsReportedAndRefused)
{
    unsigned int n = 9, quickest = 9, slowest = 9;
    Vector3 velocities[4];
    float times[4];
    EXPECT_FALSE(predictBallisticSolutions(vec(0, 0, 0), vec(10, 0, 0), vec(0, 0, 0), 5.0f, 1e-9f, &n, velocities,
                                           times, &quickest, &slowest));
    EXPECT_EQ(0u, n);
    EXPECT_EQ(1, testsupport::countReports("(gravity > EPSILON) || (gravity < -EPSILON)"));
    EXPECT_EQ(0, testsupport::countReports("a4 != 0.0"));
}

}  // namespace
