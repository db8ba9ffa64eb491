// What the sample objects and the placed effect share: the resources they attach through the object
// manager, the shape tests between two objects, the ground they stand on, the network rules of
// their hits, and reading and writing their creation messages.
#pragma once

#include "gamemanagement/Resource.h"
#include "utility/VectorMath.h"

#include <cstdint>
#include <cstring>

class CGameObject;
class CGameObjectManager;
class CModelInst;

namespace sampleparts {

// The object manager of the loaded level (reported when there is none).
CGameObjectManager* objects();

// The resources an object attaches; given back physics first, then collision, then model.
struct SAttachments {
    resourceHandle physics = 0;
    resourceHandle collision = 0;
    resourceHandle model = 0;
    CModelInst* pModel = nullptr;

    // Model flag: the owner draws its model itself, outside any render group.
    static constexpr uint32_t MODEL_OWNER_DRAWN = 0x01;

    // Each instantiates by type id (typeName null) or by name under its manager, acquires and sets
    // the owner's pointer; false, holding nothing new, when either step fails.
    bool attachCollision(CGameObject& owner, uint32_t typeId, const char* typeName);
    bool attachPhysics(CGameObject& owner, uint32_t typeId, const char* typeName);
    bool attachModel(uint32_t typeId, const char* fileName, uint32_t flags);
    void release(CGameObject& owner);
    // Draws the model, when there is one, placed at the position with the orientation and scale.
    void drawModel(const Matrix3& orientation, const Vector3& position, float scale = 1.0f);

    uint32_t modelFlags = 0;
};

// The static shape test of the owner's collision object against the other's, with the pair known
// to the collision maths while it runs. False when either has no collision object.
bool testShapes(CGameObject& owner, CGameObject& other, Vector3* pPoint, Vector3* pNormal);

// The land tree's ground under (x, y) and its unit normal (flat at 0 without a tree).
float groundHeight(float x, float y, Vector3* pNormal);
// The land tree's ray test (nothing is met without a tree).
bool groundRayTest(const Vector3& start, const Vector3& direction, float length, Vector3* pHit, Vector3* pNormal);

// A network game runs (this machine has a network node).
bool networkGameRuns();
// Its settings let every machine decide the hits of its own shots.
bool localHitsAllowed();

// The game time in ms.
uint32_t gameTime();
// The frame step in ms, never below 1.
int frameStep();

// Little-endian fields of a message at a byte offset (the caller checked the length).
template <class T>
T readField(const uint8_t* pMessage, uint32_t offset)
{
    T value;
    std::memcpy(&value, pMessage + offset, sizeof value);
    return value;
}
template <class T>
void writeField(uint8_t* pMessage, uint32_t offset, const T& value)
{
    std::memcpy(pMessage + offset, &value, sizeof value);
}
inline Vector3 readVector(const uint8_t* pMessage, uint32_t offset)
{
    return Vector3(readField<float>(pMessage, offset), readField<float>(pMessage, offset + 4),
                   readField<float>(pMessage, offset + 8));
}
inline void writeVector(uint8_t* pMessage, uint32_t offset, const Vector3& v)
{
    writeField(pMessage, offset, v.x);
    writeField(pMessage, offset + 4, v.y);
    writeField(pMessage, offset + 8, v.z);
}

}  // namespace sampleparts
