// What the game-object layer asks of the animals.
#pragma once

class CGameObject;

namespace animals {

// The animal kind that answers for itself whether a follow-only waypoint keeps it out of contacts.
constexpr unsigned TYPE_PATH_ANSWERING = 0x02000009;

// That animal's answer; no animal of the kind exists yet, so none is kept out.
inline bool keepsToFollowOnlyPath(CGameObject*) { return false; }

}  // namespace animals
