#include "effects/particlesystem/KeyFrames.h"

#include "ParticleFixture.h"
#include "utility/BlockFile.h"

using namespace particletest;

namespace {

// A keys block of sizes 10 ... 20 with middle keys (time, size).
std::string sizeKeys(const std::vector<std::pair<const char*, float>>& middle)
{
    std::string keys = section("", {"size 10"});
    for (const auto& [time, size] : middle)
        keys += section("", {std::string("time ") + time, "size " + std::to_string(size)});
    return section("sizekeys", {keys + section("", {"size 20"})});
}

// The track named as a particle kind reads it from its block (default 7).
KeyFrames<float> readTrack(const std::string& keysBlock, int32_t lifespan, float scale = 1.0f,
                           const char* name = "sizekeys")
{
    const std::string text = section("spriteparticles", {keysBlock});
    const char* cursor = text.c_str();
    CParamBlock* pBlock = nullptr;
    EXPECT_TRUE(parseBlock(cursor, &pBlock, 0, 64));
    KeyFrames<float> track;
    ReadKeyFrames(pBlock, name, "size", 7.0f, scale, lifespan, "Sprites.cpp", 1, track);
    delete pBlock;
    return track;
}

std::vector<int32_t> frames(const KeyFrames<float>& track)
{
    std::vector<int32_t> out(track.GetNumFrames());
    for (size_t i = 0; i < out.size(); ++i) out[i] = track.GetKey(int32_t(i)).frame;
    return out;
}

}  // namespace

TEST(KeyFramesTest, SamplesBlendNeighbouringKeysAndHoldAtBothEnds)
{
    KeyFrames<float> track;
    track.Build(10.0f, 20.0f, 99);
    const std::pair<int32_t, float> samples[] = {{0, 10}, {33, 13.333333f}, {99, 20}, {-5, 10}, {1000, 20}};
    for (const auto& [age, value] : samples) EXPECT_NEAR(track.Sample(age), value, 1e-5f) << age;
    // A lifespan of 0 lets ages grow past the last key: its value, never a read beyond.
    track.Build(10.0f, 20.0f, -1);
    EXPECT_FLOAT_EQ(track.Sample(1), 20.0f);
    KeyFrames<Vector3> colour;
    colour.Build(Vector3(0, 0, 0), Vector3(1, 2, 4), 10);
    colour.Insert(5, Vector3(1, 1, 1));
    expectNear(colour.Sample(8), Vector3(1, 1.6f, 2.8f), 1e-6f);
    EXPECT_EQ(testsupport::reports().size(), 0u);
}

TEST(KeyFramesTest, KeysBlocksPlaceTheirKeysOnTheLifespanAndReportWhatDoesNotFit)
{
    // Equal frames keep their reading order; 0.999 of 100 lies on the last frame and is reported.
    KeyFrames<float> track = readTrack(sizeKeys({{"0.5", 30}, {"0.25", 40}, {"0.5", 50}, {"0.999", 60}}), 100);
    EXPECT_EQ(frames(track), (std::vector<int32_t>{0, 25, 50, 50, 99, 99}));
    EXPECT_FLOAT_EQ(track.Sample(50), 30.0f);
    EXPECT_FLOAT_EQ(track.GetKey(3).value, 50.0f);
    EXPECT_EQ(testsupport::countReports("time<m_endFrame"), 1);
    // No keys block gives the default throughout.
    EXPECT_FLOAT_EQ(readTrack(sizeKeys({}), 100, 1.0f, "alphakeys").Sample(40), 7.0f);

    // 20 keys: six fit between the ends, the rest are reported and dropped.
    std::vector<std::pair<const char*, float>> many;
    for (const char* t : {"0.05", "0.1", "0.15", "0.2", "0.25", "0.3", "0.35", "0.4", "0.45", "0.5", "0.55", "0.6",
                          "0.65", "0.7", "0.75", "0.8", "0.85", "0.9"})
        many.push_back({t, 1.0f});
    EXPECT_EQ(frames(readTrack(sizeKeys(many), 100)), (std::vector<int32_t>{0, 5, 10, 15, 20, 25, 30, 99}));
    EXPECT_EQ(testsupport::countReports("m_numFrames<8"), 12);
    // One key: reported under the kind's own file, and it is both ends.
    testsupport::clearReports();
    track = readTrack(section("sizekeys", {section("", {"size 5"})}), 100);
    ASSERT_EQ(testsupport::reports().size(), 1u);
    EXPECT_EQ(testsupport::reports()[0].expression, "numKeys>=2");
    EXPECT_EQ(testsupport::reports()[0].file, "Sprites.cpp");
    EXPECT_FLOAT_EQ(track.Sample(50), 5.0f);
}
