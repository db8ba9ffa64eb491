// Byte-array bit sets.
#pragma once

#include <cstdint>

// Sets bit n of the set: byte n / 8, bit n mod 8.
inline void setFlagBit(uint8_t* pFlags, uint32_t n) { pFlags[n >> 3] |= static_cast<uint8_t>(1u << (n & 7)); }
