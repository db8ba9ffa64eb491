// Saved level states: what one mission leaves to the next mission of its chapter, through the
// game's own file names, and what damaged files do.
#include "gameobjects/GameObjectManager.h"

#include "TestSupport.h"
#include "WiredKinds.h"
#include "utility/RunLog.h"
#include "winfile/Compress.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using testkinds::WiredManager;
using testkinds::WiredObject;
typedef std::vector<std::string> Names;
typedef std::map<std::string, std::string> State;

const char* const KIND_NAMES[] = {"TestActive", "TestScript", "TestPartial"};

std::string stored(const std::string& text)
{
    const SDeflateHeader header = {DEFLATE_MAGIC, DEFLATE_FLAG_STORED, 0, static_cast<uint32_t>(text.size()),
                                   static_cast<uint32_t>(text.size())};
    return std::string(reinterpret_cast<const char*>(&header), sizeof header) + text;
}

class SavedState : public ::testing::Test {
protected:
    void SetUp() override
    {
        world.pObjects->registerResourceManager(new WiredManager(CResourceManager::MANAGER_MISC, world.log));
    }
    // A fresh level: every object of the last one goes.
    void newLevel()
    {
        world.pObjects->releaseAllObjects();
        world.pObjects->resetDeletionTracking();
    }
    void make(const std::string& name, int kind = 0, const State& state = {})
    {
        ASSERT_TRUE(world.createFromText(std::string(KIND_NAMES[kind]) + "\n{\ninstancename " + name + "\n}\n"));
        obj(name)->state = state;
    }
    WiredObject* obj(const std::string& name) { return testkinds::wiredByName(world.pObjects, name); }
    void remove(const Names& names)
    {
        for (const std::string& name : names) world.pObjects->deleteObject(obj(name));
        world.pObjects->update();
    }
    // The text of a saved state, inflated.
    std::string text(const char* fileName)
    {
        const std::string path = std::string("data\\savedstates\\") + fileName;
        if (!inflateFile(path.c_str(), "check.txt")) return "(none)";
        return dir.read("check.txt");
    }
    // The names the file's DeletionList block holds, in order.
    Names deletionList(const char* fileName)
    {
        const std::string saved = text(fileName);
        Names out;
        for (size_t at = saved.find("\t", saved.rfind("DeletionList")); at != std::string::npos;
             at = saved.find("\t", saved.find('\n', at)))
            out.push_back(saved.substr(at + 1, saved.find('\t', at + 1) - at - 1));
        return out;
    }
    void writeState(const std::string& bytes) { dir.write("data/savedstates/c01m2.pst", bytes); }

    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{dir.path()};
    testkinds::World world;
};

TEST_F(SavedState, TheFileHoldsObjectBlocksThenTheDeletionsUnderTheChaptersAndMissionsName)
{
    // The first mission of a chapter has no file, yet tracks its deletions.
    EXPECT_FALSE(world.pObjects->loadState(1, 2, true));
    EXPECT_TRUE(world.pObjects->isDeletionTrackingEnabled());
    make("tank1");
    make("gate2", 1, {{"open", "1"}});
    make("quiet");
    make("bunker_a", 2, {{"hp", "3"}});
    make("sp-unit");
    remove({"tank1", "sp-unit", "bunker_a"});
    EXPECT_TRUE(world.pObjects->saveState(1, 3));
    EXPECT_EQ("gate2\r\n{\r\n\topen\t1\r\n}\r\nDeletionList\r\n{\r\n\ttank1\t\r\n\tbunker_a\t\r\n}\r\n", text("c01m3.pst"));
    // The queue was drained: a second save lists no deletions.
    EXPECT_TRUE(world.pObjects->saveState(12, 10));
    EXPECT_EQ("gate2\r\n{\r\n\topen\t1\r\n}\r\nDeletionList\r\n{\r\n}\r\n", text("c12m10.pst"));
    EXPECT_TRUE(testsupport::reports().empty());

    // Without tracking the state is saved all the same, with a report.
    EXPECT_FALSE(world.pObjects->loadState(1, 2, false));
    remove({"quiet"});
    EXPECT_TRUE(world.pObjects->saveState(1, 4));
    EXPECT_EQ(1, testsupport::countReports("Can't reliably save state without deletion tracking"));
    EXPECT_EQ(text("c12m10.pst"), text("c01m4.pst"));

    // Objects are collected active first, then script objects, then partial ones, and written
    // newest first.
    make("p1", 2, {{"a", "1"}});
    make("s1", 1, {{"b", "2"}});
    make("a1", 0, {{"c", "3"}});
    remove({});
    EXPECT_TRUE(world.pObjects->saveState(1, 5));
    const std::string saved = text("c01m5.pst");
    EXPECT_LT(saved.find("p1\r\n"), saved.find("s1\r\n"));
    EXPECT_LT(saved.find("s1\r\n"), saved.find("gate2\r\n"));
    EXPECT_LT(saved.find("gate2\r\n"), saved.find("a1\r\n"));
}

TEST_F(SavedState, EveryDeletionIsRepeatedAndEveryStateRestoredInTheNextMission)
{
    struct Planned {
        std::string name;
        int kind;
        State state;
        bool deleted;
    };
    const std::string first = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
    const std::string rest = first + "-.#";
    for (uint32_t seed = 1; seed <= 30; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        auto pick = [&rng](const std::string& from) { return from[rng() % from.size()]; };
        std::vector<Planned> plan;
        std::set<std::string> taken;
        const uint32_t count = 1 + rng() % 40;
        while (plan.size() < count) {
            Planned p{rng() % 6 == 0 ? "sp-" : "", static_cast<int>(rng() % 3), {}, rng() % 3 == 0};
            const size_t length = 1 + rng() % (32 - p.name.size());
            p.name += pick(first);
            while (p.name.size() < length + (p.name.rfind("sp-", 0) == 0 ? 3 : 0)) p.name += pick(rest);
            std::string folded = p.name;
            for (char& c : folded) c = static_cast<char>(tolower(c));
            if (!taken.insert(folded).second) continue;
            for (uint32_t k = rng() % 4; k > 0; --k) {
                std::string value(1, pick(first));
                for (uint32_t n = rng() % 30; n > 0; --n) value += rng() % 5 ? pick(rest) : ' ';
                while (value.back() == ' ') value.pop_back();
                p.state["k" + std::to_string(k)] = value;
            }
            plan.push_back(p);
        }

        newLevel();
        EXPECT_FALSE(world.pObjects->loadState(3, 1, true));
        for (const Planned& p : plan) make(p.name, p.kind, p.state);
        Names deleted, repeated;
        for (const Planned& p : plan) {
            if (!p.deleted) continue;
            deleted.push_back(p.name);
            if (p.name.rfind("sp-", 0) != 0) repeated.push_back(p.name);
        }
        remove(deleted);
        ASSERT_TRUE(world.pObjects->saveState(3, 2));

        newLevel();
        for (const Planned& p : plan) make(p.name, p.kind);
        ASSERT_TRUE(world.pObjects->loadState(3, 2, true));
        for (const Planned& p : plan) {
            SCOPED_TRACE(p.name);
            WiredObject* o = obj(p.name);
            const bool spawned = p.name.rfind("sp-", 0) == 0;
            ASSERT_EQ(!p.deleted || spawned, o != nullptr);
            if (!o) continue;
            const bool saved = !p.deleted && !p.state.empty();
            EXPECT_EQ(saved ? 1 : 0, o->restores);
            EXPECT_EQ(saved ? p.state : State{}, o->restored);
        }
        // The deletions were recorded again, so the next mission repeats them too.
        ASSERT_TRUE(world.pObjects->saveState(3, 3));
        EXPECT_EQ(repeated, deletionList("c03m3.pst"));
    }
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(SavedState, DeletionsAndWrecksAreKnownByTheirWholeBlockNameAndDamagedBlocksAreSkipped)
{
    for (const char* name : {"Wrecks_truck", "DeletionListed", "tank", "sp-unit", "gate"}) make(name);
    const std::string objects = "Wrecks_truck\r\n{\r\n\thp\t5\r\n}\r\nDeletionListed\r\n{\r\n\tx\t1\r\n}\r\n"
                                "gate\r\n{\r\n\topen\t1\r\n}\r\nnobody\r\n{\r\n\ty\t2\r\n}\r\n";
    const std::string unreadable = "{\r\n\t" + std::string(40, 'n') + "\t1\r\n}\r\n";
    writeState(stored(objects + "Wrecks\r\n" + unreadable + "DeletionList\r\n{\r\n\tsp-unit\t\r\n\ttank\t\r\n}\r\n"));
    EXPECT_TRUE(world.pObjects->loadState(1, 2, true));
    EXPECT_EQ(1, testsupport::countReports("Failed to parse Wrecks block"));
    EXPECT_EQ(nullptr, obj("tank"));
    ASSERT_NE(nullptr, obj("sp-unit"));
    EXPECT_EQ((State{{"hp", "5"}}), obj("Wrecks_truck")->restored);
    EXPECT_EQ((State{{"x", "1"}}), obj("DeletionListed")->restored);
    EXPECT_EQ(1, obj("gate")->restores);
    // The repeated deletion is recorded again for the next save.
    EXPECT_EQ(1u, world.pObjects->getDeletionTrackingQueue().getNumItems());
    EXPECT_FALSE(dir.exists("TempState.txt"));

    // A deletion list that does not parse is reported, naming the file; the objects are still
    // restored, and an unreadable object block is skipped without a second report. The same file
    // read again is a new read and says it again (the run log writes the same text once).
    forgetFileFailures();
    testsupport::clearReports();
    writeState(stored(objects + "broken\r\n" + unreadable + "DeletionList\r\n" + unreadable));
    EXPECT_TRUE(world.pObjects->loadState(1, 2, true));
    ASSERT_EQ(1u, testsupport::reports().size());
    EXPECT_EQ("While reading data\\savedstates\\c01m2.pst\nFailed to parse DeletionList block",
              testsupport::reports()[0].message);
    EXPECT_TRUE(world.pObjects->loadState(1, 2, true));
    ASSERT_EQ(2u, testsupport::reports().size());
    EXPECT_EQ(testsupport::reports()[0].message, testsupport::reports()[1].message);
    EXPECT_EQ(3, obj("gate")->restores);
    EXPECT_NE(nullptr, obj("sp-unit"));
}

TEST_F(SavedState, NamesThatCannotBeReadBackAreLeftOutWithOneReportAndAFailedWriteIsAFailure)
{
    EXPECT_FALSE(world.pObjects->loadState(1, 1, true));
    const std::string longName(33, 'l');
    for (const char* name : {"big tank", "Wrecks", "DeletionList", "brace{", "-x", "ok", longName.c_str()})
        make(name, 0, {{"v", "1"}});
    make("gone name");
    make("gone_too");
    remove({"gone name", "gone_too"});
    EXPECT_TRUE(world.pObjects->saveState(1, 2));
    ASSERT_EQ(1, testsupport::countReports("readsBackAsItself(pName)"));
    const std::string& report = testsupport::reports()[0].message;
    for (const char* name : {"gone name", "big tank", "Wrecks", "brace{", "-x"})
        EXPECT_NE(std::string::npos, report.find(name)) << name;
    EXPECT_EQ("ok\r\n{\r\n\tv\t1\r\n}\r\nDeletionList\r\n{\r\n\tgone_too\t\r\n}\r\n", text("c01m2.pst"));

    // A state that cannot be written is a failure.
    std::filesystem::create_directories(dir.file("data/savedstates/c01m3.pst"));
    EXPECT_FALSE(world.pObjects->saveState(1, 3));
    EXPECT_EQ(1, testsupport::countReports("Failed to write saved state data\\savedstates\\c01m3.pst"));
}

TEST_F(SavedState, DamagedFilesAreReportedAndAFailedInflationChangesNothing)
{
    for (const char* name : {"tank", "gate"}) make(name, 0, {{"v", std::string(200, 'v')}});
    world.pObjects->update();
    ASSERT_TRUE(world.pObjects->saveState(1, 2));
    const std::string good = dir.read("data/savedstates/c01m2.pst");
    ASSERT_EQ(0, good[2] & DEFLATE_FLAG_STORED) << "the sample is deflated";

    auto flipped = [&good](size_t at, char bits) {
        std::string bytes = good;
        bytes[at] ^= bits;
        return bytes;
    };
    std::mt19937 rng(7);
    std::string random(300, 0);
    for (char& c : random) c = static_cast<char>(rng());

    struct Case {
        const char* what;
        std::string bytes;
        bool found;
    };
    const Case cases[] = {
        {"empty", "", false},
        {"truncated", good.substr(0, good.size() / 2), false},
        {"header only", good.substr(0, sizeof(SDeflateHeader)), false},
        {"oversized", flipped(7, 0x7F), false},
        {"flipped payload", flipped(good.size() / 2, 0x10), false},
        {"flipped magic", flipped(0, 0x01), false},
        {"random", random, false},
        {"random stored", stored(random), true},
        {"stray words", stored("tank\r\n{\r\n}\r\nwords without braces\r\n"), true},
        {"unbalanced", stored("tank\r\n{\r\n\tv\t1\r\n"), true},
        {"too deep", stored("tank\r\n" + std::string(70, '{') + std::string(70, '}')), true},
        {"include", stored("tank\r\n{\r\n#include data\\savedstates\\c01m2.pst\r\n}\r\n"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::clearReports();
        forgetFileFailures();  // each as a run of its own
        writeState(c.bytes);
        EXPECT_EQ(c.found, world.pObjects->loadState(1, 2, true));
        ASSERT_EQ(1u, testsupport::reports().size());
        EXPECT_NE(std::string::npos, testsupport::reports()[0].message.find("c01m2.pst"));
        for (const char* name : {"tank", "gate"}) {
            ASSERT_NE(nullptr, obj(name)) << name;
            EXPECT_EQ(0, obj(name)->restores) << name;
        }
    }
}

}  // namespace
