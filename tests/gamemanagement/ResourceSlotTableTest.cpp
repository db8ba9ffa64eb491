#include "gamemanagement/ResourceManager.h"
#include "gamemanagement/ResourceSlotTable.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

struct Thing : CResource {
    uint32_t getResourceType() const override { return 9; }
    const char* getTypeName() const override { return "Thing"; }
};

const uint32_t ID = 0x81000000;

TEST(ResourceSlotTable, HandlesCarryManagerReuseAndSlot)
{
    CResourceSlotTable table(ID, 4);
    Thing a, b;
    resourceHandle ha = 0, hb = 0;
    ASSERT_TRUE(table.insert(&a, &ha));
    ASSERT_TRUE(table.insert(&b, &hb));
    EXPECT_EQ(0x81000000u, ha);
    EXPECT_EQ(0x81000001u, hb);
    EXPECT_EQ(&b, table.find(hb));

    // A released slot's handle goes stale; the slot comes back with the next reuse count, and
    // after sixteen releases with the first one again.
    resourceHandle h = ha;
    for (uint32_t round = 1; round <= 16; ++round) {
        EXPECT_EQ(&a, table.remove(h));
        EXPECT_EQ(nullptr, table.find(h));
        EXPECT_EQ(nullptr, table.remove(h));
        ASSERT_TRUE(table.insert(&a, &h));
        EXPECT_EQ(CResourceManager::makeHandle(ID, round, 0), h);
        EXPECT_EQ(round & 0xF, CResourceManager::handleReuse(h));
    }
    EXPECT_EQ(ha, h);
    EXPECT_EQ(2u, table.getNumLive());
    EXPECT_TRUE(testsupport::reports().empty());

    Thing c, d, e;
    resourceHandle hc, hd, he;
    EXPECT_TRUE(table.insert(&c, &hc));
    EXPECT_TRUE(table.insert(&d, &hd));
    EXPECT_FALSE(table.insert(&e, &he));
}

TEST(ResourceSlotTable, ForeignHandlesAndSlotsPastTheTableAreRefusedAfterTheirReport)
{
    CResourceSlotTable table(ID, 4);
    Thing a;
    resourceHandle h;
    table.insert(&a, &h);

    EXPECT_EQ(nullptr, table.find(0x82000000u));
    EXPECT_EQ(1, testsupport::countReports("(resourceHandle & MASK_MANAGER) == getResourceManagerId()"));
    EXPECT_EQ(nullptr, table.find(0));
    EXPECT_EQ(2, testsupport::countReports("(resourceHandle & MASK_MANAGER) == getResourceManagerId()"));

    // The largest slot a handle can name, far past the table: reported, never read.
    EXPECT_EQ(nullptr, table.find(ID | CResourceManager::MASK_SLOT));
    EXPECT_EQ(nullptr, table.remove(ID | 4));
    EXPECT_EQ(2, testsupport::countReports("slot < d_capacity"));
    EXPECT_EQ(&a, table.find(h));
}

TEST(ResourceManagerHelpers, TypeNamesCompareWithoutCaseOverNinetySixCharacters)
{
    const std::string base(95, 'a');
    EXPECT_TRUE(CResourceManager::typeNamesMatch("CollisionSphere", "COLLISIONSPHERE"));
    EXPECT_FALSE(CResourceManager::typeNamesMatch("CollisionSphere", "CollisionSpheres"));
    EXPECT_TRUE(CResourceManager::typeNamesMatch((base + "bX").c_str(), (base + "BY").c_str()));
    EXPECT_FALSE(CResourceManager::typeNamesMatch((base + "b").c_str(), (base + "c").c_str()));
    EXPECT_FALSE(CResourceManager::typeNamesMatch(nullptr, "x"));

    resDef def;
    CResourceManager::fillDefinition(&def, 7, (base + base).c_str());
    EXPECT_EQ(95u, strlen(def.typeName));
    uint32_t typeId = 0;
    const resDef defs[2] = {{0x01000001, "Alpha"}, {0x01000002, "Beta"}};
    EXPECT_TRUE(CResourceManager::findInDefinitions(defs, 2, "beta", &typeId));
    EXPECT_EQ(0x01000002u, typeId);
    EXPECT_FALSE(CResourceManager::findInDefinitions(defs, 2, "Gamma", &typeId));
}

}  // namespace
