// SPhysics: the kinematic body of AI-driven ground units and animals. It keeps a speed along the
// body's forward axis, a turn rate about the vertical and four ground contact points. The AI asks
// for a target speed and a direction to turn toward; each update (one game step, no time argument)
// applies the accelerations within their limits, moves the body, settles the contact points on the
// AI map's ground heights, fits the orientation to the ground and, when enabled, leans the
// displayed orientation with speed changes and turns.
//
//   SPhysics body;
//   body.setParams(params);
//   body.setPosition(start);
//   each step: body.setTargetSpeed(s); body.turnTowards(dx, dy, dz); body.updateWalking();
#pragma once

#include "utility/VectorMath.h"

#include <cstdint>

class CGameObject;

// The parameter block, copied whole. Words 0..26 are floats (word 14 a flag), word 27 the owner.
struct SPhysicsParams {
    float maxSpeed;                  // speed is clamped to ±this
    float accelerationLimit;
    float decelerationLimit;
    float groundClearance;           // height of the contact points above the ground
    float sideVelocityKept;          // share of the sideways velocity kept each update
    float maxTurnRate;               // radians per update
    float angularAccelerationLimit;
    float pitchLeanLimit;
    float pitchLeanStep;             // largest pitch-lean change per update
    float pitchLeanPerSpeedChange;
    float pitchLeanPerSpeed;
    float rollLeanLimit;
    float rollLeanStep;              // largest roll-lean change per update
    float rollLeanPerTurnRate;
    uint32_t leanEnabled;            // non-zero: the display orientation leans
    Vector3 contactOffsets[4];       // body space; front pair first, then the back pair (see below)
    CGameObject* pOwner;             // may be null; only names the object in reports
};
// Contact order: 0 front on the +y side, 1 front on the -y side, 2 back on the -y side, 3 back on
// the +y side. The ground fit takes forward from (0 + 1) - (2 + 3) and across from (0 + 3) - (1 + 2).

// Names the owner in reports. The game-object layer installs its name lookup; without one the
// owner is named by an empty text.
typedef const char* (*PhysicsOwnerNameFunc)(const CGameObject* pOwner);
void setPhysicsOwnerNameFunc(PhysicsOwnerNameFunc func);

struct SPhysics {
    SPhysics();

    // Heading (1, 0, 0) with its frame, identity orientations, everything else zero.
    void reset();

    void setParams(const SPhysicsParams& params) { m_params = params; }
    const SPhysicsParams& getParams() const { return m_params; }
    // The heading frame has the rows heading, (-y, x, 0) and (0, 0, 1).
    void setHeading(float x, float y, float z);
    void setPosition(const Vector3& position) { m_position = position; }
    void setVelocity(const Vector3& velocity) { m_velocity = velocity; }
    // Sets the physical and the displayed orientation.
    void setOrientation(const Matrix3& orientation);
    void setTurnRate(float turnRate) { m_turnRate = turnRate; }
    float getTurnRate() const { return m_turnRate; }
    const Vector3& getPosition() const { return m_position; }
    const Matrix3& getOrientation() const { return m_orientation; }
    const Matrix3& getDisplayOrientation() const { return m_displayOrientation; }
    const Vector3& getVelocity() const { return m_velocity; }
    float getSpeed() const { return m_speed; }
    float getSpeedChange() const { return m_speedChange; }
    float getAcceleration() const { return m_acceleration; }
    float getAngularAcceleration() const { return m_angularAcceleration; }
    float getPitchLean() const { return m_pitchLean; }
    float getRollLean() const { return m_rollLean; }

    // The speed change of the next update toward the target, within the acceleration and
    // deceleration limits.
    void setTargetSpeed(float targetSpeed);
    // The turn-rate change of the next update: accelerate toward the direction while there is room
    // to brake before it, else brake so as to stop on it.
    void turnTowards(float x, float y, float z);

    // One update for units whose height is smoothed: the height change is halved.
    void updateWalking();
    // One update for units that may stand above the ground; positions are checked against the owner.
    void updateWithOwner();

    // Contact points onto the ground (sinking 5% of any excess clearance per update), position to
    // their middle, orientation a tenth of the way to the ground fit, then the lean.
    void settleOnGround();
    // As settleOnGround, but contact points never below the body and no sinking; with an owner,
    // negative world positions are reported.
    void settleOnGroundChecked();

    SPhysicsParams m_params;
    Vector3 m_position;
    Matrix3 m_orientation;
    Vector3 m_heading;
    Matrix3 m_frame;
    float m_acceleration;        // speed change requested for the next update
    float m_speedChange;         // speed change applied by the last update
    Vector3 m_velocity;          // world velocity of the last update
    float m_speed;               // signed, along the forward axis
    float m_turnRate;            // signed, radians per update
    float m_angularAcceleration; // turn-rate change for the next update
    float m_pitchLean;
    Matrix3 m_displayOrientation;
    float m_rollLean;
    float m_spare;

private:
    // The body's forward and sideways directions: the rows of its frame times its orientation.
    void headings(Vector3& forward, Vector3& side) const;
    void move();
    void settle(bool checked);
    void lean();
};

// The process-wide body and zero vector that exist from start-up.
extern SPhysics thePhysics;
extern const Vector3 physicsZeroVector;
