#include "ai/Sun.h"

#include <algorithm>

namespace {

const float DEFAULT_RECORD[CSun::NUM_WORDS] = {0.0f, 0.0f, -1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f};
float sunRecord[CSun::NUM_WORDS] = {0.0f, 0.0f, -1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f};

}  // namespace

void CSun::getSunProperties(float (&record)[NUM_WORDS]) { std::copy(sunRecord, sunRecord + NUM_WORDS, record); }

void CSun::setSunProperties(const float (&record)[NUM_WORDS]) { std::copy(record, record + NUM_WORDS, sunRecord); }

void CSun::setSunColour(float r, float g, float b)
{
    sunRecord[WORD_COLOUR] = r;
    sunRecord[WORD_COLOUR + 1] = g;
    sunRecord[WORD_COLOUR + 2] = b;
}

void CSun::resetSunProperties() { std::copy(DEFAULT_RECORD, DEFAULT_RECORD + NUM_WORDS, sunRecord); }
