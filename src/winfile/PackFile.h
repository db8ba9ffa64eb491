// Pack files: the many small files that one stage of the game reads, gathered into one archive so
// that they load with one open file and few seeks. Files are found by a CRC of the lower-cased name;
// no names are stored.
//
// Use: PackFileInit once, then PackFileOpen, reads (through CFile with the pack source at 2) or
// recording (with the source at 1), PackFileClose, and PackFileShutdown at exit. One pack is open
// at a time. A pack opened for building records every file CFile reads and is written at close.
// Any thread may read files from the open pack (a stream thread reading a packed sound, say): the
// calls share the pack's one handle under a lock.
//
// Pack layout (little-endian): u32 NumFiles; NumFiles packentry records sorted by CRC, then by
// offset; then each file's bytes whole, in recording order, XORed with a one-byte key. The
// directory is never scrambled.
#pragma once

#include <cstdint>

struct packentry {
    uint32_t CRC;
    uint32_t Offset;  // from the start of the pack
    uint32_t Size;
};
static_assert(sizeof(packentry) == 12, "pack entries are stored as 12 bytes");

enum { PACKFILE_MODE_READ = 0, PACKFILE_MODE_BUILD = 1 };
// What a build may record (callers pass this to PackFileOpen).
const int PACKFILE_BUILD_MAX_FILES = 5000;

// Where CFile reads come from: 0 disk only, 1 disk while a pack is built (reads are recorded),
// 2 the open pack. The callers set it around their use of a pack.
enum { PACK_SOURCE_OFF = 0, PACK_SOURCE_BUILD = 1, PACK_SOURCE_READ = 2 };
void PackFileSetSource(int source);
int PackFileGetSource();

// Name CRC: CRC-32, polynomial 0x04C11DB7 MSB first, start value 0x8217891C, no final XOR, over the
// name with only A-Z lower-cased (so '\' and '/' stay different). Saved games use it too.
void PackFileBuildCrcTable();
uint32_t PackFileNameCrc(const char* name);

// A non-zero scrambling flag XORs the data of packs read and built with the pack key.
void PackFileInit(int scrambling);
void PackFileShutdown();
// mode PACKFILE_MODE_READ (maxFiles unused) or PACKFILE_MODE_BUILD (maxFiles > 0 names).
bool PackFileOpen(const char* name, int mode, int maxFiles);
// A pack being built is written now, with statistics to logFileName when one is given.
void PackFileClose(const char* logFileName = nullptr);
bool PackFileIsOpen();

// Records a name for the build: the new NumFiles, or 0 when the name was already recorded (in any
// case) or cannot be.
int PackFileAddFile(const char* name);
// Called by CFile on the first read of a file while a pack is built. Names that contain the add
// filter's match string go to its callback instead of the pack.
void PackFileRecordFile(const char* name);
typedef void (*PackFileAddCallback)(void* context, const char* lowerCaseName);
void PackFileSetAddCallback(const char* matchString, void* context, PackFileAddCallback callback);
void PackFileClearAddCallback();

// The entry index of a name in the pack open for reading, or -1. Of two names with the same CRC,
// the first entry at or after the pack's current position wins, so files that share a CRC are
// told apart by reading them in the order they were recorded.
int PackFileFind(const char* name);
uint32_t PackFileEntrySize(int index);
// Reads from an entry at an offset within it; the count is cut to the entry's end. A count that
// comes to 0 succeeds with nothing read.
bool PackFileRead(int index, uint32_t offset, void* buffer, uint32_t count, uint32_t* done);

// Number of entries of the open pack (read) or recorded names (build).
int PackFileNumFiles();

// Render-core seam: the build shows its progress through this function while the render device is
// up (each text in a scene of its own). Until the render core installs one, nothing is shown.
typedef void (*PackFileProgressFunc)(const char* text);
void PackFileSetProgressFunc(PackFileProgressFunc func);
