// Clocks: the multimedia millisecond timer, UTC wall time and sleeping.
#pragma once

#include "platform/win32/types.h"

// Milliseconds from an arbitrary start; wraps at 2^32 like the real timer.
DWORD timeGetTime();
void GetSystemTime(SYSTEMTIME* time);
void Sleep(DWORD milliseconds);
