// PLATFORM_SCRIPT verbs of the input devices.
#include "platform/inputscript.h"

#include "InputWorld.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace platform::dinput {

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

const char* const axisNames[8] = {"x", "y", "z", "rx", "ry", "rz", "slider0", "slider1"};

std::vector<std::string> words(const char* arguments)
{
    std::vector<std::string> list;
    std::istringstream in(arguments ? arguments : "");
    for (std::string word; in >> word;) list.push_back(word);
    return list;
}

bool integer(const std::string& text, long minimum, long maximum, long* out)
{
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || value < minimum || value > maximum) return false;
    *out = value;
    return true;
}

bool upOrDown(const std::string& text, bool* down)
{
    if (text == "down") *down = true;
    else if (text == "up") *down = false;
    else return false;
    return true;
}

bool dikVerb(const char* arguments)
{
    std::vector<std::string> w = words(arguments);
    bool down;
    if (w.size() != 2 || !upOrDown(w[1], &down)) return false;
    int code = scanCodeFromName(w[0].c_str());
    if (code < 0) return false;
    feedKey(code, down);
    return true;
}

bool padVerb(const char* arguments)
{
    std::vector<std::string> w = words(arguments);
    long pad, index;
    if (w.size() != 4 || !integer(w[0], 0, 3, &pad)) return false;
    World& world = dinput::world();
    std::lock_guard<std::recursive_mutex> lock(world.lock);
    if (static_cast<size_t>(pad) >= world.pads.size() || !world.pads[pad].scripted) return false;
    Pad& p = world.pads[pad];
    if (w[1] == "axis") {
        for (int a = 0; a < 8; ++a) {
            if (w[2] != axisNames[a]) continue;
            char* end = nullptr;
            float value = std::strtof(w[3].c_str(), &end);
            if (*end != '\0' || !(value >= -1.0f && value <= 1.0f)) return false;
            p.axisValue[a] = value;
            return true;
        }
        return false;
    }
    if (w[1] == "button") {
        bool down;
        if (!integer(w[2], 0, 31, &index) || !upOrDown(w[3], &down)) return false;
        p.button[index] = down ? 0x80 : 0;
        return true;
    }
    if (w[1] == "pov") {
        long angle = -1;
        if (!integer(w[2], 0, 3, &index)) return false;
        if (w[3] != "centre" && !integer(w[3], 0, 35999, &angle)) return false;
        p.pov[index] = static_cast<DWORD>(angle);
        return true;
    }
    return false;
}

bool mouseVerb(const char* arguments)
{
    std::vector<std::string> w = words(arguments);
    if (w.empty()) return false;
    if (w[0] == "move" && (w.size() == 3 || w.size() == 4)) {
        long delta[3] = {0, 0, 0};
        for (size_t i = 1; i < w.size(); ++i)
            if (!integer(w[i], -100000, 100000, &delta[i - 1])) return false;
        feedMouseMove(delta[0], delta[1], delta[2]);
        return true;
    }
    long button;
    bool down;
    if (w[0] == "button" && w.size() == 3 && integer(w[1], 0, 7, &button) && upOrDown(w[2], &down)) {
        feedMouseButton(static_cast<int>(button), down);
        return true;
    }
    return false;
}

}  // namespace

const InputScriptVerb inputScriptVerbs[3] = {{"dik", dikVerb}, {"pad", padVerb}, {"mouse", mouseVerb}};

int scanCodeFromName(const char* name)
{
    if (!name) return -1;
    std::string text = name;
    long number;
    if (text.size() > 1 && text[0] >= '0' && text[0] <= '9' && integer(text, 1, 255, &number))
        return static_cast<int>(number);
    if (text.compare(0, 4, "DIK_") == 0) text = text.substr(4);
    for (const KeyName& key : keyNames)
        if (text == key.name) return key.code;
    return -1;
}

int highestScriptPad(const char* path)
{
    if (!path || !*path) return -1;
    std::ifstream in(path);
    int highest = -1;
    long pad;
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> w = words(line.c_str());
        if (w.size() >= 3 && w[0][0] != '#' && w[1] == "pad" && integer(w[2], 0, 3, &pad) && pad > highest)
            highest = static_cast<int>(pad);
    }
    return highest;
}

}  // namespace platform::dinput
