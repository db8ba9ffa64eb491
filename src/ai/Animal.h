// What the game-object layer asks of the animals.
#pragma once

class CGameObject;

namespace animals {

// The animal kind that answers for itself whether a follow-only waypoint keeps it out of contacts.
constexpr unsigned TYPE_PATH_ANSWERING = 0x02000009;

// That animal's answer, asked of its animal object. An animal that cannot answer is guarded like
// any other follower; no animal of the kind can answer yet.
inline bool keepsToFollowOnlyPath(CGameObject*) { return true; }

}  // namespace animals
