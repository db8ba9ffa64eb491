// Sprites drawn per second and per 16.7 ms frame by one particle effect of 10,000 sprites, on the
// null renderer and on the OpenGL renderer headless, beside the same 60,000 vertices prepared once,
// written into the same dynamic buffer in the same batches and drawn; and point-trail segments made
// per second (64 points, 16 steps) beside a plain loop writing as many vertices.
#include "../BenchMain.h"
#include "ParticleData.h"
#include "d3d9gl/DeviceRenderer.h"
#include "d3dcore9/D3DCore.h"
#include "d3dcore9/RenderCoreStart.h"
#include "effects/Effect.h"
#include "effects/EffectManager.h"
#include "effects/EffectUtils.h"
#include "global/ProjData.h"
#include "l3render/L3Render.h"
#include "platform/testing.h"
#include "utility/Assert.h"
#include "utility/LList.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

void quiet(const char*, const char*, const char*, int) {}

// The façade on a device drawing through one renderer, with the particle data and an effect
// manager, in a folder of its own; the camera at the origin looking along +x.
class Scene {
public:
    explicit Scene(bool gl)
    {
        setAssertReportHook(quiet);
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        m_previous = fs::current_path();
        m_dir = bench::uniqueFolder("particledraw");
        if (m_dir.empty()) abort();
        fs::create_directories(m_dir / "data");
        std::ofstream(m_dir / "data" / "4CC.txt") << "3\nDXT1\nDXT3\nDXT5\n";
        for (const char* name : {"renderdefault.txt", "font.mtl", "font.tga", "letterbox.mtl",
                                 "fallbackmaterials/vc.mtl", "fallbackmaterials/t1.mtl", "fallbackmaterials/t1_vc.mtl"}) {
            fs::create_directories((m_dir / "data" / name).parent_path());
            fs::copy_file(fs::path(VELDRANE_DATA) / name, m_dir / "data" / name);
        }
        for (const auto& [name, bytes] : particledata::files()) {
            fs::create_directories((m_dir / "data" / name).parent_path());
            std::ofstream(m_dir / "data" / name, std::ios::binary) << bytes;
        }
        fs::current_path(m_dir);
        llistInitElementPool();
        platform::testing::resetD3D9();
        d3d9ref::setRendererFactory(gl ? &d3d9gl::createOffscreenDeviceRenderer : &d3d9ref::createNullRenderer);
        D3DCore::ResetObject();
        RenderCoreSettings settings;
        settings.FullScreen = false;
        if (DXSetup::Load() != 0) abort();
        DXSetup::SetEnumFilter(GameEnumFilter());
        if (!L3Init() || !SelectRenderMode(settings) || !L3CreateDevice(false, false, 1)) abort();
        createProjData();
        manager = new CEffectManager;
        L3SetViewFromAngles(Vector3(), 0, 0, 0);
    }
    ~Scene()
    {
        delete manager;
        destroyProjData();
        L3DestroyDevice();
        L3Shutdown();
        if (DXInterface.ID3D) DXInterface.ID3D->Release();
        DXInterface = TDXInterface{};
        d3d9ref::setRendererFactory(nullptr);
        llistFreeElementPool();
        std::error_code ignored;
        fs::current_path(m_previous, ignored);
        fs::remove_all(m_dir, ignored);
    }
    CEffect* start(const std::string& text, const char* name)
    {
        std::ofstream("bench.txt") << text;
        if (!manager->ReadBlocks("bench.txt") || !manager->PrecacheEffect(name)) abort();
        manager->FreeBlocks();
        CEffect* pEffect = manager->CreateEffect(name, Vector3(2000, 0, 0), Matrix3(), 0, nullptr, nullptr);
        if (!pEffect) abort();
        return pEffect;
    }

    CEffectManager* manager;

private:
    fs::path m_previous, m_dir;
};

double since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

const int SPRITES = 10000;

struct Vertex {
    float x, y, z;
    uint32_t colour;
    float u, v;
};

void BM_SpritesBesidePreparedVertices(benchmark::State& state)
{
    Scene scene(state.range(0) != 0);
    const std::string text =
        "PARTICLESYSTEM\n{\ninstancename sprites\nOnCollision SYS_NONE\nOnParticleDeath SYS_NONE\n"
        "OnSystemDeath SYS_NONE\nOnTime SYS_NONE\nOnPeriod SYS_NONE\nOnTimeParticle SYS_NONE\n"
        "OnPeriodParticle SYS_NONE\nspriteparticles\n{\ncount " + std::to_string(SPRITES) +
        "\nlifespan 1000000\ntexture smoke.tga\nx_frames 2\ny_frames 2\nrender_type 0\n}\n"
        "gravitycontrollernocollision\n{\nrespawn 0\ngravity 0, 0, 0\n}\n"
        "pointemitter\n{\npower 1\nvariation 1\nstagger_frames 0\n}\n}\n";
    CEffect* pEffect = scene.start(text, "sprites");
    for (int i = 0; i < 30; ++i) scene.manager->Update();
    // The baseline's vertices: six a square, in the batches a lock allows.
    DynamicVB& vb = D3DCore.DynamicVertexBuffer9[D3DCore.CreateDynamicVertexBuffer(EffectUtils::VERTEX_FVF)];
    std::vector<Vertex> prepared(6 * SPRITES);
    for (size_t i = 0; i < prepared.size(); ++i)
        prepared[i] = Vertex{2000.0f, float(i % 97) - 48, float(i % 89) - 44, 0x80FFFFFFu, float(i % 2), float(i % 3 / 2)};
    const uint32_t batch = vb.MaxVertices / 3 / 6 * 6;
    DWORD material = EffectUtils::LoadMaterial(EffectUtils::DEFAULT_MATERIAL, "smoke.tga");
    double effectSeconds = 0, plainSeconds = 0;
    for (auto _ : state) {
        D3DCore.BeginScene(true, false);
        auto start = std::chrono::steady_clock::now();
        pEffect->Render(0, 1.0f);
        effectSeconds += since(start);
        start = std::chrono::steady_clock::now();
        EffectUtils::ApplyDrawState(material);
        for (uint32_t first = 0; first < prepared.size(); first += batch) {
            const uint32_t n = std::min<uint32_t>(batch, uint32_t(prepared.size()) - first);
            void* out = vb.Lock(n);
            if (!out) abort();
            std::memcpy(out, &prepared[first], n * sizeof(Vertex));
            vb.Unlock();
            vb.DrawTriList(n);
        }
        plainSeconds += since(start);
        D3DCore.EndScene(true);
    }
    EffectUtils::ReleaseMaterial(material);
    const double drawn = static_cast<double>(state.iterations()) * SPRITES;
    state.counters["sprites_per_s"] = drawn / effectSeconds;
    state.counters["sprites_per_frame"] = drawn / effectSeconds / 60.0;
    state.counters["prepared_per_s"] = drawn / plainSeconds;
    state.counters["ratio"] = effectSeconds / plainSeconds;
}
BENCHMARK(BM_SpritesBesidePreparedVertices)->ArgName("gl")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_PointTrailSegmentsBesidePlainLoop(benchmark::State& state)
{
    const int POINTS = 64, STEPS = 16;
    Scene scene(false);
    CEffect* pTrail = scene.start("POINTTRAIL\n{\ninstancename trail\ntexture trail.tga\ntrail_length 16\n"
                                  "fade_start 8\nrender_type 0\n}\n",
                                  "trail");
    std::vector<Vector3> points(POINTS);
    for (int k = 0; k < POINTS; ++k) points[k] = Vector3(2000, float(k * 4 - 128), 0);
    pTrail->SetFollowedPoints(POINTS, points.data());
    // The baseline writes the same strips from a history of its own: two per point and step.
    std::vector<Vector3> history(size_t(POINTS) * (STEPS + 1));
    std::vector<Vertex> out(size_t(2) * (POINTS * (2 * STEPS + 2) + 2 * (POINTS - 1)));
    double trailSeconds = 0, plainSeconds = 0;
    int frame = 0;
    for (auto _ : state) {
        ++frame;
        for (Vector3& p : points) p.z = float(frame % 50);
        D3DCore.BeginScene(true, false);
        auto start = std::chrono::steady_clock::now();
        pTrail->Update();
        pTrail->Render(0, 1.0f);
        trailSeconds += since(start);
        D3DCore.EndScene(true);
        start = std::chrono::steady_clock::now();
        std::memmove(&history[POINTS], &history[0], sizeof(Vector3) * POINTS * STEPS);
        std::copy(points.begin(), points.end(), history.begin());
        size_t n = 0;
        for (int axis = 0; axis < 2; ++axis)
            for (int k = 0; k < POINTS; ++k)
                for (int j = 0; j <= STEPS; ++j) {
                    const Vector3& p = history[size_t(j) * POINTS + k];
                    const uint32_t c = j > 8 ? uint32_t(255 * (16 - j) / 8) * 0x01010101u : 0xFFFFFFFFu;
                    out[n++ % out.size()] = Vertex{p.x, p.y - 10, p.z + float(axis), c, 0, float(j) / STEPS};
                    out[n++ % out.size()] = Vertex{p.x, p.y + 10, p.z - float(axis), c, 1, float(j) / STEPS};
                }
        benchmark::DoNotOptimize(out.data());
        plainSeconds += since(start);
    }
    const double segments = static_cast<double>(state.iterations()) * POINTS * STEPS;
    state.counters["segments_per_s"] = segments / trailSeconds;
    state.counters["plain_per_s"] = segments / plainSeconds;
    state.counters["ratio"] = trailSeconds / plainSeconds;
}
BENCHMARK(BM_PointTrailSegmentsBesidePlainLoop)->Unit(benchmark::kMicrosecond);

}  // namespace
VELDRANE_BENCH_MAIN("particledraw")
