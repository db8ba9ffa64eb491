#include "utility/Assert.h"

#include "utility/RunLog.h"

#include <cctype>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>

namespace {

std::recursive_mutex reportMutex;
AssertReportHook reportHook = nullptr;
int checksFailedSoFar = 0;

thread_local ReadingFile* readingNow = nullptr;
std::set<std::string> filesReported;

// Names compare in any case, with '\' and '/' alike.
std::string folded(const char* text)
{
    std::string out(text);
    for (char& c : out) c = c == '/' ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

ReadingFile::ReadingFile(const char* name) : m_pOuter(readingNow)
{
    snprintf(m_name, sizeof m_name, "%s", name ? name : "");
    readingNow = this;
}

ReadingFile::~ReadingFile() { readingNow = m_pOuter; }

// Under the report lock. False when the report follows from one already made about the file this
// thread is reading; otherwise named holds the text to report when it must differ from text.
bool nameFileBeingRead(const char* text, std::string& named)
{
    if (!readingNow || !readingNow->name()[0]) return true;
    const std::string file = folded(readingNow->name());
    if (!filesReported.insert(file).second) return false;
    if (!text || folded(text).find(file) == std::string::npos)
        named = std::string("While reading ") + readingNow->name() + (text ? "\n" : "") + (text ? text : "");
    return true;
}

void forgetFilesReported()
{
    ReportLock lock;
    filesReported.clear();
}

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

namespace {

// Under the report lock: counts the check, and true when the hook took it (or it follows from a
// report already made about the file being read, so that no one is to see it).
bool hookTakesCheck(const char* message, const char* expression, const char* file, int line)
{
    ++checksFailedSoFar;
    if (!reportHook) return false;
    std::string named;
    if (nameFileBeingRead(message, named)) reportHook(named.empty() ? message : named.c_str(), expression, file, line);
    return true;
}

}  // namespace

void assertFailed(const char* expression, const char* file, int line)
{
    ReportLock lock;
    if (hookTakesCheck(nullptr, expression, file, line)) return;
    char report[1024];
    snprintf(report, sizeof report, "Assertion Failed:\nExpression: %s\nFile: %s\nLine: %d\n", expression, file,
             line);
    writeRunLog(report);
}

void assertFailedMsg(const char* message, const char* expression, const char* file, int line)
{
    ReportLock lock;
    if (hookTakesCheck(message, expression, file, line)) return;
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
