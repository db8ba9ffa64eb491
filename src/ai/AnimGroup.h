// Animation groups and their players. A group holds the animations of one model type; each game
// object that plays them gets a player from the group. Owners drive every kind of player through
// CAnimInstABC: ask for an animation once or looped, at once or at the next transition point,
// update every frame, draw.
#pragma once

#include "ai/FState.h"

#include <cstdint>

struct MeshTransform;

// The animation parameter record: a player's state data.
struct TAnimParam : public CFStateData {
    static constexpr uint32_t NO_ANIM = 0xFFFFFFFFu;
    // cState and dState values.
    enum : uint32_t { STATE_NONE = 0, STATE_TRANSITION = 1, STATE_CONTINUE = 2, STATE_LOOP = 3, STATE_PLAY = 4 };

    uint32_t cState = STATE_NONE;  // current
    uint32_t dState = STATE_NONE;  // desired
    uint8_t wait = 0;              // hold the old animation until its transition point
    float cf = 0.0f;               // current frame
    float lf = 0.0f;               // last frame
    float invProportion = 1.0f;
    float distX = 0.0f;
    float angleZ = 0.0f;
    uint32_t cAnim = NO_ANIM;
    uint32_t dAnim = NO_ANIM;
    uint32_t lastAnimId = NO_ANIM;  // the blend's source
    uint8_t blending = 0;
    uint32_t transitionTime = 0;  // ms into the old animation
    float tweenInterval = 0.0f;   // ms of the blend
    float blendPosition = 0.0f;   // 0 shows the last animation, 1 the current one
};

class CAnimInstABC {
public:
    virtual ~CAnimInstABC() {}
    // Go on with the current animation.
    virtual void ContinueAnim() = 0;
    // The animation once, from the next transition point.
    virtual void PlayAnim(uint32_t id) = 0;
    // The animation looped, from the next transition point.
    virtual void LoopAnim(uint32_t id) = 0;
    virtual void ContinueAnimNow() = 0;
    // As PlayAnim and LoopAnim, without waiting for the transition point.
    virtual void PlayAnimNow(uint32_t id) = 0;
    virtual void LoopAnimNow(uint32_t id) = 0;
    // Once per frame.
    virtual void Update() = 0;
    // Draws with the given placement; the result of the model's draw, or -2 when nothing was drawn.
    virtual int32_t Render(const MeshTransform& transform) = 0;
    virtual void SetProportion(float proportion) = 0;
    virtual void SetDistX(float distX) = 0;
    virtual void SetAngleZ(float angleZ) = 0;
};

class CAnimGroup {
public:
    static constexpr uint32_t MAX_INSTANCES = 500;

    CAnimGroup();
    // Deletes every player the group made.
    virtual ~CAnimGroup();
    CAnimGroup(const CAnimGroup&) = delete;
    CAnimGroup& operator=(const CAnimGroup&) = delete;

    virtual bool AddAnim(const char* definitionFile, uint32_t id, const char* tweenFile) = 0;
    // A new player, owned by the group; null when none can be made.
    virtual CAnimInstABC* CreateInstance() = 0;
    // The index of the animation with that id, or -1.
    virtual int32_t FindAnimIndex(uint32_t id) = 0;
    virtual int32_t RenderInstance(CAnimInstABC* pInst, const MeshTransform& transform) = 0;
    virtual void UpdateInstance(TAnimParam* pParam) = 0;

    uint32_t getNumInstances() const;

protected:
    // The first free player slot, or null when all are used.
    CAnimInstABC** allocInstanceSlot();

private:
    CAnimInstABC* d_pInstances[MAX_INSTANCES];
};
