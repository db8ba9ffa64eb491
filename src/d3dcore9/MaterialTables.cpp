#include "d3dcore9/MaterialTables.h"

#include "d3dcore9/D3DCore.h"
#include "utility/Assert.h"

#include <strings.h>

namespace materialtables {

const char* DiskTextureName(DWORD handle)
{
    const DiskTexture* d = handle < MAXDISKTEXTURES ? D3DCore.TextureTables.GetDiskTexture(handle) : nullptr;
    return d ? d->Name : nullptr;
}

IDirect3DBaseTexture9* HWTexture(DWORD handle)
{
    const ::HWTexture* t = handle < MAXHWTEXTURES ? D3DCore.TextureTables.GetHWTexture(handle) : nullptr;
    return t ? t->ITexture : nullptr;
}

int32_t HWTexturePalette(DWORD handle)
{
    const ::HWTexture* t = handle < MAXHWTEXTURES ? D3DCore.TextureTables.GetHWTexture(handle) : nullptr;
    return t ? t->Palette : -1;
}

IDirect3DVertexShader9* VertexShader(DWORD slot)
{
    return slot < static_cast<DWORD>(MAXVERTEXSHADERS) ? D3DCore.VShaderTable.VShaderPtr[slot] : nullptr;
}

IDirect3DVertexDeclaration9* VertexDeclaration(DWORD slot)
{
    return slot < static_cast<DWORD>(MAXVERTEXSHADERS) ? D3DCore.VShaderTable.VShaderDec[slot] : nullptr;
}

IDirect3DPixelShader9* PixelShader(DWORD slot)
{
    return slot < static_cast<DWORD>(MAXPIXELSHADERS) ? D3DCore.PShaderTable.PShaderPtr[slot] : nullptr;
}

// A slot whose shader could not be made was reported, naming its file, when the file was read:
// there is nothing to release, and a refused release would only repeat that report.
void ReleaseVertexShader(DWORD slot)
{
    if (slot >= static_cast<DWORD>(MAXVERTEXSHADERS) || D3DCore.VShaderTable.RefCount[slot] <= 0) return;
    if (!D3DCore.VShaderTable.VShaderPtr[slot]) return;
    D3DCore.ReleaseVertexShader(D3DCore.VShaderTable.VShaderPtr[slot]);
}

void ReleasePixelShader(DWORD slot)
{
    if (slot >= static_cast<DWORD>(MAXPIXELSHADERS) || D3DCore.PShaderTable.RefCount[slot] <= 0) return;
    if (!D3DCore.PShaderTable.PShaderPtr[slot]) return;
    D3DCore.ReleasePixelShader(D3DCore.PShaderTable.PShaderPtr[slot]);
}

const char* TextureUser(const char* diskName, const char* requester)
{
    StateBlockTable& table = D3DCore.StateBlocks;
    for (DWORD i = table.FirstUsed; diskName && i <= table.LastUsed; ++i) {
        const StateBlock& sb = table.StateBlock[i];
        if (!sb.RefCount || !sb.GMaterial || !sb.GMaterial->Name) continue;
        if (requester && strcasecmp(sb.GMaterial->Name, requester) == 0) continue;
        for (DWORD t = 0; t < sb.TexNames; ++t) {
            const char* name = DiskTextureName(sb.DiskTexture[t]);
            if (name && strcasecmp(name, diskName) == 0) return sb.GMaterial->Name;
        }
    }
    return nullptr;
}

}  // namespace materialtables
