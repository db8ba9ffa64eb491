#include "utility/ManagedMemory.h"
#include "TestSupport.h"
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <set>
#include <thread>
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
    EXPECT_EQ(nullptr, managedAlloc(16, 1));  // the 1001st
    ASSERT_EQ(1u, testsupport::reports().size());
    EXPECT_EQ("0", testsupport::reports()[0].expression);
    managedFree(blocks[10], 200, 1);
    EXPECT_EQ(blocks[10], managedAlloc(1, 1));
    EXPECT_EQ(1000u, managedBlocksUsed(1));
    for (void* b : blocks) managedFree(b, 200, 1);
    EXPECT_EQ(0u, managedBlocksUsed(1));
}

TEST_F(ManagedMemoryTest, MisuseEndsTheProcess)
{
    // Too big for the stack, only two stacks defined, beyond the table, negative.
    for (auto [size, stack] : {std::pair{201, 1}, {8, 2}, {8, 10}, {8, -1}}) EXPECT_THROW(managedAlloc(size, stack), ProcessExit);
    void* block = managedAlloc(8, 0);
    try {
        managedFree(block, 201, 0);
        ADD_FAILURE() << "no exit";
    } catch (const ProcessExit& exit) {
        EXPECT_EQ(1, exit.code);  // a failure, not a finished run
    }
    managedFree(block, 8, 0);
    managedFree(nullptr, 8, 5);  // null is ignored before any check
    EXPECT_EQ(0u, managedBlocksUsed(0));
}

TEST_F(ManagedMemoryTest, LockedStackIsFreeAgainAfterAFatalRequest)
{
    EXPECT_THROW(managedAlloc(500, 0), ProcessExit);
    // The exit is intercepted here; the stack must not stay locked behind it.
    auto result = std::make_shared<std::promise<void*>>();
    std::future<void*> got = result->get_future();
    std::thread([result] { result->set_value(managedAlloc(8, 0)); }).detach();
    ASSERT_EQ(std::future_status::ready, got.wait_for(std::chrono::seconds(5)));
    void* block = got.get();
    EXPECT_NE(nullptr, block);
    managedFree(block, 8, 0);
}

}  // namespace
