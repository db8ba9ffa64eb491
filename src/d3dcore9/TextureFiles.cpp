#include "d3dcore9/TextureFiles.h"

#include "d3dcore9/D3DCore.h"
#include "d3dcore9/DXWrappers.h"
#include "d3dcore9/LogWriter.h"
#include "d3dcore9/TextureTable.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"
#include "utility/TemporaryFile.h"
#include "winfile/File.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <new>
#include <set>
#include <string>
#include <strings.h>

namespace {

void lowerCopy(const char* in, char* out, size_t size)
{
    size_t i = 0;
    for (; in[i] && i + 1 < size; ++i) out[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(in[i])));
    out[i] = 0;
}

// A check on a file's contents: the report names the file, once a run however many textures read it.
bool checkFile(bool ok, const char* name, const char* expression, int line)
{
    if (!ok && noteFileFailure(name)) assertFailedMsg(name, expression, __FILE__, line);
    return ok;
}
#define CHECK_FILE(cond, name) checkFile((cond), (name), #cond, __LINE__)

// A folder that no texture can be written to is said once rather than until the run log ends
// the run.
bool writeFailureReported = false;
// Folders written to this run, whose leftovers are gone.
std::set<std::string> sweptFolders;

// "~<process>.tmp": one to eight hex digits of the process id.
bool temporaryOf(const char* name, DWORD* process)
{
    const size_t length = std::strlen(name);
    if (length < 6 || length > 13 || name[0] != '~' || strcasecmp(name + length - 4, ".tmp") != 0) return false;
    for (size_t i = 1; i < length - 4; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return false;
    *process = static_cast<DWORD>(std::strtoul(name + 1, nullptr, 16));
    return true;
}

// Removes what writes stopped half-way (a killed run) left in the folder: temporary files of
// processes that no longer run. A running copy's file is a write in progress and stays.
void removeLeftovers(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "~*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        DWORD process = 0;
        if (!temporaryOf(found.cFileName, &process) || process == GetCurrentProcessId()) continue;
        if (HANDLE running = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process)) {
            CloseHandle(running);
            continue;
        }
        DeleteFileA((folder + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

}  // namespace

void TemporaryTextureName(const char* name, char* out)
{
    temporaryFileName(name, out, MIP_NAME_SIZE);
    const size_t folder = folderLength(name);
    std::string key(name, folder);
    for (char& c : key) c = c == '/' ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (sweptFolders.insert(key).second) removeLeftovers(std::string(name, folder));
}

bool CommitTextureFile(const char* temporary, const char* name, DWORD* error)
{
    if (!MoveFileExA(temporary, name, MOVEFILE_REPLACE_EXISTING)) {
        if (error) *error = GetLastError();
        DeleteFileA(temporary);
        return false;
    }
    return true;
}

void ReportTextureWriteFailure(const char* name, DWORD error, const char* temporary, const char* expression)
{
    // A failed write is about no file being read: it is said whatever that file has said, and
    // the flag is set only by the report it stands for.
    ReportApart apart;
    if (writeFailureReported) return;
    writeFailureReported = true;
    std::string text = std::string("Failed to write to <") + name + ">";
    if (error != ERROR_SUCCESS) text += std::string("\n") + writeFailureCause(error, temporary, name);
    assertFailedMsg(text.c_str(), expression, __FILE__, __LINE__);
}

void ReportMissingTexture(const char* name, DWORD error)
{
    if (!noteFileFailure(name)) return;
    ReadingFile reading(name);
    // A file there that the user may not read wants its rights mended, not the file restored.
    const std::string file = openFailureText(name, error, concatStrings("Missing File:", name));
    assertFailedMsg(concatStrings(file.c_str(), D3DCore::GetMaterialContext(), D3DCore::GetModelContext()),
                    "CBaseFile::FileExists(DiskTexture)", __FILE__, __LINE__);
}

void ResetTextureReports()
{
    writeFailureReported = false;
    sweptFolders.clear();
    resetRunLogCount();
}

uint32_t LoadTGA(const char* Name, TGAImage& image, bool IgnoreAlpha)
{
    char name[MIP_NAME_SIZE];
    lowerCopy(Name, name, sizeof(name));
    ReadingFile reading(name);
    CFile file;
    // The lower-cased name is looked for by listing its folder: in one that may be entered but not
    // listed, only the name as written is found.
    if (!file.Open(name, FILE_MODE_READ | FILE_MODE_BUFFERED) &&
        (std::strcmp(name, Name) == 0 || !file.Open(Name, FILE_MODE_READ | FILE_MODE_BUFFERED))) {
        // The report that ends the run: written whatever this read has said already.
        ReportApart apart;
        const std::string text = openFailureText(name, file.LastError(), concatStrings("Can't open file ", name));
        assertFailedMsg(text.c_str(), "OK", __FILE__, __LINE__);
        stopRun(concatStrings("as ", name, " cannot be opened"), false);
    }
    TGAHeader h{};
    uint32_t BytesRead = 0;
    file.Read(&h, sizeof(h), &BytesRead);
    if (!CHECK_FILE(BytesRead == sizeof(TGAHeader), name)) return 0;
    const uint32_t interleave = h.Descriptor >> 6;
    if (h.ImageType != 1 && h.ImageType != 2) {
        // Compressed and other kinds would read as noise: refused.
        if (noteFileFailure(name))
            assertFailedMsg(concatStrings("Non-supported TGA format\n", name),
                            "TGAHeader.ImageType == 1 || TGAHeader.ImageType == 2", __FILE__, __LINE__);
        return 0;
    }
    const bool mapped = h.ImageType == 1;
    bool ok = CHECK_FILE(h.IdentificationChars == 0, name) && CHECK_FILE(interleave == 0, name);
    if (mapped)
        ok = ok && CHECK_FILE(h.ColourMapType == 1, name) && CHECK_FILE(h.BitDepth == 8, name);
    else
        ok = ok && CHECK_FILE(h.ColourMapType == 0, name) &&
             CHECK_FILE(h.BitDepth == 24 || h.BitDepth == 32, name);
    ok = ok && CHECK_FILE(h.Width >= 1 && h.Width <= MAX_TGA_EDGE, name) &&
         CHECK_FILE(h.Height >= 1 && h.Height <= MAX_TGA_EDGE, name);
    if (!ok) return 0;

    const uint32_t width = h.Width, height = h.Height;
    const uint32_t fileBytes = h.BitDepth / 8;
    const uint64_t needed = sizeof(TGAHeader) + (mapped ? 768u : 0u) + uint64_t(width) * height * fileBytes;
    // A short file is refused before memory is given for what it claims to hold.
    if (!CHECK_FILE(file.GetSize() >= needed, name)) return 0;

    if (mapped) {
        BYTE map[768];
        file.Read(map, sizeof(map), &BytesRead);
        if (!CHECK_FILE(BytesRead == 768, name)) return 0;
        for (int i = 0; i < 256; ++i)
            image.Palette[i] = PALETTEENTRY{map[i * 3 + 2], map[i * 3 + 1], map[i * 3], 255};
    }
    const uint32_t pixelBytes = mapped ? 1 : 4;
    std::unique_ptr<BYTE[]> pixels(new (std::nothrow) BYTE[size_t(width) * height * pixelBytes]);
    if (!VERIFY_MSG(pixels != NULL, name)) return 0;
    const bool topFirst = (h.Descriptor & 0x20) != 0;
    const uint32_t LineLen = width * fileBytes;
    std::unique_ptr<BYTE[]> line(new BYTE[LineLen]);
    for (uint32_t row = 0; row < height; ++row) {
        BYTE* out = pixels.get() + size_t(topFirst ? row : height - 1 - row) * width * pixelBytes;
        file.Read(line.get(), LineLen, &BytesRead);
        if (!CHECK_FILE(BytesRead == LineLen, name)) return 0;
        if (fileBytes == 1) {
            std::memcpy(out, line.get(), width);
        } else if (fileBytes == 3) {
            for (uint32_t x = 0; x < width; ++x) {
                out[x * 4] = line[x * 3];
                out[x * 4 + 1] = line[x * 3 + 1];
                out[x * 4 + 2] = line[x * 3 + 2];
                out[x * 4 + 3] = 255;
            }
        } else {
            std::memcpy(out, line.get(), LineLen);
            if (IgnoreAlpha)
                for (uint32_t x = 0; x < width; ++x) out[x * 4 + 3] = 255;
        }
    }
    image.Pixels = std::move(pixels);
    image.SizeX = width;
    image.SizeY = height;
    image.BitDepth = h.BitDepth;
    return image.BitDepth;
}

uint32_t LoadTGA(const char* Name, IDirect3DSurface9** surface, TGAImage& image, bool IgnoreAlpha)
{
    *surface = nullptr;
    if (!LoadTGA(Name, image, IgnoreAlpha)) return 0;
    const bool mapped = image.BitDepth == 8;
    IDirect3DSurface9* s = nullptr;
    HRESULT Err = DXInterface.ID3DDevice
                      ? DXInterface.ID3DDevice->CreateOffscreenPlainSurface(
                            image.SizeX, image.SizeY, mapped ? D3DFMT_P8 : D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &s, nullptr)
                      : D3DERR_INVALIDCALL;
    D3DLOCKED_RECT locked{};
    if (SUCCEEDED(Err)) Err = s->LockRect(&locked, nullptr, 0);
    if (FAILED(Err)) {
        assertFailedMsg(concatStrings("Failed to load TGA\n", Name, "\nOut of memory ?"), "Err == D3D_OK", __FILE__,
                        __LINE__);
        DXReleaseInterface(s);
        return 0;
    }
    const uint32_t row = image.SizeX * (mapped ? 1 : 4);
    for (uint32_t y = 0; y < image.SizeY; ++y)
        std::memcpy(static_cast<BYTE*>(locked.pBits) + size_t(y) * locked.Pitch, image.Pixels.get() + size_t(y) * row,
                    row);
    s->UnlockRect();
    *surface = s;
    return image.BitDepth;
}

bool WriteTGA(const char* Name, const BYTE* pixels, uint32_t width, uint32_t height, uint32_t BitDepth,
              const PALETTEENTRY* palette, const FILETIME* time)
{
    const bool mapped = BitDepth == 8;
    if (!VERIFY(BitDepth == 24 || BitDepth == 32 || (mapped && palette != NULL))) return false;
    if (!VERIFY(width >= 1 && width <= 0xFFFF && height >= 1 && height <= 0xFFFF)) return false;
    TemporaryFileLock lock;
    char temporary[MIP_NAME_SIZE];
    TemporaryTextureName(Name, temporary);
    CFile file;
    if (!file.Open(temporary, FILE_MODE_WRITE | FILE_MODE_TEMPORARY)) {
        ReportTextureWriteFailure(Name, file.LastError(), temporary, "false");
        return false;
    }
    TGAHeader h{};
    h.ImageType = mapped ? 1 : 2;
    h.ColourMapType = mapped ? 1 : 0;
    if (mapped) {
        h.ColourMapSpec[2] = 0;  // 256 entries of 24 bits from entry 0
        h.ColourMapSpec[3] = 1;
        h.ColourMapSpec[4] = 24;
    }
    h.Width = static_cast<WORD>(width);
    h.Height = static_cast<WORD>(height);
    h.BitDepth = static_cast<BYTE>(BitDepth);
    h.Descriptor = BitDepth == 32 ? 8 : 0;
    bool ok = file.Write(&h, sizeof(h));
    if (mapped) {
        BYTE map[768];
        for (int i = 0; i < 256; ++i) {
            map[i * 3] = palette[i].peBlue;
            map[i * 3 + 1] = palette[i].peGreen;
            map[i * 3 + 2] = palette[i].peRed;
        }
        ok = ok && file.Write(map, sizeof(map));
    }
    const uint32_t outBytes = BitDepth / 8, inBytes = mapped ? 1 : 4;
    std::unique_ptr<BYTE[]> line(new BYTE[size_t(width) * outBytes]);
    for (uint32_t row = height; ok && row-- > 0;) {
        const BYTE* in = pixels + size_t(row) * width * inBytes;
        for (uint32_t x = 0; x < width; ++x)
            std::memcpy(&line[size_t(x) * outBytes], in + size_t(x) * inBytes, outBytes);
        ok = file.Write(line.get(), width * outBytes);
    }
    DWORD error = file.LastError();
    // The time goes on through the handle still open: the name could be another file by now.
    if (ok && time && !file.SetLastWriteTime(time)) {
        ok = false;
        error = file.LastError();
    }
    file.Close();
    if (ok && !CommitTextureFile(temporary, Name, &error)) ok = false;
    if (!ok) {
        ReportTextureWriteFailure(Name, error, temporary, "false");
        DeleteFileA(temporary);
        return false;
    }
    return true;
}

bool GetTextureFileTime(const char* Name, FILETIME* time)
{
    CFile file;
    if (!file.Open(Name, FILE_MODE_READ)) return false;
    return file.GetLastWriteTime(time);
}

bool SetTextureFileTime(const char* Name, const FILETIME* time)
{
    CFile file;
    // Opened for appending so that the contents stay as they are.
    if (!file.Open(Name, FILE_MODE_WRITE | FILE_MODE_APPEND)) return false;
    return file.SetLastWriteTime(time);
}

void BuildMipFileName(const char* source, uint32_t index, uint32_t type, char* out, D3DFORMAT format)
{
    char buffer[MIP_NAME_SIZE];
    std::snprintf(buffer, sizeof(buffer), "%s", source);
    const size_t length = std::strlen(buffer);
    if (index == 0) {
        if (length >= 4 && type == MGT_CACHE) std::memcpy(buffer + length - 4, ".xim", 4);
        else if (length >= 4 && format == D3DFMT_P8) std::memcpy(buffer + length - 4, ".tga", 4);
        lowerCopy(buffer, out, MIP_NAME_SIZE);
        return;
    }
    ASSERT(type != MGT_NONE);
    char folder[MIP_NAME_SIZE], base[MIP_NAME_SIZE];
    const char* slash = std::strrchr(buffer, '\\');
    std::snprintf(base, sizeof(base), "%s", slash ? slash + 1 : buffer);
    if (char* dot = std::strrchr(base, '.')) *dot = 0;
    if (slash) {
        std::snprintf(folder, sizeof(folder), "%.*s", static_cast<int>(slash - buffer), buffer);
    } else {
        std::snprintf(folder, sizeof(folder), "%s", base);
    }
    const char* pattern = type == MGT_HANDMADE ? "%s\\mipmaps\\%s_m%02u.tga"
                          : type == MGT_GENERATED ? "%s\\mipmaps\\%s_g%02u.tga"
                          : type == MGT_CACHE     ? "%s\\mipmaps\\%s_x%02u.xim"
                                                  : nullptr;
    if (pattern) std::snprintf(out, MIP_NAME_SIZE, pattern, folder, base, index);
    lowerCopy(out, out, MIP_NAME_SIZE);
}

void ChooseTextureFile(const char* Name, char* out, D3DFORMAT format)
{
    char cache[MIP_NAME_SIZE];
    BuildMipFileName(Name, 0, MGT_CACHE, cache, format);
    std::snprintf(out, MIP_NAME_SIZE, "%s", Name);
    if (!FileReadable(cache)) return;
    FILETIME cacheTime{}, sourceTime{};
    // A source there that cannot be read is said so; its cache stands in, as for a missing one.
    if (!FileReadable(Name)) {
        std::snprintf(out, MIP_NAME_SIZE, "%s", cache);
        return;
    }
    // A cache is current only while it carries its source's time exactly.
    if (GetTextureFileTime(cache, &cacheTime) && GetTextureFileTime(Name, &sourceTime) &&
        cacheTime.dwLowDateTime == sourceTime.dwLowDateTime && cacheTime.dwHighDateTime == sourceTime.dwHighDateTime)
        std::snprintf(out, MIP_NAME_SIZE, "%s", cache);
}

void ScaleImage(const BYTE* source, BYTE* dest, uint32_t srcWidth, uint32_t srcHeight, uint32_t destWidth,
                uint32_t destHeight)
{
    if (!srcWidth || !srcHeight || !destWidth || !destHeight) return;
    const double ratio = (double(srcWidth) * srcHeight) / (double(destWidth) * destHeight);
    const double stepX = double(srcWidth) / destWidth, stepY = double(srcHeight) / destHeight;
    for (uint32_t y = 0; y < destHeight; ++y) {
        const double y0 = y * stepY, y1 = (y + 1) * stepY;
        for (uint32_t x = 0; x < destWidth; ++x) {
            const double x0 = x * stepX, x1 = (x + 1) * stepX;
            double sum[4] = {0, 0, 0, 0};
            for (uint32_t sy = uint32_t(y0); sy < srcHeight && sy < y1; ++sy) {
                const double wy = std::min<double>(sy + 1, y1) - std::max<double>(sy, y0);
                for (uint32_t sx = uint32_t(x0); sx < srcWidth && sx < x1; ++sx) {
                    const double w = wy * (std::min<double>(sx + 1, x1) - std::max<double>(sx, x0));
                    if (w < 1e-8) continue;
                    const BYTE* p = source + (size_t(sy) * srcWidth + sx) * 4;
                    for (int c = 0; c < 4; ++c) sum[c] += p[c] * w;
                }
            }
            BYTE* out = dest + (size_t(y) * destWidth + x) * 4;
            for (int c = 0; c < 4; ++c) out[c] = static_cast<BYTE>(std::min(sum[c] / ratio, 255.0));
        }
    }
}

bool CopyToSurface(const BYTE* pixels, uint32_t width, uint32_t height, const Tex* format, IDirect3DSurface9* surface)
{
    if (!surface || !format || !pixels) return false;
    D3DSURFACE_DESC desc{};
    surface->GetDesc(&desc);
    D3DLOCKED_RECT locked{};
    HRESULT Err = surface->LockRect(&locked, nullptr, 0);
    if (FAILED(Err)) {
        DXErrorReport(Err);
        return false;
    }
    const uint32_t w = std::min(width, desc.Width), h = std::min(height, desc.Height);
    const bool palettised = format->Format == D3DFMT_P8;
    const uint32_t outBytes = format->BitsPerPixel / 8;
    for (uint32_t y = 0; y < h; ++y) {
        BYTE* out = static_cast<BYTE*>(locked.pBits) + size_t(y) * locked.Pitch;
        if (palettised) {
            std::memcpy(out, pixels + size_t(y) * width, w);
            continue;
        }
        const BYTE* in = pixels + size_t(y) * width * 4;
        for (uint32_t x = 0; x < w; ++x, in += 4, out += outBytes) {
            uint32_t alpha = in[3];
            if (format->AlphaBits != 8) alpha = std::min<uint32_t>(alpha + (1u << (7 - std::min(format->AlphaBits, 7))), 255);
            auto field = [](uint32_t value, int32_t bits, int32_t shift) -> uint32_t {
                return bits <= 0 ? 0 : (value >> (8 - std::min(bits, 8))) << shift;
            };
            const uint32_t value = field(in[0], format->BlueBits, format->BlueShift) +
                                   field(in[2], format->RedBits, format->RedShift) +
                                   field(in[1], format->GreenBits, format->GreenShift) +
                                   field(alpha, format->AlphaBits, format->AlphaShift);
            for (uint32_t b = 0; b < outBytes; ++b) out[b] = static_cast<BYTE>(value >> (8 * b));
        }
    }
    Err = surface->UnlockRect();
    if (FAILED(Err)) DXErrorReport(Err);
    return SUCCEEDED(Err);
}
