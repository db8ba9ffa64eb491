// The real game on a copy of data/, headless, played by a frame script.
#include "GameProcess.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

class GameRunTest : public ::testing::Test {
protected:
    void SetUp() override { copyData(dir); }

    // A copy left running by a failed assertion must not outlive the test.
    void TearDown() override
    {
        for (pid_t pid : started)
            if (running(pid)) {
                kill(pid, SIGKILL);
                finish(pid);
            }
    }

    pid_t start(const std::string& script) { return started.emplace_back(startGame(dir, script)); }
    int finish(pid_t pid, int seconds = 30) { return finishGame(pid, seconds); }

    bool running(pid_t pid)
    {
        int status;
        return waitpid(pid, &status, WNOHANG) == 0;
    }

    bool waitForWindow() { return ::waitForWindow(dir); }

    std::string runLog() const { return textOf(dir, "Veldrane.log"); }

    // Whether the last line the game wrote on stderr is this one.
    bool lastLineSaid(const std::string& line) const
    {
        const std::string said = textOf(dir, "stderr.txt"), last = "\n" + line + "\n";
        return said.size() >= last.size() && said.compare(said.size() - last.size(), last.size(), last) == 0;
    }

    testsupport::TempDir dir;
    std::vector<pid_t> started;
};

}  // namespace

TEST_F(GameRunTest, RunsUntilTheScriptClosesItPlayingKeysPadsAndMouseWithoutReports)
{
    auto begun = std::chrono::steady_clock::now();
    // The first frames pass while the level loads, pumping the messages as it shows its progress.
    EXPECT_EQ(finish(start("# a short run\n5 dik DIK_SPACE down\n6 dik SPACE up\n7 pad 0 axis x 0.5\n"
                           "8 pad 0 button 2 down\n9 mouse move 3 4\n40 key F12\n70 close\n")),
              0);
    // The forty-odd paced passes after the load, of 30 ms each, cannot take less than a second.
    EXPECT_GE(std::chrono::steady_clock::now() - begun, std::chrono::milliseconds(1000));
    EXPECT_EQ(runLog(), "");  // no message of any kind reached the run log
    // A tap as long as a frame reached the game: it took a screenshot.
    EXPECT_TRUE(dir.exists("Veldrane_00000.tga"));
    // The sound device came up on the dummy audio driver; every script line was read.
    const std::string said = textOf(dir, "stderr.txt");
    EXPECT_NE(said.find("DirectSound output: SDL2 audio (dummy)\n"), std::string::npos) << said;
    EXPECT_EQ(said.find("PLATFORM_SCRIPT"), std::string::npos) << said;
}

TEST_F(GameRunTest, ASecondCopyEndsAtOnceAndTheFirstClosesOnSigterm)
{
    pid_t first = start("");
    ASSERT_TRUE(waitForWindow());
    ASSERT_TRUE(running(first));
    pid_t second = start("");
    EXPECT_EQ(finish(second, 10), 1);
    EXPECT_TRUE(running(first));
    EXPECT_NE(dir.read("stderr.txt").find("stopping this copy as Veldrane is already running\n"), std::string::npos);

    kill(first, SIGTERM);
    EXPECT_EQ(finish(first), 0);

    // With the first gone, a new copy runs normally.
    pid_t third = start("5 close\n");
    EXPECT_EQ(finish(third), 0);
}

TEST_F(GameRunTest, EveryScriptEndsItsRun)
{
    std::string taps;  // 80,000 key taps, 2,000 a frame, then a close
    for (int i = 0; i < 80000; ++i) taps += std::to_string(2 + i / 2000) + " key A\n";
    taps += "60 close\n";
    const struct {
        std::string script;
        const char* file;  // instead of a script: "/dev/zero" or a pipe nobody writes to
        int code;
        const char* said;  // on stderr; null: nothing
        bool screenshot = false;
    } cases[] = {
        // The clock moves on while minimised: the restore comes, and the game draws again.
        {"35 minimise\n60 restore\n65 key F12\n70 close\n", nullptr, 0, nullptr, true},
        {taps, nullptr, 0, nullptr},  // a long script costs no more per event: it ends in time
        {"garbled\n40 close\n", nullptr, 2, "has a line that cannot be read: the run ends\n"},
        {std::string(1 << 20, '#') + "\n", nullptr, 2, "is larger than 1 MB: the run ends\n"},
        {"", "/dev/zero", 2, "is not a regular file: the run ends\n"},
        {"", "pipe", 2, "is not a regular file: the run ends\n"},
    };
    for (const auto& c : cases) {
        for (const char* gone : {"script.txt", "stderr.txt", "Veldrane_00000.tga"}) fs::remove(dir.file(gone));
        if (c.file && std::string(c.file) == "pipe")
 ASSERT_EQ(mkfifo(dir.file("script.txt").c_str(), 0600), 0);
        else if (c.file) fs::create_symlink(c.file, dir.file("script.txt"));
        EXPECT_EQ(finish(start(c.script)), c.code) << (c.file ? c.file : c.script.substr(0, 40));
        const std::string said = textOf(dir, "stderr.txt");
        if (c.said) { EXPECT_NE(said.find(c.said), std::string::npos) << said; }
        EXPECT_EQ(dir.exists("Veldrane_00000.tga"), c.screenshot) << c.script.substr(0, 40);
    }

}

TEST_F(GameRunTest, WithoutTheStartUpFileOrAUsableCardItReportsAndFails)
{
    // Without the list of compressed texture formats, or with one cut short, no card passes the
    // texture check: the one report names the list (and the format it lacks, not the card), and
    // the game cannot start.
    const struct {
        const char* file;
        const char* report;
        const char* last;
        const char* contents = nullptr;  // written instead of the file being removed
    } cases[] = {{"data/init.ini", "While reading data\\init.ini\r\ninit.ini missing",
                  "stopping as the game cannot start; see Veldrane.log"},
                 {"data/4CC.txt", "Failed to load data\\4cc.txt", "stopping as the game cannot start; see Veldrane.log"},
                 {"data/4CC.txt", "DXT3 was not read from data\\4CC.txt, so the card was not asked for it\r\n",
                  "stopping as the game cannot start; see Veldrane.log", "3\nDXT1\n"},
                 {"data/renderdefault.txt", "failed to open data\\renderdefault.txt",
                  "stopping as data\\renderdefault.txt cannot be opened; see Veldrane.log"}};
    for (const auto& c : cases) {
        copyData(dir);
        fs::remove(dir.file("Veldrane.log"));
        fs::remove(dir.file("stderr.txt"));
        fs::remove(dir.file(c.file));
        if (c.contents) dir.write(c.file, c.contents);
        EXPECT_EQ(finish(start("")), 1) << c.file;
        EXPECT_NE(runLog().find(c.report), std::string::npos) << runLog();
        for (const char* never : {"Not Supported:", "Next4CC", "DXT5"}) EXPECT_EQ(countOf(runLog(), never), 0) << runLog();
        EXPECT_NE(runLog().find("New Run"), std::string::npos);
        EXPECT_TRUE(lastLineSaid(c.last)) << textOf(dir, "stderr.txt");
    }
}

TEST_F(GameRunTest, MissingFilesAreNamedOnceEachAndTheFifthReportStopsTheRunAsAFailure)
{
    // Gone, a folder in its place, gone: the game runs on without them, each named once with the
    // material (and the model) that asked for it; so it does without the sample model.
    fs::remove(dir.file("data/font.tga"));
    fs::create_directory(dir.file("data/font.tga"));
    fs::remove(dir.file("data/models/demo.tga"));
    fs::remove(dir.file("data/lights/spot.tga"));
    fs::remove(dir.file("data/models/robot.rsm"));
    EXPECT_EQ(finish(start("5 close\n")), 0);
    for (const char* said : {"Missing File:data\\font.tga\r\nMaterial: data\\font.mtl\r\n",
                             "Missing File:data\\models\\demo.tga\r\nMaterial: data\\models\\demo.mtl\r\nRSM: ",
                             "Missing File:data\\lights\\spot.tga\r\nMaterial: data\\lights\\spotmap.mtl\r\n",
                             "RSM <data\\models\\robot.rsm> file not found"})
        EXPECT_EQ(countOf(runLog(), said), 1) << said << runLog();
    EXPECT_NE(textOf(dir, "stderr.txt").find("Model import error: File not found: data\\models\\robot.rsm"),
              std::string::npos);

    // Two more gone make five reports: the run stops, and says so.
    fs::remove(dir.file("Veldrane.log"));
    fs::remove(dir.file("data/lights/point.tga"));
    fs::remove(dir.file("data/overlay/hudfont.tga"));
    for (const char* cache : {"data/models/demo.xim", "data/lights/point.xim", "data/overlay/hudfont.xim"})
        fs::remove(dir.file(cache));
    EXPECT_EQ(finish(start("5 close\n")), 1);
    EXPECT_TRUE(lastLineSaid("stopping after five reports; see Veldrane.log"));
}

TEST_F(GameRunTest, AFullDiskIsReportedOnceAndLeavesNoPartFiles)
{
    // No level file or cache can be written whole: the run log hears it once and the game runs on.
    EXPECT_EQ(finishGame(startGame(dir, "5 close\n", 2048)), 0);
    EXPECT_EQ(countOf(runLog(), "Time: "), 1) << runLog();
    EXPECT_EQ(countOf(runLog(), "\r\nThe file is larger than the file-size limit allows\r\n"), 1) << runLog();
    for (const char* part : {"data/models/mipmaps/demo_g01.tga", "data/models/demo.xim"}) EXPECT_FALSE(dir.exists(part));
    for (const auto& e : fs::recursive_directory_iterator(dir.file("data")))
        EXPECT_NE(e.path().filename().string()[0], '~') << e.path();
}

TEST_F(GameRunTest, AScreenshotThatCannotBeWrittenWholeIsReportedAndLeavesNoPartFile)
{
    // Files may not grow past 600 KB: a shot of the window is larger.
    started.push_back(startGame(dir, "40 key F12\n50 close\n", 600 * 1024));
    EXPECT_EQ(finish(started.back(), 60), 0);
    EXPECT_EQ(countOf(runLog(), "Screenshot failed"), 1) << runLog();
    for (const auto& e : fs::directory_iterator(dir.path())) {
        const std::string name = e.path().filename().string();
        EXPECT_NE(name[0], '~') << name;
        EXPECT_NE(name.rfind("Veldrane_", 0), 0u) << name;
    }
}

TEST_F(GameRunTest, ADamagedTextureIsOneReportHoweverManyUseItAndTheRunGoesOn)
{
    // The demo's texture, which the sample mesh and the robot share: a cache cut short with its
    // source gone, then the source cut short without a cache. Each is said once, the run draws on
    // without it and ends as asked.
    ASSERT_EQ(finish(start("5 close\n")), 0);  // writes the caches
    const std::string source = dir.read("data/models/demo.tga"), cache = dir.read("data/models/demo.xim");
    const struct {
        std::string xim, tga;  // "": none
        const char* said;
    } cases[] = {{cache.substr(0, 5000), "", "Failed to read data\\models\\demo.xim. Try deleting this xim!!"},
                 {"", source.substr(0, 3000), "data\\models\\demo.tga"}};
    for (const auto& c : cases) {
        for (const char* gone : {"Veldrane.log", "Veldrane_00000.tga", "data/models/demo.xim", "data/models/demo.tga"})
            fs::remove(dir.file(gone));
        if (!c.xim.empty()) dir.write("data/models/demo.xim", c.xim);
        if (!c.tga.empty()) dir.write("data/models/demo.tga", c.tga);
        EXPECT_EQ(finish(start("100 key F12\n110 close\n")), 0) << c.said;
        EXPECT_EQ(countOf(runLog(), "Time: "), 1) << runLog();
        EXPECT_EQ(countOf(runLog(), c.said), 1) << runLog();
        EXPECT_TRUE(dir.exists("Veldrane_00000.tga")) << c.said;
    }
}

TEST_F(GameRunTest, AReadOnlyRunLogIsKeptAndLeftoversOfStoppedWritesGo)
{
    // A log nobody may write, longer than the game keeps, and a report to write to it.
    const std::string old(20000, 'x');
    dir.write("Veldrane.log", old);
    ASSERT_EQ(chmod(dir.file("Veldrane.log").c_str(), 0444), 0);
    fs::remove(dir.file("data/lights/spot.tga"));
    // Temporary files of the game's naming where it writes caches and levels: a process that has
    // ended (no id is that large), and this one, which runs; and a name of someone else's.
    char running[32];
    snprintf(running, sizeof running, "~%x.tmp", static_cast<unsigned>(getpid()));
    fs::create_directories(dir.file("data/models/mipmaps"));
    for (const char* folder : {"data/models/", "data/models/mipmaps/"})
        for (const std::string& name : {std::string("~7ffffffe.tmp"), std::string(running), std::string("~notes.tmp")})
            dir.write(folder + name, "half a file");

    EXPECT_EQ(finish(start("5 close\n")), 0);
    EXPECT_NE(textOf(dir, "stderr.txt").find("Missing File:data\\lights\\spot.tga"), std::string::npos);
    EXPECT_TRUE(runLog() == old) << runLog().size();
    EXPECT_FALSE(dir.exists("temp.tmp"));
    EXPECT_TRUE(dir.exists("data/models/demo.xim"));  // the run wrote where the leftovers lay
    for (const std::string folder : {"data/models/", "data/models/mipmaps/"}) {
        EXPECT_FALSE(dir.exists(folder + "~7ffffffe.tmp")) << folder;
        EXPECT_TRUE(dir.exists(folder + running)) << folder;
        EXPECT_TRUE(dir.exists(folder + "~notes.tmp")) << folder;
    }
}
