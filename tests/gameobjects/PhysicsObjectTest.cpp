#include "gameobjects/PhysicsObject.h"
#include "gameobjects/PhysicsObjectResourceManager.h"

#include "TestSupport.h"
#include "gamemanagement/GameMemoryManager.h"
#include "global/ProjData.h"

#include <gtest/gtest.h>

#include <tuple>
#include <type_traits>
#include <vector>

namespace {

typedef CPhysicsObjectResourceManager Manager;

void expectNear(const Vector3& expected, const Vector3& actual, const char* what)
{
    EXPECT_TRUE(testsupport::near(expected, actual, 1e-5f)) << what;
}


// Bodies made the way an owner makes them: from the manager's pool, then set up by hand.
class Bodies : public ::testing::Test {
protected:
    void SetUp() override { createProjData(); }
    void TearDown() override
    {
        for (resourceHandle handle : made) manager.release(handle);
        destroyProjData();
    }

    template <class K>
    K* make(uint32_t typeId, float tangential, float bounce, float mass = 0.0f)
    {
        resourceHandle handle = 0;
        CResource* pResource = nullptr;
        EXPECT_TRUE(manager.instantiate(typeId, &handle, 1));
        EXPECT_TRUE(manager.acquire(handle, &pResource));
        made.push_back(handle);
        auto* pBody = static_cast<K*>(pResource);
        pBody->clear();
        pBody->tangentialFactor = tangential;
        pBody->bounceFactor = bounce;
        if constexpr (std::is_same_v<K, CPhysicsParticle>) {
            pBody->mass = mass;
            pBody->invMass = 1.0f / mass;
        }
        return pBody;
    }
    CPhysicsParticle* particle(float tangential = 1.0f, float bounce = 1.0f, float mass = 1.0f)
    {
        return make<CPhysicsParticle>(CPhysicsObject::PHYSICS_PARTICLE, tangential, bounce, mass);
    }

    Manager manager;
    std::vector<resourceHandle> made;
};

TEST_F(Bodies, AParticleIntegratesForceThenPositionAndIsDampedOncePerCall)
{
    CPhysicsParticle* p = particle(1.0f, 1.0f, 2.0f);
    Vector3 position(10.0f, 0.0f, 0.0f);
    p->pPosition = &position;
    p->velocity.set(1.0f, 2.0f, 3.0f);
    p->addForce(Vector3(4.0f, 0.0f, -2.0f));
    p->pendingVelocityChange.set(0.0f, 0.0f, 0.0f);
    p->applyPendingVelocityChange();
    EXPECT_EQ(0, p->integrateVelocity(500));
    expectNear(Vector3(2.0f, 0.0f, -1.0f), p->acceleration, "acceleration");
    const Vector3 v = Vector3(2.0f, 2.0f, 2.5f) * CPhysicsObject::DAMPING;
    expectNear(v, p->velocity, "velocity");
    expectNear(Vector3(), p->force, "force used up");
    p->integratePosition(250);
    expectNear(Vector3(10.0f, 0.0f, 0.0f) + v * 0.25f, position, "position");
    EXPECT_EQ(0, p->pendingApplied);

    // Without force the damping is per call: one call of 1 ms and one of 1000 ms scale alike.
    CPhysicsParticle* q = particle();
    q->velocity.set(0.0f, 0.0f, 100.0f);
    q->integrateVelocity(1);
    const float once = q->velocity.z;
    q->velocity.set(0.0f, 0.0f, 100.0f);
    q->integrateVelocity(1000);
    EXPECT_EQ(once, q->velocity.z);
    EXPECT_EQ(100.0f * CPhysicsObject::DAMPING, once);
}

TEST_F(Bodies, AParticleOnAnImmovableBouncesRestsOrIsLeftAlone)
{
    const Vector3 up(0.0f, 0.0f, 1.0f);
    auto* floor = make<CPhysicsImmovable>(CPhysicsObject::PHYSICS_IMMOVABLE, 1.0f, 0.5f);
    struct Row {
        const char* what;
        Vector3 velocity;
        bool pending;
        Vector3 gravity;
        Vector3 expected;
    };
    const Vector3 g(3.0f, 0.0f, -10.0f);
    const Row rows[] = {
        // kt = 0.5 x 1, kn = 0.8 x 0.5: the tangential part halves, the normal part comes back at 0.4.
        {"bounce", {3, 0, -4}, false, g, {1.5f, 0, 1.6f}},
        {"exactly -1 neither bounces nor rests", {2, 0, -1}, true, g, {2, 0, -1}},
        {"slow without the pending change", {2, 0, -0.5f}, false, g, {2, 0, -0.5f}},
        // e = g.n = -10: v -= e n, then v += g - e n (gravity's slide along the floor).
        {"resting", {2, 0, -0.5f}, true, g, {5, 0, 9.5f}},
        {"resting under straight gravity", {2, 0, 0.9f}, true, {0, 0, -10}, {2, 0, 10.9f}},
        // e > 0: only the normal part.
        {"resting under a ceiling", {2, 0, 0.5f}, true, {0, 0, 4}, {2, 0, -3.5f}},
        {"gravity along the floor", {2, 0, 0.5f}, true, {5, 0, 0}, {2, 0, 0.5f}},
    };
    for (const Row& row : rows) {
        std::tie(getProjData().GravityX, getProjData().GravityY, getProjData().GravityZ) =
            std::tie(row.gravity.x, row.gravity.y, row.gravity.z);
        CPhysicsParticle* p = particle(0.5f, 0.8f);
        p->setVelocity(row.velocity);
        if (row.pending) p->applyPendingVelocityChange();
        p->resolveContact(floor, 0, up);
        expectNear(row.expected, p->velocity, row.what);
    }

    // From the immovable's side the particle bounces alike.
    CPhysicsParticle* p = particle(0.5f, 0.8f);
    p->setVelocity(Vector3(3, 0, -4));
    floor->resolveContact(p, 0, up);
    expectNear(Vector3(1.5f, 0, 1.6f), p->velocity, "bounced by the immovable");
    EXPECT_TRUE(testsupport::reports().empty());

    // A rigid body is refused from either side that responds.
    auto* rigid = make<CPhysicsRigidBody>(CPhysicsObject::PHYSICS_RIGIDBODY, 1.0f, 1.0f);
    p->resolveContact(rigid, 0, up);
    floor->resolveContact(rigid, 0, up);
    rigid->resolveContact(p, 0, up);
    expectNear(Vector3(1.5f, 0, 1.6f), p->velocity, "after a rigid body");
    EXPECT_EQ(2, testsupport::countReports("0"));
}

TEST_F(Bodies, TwoParticlesShareTheirImpactByMassAndFactors)
{
    const Vector3 n(-1.0f, 0.0f, 0.0f);
    struct Row {
        const char* what;
        float factorsA[2];  // tangential, bounce
        float factorsB[2];
        float masses[2];
        Vector3 vA, vB;
        Vector3 expectedA, expectedB;
    };
    const Row rows[] = {
        {"equal and elastic: exchanged", {1, 1}, {1, 1}, {2, 2}, {2, 0, 0}, {-1, 0, 0}, {-1, 0, 0}, {2, 0, 0}},
        {"both products 0: kept", {0, 0}, {0, 0}, {2, 2}, {2, 0, 0}, {-1, 0, 0}, {2, 0, 0}, {-1, 0, 0}},
        {"separating: left alone", {1, 1}, {1, 1}, {1, 1}, {-2, 0, 0}, {0, 5, 0}, {-2, 0, 0}, {0, 5, 0}},
        // kt = 0.5, kn = 0.25, masses 1 and 3: A' = (0.25, 1.125, 0), B' = (0.25, 0.625, 0).
        {"worked", {1, 0.5f}, {0.5f, 0.5f}, {1, 3}, {1, 0, 0}, {0, 1, 0}, {1, 0.5f, 0}, {0, 0.5f, 0}},
    };
    for (const Row& row : rows) {
        CPhysicsParticle* a = particle(row.factorsA[0], row.factorsA[1], row.masses[0]);
        CPhysicsParticle* b = particle(row.factorsB[0], row.factorsB[1], row.masses[1]);
        std::tie(a->velocity, b->velocity) = std::tie(row.vA, row.vB);
        a->resolveContact(b, 0, n);
        expectNear(row.expectedA, a->velocity, row.what);
        expectNear(row.expectedB, b->velocity, row.what);
    }
}

TEST(PhysicsObjectManager, KindsNamesLimitsAndHandlesThatNameNoObject)
{
    Manager manager;
    EXPECT_EQ(4u, manager.getNumDefinitions());
    const char* const names[] = {"PhysicsNone", "PhysicsParticle", "physicsimmovable", "PhysicsRigidBody"};
    for (uint32_t i = 0; i < 4; ++i) {
        uint32_t typeId = 0;
        EXPECT_TRUE(manager.findTypeByName(names[i], &typeId));
        EXPECT_EQ(0x82000000u | i, typeId);
        resourceHandle handle = 0;
        CResource* pResource = nullptr;
        ASSERT_TRUE(manager.instantiate(0x82000000u | i, &handle, 1));
        ASSERT_TRUE(manager.acquire(handle, &pResource));
        EXPECT_EQ(0x82000000u | i, static_cast<CPhysicsObject*>(pResource)->getTypeId());
    }
    uint32_t typeId = 0;
    EXPECT_FALSE(manager.findTypeByName("PhysicsNon", &typeId));

    resourceHandle handle = 0;
    EXPECT_FALSE(manager.instantiate(0x82000004, &handle, 1));
    EXPECT_EQ(1, testsupport::countReports("0"));
    testsupport::clearReports();
    for (uint32_t i = 4; i < Manager::MAX_PHYSICS_OBJECTS; ++i)
        ASSERT_TRUE(manager.instantiate(CPhysicsObject::PHYSICS_NONE, &handle, 1));
    EXPECT_EQ(0x820000c7u, handle);
    EXPECT_FALSE(manager.instantiate(CPhysicsObject::PHYSICS_NONE, &handle, 1));  // the 201st
    EXPECT_TRUE(testsupport::reports().empty());

    // Released slots come back under the same handle.
    EXPECT_TRUE(manager.releaseObject(0x82000010));
    CResource* pResource = nullptr;
    EXPECT_FALSE(manager.acquire(0x82000010, &pResource));
    ASSERT_TRUE(manager.instantiate(CPhysicsObject::PHYSICS_PARTICLE, &handle, 1));
    EXPECT_EQ(0x82000010u, handle);

    // Refused after their report, without reaching past the table or into an empty slot.
    EXPECT_FALSE(manager.acquire(0x820000c8, &pResource));
    EXPECT_FALSE(manager.releaseObject(0x82100001));
    EXPECT_EQ(2, testsupport::countReports("resource < MAX_PHYSICS_OBJECTS"));
    EXPECT_FALSE(manager.acquire(0x81000001, &pResource));
    EXPECT_FALSE(manager.releaseObject(0x05000001));

    EXPECT_TRUE(manager.releaseObject(0x82000011));
    EXPECT_FALSE(manager.releaseObject(0x82000011));
    EXPECT_EQ(5u, testsupport::reports().size());
    EXPECT_EQ(Manager::MAX_PHYSICS_OBJECTS - 1, manager.getNumLive());
    for (uint32_t slot = 0; slot < Manager::MAX_PHYSICS_OBJECTS; ++slot)
        if (slot != 0x11) manager.release(0x82000000u | slot);
    EXPECT_EQ(0u, manager.getNumLive());
}

}  // namespace
