#include "d3dcore9/RenderCoreStart.h"

#include "d3dcore9/D3DCore.h"

bool SelectRenderMode(const RenderCoreSettings& settings)
{
    int32_t mode = D3DCore.FindMode(0, 0, settings.Width, settings.Height);
    int32_t format = mode >= 0 ? D3DCore.FindFormat(0, 0, mode, settings.Bits) : -1;
    if (mode >= 0 && format < 0) format = D3DCore.FindFormat(0, 0, mode, settings.Bits == 16 ? 32 : 16);
    if (mode < 0 || format < 0) return false;
    D3DCore.SetMode(0, 0, mode, format, 0, 0, settings.FullScreen, 0, 0, settings.MultiSample);
    return true;
}

bool StartRenderCore(const RenderCoreSettings& settings)
{
    DXSetup::SetEnumFilter(GameEnumFilter());
    if (!D3DCore.Init()) return false;
    if (!SelectRenderMode(settings)) {
        D3DCore.Shutdown();
        return false;
    }
    if (!D3DCore.CreateDevice(false, settings.VSync, settings.Interval)) {
        D3DCore.Shutdown();
        return false;
    }
    return true;
}

void StopRenderCore()
{
    if (D3DCore.DeviceActive) D3DCore.ReleaseDevice();
    if (D3DCore.Initialised) D3DCore.Shutdown();
}
