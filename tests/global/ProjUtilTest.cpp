#include "global/ProjUtil.h"

#include "utility/VectorMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

TEST(ProjUtilTest, RoundsHalvesAwayFromZero)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const int most = std::numeric_limits<int>::max(), least = std::numeric_limits<int>::min();
    for (auto [x, rounded] : {std::pair{2.5f, 3}, {-2.5f, -3}, {-2.4f, -2}, {0.49999997f, 0}, {nan, 0}, {3.0e9f, most},
                              {-3.0e9f, least}})
        EXPECT_EQ(roundToInt(x), rounded) << x;
    EXPECT_EQ(std::vector<float>({fracPart(2.75f), fracPart(-2.75f), fracPart(0.0f)}), std::vector<float>({0.75f, -0.75f, 0.0f}));
    EXPECT_TRUE(isWithinDistance(Vector3(1, 1, 1), Vector3(4, 5, 1), 5.0f));
    EXPECT_FALSE(isWithinDistance(Vector3(1, 1, 1), Vector3(4, 5, 1), 4.99f));
}

TEST(ProjUtilTest, ListsReadExactlyWhatWasAskedWithinTheirRoom)
{
    // Text, separators, count asked (0: as many as there are), room; result, count read, the array.
    const struct {
        const char* text;
        const char* separators;
        int asked, room;
        bool read;
        int count;
        std::vector<int> values;
    } cases[] = {
        {"1,2,3", ",", 2, 4, false, 2, {1, 2, 99, 99}},  // more than asked
        {"4, 5 ,6", ", ", 3, 4, true, 3, {4, 5, 6, 99}},
        {"7,8,9", ",", 0, 4, true, 3, {7, 8, 9, 99}},
        {"1,2,3", ",", 4, 4, false, 4, {1, 2, 3, 99}},        // fewer than asked
        {"1,2,3,4,5", ",", 0, 2, true, 2, {1, 2, 99, 99}},    // reading stops at the room
        {"1,2,3,4,5", ",", 5, 2, false, 5, {1, 2, 99, 99}},
        {"", ",", 0, 4, false, 0, {99, 99, 99, 99}},
        {nullptr, ",", 0, 4, false, 0, {99, 99, 99, 99}},
    };
    for (const auto& c : cases) {
        std::vector<int> values(4, 99);
        int n = c.asked;
        EXPECT_EQ(parseIntList(c.text, values.data(), n, c.separators, c.room), c.read) << (c.text ? c.text : "null");
        EXPECT_EQ(values, c.values) << (c.text ? c.text : "null");
        if (c.read) { EXPECT_EQ(n, c.count) << c.text; }
    }

    // Any length of text is safe.
    std::string longText;
    for (int i = 0; i < 5000; ++i) longText += "1.5 ";
    float floats[3];
    int n = 0;
    EXPECT_TRUE(parseFloatList(longText.c_str(), floats, n, " ", 3));
    EXPECT_EQ(std::make_pair(3, 1.5f), std::make_pair(n, floats[2]));
}
