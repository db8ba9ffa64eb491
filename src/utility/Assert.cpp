#include "utility/Assert.h"

#include "utility/RunLog.h"

#include <cctype>
#include <cstdio>
#include <mutex>
#include <string>

namespace {

std::recursive_mutex reportMutex;
AssertReportHook reportHook = nullptr;
int checksFailedSoFar = 0;

thread_local ReadingFile* readingNow = nullptr;

// Names compare in any case, with '\' and '/' alike.
char foldedChar(char c) { return c == '/' ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool sameFile(const char* a, const char* b)
{
    for (; foldedChar(*a) == foldedChar(*b); ++a, ++b)
        if (!*a) return true;
    return false;
}

}  // namespace

std::string foldedFileName(const char* name)
{
    std::string out(name ? name : "");
    for (char& c : out) c = foldedChar(c);
    return out;
}

ReadingFile::ReadingFile(const char* name) : m_pOuter(readingNow), m_pRead(this), m_reported(false)
{
    snprintf(m_name, sizeof m_name, "%s", name ? name : "");
    for (ReadingFile* outer = m_pOuter; outer; outer = outer->m_pOuter)
        if (sameFile(outer->m_name, m_name)) {
            m_pRead = outer->m_pRead;
            break;
        }
    readingNow = this;
}

ReadingFile::~ReadingFile() { readingNow = m_pOuter; }

ReportApart::ReportApart() : m_pReading(readingNow) { readingNow = nullptr; }

ReportApart::~ReportApart() { readingNow = m_pReading; }

// Under the report lock. False when the report follows from one this read has made already;
// otherwise named holds the text to report when it must differ from text.
bool nameFileBeingRead(const char* text, std::string& named)
{
    if (!readingNow || !readingNow->name()[0]) return true;
    ReadingFile& read = *readingNow->m_pRead;
    if (read.m_reported) return false;
    read.m_reported = true;
    if (!text || foldedFileName(text).find(foldedFileName(readingNow->name())) == std::string::npos)
        named = std::string("While reading ") + readingNow->name() + (text ? "\n" : "") + (text ? text : "");
    return true;
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
