// llist: a doubly linked list of untyped pointers with a cursor (the current element). Elements
// come from one process-wide pool of 1,500,000, so list traffic never touches the general heap.
#pragma once

#include "utility/Assert.h"

#include <cstddef>
#include <cstdint>

struct llistElement {
    void* data;
    llistElement* next;
    llistElement* prev;
};

const uint32_t maxElements = 1500000;

// The pool lives from the first act of WinMain to its last.
void llistInitElementPool();
void llistFreeElementPool();
// An element from the pool; any other size comes from the general heap and is not counted.
void* llistAllocElement(size_t size);
void llistFreeElement(void* element);
// Elements handed out (for tests and statistics).
uint32_t llistElementsInUse();
bool llistElementPoolExists();

class llist {
public:
    llist() : count(0), pHead(nullptr), pTail(nullptr), pCurrent(nullptr) {}
    ~llist();
    llist(const llist&) = delete;
    llist& operator=(const llist&) = delete;

    // Both link the data next to the current element and make it current. A list that is not empty
    // needs a current element; without one the data goes at the tail (after) or head (before).
    void InsertAfter(void* data);
    void InsertBefore(void* data);
    // InsertAfter that hands back the new element, for RemoveElement later; returns the new count.
    uint32_t InsertAfterGetElement(void* data, llistElement** element);
    // Unlinks the current element; the next (or, at the tail, the previous) becomes current.
    // 0 when there is no current element.
    int RemoveCurrent();
    // Makes an element current and removes it in constant time.
    int RemoveElement(llistElement* element);
    void RemoveAll();

    uint32_t getNumItems() const { return count; }
    bool Empty() const { return count == 0; }
    void GotoHead() { pCurrent = pHead; }
    void GotoTail() { pCurrent = pTail; }
    bool HasCurrent() const { return pCurrent != nullptr; }
    llistElement* GetCurrentElement() const { return pCurrent; }
    void* GetCurrent() const
    {
        if (!VERIFY(pCurrent)) return nullptr;
        return pCurrent->data;
    }
    // The new current element: 0 past the tail (or with no current element).
    llistElement* GotoNext()
    {
        if (!VERIFY(pCurrent) || !VERIFY(pCurrent->next!=pCurrent)) return nullptr;
        pCurrent = pCurrent->next;
        return pCurrent;
    }
    void GotoPrev()
    {
        if (!VERIFY(pCurrent) || !VERIFY(pCurrent->prev!=pCurrent)) return;
        pCurrent = pCurrent->prev;
    }

private:
    llistElement* NewElement(void* data);

    uint32_t count;
    llistElement* pHead;
    llistElement* pTail;
    llistElement* pCurrent;
};

// Owning pointer lists: singly linked heap nodes that own their objects.
template <class T>
struct TPtrNode {
    T* pObject;
    TPtrNode* pNext;
};

template <class T>
struct TPtrList {
    uint32_t count = 0;
    TPtrNode<T>* pHead = nullptr;
};

template <class T>
void deleteBlockList(TPtrList<T>& list)
{
    while (list.pHead) {
        TPtrNode<T>* node = list.pHead;
        list.pHead = node->pNext;
        --list.count;
        delete node->pObject;
        delete node;
    }
}

template <class T>
void deleteBlock(T*& pObject)
{
    delete pObject;
    pObject = nullptr;
}
