// Multi-effects over the test kind: starting, ending, forwarding, and definitions that name
// themselves.
#include "EffectsFixture.h"

#include "effects/MultiEffect.h"

using testsupport::countReports;

namespace {

class MultiEffectTest : public EffectsFixture {
protected:
    CMultiEffect* createMulti(const char* name) { return dynamic_cast<CMultiEffect*>(create(name)); }
};

TEST_F(MultiEffectTest, LivesWhileAStartedSubEffectLives)
{
    define(block("TESTEFFECT", "brief", "Lifetime 1\n") + block("TESTEFFECT", "lasting") +
               multiEffect("gap", {"brief", "absent", "lasting"}) + multiEffect("pair", {"brief", "brief"}),
           {"gap", "pair"});
    CMultiEffect* gap = createMulti("gap");
    ASSERT_NE(gap, nullptr);
    EXPECT_EQ(countReports("Effect absent not precached"), 1);
    EXPECT_EQ(gap->GetSubEffect(1), nullptr);
    EXPECT_EQ(gap->GetSubEffect(0)->GetLeader(), gap);
    EXPECT_EQ(manager->GetNumEffects(), 3u);

    // Both parts of the pair end in one update; the pair's own step comes after theirs and ends it.
    CMultiEffect* pair = createMulti("pair");
    manager->Update();
    EXPECT_FALSE(manager->IsLive(pair));

    // The entry never started keeps the gap alive after its brief part ended.
    EXPECT_EQ(gap->GetNumLive(), 2u);
    CEffect* lasting = gap->GetSubEffect(2);
    lasting->Kill();
    EXPECT_EQ(gap->GetNumLive(), 1u);
    manager->Update();
    EXPECT_TRUE(manager->IsLive(gap));

    // Destroying it ends its live parts first, recursively, then itself.
    define(multiEffect("outer", {"lasting", "inner"}) + multiEffect("inner", {"lasting"}), {"outer"});
    CMultiEffect* outer = createMulti("outer");
    effectLog().clear();
    manager->DestroyEffect(outer);
    EXPECT_EQ(effectLog(), (std::vector<std::string>{"delete lasting", "delete lasting", "end multi"}));
    EXPECT_TRUE(manager->IsLive(gap));
}

TEST_F(MultiEffectTest, MovesPausesAndTriggersReachTheLiveParts)
{
    define(block("TESTEFFECT", "sparks") + block("TESTEFFECT", "trail", "Type 2\n") +
               block("TESTEFFECT", "brief", "Lifetime 1\n") + multiEffect("inner", {"sparks"}) +
               multiEffect("combo", {"sparks", "trail", "brief", "inner"}),
           {"combo"});
    CMultiEffect* combo = createMulti("combo");
    manager->Update();  // the brief part ends
    ASSERT_EQ(combo->GetSubEffect(2), nullptr);
    Matrix3 turned;
    turned.setRotationZ(1.0f);
    combo->SetPosition(Vector3(1, 2, 3));
    combo->SetOrientation(turned);
    Vector3 points[3];
    combo->SetFollowedPoints(3, points);
    for (uint32_t i : {0u, 1u, 3u}) {
        EXPECT_EQ(combo->GetSubEffect(i)->GetPosition().z, 3.0f);
        EXPECT_EQ(combo->GetSubEffect(i)->GetOrientation().m[0][1], turned.m[0][1]);
        EXPECT_EQ(combo->GetSubEffect(i)->GetFollowedPointCount(), 3u);
    }
    CMultiEffect* inner = dynamic_cast<CMultiEffect*>(combo->GetSubEffect(3));
    EXPECT_EQ(inner->GetSubEffect(0)->GetPosition().x, 1.0f);

    effectLog().clear();
    combo->PauseEmitter();
    EXPECT_TRUE(combo->IsEmitterPaused());
    EXPECT_TRUE(inner->IsEmitterPaused());
    combo->Trigger();
    combo->UnpauseEmitter();
    EXPECT_EQ(effectLog(), (std::vector<std::string>{"pause sparks", "pause sparks", "trigger sparks",
                                                     "trigger sparks", "unpause sparks", "unpause sparks"}));
    // A trail has no emitter: asked directly it reports and stays as it is.
    CEffect* trail = combo->GetSubEffect(1);
    trail->PauseEmitter();
    trail->UnpauseEmitter();
    EXPECT_FALSE(trail->IsEmitterPaused());
    EXPECT_EQ(countReports("emitter on invalid effect type"), 2);
    EXPECT_EQ(countReports("Attempt to check pause state on invalid effect type"), 1);
}

TEST_F(MultiEffectTest, DefinitionsThatNameThemselvesAreReadButNeverStartThemselves)
{
    std::string chain;
    for (int i = 0; i < 40; ++i)
        chain += multiEffect("chain" + std::to_string(i), {"leaf", "chain" + std::to_string(i + 1)});
    define(multiEffect("self", {"leaf", "self"}) + multiEffect("ping", {"pong"}) + multiEffect("pong", {"leaf", "ping"}) +
           block("TESTEFFECT", "leaf") + chain + block("TESTEFFECT", "chain40"));
    for (const char* name : {"self", "ping", "pong"}) {
        EXPECT_TRUE(manager->PrecacheEffect(name));
        CMultiEffect* m = createMulti(name);
        ASSERT_NE(m, nullptr) << name;
        EXPECT_EQ(countReports("starts itself"), 1);
        testsupport::clearReports();
    }

    // A chain deeper than the nesting limit is cut with a report, not by the stack.
    testsupport::clearReports();
    EXPECT_TRUE(manager->PrecacheEffect("chain0"));
    EXPECT_EQ(countReports("nests too deep"), 1);
    ASSERT_NE(createMulti("chain0"), nullptr);
    EXPECT_LE(manager->GetNumEffects(), 2u * CEffectManager::MAX_EFFECT_NESTING + 8u);
}

TEST_F(MultiEffectTest, AnEffectsBlockOfNoneOrThousandsOfEntries)
{
    std::string many = "MULTIEFFECT\n{\ninstancename many\nEffects\n{\n";
    for (int i = 0; i < 3000; ++i) many += "{\nEffect leaf\n}\n";
    many += "{\n}\n}\n}\n";  // one entry names nothing
    define(block("TESTEFFECT", "leaf") + many + multiEffect("none", {}) + block("MULTIEFFECT", "nothing"));
    EXPECT_TRUE(manager->PrecacheEffect("none"));
    EXPECT_EQ(countReports("numEffects>=1"), 1);
    EXPECT_FALSE(manager->PrecacheEffect("nothing"));
    EXPECT_TRUE(manager->PrecacheEffect("many"));
    EXPECT_EQ(countReports("names no effect"), 1);

    CEffect* none = create("none");
    CMultiEffect* big = createMulti("many");
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->GetNumLive(), 3001u);
    EXPECT_EQ(manager->GetNumEffects(), 3002u);
    manager->Update();
    EXPECT_FALSE(manager->IsLive(none));
    manager->DestroyEffect(big);
    EXPECT_EQ(manager->GetNumEffects(), 0u);
}

}  // namespace
