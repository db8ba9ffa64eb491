#include "gameobjects/GameObject.h"

#include "TestKinds.h"
#include "TestSupport.h"
#include "ai/Events.h"
#include "gameobjects/CollisionServices.h"
#include "utility/BlockFile.h"
#include "utility/Collision.h"
#include "utility/LList.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <tuple>

namespace {

using testkinds::BareObject;

std::unique_ptr<CParamBlock> parse(const std::string& body)
{
    CParamBlock* pBlock = nullptr;
    const std::string text = "T\n{\n" + body + "}\n";
    const char* cursor = text.c_str();
    EXPECT_TRUE(parseBlock(cursor, &pBlock, 0, 64)) << text;
    return std::unique_ptr<CParamBlock>(pBlock);
}

std::string sub(const char* name, const std::string& body) { return std::string(name) + "\n{\n" + body + "}\n"; }

// The wiring keys with every input and output off, with one text replaced.
std::string wiring(const std::string& from = "", const std::string& to = "")
{
    std::string text = "OnDamaged_trgr_% 25\n" + sub("OnDeath", "num_array_items 0\n") +
                       sub("OnDamaged", "num_array_items 0\n") + sub("OnHidden", "num_array_items 0\n") +
                       sub("OnRevealed", "num_array_items 0\n") +
                       "Input_OnDeath 0\nInput_OnHidden 0\nInput_OnRevealed 0\nInput_OnStop 0\nInput_OnGo 0\n"
                       "Input_OnGotosleep 0\nInput_OnWakeup 0\n";
    if (!from.empty()) text.replace(text.find(from), from.size(), to);
    return text;
}

class GameObjectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        llistInitElementPool();
        CEvents::initialise(0);
    }
    void TearDown() override
    {
        CEvents::freeAll();
        llistFreeElementPool();
    }
};

TEST_F(GameObjectTest, ParamBlockSetsTheTuningAndKeepsDefaultsForWhatIsMissingOrUnreadable)
{
    struct Row {
        const char* body;
        const char* name;
        uint8_t active, show;
        float mass;
        uint32_t passThru;
        uint8_t movable, flash, wreck;
    };
    const Row rows[] = {
        {"", nullptr, 1, 1, 1.0f, 1, 1, 0, 0},
        {"instancename tester1 // the first\ninitialstate 0\nshowenergybar 0\nmass 2.5\npassThru 2\nmovable 0\n"
         "flash_radar 1\nAlways_wreck 1\n",
         "tester1", 0, 0, 2.5f, 2, 0, 1, 1},
        {"passThru 3\ninitialstate 5\nshowenergybar 7\nmovable 5\nflash_radar 2\nAlways_wreck 0\n", nullptr, 1, 1,
         1.0f, 0, 1, 0, 0},
        {"passThru -1\ninitialstate abc\nmass heavy\nmovable\n", nullptr, 1, 1, 1.0f, 0, 1, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.body);
        BareObject object(0x84000001);
        EXPECT_TRUE(object.initFromParamBlock(parse(row.body).get(), 0x01000007));
        EXPECT_STREQ(row.name, object.getInstanceName());
        EXPECT_EQ(std::make_tuple(row.active, row.show, row.mass, row.passThru, row.movable, row.flash, row.wreck),
                  std::make_tuple(object.d_active, object.getShowEnergyBar(), object.getMass(), object.getPassThru(),
                                  object.getMovable(), object.d_flashRadar, object.d_alwaysWreck));
        EXPECT_EQ(0x01000007u, object.getCreator());
    }
}

TEST_F(GameObjectTest, WiringRecordsInputsOutputsAndTheTimedDamageOutput)
{
    testkinds::CallLog log;
    testkinds::LoggedObject object(0x84000001, log);
    object.setResourceHandle(0x84000005);
    const std::string body = "instancename tester1\nOnDamaged_trgr_% 25\n" +
                             sub("OnDeath", "num_array_items 1\nOnDeath0 relay1\n") +
                             sub("OnDamaged", "num_array_items 2\nOnDamaged0 medic\nOnDamaged1 sp-unit\n") +
                             sub("OnHidden", "num_array_items 2\nOnHidden0 a\nOnHidden1 b\n") +
                             sub("OnRevealed", "num_array_items 0\n") +
                             "Input_OnDeath 1\nInput_OnHidden 1\nInput_OnRevealed 1\nInput_OnStop 1\nInput_OnGo 1\n"
                             "Input_OnGotosleep 1\nInput_OnWakeup 1\nInput_OnDefault 1\n";
    ASSERT_TRUE(object.initFromParamBlock(parse(body).get(), 0));
    CEvents* pM = object.getMssgHandler();
    ASSERT_NE(nullptr, pM);
    EXPECT_EQ(0x84000005u, pM->getOwner());

    // Plain outputs OnHidden then OnDeath (OnRevealed has none); OnDamaged is timed.
    ASSERT_EQ(2u, pM->getNumOutProcesses());
    EXPECT_EQ(std::make_tuple(uint32_t(CEvents::ON_HIDDEN), std::string("b"), uint32_t(CEvents::ON_DEATH), std::string("relay1")),
              std::make_tuple(pM->getOutProcess(0)->id, std::string(pM->getOutProcess(0)->recipientNames[1]),
                              pM->getOutProcess(1)->id, std::string(pM->getOutProcess(1)->recipientNames[0])));
    EXPECT_EQ(0u, pM->getOutProcess(1)->recipients[0]);
    ASSERT_EQ(1u, pM->getNumTimedOutProcesses());
    const CEvents::STimedOutProcess* timed = pM->getTimedOutProcess(0);
    EXPECT_EQ(std::make_tuple(uint32_t(CEvents::ON_DAMAGED), 500u, 2u), std::make_tuple(timed->id, timed->interval, timed->numRecipients));
    // Its test is the object's damage test: a first call stores the health and answers 0.
    object.health = 10;
    EXPECT_EQ(0, timed->pShouldTriggerFn(&object));
    EXPECT_EQ(10, object.d_lastDamageMssgHealth);

    // Each input reaches its handler with the value.
    EXPECT_EQ(8u, pM->getNumInProcesses());
    const std::pair<uint32_t, const char*> inputs[] = {{0, "OnDeath"}, {4, "OnHidden"}, {5, "OnRevealed"},
                                                       {11, "OnStop"}, {12, "OnGo"},    {13, "OnWakeup"},
                                                       {14, "OnGotosleep"}};
    for (const auto& [id, handler] : inputs) {
        pM->getInHandler(id)(id + 100, &object);
        EXPECT_EQ(std::string(handler) + " tester1 " + std::to_string(id + 100), log.calls.back());
    }
    SDefaultMessage message{CGameObject::TYPE_FILTER_SCRIPT, 0x101};
    pM->getInHandler(CEvents::ON_DEFAULT)(reinterpret_cast<EventValue>(&message), &object);
    EXPECT_EQ("OnDefault tester1 257", log.calls.back());
    for (uint32_t id : {1u, 2u, 3u, 6u, 7u, 9u, 10u, 15u}) EXPECT_EQ(nullptr, pM->getInHandler(id));
}

TEST_F(GameObjectTest, WiringStopsAtTheFirstMissingItemKeepingWhatItSetUp)
{
    struct Row {
        std::string body;
        bool complete, record;
        float fraction;
    };
    const Row rows[] = {
        {"", false, false, 1.0f},        // no trigger key: no wiring at all
        {wiring(), true, false, 0.25f},  // nothing wired: no record
        {wiring("Input_OnGo 0", "Input_OnGo 1"), true, true, 0.25f},
        {wiring() + "Input_OnDefault 1\n", true, true, 0.25f},
        {wiring("OnDamaged_trgr_% 25", "OnDamaged_trgr_% x"), false, false, 1.0f},
        {wiring(sub("OnHidden", "num_array_items 0\n")), false, false, 0.25f},
        {wiring("Input_OnWakeup 0", "Input_OnDeath 1"), false, false, 0.25f},
        {wiring(sub("OnRevealed", "num_array_items 0\n"), sub("OnRevealed", "")), false, false, 0.25f},
        // The recipient "OnDeath1" is missing: the first stays, the wiring stops.
        {wiring(sub("OnDeath", "num_array_items 0\n"), sub("OnDeath", "num_array_items 3\nOnDeath0 x\nOnDeath2 z\n")),
         false, true, 0.25f},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.body);
        auto block = parse(row.body);
        BareObject object(0x84000001);
        object.setResourceHandle(0x84000001);
        EXPECT_EQ(row.complete, object.initBaseScriptWiring(block.get()));
        ASSERT_EQ(row.record, object.getMssgHandler() != nullptr);
        EXPECT_FLOAT_EQ(row.fraction, object.d_damageTriggerFraction);
        if (row.record && object.getMssgHandler()->getNumOutProcesses()) {
            EXPECT_EQ(1u, object.getMssgHandler()->getOutProcess(0)->numRecipients);
        }
        // The object is whole either way.
        BareObject again(0x84000001);
        again.setResourceHandle(0x84000002);
        EXPECT_TRUE(again.initFromParamBlock(block.get(), 0));
    }
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(GameObjectTest, DamageMessagesFireOnTheTriggerFractionAndReportRisingHealth)
{
    BareObject object(1);
    object.initFromParamBlock(parse("instancename tester1\n" + wiring()).get(), 0);
    // health, result, stored health afterwards
    const int steps[][3] = {{0, 0, -1}, {100, 0, 100}, {90, 0, 100}, {76, 0, 100}, {75, 1, 75},
                            {75, 0, 75}, {80, 0, 75},   {57, 0, 75},  {56, 1, 56}, {-5, 0, 56}};
    for (const auto& step : steps) {
        object.health = step[0];
        EXPECT_EQ(step[1] != 0, object.OnDamagedShouldTrigger()) << step[0];
        EXPECT_EQ(step[2], object.d_lastDamageMssgHealth) << step[0];
    }
    ASSERT_EQ(1u, testsupport::reports().size());
    EXPECT_EQ("Object tester1 appears to have increasing health?? Last =75 current=80",
              testsupport::reports()[0].message);
    // With the default fraction the output never fires while the object lives.
    BareObject plain(1);
    for (int health : {100, 50, 1}) EXPECT_FALSE((plain.health = health, plain.OnDamagedShouldTrigger())) << health;
}

TEST_F(GameObjectTest, BaseHandlersReportAndOnlyTheFilterScriptSetsTheRadarFlag)
{
    BareObject object(1);
    for (auto handler : {&BareObject::OnDeath, &BareObject::OnHidden, &BareObject::OnRevealed, &BareObject::OnStop,
                         &BareObject::OnGo, &BareObject::OnInvulnerable, &BareObject::OnWakeup, &BareObject::OnGotosleep})
        (object.*handler)(0);
    ASSERT_EQ(8u, testsupport::reports().size());
    EXPECT_EQ("I cannot die", testsupport::reports()[0].message);

    const std::pair<SDefaultMessage, uint8_t> messages[] = {
        {{0x84000004, 0x201}, 1}, {{0x84000003, 0}, 1}, {{0x84000004, 0x300}, 0}};
    for (const auto& [message, flag] : messages) {
        object.OnDefault(&message);
        EXPECT_EQ(flag, object.d_flashRadar);
    }
}

class Creature : public BareObject {
public:
    explicit Creature(uint32_t type) : BareObject(type) { health = 100; }
    void OnDeath(int32_t value) override { deaths += value == 0; }
    int deaths = 0;
};

TEST_F(GameObjectTest, ContactKillHitsTheHigherRankedSideAndBothOnATie)
{
    struct Row {
        uint32_t a, b;
        int deathsA, deathsB, healthA, healthB;
    };
    const Row rows[] = {
        {0x02000002, 0x02000004, 0, 1, 100, 100},  // animal (5) over player (3)
        {0x02000004, 0x02000002, 1, 0, 100, 100},
        {0x04000000, 0x02000002, 0, 0, 100, 0},  // player (3) over static (1): health cleared
        {0x02000001, 0x0200000D, 1, 1, 100, 100},  // a tie hits both
        {0x05000001, 0x02000000, 0, 1, 100, 100},  // rank 5 but no animal: untouched
        {0x0200000E, 0x04000000, 0, 0, 100, 100},
    };
    for (const Row& row : rows) {
        Creature a(row.a), b(row.b);
        a.resolveContactKill(&b);
        EXPECT_EQ(std::vector<int>({row.deathsA, row.deathsB, row.healthA, row.healthB}),
                  std::vector<int>({a.deaths, b.deaths, a.health, b.health}))
            << std::hex << row.a << " " << row.b;
    }
    // The collision maths settles the pair under test so when its arithmetic fails, once both of
    // the pair are known.
    ASSERT_TRUE(createIntersectionMemoryManager(1, sizeof(CIntersection)));
    Creature first(0x02000004), second(CGameObject::TYPE_STATIC_OBJECT);
    float t = 0;
    Vector3 point, normal;
    auto invalid = [&] {
        const Vector3 nowhere(std::numeric_limits<float>::quiet_NaN(), 0, 0);
        return sphereFiniteRayIntersect(nowhere, Vector3(1, 0, 0), Vector3(), 1.0f, t, point, normal);
    };
    EXPECT_FALSE(invalid());
    collisionPairSecond = &second;
    EXPECT_FALSE(invalid());
    EXPECT_EQ(0, first.deaths);
    collisionPairFirst = &first;
    EXPECT_FALSE(invalid());
    EXPECT_EQ(std::make_pair(1, 0), std::make_pair(first.deaths, second.deaths));
    collisionPairFirst = collisionPairSecond = nullptr;
    destroyIntersectionMemoryManager();
}


}  // namespace
