#include "wincore/GameEntry.h"
#include "wincore/WinCore.h"

#include "utility/Assert.h"
#include "utility/LList.h"
#include "utility/RunLog.h"

#include <cstdio>
#include <new>
#include <string>

namespace {

void freeKeyStack(CKeyStack*& stack)
{
    if (!stack) return;
    stack->count = 0;
    delete stack;
    stack = nullptr;
}

// A stack whose buffer could not be had counts as no stack.
CKeyStack* newKeyStack()
{
    CKeyStack* stack = new (std::nothrow) CKeyStack(CWinCore::KEY_STACK_SIZE);
    if (stack && !stack->Valid()) {
        delete stack;
        stack = nullptr;
    }
    return stack;
}

const SGameEntryPoints* game = nullptr;

}  // namespace

void setGameEntryPoints(const SGameEntryPoints* entryPoints) { game = entryPoints; }

int WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    llistInitElementPool();
    WinCore.Quit = false;

    // A run that cannot start is a failed run, not a finished one: exit code 1.
    if (!game || !game->preInit()) {
        reportStop("as the game cannot start");
        return 1;
    }

    if (FindWindowA(WinCore.AppName, nullptr)) {
        const std::string reason =
            std::string("this copy as ") + (WinCore.AppName ? WinCore.AppName : "the game") + " is already running";
        game->uninit();
        reportStop(reason.c_str());
        return 1;
    }

    WNDCLASSA windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = CWinCore::WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(WinCore.IconId));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = WinCore.AppName;
    RegisterClassA(&windowClass);

    RECT frame{200, 200, 520, 440};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    WinCore.MainWindowHandle =
        CreateWindowExA(0, WinCore.AppName, WinCore.AppName, WS_OVERLAPPEDWINDOW, frame.left, frame.top,
                        frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    hInst = instance;

    WinCore.pWinKeyStack = newKeyStack();
    ASSERT(WinCore.pWinKeyStack);
    WinCore.pWinExtendedKeyStack = newKeyStack();
    ASSERT(WinCore.pWinExtendedKeyStack);

    const bool started = game->init();
    if (!started) {
        SendMessageA(WinCore.MainWindowHandle, WM_CLOSE, 0, 0);
        WinCore.Quit = true;
    }

    do {
        WinCore.ProcessMessages(true);
        ASSERT_MSG(!DoingGameLoop, "How did this get recursively called??");
        if (WinCore.Quit) break;
        DoingGameLoop = true;
        if (!game->mainLoopStep()) {
            SendMessageA(WinCore.MainWindowHandle, WM_CLOSE, 0, 0);
            WinCore.Quit = true;
        }
        DoingGameLoop = false;
        if (!WinCore.Quit) WinCore.MinimiseSkipped();
        if (!WinCore.Quit) WinCore.CallSkippedActivation();
    } while (!WinCore.Quit);

    game->shutdown();
    game->uninit();
    WinCore.ClearFuncs();

    freeKeyStack(WinCore.pWinKeyStack);
    freeKeyStack(WinCore.pWinExtendedKeyStack);
    WinCore.SetAppName(nullptr);
    llistFreeElementPool();
    if (!started) {
        reportStop("as the game cannot start");
        return 1;
    }
    return static_cast<int>(WinCore.ExitCode);
}
