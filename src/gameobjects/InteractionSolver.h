// The interaction solver: settles one contact between two game objects. It decides whether the pair
// interacts at all (the level's first frames, objects on follow-only paths, objects that may not be
// moved), works out each side's velocity change from their velocities and masses, turns the size of
// the changes into damage through each object's damage factors, and applies the changes as
// knock-back within each object's ceiling, or as a slow-down against a dead obstacle. It works only
// through the objects' virtual operations and keeps no state.
#pragma once

#include "utility/VectorMath.h"

class CGameObject;

// The contact normal may be rewritten (a non-finite one is replaced); the contact value must be
// finite and not negative, else nothing happens.
void solveObjectInteraction(CGameObject* pObj1, CGameObject* pObj2, const Vector3& contactPoint,
                            Vector3& contactNormal, float contactValue);

// Which of the two may be moved: their movable flags, less objects on a follow-only waypoint and
// the assembly their path belongs to.
void getInteractionResponders(CGameObject* pObj1, CGameObject* pObj2, bool* pRespond1, bool* pRespond2);

// Adds the change (or its opposite) to the object's velocity, so that it leaves the contact point.
void applyKnockback(CGameObject* pObj, const Vector3& contactPoint, const Vector3& contactNormal,
                    const Vector3& change);

// The velocity changes of an elastic contact when both objects respond (scaled by their mass
// ratio) and when only one does; neither reads the contact point or value.
void solveBothResponding(CGameObject* pObj1, CGameObject* pObj2, const Vector3& contactPoint,
                         const Vector3& contactNormal, float contactValue, Vector3* pChange1, Vector3* pChange2);
void solveOneResponding(CGameObject* pObj1, CGameObject* pObj2, const Vector3& contactPoint,
                        const Vector3& contactNormal, float contactValue, Vector3* pChange1, Vector3* pChange2);
