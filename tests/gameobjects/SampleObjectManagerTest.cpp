#include "gameobjects/SampleObjectResourceManager.h"

#include "TestSupport.h"
#include "weapons/WeaponDescription.h"
#include "weapons/WeaponElementInstance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>

namespace {

typedef CSampleObjectResourceManager Manager;

CGameObject* objectOf(Manager& manager, resourceHandle handle)
{
    CResource* pResource = nullptr;
    return manager.acquire(handle, &pResource) ? static_cast<CGameObject*>(pResource) : nullptr;
}

TEST(SampleObjectManager, ElevenKindsTenListedAndEachMadeByItsTypeId)
{
    Manager manager;
    EXPECT_EQ(10u, manager.getNumDefinitions());
    for (uint32_t i = 0; i < 11; ++i) {
        resDef def;
        ASSERT_EQ(&def, manager.getDefinition(&def, i));
        const uint32_t typeId = def.typeId;
        const std::string name = def.typeName;
        // The table skips 0x01000008; the last, unlisted kind is the pickup.
        EXPECT_EQ(i < 8 ? 0x01000000u | i : 0x01000001u + i, typeId);
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
        uint32_t found = 0;
        // Only the ten listed kinds are known by name.
        EXPECT_EQ(i < 10, manager.findTypeByName(lower.c_str(), &found) && found == typeId) << name;
        resourceHandle handle = 0;
        ASSERT_TRUE(manager.instantiate(typeId, &handle, 1)) << name;
        EXPECT_EQ(0x01000000u | i, handle);
        CGameObject* pObject = objectOf(manager, handle);
        ASSERT_NE(nullptr, pObject);
        EXPECT_EQ(std::make_pair(typeId, name), std::make_pair(pObject->GetType(), std::string(pObject->getTypeName())));
    }
    EXPECT_EQ(std::string("Pickup"), objectOf(manager, 0x0100000a)->getTypeName());


    // A weapon element hurts anything, for a damage of its own and without setting fire.
    auto* pElement = static_cast<WeaponElementInstance*>(objectOf(manager, 0x01000004));
    EXPECT_TRUE(pElement->canDamage(0x01000000));
    EXPECT_EQ(0.0f, pElement->getFireRecord().strength);
    // No weapon for a definition file that is not there: one report names it.
    EXPECT_EQ(nullptr, CreateWeapon("data\\weapons\\fire.txt", 1, 0));
    EXPECT_EQ(1, testsupport::countReports("Failed to read weapon definition file data\\weapons\\fire.txt"));
    testsupport::clearReports();

    resourceHandle handle = 0;
    for (uint32_t typeId : {0x01000008u, 0x0100000cu, 0x00ffffffu, 0x02000001u})
        EXPECT_FALSE(manager.instantiate(typeId, &handle, 1)) << std::hex << typeId;
    EXPECT_EQ(11u, manager.getNumLive());
    for (uint32_t slot = 0; slot < 11; ++slot) EXPECT_TRUE(manager.releaseObject(0x01000000u | slot));
    EXPECT_EQ(0u, manager.getNumLive());
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST(SampleObjectManager, SlotsAreFoundBeforeThePoolAndHandlesNamingNoLiveSlotAreRefused)
{
    Manager manager;
    resourceHandle handle = 0;
    for (uint32_t i = 0; i < Manager::MAX_OBJECTS; ++i) ASSERT_TRUE(manager.instantiate(0x01000007, &handle, 1));
    EXPECT_EQ(0x010007ffu, handle);
    // The 2049th is refused at the slot scan: the pool is never asked, so it reports nothing.
    EXPECT_FALSE(manager.instantiate(0x01000007, &handle, 1));
    EXPECT_TRUE(testsupport::reports().empty());

    // A freed slot comes back under the same handle, as another kind.
    EXPECT_TRUE(manager.releaseObject(0x01000123));
    CResource* pResource = nullptr;
    EXPECT_FALSE(manager.acquire(0x01000123, &pResource));
    ASSERT_TRUE(manager.instantiate(0x01000003, &handle, 1));
    EXPECT_EQ(0x01000123u, handle);
    EXPECT_STREQ("TreeClump", objectOf(manager, handle)->getTypeName());

    // Past the table or with reuse bits set, a handle names no slot; an empty slot is refused.
    for (resourceHandle bad : {0x01000800u, 0x010fffffu, 0x01100000u, 0x01f00005u}) {
        testsupport::clearReports();
        EXPECT_FALSE(manager.acquire(bad, &pResource)) << std::hex << bad;
        EXPECT_FALSE(manager.releaseObject(bad)) << std::hex << bad;
        EXPECT_EQ(2, testsupport::countReports("slot < MAX_OBJECTS"));
    }
    EXPECT_TRUE(manager.releaseObject(0x01000005));
    testsupport::clearReports();
    EXPECT_FALSE(manager.releaseObject(0x01000005));
    manager.release(0x01000005);
    EXPECT_EQ(2, testsupport::countReports("pObject"));
    EXPECT_EQ(Manager::MAX_OBJECTS - 1, manager.getNumLive());
    for (uint32_t slot = 0; slot < Manager::MAX_OBJECTS; ++slot)
        if (slot != 5) manager.release(0x01000000u | slot);
    EXPECT_EQ(0u, manager.getNumLive());
}

}  // namespace
