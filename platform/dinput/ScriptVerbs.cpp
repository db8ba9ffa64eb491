// PLATFORM_SCRIPT verbs of the input devices.
#include "platform/inputscript.h"

#include "InputWorld.h"
#include "platform/dikeys.h"
#include "platform/win32/files.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace platform::dinput {

namespace {

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
    for (const platform::DikName& key : platform::DIK_NAMES)
        if (text == key.name) return static_cast<int>(key.code);
    return -1;
}

int highestScriptPad(const char* path)
{
    if (!path || !*path) return -1;
    // Through the file calls, so that a script held in memory counts too.
    std::string text;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        const DWORD size = GetFileSize(file, nullptr);
        text.resize(size == INVALID_FILE_SIZE ? 0 : size);
        DWORD got = 0;
        if (!ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &got, nullptr)) got = 0;
        text.resize(got);
        CloseHandle(file);
    }
    // A byte-order mark would hide a first line's comment sign.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    std::istringstream in(text);
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
