// The processor instructions CPUID and RDTSC. Live answers come from the processor itself on
// x86-64; elsewhere CPUID is reported absent and the counter follows the monotonic clock in ns.
#pragma once

#include <cstdint>

// Whether CPUID can be executed (the ID-flag test of EFLAGS).
bool cpuidSupported();
// Executes CPUID for a leaf (sub-leaf 0): regs receives EAX, EBX, ECX, EDX. Also serialises.
void cpuid(uint32_t leaf, uint32_t regs[4]);
// The 64-bit time-stamp counter.
uint64_t readTsc();
