// The real game against what a hostile user or machine gives it: a close while minimised in the
// loading screen, pipes where files should be, a storm of mouse movement, a settings file that an
// editor saved with a byte-order mark.
#include "GameProcess.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <string>
#include <utility>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

class HostileRunTest : public ::testing::Test {
protected:
    void SetUp() override { copyData(dir); }

    std::string said() const { return textOf(dir, "stderr.txt"); }
    void setDisplay(const std::string& key, const std::string& value)
    {
        std::string ini = dir.read("data/init.ini");
        ini.replace(ini.find("[Display]\n") + 10, 0, key + " = <int> " + value + "\n");
        dir.write("data/init.ini", ini);
    }

    // A run that goes on this long after its close has hung; it is killed well before the test's
    // own time runs out, so every run of a table is heard from.
    static constexpr int HUNG_AFTER = 20;

    // The frame at which the loading screen opens, from a run of the copy: with Escape held the
    // screen writes "Abort Load?" as it opens, after the frame it opens in has been named on stderr
    // by a line of the script that the game does not know. The run is closed once it has said so.
    int loadingScreenOpens()
    {
        std::string script = "1 keydown ESCAPE\n";
        for (int frame = 1; frame <= 400; ++frame) script += std::to_string(frame) + " mark\n";
        const pid_t pid = startGame(dir, script + "400 close\n");
        for (int wait = 0; wait < 1000 && said().find("Abort Load?") == std::string::npos; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        kill(pid, SIGTERM);
        EXPECT_EQ(finishGame(pid, HUNG_AFTER), 0);
        const std::string text = said(), named = "PLATFORM_SCRIPT frame ";
        const size_t frameNamed = text.rfind(named, text.find("Abort Load?"));
        for (const char* name : {"stderr.txt", "Veldrane.log"}) fs::remove(dir.file(name));
        EXPECT_NE(frameNamed, std::string::npos) << "the loading screen never opened";
        return frameNamed == std::string::npos ? 0 : std::stoi(text.substr(frameNamed + named.size()));
    }

    // Closes while minimised about the loading screen's opening at frame F. The start-up's level load
    // pumps last at F - 2, taking what came at F - 3; the game loop's pump follows it, minimised. A
    // close taken there by the load's last pump must end the run rather than leave it waiting.
    std::vector<std::string> minimisedLoadCloses()
    {
        const int opens = loadingScreenOpens();
        auto at = [](int minimise, int close) {
            return std::to_string(minimise) + " minimise\n" + std::to_string(close) + " close\n";
        };
        // Minimised early, the load waits there; minimised in the frame of the close; late in the
        // loading screen.
        std::vector<std::string> scripts = {at(opens / 4, 2 * opens), at(opens - 3, opens - 3),
                                            at(opens - 4, opens + 16)};
        for (int close = opens - 4; close <= opens - 2; ++close) scripts.push_back(at(close - 1, close));
        return scripts;
    }

    testsupport::TempDir dir;
};

}  // namespace

TEST_F(HostileRunTest, ACloseEndsARunMinimisedDuringTheLoadingScreen)
{
    for (const std::string& script : minimisedLoadCloses())
        EXPECT_EQ(finishGame(startGame(dir, script), HUNG_AFTER), 0) << script;
    EXPECT_EQ(textOf(dir, "Veldrane.log"), "");
}

TEST_F(HostileRunTest, ASignalEndsARunMinimisedDuringTheLoadingScreen)
{
    for (const char* script : {"5 minimise\n", "20 minimise\n"}) {
        for (int signal : {SIGTERM, SIGINT}) {
            const pid_t pid = startGame(dir, script);
            EXPECT_TRUE(waitForWindow(dir));
            // Most likely waiting minimised by now; a signal that comes sooner is a close before it.
            std::this_thread::sleep_for(std::chrono::seconds(1));
            kill(pid, signal);
            EXPECT_EQ(finishGame(pid, HUNG_AFTER), 0) << script << signal;
        }
    }
    EXPECT_EQ(textOf(dir, "Veldrane.log"), "");
}

TEST_F(HostileRunTest, ACloseEndsAFullScreenRunMinimisedDuringTheLoadingScreen)
{
    // The device is lost meanwhile.
    setDisplay("FullScreen", "1");
    for (const std::string& script : minimisedLoadCloses())
        EXPECT_EQ(finishGame(startGame(dir, script), HUNG_AFTER), 0) << script;
    EXPECT_EQ(textOf(dir, "Veldrane.log"), "");
}

TEST_F(HostileRunTest, InFullScreenAFocusLostAsTheGameComesBackStillHasItWaitMinimised)
{
    // Back in front at 90, the game takes the screen again and rebuilds its effects, loading their
    // model and pumping the messages meanwhile inside its step; the focus goes again a few frames on.
    // Nothing is drawn while it waits (the screenshot asked for then is not taken); a close ends the
    // wait at once, and so does a return, after which the game draws again.
    setDisplay("FullScreen", "1");
    for (int lost = 92; lost <= 94; ++lost) {
        const bool back = lost == 93;
        const std::string script = "61 focus off\n90 focus on\n" + std::to_string(lost) + " focus off\n122 key F12\n" +
                                   (back ? "140 focus on\n160 key F12\n170 close\n" : "140 close\n");
        EXPECT_EQ(finishGame(startGame(dir, script), HUNG_AFTER), 0) << script;
        EXPECT_EQ(dir.exists("Veldrane_00000.tga"), back) << script;
        EXPECT_FALSE(dir.exists("Veldrane_00001.tga")) << script;
        fs::remove(dir.file("Veldrane_00000.tga"));
    }
    EXPECT_EQ(textOf(dir, "Veldrane.log"), "");
}

TEST_F(HostileRunTest, InFullScreenAFocusLostDuringTheLoadOrAMinimiseAsTheGameComesBackHasItWaitMinimised)
{
    // A loss while the start-up loads, or a minimise while the game takes the screen back (which the
    // restore would undo), takes effect when that step ends: the game waits minimised and draws
    // nothing (a screenshot key held meanwhile takes none) until it is in front again, or, after the
    // minimise, until it is restored, as after a minimise at any other time.
    setDisplay("FullScreen", "1");
    const struct { const char* script; bool drawn; } runs[] = {
        {"1 focus off\n", false}, {"12 focus off\n", false}, {"12 focus off\n60 focus on\n", true},
        {"61 focus off\n90 focus on\n90 minimise\n", false}, {"61 focus off\n90 focus on\n91 minimise\n", false},
        {"61 focus off\n90 focus on\n91 minimise\n100 focus on\n", true},
        {"61 focus off\n90 focus on\n90 minimise\n100 restore\n", true},
        {"61 focus off\n90 focus on\n91 minimise\n100 restore\n", true}};
    for (const auto& run : runs) {
        const std::string script = std::string(run.script) + "122 keydown F12\n126 keyup F12\n140 close\n";
        EXPECT_EQ(finishGame(startGame(dir, script), HUNG_AFTER), 0) << script;
        EXPECT_EQ(dir.exists("Veldrane_00000.tga"), run.drawn) << script;
        fs::remove(dir.file("Veldrane_00000.tga"));
    }
    EXPECT_EQ(textOf(dir, "Veldrane.log"), "");
}

TEST_F(HostileRunTest, APipeInTheWayOfADataFileOrTheRunLogIsNotWaitedOn)
{
    // The log a pipe too, and a report to write to it: a texture gone.
    fs::remove(dir.file("data/lights/spot.tga"));
    ASSERT_EQ(mkfifo(dir.file("Veldrane.log").c_str(), 0600), 0);
    const struct {
        const char* file;
        const char* said;  // null: the game does without it quietly
    } cases[] = {{"data/levels/demo/level.ini", nullptr},
                 {"data/weapons/treefire.txt", "Failed to read weapon definition file data\\weapons\\treefire.txt"},
                 {"data/sounds/splash.wav", "data\\sounds\\splash.wav"}};
    for (const auto& c : cases) {
        const std::string kept = dir.read(c.file);
        fs::remove(dir.file(c.file));
        fs::remove(dir.file("stderr.txt"));
        ASSERT_EQ(mkfifo(dir.file(c.file).c_str(), 0600), 0);
        EXPECT_EQ(finishGame(startGame(dir, "5 close\n")), 0) << c.file;
        if (c.said) {
            EXPECT_EQ(countOf(said(), c.said), 1) << said();
        }
        EXPECT_EQ(countOf(said(), "Missing File:data\\lights\\spot.tga"), 1) << said();
        EXPECT_TRUE(fs::is_fifo(dir.file("Veldrane.log")));
        fs::remove(dir.file(c.file));
        dir.write(c.file, kept);
    }
}

TEST_F(HostileRunTest, AStormOfMouseMovementInOneFrameIsHarmless)
{
    std::string script;
    for (int i = 0; i < 25000; ++i) script += "100 mouse move 100000 -100000 100000\n";
    script += "110 close\n";
    EXPECT_EQ(finishGame(startGame(dir, script)), 0);
    EXPECT_EQ(said().find("runtime error"), std::string::npos) << said();
}

TEST_F(HostileRunTest, ASettingsFileWithAByteOrderMarkIsReadAndOneThatCannotBeIsReportedOnce)
{
    // Saved by an editor that marks its text: the settings hold (the screenshot's size).
    const std::string shipped = dir.read("data/init.ini");
    dir.write("data/init.ini", "\xEF\xBB\xBF" + shipped + "\n[Display]\nWidth = <int> 800\nHeight = <int> 600\n");
    EXPECT_EQ(finishGame(startGame(dir, "100 key F12\n110 close\n")), 0);
    EXPECT_EQ(textOf(dir, "Veldrane.log"), "");
    const std::string tga = textOf(dir, "Veldrane_00000.tga");
    ASSERT_GE(tga.size(), 18u);
    EXPECT_EQ(static_cast<uint8_t>(tga[12]) | static_cast<uint8_t>(tga[13]) << 8, 800);

    // A first line that is not a section: nothing is read, and the run log hears it once.
    dir.write("data/init.ini", "Display settings\n" + shipped);
    EXPECT_EQ(finishGame(startGame(dir, "5 close\n")), 0);
    EXPECT_EQ(countOf(textOf(dir, "Veldrane.log"), "Time: "), 1) << textOf(dir, "Veldrane.log");
    EXPECT_EQ(countOf(textOf(dir, "Veldrane.log"),
                      "data\\init.ini: text before the first section; nothing of the file was read"),
              1);
}

TEST_F(HostileRunTest, TexturesDatedBefore1970OrBeyondAFiletimeAreCachedAtTheFirstRunAndTheCachesReadAtTheNext)
{
    // As an archive or a copy may date them. A file system with 64-bit times keeps dates a FILETIME
    // cannot say: their caches take the nearest it can. A cache written again is a new file moved
    // into place.
    const timespec first = {-11644473600, 0}, last = {910692730085, 477580700};  // 1601-01-01, the largest
    const struct { const char* what; timespec texture, cache; } dates[] = {
        {"1960", {-315619200, 0}, {-315619200, 0}},
        {"1336", {-20000000000, 0}, first},
        {"33658", {999999999999, 0}, last},
    };
    const char* caches[] = {"data/font.xim", "data/models/demo.xim"};
    for (const auto& d : dates) {
        SCOPED_TRACE(d.what);
        testsupport::TempDir run(testsupport::MEMORY_FOLDER);
        copyData(run);
        const timespec both[2] = {d.texture, d.texture};
        bool kept = true;
        for (const auto& e : fs::recursive_directory_iterator(run.file("data")))
            if (e.path().extension() == ".tga") {
                struct stat st;
                kept = kept && utimensat(AT_FDCWD, e.path().c_str(), both, 0) == 0 && stat(e.path().c_str(), &st) == 0 &&
                       st.st_mtim.tv_sec == d.texture.tv_sec;
            }
        if (!kept) {
            std::cout << "skipped, as the file system of " << run.path() << " does not keep it: " << d.what << "\n";
            continue;
        }
        struct stat written[2], read[2];
        EXPECT_EQ(finishGame(startGame(run, "5 close\n")), 0);
        EXPECT_EQ(textOf(run, "Veldrane.log"), "");
        for (int i = 0; i < 2; ++i) ASSERT_EQ(stat(run.file(caches[i]).c_str(), &written[i]), 0) << caches[i];
        EXPECT_EQ(finishGame(startGame(run, "5 close\n")), 0);
        EXPECT_EQ(textOf(run, "Veldrane.log"), "");
        for (int i = 0; i < 2; ++i) {
            ASSERT_EQ(stat(run.file(caches[i]).c_str(), &read[i]), 0) << caches[i];
            EXPECT_EQ(std::make_pair(d.cache.tv_sec, d.cache.tv_nsec),
                      std::make_pair(written[i].st_mtim.tv_sec, written[i].st_mtim.tv_nsec))
                << caches[i];
            EXPECT_EQ(written[i].st_ino, read[i].st_ino) << caches[i];
        }
    }
}
