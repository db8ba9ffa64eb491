// CGameObject: the base of every object that takes part in play. It is a resource of its manager
// (first base) and a network object (second base). It holds the physical tuning read from the
// level, the instance name by which scripts address it, its health bookkeeping for damage messages,
// its event wiring and its place in the object manager's lists and the land tree.
//
// The object manager drives it through the virtual operations below; a class whose level data wire
// one of the script inputs overrides the matching On... handler (the base reports that it cannot).
#pragma once

#include "gamemanagement/Resource.h"
#include "gameobjects/NetObject.h"
#include "utility/VectorMath.h"

#include <cstdint>

class CCollisionObject;
class CEvents;
class CParamBlock;
class CPathFollower;
class CPhysicsObject;
struct llistElement;
class llist;

// Further creation arguments of objects made from code: a cursor over an array of pointers whose
// meaning each class gives.
typedef const void* const* ObjectArgs;

// What OnDefault receives: the sender's type and its value.
struct SDefaultMessage {
    uint32_t senderType;
    uint32_t value;
};

class CGameObject : public CResource, public CNetObject {
public:
    // Object types (manager id in the top byte joined with a type number).
    static constexpr uint32_t TYPE_ANIMAL_FIRST = 0x02000000;
    static constexpr uint32_t TYPE_PLAYER_VEHICLE = 0x02000002;
    static constexpr uint32_t TYPE_ANIMAL_LAST = 0x0200000D;
    static constexpr uint32_t TYPE_STATIC_OBJECT = 0x04000000;
    static constexpr uint32_t TYPE_FILTER_SCRIPT = 0x84000004;
    static constexpr uint32_t TYPE_GAME_INFO = 0xFF000000;

    static constexpr uint16_t NO_LEAF = 0xFFFF;
    static constexpr uint32_t NO_RENDER_GROUP = 0xFFFFFFFFu;
    static constexpr uint32_t PASSTHRU_MAX = 2;
    static constexpr uint32_t DAMAGE_MESSAGE_INTERVAL = 500;  // ms between OnDamaged tests

    explicit CGameObject(uint32_t typeId = 0);
    // Frees the path follower and the instance name; the event record belongs to the wiring.
    ~CGameObject() override;
    CGameObject(const CGameObject&) = delete;
    CGameObject& operator=(const CGameObject&) = delete;

    uint32_t getResourceType() const override { return RESOURCETYPE_GAMEOBJECT; }

    // The passes of the object manager's update.
    virtual void update(int frameStep) = 0;
    virtual void interact(CGameObject* pOther) = 0;
    // What an object does when another reports a contact with it (point and normal as the other
    // found them, the normal pointing towards the other).
    virtual void contactReply(CGameObject*, const Vector3&, const Vector3&) {}
    virtual void postCollision() {}
    // True asks for a new place in the land tree.
    virtual bool think(int frameStep) = 0;
    virtual void render() = 0;
    // Reports the kill to the world's death tracking.
    virtual void notifyKilled(CGameObject* pVictim);
    // True puts the object also in the post-collision list.
    virtual bool wantsPostCollision() { return false; }
    // NO_RENDER_GROUP: never drawn with a group.
    virtual uint32_t getRenderGroupKey() { return 0; }

    // Set-up from code (stores the creator) or from the object's block of the instantiation script.
    virtual bool initFromArgs(resourceHandle creator, ObjectArgs args);
    virtual bool initFromParamBlock(CParamBlock* pBlock, resourceHandle creator);
    virtual bool restoreState(CParamBlock*) { return false; }
    // Null: nothing to save.
    virtual CParamBlock* saveState() { return nullptr; }
    // Made by the network factory as the copy of a remote object.
    virtual void prepareAsReplica() = 0;
    virtual void setInterpolation(float) {}

    virtual bool GetCurrentPosition(Vector3* pPosition) = 0;
    virtual bool GetCurrentDirection(Vector3* pDirection);
    virtual bool GetCurrentSpeed(float* pSpeed);
    // The object's 3 x 3 orientation where it keeps one (null and false in the base).
    virtual bool getOrientationMatrix(const Matrix3** ppOrientation);
    // Direction times speed; the zero vector when either is unknown.
    virtual bool GetCurrentVelocity(Vector3* pVelocity);
    // True: put into the land tree once and never moved; false: relocated whenever think moves it.
    virtual bool isStaticObject() = 0;
    virtual uint8_t* getTreeEligibleFlag() { return &d_treeEligible; }
    // Which list the object joins: the active set; else the partial list; else the script objects.
    virtual bool isActiveKind() { return true; }
    virtual bool isPartialKind() { return true; }
    // True announces the object to the network even when this machine is not the host.
    virtual bool announceFromClient() { return false; }
    // Once every object of the instantiation script exists: objects link to each other here.
    virtual void onAllCreated() {}

    virtual uint8_t getShowEnergyBar() { return showenergybar; }
    virtual float getMass() { return mass; }
    virtual float getEnergyToDamage() { return energyToDamage; }
    virtual float getEnergyToDamageStationary() { return energyToDamageStationary; }
    virtual void addVelocity(const Vector3&) {}
    virtual void setVelocity(const Vector3&) {}
    virtual float getDamageThreshold() { return damageThreshold; }
    virtual void applyDamage(float, CGameObject*) {}
    virtual bool isDead() { return false; }
    virtual uint32_t getPassThru() { return passThru; }
    virtual float getMaxVelocity() { return maxVelocity; }
    virtual float getMaxKnockbackVelocity() { return maxKnockbackVelocity; }
    virtual uint8_t getMovable() { return movable; }
    // Hands a contact with the other object to the interaction solver; otherFirst puts the other
    // object first in the pair.
    virtual void resolveInteraction(CGameObject*, const Vector3&, Vector3&, float, bool) {}
    // Moves the object on by the fraction of its per-frame motion.
    virtual void advance(float) {}

    // Script inputs.
    virtual void OnDeath(int32_t value);
    virtual void OnHidden(int32_t value);
    virtual void OnRevealed(int32_t value);
    virtual void OnStop(int32_t value);
    virtual void OnGo(int32_t value);
    virtual void OnInvulnerable(int32_t value);
    // The test of the timed OnDamaged output: true once health has dropped by the trigger fraction
    // since the last message.
    virtual bool OnDamagedShouldTrigger();
    virtual void OnWakeup(int32_t value);
    virtual void OnGotosleep(int32_t value);
    // From the filter script object only: sets the flash-radar flag.
    virtual void OnDefault(const SDefaultMessage* pMessage);

    // Recovery from a contact whose arithmetic went non-finite: ranks this object (the first of the
    // pair) and the other by type and kills the higher-ranked side, both on a tie.
    void resolveContactKill(CGameObject* other);

    // Takes ownership of a path follower (null is refused).
    void setPathFollower(CPathFollower* pFollower);
    CEvents* getMssgHandler() const { return d_pMssgHandler; }
    const char* getInstanceName() const { return pInstanceName; }
    resourceHandle getCreator() const { return d_creator; }

    // Tuning from the level.
    float mass;
    float energyToDamage;
    float energyToDamageStationary;
    float damageThreshold;
    uint32_t passThru;  // 0 to 2
    float maxVelocity;
    float maxKnockbackVelocity;
    uint8_t movable;
    uint8_t showenergybar;

    CCollisionObject* pCollisionObject;
    CPhysicsObject* pPhysicsObject;
    CPathFollower* pPathFollower;  // owned
    resourceHandle d_creator;

    // The object manager's bookkeeping: the element of the list that holds the object, and that list
    // (an object of the active kind may sit in either of two lists).
    llistElement* d_pListElement;
    llist* d_pList;
    llistElement* d_pRenderGroupElement;
    uint32_t d_renderGroupKey;
    uint16_t d_leafIndex;  // NO_LEAF: not in the land tree
    uint8_t d_active;
    uint8_t d_treeEligible;  // takes part in the contact pass
    uint8_t d_updateFlag;
    uint8_t d_alwaysMoving;
    uint8_t d_treeMember;
    uint8_t d_queuedForDeletion;
    uint8_t d_updateLast;  // joins the update-last list instead of the active list
    uint8_t d_flashRadar;
    uint8_t d_alwaysWreck;
    uint8_t d_trackDeletion;

    char* pInstanceName;  // owned
    uint32_t d_nameKey;   // the object manager's key of the name, set when the name is hashed
    int32_t health;
    int32_t d_lastDamageMssgHealth;  // -1: no damage message yet
    float d_damageTriggerFraction;
    CEvents* d_pMssgHandler;

protected:
    // The wiring every object's block may carry; false at the first item missing.
    bool initBaseScriptWiring(CParamBlock* pBlock);
};
