#include "utility/LList.h"
#include "TestSupport.h"
#include <gtest/gtest.h>
#include <atomic>
#include <thread>
#include <vector>

namespace {

class LListTest : public ::testing::Test {
protected:
    void SetUp() override { llistInitElementPool(); }
    void TearDown() override { llistFreeElementPool(); }

    static std::vector<intptr_t> contents(llist& list)
    {
        std::vector<intptr_t> out;
        for (list.GotoHead(); list.HasCurrent(); list.GotoNext())
            out.push_back(reinterpret_cast<intptr_t>(list.GetCurrent()));
        return out;
    }
};

void* item(intptr_t n) { return reinterpret_cast<void*>(n); }

TEST_F(LListTest, InsertsMakeTheNewElementCurrentAndRemovalsMoveToTheNextElseThePrevious)
{
    llist list;
    list.InsertAfter(item(1));
    list.InsertAfter(item(3));  // after 1: new tail
    list.GotoHead();
    list.InsertAfter(item(2));  // between 1 and 3
    EXPECT_EQ(item(2), list.GetCurrent());
    list.GotoHead();
    list.InsertBefore(item(0));  // before the head: new head
    EXPECT_EQ(item(0), list.GetCurrent());
    EXPECT_EQ((std::vector<intptr_t>{0, 1, 2, 3}), contents(list));
    EXPECT_EQ(4u, llistElementsInUse());
    // Moving on gives the new current element, and 0 past the tail.
    list.GotoTail();
    list.GotoPrev();
    EXPECT_EQ(item(3), list.GotoNext()->data);
    EXPECT_EQ(nullptr, list.GotoNext());
    EXPECT_FALSE(list.HasCurrent());
    list.GotoTail();
    EXPECT_EQ(1, list.RemoveCurrent());
    EXPECT_EQ(item(2), list.GetCurrent());  // the new tail
    list.GotoHead();
    EXPECT_EQ(1, list.RemoveCurrent());
    EXPECT_EQ(item(1), list.GetCurrent());
    list.RemoveAll();
    EXPECT_EQ(std::make_pair(true, false), std::make_pair(list.Empty(), list.HasCurrent()));
    EXPECT_EQ(0, list.RemoveCurrent());
    EXPECT_EQ(0u, llistElementsInUse());
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(LListTest, AnExhaustedPoolRefusesInsertsAndLeavesTheListAsItWas)
{
    llist list;
    for (intptr_t i = 1; i <= 3; ++i) list.InsertAfter(item(i));
    list.GotoHead();
    std::vector<void*> held;
    while (void* e = llistAllocElement(sizeof(llistElement))) held.push_back(e);
    EXPECT_EQ(maxElements, held.size() + 3);
    testsupport::clearReports();
    list.InsertAfter(item(9));
    list.InsertBefore(item(9));
    EXPECT_EQ(item(1), list.GetCurrent());
    EXPECT_EQ((std::vector<intptr_t>{1, 2, 3}), contents(list));
    list.GotoTail();
    list.GotoPrev();
    EXPECT_EQ(item(2), list.GetCurrent());  // the back links are intact too
    int refused = 0;
    for (const auto& r : testsupport::reports()) refused += r.expression == "0";
    EXPECT_EQ(2, refused);                           // one per refused request...
    EXPECT_EQ(2, testsupport::countReports("pE"));  // ...and the insert's own check
    for (void* e : held) llistFreeElement(e);
    EXPECT_EQ(2, testsupport::countReports("pE"));  // freeing into an empty free list is legitimate
}

TEST_F(LListTest, ALivePoolIsNotBuiltAgainAndWithoutAPoolAllocationsAreRefused)
{
    llist list;
    list.InsertAfter(item(1));
    llistInitElementPool();
    ASSERT_EQ(1u, testsupport::reports().size());
    EXPECT_EQ("maxElements>0 && pElementMem==NULL && numElements==0", testsupport::reports()[0].expression);
    EXPECT_EQ(1u, llistElementsInUse());
    EXPECT_EQ(item(1), list.GetCurrent());

    list.RemoveCurrent();
    llistFreeElementPool();
    EXPECT_EQ(nullptr, llistAllocElement(sizeof(llistElement)));
    EXPECT_EQ("0", testsupport::reports().back().expression);
    llistInitElementPool();
}

TEST_F(LListTest, ListsOutliveThePool)
{
    auto* list = new llist;
    list->InsertAfter(item(1));
    llistFreeElementPool();
    delete list;  // must not touch the released elements (the address check sees it) nor report
    llistInitElementPool();
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(LListTest, ThreadsShareThePoolWithoutLosingOrSharingElements)
{
    std::atomic<int> wrong{0};
    auto work = [&wrong](intptr_t base) {
        for (int round = 0; round < 50; ++round) {
            llist list;
            for (intptr_t i = 0; i < 300; ++i) list.InsertAfter(item(base + i));
            intptr_t expected = base;
            for (list.GotoHead(); list.HasCurrent(); list.GotoNext())
                if (list.GetCurrent() != item(expected++)) ++wrong;
            list.RemoveAll();
        }
    };
    std::vector<std::thread> threads;
    for (intptr_t t = 0; t < 4; ++t) threads.emplace_back(work, t * 1000);
    work(9000);
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(0, wrong.load());
    EXPECT_EQ(0u, llistElementsInUse());  // the threads' exits gave back what they kept
    EXPECT_TRUE(testsupport::reports().empty());
}

}  // namespace
