// Sprites drawn per second and per 16.7 ms frame by one particle effect of 10,000 sprites, on the
// null renderer and on the OpenGL renderer headless, beside a plain loop doing a sprite's work for
// as many particles each frame - its place between two steps, its size, colour, alpha and angle
// from two-key tracks, its atlas frame, its projection for the screen-size cap, and its square
// turned to face the camera - written into the same dynamic buffer in the same batches and drawn;
// and point-trail segments made and drawn per second (64 points, 16 steps) beside a plain loop
// keeping the same history and drawing the same crossed ribbons.
#include "../BenchMain.h"
#include "../SphereModel.h"
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

#include <algorithm>
#include <chrono>
#include <cmath>
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
        if (!bench::prepareSphereModel(VELDRANE_DATA)) abort();
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

// A particle as the plain loop keeps it: where it was and is, its age and its turn.
struct PlainParticle {
    float previous[3], position[3];
    int32_t age;
    float previousAngle, angle, sizeOffset;
};

// A two-key track over the lifespan, sampled at an age.
float track(float first, float last, int32_t age, int32_t lifespan)
{
    const float u = std::clamp(static_cast<float>(age) / static_cast<float>(lifespan), 0.0f, 1.0f);
    return first + (last - first) * u;
}

uint32_t colourByte(float value) { return static_cast<uint32_t>(std::clamp(value, 0.0f, 255.0f)); }

// One frame of sprites the plain way, each particle's square computed and written straight into
// the locked buffer, a batch at a time.
void plainSprites(const std::vector<PlainParticle>& particles, float t, DynamicVB& vb, DWORD material)
{
    const int32_t LIFESPAN = 1000000, X_FRAMES = 2, Y_FRAMES = 2;
    const float SIZE_CAP = 1.0f;
    const D3DMATRIX &view = D3DCore.ViewMatrix, &projection = D3DCore.ProjectionMatrix;
    float m[4][4];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m[r][c] = view.m[r][0] * projection.m[0][c] + view.m[r][1] * projection.m[1][c] +
                      view.m[r][2] * projection.m[2][c] + view.m[r][3] * projection.m[3][c];
    const Matrix4& axes = L3Scene.viewRotation;
    const float right[3] = {axes.m[0][1], axes.m[1][1], axes.m[2][1]}, up[3] = {axes.m[0][2], axes.m[1][2], axes.m[2][2]};
    const uint32_t perBatch = vb.MaxVertices / 3 / 6;
    EffectUtils::ApplyDrawState(material);
    for (size_t first = 0; first < particles.size(); first += perBatch) {
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(perBatch, particles.size() - first));
        auto* out = static_cast<Vertex*>(vb.Lock(6 * n));
        if (!out) abort();
        for (uint32_t k = 0; k < n; ++k) {
            const PlainParticle& p = particles[first + k];
            float at[3];
            for (int a = 0; a < 3; ++a) at[a] = p.previous[a] * (1.0f - t) + p.position[a] * t;
            // Its depth and the width its size spans there, for the cap.
            const float w = at[0] * m[0][3] + at[1] * m[1][3] + at[2] * m[2][3] + m[3][3];
            float size = track(100.0f, 100.0f, p.age, LIFESPAN) + p.sizeOffset;
            const float share = w != 0.0f ? std::fabs(size * m[0][0] / w) * 0.5f : 0.0f;
            if (share > SIZE_CAP) size = size * SIZE_CAP / share;
            const float alpha = track(255.0f, 255.0f, p.age, LIFESPAN), grey = track(255.0f, 255.0f, p.age, LIFESPAN);
            const uint32_t colour = colourByte(alpha) << 24 | colourByte(grey) << 16 | colourByte(grey) << 8 | colourByte(grey);
            const int32_t frame = static_cast<int32_t>(static_cast<int64_t>(p.age) * X_FRAMES * Y_FRAMES / LIFESPAN) %
                                  (X_FRAMES * Y_FRAMES);
            const float left = static_cast<float>(frame % X_FRAMES) / X_FRAMES, top = static_cast<float>(frame / X_FRAMES) / Y_FRAMES;
            const float rightU = left + 1.0f / X_FRAMES, bottom = top + 1.0f / Y_FRAMES;
            const float angle = track(0.0f, 0.0f, p.age, LIFESPAN) + t * p.angle + (1.0f - t) * p.previousAngle;
            const float sine = std::sin(angle), cosine = std::cos(angle), h = size * 0.5f;
            float A[3], B[3];
            for (int a = 0; a < 3; ++a) {
                A[a] = (up[a] * cosine - right[a] * sine) * h;
                B[a] = (right[a] * cosine + up[a] * sine) * h;
            }
            const Vertex v0{at[0] - B[0] - A[0], at[1] - B[1] - A[1], at[2] - B[2] - A[2], colour, rightU, bottom};
            const Vertex v1{at[0] + B[0] - A[0], at[1] + B[1] - A[1], at[2] + B[2] - A[2], colour, left, bottom};
            const Vertex v2{at[0] - B[0] + A[0], at[1] - B[1] + A[1], at[2] - B[2] + A[2], colour, rightU, top};
            const Vertex v3{at[0] + B[0] + A[0], at[1] + B[1] + A[1], at[2] + B[2] + A[2], colour, left, top};
            Vertex* q = out + 6 * k;
            q[0] = v0, q[1] = v1, q[2] = v2, q[3] = v3, q[4] = v2, q[5] = v1;
        }
        vb.Unlock();
        vb.DrawTriList(6 * n);
    }
}

void BM_SpritesBesidePlainLoop(benchmark::State& state)
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
    // The plain loop's particles: as many, spread over the same patch of the view, 30 steps old.
    std::vector<PlainParticle> particles(SPRITES);
    for (size_t i = 0; i < particles.size(); ++i) {
        PlainParticle& p = particles[i];
        const float y = float(i % 97) - 48, z = float(i % 89) - 44;
        p = PlainParticle{{2000.0f, y, z}, {2000.0f + 0.5f, y + 0.25f, z - 0.25f}, 30, 0.0f, 0.0f, 0.0f};
    }
    DynamicVB& vb = D3DCore.DynamicVertexBuffer9[D3DCore.CreateDynamicVertexBuffer(EffectUtils::VERTEX_FVF)];
    DWORD material = EffectUtils::LoadMaterial(EffectUtils::DEFAULT_MATERIAL, "smoke.tga");
    double effectSeconds = 0, plainSeconds = 0;
    for (auto _ : state) {
        D3DCore.BeginScene(true, false);
        auto start = std::chrono::steady_clock::now();
        pEffect->Render(0, 1.0f);
        effectSeconds += since(start);
        start = std::chrono::steady_clock::now();
        plainSprites(particles, 1.0f, vb, material);
        plainSeconds += since(start);
        D3DCore.EndScene(true);
    }
    EffectUtils::ReleaseMaterial(material);
    const double drawn = static_cast<double>(state.iterations()) * SPRITES;
    state.counters["sprites_per_s"] = drawn / effectSeconds;
    state.counters["sprites_per_frame"] = drawn / effectSeconds / 60.0;
    state.counters["plain_per_s"] = drawn / plainSeconds;
    state.counters["ratio"] = effectSeconds / plainSeconds;
}
BENCHMARK(BM_SpritesBesidePlainLoop)->ArgName("gl")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_PointTrailSegmentsBesidePlainLoop(benchmark::State& state)
{
    const int POINTS = 64, STEPS = 16, FADE_START = 8;
    Scene scene(false);
    CEffect* pTrail = scene.start("POINTTRAIL\n{\ninstancename trail\ntexture trail.tga\ntrail_length 16\n"
                                  "fade_start 8\nrender_type 0\n}\n",
                                  "trail");
    std::vector<Vector3> points(POINTS);
    for (int k = 0; k < POINTS; ++k) points[k] = Vector3(2000, float(k * 4 - 128), 0);
    pTrail->SetFollowedPoints(POINTS, points.data());
    // The baseline keeps a history of its own and draws the same two crossed ribbons a point: each
    // point's steps as a strip, the strips of a lock joined by two repeated vertices.
    std::vector<Vector3> history(size_t(POINTS) * (STEPS + 1));
    DynamicVB& vb = D3DCore.DynamicVertexBuffer9[D3DCore.CreateDynamicVertexBuffer(EffectUtils::VERTEX_FVF)];
    DWORD material = EffectUtils::LoadMaterial(EffectUtils::DEFAULT_MATERIAL, "trail.tga");
    const int stripVertices = 2 * (STEPS + 1), count = POINTS * stripVertices + 2 * (POINTS - 1);
    if (static_cast<DWORD>(count) > vb.MaxVertices / 3) return state.SkipWithError("the ribbons do not fit a lock");
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
        start = std::chrono::steady_clock::now();
        std::memmove(&history[POINTS], &history[0], sizeof(Vector3) * POINTS * STEPS);
        std::copy(points.begin(), points.end(), history.begin());
        Vector3 low = history[0], high = history[0];
        for (const Vector3& p : history) {
            low.set(std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z));
            high.set(std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z));
        }
        benchmark::DoNotOptimize(low);
        benchmark::DoNotOptimize(high);
        EffectUtils::ApplyDrawState(material);
        for (int axis = 1; axis <= 2; ++axis) {
            const Matrix4& axes = L3Scene.viewRotation;
            const Vector3 offset = Vector3(axes.m[0][axis], axes.m[1][axis], axes.m[2][axis]) * 10.0f;
            auto* out = static_cast<Vertex*>(vb.Lock(count));
            if (!out) abort();
            for (int k = 0; k < POINTS; ++k) {
                Vertex* strip = out + k * (stripVertices + 2);
                for (int j = 0; j <= STEPS; ++j) {
                    const Vector3& p = history[size_t(j) * POINTS + k];
                    const float alpha = j > FADE_START ? 1.0f - float(j - FADE_START) / float(STEPS - FADE_START) : 1.0f;
                    const uint32_t c = uint32_t(std::lround(alpha * 255.0f)) * 0x01010101u;
                    const Vector3 a = p - offset, b = p + offset;
                    strip[2 * j] = Vertex{a.x, a.y, a.z, c, 0, float(j) / STEPS};
                    strip[2 * j + 1] = Vertex{b.x, b.y, b.z, c, 1, float(j) / STEPS};
                }
                if (k + 1 < POINTS) {
                    strip[stripVertices] = strip[stripVertices - 1];
                    strip[stripVertices + 1] = strip[stripVertices + 2];
                }
            }
            vb.Unlock();
            vb.DrawTriStrip(count);
        }
        plainSeconds += since(start);
        D3DCore.EndScene(true);
    }
    EffectUtils::ReleaseMaterial(material);
    const double segments = static_cast<double>(state.iterations()) * POINTS * STEPS;
    state.counters["segments_per_s"] = segments / trailSeconds;
    state.counters["plain_per_s"] = segments / plainSeconds;
    state.counters["ratio"] = trailSeconds / plainSeconds;
}
BENCHMARK(BM_PointTrailSegmentsBesidePlainLoop)->Unit(benchmark::kMicrosecond);

}  // namespace
VELDRANE_BENCH_MAIN("particledraw")
