#include "utility/ManagedMemory.h"

#include "platform/win32.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"

#include <cstdlib>
#include <new>

const TMemDef memDef = {2, {{200, 200, true}, {200, 1000, false}}};

namespace {

struct TManagedStack {
    uint8_t* d_pMem;
    uint32_t blockSize;
    uint32_t used;
    uint32_t count;
    void* freeHead;  // free blocks are chained through their first word
    CRITICAL_SECTION lock;
};

TManagedStack* pStacks[TMemDef::MAX_MEM_STACKS];

[[noreturn]] void fatal(const char* file, int line)
{
    // The report says why the run stops: no file being read may hold it back.
    ReportApart apart;
    assertFailed("0", file, line);
    stopRun("on a misuse of managed memory");
}

// Misuse of a stack ends the process; the report goes first. A held lock is let go before the
// exit: exit handlers may still use the stack.
TManagedStack* checkedStack(int stack, uint32_t size, bool locked)
{
    if (stack < 0 || stack >= TMemDef::MAX_MEM_STACKS || stack >= memDef.d_numDefinitions || !pStacks[stack])
        fatal(__FILE__, __LINE__);
    TManagedStack* s = pStacks[stack];
    if (size > memDef.d_rows[stack].blockSize || size > s->blockSize) {
        if (locked) LeaveCriticalSection(&s->lock);
        fatal(__FILE__, __LINE__);
    }
    return s;
}

}  // namespace

void managedMemInit()
{
    ASSERT(memDef.d_numDefinitions>0);
    ASSERT(memDef.d_numDefinitions<TMemDef::MAX_MEM_STACKS);
    for (int i = 0; i < memDef.d_numDefinitions && i < TMemDef::MAX_MEM_STACKS; ++i) {
        ASSERT(!pStacks[i]);
        if (pStacks[i]) continue;
        const TMemDef::Row& row = memDef.d_rows[i];
        if (row.blockSize < 4) fatal(__FILE__, __LINE__);
        auto* stack = new (std::nothrow) TManagedStack{};
        if (!stack) {
            assertFailed("pStacks[i]", __FILE__, __LINE__);
            continue;
        }
        stack->d_pMem = static_cast<uint8_t*>(malloc(static_cast<size_t>(row.blockSize) * row.count));
        if (!stack->d_pMem) {
            assertFailed("d_pMem", __FILE__, __LINE__);
            delete stack;
            continue;
        }
        for (uint32_t b = 0; b < row.count; ++b) {
            void* next = b + 1 < row.count ? stack->d_pMem + static_cast<size_t>(b + 1) * row.blockSize : nullptr;
            *reinterpret_cast<void**>(stack->d_pMem + static_cast<size_t>(b) * row.blockSize) = next;
        }
        stack->blockSize = row.blockSize;
        stack->count = row.count;
        stack->used = 0;
        stack->freeHead = row.count ? stack->d_pMem : nullptr;
        if (row.locked) InitializeCriticalSection(&stack->lock);
        pStacks[i] = stack;
    }
}

void managedMemShutdown()
{
    ASSERT(memDef.d_numDefinitions>0);
    ASSERT(memDef.d_numDefinitions<TMemDef::MAX_MEM_STACKS);
    for (int i = 0; i < memDef.d_numDefinitions && i < TMemDef::MAX_MEM_STACKS; ++i) {
        ASSERT(pStacks[i]);
        if (!pStacks[i]) continue;
        free(pStacks[i]->d_pMem);
        if (memDef.d_rows[i].locked) DeleteCriticalSection(&pStacks[i]->lock);
        delete pStacks[i];
        pStacks[i] = nullptr;
    }
}

void* managedAlloc(uint32_t size, int stack)
{
    const bool locked = stack >= 0 && stack < memDef.d_numDefinitions && memDef.d_rows[stack].locked &&
                        pStacks[stack];
    if (locked) EnterCriticalSection(&pStacks[stack]->lock);
    TManagedStack* s = checkedStack(stack, size, locked);
    void* block = nullptr;
    if (s->used < s->count && s->freeHead) {
        block = s->freeHead;
        s->freeHead = *static_cast<void**>(block);
        ++s->used;
    }
    if (locked) LeaveCriticalSection(&s->lock);
    if (!block) assertFailed("0", __FILE__, __LINE__);
    return block;
}

void managedFree(void* block, uint32_t size, int stack)
{
    if (!block) return;
    const bool locked = stack >= 0 && stack < memDef.d_numDefinitions && memDef.d_rows[stack].locked &&
                        pStacks[stack];
    if (locked) EnterCriticalSection(&pStacks[stack]->lock);
    TManagedStack* s = checkedStack(stack, size, locked);
    *static_cast<void**>(block) = s->freeHead;
    s->freeHead = block;
    --s->used;
    if (locked) LeaveCriticalSection(&s->lock);
}

uint32_t managedBlocksUsed(int stack)
{
    if (stack < 0 || stack >= TMemDef::MAX_MEM_STACKS || !pStacks[stack]) return 0;
    return pStacks[stack]->used;
}
