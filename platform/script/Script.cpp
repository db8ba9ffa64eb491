#include "platform/script.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

namespace platform::script {

namespace {

struct KeyName {
    const char* name;
    int code;
};

// Scan codes of the keyboard, PC set 1 (extended keys 0x80 + code).
const KeyName keyNames[] = {
    {"ESCAPE", 0x01}, {"1", 0x02}, {"2", 0x03}, {"3", 0x04}, {"4", 0x05}, {"5", 0x06}, {"6", 0x07},
    {"7", 0x08}, {"8", 0x09}, {"9", 0x0A}, {"0", 0x0B}, {"MINUS", 0x0C}, {"EQUALS", 0x0D}, {"BACK", 0x0E},
    {"TAB", 0x0F}, {"Q", 0x10}, {"W", 0x11}, {"E", 0x12}, {"R", 0x13}, {"T", 0x14}, {"Y", 0x15},
    {"U", 0x16}, {"I", 0x17}, {"O", 0x18}, {"P", 0x19}, {"LBRACKET", 0x1A}, {"RBRACKET", 0x1B},
    {"RETURN", 0x1C}, {"LCONTROL", 0x1D}, {"A", 0x1E}, {"S", 0x1F}, {"D", 0x20}, {"F", 0x21},
    {"G", 0x22}, {"H", 0x23}, {"J", 0x24}, {"K", 0x25}, {"L", 0x26}, {"SEMICOLON", 0x27},
    {"APOSTROPHE", 0x28}, {"GRAVE", 0x29}, {"LSHIFT", 0x2A}, {"BACKSLASH", 0x2B}, {"Z", 0x2C},
    {"X", 0x2D}, {"C", 0x2E}, {"V", 0x2F}, {"B", 0x30}, {"N", 0x31}, {"M", 0x32}, {"COMMA", 0x33},
    {"PERIOD", 0x34}, {"SLASH", 0x35}, {"RSHIFT", 0x36}, {"MULTIPLY", 0x37}, {"LMENU", 0x38},
    {"SPACE", 0x39}, {"CAPITAL", 0x3A}, {"F1", 0x3B}, {"F2", 0x3C}, {"F3", 0x3D}, {"F4", 0x3E},
    {"F5", 0x3F}, {"F6", 0x40}, {"F7", 0x41}, {"F8", 0x42}, {"F9", 0x43}, {"F10", 0x44},
    {"NUMLOCK", 0x45}, {"SCROLL", 0x46}, {"NUMPAD7", 0x47}, {"NUMPAD8", 0x48}, {"NUMPAD9", 0x49},
    {"SUBTRACT", 0x4A}, {"NUMPAD4", 0x4B}, {"NUMPAD5", 0x4C}, {"NUMPAD6", 0x4D}, {"ADD", 0x4E},
    {"NUMPAD1", 0x4F}, {"NUMPAD2", 0x50}, {"NUMPAD3", 0x51}, {"NUMPAD0", 0x52}, {"DECIMAL", 0x53},
    {"OEM_102", 0x56}, {"F11", 0x57}, {"F12", 0x58}, {"F13", 0x64}, {"F14", 0x65}, {"F15", 0x66},
    {"NUMPADEQUALS", 0x8D}, {"NUMPADENTER", 0x9C}, {"RCONTROL", 0x9D}, {"NUMPADCOMMA", 0xB3},
    {"DIVIDE", 0xB5}, {"SYSRQ", 0xB7}, {"RMENU", 0xB8}, {"PAUSE", 0xC5}, {"HOME", 0xC7}, {"UP", 0xC8},
    {"PRIOR", 0xC9}, {"LEFT", 0xCB}, {"RIGHT", 0xCD}, {"END", 0xCF}, {"DOWN", 0xD0}, {"NEXT", 0xD1},
    {"INSERT", 0xD2}, {"DELETE", 0xD3}, {"LWIN", 0xDB}, {"RWIN", 0xDC}, {"APPS", 0xDD},
};

const char* const axisNames[AXIS_COUNT] = {"x", "y", "z", "rx", "ry", "rz", "slider0", "slider1"};

bool parseInteger(const std::string& text, long minimum, long maximum, long* out)
{
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || value < minimum || value > maximum) return false;
    *out = value;
    return true;
}

bool parseUpDown(const std::string& text, bool* down)
{
    if (text == "down") *down = true;
    else if (text == "up") *down = false;
    else return false;
    return true;
}

std::mutex activeLock;
Script activeScript;
bool activeLoaded = false;
uint32_t frameNumber = 0;
uint32_t generation = 1;

void loadActiveLocked()
{
    if (activeLoaded) return;
    activeLoaded = true;
    const char* path = std::getenv("PLATFORM_SCRIPT");
    if (!path || !*path) return;
    std::vector<std::string> errors;
    if (!activeScript.load(path, &errors))
        std::fprintf(stderr, "PLATFORM_SCRIPT: cannot read %s\n", path);
    for (const std::string& error : errors) std::fprintf(stderr, "PLATFORM_SCRIPT: %s\n", error.c_str());
}

}  // namespace

int keyCodeFromName(const std::string& name)
{
    long number;
    if (!name.empty() && name[0] >= '0' && name[0] <= '9' && name.size() > 1 &&
        parseInteger(name, 1, 255, &number))
        return static_cast<int>(number);
    std::string bare = name.compare(0, 4, "DIK_") == 0 ? name.substr(4) : name;
    for (const KeyName& key : keyNames)
        if (bare == key.name) return key.code;
    return -1;
}

bool parseLine(const std::string& line, Event* event, std::string* error)
{
    error->clear();
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    if (words.empty() || words[0][0] == '#') return false;

    auto fail = [&](const char* what) {
        *error = what;
        return false;
    };
    long number;
    Event e;
    if (words.size() < 3 || words[0] != "frame") return fail("expected 'frame <n> <event>'");
    if (!parseInteger(words[1], 0, 0xFFFFFFFFL, &number)) return fail("bad frame number");
    e.frame = static_cast<uint32_t>(number);
    const std::string& what = words[2];
    const size_t n = words.size();

    if (what == "key") {
        if (n != 5) return fail("expected 'key <name> down|up'");
        e.kind = EVENT_KEY;
        e.code = keyCodeFromName(words[3]);
        if (e.code < 0) return fail("unknown key name");
        if (!parseUpDown(words[4], &e.down)) return fail("expected down or up");
    } else if (what == "pad") {
        if (n < 6) return fail("expected 'pad <i> axis|button|pov ...'");
        if (!parseInteger(words[3], 0, 3, &number)) return fail("pad index outside 0..3");
        e.device = static_cast<int>(number);
        const std::string& part = words[4];
        if (part == "axis") {
            if (n != 7) return fail("expected 'axis <name> <value>'");
            e.kind = EVENT_PAD_AXIS;
            e.code = -1;
            for (int a = 0; a < AXIS_COUNT; ++a)
                if (words[5] == axisNames[a]) e.code = a;
            if (e.code < 0) return fail("unknown axis name");
            char* end = nullptr;
            e.value = std::strtof(words[6].c_str(), &end);
            if (*end != '\0' || !(e.value >= -1.0f && e.value <= 1.0f)) return fail("axis value outside -1..1");
        } else if (part == "button") {
            if (n != 7) return fail("expected 'button <b> down|up'");
            e.kind = EVENT_PAD_BUTTON;
            if (!parseInteger(words[5], 0, 31, &number)) return fail("button outside 0..31");
            e.code = static_cast<int>(number);
            if (!parseUpDown(words[6], &e.down)) return fail("expected down or up");
        } else if (part == "pov") {
            if (n != 7) return fail("expected 'pov <k> <angle>|centre'");
            e.kind = EVENT_PAD_POV;
            if (!parseInteger(words[5], 0, 3, &number)) return fail("pov outside 0..3");
            e.code = static_cast<int>(number);
            if (words[6] == "centre") e.x = -1;
            else if (parseInteger(words[6], 0, 35999, &number)) e.x = static_cast<int32_t>(number);
            else return fail("pov angle outside 0..35999");
        } else {
            return fail("unknown pad event");
        }
    } else if (what == "mouse") {
        if (n >= 4 && words[3] == "move") {
            if (n != 6 && n != 7) return fail("expected 'mouse move <dx> <dy> [<dz>]'");
            e.kind = EVENT_MOUSE_MOVE;
            int32_t* targets[3] = {&e.x, &e.y, &e.z};
            for (size_t i = 4; i < n; ++i) {
                if (!parseInteger(words[i], -100000, 100000, &number)) return fail("bad mouse movement");
                *targets[i - 4] = static_cast<int32_t>(number);
            }
        } else if (n == 6 && words[3] == "button") {
            e.kind = EVENT_MOUSE_BUTTON;
            if (!parseInteger(words[4], 0, 7, &number)) return fail("mouse button outside 0..7");
            e.code = static_cast<int>(number);
            if (!parseUpDown(words[5], &e.down)) return fail("expected down or up");
        } else {
            return fail("unknown mouse event");
        }
    } else if (what == "focus") {
        if (n != 4 || (words[3] != "in" && words[3] != "out")) return fail("expected 'focus in|out'");
        e.kind = EVENT_FOCUS;
        e.down = words[3] == "in";
    } else if (what == "close") {
        if (n != 3) return fail("unexpected words after 'close'");
        e.kind = EVENT_CLOSE;
    } else {
        return fail("unknown event");
    }
    *event = e;
    return true;
}

bool Script::load(const std::string& path, std::vector<std::string>* errors)
{
    std::ifstream in(path);
    if (!in) return false;
    std::string line, error;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        Event event;
        if (parseLine(line, &event, &error)) add(event);
        else if (!error.empty() && errors) errors->push_back("line " + std::to_string(number) + ": " + error);
    }
    return true;
}

void Script::add(const Event& event)
{
    auto at = std::upper_bound(m_events.begin(), m_events.end(), event,
                               [](const Event& a, const Event& b) { return a.frame < b.frame; });
    m_events.insert(at, event);
}

Script& active()
{
    std::lock_guard<std::mutex> lock(activeLock);
    loadActiveLocked();
    return activeScript;
}

void setActive(const Script& script)
{
    std::lock_guard<std::mutex> lock(activeLock);
    activeLoaded = true;
    activeScript = script;
    frameNumber = 0;
    ++generation;
}

uint32_t currentFrame()
{
    std::lock_guard<std::mutex> lock(activeLock);
    return frameNumber;
}

void advanceFrame()
{
    std::lock_guard<std::mutex> lock(activeLock);
    ++frameNumber;
}

bool Reader::next(Event* event)
{
    std::lock_guard<std::mutex> lock(activeLock);
    loadActiveLocked();
    if (m_generation != generation) {
        m_generation = generation;
        m_position = 0;
    }
    const std::vector<Event>& events = activeScript.events();
    while (m_position < events.size() && events[m_position].frame <= frameNumber) {
        const Event& candidate = events[m_position++];
        if (candidate.kind & m_kinds) {
            *event = candidate;
            return true;
        }
    }
    return false;
}

}  // namespace platform::script
