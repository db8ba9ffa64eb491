// Feeds random bytes to the readers of the light and fog files on the reference device with no
// renderer, with the shipped light maps, puff model and their materials at hand:
//   fuzz_lightmaps   the bytes are data\lights\lightmaps.txt; what loads draws a point and a spot
//                    light over a small slope, then is released.
//   fuzz_volumefog   the bytes are a volume-model file; what loads is updated and drawn a few
//                    frames as the clock moves, then released. Files that ask for more than 4096
//                    banks are passed over: placing each of them may take its 10 ms by design.
//   fuzz_cloudlevel  the bytes are the cloud-level image.
#include "FuzzSupport.h"
#include "ai/WorldMgr.h"
#include "d3d9gl/DeviceRenderer.h"
#include "d3dcore9/D3DCore.h"
#include "d3dcore9/RenderCoreStart.h"
#include "global/ProjData.h"
#include "kestrune/LightMaps.h"
#include "kestrune/VolumeFog.h"
#include "l3render/L3Render.h"
#include "l3render/ModelManager.h"
#include "l3render/ModelUtil.h"
#include "matcore9/MatCore.h"
#include "platform/testing.h"
#include "utility/LList.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct Exit {};

// The models the set-up leaves loaded.
uint32_t keptModels = 0;

void loadPuff()
{
    if (!CModelUtil::LoadModel("data\\models\\volumefog\\puff.rsm", 0, 1.0f, nullptr, 0)) abort();
}

void bringUp()
{
    fuzz::setUp();
    platform::testing::setExitHook([](int) { throw Exit{}; });
    llistInitElementPool();
    for (const char* f : {"4CC.txt", "renderdefault.txt", "font.mtl", "font.tga", "letterbox.mtl",
                          "fallbackmaterials/vc.mtl", "fallbackmaterials/t1.mtl", "fallbackmaterials/t1_vc.mtl",
                          "lights/spot.tga", "lights/point.tga", "lights/spotmap.mtl", "lights/pointmap.mtl",
                          "models/volumefog/puff.rsm", "models/volumefog/puff.mtl"})
        fuzz::holdShipped(f);
    platform::testing::resetD3D9();
    d3d9ref::setRendererFactory(&d3d9ref::createNullRenderer);
    DXSetup::SetEnumFilter(GameEnumFilter());
    if (DXSetup::Load() != 0 || !L3Init()) abort();
    RenderCoreSettings settings;
    settings.Width = 640;
    settings.Height = 480;
    settings.FullScreen = false;
    if (!SelectRenderMode(settings) || !L3CreateDevice(false, false, 1)) abort();
    D3DCore.FrameStatsEnabled = 0;  // the statistics overlay is none of these files'
    // What the shipped files name stays loaded for the run, so that an input naming it finds it.
    for (const char* map : {"spot", "point"}) {
        TexNames names;
        names.TotalNames = 1;
        std::snprintf(names.Name[0], SB_TEXNAME_SIZE, "data\\lights\\%s.tga", map);
        DWORD held = SB_NONE;
        if (!MatCore.LoadMaterial((std::string("data\\lights\\") + map + "map.mtl").c_str(), names, &held)) abort();
    }
    loadPuff();
    keptModels = CModelManager::GetNumModels();
    createProjData();
    CWorldMgr* pWorld = new CWorldMgr;
    getProjData().pWorldMgr = pWorld;
    CAIMap& map = *pWorld->getAIMap();
    map.create(16, 16, 100, 0, 0);
    for (int32_t r = 0; r < 16; ++r)
        for (int32_t c = 0; c < 16; ++c) map.setHeight(c, r, static_cast<uint16_t>(20 * c + 5 * r));
    platform::testing::setManualClock(true);
    platform::testing::setClockStep(1);
}

#if defined(FUZZ_LIGHTMAPS)
void drawLights()
{
    LightMapLight point;
    point.Position = Vector3(700, 800, 600);
    point.Range = 900;
    point.NearSize[0] = point.NearSize[1] = 200;
    point.FarSize[0] = point.FarSize[1] = 1500;
    point.NearColour = 0xFFFF8040u;
    LightMapLight spot = point;
    spot.Type = LightMapLight::TYPE_SPOT;
    spot.Map = LightMapLight::DEFAULT_SPOT_MAP;
    spot.Direction = Vector3(0.5f, 0.3f, -0.8f);
    L3BeginScene(true);
    LightMaps.BeginLightMapping();
    LightMaps.DrawLightMapLight(point);
    LightMaps.DrawLightMapLight(spot);
    LightMaps.EndLightMapping();
    L3EndScene();
}
#endif

#if defined(FUZZ_VOLUMEFOG)
// Volume files of many banks are passed over (see above).
bool tooManyBanks(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    uint64_t banks = 0;
    for (size_t at = text.find("random"); at != std::string::npos; at = text.find("random", at + 1))
        banks += std::strtoul(text.c_str() + at + 6, nullptr, 10);
    return banks > 4096;
}
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = (bringUp(), true);
    (void)ready;
    try {
#if defined(FUZZ_LIGHTMAPS)
        const fuzz::InputFile input("data/lights/lightmaps.txt", data, size);
        LightMaps.Initialise();
        drawLights();
        LightMaps.Shutdown();
#elif defined(FUZZ_VOLUMEFOG)
        if (tooManyBanks(data, size)) return 0;
        const fuzz::InputFile input("volumes.txt", data, size);
        LoadVolumeModels("volumes.txt");
        for (int frame = 0; frame < 3; ++frame) {
            platform::testing::advanceTime(500);
            L3BeginScene(true);
            L3SetViewFromAngles(Vector3(38400, 38400, 1000), 0.0f, 0.3f, 0.5f * frame);
            UpdateVolumeFog();
            L3EndScene();
        }
        ReleaseVolumeFog();
#else
        const fuzz::InputFile input("data/models/volumefog/cloudlevel.tga", data, size);
        LoadCloudLevel();
#endif
    } catch (const Exit&) {
#if defined(FUZZ_VOLUMEFOG)
        // The game would have stopped here. The run goes on without what the cut load left: a
        // model half made is no bank's, so the model manager starts again with the puff alone.
        ReleaseVolumeFog();
        if (CModelManager::GetNumModels() != keptModels) {
            CModelManager::Shutdown();
            CModelManager::Init();
            loadPuff();
        }
#endif
    }
    return 0;
}
