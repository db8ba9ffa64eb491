// Conversions between the game's 8-bit texts and UTF-16: ISO 8859-1, except that 0x80 is the euro
// sign (U+20AC) and 0x9F is U+0178, as in Windows-1252.
#pragma once

#include "platform/win32.h"

#include <cstdint>

// Writes the 8-bit form of a UTF-16 text, NUL-terminated, cut to bufferSize - 1 characters when it
// does not fit (with a report). True when a character above U+00FF was met among those written
// (the euro sign and U+0178 included).
bool unicodeToAscii(const WCHAR* uni_str, char* ascii_buffer, uint32_t bufferSize);
// Writes the UTF-16 form of an 8-bit text, NUL-terminated, cut to bufferSize - 1 characters when it
// does not fit (with a report).
void asciiToUnicode(const char* ascii_str, WCHAR* uni_buffer, uint32_t UnicodeBufferSize);

// Characters before the NUL of a UTF-16 text.
uint32_t unicodeLength(const WCHAR* text);
