#include "kestrune/GameInput.h"

#include "global/ProjData.h"
#include "input/InputDevices.h"
#include "kestrune/Rumble.h"
#include "l3render/L3Render.h"
#include "wincore/WinCore.h"

namespace {

// The pointer speed until persisted options choose one (the middle of the 0..10 table).
const int DEFAULT_MOUSE_SENSITIVITY = 5;

CInputMap playerInput;
bool inputUp = false;

int registerShellFunc(DWORD type, void (*func)()) { return WinCore.RegisterFunc(type, func).Index; }

void unregisterShellFunc(DWORD type, int index)
{
    WinCore.UnregisterFunc(WinCoreFuncHandle{type, index});
}

const SInputShellHooks shellHooks = {registerShellFunc, unregisterShellFunc};

}  // namespace

bool gameInputInit()
{
    setInputShellHooks(&shellHooks);
    setInputMapScreenSize(L3GetScreenWidth, L3GetScreenHeight);
    setRumbleGameHooks(getFrameStep, nullptr);
    const bool wantedPads[MAX_JOYSTICKS] = {true, true, true, true};
    inputUp = initInputDevices(WinCore.MainWindowHandle, wantedPads);
    return inputUp;
}

void gameInputStep()
{
    if (!inputUp) return;
    SJoystickState pad{};
    const bool usePad = areJoysticksPresent() && readJoystick(0, &pad);
    if (!usePad) updateMousePointer(DEFAULT_MOUSE_SENSITIVITY);
    playerInput.update(pad, timeGetTime(), !usePad);
    updateRumble(static_cast<DWORD>(getFrameStep()));
}

void gameInputShutdown()
{
    if (!inputUp) return;
    shutdownRumble();
    shutdownInputDevices();
    setInputShellHooks(nullptr);
    inputUp = false;
}

CInputMap& gamePlayerInput() { return playerInput; }
