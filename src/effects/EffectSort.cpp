#include "effects/EffectSort.h"

#include <utility>

namespace {

const int32_t INSERTION_BELOW = 6;
const int32_t QUICKSORT_RUN = 5;

void insertionSort(TEffectSortEntry* a, int32_t count)
{
    for (int32_t i = 1; i < count; ++i) {
        const TEffectSortEntry entry = a[i];
        int32_t j = i - 1;
        while (j >= 0 && a[j].key > entry.key) {
            a[j + 1] = a[j];
            --j;
        }
        a[j + 1] = entry;
    }
}

// Leaves every run shorter than QUICKSORT_RUN unsorted; recursion takes the smaller side, so the
// depth stays logarithmic. Index bounds keep the scans inside even when keys are not numbers.
void quickSort(TEffectSortEntry* a, int32_t lo, int32_t hi)
{
    while (hi - lo + 1 >= QUICKSORT_RUN) {
        const int32_t mid = lo + (hi - lo) / 2;
        if (a[mid].key < a[lo].key) std::swap(a[mid], a[lo]);
        if (a[hi].key < a[lo].key) std::swap(a[hi], a[lo]);
        if (a[hi].key < a[mid].key) std::swap(a[hi], a[mid]);
        std::swap(a[mid], a[hi - 1]);
        const float pivot = a[hi - 1].key;
        int32_t i = lo, j = hi - 1;
        for (;;) {
            while (++i < hi - 1 && a[i].key < pivot) {}
            while (--j > lo && a[j].key > pivot) {}
            if (i >= j) break;
            std::swap(a[i], a[j]);
        }
        std::swap(a[i], a[hi - 1]);
        if (i - lo < hi - i) {
            quickSort(a, lo, i - 1);
            lo = i + 1;
        } else {
            quickSort(a, i + 1, hi);
            hi = i - 1;
        }
    }
}

}  // namespace

void SortEffectEntries(TEffectSortEntry* pEntries, uint32_t count)
{
    const int32_t n = static_cast<int32_t>(count);
    if (n >= INSERTION_BELOW) quickSort(pEntries, 0, n - 1);
    insertionSort(pEntries, n);
}
