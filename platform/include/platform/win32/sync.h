// Critical sections: recursive mutual exclusion, re-enterable by the owning thread.
#pragma once

#include "platform/win32/types.h"

typedef struct _CRITICAL_SECTION {
    void* impl;
} CRITICAL_SECTION;

void InitializeCriticalSection(CRITICAL_SECTION* section);
void EnterCriticalSection(CRITICAL_SECTION* section);
void LeaveCriticalSection(CRITICAL_SECTION* section);
void DeleteCriticalSection(CRITICAL_SECTION* section);

// Atomic counters (reference counts shared between threads); each returns the new value.
inline LONG InterlockedIncrement(volatile LONG* value) { return __atomic_add_fetch(value, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedDecrement(volatile LONG* value) { return __atomic_sub_fetch(value, 1, __ATOMIC_SEQ_CST); }
