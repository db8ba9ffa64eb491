// The effect manager through the test kind: definitions, instance limits, fades, the sort, the
// update walk and destroying.
#include "EffectsFixture.h"

#include <map>
#include <random>

using testsupport::countReports;

namespace {

class EffectManagerTest : public EffectsFixture {};

TEST_F(EffectManagerTest, CommonKeysKeepTheirRulesAndDefaults)
{
    struct Case {
        const char* keys;
        uint32_t max, technique, killSpeed, fadeMode;
        int reports;
    };
    const Case cases[] = {
        {"", 0, 2, 0, 3, 0},
        {"AbortTechnique 0\nKillFadeSpeed 300\n", 0, 2, 0, 3, 0},  // only read beside MaxInstances
        {"MaxInstances 3\n", 3, 2, 0, 3, 0},
        {"MaxInstances 3\nAbortTechnique 0\nKillFadeSpeed 300\nFadeMode 1\n", 3, 0, 300, 1, 0},
        {"MaxInstances 1\nAbortTechnique 5\nFadeMode 7\n", 1, 2, 0, 3, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        testsupport::clearReports();
        define(block("TESTEFFECT", "e", std::string(c.keys) + "EffectRadius 2.5\nFadeNear 10\nFadeFar 20\n"
                                                             "KillIfOffScreen 1\nRenderIfOnScreenOnly 7\n"),
               {"e"});
        const CEffectDefinition* d = manager->FindDefinition("E");
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->MaxInstances, c.max);
        EXPECT_EQ(d->AbortTechnique, c.technique);
        EXPECT_EQ(d->KillFadeSpeed, c.killSpeed);
        EXPECT_EQ(d->FadeMode, c.fadeMode);
        EXPECT_EQ(d->EffectRadius, 2.5f);
        EXPECT_EQ(d->FadeNear, 10.0f);
        EXPECT_EQ(d->FadeFar, 20.0f);
        EXPECT_EQ(d->KillIfOffScreen, 1);
        EXPECT_EQ(d->RenderIfOnScreenOnly, 1);
        EXPECT_EQ(testsupport::reports().size(), static_cast<size_t>(c.reports));
        manager->UnprecacheEffect("e");
        EXPECT_EQ(manager->FindDefinition("e"), nullptr);
    }
}

TEST_F(EffectManagerTest, PrecacheReadsTheFirstMatchingBlockOnce)
{
    define(block("TESTEFFECT", "Twin", "EffectRadius 1\n") + block("testeffect", "twin", "EffectRadius 2\n"));
    EXPECT_TRUE(manager->PrecacheEffect("TWIN"));
    EXPECT_TRUE(manager->PrecacheEffect("twin"));
    EXPECT_EQ(logged("read").size(), 1u);
    EXPECT_EQ(manager->FindDefinition("twin")->EffectRadius, 1.0f);
    EXPECT_EQ(manager->GetNumDefinitions(), 1u);
    EXPECT_FALSE(manager->PrecacheEffect("absent"));

    // Without held blocks a precached name still answers; others cannot be read.
    manager->FreeBlocks();
    EXPECT_TRUE(manager->PrecacheEffect("twin"));
    EXPECT_FALSE(manager->PrecacheEffect("other"));
    EXPECT_EQ(countReports("m_readBlocks"), 2);
    EXPECT_FALSE(manager->ReadBlocks("missing.txt"));
    EXPECT_FALSE(manager->HoldsBlocks());
}

TEST_F(EffectManagerTest, BadDefinitionsAreReportedAndGiveNoDefinition)
{
    const std::string longName(32, 'n');
    struct Case {
        std::string text;
        std::string name;
        const char* report;
    };
    const Case cases[] = {
        {block("SPARKLES", "a"), "a", "Unknown effect kind"},
        {"TESTEFFECT\n{\nEffectRadius 1\n}\n", "a", "has no instancename"},
        {block("TESTEFFECT", longName), longName, "strlen(pName)<EFFECTNAMELEN"},
        {block("TESTEFFECT", longName), "n", "instancename too long"},
        {block("TESTEFFECT", "a", "Fail 1\n"), "a", nullptr},  // its definition is freed (no leak)
        {block("POINTTRAIL", "a"), "a", "cannot be made"},
        {block("TRAIL", "a"), "a", "cannot be made"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        testsupport::clearReports();
        define(c.text);
        EXPECT_FALSE(manager->PrecacheEffect(c.name.c_str()));
        if (c.report) {
            EXPECT_EQ(countReports(c.report), 1);
        }
        EXPECT_EQ(manager->GetNumDefinitions(), 0u);
        EXPECT_EQ(create(c.name.c_str()), nullptr);
        EXPECT_EQ(countReports("not precached"), 1);
    }
}

TEST_F(EffectManagerTest, InstanceLimitsApplyTheirAbortTechnique)
{
    define(block("TESTEFFECT", "refuse", "MaxInstances 2\nAbortTechnique 2\n") +
               block("TESTEFFECT", "fade", "MaxInstances 1\nAbortTechnique 0\nKillFadeSpeed 1000\n") +
               block("TESTEFFECT", "destroy", "MaxInstances 2\nAbortTechnique 1\n") +
               block("TESTEFFECT", "unset", "MaxInstances 1\n"),
           {"refuse", "fade", "destroy", "unset"});
    // Refuse: the third waits until one of two is gone.
    CEffect* r1 = create("refuse");
    ASSERT_NE(create("refuse"), nullptr);
    EXPECT_EQ(create("refuse"), nullptr);
    manager->DestroyEffect(r1);
    EXPECT_NE(create("refuse"), nullptr);
    // No technique given: refuse.
    ASSERT_NE(create("unset"), nullptr);
    EXPECT_EQ(create("unset"), nullptr);

    // Fade out: each create starts the kill fade of the one not yet dying; a dying one no longer counts.
    setTime(500);
    CEffect* f1 = create("fade");
    CEffect* f2 = create("fade");
    EXPECT_EQ(f1->GetKillStartTime(), 500u);
    EXPECT_EQ(f2->GetKillStartTime(), 0u);
    CEffect* f3 = create("fade");
    EXPECT_EQ(f2->GetKillStartTime(), 500u);
    EXPECT_EQ(f3->GetKillStartTime(), 0u);
    EXPECT_TRUE(manager->IsLive(f1) && manager->IsLive(f2) && manager->IsLive(f3));

    // Destroy: the farthest of the last sort goes, with its end callback.
    SetEffectSortCamera([](Vector3* p) {
        p->set(100, 0, 0);
        return true;
    });
    create("destroy", Vector3(90, 0, 0));
    CEffect* farthest = create("destroy", Vector3(0, 0, 0));
    manager->Render(0.0f);
    effectLog().clear();
    CEffect* d3 = create("destroy", Vector3(95, 0, 0));
    EXPECT_FALSE(manager->IsLive(farthest));
    EXPECT_EQ(effectLog(), (std::vector<std::string>{"end destroy", "delete destroy", "create destroy"}));
    // Until the next sort the new entry keeps the key its slot held: here the destroyed one's.
    effectLog().clear();
    create("destroy", Vector3(96, 0, 0));
    EXPECT_FALSE(manager->IsLive(d3));
}

TEST_F(EffectManagerTest, DistanceFadeFollowsTheFadeMode)
{
    define(block("TESTEFFECT", "kill", "FadeMode 0\nFadeNear 10\nFadeFar 20\nEffectRadius 2\n") +
               block("TESTEFFECT", "hide", "FadeMode 1\nFadeNear 10\nFadeFar 20\nEffectRadius 2\n") +
               block("TESTEFFECT", "zero", "FadeMode 2\nFadeNear 10\nFadeFar 20\nEffectRadius 2\n") +
               block("TESTEFFECT", "none", "FadeNear 10\nFadeFar 20\nEffectRadius 2\n") +
               block("TESTEFFECT", "unbounded", "FadeMode 2\nFadeNear 10\nFadeFar 20\nNoBounds 1\n"),
           {"kill", "hide", "zero", "none", "unbounded"});
    CEffect* e[5];
    const char* names[5] = {"kill", "hide", "zero", "none", "unbounded"};
    for (int i = 0; i < 5; ++i) e[i] = create(names[i], Vector3(0, 0, 0));

    SetEffectCameraPosition(Vector3(0, 17, 0));  // 15 beyond the bounds: half way
    manager->Update();
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(e[i]->GetFade(), 0.5f, 1e-5f) << names[i];
    EXPECT_EQ(e[3]->GetFade(), 1.0f);
    EXPECT_EQ(e[4]->GetFade(), 1.0f);

    SetEffectCameraPosition(Vector3(0, 0, 30));
    manager->Update();
    EXPECT_FALSE(manager->IsLive(e[0]));
    EXPECT_TRUE(e[1]->IsHidden());
    EXPECT_NEAR(e[1]->GetFade(), 0.5f, 1e-5f);
    EXPECT_EQ(e[2]->GetFade(), 0.0f);
    EXPECT_EQ(e[4]->GetFade(), 1.0f);

    // Hidden: not updated, still faded - and shown again when near.
    effectLog().clear();
    SetEffectCameraPosition(Vector3(5, 0, 0));
    manager->Update();
    EXPECT_FALSE(e[1]->IsHidden());
    EXPECT_EQ(e[1]->GetFade(), 1.0f);
    EXPECT_EQ(e[2]->GetFade(), 1.0f);
    EXPECT_EQ(logged("update hide").size(), 0u);
}

TEST_F(EffectManagerTest, KillFadesRunOnTheGameClock)
{
    define(block("TESTEFFECT", "slow", "MaxInstances 9\nKillFadeSpeed 1000\n") +
               block("TESTEFFECT", "instant", "MaxInstances 9\nKillFadeSpeed 0\n"),
           {"slow", "instant"});
    CEffect* slow = create("slow");
    CEffect* early = create("slow");
    CEffect* instant = create("instant");
    setTime(0);
    early->StartKillFade();  // at time 0, which would mean no fade
    EXPECT_EQ(early->GetKillStartTime(), 1u);
    setTime(1000);
    slow->StartKillFade();
    instant->StartKillFade();
    setTime(1500);
    manager->Update();
    EXPECT_NEAR(slow->GetFade(), 0.5f, 1e-6f);
    EXPECT_FALSE(manager->IsLive(instant));  // no division by a zero length
    EXPECT_FALSE(manager->IsLive(early));
    setTime(2000);
    manager->Update();
    EXPECT_EQ(slow->GetFade(), 0.0f);
    setTime(2001);
    manager->Update();
    EXPECT_FALSE(manager->IsLive(slow));
    EXPECT_EQ(logged("end").size(), 3u);
}

TEST_F(EffectManagerTest, RenderDrawsNearestFirstAtAnySize)
{
    define(block("TESTEFFECT", "e", "NoBounds 1\n"), {"e"});
    SetEffectSortCamera([](Vector3* p) {
        p->set(0, 0, 1000);
        return true;
    });
    std::mt19937 random(5);
    for (int count : {1, 3, 5, 6, 7, 50, 51, 137}) {
        SCOPED_TRACE(count);
        std::map<const CEffect*, float> distance;
        for (int i = 0; i < count; ++i) {
            const float z = static_cast<float>(random() % 40);  // ties
            distance[create("e", Vector3(0, 0, 1000 - z))] = z;
        }
        renderedEffects().clear();
        manager->Render(0.25f);
        ASSERT_EQ(renderedEffects().size(), static_cast<size_t>(count));
        for (int i = 1; i < count; ++i)
            EXPECT_LE(distance[renderedEffects()[i - 1]], distance[renderedEffects()[i]]);
        for (auto& [effect, z] : distance) manager->DestroyEffect(const_cast<CEffect*>(effect));
        EXPECT_EQ(manager->GetNumEffects(), 0u);
    }
    // Nothing alive: nothing drawn, nothing reported.
    manager->Update();
    manager->Render(0.0f);
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(EffectManagerTest, UpdateEndsEffectsInOrderAndSkipsThoseEndedOnTheWay)
{
    define(block("TESTEFFECT", "brief", "Lifetime 1\n") + block("TESTEFFECT", "fading", "MaxInstances 9\nKillFadeSpeed 10\n") +
               block("TESTEFFECT", "victim"),
           {"brief", "fading", "victim"});
    // The fading effect's owner ends the victim, which stands later in the walk.
    CEffect* victim = nullptr;
    CEffect* fading = manager->CreateEffect(
        "fading", Vector3(), Matrix3(), 0,
        [](CEffect*, void* context) { pTheEffectManager->DestroyEffect(*static_cast<CEffect**>(context)); }, &victim);
    create("brief");
    victim = create("victim");
    setTime(100);
    fading->StartKillFade();
    setTime(200);
    effectLog().clear();
    manager->Update();
    EXPECT_EQ(effectLog(), (std::vector<std::string>{"update fading", "end victim", "delete victim", "delete fading",
                                                     "update brief", "end brief", "delete brief"}));
    EXPECT_EQ(manager->GetNumEffects(), 0u);

    // Destroying what is not live is reported and does nothing.
    manager->DestroyEffect(victim);
    manager->DestroyEffect(nullptr);
    EXPECT_EQ(countReports("not live"), 2);
}

TEST_F(EffectManagerTest, LinksAreUndoneWhenEitherEnds)
{
    define(block("TESTEFFECT", "e"), {"e"});
    CEffect* leader = create("e");
    CEffect* follower = create("e");
    Vector3 points[2];
    leader->LinkEffect(follower);
    EXPECT_EQ(follower->GetLeader(), leader);
    leader->PassFollowedPointsOn(2, points);
    EXPECT_EQ(follower->GetFollowedPoints(), points);
    EXPECT_EQ(follower->GetFollowedPointCount(), 2u);
    manager->DestroyEffect(leader);
    EXPECT_EQ(follower->GetLeader(), nullptr);
    EXPECT_EQ(follower->GetFollowedPoints(), nullptr);
    EXPECT_EQ(follower->GetFollowedPointCount(), 0u);

    CEffect* second = create("e");
    second->LinkEffect(follower);
    follower->Kill();
    EXPECT_EQ(second->GetLinkedEffect(), nullptr);

    second->SetFade(1.5f);
    EXPECT_EQ(second->GetFade(), 1.0f);
    second->SetFade(-0.2f);
    EXPECT_EQ(second->GetFade(), 0.0f);
    second->SetFade(0.25f);
    EXPECT_EQ(second->GetFade(), 0.25f);
    EXPECT_EQ(countReports("fadeFactor"), 2);
}

TEST_F(EffectManagerTest, ASecondManagerTakesOverAndEachCleansUp)
{
    define(block("TESTEFFECT", "e"), {"e"});
    create("e");
    auto second = std::make_unique<CEffectManager>();
    EXPECT_EQ(countReports("pTheEffectManager==NULL"), 1);
    EXPECT_EQ(pTheEffectManager, second.get());
    manager.reset();  // deletes its effect without an end callback
    EXPECT_EQ(logged("end").size(), 0u);
    EXPECT_EQ(logged("delete").size(), 1u);
    EXPECT_EQ(pTheEffectManager, second.get());
    second.reset();
    EXPECT_EQ(pTheEffectManager, nullptr);
}

}  // namespace
