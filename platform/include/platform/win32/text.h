// Text conversion between 8-bit and UTF-16 names.
#pragma once

#include "platform/win32/types.h"

#define CP_ACP 0

// Widens each byte to one UTF-16 unit (the ANSI code page is Latin-1 here). A byte count of -1
// takes the text with its terminator. A wide count of 0 answers the units needed; 0 when the
// result does not fit.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int bytes, WCHAR* wide, int wideCount);
