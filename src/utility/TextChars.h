// Character classes of the file readers. Only A-Z fold: names and keys are 8-bit texts whose other
// letters no locale may change.
#pragma once

inline char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
// Blanks, tabs and line ends; the same set for strspn and strcspn.
inline bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
inline constexpr char BLANKS[] = " \t\r\n";
