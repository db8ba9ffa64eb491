#include "input/InputDevices.h"

#include <cstring>

namespace {

struct SKeyName {
    const char* name;
    DWORD code;
};

// The names that configuration files may use, with their DirectInput scan codes.
const SKeyName keyNames[] = {
    {"DIK_ESCAPE", DIK_ESCAPE},
    {"DIK_1", DIK_1},
    {"DIK_2", DIK_2},
    {"DIK_3", DIK_3},
    {"DIK_4", DIK_4},
    {"DIK_5", DIK_5},
    {"DIK_6", DIK_6},
    {"DIK_7", DIK_7},
    {"DIK_8", DIK_8},
    {"DIK_9", DIK_9},
    {"DIK_0", DIK_0},
    {"DIK_MINUS", DIK_MINUS},
    {"DIK_EQUALS", DIK_EQUALS},
    {"DIK_BACK", DIK_BACK},
    {"DIK_TAB", DIK_TAB},
    {"DIK_Q", DIK_Q},
    {"DIK_W", DIK_W},
    {"DIK_E", DIK_E},
    {"DIK_R", DIK_R},
    {"DIK_T", DIK_T},
    {"DIK_Y", DIK_Y},
    {"DIK_U", DIK_U},
    {"DIK_I", DIK_I},
    {"DIK_O", DIK_O},
    {"DIK_P", DIK_P},
    {"DIK_LBRACKET", DIK_LBRACKET},
    {"DIK_RBRACKET", DIK_RBRACKET},
    {"DIK_RETURN", DIK_RETURN},
    {"DIK_LCONTROL", DIK_LCONTROL},
    {"DIK_A", DIK_A},
    {"DIK_S", DIK_S},
    {"DIK_D", DIK_D},
    {"DIK_F", DIK_F},
    {"DIK_G", DIK_G},
    {"DIK_H", DIK_H},
    {"DIK_J", DIK_J},
    {"DIK_K", DIK_K},
    {"DIK_L", DIK_L},
    {"DIK_SEMICOLON", DIK_SEMICOLON},
    {"DIK_APOSTROPHE", DIK_APOSTROPHE},
    {"DIK_GRAVE", DIK_GRAVE},
    {"DIK_LSHIFT", DIK_LSHIFT},
    {"DIK_BACKSLASH", DIK_BACKSLASH},
    {"DIK_Z", DIK_Z},
    {"DIK_X", DIK_X},
    {"DIK_C", DIK_C},
    {"DIK_V", DIK_V},
    {"DIK_B", DIK_B},
    {"DIK_N", DIK_N},
    {"DIK_M", DIK_M},
    {"DIK_COMMA", DIK_COMMA},
    {"DIK_PERIOD", DIK_PERIOD},
    {"DIK_SLASH", DIK_SLASH},
    {"DIK_RSHIFT", DIK_RSHIFT},
    {"DIK_MULTIPLY", DIK_MULTIPLY},
    {"DIK_LMENU", DIK_LMENU},
    {"DIK_SPACE", DIK_SPACE},
    {"DIK_CAPITAL", DIK_CAPITAL},
    {"DIK_F1", DIK_F1},
    {"DIK_F2", DIK_F2},
    {"DIK_F3", DIK_F3},
    {"DIK_F4", DIK_F4},
    {"DIK_F5", DIK_F5},
    {"DIK_F6", DIK_F6},
    {"DIK_F7", DIK_F7},
    {"DIK_F8", DIK_F8},
    {"DIK_F9", DIK_F9},
    {"DIK_F10", DIK_F10},
    {"DIK_NUMLOCK", DIK_NUMLOCK},
    {"DIK_SCROLL", DIK_SCROLL},
    {"DIK_NUMPAD7", DIK_NUMPAD7},
    {"DIK_NUMPAD8", DIK_NUMPAD8},
    {"DIK_NUMPAD9", DIK_NUMPAD9},
    {"DIK_SUBTRACT", DIK_SUBTRACT},
    {"DIK_NUMPAD4", DIK_NUMPAD4},
    {"DIK_NUMPAD5", DIK_NUMPAD5},
    {"DIK_NUMPAD6", DIK_NUMPAD6},
    {"DIK_ADD", DIK_ADD},
    {"DIK_NUMPAD1", DIK_NUMPAD1},
    {"DIK_NUMPAD2", DIK_NUMPAD2},
    {"DIK_NUMPAD3", DIK_NUMPAD3},
    {"DIK_NUMPAD0", DIK_NUMPAD0},
    {"DIK_DECIMAL", DIK_DECIMAL},
    {"DIK_F11", DIK_F11},
    {"DIK_F12", DIK_F12},
    {"DIK_F13", DIK_F13},
    {"DIK_F14", DIK_F14},
    {"DIK_F15", DIK_F15},
    {"DIK_NUMPADEQUALS", DIK_NUMPADEQUALS},
    {"DIK_NUMPADENTER", DIK_NUMPADENTER},
    {"DIK_RCONTROL", DIK_RCONTROL},
    {"DIK_NUMPADCOMMA", DIK_NUMPADCOMMA},
    {"DIK_DIVIDE", DIK_DIVIDE},
    {"DIK_SYSRQ", DIK_SYSRQ},
    {"DIK_RMENU", DIK_RMENU},
    {"DIK_PAUSE", DIK_PAUSE},
    {"DIK_HOME", DIK_HOME},
    {"DIK_UP", DIK_UP},
    {"DIK_PRIOR", DIK_PRIOR},
    {"DIK_LEFT", DIK_LEFT},
    {"DIK_RIGHT", DIK_RIGHT},
    {"DIK_END", DIK_END},
    {"DIK_DOWN", DIK_DOWN},
    {"DIK_NEXT", DIK_NEXT},
    {"DIK_INSERT", DIK_INSERT},
    {"DIK_DELETE", DIK_DELETE},
    {"DIK_LWIN", DIK_LWIN},
    {"DIK_RWIN", DIK_RWIN},
    {"DIK_APPS", DIK_APPS},
};
static_assert(sizeof(keyNames) / sizeof(keyNames[0]) == 109);

}  // namespace

bool keyNameToScanCode(const char* name, DWORD* code)
{
    if (!name || !code) return false;
    for (const SKeyName& key : keyNames) {
        if (std::strcmp(key.name, name) == 0) {
            *code = key.code;
            return true;
        }
    }
    return false;
}
