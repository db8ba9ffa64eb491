// Boned animation groups. A group holds up to MAX_ANIMS animations of one model type, added from
// definition files; each animation is an entry with its own model instance (from the model resource
// manager) and its own CModelAnim, and is one state of every player's state machine. A table of
// tweens says, for each pair of animations, when in the old one the change may happen and how long
// the blend into the new one lasts.
//
// Definition file ("modelname" and "animfilename" are required; at most 511 characters each):
//   [BONED_ANIM]
//   modelname = <string> "data\models\robot.rsm"
//   animfilename = <string> "data\anims\robot_walk.txt"
//   transitionframe = <int> 0
// Tween file (optional): the transitions from this animation to the animations 0 .. numtweens-1.
//   [NUM_TWEEN_DATA]
//   numtweens = <int> 2
//   [TWEEN_DATA]
//   transitiontime0 = <int> 0          ms into this animation; -1: do not wait for it
//   transitionduration0 = <int> 0      ms of blending; 0 switches at once
//
// Animations are meant to be added with ids 0, 1, 2 ... in order: players use an id directly as
// the entry's index. The entries are shared by every player of the group. The group must go before
// the object manager that gave it its model instances.
#pragma once

#include "ai/AnimGroup.h"
#include "ai/ScriptReader.h"

#include <cstdint>

class CBonedAnimGroup;
class CModelAnim;
class CModelInst;
class CObjectManagerInterface;

// An animation id not in the group or a state value the players do not know: the check "0" is
// reported and the program ends, with exit code 1.
[[noreturn]] void BonedAnimFatal(const char* file, int line);
// The condition; when it fails, the check is reported with the given text.
bool BonedAnimCheck(bool condition, const char* text, const char* file, int line);

// One animation of a group, and a state of its players.
class CBonedAnimState : public CFState {
public:
    static constexpr uint32_t MAX_FILE_NAME = 512;

    // Instantiates the model type and binds the animation to it; failures are reported and leave
    // the entry without a model or with unbound nodes.
    CBonedAnimState(CBonedAnimGroup* pGroup, const char* modelName, const char* animFileName,
                    uint32_t transitionFrame, uint32_t id);
    // Releases the model instance.
    ~CBonedAnimState() override;

    bool onBegin(CFStateData* p) override;
    bool onDuring(CFStateData* p) override;
    bool onEnd(CFStateData* p) override;
    // Whether the data's desired animation is this one.
    bool accept(CFStateData* p) override;
    uint32_t GetId() const override { return d_id; }

    CModelInst* pModelInst = nullptr;
    CModelAnim* pAnimInst = nullptr;  // owned
    char d_file[MAX_FILE_NAME] = {};  // the model type name
    uint32_t d_transitionFrame = 0;
    uint32_t d_id = 0;
    CBonedAnimGroup* pMyGroup = nullptr;
    uint32_t d_modelHandle = 0;
};

class CBonedAnimGroup : public CAnimGroup {
public:
    static constexpr uint32_t MAX_ANIMS = 43;

    struct TweenData {
        uint32_t transitionTime;
        uint32_t transitionDuration;
    };
    struct TweenInfo {
        TweenData Tweens[MAX_ANIMS];
        int32_t MaxTweenData;  // 0 .. MAX_ANIMS
    };

    // Instances come from and go back to this object manager.
    explicit CBonedAnimGroup(CObjectManagerInterface* pObjectManager);
    // Deletes the entries, then the players.
    ~CBonedAnimGroup() override;

    // Adds the animation of a definition file under an id, with the tweens of a tween file (none
    // for an empty name). False, changing nothing, when the group is full, the id is taken (a
    // report), a file cannot be read or lacks a required key, or the tween count is outside
    // 0 .. MAX_ANIMS.
    bool AddAnim(const char* definitionFile, uint32_t id, const char* tweenFile) override;
    // Null (reported) past the animations.
    CBonedAnimState* GetAnim(uint32_t index);
    int32_t FindAnimIndex(uint32_t id) override;
    // The transition from the animation at source to the one at dest; {0, 0} when the source's
    // tween file did not reach dest.
    TweenData GetTween(uint32_t source, uint32_t dest);
    // A new player starting in the first animation, or null when the group has no animations or
    // MAX_INSTANCES players.
    CAnimInstABC* CreateInstance() override;
    // Plays the current animation of the record for one frame step, blending from the last one
    // while the record says so.
    void UpdateInstance(TAnimParam* pParam) override;
    // Draws the player's current animation's instance with the given placement; -2 for a player that
    // never entered an animation.
    int32_t RenderInstance(CAnimInstABC* pInst, const MeshTransform& transform) override;

    uint32_t GetNumAnims() const { return d_numAnims; }
    CObjectManagerInterface* GetObjectManager() const { return d_pObjectManager; }

private:
    struct BonedAnimDef : CScriptDefinition {
        void registerItems(CIniManager& ini) override;
        bool validate() override;
        char modelName[CBonedAnimState::MAX_FILE_NAME];
        char animFileName[CBonedAnimState::MAX_FILE_NAME];
        int32_t transitionFrame;
    };
    struct NumTweenDef : CScriptDefinition {
        void registerItems(CIniManager& ini) override;
        bool validate() override;
        int32_t numTweens;
    };
    struct TweenDef : CScriptDefinition {
        void registerItems(CIniManager& ini) override;
        bool validate() override;
        int32_t count;                  // of pairs to read
        int32_t values[2 * MAX_ANIMS];  // time and duration by turns, as read
    };

    bool ReadTweens(const char* tweenFile);

    CObjectManagerInterface* d_pObjectManager;
    CBonedAnimState* d_pAnims[MAX_ANIMS];
    TweenInfo d_tweens[MAX_ANIMS];
    uint32_t d_numAnims;
    BonedAnimDef d_animDef;
    NumTweenDef d_numTweenDef;
    TweenDef d_tweenDef;
};
