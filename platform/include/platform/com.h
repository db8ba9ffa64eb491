// COM: the library's start and end on a thread.
#pragma once

#include "platform/win32/types.h"

// Counts per thread: S_OK for the first call, S_FALSE for each further one.
HRESULT CoInitialize(LPVOID reserved);
// Balances one CoInitialize; an unbalanced call does nothing.
void CoUninitialize();
