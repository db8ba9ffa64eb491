// Particle controllers: each frame they move one particle effect's living particles and retire the
// expired ones (to wait for a relaunch when respawning, else finished). Four kinds: gravity with a
// ground or plane to bounce on, gravity alone, attraction towards a point, and a box of space
// around the camera that particles wrap around in (rain, snow).
//
// Velocities are world units per frame. The effect's drift is added to every particle each frame;
// in a particle's first frame after launch (age 1) the gravity and wrapping kinds move it by a
// random fraction of its velocity, so that particles launched together start spread out.
#pragma once

#include "utility/VectorMath.h"

#include <cstdint>

class CParamBlock;
class CParticleEffect;
class CParticleSystem;

class CControllerDefinition {
public:
    virtual ~CControllerDefinition() = default;
};

class CParticleController {
public:
    CParticleController(CParticleEffect* pEffect, int32_t respawn);
    virtual ~CParticleController() = default;
    CParticleController(const CParticleController&) = delete;
    CParticleController& operator=(const CParticleController&) = delete;

    // Position and orientation are the effect's current ones.
    virtual void Update(const Vector3& position, const Matrix3& orientation) = 0;
    void SetRespawn(uint8_t respawn) { m_respawn = respawn; }
    bool GetRespawn() const { return m_respawn != 0; }

protected:
    // Walks the particles in index order: move(i) for each living one, and the expired retired.
    template <typename Move>
    void UpdateParticles(Move&& move);
    // The particle-death event at its position, then waiting for a relaunch or finished.
    void Retire(int32_t i);
    // position + drift + velocity, or a random part of the velocity at age 1.
    Vector3 Moved(int32_t i, const Vector3& drift, const Vector3& velocity) const;

    int32_t m_count;
    uint8_t m_respawn;
    CParticleEffect* m_pEffect;
    CParticleSystem* m_pSystem;
};

struct CGravityControllerNoCollisionDefinition : CControllerDefinition {
    int32_t respawn = 1;
    Vector3 gravity{0.0f, 0.0f, -1.0f};
    float dampening = 1.0f;  // the velocity's share kept each frame
};

class CGravityControllerNoCollision : public CParticleController {
public:
    CGravityControllerNoCollision(CParticleEffect* pEffect, const CGravityControllerNoCollisionDefinition* pDefinition);
    void Update(const Vector3& position, const Matrix3& orientation) override;
    static bool ReadDefinition(const CParamBlock* pBlock, CControllerDefinition** ppDefinition);

private:
    const CGravityControllerNoCollisionDefinition* m_pDefinition;
};

struct CGravityControllerDefinition : CGravityControllerNoCollisionDefinition {
    int32_t killOnCollision = 0;
    float collisionDampening = 1.0f;   // of the bounced velocity
    float collisionZDampening = 1.0f;  // of its vertical part, on top
    float collisionPlane = 0.0f;       // a floor this far above the plane base
    bool planeGiven = false;
};

// Bounces on the level's ground (the AI map) or, when it lies higher, on a plane above the
// fountain's last emission point (or above 0 for the other emitters).
class CGravityController : public CParticleController {
public:
    CGravityController(CParticleEffect* pEffect, const CGravityControllerDefinition* pDefinition);
    void Update(const Vector3& position, const Matrix3& orientation) override;
    static bool ReadDefinition(const CParamBlock* pBlock, CControllerDefinition** ppDefinition);

private:
    const CGravityControllerDefinition* m_pDefinition;
    // One collision event stands for a run of particles colliding one after another.
    bool m_collisionReported;
};

struct CAttractionControllerDefinition : CControllerDefinition {
    Vector3 position;  // the target, from the effect's position in world axes
    int32_t respawn = 1;
    float power = 0.1f;
    float falloff = 1.0f;
    float cutoff = 10.0f;  // the least scaled distance the pull is computed for
    float dampening = 1.0f;
};

class CAttractionController : public CParticleController {
public:
    CAttractionController(CParticleEffect* pEffect, const CAttractionControllerDefinition* pDefinition);
    void Update(const Vector3& position, const Matrix3& orientation) override;
    static bool ReadDefinition(const CParamBlock* pBlock, CControllerDefinition** ppDefinition);

private:
    const CAttractionControllerDefinition* m_pDefinition;
};

struct CWrappingSpaceControllerDefinition : CControllerDefinition {
    int32_t respawn = 1;
    float x = 100.0f;  // the box around the camera
    float y = 100.0f;
    float z = 100.0f;
    float wobbleFreq = 0.0f;
    float wobbleVariation = 0.0f;
    float wobbleAmp = 0.0f;
};

class CWrappingSpaceController : public CParticleController {
public:
    CWrappingSpaceController(CParticleEffect* pEffect, const CWrappingSpaceControllerDefinition* pDefinition);
    void Update(const Vector3& position, const Matrix3& orientation) override;
    static bool ReadDefinition(const CParamBlock* pBlock, CControllerDefinition** ppDefinition);

private:
    const CWrappingSpaceControllerDefinition* m_pDefinition;
    float m_phase;
};

// An offset from the camera brought into the box of that size around it: the same place as
// stepping by whole sizes until within -size/2..size/2, reached arithmetically for far offsets.
// Sizes of 0 or less (and offsets that are not numbers) are left as they are.
float wrapIntoBox(float offset, float size);

CParticleController* CreateGravityController(CParticleEffect* pEffect, const CControllerDefinition* pDefinition,
                                             void* pExtra);
CParticleController* CreateGravityControllerNoCollision(CParticleEffect* pEffect,
                                                        const CControllerDefinition* pDefinition, void* pExtra);
CParticleController* CreateAttractionController(CParticleEffect* pEffect, const CControllerDefinition* pDefinition,
                                                void* pExtra);
CParticleController* CreateWrappingSpaceController(CParticleEffect* pEffect, const CControllerDefinition* pDefinition,
                                                   void* pExtra);
