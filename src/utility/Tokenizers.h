// Tokenizers for simple text formats. Tokens are separated by blanks, tabs, line ends and commas.
// They work like strtok (and share its position): the first call passes the text, which is
// changed in place, and later calls pass null to go on. One pass at a time.
#pragma once

#include <cstddef>

// The next token as a decimal number; false at the end or when the token is not all digits
// (so no sign).
bool tokenGetInt(int* pValue, char* text);
// The next token as a float; false at the end or when it holds anything but digits, '-' and '.'.
bool tokenGetFloat(float* pValue, char* text);
// The next token, cut to fit capacity (terminator included); false at the end or at a token that
// starts with "//" (the rest of the line is a comment).
bool tokenGetString(char* buffer, size_t capacity, char* text);
template <size_t N>
bool tokenGetString(char (&buffer)[N], char* text)
{
    return tokenGetString(buffer, N, text);
}
