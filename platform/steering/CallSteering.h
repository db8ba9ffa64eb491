// How tests steer a stand-in's calls by method name: forced results for the next calls, a count of
// every call, and hooks that run on the calling thread outside the stand-in's lock.
#pragma once

#include "platform/win32/types.h"

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace platform {

class CallSteering {
public:
    // Counts the call and answers its forced result (S_OK when none). Under the stand-in's lock.
    HRESULT forcedResult(const std::string& method);
    // The next `times` calls fail with the result; times < 0 until cleared, 0 lifts the switch.
    // Under the stand-in's lock, as are count and clear.
    void fail(const std::string& method, HRESULT result, int times);
    int count(const std::string& method) const;
    // Forgets forced results and counts.
    void clear();

    // Hooks have a lock of their own. Null removes the hook.
    void setHook(const std::string& method, std::function<void()> hook);
    void runHook(const std::string& method);

private:
    struct Failure {
        HRESULT result;
        int times;  // < 0: until cleared
    };
    std::map<std::string, Failure> m_failures;
    std::map<std::string, int> m_calls;
    std::mutex m_hookLock;
    std::map<std::string, std::function<void()>> m_hooks;
    std::atomic<bool> m_anyHooks{false};
};

}  // namespace platform
