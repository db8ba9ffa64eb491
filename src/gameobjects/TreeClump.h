// CTreeClump: one clump of the level's trees and bushes (a CClumpInstance of the clump manager) as
// a game object. Each element has its own health and collision sphere; weapons shoot it down a
// ladder of states or set it burning, vehicles knock trees over or break the breakable kinds, and
// fallen trees turn over onto the ground in a second. Near elements sway in the wind. Elements
// that differ from their default are saved with the level's state.
//
// Made by the game tree (GameTree.h) with its clump instance as the one creation argument.
#pragma once

#include "gameobjects/GameObject.h"
#include <vector>

#include <cstdint>

class CClumpInstance;
class CCollisionHierarchy;
class CCollisionSphere;
struct CClumpType;
struct STreeSettings;

class CTreeClump : public CGameObject {
public:
    static constexpr uint32_t TYPE_ID = 0x01000003;
    static constexpr float DEFAULT_HEALTH = 200.0f;
    static constexpr int32_t DEFAULT_TEAM = 2;
    static constexpr uint32_t MAX_STATE_TEXT = 64;
    static constexpr uint32_t FALL_MS = 1000;
    static constexpr uint32_t BURN_MS = 2000;
    static constexpr uint32_t DYING_MS = 1000;
    static constexpr int MAX_LADDER_STEPS = 10;

    enum Action : uint8_t { ACTION_NONE = 0, ACTION_FALLING = 1, ACTION_BURNING = 2, ACTION_DYING = 3 };
    enum CollisionMode : uint8_t { MODE_TREE = 0, MODE_BREAKABLE = 1, MODE_NONE = 2 };

    struct Element {
        int32_t health;
        Vector3 centre;  // of its collision sphere
        uint32_t actionStart;
        uint8_t action;
    };
    struct TreeElement {
        uint8_t fallen;
        Quaternion upright;
        Quaternion fallenOrientation;
    };

    CTreeClump();
    ~CTreeClump() override;

    const char* getTypeName() const override { return "TreeClump"; }
    void update(int) override {}
    void interact(CGameObject* pOther) override;
    void contactReply(CGameObject* pOther, const Vector3&, const Vector3&) override { interact(pOther); }
    bool think(int ms) override;
    void render() override;
    void prepareAsReplica() override {}
    // The centre of the clump's bounding sphere.
    bool GetCurrentPosition(Vector3* pPosition) override;
    bool isStaticObject() override { return true; }
    // The creation arguments: the clump instance.
    bool initFromArgs(resourceHandle creator, ObjectArgs args) override;
    bool initFromParamBlock(CParamBlock*, resourceHandle) override { return false; }
    bool restoreState(CParamBlock* pBlock) override;
    CParamBlock* saveState() override;

    // Back to the level's start: health, no actions, upright, the normal state.
    void reset();
    // The clump type index (0 without a clump).
    uint32_t getClumpTypeIndex() const;
    // Runs the timed actions (the first step of render).
    void stepActions();

    CClumpInstance* getClump() const { return d_pClump; }
    const Element* getElement(uint32_t id) const { return d_pElements && id < d_numElements ? &d_pElements[id] : nullptr; }
    const TreeElement* getTreeElement(uint32_t id) const
    {
        return d_pTreeElements && id < d_numElements ? &d_pTreeElements[id] : nullptr;
    }
    // Whether the element's sphere takes part in contacts.
    bool isCollidable(uint32_t id) const;
    uint32_t getNumElements() const { return d_numElements; }
    uint8_t getTeam() const { return d_team; }
    float getRipplePhase() const { return d_ripplePhase; }
    uint32_t getNumActions() const { return static_cast<uint32_t>(d_actions.size()); }

    // The sway of an element at (x, y) of a clump seen at the depth: the shear's sx and sy; false
    // beyond the middle of the second fade range.
    static bool swayShear(const STreeSettings& trees, float x, float y, float depth, float phase, float secondFadeNear,
                          float secondFadeFar, float* pSx, float* pSy);

private:
    CClumpType* type() const;
    void setUpCollision();
    void releaseCollision();
    void setCollidable(uint32_t id, bool on);
    bool startAction(uint32_t id, uint8_t action);
    bool startFalling(uint32_t id, const Vector3& contact);
    bool startBurning(uint32_t id);
    bool knockOver(CCollisionHierarchy* pHierarchy);
    bool breakElements(CCollisionHierarchy* pHierarchy, CGameObject* pOther);
    bool treeShot(CCollisionHierarchy* pHierarchy, CGameObject* pOther);
    void computeFallen(uint32_t id, const Vector3& contact);
    void orient(uint32_t id, const Quaternion& orientation);
    void setState(uint32_t id, int state, const Vector3* pAt, bool play);

    uint8_t d_team;
    CClumpInstance* d_pClump;
    Element* d_pElements;
    TreeElement* d_pTreeElements;
    CCollisionSphere** d_ppSpheres;  // per element, or null
    resourceHandle* d_pSphereHandles;
    resourceHandle d_pointHandle;  // a ghost clump's collision point
    Vector3 d_pointCentre;
    uint32_t d_numElements;
    std::vector<uint32_t> d_actions;  // element ids with a running action, in start order
    float d_ripplePhase;
};
