// Physics objects: point-mass records that a game object attaches to itself to move and to bounce
// off other bodies. The owner points one at its own position vector, sets its factors (and a
// particle's mass), then drives it each frame: forces and velocity changes in, velocity
// integration, contact responses reported by its collision object, position integration.
//
// Kinds: CPhysicsNone (nothing moves it), CPhysicsParticle (the moving body), CPhysicsImmovable
// (a body that returns hits but never moves) and CPhysicsRigidBody (not simulated: contacts with it
// are refused).
#pragma once

#include "gamemanagement/Resource.h"
#include "utility/VectorMath.h"

#include <cstdint>

class CPhysicsObject : public CResource {
public:
    enum Type : uint32_t {
        PHYSICS_NONE = 0x82000000u,
        PHYSICS_PARTICLE = 0x82000001u,
        PHYSICS_IMMOVABLE = 0x82000002u,
        PHYSICS_RIGIDBODY = 0x82000003u,
    };
    // Velocity is multiplied by this at every velocity integration, whatever its step.
    static constexpr float DAMPING = 0.9999999f;
    // Normal speeds within this of 0 on either side may rest on an immovable; faster ones bounce.
    static constexpr float BOUNCE_SPEED = 1.0f;

    CPhysicsObject();

    uint32_t getResourceType() const override { return RESOURCETYPE_PHYSICSOBJECT; }
    virtual void addForce(const Vector3&) {}
    // velocity += pending change; marks it applied until the next position step.
    virtual void applyPendingVelocityChange();
    virtual void clearPendingFlag() { pendingApplied = 0; }
    virtual void addVelocity(const Vector3&) {}
    // Always 0.
    virtual int integrateVelocity(int) { return 0; }
    virtual void scaleVelocity(float) {}
    // The response to a contact with the other body along the contact normal (pointing at this).
    virtual void resolveContact(CPhysicsObject*, uint32_t, const Vector3&) {}
    virtual void integratePosition(int) {}
    virtual uint32_t getTypeId() const = 0;
    virtual void setVelocity(const Vector3& v) { velocity = v; }

    // Zeroes velocity and force.
    void clear();

    Vector3* pPosition;       // the owner's position, moved in place
    float tangentialFactor;   // times the other's: the share of tangential speed a bounce keeps
    float bounceFactor;       // times the other's: the share of normal speed a bounce returns
    Vector3 velocity;         // units per second
    Vector3 force;            // gathered since the last velocity step
    Vector3 acceleration;     // the last velocity step's
    uint8_t pendingApplied;   // the pending change was applied since the last position step
    Vector3 pendingVelocityChange;
};

class CPhysicsNone : public CPhysicsObject {
public:
    const char* getTypeName() const override { return "PhysicsNone"; }
    uint32_t getTypeId() const override { return PHYSICS_NONE; }
};

class CPhysicsParticle : public CPhysicsObject {
public:
    CPhysicsParticle() : mass(0.0f), invMass(0.0f) {}

    const char* getTypeName() const override { return "PhysicsParticle"; }
    uint32_t getTypeId() const override { return PHYSICS_PARTICLE; }
    void addForce(const Vector3& f) override { force += f; }
    void addVelocity(const Vector3& v) override { velocity += v; }
    int integrateVelocity(int ms) override;
    void scaleVelocity(float factor) override { velocity *= factor; }
    void resolveContact(CPhysicsObject* pOther, uint32_t, const Vector3& normal) override;
    void integratePosition(int ms) override;

    float mass;
    float invMass;
};

class CPhysicsImmovable : public CPhysicsObject {
public:
    const char* getTypeName() const override { return "PhysicsImmovable"; }
    uint32_t getTypeId() const override { return PHYSICS_IMMOVABLE; }
    void resolveContact(CPhysicsObject* pOther, uint32_t, const Vector3& normal) override;
};

class CPhysicsRigidBody : public CPhysicsObject {
public:
    const char* getTypeName() const override { return "PhysicsRigidBody"; }
    uint32_t getTypeId() const override { return PHYSICS_RIGIDBODY; }
    void addForce(const Vector3& f) override { force += f; }
};

// The gravity of the start-up settings, which a resting body feels along its contact normal.
Vector3 physicsGravity();
