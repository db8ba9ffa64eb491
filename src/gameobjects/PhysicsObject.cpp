#include "gameobjects/PhysicsObject.h"

#include "global/ProjData.h"
#include "utility/Assert.h"

#include <cmath>

namespace {

// The bounce off an immovable: the tangential part kept by kt, the normal part returned by kn.
// Only a body moving into the surface faster than the resting window bounces.
bool bounce(Vector3& v, const Vector3& n, float kt, float kn)
{
    const float d = v.dot(n);
    if (!(d < -CPhysicsObject::BOUNCE_SPEED)) return false;
    const Vector3 normalPart = n * d;
    v = (v - normalPart) * kt - normalPart * kn;
    return true;
}

// Contacts with a rigid body are not simulated: a failed check, nothing changes.
bool isRigidBody(const CPhysicsObject* pOther)
{
    if (pOther->getTypeId() != CPhysicsObject::PHYSICS_RIGIDBODY) return false;
    assertFailed("0", __FILE__, __LINE__);
    return true;
}

}  // namespace

Vector3 physicsGravity()
{
    if (!projDataExists()) return Vector3();
    const CProjData& data = getProjData();
    return Vector3(data.GravityX, data.GravityY, data.GravityZ);
}

CPhysicsObject::CPhysicsObject()
    : pPosition(nullptr), tangentialFactor(0.0f), bounceFactor(0.0f), pendingApplied(0)
{
}

void CPhysicsObject::applyPendingVelocityChange()
{
    velocity += pendingVelocityChange;
    pendingApplied = 1;
}

void CPhysicsObject::clear()
{
    velocity = Vector3();
    force = Vector3();
}

int CPhysicsParticle::integrateVelocity(int ms)
{
    acceleration = force * invMass;
    velocity += acceleration * (static_cast<float>(ms) * 0.001f);
    velocity *= DAMPING;
    force = Vector3();
    return 0;
}

void CPhysicsParticle::integratePosition(int ms)
{
    if (pPosition) *pPosition += velocity * (static_cast<float>(ms) * 0.001f);
    pendingApplied = 0;
}

void CPhysicsParticle::resolveContact(CPhysicsObject* pOther, uint32_t, const Vector3& n)
{
    if (!VERIFY(pOther) || isRigidBody(pOther)) return;
    const float kt = tangentialFactor * pOther->tangentialFactor;
    const float kn = bounceFactor * pOther->bounceFactor;
    switch (pOther->getTypeId()) {
    case PHYSICS_IMMOVABLE: {
        if (bounce(velocity, n, kt, kn)) return;
        const float d = velocity.dot(n);
        if (d <= -BOUNCE_SPEED || d >= BOUNCE_SPEED || !pendingApplied) return;
        // Resting: take gravity's pull along the normal out, and keep only its slide along the
        // surface when it presses into it.
        const Vector3 g = physicsGravity();
        const float e = g.dot(n);
        if (std::fabs(e) <= 1e-6f) return;
        velocity -= n * e;
        if (e < 0.0f) velocity += g - n * e;
        return;
    }
    case PHYSICS_PARTICLE: {
        auto* pB = static_cast<CPhysicsParticle*>(pOther);
        const Vector3 vA = velocity;
        const Vector3 vB = pB->velocity;
        if (!(vA.dot(n) < 0.0f || vB.dot(n) < 0.0f)) return;
        const float mA = mass;
        const float mB = pB->mass;
        const float total = mA + mB;
        if (total == 0.0f) return;  // massless pair: nothing to share
        const Vector3 N = n * (vA - vB).dot(n);
        const Vector3 a = (vA * (mA - kt * mB) + vB * ((1.0f + kt) * mB) + N * (2.0f * (kt - kn) * mB)) / total;
        const Vector3 b = (vB * (mB - kt * mA) + vA * ((1.0f + kt) * mA) + N * (2.0f * (kn - kt) * mA)) / total;
        velocity = vA - b + a;
        pB->velocity = vB - a + b;
        return;
    }
    default:
        return;
    }
}

void CPhysicsImmovable::resolveContact(CPhysicsObject* pOther, uint32_t, const Vector3& n)
{
    if (!VERIFY(pOther) || isRigidBody(pOther) || pOther->getTypeId() != PHYSICS_PARTICLE) return;
    // A slow particle is left to its own resting rule.
    bounce(pOther->velocity, n, tangentialFactor * pOther->tangentialFactor, bounceFactor * pOther->bounceFactor);
}
