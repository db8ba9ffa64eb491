// Tree clumps over the sample clump models on the reference device (ClumpWorld.h): a file of falling
// trees (two clumps, six states, flammable), breakables and a ghost, loaded through the game tree
// into the misc-object and collision managers, hit by probe spheres and weapon rays on the game clock.
#include "ClumpWorld.h"
#include "TestSupport.h"
#include "gameobjects/CollisionHierarchy.h"
#include "gameobjects/CollisionObjectResourceManager.h"
#include "gameobjects/GameObjectManager.h"
#include "gameobjects/GameTree.h"
#include "gameobjects/InertObject.h"
#include "gameobjects/SampleObjectParts.h"
#include "gameobjects/SampleObjectResourceManager.h"
#include "gameobjects/TreeClump.h"
#include "kestrune/ClumpManager.h"
#include "l3render/ModelClump.h"
#include "utility/ParamBlock.h"
#include "weapons/WeaponDescription.h"
#include "weapons/WeaponElementInstance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

namespace cw = clumpwriter;
using testsupport::countReports;

std::vector<std::string> fireLog;
std::string aim(const Vector3& a, const Vector3& b)
{
    char text[96];
    std::snprintf(text, sizeof text, "fire %g %g %g -> %g %g %g", a.x, a.y, a.z, b.x, b.y, b.z);
    return text;
}
struct FireWeapon : WeaponDescription {
    void FireAtObject(const Vector3& from, const Vector3& to) override { fireLog.push_back(aim(from, to)); }
    void Update(int ms) override { fireLog.push_back("update " + std::to_string(ms)); }
};

// Something that touches clumps: a sphere of a type.
struct Probe : CInertObject {
    Probe(uint32_t type, const Vector3& centre, float radius) : CInertObject(type, "Probe"), at(centre)
    {
        sphere.pCentre = &at, sphere.radius = radius, pCollisionObject = &sphere;
    }
    Vector3 at;
    CCollisionSphere sphere;
};

// A fired element 40 long along +x.
struct Shot {
    Shot(const Vector3& from, float damage, float fire = 0.0f) : start(from), direction(1, 0, 0)
    {
        ray.pStart = &start, ray.pDirection = &direction, ray.length = 40.0f, weapon.pCollisionObject = &ray;
        weapon.setDamage(damage), weapon.setFireRecord({fire});
    }
    Vector3 start, direction;
    CCollisionFiniteRay ray;
    WeaponElementInstance weapon;
};

cw::Element at(float x, float y) { return democlumps::element(x, y, 0xFFFFFF); }

cw::Type type(uint32_t mode, uint32_t flags, uint32_t team, float health, std::vector<std::vector<cw::Element>> clumps)
{
    cw::Type t;
    t.Index = mode, t.ObjectType = mode, t.Flags = flags, t.Team = team, t.Health = health, t.FireWeapon = "fire.txt";
    t.States = {{1}, {1}, {1}, {2}, {2}, {2}};
    for (auto& elements : clumps) t.Clumps.push_back({elements});
    return t;
}

class TreeClumpTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new testsupport::TempDir;
        cwd = new testsupport::ScopedCwd(dir->path());
        ASSERT_TRUE(clumpworld::bringUp());
    }
    static void TearDownTestSuite() { delete cwd, delete dir; }

    void SetUp() override
    {
        SetCreateWeaponHook([](const char*, int, int) -> WeaponDescription* { return new FireWeapon; });
        objects = std::make_unique<CGameObjectManager>();
        objects->registerResourceManager(new CSampleObjectResourceManager);
        objects->registerResourceManager(new CCollisionObjectResourceManager);
        objects->initialiseResourceManagers();
        STreeSettings& t = getProjData().getWorldMgr()->getTreeSettings();
        t = STreeSettings();
        t.normalstate = 0, t.shotoncestate = 1, t.shottwicestate = 2, t.trunkstate = 3, t.burntstate = 4;
        t.burnttrunkstate = 5, t.collisionsizefudge = 0.5f;
        getProjData().getWorldMgr()->d_treeDamage = 1, getProjData().GameTime = 1000;
        cw::File f = democlumps::demo();
        f.Types = {type(0, 2 | 16, 9, 0, {{at(400, 420), at(400, 470), at(400, 530)}, {at(200, 200)}}),
                   type(1, 0, 3, 50, {{at(300, 440), at(300, 560)}}), type(2, 0, 1, 10, {{at(600, 600)}})};
        clumpworld::writeFile("data/clumps/test.clump", cw::file(f));
        testsupport::clearReports();
        ASSERT_TRUE(CGameTree::loadTreeClumps("data\\clumps\\test.clump", false));
        objects->update();  // the new objects join their lists
        fireLog.clear();
    }

    void TearDown() override
    {
        objects->releaseAllObjects();
        objects.reset();
        CGameTree::unload();
        SetCreateWeaponHook(nullptr);
    }

    CTreeClump& clump(const char* name)
    {
        resourceHandle handle = 0;
        CResource* pResource = nullptr;
        EXPECT_TRUE(objects->findHandleByName(name, &handle)) << name;
        EXPECT_TRUE(objects->acquireResource(handle, &pResource)) << name;
        return *static_cast<CTreeClump*>(pResource);
    }
    static int state(CTreeClump& c, uint32_t id) { return c.getClump()->GetElementState(id); }
    static Vector3 axis(CTreeClump& c, uint32_t id)
    {
        const float* r = c.getClump()->d_pClump->GetElement(id)->pModelInst->m_transform.Rotation;
        return Vector3(r[6], r[7], r[8]);
    }
    static inline testsupport::TempDir* dir = nullptr;
    static inline testsupport::ScopedCwd* cwd = nullptr;
    std::unique_ptr<CGameObjectManager> objects;
};

}  // namespace

TEST(CollisionHierarchyTest, FindsWhatTestingEverySphereFindsAndSwitchesSpheresOff)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> coord(-100.0f, 100.0f);
    std::vector<Vector3> centres(300);
    std::vector<CCollisionSphere> spheres(centres.size());
    std::vector<CCollisionSphere*> pointers;
    std::vector<uint32_t> ids;
    for (uint32_t i = 0; i < centres.size(); ++i) {
        centres[i].set(coord(random), coord(random), coord(random) * 0.1f);
        spheres[i].pCentre = &centres[i], spheres[i].radius = 3.0f + (i % 5);
        pointers.push_back(&spheres[i]), ids.push_back(i / 2);  // two spheres an id
    }
    std::unique_ptr<CCollisionHierarchy> h(CCollisionHierarchy::build(pointers.data(), ids.data(), 300));
    ASSERT_TRUE(h);
    for (int trial = 0; trial < 200; ++trial) {
        Vector3 start(coord(random), coord(random), 0), direction(coord(random), coord(random), 0), point, normal;
        direction = direction / std::sqrt(direction.lengthSquared());
        CCollisionFiniteRay ray;
        ray.pStart = &start, ray.pDirection = &direction, ray.length = 80.0f;
        if (trial == 100) h->setEnabledById(ids[0], false);
        std::multiset<uint32_t> want, got;
        for (uint32_t i = 0; i < 300; ++i)
            if ((trial < 100 || ids[i] != ids[0]) && ray.test(&spheres[i], &point, &normal, 0)) want.insert(ids[i]);
        // From either side.
        const bool hit = trial % 2 ? h->test(&ray, &point, &normal, 0) : ray.test(h.get(), &point, &normal, 0);
        EXPECT_EQ(hit, !want.empty());
        uint32_t id = 0;
        for (h->beginHits(); h->nextHit(&id) >= 0;) got.insert(id);
        EXPECT_EQ(got, want);
    }
    const bool wasOff = !h->isEnabledById(ids[0]);
    h->enableAll();
    EXPECT_EQ(std::make_pair(true, true), std::make_pair(wasOff, h->isEnabledById(ids[0])));
    testsupport::clearReports();
    std::vector<CCollisionSphere*> many(CCollisionHierarchy::MAX_OBJ, pointers[0]);
    EXPECT_EQ(CCollisionHierarchy::build(many.data(), ids.data(), CCollisionHierarchy::MAX_OBJ), nullptr);
    EXPECT_EQ(countReports("numObj<MAX_OBJ"), 1);
}

TEST_F(TreeClumpTest, LoadNamesEveryClumpAndSetsUpEachCollisionMode)
{
    EXPECT_EQ(CGameTree::getTreeClumps().size(), 4u);
    EXPECT_EQ(countReports("Invalid team for clump"), 2);  // both clumps of the first type
    CTreeClump &trees = clump("Clump_000_001"), &breakable = clump("Clump_001_000"), &ghost = clump("Clump_002_000");
    const std::vector<float> base = {trees.mass, trees.energyToDamage, trees.energyToDamageStationary, trees.damageThreshold,
                                     float(trees.passThru), trees.maxVelocity, float(trees.getTeam()),
                                     float(trees.getElement(0)->health), float(breakable.getTeam()),
                                     float(breakable.getElement(1)->health)};
    EXPECT_EQ(base, (std::vector<float>{500, 0.3f, 0.3f, 0, 1, 0, 2, 200, 3, 50}));
    EXPECT_EQ(breakable.getTreeElement(0), nullptr);
    Vector3 centre;
    EXPECT_EQ(std::make_tuple(0, 0u, uint32_t(CCollisionObjectResourceManager::COLLISION_POINT)),
              std::make_tuple(int(ghost.d_treeEligible), uint32_t(ghost.getNumElements()), uint32_t(ghost.pCollisionObject->getCollisionType())));
    EXPECT_TRUE(ghost.pCollisionObject->getCentre(&centre));
    EXPECT_EQ(ghost.getClump()->d_pClump->GetCentre().x, centre.x);

    // Spheres are half the tree mesh's radius: a probe 0.5 outside misses, 0.5 inside knocks it over.
    CTreeClump& first = clump("Clump_000_000");
    const float reach = 0.5f * std::sqrt(8.0f * 8 + 8 * 8 + 40 * 40) + 1.0f;
    for (float gap : {0.5f, -0.5f}) {
        Probe probe(0x02000003, first.getElement(1)->centre + Vector3(reach + gap, 0, 0), 1.0f);
        first.interact(&probe);
        EXPECT_EQ(first.getTreeElement(1)->fallen, gap < 0);
    }
    // Drawn, a clump tints its materials grey, or by the light effects' colour where its type says.
    CGameTree::s_pLightColourAt = [](const Vector3&) { return 0x112233u; };
    for (auto [name, want] : {std::pair{"Clump_000_000", 0x112233u}, {"Clump_001_000", 0x808080u}}) {
        clump(name).render();
        EXPECT_EQ(D3DCore.StateBlocks.GetSB(clumpworld::materialBlock())->GMaterial->TextureFactor & 0xFFFFFF, want);
    }
    CGameTree::s_pLightColourAt = nullptr;
    testsupport::clearReports();
    EXPECT_FALSE(CGameTree::loadTreeClumps("", false));
    EXPECT_FALSE(CGameTree::loadTreeClumps("data\\clumps\\none.clump", true));
    EXPECT_EQ(countReports("Clump file data\\clumps\\none.clump: Clump file not found"), 1);
    EXPECT_EQ(testsupport::reports().size(), 1u);
}

TEST_F(TreeClumpTest, VehiclesKnockTreesOverOnTheClockAndBreakBreakables)
{
    CTreeClump& trees = clump("Clump_000_000");
    Probe deer(0x02000001, trees.getElement(0)->centre - Vector3(25, 0, 0), 10.0f);
    Probe tank(0x02000003, deer.at, 10.0f);
    trees.interact(&deer);  // animals are ignored
    const bool deerFelled = trees.getTreeElement(0)->fallen;
    trees.interact(&tank);
    EXPECT_EQ((std::vector<bool>{deerFelled, trees.getTreeElement(0)->fallen != 0, trees.getTreeElement(1)->fallen != 0,
                                 trees.isCollidable(0), trees.isCollidable(1)}),
              (std::vector<bool>{false, true, false, false, true}));
    // Pushed from the west it falls east along the slope: half over after half a second.
    Vector3 n;
    sampleparts::groundHeight(400, 420, &n);
    auto unit = [](const Vector3& v) { return v / std::sqrt(v.lengthSquared()); };
    const Vector3 ground = unit(Vector3(1, 0, 0) - n * n.x), halfway = unit(ground + Vector3(0, 0, 1));
    for (auto [ms, want, actions] : {std::tuple{1500, halfway, 1u}, {2000, ground, 1u}, {2001, ground, 0u}}) {
        getProjData().GameTime = ms;
        trees.stepActions();
        EXPECT_NEAR((axis(trees, 0) - want).lengthSquared(), 0.0f, 1e-6f) << ms;
        EXPECT_EQ(trees.getNumActions(), actions);
    }
    // Breakables break to their trunk; under the player's vehicle an element keeps its sphere for a
    // second, under anything else it loses it at once.
    CTreeClump& rocks = clump("Clump_001_000");
    Probe vehicle(CGameObject::TYPE_PLAYER_VEHICLE, rocks.getElement(0)->centre, 5.0f);
    Probe other(0x02000003, rocks.getElement(1)->centre, 5.0f);
    rocks.interact(&vehicle), rocks.interact(&other);
    EXPECT_EQ((std::vector<int>{state(rocks, 0), state(rocks, 1), rocks.getElement(0)->health}), (std::vector<int>{3, 3, 0}));
    EXPECT_EQ((std::vector<bool>{rocks.isCollidable(0), rocks.isCollidable(1)}), (std::vector<bool>{true, false}));
    getProjData().GameTime = 3002, rocks.stepActions();
    EXPECT_FALSE(rocks.isCollidable(0));
}

TEST_F(TreeClumpTest, ShotsWalkTheLadderBurnWithinTheLimitAndAlwaysEnd)
{
    CTreeClump& trees = clump("Clump_000_000");
    const Vector3 west = trees.getElement(1)->centre - Vector3(30, 0, 0);
    // 50 a shot: 150 and 100 show shot once (the second changes nothing), 50 twice, 0 the trunk.
    std::vector<int> got;
    for (int i = 0; i < 4; ++i) {
        Shot shot(west, 50.0f);
        trees.interact(&shot.weapon);
        got.insert(got.end(), {state(trees, 1), trees.getElement(1)->health});
    }
    EXPECT_EQ(got, (std::vector<int>{1, 150, 1, 100, 2, 50, 3, 0}));
    EXPECT_FALSE(trees.isCollidable(1));
    // Without the damage flag a shot only marks the tree.
    getProjData().getWorldMgr()->d_treeDamage = 0;
    Shot harmless(trees.getElement(0)->centre - Vector3(30, 0, 0), 500.0f);
    trees.interact(&harmless.weapon);
    EXPECT_EQ((std::vector<int>{trees.getElement(0)->health, state(trees, 0)}), (std::vector<int>{200, 1}));
    // A restored state past the target, and a ladder that goes round in a circle, stop the walk.
    getProjData().getWorldMgr()->d_treeDamage = 1;
    CParamBlock block;
    block.addString("Elem0002", "200 0 2");
    trees.restoreState(&block);
    Shot light(trees.getElement(2)->centre - Vector3(30, 0, 0), 10.0f), heavy(light.start, 1000.0f);
    trees.interact(&light.weapon);  // towards 1 from 2: 3 is the end of the ladder
    const int afterBadStep = state(trees, 2);
    getProjData().getWorldMgr()->getTreeSettings().shottwicestate = 0;
    trees.interact(&heavy.weapon);  // towards 3 from 1: 0, 1, 0...
    EXPECT_EQ((std::vector<int>{countReports("Bad clump state change"), afterBadStep, countReports("poocount < 10"),
                                state(trees, 2)}),
              (std::vector<int>{1, 1, 1, 3}));

    // Fire: the first element burns (fire weapon aimed upwards and stepped), the second is over the
    // limit of one and goes straight to burnt.
    CTreeClump& more = clump("Clump_000_001");
    CGameTree::s_burningLimit = 1;
    Shot fire(trees.getElement(0)->centre - Vector3(30, 0, 0), 0.0f, 1.0f);
    Shot fire2(more.getElement(0)->centre - Vector3(30, 0, 0), 0.0f, 1.0f);
    trees.interact(&fire.weapon), more.interact(&fire2.weapon);
    const Vector3 base = trees.getElement(0)->centre - Vector3(0, 0, 40);
    const std::string fired = aim(base, base + Vector3(0.1f, 0.1f, 10.0f)), step = "update 33";
    EXPECT_EQ(fireLog, (std::vector<std::string>{fired, step, step, step, step}));
    EXPECT_EQ((std::vector<int>{state(trees, 0), state(more, 0), CGameTree::s_numBurning, int(more.getNumActions())}),
              (std::vector<int>{4, 4, 1, 0}));
    getProjData().GameTime = 3001, trees.stepActions();
    EXPECT_EQ((std::vector<int>{trees.getElement(0)->health, CGameTree::s_numBurning, trees.isCollidable(0)}),
              (std::vector<int>{1, 0, 1}));
    // A burn that ends after a reset cleared the count reports and does not go below 0.
    trees.reset(), trees.interact(&fire.weapon), more.reset();
    getProjData().GameTime = 6000, trees.stepActions();
    EXPECT_EQ((std::vector<int>{countReports("s_numBurning > 0"), CGameTree::s_numBurning}), (std::vector<int>{1, 0}));
    CGameTree::s_burningLimit = CGameTree::BURNING_LIMIT;
}

TEST_F(TreeClumpTest, ElementStatesRoundTripThroughTheSavedLevelStateAndBadValuesAreRefused)
{
    CTreeClump& trees = clump("Clump_000_000");
    EXPECT_EQ(clump("Clump_001_000").saveState(), nullptr);  // untouched
    Probe tank(0x02000003, trees.getElement(0)->centre - Vector3(25, 0, 0), 10.0f);
    trees.interact(&tank);
    Shot shot(trees.getElement(1)->centre - Vector3(30, 0, 0), 60.0f);
    trees.interact(&shot.weapon);
    std::filesystem::create_directories("data/savedstates"), objects->setDeletionTracking(true);
    ASSERT_TRUE(objects->saveState(3, 1));
    CGameTree::resetAll();
    EXPECT_EQ(trees.saveState(), nullptr);
    EXPECT_NEAR(axis(trees, 0).z, 1.0f, 1e-6f);
    ASSERT_TRUE(objects->loadState(3, 1, true));
    std::unique_ptr<CParamBlock> saved(trees.saveState());
    ASSERT_TRUE(saved);
    char text[3][65] = {};
    for (int i = 0; i < 3; ++i) saved->parseString(("Elem000" + std::to_string(i)).c_str(), text[i]);
    EXPECT_EQ((std::vector<std::string>{text[0], text[1], text[2]}), (std::vector<std::string>{"200 1 0", "140 0 1", ""}));
    Vector3 n;
    sampleparts::groundHeight(400, 420, &n);
    EXPECT_NEAR(axis(trees, 0).dot(n), 0.0f, 1e-5f);  // lying on the ground in some direction
    // Values too long, not three integers, or naming no state of the element change nothing.
    testsupport::clearReports();
    for (std::string bad : {"1 0 1" + std::string(60, ' ') + "x", std::string("abc 0 1"), std::string("1 0 1 4"),
                            std::string("1 0 6"), std::string("1 0 -1"), std::string("99999999999 0 1")}) {
        CParamBlock block;
        block.addString("Elem0002", bad.c_str());
        trees.restoreState(&block);
        EXPECT_EQ((std::vector<int>{trees.getElement(2)->health, state(trees, 2)}), (std::vector<int>{200, 0})) << bad;
    }
    EXPECT_EQ((std::vector<int>{countReports("Clump state string too long"), countReports("Bad clump state string")}),
              (std::vector<int>{1, 5}));
}
