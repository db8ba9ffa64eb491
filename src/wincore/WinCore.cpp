#include "wincore/WinCore.h"

#include "utility/Assert.h"
#include "utility/LList.h"
#include "utility/RunLog.h"

#include <cstring>
#include <new>

CWinCore WinCore;
bool DoingGameLoop = false;
HINSTANCE hInst = nullptr;

CWinCore::CWinCore()
    : AppName(nullptr), IconId(0), Active(false), Quit(false), Minimised(false), SystemCursor(true), ExitCode(0),
      MainWindowHandle(nullptr), pWinKeyStack(nullptr), pWinExtendedKeyStack(nullptr), EraseBackground(true),
      DeviceNotReady(false), CharCounts{}, WinCoreFunc{}, Visible(true), MainPump(true),
      ActivationSkipped(false), HeardActive(-1), UserMinimised(false)
{
}

void CWinCore::SetAppName(const char* name)
{
    delete[] AppName;
    AppName = nullptr;
    if (!name) return;
    size_t length = strlen(name);
    AppName = new (std::nothrow) char[length + 1];
    if (AppName) memcpy(AppName, name, length + 1);
}

bool CWinCore::ProcessMessages(bool mainPump)
{
    MainPump = mainPump;
    MSG msg;
    auto handle = [&](const MSG& m) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
        // Queued, a minimise, a restore or a return to the application is the user's; the game's own
        // ShowWindow sends its changes.
        if (m.message == WM_SIZE && m.wParam == SIZE_MINIMIZED)
            UserMinimised = true;
        else if ((m.message == WM_SIZE && m.wParam == SIZE_RESTORED) || (m.message == WM_ACTIVATEAPP && m.wParam))
            UserMinimised = false;
        // The argument, not the member: a callback run by this dispatch may pump with false meanwhile.
        if (m.message == WM_QUIT && mainPump) {
            Quit = true;
            ExitCode = static_cast<uint32_t>(m.wParam);
        }
    };
    if (Minimised || DeviceNotReady) {
        // A close already taken, by whichever pump, leaves nothing to wait for: no message need
        // ever come again. A screen that pumps again after it ends the run as a close while away
        // does; the main pump goes back to its loop, which ends it.
        if (Quit) {
            if (!mainPump) EndAtOnce();
            return Quit;
        }
        // Nothing to draw: wait for exactly one message instead of spinning.
        GetMessageA(&msg, MainWindowHandle, 0, 0);
        handle(msg);
        return Quit;
    }
    while (PeekMessageA(&msg, MainWindowHandle, 0, 0, PM_REMOVE)) handle(msg);
    return Quit;
}

void CWinCore::CallRow(uint32_t Type)
{
    if (DoingGameLoop) {
        // The callbacks must not run inside a step that pumps, but a change of focus must not be
        // lost either: the game would draw on behind another window.
        if (Type == FUNC_ACTIVATE || Type == FUNC_DEACTIVATE) ActivationSkipped = true;
        return;
    }
    RunRow(Type);
}

void CWinCore::RunRow(uint32_t Type)
{
    if (Type == FUNC_ACTIVATE || Type == FUNC_DEACTIVATE) HeardActive = Type == FUNC_ACTIVATE ? 1 : 0;
    for (int32_t i = 0; i < MAX_FUNCS; ++i)
        if (WinCoreFunc[Type][i]) WinCoreFunc[Type][i]();
}

void CWinCore::CallSkippedActivation()
{
    if (!ActivationSkipped) return;
    ActivationSkipped = false;
    // Only where the focus ended up counts: a loss and a return within one step net out. What the
    // callbacks heard last is not told again: the game would skip its clock's gap once more.
    if (HeardActive == (Active ? 1 : 0)) return;
    CallRow(Active ? FUNC_ACTIVATE : FUNC_DEACTIVATE);
}

void CWinCore::CallActivationInStep()
{
    // Told now, every callback agrees with the step that goes on in front, and a loss later in the
    // step is a change for the replay after it.
    if (HeardActive != 1) RunRow(FUNC_ACTIVATE);
}

void CWinCore::MinimiseSkipped()
{
    if (!UserMinimised || !MainWindowHandle || IsIconic(MainWindowHandle)) return;
    // A change the user made since, still queued, has the last word.
    MSG queued;
    if (PeekMessageA(&queued, MainWindowHandle, WM_SIZE, WM_SIZE, PM_NOREMOVE) ||
        PeekMessageA(&queued, MainWindowHandle, WM_ACTIVATEAPP, WM_ACTIVATEAPP, PM_NOREMOVE))
        return;
    // Made as the user made it: the activation stays as it stands, so a restore brings the game back
    // (SW_MINIMIZE would hand the foreground on, and the game would wait for it).
    ShowWindow(MainWindowHandle, SW_SHOWMINNOACTIVE);
}

void CWinCore::FillClientBlack(HWND window)
{
    RECT client;
    if (!GetClientRect(window, &client)) return;
    HDC dc = GetDC(window);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    ReleaseDC(window, dc);
}

LRESULT CWinCore::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWinCore& core = WinCore;
    switch (message) {
    case WM_ACTIVATEAPP:
        if (wParam) {
            core.Active = true;
            core.Minimised = false;
            core.CallRow(FUNC_ACTIVATE);
        } else {
            core.Active = false;
            core.CallRow(FUNC_DEACTIVATE);
        }
        return 0;
    case WM_SETCURSOR:
        if (core.Active && !core.SystemCursor && !core.DeviceNotReady) {
            SetCursor(nullptr);
            return 0;
        }
        break;
    case WM_KEYDOWN:
        switch (wParam) {
        case VK_RETURN: case VK_ESCAPE:
        case VK_LEFT: case VK_UP: case VK_RIGHT: case VK_DOWN:
        case VK_F1: case VK_F2: case VK_F3: case VK_F4: case VK_F5: case VK_F6: case VK_F7: case VK_F8:
            if (core.pWinKeyStack) core.pWinKeyStack->Push(0);
            if (core.pWinExtendedKeyStack) core.pWinExtendedKeyStack->Push(static_cast<uint8_t>(wParam));
            break;
        default: break;
        }
        break;
    case WM_CHAR: {
        uint8_t character = static_cast<uint8_t>(wParam & 0xFF);
        if (core.pWinKeyStack) core.pWinKeyStack->Push(character);
        ++core.CharCounts[character];
        break;
    }
    case WM_SYSKEYDOWN:
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_SCREENSAVE || (wParam & 0xFFF0) == SC_MONITORPOWER) return 0;
        break;
    case WM_SHOWWINDOW:
        if (lParam == SW_OTHERZOOM) core.Minimised = true;
        break;
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED || wParam == SIZE_MAXHIDE)
            core.Minimised = true;
        else if (wParam == SIZE_RESTORED || wParam == SIZE_MAXSHOW)
            core.Minimised = false;
        core.CallRow(FUNC_MOVE_SIZE);
        break;
    case WM_MOVE:
        core.CallRow(FUNC_MOVE_SIZE);
        break;
    case WM_PAINT:
        core.FillClientBlack(window);
        break;
    case WM_ERASEBKGND:
        if (core.DeviceNotReady) {
            core.FillClientBlack(window);
            return 0;
        }
        if (core.EraseBackground) break;
        return 1;
    case WM_CLOSE:
        if (core.MainPump) {
            DestroyWindow(window);
            core.MainWindowHandle = nullptr;
        }
        core.Quit = true;
        return 0;
    case WM_DESTROY:
        if (core.MainPump) PostQuitMessage(0);
        return 0;
    default: break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

WinCoreFuncHandle CWinCore::RegisterFunc(uint32_t Type, WinCoreFuncPtr function)
{
    WinCoreFuncHandle handle{Type, -1};
    if (!VERIFY(Type < MAX_FUNC_TYPES)) return handle;
    for (int32_t i = 0; i < MAX_FUNCS; ++i) {
        if (!WinCoreFunc[Type][i]) {
            WinCoreFunc[Type][i] = function;
            handle.Index = i;
            return handle;
        }
    }
    assertFailed("false", __FILE__, __LINE__);
    return handle;
}

void CWinCore::UnregisterFunc(WinCoreFuncHandle Handle)
{
    // A handle from a failed registration points outside the table: report it and leave the table be.
    if (Handle.Type >= MAX_FUNC_TYPES || Handle.Index < 0 || Handle.Index >= MAX_FUNCS) {
        assertFailed("WinCoreFunc[Handle.Type][Handle.Index] != NULL", __FILE__, __LINE__);
        return;
    }
    if (WinCoreFunc[Handle.Type][Handle.Index] == nullptr)
        assertFailed("WinCoreFunc[Handle.Type][Handle.Index] != NULL", __FILE__, __LINE__);
    WinCoreFunc[Handle.Type][Handle.Index] = nullptr;
}

void CWinCore::ClearFuncs()
{
    for (uint32_t j = 0; j < MAX_FUNC_TYPES; ++j)
        for (int32_t i = 0; i < MAX_FUNCS; ++i)
            if (WinCoreFunc[j][i]) {
                assertFailed("WinCore.WinCoreFunc[j][i] == NULL", __FILE__, __LINE__);
                WinCoreFunc[j][i] = nullptr;
            }
}

void CWinCore::GetHandles(HWND* window, HINSTANCE* instance) const
{
    if (window) *window = MainWindowHandle;
    if (instance) *instance = hInst;
}

void CWinCore::ShowMainWindow(bool show)
{
    ShowWindow(MainWindowHandle, show ? SW_SHOW : SW_HIDE);
    Visible = show;
}

void CWinCore::SetFullScreenWindow()
{
    SetWindowLongA(MainWindowHandle, GWL_STYLE, static_cast<LONG_PTR>(WS_POPUP));
    SetWindowPos(MainWindowHandle, HWND_TOPMOST, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                 SWP_HIDEWINDOW);
}

int CWinCore::GetScreenWidth() const { return GetSystemMetrics(SM_CXSCREEN); }
int CWinCore::GetScreenHeight() const { return GetSystemMetrics(SM_CYSCREEN); }

void CWinCore::SetClientSize(int width, int height)
{
    RECT client;
    if (!GetClientRect(MainWindowHandle, &client)) return;
    if (client.right - client.left == width && client.bottom - client.top == height) return;
    POINT topLeft{client.left, client.top}, bottomRight{client.right, client.bottom};
    ClientToScreen(MainWindowHandle, &topLeft);
    ClientToScreen(MainWindowHandle, &bottomRight);
    LONG cx = (topLeft.x + bottomRight.x) / 2;
    LONG cy = (topLeft.y + bottomRight.y) / 2;
    RECT placed;
    placed.left = cx - width / 2;
    placed.top = cy - height / 2;
    placed.right = placed.left + width;
    placed.bottom = placed.top + height;
    AdjustWindowRect(&placed, WS_OVERLAPPEDWINDOW, FALSE);
    if (placed.left < 0) {
        placed.right -= placed.left;
        placed.left = 0;
    }
    if (placed.top < 0) {
        placed.bottom -= placed.top;
        placed.top = 0;
    }
    SetWindowPos(MainWindowHandle, HWND_NOTOPMOST, placed.left, placed.top, placed.right - placed.left,
                 placed.bottom - placed.top, Visible ? SWP_SHOWWINDOW : SWP_HIDEWINDOW);
}

int CWinCore::ClearCharCounts()
{
    memset(CharCounts, 0, sizeof CharCounts);
    return 0;
}

bool CWinCore::AnyCharTyped() const
{
    for (uint32_t count : CharCounts)
        if (count) return true;
    return false;
}

void CWinCore::MinimiseUntilForeground()
{
    if (GetForegroundWindow() == MainWindowHandle) return;
    ShowWindow(MainWindowHandle, SW_MINIMIZE);
    do {
        ProcessMessages(true);
    } while (GetForegroundWindow() != MainWindowHandle && !Quit);
    if (Quit) EndAtOnce();
}

void CWinCore::EndAtOnce()
{
    SetAppName(nullptr);
    llistFreeElementPool();
    // The game is left standing, device and all: no exit handler may tear down (and report) what
    // it still holds.
    ExitProcess(ExitCode);
}

void CWinCore::WriteLog(const char* message) { writeRunLog(message); }
