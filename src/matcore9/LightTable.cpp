#include "matcore9/LightTable.h"

#include "d3dcore9/D3DCore.h"
#include "d3dcore9/LogWriter.h"
#include "utility/Assert.h"

#include <algorithm>
#include <cstring>

namespace {

IDirect3DDevice9* device() { return DXInterface.ID3DDevice; }

D3DCOLORVALUE colour(const float c[3], float scale, float alpha)
{
    return D3DCOLORVALUE{c[0] * scale, c[1] * scale, c[2] * scale, alpha};
}

}  // namespace

LightTable::LightTable()
{
    std::memset(Used, 0, sizeof(Used));
    std::memset(Active, 0, sizeof(Active));
    std::memset(Lights, 0, sizeof(Lights));
    SetEmpty();
    ActiveLights = 0;
}

LightTable::~LightTable() { ASSERT(SlotsUsed == 0); }

void LightTable::SetEmpty()
{
    FirstUsed = MAXLIGHTS - 1;
    LastUsed = 0;
    FirstFree = 0;
    SlotsUsed = 0;
}

bool LightTable::Valid(uint32_t Handle) const
{
    return VERIFY(Handle < MAXLIGHTS) && VERIFY(Used[Handle]);
}

uint32_t LightTable::AllocLight()
{
    // A full table has no slot to give: the caller gets none rather than slot 128.
    if (!VERIFY(SlotsUsed < MAXLIGHTS) || !VERIFY(FirstFree < MAXLIGHTS)) return LIGHT_NONE;
    if (SlotsUsed == 0) ASSERT(FirstFree == 0);
    if (!VERIFY(Used[FirstFree] == false)) return LIGHT_NONE;
    const uint32_t Handle = FirstFree;
    Used[Handle] = true;
    if (++SlotsUsed == 1) {
        FirstFree = 1;
        FirstUsed = LastUsed = 0;
    } else {
        FirstUsed = std::min(FirstUsed, Handle);
        LastUsed = std::max(LastUsed, Handle);
    }
    while (FirstFree < MAXLIGHTS && Used[FirstFree]) ++FirstFree;
    return Handle;
}

void LightTable::FreeLight(uint32_t Handle)
{
    if (!Valid(Handle)) return;
    if (!VERIFY(!Active[Handle])) LightEnable(Handle, false);
    Used[Handle] = false;
    if (--SlotsUsed == 0) {
        SetEmpty();
        return;
    }
    FirstFree = std::min(FirstFree, Handle);
    if (FirstUsed == Handle) {
        while (FirstUsed < MAXLIGHTS && !Used[FirstUsed]) ++FirstUsed;
        ASSERT(FirstUsed < MAXLIGHTS);
    }
    if (LastUsed == Handle) {
        while (LastUsed > 0 && !Used[LastUsed]) --LastUsed;
        ASSERT(LastUsed < MAXLIGHTS);
    }
}

void LightTable::SetLight(uint32_t Handle, const LightDescription& d)
{
    if (!Valid(Handle)) return;
    D3DLIGHT9& light = Lights[Handle];
    std::memset(&light, 0, sizeof(light));
    light.Type = static_cast<D3DLIGHTTYPE>(d.Type);
    light.Diffuse = colour(d.Colour, 1.0f, 1.0f);
    light.Specular = colour(d.Colour, 0.5f, 0.0f);
    light.Ambient = colour(d.Ambient, 1.0f, 1.0f);
    light.Position = D3DVECTOR{d.Position[0], d.Position[1], d.Position[2]};
    light.Direction = D3DVECTOR{d.Direction[0], d.Direction[1], d.Direction[2]};
    light.Range = d.Range;
    light.Falloff = d.Falloff;
    light.Attenuation0 = d.Attenuation0;
    light.Attenuation1 = d.Attenuation1;
    light.Attenuation2 = d.Attenuation2;
    light.Theta = d.Theta;
    light.Phi = d.Phi;
    if (!device()) return;
    HRESULT Err = device()->SetLight(Handle, &light);
    if (FAILED(Err)) DXErrorReport(Err);
    ASSERT(Err == D3D_OK);
}

void LightTable::LightEnable(uint32_t Light, bool Enable)
{
    if (!Valid(Light) || !VERIFY(Active[Light] != Enable)) return;
    if (device()) {
        HRESULT Err = device()->LightEnable(Light, Enable ? TRUE : FALSE);
        ASSERT(Err == D3D_OK);
    }
    Active[Light] = Enable;
    if (Enable) {
        // Software vertex processing has no limit (-1).
        const int32_t limit = D3DCore.CurrentDevice ? D3DCore.CurrentDevice->MaxActiveLights : -1;
        if (limit >= 0 && static_cast<int32_t>(ActiveLights) >= limit)
            assertFailed("ActiveLights < D3DCore.CurrentDevice->MaxActiveLights", __FILE__, __LINE__);
        ++ActiveLights;
    } else {
        if (VERIFY(ActiveLights != 0)) --ActiveLights;
    }
}

bool LightTable::IsLightEnabled(uint32_t Handle) const { return Valid(Handle) && Active[Handle]; }

void LightTable::LoseLights()
{
    if (!device()) return;
    for (uint32_t i = 0; i < MAXLIGHTS; ++i)
        if (Used[i] && Active[i]) device()->LightEnable(i, FALSE);
}

void LightTable::RestoreLights()
{
    if (!device()) return;
    for (uint32_t i = 0; i < MAXLIGHTS; ++i) {
        if (!Used[i]) continue;
        HRESULT Err = device()->SetLight(i, &Lights[i]);
        ASSERT(Err == D3D_OK);
        if (Active[i]) device()->LightEnable(i, TRUE);
    }
}

uint32_t GetMaxLights() { return MAXLIGHTS; }

uint32_t GetMaxActiveLights()
{
    const DXDevice* dev = D3DCore.CurrentDevice ? D3DCore.CurrentDevice : D3DCore.pDevice;
    if (!dev) return 0;
    if (dev->MaxActiveLights < 0) return MAXLIGHTS;  // software vertex processing
    return std::min<uint32_t>(static_cast<uint32_t>(dev->MaxActiveLights), MAXLIGHTS);
}
