#include "utility/Assert.h"

#include "utility/RunLog.h"

#include <cstdio>
#include <mutex>

namespace {

std::recursive_mutex reportMutex;
AssertReportHook reportHook = nullptr;
int checksFailedSoFar = 0;

}  // namespace

ReportLock::ReportLock() { reportMutex.lock(); }
ReportLock::~ReportLock() { reportMutex.unlock(); }

void setAssertReportHook(AssertReportHook hook)
{
    ReportLock lock;
    reportHook = hook;
}

int checksFailed()
{
    ReportLock lock;
    return checksFailedSoFar;
}

void assertFailed(const char* expression, const char* file, int line)
{
    ReportLock lock;
    ++checksFailedSoFar;
    if (reportHook) {
        reportHook(nullptr, expression, file, line);
        return;
    }
    char report[1024];
    snprintf(report, sizeof report, "Assertion Failed:\nExpression: %s\nFile: %s\nLine: %d\n", expression, file,
             line);
    writeRunLog(report);
}

void assertFailedMsg(const char* message, const char* expression, const char* file, int line)
{
    ReportLock lock;
    ++checksFailedSoFar;
    if (reportHook) {
        reportHook(message, expression, file, line);
        return;
    }
    char report[1024];
    snprintf(report, sizeof report, "%s\nAssertion Failed:\nExpression: %s\nFile: %s\nLine: %d\n", message,
             expression, file, line);
    writeRunLog(report);
}

// Plain run-log messages reach the hook too, so that tests see every report.
bool assertReportHookTakes(const char* message)
{
    ReportLock lock;
    if (!reportHook) return false;
    reportHook(message, nullptr, nullptr, 0);
    return true;
}
