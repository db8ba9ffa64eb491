#include "gameobjects/SampleObjects.h"

#include "gameobjects/CollisionObject.h"
#include "gameobjects/CollisionServices.h"
#include "gameobjects/GameObjectManager.h"
#include "gameobjects/InteractionSolver.h"
#include "gameobjects/ModelResourceManager.h"
#include "utility/ParamBlock.h"

#include <cmath>

using namespace sampleparts;

namespace {

const float HALF_PI = 1.5707964f;

// The Hamilton product a b.
Quaternion multiply(const Quaternion& a, const Quaternion& b)
{
    return Quaternion(a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
                      a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z);
}

// For one contact, an object that does not give way (as one that cannot be moved).
class HeldFast {
public:
    HeldFast(CGameObject& object, bool held) : d_object(object), d_movable(object.movable)
    {
        if (held) object.movable = 0;
    }
    ~HeldFast() { d_object.movable = d_movable; }
    HeldFast(const HeldFast&) = delete;
    HeldFast& operator=(const HeldFast&) = delete;

private:
    CGameObject& d_object;
    const uint8_t d_movable;
};

}  // namespace

CCollisionTest::CCollisionTest() : CGameObject(TYPE_ID) {}

CCollisionTest::~CCollisionTest() { d_parts.release(*this); }

bool CCollisionTest::initFromParamBlock(CParamBlock* pBlock, resourceHandle creator)
{
    health = FULL_HEALTH;
    if (!CGameObject::initFromParamBlock(pBlock, creator)) return false;
    float position[3];
    int shape = 0;
    if (!pBlock->parseVector("position", position) || !pBlock->parseInt("collision_type", &shape)) return false;
    d_position.set(position[0], position[1], position[2]);
    switch (shape) {
    case SHAPE_SPHERE: {
        if (!d_parts.attachCollision(*this, 0, "CollisionSphere")) return false;
        auto* pSphere = static_cast<CCollisionSphere*>(pCollisionObject);
        pSphere->pCentre = &d_position;
        pSphere->radius = SIZE;
        break;
    }
    case SHAPE_CYLINDER: {
        if (!d_parts.attachCollision(*this, 0, "CollisionCylinder")) return false;
        auto* pCylinder = static_cast<CCollisionCylinder*>(pCollisionObject);
        pCylinder->pCentre = &d_position;
        pCylinder->pOrientation = &d_orientation;
        pCylinder->rotation.setRotationX(HALF_PI);
        pCylinder->radius = pCylinder->height = SIZE;
        break;
    }
    case SHAPE_HULL: {
        // A hull has no tests with the testers' other shapes: the tester cannot be made.
        if (!d_parts.attachCollision(*this, 0, "CollisionConvexHull")) return false;
        auto* pHull = static_cast<CCollisionConvexHull*>(pCollisionObject);
        pHull->pCentre = &d_position;
        pHull->pOrientation = &d_orientation;
        return false;
    }
    default:
        break;
    }
    if (!d_parts.attachPhysics(*this, 0, "PhysicsNone") ||
        !d_parts.attachModel(0, MODEL, sampleparts::SAttachments::MODEL_OWNER_DRAWN))
        return false;
    d_orientationQuat = Quaternion();
    d_orientation.setIdentity();
    return true;
}

void CCollisionTest::update(int)
{
    d_velocity *= DAMPING;
    Vector3 normal;
    const float ground = groundHeight(d_position.x, d_position.y, &normal);
    const float clearance = d_position.z - GROUND_CLEARANCE;
    if (ground < clearance)
        d_velocity.z -= GRAVITY;
    else if (ground > clearance && d_velocity.z < 0.0f)
        d_velocity -= normal * (2.0f * normal.dot(d_velocity));
}

bool CCollisionTest::think(int)
{
    advance(1.0f);
    return false;
}

void CCollisionTest::advance(float factor)
{
    d_position += d_velocity * factor;
    d_orientationQuat = multiply(d_orientationQuat, d_spin);
    quatToMatrix3(d_orientationQuat, d_orientation);
}

void CCollisionTest::spinAbout(const Vector3& axis)
{
    const float length = std::sqrt(axis.lengthSquared());
    if (!(length > 0.0f)) return;
    const float half = length * static_cast<float>(frameStep()) / 1000.0f * 0.5f;
    const Vector3 unit = axis / length;
    const float s = std::sin(half);
    d_spin = Quaternion(unit.x * s, unit.y * s, unit.z * s, std::cos(half));
}

void CCollisionTest::interact(CGameObject* pOther)
{
    if (!pOther) return;
    Vector3 point, normal;
    if (pOther->GetType() == TYPE_ID) {
        if (!pCollisionObject || !pOther->pCollisionObject) return;
        // The other's velocity per frame, from what it says of itself per second.
        Vector3 direction, otherMotion;
        float speed = 0.0f;
        if (pOther->GetCurrentDirection(&direction) && pOther->GetCurrentSpeed(&speed))
            otherMotion = direction * (speed / (1000.0f / static_cast<float>(frameStep())));
        collisionPairFirst = this;
        collisionPairSecond = pOther;
        const bool hit =
            pCollisionObject->testMoving(pOther->pCollisionObject, d_velocity, otherMotion, &point, &normal);
        collisionPairFirst = collisionPairSecond = nullptr;
        if (!hit) return;
        // The normal points toward this one. A tester standing on the ground cannot be pushed into
        // it: the other takes the whole response, or a stack would sink through the ground.
        HeldFast heldThis(*this, isPushedIntoGround(normal));
        HeldFast heldOther(*pOther, static_cast<CCollisionTest*>(pOther)->isPushedIntoGround(normal.negated()));
        resolveInteraction(pOther, point, normal, 0.0f, false);
        spinAbout(normal.cross(d_position - point));
        return;
    }
    // A laser decides its hit itself and pushes this one if it delivers it here.
    if (CSampleObjectLaser::handOverTo(*this, *pOther)) return;
    if (pOther->GetType() != TYPE_PLAYER_VEHICLE && testShapes(*this, *pOther, &point, &normal))
        d_velocity += normal * PUSH;
}

bool CCollisionTest::isPushedIntoGround(const Vector3& push) const
{
    Vector3 groundNormal;
    const float ground = groundHeight(d_position.x, d_position.y, &groundNormal);
    return !(ground < d_position.z - GROUND_CLEARANCE) && push.dot(groundNormal) < 0.0f;
}

void CCollisionTest::contactReply(CGameObject* pOther, const Vector3& point, const Vector3& normal)
{
    if (!pOther) return;
    if (pOther->GetType() == TYPE_ID)
        spinAbout(normal.cross(point - d_position));
    else if (pOther->GetType() != TYPE_PLAYER_VEHICLE)
        d_velocity -= normal * PUSH;
}

void CCollisionTest::resolveInteraction(CGameObject* pOther, const Vector3& point, Vector3& normal, float value,
                                        bool otherFirst)
{
    if (otherFirst)
        solveObjectInteraction(pOther, this, point, normal, value);
    else
        solveObjectInteraction(this, pOther, point, normal, value);
}

void CCollisionTest::applyDamage(float energy, CGameObject* pSource)
{
    if (pSource && pSource->GetType() == TYPE_ID) health -= static_cast<int32_t>(std::lround(energy));
}

void CCollisionTest::postCollision()
{
    if (isDead())
        if (CGameObjectManager* pObjects = objects()) pObjects->deleteObject(this);
}

void CCollisionTest::render()
{
    if (!d_parts.pModel) return;
    d_parts.drawModel(d_orientation, d_position);
}

bool CCollisionTest::GetCurrentPosition(Vector3* pPosition)
{
    *pPosition = d_position;
    return true;
}

bool CCollisionTest::GetCurrentDirection(Vector3* pDirection)
{
    const float lengthSquared = d_velocity.lengthSquared();
    *pDirection = lengthSquared < 0.001f ? Vector3() : d_velocity / std::sqrt(lengthSquared);
    return true;
}

bool CCollisionTest::GetCurrentSpeed(float* pSpeed)
{
    *pSpeed = std::sqrt(d_velocity.lengthSquared()) * (1000.0f / static_cast<float>(frameStep()));
    return true;
}

void CCollisionTest::addVelocity(const Vector3& change)
{
    d_velocity += change * (static_cast<float>(frameStep()) / 1000.0f);
}

void CCollisionTest::setVelocity(const Vector3& velocity)
{
    d_velocity = velocity * (static_cast<float>(frameStep()) / 1000.0f);
}

bool CCollisionTest::getOrientationMatrix(const Matrix3** ppOrientation)
{
    *ppOrientation = &d_orientation;
    return true;
}
