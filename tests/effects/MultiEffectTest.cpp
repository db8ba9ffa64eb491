// Multi-effects over the test kind: starting, ending, forwarding, and definitions that name
// themselves.
#include "EffectsFixture.h"

#include "effects/MultiEffect.h"

namespace {

class MultiEffectTest : public EffectsFixture {
protected:
    CMultiEffect* createMulti(const char* name) { return dynamic_cast<CMultiEffect*>(create(name)); }
};

TEST_F(MultiEffectTest, LivesWhileAStartedPartLivesAndEndsPartsFirst)
{
    define(block("TESTEFFECT", "brief", "Lifetime 1\n") + block("TESTEFFECT", "lasting") +
               multiEffect("gap", {"brief", "absent", "lasting"}) + multiEffect("pair", {"brief", "brief"}) +
               multiEffect("outer", {"lasting", "inner"}) + multiEffect("inner", {"lasting"}),
           {"gap", "pair", "outer"});
    CMultiEffect* gap = createMulti("gap");
    EXPECT_EQ(countReports("Effect absent not precached"), 1);
    EXPECT_EQ(gap->GetSubEffect(1), nullptr);
    EXPECT_EQ(gap->GetSubEffect(0)->GetLeader(), gap);
    // Both parts of the pair end in one update; its own step comes after theirs and ends it.
    CMultiEffect* pair = createMulti("pair");
    manager->Update();
    EXPECT_FALSE(manager->IsLive(pair));
    // The entry never started keeps the gap alive after its parts ended.
    EXPECT_EQ(gap->GetNumLive(), 2u);
    gap->GetSubEffect(2)->Kill();
    manager->Update();
    EXPECT_EQ(gap->GetNumLive(), 1u);
    EXPECT_TRUE(manager->IsLive(gap));

    CMultiEffect* outer = createMulti("outer");
    effectLog().clear();
    manager->DestroyEffect(outer);
    EXPECT_EQ(effectLog(), (std::vector<std::string>{"delete lasting", "delete lasting", "end multi"}));
}

TEST_F(MultiEffectTest, MovesPausesAndTriggersReachTheLiveParts)
{
    define(block("TESTEFFECT", "sparks") + block("TESTEFFECT", "trail", "Type 2\n") +
               block("TESTEFFECT", "brief", "Lifetime 1\n") + multiEffect("inner", {"sparks"}) +
               multiEffect("combo", {"sparks", "trail", "brief", "inner"}),
           {"combo"});
    CMultiEffect* combo = createMulti("combo");
    manager->Update();  // the brief part ends
    Matrix3 turned;
    turned.setRotationZ(1.0f);
    Vector3 points[3];
    combo->SetPosition(Vector3(1, 2, 3));
    combo->SetOrientation(turned);
    combo->SetFollowedPoints(3, points);
    CMultiEffect* inner = dynamic_cast<CMultiEffect*>(combo->GetSubEffect(3));
    for (CEffect* part : {combo->GetSubEffect(0), combo->GetSubEffect(1), inner->GetSubEffect(0)}) {
        EXPECT_EQ(part->GetPosition().z, 3.0f);
        EXPECT_EQ(part->GetOrientation().m[0][1], turned.m[0][1]);
        EXPECT_EQ(part->GetFollowedPointCount(), 3u);
    }
    effectLog().clear();
    combo->PauseEmitter();
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
    EXPECT_EQ(countReports("on invalid effect type"), 3);
}

TEST_F(MultiEffectTest, DefinitionsThatNameThemselvesAreReadButNeverStartThemselves)
{
    std::string chain;
    for (int i = 0; i < 40; ++i) chain += multiEffect("chain" + std::to_string(i), {"leaf", "chain" + std::to_string(i + 1)});
    define(multiEffect("self", {"leaf", "self"}) + multiEffect("ping", {"pong"}) + multiEffect("pong", {"leaf", "ping"}) +
           block("TESTEFFECT", "leaf") + chain + block("TESTEFFECT", "chain40"));
    for (const char* name : {"self", "ping", "pong"}) {
        testsupport::clearReports();
        EXPECT_TRUE(manager->PrecacheEffect(name));
        EXPECT_NE(createMulti(name), nullptr) << name;
        EXPECT_EQ(countReports("starts itself"), 1) << name;
    }
    // A chain deeper than the nesting limit is cut with a report, not by the stack.
    testsupport::clearReports();
    EXPECT_TRUE(manager->PrecacheEffect("chain0"));
    EXPECT_EQ(countReports("nests too deep"), 1);
    EXPECT_NE(createMulti("chain0"), nullptr);
}

TEST_F(MultiEffectTest, AnEffectsBlockOfNoneOrThousandsOfEntries)
{
    std::string many = "MULTIEFFECT\n{\ninstancename many\nEffects\n{\n";
    for (int i = 0; i < 3000; ++i) many += "{\nEffect leaf\n}\n";
    many += "{\n}\n}\n}\n";  // one entry names nothing
    define(block("TESTEFFECT", "leaf") + many + multiEffect("none", {}) + block("MULTIEFFECT", "nothing"),
           {"none", "many"});
    EXPECT_FALSE(manager->PrecacheEffect("nothing"));
    EXPECT_EQ(countReports("numEffects>=1"), 1);
    EXPECT_EQ(countReports("names no effect"), 1);
    CEffect* none = create("none");
    CMultiEffect* big = createMulti("many");
    EXPECT_EQ(big->GetNumLive(), 3001u);
    manager->Update();
    EXPECT_FALSE(manager->IsLive(none));
    manager->DestroyEffect(big);
    EXPECT_EQ(manager->GetNumEffects(), 0u);
}

}  // namespace
