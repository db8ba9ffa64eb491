#include "ai/Events.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

void handlerA(EventValue, CGameObject*) {}
void handlerB(EventValue, CGameObject*) {}
uint8_t always(CGameObject*) { return 1; }

class EventsTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        CEvents::freeAll();
        // Later tests start from the table size of a fresh program.
        CEvents::initialise(CEvents::DEFAULT_MAX_HANDLERS);
        CEvents::freeAll();
    }
};

TEST_F(EventsTest, TheLastRecordIsReportedButHandedOutAndThenThereAreNoMore)
{
    EXPECT_EQ(nullptr, CEvents::allocate(0x84000001));  // no table
    ASSERT_TRUE(CEvents::initialise(5));
    EXPECT_FALSE(CEvents::initialise(0));  // one table at a time
    CEvents* records[5] = {};
    for (uint32_t i = 0; i < 5; ++i) ASSERT_NE(nullptr, records[i] = CEvents::allocate(0x84000001 + i));
    EXPECT_EQ(1, testsupport::countReports("(s_numHandlers+1)<s_maxHandlers"));
    EXPECT_EQ(nullptr, CEvents::allocate(0x84000006));
    EXPECT_EQ(0x84000005u, records[4]->getOwner());
    records[0]->addOutProcess(CEvents::ON_DEATH, nullptr, 0);
    records[0]->addTimedOutProcess(CEvents::ON_DAMAGED, always, 500, nullptr, 1);

    CEvents::freeAll();
    EXPECT_EQ(0u, CEvents::getNumHandlers());
    EXPECT_FALSE(CEvents::tableExists());
    // Owner 0 would mark the record free again.
    CEvents::initialise(0);
    EXPECT_EQ(nullptr, CEvents::allocate(0));
    EXPECT_EQ(1, testsupport::countReports("owner!=0"));
}

TEST_F(EventsTest, TablesAreNeverWrittenPastTheirLimits)
{
    CEvents::initialise(0);
    CEvents* pM = CEvents::allocate(0x84000001);
    ASSERT_NE(nullptr, pM);

    // Recipients: fifteen per process; a name must leave room for its terminator.
    pM->addRecipient(CEvents::ON_DEATH, "early");
    EXPECT_EQ(1, testsupport::countReports("d_numOutProcesses>0"));
    EXPECT_EQ(1u, pM->addOutProcess(CEvents::ON_DEATH, nullptr, 0));
    EXPECT_EQ(2u, pM->addOutProcess(CEvents::ON_DEATH, nullptr, 1));
    for (int i = 0; i < 16; ++i) pM->addRecipient(CEvents::ON_DEATH, ("r" + std::to_string(i)).c_str());
    EXPECT_EQ(15u, pM->getOutProcess(0)->numRecipients);
    EXPECT_EQ(0u, pM->getOutProcess(1)->numRecipients);
    EXPECT_STREQ("r14", pM->getOutProcess(0)->recipientNames[14]);
    testsupport::clearReports();
    pM->addRecipient(CEvents::ON_HIDDEN, "nobody");  // no process for the id
    EXPECT_EQ("0", testsupport::reports().at(0).expression);

    pM->addTimedOutProcess(CEvents::ON_DAMAGED, nullptr, 500, nullptr, 0);
    EXPECT_EQ(1u, pM->addTimedOutProcess(CEvents::ON_DAMAGED, always, 500, nullptr, 0));
    const std::string longest(31, 'n'), tooLong(32, 'n');
    pM->addTimedRecipient(CEvents::ON_DAMAGED, longest.c_str());
    pM->addTimedRecipient(CEvents::ON_DAMAGED, tooLong.c_str());
    EXPECT_EQ(1u, pM->getTimedOutProcess(0)->numRecipients);
    EXPECT_EQ(longest, pM->getTimedOutProcess(0)->recipientNames[0]);

    // Sixteen processes of each kind; event ids below sixteen.
    for (uint32_t i = 2; i < 17; ++i) pM->addOutProcess(CEvents::ON_GO, nullptr, 0);
    for (uint32_t i = 1; i < 17; ++i) pM->addTimedOutProcess(CEvents::ON_CONTAINS, always, 100, nullptr, 0);
    EXPECT_EQ(16u, pM->getNumOutProcesses());
    EXPECT_EQ(16u, pM->getNumTimedOutProcesses());
    EXPECT_EQ(0u, pM->addInProcess(16, handlerA));
    EXPECT_EQ(16u, pM->addOutProcess(99, nullptr, 0));
    EXPECT_EQ(16u, pM->addTimedOutProcess(16, always, 1, nullptr, 0));
    EXPECT_EQ(3, testsupport::countReports("id<CEvents::MAX_EVENTS"));

    // A second handler for an id replaces the first, and still counts.
    EXPECT_EQ(1u, pM->addInProcess(CEvents::ON_GO, handlerA));
    EXPECT_EQ(2u, pM->addInProcess(CEvents::ON_GO, handlerB));
    EXPECT_EQ(&handlerB, pM->getInHandler(CEvents::ON_GO));
}

}  // namespace
