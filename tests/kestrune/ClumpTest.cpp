// Clump files and the clump manager on the scripted card (the sloped world of ClumpWorld.h, sounds on
// the DirectSound stand-in, a stand-in for the effect objects that knows the effect "spark", a
// logging weapon seam), and the sample clumps drawn headless by the OpenGL renderer.
#include "ClumpView.h"
#include "ClumpWorld.h"
#include "FacadeFixture.h"
#include "WavWriter.h"
#include "ai/Sun.h"
#include "ai/WorldMgr.h"
#include "audio/AudioManager.h"
#include "global/ProjData.h"
#include "kestrune/ClumpManager.h"
#include "l3render/ModelClump.h"
#include "l3render/ModelManager.h"
#include "matcore9/BufferAllocator.h"
#include "matcore9/HWDynamicMesh.h"
#include "platform/testing/dsound.h"
#include "weapons/WeaponDescription.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

namespace {

namespace cw = clumpwriter;
namespace ds = platform::testing::dsound;
using testsupport::countReports;

// What the weapon seam saw: "make <name> <owned> <flags>", "update <ms> <flag>", "gone".
std::vector<std::string> weaponLog;

struct LoggingWeapon : WeaponDescription {
    ~LoggingWeapon() override { weaponLog.push_back("gone"); }
    void Update(int ms) override { weaponLog.push_back("update " + std::to_string(ms) + " " + std::to_string(d_updateEnabled)); }
};

// The effect objects the clumps started ("spark" is the one type), which they hold by address
// without looking into them: where each started and whether it still runs.
struct StartedEffect {
    Vector3 position;
    bool running = true;
};
std::vector<std::unique_ptr<StartedEffect>> startedEffects;
StartedEffect* started(const CParticleSystemEffect* p) { return reinterpret_cast<StartedEffect*>(const_cast<CParticleSystemEffect*>(p)); }
const SClumpEffectObjects effectObjects = {
    [](const char* pName, uint32_t* pTypeId) { return std::strcmp(pName, "spark") == 0 && (*pTypeId = 1); },
    [](uint32_t, const Vector3& position) {
        startedEffects.push_back(std::make_unique<StartedEffect>(StartedEffect{position}));
        return reinterpret_cast<CParticleSystemEffect*>(startedEffects.back().get());
    },
    [](const CParticleSystemEffect* pEffect) { return started(pEffect)->running; },
    [](CParticleSystemEffect* pEffect, bool) { started(pEffect)->running = false; },
};

class ClumpTest : public FacadeFixture {
protected:
    void SetUp() override
    {
        FacadeFixture::SetUp();
        platform::testing::dsound::useManualClock();
        ASSERT_TRUE(startFacade());
        createProjData();
        clumpworld::makeWorld();
        m_dir.write("shot.wav", wavtest::wav({1, 22050, 16, 16, ""}, wavtest::pattern(2000)));
        ASSERT_TRUE(getProjData().createAudioManager());
        startedEffects.clear();
        weaponLog.clear();
        SetCreateWeaponHook([](const char* name, int owned, int flags) -> WeaponDescription* {
            weaponLog.push_back("make " + std::string(name) + " " + std::to_string(owned) + " " + std::to_string(flags));
            return new LoggingWeapon;
        });
        CSun::resetSunProperties();
        for (const char* name : {"clumps/demo.clump", "clumps/clump.mtl", "clumps/rock.rsm", "clumps/tree.rsm", "clumps/stump.rsm"})
            copyData(name);  // the shipped set
        testsupport::clearReports();
    }

    void TearDown() override
    {
        clumps.ReleaseHeldObjects();
        clumps.Unload();
        EXPECT_EQ(CModelManager::GetNumModels() + CModelManager::GetNumModelInsts() + CModelManager::GetNumElements(), 0u);
        EXPECT_EQ(CBufferAllocator::GetInstance()->BlocksInUse(), 0u);
        SetCreateWeaponHook(nullptr);
        delete std::exchange(getProjData().pWorldMgr, nullptr);
        destroyProjData();
        D3DCore.FreeDisplayHandles();
        CBufferAllocator::DestroyInstance();
        FacadeFixture::TearDown();
    }
    // A file of models 0 rock, 1 tree, 2 stump (data\clumps\*.rsm) and the types, of the version.
    static cw::File withModels(std::vector<cw::Type> types, uint32_t version = 11)
    {
        cw::File f = democlumps::demo();
        f.Version = version;
        f.Types = std::move(types);
        return f;
    }
    bool load(const cw::File& f)
    {
        m_dir.write("data/clumps/test.clump", cw::file(f));
        return clumps.LoadClumpFile("data\\clumps\\test.clump");
    }
    CClumpInstance& clump(uint32_t type, uint32_t index = 0) { return clumps.GetClumpType(type)->pClumpList[index]; }
    CClumpElementData& element(uint32_t type, uint32_t id) { return *clump(type).d_pClump->GetElement(id); }
    // The combined-mesh vertices of an element: positions and diffuse colours.
    static std::vector<std::pair<Vector3, uint32_t>> vertices(const CClumpElementData& e)
    {
        std::vector<std::pair<Vector3, uint32_t>> out;
        for (const CClumpPiece* p = e.pFirstPiece; p; p = p->pNext) {
            const uint8_t* v = static_cast<const uint8_t*>(p->pDSM->LockVertices(DSM_LOCK_READ));
            for (uint32_t i = p->vertexOffset; i < uint32_t(p->vertexOffset + p->vertexCount); ++i) {
                float at[4];  // position and colour
                std::memcpy(at, v + i * p->pDSM->GetVertexSize(), 16);
                out.push_back({Vector3(at[0], at[1], at[2]), std::bit_cast<uint32_t>(at[3]) & 0xFFFFFF});
            }
            p->pDSM->UnlockVertexRange(0, 0);
        }
        return out;
    }

    CClumpManager clumps{&effectObjects};
};

// Every optional part: tree and stump, state 0 with sound 0 and effect "spark".
cw::Type fullType()
{
    cw::Type t;
    t.Team = 7, t.SecondPair = 1, t.ObjectType = 1, t.Flags = 2 | 4, t.Further = 9;
    t.FireWeapon = "fire.txt";
    t.FadeNear = 100, t.FadeFar = 200, t.SecondNear = 10, t.SecondFar = 20, t.Health = 50;
    t.FallSound = 0, t.SoundMinDistance = 40, t.SoundVolume = 0.5f;
    t.States = {{1, 0, "spark"}, {2, cw::NO_SOUND, ""}};
    t.Clumps = {{{democlumps::element(150, 250, 0xFFFFFF)}}};
    return t;
}

ds::BufferState lastVoice() { return ds::buffers().back(); }  // the newest duplicate

std::string heldName(const CClumpManager& m, uint32_t slot)
{
    const StartedEffect* e = started(m.GetHeldEffect(slot));
    return !e ? "-" : e->running ? "spark" : "ended";
}

}  // namespace

TEST_F(ClumpTest, VersionsThreeToElevenReadTheirPartsAndDefaultTheRest)
{
    for (uint32_t v = 3; v <= 11; ++v) {
        SCOPED_TRACE(v);
        cw::File f = withModels({fullType()}, v);
        f.Sounds = {"shot.wav"};
        const int plays = ds::calls("DuplicateSoundBuffer");
        ASSERT_TRUE(load(f));
        const CClumpType& t = *clumps.GetClumpType(0);
        const std::vector<float> got = {float(t.team),     float(t.flags),          float(t.further),
                                        t.fadeFar,         t.fadeNear,              t.secondFadeFar,
                                        t.secondFadeNear,  t.health,                float(t.fallSound),
                                        float(t.stateSound[0]), t.soundMinDistance, t.soundVolume,
                                        float(clumps.GetNumSounds()), float(t.pFireWeapon != nullptr)};
        const bool f4 = v >= 4, f7 = v >= 7, f9 = v >= 9;
        const std::vector<float> want = {v >= 8 ? 7.0f : 255.0f, v >= 5 ? 6.0f : 0.0f, v >= 11 ? 9.0f : 2.0f,
                                         f4 ? 200.0f : 6000.0f,   f4 ? 100.0f : 5000.0f, f4 ? 20.0f : 2000.0f,
                                         f4 ? 10.0f : 1500.0f,    f4 ? 50.0f : 0.0f,     f7 ? 0.0f : 32767.0f,
                                         f7 ? 0.0f : 32767.0f,    f9 ? 40.0f : -1.0f,    f9 ? 0.5f : 1.0f,
                                         f7 ? 1.0f : 0.0f,        v >= 6 ? 1.0f : 0.0f};
        EXPECT_EQ(got, want);
        // The load put every element into state 0: its effect runs, its sound plays (from 7).
        EXPECT_EQ(heldName(clumps, 0), "spark");
        EXPECT_EQ(ds::calls("DuplicateSoundBuffer") - plays, f7 ? 1 : 0);
        clumps.UpdateFireWeapons();
        clumps.ReleaseHeldObjects();
        clumps.Unload();
    }
    // Versions 6 to 11 made their fire weapon with (name, 1, 0) and its update flag set, stepped it
    // by 33 ms, and Unload destroyed it.
    for (const char* line : {"make fire.txt 1 0", "update 33 1", "gone"})
        EXPECT_EQ(std::count(weaponLog.begin(), weaponLog.end(), line), 6) << line;
}

TEST_F(ClumpTest, StateChangesSwapTheMeshAndStartTheStatesEffectAndSound)
{
    cw::Type trees = fullType();
    trees.Flags = 0, trees.SoundMinDistance = 0;
    trees.States = {{1}, {2, 0, "spark"}};
    trees.Clumps = {{{democlumps::element(150, 250, 0x00FF00), democlumps::element(250, 250, 0x00FF00)}}};
    cw::Type rocks = trees;  // lit by the sun at each change
    rocks.Index = 1, rocks.Flags = 8, rocks.States = {{0}, {0}};
    cw::File f = withModels({trees, rocks});
    f.Sounds = {"shot.wav", ""};
    CSun::setSunColour(1.0f, 0.5f, 1.0f);
    ASSERT_TRUE(load(f));
    EXPECT_EQ(countReports("Clump specified an empty sound"), 1);
    testsupport::clearReports();
    EXPECT_EQ(startedEffects.size(), 0u);
    auto top = [&] {
        float z = -1e9f;
        for (const auto& v : vertices(element(0, 0))) z = std::max(z, v.first.z);
        return z - element(0, 0).pModelInst->m_transform.Translation[2];
    };
    EXPECT_FLOAT_EQ(top(), 80.0f);
    // Without play only the mesh changes; with it the effect starts where asked and the sound plays
    // at the element with the default minimum distance.
    CClumpInstance& c = clump(0);
    ASSERT_TRUE(c.SetElementState(0, 1, nullptr, false));
    EXPECT_EQ(std::make_tuple(1u, 20.0f, std::string("-")), std::make_tuple(uint32_t(c.GetElementState(0)), top(), std::string(heldName(clumps, 0))));
    const int plays = ds::calls("Play");
    const Vector3 at(1, 2, 3);
    ASSERT_TRUE(c.SetElementState(1, 1, &at, true));
    ASSERT_EQ(std::make_pair(std::string("spark"), 1), std::make_pair(std::string(heldName(clumps, 0)), ds::calls("Play") - plays));
    EXPECT_EQ(started(clumps.GetHeldEffect(0))->position.x, 1.0f);
    EXPECT_EQ(std::pair(lastVoice().pending.minDistance, lastVoice().pending.position.x), std::pair(500.0f, 250.0f));
    // Played directly: none, an empty slot and an id past the sounds play nothing.
    int32_t voice = 0;
    for (uint32_t sound : {uint32_t(cw::NO_SOUND), 1u, 2u}) EXPECT_FALSE(clumps.PlayClumpSound(sound, at, 1, 1, &voice)) << sound;
    ASSERT_TRUE(clumps.PlayClumpSound(0, at, 0.5f, 75.0f, &voice));
    EXPECT_EQ(std::make_pair(2, 75.0f), std::make_pair(int(voice), lastVoice().pending.minDistance));
    // Elements, states and indices out of range are reported and answer none.
    for (auto [element, state] : {std::pair{2u, 1u}, {0u, 6u}, {0u, 3u}})
        EXPECT_FALSE(c.SetElementState(element, state, nullptr, true)) << element << " " << state;
    EXPECT_EQ(c.GetElementState(7), CClumpInstance::NO_STATE);
    uint32_t id = 0;
    for (auto [type, state] : {std::pair{0u, 6u}, {5u, 0u}, {0u, 0u}}) EXPECT_FALSE(clumps.GetStateEffect(type, state, &id)) << type << " " << state;
    EXPECT_EQ(nullptr, clumps.GetModel(3));
    EXPECT_EQ(nullptr, clumps.GetClumpType(2));
    EXPECT_EQ(testsupport::reports().size(), 9u);
}

TEST_F(ClumpTest, BadFilesAreOneReportNamingThemAndFailOrReadOnWithoutLeaking)
{
    const std::string big(300, 'x');
    // typeFails: the load ends in a clump type, which also ends the allocator's recycling.
    struct Row { const char* report; bool loads, typeFails; std::function<void(cw::File&)> edit; };
    const std::vector<Row> rows = {
        {"CGEN header not found", true, false, [](cw::File& f) { f.Magic = 0x4E454744; }},
        {"FATAL: Wrong version clump file", true, false, [](cw::File& f) { f.Version = 2; }},
        {"numModels * 8 <= bytesLeft", false, false, [](cw::File& f) { f.NumModels = 1000; }},
        {"nameLen > 1", false, false, [](cw::File& f) { f.Models[0].Lod1 = std::string(1, '\0'); }},
        {"nameLen < 512", false, false, [](cw::File& f) { f.Models[0].Lod0 = std::string(600, 'm'); }},
        {"numSounds * 4 <= bytesLeft", false, false, [](cw::File& f) { f.NumSounds = 1 << 30; }},
        {"soundNameLen <= 256", false, false, [&](cw::File& f) { f.Sounds = {big}; }},
        {"numClumpTypes * minTypeBytes <= bytesLeft", false, true, [](cw::File& f) { f.NumTypes = 1 << 28; }},
        {"typeIndex < d_numClumpTypes", false, true, [](cw::File& f) { f.Types[0].Index = 1; }},
        {"numStates <= MAX_CLUMP_ELEMENT_STATES", false, true, [](cw::File& f) { f.Types[0].NumStates = 7; }},
        {"modelIndex < d_numModels", false, true, [](cw::File& f) { f.Types[0].States[1].Model = 3; }},
        {"Failed to read clump fire weapon name", false, true, [](cw::File& f) { f.Types[0].FireWeapon = ""; }},
        {"Failed to read clump fire weapon name", false, true, [&](cw::File& f) { f.Types[0].FireWeapon = big; }},
        {"effectNameLen <= 256", false, true, [&](cw::File& f) { f.Types[0].States[1].Effect = big; }},
        {"Failed to get resource ID for clump particle effect", true, false, [](cw::File& f) { f.Types[0].States[1].Effect = "x"; }},
        {"numClumps * 52 <= bytesLeft", false, true, [](cw::File& f) { f.Types[0].NumClumps = 5; }},
        {"numObjects > 0", false, true, [](cw::File& f) { f.Types[0].Clumps[0].NumElements = 0; }},
        {"numObjects * 48 <= bytesLeft", false, true, [](cw::File& f) { f.Types[0].Clumps[0].NumElements = 2; }},
        {"Clump default state out of range", false, true, [](cw::File& f) { f.Types[0].Clumps[0].Elements[0].DefaultState = 2; }},
        {"No clump types defined", true, false, [](cw::File& f) { f.Types.clear(); }},
        // Files the entries name that do not load: their loaders name them, and nothing more is said.
        {"RSM <none.rsm> file not found", false, false, [](cw::File& f) { f.Models[2].Lod0 = f.Models[2].Lod1 = "none.rsm"; }},
        {"Failed to open WAV file: none.wav", true, false, [](cw::File& f) { f.Sounds = {"none.wav"}; }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.report);
        cw::File f = withModels({fullType()});
        f.Sounds = {"shot.wav"};
        row.edit(f);
        testsupport::clearReports();
        CBufferAllocator::GetInstance()->EnableRecycling();
        EXPECT_EQ(load(f), row.loads);
        EXPECT_EQ(countReports(row.report), 1);
        EXPECT_EQ(testsupport::reports().size(), 1u);
        if (std::string(row.report).find("none.") == std::string::npos) {
            EXPECT_EQ(countReports("Clump file data\\clumps\\test.clump: "), 1);
        }
        EXPECT_EQ(CBufferAllocator::GetInstance()->Recycling(), !row.typeFails);
        if (row.typeFails && f.NumTypes < 0) {  // the models read stay, and a second load fails
            EXPECT_EQ(3, int(clumps.GetNumModels()));
            EXPECT_FALSE(load(f));
        }
        clumps.ReleaseHeldObjects();
        clumps.Unload();
        EXPECT_EQ(CModelManager::GetNumModels() + CModelManager::GetNumModelInsts(), 0u);
    }
    // The sound that did not load leaves its slot silent; a state change plays nothing.
    cw::File silent = withModels({fullType()});
    silent.Sounds = {"none.wav"};
    ASSERT_TRUE(load(silent));
    const int plays = ds::calls("DuplicateSoundBuffer");
    EXPECT_TRUE(clump(0).SetElementState(0, 0, nullptr, true));
    EXPECT_EQ(ds::calls("DuplicateSoundBuffer"), plays);
    clumps.ReleaseHeldObjects();
    clumps.Unload();

    // Elements far past any map read on. One placed, turned or scaled by no number is left out,
    // and a clump whose every element is is left out whole: one report, and the clumps after it
    // take its place.
    const float inf = INFINITY, nan = std::nanf("");
    cw::Element far = democlumps::element(3e20f, -3e20f, 0xFFFFFF), noPlace = democlumps::element(inf, 250, 0xFFFFFF),
                noTurn = democlumps::element(150, 250, 0xFFFFFF), noScale = noTurn, overflowing = noTurn;
    noTurn.Rotation[1] = nan;
    noScale.Scale[2] = -inf;
    overflowing.Rotation[0] = 3e38f;  // a number whose rotation is none
    cw::Type damaged = fullType();
    damaged.Clumps = {{{noPlace, noTurn}}, {{far, noScale, democlumps::element(150, 260, 0xFFFFFF), overflowing}},
                      {{democlumps::element(170, 250, 0xFFFFFF)}}};
    cw::File withDamage = withModels({damaged});
    withDamage.Sounds = {"shot.wav"};
    testsupport::clearReports();
    ASSERT_TRUE(load(withDamage));
    EXPECT_EQ(testsupport::reports().size(), 1u);
    EXPECT_EQ(countReports("Clump file data\\clumps\\test.clump: an element placed, turned or scaled by no number"), 1);
    ASSERT_EQ(clumps.GetClumpType(0)->numClumps, 2u);
    EXPECT_EQ(clump(0, 0).d_numInstances, 2u);
    EXPECT_EQ(clump(0, 0).d_pClump->GetNumElements(), 2u);
    EXPECT_EQ(clump(0, 0).d_ppModelInst[1]->m_transform.Translation[1], 260.0f);
    EXPECT_EQ(clump(0, 1).d_ppModelInst[0]->m_transform.Translation[0], 170.0f);
    clumps.ReleaseHeldObjects();
    clumps.Unload();

    EXPECT_FALSE(clumps.LoadClumpFile("data\\clumps\\none.clump"));
    EXPECT_EQ(countReports("Clump file data\\clumps\\none.clump: Clump file not found"), 1);
    // Cut short anywhere, the file fails; too short for its header, it leaves the recycling on.
    const std::string whole = cw::file(withModels({fullType()}));
    for (size_t n = 0; n < whole.size(); clumps.Unload(), ++n) {
        m_dir.write("data/clumps/cut.clump", whole.substr(0, n));
        CBufferAllocator::GetInstance()->EnableRecycling();
        EXPECT_FALSE(clumps.LoadClumpFile("data\\clumps\\cut.clump")) << n;
        if (n < 8) {
            EXPECT_TRUE(CBufferAllocator::GetInstance()->Recycling()) << n;
        }
    }
}

// The clump fuzz target's seeds load whole on the sample models and name at most two of them:
// loading a model is most of an input's cost, and the target's time belongs to the clump reader.
TEST_F(ClumpTest, TheFuzzSeedsLoadWholeNamingFewModels)
{
    int seeds = 0;
    for (const auto& seed : std::filesystem::directory_iterator(CLUMP_FUZZ_SEEDS)) {
        SCOPED_TRACE(seed.path().string());
        std::ifstream in(seed.path(), std::ios::binary);
        m_dir.write("data/clumps/seed.clump", std::string(std::istreambuf_iterator<char>(in), {}));
        EXPECT_TRUE(clumps.LoadClumpFile("data\\clumps\\seed.clump"));
        EXPECT_LE(clumps.GetNumModels(), 2u);
        EXPECT_GT(clumps.GetNumClumpTypes(), 0u);
        EXPECT_TRUE(testsupport::reports().empty());
        clumps.ReleaseHeldObjects();
        clumps.Unload();
        ++seeds;
    }
    EXPECT_GT(seeds, 0);
}

namespace {

const DWORD CLEAR = 0x000050;

class ClumpPixelTest : public ClumpTest {
protected:
    ClumpPixelTest()
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        d3d9ref::setRendererFactory(&d3d9gl::createOffscreenDeviceRenderer);
        m_drawing = true;
    }
    // One frame of every clump drawn combined.
    void frame()
    {
        clumpview::frame([this] {
            bool visible = false;
            for (uint32_t t = 0; t < clumps.GetNumClumpTypes(); ++t) {
                EXPECT_FALSE(clump(t).d_pClump->Render(0.0f, true, &visible)) << t;
                EXPECT_TRUE(visible) << t;
            }
        });
        m_image = frontBuffer(640, 480);
    }
    DWORD at(const Vector3& world) const { return clumpview::at(m_image, world); }

    std::vector<DWORD> m_image;
};

}  // namespace

TEST_F(ClumpPixelTest, TheSampleClumpsStandOnTheSlopeInTheirColoursAndAStateShowsItsModel)
{
    // A sun along the view, no ambient: the faces towards the camera take the rocks' colours.
    float sun[CSun::NUM_WORDS] = {1, 0, 0, 0, 0, 0, 0, 1, 1, 1};
    CSun::setSunProperties(sun);
    D3DCore.SetClearColour(true, 0, 0, 0x50);
    ASSERT_TRUE(clumps.LoadClumpFile("data\\clumps\\demo.clump"));
    frame();
    // Trees of 80 stand at x 400, where the ground is at 80: in their colours from the ground up.
    auto colourOf = [this](uint32_t i) { const uint8_t* c = element(1, i).colour; return DWORD(c[0] << 16 | c[1] << 8 | c[2]); };
    for (uint32_t i = 0; i < 4; ++i) {
        const float x = 400, y = element(1, i).pModelInst->m_transform.Translation[1];
        EXPECT_EQ(std::vector<DWORD>({at({x, y, 74}), at({x, y, 86}), at({x, y, 154}), at({x, y, 166})}),
                  std::vector<DWORD>({CLEAR, colourOf(i), colourOf(i), CLEAR}))
            << i;
    }
    // The rocks in front (the middle one turned), lit on their faces towards the sun.
    for (uint32_t i : {0u, 2u}) {
        const DWORD c = at({300, element(0, i).pModelInst->m_transform.Translation[1], 62});
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(int(c >> (16 - 8 * k) & 0xFF), element(0, i).colour[k], 12) << i << " " << std::hex << c;
    }
    // Tree 0 becomes a stump of 20 in its own colour.
    ASSERT_TRUE(clump(1).SetElementStateEx(0, 1, CClumpInstance::COPY_MASK_DEFAULT, nullptr, false));
    frame();
    const float y0 = element(1, 0).pModelInst->m_transform.Translation[1];
    EXPECT_EQ(std::vector<DWORD>({at({400, y0, 90}), at({400, y0, 110}), at({400, y0, 150})}),
              std::vector<DWORD>({colourOf(0), CLEAR, CLEAR}));
}
