#include "Backend.h"
#include "Script.h"

#include "platform/sdlwindow.h"

#include <SDL.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace platform::windows {

namespace {

std::atomic<bool> closeRequested{false};

void onSignal(int)
{
    // The first signal asks politely; the handler is reset, so a second one ends the process.
    closeRequested = true;
}

void installSignalHandlers()
{
    struct sigaction action {};
    action.sa_handler = onSignal;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// The single-copy lock is per user: the shared /tmp gets the user's number in the name.
std::string lockDirectory()
{
    if (const char* dir = getenv("PLATFORM_LOCK_DIR"); dir && *dir) return dir;
    if (const char* dir = getenv("XDG_RUNTIME_DIR"); dir && *dir) return dir;
    const char* tmp = getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/window-locks-" + std::to_string(getuid());
}

// The lock folder is made with its parents: a missing parent must not leave the game unlocked.
void makeFolders(const std::string& path)
{
    for (size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0700);
        if (slash == std::string::npos) return;
    }
}

std::string lockFileFor(const std::string& className)
{
    std::string name;
    for (char c : className) {
        char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
        name += isalnum(static_cast<unsigned char>(lower)) ? lower : '_';
    }
    return lockDirectory() + "/" + name + ".window.lock";
}

int virtualKeyFor(SDL_Keycode key)
{
    if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9) return '0' + (key - SDLK_0);
    if (key >= SDLK_F1 && key <= SDLK_F12) return VK_F1 + (key - SDLK_F1);
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return VK_NUMPAD0 + 1 + (key - SDLK_KP_1);
    switch (key) {
    case SDLK_RETURN: case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL: case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT: case SDLK_RALT: return VK_MENU;
    case SDLK_PAUSE: return VK_PAUSE;
    case SDLK_CAPSLOCK: return VK_CAPITAL;
    case SDLK_INSERT: return VK_INSERT;
    case SDLK_DELETE: return VK_DELETE;
    case SDLK_HOME: return VK_HOME;
    case SDLK_END: return VK_END;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_PRINTSCREEN: return VK_SNAPSHOT;
    case SDLK_KP_0: return VK_NUMPAD0;
    case SDLK_KP_MULTIPLY: return VK_MULTIPLY;
    case SDLK_KP_PLUS: return VK_ADD;
    case SDLK_KP_MINUS: return VK_SUBTRACT;
    case SDLK_KP_PERIOD: return VK_DECIMAL;
    case SDLK_KP_DIVIDE: return VK_DIVIDE;
    default: return -1;
    }
}

// Windows without SDL when there is no display; SDL2 windows otherwise. SDL is started by the first
// window and used only from the thread that started it.
class LiveBackend : public Backend {
public:
    LiveBackend()
    {
        installSignalHandlers();
        loadScriptFromEnvironment();
    }

    ~LiveBackend() override;
    void shutdown()
    {
        for (auto& [name, fd] : m_locks) close(fd);
        if (m_sdlUp) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    bool isTest() const override { return false; }

    void created(WindowRecord& record) override
    {
        if (record.parent || !startSdl()) return;
        RECT client = clientFromOuter(record.rect, record.style);
        Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL;
        if (record.style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
        if ((record.style & WS_CAPTION) != WS_CAPTION) flags |= SDL_WINDOW_BORDERLESS;
        int width = std::max(1, static_cast<int>(client.right - client.left));
        int height = std::max(1, static_cast<int>(client.bottom - client.top));
        SDL_Window* window = SDL_CreateWindow(record.title.c_str(), client.left, client.top, width, height, flags);
        if (!window) window = SDL_CreateWindow(record.title.c_str(), client.left, client.top, width, height,
                                               flags & ~SDL_WINDOW_OPENGL);
        if (!window) {
            fprintf(stderr, "No window on the screen: %s\n", SDL_GetError());
            return;
        }
        record.native = window;
        m_byId[SDL_GetWindowID(window)] = record.handle;
        keepGraphicsDriversLoaded();
    }

    void destroyed(WindowRecord& record) override
    {
        if (!record.native) return;
        SDL_Window* window = static_cast<SDL_Window*>(record.native);
        m_byId.erase(SDL_GetWindowID(window));
        SDL_DestroyWindow(window);
        record.native = nullptr;
    }

    void shown(WindowRecord& record) override
    {
        SDL_Window* window = static_cast<SDL_Window*>(record.native);
        if (!window) return;
        if (!record.visible)
            SDL_HideWindow(window);
        else if (record.minimised)
            SDL_MinimizeWindow(window);
        else {
            SDL_ShowWindow(window);
            SDL_RestoreWindow(window);
        }
    }

    void placed(WindowRecord& record) override
    {
        SDL_Window* window = static_cast<SDL_Window*>(record.native);
        if (!window) return;
        RECT client = clientFromOuter(record.rect, record.style);
        SDL_SetWindowBordered(window, (record.style & WS_CAPTION) == WS_CAPTION ? SDL_TRUE : SDL_FALSE);
        SDL_SetWindowPosition(window, client.left, client.top);
        SDL_SetWindowSize(window, std::max(1, static_cast<int>(client.right - client.left)),
                          std::max(1, static_cast<int>(client.bottom - client.top)));
    }

    void poll() override
    {
        // Only a thread with windows of its own may take the request, else it would be lost.
        if (scriptTarget() && closeRequested.exchange(false)) closeAll();
        if (!m_sdlUp || std::this_thread::get_id() != m_sdlThread) return;
        SDL_Event event;
        while (SDL_PollEvent(&event)) translate(event);
    }

    void wait(int milliseconds) override
    {
        if (m_sdlUp && std::this_thread::get_id() == m_sdlThread)
            SDL_WaitEventTimeout(nullptr, milliseconds);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }

    void screenSize(int& width, int& height) override
    {
        SDL_DisplayMode mode;
        if (m_sdlUp && SDL_GetDesktopDisplayMode(0, &mode) == 0) {
            width = mode.w;
            height = mode.h;
            return;
        }
        width = 1024;
        height = 768;
    }

    bool deliversText() const override { return m_sdlUp; }

    bool otherProcessHas(const std::string& className) override
    {
        if (m_locks.count(className)) return false;  // ours
        int fd = open(lockFileFor(className).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        bool held = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        close(fd);
        return held;
    }

    void claimClass(const std::string& className) override
    {
        if (m_locks.count(className)) return;
        makeFolders(lockDirectory());
        const std::string path = lockFileFor(className);
        int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
            // Running on is better than refusing to start, but a second copy would go unnoticed.
            fprintf(stderr, "Cannot take the single-copy lock %s: %s\n", path.c_str(), strerror(errno));
            if (fd >= 0) close(fd);
            return;
        }
        m_locks[className] = fd;
    }

    void releaseClass(const std::string& className) override
    {
        auto it = m_locks.find(className);
        if (it == m_locks.end()) return;
        close(it->second);  // the lock goes with the descriptor; the file stays for the next run
        m_locks.erase(it);
    }

    SDL_Window* windowOf(HWND handle)
    {
        for (auto& [id, h] : m_byId)
            if (h == handle) return SDL_GetWindowFromID(id);
        return nullptr;
    }

private:
    bool startSdl()
    {
        if (m_sdlTried) return m_sdlUp;
        m_sdlTried = true;
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            fprintf(stderr, "Running without a window: %s\n", SDL_GetError());
            return false;
        }
        m_sdlUp = true;
        m_sdlThread = std::this_thread::get_id();
        return true;
    }

    HWND windowFor(Uint32 id)
    {
        auto it = m_byId.find(id);
        return it == m_byId.end() ? nullptr : it->second;
    }

    void translate(const SDL_Event& event)
    {
        switch (event.type) {
        case SDL_WINDOWEVENT: {
            HWND window = windowFor(event.window.windowID);
            if (!window) return;
            switch (event.window.event) {
            case SDL_WINDOWEVENT_CLOSE: postFromPlatform(window, WM_CLOSE, 0, 0); break;
            case SDL_WINDOWEVENT_FOCUS_GAINED: userFocus(window, true); break;
            case SDL_WINDOWEVENT_FOCUS_LOST: userFocus(window, false); break;
            case SDL_WINDOWEVENT_MINIMIZED: userMinimised(window, true); break;
            case SDL_WINDOWEVENT_RESTORED: userMinimised(window, false); break;
            case SDL_WINDOWEVENT_MAXIMIZED: postFromPlatform(window, WM_SIZE, SIZE_MAXIMIZED, 0); break;
            case SDL_WINDOWEVENT_MOVED: userMoved(window, event.window.data1, event.window.data2); break;
            case SDL_WINDOWEVENT_SIZE_CHANGED: userResized(window, event.window.data1, event.window.data2); break;
            default: break;
            }
            break;
        }
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            HWND window = windowFor(event.key.windowID);
            int key = virtualKeyFor(event.key.keysym.sym);
            if (!window || key < 0) return;
            bool alt = (event.key.keysym.mod & KMOD_ALT) != 0;
            userKey(window, key, event.type == SDL_KEYDOWN, alt, event.key.repeat != 0);
            break;
        }
        case SDL_TEXTINPUT: {
            HWND window = windowFor(event.text.windowID);
            if (!window) return;
            // UTF-8 to the 8-bit code page: characters above 255 cannot be typed into the game.
            const unsigned char* s = reinterpret_cast<const unsigned char*>(event.text.text);
            while (*s) {
                unsigned code = *s++;
                int extra = code >= 0xF0 ? 3 : code >= 0xE0 ? 2 : code >= 0xC0 ? 1 : 0;
                if (extra) code &= 0x3F >> extra;
                for (; extra > 0 && (*s & 0xC0) == 0x80; --extra) code = (code << 6) | (*s++ & 0x3F);
                if (code < 256 && code >= 32) userChar(window, static_cast<unsigned char>(code));
            }
            break;
        }
        default: break;
        }
    }

    bool m_sdlTried = false;
    bool m_sdlUp = false;
    std::thread::id m_sdlThread;
    std::map<Uint32, HWND> m_byId;
    std::map<std::string, int> m_locks;
};

LiveBackend* live = nullptr;

LiveBackend::~LiveBackend()
{
    shutdown();
    if (live == this) live = nullptr;
}

}  // namespace

Backend* makeLiveBackend()
{
    live = new LiveBackend;
    return live;
}

}  // namespace platform::windows

namespace platform {

SDL_Window* sdlWindow(HWND window) { return windows::live ? windows::live->windowOf(window) : nullptr; }

}  // namespace platform
