// The application shell: the one main window, its message pump and window procedure, the callback
// table through which other parts hear about focus and geometry changes, and the typed-key stacks.
//
// There is exactly one, the global WinCore. WinMain drives it; the render core sets DeviceNotReady
// while the device is lost so that the pump waits instead of spinning.
#pragma once

#include "platform/win32.h"
#include "wincore/KeyStack.h"

#include <cstdint>

typedef void (*WinCoreFuncPtr)();

// {row, slot} of a registered callback; Index -1 when the registration failed.
struct WinCoreFuncHandle {
    uint32_t Type;
    int32_t Index;
};

class CWinCore {
public:
    // Callback rows.
    static const uint32_t FUNC_ACTIVATE = 0;
    static const uint32_t FUNC_DEACTIVATE = 1;
    static const uint32_t FUNC_UNUSED = 2;  // never called by the shell
    static const uint32_t FUNC_MOVE_SIZE = 3;
    static const uint32_t MAX_FUNC_TYPES = 4;
    static const int32_t MAX_FUNCS = 10;
    static const uint32_t KEY_STACK_SIZE = 100;

    CWinCore();
    ~CWinCore() {}

    // Frees the previous name and keeps a copy. The name is the window class and title.
    void SetAppName(const char* name);
    // One pass of the message pump. With mainPump, WM_QUIT and WM_CLOSE end the program; waiting
    // screens pass false and a WM_QUIT reaching them is lost. Minimised or with the device lost it
    // waits for one message, never once a quit is due. Returns the quit flag.
    bool ProcessMessages(bool mainPump);
    static LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // The lowest free slot of the row.
    WinCoreFuncHandle RegisterFunc(uint32_t Type, WinCoreFuncPtr function);
    void UnregisterFunc(WinCoreFuncHandle Handle);
    // At shutdown: reports every callback still registered and clears it.
    void ClearFuncs();

    void GetHandles(HWND* window, HINSTANCE* instance) const;
    void ShowMainWindow(bool show);
    void SetFullScreenWindow();
    int GetScreenWidth() const;
    int GetScreenHeight() const;
    // Resizes the client area about its current centre, keeping the window on the screen.
    void SetClientSize(int width, int height);
    void SetSystemCursor(bool flag) { SystemCursor = flag; }
    bool IsActive() const { return Active; }
    int ClearCharCounts();
    bool AnyCharTyped() const;
    // Minimises and pumps until the window is in front again; a quit meanwhile ends the process.
    void MinimiseUntilForeground();
    static void WriteLog(const char* message);
    // After a game step: a change of focus taken by the step's own pumps, whose callbacks were
    // skipped, reaches them now, as the focus stands at the end of the step, when they last heard
    // otherwise.
    void CallSkippedActivation();
    // Inside a game step that goes on in front (its wait for the foreground is over): the activation
    // callbacks hear it now, unless they last heard it already.
    void CallActivationInStep();
    // After a game step: a minimise of the user's that the step undid (a device restore shows the
    // window again) is made now.
    void MinimiseSkipped();

    char* AppName;
    uint32_t IconId;
    bool Active;
    bool Quit;
    bool Minimised;
    bool SystemCursor;
    uint32_t ExitCode;
    HWND MainWindowHandle;
    CKeyStack* pWinKeyStack;          // characters, and a 0 for each extended key
    CKeyStack* pWinExtendedKeyStack;  // virtual-key codes of the extended keys
    bool EraseBackground;
    bool DeviceNotReady;
    uint32_t CharCounts[256];
    WinCoreFuncPtr WinCoreFunc[MAX_FUNC_TYPES][MAX_FUNCS];
    bool Visible;
    bool MainPump;
    bool ActivationSkipped;  // a step's pump took WM_ACTIVATEAPP and ran no callbacks for it
    int HeardActive;         // what rows 0 and 1 last ran for: 1 active, 0 inactive, -1 neither yet
    bool UserMinimised;      // the user's last word taken from the queue was a minimise

private:
    void CallRow(uint32_t Type);
    void RunRow(uint32_t Type);
    // Ends the process with the exit code, leaving the game as it stands.
    [[noreturn]] void EndAtOnce();
    void FillClientBlack(HWND window);
};

extern CWinCore WinCore;
// Set while GameMainLoopStep runs: callbacks are not called from inside a step that pumps.
extern bool DoingGameLoop;
// The instance handle WinMain was given.
extern HINSTANCE hInst;

int WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);
