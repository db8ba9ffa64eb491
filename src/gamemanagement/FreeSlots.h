// CFreeSlots: which slots of a fixed table are free, answering "the lowest free slot" without a walk
// of the table. One bit per slot, and one bit per 64-slot word that says the word has a free bit, so
// the lowest is found with a few word scans even in a table of tens of thousands of slots.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

class CFreeSlots {
public:
    // Every slot free.
    explicit CFreeSlots(uint32_t count);

    // The lowest free slot, or the count when every slot is taken.
    uint32_t lowest() const
    {
        for (size_t s = 0; s < d_nonEmpty.size(); ++s) {
            if (!d_nonEmpty[s]) continue;
            const size_t w = s * 64 + static_cast<size_t>(std::countr_zero(d_nonEmpty[s]));
            return static_cast<uint32_t>(w * 64 + static_cast<size_t>(std::countr_zero(d_words[w])));
        }
        return d_count;
    }
    // Both ignore a slot past the table.
    void take(uint32_t slot)
    {
        if (slot >= d_count) return;
        uint64_t& word = d_words[slot / 64];
        word &= ~(uint64_t(1) << (slot % 64));
        if (!word) d_nonEmpty[slot / 4096] &= ~(uint64_t(1) << (slot / 64 % 64));
    }
    void give(uint32_t slot)
    {
        if (slot >= d_count) return;
        d_words[slot / 64] |= uint64_t(1) << (slot % 64);
        d_nonEmpty[slot / 4096] |= uint64_t(1) << (slot / 64 % 64);
    }

private:
    uint32_t d_count;
    std::vector<uint64_t> d_words;     // bit set: slot free
    std::vector<uint64_t> d_nonEmpty;  // bit set: that word has a free slot
};
