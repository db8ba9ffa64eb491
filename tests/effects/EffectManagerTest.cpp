// The effect manager through the test kind: definitions, instance limits, fades, the sort, the
// update walk, links and destroying.
#include "EffectsFixture.h"

#include <gmock/gmock.h>

#include <cmath>
#include <map>
#include <random>

namespace {

class EffectManagerTest : public EffectsFixture {};

TEST_F(EffectManagerTest, CommonKeysKeepTheirRulesAndDefaults)
{
    struct Case {
        const char* keys;
        uint32_t max, technique, killSpeed, fadeMode;
        size_t reports;
    } const cases[] = {
        {"", 0, 2, 0, 3, 0},
        {"AbortTechnique 0\nKillFadeSpeed 300\n", 0, 2, 0, 3, 0},  // only read beside MaxInstances
        {"MaxInstances 3\n", 3, 2, 0, 3, 0},
        {"MaxInstances 3\nAbortTechnique 0\nKillFadeSpeed 300\nFadeMode 1\n", 3, 0, 300, 1, 0},
        {"MaxInstances 1\nAbortTechnique 5\nFadeMode 7\n", 1, 2, 0, 3, 2},  // out of range: unchanged
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        testsupport::clearReports();
        define(block("TESTEFFECT", "e", std::string(c.keys) + "EffectRadius 2.5\nFadeNear 10\nFadeFar 20\n"
                                                             "KillIfOffScreen 1\nRenderIfOnScreenOnly 7\n"),
               {"e"});
        const CEffectDefinition* d = manager->FindDefinition("E");
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(std::vector<uint32_t>({d->MaxInstances, d->AbortTechnique, d->KillFadeSpeed, d->FadeMode}),
                  std::vector<uint32_t>({c.max, c.technique, c.killSpeed, c.fadeMode}));
        EXPECT_EQ(std::vector<float>({d->EffectRadius, d->FadeNear, d->FadeFar}), std::vector<float>({2.5f, 10, 20}));
        EXPECT_TRUE(d->KillIfOffScreen == 1 && d->RenderIfOnScreenOnly == 1);
        EXPECT_EQ(testsupport::reports().size(), c.reports);
        manager->UnprecacheEffect("e");
        EXPECT_EQ(manager->FindDefinition("e"), nullptr);
    }
}

TEST_F(EffectManagerTest, PrecacheTakesTheFirstMatchingBlockOnce)
{
    define(block("TESTEFFECT", "Twin", "EffectRadius 1\n") + block("testeffect", "twin", "EffectRadius 2\n"),
           {"TWIN", "twin"});
    EXPECT_EQ(manager->GetNumDefinitions(), 1u);
    EXPECT_EQ(manager->FindDefinition("twin")->EffectRadius, 1.0f);
    EXPECT_FALSE(manager->PrecacheEffect("absent"));
    // Without held blocks a precached name still answers, with a report; others cannot be read.
    manager->FreeBlocks();
    EXPECT_TRUE(manager->PrecacheEffect("twin"));
    EXPECT_FALSE(manager->PrecacheEffect("other"));
    EXPECT_EQ(countReports("m_readBlocks"), 2);
    EXPECT_FALSE(manager->ReadBlocks("missing.txt"));
    EXPECT_FALSE(manager->HoldsBlocks());
    // Its effects would keep a deleted definition: they end first.
    CEffect* e = create("twin");
    manager->UnprecacheEffect("TWIN");
    EXPECT_FALSE(manager->IsLive(e));
    EXPECT_EQ(countReports("unprecached while running"), 1);
}

TEST_F(EffectManagerTest, BadDefinitionsAreReportedAndGiveNoDefinition)
{
    const std::string longName(32, 'n');
    struct Case {
        std::string text, name;
        const char* report;
    } const cases[] = {
        {block("SPARKLES", "a"), "a", "Unknown effect kind"},
        {"TESTEFFECT\n{\nEffectRadius 1\n}\n", "a", "has no instancename"},
        {block("TESTEFFECT", longName), longName, "strlen(pName)<EFFECTNAMELEN"},
        {block("TESTEFFECT", longName), "n", "instancename too long"},
        {block("TESTEFFECT", "a", "Fail 1\n"), "a", nullptr},  // its definition is freed (no leak)
        {block("TRAIL", "a", "texture t.tga\n"), "a", "needs a render_type"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        testsupport::clearReports();
        define(c.text);
        EXPECT_FALSE(manager->PrecacheEffect(c.name.c_str()));
        EXPECT_EQ(c.report ? countReports(c.report) : 1, 1);
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
    CEffect* r1 = create("refuse");
    create("refuse");
    EXPECT_EQ(create("refuse"), nullptr);
    manager->DestroyEffect(r1);
    EXPECT_NE(create("refuse"), nullptr);
    create("unset");
    EXPECT_EQ(create("unset"), nullptr);  // no technique given: refuse

    // Each create fades out the one not yet dying; once all are dying the limit is passed.
    setTime(500);
    CEffect* f1 = create("fade");
    CEffect* f2 = create("fade");
    CEffect* f3 = create("fade");
    EXPECT_EQ(std::vector<uint32_t>({f1->GetKillStartTime(), f2->GetKillStartTime(), f3->GetKillStartTime()}),
              std::vector<uint32_t>({500, 500, 0}));
    EXPECT_TRUE(manager->IsLive(f1) && manager->IsLive(f2) && manager->IsLive(f3));

    // Destroy: the farthest at the last sort goes. Until the next sort a new entry keeps the key
    // its slot last held (a far one here), so it is the next to go.
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
    create("destroy", Vector3(96, 0, 0));
    EXPECT_FALSE(manager->IsLive(d3));
}

TEST_F(EffectManagerTest, DistanceFadeFollowsTheFadeMode)
{
    const std::string range = "FadeNear 10\nFadeFar 20\nEffectRadius 2\n";
    const char* names[5] = {"kill", "hide", "zero", "none", "unbounded"};
    define(block("TESTEFFECT", "kill", "FadeMode 0\n" + range) + block("TESTEFFECT", "hide", "FadeMode 1\n" + range) +
               block("TESTEFFECT", "zero", "FadeMode 2\n" + range) + block("TESTEFFECT", "none", range) +
               block("TESTEFFECT", "unbounded", "FadeMode 2\nNoBounds 1\n" + range),
           {"kill", "hide", "zero", "none", "unbounded"});
    CEffect* e[5];
    for (int i = 0; i < 5; ++i) e[i] = create(names[i]);
    auto fades = [&](int from) {
        std::vector<float> out;
        for (int i = from; i < 5; ++i) out.push_back(e[i]->GetFade());
        return out;
    };
    SetEffectCameraPosition(Vector3(0, 17, 0));  // 15 beyond the bounds: half way
    manager->Update();
    EXPECT_THAT(fades(0), testing::Pointwise(testing::FloatNear(1e-5f), {0.5f, 0.5f, 0.5f, 1.0f, 1.0f}));

    SetEffectCameraPosition(Vector3(0, 0, 30));
    manager->Update();
    EXPECT_FALSE(manager->IsLive(e[0]));
    EXPECT_TRUE(e[1]->IsHidden());
    EXPECT_THAT(fades(1), testing::Pointwise(testing::FloatNear(1e-5f), {0.5f, 0.0f, 1.0f, 1.0f}));

    // Hidden: not updated, still faded, and shown again when near.
    effectLog().clear();
    SetEffectCameraPosition(Vector3(5, 0, 0));
    manager->Update();
    EXPECT_FALSE(e[1]->IsHidden());
    EXPECT_EQ(fades(1), std::vector<float>({1, 1, 1, 1}));
    EXPECT_TRUE(logged("update hide").empty());
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
    EXPECT_EQ(slow->GetFade(), 0.5f);
    EXPECT_FALSE(manager->IsLive(instant));  // no division by a zero length
    EXPECT_FALSE(manager->IsLive(early));
    setTime(2000);
    manager->Update();
    EXPECT_EQ(slow->GetFade(), 0.0f);
    setTime(2001);
    manager->Update();
    EXPECT_FALSE(manager->IsLive(slow));
}

TEST_F(EffectManagerTest, RenderDrawsNearestFirstAtAnySize)
{
    define(block("TESTEFFECT", "e"), {"e"});
    SetEffectSortCamera([](Vector3* p) {
        p->set(0, 0, 1000);
        return true;
    });
    std::mt19937 random(5);
    for (int count : {1, 3, 5, 6, 7, 50, 51, 137}) {
        SCOPED_TRACE(count);
        std::map<const CEffect*, float> distance;
        for (int i = 0; i < count; ++i) {
            const float z = static_cast<float>(random() % 40);  // with ties
            distance[create("e", Vector3(0, 0, 1000 - z))] = z;
        }
        renderedEffects().clear();
        manager->Render(0.25f);
        ASSERT_EQ(renderedEffects().size(), static_cast<size_t>(count));
        for (int i = 1; i < count; ++i) EXPECT_LE(distance[renderedEffects()[i - 1]], distance[renderedEffects()[i]]);
        for (auto& [effect, z] : distance) manager->DestroyEffect(const_cast<CEffect*>(effect));
    }
    manager->Update();
    manager->Render(0.0f);
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(EffectManagerTest, UpdateEndsEffectsInOrderAndSkipsThoseEndedOnTheWay)
{
    define(block("TESTEFFECT", "brief", "Lifetime 1\n") +
               block("TESTEFFECT", "fading", "MaxInstances 9\nKillFadeSpeed 10\n") + block("TESTEFFECT", "victim"),
           {"brief", "fading", "victim"});
    // The fading effect's owner ends the victim, which stands later in the walk (and, too late, the
    // fading effect itself).
    CEffect* victim = nullptr;
    CEffect* fading = manager->CreateEffect(
        "fading", Vector3(), Matrix3(), 0,
        [](CEffect* self, void* context) {
            pTheEffectManager->DestroyEffect(*static_cast<CEffect**>(context));
            pTheEffectManager->DestroyEffect(self);
        },
        &victim);
    create("brief");
    victim = create("victim");
    setTime(100);
    fading->StartKillFade();
    setTime(200);
    effectLog().clear();
    manager->Update();
    EXPECT_EQ(effectLog(), (std::vector<std::string>{"update fading", "end victim", "delete victim", "delete fading",
                                                     "update brief", "end brief", "delete brief"}));
    manager->DestroyEffect(victim);
    EXPECT_EQ(countReports("not live"), 2);
}

TEST_F(EffectManagerTest, LinksAreUndoneWhenEitherEndsAndFadesAreClamped)
{
    define(block("TESTEFFECT", "e"), {"e"});
    CEffect* leader = create("e");
    CEffect* follower = create("e");
    Vector3 points[2];
    leader->LinkEffect(follower);
    leader->PassFollowedPointsOn(2, points);
    EXPECT_EQ(follower->GetLeader(), leader);
    EXPECT_EQ(follower->GetFollowedPoints(), points);
    manager->DestroyEffect(leader);
    EXPECT_EQ(follower->GetLeader(), nullptr);
    EXPECT_EQ(follower->GetFollowedPoints(), nullptr);
    EXPECT_EQ(follower->GetFollowedPointCount(), 0u);
    CEffect* second = create("e");
    second->LinkEffect(follower);
    follower->Kill();
    EXPECT_EQ(second->GetLinkedEffect(), nullptr);

    std::vector<float> stored;
    for (float f : {1.5f, -0.2f, 0.25f, std::nanf("")}) {
        second->SetFade(f);
        stored.push_back(second->GetFade());
    }
    EXPECT_EQ(stored, std::vector<float>({1, 0, 0.25f, 0}));
    EXPECT_EQ(countReports("fadeFactor"), 4);
}

TEST_F(EffectManagerTest, ASecondManagerTakesOverAndEachCleansUp)
{
    define(block("TESTEFFECT", "e"), {"e"});
    create("e");
    auto second = std::make_unique<CEffectManager>();
    EXPECT_EQ(countReports("pTheEffectManager==NULL"), 1);
    manager.reset();  // its effect goes without an end callback
    EXPECT_EQ(effectLog(), (std::vector<std::string>{"create e", "delete e"}));
    EXPECT_EQ(pTheEffectManager, second.get());
    second.reset();
    EXPECT_EQ(pTheEffectManager, nullptr);
}

}  // namespace
