#include "d3dcore9/Screenshot.h"

#include "d3dcore9/D3DCore.h"
#include "utility/Assert.h"
#include "utility/TemporaryFile.h"
#include "winfile/File.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const UINT CAPTURE_SIZE = 2048;

IDirect3DTexture9* pfrontBuffer = nullptr;
IDirect3DSurface9* psurface = nullptr;

#pragma pack(push, 1)
struct TGAHeader {
    BYTE IdLength;
    BYTE ColourMapType;
    BYTE ImageType;
    BYTE ColourMap[5];
    WORD XOrigin;
    WORD YOrigin;
    WORD Width;
    WORD Height;
    BYTE BitsPerPixel;
    BYTE Descriptor;
};
#pragma pack(pop)
static_assert(sizeof(TGAHeader) == 18);

}  // namespace

bool createScreenshotSurface()
{
    IDirect3DDevice9* device = DXInterface.ID3DDevice;
    if (!device) return false;
    if (FAILED(device->CreateTexture(CAPTURE_SIZE, CAPTURE_SIZE, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &pfrontBuffer,
                                     nullptr)))
        pfrontBuffer = nullptr;
    if (!pfrontBuffer) return false;
    if (FAILED(pfrontBuffer->GetSurfaceLevel(0, &psurface))) psurface = nullptr;
    return psurface != nullptr;
}

void releaseScreenshotSurface()
{
    ASSERT(psurface);
    ASSERT(pfrontBuffer);
    if (psurface) psurface->Release();
    if (pfrontBuffer) pfrontBuffer->Release();
    psurface = nullptr;
    pfrontBuffer = nullptr;
}

HRESULT takeScreenshot(std::string* cause)
{
    ASSERT(psurface);
    ASSERT(pfrontBuffer);
    IDirect3DDevice9* device = DXInterface.ID3DDevice;
    if (!psurface || !pfrontBuffer || !device) return D3DERR_INVALIDCALL;
    UINT width, height;
    if (!D3DCore.FullScreen) {
        // The render core keeps the window's client area at the screen size.
        width = D3DCore.GetScreenWidth();
        height = D3DCore.GetScreenHeight();
    } else {
        D3DDISPLAYMODE mode{};
        HRESULT hr = device->GetDisplayMode(0, &mode);
        if (FAILED(hr)) return hr;
        width = mode.Width;
        height = mode.Height;
    }
    HRESULT hr = device->GetFrontBufferData(0, psurface);
    if (FAILED(hr)) return hr;
    char name[MAX_PATH];
    for (UINT number = 0;; ++number) {
        std::snprintf(name, sizeof(name), "Veldrane_%05u.tga", number);
        if (GetFileAttributesA(name) == INVALID_FILE_ATTRIBUTES) break;
        if (number == 0xFFFFFFFFu) return E_FAIL;
    }
    return writeSurfaceTGA(device, name, width, height, psurface, cause);
}

HRESULT writeSurfaceTGA(IDirect3DDevice9*, const char* name, UINT width, UINT height, IDirect3DSurface9* surface,
                        std::string* cause)
{
    if (!surface || !name) return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC desc{};
    HRESULT hr = surface->GetDesc(&desc);
    if (FAILED(hr)) return hr;
    if (width > desc.Width) width = desc.Width;
    if (height > desc.Height) height = desc.Height;
    D3DLOCKED_RECT locked{};
    hr = surface->LockRect(&locked, nullptr, D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK | D3DLOCK_NO_DIRTY_UPDATE);
    if (FAILED(hr)) return hr;
    // Checked before the file exists, so a refused surface leaves no truncated file behind.
    if (desc.Format != D3DFMT_A8R8G8B8) {
        surface->UnlockRect();
        return D3DERR_INVALIDCALL;
    }
    // Written under the process's temporary name beside the shot and moved into place once whole:
    // a full disk leaves no part file to be taken for a screenshot or to hold its number.
    TemporaryFileLock lock;
    std::string temporary(std::strlen(name) + 16, '\0');
    temporaryFileName(name, temporary.data(), temporary.size());
    CFile file;
    if (!file.Open(temporary.c_str(), FILE_MODE_WRITE | FILE_MODE_TEMPORARY)) {
        if (cause) *cause = writeFailureCause(file.LastError(), temporary.c_str());
        surface->UnlockRect();
        return E_FAIL;
    }
    TGAHeader header{};
    header.ImageType = 2;
    header.Width = static_cast<WORD>(width);
    header.Height = static_cast<WORD>(height);
    header.BitsPerPixel = 32;
    header.Descriptor = 0x20;
    bool written = file.Write(&header, sizeof(header));
    const BYTE* row = static_cast<const BYTE*>(locked.pBits);
    for (UINT y = 0; y < height && written; ++y, row += locked.Pitch) written = file.Write(row, width * 4);
    DWORD error = file.LastError();
    file.Close();
    surface->UnlockRect();
    if (written && !MoveFileExA(temporary.c_str(), name, MOVEFILE_REPLACE_EXISTING)) {
        written = false;
        error = GetLastError();
    }
    if (!written) {
        if (cause) *cause = writeFailureCause(error, temporary.c_str(), name);
        DeleteFileA(temporary.c_str());
        return E_FAIL;
    }
    return hr;
}
