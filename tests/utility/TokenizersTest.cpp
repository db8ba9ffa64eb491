#include "utility/Tokenizers.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(TokenizersTest, IntsAcceptDigitsOnlyAndFloatsDigitsMinusAndPoint)
{
    char text[] = "12,\t-5  7\r\n-5 1.5 1e5";
    int i = 0;
    float f = 0;
    EXPECT_TRUE(tokenGetInt(&i, text));
    EXPECT_EQ(12, i);
    EXPECT_FALSE(tokenGetInt(&i, nullptr));  // "-5"
    EXPECT_TRUE(tokenGetInt(&i, nullptr));
    EXPECT_EQ(7, i);
    EXPECT_TRUE(tokenGetFloat(&f, nullptr));
    EXPECT_FLOAT_EQ(-5.0f, f);
    EXPECT_TRUE(tokenGetFloat(&f, nullptr));
    EXPECT_FLOAT_EQ(1.5f, f);
    EXPECT_FALSE(tokenGetFloat(&f, nullptr));  // "1e5"
    EXPECT_FALSE(tokenGetFloat(&f, nullptr));  // the end
    EXPECT_FALSE(tokenGetInt(&i, nullptr));
}

TEST(TokenizersTest, StringsStopAtCommentsAndAreCutToTheBuffer)
{
    char text[] = "name averyverylongword //comment";
    char buffer[8];
    EXPECT_TRUE(tokenGetString(buffer, text));
    EXPECT_STREQ("name", buffer);
    EXPECT_TRUE(tokenGetString(buffer, nullptr));
    EXPECT_STREQ("averyve", buffer);
    EXPECT_FALSE(tokenGetString(buffer, nullptr));
    EXPECT_FALSE(tokenGetString(buffer, nullptr));
}

}  // namespace
