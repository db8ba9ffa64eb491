#include "gameobjects/SampleObjects.h"

#include "d3dcore9/D3DCore.h"
#include "gameobjects/CollisionObject.h"
#include "gameobjects/GameObjectManager.h"
#include "gameobjects/ModelResourceManager.h"
#include "gameobjects/SampleObjectResourceManager.h"
#include "gameobjects/TreeClump.h"
#include "global/ProjData.h"
#include "utility/Assert.h"
#include "utility/ParamBlock.h"

using namespace sampleparts;

namespace {

const float HALF_PI = 1.5707964f;

// Message offsets after the common header.
const uint32_t AT_POSITION = CNetObject::MESSAGE_HEADER_SIZE;
const uint32_t BULLET_AT_PITCH = 31, BULLET_AT_YAW = 35, BULLET_AT_ROLL = 39, BULLET_AT_SPEED = 43,
               BULLET_AT_CREATOR = 47;
const uint32_t LASER_AT_DIRECTION = 31;
const uint32_t TARGET_AT_SCALE = 31;

// The message's age by the game clock; a sender ahead of us counts as no age.
int32_t messageAge(const CNetObject& object)
{
    const int32_t age = static_cast<int32_t>(gameTime() - object.getSenderTime());
    return age > 0 ? age : 0;
}

// The object a creation cursor names at the index (null when the cursor or entry is missing).
template <class T>
const T* argument(ObjectArgs args, int index)
{
    return args ? static_cast<const T*>(args[index]) : nullptr;
}

void deleteFromLevel(CGameObject* pObject)
{
    if (CGameObjectManager* pObjects = objects()) pObjects->deleteObject(pObject);
}

}  // namespace

// Bullet ----------------------------------------------------------------------------------------

CSampleObjectBullet::CSampleObjectBullet()
    : CGameObject(TYPE_ID), d_speed(0.0f), d_travel(0.0f), d_pitch(0.0f), d_yaw(0.0f), d_roll(0.0f),
      d_lifetime(LIFETIME), d_extraTravel(EXTRA_TRAVEL)
{
    // It has no speed to tell, yet must meet what stands still.
    d_alwaysMoving = 1;
}

CSampleObjectBullet::~CSampleObjectBullet() { d_parts.release(*this); }

bool CSampleObjectBullet::attachResources()
{
    typedef CSampleObjectResourceManager Misc;
    if (!d_parts.attachModel(Misc::s_bulletModelType, nullptr, 0) ||
        !d_parts.attachCollision(*this, Misc::s_bulletCollisionType, nullptr) ||
        !d_parts.attachPhysics(*this, Misc::s_bulletPhysicsType, nullptr))
        return false;
    auto* pRay = static_cast<CCollisionFiniteRay*>(pCollisionObject);
    pRay->pStart = &d_position;
    pRay->pDirection = &d_direction;
    pRay->length = 1.0f;
    d_extraTravel = EXTRA_TRAVEL;
    d_travel = 0.0f;
    d_lifetime = LIFETIME;
    d_active = 1;
    return true;
}

bool CSampleObjectBullet::initFromArgs(resourceHandle creator, ObjectArgs args)
{
    CGameObject::initFromArgs(creator, args);
    if (!attachResources()) return false;
    const Vector3* pPosition = argument<Vector3>(args, 0);
    const float *pSpeed = argument<float>(args, 1), *pPitch = argument<float>(args, 2),
                *pYaw = argument<float>(args, 3), *pRoll = argument<float>(args, 4);
    if (!VERIFY(pPosition && pSpeed && pPitch && pYaw && pRoll)) return false;
    launch(*pPosition, *pSpeed, *pPitch, *pYaw, *pRoll);
    return true;
}

void CSampleObjectBullet::prepareAsReplica()
{
    d_parts.release(*this);
    attachResources();
}

void CSampleObjectBullet::launch(const Vector3& position, float speed, float pitch, float yaw, float roll)
{
    d_position = position;
    d_speed = speed;
    d_pitch = pitch;
    d_yaw = yaw;
    d_roll = roll;
    matrix3FromAngles(-pitch, -yaw - HALF_PI, roll, d_orientation);
    d_orientation.getRow1(2, d_direction);
}

void CSampleObjectBullet::update(int frameStep)
{
    if (!d_active) return;
    d_lifetime -= frameStep;
    if (d_lifetime > 0) {
        const float t = static_cast<float>(frameStep > 0 ? frameStep : 1);
        d_travel = d_extraTravel * t + d_speed * (1000.0f / t) * 0.001f;
        if (pCollisionObject) static_cast<CCollisionFiniteRay*>(pCollisionObject)->length = d_travel;
        return;
    }
    // Another machine's bullet is taken away by its own machine.
    if (!(networkGameRuns() && !isNodeFlagSet())) deleteFromLevel(this);
    d_active = 0;
}

bool CSampleObjectBullet::think(int)
{
    if (d_active) {
        d_position += d_direction * d_travel;
        d_travel = 0.0f;
    }
    return true;
}

bool CSampleObjectBullet::hitsKind(uint32_t type)
{
    return type == CTreeClump::TYPE_ID || (type >= TYPE_ANIMAL_FIRST && type <= TYPE_PLAYER_VEHICLE);
}

bool CSampleObjectBullet::hitsCount() const { return d_active && !(networkGameRuns() && !localHitsAllowed()); }

void CSampleObjectBullet::remove()
{
    deleteFromLevel(this);
    d_active = 0;
}

void CSampleObjectBullet::interact(CGameObject* pOther)
{
    Vector3 point, normal;
    if (!pOther || !hitsCount() || !testShapes(*this, *pOther, &point, &normal)) return;
    if (!hitsKind(pOther->GetType())) return;
    pOther->contactReply(this, point, normal);
    remove();
}

void CSampleObjectBullet::contactReply(CGameObject* pOther, const Vector3&, const Vector3&)
{
    if (pOther && hitsCount() && hitsKind(pOther->GetType())) remove();
}

void CSampleObjectBullet::render()
{
    if (!d_active || !d_parts.pModel) return;
    d_parts.drawModel(d_orientation, d_position);
}

bool CSampleObjectBullet::GetCurrentPosition(Vector3* pPosition)
{
    *pPosition = d_position;
    return true;
}

uint32_t CSampleObjectBullet::writeCreationData(uint8_t* pMessage, uint32_t length)
{
    if (!writeMessageHeader(pMessage, length, CREATION_MESSAGE_SIZE, gameTime()) || length < CREATION_MESSAGE_SIZE)
        return 0;
    writeVector(pMessage, AT_POSITION, d_position);
    writeField(pMessage, BULLET_AT_PITCH, d_pitch);
    writeField(pMessage, BULLET_AT_YAW, d_yaw);
    writeField(pMessage, BULLET_AT_ROLL, d_roll);
    writeField(pMessage, BULLET_AT_SPEED, d_speed);
    writeField(pMessage, BULLET_AT_CREATOR, getCreator());
    return CREATION_MESSAGE_SIZE;
}

bool CSampleObjectBullet::readCreationData(const uint8_t* pMessage, uint32_t length)
{
    if (length < CREATION_MESSAGE_SIZE || !readMessageHeader(pMessage, length)) return false;
    d_creator = readField<resourceHandle>(pMessage, BULLET_AT_CREATOR);
    launch(readVector(pMessage, AT_POSITION), readField<float>(pMessage, BULLET_AT_SPEED),
           readField<float>(pMessage, BULLET_AT_PITCH), readField<float>(pMessage, BULLET_AT_YAW),
           readField<float>(pMessage, BULLET_AT_ROLL));
    // Catch up with the shot: it has flown for as long as the message took.
    const int32_t age = messageAge(*this);
    const float dt = static_cast<float>(age);
    d_position += d_direction * (dt * d_extraTravel + dt * d_speed * 0.001f);
    d_lifetime -= age;
    return true;
}

// Laser -----------------------------------------------------------------------------------------

CSampleObjectLaser::CSampleObjectLaser()
    : CGameObject(TYPE_ID), d_armed(1), d_fired(0), d_hit(0), d_closestDistanceSquared(floatPlusInfinity),
      d_lifetime(LIFETIME), d_pClosest(nullptr)
{
    d_alwaysMoving = 1;
}

CSampleObjectLaser::~CSampleObjectLaser() { d_parts.release(*this); }

bool CSampleObjectLaser::attachResources()
{
    if (!d_parts.attachCollision(*this, 0, "CollisionFiniteRay") || !d_parts.attachPhysics(*this, 0, "PhysicsNone"))
        return false;
    auto* pRay = static_cast<CCollisionFiniteRay*>(pCollisionObject);
    pRay->pStart = &d_start;
    pRay->pDirection = &d_direction;
    pRay->length = RANGE;
    return true;
}

bool CSampleObjectLaser::initFromArgs(resourceHandle creator, ObjectArgs args)
{
    CGameObject::initFromArgs(creator, args);
    if (!attachResources()) return false;
    d_lifetime = LIFETIME;
    d_closestDistanceSquared = floatPlusInfinity;
    d_pClosest = nullptr;
    d_fired = d_hit = 0;
    d_armed = 1;
    const Vector3 *pStart = argument<Vector3>(args, 0), *pDirection = argument<Vector3>(args, 1);
    if (!VERIFY(pStart && pDirection)) return false;
    d_start = *pStart;
    d_direction = *pDirection;
    // Nothing behind the ground can be hit.
    Vector3 ground, normal;
    if (groundRayTest(d_start, d_direction, RANGE, &ground, &normal))
        d_closestDistanceSquared = (ground - d_start).lengthSquared();
    return true;
}

void CSampleObjectLaser::prepareAsReplica()
{
    d_parts.release(*this);
    attachResources();
}

void CSampleObjectLaser::recordHit(CGameObject* pOther, const Vector3& point, const Vector3& normal)
{
    if (!d_armed || d_fired) return;
    const float distanceSquared = (d_start - point).lengthSquared();
    if (!(distanceSquared < d_closestDistanceSquared)) return;
    d_closestDistanceSquared = distanceSquared;
    d_pClosest = pOther;
    d_hitPoint = point;
    d_hitNormal = normal;
    d_hit = 1;
}

bool CSampleObjectLaser::handOverTo(CGameObject& owner, CGameObject& other)
{
    if (other.GetType() != TYPE_ID) return false;
    // The laser keeps its one rule for what it hits.
    other.interact(&owner);
    return true;
}

void CSampleObjectLaser::interact(CGameObject* pOther)
{
    Vector3 point, normal;
    if (pOther && testShapes(*this, *pOther, &point, &normal)) recordHit(pOther, point, normal);
}

void CSampleObjectLaser::contactReply(CGameObject* pOther, const Vector3& point, const Vector3& normal)
{
    recordHit(pOther, point, normal);
}

void CSampleObjectLaser::postCollision()
{
    // A new laser is not in the land tree until its first think pass, so the contact pass has not
    // shown it anything yet: firing now would spend it on nothing.
    if (!d_hit && d_leafIndex == NO_LEAF) return;
    if (d_armed && d_hit && !d_fired && d_pClosest) {
        d_pClosest->contactReply(this, d_hitPoint, d_hitNormal);
        d_armed = 0;
    }
    d_fired = 1;
}

void CSampleObjectLaser::update(int frameStep)
{
    d_lifetime -= static_cast<float>(frameStep);
    if (d_lifetime > 0.0f) return;
    if (!(networkGameRuns() && !localHitsAllowed())) deleteFromLevel(this);
    d_active = d_armed = 0;
    d_hit = 0;
}

void CSampleObjectLaser::render()
{
    struct LineVertex {
        float x, y, z;
        uint32_t colour;
    };
    static_assert(sizeof(LineVertex) == 16, "the line is drawn with a 16-byte stride");
    const Vector3 end = d_start + d_direction * DRAWN_LENGTH;
    const LineVertex line[2] = {{d_start.x, d_start.y, d_start.z, COLOUR}, {end.x, end.y, end.z, COLOUR}};
    D3DCore.DrawUserLines(line, 1, sizeof(LineVertex));
}

bool CSampleObjectLaser::GetCurrentPosition(Vector3* pPosition)
{
    *pPosition = d_start;
    return true;
}

uint32_t CSampleObjectLaser::writeCreationData(uint8_t* pMessage, uint32_t length)
{
    if (!writeMessageHeader(pMessage, length, CREATION_MESSAGE_SIZE, gameTime()) || length < CREATION_MESSAGE_SIZE)
        return 0;
    writeVector(pMessage, AT_POSITION, d_start);
    writeVector(pMessage, LASER_AT_DIRECTION, d_direction);
    return CREATION_MESSAGE_SIZE;
}

bool CSampleObjectLaser::readCreationData(const uint8_t* pMessage, uint32_t length)
{
    if (length < CREATION_MESSAGE_SIZE || !readMessageHeader(pMessage, length)) return false;
    d_start = readVector(pMessage, AT_POSITION);
    d_direction = readVector(pMessage, LASER_AT_DIRECTION);
    return false;
}

// Target ----------------------------------------------------------------------------------------

CSampleObjectTarget::CSampleObjectTarget() : CGameObject(TYPE_ID), d_scale(1.0f) {}

CSampleObjectTarget::~CSampleObjectTarget() { d_parts.release(*this); }

bool CSampleObjectTarget::attachResources()
{
    if (!d_parts.attachCollision(*this, 0, "CollisionSphere") || !d_parts.attachPhysics(*this, 0, "PhysicsNone") ||
        !d_parts.attachModel(0, MODEL, sampleparts::SAttachments::MODEL_OWNER_DRAWN))
        return false;
    auto* pSphere = static_cast<CCollisionSphere*>(pCollisionObject);
    pSphere->pCentre = &d_position;
    pSphere->radius = RADIUS;
    pSphere->collisionClass = projDataExists() ? getProjData().SampleTargetCollisionClass : 0;
    return true;
}

bool CSampleObjectTarget::initFromArgs(resourceHandle creator, ObjectArgs args)
{
    CGameObject::initFromArgs(creator, args);
    if (!attachResources()) return false;
    const Vector3* pPosition = argument<Vector3>(args, 0);
    if (!VERIFY(pPosition)) return false;
    d_position = *pPosition;
    d_position.z = groundHeight(d_position.x, d_position.y, nullptr);
    return true;
}

bool CSampleObjectTarget::initFromParamBlock(CParamBlock* pBlock, resourceHandle creator)
{
    if (!CGameObject::initFromParamBlock(pBlock, creator) || !attachResources()) return false;
    float values[3];
    if (!pBlock->parseVector("position", values)) return false;
    d_position.set(values[0], values[1], values[2]);
    d_scale = 1.0f;
    pBlock->parseFloat("scale", &d_scale);
    return true;
}

void CSampleObjectTarget::prepareAsReplica()
{
    d_parts.release(*this);
    attachResources();
}

void CSampleObjectTarget::shotBy(const CGameObject* pOther)
{
    const uint32_t type = pOther ? pOther->GetType() : 0;
    if (!d_active || (type != CSampleObjectBullet::TYPE_ID && type != CSampleObjectLaser::TYPE_ID)) return;
    deleteFromLevel(this);
    d_active = 0;
}

void CSampleObjectTarget::interact(CGameObject* pOther)
{
    Vector3 point, normal;
    if (!pOther || !d_active || CSampleObjectLaser::handOverTo(*this, *pOther)) return;
    if (testShapes(*this, *pOther, &point, &normal)) shotBy(pOther);
}

void CSampleObjectTarget::contactReply(CGameObject* pOther, const Vector3&, const Vector3&) { shotBy(pOther); }

void CSampleObjectTarget::render()
{
    if (!d_parts.pModel) return;
    d_parts.drawModel(Matrix3(), d_position, d_scale);
}

bool CSampleObjectTarget::GetCurrentPosition(Vector3* pPosition)
{
    *pPosition = d_position;
    return true;
}

uint32_t CSampleObjectTarget::writeCreationData(uint8_t* pMessage, uint32_t length)
{
    if (!writeMessageHeader(pMessage, length, CREATION_MESSAGE_SIZE, gameTime()) || length < CREATION_MESSAGE_SIZE)
        return 0;
    writeVector(pMessage, AT_POSITION, d_position);
    writeField(pMessage, TARGET_AT_SCALE, d_scale);
    return CREATION_MESSAGE_SIZE;
}

bool CSampleObjectTarget::readCreationData(const uint8_t* pMessage, uint32_t length)
{
    if (length < CREATION_MESSAGE_SIZE || !readMessageHeader(pMessage, length)) return false;
    d_position = readVector(pMessage, AT_POSITION);
    d_scale = readField<float>(pMessage, TARGET_AT_SCALE);
    return true;
}
