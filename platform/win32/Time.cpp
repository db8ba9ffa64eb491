#include "platform/win32/time.h"
#include "platform/testing.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <mutex>
#include <thread>

namespace {

std::atomic<bool> manualClock{false};
std::atomic<DWORD> manualTime{0};
std::atomic<DWORD> manualStep{0};
std::mutex systemTimeLock;
bool systemTimeSet = false;
SYSTEMTIME fixedSystemTime{};

}  // namespace

DWORD timeGetTime()
{
    if (manualClock) return manualTime.fetch_add(manualStep);
    using namespace std::chrono;
    return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void Sleep(DWORD milliseconds)
{
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    if (manualClock) {
        manualTime += milliseconds;
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void GetSystemTime(SYSTEMTIME* out)
{
    {
        std::lock_guard<std::mutex> lock(systemTimeLock);
        if (systemTimeSet) {
            *out = fixedSystemTime;
            return;
        }
    }
    using namespace std::chrono;
    auto now = system_clock::now();
    time_t seconds = system_clock::to_time_t(now);
    tm utc;
    gmtime_r(&seconds, &utc);
    out->wYear = static_cast<WORD>(utc.tm_year + 1900);
    out->wMonth = static_cast<WORD>(utc.tm_mon + 1);
    out->wDayOfWeek = static_cast<WORD>(utc.tm_wday);
    out->wDay = static_cast<WORD>(utc.tm_mday);
    out->wHour = static_cast<WORD>(utc.tm_hour);
    out->wMinute = static_cast<WORD>(utc.tm_min);
    out->wSecond = static_cast<WORD>(utc.tm_sec);
    out->wMilliseconds = static_cast<WORD>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
}

namespace platform::testing {

void setManualClock(bool manual) { manualClock = manual; }
void setTime(DWORD milliseconds) { manualTime = milliseconds; }
void advanceTime(DWORD milliseconds) { manualTime += milliseconds; }
void setClockStep(DWORD milliseconds) { manualStep = milliseconds; }

void setSystemTime(const SYSTEMTIME* time)
{
    std::lock_guard<std::mutex> lock(systemTimeLock);
    systemTimeSet = time != nullptr;
    if (time) fixedSystemTime = *time;
}

}  // namespace platform::testing
