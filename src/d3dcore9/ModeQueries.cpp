// Questions about the enumerated modes, for the game's start-up and the front end's display options.
#include "d3dcore9/D3DCore.h"

#include "utility/Assert.h"

namespace {

DXDevice* findDevice(int32_t RAdapter, int32_t RDevice)
{
    if (!VERIFY(RAdapter >= 0 && RAdapter < DXSetup.Adapters.Objects)) return nullptr;
    DXAdapter* Adapter = DXSetup.Adapters[RAdapter];
    if (!VERIFY(RDevice >= 0 && RDevice < Adapter->Devices.Objects)) return nullptr;
    return Adapter->Devices[RDevice];
}

DXMode* findMode(int32_t RAdapter, int32_t RDevice, int32_t RMode)
{
    DXDevice* Device = findDevice(RAdapter, RDevice);
    if (!Device) return nullptr;
    if (!VERIFY(RMode >= 0 && RMode < Device->Modes.Objects)) return nullptr;
    return Device->Modes[RMode];
}

}  // namespace

int32_t D3DCore::GetNumModes(int32_t RAdapter, int32_t RDevice, bool limit) const
{
    DXDevice* Device = findDevice(RAdapter, RDevice);
    if (!Device) return 0;
    int32_t count = 0;
    for (DXMode* m = Device->Modes.First; m; m = m->Next)
        if (!limit || (m->Width <= 1600 && m->Height <= 1200)) ++count;
    return count;
}

void D3DCore::GetModeSize(int32_t RAdapter, int32_t RDevice, int32_t Index, uint32_t* width, uint32_t* height) const
{
    DXDevice* Device = findDevice(RAdapter, RDevice);
    if (!Device) return;
    if (Index < 0 || Index >= Device->Modes.Objects) {
        assertFailed("Index < Device->Modes.Objects", __FILE__, __LINE__);
        return;
    }
    DXMode* m = Device->Modes[Index];
    if (width) *width = m->Width;
    if (height) *height = m->Height;
}

int32_t D3DCore::FindMode(int32_t RAdapter, int32_t RDevice, uint32_t width, uint32_t height) const
{
    DXDevice* Device = findDevice(RAdapter, RDevice);
    if (!Device) return -1;
    if (!VERIFY(Device->Modes.Objects != 0)) return -1;
    int32_t smaller = -1, larger = -1;
    DWORD smallerW = 0, smallerH = 0, largerW = 10000, largerH = 10000;
    int32_t index = 0;
    for (DXMode* m = Device->Modes.First; m; m = m->Next, ++index) {
        if (m->Width == width && m->Height == height) return index;
        if (m->Width <= width && m->Height <= height && m->Width > smallerW && m->Height > smallerH) {
            smaller = index;
            smallerW = m->Width;
            smallerH = m->Height;
        }
        if (m->Width >= width && m->Height >= height && m->Width < largerW && m->Height < largerH) {
            larger = index;
            largerW = m->Width;
            largerH = m->Height;
        }
    }
    if (smaller >= 0) return smaller;
    if (larger >= 0) return larger;
    return 0;
}

int32_t D3DCore::FindFormat(int32_t RAdapter, int32_t RDevice, int32_t RMode, int32_t bits) const
{
    DXMode* Mode = findMode(RAdapter, RDevice, RMode);
    if (!Mode) return -1;
    int32_t index = 0;
    for (DXModeType* mt = Mode->ModeTypes.First; mt; mt = mt->Next, ++index)
        if (mt->Depth == bits) return index;
    return -1;
}

int32_t D3DCore::FindRefreshRate(int32_t RAdapter, int32_t RDevice, int32_t RMode, int32_t RFormat, DWORD rate) const
{
    DXMode* Mode = findMode(RAdapter, RDevice, RMode);
    if (!Mode) return -1;
    if (!VERIFY(RFormat >= 0 && RFormat < Mode->ModeTypes.Objects)) return -1;
    DXModeType* ModeType = Mode->ModeTypes[RFormat];
    int32_t index = 0;
    for (DXRefreshRate* r = ModeType->RefreshRates.First; r; r = r->Next, ++index)
        if (r->Rate == rate) return index;
    return -1;
}
