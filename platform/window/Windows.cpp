// The window table, the per-thread message queues and the user calls over them. The backend mirrors
// windows on the screen (or not at all) and turns real events into posted messages.
#include "Backend.h"
#include "Script.h"

#include "platform/testing.h"
#include "platform/win32.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace platform::windows {

namespace {

struct ClassRecord {
    WNDCLASSA wc;
    std::string name;
};

// Everything below is guarded by `lock`. Window procedures are never called with it held, so a
// procedure may call back into any of these functions.
std::recursive_mutex lock;
std::unique_ptr<Backend> backend;
std::map<std::string, ClassRecord> classes;  // by lower-cased name
std::map<HWND, WindowRecord> windows;
uintptr_t nextHandle = 0x10000;
ATOM nextAtom = 0xC000;
// A user's minimise or restore rides in the queue with its WM_SIZE: as on Windows, the window changes
// when its thread takes the message, so no program meets a WM_SIZE the window no longer matches.
enum class Change { NONE, MINIMISE, RESTORE };
struct Queued {
    MSG msg;
    Change change;
};
std::map<std::thread::id, std::deque<Queued>> queues;
HWND foreground = nullptr;
bool keysDown[256] = {};
int testScreenWidth = 1024, testScreenHeight = 768;
std::set<std::string> otherProcessClasses;  // test backend only
std::function<void()> idleHook;
platform::testing::WindowCalls calls;
std::vector<platform::testing::MessageBoxRecord> boxes;

// FindWindowA's answer for a window of another process: not in the table, so messages to it go nowhere.
HWND const OTHER_PROCESS_WINDOW = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7FFF0000));

std::string lowered(const char* text)
{
    std::string s = text ? text : "";
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

Backend& theBackend()
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!backend) backend.reset(makeLiveBackend());
    return *backend;
}

WindowRecord* find(HWND window)
{
    auto it = windows.find(window);
    return it == windows.end() ? nullptr : &it->second;
}

WNDPROC procOf(HWND window)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    WindowRecord* record = find(window);
    return record ? record->proc : nullptr;
}

LRESULT callProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC proc = procOf(window);
    return proc ? proc(window, message, wParam, lParam) : 0;
}

void post(std::thread::id thread, const MSG& msg, bool atFront = false, Change change = Change::NONE)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    std::deque<Queued>& queue = queues[thread];
    if (atFront)
        queue.push_front({msg, change});
    else
        queue.push_back({msg, change});
}

MSG makeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG msg{};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    return msg;
}

bool admits(const MSG& msg, HWND filter, UINT low, UINT high)
{
    if (filter && msg.hwnd && msg.hwnd != filter) return false;
    if (msg.message == WM_QUIT || (low == 0 && high == 0)) return true;
    return msg.message >= low && msg.message <= high;
}

RECT clientOf(const WindowRecord& record) { return clientFromOuter(record.rect, record.style); }

LPARAM clientSizeParam(const WindowRecord& record)
{
    RECT client = clientOf(record);
    return MAKELPARAM(client.right - client.left, client.bottom - client.top);
}

// A user's minimise or restore is made on the window as its message is taken (apply), and seen by a
// peek as it would then be. False when there is nothing to change (the window is gone, or already
// so): the message is dropped unseen, and a peek passes over it too.
bool readChange(MSG& msg, Change change, bool apply)
{
    WindowRecord* record = find(msg.hwnd);
    const bool minimise = change == Change::MINIMISE;
    if (!record || record->minimised == minimise) return false;
    if (apply) record->minimised = minimise;
    msg.lParam = minimise ? 0 : clientSizeParam(*record);
    return true;
}

bool take(MSG* out, HWND filter, UINT low, UINT high, bool remove)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    auto q = queues.find(std::this_thread::get_id());
    if (q == queues.end()) return false;
    for (auto it = q->second.begin(); it != q->second.end();) {
        if (!admits(it->msg, filter, low, high)) {
            ++it;
            continue;
        }
        Queued queued = *it;
        const bool seen = queued.change == Change::NONE || readChange(queued.msg, queued.change, remove);
        it = remove ? q->second.erase(it) : std::next(it);
        if (!seen) continue;
        *out = queued.msg;
        return true;
    }
    return false;
}

LPARAM clientOriginParam(const WindowRecord& record)
{
    RECT client = clientOf(record);
    return MAKELPARAM(client.left, client.top);
}

// The first top-level window of the calling thread: the one script events and closes address.
std::vector<HWND> topLevelWindowsOfThread()
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    std::vector<HWND> result;
    for (auto& [handle, record] : windows)
        if (!record.parent && record.owner == std::this_thread::get_id()) result.push_back(handle);
    return result;
}

void resetAll(Backend* next)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (backend)
        for (auto& [handle, record] : windows) backend->destroyed(record);
    windows.clear();
    classes.clear();
    queues.clear();
    foreground = nullptr;
    std::fill(std::begin(keysDown), std::end(keysDown), false);
    otherProcessClasses.clear();
    idleHook = nullptr;
    calls = {};
    boxes.clear();
    testScreenWidth = 1024;
    testScreenHeight = 768;
    resetScript();
    backend.reset(next);
}

}  // namespace

RECT outerFromClient(const RECT& client, DWORD style)
{
    RECT outer = client;
    if ((style & WS_CAPTION) == WS_CAPTION) {
        outer.left -= PLATFORM_FRAME_WIDTH;
        outer.right += PLATFORM_FRAME_WIDTH;
        outer.top -= PLATFORM_FRAME_WIDTH + PLATFORM_CAPTION_HEIGHT;
        outer.bottom += PLATFORM_FRAME_WIDTH;
    } else if (style & WS_THICKFRAME) {
        outer.left -= PLATFORM_FRAME_WIDTH;
        outer.right += PLATFORM_FRAME_WIDTH;
        outer.top -= PLATFORM_FRAME_WIDTH;
        outer.bottom += PLATFORM_FRAME_WIDTH;
    }
    return outer;
}

RECT clientFromOuter(const RECT& outer, DWORD style)
{
    RECT probe{0, 0, 0, 0};
    RECT frame = outerFromClient(probe, style);
    RECT client{outer.left - frame.left, outer.top - frame.top, outer.right - frame.right,
                outer.bottom - frame.bottom};
    if (client.right < client.left) client.right = client.left;
    if (client.bottom < client.top) client.bottom = client.top;
    return client;
}

void postFromPlatform(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    PostMessageA(window, message, wParam, lParam);
}

void userMoved(HWND window, int clientX, int clientY)
{
    LPARAM origin;
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        WindowRecord* record = find(window);
        if (!record) return;
        RECT client = clientOf(*record);
        int dx = clientX - client.left, dy = clientY - client.top;
        if (dx == 0 && dy == 0) return;
        record->rect.left += dx;
        record->rect.right += dx;
        record->rect.top += dy;
        record->rect.bottom += dy;
        origin = clientOriginParam(*record);
    }
    PostMessageA(window, WM_MOVE, 0, origin);
}

void userResized(HWND window, int clientWidth, int clientHeight)
{
    LPARAM size;
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        WindowRecord* record = find(window);
        if (!record) return;
        RECT client = clientOf(*record);
        if (client.right - client.left == clientWidth && client.bottom - client.top == clientHeight) return;
        client.right = client.left + clientWidth;
        client.bottom = client.top + clientHeight;
        record->rect = outerFromClient(client, record->style);
        size = clientSizeParam(*record);
    }
    PostMessageA(window, WM_SIZE, SIZE_RESTORED, size);
}

void userMinimised(HWND window, bool minimised)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    WindowRecord* record = find(window);
    if (!record) return;
    post(record->owner, makeMessage(window, WM_SIZE, minimised ? SIZE_MINIMIZED : SIZE_RESTORED, 0), false,
         minimised ? Change::MINIMISE : Change::RESTORE);
}

void userFocus(HWND window, bool focused)
{
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        if (!find(window)) return;
        if (focused)
            foreground = window;
        else if (foreground == window)
            foreground = nullptr;
    }
    PostMessageA(window, WM_ACTIVATEAPP, focused ? TRUE : FALSE, 0);
}

void userKey(HWND window, int virtualKey, bool down, bool alt, bool repeat)
{
    setKeyState(virtualKey, down);
    bool system = alt || virtualKey == VK_F10 || virtualKey == VK_MENU;
    UINT message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    LPARAM lParam = 1;
    if (alt) lParam |= 1 << 29;
    if (repeat || !down) lParam |= 1 << 30;
    if (!down) lParam |= static_cast<LPARAM>(1u << 31);
    PostMessageA(window, message, static_cast<WPARAM>(virtualKey), lParam);
}

void userChar(HWND window, unsigned char character) { PostMessageA(window, WM_CHAR, character, 1); }

void closeAll()
{
    for (HWND window : topLevelWindowsOfThread()) PostMessageA(window, WM_CLOSE, 0, 0);
}

void setKeyState(int virtualKey, bool down)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (virtualKey >= 0 && virtualKey < 256) keysDown[virtualKey] = down;
}

HWND scriptTarget()
{
    std::vector<HWND> all = topLevelWindowsOfThread();
    return all.empty() ? nullptr : all.front();
}

}  // namespace platform::windows

using namespace platform::windows;

HMODULE GetModuleHandleA(LPCSTR)
{
    static char self;
    return reinterpret_cast<HMODULE>(&self);
}

HICON LoadIconA(HINSTANCE, LPCSTR name)
{
    return reinterpret_cast<HICON>(static_cast<uintptr_t>(0x100000) | (reinterpret_cast<uintptr_t>(name) & 0xFFFF));
}

HCURSOR LoadCursorA(HINSTANCE, LPCSTR name)
{
    return reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(0x200000) | (reinterpret_cast<uintptr_t>(name) & 0xFFFF));
}

HGDIOBJ GetStockObject(int object)
{
    return reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(0x300000 + object));
}

HCURSOR SetCursor(HCURSOR cursor)
{
    static HCURSOR current = nullptr;
    HCURSOR previous = current;
    current = cursor;
    return previous;
}

ATOM RegisterClassA(const WNDCLASSA* wc)
{
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc) return 0;
    theBackend();
    std::lock_guard<std::recursive_mutex> guard(lock);
    std::string key = lowered(wc->lpszClassName);
    if (classes.count(key)) return 0;
    ClassRecord record{*wc, wc->lpszClassName};
    record.wc.lpszClassName = nullptr;
    record.wc.lpszMenuName = nullptr;
    classes[key] = record;
    return nextAtom++;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y, int width,
                     int height, HWND parent, void*, HINSTANCE instance, LPVOID)
{
    Backend& back = theBackend();
    HWND handle;
    bool visible;
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        auto cls = classes.find(lowered(className));
        if (cls == classes.end()) return nullptr;
        handle = reinterpret_cast<HWND>(nextHandle);
        nextHandle += 0x10;
        WindowRecord& record = windows[handle];
        record.handle = handle;
        record.className = cls->second.name;
        record.title = title ? title : "";
        record.proc = cls->second.wc.lpfnWndProc;
        record.style = style & ~WS_VISIBLE;
        record.exStyle = exStyle;
        record.instance = instance;
        record.parent = parent;
        record.rect = RECT{x, y, x + width, y + height};
        record.owner = std::this_thread::get_id();
        visible = (style & WS_VISIBLE) != 0;
        if (!parent) back.claimClass(record.className);
        back.created(record);
    }
    callProc(handle, WM_CREATE, 0, 0);
    if (visible) ShowWindow(handle, SW_SHOW);
    return handle;
}

BOOL DestroyWindow(HWND window)
{
    if (!IsWindow(window)) return FALSE;
    callProc(window, WM_DESTROY, 0, 0);
    std::lock_guard<std::recursive_mutex> guard(lock);
    WindowRecord* record = find(window);
    if (!record) return TRUE;  // the procedure destroyed it already
    std::string className = record->className;
    bool topLevel = record->parent == nullptr;
    if (backend) backend->destroyed(*record);
    windows.erase(window);
    if (foreground == window) foreground = nullptr;
    for (auto& [thread, queue] : queues)
        queue.erase(
            std::remove_if(queue.begin(), queue.end(), [window](const Queued& q) { return q.msg.hwnd == window; }),
            queue.end());
    if (topLevel && backend) {
        bool another = std::any_of(windows.begin(), windows.end(), [&](const auto& entry) {
            return !entry.second.parent && stricmp(entry.second.className.c_str(), className.c_str()) == 0;
        });
        if (!another) backend->releaseClass(className);
    }
    return TRUE;
}

BOOL IsWindow(HWND window)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    return find(window) != nullptr;
}

HWND FindWindowA(LPCSTR className, LPCSTR title)
{
    Backend& back = theBackend();
    std::lock_guard<std::recursive_mutex> guard(lock);
    for (auto& [handle, record] : windows) {
        if (className && stricmp(record.className.c_str(), className) != 0) continue;
        if (title && record.title != title) continue;
        return handle;
    }
    if (!className) return nullptr;
    if (back.isTest()) return otherProcessClasses.count(lowered(className)) ? OTHER_PROCESS_WINDOW : nullptr;
    return back.otherProcessHas(className) ? OTHER_PROCESS_WINDOW : nullptr;
}

BOOL ShowWindow(HWND window, int command)
{
    bool wasVisible, sendShow = false, sendMinimise = false, sendRestore = false, sendDeactivate = false;
    LPARAM size = 0;
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        ++calls.showWindow;
        calls.lastShowCommand = command;
        WindowRecord* record = find(window);
        if (!record) return FALSE;
        wasVisible = record->visible;
        bool visible = command != SW_HIDE;
        sendShow = visible != record->visible;
        record->visible = visible;
        if (command == SW_MINIMIZE || command == SW_SHOWMINIMIZED || command == SW_SHOWMINNOACTIVE) {
            sendMinimise = !record->minimised;
            record->minimised = true;
            // Only SW_SHOWMINNOACTIVE leaves the activation as it stands.
            if (foreground == window && command != SW_SHOWMINNOACTIVE) {
                foreground = nullptr;
                sendDeactivate = true;
            }
        } else if ((command == SW_RESTORE || command == SW_SHOWNORMAL) && record->minimised) {
            record->minimised = false;
            sendRestore = true;
            size = clientSizeParam(*record);
        }
        if (backend) backend->shown(*record);
    }
    if (sendShow) callProc(window, WM_SHOWWINDOW, command != SW_HIDE, 0);
    if (sendMinimise) callProc(window, WM_SIZE, SIZE_MINIMIZED, 0);
    if (sendRestore) callProc(window, WM_SIZE, SIZE_RESTORED, size);
    if (sendDeactivate) callProc(window, WM_ACTIVATEAPP, FALSE, 0);
    return wasVisible ? TRUE : FALSE;
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags)
{
    bool moved = false, resized = false, showChanged = false, nowVisible = false;
    LPARAM origin = 0, size = 0;
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        ++calls.setWindowPos;
        calls.lastInsertAfter = insertAfter;
        calls.lastX = x;
        calls.lastY = y;
        calls.lastWidth = width;
        calls.lastHeight = height;
        calls.lastFlags = flags;
        WindowRecord* record = find(window);
        if (!record) return FALSE;
        RECT before = record->rect;
        if (!(flags & SWP_NOMOVE)) {
            record->rect.right += x - record->rect.left;
            record->rect.bottom += y - record->rect.top;
            record->rect.left = x;
            record->rect.top = y;
        }
        if (!(flags & SWP_NOSIZE)) {
            record->rect.right = record->rect.left + width;
            record->rect.bottom = record->rect.top + height;
        }
        moved = before.left != record->rect.left || before.top != record->rect.top;
        resized = before.right - before.left != record->rect.right - record->rect.left ||
                  before.bottom - before.top != record->rect.bottom - record->rect.top;
        if (flags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW)) {
            nowVisible = (flags & SWP_SHOWWINDOW) != 0;
            showChanged = nowVisible != record->visible;
            record->visible = nowVisible;
        }
        origin = clientOriginParam(*record);
        size = clientSizeParam(*record);
        if (backend) {
            backend->placed(*record);
            if (showChanged) backend->shown(*record);
        }
        if (record->minimised) moved = resized = false;
    }
    if (showChanged) callProc(window, WM_SHOWWINDOW, nowVisible, 0);
    if (moved) callProc(window, WM_MOVE, 0, origin);
    if (resized) callProc(window, WM_SIZE, SIZE_RESTORED, size);
    return TRUE;
}

LONG_PTR GetWindowLongA(HWND window, int index)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    WindowRecord* record = find(window);
    if (!record) return 0;
    switch (index) {
    case GWL_STYLE: return static_cast<LONG_PTR>(record->style | (record->visible ? WS_VISIBLE : 0));
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(record->exStyle);
    case GWL_HINSTANCE: return reinterpret_cast<LONG_PTR>(record->instance);
    default: return 0;
    }
}

LONG_PTR SetWindowLongA(HWND window, int index, LONG_PTR value)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    WindowRecord* record = find(window);
    if (!record) return 0;
    LONG_PTR previous = GetWindowLongA(window, index);
    switch (index) {
    case GWL_STYLE:
        record->style = static_cast<DWORD>(value) & ~WS_VISIBLE;
        if (backend) backend->placed(*record);
        break;
    case GWL_EXSTYLE: record->exStyle = static_cast<DWORD>(value); break;
    case GWL_HINSTANCE: record->instance = reinterpret_cast<HINSTANCE>(value); break;
    default: return 0;
    }
    return previous;
}

BOOL AdjustWindowRect(RECT* rect, DWORD style, BOOL)
{
    if (!rect) return FALSE;
    *rect = outerFromClient(*rect, style);
    return TRUE;
}

BOOL GetClientRect(HWND window, RECT* rect)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    WindowRecord* record = find(window);
    if (!record || !rect) return FALSE;
    RECT client = clientOf(*record);
    *rect = RECT{0, 0, client.right - client.left, client.bottom - client.top};
    return TRUE;
}

BOOL GetWindowRect(HWND window, RECT* rect)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    WindowRecord* record = find(window);
    if (!record || !rect) return FALSE;
    *rect = record->rect;
    return TRUE;
}

BOOL ClientToScreen(HWND window, POINT* point)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    WindowRecord* record = find(window);
    if (!record || !point) return FALSE;
    RECT client = clientOf(*record);
    point->x += client.left;
    point->y += client.top;
    return TRUE;
}

int GetSystemMetrics(int index)
{
    Backend& back = theBackend();
    int width = 0, height = 0;
    if (back.isTest()) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        width = testScreenWidth;
        height = testScreenHeight;
    } else {
        back.screenSize(width, height);
    }
    switch (index) {
    case SM_CXSCREEN: return width;
    case SM_CYSCREEN: return height;
    default: return 0;
    }
}

HWND GetForegroundWindow()
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    return foreground;
}

BOOL SetForegroundWindow(HWND window)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!find(window)) return FALSE;
    foreground = window;
    return TRUE;
}

HWND SetActiveWindow(HWND window)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    HWND previous = foreground;
    // Activation brings a window in front only while its application is: a user who switched to
    // another one keeps it.
    if (find(window) && foreground) foreground = window;
    return previous;
}

BOOL IsIconic(HWND window)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    WindowRecord* record = find(window);
    return record && record->minimised;
}

BOOL PeekMessageA(MSG* msg, HWND window, UINT low, UINT high, UINT remove)
{
    if (!msg) return FALSE;
    Backend& back = theBackend();
    back.poll();
    if (take(msg, window, low, high, (remove & PM_REMOVE) != 0)) return TRUE;
    // An empty queue ends one pass of the pump: the script's clock ticks.
    if (remove & PM_REMOVE) scriptTick(false);
    return FALSE;
}

BOOL GetMessageA(MSG* msg, HWND window, UINT low, UINT high)
{
    if (!msg) return FALSE;
    Backend& back = theBackend();
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        ++calls.getMessage;
    }
    bool idleRan = false;
    for (;;) {
        back.poll();
        if (take(msg, window, low, high, true)) break;
        if (back.isTest()) {
            std::function<void()> hook;
            {
                std::lock_guard<std::recursive_mutex> guard(lock);
                hook = idleHook;
            }
            if (hook && !idleRan) {
                idleRan = true;
                hook();
                continue;
            }
            *msg = makeMessage(window, WM_NULL, 0, 0);
            break;
        }
        // A waiting pump still lets the script's next events arrive, so a scripted run never stalls.
        if (scriptTick(true)) continue;
        back.wait(10);
    }
    scriptTick(false);
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL TranslateMessage(const MSG* msg)
{
    if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) return FALSE;
    int key = static_cast<int>(msg->wParam);
    int character = 0;
    switch (key) {
    case VK_RETURN: character = '\r'; break;
    case VK_ESCAPE: character = 0x1B; break;
    case VK_BACK: character = 0x08; break;
    case VK_TAB: character = '\t'; break;
    default: break;
    }
    if (!character && !theBackend().deliversText()) {
        bool shift = (GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0;
        if (key == VK_SPACE)
            character = ' ';
        else if (key >= 'A' && key <= 'Z')
            character = shift ? key : key + 32;
        else if (key >= '0' && key <= '9')
            character = key;
    }
    if (!character) return FALSE;
    std::thread::id thread = std::this_thread::get_id();
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        if (WindowRecord* record = find(msg->hwnd)) thread = record->owner;
    }
    post(thread, makeMessage(msg->hwnd, msg->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR, character, msg->lParam),
         true);
    return TRUE;
}

LRESULT DispatchMessageA(const MSG* msg)
{
    if (!msg || !msg->hwnd) return 0;
    return callProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return callProc(window, message, wParam, lParam);
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::thread::id thread = std::this_thread::get_id();
    if (window) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        WindowRecord* record = find(window);
        if (!record) return FALSE;
        thread = record->owner;
    }
    post(thread, makeMessage(window, message, wParam, lParam));
    return TRUE;
}

void PostQuitMessage(int exitCode)
{
    post(std::this_thread::get_id(), makeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0));
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_CLOSE: DestroyWindow(window); return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    case WM_ERASEBKGND: return 1;
    default: return 0;
    }
}

short GetAsyncKeyState(int virtualKey)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (virtualKey < 0 || virtualKey >= 256) return 0;
    return keysDown[virtualKey] ? static_cast<short>(0x8000) : 0;
}

HDC GetDC(HWND window) { return IsWindow(window) ? reinterpret_cast<HDC>(static_cast<uintptr_t>(0x400000)) : nullptr; }
int ReleaseDC(HWND, HDC dc) { return dc ? 1 : 0; }
int FillRect(HDC dc, const RECT* rect, HBRUSH) { return dc && rect ? 1 : 0; }

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT)
{
    fprintf(stderr, "%s: %s\n", caption ? caption : "Error", text ? text : "");
    fflush(stderr);
    std::lock_guard<std::recursive_mutex> guard(lock);
    boxes.push_back({text ? text : "", caption ? caption : ""});
    return IDOK;
}

namespace platform::testing {

void useTestWindows() { resetAll(makeTestBackend()); }
void useLiveWindows() { resetAll(nullptr); }

void setScreenSize(int width, int height)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    testScreenWidth = width;
    testScreenHeight = height;
}

void setForeground(HWND window)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    foreground = window;
}

void setOtherProcessWindow(const char* className, bool present)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (present)
        otherProcessClasses.insert(lowered(className));
    else
        otherProcessClasses.erase(lowered(className));
}

void setKeyDown(int virtualKey, bool down) { platform::windows::setKeyState(virtualKey, down); }

void setIdleHook(std::function<void()> hook)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    idleHook = std::move(hook);
}

int queuedMessages()
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    auto q = queues.find(std::this_thread::get_id());
    return q == queues.end() ? 0 : static_cast<int>(q->second.size());
}

const WindowCalls& windowCalls() { return calls; }
void resetWindowCalls()
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    calls = {};
}

const std::vector<MessageBoxRecord>& messageBoxes() { return boxes; }
void clearMessageBoxes()
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    boxes.clear();
}

}  // namespace platform::testing
