// Managed memory stacks: a process-wide table of fixed-block stacks built at start-up. Misuse (a bad
// stack index or definition, an oversized request) is fatal; only exhaustion returns null.
#pragma once

#include <cstdint>

struct TMemDef {
    static const int MAX_MEM_STACKS = 10;
    struct Row {
        uint32_t blockSize;
        uint32_t count;
        bool locked;  // guarded by a critical section for use from several threads
    };
    int d_numDefinitions;
    Row d_rows[MAX_MEM_STACKS];
};

extern const TMemDef memDef;

void managedMemInit();
void managedMemShutdown();
void* managedAlloc(uint32_t size, int stack);
void managedFree(void* block, uint32_t size, int stack);
// Blocks handed out by a stack (for tests and statistics).
uint32_t managedBlocksUsed(int stack);
