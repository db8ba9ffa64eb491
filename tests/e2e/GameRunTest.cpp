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
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class GameRunTest : public ::testing::Test {
protected:
    void SetUp() override { fs::copy(VELDRANE_DATA, dir.file("data"), fs::copy_options::recursive); }

    pid_t start(const std::string& script) { return startGame(dir, script); }
    int finish(pid_t pid, int seconds = 30) { return finishGame(pid, seconds); }

    bool running(pid_t pid)
    {
        int status;
        return waitpid(pid, &status, WNOHANG) == 0;
    }

    // True once a running copy holds the lock of its window class.
    bool waitForWindow(int seconds = 10)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            int fd = open(lockFile().c_str(), O_RDONLY);
            if (fd >= 0) {
                bool held = flock(fd, LOCK_SH | LOCK_NB) != 0;
                close(fd);
                if (held) return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    // Without a runtime folder the lock lies in a folder of the user's own under the temporary one.
    std::string lockFile() const { return dir.file("window-locks-" + std::to_string(getuid()) + "/veldrane.window.lock"); }

    std::string runLog() const { return dir.exists("Veldrane.log") ? dir.read("Veldrane.log") : ""; }

    testsupport::TempDir dir;
};

}  // namespace

TEST_F(GameRunTest, RunsUntilTheScriptClosesIt)
{
    auto begun = std::chrono::steady_clock::now();
    pid_t game = start("# a short run\n40 close\n");
    EXPECT_EQ(finish(game), 0);
    // Forty paced passes of 30 ms each cannot take less than a second.
    EXPECT_GE(std::chrono::steady_clock::now() - begun, std::chrono::milliseconds(1000));
    EXPECT_EQ(runLog().find("Assertion Failed"), std::string::npos) << runLog();
}

TEST_F(GameRunTest, ASecondCopyEndsAtOnceAndTheFirstClosesOnSigterm)
{
    pid_t first = start("");
    ASSERT_TRUE(waitForWindow());
    ASSERT_TRUE(running(first));
    pid_t second = start("");
    EXPECT_EQ(finish(second, 10), 0);
    EXPECT_TRUE(running(first));
    EXPECT_NE(dir.read("stderr.txt").find("Veldrane is already running\n"), std::string::npos);

    kill(first, SIGTERM);
    EXPECT_EQ(finish(first), 0);

    // With the first gone, a new copy runs normally.
    pid_t third = start("5 close\n");
    EXPECT_EQ(finish(third), 0);
}

TEST_F(GameRunTest, EveryScriptEndsItsRun)
{
    const struct {
        const char* script;  // null: the endless /dev/zero
        int code;
        const char* said;
    } cases[] = {
        {"5 minimise\n30 restore\n40 close\n", 0, ""},  // the clock moves on while minimised
        {"10 key F12\n30 close\n", 0, ""},                // a tap as long as a frame takes a screenshot
        {"garbled\n40 close\n", 2, "has a line that cannot be read: the run ends\n"},
        {nullptr, 2, "is larger than 1 MB: the run ends\n"},
    };
    for (const auto& c : cases) {
        fs::remove(dir.file("script.txt"));
        fs::remove(dir.file("stderr.txt"));
        if (!c.script) fs::create_symlink("/dev/zero", dir.file("script.txt"));
        EXPECT_EQ(finish(start(c.script ? c.script : "")), c.code) << (c.script ? c.script : "/dev/zero");
        const std::string said = dir.exists("stderr.txt") ? dir.read("stderr.txt") : "";
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
    }
    EXPECT_TRUE(dir.exists("Veldrane_00000.tga"));
}

TEST_F(GameRunTest, WithoutInitIniItReportsAndEnds)
{
    fs::remove(dir.file("data/init.ini"));
    pid_t game = start("");
    EXPECT_EQ(finish(game), 0);
    EXPECT_NE(runLog().find("init.ini missing"), std::string::npos) << runLog();
    EXPECT_NE(runLog().find("New Run"), std::string::npos);
}

TEST_F(GameRunTest, TheScriptPlaysKeysPadsAndMouse)
{
    pid_t game = start("5 dik DIK_SPACE down\n6 dik SPACE up\n7 pad 0 axis x 0.5\n8 pad 0 button 2 down\n"
                       "9 mouse move 3 4\n10 key RETURN\n30 close\n");
    EXPECT_EQ(finish(game), 0);
    const std::string said = dir.exists("stderr.txt") ? dir.read("stderr.txt") : "";
    EXPECT_EQ(said.find("PLATFORM_SCRIPT"), std::string::npos) << said;
    EXPECT_EQ(runLog().find("Assertion Failed"), std::string::npos) << runLog();
}

TEST_F(GameRunTest, WithoutAUsableCardItReportsAndEndsCleanly)
{
    // Without the list of compressed texture formats no card passes the texture check.
    fs::remove(dir.file("data/4CC.txt"));
    pid_t game = start("");
    EXPECT_EQ(finish(game), 0);
    EXPECT_NE(runLog().find("No supported 3D card found"), std::string::npos) << runLog();
    EXPECT_NE(runLog().find("New Run"), std::string::npos);
}

TEST_F(GameRunTest, TheDeviceComesUpHeadlessAndTheRunEndsWithoutReports)
{
    pid_t game = start("10 close\n");
    EXPECT_EQ(finish(game), 0);
    EXPECT_EQ(runLog(), "");  // no message of any kind reached the run log
}
