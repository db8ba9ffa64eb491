#include "global/ProjData.h"

#include "audio/AudioManager.h"
#include "audio/SilentAudioResourceManager.h"
#include "platform/testing.h"
#include "platform/testing/dsound.h"
#include "utility/BlockFile.h"
#include "utility/ParamBlock.h"
#include "utility/RunLog.h"
#include "utility/VectorMath.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class ProjDataTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        llistInitElementPool();
        createProjData();
    }
    void TearDown() override
    {
        destroyProjData();
        deleteBlock(block);
        llistFreeElementPool();
    }
    // Reads a block file written from the text.
    CParamBlock* config(const std::string& text)
    {
        deleteBlock(block);
        dir.write("gameconfig.txt", text);
        EXPECT_TRUE(loadFirstBlock(dir.file("gameconfig.txt").c_str(), &block, 64));
        return block;
    }

    testsupport::TempDir dir;
    CParamBlock* block = nullptr;
};

const char* const FULL_CONFIG =
    "gameconfig\n{\n level\n {\n  currentlevelpath data\\levels\\one\\\n  currentworldpath data\\worlds\\one\\\n"
    "  currentmission m02 // second\n  currentdemoidx 3\n }\n MechWeapons\n {\n }\n PlaneWeapons\n {\n }\n}\n";

}  // namespace

TEST_F(ProjDataTest, ReadsTheGameConfiguration)
{
    CProjData& data = getProjData();
    EXPECT_TRUE(data.readGameConfig(config(FULL_CONFIG)));
    EXPECT_STREQ(data.CurrentLevelPath, "data\\levels\\one\\");
    EXPECT_STREQ(data.CurrentWorldPath, "data\\worlds\\one\\");
    EXPECT_STREQ(data.CurrentMission, "m02");
    EXPECT_EQ(data.CurrentDemoIdx, 3);
    ASSERT_NE(data.PlayerWeaponsParamBlock, nullptr);
    ASSERT_NE(data.PlayerPlaneWeaponsParamBlock, nullptr);
    EXPECT_EQ(data.PlayerWeaponsParamBlock->getName(), std::string("MechWeapons"));
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(ProjDataTest, ReportsWhatTheConfigurationLacksAndKeepsTheFields)
{
    CProjData& data = getProjData();
    data.readGameConfig(config(FULL_CONFIG));
    // Missing paths keep the old values; a missing demo index becomes 0; a missing weapon set drops both.
    EXPECT_TRUE(data.readGameConfig(config("c\n{\n level\n {\n  currentmission m07\n }\n MechWeapons\n {\n }\n}\n")));
    EXPECT_EQ(testsupport::countReports("Missing level/currentlevelpath"), 1);
    EXPECT_EQ(testsupport::countReports("Missing level/currentworldpath"), 1);
    EXPECT_STREQ(data.CurrentLevelPath, "data\\levels\\one\\");
    EXPECT_STREQ(data.CurrentMission, "m07");
    EXPECT_EQ(data.CurrentDemoIdx, 0);
    EXPECT_EQ(data.PlayerPlaneWeaponsParamBlock, nullptr);
    EXPECT_EQ(testsupport::countReports("Failed to create PlayerWeapon paramter blocks. (try grabbing gameconfig.txt!)"), 1);
    EXPECT_EQ(testsupport::countReports(
                  "getProjData().PlayerPlaneWeaponsParamBlock !=NULL && getProjData().PlayerWeaponsParamBlock!=NULL"),
              1);

    testsupport::clearReports();
    data.readGameConfig(config(FULL_CONFIG));
    EXPECT_TRUE(data.readGameConfig(config("c\n{\n}\n")));
    EXPECT_EQ(testsupport::countReports("Failed to find level block"), 1);
    EXPECT_EQ(data.CurrentDemoIdx, 0);
    EXPECT_EQ(data.PlayerWeaponsParamBlock, nullptr);

    testsupport::clearReports();
    EXPECT_TRUE(data.readGameConfig(nullptr, "data\\gameconfig.txt"));
    EXPECT_EQ(testsupport::countReports("pBlock"), 1);
    EXPECT_EQ(testsupport::countReports("Failed to read game configuration file data\\gameconfig.txt"), 1);
}

TEST_F(ProjDataTest, AnOverLongValueIsReportedAndSkipped)
{
    CProjData& data = getProjData();
    data.readGameConfig(config(FULL_CONFIG));
    testsupport::clearReports();
    // 16 bytes hold a mission name of 15 characters; 16 do not fit.
    data.readGameConfig(config("c\n{\n level\n {\n  currentmission abcdefghijklmnop\n  currentlevelpath " +
                               std::string(255, 'p') + "\n  currentworldpath " + std::string(256, 'w') +
                               "\n }\n}\n"));
    EXPECT_STREQ(data.CurrentMission, "m02");
    EXPECT_EQ(testsupport::countReports("Over-long level/currentmission"), 1);
    EXPECT_EQ(std::string(data.CurrentLevelPath), std::string(255, 'p'));
    EXPECT_EQ(testsupport::countReports("Over-long level/currentworldpath"), 1);
    EXPECT_STREQ(data.CurrentWorldPath, "data\\worlds\\one\\");

    data.readGameConfig(config("c\n{\n level\n {\n  currentmission abcdefghijklmno\n }\n}\n"));
    EXPECT_STREQ(data.CurrentMission, "abcdefghijklmno");
}

TEST_F(ProjDataTest, GameTimeMovesInFrameSteps)
{
    CProjData& data = getProjData();
    data.FrameStep = 30;
    data.AltStep = 33;
    EXPECT_EQ(advanceGameTime(), 30);
    EXPECT_EQ(advanceGameTime(), 30);
    EXPECT_EQ(getGameTime(), 60);
    data.AltStepEnabled = 1;
    EXPECT_EQ(advanceGameTime(), 33);
    EXPECT_EQ(data.getTime(), 93);
    EXPECT_EQ(data.LastElapsedTime, 30);
    resetGameTime();
    EXPECT_EQ(getGameTime(), 0);
    advanceGameTime();
    EXPECT_EQ(data.LastElapsedTime, 0);
}

TEST_F(ProjDataTest, GameMessagesQueueInOrderAndTrimToTheNewestFive)
{
    TGameMessage record{};
    EXPECT_FALSE(popGameMessage(record));
    for (uint32_t i = 0; i < 9; ++i) pushGameMessage(TGameMessage{i, 0, {0, 0, 0, 0}});
    trimGameMessages();
    EXPECT_EQ(getGameMessageCount(), 5u);
    ASSERT_TRUE(popGameMessage(record));
    EXPECT_EQ(record.type, 4u);
    clearGameMessages();
    EXPECT_EQ(getGameMessageCount(), 0u);
    // The destructor frees whatever is left.
    pushGameMessage(record);
}

TEST_F(ProjDataTest, NameSlotsAreClaimedOnce)
{
    EXPECT_FALSE(claimNameSlot(1, "none yet"));
    ASSERT_TRUE(createNameSlotTable(4));
    EXPECT_FALSE(claimNameSlot(0, "zero"));
    EXPECT_FALSE(claimNameSlot(4, "past"));
    const std::string longName(100, 'n');
    EXPECT_TRUE(claimNameSlot(3, longName.c_str()));
    EXPECT_FALSE(claimNameSlot(3, "again"));
    TNameSlotTable* table = getProjData().pNameSlots;
    EXPECT_EQ(table->numUsed, 1u);
    EXPECT_EQ(table->pEntries[3].state[0], 1u);
    EXPECT_TRUE(table->pEntries[3].inUse);
    EXPECT_EQ(std::string(table->pEntries[3].name), longName.substr(0, TNameSlot::MAX_NAME - 1));
}

TEST_F(ProjDataTest, AudioManagerIsSetUpOrDroppedWithAReport)
{
    namespace ds = platform::testing::dsound;
    ds::useManualClock();
    CProjData& data = getProjData();
    ASSERT_TRUE(data.createAudioManager());
    ASSERT_EQ(ds::devices().size(), 1u);
    // The distance factor applies at once; the Doppler factor waits for the first update.
    const float distance = ds::devices()[0].applied.distanceFactor;
    uint32_t bits;
    memcpy(&bits, &distance, 4);
    EXPECT_EQ(bits, 0x3D6985FBu);
    EXPECT_EQ(ds::calls("SetDopplerFactor"), 1);
    EXPECT_EQ(ds::devices()[0].pending.dopplerFactor, 1.0f);
    EXPECT_EQ(data.getAudioManager()->m_defaultMinDistance, 500.0f);
    data.destroyAudioManager();
    EXPECT_EQ(ds::liveDevices(), 0);

    // Without DirectSound the silent device takes over, and only its own failure drops the manager.
    ds::failCall("DirectSoundCreate8", DSERR_NODRIVER, 2);
    ASSERT_TRUE(data.createAudioManager());
    EXPECT_NE(dynamic_cast<CSilentAudioResourceManager*>(data.getAudioManager()->getDevice()), nullptr);
    data.destroyAudioManager();
    CSilentAudioResourceManager::s_failInit = true;
    EXPECT_FALSE(data.createAudioManager());
    CSilentAudioResourceManager::s_failInit = false;
    EXPECT_EQ(data.getAudioManager(), nullptr);
    EXPECT_EQ(testsupport::countReports("Audio manager failed to initialise"), 1);
}

// The game's parts stand in as counted tokens: the project data only makes, hands out and frees them.
struct GamePart {
    static inline int live = 0;
    GamePart() { ++live; }
    ~GamePart() { --live; }
};
template <class T>
T* makePart()
{
    return reinterpret_cast<T*>(new GamePart);
}
template <class T>
void freePart(T* part)
{
    delete reinterpret_cast<GamePart*>(part);
}

TEST_F(ProjDataTest, SessionServicesComeAndGoAroundTheDevice)
{
    static const SProjDataGameServices services = {
        [](HWND) { return makePart<CGameLogic>(); }, freePart<CGameLogic>,
        [](CGameLogic*) { return static_cast<CGameObjectManager*>(nullptr); }, makePart<CErrorStrings>,
        freePart<CErrorStrings>, makePart<CWorldMgr>, freePart<CWorldMgr>};
    setProjDataGameServices(&services);
    destroyProjData();
    createProjData();
    EXPECT_EQ(GamePart::live, 1);  // the error texts
    platform::testing::setManualClock(true);
    platform::testing::setTime(5000);
    CProjData& data = getProjData();
    data.GameTime = 120;
    createNameSlotTable(2);
    data.startSession();
    EXPECT_EQ(data.GameTime, 0);
    EXPECT_EQ(data.SessionStart, 5000u);
    ASSERT_NE(data.getGameLogic(), nullptr);
    ASSERT_NE(data.getWorldMgr(), nullptr);
    EXPECT_EQ(GamePart::live, 3);
    EXPECT_EQ(data.pNameSlots, nullptr);
    ASSERT_NE(data.pWorkBlock, nullptr);
    EXPECT_EQ(data.pWorkBlock[63], 0);
    // A second session replaces (and frees) the first one's world.
    data.startSession();
    ASSERT_NE(data.getGameLogic(), nullptr);
    EXPECT_EQ(GamePart::live, 3);

    data.shutdownPreD3D();
    EXPECT_EQ(data.getGameLogic(), nullptr);
    EXPECT_EQ(GamePart::live, 1);
    EXPECT_EQ(data.getWorldMgr(), nullptr);
    EXPECT_EQ(data.pWorkBlock, nullptr);
    EXPECT_NE(data.getIniManager(), nullptr);
    // No network node: no wait for it to stop.
    EXPECT_EQ(timeGetTime(), 5000u);
    data.shutdownPostD3D();
    EXPECT_EQ(data.getIniManager(), nullptr);
    destroyProjData();
    EXPECT_FALSE(projDataExists());
    EXPECT_EQ(GamePart::live, 0);
    setProjDataGameServices(nullptr);
    createProjData();
    platform::testing::setManualClock(false);
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(ProjDataTest, EffectsBuffersAreOwnedOnce)
{
    CProjData& data = getProjData();
    EXPECT_FALSE(data.createVBManager());  // nobody said how to make one
    static const SProjDataVBManagerMaker maker = {makePart<CVBManager>, freePart<CVBManager>};
    setProjDataVBManagerMaker(&maker);
    ASSERT_TRUE(data.createVBManager());
    ASSERT_TRUE(data.createVBManager());
    EXPECT_EQ(GamePart::live, 1);
    data.destroyVBManager();
    EXPECT_EQ(data.getVBManager(), nullptr);
    EXPECT_EQ(GamePart::live, 0);
    data.destroyVBManager();
    EXPECT_EQ(testsupport::countReports("pVBManager"), 1);
    setProjDataVBManagerMaker(nullptr);
}

TEST_F(ProjDataTest, ANetworkThatCannotConnectEndsTheProcess)
{
    platform::testing::setManualClock(true);
    platform::testing::setTime(1000);
    CProjData& data = getProjData();
    data.NetworkingEnabled = true;
    try {
        // The log says why the run stops, whatever file is being read.
        ReadingFile reading("data\\levels\\demo\\m01.txt");
        writeRunLog("an earlier fault of the file");
        data.startSession();
        ADD_FAILURE() << "no exit";
    } catch (const testsupport::ProcessExit& exit) {
        EXPECT_EQ(exit.code, 1);
    }
    EXPECT_EQ(testsupport::countReports("The network node can't connect"), 1);
    ASSERT_TRUE(data.hasNetwork());
    // A node that is not synchronised must answer the server check.
    try {
        data.checkServer();
        ADD_FAILURE() << "no exit";
    } catch (const testsupport::ProcessExit& exit) {
        EXPECT_EQ(exit.code, 1);
    }
    EXPECT_EQ(testsupport::countReports("No response from the network server"), 1);
    // Stopping the node waits a second for it before it is released.
    data.shutdownPreD3D();
    EXPECT_FALSE(data.hasNetwork());
    EXPECT_EQ(timeGetTime(), 2000u);
    platform::testing::setManualClock(false);
}
