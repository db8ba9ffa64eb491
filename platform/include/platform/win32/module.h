// Run-time libraries. There are no shared libraries to load here: the layer knows the libraries the
// engine asks for by name and hands out their exports.
#pragma once

#include "platform/win32/types.h"

struct HINSTANCE__;
typedef HINSTANCE__* HMODULE;
typedef void (*FARPROC)();

// Null when the library is not known (or a test has taken it away).
HMODULE LoadLibraryA(const char* name);
FARPROC GetProcAddress(HMODULE module, const char* name);
BOOL FreeLibrary(HMODULE module);
