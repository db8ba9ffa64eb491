#include "physics/SPhysics.h"

#include "ai/WorldMgr.h"
#include "global/ProjData.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"

#include <climits>
#include <cmath>
#include <cstring>

SPhysics thePhysics;
const Vector3 physicsZeroVector(0.0f, 0.0f, 0.0f);

namespace {

PhysicsOwnerNameFunc g_ownerNameFunc = nullptr;

// The ground follows the fitted orientation by this share per update.
const float GROUND_FIT_SHARE = 0.1f;
// Share of the excess clearance a contact point sinks per update.
const float SINK_SHARE = 0.05f;

const char* ownerName(const CGameObject* pOwner)
{
    const char* name = g_ownerNameFunc ? g_ownerNameFunc(pOwner) : nullptr;
    return name ? name : "";
}

// World coordinates are truncated to whole units for the map; values no int can hold (and NaN)
// become a position far outside it instead of an undefined conversion.
int toMapCoordinate(float v)
{
    if (v > -2147483520.0f && v < 2147483520.0f)
        return static_cast<int>(v);
    return v > 0.0f ? INT_MAX : INT_MIN;
}

// The level's AI map answers; with no session (no world manager) the ground is at 0.
float groundHeightAt(float x, float y)
{
    if (!projDataExists())
        return 0.0f;
    CWorldMgr* pWorldMgr = getProjData().getWorldMgr();
    if (!pWorldMgr)
        return 0.0f;
    return static_cast<float>(pWorldMgr->getAIMap()->getHeightAt(toMapCoordinate(x), toMapCoordinate(y)));
}

float clampSymmetric(float value, float limit)
{
    if (value > limit)
        return limit;
    if (value < -limit)
        return -limit;
    return value;
}

// Moves current toward target by at most step; a step of the full limit is taken exactly.
float approach(float current, float target, float step)
{
    if (std::fabs(target - current) >= step)
        return target > current ? current + step : current - step;
    return target;
}

void assertValidMatrix(const Matrix3& matrix)
{
    const float* M = &matrix.m[0][0];
    for (int i = 0; i < 9; ++i)
        ASSERT(isValidFloat(M[i]));
}

}  // namespace

void setPhysicsOwnerNameFunc(PhysicsOwnerNameFunc func)
{
    g_ownerNameFunc = func;
}

SPhysics::SPhysics()
{
    memset(static_cast<void*>(&m_params), 0, sizeof(m_params));
    m_position.set(0.0f, 0.0f, 0.0f);
    m_heading.set(0.0f, 0.0f, 0.0f);
    m_velocity.set(0.0f, 0.0f, 0.0f);
    reset();
}

void SPhysics::reset()
{
    setHeading(1.0f, 0.0f, 0.0f);
    m_velocity.set(0.0f, 0.0f, 0.0f);
    m_speed = 0.0f;
    m_acceleration = 0.0f;
    m_speedChange = 0.0f;
    m_turnRate = 0.0f;
    m_angularAcceleration = 0.0f;
    m_pitchLean = 0.0f;
    m_rollLean = 0.0f;
    m_spare = 0.0f;
    m_orientation.setIdentity();
    m_frame.setIdentity();
    m_displayOrientation.setIdentity();
    m_position.set(0.0f, 0.0f, 0.0f);
}

void SPhysics::setHeading(float x, float y, float z)
{
    m_heading.set(x, y, z);
    m_frame.setRow2(0, x, y, z);
    m_frame.setRow2(1, -y, x, 0.0f);
    m_frame.setRow2(2, 0.0f, 0.0f, 1.0f);
}

void SPhysics::setOrientation(const Matrix3& orientation)
{
    m_orientation = orientation;
    m_displayOrientation = orientation;
}

void SPhysics::setTargetSpeed(float targetSpeed)
{
    const float delta = targetSpeed - m_speed;
    if (delta > 0.0f)
        m_acceleration = delta > m_params.accelerationLimit ? m_params.accelerationLimit : delta;
    else
        m_acceleration = delta < -m_params.decelerationLimit ? -m_params.decelerationLimit : delta;
}

void SPhysics::headings(Vector3& forward, Vector3& side) const
{
    Matrix3 axes;
    Matrix3::multiply(axes, m_frame, m_orientation);
    axes.getRow1(0, forward);
    axes.getRow1(1, side);
}

void SPhysics::turnTowards(float x, float y, float z)
{
    Vector3 forward, side;
    headings(forward, side);
    const Vector3 d(x, y, z);
    const float theta = std::atan2(d.dot(side), d.dot(forward));

    const float omega = m_turnRate;
    const float alpha = m_params.angularAccelerationLimit;
    const float maxRate = m_params.maxTurnRate;
    // Without angular acceleration the turn rate cannot change (and the braking count below
    // would divide by zero).
    if (!(alpha > 0.0f)) {
        m_angularAcceleration = 0.0f;
        return;
    }

    if (theta > 0.0f) {
        const float w = omega + alpha < maxRate ? omega + alpha : maxRate;
        // Angle covered when accelerating to w now, then braking by alpha per update.
        const float n = std::trunc(w / alpha);
        const float covered = (n + 1.0f) * w - alpha * n * (n + 1.0f) * 0.5f;
        if (covered < theta) {
            m_angularAcceleration = alpha;
            return;
        }
    } else {
        const float w = omega - alpha > -maxRate ? omega - alpha : -maxRate;
        const float n = std::trunc(-w / alpha);
        const float covered = (n + 1.0f) * w + alpha * n * (n + 1.0f) * 0.5f;
        if (covered > theta) {
            m_angularAcceleration = -alpha;
            return;
        }
    }

    // Brake so that the turn stops on the direction.
    const float s = 2.0f * theta + omega;
    float braking = 0.0f;
    if (std::fabs(s) >= 1e-6f) {
        braking = -omega * omega / s;
        if (braking > alpha)
            braking = alpha;
        if (braking < -alpha)
            braking = -alpha;
    }
    m_angularAcceleration = braking;
}

void SPhysics::move()
{
    Vector3 forward, side;
    headings(forward, side);

    const float newSpeed = clampSymmetric(m_speed + m_acceleration, m_params.maxSpeed);
    m_speedChange = newSpeed - m_speed;
    m_speed = newSpeed;

    // Drift sideways dies away by the kept share; vertical velocity is the ground's business.
    const float keptSide = m_velocity.dot(side) * m_params.sideVelocityKept;
    m_velocity = forward * m_speed + side * keptSide;
    m_position += m_velocity;

    m_turnRate = clampSymmetric(m_turnRate + m_angularAcceleration, m_params.maxTurnRate);
    Matrix3 turn;
    turn.setRotationZ(-m_turnRate);
    Matrix3::multiply(m_orientation, turn, m_orientation);
}

void SPhysics::updateWalking()
{
    const float z0 = m_position.z;
    move();
    settleOnGround();
    m_position.z = z0 + (m_position.z - z0) * 0.5f;
}

void SPhysics::updateWithOwner()
{
    move();
    settleOnGroundChecked();
}

void SPhysics::settleOnGround()
{
    settle(false);
}

void SPhysics::settleOnGroundChecked()
{
    settle(true);
}

void SPhysics::settle(bool checked)
{
    assertValidMatrix(m_orientation);

    const CGameObject* pOwner = m_params.pOwner;
    if (checked && pOwner) {
        const Vector3& Position = m_position;
        ASSERT_MSG(Position.x>=0 && Position.y>=0,
                   concatStrings("bad object position on ", ownerName(pOwner), " during physics update"));
    }

    const float clearance = m_params.groundClearance;
    Vector3 Pos[4];
    for (int i = 0; i < 4; ++i) {
        m_orientation.transform(m_params.contactOffsets[i], Pos[i]);
        Pos[i] += m_position;
        if (checked) {
            if (pOwner)
                ASSERT_MSG(Pos[i].x>=0 && Pos[i].y>=0,
                           concatStrings("bad object position on ", ownerName(pOwner),
                                         " during physics update as a result of orientation"));
        } else {
            if (Pos[i].x < 0.0f)
                Pos[i].x = 0.0f;
            if (Pos[i].y < 0.0f)
                Pos[i].y = 0.0f;
            ASSERT(Pos[i].x>=0 && Pos[i].y>=0);
        }

        const float ground = groundHeightAt(Pos[i].x, Pos[i].y);
        if (checked) {
            const float z = ground + clearance;
            Pos[i].z = z < m_position.z ? m_position.z : z;
        } else {
            const float excess = Pos[i].z - ground;
            const float settled = excess > clearance ? excess - (excess - clearance) * SINK_SHARE : clearance;
            Pos[i].z = ground + settled;
        }
    }

    m_position = (Pos[0] + Pos[1] + Pos[2] + Pos[3]) * 0.25f;

    // Orientation of the plane through the contact points.
    Vector3 forward = (Pos[0] + Pos[1]) - (Pos[2] + Pos[3]);
    forward.normalise();
    const Vector3 across = (Pos[0] + Pos[3]) - (Pos[1] + Pos[2]);
    Vector3 up = forward.cross(across);
    up.normalise();
    const Vector3 side = up.cross(forward);
    Matrix3 fitted;
    fitted.setRow1(0, forward);
    fitted.setRow1(1, side);
    fitted.setRow1(2, up);

    Quaternion current;
    Quaternion target;
    Quaternion blended;
    matrix3ToQuat(m_orientation, current);
    matrix3ToQuat(fitted, target);
    quatSlerp(current, target, GROUND_FIT_SHARE, blended);
    const float length =
        std::sqrt(blended.x * blended.x + blended.y * blended.y + blended.z * blended.z + blended.w * blended.w);
    if (length > 0.0f) {
        const float inv = 1.0f / length;
        blended = Quaternion(blended.x * inv, blended.y * inv, blended.z * inv, blended.w * inv);
    }
    quatToMatrix3(blended, m_orientation);

    lean();
    assertValidMatrix(m_displayOrientation);
}

void SPhysics::lean()
{
    if (m_params.leanEnabled == 0) {
        m_displayOrientation = m_orientation;
        return;
    }
    const float pitchTarget =
        clampSymmetric(m_speedChange * m_params.pitchLeanPerSpeedChange + m_speed * m_params.pitchLeanPerSpeed,
                       m_params.pitchLeanLimit);
    m_pitchLean = approach(m_pitchLean, pitchTarget, m_params.pitchLeanStep);
    const float rollTarget = clampSymmetric(m_turnRate * m_params.rollLeanPerTurnRate, m_params.rollLeanLimit);
    m_rollLean = approach(m_rollLean, rollTarget, m_params.rollLeanStep);

    // The lean is about the heading frame's axes: into the frame, lean, back out, then the body.
    Matrix3 frameT = m_frame;
    frameT.transpose();
    Matrix3 roll;
    roll.setRotationX(-m_rollLean);
    Matrix3 pitch;
    pitch.setRotationY(-m_pitchLean);
    Matrix3 display;
    Matrix3::multiply(display, frameT, roll);
    Matrix3::multiply(display, display, pitch);
    Matrix3::multiply(display, display, m_frame);
    Matrix3::multiply(m_displayOrientation, display, m_orientation);
}
