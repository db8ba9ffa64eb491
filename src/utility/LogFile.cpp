#include "utility/LogFile.h"

#include "platform/win32.h"

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

// The log sits beneath the file layer (which reports through it), so it writes through the
// platform's file calls.
bool writeLog(const char* text, bool scrambled, bool line)
{
    HANDLE file = CreateFileA(logFileName, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::string bytes;
    if (!scrambled)
        appendWindowsText(bytes, text, line);
    else if (line)
        appendWindowsText(bytes, scrambledCopy(text).c_str(), false);
    else
        bytes = scrambledCopy(text);
    DWORD written = 0;
    if (!bytes.empty() && SetFilePointer(file, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER)
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return written == bytes.size();
}

}  // namespace

uint32_t appendWindowsText(std::string& out, const char* text, bool finalLineEnd)
{
    uint32_t count = 0;
    const char* piece = text;
    for (const char* p = text;; ++p) {
        if (*p == '\n' || *p == 0) {
            const size_t length = static_cast<size_t>(p - piece);
            if (length) {
                out.append(piece, length);
                count += static_cast<uint32_t>(length) + 1;
            }
            if (*p == 0) break;
            out += "\r\n";
            piece = p + 1;
        }
    }
    if (finalLineEnd) out += "\r\n";
    return count;
}

void setLogFileName(const char* name, bool deleteExisting)
{
    snprintf(logFileName, sizeof logFileName, "%s", name);
    if (deleteExisting) DeleteFileA(logFileName);
}

bool writeLogText(const char* text, bool scrambled) { return writeLog(text, scrambled, false); }

bool writeLogLine(const char* text, bool scrambled) { return writeLog(text, scrambled, true); }
