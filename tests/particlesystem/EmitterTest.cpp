#include "ParticleFixture.h"

#include <cmath>
#include <tuple>

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
        ASSERT_TRUE(pEffect && run(pEffect, 1));
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
