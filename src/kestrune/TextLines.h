// Lines of the game's small text files: at most a fixed number of characters, split into tokens at
// blanks, tabs and line ends.
#pragma once

#include <cstdint>

class CFile;

// The next line into buffer (size bytes, so size - 1 characters at most), without its line end;
// null at the end of the file. A longer line is reported once with the file's name and the rest
// of it skipped, so that its tail is never taken for a line of its own.
char* readTextLine(CFile& file, char* buffer, uint32_t size, const char* fileName);

// Splits the line in place into at most maxTokens tokens at the separators; returns the count.
int splitTokens(char* line, char** tokens, int maxTokens, const char* separators = " \t\r\n");
