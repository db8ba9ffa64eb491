#include "kestrune/Rumble.h"

#include "input/InputDevices.h"
#include "utility/BlockFile.h"
#include "utility/LList.h"
#include "utility/ParamBlock.h"

#include "platform/testing/input.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <memory>

namespace ti = platform::testing::input;

namespace {

int padTable[4] = {0, 1, 2, 3};

std::unique_ptr<CParamBlock> parse(const char* text)
{
    CParamBlock* block = nullptr;
    const char* cursor = text;
    EXPECT_TRUE(parseBlock(cursor, &block, 0, 10));
    return std::unique_ptr<CParamBlock>(block);
}

// Both motors of the pad, as the rumble list and as the pad's motors were set.
std::array<float, 4> levels(int pad)
{
    std::array<float, 4> l{};
    getRumbleLevels(pad, &l[0], &l[1]);
    ti::joystickRumble(pad, &l[2], &l[3]);
    return l;
}

class RumbleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        llistInitElementPool();
        testsupport::clearReports();
        setRumbleGameHooks([] { return 20; }, [](int player) { return padTable[player]; });
        for (int i = 0; i < 4; ++i) padTable[i] = i;
    }
    void TearDown() override
    {
        shutdownRumble();
        resumeRumble();
        setRumbleGameHooks(nullptr, nullptr);
        shutdownInputDevices();
        llistFreeElementPool();
    }
};

TEST_F(RumbleTest, LengthsRoundUpToTheFrameStepButThePauseDoesNotAndTheLevelRisesHoldsAndFalls)
{
    // pause, attack, sustain, decay, step; the three 16-bit ends. A negative length counts as none;
    // the largest lengths round up past 2^31 without overflowing.
    struct Row {
        int pause, attack, sustain, decay, step;
        WORD ends[3];
    };
    const Row rows[] = {{45, 100, 99, 66, 33, {45 + 132, 45 + 132 + 99, 45 + 132 + 99 + 66}},
                        {65000, 1000, -50, 0, 0, {(65000 + 1000) & 0xFFFF, (65000 + 1000) & 0xFFFF, (65000 + 1000) & 0xFFFF}},
                        {10, INT_MAX, INT_MAX, INT_MAX, 33, {10 + 31, 10 + 62, 10 + 93}}};
    CRumbleEnvelope e;
    for (const Row& r : rows) {
        e.set(r.pause, r.attack, r.sustain, r.decay, 1.0f, 1.0f, 1.0f, r.step);
        const std::array<WORD, 3> ends = {e.getAttackEnd(), e.getSustainEnd(), e.getDecayEnd()}, want = {r.ends[0], r.ends[1], r.ends[2]};
        EXPECT_EQ(ends, want) << r.pause;
    }

    e.set(100, 200, 300, 400, 5.0f, 0.8f, 2.0f, 20);
    EXPECT_FLOAT_EQ(e.advance(30), 0.0f) << "idle until restarted";
    EXPECT_GE(e.getElapsed(), CRumbleEnvelope::IDLE_ELAPSED);
    e.restart();
    // Still in the pause, half way up the attack, the sustain, the decay, exactly at its end, past it.
    const std::pair<DWORD, float> steps[] = {{100, 0}, {100, 0.5f}, {200, 0.8f}, {500, 0.2f}, {100, 0}, {1, 0}};
    for (const auto& [dt, level] : steps) EXPECT_NEAR(e.advance(dt), level, 1e-6f) << e.getElapsed();
}

TEST_F(RumbleTest, LoadReadsBothSidesAndRefusesBadPlayers)
{
    auto block = parse("Hit\n{\n"
                       "  LeftRumble\n  {\n    PauseTime 45\n    AttackTime 100\n    SustainTime 50\n    DecayTime 70\n"
                       "    AttackSpeed 4.0\n    SustainSpeed 0.6\n    DecaySpeed 3.0\n  }\n"
                       "  RightRumble\n  {\n    AttackTime 40\n    SustainTime 200\n    SustainSpeed 0.25\n  }\n}\n");
    ASSERT_NE(block, nullptr);
    CRumble rumble;
    ASSERT_TRUE(rumble.load(block.get(), 2));
    EXPECT_EQ(rumble.getPlayer(), 2);
    EXPECT_EQ(rumble.getLeft().getDecayEnd(), 45 + 100 + 60 + 80);
    EXPECT_EQ(rumble.getRight().getAttackEnd(), 40) << "missing keys read as 0";
    rumble.restart();
    rumble.advance(150);
    EXPECT_EQ(std::pair(rumble.getLeft().getLevel(), rumble.getRight().getLevel()), std::pair(0.6f, 0.25f));

    EXPECT_FALSE(rumble.load(block.get(), 4) || rumble.load(block.get(), -1));
    EXPECT_EQ(testsupport::countReports("GamePadID >=0 && GamePadID <4"), 2);
    EXPECT_EQ(rumble.getPlayer(), 2) << "nothing stored";

    CRumble leftOnly;
    EXPECT_FALSE(leftOnly.load(parse("LeftOnly\n{\n  LeftRumble\n  {\n    PauseTime 7\n  }\n}\n").get(), 1));
    EXPECT_EQ(leftOnly.getLeft().getAttackEnd(), 7) << "the left side is still applied";
}

TEST_F(RumbleTest, RunningEffectsGiveEachPadItsStrongestLevels)
{
    ti::reset();
    ti::attachJoystick("Pad", "Pad");
    const bool wanted[MAX_JOYSTICKS] = {true, false, false, false};
    ASSERT_TRUE(initInputDevices(nullptr, wanted));

    CRumble strongLeft, strongRight, otherPad;
    strongLeft.getLeft().set(0, 1000, 0, 0, 1.0f, 0.0f, 0.0f, 20);  // rises 0.001 a ms
    strongLeft.getRight().set(0, 1000, 0, 0, 0.2f, 0.0f, 0.0f, 20);
    strongRight.getLeft().set(0, 1000, 0, 0, 0.5f, 0.0f, 0.0f, 20);
    strongRight.getRight().set(0, 1000, 0, 0, 0.6f, 0.0f, 0.0f, 20);
    ASSERT_TRUE(otherPad.load(parse("B\n{\n RightRumble\n {\n  SustainTime 100\n  SustainSpeed 0.9\n }\n}\n").get(), 3));
    for (CRumble* r : {&strongLeft, &strongRight, &otherPad}) {
        r->restart();
        startRumble(r);
    }
    updateRumble(500);
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(levels(0)[i], i % 2 ? 0.3f : 0.5f) << i;
    EXPECT_EQ(levels(3)[1], 0.0f) << "500 ms is past its 100 ms sustain";

    // Paused: time stands still and the motors are quiet.
    pauseRumble();
    updateRumble(250);
    EXPECT_EQ(levels(0)[2], 0.0f);
    EXPECT_EQ(strongLeft.getLeft().getElapsed(), 500u);
    resumeRumble();
    updateRumble(250);
    EXPECT_FLOAT_EQ(levels(0)[0], 0.75f);

    // Finished effects stay in the list at level 0; stop takes out one entry.
    startRumble(&strongLeft);
    stopRumble(&strongLeft);
    stopRumble(&strongRight);
    updateRumble(100);
    EXPECT_FLOAT_EQ(levels(0)[0], 0.85f) << "the second entry of the effect is still running";
    updateRumble(1000);
    EXPECT_FLOAT_EQ(levels(0)[0], 0.0f);

    // A player whose pad is outside the table is skipped.
    padTable[1] = 7;
    CRumble stray;
    ASSERT_TRUE(stray.load(parse("S\n{\n RightRumble\n {\n }\n}\n").get(), 1));
    stray.getLeft().set(0, 1000, 0, 0, 1.0f, 0.0f, 0.0f, 20);
    stray.restart();
    strongLeft.restart();
    startRumble(&stray);
    updateRumble(100);
    EXPECT_EQ(testsupport::countReports("GamePadID >=0 && GamePadID <4"), 1);
    EXPECT_FLOAT_EQ(levels(0)[0], 0.1f);
}

}  // namespace
