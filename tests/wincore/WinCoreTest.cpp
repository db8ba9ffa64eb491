#include "ShellFixture.h"

#include "platform/testing.h"
#include "utility/LList.h"

#include "TestSupport.h"

using namespace shelltest;
namespace pt = platform::testing;

class WinCoreTest : public ShellTest {
protected:
    LRESULT send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return SendMessageA(WinCore.MainWindowHandle, message, wParam, lParam);
    }
};

TEST_F(WinCoreTest, MinimisedOrDeviceLostPumpsHandleOneMessagePerPass)
{
    HWND window = makeMainWindow();
    for (int i = 0; i < 3; ++i) PostMessageA(window, WM_CHAR, 'a', 0);
    WinCore.Minimised = true;
    WinCore.ProcessMessages(true);
    EXPECT_EQ(WinCore.CharCounts['a'], 1u);
    EXPECT_EQ(pt::queuedMessages(), 2);
    EXPECT_EQ(pt::windowCalls().getMessage, 1);

    WinCore.Minimised = false;
    WinCore.DeviceNotReady = true;
    WinCore.ProcessMessages(true);
    EXPECT_EQ(WinCore.CharCounts['a'], 2u);
    WinCore.DeviceNotReady = false;
    WinCore.ProcessMessages(true);
    EXPECT_EQ(pt::queuedMessages(), 0);

    // An empty queue while minimised does not hang: the wait returns with nothing.
    WinCore.Minimised = true;
    EXPECT_FALSE(WinCore.ProcessMessages(true));
}

TEST_F(WinCoreTest, OnlyTheMainPumpTakesQuitAndCloseToHeart)
{
    HWND window = makeMainWindow();
    PostQuitMessage(5);
    EXPECT_FALSE(WinCore.ProcessMessages(false));
    EXPECT_EQ(pt::queuedMessages(), 0);  // consumed and lost

    // A close while a waiting screen pumps only sets quit; the window stays.
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WinCore.ProcessMessages(false));
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(WinCore.ExitCode, 0u);

    WinCore.Quit = false;
    PostQuitMessage(6);
    EXPECT_TRUE(WinCore.ProcessMessages(true));
    EXPECT_EQ(WinCore.ExitCode, 6u);

    // The main pump's close destroys the window, and its WM_QUIT carries 0.
    WinCore.Quit = false;
    WinCore.ExitCode = 9;
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WinCore.ProcessMessages(true));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(WinCore.MainWindowHandle, nullptr);
    EXPECT_EQ(WinCore.ExitCode, 0u);
}

TEST_F(WinCoreTest, AQuitAfterANestedWaitingPumpStillEndsTheMainPump)
{
    HWND window = makeMainWindow();
    // A device restore run by the activation callback pumps as a waiting screen, then the user quits.
    WinCoreFuncHandle handle = WinCore.RegisterFunc(CWinCore::FUNC_ACTIVATE, [] {
        WinCore.ProcessMessages(false);
        PostQuitMessage(3);
    });
    PostMessageA(window, WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_TRUE(WinCore.ProcessMessages(true));
    EXPECT_EQ(WinCore.ExitCode, 3u);
    WinCore.UnregisterFunc(handle);
}

namespace {
int rowCalls[4];
void row0() { ++rowCalls[0]; }
void row1() { ++rowCalls[1]; }
void row3() { ++rowCalls[3]; }
}  // namespace

TEST_F(WinCoreTest, FocusAndGeometryMessagesCallTheirRows)
{
    makeMainWindow();
    std::fill(std::begin(rowCalls), std::end(rowCalls), 0);
    WinCoreFuncHandle h0 = WinCore.RegisterFunc(0, row0);
    WinCoreFuncHandle h0b = WinCore.RegisterFunc(0, row0);
    WinCoreFuncHandle h1 = WinCore.RegisterFunc(1, row1);
    WinCoreFuncHandle h3 = WinCore.RegisterFunc(3, row3);
    EXPECT_EQ(h0b.Index, 1);

    WinCore.Minimised = true;
    EXPECT_EQ(send(WM_ACTIVATEAPP, TRUE), 0);
    EXPECT_TRUE(WinCore.Active);
    EXPECT_FALSE(WinCore.Minimised);
    EXPECT_EQ(rowCalls[0], 2);
    send(WM_ACTIVATEAPP, FALSE);
    EXPECT_FALSE(WinCore.IsActive());
    EXPECT_EQ(rowCalls[1], 1);
    send(WM_MOVE);
    send(WM_SIZE, SIZE_MAXIMIZED);
    EXPECT_EQ(rowCalls[3], 2);

    DoingGameLoop = true;
    send(WM_ACTIVATEAPP, TRUE);
    send(WM_ACTIVATEAPP, FALSE);
    send(WM_MOVE);
    send(WM_SIZE, SIZE_RESTORED);
    DoingGameLoop = false;
    EXPECT_EQ(rowCalls[0], 2);
    EXPECT_EQ(rowCalls[1], 1);
    EXPECT_EQ(rowCalls[3], 2);

    for (WinCoreFuncHandle h : {h0, h0b, h1, h3}) WinCore.UnregisterFunc(h);
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(WinCoreTest, RegistrationTakesTheLowestSlotAndRefusesBadHandles)
{
    WinCoreFuncHandle handles[10];
    for (int i = 0; i < 10; ++i) {
        handles[i] = WinCore.RegisterFunc(2, row0);
        EXPECT_EQ(handles[i].Index, i);
    }
    WinCoreFuncHandle full = WinCore.RegisterFunc(2, row1);
    EXPECT_EQ(full.Index, -1);
    EXPECT_EQ(testsupport::countReports("false"), 1);
    for (auto* f : WinCore.WinCoreFunc[2]) EXPECT_EQ(f, row0);

    WinCore.UnregisterFunc(handles[4]);
    EXPECT_EQ(WinCore.RegisterFunc(2, row1).Index, 4);

    // A failed registration's handle, a row past the table or a slot past the row: no effect.
    WinCore.UnregisterFunc(full);
    WinCore.UnregisterFunc(WinCoreFuncHandle{7, 0});
    WinCore.UnregisterFunc(WinCoreFuncHandle{1, 10});
    for (int i = 0; i < 10; ++i) EXPECT_NE(WinCore.WinCoreFunc[2][i], nullptr);
    EXPECT_EQ(WinCore.RegisterFunc(4, row0).Index, -1);
}

TEST_F(WinCoreTest, KeysFillTheStacksAndCharactersTheCounters)
{
    HWND window = makeMainWindow();
    // A typed Return: the key-down pushes 0 and VK_RETURN, its translated character pushes CR.
    PostMessageA(window, WM_KEYDOWN, VK_RETURN, 1);
    PostMessageA(window, WM_KEYDOWN, 'Q', 1);
    PostMessageA(window, WM_KEYDOWN, VK_F9, 1);
    WinCore.ProcessMessages(true);
    CKeyStack& chars = *WinCore.pWinKeyStack;
    CKeyStack& extended = *WinCore.pWinExtendedKeyStack;
    ASSERT_EQ(chars.count, 3u);
    EXPECT_EQ(chars.pBuffer[0], 0);
    EXPECT_EQ(chars.pBuffer[1], '\r');
    EXPECT_EQ(chars.pBuffer[2], 'q');
    ASSERT_EQ(extended.count, 1u);
    EXPECT_EQ(extended.pBuffer[0], VK_RETURN);

    uint8_t top = 0;
    // Counters: only the low byte counts.
    WinCore.ClearCharCounts();
    EXPECT_FALSE(WinCore.AnyCharTyped());
    send(WM_CHAR, 0x141);
    send(WM_CHAR, 'A');
    EXPECT_EQ(WinCore.CharCounts[0x41], 2u);
    EXPECT_TRUE(WinCore.AnyCharTyped());
    EXPECT_EQ(WinCore.ClearCharCounts(), 0);
    EXPECT_FALSE(WinCore.AnyCharTyped());

    // A full stack drops the surplus.
    chars.count = 0;
    for (int i = 0; i < 150; ++i) send(WM_CHAR, 'a' + i % 26);
    EXPECT_EQ(chars.count, 100u);
    EXPECT_TRUE(chars.Pop(top));
    EXPECT_EQ(top, 'a' + 99 % 26);
}

TEST_F(WinCoreTest, WindowStatesFollowTheSizeAndShowMessages)
{
    makeMainWindow();
    struct {
        WPARAM size;
        bool before, after;
    } rows[] = {{SIZE_MINIMIZED, false, true}, {SIZE_MAXHIDE, false, true}, {SIZE_RESTORED, true, false},
                {SIZE_MAXSHOW, true, false},   {SIZE_MAXIMIZED, true, true}, {SIZE_MAXIMIZED, false, false}};
    for (auto& row : rows) {
        WinCore.Minimised = row.before;
        send(WM_SIZE, row.size);
        EXPECT_EQ(WinCore.Minimised, row.after) << "size " << row.size;
    }
    WinCore.Minimised = false;
    send(WM_SHOWWINDOW, TRUE, SW_PARENTCLOSING);
    EXPECT_FALSE(WinCore.Minimised);
    send(WM_SHOWWINDOW, TRUE, SW_OTHERZOOM);
    EXPECT_TRUE(WinCore.Minimised);
}

TEST_F(WinCoreTest, SystemMessagesAndBackgroundErases)
{
    makeMainWindow();
    EXPECT_EQ(send(WM_SYSKEYDOWN, VK_F4, 1 << 29), 0);
    EXPECT_EQ(send(WM_SYSCOMMAND, SC_SCREENSAVE | 2), 0);
    EXPECT_EQ(send(WM_SYSCOMMAND, SC_MONITORPOWER), 0);
    EXPECT_FALSE(WinCore.Quit);
    WinCore.DeviceNotReady = true;
    EXPECT_EQ(send(WM_ERASEBKGND), 0);
    WinCore.DeviceNotReady = false;
    WinCore.EraseBackground = false;
    EXPECT_EQ(send(WM_ERASEBKGND), 1);
    // The close box goes the default way: WM_CLOSE.
    send(WM_SYSCOMMAND, SC_CLOSE);
    EXPECT_TRUE(WinCore.Quit);
}

TEST_F(WinCoreTest, SetClientSizeCentresOnTheOldClientArea)
{
    makeMainWindow();
    pt::resetWindowCalls();
    WinCore.SetClientSize(320, 240);
    EXPECT_EQ(pt::windowCalls().setWindowPos, 0);

    // Client 200,200-520,440: centre 360,320. 641 x 481 gives left 360-320, top 320-240.
    WinCore.SetClientSize(641, 481);
    const pt::WindowCalls& calls = pt::windowCalls();
    EXPECT_EQ(calls.setWindowPos, 1);
    EXPECT_EQ(calls.lastInsertAfter, reinterpret_cast<HWND__*>(HWND_NOTOPMOST));
    EXPECT_EQ(calls.lastX, 40 - PLATFORM_FRAME_WIDTH);
    EXPECT_EQ(calls.lastY, 80 - PLATFORM_FRAME_WIDTH - PLATFORM_CAPTION_HEIGHT);
    EXPECT_EQ(calls.lastWidth, 641 + 2 * PLATFORM_FRAME_WIDTH);
    EXPECT_EQ(calls.lastHeight, 481 + 2 * PLATFORM_FRAME_WIDTH + PLATFORM_CAPTION_HEIGHT);
    EXPECT_EQ(calls.lastFlags, static_cast<UINT>(SWP_SHOWWINDOW));

    // Too big to fit around the centre: pushed right and down onto the screen.
    WinCore.ShowMainWindow(false);
    WinCore.SetClientSize(1000, 800);
    EXPECT_EQ(calls.lastX, 0);
    EXPECT_EQ(calls.lastY, 0);
    EXPECT_EQ(calls.lastFlags, static_cast<UINT>(SWP_HIDEWINDOW));
}

TEST_F(WinCoreTest, FullScreenWindowCoversTheScreenAsAPopup)
{
    HWND window = makeMainWindow();
    pt::setScreenSize(1280, 1024);
    WinCore.SetFullScreenWindow();
    EXPECT_EQ(GetWindowLongA(window, GWL_STYLE), static_cast<LONG_PTR>(WS_POPUP));
    const pt::WindowCalls& calls = pt::windowCalls();
    EXPECT_EQ(calls.lastInsertAfter, reinterpret_cast<HWND__*>(HWND_TOPMOST));
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 1280);
    EXPECT_EQ(WinCore.GetScreenHeight(), 1024);
}

TEST_F(WinCoreTest, MinimiseUntilForegroundWaitsForTheWindowOrEndsTheProcess)
{
    HWND window = makeMainWindow();
    pt::setForeground(window);
    WinCore.MinimiseUntilForeground();
    EXPECT_EQ(pt::windowCalls().showWindow, 0);

    pt::setForeground(nullptr);
    int idles = 0;
    pt::setIdleHook([&] {
        if (++idles == 3) pt::setForeground(window);
    });
    WinCore.MinimiseUntilForeground();
    EXPECT_EQ(pt::windowCalls().lastShowCommand, SW_MINIMIZE);
    EXPECT_TRUE(IsIconic(window));
    EXPECT_EQ(idles, 3);

    // The user closes it instead: the process ends with the exit code so far.
    pt::setForeground(nullptr);
    llistInitElementPool();
    WinCore.ExitCode = 3;
    pt::setIdleHook([&] { PostMessageA(window, WM_CLOSE, 0, 0); });
    try {
        WinCore.MinimiseUntilForeground();
        ADD_FAILURE() << "no exit";
    } catch (const testsupport::ProcessExit& exit) {
        EXPECT_EQ(exit.code, 3);
    }
    EXPECT_FALSE(llistElementPoolExists());
    EXPECT_EQ(WinCore.AppName, nullptr);
}
