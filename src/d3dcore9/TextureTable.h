// The texture tables of the render device: the disk-texture table (one entry per file name) and the
// hardware-texture table (one entry per Direct3D texture made from a file with one set of creation
// options). Equal requests share an entry by reference count; handles are slot indices.
//
// Use: AddHWTexture (name, options) -> handle, LoadTexture(handle) fills it from disk, GetHWTexture
// gives the entry (its ITexture is what a state block binds), ReleaseHWTexture drops the reference.
// State blocks keep disk entries of their texture names with AddDiskTexture / ReleaseDiskTexture.
// Textures live in the managed pool: a lost device needs only the palettes sent again, which the
// device restore does from D3DCore's palette slots.
#pragma once

#include "dxsetup9/DXSetup.h"

#include <cstdint>

const uint32_t MAXDISKTEXTURES = 512;
const uint32_t MAXHWTEXTURES = 512;
typedef uint32_t TextureHandle;
const TextureHandle TEXTURE_NONE = 0xFFFFFFFFu;

// Where the mip levels of a texture come from (also the kinds of level-file names).
enum MipGenerationType : uint32_t {
    MGT_NONE = 0,       // calculated from the source
    MGT_HANDMADE = 1,   // "_mNN.tga" level files
    MGT_GENERATED = 2,  // "_gNN.tga" level files written by an earlier load
    MGT_CACHE = 3,      // the ".xim" cache
};

struct DiskTexture {
    uint32_t SizeX = 0, SizeY = 0;  // top level as last loaded
    uint32_t BitDepth = 0;          // of the source image: 8, 24 or 32 (32 from a cache file)
    char* Name = nullptr;           // owned copy of the name as requested; null when free
    uint32_t RefCount = 0;
};

struct HWTexture {
    uint32_t DiskTexture = TEXTURE_NONE;  // the source file's disk entry
    uint32_t Stage = 0;                   // of the request that made the entry (not compared)
    Tex* Format = nullptr;                // the requested format record (compared by identity)
    IDirect3DBaseTexture9* ITexture = nullptr;
    uint32_t MipSource = MGT_NONE;
    BYTE Loaded = 0;
    uint32_t RefCount = 0;
    int32_t MinMipSize = 0;  // 0: one level; n: smallest level edge
    BYTE Reported = 0;       // set for good once the slot was first taken
    BYTE IsCube = 0;
    BYTE IgnoreAlpha = 0;
    int32_t Palette = -1;  // palette slot, -1 none
};

// Slot bookkeeping shared by both tables.
struct TextureSlots {
    uint32_t FirstUsed = 0, LastUsed = 0, FirstFree = 0, SlotsUsed = 0;
};

// Names the material that already uses a texture file, for the mismatch reports: the first state
// block in use whose material is not `requester` and that holds the file. Null when there is none.
typedef const char* (*TextureUserFinder)(const char* diskName, const char* requester);
// Shows a warning of the loader as a line of the loading screen.
typedef void (*TextureLoadingText)(const char* text);

class TextureTable {
public:
    TextureTable();
    ~TextureTable();
    TextureTable(const TextureTable&) = delete;
    TextureTable& operator=(const TextureTable&) = delete;

    // Finds or makes the entry; false only when a table is full. The material name serves only
    // the reports of a name used with differing options.
    bool AddHWTexture(const char* Name, Tex* Format, uint32_t Stage, int32_t MinMipSize, bool IsCube,
                      bool IgnoreAlpha, TextureHandle* Handle, const char* MaterialName);
    // Fills the entry's texture from the cache, level files or the source (TextureLoad.cpp); does
    // nothing once loaded. False when the texture could not be filled.
    bool LoadTexture(TextureHandle Handle);
    // False when the entry was already free (or the handle is out of range).
    bool ReleaseHWTexture(TextureHandle Handle);
    void ReleaseAllHWTextures();
    // Null for a free entry or an index of 512 or more.
    HWTexture* GetHWTexture(uint32_t i);
    DiskTexture* GetDiskTexture(uint32_t i);
    bool AddDiskTexture(const char* Name, uint32_t* Handle);
    bool ReleaseDiskTexture(uint32_t Handle);
    // Gives the texture the lowest free palette slot, once, and sends the entries to the device.
    void SetTexturePalette(TextureHandle Handle, const PALETTEENTRY* entries);
    // Creates the Direct3D texture of an entry from its disk entry's size (any earlier one is
    // released). False when the device refused.
    bool CreateTexture(HWTexture* entry);
    // The edge of the top level CreateTexture makes for a square source of this edge: the
    // device's largest texture size when the source is larger.
    static uint32_t DeviceEdge(uint32_t sourceEdge);

    static void SetUserFinder(TextureUserFinder finder);
    static void SetLoadingText(TextureLoadingText sink);

    DiskTexture DiskTextures[MAXDISKTEXTURES];
    HWTexture HWTextures[MAXHWTEXTURES];
    TextureSlots DiskSlots;
    TextureSlots HWSlots;

private:
    enum CacheResult { CACHE_LOADED, CACHE_OTHER_FORMAT, CACHE_DAMAGED };
    void FindMipSource(HWTexture& entry);
    CacheResult LoadFromCache(HWTexture& entry, DiskTexture& disk);
    bool LoadFromLevelFiles(HWTexture& entry, DiskTexture& disk);
    bool CalculateLevels(HWTexture& entry, DiskTexture& disk, const FILETIME* sourceTime);
    void SaveCache(HWTexture& entry, DiskTexture& disk, const FILETIME* sourceTime);
};
