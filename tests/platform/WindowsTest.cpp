#include "platform/com.h"
#include "platform/script.h"
#include "platform/testing.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <vector>

namespace pt = platform::testing;

namespace {

std::vector<MSG> seen;

LRESULT recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG m{};
    m.hwnd = window;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    seen.push_back(m);
    return DefWindowProcA(window, message, wParam, lParam);
}

std::vector<UINT> messagesSeen()
{
    std::vector<UINT> ids;
    for (const MSG& m : seen) ids.push_back(m.message);
    return ids;
}

class WindowsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        pt::useTestWindows();
        seen.clear();
        WNDCLASSA wc{};
        wc.lpfnWndProc = recordingProc;
        wc.lpszClassName = "Probe";
        ASSERT_NE(RegisterClassA(&wc), 0);
        window = CreateWindowExA(0, "probe", "Probe", WS_OVERLAPPEDWINDOW, 10, 20, 300, 200, nullptr, nullptr,
                                 nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        seen.clear();
    }
    void TearDown() override { pt::useTestWindows(); }

    void pump()
    {
        MSG msg;
        while (PeekMessageA(&msg, window, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

    HWND window = nullptr;
};

}  // namespace

TEST_F(WindowsTest, QueuesDeliverInOrderAndTypedKeysBecomeCharacters)
{
    PostMessageA(window, WM_KEYDOWN, 'A', 1);
    PostMessageA(window, WM_KEYDOWN, VK_F1, 1);
    pump();
    pt::setKeyDown(VK_SHIFT, true);
    PostMessageA(window, WM_KEYDOWN, 'B', 1);
    pump();
    EXPECT_EQ(messagesSeen(), (std::vector<UINT>{WM_KEYDOWN, WM_CHAR, WM_KEYDOWN, WM_KEYDOWN, WM_CHAR}));
    EXPECT_EQ(seen[1].wParam, static_cast<WPARAM>('a'));
    EXPECT_EQ(seen[4].wParam, static_cast<WPARAM>('B'));
    EXPECT_NE(GetAsyncKeyState(VK_SHIFT) & 0x8000, 0);

    // Thread messages pass a window filter; WM_QUIT ends GetMessageA.
    PostQuitMessage(4);
    MSG msg;
    EXPECT_FALSE(GetMessageA(&msg, window, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 4u);
}

TEST_F(WindowsTest, AnEmptyWaitRunsTheIdleHookAndNeverHangs)
{
    MSG msg;
    EXPECT_TRUE(GetMessageA(&msg, window, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_NULL));
    pt::setIdleHook([this] { PostMessageA(window, WM_USER, 1, 2); });
    EXPECT_TRUE(GetMessageA(&msg, window, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
}

TEST_F(WindowsTest, DestroyingAWindowDropsItsMessagesAndItsHandle)
{
    PostMessageA(window, WM_USER, 0, 0);
    EXPECT_EQ(FindWindowA("PROBE", nullptr), window);
    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_EQ(messagesSeen(), (std::vector<UINT>{WM_DESTROY}));
    EXPECT_EQ(pt::queuedMessages(), 0);
    EXPECT_FALSE(PostMessageA(window, WM_USER, 0, 0));
    EXPECT_EQ(FindWindowA("Probe", nullptr), nullptr);
    pt::setOtherProcessWindow("Probe", true);
    EXPECT_NE(FindWindowA("probe", nullptr), nullptr);
}

TEST_F(WindowsTest, GeometryAndVisibilityChangesTellTheWindow)
{
    RECT client;
    ASSERT_TRUE(GetClientRect(window, &client));
    EXPECT_EQ(client.right, 300 - 2 * PLATFORM_FRAME_WIDTH);
    EXPECT_EQ(client.bottom, 200 - 2 * PLATFORM_FRAME_WIDTH - PLATFORM_CAPTION_HEIGHT);

    SetWindowPos(window, HWND_NOTOPMOST, 50, 60, 400, 300, SWP_SHOWWINDOW);
    EXPECT_EQ(messagesSeen(), (std::vector<UINT>{WM_SHOWWINDOW, WM_MOVE, WM_SIZE}));
    EXPECT_EQ(LOWORD(seen[1].lParam), 50 + PLATFORM_FRAME_WIDTH);
    EXPECT_EQ(LOWORD(seen[2].lParam), 400 - 2 * PLATFORM_FRAME_WIDTH);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    EXPECT_EQ(origin.y, 60 + PLATFORM_FRAME_WIDTH + PLATFORM_CAPTION_HEIGHT);

    seen.clear();
    pt::setForeground(window);
    ShowWindow(window, SW_MINIMIZE);
    EXPECT_EQ(messagesSeen(), (std::vector<UINT>{WM_SIZE, WM_ACTIVATEAPP}));
    EXPECT_EQ(seen[0].wParam, static_cast<WPARAM>(SIZE_MINIMIZED));
    EXPECT_TRUE(IsIconic(window));
    EXPECT_EQ(GetForegroundWindow(), nullptr);
    seen.clear();
    ShowWindow(window, SW_RESTORE);
    EXPECT_EQ(messagesSeen(), (std::vector<UINT>{WM_SIZE}));
    EXPECT_FALSE(IsIconic(window));

    // The popup style has no frame.
    SetWindowLongA(window, GWL_STYLE, static_cast<LONG_PTR>(WS_POPUP));
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 400);
}

TEST_F(WindowsTest, AUsersMinimiseIsMadeAsItsMessageIsTakenAndLeavesTheForeground)
{
    // As on Windows, the window changes as its thread takes the message: the program's own restore
    // before that cannot leave it a WM_SIZE that the window no longer matches.
    ShowWindow(window, SW_SHOW);
    pt::setForeground(window);
    ASSERT_TRUE(pt::loadScript("1 minimise\n"));
    pump();  // frame 1 queues the minimise
    EXPECT_FALSE(IsIconic(window));
    seen.clear();
    ShowWindow(window, SW_RESTORE);
    pump();
    EXPECT_EQ(messagesSeen(), (std::vector<UINT>{WM_SIZE}));
    EXPECT_EQ(seen[0].wParam, static_cast<WPARAM>(SIZE_MINIMIZED));
    EXPECT_TRUE(IsIconic(window));
    EXPECT_EQ(GetForegroundWindow(), window);

    // A change that will be dropped is not seen by a peek either (the user's restore after the
    // game's own); one that will be made is seen with the size it will carry, and only taking it
    // makes it.
    MSG peeked{};
    for (bool minimisedFirst : {false, true}) {
        SCOPED_TRACE(minimisedFirst);
        ShowWindow(window, minimisedFirst ? SW_SHOWMINNOACTIVE : SW_RESTORE);
        pump();
        ASSERT_TRUE(pt::loadScript("1 restore\n"));
        EXPECT_FALSE(PeekMessageA(&peeked, window, 0, 0, PM_REMOVE));  // an empty pass: frame 1 queues it
        EXPECT_EQ(PeekMessageA(&peeked, window, WM_SIZE, WM_SIZE, PM_NOREMOVE), minimisedFirst ? TRUE : FALSE);
        if (minimisedFirst) {
            EXPECT_NE(peeked.lParam, 0);
        }
        EXPECT_EQ(IsIconic(window), minimisedFirst ? TRUE : FALSE);
        pump();
        EXPECT_FALSE(IsIconic(window));
    }
}

TEST_F(WindowsTest, TheScriptPlaysEventsAtTheirFrames)
{
    EXPECT_TRUE(pt::loadScript("# a comment\n3 key escape\n2 text hi\n5 focus on\n 6 close\n"));
    pump();  // frame 1
    EXPECT_TRUE(seen.empty());
    pump();  // frame 2 queues the text, delivered by the next pass
    pump();  // frame 3
    EXPECT_EQ(messagesSeen(), (std::vector<UINT>{WM_CHAR, WM_CHAR}));
    pump();
    EXPECT_EQ(messagesSeen(), (std::vector<UINT>{WM_CHAR, WM_CHAR, WM_KEYDOWN, WM_CHAR}));
    EXPECT_EQ(seen[2].wParam, static_cast<WPARAM>(VK_ESCAPE));
    seen.clear();
    pump();  // a tap's release comes a frame after its press, as a player's does
    EXPECT_EQ(messagesSeen(), (std::vector<UINT>{WM_KEYUP}));
    seen.clear();
    pump();
    EXPECT_EQ(GetForegroundWindow(), window);
    pump();
    EXPECT_EQ(messagesSeen(), (std::vector<UINT>{WM_ACTIVATEAPP, WM_CLOSE, WM_DESTROY}));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(platform::scriptFrame(), 6u);

    // A line that cannot be read refuses the whole script.
    EXPECT_FALSE(pt::loadScript("1 close\nx close\n"));
    EXPECT_FALSE(pt::loadScript("12\n"));
}

TEST_F(WindowsTest, AScriptSavedWithAByteOrderMarkPlaysFromItsFirstLine)
{
    // Only the mark at the very start is an editor's; anywhere else it is a line's own text.
    EXPECT_FALSE(pt::loadScript("1 close\n\xEF\xBB\xBF" "2 close\n"));
    ASSERT_TRUE(pt::loadScript("\xEF\xBB\xBF" "1 text a\n2 close\n"));
    pump();  // frame 1 queues the text, delivered by the next pass
    pump();
    pump();
    EXPECT_EQ(messagesSeen(), (std::vector<UINT>{WM_CHAR, WM_CLOSE, WM_DESTROY}));
    EXPECT_EQ(seen[0].wParam, static_cast<WPARAM>('a'));
}

TEST_F(WindowsTest, AScriptedKeyCanBeHeld)
{
    pt::loadScript("1 keydown escape\n3 keyup 0x1b\n");
    pump();
    EXPECT_NE(GetAsyncKeyState(VK_ESCAPE) & 0x8000, 0);
    pump();
    pump();
    EXPECT_EQ(GetAsyncKeyState(VK_ESCAPE), 0);
    pump();
    EXPECT_EQ(messagesSeen(), (std::vector<UINT>{WM_KEYDOWN, WM_CHAR, WM_KEYUP}));
}

TEST_F(WindowsTest, OtherAreasAddScriptVerbs)
{
    static std::string heard;
    platform::registerScriptVerb("pad", [](const char* arguments) {
        heard = arguments;
        return true;
    });
    pt::loadScript("1 pad 0 x 0.5\n");
    pump();
    EXPECT_EQ(heard, "0 x 0.5");
}

TEST(ComTest, StartsAreCountedPerThread)
{
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    EXPECT_EQ(pt::comInitCount(), 2);
    CoUninitialize();
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(pt::comInitCount(), 0);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
}

TEST(MessageBoxTest, NeverWaitsAndIsRecorded)
{
    pt::clearMessageBoxes();
    EXPECT_EQ(MessageBoxA(nullptr, "text", "Caption", MB_OK), IDOK);
    ASSERT_EQ(pt::messageBoxes().size(), 1u);
    EXPECT_EQ(pt::messageBoxes()[0].caption, "Caption");
}
