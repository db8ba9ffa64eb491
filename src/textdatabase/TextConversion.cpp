#include "textdatabase/TextConversion.h"

#include "utility/Assert.h"

#include <cstdio>
#include <cstring>

namespace {

const WCHAR EURO_SIGN = 0x20AC;
const WCHAR Y_DIAERESIS = 0x0178;
// Longest piece of an over-long text quoted in its report.
const uint32_t MAX_QUOTED = 511;

char toAscii(WCHAR c)
{
    if (c == EURO_SIGN) return static_cast<char>(0x80);
    if (c == Y_DIAERESIS) return static_cast<char>(0x9F);
    return static_cast<char>(c & 0xFF);
}

WCHAR toUnicode(char c)
{
    const uint8_t byte = static_cast<uint8_t>(c);
    if (byte == 0x80) return EURO_SIGN;
    if (byte == 0x9F) return Y_DIAERESIS;
    return byte;
}

}  // namespace

uint32_t unicodeLength(const WCHAR* text)
{
    uint32_t length = 0;
    while (text[length]) ++length;
    return length;
}

bool unicodeToAscii(const WCHAR* uni_str, char* ascii_buffer, uint32_t bufferSize)
{
    if (!uni_str) {
        assertFailedMsg("Zero length text string detected", "uni_str", __FILE__, __LINE__);
        assertFailedMsg("Pointer to UNICODE string is invalid", "uni_str!=NULL", __FILE__, __LINE__);
        return false;
    }
    if (!ascii_buffer) {
        assertFailedMsg("Pointer to ascii buffer is invalid", "ascii_buffer!=NULL", __FILE__, __LINE__);
        return false;
    }
    uint32_t length = unicodeLength(uni_str);
    if (length >= bufferSize) {
        char quoted[MAX_QUOTED + 1];
        uint32_t n = 0;
        for (; n < length && n < MAX_QUOTED; ++n) quoted[n] = toAscii(uni_str[n]);
        quoted[n] = 0;
        char message[MAX_QUOTED + 128];
        snprintf(message, sizeof message,
                 "Ascii Buffer too small for UNICODE string. Buffer size: %u  String Size: %u\nString: %s", bufferSize,
                 length, quoted);
        assertFailedMsg(message, "false", __FILE__, __LINE__);
        if (bufferSize == 0) return false;
        length = bufferSize - 1;
    }
    bool wide = false;
    for (uint32_t i = 0; i < length; ++i) {
        if (uni_str[i] > 0xFF) wide = true;
        ascii_buffer[i] = toAscii(uni_str[i]);
    }
    ascii_buffer[length] = 0;
    return wide;
}

void asciiToUnicode(const char* ascii_str, WCHAR* uni_buffer, uint32_t UnicodeBufferSize)
{
    if (!ascii_str) {
        assertFailedMsg("Pointer to ascii string is invalid", "ascii_str!=NULL", __FILE__, __LINE__);
        return;
    }
    if (!uni_buffer) {
        assertFailedMsg("Pointer to UNICODE buffer is invalid", "uni_buffer!=NULL", __FILE__, __LINE__);
        return;
    }
    size_t ascii_length = strlen(ascii_str);
    if (ascii_length >= UnicodeBufferSize) {
        assertFailedMsg("UNICODE Buffer too small for Ascii string", "(unsigned)ascii_length < UnicodeBufferSize",
                        __FILE__, __LINE__);
        if (UnicodeBufferSize == 0) return;
        ascii_length = UnicodeBufferSize - 1;
    }
    for (size_t i = 0; i < ascii_length; ++i) uni_buffer[i] = toUnicode(ascii_str[i]);
    uni_buffer[ascii_length] = 0;
}
