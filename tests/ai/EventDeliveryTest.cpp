// Event wiring as a level uses it: objects wired by instantiation-script text, a timeline of game
// clock, outputs and frames, and the log of which handlers ran with which values.
#include "ai/Events.h"

#include "TestSupport.h"
#include "WiredKinds.h"
#include "gameobjects/GameObjectManager.h"
#include "global/ProjData.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

typedef std::vector<std::string> Names;

std::string names(const std::string& output, const Names& list, const std::string& extra = "")
{
    std::string body = extra + "num_array_items " + std::to_string(list.size()) + "\n";
    for (size_t i = 0; i < list.size(); ++i) body += output + std::to_string(i) + " " + list[i] + "\n";
    return output + "\n{\n" + body + "}\n";
}

// The base wiring keys: the OnDeath and OnDamaged recipients and the inputs that are on.
std::string baseWiring(const Names& death, const Names& damaged, const std::set<std::string>& inputs)
{
    std::string text = "OnDamaged_trgr_% 25\n" + names("OnDeath", death) + names("OnDamaged", damaged) +
                       names("OnHidden", {}) + names("OnRevealed", {});
    for (const char* input : {"Input_OnDeath", "Input_OnHidden", "Input_OnRevealed", "Input_OnStop", "Input_OnGo",
                              "Input_OnGotosleep", "Input_OnWakeup", "Input_OnDefault"})
        text += std::string(input) + (inputs.count(input) ? " 1\n" : " 0\n");
    return text;
}

std::string object(const std::string& name, const std::string& body)
{ return "TestActive\n{\ninstancename " + name + "\n" + body + "}\n"; }
std::string output(uint32_t id, const Names& recipients, const std::string& extra = "")
{ return names("Output", recipients, "id " + std::to_string(id) + "\n" + extra); }

class EventDelivery : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testkinds::sendForward = [](CEvents* p, uint32_t id) { return p->sendEvent(id); }; }
    void start(const std::string& script)
    {
        world.pObjects->registerResourceManager(
            new testkinds::WiredManager(CResourceManager::MANAGER_MISC, world.log));
        dir.write("level.txt", script);
        ASSERT_TRUE(world.pObjects->readInstanceScript("level.txt"));
        world.pObjects->update();
        world.log.calls.clear();
    }
    testkinds::WiredObject* obj(const std::string& name) { return testkinds::wiredByName(world.pObjects, name); }
    CEvents& wiring(const std::string& name) { return *obj(name)->getMssgHandler(); }
    void make(const std::string& text) { ASSERT_TRUE(world.createFromText(text)); world.pObjects->update(); }
    void remove(const std::string& name) { world.pObjects->deleteObject(obj(name)); world.pObjects->update(); }
    void frame(uint32_t ms)
    {
        getProjData().GameTime = static_cast<int>(ms);
        world.pObjects->update();
        CEvents::updateAll();
    }
    // The handler, value and test calls logged since the last look.
    Names took()
    {
        Names out;
        for (const std::string& call : world.log.calls)
            for (const char* kind : {"On", "got", "value", "test"})
                if (call.rfind(kind, 0) == 0) out.push_back(call);
        world.log.calls.clear();
        return out;
    }

    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{dir.path()};
    testkinds::World world;
};

TEST_F(EventDelivery, ScriptWiringReachesRecipientsByNameOnceTheyExistAndKeepsThemByHandle)
{
    start(object("a", "health 100\n" + baseWiring({"b", "late", "sp-unit"}, {"b"}, {})) +
          object("b", baseWiring({}, {}, {"Input_OnDeath", "Input_OnDefault"})) +
          object("sp-unit", baseWiring({}, {}, {"Input_OnDeath"})));
    CEvents& a = wiring("a");

    // "late" is looked for at every send; spawned units never get plain outputs.
    EXPECT_TRUE(a.sendEvent(CEvents::ON_DEATH));
    EXPECT_EQ(Names{"OnDeath b 0"}, took());
    make(object("late", baseWiring({}, {}, {"Input_OnDeath"})));
    EXPECT_TRUE(a.sendEvent(CEvents::ON_DEATH));
    EXPECT_EQ((Names{"OnDeath b 0", "OnDeath late 0"}), took());
    // A new object of the old name is not the one the output found.
    remove("late");
    make(object("late", baseWiring({}, {}, {"Input_OnDeath"})));
    EXPECT_TRUE(a.sendEvent(CEvents::ON_DEATH));
    EXPECT_EQ(Names{"OnDeath b 0"}, took());
    EXPECT_FALSE(a.sendEvent(CEvents::ON_GO));

    // The damage output is tested every 500 ms of game time, after the first 500; "b" has no
    // input for it and gets it through its default input.
    for (uint32_t ms : {400, 500, 501, 900}) frame(ms);  // tested at 501: no damage yet
    obj("a")->health = 70;
    EXPECT_TRUE(took().empty());
    frame(1002);
    EXPECT_EQ(Names{"OnDefault b -1"}, took());
    frame(1100);
    frame(1600);  // tested: no further damage
    EXPECT_TRUE(took().empty());

    // Without a default input an event is dropped.
    EXPECT_FALSE(wiring("sp-unit").receiveEvent(CEvents::ON_DAMAGED, 5, obj("sp-unit")));
    EXPECT_TRUE(wiring("b").receiveEvent(CEvents::ON_GO, 0, obj("b")));
    EXPECT_EQ(Names{"OnDefault b -1"}, took());
}

TEST_F(EventDelivery, RepeatingOutputsResendEveryFrameAndTimedOnesFollowTheirTest)
{
    start(object("s", "send_value 7\n" + output(CEvents::ON_GO, {"r1", "sp-r"}, "repeat 1\n") +
                          output(CEvents::ON_CONTAINS, {"sp-r"}, "timed 1\ninterval 100\nrepeat 1\n")) +
          object("r1", "Input_12 1\n") + object("sp-r", "Input_8 1\n"));
    testkinds::WiredObject* s = obj("s");
    frame(50);  // neither has fired yet
    EXPECT_TRUE(wiring("s").sendEvent(CEvents::ON_GO));
    EXPECT_EQ((Names{"value s", "got 12 r1 7"}), took());

    // The timed output reaches the spawned unit through its default input; it repeats between
    // tests until a test fails, and after that sends only when a test says so. The clock's
    // difference is taken unsigned, so a clock that wraps still tests.
    const Names plain = {"value s", "got 12 r1 7"};
    const Names tested = {"value s", "got 12 r1 7", "test s", "value s", "got 8 sp-r 7"};
    const Names repeated = {"value s", "got 12 r1 7", "value s", "got 8 sp-r 7"};
    const Names failed = {"value s", "got 12 r1 7", "test s"};
    const struct { uint32_t ms; uint8_t answer; Names calls; } steps[] = {{101, 1, tested}, {150, 1, repeated}, {202, 0, failed},
                 {250, 1, plain},  {303, 1, tested},   {350, 1, plain}, {static_cast<uint32_t>(-5), 1, tested}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.ms);
        s->d_testAnswer = step.answer;
        frame(step.ms);
        EXPECT_EQ(step.calls, took());
    }
}

TEST_F(EventDelivery, SendsStopAtTheFirstProcessThatReachesSomebodyAndHandlersMaySendOn)
{
    start(object("s", output(CEvents::ON_STOP, {"ghost"}) + output(CEvents::ON_STOP, {"sp-r"}) +
                          output(CEvents::ON_GO, {"relay", "r1", "plain"}) + output(CEvents::ON_GO, {"r2"})) +
          object("relay", "forward 11\nInput_12 1\n" + output(CEvents::ON_STOP, {"r1"})) +
          object("r1", "Input_11 1\nInput_12 1\n") + object("r2", "Input_12 1\n") + object("sp-r", "Input_11 1\n") +
          object("plain", ""));
    CEvents& s = wiring("s");

    // Recipients go to the first process of an id; one that reaches nobody lets the walk go on,
    // and stays unfired.
    EXPECT_FALSE(s.sendEvent(CEvents::ON_STOP));
    EXPECT_EQ(0, s.getOutProcess(0)->fired);
    EXPECT_TRUE(took().empty());

    // The relay passes the event on before the sender's next recipient; a recipient without
    // wiring is reported by name.
    EXPECT_TRUE(s.sendEvent(CEvents::ON_GO));
    EXPECT_EQ((Names{"value s", "got 12 relay 0", "value relay", "got 11 r1 0", "value s", "got 12 r1 0", "value s",
                     "got 12 r2 0"}),
              took());
    EXPECT_EQ(1, testsupport::countReports("pObj->getMssgHandler()!=NULL"));

    // Event ids index sixteen-entry tables; a recipient needs a name or a handle.
    EXPECT_FALSE(s.sendEvent(16));
    EXPECT_FALSE(wiring("r1").receiveEvent(CEvents::MAX_EVENTS, 1, obj("r1")));
    EXPECT_EQ(2, testsupport::countReports("id<CEvents::MAX_EVENTS"));

    // Two objects that answer each other are cut off, reported once.
    make(object("ping", "forward 12\nInput_12 1\n" + output(CEvents::ON_GO, {"pong"})));
    make(object("pong", "forward 12\nInput_12 1\n" + output(CEvents::ON_GO, {"ping"})));
    world.log.calls.clear();
    EXPECT_TRUE(wiring("ping").sendEvent(CEvents::ON_GO));
    EXPECT_EQ(64, world.log.count("got 12 p"));
    wiring("ping").sendEvent(CEvents::ON_GO);
    EXPECT_EQ(1, testsupport::countReports("sendDepth<MAX_SEND_DEPTH"));
}

TEST_F(EventDelivery, AnObjectCarriedOutOfTheDeleteQueueGivesItsRecordBack)
{
    start(object("w", output(CEvents::ON_GO, {"r1"}, "repeat 1\n") +
                          output(CEvents::ON_CONTAINS, {"r1"}, "timed 1\ninterval 10\n")) +
          object("r1", "Input_12 1\n"));
    CEvents* record = obj("w")->getMssgHandler();
    EXPECT_TRUE(record->sendEvent(CEvents::ON_GO));
    EXPECT_EQ(2u, CEvents::getNumHandlers());

    // A later object under the same handle (managers without reuse counts) must find no outputs.
    remove("w");
    EXPECT_EQ(0u, record->getOwner());
    EXPECT_EQ(0u, record->getNumOutProcesses() + record->getNumTimedOutProcesses());
    EXPECT_EQ(1u, CEvents::getNumHandlers());
}

}  // namespace
