// Stand-ins until the texture and shader tables are built: a disk-texture name table, no hardware
// textures and no shaders.
#include "d3dcore9/TableSeams.h"

#include <strings.h>

#include <string>

namespace sbseam {

namespace {

struct DiskName {
    std::string Name;
    DWORD RefCount = 0;
};
DiskName names[512];

}  // namespace

bool AddDiskTexture(const char* name, DWORD* handle)
{
    DWORD free = 512;
    for (DWORD i = 0; i < 512; ++i) {
        if (names[i].RefCount && strcasecmp(names[i].Name.c_str(), name) == 0) {
            ++names[i].RefCount;
            *handle = i;
            return true;
        }
        if (!names[i].RefCount && free == 512) free = i;
    }
    if (free == 512) return false;
    names[free].Name = name;
    names[free].RefCount = 1;
    *handle = free;
    return true;
}

const char* DiskTextureName(DWORD handle) { return handle < 512 && names[handle].RefCount ? names[handle].Name.c_str() : nullptr; }

void ReleaseDiskTexture(DWORD handle)
{
    if (handle < 512 && names[handle].RefCount) --names[handle].RefCount;
}

void ReleaseHWTexture(DWORD) {}
IDirect3DBaseTexture9* HWTexture(DWORD) { return nullptr; }
int32_t HWTexturePalette(DWORD) { return -1; }
IDirect3DVertexShader9* VertexShader(DWORD) { return nullptr; }
IDirect3DVertexDeclaration9* VertexDeclaration(DWORD) { return nullptr; }
IDirect3DPixelShader9* PixelShader(DWORD) { return nullptr; }
void ReleaseVertexShader(DWORD) {}
void ReleasePixelShader(DWORD) {}

}  // namespace sbseam
