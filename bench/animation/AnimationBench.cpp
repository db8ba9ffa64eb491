// Key-frame evaluation of a 32-node hierarchy, in bones per second, beside the same lerps and
// quatSlerp calls over flat arrays: linear tracks of 10 and 100 keys, and captured frames.
#include "../BenchMain.h"
#include "animation/Animation.h"
#include "utility/LList.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

const int kNodes = 32;
const int kTicks = 4800;  // one second
const uint32_t kStep = 7; // ms per advance, so the samples wander over the whole second
const float kTicksToMs = 0.20833333f;
const int kFrames = 30;  // captured: one second at 30 frames

struct Track {
    std::vector<float> times;  // ms
    std::vector<Vector3> positions, scales;
    std::vector<Quaternion> rotations;
    float period = 1000.0f / kFrames;  // ms per captured frame, read per channel like the controller's
};

// The same random tracks for the file and for the flat arrays.
std::vector<Track> makeTracks(int keys)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<Track> tracks(kNodes);
    for (Track& t : tracks)
        for (int k = 0; k < keys; ++k) {
            t.times.push_back(static_cast<float>(k * kTicks / (keys - 1)) * kTicksToMs);
            t.positions.emplace_back(u(rng), u(rng), u(rng));
            t.scales.emplace_back(1.0f + 0.1f * u(rng), 1.0f, 1.0f);
            Quaternion q(u(rng), u(rng), u(rng), u(rng));
            const float n = 1.0f / std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
            t.rotations.emplace_back(q.x * n, q.y * n, q.z * n, q.w * n);
        }
    return tracks;
}

// Node i hangs under node (i - 1) / 2.
std::string animationText(const std::vector<Track>& tracks, bool captured)
{
    std::string s = "#HIERARCHY\n\"n0\" \"none\"\n";
    for (int i = 1; i < kNodes; ++i) s += "\"n" + std::to_string(i) + "\" \"n" + std::to_string((i - 1) / 2) + "\"\n";
    const std::string kind = captured ? "#CONTROLLER:Captured #RATE:160\n" : "#CONTROLLER:Linear\n";
    char key[160];
    for (int i = 0; i < kNodes; ++i) {
        const Track& t = tracks[i];
        s += "#NAME:\"n" + std::to_string(i) + "\"\n";
        for (const char* channel : {"POS", "SCA", "ROT"}) {
            s += std::string("#TRACK:") + channel + " " + kind;
            for (size_t k = 0; k < t.times.size(); ++k) {
                const std::string time = captured ? "" : std::to_string(static_cast<int>(std::lround(t.times[k] / kTicksToMs)));
                const Vector3& v = channel[0] == 'P' ? t.positions[k] : t.scales[k];
                const Quaternion& q = t.rotations[k];
                if (channel[0] == 'R')
                    snprintf(key, sizeof key, "%s[%.7f,%.7f,%.7f,%.7f] ", time.c_str(), -q.w, q.x, q.y, q.z);
                else
                    snprintf(key, sizeof key, "%s[%.7f,%.7f,%.7f] ", time.c_str(), v.x, v.y, v.z);
                s += key;
            }
            s.back() = '\n';
        }
    }
    return s;
}

std::unique_ptr<CAnimation> loadAnimation(const std::vector<Track>& tracks, bool captured)
{
    if (!llistElementPoolExists()) llistInitElementPool();
    const char* const name = "anim.txt";
    std::ofstream(name) << animationText(tracks, captured);
    auto anim = std::make_unique<CAnimation>(name);
    std::filesystem::remove(name);
    return anim;
}

Vector3 mix(const Vector3& a, const Vector3& b, float f) { return a + (b - a) * f; }

void findLinear(const std::vector<float>& times, float t, int& i0, int& i1, float& f)
{
    const int n = static_cast<int>(times.size());
    i1 = 0;
    while (i1 < n - 1 && times[i1] < t) ++i1;
    i0 = i1 > 0 ? i1 - 1 : 0;
    const float span = std::fabs(times[i0] - times[i1]);
    f = span == 0.0f ? 0.0f : (t - times[i0]) / span;
}

void findCaptured(float t, float period, int& i0, int& i1, float& f)
{
    const float frame = t / period;
    i0 = static_cast<int>(frame);
    i1 = i0 + 1 < kFrames ? i0 + 1 : 0;
    f = frame - static_cast<float>(i0);
}

void runKeyframes(benchmark::State& state, int keys, bool captured)
{
    auto anim = loadAnimation(makeTracks(keys), captured);
    if (anim->GetAnimError() != ANIM_OK) return state.SkipWithError("animation did not load");
    for (auto _ : state) {
        anim->Advance(kStep);
        benchmark::DoNotOptimize(anim->GetHierarchy().RootNode->RotationMatrix);
    }
    state.SetItemsProcessed(state.iterations() * kNodes);
}

// find(track, t, i0, i1, fraction) locates one channel's keys; each channel has its own keys in the
// file, so each is located on its own here too.
template <class Find>
void runFlat(benchmark::State& state, const std::vector<Track>& tracks, float duration, Find find)
{
    float t = 0.0f;
    Matrix3 m;
    for (auto _ : state) {
        t = std::fmod(t + static_cast<float>(kStep), duration);
        for (const Track& track : tracks) {
            float f;
            int i0, i1;
            find(track, t, i0, i1, f);
            benchmark::DoNotOptimize(mix(track.scales[i0], track.scales[i1], f));
            find(track, t, i0, i1, f);
            benchmark::DoNotOptimize(mix(track.positions[i0], track.positions[i1], f));
            find(track, t, i0, i1, f);
            Quaternion q;
            quatSlerp(track.rotations[i0], track.rotations[i1], f, q);
            quatToMatrix3(q, m);
            benchmark::DoNotOptimize(m);
        }
    }
    state.SetItemsProcessed(state.iterations() * kNodes);
}

void BM_KeyframeLinear(benchmark::State& state) { runKeyframes(state, static_cast<int>(state.range(0)), false); }
BENCHMARK(BM_KeyframeLinear)->Arg(10)->Arg(100);

void BM_FlatLinear(benchmark::State& state)
{
    const std::vector<Track> tracks = makeTracks(static_cast<int>(state.range(0)));
    runFlat(state, tracks, tracks[0].times.back(), [](const Track& track, float t, int& i0, int& i1, float& f) {
        findLinear(track.times, t, i0, i1, f);
    });
}
BENCHMARK(BM_FlatLinear)->Arg(10)->Arg(100);
BENCH_PAIR(BM_KeyframeLinear, BM_FlatLinear);

void BM_KeyframeCaptured(benchmark::State& state) { runKeyframes(state, kFrames, true); }
BENCHMARK(BM_KeyframeCaptured);

void BM_FlatCaptured(benchmark::State& state)
{
    runFlat(state, makeTracks(kFrames), 1000.0f, [](const Track& track, float t, int& i0, int& i1, float& f) {
        findCaptured(t, track.period, i0, i1, f);
    });
}
BENCHMARK(BM_FlatCaptured);
BENCH_PAIR(BM_KeyframeCaptured, BM_FlatCaptured);

}  // namespace

VELDRANE_BENCH_MAIN("animation")
