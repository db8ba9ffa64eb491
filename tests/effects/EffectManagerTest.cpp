// The effect manager through the test kind: names, definitions and files cut short, instance limits,
// fades, the sort, the update walk, links and destroying; the five passes read from the device
// recorder around the façade's frame and the cull against its frustum; multi-effects.
#include "BlockBuilder.h"
#include "EffectsFixture.h"
#include "d3dcore9/FVFFormat.h"
#include "effects/EffectName.h"
#include "effects/MultiEffect.h"
#include "utility/Assert.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <random>

namespace pt = platform::testing;

namespace {

class EffectManagerTest : public EffectsFixture {};

TEST(EffectNameTest, NamesCompareWithoutCaseAndAssignmentGrowsToFit)
{
    CEffectName name("Smoke_Big");
    EXPECT_TRUE(name == "smoke_BIG");
    EXPECT_FALSE(name == "smoke_bi");
    CEffectName& same = name;
    name = same;
    CEffectName roomy("a", 40);
    roomy = name;
    EXPECT_STREQ(roomy.GetText(), "Smoke_Big");
    EXPECT_EQ(roomy.GetSize(), 40u);
    CEffectName tight("x");
    tight = CEffectName("a much longer name than before");
    EXPECT_STREQ(tight.GetText(), "a much longer name than before");
    CEffectName small("too long for it", 4);  // reported and grown
    EXPECT_STREQ(small.GetText(), "too long for it");
    EXPECT_EQ(testsupport::countReports("size >= needed"), 1);
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
        {block("MULTIEFFECT", "a"), "a", nullptr},  // no "Effects" block
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        testsupport::clearReports();
        define(c.text, {}, "bad" + std::to_string(&c - cases) + ".txt");
        EXPECT_FALSE(manager->PrecacheEffect(c.name.c_str()));
        EXPECT_EQ(c.report ? countReports(c.report) : 1, 1);
        EXPECT_EQ(manager->GetNumDefinitions(), 0u);
        EXPECT_EQ(create(c.name.c_str()), nullptr);
    }
    // Such blocks are reported when their file is read (the first is the file's report), not at
    // every look-up for another name.
    testsupport::clearReports();
    define(block("TESTEFFECT", longName) + "TESTEFFECT\n{\n}\n" + block("TESTEFFECT", "a") + block("TESTEFFECT", "b"),
           {"a", "b"});
    EXPECT_FALSE(manager->PrecacheEffect("c"));
    EXPECT_EQ(countReports("instancename too long"), 1);
    EXPECT_EQ(countReports(""), 1);
    manager->UnprecacheEffect("a"), manager->UnprecacheEffect("b");

    // A file cut at any line: no block that lost its closing line gives a definition, nothing leaks.
    const std::string text = block("TESTEFFECT", "spark", "MaxInstances 2\nAbortTechnique 1\nEffectRadius 2\n") +
                             multiEffect("combo", {"spark", "trail"}) +
                             block("TESTEFFECT", "trail", "Type 2\nFadeMode 0\nFadeFar 5\n");
    const std::pair<const char*, int> ends[] = {{"spark", 6}, {"combo", 19}, {"trail", 26}};
    ASSERT_EQ(std::count(text.begin(), text.end(), '\n'), 27);
    for (size_t at = 0, lines = 0;; at = text.find('\n', at) + 1, ++lines) {
        manager = std::make_unique<CEffectManager>();
        define(text.substr(0, at));
        for (const auto& [name, end] : ends) EXPECT_EQ(manager->PrecacheEffect(name), int(lines) > end) << name << lines;
        manager->FreeBlocks();
        for (const auto& [name, end] : ends) create(name, Vector3(0, 0, 9));
        manager->Update();
        manager->Render(0.5f);
        if (at == text.size()) break;
    }
    manager.reset();
    EXPECT_EQ(logged("create").size(), logged("delete").size());
}

TEST_F(EffectManagerTest, AFileOfBadDefinitionsIsOneReportNamingItAndTheDefinition)
{
    const std::string bad = "texture t.tga\nrender_type 7\n";
    {
        ReadingFile read("fx.txt");  // as the effect objects read a file, from its blocks to its last name
        define(block("TRAIL", "a", bad) + block("TRAIL", "b", bad) + multiEffect("m", {"a", "absent"}), {}, "fx.txt");
        EXPECT_FALSE(manager->PrecacheEffect("a"));
        EXPECT_FALSE(manager->PrecacheEffect("b"));
        EXPECT_TRUE(manager->PrecacheEffect("m"));
    }
    // The second fault and the starts of names the file refused or lacks follow from its report:
    // they are not checked again.
    const int checks = checksFailed();
    create("m");
    EXPECT_EQ(create("b"), nullptr);
    EXPECT_EQ(checksFailed(), checks);
    const std::vector<testsupport::Report>& said = testsupport::reports();
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0].message, "While reading fx.txt\nEffect definition a: render_type must be 0, 1 or 2");
    // A name a file without a report lacks is said naming that file; one no file sought, alone.
    define(multiEffect("n", {"missing"}), {"n"}, "clean.txt");
    create("n");
    EXPECT_EQ(create("never"), nullptr);
    ASSERT_EQ(said.size(), 3u);
    EXPECT_EQ(said[1].message, "While reading clean.txt\nEffect missing not precached");
    EXPECT_EQ(said[2].message, "Effect never not precached");

    // A report made by the end of a read explains the names refused in that read alone: not those
    // of a quiet file read before, nor those of an earlier quiet read of the same file.
    define(block("TESTEFFECT", "p"), {}, "loud.txt");
    EXPECT_FALSE(manager->PrecacheEffect("gone"));
    define(block("TESTEFFECT", "q"), {}, "quiet.txt");
    EXPECT_FALSE(manager->PrecacheEffect("lost"));
    {
        ReadingFile read("loud.txt");
        define(block("TRAIL", "c", bad), {}, "loud.txt");
        EXPECT_FALSE(manager->PrecacheEffect("late"));
        EXPECT_FALSE(manager->PrecacheEffect("c"));
        manager->FreeBlocks();
    }
    for (const char* name : {"late", "gone", "lost"}) EXPECT_EQ(create(name), nullptr);
    ASSERT_EQ(said.size(), 6u);
    EXPECT_EQ(said[3].message, "While reading loud.txt\nEffect definition c: render_type must be 0, 1 or 2");
    EXPECT_EQ(said[4].message, "While reading loud.txt\nEffect gone not precached");
    EXPECT_EQ(said[5].message, "While reading quiet.txt\nEffect lost not precached");
}

TEST_F(EffectManagerTest, InstanceLimitsApplyTheirAbortTechnique)
{
    define(block("TESTEFFECT", "refuse", "MaxInstances 2\nAbortTechnique 2\n") +
               block("TESTEFFECT", "fade", "MaxInstances 1\nAbortTechnique 0\nKillFadeSpeed 1000\n") +
               block("TESTEFFECT", "destroy", "MaxInstances 2\nAbortTechnique 1\n") +
               block("TESTEFFECT", "unset", "MaxInstances 1\n") +
               block("TESTEFFECT", "bad", "MaxInstances 1\nAbortTechnique 5\n"),
           {"refuse", "fade", "destroy", "unset", "bad"});
    CEffect* r1 = create("refuse");
    EXPECT_NE(create("refuse"), nullptr);
    EXPECT_EQ(create("refuse"), nullptr);
    manager->DestroyEffect(r1);
    EXPECT_NE(create("refuse"), nullptr);
    for (const char* name : {"unset", "bad"}) {  // no technique given, or one out of range: refuse
        create(name);
        EXPECT_EQ(create(name), nullptr) << name;
    }
    EXPECT_EQ(countReports("technique >= 0"), 1);
    EXPECT_EQ(countReports("Effect definition bad: AbortTechnique out of range"), 1);

    // Each create fades out the one not yet dying; once all are dying the limit is passed.
    setTime(500);
    CEffect *f1 = create("fade"), *f2 = create("fade"), *f3 = create("fade");
    EXPECT_EQ(std::vector<uint32_t>({f1->GetKillStartTime(), f2->GetKillStartTime(), f3->GetKillStartTime()}),
              std::vector<uint32_t>({500, 500, 0}));
    EXPECT_EQ(std::make_pair(true, true), std::make_pair(manager->IsLive(f1), manager->IsLive(f3)));

    // Destroy: the farthest at the last sort goes. Until the next sort a new entry keeps the key
    // its slot last held (a far one here), so it is the next to go.
    SetEffectSortCamera([](Vector3* p) { return p->set(100, 0, 0), true; });
    create("destroy", Vector3(90, 0, 0), "near");
    create("destroy", Vector3(0, 0, 0), "farthest");
    manager->Render(0.0f);
    effectLog().clear();
    create("destroy", Vector3(95, 0, 0), "third");
    EXPECT_EQ(effectLog(), (std::vector<std::string>{"end destroy farthest", "delete destroy", "create destroy"}));
    effectLog().clear();
    create("destroy", Vector3(96, 0, 0), "fourth");
    EXPECT_EQ(logged("end"), (std::vector<std::string>{"end destroy third"}));
}

TEST_F(EffectManagerTest, DistanceFadeFollowsTheFadeMode)
{
    const char* names[5] = {"kill", "hide", "zero", "none", "unbounded"};
    const char* modes[5] = {"FadeMode 0\n", "FadeMode 1\n", "FadeMode 2\n", "", "FadeMode 2\nNoBounds 1\n"};
    CEffect* e[5];
    for (int i = 0; i < 5; ++i) {
        define(block("TESTEFFECT", names[i], modes[i] + std::string("FadeNear 10\nFadeFar 20\nEffectRadius 2\n")), {names[i]});
        e[i] = create(names[i]);
    }
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
    EXPECT_EQ(std::make_pair(false, true), std::make_pair(manager->IsLive(e[0]), e[1]->IsHidden()));
    EXPECT_THAT(fades(1), testing::Pointwise(testing::FloatNear(1e-5f), {0.5f, 0.0f, 1.0f, 1.0f}));
    // Hidden, it is shown again when near.
    SetEffectCameraPosition(Vector3(5, 0, 0));
    manager->Update();
    EXPECT_FALSE(e[1]->IsHidden());
}

TEST_F(EffectManagerTest, KillFadesRunOnTheGameClock)
{
    define(block("TESTEFFECT", "slow", "MaxInstances 9\nKillFadeSpeed 1000\n") +
               block("TESTEFFECT", "instant", "MaxInstances 9\nKillFadeSpeed 0\n"),
           {"slow", "instant"});
    CEffect *slow = create("slow"), *early = create("slow"), *instant = create("instant");
    setTime(0);
    early->StartKillFade();  // at time 0, which would mean no fade
    EXPECT_EQ(early->GetKillStartTime(), 1u);
    setTime(1000);
    slow->StartKillFade(), instant->StartKillFade();
    setTime(1500);
    manager->Update();
    EXPECT_EQ(slow->GetFade(), 0.5f);
    EXPECT_EQ(std::make_pair(false, false), std::make_pair(manager->IsLive(instant), manager->IsLive(early)));  // no division by a zero length
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
    SetEffectSortCamera([](Vector3* p) { return p->set(0, 0, 1000), true; });
    std::mt19937 random(5);
    std::map<const CEffect*, float> distance;
    for (int i = 0; i < 137; ++i) {
        const float z = static_cast<float>(random() % 40);  // with ties
        distance[create("e", Vector3(0, 0, 1000 - z))] = z;
    }
    manager->Render(0.25f);
    ASSERT_EQ(renderedEffects().size(), 137u);
    for (int i = 1; i < 137; ++i) EXPECT_LE(distance[renderedEffects()[i - 1]], distance[renderedEffects()[i]]);
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
    CEffect *leader = create("e"), *follower = create("e");
    Vector3 points[2];
    leader->LinkEffect(follower);
    leader->PassFollowedPointsOn(2, points);
    EXPECT_EQ(follower->GetLeader(), leader);
    EXPECT_EQ(follower->GetFollowedPoints(), points);
    manager->DestroyEffect(leader);
    EXPECT_EQ(nullptr, follower->GetLeader());
    EXPECT_EQ(std::make_pair(static_cast<Vector3*>(nullptr), 0u), std::make_pair(follower->GetFollowedPoints(), follower->GetFollowedPointCount()));
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

TEST_F(EffectManagerTest, EveryManagerLoadsTheSphereFileItselfAndSaysWhenItIsMissing)
{
    // Cull spheres are off, and the sphere is there all the same.
    ASSERT_EQ(getProjData().ShowCullSpheres, 0);
    EXPECT_NE(manager->GetSphereModel(), nullptr);
    // The lowest render quality would take a lower-detail variant beside it: a damaged one is not opened.
    ASSERT_EQ(L3Scene.renderQuality, 0);
    m_dir.write("data/sphere_low.rsm", "damaged");
    manager.reset();
    testsupport::clearReports();
    manager = std::make_unique<CEffectManager>();
    EXPECT_NE(manager->GetSphereModel(), nullptr);
    EXPECT_TRUE(testsupport::reports().empty());
    // Without the file the manager is made all the same, and says which file it lacks.
    std::filesystem::remove(m_dir.file("data/sphere.rsm"));
    manager.reset();
    manager = std::make_unique<CEffectManager>();
    EXPECT_TRUE(!manager->GetSphereModel() && !manager->GetSphereInstance());
    EXPECT_EQ(testsupport::reports().size(), 1u);
    EXPECT_EQ(countReports("data\\sphere.rsm"), 1);
}

class EffectPassesTest : public EffectsFixture {
protected:
    // The passes drawn (the test kind's texture-factor marks) and "S" for a sorted draw, in order.
    static std::string recorded()
    {
        std::string out;
        for (const auto& c : pt::d3d9Trace()) {
            if (c.Method == "SetRenderState" && c.Args[0] == D3DRS_TEXTUREFACTOR && c.Args[1] >= 0xE0 && c.Args[1] <= 0xE4)
                out += static_cast<char>('0' + (c.Args[1] - 0xE0));
            if (c.Method == "DrawIndexedPrimitive") out += 'S';
            if (c.Method == "BeginScene") out += '[';
            if (c.Method == "EndScene") out += ']';
        }
        return out;
    }

    // A triangle of a material drawn in the delayed sorted pass.
    static DisplayHandle* sortedTriangle()
    {
        StateBlock* SB = makeBlock(newMaterial("sorted", {1}));
        AnalyseFVF(SB->GMaterial->FVFFormat);
        SB->GMaterial->DelayedSort = SORT_MATERIAL;
        MultiBlock m;
        m.Blocks = 1, m.StateBlock[0] = handleOf(SB), m.MainFVF = SB->GMaterial->FVFFormat;
        DisplayHandle* h = D3DCore.CreateDisplayHandle();
        AddTrisConfig config;
        config.Vertices = config.Indices = 3;
        void *vertices = nullptr, *indices = nullptr;
        D3DCore.AddTris(h, &m, &config, &vertices, &indices, nullptr);
        const float v[3][4] = {{0, 0, 10, 0}, {1, 0, 10, 0}, {0, 1, 10, 0}};  // XYZ | DIFFUSE
        const WORD i[3] = {0, 1, 2};
        std::memcpy(vertices, v, sizeof(v)), std::memcpy(indices, i, sizeof(i));
        D3DCore.EndAddTris();
        return h;
    }
};

TEST_F(EffectPassesTest, PassZeroInTheSceneThreeAndFourBeforeTheSortedDrawsOneAndTwoAfter)
{
    define(block("TESTEFFECT", "e"), {"e"});
    CEffect* e = create("e");
    L3SetViewFromAngles(Vector3(), 0, 0, 0);
    DisplayHandle* h = sortedTriangle();

    // Before the first sort the end-of-scene passes draw nothing.
    pt::setD3D9Trace(true);
    L3BeginScene(true);
    L3EndScene();
    EXPECT_EQ(recorded(), "[]");

    pt::clearD3D9Calls();
    L3BeginScene(true);
    manager->Render(0.75f);
    D3DCore.DrawDisplayList(h, 0);
    L3EndScene();
    // A further scene of the frame, seen from another camera, does not draw the effects again.
    L3BeginScene(false);
    L3EndScene();
    EXPECT_EQ(recorded(), "[034S12][]");
    D3DCore.DeleteDisplayHandle(h);

    // Faded out or hidden: not drawn.
    e->SetFade(0.0f), manager->RenderPass(1);
    e->SetFade(1.0f), e->SetHidden(true), manager->RenderPass(1);
    EXPECT_EQ(logged("render").size(), 5u);
}

TEST_F(EffectPassesTest, OffScreenEffectsAreCulledOrSkippedByTheirDefinition)
{
    // In view: ahead of the camera, which looks along +x.
    L3SetViewFromAngles(Vector3(), 0, 0, 0);
    L3SetPerspective(1, 1000, 2, 2);
    define(block("TESTEFFECT", "kill", "KillIfOffScreen 1\nEffectRadius 1\n") +
               block("TESTEFFECT", "skip", "RenderIfOnScreenOnly 1\nEffectRadius 1\n") +
               block("TESTEFFECT", "free", "KillIfOffScreen 1\nRenderIfOnScreenOnly 1\nNoBounds 1\n"),
           {"kill", "skip", "free"});
    // Nearest first: a (off), b (off), then the others, c (on) last. a's removal moves c into its
    // slot, which is looked at again; once c is seen, b is no longer culled.
    CEffect *a = create("kill", Vector3(-10, 0, 0)), *b = create("kill", Vector3(-20, 0, 0));
    CEffect *hidden = create("skip", Vector3(-30, 0, 0)), *shown = create("skip", Vector3(40, 0, 0));
    CEffect *unbounded = create("free", Vector3(-50, 0, 0)), *c = create("kill", Vector3(60, 0, 0));
    manager->Render(0.0f);
    EXPECT_EQ(std::make_pair(false, true), std::make_pair(manager->IsLive(a), manager->IsLive(hidden)));
    EXPECT_EQ(renderedEffects(), (std::vector<const CEffect*>{c, b, shown, unbounded}));
    // Only the one skipped while off screen is left out now.
    renderedEffects().clear();
    manager->Render(0.0f);
    EXPECT_EQ(renderedEffects().size(), 4u);
}

class MultiEffectTest : public EffectsFixture {
protected:
    CMultiEffect* createMulti(const char* name) { return dynamic_cast<CMultiEffect*>(create(name)); }
};

TEST_F(MultiEffectTest, LivesWhileAStartedPartLivesAndEndsPartsFirst)
{
    std::string many = "MULTIEFFECT\n{\ninstancename many\nEffects\n{\n";
    for (int i = 0; i < 3000; ++i) many += "{\nEffect lasting\n}\n";
    many += "{\n}\n}\n}\n";  // one entry names nothing
    define(block("TESTEFFECT", "brief", "Lifetime 1\n") + block("TESTEFFECT", "lasting") +
               multiEffect("gap", {"brief", "absent", "lasting"}) + multiEffect("pair", {"brief", "brief"}) +
               multiEffect("outer", {"lasting", "inner"}) + multiEffect("inner", {"lasting"}),
           {"gap", "pair", "outer"});
    // The faulty ones in a file of their own, whose first fault is its one report.
    define(many + multiEffect("none", {}), {"many", "none"}, "faulty.txt");
    EXPECT_EQ(countReports("names no effect"), 1);
    EXPECT_EQ(createMulti("many")->GetNumLive(), 3001u);  // the empty entry counts as a refused one
    CMultiEffect* none = createMulti("none");
    CMultiEffect* gap = createMulti("gap");
    EXPECT_EQ(countReports("Effect absent not precached"), 1);
    EXPECT_EQ(gap->GetSubEffect(1), nullptr);
    EXPECT_EQ(gap->GetSubEffect(0)->GetLeader(), gap);
    // Both parts of the pair end in one update; its own step comes after theirs and ends it.
    CMultiEffect* pair = createMulti("pair");
    manager->Update();
    EXPECT_EQ(std::make_pair(false, false), std::make_pair(manager->IsLive(pair), manager->IsLive(none)));

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
    Vector3 points[3];
    Matrix3 turned;
    turned.setRotationZ(1.0f);
    combo->SetPosition(Vector3(1, 2, 3));
    combo->SetOrientation(turned);
    combo->SetFollowedPoints(3, points);
    CMultiEffect* inner = dynamic_cast<CMultiEffect*>(combo->GetSubEffect(3));
    for (CEffect* part : {combo->GetSubEffect(0), combo->GetSubEffect(1), inner->GetSubEffect(0)})
        EXPECT_EQ(std::make_tuple(3.0f, turned.m[0][1], 3u),
                  std::make_tuple(part->GetPosition().z, part->GetOrientation().m[0][1], part->GetFollowedPointCount()));

    effectLog().clear();
    combo->PauseEmitter();
    EXPECT_TRUE(inner->IsEmitterPaused());
    combo->Trigger();
    combo->UnpauseEmitter();
    EXPECT_EQ(effectLog(), (std::vector<std::string>{"pause sparks", "pause sparks", "trigger sparks",
                                                     "trigger sparks", "unpause sparks", "unpause sparks"}));
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

}  // namespace
