// The effects' sort: entries in ascending key order (nearest first), in place. Fewer than 6 entries
// are sorted by insertion; more by a quicksort with median-of-three pivots that leaves runs shorter
// than 5 to a final insertion pass. Not stable. Shared by every record with a float `key`.
#pragma once

#include <cstdint>
#include <utility>

class CEffect;

struct TEffectSortEntry {
    CEffect* pEffect;
    float key;  // squared distance from the camera
};

void SortEffectEntries(TEffectSortEntry* pEntries, uint32_t count);

namespace effectsort {

const int32_t INSERTION_BELOW = 6;
const int32_t QUICKSORT_RUN = 5;

template <typename T>
void insertionSort(T* a, int32_t count)
{
    for (int32_t i = 1; i < count; ++i) {
        if (!(a[i - 1].key > a[i].key)) continue;
        T entry = std::move(a[i]);
        int32_t j = i - 1;
        while (j >= 0 && a[j].key > entry.key) {
            a[j + 1] = std::move(a[j]);
            --j;
        }
        a[j + 1] = std::move(entry);
    }
}

// Leaves every run shorter than QUICKSORT_RUN unsorted; recursion takes the smaller side, so the
// depth stays logarithmic. Index bounds keep the scans inside even when keys are not numbers.
template <typename T>
void quickSort(T* a, int32_t lo, int32_t hi)
{
    using std::swap;
    while (hi - lo + 1 >= QUICKSORT_RUN) {
        const int32_t mid = lo + (hi - lo) / 2;
        if (a[mid].key < a[lo].key) swap(a[mid], a[lo]);
        if (a[hi].key < a[lo].key) swap(a[hi], a[lo]);
        if (a[hi].key < a[mid].key) swap(a[hi], a[mid]);
        swap(a[mid], a[hi - 1]);
        const float pivot = a[hi - 1].key;
        int32_t i = lo, j = hi - 1;
        for (;;) {
            while (++i < hi - 1 && a[i].key < pivot) {}
            while (--j > lo && a[j].key > pivot) {}
            if (i >= j) break;
            swap(a[i], a[j]);
        }
        swap(a[i], a[hi - 1]);
        if (i - lo < hi - i) {
            quickSort(a, lo, i - 1);
            lo = i + 1;
        } else {
            quickSort(a, i + 1, hi);
            hi = i - 1;
        }
    }
}

}  // namespace effectsort

template <typename T>
void SortByKey(T* pEntries, uint32_t count)
{
    const int32_t n = static_cast<int32_t>(count);
    if (n >= effectsort::INSERTION_BELOW) effectsort::quickSort(pEntries, 0, n - 1);
    effectsort::insertionSort(pEntries, n);
}
