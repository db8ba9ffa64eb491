// The run log "Veldrane.log": the last 10 KB of messages of all runs, with a header per run.
// The fifth message of a run ends the process with exit code 1, whichever thread writes it.
#pragma once

#include <cstddef>
#include <cstdint>

extern const char* const RUN_LOG_FILE_NAME;  // "Veldrane.log"
extern const char* const VERSION_TEXT;      // "V1.01.1"

// Writes the entry to the run log and to stderr; an entry this run has already written is not
// written or counted again.
void writeRunLog(const char* message);
// The line that names the adapter and its driver under a run's header: the render setup registers
// it at start-up (false, or none registered: no line).
typedef bool (*RunLogAdapterLine)(char* line, size_t size);
void setRunLogAdapterLine(RunLogAdapterLine describe);
// Keeps only the last maxBytes bytes of a file. The file is replaced only by a trimmed copy that
// was written whole, as a new file "~<process>.tmp" beside it (a file of that name is the leftover
// of a stopped write of an earlier process with the same id, and is removed first); otherwise it
// stays as it was.
void trimLogFile(const char* fileName, uint32_t maxBytes);

// A run that stops because something failed says so as the last line on stderr: "stopping "
// and the reason ("after five reports"), pointing at the run log when this run wrote to it.
void reportStop(const char* reason);
// Every stop for a failure ends here: reportStop, then the process ends with exit code 1, with
// its exit handlers or (for stops the shutdown must not follow) without them.
[[noreturn]] void stopRun(const char* reason, bool runExitHandlers = true);

// Files that failed to load this run. A file that many materials or models use fails once: the
// first user reports it, later ones ask here and do without it quietly. Names match in any case,
// with '\' and '/' alike. noteFileFailure is true when the file had not failed before.
bool noteFileFailure(const char* name);
bool fileFailedThisRun(const char* name);
// As at a new run's start: no file has failed. A fuzz target forgets after each input, so that an
// input fares the same whatever ran before it.
void forgetFileFailures();

// Decimal text of value in the next of the thread's eight ring buffers; its ninth call overwrites the first.
const char* intToString(int value);
// s1 followed by each of s2..s12 that is not null, in one buffer per thread (cut at 1023 bytes).
const char* concatStrings(const char* s1, const char* s2 = nullptr, const char* s3 = nullptr,
                          const char* s4 = nullptr, const char* s5 = nullptr, const char* s6 = nullptr,
                          const char* s7 = nullptr, const char* s8 = nullptr, const char* s9 = nullptr,
                          const char* s10 = nullptr, const char* s11 = nullptr, const char* s12 = nullptr);

// Category-filtered debug output to "debug.txt". No category mask is ever set, so it writes nothing.
// A file named by setDebugFileName is emptied by the first write to it, not by the naming.
extern uint32_t debugCategoryMask;
void setDebugFileName(const char* name);
void debugPrintf(uint32_t categories, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Test seam: the number of messages written in this run (the fifth ends the process). The reset
// starts a new run: the count and the failed files are forgotten.
int runLogMessageCount();
void resetRunLogCount();
