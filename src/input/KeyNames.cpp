#include "input/InputDevices.h"

#include "platform/dikeys.h"

#include <cstring>

bool keyNameToScanCode(const char* name, DWORD* code)
{
    if (!name || !code || std::strncmp(name, "DIK_", 4) != 0) return false;
    for (const platform::DikName& key : platform::DIK_NAMES) {
        if (std::strcmp(key.name, name + 4) == 0) {
            *code = key.code;
            return true;
        }
    }
    return false;
}
