// Pack directories and reads: any file given as a pack either fails to open or serves every
// entry within its bounds.
#include "FuzzSupport.h"
#include "winfile/File.h"
#include "winfile/PackFile.h"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::setUp();
    PackFileInit(1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const fuzz::InputFile input("fuzz.pak", data, size);
    if (!PackFileOpen("fuzz.pak", PACKFILE_MODE_READ, 0)) return 0;
    uint8_t buffer[4096];
    const int files = std::min(PackFileNumFiles(), 256);
    for (int i = 0; i < files; ++i) {
        const uint32_t entrySize = PackFileEntrySize(i);
        uint32_t got = 0;
        PackFileRead(i, entrySize / 2, buffer, sizeof buffer, &got);
        if (got > std::min<uint32_t>(entrySize - entrySize / 2, sizeof buffer)) abort();
        PackFileRead(i, 0, buffer, sizeof buffer, &got);
        if (got != std::min<uint32_t>(entrySize, sizeof buffer)) abort();
    }
    PackFileSetSource(PACK_SOURCE_READ);
    for (const char* name : {"a", "data\\a.tga", ""}) {
        CFile file;
        if (file.Open(name, FILE_MODE_READ | FILE_MODE_BUFFERED)) {
            char line[64];
            while (file.ReadLine(line, sizeof line)) {
            }
        }
    }
    PackFileSetSource(PACK_SOURCE_OFF);
    PackFileClose();
    return 0;
}
