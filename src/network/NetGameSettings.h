// NetGameSettings: the settings of a network game that the objects read while it runs.
#pragma once

#include <cstdint>

struct NetGameSettings {
    // Set: every machine decides the hits of its own shots, so shots hit even on the copies of
    // other machines' objects. Clear: hits are left to the objects' own machines.
    uint8_t localHits = 0;
};
