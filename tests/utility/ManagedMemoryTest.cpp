#include "utility/ManagedMemory.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

using testsupport::ProcessExit;

class ManagedMemoryTest : public ::testing::Test {
protected:
    void SetUp() override { managedMemInit(); }
    void TearDown() override { managedMemShutdown(); }
};

TEST_F(ManagedMemoryTest, ExhaustionReturnsNullAndFreedBlocksComeBackFirst)
{
    std::vector<void*> blocks;
    for (int i = 0; i < 1000; ++i) blocks.push_back(managedAlloc(200, 1));
    EXPECT_EQ(1000u, std::set<void*>(blocks.begin(), blocks.end()).size());
    EXPECT_TRUE(testsupport::reports().empty());
    EXPECT_EQ(nullptr, managedAlloc(16, 1));
    EXPECT_EQ(1u, testsupport::reports().size());
    managedFree(blocks[10], 200, 1);
    EXPECT_EQ(blocks[10], managedAlloc(1, 1));
    EXPECT_EQ(1000u, managedBlocksUsed(1));
    for (void* b : blocks) managedFree(b, 200, 1);
    EXPECT_EQ(0u, managedBlocksUsed(1));
}

TEST_F(ManagedMemoryTest, MisuseEndsTheProcess)
{
    EXPECT_THROW(managedAlloc(201, 1), ProcessExit);
    EXPECT_THROW(managedAlloc(8, 2), ProcessExit);   // only two stacks are defined
    EXPECT_THROW(managedAlloc(8, 10), ProcessExit);  // beyond the table
    EXPECT_THROW(managedAlloc(8, -1), ProcessExit);
    void* block = managedAlloc(8, 0);
    EXPECT_THROW(managedFree(block, 201, 0), ProcessExit);
    managedFree(block, 8, 0);
    managedFree(nullptr, 8, 5);  // null is ignored before any check
    EXPECT_EQ(0u, managedBlocksUsed(0));
}

}  // namespace
