#include "gameobjects/InteractionSolver.h"

#include "ai/Animal.h"
#include "ai/Component.h"
#include "ai/PathFollower.h"
#include "ai/WorldMgr.h"
#include "gameobjects/CollisionObject.h"
#include "gameobjects/GameObject.h"
#include "gameobjects/GameObjectManager.h"
#include "global/ProjData.h"
#include "utility/Assert.h"

#include <algorithm>
#include <cmath>

namespace {

// Contacts in the level's first frames are the placement settling, not collisions.
const uint32_t FIRST_SOLVED_FRAME = 3;
const float SPEED_FLOOR = 0.1f;
const float KNOCKBACK_BOOST = 1.085f;
const float BOTH_RESPONDING_SCALE = 1.05f;
const float DAMAGE_CEILING = 500000.0f;
const float DEAD_CONTACT_DAMAGE = 10000.0f;
const float NEAR_ZERO = 1e-6f;

// The check texts of the two objects' reads: at the start of the call, and afresh later.
struct ReadChecks {
    const char* speed;
    const char* direction;
};
const ReadChecks FIRST_READ[2] = {
    {"pObj1->GetCurrentSpeed( currentSpeed )", "pObj1->GetCurrentDirection( currentVelocity )"},
    {"pObj2->GetCurrentSpeed( currentSpeed )", "pObj2->GetCurrentDirection( currentVelocity )"}};
const ReadChecks FRESH_READ[2] = {{"pObj1->GetCurrentSpeed( speed )", "pObj1->GetCurrentDirection( dir )"},
                                  {"pObj2->GetCurrentSpeed( speed )", "pObj2->GetCurrentDirection( dir )"}};

CWorldMgr* world() { return projDataExists() ? getProjData().getWorldMgr() : nullptr; }

bool isFinite(const Vector3& v) { return isValidFloat(v.x) && isValidFloat(v.y) && isValidFloat(v.z); }

float lengthOf(const Vector3& v) { return std::sqrt(v.lengthSquared()); }

// A failed read is reported and the solver goes on with what it has (zero when nothing was written).
float readSpeed(CGameObject* pObj, const ReadChecks& checks)
{
    float speed = 0.0f;
    if (!pObj->GetCurrentSpeed(&speed)) assertFailed(checks.speed, __FILE__, __LINE__);
    return speed;
}

Vector3 readDirection(CGameObject* pObj, const ReadChecks& checks)
{
    Vector3 direction;
    if (!pObj->GetCurrentDirection(&direction)) assertFailed(checks.direction, __FILE__, __LINE__);
    return direction;
}

// The damage energies measure a change this way: one whose components sum to about zero counts as
// none, however large it is.
float changeLength(const Vector3& change)
{
    return std::fabs(change.x + change.y + change.z) <= NEAR_ZERO ? 0.0f : lengthOf(change);
}

bool onFollowOnlyWaypoint(CGameObject* pObj)
{
    const CPathFollower* pFollower = pObj->pPathFollower;
    return pFollower && pFollower->getPathIndex() != -1 && pFollower->isFollowOnly();
}

// The game object of a component's assembly (the object itself when it is no component).
CGameObject* assemblyOf(CGameObject* pObj)
{
    if (!CComponent::isComponent(pObj->GetType())) return pObj;
    CComponent* pComponent = dynamic_cast<CComponent*>(pObj);
    return pComponent ? pComponent->getTopComponent() : pObj;
}

// The object carrying the path that the follower is on; null when it cannot be had.
CGameObject* pathParent(CGameObject* pFollowerObj)
{
    CWorldMgr* pWorld = world();
    const uint32_t index = static_cast<uint32_t>(pFollowerObj->pPathFollower->getPathIndex());
    const SPath* pPath = pWorld ? pWorld->getPathMgr()->getPath(index) : nullptr;
    CResource* pResource = nullptr;
    if (!pPath || !pTheObjectManager || !pTheObjectManager->acquireResource(pPath->parentHandle, &pResource))
        return nullptr;
    if (!VERIFY(pResource)) return nullptr;
    if (!VERIFY(pResource->getResourceType() == CResource::RESOURCETYPE_GAMEOBJECT)) return nullptr;
    return static_cast<CGameObject*>(pResource);
}

void clampVelocity(CGameObject* pObj, const Vector3& velocity, float ceiling, bool zeroGuard)
{
    const float lengthSquared = velocity.lengthSquared();
    // Even unguarded, a zero vector has no direction to keep.
    if ((zeroGuard && lengthSquared <= NEAR_ZERO) || lengthSquared == 0.0f)
        pObj->setVelocity(Vector3());
    else
        pObj->setVelocity(velocity * (ceiling / std::sqrt(lengthSquared)));
}

// The knock-back of one side: past its ceiling the velocity is replaced by one of the ceiling's
// length; below it the change is added away from the contact.
void knockBack(CGameObject* pObj, const Vector3& point, const Vector3& normal, const Vector3& change,
               const Vector3& freshVelocity, float length, bool zeroGuard)
{
    const float ceiling = pObj->getMaxKnockbackVelocity();
    if (ceiling < length)
        clampVelocity(pObj, freshVelocity + change, ceiling, zeroGuard);
    else
        applyKnockback(pObj, point, normal, change);
}

Vector3 freshVelocity(CGameObject* pObj, int side, float* pSpeed = nullptr)
{
    const float speed = readSpeed(pObj, FRESH_READ[side]);
    if (pSpeed) *pSpeed = speed;
    return readDirection(pObj, FRESH_READ[side]) * speed;
}

Vector3 direction(const Vector3& from, const Vector3& to)
{
    const Vector3 d = to - from;
    const float length = lengthOf(d);
    return length > 0.0f ? d * (1.0f / length) : Vector3();
}

// An obstacle (a dead object) against the other side: the other is pushed when it responds, then
// slowed or stopped by the obstacle's pass-through when it was running into it.
void meetObstacle(CGameObject* pObstacle, CGameObject* pOther, int otherSide, bool otherResponds,
                  const Vector3& obstaclePosition, const Vector3& otherPosition, const Vector3& otherVelocity,
                  const Vector3& otherChange, const Vector3& point, const Vector3& normal)
{
    if (otherResponds) {
        const Vector3 fresh = freshVelocity(pOther, otherSide);
        knockBack(pOther, point, normal, otherChange, fresh, lengthOf(fresh + otherChange), true);
    }
    if (direction(otherPosition, obstaclePosition).dot(otherVelocity) <= 0.0f) return;
    const float obstacleMass = pObstacle->getMass(), otherMass = pOther->getMass();
    const float ratio = std::min(obstacleMass, otherMass) / std::max(obstacleMass, otherMass);
    switch (pObstacle->getPassThru()) {
    case 2:
        pOther->setVelocity(Vector3());
        break;
    case 1:
        if (otherResponds) pOther->setVelocity(otherVelocity * (obstacleMass <= otherMass ? 1.0f - ratio : ratio));
        break;
    default:
        break;
    }
}

// Direction times speed of both, their masses as multiples of the lighter one, and the velocities
// after a perfectly elastic contact of two point masses. Along the contact normal the two velocities
// only exchange a part that cancels in the result, so the normal does not enter it.
void elasticContact(CGameObject* pObj1, CGameObject* pObj2, bool floorSlowSpeeds, Vector3* pAfter1, Vector3* pAfter2,
                    float* pRelMass1, float* pRelMass2)
{
    Vector3 w[2];
    float mass[2];
    CGameObject* objects[2] = {pObj1, pObj2};
    for (int i = 0; i < 2; ++i) {
        const Vector3 dir = readDirection(objects[i], FRESH_READ[i]);
        const float speed = readSpeed(objects[i], FRESH_READ[i]);
        mass[i] = objects[i]->getMass();
        w[i] = floorSlowSpeeds && speed <= NEAR_ZERO ? Vector3() : dir * speed;
    }
    float m1 = 1.0f, m2 = 1.0f;
    if (mass[0] < mass[1])
        m2 = mass[1] / mass[0];
    else if (mass[0] > mass[1])
        m1 = mass[0] / mass[1];
    *pAfter1 = (w[0] * (m1 - m2) + w[1] * (2.0f * m2)) * (1.0f / (m1 + m2));
    *pAfter2 = (w[0] * (2.0f * m1) + w[1] * (m2 - m1)) * (1.0f / (m1 + m2));
    *pRelMass1 = m1;
    *pRelMass2 = m2;
}

}  // namespace

void solveBothResponding(CGameObject* pObj1, CGameObject* pObj2, const Vector3&, const Vector3&, float,
                         Vector3* pChange1, Vector3* pChange2)
{
    Vector3 after1, after2;
    float m1 = 1.0f, m2 = 1.0f;
    elasticContact(pObj1, pObj2, true, &after1, &after2, &m1, &m2);
    *pChange1 = (after1 - after2) * (BOTH_RESPONDING_SCALE / (m1 / m2));
    *pChange2 = (after2 - after1) * (BOTH_RESPONDING_SCALE / (m2 / m1));
}

void solveOneResponding(CGameObject* pObj1, CGameObject* pObj2, const Vector3&, const Vector3&, float,
                        Vector3* pChange1, Vector3* pChange2)
{
    Vector3 after1, after2;
    float m1 = 1.0f, m2 = 1.0f;
    elasticContact(pObj1, pObj2, false, &after1, &after2, &m1, &m2);
    *pChange1 = after1 - after2;
    *pChange2 = after2 - after1;
}

void getInteractionResponders(CGameObject* pObj1, CGameObject* pObj2, bool* pRespond1, bool* pRespond2)
{
    *pRespond1 = pObj1->movable != 0;
    *pRespond2 = pObj2->movable != 0;
    CGameObject* objects[2] = {pObj1, pObj2};
    bool* responds[2] = {pRespond1, pRespond2};
    for (int i = 0; i < 2; ++i) {
        CGameObject* pObj = objects[i];
        CGameObject* pOther = objects[1 - i];
        if (!*responds[i] || !onFollowOnlyWaypoint(pObj)) continue;
        *responds[i] = false;
        // Following a path carried by the other's assembly: the two move as one.
        CGameObject* pParent = pathParent(pObj);
        if (!pParent || !CComponent::isComponent(pParent->GetType())) continue;
        if (assemblyOf(pParent) == assemblyOf(pOther)) *responds[1 - i] = false;
    }
}

void applyKnockback(CGameObject* pObj, const Vector3& contactPoint, const Vector3& contactNormal, const Vector3& change)
{
    Vector3 position;
    if (!pObj->GetCurrentPosition(&position)) assertFailed("pObj->GetCurrentPosition( position )", __FILE__, __LINE__);
    const Vector3 away = position - contactPoint;
    const float changeAlongNormal = change.dot(contactNormal);
    if (away.dot(contactNormal) > 0.0f)
        pObj->addVelocity(changeAlongNormal > 0.0f ? change : change.negated());
    else if (away.dot(change) > 0.0f)
        pObj->addVelocity(changeAlongNormal <= 0.0f ? change : change.negated());
}

void solveObjectInteraction(CGameObject* pObj1, CGameObject* pObj2, const Vector3& contactPoint, Vector3& contactNormal,
                            float contactValue)
{
    if (!VERIFY(pObj1 && pObj2)) return;
    CWorldMgr* pWorld = world();
    if (!pWorld || pWorld->getFrameCounter() < FIRST_SOLVED_FRAME) return;

    bool respond1 = false, respond2 = false;
    getInteractionResponders(pObj1, pObj2, &respond1, &respond2);
    if (!respond1 && !respond2) return;
    if (!respond1 && !pObj2->getMovable()) return;
    if (!respond2 && !pObj1->getMovable()) return;

    for (CGameObject* pObj : {pObj1, pObj2}) {
        if (!onFollowOnlyWaypoint(pObj)) continue;
        if (pObj->GetType() != animals::TYPE_PATH_ANSWERING || animals::keepsToFollowOnlyPath(pObj)) return;
    }

    // An object already at zero health is finished off by whatever touches it.
    if (pObj1->health <= 0) {
        pObj1->applyDamage(DEAD_CONTACT_DAMAGE, pObj2);
        return;
    }
    if (pObj2->health <= 0) {
        pObj2->applyDamage(DEAD_CONTACT_DAMAGE, pObj1);
        return;
    }

    if (!isValidFloat(contactValue) || contactValue < 0.0f) return;
    if (!isFinite(contactNormal)) {
        Vector3 centre1, centre2;
        if (pObj1->pCollisionObject) pObj1->pCollisionObject->getCentre(&centre1);
        if (pObj2->pCollisionObject) pObj2->pCollisionObject->getCentre(&centre2);
        const Vector3 apart = centre1 - centre2;
        const float lengthSquared = apart.lengthSquared();
        const bool apartEnough = isValidFloat(lengthSquared) && lengthSquared >= NEAR_ZERO;
        contactNormal = apartEnough ? apart * (1.0f / std::sqrt(lengthSquared)) : Vector3(0.0f, 0.0f, 1.0f);
    }

    const float speed1 = readSpeed(pObj1, FIRST_READ[0]);
    const float speed2 = readSpeed(pObj2, FIRST_READ[1]);
    if (speed1 <= SPEED_FLOOR && speed2 <= SPEED_FLOOR) return;
    const Vector3 velocity1 = readDirection(pObj1, FIRST_READ[0]) * speed1;
    const Vector3 velocity2 = readDirection(pObj2, FIRST_READ[1]) * speed2;

    float m1 = pObj1->getMass(), m2 = pObj2->getMass();
    Vector3 change1, change2;
    float energy1 = 0.0f, energy2 = 0.0f;
    if (respond1 && respond2) {
        solveBothResponding(pObj1, pObj2, contactPoint, contactNormal, contactValue, &change1, &change2);
        energy1 = pObj1->getEnergyToDamage() * changeLength(change1);
        energy2 = pObj2->getEnergyToDamage() * changeLength(change2);
    } else {
        solveOneResponding(pObj1, pObj2, contactPoint, contactNormal, contactValue, &change1, &change2);
        const float length1 = changeLength(change1), length2 = changeLength(change2);
        // The mover is hurt by its running energy factor only when it was going faster than it may.
        if (velocity1.lengthSquared() > 0.0f) {
            const float factor = pObj1->getMaxVelocity() < lengthOf(velocity1) ? pObj1->getEnergyToDamage()
                                                                               : pObj1->getEnergyToDamageStationary();
            energy1 = factor * length1 * m2 / m1;
            energy2 = pObj2->getEnergyToDamage() * length2 * m1 / m2;
        } else if (velocity2.lengthSquared() > 0.0f) {
            const float factor = pObj2->getMaxVelocity() < lengthOf(velocity2) ? pObj2->getEnergyToDamage()
                                                                               : pObj2->getEnergyToDamageStationary();
            energy2 = factor * length2 * m1 / m2;
            energy1 = pObj1->getEnergyToDamage() * length1 * m2 / m1;
        } else {
            energy1 = length1;
            energy2 = length2;
        }
    }
    if (!isFinite(change1)) change1 = Vector3();
    if (!isFinite(change2)) change2 = Vector3();

    if (pObj1->getDamageThreshold() < energy1) pObj1->applyDamage(std::clamp(energy1, 0.0f, DAMAGE_CEILING), pObj2);
    if (pObj2->getDamageThreshold() < energy2) pObj2->applyDamage(std::clamp(energy2, 0.0f, DAMAGE_CEILING), pObj1);

    Vector3 position1, position2;
    pObj1->GetCurrentPosition(&position1);
    pObj2->GetCurrentPosition(&position2);
    m1 = pObj1->getMass();
    m2 = pObj2->getMass();
    const bool obstacle1 = pObj1->isDead(), obstacle2 = pObj2->isDead();
    if (!obstacle1 && !obstacle2) {
        change1 *= KNOCKBACK_BOOST;
        change2 *= KNOCKBACK_BOOST;
        if (!respond1) {
            const Vector3 fresh2 = freshVelocity(pObj2, 1);
            knockBack(pObj2, contactPoint, contactNormal, change2, fresh2, lengthOf(fresh2 + change2), true);
            return;
        }
        if (!respond2) {
            float freshSpeed1 = 0.0f;
            const Vector3 fresh1 = freshVelocity(pObj1, 0, &freshSpeed1);
            knockBack(pObj1, contactPoint, contactNormal, change1, fresh1, lengthOf(change1) + freshSpeed1, true);
            return;
        }
        // The heavier side takes the smaller share.
        const float ratio = std::min(m1, m2) / std::max(m1, m2);
        if (m1 > m2) {
            change2 *= ratio;
            change1 *= 1.0f - ratio;
        } else {
            change1 *= ratio;
            change2 *= 1.0f - ratio;
        }
        const Vector3 fresh1 = freshVelocity(pObj1, 0);
        const Vector3 fresh2 = freshVelocity(pObj2, 1);
        knockBack(pObj1, contactPoint, contactNormal, change1, fresh1, lengthOf(fresh1 + change1), false);
        knockBack(pObj2, contactPoint, contactNormal, change2, fresh2, lengthOf(fresh2 + change2), false);
        return;
    }
    if (obstacle1)
        meetObstacle(pObj1, pObj2, 1, respond2, position1, position2, velocity2, change2, contactPoint, contactNormal);
    if (obstacle2)
        meetObstacle(pObj2, pObj1, 0, respond1, position2, position1, velocity1, change1, contactPoint, contactNormal);
}
