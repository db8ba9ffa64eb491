#include "wincore/GameEntry.h"
#include "wincore/WinCore.h"
#include "platform/testing.h"
#include "utility/LList.h"
#include "TestSupport.h"
#include <gtest/gtest.h>
#include <functional>
#include <new>

namespace pt = platform::testing;
using Calls = std::vector<std::string>;

// What the game entry points below do, and what they saw.
static struct FakeGame {
    std::function<bool()> preInit, init, step;
    Calls calls;
} fake;
static const SGameEntryPoints fakeEntryPoints = {
    [] { return fake.calls.push_back("PreInit"), fake.preInit ? fake.preInit() : true; },
    [] { return fake.calls.push_back("Init"), fake.init ? fake.init() : true; },
    [] { return fake.calls.push_back("Step"), fake.step ? fake.step() : false; },
    [] { return fake.calls.push_back("Shutdown"), true; }, [] { fake.calls.push_back("Uninit"); }};

static bool namedPreInit() { return WinCore.SetAppName("Veldrane"), WinCore.IconId = 101, true; }

// A fresh shell on the test window backend for every test.
class WinCoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        pt::useTestWindows();
        WinCore.SetAppName(nullptr);
        WinCore.~CWinCore();
        new (&WinCore) CWinCore();
        DoingGameLoop = false;
        fake = FakeGame{};
        setGameEntryPoints(&fakeEntryPoints);
    }
    void TearDown() override
    {
        delete std::exchange(WinCore.pWinKeyStack, nullptr);
        delete std::exchange(WinCore.pWinExtendedKeyStack, nullptr);
        WinCore.SetAppName(nullptr);
        if (llistElementPoolExists()) llistFreeElementPool();
        pt::useTestWindows();
    }
    // The main window as WinMain makes it, without WinMain.
    HWND makeMainWindow()
    {
        namedPreInit();
        WNDCLASSA wc{};
        wc.lpfnWndProc = CWinCore::WindowProc, wc.lpszClassName = "Veldrane";
        RegisterClassA(&wc);
        WinCore.MainWindowHandle = CreateWindowExA(0, "Veldrane", "Veldrane", WS_OVERLAPPEDWINDOW, 196, 177, 328, 267,
                                                   nullptr, nullptr, nullptr, nullptr);
        WinCore.pWinKeyStack = new CKeyStack(CWinCore::KEY_STACK_SIZE);
        WinCore.pWinExtendedKeyStack = new CKeyStack(CWinCore::KEY_STACK_SIZE);
        return WinCore.MainWindowHandle;
    }
    LRESULT send(UINT msg, WPARAM w = 0, LPARAM l = 0) { return SendMessageA(WinCore.MainWindowHandle, msg, w, l); }
};
using WinMainTest = WinCoreTest;


TEST_F(WinMainTest, RunsTheGameInOrderAndAQuitAFailedStepOrInitCloseThroughTheShutdown)
{
    struct { int failingStep; bool initFails; int result; Calls calls; } runs[] = {  // the third step quits with 7
                {0, false, 7, {"PreInit", "Init", "Step", "Step", "Step", "Shutdown", "Uninit"}},
                {2, false, 0, {"PreInit", "Init", "Step", "Step", "Shutdown", "Uninit"}},
                {0, true, 1, {"PreInit", "Init", "Shutdown", "Uninit"}}};  // a failed start is a failure
    for (const auto& run : runs) {
        SetUp();
        fake.preInit = namedPreInit;
        fake.init = [&] {
            RECT client;  // the window exists on a 320 x 240 client area; the key stacks too
            EXPECT_TRUE(GetClientRect(WinCore.MainWindowHandle, &client));
            EXPECT_EQ(std::make_pair(LONG(320), LONG(240)), std::make_pair(client.right, client.bottom));
            EXPECT_TRUE(llistElementPoolExists());
            EXPECT_NE(nullptr, WinCore.pWinExtendedKeyStack);
            return !run.initFails;
        };
        int steps = 0;
        fake.step = [&] { return ++steps == 3 ? PostQuitMessage(7), true : DoingGameLoop && steps != run.failingStep; };
        EXPECT_EQ(WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWNORMAL), run.result);
        EXPECT_EQ(fake.calls, run.calls);
        EXPECT_TRUE(run.result == 7 || !FindWindowA("Veldrane", nullptr));  // closed by the shutdown
        EXPECT_EQ(nullptr, WinCore.pWinKeyStack);
        EXPECT_EQ(nullptr, WinCore.AppName);
        EXPECT_FALSE(llistElementPoolExists());
    }
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(WinMainTest, EndsAtOnceAndFailsWithoutPreInitOrWhenAnotherCopyRuns)
{
    fake.preInit = [] { return false; };
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "stopping as the game cannot start\n");
    EXPECT_EQ(fake.calls, (Calls{"PreInit"}));
    EXPECT_TRUE(llistElementPoolExists());  // the pool stays: nothing released it

    SetUp();  // no game handed over: the same stop
    setGameEntryPoints(nullptr);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "stopping as the game cannot start\n");
    EXPECT_TRUE(fake.calls.empty());

    SetUp();
    pt::setOtherProcessWindow("VELDRANE", true);
    fake.preInit = namedPreInit;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "stopping this copy as Veldrane is already running\n");
    EXPECT_EQ(fake.calls, (Calls{"PreInit", "Uninit"}));
}

TEST_F(WinMainTest, AQuitDueWhenTheLoadingScreenEndsIsNotWaitedPastWhileMinimisedOrTheDeviceIsLost)
{
    // The loading screen's last pump is minimised (or the device lost) and takes the close; a start-up
    // that fails after a minimise closes the window itself, while a waiting screen pumped last.
    struct { bool deviceLost, userCloses, initFails; int result; } runs[] = {
        {false, true, false, 0}, {true, true, false, 0}, {false, false, true, 1}};
    for (const auto& run : runs) {
        SetUp();
        fake.preInit = namedPreInit;
        fake.init = [&] {
            if (run.deviceLost)
                WinCore.DeviceNotReady = true;
            else
                PostMessageA(WinCore.MainWindowHandle, WM_SIZE, SIZE_MINIMIZED, 0);
            if (run.userCloses) PostMessageA(WinCore.MainWindowHandle, WM_CLOSE, 0, 0);
            WinCore.ProcessMessages(false);
            return !run.initFails;
        };
        // Nothing more comes: a pump that waits now would wait for ever.
        int waits = 0;
        pt::setIdleHook([&] { ++waits; });
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), run.result);
        ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(waits, 0) << run.deviceLost << run.initFails;
        EXPECT_EQ(fake.calls, (Calls{"PreInit", "Init", "Shutdown", "Uninit"}));
    }
}

TEST_F(WinMainTest, CallbacksAreNotRunWhileAStepPumpsButHearWhereTheFocusEndedOnceItEnds)
{
    static std::string heard;
    heard.clear();
    fake.preInit = [] {
        namedPreInit();
        WinCore.RegisterFunc(CWinCore::FUNC_ACTIVATE, [] { heard += "+"; });
        WinCore.RegisterFunc(CWinCore::FUNC_DEACTIVATE, [] { heard += "-"; });
        return true;
    };
    // A loading screen pumping inside the step takes the changes of focus; their callbacks wait for
    // the step's end and then hear the last state, when they last heard another. Posted between
    // steps, the main pump runs them. A step that goes on in front (a wait for the foreground over)
    // has them told at once, but only once.
    auto pump = [](const std::vector<BOOL>& changes) {
        for (BOOL active : changes) PostMessageA(WinCore.MainWindowHandle, WM_ACTIVATEAPP, active, 0);
        WinCore.ProcessMessages(false);
    };
    const struct { std::vector<BOOL> inside; bool inFront; bool active; std::string heardBefore; } steps[] = {
        {{FALSE, TRUE, FALSE}, false, false, ""}, {{FALSE, TRUE}, false, true, "-"}, {{}, false, true, "-+"},
        {{FALSE, TRUE}, false, true, "-++"}, {{FALSE}, false, false, "-++"}, {{FALSE}, true, false, "-++-"},
        {{TRUE}, false, true, "-++-+-"}};
    size_t step = 0;
    fake.step = [&] {
        const auto& s = steps[step];
        EXPECT_EQ(heard, s.heardBefore) << step;
        for (int i = 0; i < 2 && s.inFront; ++i) WinCore.CallActivationInStep();
        pump(s.inside);
        EXPECT_EQ(WinCore.IsActive(), s.active) << step;
        EXPECT_EQ(heard, s.heardBefore + (s.inFront ? "+" : "")) << step;
        if (step == 2) PostMessageA(WinCore.MainWindowHandle, WM_ACTIVATEAPP, TRUE, 0);
        return ++step < std::size(steps);
    };
    WinMain(nullptr, nullptr, nullptr, 0);
    EXPECT_EQ(step, std::size(steps));
    EXPECT_EQ(heard, "-++-+-");  // the run ended in the last step: what it took is not passed on
    // The callbacks left registered are reported at the end and cleared.
    EXPECT_EQ(2, testsupport::countReports("WinCore.WinCoreFunc[j][i] == NULL"));
    EXPECT_EQ(nullptr, WinCore.WinCoreFunc[0][0]);
}

TEST_F(WinMainTest, AMinimiseOfTheUsersThatAStepUndidIsMadeWhenItEndsUnlessTheUserRestoredSince)
{
    fake.preInit = namedPreInit;
    // The user's change comes as a pump finds the queue empty; the next pass takes its message.
    auto user = [](const char* verb, int pumps) {
        EXPECT_TRUE(pt::loadScript((std::to_string(pt::scriptFrame() + 1) + " " + verb + "\n").c_str()));
        for (int i = 0; i < pumps; ++i) WinCore.ProcessMessages(false);
    };
    // Made as the user's was, it leaves the game in front and active: a restore alone brings it back.
    std::vector<std::pair<bool, bool>> seen;  // minimised; in front and active
    fake.step = [&] {
        const HWND window = WinCore.MainWindowHandle;
        seen.push_back({IsIconic(window) != 0, GetForegroundWindow() == window && WinCore.IsActive()});
        if (seen.size() == 1) {
            pt::setForeground(window);
            SendMessageA(window, WM_ACTIVATEAPP, TRUE, 0);
            user("minimise", 2), ShowWindow(window, SW_RESTORE);
        }
        if (seen.size() == 2) user("restore", 1);  // still queued as the step ends
        return seen.size() < 3;
    };
    WinMain(nullptr, nullptr, nullptr, 0);
    EXPECT_EQ(seen, (std::vector<std::pair<bool, bool>>{{false, false}, {true, true}, {false, true}}));
}

TEST_F(WinCoreTest, PumpsHandleOneMessagePerPassWhileWaitingAndOnlyTheMainPumpQuits)
{
    HWND window = makeMainWindow();
    PostMessageA(window, WM_CHAR, 'a', 0);
    PostMessageA(window, WM_CHAR, 'a', 0);
    for (bool minimised : {true, false}) {  // minimised or device lost: one message per pass
        WinCore.Minimised = minimised;
        WinCore.DeviceNotReady = !minimised;
        WinCore.ProcessMessages(true);
        EXPECT_EQ(pt::queuedMessages(), minimised ? 1 : 0);
    }
    WinCore.Minimised = true;  // an empty queue while minimised does not hang
    EXPECT_FALSE(WinCore.ProcessMessages(true));
    WinCore.Minimised = WinCore.DeviceNotReady = false;
    // A device restore run by the activation callback pumps as a waiting screen, then the user quits.
    WinCoreFuncHandle handle = WinCore.RegisterFunc(CWinCore::FUNC_ACTIVATE, [] {
        WinCore.ProcessMessages(false);
        PostQuitMessage(3);
    });
    PostMessageA(window, WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_TRUE(WinCore.ProcessMessages(true));
    EXPECT_EQ(3u, WinCore.ExitCode);
    WinCore.UnregisterFunc(handle);

    WinCore.Quit = false;
    PostQuitMessage(5);  // a waiting screen's pump consumes and loses it
    EXPECT_FALSE(WinCore.ProcessMessages(false));
    PostMessageA(window, WM_CLOSE, 0, 0);  // a close while it pumps only sets quit; the window stays
    EXPECT_TRUE(WinCore.ProcessMessages(false));
    EXPECT_TRUE(IsWindow(window));
    // Minimised, where nothing else would end the run, the waiting screen that pumps again after
    // the close ends the process with the exit code so far.
    WinCore.Minimised = true;
    int code = -1;
    try {
        WinCore.ProcessMessages(false);
    } catch (const testsupport::ProcessExit& exit) {
        code = exit.code;
    }
    EXPECT_EQ(code, 3);
    WinCore.Minimised = false;
    WinCore.Quit = false;  // the main pump's close destroys the window, and its WM_QUIT carries 0
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WinCore.ProcessMessages(true));
    EXPECT_EQ(nullptr, WinCore.MainWindowHandle);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(WinCore.ExitCode, 0u);
}

TEST_F(WinCoreTest, MessagesRunCallbackRowsOutsideTheGameLoopAndFillTheKeyStacks)
{
    HWND window = makeMainWindow();
    static int rowCalls[4];
    std::fill_n(rowCalls, 4, 0);
    void (*counters[])() = {[] { ++rowCalls[0]; }, [] { ++rowCalls[1]; }, [] {}, [] { ++rowCalls[3]; }};
    for (int row : {0, 0, 1, 3}) WinCore.RegisterFunc(row, counters[row]);
    WinCore.Minimised = true;
    for (bool inLoop : {false, true}) {
        DoingGameLoop = inLoop;
        EXPECT_EQ(send(WM_ACTIVATEAPP, TRUE), 0);
        send(WM_ACTIVATEAPP, FALSE);
        send(WM_MOVE);
        send(WM_SIZE, SIZE_MAXIMIZED);
        EXPECT_EQ(rowCalls[0] * 100 + rowCalls[1] * 10 + rowCalls[3], 212) << inLoop;
    }
    EXPECT_FALSE(WinCore.Minimised);
    WinCoreFuncHandle handles[10];
    for (int i = 0; i < 10; ++i) EXPECT_EQ((handles[i] = WinCore.RegisterFunc(2, counters[0])).Index, i);
    WinCoreFuncHandle full = WinCore.RegisterFunc(2, counters[1]);
    EXPECT_EQ(full.Index - testsupport::countReports("false"), -2);  // full: refused and reported
    WinCore.UnregisterFunc(handles[4]);
    EXPECT_EQ(WinCore.RegisterFunc(2, counters[1]).Index, 4);
    for (WinCoreFuncHandle bad : {full, WinCoreFuncHandle{7, 0}, WinCoreFuncHandle{1, 10}}) WinCore.UnregisterFunc(bad);
    EXPECT_EQ(WinCore.RegisterFunc(4, counters[0]).Index, -1);  // a row past the table
    DoingGameLoop = false;
    // A typed Return: the key-down pushes 0 and VK_RETURN, its translated character pushes CR.
    for (WPARAM key : {WPARAM(VK_RETURN), WPARAM('Q'), WPARAM(VK_F9)}) PostMessageA(window, WM_KEYDOWN, key, 1);
    WinCore.ProcessMessages(true);
    CKeyStack& chars = *WinCore.pWinKeyStack;
    EXPECT_EQ(std::string(chars.pBuffer, chars.pBuffer + chars.count), std::string("\0\rq", 3));
    EXPECT_EQ(WinCore.pWinExtendedKeyStack->count * 1000 + WinCore.pWinExtendedKeyStack->pBuffer[0], 1000u + VK_RETURN);
    WinCore.ClearCharCounts();
    send(WM_CHAR, 0x141);  // only the low byte counts
    EXPECT_TRUE(WinCore.AnyCharTyped());
    EXPECT_EQ(1u, WinCore.CharCounts[0x41]);
    EXPECT_FALSE((WinCore.ClearCharCounts(), WinCore.AnyCharTyped()));
    chars.count = 0;  // a full stack drops the surplus
    for (int i = 0; i < 150; ++i) send(WM_CHAR, 'a' + i % 26);
    uint8_t top = 0;
    EXPECT_TRUE(chars.Pop(top));
    EXPECT_EQ(99u, chars.count);
    EXPECT_EQ(top, 'a' + 99 % 26);
    struct { UINT message; WPARAM wParam; LPARAM lParam; bool before, after; } rows[] = {
        {WM_SIZE, SIZE_MINIMIZED, 0, false, true}, {WM_SIZE, SIZE_MAXHIDE, 0, false, true},
        {WM_SIZE, SIZE_RESTORED, 0, true, false}, {WM_SIZE, SIZE_MAXIMIZED, 0, true, true},
        {WM_SHOWWINDOW, TRUE, SW_PARENTCLOSING, false, false}, {WM_SHOWWINDOW, TRUE, SW_OTHERZOOM, false, true}};
    for (auto& row : rows) {
        WinCore.Minimised = row.before;
        send(row.message, row.wParam, row.lParam);
        EXPECT_EQ(WinCore.Minimised, row.after) << row.message << " " << row.wParam;
    }
    // The client size is centred on the old client area (200,200-520,440: centre 360,320).
    WinCore.SetClientSize(641, 481);
    EXPECT_EQ(pt::windowCalls().lastX, 40 - PLATFORM_FRAME_WIDTH);
    EXPECT_EQ(pt::windowCalls().lastY, 80 - PLATFORM_FRAME_WIDTH - PLATFORM_CAPTION_HEIGHT);
    WinCore.SetFullScreenWindow();
    EXPECT_EQ(GetWindowLongA(window, GWL_STYLE), static_cast<LONG_PTR>(WS_POPUP));
    // Alt+F4 and the screen saver are swallowed; the background is erased only while the device is lost.
    EXPECT_EQ(send(WM_SYSKEYDOWN, VK_F4, 1 << 29) + send(WM_SYSCOMMAND, SC_SCREENSAVE | 2), 0);
    WinCore.DeviceNotReady = WinCore.EraseBackground = false;
    EXPECT_EQ(send(WM_ERASEBKGND), 1);
    WinCore.DeviceNotReady = true;
    EXPECT_EQ(send(WM_ERASEBKGND), 0);
    EXPECT_FALSE(WinCore.Quit);
    send(WM_SYSCOMMAND, SC_CLOSE);  // the close box goes the default way: WM_CLOSE
    EXPECT_TRUE(WinCore.Quit);
}

TEST_F(WinCoreTest, MinimiseUntilForegroundWaitsForTheWindowOrEndsTheProcess)
{
    HWND window = makeMainWindow();
    pt::setForeground(nullptr);
    int idles = 0;
    pt::setIdleHook([&] { ++idles == 3 ? pt::setForeground(window) : void(); });
    WinCore.MinimiseUntilForeground();
    EXPECT_TRUE(IsIconic(window));
    EXPECT_EQ(3, idles);

    // The user closes it instead: the process ends with the exit code so far.
    pt::setForeground(nullptr);
    llistInitElementPool();
    WinCore.ExitCode = 3;
    pt::setIdleHook([&] { PostMessageA(window, WM_CLOSE, 0, 0); });
    int code = -1;
    try {
        WinCore.MinimiseUntilForeground();
    } catch (const testsupport::ProcessExit& exit) {
        code = exit.code;
    }
    EXPECT_EQ(code, 3);
    EXPECT_FALSE(llistElementPoolExists());
    EXPECT_EQ(nullptr, WinCore.AppName);

}
