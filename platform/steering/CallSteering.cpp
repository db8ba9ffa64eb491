#include "CallSteering.h"

namespace platform {

HRESULT CallSteering::forcedResult(const std::string& method)
{
    ++m_calls[method];
    auto it = m_failures.find(method);
    if (it == m_failures.end()) return S_OK;
    const HRESULT result = it->second.result;
    if (it->second.times > 0 && --it->second.times == 0) m_failures.erase(it);
    return result;
}

void CallSteering::fail(const std::string& method, HRESULT result, int times)
{
    if (times == 0)
        m_failures.erase(method);
    else
        m_failures[method] = Failure{result, times};
}

int CallSteering::count(const std::string& method) const
{
    auto it = m_calls.find(method);
    return it == m_calls.end() ? 0 : it->second;
}

void CallSteering::clear()
{
    m_failures.clear();
    m_calls.clear();
}

void CallSteering::setHook(const std::string& method, std::function<void()> hook)
{
    std::lock_guard<std::mutex> guard(m_hookLock);
    if (hook)
        m_hooks[method] = std::move(hook);
    else
        m_hooks.erase(method);
    m_anyHooks = !m_hooks.empty();
}

void CallSteering::runHook(const std::string& method)
{
    if (!m_anyHooks) return;
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> guard(m_hookLock);
        auto it = m_hooks.find(method);
        if (it != m_hooks.end()) hook = it->second;
    }
    if (hook) hook();
}

}  // namespace platform
