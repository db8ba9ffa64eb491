#include "Script.h"

#include "Backend.h"

#include "platform/script.h"
#include "platform/testing.h"
#include "platform/win32.h"

#include <cerrno>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform::windows {

namespace {

struct Event {
    DWORD frame;
    std::string verb;
    std::string arguments;
};

const size_t MAX_SCRIPT_BYTES = 1 << 20;

std::mutex scriptLock;
// By frame; a new event goes after those of its frame already there. A script of many thousand
// events costs a logarithm per event, not a shift of all the others.
std::multimap<DWORD, Event> pending;
DWORD frameCount = 0;

std::map<std::string, ScriptVerbHandler>& verbs()
{
    static std::map<std::string, ScriptVerbHandler> table;
    return table;
}

std::string trimmed(const std::string& text)
{
    size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return "";
    size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

int virtualKeyNamed(const std::string& name)
{
    static const std::map<std::string, int> named = {
        {"RETURN", VK_RETURN}, {"ENTER", VK_RETURN}, {"ESCAPE", VK_ESCAPE}, {"LEFT", VK_LEFT},
        {"UP", VK_UP},         {"RIGHT", VK_RIGHT},  {"DOWN", VK_DOWN},     {"SPACE", VK_SPACE},
        {"BACK", VK_BACK},     {"TAB", VK_TAB},      {"SHIFT", VK_SHIFT},   {"CONTROL", VK_CONTROL},
        {"MENU", VK_MENU},     {"DELETE", VK_DELETE}, {"INSERT", VK_INSERT}, {"HOME", VK_HOME},
        {"END", VK_END},       {"PRIOR", VK_PRIOR},  {"NEXT", VK_NEXT},     {"PAUSE", VK_PAUSE}};
    std::string upper;
    for (char c : name) upper += static_cast<char>(toupper(static_cast<unsigned char>(c)));
    if (upper.rfind("VK_", 0) == 0) upper = upper.substr(3);
    auto it = named.find(upper);
    if (it != named.end()) return it->second;
    if (upper.size() == 1 && isalnum(static_cast<unsigned char>(upper[0]))) return upper[0];
    if (upper.size() >= 2 && upper[0] == 'F' && isdigit(static_cast<unsigned char>(upper[1]))) {
        int n = atoi(upper.c_str() + 1);
        if (n >= 1 && n <= 12) return VK_F1 + n - 1;
    }
    char* end = nullptr;
    long value = strtol(name.c_str(), &end, 0);
    if (end && *end == 0 && !name.empty() && value > 0 && value < 256) return static_cast<int>(value);
    return -1;
}

bool verbClose(const char*)
{
    closeAll();
    return true;
}

// Adds an event keeping the frame order (events of one frame stay in the order they came).
void schedule(Event event)
{
    std::lock_guard<std::mutex> guard(scriptLock);
    const DWORD frame = event.frame;
    pending.emplace(frame, std::move(event));
}

// A tap as a player's: the release comes a frame after the press, so the game sees the key down.
bool verbKey(const char* arguments)
{
    int key = virtualKeyNamed(trimmed(arguments));
    HWND target = scriptTarget();
    if (key < 0 || !target) return false;
    userKey(target, key, true, false, false);
    schedule({scriptFrame() + 1, "keyup", trimmed(arguments)});
    return true;
}

bool verbKeyState(const char* arguments, bool down)
{
    int key = virtualKeyNamed(trimmed(arguments));
    HWND target = scriptTarget();
    if (key < 0 || !target) return false;
    userKey(target, key, down, false, false);
    return true;
}

bool verbKeyDown(const char* arguments) { return verbKeyState(arguments, true); }
bool verbKeyUp(const char* arguments) { return verbKeyState(arguments, false); }

bool verbText(const char* arguments)
{
    HWND target = scriptTarget();
    if (!target) return false;
    for (const char* c = arguments; *c; ++c) userChar(target, static_cast<unsigned char>(*c));
    return true;
}

bool verbFocus(const char* arguments)
{
    std::string state = trimmed(arguments);
    HWND target = scriptTarget();
    if (!target || (state != "on" && state != "off")) return false;
    // A user switches to a minimised application by restoring it (the task bar, Alt-Tab).
    if (state == "on") userMinimised(target, false);
    userFocus(target, state == "on");
    return true;
}

bool verbMinimise(const char*)
{
    HWND target = scriptTarget();
    if (!target) return false;
    userMinimised(target, true);
    return true;
}

bool verbRestore(const char*)
{
    HWND target = scriptTarget();
    if (!target) return false;
    userMinimised(target, false);
    return true;
}

void registerBuiltins()
{
    static bool done = false;
    if (done) return;
    done = true;
    verbs()["close"] = verbClose;
    verbs()["key"] = verbKey;
    verbs()["keydown"] = verbKeyDown;
    verbs()["keyup"] = verbKeyUp;
    verbs()["text"] = verbText;
    verbs()["focus"] = verbFocus;
    verbs()["minimise"] = verbMinimise;
    verbs()["restore"] = verbRestore;
}

bool parse(const char* text, std::vector<Event>& out)
{
    // Some editors start a text file with a UTF-8 byte-order mark: it is no part of the first line.
    if (text && std::strncmp(text, "\xEF\xBB\xBF", 3) == 0) text += 3;
    std::istringstream in(text ? text : "");
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.resize(hash);
        line = trimmed(line);
        if (line.empty()) continue;
        std::istringstream fields(line);
        long long frame = -1;
        std::string verb;
        if (!(fields >> frame) || frame < 0 || frame > 0xFFFFFFFFll || !(fields >> verb)) {
            fprintf(stderr, "PLATFORM_SCRIPT line %d unreadable: %s\n", number, line.c_str());
            return false;
        }
        std::string rest;
        std::getline(fields, rest);
        out.push_back({static_cast<DWORD>(frame), verb, trimmed(rest)});
    }
    return true;
}

void install(std::vector<Event>& events)
{
    for (Event& e : events) schedule(std::move(e));
}

}  // namespace

bool scriptTick(bool waiting)
{
    // Only the pump of the thread that owns the main window moves the clock.
    if (!scriptTarget()) return false;
    std::vector<Event> due;
    {
        std::lock_guard<std::mutex> guard(scriptLock);
        if (waiting && pending.empty()) return false;
        ++frameCount;
        while (!pending.empty() && pending.begin()->first <= frameCount) {
            due.push_back(std::move(pending.begin()->second));
            pending.erase(pending.begin());
        }
    }
    registerBuiltins();
    for (const Event& e : due) {
        auto it = verbs().find(e.verb);
        if (it == verbs().end()) {
            fprintf(stderr, "PLATFORM_SCRIPT frame %u: unknown event \"%s\"\n", e.frame, e.verb.c_str());
            continue;
        }
        if (!it->second(e.arguments.c_str()))
            fprintf(stderr, "PLATFORM_SCRIPT frame %u: cannot run \"%s %s\"\n", e.frame, e.verb.c_str(),
                    e.arguments.c_str());
    }
    return !due.empty();
}

void resetScript()
{
    std::lock_guard<std::mutex> guard(scriptLock);
    pending.clear();
    frameCount = 0;
}

void loadScriptFromEnvironment()
{
    const char* name = getenv("PLATFORM_SCRIPT");
    if (!name || !*name) return;
    // A run whose script cannot be played whole would never end: it ends at once instead.
    auto refuse = [name](const char* why) {
        fprintf(stderr, "PLATFORM_SCRIPT %s %s: the run ends\n", name, why);
        fflush(stderr);
        _exit(2);
    };
    // Opened without waiting, so that a pipe with no writer cannot hold up the start.
    const int fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) refuse("cannot be read");
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        refuse("is not a regular file");
    }
    std::string text(MAX_SCRIPT_BYTES + 1, '\0');
    size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            close(fd);
            refuse("cannot be read");
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    close(fd);
    if (got > MAX_SCRIPT_BYTES) refuse("is larger than 1 MB");
    text.resize(got);
    if (text.find('\0') != std::string::npos) refuse("is not text");
    if (!platform::testing::loadScript(text.c_str())) refuse("has a line that cannot be read");
}

}  // namespace platform::windows

namespace platform {

void registerScriptVerb(const char* verb, ScriptVerbHandler handler)
{
    windows::registerBuiltins();
    if (verb && handler) windows::verbs()[verb] = handler;
}

DWORD scriptFrame()
{
    std::lock_guard<std::mutex> guard(windows::scriptLock);
    return windows::frameCount;
}

}  // namespace platform

namespace platform::testing {

bool loadScript(const char* text)
{
    std::vector<windows::Event> events;
    if (!windows::parse(text, events)) return false;
    windows::install(events);
    return true;
}

DWORD scriptFrame() { return platform::scriptFrame(); }

}  // namespace platform::testing
