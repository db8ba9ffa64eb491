// The buffer allocator: best fit among kept blocks, reuse, refusals and its counters.
#include "TestSupport.h"
#include "matcore9/BufferAllocator.h"
#include "utility/LList.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <vector>

using testsupport::countReports;

namespace {

class BufferAllocatorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        llistInitElementPool();
        a = CBufferAllocator::GetInstance();
    }
    void TearDown() override
    {
        CBufferAllocator::DestroyInstance();
        llistFreeElementPool();
    }
    CBufferAllocator* a = nullptr;
};

TEST_F(BufferAllocatorTest, KeptBlocksAreReusedByBestFitAndBadPointersChangeNothing)
{
    int local = 0;
    a->Free(&local);
    EXPECT_EQ(countReports("!d_usedList.Empty()"), 1);
    a->EnableRecycling();
    void* b256 = a->Alloc(256);
    void* b128 = a->Alloc(128);
    void* b90 = a->Alloc(90);
    void* b128b = a->Alloc(128);
    a->Free(&local);
    a->Free(static_cast<char*>(b90) + 4);
    EXPECT_EQ(countReports("Bad pointer passed to CBufferAllocator::Free"), 2);
    EXPECT_EQ(a->BlocksInUse(), 4u);
    for (void* p : {b256, b128, b90, b128b}) a->Free(p);
    // 100 bytes: the first 128-byte block, then the other, then the 256; the 90 is too small.
    EXPECT_EQ(a->Alloc(100), b128);
    EXPECT_EQ(a->Alloc(100), b128b);
    EXPECT_EQ(a->Alloc(100), b256);
    EXPECT_EQ(a->Alloc(90), b90);
    EXPECT_EQ(a->BytesInUse(), 256u + 128 + 90 + 128);  // a reused block keeps its whole size
    void* big = a->Alloc(1000);  // nothing kept fits: the heap again
    EXPECT_EQ(reinterpret_cast<uintptr_t>(big) % alignof(std::max_align_t), 0u);
    for (void* p : {b256, b128, b90, b128b, big}) a->Free(p);
    a->DisableRecycling();
    EXPECT_EQ(a->TotalTaken(), 0u);
    EXPECT_EQ(testsupport::reports().size(), 3u);
}

// Random traffic: the counters always equal what the blocks add up to, and no two live blocks
// overlap (each keeps the pattern written into it).
TEST_F(BufferAllocatorTest, CountersFollowEveryMove)
{
    std::mt19937 random(7);
    std::map<void*, uint32_t> live;  // pointer -> size asked
    std::map<void*, uint8_t> pattern;
    for (int step = 0; step < 2000; ++step) {
        const int action = static_cast<int>(random() % 10);
        if (action == 0) (a->Recycling() ? a->DisableRecycling() : a->EnableRecycling());
        if (action < 6 || live.empty()) {
            const uint32_t size = 1 + random() % 300;
            void* p = a->Alloc(size);
            ASSERT_NE(p, nullptr);
            ASSERT_EQ(live.count(p), 0u);
            live[p] = size;
            pattern[p] = static_cast<uint8_t>(step);
            std::memset(p, pattern[p], size);
        } else {
            auto it = std::next(live.begin(), static_cast<long>(random() % live.size()));
            const auto* bytes = static_cast<const uint8_t*>(it->first);
            for (uint32_t i = 0; i < it->second; ++i) ASSERT_EQ(bytes[i], pattern[it->first]);
            a->Free(it->first);
            live.erase(it);
        }
        ASSERT_EQ(a->BlocksInUse(), live.size());
        ASSERT_EQ(a->BytesHeld(), a->BytesInUse() + a->BytesKept());
        ASSERT_EQ(a->TotalTaken(), a->BytesHeld() + uint64_t{CBufferAllocator::HEADER_SIZE} *
                                                        (a->BlocksInUse() + a->BlocksKept()));
        ASSERT_TRUE(a->Recycling() || a->BlocksKept() == 0);
    }
    for (auto& [p, size] : live) a->Free(p);
    a->DisableRecycling();
    EXPECT_EQ(a->TotalTaken(), 0u);
    EXPECT_TRUE(testsupport::reports().empty());
}

}  // namespace

TEST_F(BufferAllocatorTest, ZeroedBlocksHoldZerosWhetherNewOrKept)
{
    a->EnableRecycling();
    auto allZero = [](const void* p, size_t n) {
        const auto* bytes = static_cast<const uint8_t*>(p);
        for (size_t i = 0; i < n; ++i)
            if (bytes[i]) return false;
        return true;
    };
    // Small, then large enough that the heap maps it afresh (the small kept block is no fit).
    for (uint32_t size : {200u, 3u << 20}) {
        auto* fresh = static_cast<uint8_t*>(a->AllocZeroed(size));
        ASSERT_NE(fresh, nullptr);
        EXPECT_TRUE(allZero(fresh, size));
        std::memset(fresh, 0xAB, size);
        a->Free(fresh);
        // The kept block comes back cleared, its size still counted whole.
        auto* kept = static_cast<uint8_t*>(a->AllocZeroed(size - 8));
        EXPECT_EQ(kept, fresh);
        EXPECT_TRUE(allZero(kept, size - 8));
        EXPECT_EQ(a->BytesInUse(), size);
        a->Free(kept);
    }
    a->DisableRecycling();
    EXPECT_EQ(a->TotalTaken(), 0u);
}
