#include "utility/LogFile.h"

#include "platform/win32.h"
#include "winfile/File.h"

#include <cstdio>
#include <string>

const uint8_t LOG_SCRAMBLE_KEY = 0xB3;

namespace {

char logFileName[MAX_PATH];

std::string scrambledCopy(const char* text)
{
    std::string copy(text);
    for (char& c : copy) c = static_cast<char>(static_cast<uint8_t>(c) ^ LOG_SCRAMBLE_KEY);
    return copy;
}

void writeLog(const char* text, bool scrambled, bool line)
{
    CFile file;
    if (!file.Open(logFileName, FILE_MODE_WRITE | FILE_MODE_APPEND | FILE_MODE_NOT_IN_PACK)) return;
    if (!scrambled) {
        file.WriteText(text, line);
    } else if (line) {
        file.WriteText(scrambledCopy(text).c_str(), false);
    } else {
        std::string copy = scrambledCopy(text);
        file.Write(copy.data(), static_cast<uint32_t>(copy.size()));
    }
    file.Close();
}

}  // namespace

void setLogFileName(const char* name, bool deleteExisting)
{
    snprintf(logFileName, sizeof logFileName, "%s", name);
    if (deleteExisting) DeleteFileA(logFileName);
}

void writeLogText(const char* text, bool scrambled) { writeLog(text, scrambled, false); }

void writeLogLine(const char* text, bool scrambled) { writeLog(text, scrambled, true); }
