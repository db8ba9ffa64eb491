// Walks over the llists the audio code keeps its records in.
#pragma once

#include "utility/LList.h"

#include <vector>

// The first item from the head that matches, with the list's cursor left on it; null (and no
// cursor) when none does.
template <class T, class Match>
T* findInList(llist& list, Match match)
{
    for (list.GotoHead(); list.HasCurrent(); list.GotoNext()) {
        T* item = static_cast<T*>(list.GetCurrent());
        if (match(item)) return item;
    }
    return nullptr;
}

// The items in list order, for walks whose work takes items off the list.
template <class T>
std::vector<T*> listItems(llist& list)
{
    std::vector<T*> items;
    items.reserve(list.getNumItems());
    for (list.GotoHead(); list.HasCurrent(); list.GotoNext()) items.push_back(static_cast<T*>(list.GetCurrent()));
    return items;
}

// Takes the item off the list; false when it is not there.
inline bool removeFromList(llist& list, const void* data)
{
    if (!findInList<void>(list, [data](void* item) { return item == data; })) return false;
    list.RemoveCurrent();
    return true;
}
