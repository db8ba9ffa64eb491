// The parts of the Windows C runtime whose behaviour the engine depends on.
#pragma once

#include "platform/win32/types.h"

// The Windows C runtime's generator: 15-bit results (0..32767), the same sequence for a seed.
#define CRT_RAND_MAX 32767
int crtRand();
void crtSrand(unsigned int seed);

// Process exit with exit handlers (the C runtime's exit), from any thread: while other threads
// made by CreateThread run, the handlers are skipped. Tests can intercept it (testing.h).
[[noreturn]] void crtExit(int code);
// The debugger's output; without a debugger attached it goes to stderr.
void OutputDebugStringA(const char* text);
// Immediate exit without exit handlers.
[[noreturn]] void ExitProcess(UINT code);

// ASCII-only case-insensitive comparisons: A-Z fold to a-z and no other byte changes.
int stricmp(const char* a, const char* b);
int strnicmp(const char* a, const char* b, size_t count);
