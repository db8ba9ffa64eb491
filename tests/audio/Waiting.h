// Waits for the work of a stream's thread, polling.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace audiotest {

inline bool waitFor(const std::function<bool()>& done, int milliseconds = 5000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

}  // namespace audiotest
