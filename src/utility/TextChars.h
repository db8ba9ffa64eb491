// Character classes of the file readers. Only A-Z fold: names and keys are 8-bit texts whose other
// letters no locale may change.
#pragma once

inline char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
// Blanks, tabs and line ends; the same set for strspn and strcspn.
inline bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
inline constexpr char BLANKS[] = " \t\r\n";
// Past the UTF-8 byte-order mark some editors put at the start of a text file.
inline const char* skipByteOrderMark(const char* text)
{
    return text[0] == '\xEF' && text[1] == '\xBB' && text[2] == '\xBF' ? text + 3 : text;
}
