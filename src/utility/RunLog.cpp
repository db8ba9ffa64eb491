#include "utility/RunLog.h"

#include "platform/win32.h"
#include "utility/Assert.h"
#include "utility/LogFile.h"
#include "utility/TemporaryFile.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <set>
#include <string>

bool assertReportHookTakes(const char* message);
bool nameFileBeingRead(const char* text, std::string& named);
// A file name in any case, with '\' and '/' alike.
std::string foldedFileName(const char* name);

const char* const RUN_LOG_FILE_NAME = "Veldrane.log";
const char* const VERSION_TEXT = "V1.01.1";
uint32_t debugCategoryMask = 0;

namespace {

const int MAX_RUN_LOG_MESSAGES = 5;
const uint32_t MAX_RUN_LOG_BYTES = 10240;

int messagesWritten = 0;
// Whether the run log holds an entry of this run: a stop points at it only then.
bool logHoldsRun = false;
// What this run has written: at most five texts, as the fifth ends the run.
std::set<std::string> messagesSeen;

// Stream threads build messages too: each thread has its own buffers.
thread_local char intBuffers[8][16];
thread_local int intBufferIndex = 0;
thread_local char concatBuffer[1024];

char debugFileName[MAX_PATH] = "debug.txt";
// A new name's file starts empty when the session first writes to it: a file the session never
// writes (no category is ever set) is someone else's and stays.
bool debugFileStartsEmpty = false;
thread_local char debugBuffer[1024];

RunLogAdapterLine describeAdapter = nullptr;

std::set<std::string> failedFiles;

void writeHeader()
{
    writeLogLine("-------\nNew Run", false);
    char line[512];
    if (describeAdapter && describeAdapter(line, sizeof line)) writeLogLine(line, false);
    writeLogLine("-------\n", false);
}

}  // namespace

void writeRunLog(const char* message)
{
    ReportLock lock;
    if (messagesWritten >= MAX_RUN_LOG_MESSAGES) return;
    std::string named;
    if (!nameFileBeingRead(message, named)) return;
    if (!named.empty()) message = named.c_str();
    if (assertReportHookTakes(message)) return;
    // The same report from the same place (a check's text carries its file and line) says nothing
    // new: written again every frame, it would end the run over one cause.
    if (!messagesSeen.insert(message).second) return;

    // Someone who started the game from a shell sees why it stopped without opening the log.
    fprintf(stderr, "%s\n", message);
    setLogFileName(RUN_LOG_FILE_NAME, false);
    if (messagesWritten == 0) writeHeader();

    SYSTEMTIME now;
    GetSystemTime(&now);
    char entry[1024];
    int length = snprintf(entry, sizeof entry, "Time: %d/%d/%4d  %02d:%02d:%02d\n", now.wDay, now.wMonth, now.wYear,
                          now.wHour, now.wMinute, now.wSecond);
    // An over-long message is cut so that its line feed still fits.
    snprintf(entry + length, sizeof entry - length - 1, "%s", message);
    strcat(entry, "\n");
    if (writeLogText(entry, false)) logHoldsRun = true;

    trimLogFile(RUN_LOG_FILE_NAME, MAX_RUN_LOG_BYTES);

    if (++messagesWritten >= MAX_RUN_LOG_MESSAGES) stopRun("after five reports");
}

void reportStop(const char* reason)
{
    ReportLock lock;
    if (logHoldsRun)
        fprintf(stderr, "stopping %s; see %s\n", reason, RUN_LOG_FILE_NAME);
    else
        fprintf(stderr, "stopping %s\n", reason);
    fflush(stderr);
}

void stopRun(const char* reason, bool runExitHandlers)
{
    reportStop(reason);
    if (runExitHandlers) crtExit(1);
    ExitProcess(1);
}

bool noteFileFailure(const char* name)
{
    ReportLock lock;
    return failedFiles.insert(foldedFileName(name)).second;
}

bool fileFailedThisRun(const char* name)
{
    ReportLock lock;
    return failedFiles.count(foldedFileName(name)) != 0;
}

void forgetFileFailures()
{
    ReportLock lock;
    failedFiles.clear();
}

void trimLogFile(const char* fileName, uint32_t maxBytes)
{
    HANDLE source = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (source == INVALID_HANDLE_VALUE) return;
    const DWORD size = GetFileSize(source, nullptr);
    if (size <= maxBytes) {
        CloseHandle(source);
        return;
    }
    // The copy is made new under this process's own temporary name.
    TemporaryFileLock lock;
    char temporary[MAX_PATH];
    temporaryFileName(fileName, temporary, sizeof temporary);
    HANDLE target = createTemporaryFile(temporary);
    DWORD error = GetLastError();
    bool whole = false;
    if (target != INVALID_HANDLE_VALUE) {
        std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[maxBytes]);
        DWORD got = 0, written = 0;
        whole = buffer &&
                SetFilePointer(source, static_cast<LONG>(size - maxBytes), nullptr, FILE_BEGIN) !=
                    INVALID_SET_FILE_POINTER &&
                ReadFile(source, buffer.get(), maxBytes, &got, nullptr) && got == maxBytes &&
                WriteFile(target, buffer.get(), maxBytes, &written, nullptr) && written == maxBytes;
        if (!whole) error = GetLastError();
        CloseHandle(target);
        if (whole && !MoveFileExA(temporary, fileName, MOVEFILE_REPLACE_EXISTING)) {
            whole = false;
            error = GetLastError();
        }
    }
    CloseHandle(source);
    if (whole) return;
    // On a full disk the copy comes out short: the log is kept rather than lost. The log cannot
    // hold the report of its own failed trim, so the shell that started the game has it, once.
    const std::string cause = writeFailureCause(error, temporary);
    if (target != INVALID_HANDLE_VALUE) DeleteFileA(temporary);
    static bool trimFailureSaid = false;
    if (!trimFailureSaid) fprintf(stderr, "%s was not trimmed and is kept as it was\n%s\n", fileName, cause.c_str());
    trimFailureSaid = true;
}

const char* intToString(int value)
{
    char* buffer = intBuffers[intBufferIndex];
    intBufferIndex = (intBufferIndex + 1) & 7;
    snprintf(buffer, sizeof intBuffers[0], "%d", value);
    return buffer;
}

const char* concatStrings(const char* s1, const char* s2, const char* s3, const char* s4, const char* s5,
                          const char* s6, const char* s7, const char* s8, const char* s9, const char* s10,
                          const char* s11, const char* s12)
{
    const char* parts[] = {s2, s3, s4, s5, s6, s7, s8, s9, s10, s11, s12};
    size_t length = 0;
    auto append = [&length](const char* text) {
        while (*text && length < sizeof concatBuffer - 1) concatBuffer[length++] = *text++;
    };
    append(s1 ? s1 : "");
    for (const char* part : parts)
        if (part) append(part);
    concatBuffer[length] = 0;
    return concatBuffer;
}

void setDebugFileName(const char* name)
{
    snprintf(debugFileName, sizeof debugFileName, "%s", name);
    debugFileStartsEmpty = true;
}

void debugPrintf(uint32_t categories, const char* format, ...)
{
    if (debugCategoryMask == 0 || (debugCategoryMask & categories) == 0) return;
    va_list args;
    va_start(args, format);
    vsnprintf(debugBuffer, sizeof debugBuffer, format, args);
    va_end(args);
    FILE* out = fopen(debugFileName, debugFileStartsEmpty ? "w" : "a");
    if (out) debugFileStartsEmpty = false;
    FILE* target = out ? out : stdout;
    fputs(debugBuffer, target);
    fflush(target);
    if (out) fclose(out);
}

void setRunLogAdapterLine(RunLogAdapterLine describe) { describeAdapter = describe; }

int runLogMessageCount()
{
    ReportLock lock;
    return messagesWritten;
}

void resetRunLogCount()
{
    ReportLock lock;
    messagesWritten = 0;
    logHoldsRun = false;
    messagesSeen.clear();
    failedFiles.clear();
}
