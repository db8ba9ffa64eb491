// Clump files and the clump manager: the version matrix, placement and colour, state changes with
// their effects and sounds, the effect ring, weapons, bad files and unloading.
#include "ClumpFixture.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

namespace {

namespace ds = platform::testing::dsound;
using testsupport::countReports;

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

std::vector<ds::BufferState> voices()
{
    std::vector<ds::BufferState> out;
    for (const ds::BufferState& b : ds::buffers())
        if (b.original) out.push_back(b);
    return out;
}

uint32_t effectType(const char* name)
{
    uint32_t id = 0;
    EXPECT_TRUE(pTheObjectManager->findTypeId(CResourceManager::MANAGER_EFFECTS, name, &id));
    return id;
}

std::string heldName(const CClumpManager& m, uint32_t slot)
{
    const CParticleSystemEffect* e = m.GetHeldEffect(slot);
    return !e ? "-" : e->getEffect() ? e->getDefinition()->typeName : "ended";
}

class ClumpTest : public ClumpFixture {};

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
        EXPECT_EQ(t.particleEffect[1], CClumpType::NO_EFFECT);
        EXPECT_EQ(ds::calls("DuplicateSoundBuffer") - plays, f7 ? 1 : 0);
        EXPECT_EQ(clump(0).d_pClump->m_fadeFar, t.fadeFar);
        clumps.ReleaseHeldObjects();
        clumps.Unload();
    }
    // Versions 6 to 11 made their fire weapon with (name, 1, 0) and Unload destroyed it.
    EXPECT_EQ(std::count(weaponLog().begin(), weaponLog().end(), "make fire.txt 1 0"), 6);
    EXPECT_EQ(std::count(weaponLog().begin(), weaponLog().end(), "fire.txt gone"), 6);
}

TEST_F(ClumpTest, FadeDistancesOutOfOrderOrNegativeTakeTheDefaults)
{
    // (near, far) as written -> (far, near) kept; the second pair the same with its own defaults.
    const float rows[4][4] = {{100, 200, 200, 100}, {200, 100, 6000, 5000}, {-1, 200, 6000, 5000}, {100, -5, 6000, 5000}};
    std::vector<cw::Type> types;
    for (uint32_t i = 0; i < 4; ++i) {
        cw::Type t = fullType();
        t.Index = i, t.Flags = 0, t.States = {{0}};
        t.FadeNear = t.SecondNear = rows[i][0], t.FadeFar = t.SecondFar = rows[i][1];
        types.push_back(t);
    }
    ASSERT_TRUE(load(withModels(types)));
    for (uint32_t i = 0; i < 4; ++i) {
        const CClumpType& t = *clumps.GetClumpType(i);
        const bool kept = i == 0;
        EXPECT_EQ(std::vector<float>({t.fadeFar, t.fadeNear, t.secondFadeFar, t.secondFadeNear}),
                  std::vector<float>({rows[i][2], rows[i][3], kept ? 200.0f : 2000.0f, kept ? 100.0f : 1500.0f}))
            << i;
    }
}

TEST_F(ClumpTest, ElementsStandOnTheLandLeanWithItAndDarkenInDeepShadow)
{
    CAIMap* map = getProjData().pWorldMgr->getAIMap();
    for (const auto& [col, shadow] : {std::pair{1, 150}, {2, 100}, {3, 75}}) map->setShadowHeight(col, 2, shadow);
    // Rocks, leaning; the last off the map, where the ground is flat.
    cw::Type rocks = fullType();
    rocks.Flags = 1, rocks.States = {{0}};
    rocks.Clumps.assign(1, cw::Clump());
    for (float x : {150.0f, 250.0f, 350.0f, 2000.0f}) {
        rocks.Clumps[0].Elements.push_back(democlumps::element(x, 250, 0x6496C8));
        rocks.Clumps[0].Elements.back().Position[2] = 5;
    }
    // The colour under a sun of each brightness: 0.7, and 0.3 which counts as 0.65.
    for (const auto& [sun, dark] : {std::pair{0.7f, 0.7f}, {0.3f, 0.65f}}) {
        SCOPED_TRACE(sun);
        CSun::setSunColour(sun, sun, sun);
        ASSERT_TRUE(load(withModels({rocks})));
        const float factors[4] = {dark, std::max(0.75f, dark), 1.0f, 1.0f};
        for (uint32_t i = 0; i < 4; ++i) {
            const CClumpElementData& e = element(0, i);
            const CModelTransform& t = e.pModelInst->m_transform;
            EXPECT_FLOAT_EQ(t.Translation[2], (i < 3 ? 0.2f * (150 + 100 * i) : 0.0f) + 5) << i;
            // The element's up axis (its third row) is the ground's normal.
            const Vector3 up(t.Rotation[6], t.Rotation[7], t.Rotation[8]);
            EXPECT_NEAR(up.x, i < 3 ? -0.2f / std::sqrt(1.04f) : 0.0f, 1e-4f) << i;
            EXPECT_NEAR(up.z, i < 3 ? 1.0f / std::sqrt(1.04f) : 1.0f, 1e-4f) << i;
            const uint32_t want = uint32_t(std::lround(100 * factors[i])) << 16 |
                                  uint32_t(std::lround(150 * factors[i])) << 8 | uint32_t(std::lround(200 * factors[i]));
            EXPECT_EQ((uint32_t(e.colour[0]) << 16 | e.colour[1] << 8 | e.colour[2]), want) << i;
            for (const auto& [at, colour] : vertices(e))
                for (int shift : {0, 8, 16}) EXPECT_NEAR(int(colour >> shift & 0xFF), int(want >> shift & 0xFF), 1) << i;
        }
        EXPECT_EQ(element(0, 0).numStates, 1);
        clumps.ReleaseHeldObjects();
        clumps.Unload();
    }
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
    f.Sounds = {"shot.wav"};
    CSun::setSunColour(1.0f, 0.5f, 1.0f);
    ASSERT_TRUE(load(f));
    EXPECT_EQ(element(0, 0).numStates, 2);
    EXPECT_EQ(element(0, 0).pModelList[1], clumps.GetModel(2));
    EXPECT_EQ(effectLog().size(), 0u);
    auto top = [&](uint32_t type, uint32_t id) {
        float z = -1e9f;
        for (const auto& v : vertices(element(type, id))) z = std::max(z, v.first.z);
        return z - element(type, id).pModelInst->m_transform.Translation[2];
    };
    EXPECT_FLOAT_EQ(top(0, 0), 80.0f);

    // Without play only the mesh changes; with it the effect starts where asked and the sound plays
    // at the element with the default minimum distance.
    CClumpInstance& c = clump(0);
    ASSERT_TRUE(c.SetElementState(0, 1, nullptr, false));
    EXPECT_EQ(c.GetElementState(0), 1);
    EXPECT_FLOAT_EQ(top(0, 0), 20.0f);
    EXPECT_EQ(heldName(clumps, 0) + std::to_string(voices().size()), "-0");
    const Vector3 at(1, 2, 3);
    ASSERT_TRUE(c.SetElementState(1, 1, &at, true));
    ASSERT_EQ(heldName(clumps, 0), "spark");
    EXPECT_EQ(clumps.GetHeldEffect(0)->getEffect()->GetPosition().x, 1.0f);
    ASSERT_EQ(voices().size(), 1u);
    EXPECT_EQ(voices()[0].pending.minDistance, 500.0f);
    EXPECT_FLOAT_EQ(voices()[0].pending.position.x, 250.0f);

    // Sun-lit: the state's mesh is relit in the element's colour times the sun's and copied with
    // its colours: the top face full, the rest dark.
    ASSERT_TRUE(clump(1).SetElementStateEx(0, 1, CClumpInstance::COPY_MASK_DEFAULT, nullptr, false));
    std::map<uint32_t, int> colours;
    for (const auto& v : vertices(element(1, 0))) ++colours[v.second];
    EXPECT_EQ(colours, (std::map<uint32_t, int>{{0x000000, 20}, {0x008000, 4}}));

    // Elements, states and indices out of range are reported and answer none.
    testsupport::clearReports();
    EXPECT_FALSE(c.SetElementState(2, 1, nullptr, true));
    EXPECT_FALSE(c.SetElementState(0, 6, nullptr, true));
    EXPECT_FALSE(c.SetElementState(0, 3, nullptr, true));
    EXPECT_EQ(c.GetElementState(7), CClumpInstance::NO_STATE);
    uint32_t id = 0;
    EXPECT_FALSE(clumps.GetStateEffect(0, 6, &id) || clumps.GetStateEffect(5, 0, &id) || clumps.GetStateEffect(0, 0, &id));
    EXPECT_TRUE(clumps.GetModel(3) == nullptr && clumps.GetClumpType(2) == nullptr);
    std::vector<std::string> checks;
    for (const auto& r : testsupport::reports()) checks.push_back(r.expression);
    EXPECT_EQ(checks, std::vector<std::string>({"elementId < d_numInstances", "state < MAX_CLUMP_ELEMENT_STATES",
                                                "pData->GetOriginalDSM(state) != NULL", "elementId < d_numInstances",
                                                "state < MAX_CLUMP_ELEMENT_STATES", "clumpType < d_numClumpTypes",
                                                "index < d_numModels", "type < d_numClumpTypes"}));
    EXPECT_EQ(c.GetElementState(0), 1);
}

TEST_F(ClumpTest, TheEffectRingHoldsThirtyTwoAndReusesEndedSlotsInRingOrder)
{
    cw::Type t = fullType();
    t.Flags = 0, t.States = {{1}, {1, 0, "spark"}};
    // The last nearest the listener, so that its sound takes a voice of the full device.
    t.Clumps = {{std::vector<cw::Element>(32, democlumps::element(1500, 1500, 0xFFFFFF))}};
    t.Clumps[0].Elements.push_back(democlumps::element(150, 250, 0xFFFFFF));
    cw::File f = withModels({t});
    f.Sounds = {"shot.wav"};
    ASSERT_TRUE(load(f));
    const int plays = ds::calls("Play");
    for (uint32_t i = 0; i < 33; ++i) clump(0).SetElementState(i, 1, nullptr, true);
    // The 33rd found no slot but still played.
    EXPECT_EQ(logged("create").size(), 32u);
    EXPECT_EQ(ds::calls("Play") - plays, 33);
    EXPECT_FALSE(clumps.StartEffect(effectType("spark"), Vector3()));

    clumps.ReleaseHeldObjects();
    EXPECT_EQ(heldName(clumps, 0) + std::to_string(clumps.GetNextEffectSlot()), "-0");
    for (uint32_t i = 0; i < 32; ++i) EXPECT_TRUE(clumps.StartEffect(effectType(i % 10 == 1 && i < 30 ? "brief" : "spark"), Vector3()));
    m_effects->update(m_objects.get());
    EXPECT_EQ(heldName(clumps, 11), "ended");
    // From the next slot (0) on: 1, 11 and 21 ended; then the ring is full again.
    std::string taken;
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(clumps.StartEffect(effectType("spark"), Vector3()), i < 3);
        taken += heldName(clumps, 1) + heldName(clumps, 11) + heldName(clumps, 21) + " ";
    }
    EXPECT_EQ(taken, "sparkendedended sparksparkended sparksparkspark sparksparkspark ");
    // A type that cannot be made starts nothing but is no failure.
    EXPECT_TRUE(clumps.SetTypeState(0, 1, Vector3()) && !clumps.SetTypeState(0, 0, Vector3()));
}

TEST_F(ClumpTest, SoundsAndFireWeaponsAreTheManagersUntilUnload)
{
    cw::File f = withModels({fullType()});
    f.Sounds = {"", "shot.wav"};
    f.Types[0].States[0].Sound = 1;
    ASSERT_TRUE(load(f));
    EXPECT_EQ(countReports("Clump specified an empty sound"), 1);
    int32_t voice = 0;
    const Vector3 at(10, 20, 30);
    EXPECT_FALSE(clumps.PlayClumpSound(cw::NO_SOUND, at, 1, 1, &voice) || clumps.PlayClumpSound(0, at, 1, 1, &voice));
    EXPECT_FALSE(clumps.PlayClumpSound(2, at, 1, 1, &voice));
    EXPECT_EQ(countReports("id < d_numSoundResources"), 1);
    ASSERT_TRUE(clumps.PlayClumpSound(1, at, 0.5f, 75.0f, &voice));
    EXPECT_GT(voice, 0);
    EXPECT_EQ(voices().back().pending.minDistance, 75.0f);

    clumps.UpdateFireWeapons();
    EXPECT_EQ(weaponLog(), std::vector<std::string>({"make fire.txt 1 0", "fire.txt update 33 1"}));
    clumps.ReleaseHeldObjects();
    clumps.Unload();
    EXPECT_EQ(weaponLog().back(), "fire.txt gone");
    EXPECT_EQ(clumps.GetNumModels() + clumps.GetNumSounds() + clumps.GetNumClumpTypes(), 0u);
    getProjData().getAudioManager()->Update();
    int masters = 0;
    for (const ds::BufferState& b : ds::buffers()) masters += !b.original && b.size != 0 && !(b.flags & DSBCAPS_PRIMARYBUFFER);
    EXPECT_EQ(masters, 1) << "only the silent loop";
}

TEST_F(ClumpTest, BadFilesReportAndFailOrReadOnWithoutLeaking)
{
    using Edit = std::function<void(cw::File&)>;
    const std::string big(300, 'x');
    struct Row {
        const char* report;
        bool loads;
        Edit edit;
    };
    const std::vector<Row> rows = {
        {"CGEN header not found", true, [](cw::File& f) { f.Magic = 0x4E454744; }},
        {"FATAL: Wrong version clump file", true, [](cw::File& f) { f.Version = 2; }},
        {"Failed to load clump models", false, [](cw::File& f) { f.NumModels = 1000; }},
        {"nameLen > 1", false, [](cw::File& f) { f.Models[0].Lod1 = std::string(1, '\0'); }},
        {"nameLen < 512", false, [](cw::File& f) { f.Models[0].Lod0 = std::string(600, 'm'); }},
        {"Failed to load clump models", false, [](cw::File& f) { f.Models[2].Lod0 = f.Models[2].Lod1 = "none.rsm"; }},
        {"Failed to load clump sounds", false, [](cw::File& f) { f.NumSounds = 1 << 30; }},
        {"Failed to load clump sounds", false, [&](cw::File& f) { f.Sounds = {big}; }},
        {"Some sort of error in the clump file", false, [](cw::File& f) { f.NumTypes = 1 << 28; }},
        {"typeIndex < m.d_numClumpTypes", false, [](cw::File& f) { f.Types[0].Index = 1; }},
        {"numStates <= MAX_CLUMP_ELEMENT_STATES", false, [](cw::File& f) { f.Types[0].NumStates = 7; }},
        {"modelIndex < m.d_numModels", false, [](cw::File& f) { f.Types[0].States[1].Model = 3; }},
        {"Failed to read clump fire weapon name", false, [](cw::File& f) { f.Types[0].FireWeapon = ""; }},
        {"Failed to read clump fire weapon name", false, [&](cw::File& f) { f.Types[0].FireWeapon = big; }},
        {"effectNameLen <= 256", false, [&](cw::File& f) { f.Types[0].States[1].Effect = big; }},
        {"Failed to get resource ID for clump particle effect", true, [](cw::File& f) { f.Types[0].States[1].Effect = "x"; }},
        {"numClumps * 52 <= bytesLeft", false, [](cw::File& f) { f.Types[0].NumClumps = 5; }},
        {"numObjects > 0", false, [](cw::File& f) { f.Types[0].Clumps[0].NumElements = 0; }},
        {"numObjects * 48 <= bytesLeft", false, [](cw::File& f) { f.Types[0].Clumps[0].NumElements = 2; }},
        {"Clump default state out of range", false, [](cw::File& f) { f.Types[0].Clumps[0].Elements[0].DefaultState = 2; }},
        {"No clump types defined", true, [](cw::File& f) { f.Types.clear(); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.report);
        cw::File f = withModels({fullType()});
        row.edit(f);
        testsupport::clearReports();
        CBufferAllocator::GetInstance()->EnableRecycling();
        EXPECT_EQ(load(f), row.loads);
        EXPECT_GE(countReports(row.report), 1);
        // A failed type also ends the allocator's recycling; what loaded stays until Unload.
        const bool typeFailed = countReports("Some sort of error in the clump file") > 0;
        EXPECT_EQ(CBufferAllocator::GetInstance()->Recycling(), !typeFailed);
        if (typeFailed && f.NumTypes < 0) {
            EXPECT_EQ(clumps.GetNumModels(), 3u);
        }
        clumps.ReleaseHeldObjects();
        clumps.Unload();
        EXPECT_EQ(CModelManager::GetNumModels() + CModelManager::GetNumModelInsts(), 0u);
    }
    EXPECT_FALSE(clumps.LoadClumpFile("data\\clumps\\none.clump"));
    EXPECT_EQ(countReports("Clump file not found"), 1);

    // Cut short anywhere, the file fails.
    const std::string whole = cw::file(withModels({fullType()}));
    for (size_t n = 0; n < whole.size(); ++n) {
        m_dir.write("data/clumps/cut.clump", whole.substr(0, n));
        EXPECT_FALSE(clumps.LoadClumpFile("data\\clumps\\cut.clump")) << n;
        clumps.ReleaseHeldObjects();
        clumps.Unload();
    }
    EXPECT_EQ(CModelManager::GetNumModels() + CModelManager::GetNumModelInsts(), 0u);
}
