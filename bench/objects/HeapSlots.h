// The plain way to keep objects in slots, that the pooled managers are measured against: each made
// and destroyed with the global new and delete in a std::vector of slots, with a stack of the free
// ones.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

// Make, look at and destroy cycles per second with a quarter of the slots taken, each object made
// from the same arguments.
template <class Object, class... Args>
void heapSlotCycles(benchmark::State& state, uint32_t capacity, const Args&... args)
{
    std::vector<Object*> slots(capacity);
    std::vector<uint32_t> free;
    for (uint32_t slot = capacity; slot-- > 0;) free.push_back(slot);
    auto make = [&] {
        const uint32_t slot = free.back();
        free.pop_back();
        slots[slot] = ::new Object(args...);
        return slot;
    };
    auto destroy = [&](uint32_t slot) {
        ::delete slots[slot];
        slots[slot] = nullptr;
        free.push_back(slot);
    };
    for (uint32_t i = 0; i < capacity / 4; ++i) make();
    for (auto _ : state) {
        const uint32_t slot = make();
        benchmark::DoNotOptimize(slots[slot]);
        destroy(slot);
    }
    for (uint32_t slot = 0; slot < capacity / 4; ++slot) destroy(slot);
}
