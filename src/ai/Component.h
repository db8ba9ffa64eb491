// CComponent: a game object that is part of a larger assembly (a turret on a base, a gun on a
// turret). Each keeps a link to the component it is mounted on; the top-most one stands for the
// whole assembly.
#pragma once

#include "gameobjects/GameObject.h"

#include <cstdint>

class CComponent : public CGameObject {
public:
    static constexpr uint32_t TYPE_COMPONENT = 0x04000000;
    static constexpr uint32_t TYPE_SUB_COMPONENT = 0x04000001;
    static constexpr int MAX_PARENT_LEVELS = 100;

    static bool isComponent(uint32_t typeId) { return typeId == TYPE_COMPONENT || typeId == TYPE_SUB_COMPONENT; }

    explicit CComponent(uint32_t typeId = TYPE_COMPONENT) : CGameObject(typeId), d_pParentComponent(nullptr) {}

    CComponent* getParentComponent() const { return d_pParentComponent; }
    void setParentComponent(CComponent* pParent) { d_pParentComponent = pParent; }
    // The end of the chain of parents (this one when it has none); a chain that loops ends after
    // MAX_PARENT_LEVELS links.
    CComponent* getTopComponent()
    {
        CComponent* pTop = this;
        for (int level = 0; level < MAX_PARENT_LEVELS && pTop->d_pParentComponent; ++level)
            pTop = pTop->d_pParentComponent;
        return pTop;
    }

private:
    CComponent* d_pParentComponent;
};
