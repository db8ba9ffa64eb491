#include "gamemanagement/GameMemoryManager.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

bool allBytes(const void* p, uint8_t value, size_t n)
{
    const auto* b = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < n; ++i)
        if (b[i] != value) return false;
    return true;
}

TEST(GameMemoryManager, StrideFillsAndLastBlockFirst)
{
    CGameMemoryManager pool;
    EXPECT_TRUE(pool.requestBlock(1, 16));
    EXPECT_TRUE(pool.requestBlock(2, 40));
    EXPECT_TRUE(pool.requestBlock(3, 24));
    EXPECT_TRUE(pool.initialise(10, true));
    EXPECT_EQ(52u, pool.stride());
    EXPECT_FALSE(pool.requestBlock(4, 400));
    EXPECT_EQ(40u, pool.dataSize());

    void* p = nullptr;
    ASSERT_TRUE(pool.allocate(1, 16, &p));
    EXPECT_EQ(pool.memory() + 9 * 52 + 4, p);  // the tenth block's data start
    EXPECT_TRUE(allBytes(p, 0xCD, 40));
    uint32_t guard;
    memcpy(&guard, static_cast<uint8_t*>(p) - 4, 4);
    EXPECT_EQ(0xBEEFBEEFu, guard);
    memcpy(&guard, static_cast<uint8_t*>(p) + 40, 4);
    EXPECT_EQ(0xFEEDFEEDu, guard);

    EXPECT_TRUE(pool.free(1, 16, p));
    EXPECT_TRUE(allBytes(p, 0xDD, 40));
    void* again = nullptr;
    ASSERT_TRUE(pool.allocate(1, 16, &again));
    EXPECT_EQ(p, again);
    EXPECT_TRUE(allBytes(again, 0xCD, 40));
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST(GameMemoryManager, WithoutGuardsExhaustionAndMisuse)
{
    CGameMemoryManager pool;
    void* p = nullptr;
    EXPECT_FALSE(pool.allocate(0, 8, &p));  // not initialised: no report
    EXPECT_TRUE(testsupport::reports().empty());
    EXPECT_FALSE(pool.free(0, 8, &p));
    ASSERT_EQ(1u, testsupport::reports().size());
    EXPECT_EQ("0", testsupport::reports()[0].expression);

    pool.requestBlock(0, 8);
    pool.initialise(3, false);
    EXPECT_EQ(12u, pool.stride());
    void* blocks[3];
    for (void*& b : blocks) ASSERT_TRUE(pool.allocate(0, 8, &b));
    EXPECT_EQ(pool.memory() + 24, blocks[0]);
    EXPECT_EQ(pool.memory() + 0, blocks[2]);
    EXPECT_FALSE(pool.allocate(0, 8, &p));

    testsupport::clearReports();
    EXPECT_FALSE(pool.free(0, 8, static_cast<uint8_t*>(blocks[1]) + 1));  // not a block: refused
    EXPECT_EQ(1u, testsupport::reports().size());
    for (void* b : blocks) EXPECT_TRUE(pool.free(0, 8, b));

    // Again: the first memory goes (the leak check sees it), a fresh set of blocks comes.
    pool.initialise(2, false);
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(pool.allocate(0, 8, &p));
    EXPECT_FALSE(pool.allocate(0, 8, &p));
}

TEST(GameMemoryManager, ValidateFindsDamagedGuardsAndEmptyRequestsReport)
{
    CGameMemoryManager pool;
    pool.requestBlock(0, 8);
    pool.initialise(4, true);
    void* p = nullptr;
    pool.allocate(0, 8, &p);
    pool.validate();
    EXPECT_TRUE(testsupport::reports().empty());
    static_cast<uint8_t*>(p)[8] = 0;  // one byte past the data
    pool.validate();
    ASSERT_EQ(1u, testsupport::reports().size());
    EXPECT_EQ("*(unsigned int*)(pCurrent+4+m_dataSize) == GUARD_BYTES_END", testsupport::reports()[0].expression);
    static_cast<uint8_t*>(p)[-1] = 0;  // the same block's start guard
    testsupport::clearReports();
    pool.validate();
    ASSERT_EQ(2u, testsupport::reports().size());
    EXPECT_EQ("*(unsigned int*)pCurrent == GUARD_BYTES_START", testsupport::reports()[0].expression);

    CGameMemoryManager empty;
    empty.initialise(2, true);
    EXPECT_EQ(1, testsupport::countReports("m_largest != 0"));
}

}  // namespace
