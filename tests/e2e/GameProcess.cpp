#include "GameProcess.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

pid_t startGame(const testsupport::TempDir& dir, const std::string& script, long fileSizeLimit, bool recordAudio,
                bool asUser, long openFileLimit)
{
    if (!script.empty()) dir.write("script.txt", script);
    pid_t pid = fork();
    if (pid == 0) {
        // The game must keep a write past the size limit from ending it, whatever it inherits.
        signal(SIGXFSZ, SIG_DFL);
        if (fileSizeLimit >= 0) {
            const rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        // Root passes the files' rights by these two capabilities alone: out of the bounding set,
        // the game never has them. An ordinary user has neither, and may not drop them.
        if (asUser)
            for (int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) prctl(PR_CAPBSET_DROP, capability, 0, 0, 0);
        if (chdir(dir.path().c_str()) != 0) _exit(127);
        int err = open("stderr.txt", O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (err >= 0) dup2(err, 2);
        close_range(3, ~0u, 0);
        if (openFileLimit >= 0) {
            const rlimit limit{static_cast<rlim_t>(openFileLimit), static_cast<rlim_t>(openFileLimit)};
            setrlimit(RLIMIT_NOFILE, &limit);
        }
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        setenv("SDL_AUDIODRIVER", recordAudio ? "disk" : "dummy", 1);
        if (recordAudio) setenv("SDL_DISKAUDIOFILE", dir.file("audio.raw").c_str(), 1);
        // The single-copy lock falls back on a folder of the user's own under the temporary folder,
        // made with its missing parent.
        unsetenv("PLATFORM_LOCK_DIR");
        unsetenv("XDG_RUNTIME_DIR");
        setenv("TMPDIR", dir.file("tmp").c_str(), 1);
        if (dir.exists("script.txt"))
            setenv("PLATFORM_SCRIPT", dir.file("script.txt").c_str(), 1);
        else
            unsetenv("PLATFORM_SCRIPT");
        execl(VELDRANE_BINARY, "veldrane", static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// Without a runtime folder the lock lies in a folder of the user's own under the temporary one
// (tmp/, which the game makes).
bool waitForWindow(const testsupport::TempDir& dir, int seconds)
{
    const std::string lock = dir.file("tmp/window-locks-" + std::to_string(getuid()) + "/veldrane.window.lock");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        const int fd = open(lock.c_str(), O_RDONLY);
        if (fd >= 0) {
            const bool held = flock(fd, LOCK_SH | LOCK_NB) != 0;
            close(fd);
            if (held) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

int finishGame(pid_t pid, int seconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void copyData(const testsupport::TempDir& dir)
{
    testsupport::copyDataFolder(VELDRANE_DATA, dir.file("data"));
}

bool withoutLoadingScreen(const testsupport::TempDir& dir)
{
    std::string ini = dir.read("data/init.ini");
    const size_t at = ini.find("LoadingFrames");
    if (at == std::string::npos) return false;
    ini.replace(at, ini.find('\n', at) - at, "LoadingFrames = <int> 0");
    dir.write("data/init.ini", ini);
    return true;
}

std::string textOf(const testsupport::TempDir& dir, const std::string& name)
{
    return dir.exists(name) ? dir.read(name) : "";
}

int countOf(const std::string& text, const std::string& part)
{
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}
