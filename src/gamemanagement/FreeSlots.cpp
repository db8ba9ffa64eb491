#include "gamemanagement/FreeSlots.h"

CFreeSlots::CFreeSlots(uint32_t count)
    : d_count(count), d_words((count + 63) / 64, ~uint64_t(0)), d_nonEmpty((d_words.size() + 63) / 64, 0)
{
    // Bits past the count stay clear, so they are never found.
    if (count % 64) d_words.back() = (uint64_t(1) << (count % 64)) - 1;
    for (size_t w = 0; w < d_words.size(); ++w) d_nonEmpty[w / 64] |= uint64_t(1) << (w % 64);
}
