// ListMngr<T>: a doubly linked list of heap records. Each record carries its own Prev and Next
// (derive it from ListRecord<T>); the list owns the records and frees them, each with its own lists.
#pragma once

#include "utility/Assert.h"

#include <cstdint>

template <class T>
struct ListRecord {
    T* Prev = nullptr;
    T* Next = nullptr;
};

template <class T>
class ListMngr {
public:
    ListMngr() = default;
    ~ListMngr() { Clear(); }
    ListMngr(const ListMngr&) = delete;
    ListMngr& operator=(const ListMngr&) = delete;

    void Append(T* record)
    {
        record->Prev = Last;
        record->Next = nullptr;
        if (Last) Last->Next = record;
        else First = record;
        Last = record;
        ++Objects;
    }

    // Inserts record in front of before (at the end when before is null).
    void InsertBefore(T* before, T* record)
    {
        if (!before) {
            Append(record);
            return;
        }
        record->Next = before;
        record->Prev = before->Prev;
        if (before->Prev) before->Prev->Next = record;
        else First = record;
        before->Prev = record;
        ++Objects;
    }

    // Unlinks and frees the record; returns the record that followed it.
    T* Remove(T* record)
    {
        ASSERT(Objects >= 1);
        if (!record || Objects < 1) return nullptr;
        T* next = record->Next;
        if (record->Prev) record->Prev->Next = next;
        else First = next;
        if (next) next->Prev = record->Prev;
        else Last = record->Prev;
        --Objects;
        delete record;
        return next;
    }

    void Clear()
    {
        T* r = First;
        while (r) {
            T* next = r->Next;
            delete r;
            r = next;
        }
        First = Last = nullptr;
        Objects = 0;
    }

    // The record at a position, walking from the first; null when out of range.
    T* operator[](int32_t index) const
    {
        if (index < 0 || index >= Objects) return nullptr;
        T* r = First;
        while (index-- > 0 && r) r = r->Next;
        return r;
    }

    int32_t Objects = 0;
    T* First = nullptr;
    T* Last = nullptr;
};
