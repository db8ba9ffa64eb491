// CModelAnim: a key-frame animation bound to one model instance. Attach matches the animation's
// nodes by name (without regard to case) to the elements of the model's class; every Play then
// writes the evaluated local transforms into the instance's animation nodes, which the instance's
// element tree composes when it is drawn. PlayBlend plays two animations of one hierarchy and
// writes a mix of them, so one animation hands over to the next without a jump.
//
//   CModelAnim walk("data\\anims\\robot_walk.txt");
//   walk.Attach(CModelClassManager::GetClass(model->m_classId), instance);
//   walk.Play(elapsedMs);   // every frame
#pragma once

#include "animation/Animation.h"

class CModelClass;
class CModelInst;

class CModelAnim : public CAnimation {
public:
    explicit CModelAnim(const char* fileName) : CAnimation(fileName) {}

    // Binds every node but the dummies to the class element of its name. False, binding nothing,
    // when the animation did not load or either argument is null; false (reported) at the first
    // node the class does not name, leaving it and the nodes after it unbound.
    bool Attach(const CModelClass* pClass, CModelInst* pInstance);
    // Advances, then writes every bound node into the instance.
    void Play(uint32_t elapsed);
    // Advances this animation and the other one, mixes them at the distance (0 shows the other's
    // pose, 1 this one's) into this animation's nodes and writes those into the instance. Both must
    // share one hierarchy.
    void PlayBlend(uint32_t elapsed, CModelAnim* pOther, float distance);

    const CModelClass* GetModelClass() const { return m_pClass; }
    CModelInst* GetModelInst() const { return m_pInstance; }

private:
    void WriteNodes();
    void Blend(CModelAnim* pOther, float distance);

    const CModelClass* m_pClass = nullptr;
    CModelInst* m_pInstance = nullptr;
};
