// Stand-ins until the texture tables are built: a disk-texture name table and no hardware textures.
// Shaders are the slots of D3DCore's shader tables.
#include "d3dcore9/TableSeams.h"

#include "d3dcore9/D3DCore.h"

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
IDirect3DVertexShader9* VertexShader(DWORD index)
{
    return index < static_cast<DWORD>(MAXVERTEXSHADERS) ? D3DCore.VShaderTable.VShaderPtr[index] : nullptr;
}

IDirect3DVertexDeclaration9* VertexDeclaration(DWORD index)
{
    return index < static_cast<DWORD>(MAXVERTEXSHADERS) ? D3DCore.VShaderTable.VShaderDec[index] : nullptr;
}

IDirect3DPixelShader9* PixelShader(DWORD index)
{
    return index < static_cast<DWORD>(MAXPIXELSHADERS) ? D3DCore.PShaderTable.PShaderPtr[index] : nullptr;
}

void ReleaseVertexShader(DWORD index)
{
    if (index < static_cast<DWORD>(MAXVERTEXSHADERS) && D3DCore.VShaderTable.RefCount[index] > 0)
        D3DCore.ReleaseVertexShader(D3DCore.VShaderTable.VShaderPtr[index]);
}

void ReleasePixelShader(DWORD index)
{
    if (index < static_cast<DWORD>(MAXPIXELSHADERS) && D3DCore.PShaderTable.RefCount[index] > 0)
        D3DCore.ReleasePixelShader(D3DCore.PShaderTable.PShaderPtr[index]);
}

}  // namespace sbseam
