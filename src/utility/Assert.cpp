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

bool ReadingFile::reported() const
{
    ReportLock lock;
    return filesReported.count(folded(m_name)) != 0;
}

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

void assertFailed(const char* expression, const char* file, int line)
{
    ReportLock lock;
    ++checksFailedSoFar;
    if (reportHook) {
        std::string named;
        if (!nameFileBeingRead(nullptr, named)) return;
        reportHook(named.empty() ? nullptr : named.c_str(), expression, file, line);
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
        std::string named;
        if (!nameFileBeingRead(message, named)) return;
        reportHook(named.empty() ? message : named.c_str(), expression, file, line);
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
