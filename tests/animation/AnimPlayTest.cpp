#include "AnimTestSupport.h"

#include "platform/testing.h"

#include <cmath>

using testsupport::countReports;

namespace {

const std::string kHeader = "#HIERARCHY\n\"Root\" \"none\"\n\"armL\" \"Root\"\n";

float rootX(CAnimation& anim) { return node(anim, "Root")->Translation.x; }

}  // namespace

TEST_F(AnimTest, LoopPlayOnceAndDirection)
{
    auto anim = load(kLinearSample);
    ASSERT_EQ(ANIM_OK, anim->GetAnimError());
    EXPECT_FLOAT_EQ(1000.0f, anim->Duration);

    anim->Advance(250);
    EXPECT_FLOAT_EQ(0.25f, anim->CurrentFrame);
    EXPECT_FLOAT_EQ(25.0f, rootX(*anim));
    anim->Advance(1000);  // past the end: wraps
    EXPECT_FLOAT_EQ(0.25f, anim->CurrentFrame);
    EXPECT_FALSE(anim->IsFinished());

    anim->LoopMode = CAnimation::LOOP_ONCE;
    anim->Advance(900);
    EXPECT_FLOAT_EQ(0.998f, anim->CurrentFrame);
    EXPECT_TRUE(anim->IsFinished());
    EXPECT_FLOAT_EQ(99.8f, rootX(*anim));

    anim->SetDirection(CAnimation::DIRECTION_BACKWARD);
    anim->Advance(500);
    EXPECT_FLOAT_EQ(0.498f, anim->CurrentFrame);
    EXPECT_FALSE(anim->IsFinished());
    anim->Advance(600);
    EXPECT_EQ(0.0f, anim->CurrentFrame);
    EXPECT_TRUE(anim->IsFinished());

    // Rate 0 holds the position but the nodes are still evaluated there.
    anim->SetDirection(CAnimation::DIRECTION_FORWARD);
    anim->SetTime(0.5f);
    anim->Rate = 0.0f;
    anim->Advance(100);
    EXPECT_FLOAT_EQ(0.5f, anim->CurrentFrame);
    EXPECT_FLOAT_EQ(50.0f, rootX(*anim));

    // Another loop mode neither wraps nor clamps, and never finishes.
    anim->Rate = 2.0f;
    anim->LoopMode = 2;
    anim->SetTime(0.9f);
    anim->Advance(200);
    EXPECT_FLOAT_EQ(1.3f, anim->CurrentFrame);
    EXPECT_FALSE(anim->IsFinished());
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(AnimTest, SetTimeAndOffsets)
{
    auto anim = load(kLinearSample);
    anim->SetTime(1.0f);  // exactly the duration
    EXPECT_EQ(1.0f, anim->CurrentFrame);
    anim->Advance(0);
    EXPECT_EQ(0.0f, anim->CurrentFrame);
    anim->SetTime(1.0f);
    anim->LoopMode = CAnimation::LOOP_ONCE;
    anim->Advance(0);
    EXPECT_FLOAT_EQ(0.998f, anim->CurrentFrame);
    anim->SetTime(1.5f);
    EXPECT_FLOAT_EQ(0.5f, anim->CurrentFrame);
    anim->SetDirection(CAnimation::DIRECTION_BACKWARD);
    anim->SetTime(0.25f);
    EXPECT_FLOAT_EQ(0.75f, anim->CurrentFrame);

    anim->SetDirection(CAnimation::DIRECTION_FORWARD);
    anim->SetTime(0.5f);
    anim->Rate = 2.0f;
    EXPECT_EQ(250 - 50, anim->GetTimeOffset(101));
    anim->Rate = -2.0f;
    EXPECT_EQ(-250 + 50, anim->GetTimeOffset(101));
    anim->Rate = 0.0f;
    EXPECT_EQ(0, anim->GetTimeOffset(101));
}

// The animation runs on the time it is given, not on the system clock, and skips paused time.
TEST_F(AnimTest, PauseResumeOnItsOwnClock)
{
    namespace pt = platform::testing;
    pt::setManualClock(true);
    pt::setTime(5000);
    auto anim = load(kLinearSample);
    anim->Advance(100);
    EXPECT_FLOAT_EQ(0.1f, anim->CurrentFrame);
    pt::advanceTime(10000);
    anim->Advance(0);
    EXPECT_FLOAT_EQ(0.1f, anim->CurrentFrame);

    anim->Pause();
    anim->Advance(300);
    EXPECT_TRUE(anim->IsPaused());
    EXPECT_FLOAT_EQ(0.1f, anim->CurrentFrame);
    anim->Resume();
    anim->Advance(100);
    EXPECT_FLOAT_EQ(0.2f, anim->CurrentFrame);
    EXPECT_EQ(100u, anim->GetElapsed());
    pt::setManualClock(false);
}

TEST_F(AnimTest, ZeroDurationIsReportedAndHarmless)
{
    auto anim = load(kHeader + "#NAME:\"Root\"\n#TRACK:POS #CONTROLLER:Linear\n0[3,0,0] 0[9,0,0]\n");
    ASSERT_EQ(ANIM_OK, anim->GetAnimError());
    EXPECT_EQ(0.0f, anim->Duration);
    anim->Advance(100);
    EXPECT_EQ(1, countReports("this->Duration!=0"));
    EXPECT_EQ(0.0f, anim->CurrentFrame);
    EXPECT_EQ(3.0f, rootX(*anim));
    anim->SetTime(0.5f);
    EXPECT_EQ(0.0f, anim->CurrentFrame);
    anim->CurrentFrame = 0.25f;
    anim->SetDirection(CAnimation::DIRECTION_BACKWARD);
    anim->SetTime(0.0f);
    EXPECT_EQ(3, countReports("this->Duration!=0"));
    EXPECT_EQ(0.25f, anim->CurrentFrame);
}

TEST_F(AnimTest, InvalidAnimationIgnoresPlaying)
{
    auto anim = load("no animation here\n");
    ASSERT_EQ(ANIM_ERR_FILE, anim->GetAnimError());
    anim->Start();
    anim->Pause();
    EXPECT_FALSE(anim->IsPaused());
    anim->SetTime(0.5f);
    anim->Advance(10);
    EXPECT_EQ(0.0f, anim->CurrentFrame);
    // Backward, SetTime still turns the position round.
    anim->SetDirection(CAnimation::DIRECTION_BACKWARD);
    anim->SetTime(0.0f);
    EXPECT_EQ(1.0f, anim->CurrentFrame);
}

TEST_F(AnimTest, LinearKeysAtTheEdges)
{
    auto anim = load(kHeader + "\"b\" \"Root\"\n"
                     "#NAME:\"Root\"\n#TRACK:POS #CONTROLLER:Linear\n0[0,0,0] 4800[100,0,0]\n"
                     "#NAME:\"armL\"\n#TRACK:POS #CONTROLLER:Linear\n1200[0,0,0] 2400[10,0,0]\n"
                     "#NAME:\"b\"\n#TRACK:POS #CONTROLLER:Linear\n2400[7,7,7]\n");
    ASSERT_EQ(ANIM_OK, anim->GetAnimError());
    const struct {
        uint32_t advance;
        float arm;  // before its first key: the first; after its last: carried on
    } steps[] = {{100, 0.0f}, {275, 5.0f}, {375, 20.0f}};
    for (const auto& step : steps) {
        anim->Advance(step.advance);
        EXPECT_NEAR(step.arm, node(*anim, "armL")->Translation.x, 1e-4f);
        EXPECT_EQ(7.0f, node(*anim, "b")->Translation.y);  // one key: constant
    }
    EXPECT_EQ(0.0f, node(*anim, "armL")->ControllerData->GetTranslation(375.0f, false, true).x);
}

// The sample files, opened by their game names: the walk's keys at 0, 250 and 500 ms, and the
// wave's captured frames.
TEST_F(AnimTest, SampleWalkAndWave)
{
    testsupport::ScopedCwd cwd(VELDRANE_ROOT);
    CAnimation walk("data\\anims\\robot_walk.txt");
    ASSERT_EQ(ANIM_OK, walk.GetAnimError());
    EXPECT_FLOAT_EQ(1000.0f, walk.Duration);
    const struct {
        uint32_t advance;
        float rootZ, armX, armW, handZ;
    } poses[] = {
        {0, 0.0f, 0.0f, -1.0f, 0.0f},
        {250, 1.0f, 0.2588190f, -0.9659258f, 0.0654031f},
        {250, 0.0f, 0.0f, -1.0f, 0.1305262f},
    };
    for (const auto& pose : poses) {
        walk.Advance(pose.advance);
        EXPECT_NEAR(pose.rootZ, node(walk, "root")->Translation.z, 1e-5f);
        EXPECT_NEAR(pose.armX, node(walk, "armL")->Rotation.x, 1e-5f);
        EXPECT_NEAR(-pose.armX, node(walk, "armR")->Rotation.x, 1e-5f);
        EXPECT_NEAR(pose.armW, node(walk, "armL")->Rotation.w, 1e-5f);
        EXPECT_NEAR(pose.handZ, node(walk, "hand")->Rotation.z, 1e-5f);
        EXPECT_EQ(20.0f, node(walk, "armR")->Translation.y);
    }

    CAnimation wave("data\\anims\\robot_wave.txt");
    ASSERT_EQ(ANIM_OK, wave.GetAnimError());
    EXPECT_EQ(8, wave.NumFrames);
    EXPECT_NEAR(266.6667f, wave.Duration, 1e-3f);
    wave.Advance(100);  // frame 3
    EXPECT_NEAR(0.1305262f, node(wave, "hand")->Rotation.z, 1e-5f);
    EXPECT_NEAR(0.3826834f, node(wave, "armR")->Rotation.y, 1e-5f);
    EXPECT_TRUE(testsupport::reports().empty());
}
