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

    // True once a running copy holds the lock of its window class. Without a runtime folder the
    // lock lies in a folder of the user's own under the temporary one (tmp/, which the game makes).
    bool waitForWindow(int seconds = 10)
    {
        const std::string lock = dir.file("tmp/window-locks-" + std::to_string(getuid()) + "/veldrane.window.lock");
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            int fd = open(lock.c_str(), O_RDONLY);
            if (fd >= 0) {
                bool held = flock(fd, LOCK_SH | LOCK_NB) != 0;
                close(fd);
                if (held) return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    std::string runLog() const { return textOf(dir, "Veldrane.log"); }

    // Whether the last line the game wrote on stderr is this one.
    bool lastLineSaid(const std::string& line) const
    {
        const std::string said = textOf(dir, "stderr.txt"), last = "\n" + line + "\n";
        return said.size() >= last.size() && said.compare(said.size() - last.size(), last.size(), last) == 0;
    }

    static int countOf(const std::string& text, const std::string& part)
    {
        int n = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
        return n;
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
    EXPECT_NE(dir.read("stderr.txt").find("Veldrane is already running: stopping this copy\n"), std::string::npos);

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
        if (c.said) EXPECT_NE(said.find(c.said), std::string::npos) << said;
        EXPECT_EQ(dir.exists("Veldrane_00000.tga"), c.screenshot) << c.script.substr(0, 40);
    }

}

TEST_F(GameRunTest, WithoutTheStartUpFileOrAUsableCardItReportsAndFails)
{
    // Without the list of compressed texture formats no card passes the texture check; its fifth
    // report ends the run before the start-up does.
    const struct {
        const char* file;
        const char* report;
        const char* last;
    } cases[] = {{"data/init.ini", "init.ini missing", "stopping as the game cannot start; see Veldrane.log"},
                 {"data/4CC.txt", "No supported 3D card found", "stopping after five reports; see Veldrane.log"}};
    for (const auto& c : cases) {
        copyData(dir);
        fs::remove(dir.file("Veldrane.log"));
        fs::remove(dir.file("stderr.txt"));
        fs::remove(dir.file(c.file));
        EXPECT_EQ(finish(start("")), 1) << c.file;
        EXPECT_NE(runLog().find(c.report), std::string::npos) << runLog();
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
    EXPECT_EQ(countOf(runLog(), "File Read Only?"), 1) << runLog();
    EXPECT_FALSE(dir.exists("data/models/mipmaps/demo_g01.tga"));
    for (const auto& e : fs::recursive_directory_iterator(dir.file("data")))
        EXPECT_NE(e.path().filename().string()[0], '~') << e.path();
}
