// Walks over the object manager's pooled lists, shared by its source files. Every walk and look-up
// leaves a list's cursor past its end, as a completed walk does, so the next add appends.
#pragma once

#include "utility/LList.h"

class CGameObject;

namespace objectlists {

inline void endWalk(llist* pList)
{
    pList->GotoTail();
    if (pList->HasCurrent()) pList->GotoNext();
}

// Walks by the links rather than the shared cursor, so the visit may search the same list; the
// element after the visited one is taken first, so the visit may unlink its own element.
template <class T = CGameObject, class Visit>
void forEachIn(llist* pList, Visit visit)
{
    pList->GotoHead();
    llistElement* element = pList->GetCurrentElement();
    endWalk(pList);
    while (element) {
        llistElement* next = element->next;
        visit(static_cast<T*>(element->data));
        element = next;
    }
}

template <class Match>
llistElement* findIn(llist* pList, Match match)
{
    pList->GotoHead();
    llistElement* element = pList->GetCurrentElement();
    endWalk(pList);
    for (; element; element = element->next)
        if (match(element->data)) return element;
    return nullptr;
}

inline void removeElement(llist* pList, llistElement* element)
{
    pList->RemoveElement(element);
    endWalk(pList);
}

inline void append(llist* pList, void* pData, llistElement** ppElement = nullptr)
{
    endWalk(pList);
    pList->InsertAfterGetElement(pData, ppElement);
}

// Unlinks the first element holding the data; false when none does.
inline bool removeFirst(llist* pList, const void* pData)
{
    llistElement* e = findIn(pList, [pData](void* p) { return p == pData; });
    if (!e) return false;
    removeElement(pList, e);
    return true;
}

}  // namespace objectlists
