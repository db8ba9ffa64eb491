#include "ShellFixture.h"

#include "platform/testing.h"
#include "utility/LList.h"

#include "TestSupport.h"

using namespace shelltest;
using platform::testing::WindowCalls;
using Calls = std::vector<std::string>;

namespace {

bool namedPreInit()
{
    WinCore.SetAppName("Veldrane");
    WinCore.IconId = 101;
    return true;
}

}  // namespace

class WinMainTest : public ShellTest {};

TEST_F(WinMainTest, RunsTheGameInOrderAndEndsWithTheQuitCode)
{
    game().preInit = namedPreInit;
    HWND seen = nullptr;
    game().init = [&] {
        // The window exists, hidden, on a 320 x 240 client area; the key stacks too.
        seen = WinCore.MainWindowHandle;
        EXPECT_TRUE(llistElementPoolExists());
        EXPECT_NE(seen, nullptr);
        RECT client;
        GetClientRect(seen, &client);
        EXPECT_EQ(client.right, 320);
        EXPECT_EQ(client.bottom, 240);
        EXPECT_EQ(GetWindowLongA(seen, GWL_STYLE), static_cast<LONG_PTR>(WS_OVERLAPPEDWINDOW));
        EXPECT_NE(WinCore.pWinKeyStack, nullptr);
        EXPECT_NE(WinCore.pWinExtendedKeyStack, nullptr);
        return true;
    };
    int steps = 0;
    game().step = [&] {
        EXPECT_TRUE(DoingGameLoop);
        if (++steps == 3) PostQuitMessage(7);
        return true;
    };

    int result = WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWNORMAL);

    EXPECT_EQ(result, 7);
    EXPECT_EQ(game().calls, (Calls{"PreInit", "Init", "Step", "Step", "Step", "Shutdown", "Uninit"}));
    EXPECT_EQ(WinCore.pWinKeyStack, nullptr);
    EXPECT_EQ(WinCore.AppName, nullptr);
    EXPECT_FALSE(llistElementPoolExists());
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(WinMainTest, AFailedStepOrInitClosesThroughTheNormalShutdown)
{
    game().preInit = namedPreInit;
    int steps = 0;
    game().step = [&] { return ++steps < 2; };
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
    EXPECT_EQ(game().calls, (Calls{"PreInit", "Init", "Step", "Step", "Shutdown", "Uninit"}));
    EXPECT_EQ(FindWindowA("Veldrane", nullptr), nullptr);

    SetUp();
    game().preInit = namedPreInit;
    game().init = [] { return false; };
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
    EXPECT_EQ(game().calls, (Calls{"PreInit", "Init", "Shutdown", "Uninit"}));
}

TEST_F(WinMainTest, EndsAtOnceWithoutPreInitOrWhenAnotherCopyRuns)
{
    game().preInit = [] { return false; };
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
    EXPECT_EQ(game().calls, (Calls{"PreInit"}));
    // The pool stays: nothing released it.
    EXPECT_TRUE(llistElementPoolExists());

    SetUp();
    platform::testing::setOtherProcessWindow("VELDRANE", true);
    game().preInit = namedPreInit;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Veldrane is already running\n");
    EXPECT_EQ(game().calls, (Calls{"PreInit", "Uninit"}));
}

TEST_F(WinMainTest, CallbacksLeftRegisteredAreReportedAtTheEnd)
{
    game().preInit = [] {
        namedPreInit();
        WinCore.RegisterFunc(CWinCore::FUNC_ACTIVATE, [] {});
        WinCore.RegisterFunc(CWinCore::FUNC_MOVE_SIZE, [] {});
        return true;
    };
    WinMain(nullptr, nullptr, nullptr, 0);
    EXPECT_EQ(testsupport::countReports("WinCore.WinCoreFunc[j][i] == NULL"), 2);
    EXPECT_EQ(WinCore.WinCoreFunc[0][0], nullptr);
    EXPECT_EQ(WinCore.WinCoreFunc[3][0], nullptr);
}

TEST_F(WinMainTest, CallbacksAreNotRunWhileAStepPumps)
{
    static int activations;
    activations = 0;
    game().preInit = [] {
        namedPreInit();
        WinCore.RegisterFunc(CWinCore::FUNC_ACTIVATE, [] { ++activations; });
        return true;
    };
    int steps = 0;
    game().step = [&] {
        if (++steps == 1) {
            // A loading screen pumping inside the step: the activation is handled but its callbacks wait.
            PostMessageA(WinCore.MainWindowHandle, WM_ACTIVATEAPP, TRUE, 0);
            WinCore.ProcessMessages(false);
            EXPECT_TRUE(WinCore.IsActive());
            EXPECT_EQ(activations, 0);
            PostMessageA(WinCore.MainWindowHandle, WM_ACTIVATEAPP, TRUE, 0);
            return true;
        }
        // Between steps the pump runs them.
        EXPECT_EQ(activations, 1);
        return false;
    };
    WinMain(nullptr, nullptr, nullptr, 0);
    EXPECT_EQ(steps, 2);
}
