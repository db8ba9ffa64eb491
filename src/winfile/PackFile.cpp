#include "winfile/PackFile.h"

// Until packs are read and built, every read comes from the disk.
namespace {
int packSource = PACK_SOURCE_OFF;
}

void PackFileSetSource(int source) { packSource = source; }
int PackFileGetSource() { return packSource; }
void PackFileRecordFile(const char*) {}
int PackFileFind(const char*) { return -1; }
uint32_t PackFileEntrySize(int) { return 0; }
bool PackFileRead(int, uint32_t, void*, uint32_t, uint32_t* done)
{
    if (done) *done = 0;
    return false;
}
