// The placed "Effect" object in a level of the game's managers on the scripted card, running the
// logging test effects.
#include "gameobjects/GameEffect.h"

#include "EffectTestKind.h"
#include "FrameFixture.h"
#include "SampleModelFiles.h"
#include "TestSupport.h"
#include "ai/Events.h"
#include "ai/WorldMgr.h"
#include "effects/Effect.h"
#include "gameobjects/CollisionObjectResourceManager.h"
#include "gameobjects/EffectObjectResourceManager.h"
#include "gameobjects/GameObjectManager.h"
#include "gameobjects/ModelResourceManager.h"
#include "gameobjects/ParticleSystemEffect.h"
#include "gameobjects/PhysicsObjectResourceManager.h"
#include "gameobjects/SampleObjectResourceManager.h"
#include "gameobjects/SampleObjects.h"
#include "global/ProjData.h"
#include "utility/LList.h"
#include "utility/ParamBlock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

class PlacedEffects : public FrameFixture {
protected:
    void SetUp() override
    {
        FrameFixture::SetUp();
        ASSERT_TRUE(bringUp());
        llistInitElementPool();
        createProjData();
        getProjData().pWorldMgr = new CWorldMgr;
        getProjData().pWorldMgr->createTree(100, 2);
        CEvents::initialise(0);
        installTestKind();
        writeSampleModelFiles(m_dir);
        m_dir.write("data/particles/fx.txt", "TESTEFFECT\n{\ninstancename spark\n}\n");
        m_dir.write("data/particles/particlesystem_precache.psp",
                    "Precache\n{\nSet\n{\nfilename data\\particles\\fx.txt\nps_def0 spark\n}\n}\n");
        objects = new CGameObjectManager(nullptr);
        for (CResourceManager* pManager : std::vector<CResourceManager*>{
                 new CSampleObjectResourceManager, new CCollisionObjectResourceManager,
                 new CPhysicsObjectResourceManager, new CModelResourceManager, new CEffectObjectResourceManager})
            objects->registerResourceManager(pManager);
        objects->initialiseResourceManagers();
    }
    void TearDown() override
    {
        objects->releaseAllObjects();
        delete objects;
        CEvents::freeAll();
        delete getProjData().pWorldMgr;
        getProjData().pWorldMgr = nullptr;
        removeTestKind();
        destroyProjData();
        llistFreeElementPool();
        FrameFixture::TearDown();
    }
    // Creates the block; the named object or null.
    template <class K = CGameEffect>
    K* make(const std::string& text, const char* name = "fx")
    {
        CParamBlock* pBlock = nullptr;
        const char* cursor = text.c_str();
        if (!parseBlock(cursor, &pBlock, 0, 64)) return nullptr;
        const bool made = objects->createObjectByName(pBlock->getName(), pBlock, 0);
        delete pBlock;
        resourceHandle handle = 0;
        CResource* pResource = nullptr;
        if (!made || !objects->findHandleByName(name, &handle) || !objects->acquireResource(handle, &pResource))
            return nullptr;
        return static_cast<K*>(pResource);
    }
    static std::string block(const std::string& keys, const std::string& name = "fx")
    {
        return "Effect\n{\ninstancename " + name + "\n" + keys + "}\n";
    }
    // The keys, with one text replaced.
    static std::string keys(const std::string& from = "", const std::string& to = "")
    {
        std::string all;
        for (const char* key : KEYS) all += key;
        if (!from.empty()) all.replace(all.find(from), from.size(), to);
        return all;
    }
    static const char* const KEYS[7];
    void stepAt(int time)
    {
        getProjData().GameTime = time;
        objects->update();
    }

    CGameObjectManager* objects = nullptr;
};

const char* const PlacedEffects::KEYS[7] = {"Input_OnOn 1\n",  "Input_OnOff 1\n",       "Restartable 0\n",
                            "position 10, 20, 30\n", "orientation 0, 0, 90\n", "Position_Parent SYS_NONE\n",
                            "name spark\n"};

TEST_F(PlacedEffects, KeysAreReadInOrderAndTheFirstMissingOneRefusesTheObject)
{
    for (const char* missing : KEYS) EXPECT_EQ(nullptr, make(block(keys(missing, "")))) << missing;
    EXPECT_EQ(0u, logged("create").size());  // nothing started for a refused block
    EXPECT_EQ(nullptr, make(block(keys("spark", "ghost"))));  // an effect nobody defines

    // Restartable 0 reads no period; a negative period is reported and never restarts.
    CGameEffect* pEffect = make(block(keys()));
    ASSERT_NE(nullptr, pEffect);
    EXPECT_EQ(0u, pEffect->getRestartPeriod());
    EXPECT_FALSE(*pEffect->getTreeEligibleFlag());
    const CEffect* pRunning = pEffect->getEffect()->getEffect();
    EXPECT_EQ("spark", testEffectName(pRunning));
    EXPECT_NEAR(10.0f, pRunning->GetPosition().x, 1e-5f);
    EXPECT_NEAR(1.0f, std::fabs(pRunning->GetOrientation().m[0][1]), 1e-5f);  // turned a quarter about z
    ASSERT_NE(nullptr, make(block(keys("Restartable 0", "Restartable 1\nTime_period -5"), "f2"), "f2"));
    EXPECT_EQ(1, testsupport::countReports("tmp>=0"));

    // A parent name of 32 characters cannot be held: reported, refused; 31 characters are kept.
    for (size_t length : {32u, 31u}) {
        const std::string name = "p" + std::to_string(length);
        EXPECT_EQ(length == 31, make(block(keys("SYS_NONE", std::string(length, 'p')), name), name.c_str()) != nullptr);
    }
    EXPECT_EQ(1, testsupport::countReports("strlen( tmpStr ) < NAME_LENGTH"));
    EXPECT_EQ(2u, testsupport::reports().size());
}

TEST_F(PlacedEffects, ItSwitchesOnEventsFollowsAParentUntilItGoesAndOnlyAPeriodLaterStartsAgain)
{
    CCollisionTest* pRock = make<CCollisionTest>(
        "CollisionTest\n{\ninstancename rock\nposition 150, 150, 300\ncollision_type 0\n}\n", "rock");
    ASSERT_NE(nullptr, make<CSampleObjectTarget>("SampleObjectTarget\n{\ninstancename post\nposition 50, 60, 0\n}\n",
                                                 "post"));
    CGameEffect* pOnPost = make(block(keys("SYS_NONE", "post"), "f2"), "f2");
    std::string onRock = keys("Restartable 0", "Restartable 1\nTime_period 1000");
    onRock.replace(onRock.find("SYS_NONE"), 8, "rock");
    CGameEffect* pOnRock = make(block(onRock));
    ASSERT_TRUE(pOnRock && pOnPost);
    CEvents* pWiring = pOnRock->getMssgHandler();
    ASSERT_NE(nullptr, pWiring);
    pWiring->receiveEvent(CEvents::ON_OFF, 0, pOnRock);
    EXPECT_TRUE(pOnRock->getEffect()->getEffect()->IsEmitterPaused());
    pWiring->receiveEvent(CEvents::ON_ON, 0, pOnRock);
    EXPECT_FALSE(pOnRock->getEffect()->getEffect()->IsEmitterPaused());
    EXPECT_EQ(1u, logged("unpause spark").size());
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

    objects->deleteObject(pRock);
    stepAt(60);
    stepAt(90);
    EXPECT_EQ(nullptr, pOnRock->getEffect());
    EXPECT_EQ(1u, logged("delete spark").size());
    stepAt(1000);  // not more than the period
    EXPECT_EQ(2u, logged("create spark").size());  // one for each effect
    // The next restart starts it, and the lost parent stops it again in the same step.
    stepAt(1001);
    EXPECT_EQ(3u, logged("create spark").size());
    EXPECT_EQ(nullptr, pOnRock->getEffect());
    EXPECT_EQ(2u, logged("delete spark").size());
    EXPECT_NE(nullptr, pOnPost->getEffect());
    EXPECT_TRUE(testsupport::reports().empty());
}

}  // namespace
