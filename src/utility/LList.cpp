#include "utility/LList.h"

#include "platform/win32.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

llistElement* pElementMem = nullptr;
uint32_t numElements = 0;
llistElement* headOfFreeElements = nullptr;
CRITICAL_SECTION poolLock;

}  // namespace

void llistInitElementPool()
{
    // A live pool must not be built again over the elements its lists hold.
    if (!VERIFY(maxElements>0 && pElementMem==NULL && numElements==0)) return;
    pElementMem = static_cast<llistElement*>(calloc(maxElements, sizeof(llistElement)));
    if (!VERIFY(pElementMem)) return;
    for (uint32_t i = 0; i + 1 < maxElements; ++i) pElementMem[i].next = &pElementMem[i + 1];
    pElementMem[maxElements - 1].next = nullptr;
    headOfFreeElements = pElementMem;
    numElements = 0;
    InitializeCriticalSection(&poolLock);
}

void llistFreeElementPool()
{
    if (!pElementMem) return;
    free(pElementMem);
    pElementMem = nullptr;
    headOfFreeElements = nullptr;
    numElements = 0;
    DeleteCriticalSection(&poolLock);
}

bool llistElementPoolExists() { return pElementMem != nullptr; }

uint32_t llistElementsInUse() { return numElements; }

void* llistAllocElement(size_t size)
{
    if (size != sizeof(llistElement)) return ::operator new(size, std::nothrow);
    if (!pElementMem) {
        assertFailed("0", __FILE__, __LINE__);
        return nullptr;
    }
    EnterCriticalSection(&poolLock);
    if (numElements >= maxElements) {
        LeaveCriticalSection(&poolLock);
        assertFailed("0", __FILE__, __LINE__);
        return nullptr;
    }
    if (!VERIFY(headOfFreeElements)) {
        LeaveCriticalSection(&poolLock);
        return nullptr;
    }
    llistElement* element = headOfFreeElements;
    headOfFreeElements = element->next;
    ++numElements;
    LeaveCriticalSection(&poolLock);
    return element;
}

void llistFreeElement(void* element)
{
    if (!element || !pElementMem) return;
    // The free list may be empty here: the pool was fully used.
    EnterCriticalSection(&poolLock);
    auto* e = static_cast<llistElement*>(element);
    e->next = headOfFreeElements;
    headOfFreeElements = e;
    --numElements;
    LeaveCriticalSection(&poolLock);
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
