#include "kestrune/TextLines.h"

#include "utility/Assert.h"
#include "utility/RunLog.h"
#include "winfile/File.h"

#include <cstring>

char* readTextLine(CFile& file, char* buffer, uint32_t size, const char* fileName)
{
    uint32_t count = 0;
    if (!file.ReadLine(buffer, size, &count)) return nullptr;
    if (count > 0 && buffer[count - 1] == '\n') {
        buffer[--count] = 0;
    } else if (count == size - 1 && file.GetPosition() < file.GetSize()) {
        assertFailedMsg(concatStrings("Line too long in ", fileName), "strlen(Line) < MAX_LINE", __FILE__, __LINE__);
        char rest[256];
        uint32_t n = 0;
        while (file.ReadLine(rest, sizeof rest, &n) && !(n > 0 && rest[n - 1] == '\n')) {
        }
    }
    if (count > 0 && buffer[count - 1] == '\r') buffer[--count] = 0;
    return buffer;
}

int splitTokens(char* line, char** tokens, int maxTokens, const char* separators)
{
    int n = 0;
    char* save = nullptr;
    for (char* t = strtok_r(line, separators, &save); t && n < maxTokens; t = strtok_r(nullptr, separators, &save))
        tokens[n++] = t;
    return n;
}
