#include "global/ProjUtil.h"

#include "utility/VectorMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

TEST(ProjUtilTest, RoundsHalvesAwayFromZero)
{
    EXPECT_EQ(roundToInt(2.5f), 3);
    EXPECT_EQ(roundToInt(-2.5f), -3);
    EXPECT_EQ(roundToInt(-2.4f), -2);
    EXPECT_EQ(roundToInt(0.49999997f), 0);
    EXPECT_EQ(roundToInt(0.0f), 0);
    EXPECT_EQ(roundToInt(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(roundToInt(3.0e9f), std::numeric_limits<int>::max());
    EXPECT_EQ(roundToInt(-3.0e9f), std::numeric_limits<int>::min());

    EXPECT_FLOAT_EQ(fracPart(2.75f), 0.75f);
    EXPECT_FLOAT_EQ(fracPart(-2.75f), -0.75f);
    EXPECT_EQ(fracPart(0.0f), 0.0f);

    EXPECT_TRUE(isWithinDistance(Vector3(1, 1, 1), Vector3(4, 5, 1), 5.0f));
    EXPECT_FALSE(isWithinDistance(Vector3(1, 1, 1), Vector3(4, 5, 1), 4.99f));
}

TEST(ProjUtilTest, ListsReadExactlyWhatWasAskedWithinTheirRoom)
{
    int values[4] = {};
    int n = 2;
    EXPECT_FALSE(parseIntList("1,2,3", values, n, ",", 4));
    EXPECT_EQ(values[1], 2);
    n = 3;
    EXPECT_TRUE(parseIntList("4, 5 ,6", values, n, ", ", 4));
    EXPECT_EQ(values[2], 6);
    n = 0;
    EXPECT_TRUE(parseIntList("7,8,9", values, n, ",", 4));
    EXPECT_EQ(n, 3);
    EXPECT_EQ(values[0], 7);

    // Fewer than asked for.
    n = 4;
    EXPECT_FALSE(parseIntList("1,2,3", values, n, ",", 4));

    // More tokens than room: reading stops at the capacity, the rest of the array is untouched.
    int room[4] = {99, 99, 99, 99};
    n = 0;
    EXPECT_TRUE(parseIntList("1,2,3,4,5", room, n, ",", 2));
    EXPECT_EQ(n, 2);
    EXPECT_EQ(room[1], 2);
    EXPECT_EQ(room[2], 99);
    n = 5;
    EXPECT_FALSE(parseIntList("1,2,3,4,5", room, n, ",", 2));
    EXPECT_EQ(room[2], 99);

    n = 0;
    EXPECT_FALSE(parseIntList("", values, n, ",", 4));
    EXPECT_FALSE(parseIntList(nullptr, values, n, ",", 4));

    // Any length of text is safe.
    std::string longText;
    for (int i = 0; i < 5000; ++i) longText += "1.5 ";
    float floats[3];
    n = 0;
    EXPECT_TRUE(parseFloatList(longText.c_str(), floats, n, " ", 3));
    EXPECT_EQ(n, 3);
    EXPECT_EQ(floats[2], 1.5f);
}
