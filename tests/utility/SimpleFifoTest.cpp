#include "utility/SimpleFifo.h"
#include "TestSupport.h"
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <random>
#include <string>

using testsupport::countReports;

namespace {

TEST(SimpleFifoTest, TenByteRingTakesOneEightByteItemAndPopsOnlyIntoRoom)
{
    CSimpleFifo fifo;
    ASSERT_TRUE(fifo.init(10));
    EXPECT_EQ(9u, fifo.getFreeSpace());
    EXPECT_TRUE(fifo.push("abcdefgh", 8));
    EXPECT_FALSE(fifo.push("x", 1));
    EXPECT_EQ(1u, fifo.getNumItems());
    char out[16];
    uint32_t size = sizeof out;
    EXPECT_TRUE(fifo.pop(out, size));
    EXPECT_EQ("abcdefgh", std::string(out, size));
    EXPECT_EQ(0, countReports(""));

    // A buffer too small for the next item leaves it in place and says how big it is.
    ASSERT_TRUE(fifo.push("123456", 6));
    size = 4;
    EXPECT_FALSE(fifo.pop(out, size));
    EXPECT_EQ(6u, size);
    size = sizeof out;
    EXPECT_TRUE(fifo.pop(out, size));
    EXPECT_EQ("123456", std::string(out, size));
}

TEST(SimpleFifoTest, ItemsWrapAroundTheRingInOrder)
{
    CSimpleFifo fifo;
    ASSERT_TRUE(fifo.init(37));
    std::mt19937 rng(5);
    std::deque<std::string> model;
    for (int step = 0; step < 2000; ++step) {
        if (rng() % 2) {
            std::string item(1 + rng() % 20, static_cast<char>('a' + step % 26));
            const bool fits = item.size() + 1 <= fifo.getFreeSpace();
            EXPECT_EQ(fits, fifo.push(item.data(), static_cast<uint32_t>(item.size())));
            if (fits) model.push_back(item);
        } else if (!model.empty()) {
            char out[255];
            uint32_t size = sizeof out;
            ASSERT_TRUE(fifo.pop(out, size));
            EXPECT_EQ(model.front(), std::string(out, size));
            model.pop_front();
        }
        ASSERT_EQ(model.size(), fifo.getNumItems());
    }
}

TEST(SimpleFifoTest, BadSizesAndBuffersAreRefusedWithoutCorruptingTheRing)
{
    CSimpleFifo fifo;
    char big[300] = {};
    EXPECT_FALSE(fifo.push("a", 1));  // no ring yet
    EXPECT_FALSE(fifo.reset());
    ASSERT_TRUE(fifo.init(1024));
    EXPECT_FALSE(fifo.init(16));
    EXPECT_EQ(1, countReports("d_pBuffer == NULL"));
    ASSERT_TRUE(fifo.push("ok", 2));
    for (auto [data, size] : {std::pair<const char*, uint32_t>{big, 0}, {big, 256}, {nullptr, 4}}) EXPECT_FALSE(fifo.push(data, size)) << size;
    EXPECT_EQ(1, countReports("size < 256"));
    EXPECT_EQ(1u, fifo.getNumItems());

    uint32_t size = 8, none = 0;
    EXPECT_FALSE(fifo.pop(nullptr, size));
    EXPECT_FALSE(fifo.pop(big, none));

    size = sizeof big;
    EXPECT_TRUE(fifo.pop(big, size));
    EXPECT_EQ("ok", std::string(big, size));
    EXPECT_FALSE(fifo.pop(big, size));
    EXPECT_EQ(1, countReports("d_numItems > 0"));
    EXPECT_TRUE(fifo.push(big, 255));

    CSimpleFifo empty;
    EXPECT_FALSE(empty.init(0));
}

}  // namespace
