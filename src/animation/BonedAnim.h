// CBonedAnim: a player of a boned animation group, made by CBonedAnimGroup::CreateInstance and
// owned by the group. Its state machine has one state per animation of the group: BEGIN starts the
// desired animation, DURING plays it until another is wanted (or a play-once animation ends), END
// holds the old animation until it is within 100 ms of its transition time and starts the blend.
//
//   CAnimInstABC* player = group->CreateInstance();
//   player->LoopAnim(WALK);      // from the next transition point
//   player->Update();            // every frame
//   player->Render(transform);
#pragma once

#include "ai/AnimGroup.h"

#include <cstdint>

class CAnimation;
class CBonedAnimGroup;
class CBonedAnimState;

class CBonedAnim : public CAnimInstABC {
public:
    explicit CBonedAnim(CBonedAnimGroup* pGroup);
    ~CBonedAnim() override {}

    void ContinueAnim() override;
    void PlayAnim(uint32_t id) override;
    void LoopAnim(uint32_t id) override;
    void ContinueAnimNow() override;
    void PlayAnimNow(uint32_t id) override;
    void LoopAnimNow(uint32_t id) override;
    void Update() override;
    int32_t Render(const MeshTransform& transform) override;
    // The values the flip animations use; stored only.
    void SetProportion(float proportion) override;
    void SetDistX(float distX) override;
    void SetAngleZ(float angleZ) override;

    // The animation of an id. An id not in the group ends the program after the report.
    uint32_t GetAnimDuration(uint32_t id);
    // Plays it in the given number of ms.
    void SetAnimLength(uint32_t id, uint32_t length);
    void SetAnimSpeed(uint32_t id, float speed);
    void SkipAnimToEnd(uint32_t id);
    // False while the player is still blending into it.
    bool IsAnimFinished(uint32_t id);
    void SetAnimTime(uint32_t id, uint32_t ms);
    void SetAnimDirection(uint32_t id, int32_t direction);
    // The played ms at the animation's rate; 0 at rate 0.
    int32_t GetAnimTime(uint32_t id);
    float GetAnimProgress(uint32_t id);
    CBonedAnimState* GetCurrentAnim();

    TAnimParam& GetParam() { return *d_pParam; }
    CFStateMgr& GetStateMgr() { return d_stateMgr; }

private:
    friend class CBonedAnimGroup;
    // The animation of a known id (null when the id is past the entries).
    CAnimation* KnownAnim(uint32_t id);

    TAnimParam d_param;
    CBonedAnimGroup* d_pMyGroup;
    CFStateMgr d_stateMgr;
    TAnimParam* d_pParam;
};
