// Pack files: many files in one archive, found by a CRC of the lower-cased name.
#pragma once

#include <cstdint>

// Where CFile reads come from: 0 disk only, 1 disk while a pack is built (reads are recorded),
// 2 the open pack.
enum { PACK_SOURCE_OFF = 0, PACK_SOURCE_BUILD = 1, PACK_SOURCE_READ = 2 };
void PackFileSetSource(int source);
int PackFileGetSource();

// Called by CFile on the first read of a file while a pack is being built.
void PackFileRecordFile(const char* name);
// The entry index of a name in the open pack, or -1.
int PackFileFind(const char* name);
uint32_t PackFileEntrySize(int entry);
bool PackFileRead(int entry, uint32_t offset, void* buffer, uint32_t count, uint32_t* done);
