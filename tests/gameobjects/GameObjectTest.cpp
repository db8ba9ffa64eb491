#include "gameobjects/CollisionServices.h"
#include "gameobjects/GameObject.h"

#include "TestSupport.h"
#include "gamemanagement/GameMemoryManager.h"

#include <gtest/gtest.h>

namespace {

class TestObject : public CGameObject {
public:
    explicit TestObject(uint32_t type) : m_type(type) { health = 100; }
    uint32_t GetType() const override { return m_type; }
    void OnDeath(int32_t value) override
    {
        ++deaths;
        lastValue = value;
    }
    int deaths = 0;
    int32_t lastValue = -1;

private:
    uint32_t m_type;
};

// A type that keeps the base death handler.
class Stone : public CGameObject {
public:
    uint32_t GetType() const override { return 0x01000005; }
};

TEST(GameObjectTest, ContactKillHitsTheHigherRankedSide)
{
    TestObject player(CGameObject::TYPE_PLAYER_VEHICLE);
    TestObject animal(0x02000004);
    TestObject wall(CGameObject::TYPE_STATIC_OBJECT);

    // Animal (5) over player (3): only the animal dies, whichever side it is on.
    player.resolveContactKill(&animal);
    animal.resolveContactKill(&player);
    EXPECT_EQ(2, animal.deaths);
    EXPECT_EQ(0, animal.lastValue);
    EXPECT_EQ(100, player.health);
    EXPECT_EQ(0, player.deaths);

    // Player (3) over a static object (1): the player's health is cleared, no death event.
    wall.resolveContactKill(&player);
    EXPECT_EQ(0, player.health);
    EXPECT_EQ(0, player.deaths);
    EXPECT_EQ(0, wall.deaths);
}

TEST(GameObjectTest, ContactKillHitsBothSidesOnATie)
{
    TestObject a(0x02000001), b(0x0200000D);
    a.resolveContactKill(&b);
    EXPECT_EQ(1, a.deaths);
    EXPECT_EQ(1, b.deaths);

    // Rank 5 but not an animal: nothing happens to it; an animal beside it still dies.
    TestObject effect(0x05000001), beast(0x02000000);
    effect.resolveContactKill(&beast);
    EXPECT_EQ(0, effect.deaths);
    EXPECT_EQ(1, beast.deaths);
    EXPECT_EQ(100, effect.health);
}

TEST(GameObjectTest, BaseDeathHandlerReportsAndNullPartnerIsRefused)
{
    Stone stone;
    stone.OnDeath(0);
    EXPECT_EQ(1, testsupport::countReports("I cannot die"));
    TestObject beast(0x02000003);
    beast.resolveContactKill(nullptr);
    EXPECT_EQ(0, beast.deaths);
    EXPECT_EQ(2u, testsupport::reports().size());
}

TEST(GameObjectTest, IntersectionPoolIsCreatedOnce)
{
    ASSERT_EQ(nullptr, intersectionMemoryManager);
    EXPECT_TRUE(createIntersectionMemoryManager(8, 44));
    ASSERT_NE(nullptr, intersectionMemoryManager);
    EXPECT_FALSE(createIntersectionMemoryManager(8, 44));
    EXPECT_EQ(8u, intersectionMemoryManager->blockCount());
    EXPECT_EQ(44u, intersectionMemoryManager->dataSize());  // 44 + the 4-byte link is a multiple of 8
    destroyIntersectionMemoryManager();
    EXPECT_TRUE(createIntersectionMemoryManager(8, 48));
    EXPECT_EQ(52u, intersectionMemoryManager->dataSize());
    EXPECT_EQ(0u, intersectionMemoryManager->stride() % 8);
    destroyIntersectionMemoryManager();
    EXPECT_EQ(nullptr, intersectionMemoryManager);
    EXPECT_EQ(nullptr, collisionPairFirst);
    EXPECT_EQ(nullptr, collisionPairSecond);
}

}  // namespace
