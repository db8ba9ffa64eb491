#include "kestrune/Rumble.h"

#include "input/InputDevices.h"
#include "utility/BlockFile.h"
#include "utility/LList.h"
#include "utility/ParamBlock.h"

#include "platform/testing/input.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <climits>

namespace ti = platform::testing::input;

namespace {

int step20() { return 20; }
int padTable[4] = {0, 1, 2, 3};
int padOf(int player) { return padTable[player]; }

CParamBlock* parse(const char* text)
{
    CParamBlock* block = nullptr;
    const char* cursor = text;
    EXPECT_TRUE(parseBlock(cursor, &block, 0, 10));
    return block;
}

class RumbleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        llistInitElementPool();
        testsupport::clearReports();
        setRumbleGameHooks(step20, padOf);
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

TEST_F(RumbleTest, LengthsRoundUpToTheFrameStepButThePauseDoesNot)
{
    CRumbleEnvelope envelope;
    envelope.set(45, 100, 99, 66, 1.0f, 1.0f, 1.0f, 33);
    EXPECT_EQ(envelope.getAttackEnd(), 45 + 132);
    EXPECT_EQ(envelope.getSustainEnd(), 45 + 132 + 99);
    EXPECT_EQ(envelope.getDecayEnd(), 45 + 132 + 99 + 66);

    // End times are 16-bit; a negative length from a file counts as none.
    envelope.set(65000, 1000, -50, 0, 1.0f, 1.0f, 1.0f, 0);
    EXPECT_EQ(envelope.getAttackEnd(), (65000 + 1000) & 0xFFFF);
    EXPECT_EQ(envelope.getSustainEnd(), envelope.getAttackEnd());

    // The largest lengths a file can give round up past 2^31 without overflowing: 2^31 + 31.
    envelope.set(10, INT_MAX, INT_MAX, INT_MAX, 1.0f, 1.0f, 1.0f, 33);
    EXPECT_EQ(envelope.getAttackEnd(), 10 + 31);
    EXPECT_EQ(envelope.getSustainEnd(), 10 + 62);
    EXPECT_EQ(envelope.getDecayEnd(), 10 + 93);
}

TEST_F(RumbleTest, EnvelopeRisesHoldsAndFalls)
{
    CRumbleEnvelope envelope;
    envelope.set(100, 200, 300, 400, 5.0f, 0.8f, 2.0f, 20);
    EXPECT_FLOAT_EQ(envelope.advance(30), 0.0f) << "idle until restarted";
    EXPECT_GE(envelope.getElapsed(), CRumbleEnvelope::IDLE_ELAPSED);

    envelope.restart();
    EXPECT_FLOAT_EQ(envelope.advance(100), 0.0f) << "still in the pause";
    EXPECT_FLOAT_EQ(envelope.advance(100), 0.5f);
    EXPECT_FLOAT_EQ(envelope.advance(200), 0.8f);
    EXPECT_NEAR(envelope.advance(500), 0.2f, 1e-6f);
    EXPECT_NEAR(envelope.advance(100), 0.0f, 1e-6f);  // exactly at the decay end
    EXPECT_FLOAT_EQ(envelope.advance(1), 0.0f);
}

TEST_F(RumbleTest, LoadReadsBothSidesAndRefusesBadPlayers)
{
    CParamBlock* block = parse(
        "Hit\n{\n"
        "  LeftRumble\n  {\n    PauseTime 45\n    AttackTime 100\n    SustainTime 50\n    DecayTime 70\n"
        "    AttackSpeed 4.0\n    SustainSpeed 0.6\n    DecaySpeed 3.0\n  }\n"
        "  RightRumble\n  {\n    AttackTime 40\n    SustainTime 200\n    SustainSpeed 0.25\n  }\n}\n");
    ASSERT_NE(block, nullptr);
    CRumble rumble;
    ASSERT_TRUE(rumble.load(block, 2));
    EXPECT_EQ(rumble.getPlayer(), 2);
    EXPECT_EQ(rumble.getLeft().getAttackEnd(), 45 + 100);
    EXPECT_EQ(rumble.getLeft().getSustainEnd(), 45 + 100 + 60);
    EXPECT_EQ(rumble.getLeft().getDecayEnd(), 45 + 100 + 60 + 80);
    EXPECT_EQ(rumble.getRight().getAttackEnd(), 40) << "missing keys read as 0";
    rumble.restart();
    rumble.advance(150);
    EXPECT_FLOAT_EQ(rumble.getLeft().getLevel(), 0.6f);
    EXPECT_FLOAT_EQ(rumble.getRight().getLevel(), 0.25f);

    EXPECT_FALSE(rumble.load(block, 4));
    EXPECT_FALSE(rumble.load(block, -1));
    EXPECT_EQ(testsupport::countReports("GamePadID >=0 && GamePadID <4"), 2);
    EXPECT_EQ(rumble.getPlayer(), 2) << "nothing stored";
    delete block;

    block = parse("LeftOnly\n{\n  LeftRumble\n  {\n    PauseTime 7\n  }\n}\n");
    CRumble leftOnly;
    EXPECT_FALSE(leftOnly.load(block, 1));
    EXPECT_EQ(leftOnly.getLeft().getAttackEnd(), 7) << "the left side is still applied";
    delete block;
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
    CParamBlock* block = parse("B\n{\n RightRumble\n {\n  SustainTime 100\n  SustainSpeed 0.9\n }\n}\n");
    ASSERT_TRUE(otherPad.load(block, 3));
    delete block;
    for (CRumble* r : {&strongLeft, &strongRight, &otherPad}) {
        r->restart();
        startRumble(r);
    }

    updateRumble(500);
    float left, right;
    getRumbleLevels(0, &left, &right);
    EXPECT_FLOAT_EQ(left, 0.5f);
    EXPECT_FLOAT_EQ(right, 0.3f);
    getRumbleLevels(3, &left, &right);
    EXPECT_FLOAT_EQ(right, 0.0f) << "500 ms is past its 100 ms sustain";
    float motorLeft, motorRight;
    ti::joystickRumble(0, &motorLeft, &motorRight);
    EXPECT_FLOAT_EQ(motorLeft, 0.5f);
    EXPECT_FLOAT_EQ(motorRight, 0.3f);

    // Paused: time stands still and the motors are quiet.
    pauseRumble();
    updateRumble(250);
    ti::joystickRumble(0, &motorLeft, &motorRight);
    EXPECT_FLOAT_EQ(motorLeft, 0.0f);
    EXPECT_EQ(strongLeft.getLeft().getElapsed(), 500u);
    resumeRumble();
    updateRumble(250);
    getRumbleLevels(0, &left, &right);
    EXPECT_FLOAT_EQ(left, 0.75f);

    // Finished effects stay in the list at level 0; stop takes out one entry.
    startRumble(&strongLeft);
    stopRumble(&strongLeft);
    stopRumble(&strongRight);
    updateRumble(100);
    getRumbleLevels(0, &left, &right);
    EXPECT_FLOAT_EQ(left, 0.85f) << "the second entry of the effect is still running";
    updateRumble(1000);
    getRumbleLevels(0, &left, &right);
    EXPECT_FLOAT_EQ(left, 0.0f);

    // A player whose pad is outside the table is skipped.
    padTable[1] = 7;
    CRumble stray;
    stray.getLeft().set(0, 1000, 0, 0, 1.0f, 0.0f, 0.0f, 20);
    stray.restart();
    strongLeft.restart();
    block = parse("S\n{\n RightRumble\n {\n }\n}\n");
    ASSERT_TRUE(stray.load(block, 1));
    delete block;
    startRumble(&stray);
    updateRumble(100);
    EXPECT_EQ(testsupport::countReports("GamePadID >=0 && GamePadID <4"), 1);
    getRumbleLevels(0, &left, &right);
    EXPECT_FLOAT_EQ(left, 0.1f);
}

}  // namespace
