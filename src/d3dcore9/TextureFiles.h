// Texture files: TGA images read and written, level-file names, the area-average filter that makes
// smaller levels, and the packing of pixels into a surface of any layout format.
//
// Images in memory are BGRA bytes, four a pixel (A8R8G8B8), rows top first, or one palette index a
// pixel for palettised (8-bit) images.
#pragma once

#include "dxsetup9/DXSetup.h"

#include <cstdint>
#include <memory>

// Room for any name BuildMipFileName makes.
const uint32_t MIP_NAME_SIZE = 1024;

#pragma pack(push, 1)
struct TGAHeader {
    BYTE IdentificationChars;  // must be 0
    BYTE ColourMapType;        // 1 with a colour map (type 1), else 0
    BYTE ImageType;            // 1 colour-mapped, 2 true colour
    BYTE ColourMapSpec[5];
    WORD XOrigin;
    WORD YOrigin;
    WORD Width;
    WORD Height;
    BYTE BitDepth;
    BYTE Descriptor;  // bits 0-3 alpha bits, bit 5 rows top first, bits 6-7 interleave
};
#pragma pack(pop)
static_assert(sizeof(TGAHeader) == 18);

// Largest TGA edge the loader takes; larger files are refused before any memory is given.
const uint32_t MAX_TGA_EDGE = 4096;

struct TGAImage {
    std::unique_ptr<BYTE[]> Pixels;  // SizeX x SizeY x (BitDepth == 8 ? 1 : 4) bytes
    uint32_t SizeX = 0, SizeY = 0;
    uint32_t BitDepth = 0;  // of the file: 8, 24 or 32
    PALETTEENTRY Palette[256] = {};  // 8-bit files: the colour map, flags 255
};

// Reads a TGA (types 1 and 2; 8, 24 or 32 bits; either row order). Returns the bit depth, or 0
// after a report when the file is short or not a TGA this loader takes. A file that cannot be
// opened ends the program with exit code 1 ("Can't open file %s").
uint32_t LoadTGA(const char* Name, TGAImage& image, bool IgnoreAlpha);
// The same into a new scratch surface (P8 or A8R8G8B8); null after a report on failure.
uint32_t LoadTGA(const char* Name, IDirect3DSurface9** surface, TGAImage& image, bool IgnoreAlpha);

// Writes a true-colour TGA (BitDepth 24 or 32; rows stored bottom first), or a colour-mapped one
// (BitDepth 8) with the palette, carrying the last-write time when one is given. The file appears
// whole or not at all (see CommitTextureFile). False after a report (ReportTextureWriteFailure)
// when it cannot be written.
bool WriteTGA(const char* Name, const BYTE* pixels, uint32_t width, uint32_t height, uint32_t BitDepth,
              const PALETTEENTRY* palette = nullptr, const FILETIME* time = nullptr);

// Files the loader makes (level files, caches) are written to a temporary name in their own
// folder ("~<process>.tmp") and moved over the real name once whole, so that a run stopped while
// writing, or a second copy sharing the data folder, never leaves a part-written file. The first
// name made for a folder in a run removes the temporary files there of processes that no longer
// run (the leftovers of a killed run). Out holds MIP_NAME_SIZE.
void TemporaryTextureName(const char* name, char* out);
// Moves the written temporary file over `name`; false, with the temporary file removed and error
// (when given) set from GetLastError, when that fails. Its time is set before, on the handle
// that wrote it.
bool CommitTextureFile(const char* temporary, const char* name, DWORD* error = nullptr);
// Reports a level or cache file that could not be written, once a run: an unwritable data folder
// would otherwise fill the run log with a report per texture, and the game runs on from sources.
// "Failed to write to <name>", then on the next line the cause from the error the system gave
// (writeFailureCause of the write through temporary; none for ERROR_SUCCESS). Apart from any file
// being read.
void ReportTextureWriteFailure(const char* name, DWORD error, const char* temporary, const char* expression);
// Reports a texture file that is missing or cannot be read, from the failed open's code, naming
// the material and the model being loaded ("Missing File:<name>\nMaterial: ..\nRSM: ..";
// "Unreadable File (access denied):<name>.." when the file is there but may not be read), once a
// run for each file.
void ReportMissingTexture(const char* name, DWORD error);
// Test seam: a new run, in which every report is made again and folders are swept again.
void ResetTextureReports();

bool GetTextureFileTime(const char* Name, FILETIME* time);
bool SetTextureFileTime(const char* Name, const FILETIME* time);

// The lower-cased name of level `index` of `source` for a generation type (MipGenerationType):
// index 0 is the source itself (".xim" for the cache, ".tga" for a P8 format); index n is
// "<folder>\mipmaps\<base>_mNN.tga", "_gNN.tga" or "_xNN.xim". Out holds MIP_NAME_SIZE bytes.
void BuildMipFileName(const char* source, uint32_t index, uint32_t type, char* out, D3DFORMAT format);

// The file a texture request should name: the ".xim" cache of `Name` when it exists and either
// the source is gone or both last-write times are equal; else `Name` itself. Out holds
// MIP_NAME_SIZE bytes.
void ChooseTextureFile(const char* Name, char* out, D3DFORMAT format);

// Area-average filter of a BGRA image into another size.
void ScaleImage(const BYTE* source, BYTE* dest, uint32_t srcWidth, uint32_t srcHeight, uint32_t destWidth,
                uint32_t destHeight);

// Packs an image into a surface by the format record (P8: index bytes copied). Rows past the
// surface are left out. False when the surface cannot be locked.
bool CopyToSurface(const BYTE* pixels, uint32_t width, uint32_t height, const Tex* format,
                   IDirect3DSurface9* surface);
