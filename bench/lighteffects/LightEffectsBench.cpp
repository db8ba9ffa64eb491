// The light-map pass of 32 point lights on the null renderer, in patch vertices a second, beside a
// plain loop writing the same vertices and indices into the device's dynamic buffers and drawing
// them with the light map's material; and one volume-fog update of 10,000 banks out of view,
// beside the same drift, wrap and distance arithmetic over a std::vector.
#include "../BenchMain.h"
#include "ai/WorldMgr.h"
#include "d3d9gl/DeviceRenderer.h"
#include "d3dcore9/D3DCore.h"
#include "d3dcore9/RenderCoreStart.h"
#include "global/ProjData.h"
#include "kestrune/LightEffects.h"
#include "kestrune/VolumeFog.h"
#include "l3render/L3Render.h"
#include "matcore9/MatCore.h"
#include "platform/testing.h"
#include "utility/Assert.h"
#include "utility/LList.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const int LIGHTS = 32;
const int BANKS = 10000;
const int CELLS = 64;

void quiet(const char*, const char*, const char*, int) {}

Vector3 lightPosition(int i) { return Vector3(800.0f + 600.0f * (i % 8), 800.0f + 1200.0f * (i / 8), 100.0f); }

LightProperties pointLight(int i)
{
    LightProperties p{};
    p.effects = LIGHTEFFECT_LIGHTMAP;
    p.type = LIGHT_POINT;
    p.position = lightPosition(i);
    p.colour2[0] = p.colour2[1] = p.colour2[2] = 1.0f;
    p.range = 400.0f;
    p.lightMapSize[0] = p.lightMapSize[1] = 100.0f;
    return p;
}

// The façade on the null renderer with the shipped light maps and puff, a flat map of 64 x 64 cells,
// 32 point lights switched on and 10,000 fog banks far below the camera.
bool bringUp()
{
    static bool up = false;
    if (up) return true;
    setAssertReportHook(quiet);
    const fs::path dir = fs::current_path();
    for (const char* f : {"4CC.txt", "renderdefault.txt", "font.mtl", "font.tga", "letterbox.mtl",
                          "fallbackmaterials/vc.mtl", "fallbackmaterials/t1.mtl", "fallbackmaterials/t1_vc.mtl",
                          "lights/lightmaps.txt", "lights/spot.tga", "lights/point.tga", "lights/spotmap.mtl",
                          "lights/pointmap.mtl", "models/volumefog/puff.rsm", "models/volumefog/puff.mtl"}) {
        fs::create_directories((dir / "data" / f).parent_path());
        fs::copy_file(fs::path(VELDRANE_DATA) / f, dir / "data" / f, fs::copy_options::overwrite_existing);
    }
    std::string fog = "nummodels 1\n[model]\nname data\\models\\volumefog\\puff.rsm\nvertices 1\ninstances " +
                      std::to_string(BANKS) + "\n[data]\npos 0 0 0\n[end]\n[instances]\n";
    for (int i = 0; i < BANKS; ++i)
        fog += "pos " + std::to_string((i * 7919) % 76800) + " " + std::to_string((i * 104729) % 76800) + " 900\n";
    fog += "[end]\n[end]\n";
    FILE* f = std::fopen((dir / "fog.txt").c_str(), "wb");
    if (!f) return false;
    std::fwrite(fog.data(), 1, fog.size(), f);
    std::fclose(f);
    llistInitElementPool();
    platform::testing::setManualClock(true);
    d3d9ref::setRendererFactory(&d3d9ref::createNullRenderer);
    DXSetup::SetEnumFilter(GameEnumFilter());
    RenderCoreSettings settings;
    settings.Width = 640;
    settings.Height = 480;
    settings.FullScreen = false;
    settings.VSync = false;
    if (DXSetup::Load() != 0 || !L3Init() || !SelectRenderMode(settings) || !L3CreateDevice(false, false, 1)) return false;
    createProjData();
    getProjData().pWorldMgr = new CWorldMgr;
    CAIMap& map = *getProjData().getWorldMgr()->getAIMap();
    if (!map.create(CELLS, CELLS, 100, 0, 0)) return false;
    if (!InitLightEffects(LIGHTS)) return false;
    for (int i = 0; i < LIGHTS; ++i) {
        uint16_t handle = INVALID_LIGHT;
        if (!CreateLightEffect(pointLight(i), &handle)) return false;
        SwitchLightEffect(handle, true);
    }
    if (!LoadVolumeModels("fog.txt") || GetNumVolumeModels() != 1) return false;
    up = true;
    return up;
}

void BM_RenderLightEffectMaps(benchmark::State& state)
{
    if (!bringUp()) {
        state.SkipWithError("no device");
        return;
    }
    const uint64_t before = LightMaps.PatchVertices;
    for (auto _ : state) {
        L3BeginScene(true);
        RenderLightEffectMaps();
        L3EndScene();
    }
    state.counters["vertices"] =
        benchmark::Counter(static_cast<double>(LightMaps.PatchVertices - before), benchmark::Counter::kIsRate);
}

// The same patches written by hand: corner positions on the map's heights, texture coordinates
// across the patch, two triangles a cell split as the ground is, locked into a dynamic vertex and
// index buffer and drawn with the point map's material, pass by pass.
void BM_PlainPatchDraws(benchmark::State& state)
{
    if (!bringUp()) {
        state.SkipWithError("no device");
        return;
    }
    const CAIMap& map = *getProjData().getWorldMgr()->getAIMap();
    TexNames names;
    names.TotalNames = 1;
    std::snprintf(names.Name[0], SB_TEXNAME_SIZE, "data\\lights\\point.tga");
    DWORD material = SB_NONE;
    if (!MatCore.LoadMaterial("data\\lights\\pointmap.mtl", names, &material)) return state.SkipWithError("no material");
    StateBlock* SB = D3DCore.StateBlocks.GetSB(material);
    DynamicVB& vb = D3DCore.DynamicVertexBuffer9[D3DCore.CreateDynamicVertexBuffer(D3DFVF_XYZ | D3DFVF_TEX1)];
    DynamicIB& ib = D3DCore.DynamicIndexBuffer9;
    uint64_t written = 0;
    for (auto _ : state) {
        L3BeginScene(true);
        for (int i = 0; i < LIGHTS; ++i) {
            const Vector3 p = lightPosition(i);
            const float f = (p.z - map.getCellHeight(static_cast<int32_t>(p.x / 100), static_cast<int32_t>(p.y / 100))) / 400.0f;
            const float a = 100.0f + (700.0f - 100.0f) * f;
            const int c0 = static_cast<int>(std::floor((p.x - a) / 100)), c1 = static_cast<int>(std::floor((p.x + a + 100) / 100));
            const int r0 = static_cast<int>(std::floor((p.y - a) / 100)), r1 = static_cast<int>(std::floor((p.y + a + 100) / 100));
            const int w = c1 - c0 + 1;
            const int numVertices = w * (r1 - r0 + 1), numIndices = 6 * (c1 - c0) * (r1 - r0);
            auto* v = static_cast<float*>(vb.Lock(static_cast<uint32_t>(numVertices)));
            uint16_t* index = ib.Lock(static_cast<uint32_t>(numIndices));
            if (!v || !index) return state.SkipWithError("the buffers would not lock");
            for (int r = r0; r <= r1; ++r)
                for (int c = c0; c <= c1; ++c) {
                    *v++ = c * 100.0f;
                    *v++ = r * 100.0f;
                    *v++ = map.getCellHeight(c, r) + 7.0f;
                    *v++ = (c * 100.0f - (p.x - a)) / (2 * a);
                    *v++ = ((p.y + a) - r * 100.0f) / (2 * a);
                }
            for (int r = 0; r < r1 - r0; ++r)
                for (int c = 0; c < c1 - c0; ++c) {
                    const uint16_t s = static_cast<uint16_t>(r * w + c), e = s + 1, n = static_cast<uint16_t>(s + w), ne = n + 1;
                    const uint16_t split[2][6] = {{s, e, ne, s, ne, n}, {s, e, n, e, ne, n}};
                    std::memcpy(index, split[map.getCellDiagonal(c0 + c, r0 + r) ? 1 : 0], sizeof split[0]);
                    index += 6;
                }
            vb.Unlock();
            ib.Unlock();
            for (DWORD pass = 0; pass < SB->GMaterial->Passes; ++pass) {
                D3DCore.ApplyStateBlock(SB, pass, 0);
                vb.DrawIndexed(ib, numVertices, numIndices);
            }
            written += static_cast<uint64_t>(numVertices);
        }
        L3EndScene();
    }
    D3DCore.StateBlocks.ReleaseSB(material);
    state.counters["vertices"] = benchmark::Counter(static_cast<double>(written), benchmark::Counter::kIsRate);
}

void BM_UpdateVolumeFog(benchmark::State& state)
{
    if (!bringUp()) {
        state.SkipWithError("no device");
        return;
    }
    // Far above the world: every bank is out of view.
    L3SetViewFromAngles(Vector3(38400, 38400, 1e6f), 0.0f, 0.0f, 0.0f);
    for (auto _ : state) {
        platform::testing::advanceTime(16);
        UpdateVolumeFog();
    }
    state.SetItemsProcessed(state.iterations() * BANKS);
}

void BM_PlainDriftOverAVector(benchmark::State& state)
{
    std::vector<Vector3> banks(BANKS);
    for (int i = 0; i < BANKS; ++i)
        banks[i].set(static_cast<float>((i * 7919) % 76800), static_cast<float>((i * 104729) % 76800), 900.0f);
    const Vector3 camera(38400, 38400, 1e6f);
    const float step = 0.25f * 16 * 0.5f;
    int visible = 0;
    for (auto _ : state) {
        for (Vector3& p : banks) {
            p.x -= step;
            p.y += step;
            if (p.x < 0) p.x += 76800;
            if (p.y >= 76800) p.y -= 76800;
            if ((p - camera).lengthSquared() <= 441000000.0f) ++visible;
        }
        benchmark::DoNotOptimize(visible);
    }
    state.SetItemsProcessed(state.iterations() * BANKS);
}

}  // namespace

BENCHMARK(BM_RenderLightEffectMaps);
BENCHMARK(BM_PlainPatchDraws);
BENCHMARK(BM_UpdateVolumeFog);
BENCHMARK(BM_PlainDriftOverAVector);
BENCH_PAIR(BM_RenderLightEffectMaps, BM_PlainPatchDraws);
BENCH_PAIR(BM_UpdateVolumeFog, BM_PlainDriftOverAVector);

VELDRANE_BENCH_MAIN("lighteffects")
