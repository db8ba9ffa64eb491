#include "AnimTestSupport.h"
#include "ModelSource.h"

#include "animation/BonedAnim.h"
#include "animation/BonedAnimGroup.h"

#include <cstring>
#include <filesystem>
#include <memory>

using testsupport::countReports;

namespace {

const char *const WALK = "data\\anims\\robot_walk.ini", *const WAVE = "data\\anims\\robot_wave.ini",
                 *const WALK_TWEENS = "data\\anims\\robot_walk_tween.ini";

// The sample animations and their definitions on the dummy robot, their models from the stand-in
// for the object manager, and a game step of 50 ms.
class BonedAnimTest : public ModelAnimFixture {
protected:
    void SetUp() override
    {
        ModelAnimFixture::SetUp();
        std::filesystem::copy(std::string(VELDRANE_ROOT) + "/data/anims", m_dir.file("data/anims"));
        m_objects = std::make_unique<ModelSource>(50);
        m_group = std::make_unique<CBonedAnimGroup>(m_objects.get());
    }

    void TearDown() override
    {
        m_group.reset();
        EXPECT_EQ(0u, m_objects->getNumLive());
        m_objects.reset();
        ModelAnimFixture::TearDown();
    }

    std::unique_ptr<ModelSource> m_objects;
    std::unique_ptr<CBonedAnimGroup> m_group;
};

}  // namespace

// Files that cannot be used are refused with a report and change nothing; a taken id is refused
// with the check "0"; a full group refuses quietly; the players stop at 500. A model that cannot be
// made still gives an entry, without a model.
TEST_F(BonedAnimTest, GroupLimitsAndBadDefinitions)
{
    EXPECT_EQ(nullptr, m_group->CreateInstance());
    EXPECT_EQ(1, countReports("d_numAnims>0"));
    ASSERT_TRUE(m_group->AddAnim(WALK, 0, WALK_TWEENS));
    const CBonedAnimGroup::TweenData toWave = m_group->GetTween(0, 1), past = m_group->GetTween(0, 2);
    EXPECT_EQ(std::vector<uint32_t>({500, 200, 0, 0}), std::vector<uint32_t>({toWave.transitionTime, toWave.transitionDuration,
                                                                              past.transitionTime, past.transitionDuration}));
    EXPECT_FALSE(m_group->AddAnim(WAVE, 0, ""));
    EXPECT_EQ("0", testsupport::reports().back().expression);

    const std::string def = "[BONED_ANIM]\nmodelname = <string> \"data\\models\\robot.rsm\"\n",
                      full = def + "animfilename = <string> \"x\"\n";
    const struct {
        std::string definition, tweens, report;
    } bad[] = {
        {def, "", "lacks the key animfilename"},
        {"", "", "Failed to read definition file"},
        {full, "[NUM_TWEEN_DATA]\nnumtweens = <int> 44\n", "MaxTweenData<= MAX_ANIMS"},
        {full, "[NUM_TWEEN_DATA]\nnumtweens = <int> -1\n", "MaxTweenData >=0"},
        {full, "[TWEEN_DATA]\n", "lacks the key numtweens"},
        {full, "[NUM_TWEEN_DATA]\nnumtweens = <int> 1\n[TWEEN_DATA]\ntransitiontime0 = <int> 1\n", "lacks the key transitionduration0"},
    };
    for (const auto& row : bad) {
        SCOPED_TRACE(row.report);
        testsupport::clearReports();
        if (!row.definition.empty()) m_dir.write("bad.ini", row.definition);
        m_dir.write("tween.ini", row.tweens);
        EXPECT_FALSE(m_group->AddAnim(row.definition.empty() ? "none.ini" : "bad.ini", 5, row.tweens.empty() ? "" : "tween.ini"));
        EXPECT_EQ(1, countReports(row.report));
        EXPECT_EQ(1u, m_group->GetNumAnims());
    }

    m_dir.write("nomodel.ini", "[BONED_ANIM]\nmodelname = <string> \"nothing.rsm\"\nanimfilename = <string> \"x\"\n");
    EXPECT_TRUE(m_group->AddAnim("nomodel.ini", 1, ""));
    // Neither the model nor the animation file is there: each is named once, and the attachment
    // they leave undone is not said again.
    EXPECT_EQ(1, countReports("Failed to instantiate model nothing.rsm"));
    EXPECT_EQ(1, countReports("Animation file x: not found"));
    EXPECT_EQ(0, countReports("Failed to attach model to animation."));
    EXPECT_EQ(nullptr, m_group->GetAnim(1)->pModelInst);
    for (uint32_t id = 2; id < CBonedAnimGroup::MAX_ANIMS; ++id) ASSERT_TRUE(m_group->AddAnim(WAVE, id, ""));
    EXPECT_FALSE(m_group->AddAnim(WAVE, 43, ""));
    // A model instance for every entry; one that did not load makes none.
    EXPECT_EQ(42u, m_objects->getNumLive());
    CResource* pResource = nullptr;
    ASSERT_TRUE(m_objects->acquireResource(m_group->GetAnim(0)->d_modelHandle, &pResource));
    EXPECT_EQ(CResource::RESOURCETYPE_MODEL, pResource->getResourceType());

    EXPECT_TRUE(m_group->GetAnim(0)->pModelInst->GetModel()->m_flags & CModel::FLAG_NOBOUNDS);

    for (uint32_t i = 0; i < CAnimGroup::MAX_INSTANCES; ++i) ASSERT_NE(nullptr, m_group->CreateInstance());
    EXPECT_EQ(nullptr, m_group->CreateInstance());
}

// One player's way through its states, a step of 50 ms per update: the walk looped; a play of the
// wave that waits for the walk's transition point at 500 ms and then blends for 200 ms (the blend
// position growing by 1000 / (50 x 200) a frame); the wave ending; switching at once (no tween back:
// no blend) and at once with a blend; a loop and a continue.
TEST_F(BonedAnimTest, PlayerStatesTweensAndBlends)
{
    ASSERT_TRUE(m_group->AddAnim(WALK, 0, WALK_TWEENS));
    ASSERT_TRUE(m_group->AddAnim(WAVE, 1, ""));
    auto* player = static_cast<CBonedAnim*>(m_group->CreateInstance());
    const TAnimParam& p = player->GetParam();
    CAnimation& walk = *m_group->GetAnim(0)->pAnimInst;
    m_group->GetAnim(0)->pModelInst->m_instanceData[0] = 7;
    EXPECT_EQ(-2, player->Render(IdentityTransform()));  // before any state
    EXPECT_EQ(0u, p.cAnim);

    enum Op { UPDATE, LOOP, PLAY, PLAY_NOW, LOOP_NOW, CONTINUE_NOW };
    // n: updates, or the animation asked for. finished: IsAnimFinished of the wave.
    const struct { Op op; int n; uint32_t cAnim, cState, phase; bool blending; float blendPosition, walkFrame; bool finished; } script[] = {
        {LOOP, 0, 0, 0, 0, false, 0, 0, false},
        {UPDATE, 1, 0, 3, 2, false, 0, 0.05f, false},
        {UPDATE, 3, 0, 3, 2, false, 0, 0.2f, false},
        {PLAY, 1, 0, 3, 2, false, 0, 0.2f, false},
        {UPDATE, 1, 0, 1, 3, false, 0, 0.25f, false},  // the walk goes on until 100 ms before 500
        {UPDATE, 4, 0, 1, 3, false, 0, 0.45f, false},
        {UPDATE, 1, 1, 4, 2, true, 0.1f, 0.5f, false},
        {UPDATE, 5, 1, 4, 2, true, 0.6f, 0.75f, false},  // the wave is at its end, the blend is not
        {UPDATE, 4, 1, 4, 2, false, 1.0f, 0.95f, true},
        {UPDATE, 1, 1, 2, 2, false, 1.0f, 0.95f, true},
        {PLAY_NOW, 0, 1, 2, 2, false, 1.0f, 0.95f, true},
        {UPDATE, 1, 0, 4, 2, false, 1.0f, 0.05f, true},
        {PLAY_NOW, 1, 0, 4, 2, false, 1.0f, 0.05f, true},
        {UPDATE, 1, 1, 4, 2, true, 0.1f, 0.1f, false},  // no wait for the transition point
        {LOOP_NOW, 0, 1, 4, 2, true, 0.1f, 0.1f, false},
        {UPDATE, 1, 0, 3, 2, false, 0.1f, 0.15f, false},
        {CONTINUE_NOW, 0, 0, 2, 2, false, 0.1f, 0.15f, false},
        {UPDATE, 1, 0, 2, 2, false, 0.1f, 0.2f, false},
    };
    for (const auto& step : script) {
        SCOPED_TRACE(&step - script);
        switch (step.op) {
        case UPDATE: for (int i = 0; i < step.n; ++i) player->Update(); break;
        case LOOP: player->LoopAnim(step.n); break;
        case PLAY: player->PlayAnim(step.n); break;
        case PLAY_NOW: player->PlayAnimNow(step.n); break;
        case LOOP_NOW: player->LoopAnimNow(step.n); break;
        case CONTINUE_NOW: player->ContinueAnimNow(); break;
        }
        EXPECT_EQ(step.cAnim, p.cAnim);
        EXPECT_EQ(step.cState, p.cState);
        EXPECT_EQ(step.phase, p.getStateType());
        EXPECT_EQ(step.blending, p.blending != 0);
        EXPECT_NEAR(step.blendPosition, p.blendPosition, 1e-5f);
        EXPECT_NEAR(step.walkFrame, walk.CurrentFrame, 1e-4f);
        EXPECT_EQ(step.finished, player->IsAnimFinished(1));
    }
    EXPECT_EQ(7.0f, m_group->GetAnim(1)->pModelInst->m_instanceData[0]);
    EXPECT_EQ(p.cAnim, player->GetCurrentAnim()->GetId());
    // The current animation's instance is drawn where the player is.
    const MeshTransform placed = {{0, 1, 0, -1, 0, 0, 0, 0, 1}, {5, 6, 7}, {2, 2, 2}};
    player->Render(placed);
    EXPECT_EQ(0, memcmp(&placed, &m_group->GetAnim(0)->pModelInst->m_transform, sizeof placed));
    EXPECT_EQ(0, countReports(""));

    EXPECT_EQ(1000u, player->GetAnimDuration(0));
    EXPECT_EQ(266u, player->GetAnimDuration(1));
    player->SetAnimLength(0, 500);
    EXPECT_EQ(100, player->GetAnimTime(0));  // at twice the speed
    player->SkipAnimToEnd(0);
    EXPECT_FLOAT_EQ(1.0f, player->GetAnimProgress(0));
    player->SetAnimTime(0, 250);
    EXPECT_FLOAT_EQ(0.25f, player->GetAnimProgress(0));
    player->SetAnimSpeed(0, 0.0f);
    EXPECT_EQ(0, player->GetAnimTime(0));
    // An id not in the group ends the program (exit code 1) after the check "0".
    auto exitCode = [&](auto fatal) { try { fatal(); } catch (const testsupport::ProcessExit& exit) { return exit.code; } return -1; };
    EXPECT_EQ(1, exitCode([&] { player->PlayAnim(9); }));
    EXPECT_EQ(1, exitCode([&] { player->GetAnimDuration(9); }));

    // An id that is not its entry's index is refused where it would index the entries: its player
    // neither plays nor draws.
    CBonedAnimGroup odd(m_objects.get());
    ASSERT_TRUE(odd.AddAnim(WALK, 5, ""));
    CAnimInstABC* oddPlayer = odd.CreateInstance();
    oddPlayer->LoopAnim(5);
    oddPlayer->Update();
    EXPECT_EQ(-2, oddPlayer->Render(IdentityTransform()));
    EXPECT_EQ(0.0f, odd.GetAnim(0)->pAnimInst->CurrentFrame);
    EXPECT_EQ(4, countReports("index< d_numAnims"));
    EXPECT_EQ(2, countReports("0"));
}
