// Checks that stay in the shipped program. A failed check writes a report to the run log and
// execution goes on; code that cannot go on safely tests the result and refuses instead.
#pragma once

#include <string>

// Formats "Assertion Failed:\nExpression: %s\nFile: %s\nLine: %d\n" and writes it to the run log.
void assertFailed(const char* expression, const char* file, int line);
// The same after a message line "%s\n".
void assertFailedMsg(const char* message, const char* expression, const char* file, int line);
// How many checks have failed in this process: a loader that calls another tells by it whether the
// callee has already reported what went wrong.
int checksFailed();

#define ASSERT(cond)                                                 \
    do {                                                             \
        if (!(cond)) assertFailed(#cond, __FILE__, __LINE__);        \
    } while (0)

#define ASSERT_MSG(cond, message)                                          \
    do {                                                                   \
        if (!(cond)) assertFailedMsg((message), #cond, __FILE__, __LINE__); \
    } while (0)

// A check whose value is the condition, for code that must refuse after reporting:
//   if (!VERIFY(index < MAX_SLOTS)) return false;
#define VERIFY(cond) ((cond) ? true : (assertFailed(#cond, __FILE__, __LINE__), false))
#define VERIFY_MSG(cond, message) \
    ((cond) ? true : (assertFailedMsg((message), #cond, __FILE__, __LINE__), false))

// Reports come from every thread. Holding this (re-entrantly, for the scope) keeps every other
// thread's report out: the run log, its count and the hook are only touched under it.
class ReportLock {
public:
    ReportLock();
    ~ReportLock();
    ReportLock(const ReportLock&) = delete;
    ReportLock& operator=(const ReportLock&) = delete;
};

// The data file this thread is reading, from the start of one read to the end of its loader's
// checks of it. Every report made meanwhile names the file: one whose text does not is written
// after the line "While reading <file>". The first report of a read is written; later reports of
// the same read (a caller's report of the failure its callee reported, a second fault further on)
// follow from it and are not written, though checksFailed counts them. A scope of a file this
// thread is reading already is part of that read; a file read within another is a read of its own,
// and a later read of the same file starts afresh.
class ReadingFile {
public:
    explicit ReadingFile(const char* name);
    ~ReadingFile();
    ReadingFile(const ReadingFile&) = delete;
    ReadingFile& operator=(const ReadingFile&) = delete;

    const char* name() const { return m_name; }
    // Whether this read has made its report: a caller's own check that only follows from it need
    // not be made.
    bool reported() const { return m_pRead->m_reported; }

private:
    friend bool nameFileBeingRead(const char* text, std::string& named);
    char m_name[260];
    ReadingFile* m_pOuter;
    ReadingFile* m_pRead;  // the scope that began this read: this one, or an outer one of the same file
    bool m_reported;       // on the read's first scope: its first report has been made
};

// A report made while one is held is about no file being read, so it is written whatever that file
// has said, and without its name: a failed write, a failed device call, the report that stops the
// run. A file read meanwhile is a read of its own.
class ReportApart {
public:
    ReportApart();
    ~ReportApart();
    ReportApart(const ReportApart&) = delete;
    ReportApart& operator=(const ReportApart&) = delete;

private:
    ReadingFile* m_pReading;
};

// Test seam: while a hook is set, every report (assertions and plain run-log messages) goes to it
// instead of the run log, under the report lock. Plain messages come with a null expression.
typedef void (*AssertReportHook)(const char* message, const char* expression, const char* file, int line);
void setAssertReportHook(AssertReportHook hook);
