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
    void SetUp() override { copyData(dir); }

    pid_t start(const std::string& script) { return startGame(dir, script); }
    int finish(pid_t pid, int seconds = 30) { return finishGame(pid, seconds); }

    bool running(pid_t pid)
    {
        int status;
        return waitpid(pid, &status, WNOHANG) == 0;
    }

    // True once a running copy holds the lock of its window class. Without a runtime folder the
    // lock lies in a folder of the user's own under the temporary one.
    bool waitForWindow(int seconds = 10)
    {
        const std::string lock = dir.file("window-locks-" + std::to_string(getuid()) + "/veldrane.window.lock");
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

    testsupport::TempDir dir;
};

}  // namespace

TEST_F(GameRunTest, RunsUntilTheScriptClosesItPlayingKeysPadsAndMouseWithoutReports)
{
    auto begun = std::chrono::steady_clock::now();
    EXPECT_EQ(finish(start("# a short run\n5 dik DIK_SPACE down\n6 dik SPACE up\n7 pad 0 axis x 0.5\n"
                           "8 pad 0 button 2 down\n9 mouse move 3 4\n10 key F12\n40 close\n")),
              0);
    // Forty paced passes of 30 ms each cannot take less than a second.
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
        const char* said;  // null: a screenshot instead
    } cases[] = {
        // The clock moves on while minimised: the restore comes, and the game draws again.
        {"5 minimise\n30 restore\n35 key F12\n40 close\n", 0, nullptr},
        {"garbled\n40 close\n", 2, "has a line that cannot be read: the run ends\n"},
        {nullptr, 2, "is larger than 1 MB: the run ends\n"},
    };
    for (const auto& c : cases) {
        fs::remove(dir.file("script.txt"));
        fs::remove(dir.file("stderr.txt"));
        if (!c.script) fs::create_symlink("/dev/zero", dir.file("script.txt"));
        EXPECT_EQ(finish(start(c.script ? c.script : "")), c.code) << (c.script ? c.script : "/dev/zero");
        const std::string said = textOf(dir, "stderr.txt");
        if (c.said)
            EXPECT_NE(said.find(c.said), std::string::npos) << said;
        else
            EXPECT_TRUE(dir.exists("Veldrane_00000.tga")) << c.script;
    }
}

TEST_F(GameRunTest, WithoutTheStartUpFileOrAUsableCardItReportsAndEnds)
{
    // Without the list of compressed texture formats no card passes the texture check.
    const std::pair<const char*, const char*> cases[] = {{"data/init.ini", "init.ini missing"},
                                                         {"data/4CC.txt", "No supported 3D card found"}};
    for (const auto& [file, report] : cases) {
        copyData(dir);
        fs::remove(dir.file("Veldrane.log"));
        fs::remove(dir.file(file));
        EXPECT_EQ(finish(start("")), 0) << file;
        EXPECT_NE(runLog().find(report), std::string::npos) << runLog();
        EXPECT_NE(runLog().find("New Run"), std::string::npos);
    }
}
