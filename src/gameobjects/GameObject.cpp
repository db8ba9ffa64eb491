#include "gameobjects/GameObject.h"

#include "utility/Assert.h"

namespace {

int contactRank(const CGameObject* object)
{
    switch (object->GetType()) {
    case CGameObject::TYPE_PLAYER_VEHICLE:
        return 3;
    case CGameObject::TYPE_STATIC_OBJECT:
        return 1;
    default:
        return 5;
    }
}

void killInContact(CGameObject* object)
{
    const uint32_t type = object->GetType();
    if (type == CGameObject::TYPE_PLAYER_VEHICLE)
        object->health = 0;
    else if (type >= CGameObject::TYPE_ANIMAL_FIRST && type <= CGameObject::TYPE_ANIMAL_LAST)
        object->OnDeath(0);
}

}  // namespace

void CGameObject::OnDeath(int32_t) { assertFailedMsg("I cannot die", "false", __FILE__, __LINE__); }

void CGameObject::resolveContactKill(CGameObject* other)
{
    if (!VERIFY(other)) return;
    const int mine = contactRank(this);
    const int theirs = contactRank(other);
    if (mine >= theirs) killInContact(this);
    if (theirs >= mine) killInContact(other);
}
