#include "AnimTestSupport.h"

#include "platform/testing.h"

using testsupport::countReports;

namespace {

float rootX(CAnimation& anim) { return node(anim, "Root")->Translation.x; }

}  // namespace

// One animation of 1000 ms driven through a script of operations; after each, the position, the
// finished state and the root's evaluated x (100 at the end). It runs on the time it is given, not
// on the system clock (which moves on between the steps), and skips paused time.
TEST_F(AnimTest, PlayingScript)
{
    platform::testing::setManualClock(true);
    auto anim = load(kLinearSample);
    ASSERT_EQ(ANIM_OK, anim->GetAnimError());
    EXPECT_FLOAT_EQ(1000.0f, anim->Duration);
    enum Op { ADVANCE, SET_TIME, LOOP, DIRECTION, RATE, PAUSE, RESUME };
    const struct { Op op; float value, frame; bool finished; } script[] = {
        {ADVANCE, 250, 0.25f, false},
        {PAUSE, 0, 0.25f, false},
        {ADVANCE, 300, 0.25f, false},
        {RESUME, 0, 0.25f, false},
        {ADVANCE, 1000, 0.25f, false},  // loops
        {LOOP, CAnimation::LOOP_ONCE, 0.25f, false},
        {ADVANCE, 900, 0.998f, true},  // play-once stops short of the end
        {DIRECTION, CAnimation::DIRECTION_BACKWARD, 0.998f, false},
        {ADVANCE, 500, 0.498f, false},
        {ADVANCE, 600, 0.0f, true},
        {SET_TIME, 0.25f, 0.75f, false},  // backward: from the end
        {DIRECTION, CAnimation::DIRECTION_FORWARD, 0.75f, false},
        {SET_TIME, 1.0f, 1.0f, true},  // exactly the duration
        {ADVANCE, 0, 0.998f, true},
        {LOOP, CAnimation::LOOP_WRAP, 0.998f, false},
        {SET_TIME, 1.0f, 1.0f, false},
        {ADVANCE, 0, 0.0f, false},
        {DIRECTION, CAnimation::DIRECTION_BACKWARD, 0.0f, false},
        {ADVANCE, 250, 0.75f, false},  // loops backward past the start
        {DIRECTION, CAnimation::DIRECTION_FORWARD, 0.75f, false},
        {SET_TIME, 1.5f, 0.5f, false},
        {RATE, 0, 0.5f, false},
        {ADVANCE, 100, 0.5f, false},  // frozen, yet evaluated
        {RATE, 2, 0.5f, false},
        {LOOP, 2, 0.5f, false},
        {ADVANCE, 400, 1.3f, false},  // another mode neither wraps nor clamps
    };
    for (const auto& step : script) {
        SCOPED_TRACE(&step - script);
        switch (step.op) {
        case ADVANCE: anim->Advance(static_cast<uint32_t>(step.value)); break;
        case SET_TIME: anim->SetTime(step.value); break;
        case LOOP: anim->LoopMode = static_cast<int32_t>(step.value); break;
        case DIRECTION: anim->SetDirection(static_cast<int32_t>(step.value)); break;
        case RATE: anim->Rate = step.value; break;
        case PAUSE: anim->Pause(); break;
        case RESUME: anim->Resume(); break;
        }
        platform::testing::advanceTime(777);
        EXPECT_NEAR(step.frame, anim->CurrentFrame, 1e-6f);
        EXPECT_EQ(step.finished, anim->IsFinished());
        if (step.op == ADVANCE) {
            EXPECT_NEAR(100.0f * step.frame, rootX(*anim), 1e-3f);
        }
    }
    EXPECT_TRUE(testsupport::reports().empty());

    anim->SetTime(0.5f);
    EXPECT_EQ(250 - 50, anim->GetTimeOffset(101));  // at rate 2, each truncated
    anim->Rate = -2.0f;
    EXPECT_EQ(-250 + 50, anim->GetTimeOffset(101));
    anim->Rate = 0.0f;
    EXPECT_EQ(0, anim->GetTimeOffset(101));
    platform::testing::setManualClock(false);
}

// A zero length is reported and leaves the position alone.
TEST_F(AnimTest, ZeroLengthIsHarmless)
{
    auto anim = load("#HIERARCHY\n\"Root\" \"none\"\n\"armL\" \"Root\"\n"
                     "#NAME:\"Root\"\n#TRACK:POS #CONTROLLER:Linear\n0[3,0,0] 0[9,0,0]\n");
    ASSERT_EQ(ANIM_OK, anim->GetAnimError());
    EXPECT_EQ(0.0f, anim->Duration);
    anim->Advance(100);
    EXPECT_EQ(0.0f, anim->CurrentFrame);
    EXPECT_EQ(3.0f, rootX(*anim));
    anim->SetTime(0.5f);
    EXPECT_EQ(0.0f, anim->CurrentFrame);
    anim->CurrentFrame = 0.25f;
    anim->SetDirection(CAnimation::DIRECTION_BACKWARD);
    anim->SetTime(0.0f);
    EXPECT_EQ(0.25f, anim->CurrentFrame);
    EXPECT_EQ(3, countReports("this->Duration!=0"));
}
