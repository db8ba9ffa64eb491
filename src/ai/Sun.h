// CSun: the level's sun, kept as the 23-word property record that lighting code copies. Words 0 to
// 2 are the direction its light travels, 3 to 5 the ambient colour, 7 to 9 the colour of its light
// (0 to 1 each); the other words are further light values that nothing here reads. The level load
// sets it; until then (and after resetSunProperties) a white sun shines straight down.
#pragma once

#include <cstdint>

class CSun {
public:
    static constexpr uint32_t NUM_WORDS = 23;
    static constexpr uint32_t WORD_DIRECTION = 0;
    static constexpr uint32_t WORD_AMBIENT = 3;
    static constexpr uint32_t WORD_COLOUR = 7;

    static void getSunProperties(float (&record)[NUM_WORDS]);
    static void setSunProperties(const float (&record)[NUM_WORDS]);
    // The colour words alone.
    static void setSunColour(float r, float g, float b);
    static void resetSunProperties();
};
