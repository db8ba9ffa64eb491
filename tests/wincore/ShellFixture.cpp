#include "ShellFixture.h"

#include "wincore/GameEntry.h"

#include "platform/testing.h"
#include "utility/LList.h"

#include <new>

namespace shelltest {

FakeGame& game()
{
    static FakeGame fake;
    return fake;
}

void ShellTest::SetUp()
{
    platform::testing::useTestWindows();
    WinCore.SetAppName(nullptr);
    WinCore.~CWinCore();
    new (&WinCore) CWinCore();
    DoingGameLoop = false;
    game() = FakeGame{};
}

void ShellTest::TearDown()
{
    delete WinCore.pWinKeyStack;
    delete WinCore.pWinExtendedKeyStack;
    WinCore.pWinKeyStack = WinCore.pWinExtendedKeyStack = nullptr;
    WinCore.SetAppName(nullptr);
    if (llistElementPoolExists()) llistFreeElementPool();
    platform::testing::useTestWindows();
}

HWND ShellTest::makeMainWindow()
{
    WinCore.SetAppName("Veldrane");
    WNDCLASSA wc{};
    wc.lpfnWndProc = CWinCore::WindowProc;
    wc.lpszClassName = "Veldrane";
    RegisterClassA(&wc);
    WinCore.MainWindowHandle =
        CreateWindowExA(0, "Veldrane", "Veldrane", WS_OVERLAPPEDWINDOW, 196, 177, 328, 267, nullptr, nullptr, nullptr, nullptr);
    WinCore.pWinKeyStack = new CKeyStack(CWinCore::KEY_STACK_SIZE);
    WinCore.pWinExtendedKeyStack = new CKeyStack(CWinCore::KEY_STACK_SIZE);
    return WinCore.MainWindowHandle;
}

}  // namespace shelltest

using shelltest::game;

bool GamePreInit()
{
    game().calls.push_back("PreInit");
    return game().preInit ? game().preInit() : true;
}

bool GameInit()
{
    game().calls.push_back("Init");
    return game().init ? game().init() : true;
}

bool GameMainLoopStep()
{
    game().calls.push_back("Step");
    return game().step ? game().step() : false;
}

bool GameShutdown()
{
    game().calls.push_back("Shutdown");
    return true;
}

void GameUninit() { game().calls.push_back("Uninit"); }
