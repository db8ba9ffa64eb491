// Filling a hardware texture from disk: the ".xim" cache, level files, or levels calculated from
// the source (and saved as generated level files); then the cache is written for the next run.
#include "d3dcore9/D3DCore.h"
#include "d3dcore9/DXWrappers.h"
#include "d3dcore9/LogWriter.h"
#include "d3dcore9/TextureFiles.h"
#include "d3dcore9/TextureTable.h"
#include "platform/d3dx9.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"
#include "utility/TemporaryFile.h"
#include "winfile/File.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <strings.h>

namespace {

const uint32_t XIM_MAGIC = 0x29190313u;
TextureLoadingText loadingText = nullptr;
const uint32_t XIM_NO_KIND = 0xFFFFFFFFu;

// Cube faces in file order UP, DN, LF, RT, FR, BK, and where each goes.
const char* const FACE_CODES[6] = {"up", "dn", "lf", "rt", "fr", "bk"};
const D3DCUBEMAP_FACES CUBE_FACES[6] = {D3DCUBEMAP_FACE_POSITIVE_Y, D3DCUBEMAP_FACE_NEGATIVE_Y,
                                        D3DCUBEMAP_FACE_NEGATIVE_X, D3DCUBEMAP_FACE_POSITIVE_X,
                                        D3DCUBEMAP_FACE_NEGATIVE_Z, D3DCUBEMAP_FACE_POSITIVE_Z};

// The A8R8G8B8 layout, for the scratch surfaces that feed compressed levels.
const Tex* layout8888()
{
    static Tex t = [] {
        Tex r;
        r.AlphaBits = r.RedBits = r.GreenBits = r.BlueBits = 8;
        r.AlphaShift = 24;
        r.RedShift = 16;
        r.GreenShift = 8;
        r.BitsPerPixel = 32;
        r.Format = D3DFMT_A8R8G8B8;
        return r;
    }();
    return &t;
}

struct Releaser {
    template <class T>
    void operator()(T* p) const
    {
        p->Release();
    }
};
typedef std::unique_ptr<IDirect3DSurface9, Releaser> SurfacePtr;

// The format's word in a cache file; other formats are cached too, without a kind.
uint32_t ximKind(D3DFORMAT f)
{
    switch (f) {
    case D3DFMT_P8: case D3DFMT_R8G8B8: return 0;
    case D3DFMT_A1R5G5B5: return 2;
    case D3DFMT_X1R5G5B5: return 3;
    case D3DFMT_A4R4G4B4: return 4;
    case D3DFMT_R5G6B5: return 5;
    case D3DFMT_A8R8G8B8: return 6;
    case D3DFMT_X8R8G8B8: return 7;
    case D3DFMT_DXT1: return 12;
    case D3DFMT_DXT2: case D3DFMT_DXT3: return 14;
    case D3DFMT_DXT4: case D3DFMT_DXT5: return 15;
    default: return XIM_NO_KIND;
    }
}

bool isBlockFormat(D3DFORMAT f)
{
    return f == D3DFMT_DXT1 || f == D3DFMT_DXT2 || f == D3DFMT_DXT3 || f == D3DFMT_DXT4 || f == D3DFMT_DXT5;
}

// Bytes of one row of a level as the texture holds it, and its rows (DXT: rows of 4 x 4 blocks,
// so a level never counts less than one block). False for a format with no known layout.
bool levelShape(D3DFORMAT f, uint32_t width, uint32_t height, uint32_t& rowBytes, uint32_t& rows)
{
    if (isBlockFormat(f)) {
        rowBytes = ((width + 3) / 4 > 0 ? (width + 3) / 4 : 1) * (f == D3DFMT_DXT1 ? 8 : 16);
        rows = (height + 3) / 4 > 0 ? (height + 3) / 4 : 1;
        return true;
    }
    uint32_t bytes = 0;
    switch (f) {
    case D3DFMT_A8R8G8B8: case D3DFMT_X8R8G8B8: case D3DFMT_X8L8V8U8: case D3DFMT_Q8W8V8U8: case D3DFMT_V16U16:
        bytes = 4;
        break;
    case D3DFMT_R8G8B8: bytes = 3; break;
    case D3DFMT_R5G6B5: case D3DFMT_X1R5G5B5: case D3DFMT_A1R5G5B5: case D3DFMT_A4R4G4B4: case D3DFMT_A8R3G3B2:
    case D3DFMT_X4R4G4B4: case D3DFMT_A8P8: case D3DFMT_A8L8: case D3DFMT_V8U8: case D3DFMT_L6V5U5:
        bytes = 2;
        break;
    case D3DFMT_R3G3B2: case D3DFMT_A8: case D3DFMT_P8: case D3DFMT_L8: case D3DFMT_A4L4: bytes = 1; break;
    case D3DFMT_UYVY: case D3DFMT_YUY2:
        rowBytes = ((width + 1) / 2) * 4;
        rows = height;
        return true;
    default: return false;
    }
    rowBytes = width * bytes;
    rows = height;
    return true;
}

SurfacePtr levelSurface(const HWTexture& entry, uint32_t level, uint32_t face)
{
    IDirect3DSurface9* s = nullptr;
    if (!entry.ITexture) return SurfacePtr();
    if (entry.IsCube)
        static_cast<IDirect3DCubeTexture9*>(entry.ITexture)->GetCubeMapSurface(CUBE_FACES[face], level, &s);
    else
        static_cast<IDirect3DTexture9*>(entry.ITexture)->GetSurfaceLevel(level, &s);
    return SurfacePtr(s);
}

void markDirty(const HWTexture& entry)
{
    if (!entry.ITexture) return;
    if (entry.IsCube)
        for (D3DCUBEMAP_FACES f : CUBE_FACES) static_cast<IDirect3DCubeTexture9*>(entry.ITexture)->AddDirtyRect(f, nullptr);
    else
        static_cast<IDirect3DTexture9*>(entry.ITexture)->AddDirtyRect(nullptr);
}

// The name of a cube face: the face code over the two letters after the "_" that sits 7 (level
// 0) or 11 (level files) characters from the end. False when the name has no "_" there.
bool faceName(const char* name, uint32_t level, uint32_t face, char* out)
{
    std::snprintf(out, MIP_NAME_SIZE, "%s", name);
    const size_t length = std::strlen(out), back = level == 0 ? 6 : 10;
    if (length < back + 1 || out[length - back - 1] != '_') {
        assertFailedMsg(name, level == 0 ? "*(Buffer + strlen(Buffer) - 7) == '_'" : "*(Buffer + strlen(Buffer) - 11) == '_'",
                        __FILE__, __LINE__);
        return false;
    }
    std::memcpy(out + length - back, FACE_CODES[face], 2);
    return true;
}

// Palette indices as BGRA through their colour map.
std::unique_ptr<BYTE[]> expandPalette(const BYTE* indices, size_t count, const PALETTEENTRY* palette)
{
    std::unique_ptr<BYTE[]> out(new BYTE[count * 4]);
    for (size_t i = 0; i < count; ++i) {
        const PALETTEENTRY& p = palette[indices[i]];
        out[i * 4] = p.peBlue;
        out[i * 4 + 1] = p.peGreen;
        out[i * 4 + 2] = p.peRed;
        out[i * 4 + 3] = 255;
    }
    return out;
}

// Palette indices cannot be averaged: smaller levels of a palettised image take the nearest one.
void scaleIndices(const BYTE* source, BYTE* dest, uint32_t sw, uint32_t sh, uint32_t dw, uint32_t dh)
{
    for (uint32_t y = 0; y < dh; ++y)
        for (uint32_t x = 0; x < dw; ++x)
            dest[size_t(y) * dw + x] = source[size_t(uint64_t(y) * sh / dh) * sw + uint64_t(x) * sw / dw];
}

// Once a run for each cache file: every material that asks for it would say the same.
// error: the failed open's, when the cache could not be opened.
void reportXim(const char* name, DWORD error = ERROR_SUCCESS)
{
    if (!noteFileFailure(name)) return;
    char text[MIP_NAME_SIZE + 64];
    std::snprintf(text, sizeof(text), "Failed to read %s. Try deleting this xim!!", name);
    assertFailedMsg(openFailureText(name, error, text).c_str(), "BytesRead", __FILE__, __LINE__);
}

// Puts one image into one level (face) of the entry's texture, by the entry's format.
bool fillLevel(const HWTexture& entry, uint32_t level, uint32_t face, const TGAImage& image, uint32_t width,
               uint32_t height, const BYTE* pixels)
{
    SurfacePtr dest = levelSurface(entry, level, face);
    if (!dest) return false;
    const Tex* format = entry.Format;
    const bool palettised = image.BitDepth == 8;
    if (format->Format == D3DFMT_P8) {
        if (!palettised) {
            assertFailedMsg(concatStrings("Can't load a true-colour image into a palettised texture: ",
                                          ::D3DCore.TextureTables.GetDiskTexture(entry.DiskTexture)->Name),
                            "BitDepth == 8", __FILE__, __LINE__);
            return false;
        }
        return CopyToSurface(pixels, width, height, format, dest.get());
    }
    std::unique_ptr<BYTE[]> expanded;
    if (palettised) {
        expanded = expandPalette(pixels, size_t(width) * height, image.Palette);
        pixels = expanded.get();
    }
    if (!format->SpecialLayout) return CopyToSurface(pixels, width, height, format, dest.get());
    // Layouts the packer does not know (DXT, luminance, bump) go in through a converting copy.
    IDirect3DSurface9* scratch = nullptr;
    if (!DXInterface.ID3DDevice ||
        FAILED(DXInterface.ID3DDevice->CreateOffscreenPlainSurface(width, height, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH,
                                                                   &scratch, nullptr))) {
        assertFailed("Temp8888 != NULL", __FILE__, __LINE__);
        return false;
    }
    SurfacePtr temp(scratch);
    if (!CopyToSurface(pixels, width, height, layout8888(), temp.get())) return false;
    D3DSURFACE_DESC desc{};
    dest->GetDesc(&desc);
    tagRECT area{0, 0, static_cast<LONG>(width < desc.Width ? width : desc.Width),
                 static_cast<LONG>(height < desc.Height ? height : desc.Height)};
    HRESULT Err = D3DXLoadSurfaceFromSurface(dest.get(), nullptr, &area, temp.get(), nullptr, &area, D3DX_FILTER_NONE, 0);
    if (FAILED(Err)) {
        assertFailedMsg("Failed in CopyRects to compressed texture", "Err == D3D_OK", __FILE__, __LINE__);
        return false;
    }
    return true;
}

}  // namespace

void TextureTable::SetLoadingText(TextureLoadingText sink) { loadingText = sink; }

bool TextureTable::LoadTexture(TextureHandle Handle)
{
    HWTexture* entry = Handle < MAXHWTEXTURES ? GetHWTexture(Handle) : nullptr;
    if (!VERIFY(entry != NULL)) return false;
    if (entry->Loaded) return true;
    DiskTexture* disk = GetDiskTexture(entry->DiskTexture);
    if (!disk || !disk->Name || !VERIFY(entry->Format != NULL)) return false;
    const size_t length = std::strlen(disk->Name);
    if (!VERIFY(length >= 5)) return false;
    // A file of its own, whatever file names it: its reports are not those of a material or model
    // being read. The cache and the source that stands in for it are two files, each its own read.
    std::optional<ReadingFile> reading;
    reading.emplace(disk->Name);

    FILETIME sourceTime{};
    bool timed = true;
    if (strcasecmp(disk->Name + length - 3, "xim") == 0) {
        const CacheResult cache = LoadFromCache(*entry, *disk);
        if (cache == CACHE_LOADED) return true;
        // Another format, or a damaged file: the source of the same name, in place.
        for (char* p = disk->Name; *p; ++p) *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
        char* pp = std::strstr(disk->Name, ".xim");
        if (!VERIFY(pp != NULL)) return false;
        std::memcpy(pp, ".tga", 4);
        reading.reset();
        reading.emplace(disk->Name);
        // Without a source the texture is drawn without, as any missing texture is; a damaged
        // cache has said so already, and one damaged file is one report.
        DWORD error = ERROR_SUCCESS;
        if (!FileExists(disk->Name, 0, &error)) {
            if (cache != CACHE_DAMAGED) ReportMissingTexture(disk->Name, error);
            return false;
        }
        timed = GetTextureFileTime(disk->Name, &sourceTime);
        if (!timed && noteFileFailure(disk->Name))
            assertFailedMsg("Failed to read texture time!", "false", __FILE__, __LINE__);
    } else if (!VERIFY(strcasecmp(disk->Name + length - 3, "tga") == 0)) {
        return false;
    } else {
        DWORD error = ERROR_SUCCESS;
        if (!FileExists(disk->Name, 0, &error)) {
            ReportMissingTexture(disk->Name, error);
            return false;
        }
        timed = GetTextureFileTime(disk->Name, &sourceTime);
        if (!timed && noteFileFailure(disk->Name))
            assertFailedMsg(concatStrings("Failed to read texture timestamp for\n", disk->Name), "false", __FILE__,
                            __LINE__);
    }

    bool filled = false;
    if (entry->MipSource != MGT_NONE) filled = LoadFromLevelFiles(*entry, *disk);
    // Level files that do not fit are passed over: the levels are made again from the source.
    if (!filled) filled = CalculateLevels(*entry, *disk, timed ? &sourceTime : nullptr);
    if (!filled) {
        DXReleaseInterface(entry->ITexture);
        return false;
    }
    markDirty(*entry);
    entry->Loaded = 1;
    SaveCache(*entry, *disk, timed ? &sourceTime : nullptr);
    return true;
}

TextureTable::CacheResult TextureTable::LoadFromCache(HWTexture& entry, DiskTexture& disk)
{
    const TextureHandle handle = static_cast<TextureHandle>(&entry - HWTextures);
    CFile file;
    uint32_t magic = 0, format = 0, kind = 0;
    if (!file.Open(disk.Name, FILE_MODE_READ | FILE_MODE_BUFFERED)) {
        reportXim(disk.Name, file.LastError());
        return CACHE_DAMAGED;
    }
    if (!file.ReadLong(&magic)) {
        reportXim(disk.Name);
        return CACHE_DAMAGED;
    }
    if (magic != XIM_MAGIC || !file.ReadLong(&format) || format != static_cast<uint32_t>(entry.Format->Format))
        return CACHE_OTHER_FORMAT;
    bool ok = file.ReadLong(&kind);
    const uint32_t faces = entry.IsCube ? 6 : 1;
    uint32_t levels = 1, SrceX = 0, SrceY = 0;
    std::unique_ptr<BYTE[]> row;
    for (uint32_t level = 0; ok && level < levels; ++level)
        for (uint32_t face = 0; ok && face < faces; ++face) {
            uint32_t XimX = 0, XimY = 0, XBlockLength = 0, XBlocks = 0;
            ok = file.ReadLong(&XimX) && file.ReadLong(&XimY) && file.ReadLong(&XBlockLength) && file.ReadLong(&XBlocks);
            if (!ok) break;
            if (level == 0 && face == 0) {
                // The size names the texture to make: nothing odd is taken from a damaged file, and
                // no texture is made for more than the file holds. The first level held is the one
                // the device made, smaller than the source where the device cannot hold that.
                uint32_t rowBytes = 0, rows = 0;
                ok = XimX == XimY && XimX >= 1 && XimX <= MAX_TGA_EDGE &&
                     levelShape(entry.Format->Format, DeviceEdge(XimX), DeviceEdge(XimX), rowBytes, rows) &&
                     XBlockLength == rowBytes &&
                     XBlocks == rows && uint64_t{rowBytes} * rows * faces <= file.GetSize() - file.GetPosition();
                if (!ok) break;
                SrceX = XimX;
                SrceY = XimY;
                disk.SizeX = XimX;
                disk.SizeY = XimY;
                disk.BitDepth = 32;
                ok = CreateTexture(&entry);
                if (!ok) break;
                levels = entry.ITexture->GetLevelCount();
            }
            ok = XimX == SrceX && XimY == SrceY;
            SurfacePtr surface = ok ? levelSurface(entry, level, face) : SurfacePtr();
            D3DSURFACE_DESC desc{};
            uint32_t rowBytes = 0, rows = 0;
            ok = surface && SUCCEEDED(surface->GetDesc(&desc)) && levelShape(desc.Format, desc.Width, desc.Height, rowBytes, rows) &&
                 XBlockLength == rowBytes && XBlocks == rows;
            D3DLOCKED_RECT locked{};
            ok = ok && SUCCEEDED(surface->LockRect(&locked, nullptr, 0));
            if (!ok) break;
            for (uint32_t r = 0; ok && r < rows; ++r) {
                uint32_t BytesRead = 0;
                file.Read(static_cast<BYTE*>(locked.pBits) + size_t(r) * locked.Pitch, rowBytes, &BytesRead);
                ok = BytesRead == rowBytes;
            }
            surface->UnlockRect();
        }
    if (ok && entry.Format->Format == D3DFMT_P8) {
        PALETTEENTRY palette[256];
        uint32_t BytesRead = 0;
        file.Read(palette, sizeof(palette), &BytesRead);
        ok = BytesRead == 256 * 4;
        if (ok) SetTexturePalette(handle, palette);
    }
    if (!ok) {
        reportXim(disk.Name);
        DXReleaseInterface(entry.ITexture);
        return CACHE_DAMAGED;
    }
    markDirty(entry);
    entry.Loaded = 1;
    return CACHE_LOADED;
}

bool TextureTable::LoadFromLevelFiles(HWTexture& entry, DiskTexture& disk)
{
    const TextureHandle handle = static_cast<TextureHandle>(&entry - HWTextures);
    const bool compressed = entry.Format->SpecialLayout != 0;
    const uint32_t faces = entry.IsCube ? 6 : 1;
    uint32_t levels = 1, skipped = 0, firstX = 0, firstY = 0, lastDepth = 0;
    for (uint32_t index = 0; index < levels + skipped; ++index)
        for (uint32_t face = 0; face < faces; ++face) {
            // Levels above what the device holds are only looked at for the size of the first.
            if (index != 0 && index < skipped) continue;
            char name[MIP_NAME_SIZE], faced[MIP_NAME_SIZE];
            BuildMipFileName(disk.Name, index, entry.MipSource, name, entry.Format->Format);
            // The first level is the source: under the name the data writes it is found also in a
            // folder that may be entered but not listed.
            if (index == 0 && strcasecmp(name, disk.Name) == 0) std::snprintf(name, sizeof name, "%s", disk.Name);
            if (entry.IsCube && !faceName(name, index, face, faced)) return false;
            const char* file = entry.IsCube ? faced : name;
            // Generated levels are the loader's own: a set with one gone is made again, not fatal.
            if (entry.MipSource == MGT_GENERATED && index != 0 && !FileReadable(file)) return false;
            // Each level file is a read of its own, its size checked in it.
            ReadingFile level(file);
            TGAImage image;
            if (!LoadTGA(file, image, entry.IgnoreAlpha != 0)) return false;
            if (index == 0 && face == 0) {
                firstX = image.SizeX;
                firstY = image.SizeY;
                disk.SizeX = image.SizeX;
                disk.SizeY = image.SizeY;
                disk.BitDepth = image.BitDepth;
                if (!CreateTexture(&entry)) return false;
                levels = entry.ITexture->GetLevelCount();
                // Levels the device cannot hold are passed over, as when levels are calculated.
                D3DSURFACE_DESC top{};
                if (SurfacePtr s = levelSurface(entry, 0, 0)) s->GetDesc(&top);
                while (top.Width && (firstX >> skipped) > top.Width) ++skipped;
                if (entry.Format->Format == D3DFMT_P8 && image.BitDepth == 8) SetTexturePalette(handle, image.Palette);
            } else if (image.BitDepth != lastDepth) {
                char text[MIP_NAME_SIZE + 64];
                std::snprintf(text, sizeof(text), "Warning: %s has wrong bit-depth", file);
                if (loadingText) loadingText(text);
            }
            lastDepth = image.BitDepth;
            const uint32_t SizeX = firstX >> index ? firstX >> index : 1, SizeY = firstY >> index ? firstY >> index : 1;
            if (image.SizeX != SizeX || image.SizeY != SizeY) {
                const bool first = noteFileFailure(file);
                if (first && compressed)
                    assertFailedMsg(concatStrings("Mip-map size mismatch\nFile:", file, D3DCore::GetMaterialContext(),
                                                  D3DCore::GetModelContext(), "\nDelete these mip-maps and try again"),
                                    "ActSizeX == SizeX && ActSizeY == SizeY", __FILE__, __LINE__);
                else if (first)
                    assertFailedMsg(concatStrings("Mip-map size mis-match for ", file), "ActSizeX == SizeX", __FILE__,
                                    __LINE__);
                return false;
            }
            if (index < skipped) continue;
            if (!fillLevel(entry, index - skipped, face, image, image.SizeX, image.SizeY, image.Pixels.get()))
                return false;
        }
    return true;
}

bool TextureTable::CalculateLevels(HWTexture& entry, DiskTexture& disk, const FILETIME* sourceTime)
{
    const TextureHandle handle = static_cast<TextureHandle>(&entry - HWTextures);
    const uint32_t faces = entry.IsCube ? 6 : 1;
    uint32_t SrceX = 0, SrceY = 0, halvings = 0, levels = 1;
    for (uint32_t face = 0; face < faces; ++face) {
        char name[MIP_NAME_SIZE];
        if (entry.IsCube) {
            if (!std::strstr(disk.Name, "_up.")) {
                assertFailedMsg(concatStrings("Can't Load ", disk.Name, "\nas a cubemap. Invalid filename"),
                                "strstr(Buffer, \"_up.\") != NULL", __FILE__, __LINE__);
                return false;
            }
            if (!faceName(disk.Name, 0, face, name)) return false;
        } else {
            std::snprintf(name, sizeof(name), "%s", disk.Name);
        }
        ReadingFile source(name);
        TGAImage image;
        if (!LoadTGA(name, image, entry.IgnoreAlpha != 0)) return false;
        if (face == 0) {
            SrceX = image.SizeX;
            SrceY = image.SizeY;
            disk.SizeX = SrceX;
            disk.SizeY = SrceY;
            disk.BitDepth = image.BitDepth;
            if (!CreateTexture(&entry)) return false;
            levels = entry.ITexture->GetLevelCount();
            const uint32_t topEdge = DeviceEdge(SrceX);
            while ((SrceX >> halvings) > topEdge) ++halvings;
            if (entry.Format->Format == D3DFMT_P8 && image.BitDepth == 8) SetTexturePalette(handle, image.Palette);
        } else if (image.SizeX != SrceX || image.SizeY != SrceY) {
            // Faces of another size would not fill their levels: refused.
            assertFailedMsg(name, "ActSizeX == SrceX && ActSizeY == SrceY", __FILE__, __LINE__);
            return false;
        }
        const bool indexed = image.BitDepth == 8;
        for (uint32_t level = 0; level < levels; ++level) {
            const uint32_t shift = level + halvings;
            const uint32_t width = SrceX >> shift ? SrceX >> shift : 1;
            // A non-square source keeps its shape in every level.
            const uint32_t height = SrceY >> shift ? SrceY >> shift : 1;
            const BYTE* pixels = image.Pixels.get();
            std::unique_ptr<BYTE[]> scaled;
            if (width != SrceX) {
                scaled.reset(new BYTE[size_t(width) * height * (indexed ? 1 : 4)]);
                if (indexed) scaleIndices(pixels, scaled.get(), SrceX, SrceY, width, height);
                else ScaleImage(pixels, scaled.get(), SrceX, SrceY, width, height);
                pixels = scaled.get();
                char levelName[MIP_NAME_SIZE], faced[MIP_NAME_SIZE];
                BuildMipFileName(disk.Name, shift, MGT_GENERATED, levelName, entry.Format->Format);
                const char* file = levelName;
                if (entry.IsCube) file = faceName(levelName, shift, face, faced) ? faced : nullptr;
                if (file)
                    WriteTGA(file, pixels, width, height, image.BitDepth, indexed ? image.Palette : nullptr, sourceTime);
            }
            if (!fillLevel(entry, level, face, image, width, height, pixels)) return false;
        }
    }
    return true;
}

void TextureTable::SaveCache(HWTexture& entry, DiskTexture& disk, const FILETIME* sourceTime)
{
    // A write, about no file being read: what fails here is said whatever the source has said.
    ReportApart apart;
    char SaveName[MIP_NAME_SIZE];
    BuildMipFileName(disk.Name, 0, MGT_CACHE, SaveName, entry.Format->Format);
    if (!VERIFY(std::strlen(disk.Name) == std::strlen(SaveName))) return;
    const D3DFORMAT format = entry.Format->Format;
    const uint32_t faces = entry.IsCube ? 6 : 1;
    if (!VERIFY(disk.SizeX != 0) || !entry.ITexture) return;
    // The run log's trim may name its copy alike in the same folder.
    TemporaryFileLock lock;
    char temporary[MIP_NAME_SIZE];
    TemporaryTextureName(SaveName, temporary);
    CFile file;
    if (!file.Open(temporary, FILE_MODE_WRITE | FILE_MODE_TEMPORARY)) {
        ReportTextureWriteFailure(SaveName, file.LastError(), temporary, "FileOK");
        return;
    }
    bool ok = file.WriteLong(XIM_MAGIC) && file.WriteLong(format) && file.WriteLong(ximKind(format));
    bool said = false;  // a failure that is not the file's has been reported
    const uint32_t levels = entry.ITexture->GetLevelCount();
    for (uint32_t level = 0; ok && level < levels; ++level)
        for (uint32_t face = 0; ok && face < faces; ++face) {
            SurfacePtr surface = levelSurface(entry, level, face);
            D3DSURFACE_DESC desc{};
            uint32_t rowBytes = 0, rows = 0;
            if (!surface || FAILED(surface->GetDesc(&desc)) ||
                !levelShape(desc.Format, desc.Width, desc.Height, rowBytes, rows)) {
                assertFailedMsg("Can't save xim file: texture format unexpected", "false", __FILE__, __LINE__);
                ok = false;
                said = true;
                break;
            }
            D3DLOCKED_RECT locked{};
            if (FAILED(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK | D3DLOCK_NO_DIRTY_UPDATE))) {
                ok = false;
                break;
            }
            ok = file.WriteLong(disk.SizeX) && file.WriteLong(disk.SizeX) && file.WriteLong(rowBytes) &&
                 file.WriteLong(rows);
            for (uint32_t r = 0; ok && r < rows; ++r)
                ok = file.Write(static_cast<const BYTE*>(locked.pBits) + size_t(r) * locked.Pitch, rowBytes);
            surface->UnlockRect();
        }
    if (ok && format == D3DFMT_P8)
        ok = entry.Palette >= 0 && file.Write(::D3DCore.Palettes[entry.Palette], 256 * 4);
    // The source's time goes on through the handle still open: by name it could be another file.
    if (ok && sourceTime) ok = file.SetLastWriteTime(sourceTime);
    // Set only by a call that failed: a level that could not be locked leaves it clear.
    DWORD error = file.LastError();
    file.Close();
    if (ok && !CommitTextureFile(temporary, SaveName, &error)) ok = false;
    if (!ok) {
        if (!said) ReportTextureWriteFailure(SaveName, error, temporary, "Written == BlockLength");
        DeleteFileA(temporary);
        return;
    }
    std::memcpy(disk.Name, SaveName, std::strlen(SaveName));
}
