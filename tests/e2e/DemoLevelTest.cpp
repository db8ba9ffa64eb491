// The objects demo played in-process, headless: a copy of the sample data's demo level with targets
// and a script switch added, on the scripted card, the manual clock and the DirectSound stand-in.
#include "FacadeFixture.h"
#include "TestSupport.h"
#include "WiredKinds.h"
#include "ai/WorldMgr.h"
#include "audio/AudioManager.h"
#include "effects/Effect.h"
#include "gameobjects/GameEffect.h"
#include "gameobjects/GameObjectManager.h"
#include "gameobjects/GameTree.h"
#include "gameobjects/ParticleSystemEffect.h"
#include "gameobjects/SampleObjects.h"
#include "global/ProjData.h"
#include "kestrune/GameFlow.h"
#include "kestrune/ClumpManager.h"
#include "kestrune/GameLogic.h"
#include "platform/testing/dsound.h"
#include "utility/LList.h"
#include "utility/ParamBlock.h"
#include "weapons/WeaponDescription.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace {

namespace fs = std::filesystem;
namespace ds = platform::testing::dsound;

const char* const SCRIPT = "data\\levels\\demo\\m01.txt";
const char* const TESTERS[] = {"drop1", "drop2", "drop3", "log1", "meet1", "meet2"};
// Targets stand across a boundary of the land tree's second level, where a laser from above meets
// them; the switch sends the fountain its off and on events.
const char* const ADDED = "SampleObjectTarget\n{\ninstancename target1\nposition 6144, 5000, 0\nscale 2\n}\n"
                          "SampleObjectTarget\n{\ninstancename target2\nposition 6144, 5600, 0\n}\n"
                          "TestActive\n{\ninstancename switch1\nOutput\n{\nid 3\nnum_array_items 1\n"
                          "Output0 fountain1\n}\nOutput\n{\nid 2\nnum_array_items 1\nOutput0 fountain1\n}\n}\n";

class DemoLevel : public FacadeFixture {
protected:
    void SetUp() override
    {
        FacadeFixture::SetUp();
        testsupport::copyDataFolder(VELDRANE_DATA, m_dir.file("data"));
        fs::create_directories(m_dir.file("models"));
        fs::copy(m_dir.file("data/sphere.rsm"), m_dir.file("models/sphere.rsm"));
        fs::copy(m_dir.file("data/fallbackmaterials"), m_dir.file("models/fallbackmaterials"));  // its material
        m_dir.write("data/levels/demo/m01.txt", m_dir.read("data/levels/demo/m01.txt") + ADDED);
        ASSERT_TRUE(startFacade());
        ds::useManualClock();
        registerProjDataServices();
        createProjData();
        CProjData& data = getProjData();
        snprintf(data.CurrentLevelPath, sizeof data.CurrentLevelPath, "%s", "data\\levels\\demo\\");
        data.FrameStep = 30;
        ASSERT_TRUE(data.createAudioManager());
        data.startSession();
        logic = data.getGameLogic();
    }
    void TearDown() override
    {
        getProjData().shutdownPreD3D();
        getProjData().destroyAudioManager();
        destroyProjData();
        CEvents::initialise(CEvents::DEFAULT_MAX_HANDLERS);
        CEvents::freeAll();
        FacadeFixture::TearDown();
    }
    void load(int mission, const char* script = SCRIPT)
    {
        logic->addLevelManager(new testkinds::WiredManager(CResourceManager::MANAGER_SCRIPTOBJECTS, log));
        logic->setMission(1, mission, true, true);
        ASSERT_TRUE(logic->loadLevel(script));
    }
    template <class K>
    K* named(const char* name)
    {
        resourceHandle handle = 0;
        CResource* pResource = nullptr;
        CGameObjectManager* pObjects = logic->getObjectManager();
        return pObjects->findHandleByName(name, &handle) && pObjects->acquireResource(handle, &pResource)
                   ? static_cast<K*>(pResource)
                   : nullptr;
    }
    // One game step, noting whether the fountain's gush was heard; then the bounce sample at every
    // tester whose fall turned into a rise.
    void step()
    {
        getProjData().GameTime += 30;
        const int playsBefore = ds::calls("Play");
        logic->fixedStep();
        ++steps;
        if (ds::calls("Play") > playsBefore) gushes.push_back(steps);
        for (const char* name : TESTERS) {
            CCollisionTest* pTester = named<CCollisionTest>(name);
            Vector3 at;
            pTester->GetCurrentPosition(&at);
            lowest[name] = std::min(lowest.count(name) ? lowest[name] : at.z, at.z);
            const float vz = pTester->getVelocity().z;
            if (fallSpeed[name] > 0 && vz <= 0) apexes[name].push_back(at.z);
            if (fallSpeed[name] < 0 && vz > 0) {
                audio().Play(sample, 0, 0, 1.0f, 1.0f, at.x, at.y, at.z, -1.0f, 0.0f, -1, 0, 0);
                audio().Update();
                bounces.push_back(at);
                ds::BufferState voice = ds::buffers().back();
                EXPECT_EQ((ds::Vector{at.x, -at.y, at.z}), voice.applied.position) << name;
            }
            fallSpeed[name] = vz;
        }
        ds::advance(30);
        audio().Update();
    }
    CAudioManager& audio() { return *getProjData().getAudioManager(); }
    // Makes the object of the block; the one of that name, or null.
    template <class K = CGameEffect>
    K* make(const std::string& text, const char* name)
    {
        CParamBlock* pBlock = nullptr;
        const char* cursor = text.c_str();
        if (!parseBlock(cursor, &pBlock, 0, 64)) return nullptr;
        logic->getObjectManager()->createObjectByName(pBlock->getName(), pBlock, 0);
        delete pBlock;
        return named<K>(name);
    }
    // A placed fountain of that name, one text of its keys replaced.
    static std::string effect(const char* name, const std::string& from = "", const std::string& to = "")
    {
        std::string keys = "Input_OnOn 1\nInput_OnOff 1\nRestartable 0\nposition 10, 20, 30\norientation 0, 0, 90\n"
                           "Position_Parent SYS_NONE\nname fountain\n";
        if (!from.empty()) keys.replace(keys.find(from), from.size(), to);
        return std::string("Effect\n{\ninstancename ") + name + "\n" + keys + "}\n";
    }
    void stepAt(int time)
    {
        getProjData().GameTime = time;
        logic->fixedStep();
    }

    CGameLogic* logic = nullptr;
    testkinds::CallLog log;
    SAudioFile* sample = nullptr;
    std::map<std::string, float> fallSpeed, lowest;
    std::map<std::string, std::vector<float>> apexes;
    std::vector<Vector3> bounces;
    int steps = 0;
    std::vector<int> gushes;  // the steps in which the fountain played its sample
};

TEST_F(DemoLevel, TestersBounceAndMeetTheSwitchPausesTheFountainAndALaserShotTargetStaysGone)
{
    load(1);
    sample = audio().LoadSample3D("data\\sounds\\bounce.wav", 0);
    ASSERT_NE(nullptr, sample);
    CGameEffect* pFountain = named<CGameEffect>("fountain1");
    ASSERT_NE(pFountain, nullptr);
    ASSERT_NE(pFountain->getEffect(), nullptr);
    auto* pSwitch = testkinds::wiredByName(logic->getObjectManager(), "switch1");
    ASSERT_NE(nullptr, pSwitch);
    const int playsBefore = ds::calls("Play");
    std::vector<bool> paused;
    for (int frame = 1; frame <= 240; ++frame) {
        if (frame == 60) pSwitch->getMssgHandler()->sendEvent(CEvents::ON_OFF);
        if (frame == 120) pSwitch->getMssgHandler()->sendEvent(CEvents::ON_ON);
        if (frame == 150) {
            const Vector3 start(6144, 5000, 1000), down(0, 0, -1);
            const void* args[] = {&start, &down};
            ASSERT_TRUE(logic->getObjectManager()->createObjectFromCode(CSampleObjectLaser::TYPE_ID, 0, args));
        }
        step();
        paused.push_back(pFountain->getEffect()->getEffect()->IsEmitterPaused());
    }
    // Paused from the off event to the on event only.
    for (int frame = 1; frame <= 240; ++frame) EXPECT_EQ(frame >= 60 && frame < 120, paused[frame - 1]) << frame;

    // The fountain gushed with its sample every 45 frames, but not while it was paused.
    ASSERT_GE(gushes.size(), 3u);
    for (size_t i = 0; i < gushes.size(); ++i) {
        EXPECT_FALSE(gushes[i] >= 60 && gushes[i] < 120) << gushes[i];
        if (i > 0) { EXPECT_EQ(0, (gushes[i] - gushes[i - 1]) % 45) << gushes[i]; }
    }
    // Every tester bounced, each time less high, and none sank into the ground.
    EXPECT_EQ(static_cast<int>(bounces.size() + gushes.size()), ds::calls("Play") - playsBefore);
    for (const char* name : {"drop1", "drop2", "drop3", "log1"}) {
        const std::vector<float>& apex = apexes[name];
        ASSERT_GE(apex.size(), 2u) << name;
        for (size_t i = 1; i < apex.size(); ++i) EXPECT_LT(apex[i], apex[i - 1]) << name;
        EXPECT_GT(lowest[name], -100.0f) << name;
    }
    // The lower of the two that meet bounces up into the other, which is held up; the one that
    // finds the contact spins.
    EXPECT_LT(std::min(named<CCollisionTest>("meet1")->getSpin().w, named<CCollisionTest>("meet2")->getSpin().w), 1.0f);
    EXPECT_GT(lowest["meet2"], 200.0f);
    // The laser went for the target it points at.
    EXPECT_EQ(nullptr, named<CSampleObjectTarget>("target1"));
    EXPECT_NE(nullptr, named<CSampleObjectTarget>("target2"));

    // Mission complete: the next mission starts from what this one left.
    pSwitch->state = {{"position", "on"}};
    getProjData().getWorldMgr()->setLevelEndFlags(true, false);
    logic->unloadLevel();
    ASSERT_TRUE(m_dir.exists("data/savedstates/c01m2.pst"));
    load(2);
    EXPECT_EQ(nullptr, named<CSampleObjectTarget>("target1"));
    EXPECT_NE(nullptr, named<CSampleObjectTarget>("target2"));
    EXPECT_EQ((std::map<std::string, std::string>{{"position", "on"}}),
              testkinds::wiredByName(logic->getObjectManager(), "switch1")->restored);
    EXPECT_TRUE(testsupport::reports().empty());
}

}  // namespace

namespace {

TEST_F(DemoLevel, APlacedEffectReadsItsKeysInOrderAndAParentNameItCannotHoldIsRefused)
{
    load(1);
    for (const char* missing : {"Input_OnOn 1", "Input_OnOff 1", "Restartable 0", "position 10, 20, 30",
                                "orientation 0, 0, 90", "Position_Parent SYS_NONE", "name fountain"})
        EXPECT_EQ(nullptr, make(effect("fx", missing, ""), "fx")) << missing;
    EXPECT_EQ(nullptr, make(effect("fx", "fountain", "ghost"), "fx"));  // an effect nobody defines

    // Restartable 0 reads no period; a negative period is reported and never restarts.
    CGameEffect* pEffect = make(effect("fx"), "fx");
    ASSERT_NE(pEffect, nullptr);
    ASSERT_NE(pEffect->getEffect(), nullptr);
    EXPECT_EQ(0u, pEffect->getRestartPeriod());
    EXPECT_FALSE(*pEffect->getTreeEligibleFlag());
    const CEffect* pRunning = pEffect->getEffect()->getEffect();
    EXPECT_NEAR(10.0f, pRunning->GetPosition().x, 1e-5f);
    EXPECT_NEAR(1.0f, std::fabs(pRunning->GetOrientation().m[0][1]), 1e-5f);  // turned a quarter about z
    ASSERT_NE(nullptr, make(effect("f2", "Restartable 0", "Restartable 1\nTime_period -5"), "f2"));
    EXPECT_EQ(1, testsupport::countReports("tmp>=0"));

    // A parent name of 32 characters cannot be held: reported, refused; 31 characters are kept.
    for (size_t length : {32u, 31u}) {
        const std::string name = "p" + std::to_string(length);
        const std::string parent(length, 'p');
        EXPECT_EQ(length == 31, make(effect(name.c_str(), "SYS_NONE", parent), name.c_str()) != nullptr);
    }
    EXPECT_EQ(1, testsupport::countReports("strlen( tmpStr ) < NAME_LENGTH"));
    EXPECT_EQ(2u, testsupport::reports().size());
}

TEST_F(DemoLevel, APlacedEffectFollowsItsParentUntilItGoesAndRestartsOnlyAfterMoreThanItsPeriod)
{
    load(1);
    CCollisionTest* pRock = make<CCollisionTest>(
        "CollisionTest\n{\ninstancename rock\nposition 150, 150, 300\ncollision_type 0\n}\n", "rock");
    ASSERT_NE(nullptr, make<CSampleObjectTarget>("SampleObjectTarget\n{\ninstancename post\nposition 50, 60, 0\n}\n",
                                                 "post"));
    std::string onPost = effect("f2", "Restartable 0", "Restartable 1\nTime_period 1000");
    onPost.replace(onPost.find("SYS_NONE"), 8, "post");
    CGameEffect* pOnPost = make(onPost, "f2");
    CGameEffect* pOnRock = make(effect("fx", "SYS_NONE", "rock"), "fx");
    ASSERT_NE(pOnRock, nullptr);
    ASSERT_NE(pOnPost, nullptr);
    stepAt(0);
    stepAt(30);
    // Above the rock, turned as the rock is; above the post (no orientation of its own), as placed.
    Vector3 rock;
    pRock->GetCurrentPosition(&rock);
    const CEffect* pFollowing = pOnRock->getEffect()->getEffect();
    EXPECT_NEAR(rock.z + 100.0f, pFollowing->GetPosition().z, 1e-3f);
    const Matrix3* pTurn = nullptr;
    pRock->getOrientationMatrix(&pTurn);
    EXPECT_EQ(0, memcmp(pTurn, &pFollowing->GetOrientation(), sizeof(Matrix3)));
    const CEffect* pOnPostEffect = pOnPost->getEffect()->getEffect();
    EXPECT_NEAR(100.0f, pOnPostEffect->GetPosition().z, 1e-3f);
    EXPECT_NEAR(1.0f, std::fabs(pOnPostEffect->GetOrientation().m[0][1]), 1e-5f);

    // The rock goes: the next step stops its effect for good (there is no period).
    logic->getObjectManager()->deleteObject(pRock);
    stepAt(60);
    stepAt(90);
    EXPECT_EQ(nullptr, pOnRock->getEffect());
    // The post's effect starts again only when more than its period has passed.
    const resourceHandle first = pOnPost->getEffectHandle();
    stepAt(1000);
    EXPECT_EQ(first, pOnPost->getEffectHandle());
    stepAt(1001);
    EXPECT_NE(first, pOnPost->getEffectHandle());
    EXPECT_NE(nullptr, pOnPost->getEffect());
    EXPECT_EQ(nullptr, pOnRock->getEffect());
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(DemoLevel, TheLevelsEffectsFadeByTheirDistanceFromTheLevelsCameraFromItsFirstStep)
{
    // The fountain fades out over the thousand units from 1000 beyond its reach and dies past 2000:
    // the placed one is some 1100 beyond from the level's camera (and 4400 from the origin); a
    // second, beside the origin, is some 3600 beyond from the camera.
    const std::string definitions = m_dir.read("data/particles/demo.txt");
    const size_t reach = definitions.find("EffectRadius\t400\n");
    ASSERT_NE(reach, std::string::npos);
    m_dir.write("data/particles/demo.txt", definitions.substr(0, reach) + "FadeMode 0\nFadeNear 1000\nFadeFar 2000\n" +
                                               definitions.substr(reach));
    std::string byTheOrigin = effect("fountain2");
    byTheOrigin.replace(byTheOrigin.find("10, 20, 30"), 10, "300, 0, 0");
    m_dir.write("data/levels/demo/m01.txt", m_dir.read("data/levels/demo/m01.txt") + byTheOrigin);
    load(1);
    for (int i = 0; i < 3; ++i) step();
    CGameEffect *pInView = named<CGameEffect>("fountain1"), *pByTheOrigin = named<CGameEffect>("fountain2");
    ASSERT_TRUE(pInView && pByTheOrigin && pInView->getEffect() && pByTheOrigin->getEffect());
    EXPECT_FALSE(pByTheOrigin->getEffect()->isLive());
    ASSERT_TRUE(pInView->getEffect()->isLive());
    const CEffect* pFaded = pInView->getEffect()->getEffect();
    EXPECT_TRUE(pFaded->GetFade() > 0.8f && pFaded->GetFade() < 1.0f && !pFaded->IsHidden()) << pFaded->GetFade();
    EXPECT_TRUE(testsupport::reports().empty());
}

}  // namespace

namespace {

// The level's settings file as shipped, one line changed (or dropped, for an empty replacement).
class LevelSettings : public DemoLevel {
protected:
    void SetUp() override
    {
        DemoLevel::SetUp();
        shipped = m_dir.read(SETTINGS);
    }
    // Loads the level with those settings and plays a few steps: whether it has tree clumps.
    bool loadWith(const std::string& settings)
    {
        m_dir.write(SETTINGS, settings);
        testsupport::clearReports();
        load(1);
        for (int i = 0; i < 5; ++i) step();
        return CGameTree::getClumpManager() && named<CGameObject>("Clump_000_000");
    }
    // The line that starts with the text replaced.
    std::string with(const std::string& start, const std::string& to) const
    {
        std::string text = shipped;
        const size_t at = text.find("\n" + start);
        EXPECT_NE(at, std::string::npos) << start;
        if (at != std::string::npos) text.replace(at + 1, text.find('\n', at + 1) - at, to);
        return text;
    }
    const STreeSettings& trees() { return getProjData().getWorldMgr()->getTreeSettings(); }

    static constexpr const char* SETTINGS = "data/levels/demo/level.ini";
    std::string shipped;
};

TEST_F(LevelSettings, TheFileGivesTheTreesAndAMissingKeyLineOrFileIsQuietlyDoneWithout)
{
    ASSERT_TRUE(loadWith(shipped));
    EXPECT_EQ(std::string("data\\clumps\\grove.clump"), trees().scriptfile);
    EXPECT_EQ(std::make_tuple(0, 1, 2, 1), std::make_tuple(trees().normalstate, trees().trunkstate, trees().burntstate,
                                                           trees().burnttrunkstate));
    EXPECT_FLOAT_EQ(0.6f, trees().collisionsizefudge);
    EXPECT_FLOAT_EQ(0.37f, trees().ripplecosfactor);
    // Both types and the grove's two tree clumps; the trees' fire weapon made from its file.
    EXPECT_NE(nullptr, named<CGameObject>("Clump_000_001"));
    EXPECT_NE(nullptr, named<CGameObject>("Clump_001_000"));
    EXPECT_NE(nullptr, CGameTree::getClumpManager()->GetClumpType(0)->pFireWeapon);
    EXPECT_TRUE(testsupport::reports().empty());

    // Each key left out takes its default, silently; without the clump file's name there are no trees.
    const STreeSettings defaults;
    for (size_t at = shipped.find('\n') + 1; at < shipped.size(); at = shipped.find('\n', at) + 1) {
        const std::string key = shipped.substr(at, shipped.find(' ', at) - at);
        EXPECT_EQ(key != "scriptfile", loadWith(with(key + " =", ""))) << key;
        EXPECT_TRUE(testsupport::reports().empty()) << key;
    }
    ASSERT_TRUE(loadWith(with("burntstate", "")));
    EXPECT_EQ(defaults.burntstate, trees().burntstate);
    EXPECT_FLOAT_EQ(0.6f, trees().collisionsizefudge);

    // No settings file: no trees, nothing said; the next level's settings are its own.
    fs::remove(m_dir.file(SETTINGS));
    testsupport::clearReports();
    load(1);
    EXPECT_EQ(nullptr, CGameTree::getClumpManager());
    EXPECT_EQ(std::string(), trees().scriptfile);
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(LevelSettings, BrokenLinesAMissingClumpFileAndAMissingWeaponAreReportedAndTheLevelRunsOn)
{
    // Lines without "=", of an unknown type, given twice: one report, the rest read.
    for (const std::string broken : {"trunkstate <int> 3\n", "trunkstate = <integer> 3\n", "trunkstate = <int> 3\ntrunkstate = <int> 4\n"}) {
        EXPECT_TRUE(loadWith(with("trunkstate", broken))) << broken;
        EXPECT_EQ(1, testsupport::countReports("Level settings data\\levels\\demo\\level.ini: lines that could not be read"))
            << broken;
        EXPECT_EQ(1u, testsupport::reports().size()) << broken;
        EXPECT_EQ(broken.find("4") == std::string::npos ? 1 : 3, trees().trunkstate) << broken;
        EXPECT_EQ(2, trees().burntstate) << broken;
    }
    // Text before the first section stops the reading: no trees.
    EXPECT_FALSE(loadWith("TREES\n" + shipped));
    EXPECT_EQ(1u, testsupport::reports().size());

    // A clump file that is not there: one report naming it, and no trees.
    EXPECT_FALSE(loadWith(with("scriptfile =", "scriptfile = <string> \"data\\clumps\\gone.clump\"\n")));
    EXPECT_EQ(1, testsupport::countReports("Clump file data\\clumps\\gone.clump: Clump file not found"));
    EXPECT_EQ(1u, testsupport::reports().size());

    // A fire weapon whose file is gone, or a folder: the weapon's one report; the trees stand
    // without it, and a later weapon of that file is not made or said again.
    fs::remove(m_dir.file("data/weapons/treefire.txt"));
    EXPECT_TRUE(loadWith(shipped));
    EXPECT_EQ(nullptr, CGameTree::getClumpManager()->GetClumpType(0)->pFireWeapon);
    EXPECT_EQ(1, testsupport::countReports("Failed to read weapon definition file data\\weapons\\treefire.txt"));
    EXPECT_EQ(1u, testsupport::reports().size());
    EXPECT_EQ(nullptr, CreateWeapon("data\\weapons\\treefire.txt", 1, 0));
    EXPECT_EQ(1u, testsupport::reports().size());
    testsupport::clearReports();
    EXPECT_EQ(nullptr, CreateWeapon("data\\weapons", 1, 0));
    EXPECT_EQ(1, testsupport::countReports("Failed to read weapon definition file data\\weapons"));
    m_dir.write("data/weapons/empty.txt", "");
    WeaponDescription* pEmpty = CreateWeapon("data\\weapons\\empty.txt", 1, 0);
    EXPECT_NE(nullptr, pEmpty);
    delete pEmpty;
    EXPECT_EQ(1u, testsupport::reports().size());
}

// A ball dropped onto a log lying on the ground, and a laser shot across the ground at another log.
TEST_F(DemoLevel, ABallDroppedOnALogStaysAboveItAndALaserAcrossTheGroundHitsALog)
{
    fs::copy(fs::path(E2E_LEVELS) / "meet.txt", m_dir.file("data/levels/demo/meet.txt"));
    load(1, "data\\levels\\demo\\meet.txt");
    CCollisionTest* pLog = named<CCollisionTest>("log");
    CCollisionTest* pBall = named<CCollisionTest>("ball");
    CCollisionTest* pTarget = named<CCollisionTest>("target");
    ASSERT_NE(nullptr, pLog);
    ASSERT_NE(nullptr, pBall);
    ASSERT_NE(nullptr, pTarget);
    // Lying across y, the log reaches 100 above its centre and the ball 100 below its own: touching,
    // the ball stands 200 above the log (150 where the log's spin turns an end up); passing through,
    // it would come down to the log's level. The ground is level at 0 there, and the log, pressed by
    // the ball, stays on it.
    float closest = 1e9f, lowestLog = 1e9f;
    for (int frame = 1; frame <= 150; ++frame) {
        stepAt(frame * 30);
        Vector3 log, ball;
        pLog->GetCurrentPosition(&log);
        pBall->GetCurrentPosition(&ball);
        closest = std::min(closest, ball.z - log.z);
        lowestLog = std::min(lowestLog, log.z);
    }
    EXPECT_GT(closest, 130.0f);
    EXPECT_GT(lowestLog, 0.0f);
    // The solver settled the contact, and the one that found it spins.
    EXPECT_LT(std::min(pBall->getSpin().w, pLog->getSpin().w), 1.0f);

    // Level with the target's centre, from the side: it takes the hit and is pushed away.
    Vector3 target;
    pTarget->GetCurrentPosition(&target);
    const Vector3 start = target - Vector3(1000, 0, 0), along(1, 0, 0);
    const void* args[] = {&start, &along};
    resourceHandle handle = 0;
    ASSERT_TRUE(
        logic->getObjectManager()->createObjectFromCodeWithHandle(CSampleObjectLaser::TYPE_ID, &handle, 0, args));
    const float vx = pTarget->getVelocity().x;
    // Made now, it joins the land tree at the end of its first step of its own and meets the target
    // in the step after.
    for (int frame = 151; frame <= 153; ++frame) stepAt(frame * 30);
    CResource* pResource = nullptr;
    ASSERT_TRUE(logic->getObjectManager()->acquireResource(handle, &pResource));
    auto* pLaser = static_cast<CSampleObjectLaser*>(pResource);
    ASSERT_TRUE(pLaser->hasHit());
    EXPECT_EQ(pTarget, pLaser->getClosestObject());
    EXPECT_GT(pTarget->getVelocity().x, vx + 20.0f);
    EXPECT_TRUE(testsupport::reports().empty());
}

}  // namespace
