#include "d3dcore9/TextureTable.h"

#include "d3dcore9/D3DCore.h"
#include "d3dcore9/DXWrappers.h"
#include "d3dcore9/TextureFiles.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"
#include "winfile/File.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

namespace {

TextureUserFinder userFinder = nullptr;

const char* const SIZE_RULE = "Textures must be square and power-of-2 size. Size 4x4 - 4096x4096";

void emptySlots(TextureSlots& s, uint32_t size)
{
    s.FirstUsed = size - 1;
    s.LastUsed = 0;
    s.FirstFree = 0;
    s.SlotsUsed = 0;
}

// The lowest free slot, with the bookkeeping of taking it; false when the table is full.
template <class Entry>
bool takeSlot(TextureSlots& s, Entry* entries, uint32_t size, uint32_t* handle)
{
    ASSERT(s.FirstFree < size);
    ASSERT(s.SlotsUsed < size);
    if (s.FirstFree >= size || s.SlotsUsed >= size) return false;
    if (s.SlotsUsed == 0) ASSERT(s.FirstFree == 0);
    uint32_t h = s.FirstFree;
    ASSERT(entries[h].RefCount == 0);
    ++s.SlotsUsed;
    if (s.SlotsUsed == 1) {
        s.FirstFree = h + 1;
        s.FirstUsed = s.LastUsed = h;
    } else {
        uint32_t f = h + 1;
        while (f < size && entries[f].RefCount != 0) ++f;
        s.FirstFree = f;
        if (h < s.FirstUsed) s.FirstUsed = h;
        if (h > s.LastUsed) s.LastUsed = h;
    }
    *handle = h;
    return true;
}

// The bookkeeping after an entry's count reached 0.
template <class Entry>
void freeSlot(TextureSlots& s, Entry* entries, uint32_t size, uint32_t h)
{
    --s.SlotsUsed;
    if (s.SlotsUsed == 0) {
        emptySlots(s, size);
        return;
    }
    if (h < s.FirstFree) s.FirstFree = h;
    if (h == s.FirstUsed) {
        uint32_t u = h + 1;
        while (u < size && entries[u].RefCount == 0) ++u;
        ASSERT(u < size);
        s.FirstUsed = u < size ? u : size - 1;
    }
    if (h == s.LastUsed) {
        uint32_t u = h;
        while (u > 0 && entries[u].RefCount == 0) --u;
        s.LastUsed = u;
    }
}

char* copyName(const char* name)
{
    size_t n = std::strlen(name) + 1;
    char* copy = new char[n];
    std::memcpy(copy, name, n);
    return copy;
}

bool isPowerOfTwoEdge(uint32_t size)
{
    for (uint32_t e = 4; e <= 4096; e <<= 1)
        if (size == e) return true;
    return false;
}

}  // namespace

TextureTable::TextureTable()
{
    emptySlots(DiskSlots, MAXDISKTEXTURES);
    emptySlots(HWSlots, MAXHWTEXTURES);
}

TextureTable::~TextureTable()
{
    // Names are ours; the Direct3D textures went with their holders (or with the process).
    for (DiskTexture& d : DiskTextures) delete[] d.Name;
}

void TextureTable::SetUserFinder(TextureUserFinder finder) { userFinder = finder; }

HWTexture* TextureTable::GetHWTexture(uint32_t i)
{
    if (!VERIFY(i < MAXHWTEXTURES)) return nullptr;
    return HWTextures[i].RefCount ? &HWTextures[i] : nullptr;
}

DiskTexture* TextureTable::GetDiskTexture(uint32_t i)
{
    if (!VERIFY(i < MAXDISKTEXTURES)) return nullptr;
    return DiskTextures[i].RefCount ? &DiskTextures[i] : nullptr;
}

bool TextureTable::AddDiskTexture(const char* Name, uint32_t* Handle)
{
    if (!Name || !Handle) return false;
    if (DiskSlots.SlotsUsed != 0)
        for (uint32_t i = DiskSlots.FirstUsed; i <= DiskSlots.LastUsed && i < MAXDISKTEXTURES; ++i) {
            DiskTexture& d = DiskTextures[i];
            if (d.RefCount && d.Name && strcasecmp(d.Name, Name) == 0) {
                ++d.RefCount;
                *Handle = i;
                return true;
            }
        }
    uint32_t h;
    if (!takeSlot(DiskSlots, DiskTextures, MAXDISKTEXTURES, &h)) return false;
    DiskTexture& d = DiskTextures[h];
    delete[] d.Name;
    d = DiskTexture{};
    d.Name = copyName(Name);
    d.RefCount = 1;
    *Handle = h;
    return true;
}

bool TextureTable::ReleaseDiskTexture(uint32_t Handle)
{
    if (!VERIFY(Handle < MAXDISKTEXTURES)) return false;
    DiskTexture& d = DiskTextures[Handle];
    if (!VERIFY(d.RefCount != 0)) return false;
    ASSERT(d.Name != NULL);
    if (--d.RefCount > 0) return true;
    delete[] d.Name;
    d.Name = nullptr;
    freeSlot(DiskSlots, DiskTextures, MAXDISKTEXTURES, Handle);
    return true;
}

void TextureTable::FindMipSource(HWTexture& entry)
{
    const char* name = DiskTextures[entry.DiskTexture].Name;
    char level[MIP_NAME_SIZE];
    entry.MipSource = MGT_NONE;
    BuildMipFileName(name, 1, MGT_HANDMADE, level, entry.Format ? entry.Format->Format : D3DFMT_UNKNOWN);
    if (FileReadable(level)) {
        entry.MipSource = MGT_HANDMADE;
        return;
    }
    BuildMipFileName(name, 1, MGT_GENERATED, level, entry.Format ? entry.Format->Format : D3DFMT_UNKNOWN);
    if (!FileReadable(level)) return;
    entry.MipSource = MGT_GENERATED;
    // Generated files that no longer match their source are made again.
    FILETIME sourceTime, levelTime;
    if (GetTextureFileTime(name, &sourceTime) && GetTextureFileTime(level, &levelTime) &&
        (sourceTime.dwLowDateTime != levelTime.dwLowDateTime || sourceTime.dwHighDateTime != levelTime.dwHighDateTime))
        entry.MipSource = MGT_NONE;
}

bool TextureTable::AddHWTexture(const char* Name, Tex* Format, uint32_t Stage, int32_t MinMipSize, bool IsCube,
                                bool IgnoreAlpha, TextureHandle* Handle, const char* MaterialName)
{
    if (!Name || !Handle) return false;
    if (!VERIFY(MinMipSize >= 0)) MinMipSize = 0;
    bool alphaMisMatch = false, mipMapMisMatch = false, formatMisMatch = false;
    if (HWSlots.SlotsUsed != 0)
        for (uint32_t i = HWSlots.FirstUsed; i <= HWSlots.LastUsed && i < MAXHWTEXTURES; ++i) {
            HWTexture& t = HWTextures[i];
            if (!t.RefCount) continue;
            const DiskTexture* d = GetDiskTexture(t.DiskTexture);
            if (!d || !d->Name || strcasecmp(d->Name, Name) != 0) continue;
            bool sameMips = t.MinMipSize == MinMipSize;
            bool sameFormat = t.Format == Format;
            bool sameAlpha = (t.IgnoreAlpha != 0) == IgnoreAlpha;
            if (sameMips && sameFormat && sameAlpha) {
                ++t.RefCount;
                *Handle = i;
                return true;
            }
            mipMapMisMatch |= !sameMips;
            formatMisMatch |= !sameFormat;
            alphaMisMatch |= !sameAlpha;
        }

    uint32_t h;
    if (!takeSlot(HWSlots, HWTextures, MAXHWTEXTURES, &h)) return false;
    HWTexture& t = HWTextures[h];
    if (!t.Reported && (alphaMisMatch || mipMapMisMatch || formatMisMatch)) {
        const char* requester = MaterialName ? MaterialName : "";
        const char* other = userFinder ? userFinder(Name, requester) : nullptr;
        if (!other) other = "unknown";
        char text[1024];
        if (alphaMisMatch) {
            std::snprintf(text, sizeof(text), "Error: %s\nused with and without alpha!\n1: %s\n2: %s", Name, other,
                          requester);
            assertFailedMsg(text, "!AlphaMisMatch", __FILE__, __LINE__);
        }
        if (mipMapMisMatch) {
            std::snprintf(text, sizeof(text), "Error: %s used with differing mip-map levels\n1: %s\n2: %s", Name, other,
                          requester);
            assertFailedMsg(text, "!MipMapMisMatch", __FILE__, __LINE__);
        }
        if (formatMisMatch) {
            std::snprintf(text, sizeof(text), "Error: %s used with differing texture formats\n1: %s\n2: %s", Name,
                          other, requester);
            assertFailedMsg(text, "!FormatMisMatch", __FILE__, __LINE__);
        }
    }
    uint32_t disk;
    if (!AddDiskTexture(Name, &disk)) {
        // No disk entry to hang it on: the slot goes back.
        freeSlot(HWSlots, HWTextures, MAXHWTEXTURES, h);
        return false;
    }
    t.Reported = 1;
    t.MinMipSize = MinMipSize;
    t.IgnoreAlpha = IgnoreAlpha ? 1 : 0;
    t.DiskTexture = disk;
    t.IsCube = IsCube ? 1 : 0;
    t.Format = Format;
    FindMipSource(t);
    t.Stage = Stage;
    t.ITexture = nullptr;
    t.Palette = -1;
    t.RefCount = 1;
    t.Loaded = 0;
    *Handle = h;
    return true;
}

bool TextureTable::ReleaseHWTexture(TextureHandle Handle)
{
    if (!VERIFY(Handle < MAXHWTEXTURES)) return false;
    HWTexture& t = HWTextures[Handle];
    if (!VERIFY(t.RefCount != 0)) return false;
    if (--t.RefCount > 0) return true;
    if (t.Palette != -1) {
        ASSERT(::D3DCore.PaletteUsed(t.Palette));
        ::D3DCore.FreePalette(t.Palette);
        t.Palette = -1;
    }
    ReleaseDiskTexture(t.DiskTexture);
    t.DiskTexture = TEXTURE_NONE;
    DXReleaseInterface(t.ITexture);
    t.Loaded = 0;
    freeSlot(HWSlots, HWTextures, MAXHWTEXTURES, Handle);
    return true;
}

void TextureTable::ReleaseAllHWTextures()
{
    for (uint32_t i = 0; i < MAXHWTEXTURES; ++i)
        while (HWTextures[i].RefCount) ReleaseHWTexture(i);
}

void TextureTable::SetTexturePalette(TextureHandle Handle, const PALETTEENTRY* entries)
{
    HWTexture* t = Handle < MAXHWTEXTURES ? GetHWTexture(Handle) : nullptr;
    if (!t || !entries || t->Palette != -1) return;
    for (int32_t i = 0; i < MAXPALETTES; ++i)
        if (!::D3DCore.PaletteUsed(i)) {
            t->Palette = i;
            ::D3DCore.SetPalette(i, entries);
            return;
        }
    assertFailedMsg("Out of palette entries", "HWTexture[Handle].Palette != -1", __FILE__, __LINE__);
}

uint32_t TextureTable::DeviceEdge(uint32_t sourceEdge)
{
    const DXDevice* device = ::D3DCore.CurrentDevice ? ::D3DCore.CurrentDevice : ::D3DCore.pDevice;
    uint32_t edge = sourceEdge;
    if (!device) return edge;
    if (device->MaxTextureWidth && edge > device->MaxTextureWidth) edge = device->MaxTextureWidth;
    if (device->MaxTextureHeight && edge > device->MaxTextureHeight) edge = device->MaxTextureHeight;
    return edge;
}

bool TextureTable::CreateTexture(HWTexture* entry)
{
    if (!entry || !entry->Format) return false;
    const DiskTexture* disk = GetDiskTexture(entry->DiskTexture);
    if (!disk) return false;
    const uint32_t SizeX = disk->SizeX, SizeY = disk->SizeY;
    uint32_t MipLevels = 1;
    if (entry->MinMipSize > 0) {
        uint64_t n = static_cast<uint64_t>(entry->MinMipSize);
        if (n > SizeX) n = SizeX;
        if (n == 0) n = 1;
        while (n * 2 <= SizeX) {
            n *= 2;
            ++MipLevels;
        }
    }
    const char* problem = nullptr;
    if (SizeX != SizeY) problem = "is not square";
    else if (SizeX < 4) problem = "is too small";
    else if (SizeX > 4096) problem = "is too large";
    else if (!isPowerOfTwoEdge(SizeX)) problem = "is not power-of-2 size";
    if (problem) {
        char text[1024];
        std::snprintf(text, sizeof(text), "Texture <%s> %s. %s", disk->Name, problem, SIZE_RULE);
        assertFailedMsg(text, "false", __FILE__, __LINE__);
    }
    const DXDevice* device = ::D3DCore.CurrentDevice ? ::D3DCore.CurrentDevice : ::D3DCore.pDevice;
    if (!VERIFY(device != NULL) || SizeX == 0) return false;
    const uint32_t Edge = DeviceEdge(SizeX);
    // A source the device cannot hold loses its top levels, not its smallest ones.
    for (uint32_t e = SizeX; e > Edge && MipLevels > 1; e >>= 1) --MipLevels;

    DXReleaseInterface(entry->ITexture);
    HRESULT Err;
    if (entry->IsCube) {
        IDirect3DCubeTexture9* cube = nullptr;
        Err = DXCreateCubeTexture(Edge, device->MipCubeMaps ? MipLevels : 1, 0, entry->Format->Format,
                                  D3DPOOL_MANAGED, &cube);
        entry->ITexture = cube;
    } else {
        IDirect3DTexture9* texture = nullptr;
        Err = DXCreateTexture(Edge, Edge, MipLevels, 0, entry->Format->Format, D3DPOOL_MANAGED, &texture);
        entry->ITexture = texture;
    }
    if (FAILED(Err) || !entry->ITexture) {
        assertFailed("OK", __FILE__, __LINE__);
        entry->ITexture = nullptr;
        return false;
    }
    return true;
}

void D3DCore::ReleaseTextures(DWORD, DWORD, bool release)
{
    if (release) TextureTables.ReleaseAllHWTextures();
}
