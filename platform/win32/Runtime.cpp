#include "platform/win32/runtime.h"
#include "platform/testing.h"
#include "platform/win32/threads.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <unistd.h>

namespace {

// One generator per thread, as in the multithreaded Windows runtime.
thread_local uint32_t holdRand = 1;

std::mutex exitHookLock;
std::function<void(int)> exitHook;

[[noreturn]] void leave(int code, bool runHandlers)
{
    std::function<void(int)> hook;
    {
        std::lock_guard<std::mutex> lock(exitHookLock);
        hook = exitHook;
    }
    if (hook) hook(code);
    // Exit handlers destroy static objects that threads still running may be using.
    if (runHandlers && !platform::otherThreadsRunning()) std::exit(code);
    std::fflush(nullptr);
    ::_exit(code);
}

int foldCase(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

}  // namespace

int crtRand()
{
    holdRand = holdRand * 214013u + 2531011u;
    return static_cast<int>((holdRand >> 16) & 0x7fff);
}

void crtSrand(unsigned int seed) { holdRand = seed; }

void crtExit(int code) { leave(code, true); }

void OutputDebugStringA(const char* text)
{
    if (text) fputs(text, stderr);
}

void ExitProcess(UINT code) { leave(static_cast<int>(code), false); }

int stricmp(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        int ca = foldCase(static_cast<unsigned char>(*a)), cb = foldCase(static_cast<unsigned char>(*b));
        if (ca != cb || ca == 0) return ca - cb;
    }
}

int strnicmp(const char* a, const char* b, size_t count)
{
    for (; count > 0; --count, ++a, ++b) {
        int ca = foldCase(static_cast<unsigned char>(*a)), cb = foldCase(static_cast<unsigned char>(*b));
        if (ca != cb || ca == 0) return ca - cb;
    }
    return 0;
}

namespace platform::testing {

void setExitHook(std::function<void(int)> hook)
{
    std::lock_guard<std::mutex> lock(exitHookLock);
    exitHook = std::move(hook);
}

}  // namespace platform::testing
