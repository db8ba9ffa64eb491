#include "effects/particlesystem/KeyFrames.h"

#include "ParticleFixture.h"
#include "TestSupport.h"
#include "utility/BlockFile.h"

#include <gtest/gtest.h>

using particletest::section;
using testsupport::countReports;

namespace {

// A kind's block holding one keys block of (time, size) middle keys between sizes 10 and 20.
std::unique_ptr<CParamBlock> kindBlock(const std::vector<std::pair<const char*, float>>& middle)
{
    std::string keys = section("", {"size 10"});
    for (const auto& [time, size] : middle)
        keys += section("", {std::string("time ") + time, "size " + std::to_string(size)});
    keys += section("", {"size 20"});
    const std::string text = section("spriteparticles", {section("sizekeys", {keys})});
    const char* cursor = text.c_str();
    CParamBlock* pBlock = nullptr;
    EXPECT_TRUE(parseBlock(cursor, &pBlock, 0, 64));
    return std::unique_ptr<CParamBlock>(pBlock);
}

std::vector<int32_t> frames(const KeyFrames<float>& track)
{
    std::vector<int32_t> out;
    for (int32_t i = 0; i < track.GetNumFrames(); ++i) out.push_back(track.GetKey(i).frame);
    return out;
}

}  // namespace

TEST(KeyFramesTest, SamplesBlendBetweenNeighbouringKeysAndHoldAtTheEnds)
{
    KeyFrames<float> track;
    track.Build(10.0f, 20.0f, 99);
    EXPECT_FLOAT_EQ(track.Sample(0), 10.0f);
    EXPECT_NEAR(track.Sample(33), 13.333333f, 1e-5f);
    EXPECT_FLOAT_EQ(track.Sample(99), 20.0f);
    EXPECT_FLOAT_EQ(track.Sample(-5), 10.0f);
    // Past the last key (a lifespan of 0 lets ages grow without end): the last value, not beyond.
    EXPECT_FLOAT_EQ(track.Sample(1000), 20.0f);
    track.Build(10.0f, 20.0f, -1);
    EXPECT_FLOAT_EQ(track.Sample(1), 20.0f);

    KeyFrames<Vector3> colour;
    colour.Build(Vector3(0, 0, 0), Vector3(1, 2, 4), 10);
    colour.Insert(5, Vector3(1, 1, 1));
    const Vector3 c = colour.Sample(8);
    EXPECT_FLOAT_EQ(c.x, 1.0f);
    EXPECT_FLOAT_EQ(c.y, 1.6f);
    EXPECT_FLOAT_EQ(c.z, 2.8f);
    EXPECT_EQ(testsupport::reports().size(), 0u);
}

TEST(KeyFramesTest, KeysBlocksGiveFramesFromTheLifespanInReadingOrder)
{
    KeyFrames<float> track;
    // Fractions of a lifespan of 100; equal frames keep their reading order.
    auto pBlock = kindBlock({{"0.5", 30.0f}, {"0.25", 40.0f}, {"0.5", 50.0f}});
    ReadKeyFrames(pBlock.get(), "sizekeys", "size", 1.0f, 1.0f, 100, "Sprites.cpp", 1, track);
    EXPECT_EQ(frames(track), (std::vector<int32_t>{0, 25, 50, 50, 99}));
    EXPECT_FLOAT_EQ(track.GetKey(2).value, 30.0f);
    EXPECT_FLOAT_EQ(track.GetKey(3).value, 50.0f);
    EXPECT_FLOAT_EQ(track.Sample(50), 30.0f);
    EXPECT_EQ(testsupport::reports().size(), 0u);

    // 0.999 lies on the last frame: reported and kept in order. Angles are read in degrees.
    pBlock = kindBlock({{"0.999", 90.0f}});
    ReadKeyFrames(pBlock.get(), "sizekeys", "size", 0.0f, 0.017453292f, 100, "Sprites.cpp", 1, track);
    EXPECT_EQ(frames(track), (std::vector<int32_t>{0, 99, 99}));
    EXPECT_FLOAT_EQ(track.GetKey(2).value, 1.5707963f);
    EXPECT_EQ(countReports("time<m_endFrame"), 1);

    // No keys block: constant at the default; with no lifespan every age shows the first key.
    ReadKeyFrames(pBlock.get(), "alphakeys", "alpha", 7.0f, 1.0f, 100, "Sprites.cpp", 1, track);
    EXPECT_FLOAT_EQ(track.Sample(42), 7.0f);
    pBlock = kindBlock({{"0.5", 15.0f}});
    ReadKeyFrames(pBlock.get(), "sizekeys", "size", 0.0f, 1.0f, -1, "Sprites.cpp", 1, track);
    EXPECT_FLOAT_EQ(track.Sample(0), 10.0f);
}

TEST(KeyFramesTest, KeysBlocksOfOneKeyOrTooManyAreReportedAndNeverOverflow)
{
    KeyFrames<float> track;
    std::vector<std::pair<const char*, float>> many;
    const char* times[] = {"0.05", "0.1", "0.15", "0.2", "0.25", "0.3", "0.35", "0.4", "0.45",
                           "0.5",  "0.55", "0.6", "0.65", "0.7", "0.75", "0.8", "0.85", "0.9"};
    for (const char* t : times) many.push_back({t, 1.0f});
    auto pBlock = kindBlock(many);  // 20 keys: six fit between the ends
    ReadKeyFrames(pBlock.get(), "sizekeys", "size", 0.0f, 1.0f, 100, "Sprites.cpp", 1, track);
    EXPECT_EQ(frames(track), (std::vector<int32_t>{0, 5, 10, 15, 20, 25, 30, 99}));
    EXPECT_EQ(countReports("m_numFrames<8"), 12);

    const std::string text = section("spriteparticles", {section("sizekeys", {section("", {"size 5"})})});
    const char* cursor = text.c_str();
    CParamBlock* pOne = nullptr;
    ASSERT_TRUE(parseBlock(cursor, &pOne, 0, 64));
    ReadKeyFrames(pOne, "sizekeys", "size", 0.0f, 1.0f, 100, "Sprites.cpp", 77, track);
    delete pOne;
    ASSERT_EQ(countReports("numKeys>=2"), 1);
    for (const auto& r : testsupport::reports())
        if (r.expression == "numKeys>=2") {
            EXPECT_EQ(r.file, "Sprites.cpp");
        }
    EXPECT_FLOAT_EQ(track.Sample(50), 5.0f);
}
