#include "utility/LList.h"

#include "platform/win32.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

namespace {

llistElement* pElementMem = nullptr;
uint32_t numElements = 0;  // taken from the shared free list: in lists or in a thread's cache
llistElement* headOfFreeElements = nullptr;
uint32_t poolGeneration = 0;  // a new pool makes every thread's cache stale

// Lists are used from more than one thread; a pool operation is a few stores, so a spin lock
// costs far less than a mutex.
std::atomic_flag poolBusy = ATOMIC_FLAG_INIT;

class PoolLock {
public:
    PoolLock()
    {
        while (poolBusy.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
    }
    ~PoolLock() { poolBusy.clear(std::memory_order_release); }
    PoolLock(const PoolLock&) = delete;
    PoolLock& operator=(const PoolLock&) = delete;
};

// Each thread takes elements from the shared free list, and gives them back, a batch at a time:
// the lock is then taken once per batch rather than once per element. Elements keep their order,
// so a fresh pool still hands out ascending addresses and a freed element is the next one out.
const uint32_t CACHE_BATCH = 32;

struct ThreadCache {
    llistElement* head = nullptr;
    uint32_t count = 0;
    uint32_t generation = 0;
    bool alive = true;  // false once the thread's exit has given the cache back

    ~ThreadCache()
    {
        checkGeneration();
        giveBack(count);
        alive = false;
    }

    // Forgets elements of a pool that has gone since they were taken.
    void checkGeneration()
    {
        if (generation == poolGeneration) return;
        head = nullptr;
        count = 0;
        generation = poolGeneration;
    }

    bool refill()
    {
        PoolLock lock;
        if (!pElementMem || generation != poolGeneration || !headOfFreeElements) return false;
        llistElement* last = headOfFreeElements;
        uint32_t taken = 1;
        while (taken < CACHE_BATCH && numElements + taken < maxElements && last->next) {
            last = last->next;
            ++taken;
        }
        if (numElements + taken > maxElements) return false;
        head = headOfFreeElements;
        headOfFreeElements = last->next;
        last->next = nullptr;
        count = taken;
        numElements += taken;
        return true;
    }

    // Returns the oldest `n` cached elements to the shared free list.
    void giveBack(uint32_t n)
    {
        if (n == 0 || n > count) return;
        llistElement* keepLast = nullptr;
        llistElement* first = head;
        for (uint32_t i = n; i < count; ++i) {
            keepLast = first;
            first = first->next;
        }
        PoolLock lock;
        if (!pElementMem || generation != poolGeneration) return;
        llistElement* last = first;
        while (last->next) last = last->next;
        last->next = headOfFreeElements;
        headOfFreeElements = first;
        numElements -= n;
        if (keepLast)
            keepLast->next = nullptr;
        else
            head = nullptr;
        count -= n;
    }
};

thread_local ThreadCache cache;

void* takeShared()
{
    llistElement* element = nullptr;
    {
        PoolLock lock;
        if (numElements < maxElements && headOfFreeElements) {
            element = headOfFreeElements;
            headOfFreeElements = element->next;
            ++numElements;
        }
    }
    if (!element) assertFailed("0", __FILE__, __LINE__);
    return element;
}

}  // namespace

void llistInitElementPool()
{
    // A live pool must not be built again over the elements its lists hold.
    if (!VERIFY(maxElements>0 && pElementMem==NULL && numElements==0)) return;
    pElementMem = static_cast<llistElement*>(calloc(maxElements, sizeof(llistElement)));
    if (!VERIFY(pElementMem)) return;
    for (uint32_t i = 0; i + 1 < maxElements; ++i) pElementMem[i].next = &pElementMem[i + 1];
    pElementMem[maxElements - 1].next = nullptr;
    PoolLock lock;
    headOfFreeElements = pElementMem;
    numElements = 0;
    ++poolGeneration;
}

void llistFreeElementPool()
{
    if (!pElementMem) return;
    PoolLock lock;
    free(pElementMem);
    pElementMem = nullptr;
    headOfFreeElements = nullptr;
    numElements = 0;
    ++poolGeneration;
}

bool llistElementPoolExists() { return pElementMem != nullptr; }

uint32_t llistElementsInUse()
{
    if (!cache.alive) return numElements;
    cache.checkGeneration();
    return numElements - cache.count;
}

void* llistAllocElement(size_t size)
{
    if (size != sizeof(llistElement)) return ::operator new(size, std::nothrow);
    if (!pElementMem) {
        assertFailed("0", __FILE__, __LINE__);
        return nullptr;
    }
    if (!cache.alive) return takeShared();
    cache.checkGeneration();
    if (!cache.head && !cache.refill()) {
        assertFailed("0", __FILE__, __LINE__);
        return nullptr;
    }
    llistElement* element = cache.head;
    cache.head = element->next;
    --cache.count;
    return element;
}

void llistFreeElement(void* element)
{
    if (!element || !pElementMem) return;
    auto* e = static_cast<llistElement*>(element);
    if (!cache.alive) {
        // Lists destroyed after the thread's own exit code (static ones, say) return elements directly.
        PoolLock lock;
        e->next = headOfFreeElements;
        headOfFreeElements = e;
        --numElements;
        return;
    }
    cache.checkGeneration();
    e->next = cache.head;
    cache.head = e;
    if (++cache.count > 2 * CACHE_BATCH) cache.giveBack(CACHE_BATCH);
}

llist::~llist()
{
    if (!llistElementPoolExists()) {
        count = 0;
        return;
    }
    RemoveAll();
}

llistElement* llist::NewElement(void* data)
{
    auto* pE = static_cast<llistElement*>(llistAllocElement(sizeof(llistElement)));
    if (!VERIFY(pE)) return nullptr;
    pE->data = data;
    pE->next = pE->prev = nullptr;
    return pE;
}

uint32_t llist::InsertAfterGetElement(void* data, llistElement** element)
{
    llistElement* pE = NewElement(data);
    if (element) *element = pE;
    if (!pE) return count;
    if (!pHead) {
        pHead = pTail = pE;
    } else {
        llistElement* after = pCurrent ? pCurrent : pTail;
        pE->prev = after;
        pE->next = after->next;
        if (after->next)
            after->next->prev = pE;
        else
            pTail = pE;
        after->next = pE;
    }
    pCurrent = pE;
    return ++count;
}

void llist::InsertAfter(void* data) { InsertAfterGetElement(data, nullptr); }

void llist::InsertBefore(void* data)
{
    llistElement* pE = NewElement(data);
    if (!pE) return;
    if (!pHead) {
        pHead = pTail = pE;
    } else {
        llistElement* before = pCurrent ? pCurrent : pHead;
        pE->next = before;
        pE->prev = before->prev;
        if (before->prev)
            before->prev->next = pE;
        else
            pHead = pE;
        before->prev = pE;
    }
    pCurrent = pE;
    ++count;
}

int llist::RemoveCurrent()
{
    llistElement* removed = pCurrent;
    if (!removed) return 0;
    if (removed->prev)
        removed->prev->next = removed->next;
    else
        pHead = removed->next;
    if (removed->next)
        removed->next->prev = removed->prev;
    else
        pTail = removed->prev;
    pCurrent = removed->next ? removed->next : removed->prev;
    llistFreeElement(removed);
    --count;
    return 1;
}

int llist::RemoveElement(llistElement* element)
{
    pCurrent = element;
    return RemoveCurrent();
}

void llist::RemoveAll()
{
    pCurrent = pHead;
    while (RemoveCurrent()) {
    }
    pHead = pTail = pCurrent = nullptr;
    count = 0;
}
