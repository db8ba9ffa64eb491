// Files held in memory for tests and fuzzing (see platform/testing.h). The file calls ask here
// first, but only while memory files are in use: otherwise they pay one relaxed load.
#pragma once

#include "platform/win32/types.h"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace platform::memoryfiles {

// 100 ns ticks between 1601-01-01 and 1970-01-01.
constexpr uint64_t EPOCH_DIFFERENCE = 116444736000000000ull;

constexpr int64_t TICKS_PER_SECOND = 10000000;

// The largest FILETIME Windows takes: its top bit clear.
constexpr uint64_t LARGEST_TICKS = static_cast<uint64_t>(INT64_MAX);

// A time before 1970 has a negative tv_sec, and is still a FILETIME (which counts from 1601). A file
// system with 64-bit times keeps dates a FILETIME cannot say: they are held at the nearest it can
// (1601-01-01, or the largest), so that such a time set again on a file reads back as it was read.
inline uint64_t ticksFromTimespec(const timespec& ts)
{
    constexpr int64_t firstSecond = -static_cast<int64_t>(EPOCH_DIFFERENCE / TICKS_PER_SECOND);
    constexpr int64_t lastSecond = static_cast<int64_t>((LARGEST_TICKS - EPOCH_DIFFERENCE) / TICKS_PER_SECOND);
    const int64_t seconds = ts.tv_sec;
    if (seconds < firstSecond) return 0;
    if (seconds > lastSecond) return LARGEST_TICKS;
    // From 1601 on, so the count is never negative; the last second's fraction may pass the largest.
    const uint64_t ticks = static_cast<uint64_t>(seconds - firstSecond) * TICKS_PER_SECOND +
                           static_cast<uint64_t>(ts.tv_nsec / 100);
    return ticks < LARGEST_TICKS ? ticks : LARGEST_TICKS;
}

// False for a count past the largest FILETIME Windows takes (its top bit set).
inline bool timespecFromTicks(uint64_t ticks, timespec& ts)
{
    if (ticks > LARGEST_TICKS) return false;
    const int64_t sinceEpoch = static_cast<int64_t>(ticks) - static_cast<int64_t>(EPOCH_DIFFERENCE);
    int64_t seconds = sinceEpoch / TICKS_PER_SECOND, rest = sinceEpoch % TICKS_PER_SECOND;
    if (rest < 0) {
        --seconds;
        rest += TICKS_PER_SECOND;
    }
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>(rest * 100);
    return true;
}

// The bytes behind a held name. Handles share it, as handles of one file share its contents.
struct Contents {
    std::mutex lock;
    std::vector<uint8_t> bytes;
    uint64_t writeTime = 0;  // 100 ns ticks since 1601
};

// What a HANDLE of a file points to: a descriptor, or held contents and a position.
struct FileObject {
    int fd = -1;
    std::shared_ptr<Contents> memory;
    uint64_t position = 0;
    bool canRead = false, canWrite = false;
};

extern std::atomic<bool> inUse;
inline bool active() { return inUse.load(std::memory_order_relaxed); }

// Each answers false when the name is none of memory's business; the disk answers then.
bool create(const char* name, DWORD access, DWORD creation, HANDLE& handle, DWORD& error);
bool attributes(const char* name, DWORD& result, DWORD& error);
bool makeFolder(const char* name, DWORD& error);
bool remove(const char* name, DWORD& error);
bool move(const char* from, const char* to, bool replace, DWORD& error);
// The names held directly in a folder, each with whether it is a folder; true when the disk is out
// of sight (only these exist).
bool list(const char* folder, std::vector<std::pair<std::string, bool>>& names);

// The calls on a handle of held contents.
BOOL read(FileObject& file, void* buffer, DWORD count, DWORD& done, DWORD& error);
BOOL write(FileObject& file, const void* buffer, DWORD count, DWORD& done, DWORD& error);
bool seek(FileObject& file, int64_t distance, DWORD method, uint64_t& result);
uint64_t size(FileObject& file);
uint64_t writeTime(FileObject& file);
void setWriteTime(FileObject& file, uint64_t ticks);

}  // namespace platform::memoryfiles
