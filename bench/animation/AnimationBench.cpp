// Key-frame evaluation of a 32-node hierarchy, in bones per second, beside the same lerps and
// quatSlerp calls over flat arrays: linear tracks of 10 and 100 keys, and captured frames. And a
// boned animation group's 50 players stepping a frame, each playing a walk, or blending from the
// walk into a wave, on a model of 32 nodes, beside the same evaluation (and mix of the two poses)
// over flat arrays written into a node array per player.
#include "../BenchMain.h"
#include "ModelWriter.h"
#include "animation/Animation.h"
#include "animation/BonedAnim.h"
#include "animation/BonedAnimGroup.h"
#include "gameobjects/GameObjectManager.h"
#include "gameobjects/ModelResourceManager.h"
#include "global/ProjData.h"
#include "l3render/ModelClassManager.h"
#include "l3render/ModelManager.h"
#include "utility/Assert.h"
#include "utility/LList.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
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
std::vector<Track> makeTracks(int keys, unsigned seed = 7)
{
    std::mt19937 rng(seed);
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

// Groups -------------------------------------------------------------------------------------------

const int PLAYERS = 50;
const int GROUP_KEYS = 10;
const int STEP = 30;  // ms per game frame
const unsigned WALK_SEED = 7, WAVE_SEED = 8;
// Long enough that the blend lasts the whole benchmark: it moves 1000 / (30 x this) a frame.
const int BLEND_MS = 40000000;

void quiet(const char*, const char*, const char*, int) {}

// Node i of the model hangs under node (i - 1) / 2, as in the animations.
modelwriter::Element nodeElement(int i)
{
    modelwriter::Element e("n" + std::to_string(i), 1.0f, 0, 0);
    for (int child : {2 * i + 1, 2 * i + 2})
        if (child < kNodes) e.Children.push_back(nodeElement(child));
    return e;
}

void write(const std::string& name, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(name).parent_path());
    std::ofstream(name, std::ios::binary) << text;
}

// The group's files in the program's folder, the model managers, and an object manager with the
// model resource manager, once; the walk (0) tweens into the wave (1) at once, blending slowly.
CGameObjectManager* groupWorld()
{
    static CGameObjectManager* objects = [] () -> CGameObjectManager* {
        setAssertReportHook(quiet);
        if (!llistElementPoolExists()) llistInitElementPool();
        if (!CModelClassManager::Init() || !CModelManager::Init()) return nullptr;
        std::vector<std::string> names;
        for (int i = 0; i < kNodes; ++i) names.push_back("n" + std::to_string(i));
        write("data/classdef/body.def", modelwriter::classFile({{"body", names}}));
        modelwriter::Model body;
        body.ClassName = "body";
        body.Lods.push_back({0.0f, nodeElement(0)});
        write("data/models/body.rsm", modelwriter::model(body));
        write("data/anims/walk.txt", animationText(makeTracks(GROUP_KEYS, WALK_SEED), false));
        write("data/anims/wave.txt", animationText(makeTracks(GROUP_KEYS, WAVE_SEED), false));
        for (const char* name : {"walk", "wave"})
            write(std::string("data/anims/") + name + ".ini",
                  std::string("[BONED_ANIM]\nmodelname = <string> \"data\\models\\body.rsm\"\n") +
                      "animfilename = <string> \"data\\anims\\" + name + ".txt\"\ntransitionframe = <int> 0\n");
        write("data/anims/walk_tween.ini", "[NUM_TWEEN_DATA]\nnumtweens = <int> 2\n[TWEEN_DATA]\n"
                                           "transitiontime0 = <int> -1\ntransitionduration0 = <int> 0\n"
                                           "transitiontime1 = <int> -1\ntransitionduration1 = <int> " +
                                               std::to_string(BLEND_MS) + "\n");
        createProjData();
        getProjData().FrameStep = STEP;
        auto* made = new CGameObjectManager;
        if (!made->registerResourceManager(new CModelResourceManager)) return nullptr;
        return made;
    }();
    return objects;
}

// A group of the two animations and its players, all walking; with blend, all blending into the wave.
struct Players {
    std::unique_ptr<CBonedAnimGroup> group;
    std::vector<CBonedAnim*> players;
    bool ok = false;

    explicit Players(bool blend)
    {
        CGameObjectManager* objects = groupWorld();
        if (!objects) return;
        group = std::make_unique<CBonedAnimGroup>(objects);
        if (!group->AddAnim("data\\anims\\walk.ini", 0, "data\\anims\\walk_tween.ini") ||
            !group->AddAnim("data\\anims\\wave.ini", 1, ""))
            return;
        for (int i = 0; i < PLAYERS; ++i) {
            auto* player = static_cast<CBonedAnim*>(group->CreateInstance());
            if (!player) return;
            player->LoopAnimNow(0);
            for (int f = 0; f < 3; ++f) player->Update();
            if (blend) {
                player->LoopAnimNow(1);
                for (int f = 0; f < 3; ++f) player->Update();
            }
            if ((player->GetParam().blending != 0) != blend) return;
            players.push_back(player);
        }
        ok = true;
    }
};

void groupFrames(benchmark::State& state, bool blend)
{
    Players p(blend);
    if (!p.ok) return state.SkipWithError("the group could not be made");
    for (auto _ : state)
        for (CBonedAnim* player : p.players) player->Update();
    if (p.players.front()->GetParam().blending != (blend ? 1 : 0)) return state.SkipWithError("the blend ended early");
    state.SetItemsProcessed(state.iterations() * PLAYERS * kNodes);
}

void BM_GroupPlaying(benchmark::State& state) { groupFrames(state, false); }
void BM_GroupBlending(benchmark::State& state) { groupFrames(state, true); }

// The node as the instance keeps it: rotation rows, translation and scale.
struct NodeOut {
    float rotation[9], translation[3], scale[3];
};

struct Pose {
    Vector3 position, scale;
    Quaternion rotation;
};

Pose sample(const Track& track, float t)
{
    int i0, i1;
    float f;
    Pose pose;
    findLinear(track.times, t, i0, i1, f);
    pose.scale = mix(track.scales[i0], track.scales[i1], f);
    pose.position = mix(track.positions[i0], track.positions[i1], f);
    quatSlerp(track.rotations[i0], track.rotations[i1], f, pose.rotation);
    return pose;
}

void store(const Pose& pose, NodeOut& out)
{
    Matrix3 m;
    quatToMatrix3(pose.rotation, m);
    for (int i = 0; i < 9; ++i) out.rotation[i] = m.element(i);
    out.translation[0] = pose.position.x, out.translation[1] = pose.position.y, out.translation[2] = pose.position.z;
    out.scale[0] = pose.scale.x, out.scale[1] = pose.scale.y, out.scale[2] = pose.scale.z;
}

// Each player's time moves a frame; its nodes are sampled from the walk (and, blending, from the
// wave too, the two poses mixed) and stored.
void plainFrames(benchmark::State& state, bool blend)
{
    const std::vector<Track> walk = makeTracks(GROUP_KEYS, WALK_SEED), wave = makeTracks(GROUP_KEYS, WAVE_SEED);
    const float duration = walk[0].times.back();
    std::vector<float> times(PLAYERS, 0.0f);
    std::vector<NodeOut> nodes(static_cast<size_t>(PLAYERS) * kNodes);
    const float position = 0.5f;
    for (auto _ : state)
        for (int p = 0; p < PLAYERS; ++p) {
            float& t = times[p];
            t = std::fmod(t + STEP, duration);
            for (int n = 0; n < kNodes; ++n) {
                Pose pose = sample(blend ? wave[n] : walk[n], t);
                if (blend) {
                    const Pose from = sample(walk[n], t);
                    Quaternion q;
                    quatSlerp(from.rotation, pose.rotation, position, q);
                    pose.rotation = q;
                    pose.position = mix(from.position, pose.position, position);
                    pose.scale = mix(from.scale, pose.scale, position);
                }
                store(pose, nodes[static_cast<size_t>(p) * kNodes + n]);
            }
        }
    benchmark::DoNotOptimize(nodes.data());
    state.SetItemsProcessed(state.iterations() * PLAYERS * kNodes);
}

void BM_PlainPlaying(benchmark::State& state) { plainFrames(state, false); }
void BM_PlainBlending(benchmark::State& state) { plainFrames(state, true); }

BENCHMARK(BM_GroupPlaying);
BENCHMARK(BM_PlainPlaying);
BENCHMARK(BM_GroupBlending);
BENCHMARK(BM_PlainBlending);
BENCH_PAIR(BM_GroupPlaying, BM_PlainPlaying);
BENCH_PAIR(BM_GroupBlending, BM_PlainBlending);

}  // namespace

VELDRANE_BENCH_MAIN("animation")
