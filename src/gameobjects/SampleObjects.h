// The four small kinds of the misc-object manager that exercise the object, collision and physics
// machinery: a bullet that flies along a finite ray and is copied over the network, a laser that
// fires one long ray and hits the nearest object, a spherical target that goes when a bullet or
// laser touches it, and a collision tester that bounces on the ground and off other testers with
// spin. Each attaches a collision object, a "PhysicsNone" physics object and usually a placed model
// at set-up, and gives them back (physics, collision, model) when it is destroyed.
#pragma once

#include "gameobjects/GameObject.h"
#include "gameobjects/SampleObjectParts.h"

class CSampleObjectBullet : public CGameObject {
public:
    static constexpr uint32_t TYPE_ID = 0x01000000;
    static constexpr uint32_t CREATION_MESSAGE_SIZE = 51;
    static constexpr int32_t LIFETIME = 5000;  // ms
    static constexpr float EXTRA_TRAVEL = 5.0f;

    CSampleObjectBullet();
    ~CSampleObjectBullet() override;

    const char* getTypeName() const override { return "SampleObjectBullet"; }
    void update(int frameStep) override;
    void interact(CGameObject* pOther) override;
    void contactReply(CGameObject* pOther, const Vector3& point, const Vector3& normal) override;
    bool think(int frameStep) override;
    void render() override;
    // Arguments: position (Vector3), speed, pitch, yaw, roll (floats).
    bool initFromArgs(resourceHandle creator, ObjectArgs args) override;
    bool initFromParamBlock(CParamBlock*, resourceHandle) override { return false; }
    void prepareAsReplica() override;
    bool GetCurrentPosition(Vector3* pPosition) override;
    bool isStaticObject() override { return false; }

    uint16_t getCreationMessageType() override { return CREATION_MESSAGE_SIZE; }
    uint32_t writeCreationData(uint8_t* pMessage, uint32_t length) override;
    // Launches the copy and moves it on by the message's age.
    bool readCreationData(const uint8_t* pMessage, uint32_t length) override;

    // Orientation from the angles; the direction is its third row.
    void launch(const Vector3& position, float speed, float pitch, float yaw, float roll);

    const Vector3& getDirection() const { return d_direction; }
    const Matrix3& getOrientation() const { return d_orientation; }
    int32_t getLifetime() const { return d_lifetime; }
    float getTravel() const { return d_travel; }

private:
    bool attachResources();
    // Hits only tree clumps and the first animal types (the player's vehicle among them).
    static bool hitsKind(uint32_t type);
    bool hitsCount() const;
    void remove();

    sampleparts::SAttachments d_parts;
    Vector3 d_position;
    Vector3 d_direction;
    Matrix3 d_orientation;
    float d_speed;
    float d_travel;  // this frame
    float d_pitch, d_yaw, d_roll;
    int32_t d_lifetime;
    float d_extraTravel;
};

class CSampleObjectLaser : public CGameObject {
public:
    static constexpr uint32_t TYPE_ID = 0x01000001;
    static constexpr uint32_t CREATION_MESSAGE_SIZE = 43;
    static constexpr float RANGE = 5000.0f;
    static constexpr float DRAWN_LENGTH = 10000.0f;
    static constexpr float LIFETIME = 500.0f;  // ms
    static constexpr uint32_t COLOUR = 0xFFFF0000u;

    CSampleObjectLaser();
    ~CSampleObjectLaser() override;

    const char* getTypeName() const override { return "SampleObjectLaser"; }
    void update(int frameStep) override;
    void interact(CGameObject* pOther) override;
    void contactReply(CGameObject* pOther, const Vector3& point, const Vector3& normal) override;
    // Delivers the nearest hit once.
    void postCollision() override;
    bool wantsPostCollision() override { return true; }
    bool think(int) override { return true; }
    void render() override;
    // Arguments: start, direction (Vector3s).
    bool initFromArgs(resourceHandle creator, ObjectArgs args) override;
    bool initFromParamBlock(CParamBlock*, resourceHandle) override { return false; }
    void prepareAsReplica() override;
    bool GetCurrentPosition(Vector3* pPosition) override;
    bool isStaticObject() override { return false; }

    uint16_t getCreationMessageType() override { return CREATION_MESSAGE_SIZE; }
    uint32_t writeCreationData(uint8_t* pMessage, uint32_t length) override;
    // Takes the start and direction over and answers false.
    bool readCreationData(const uint8_t* pMessage, uint32_t length) override;

    // Keeps the hit when it is nearer the start than every one before (the first of equals stays).
    void recordHit(CGameObject* pOther, const Vector3& point, const Vector3& normal);
    // The contact pass asks only one of a pair. When the owner is asked about a laser, the laser
    // is asked about the owner instead, so that it hits only the nearest object (once) whichever
    // of the two was asked. False when the other is no laser.
    static bool handOverTo(CGameObject& owner, CGameObject& other);

    bool hasHit() const { return d_hit != 0; }
    bool hasFired() const { return d_fired != 0; }
    float getClosestDistanceSquared() const { return d_closestDistanceSquared; }
    CGameObject* getClosestObject() const { return d_pClosest; }

private:
    bool attachResources();

    sampleparts::SAttachments d_parts;
    // Records hits until its one hit is delivered. The object itself stays active (updated) until
    // its lifetime ends, so a laser that hit still goes.
    uint8_t d_armed;
    uint8_t d_fired;
    uint8_t d_hit;
    Vector3 d_start;
    Vector3 d_direction;
    float d_closestDistanceSquared;
    float d_lifetime;
    CGameObject* d_pClosest;
    Vector3 d_hitPoint;
    Vector3 d_hitNormal;
};

class CSampleObjectTarget : public CGameObject {
public:
    static constexpr uint32_t TYPE_ID = 0x01000002;
    static constexpr uint32_t CREATION_MESSAGE_SIZE = 35;
    static constexpr float RADIUS = 100.0f;
    static constexpr const char* MODEL = "models\\sphere.rsm";

    CSampleObjectTarget();
    ~CSampleObjectTarget() override;

    const char* getTypeName() const override { return "SampleObjectTarget"; }
    void update(int) override {}
    void interact(CGameObject* pOther) override;
    void contactReply(CGameObject* pOther, const Vector3& point, const Vector3& normal) override;
    bool think(int) override { return false; }
    void render() override;
    // Argument: position (Vector3); the target stands on the ground there.
    bool initFromArgs(resourceHandle creator, ObjectArgs args) override;
    // "position" (required) and "scale" (1 when absent).
    bool initFromParamBlock(CParamBlock* pBlock, resourceHandle creator) override;
    void prepareAsReplica() override;
    bool GetCurrentPosition(Vector3* pPosition) override;
    bool isStaticObject() override { return true; }

    uint16_t getCreationMessageType() override { return CREATION_MESSAGE_SIZE; }
    uint32_t writeCreationData(uint8_t* pMessage, uint32_t length) override;
    bool readCreationData(const uint8_t* pMessage, uint32_t length) override;

    float getScale() const { return d_scale; }

private:
    bool attachResources();
    void shotBy(const CGameObject* pOther);

    sampleparts::SAttachments d_parts;
    Vector3 d_position;
    float d_scale;
};

class CCollisionTest : public CGameObject {
public:
    static constexpr uint32_t TYPE_ID = 0x0100000a;
    static constexpr const char* MODEL = "data\\dumb_test_object.rsm";
    static constexpr float SIZE = 100.0f;
    static constexpr float DAMPING = 0.99f;
    static constexpr float GRAVITY = 6.0f;         // per frame, taken off the vertical velocity
    static constexpr float GROUND_CLEARANCE = 50.0f;
    static constexpr float PUSH = 30.0f;
    static constexpr int32_t FULL_HEALTH = 100;

    enum CollisionShape : int { SHAPE_SPHERE = 0, SHAPE_CYLINDER = 1, SHAPE_HULL = 2 };

    CCollisionTest();
    ~CCollisionTest() override;

    const char* getTypeName() const override { return "CollisionTest"; }
    // Damping, gravity above the ground and the bounce off it.
    void update(int frameStep) override;
    void interact(CGameObject* pOther) override;
    void contactReply(CGameObject* pOther, const Vector3& point, const Vector3& normal) override;
    // Goes when dead.
    void postCollision() override;
    bool wantsPostCollision() override { return true; }
    // Moves on by one frame; never asks for a new place in the land tree.
    bool think(int frameStep) override;
    void render() override;
    bool initFromArgs(resourceHandle, ObjectArgs) override { return false; }
    // "position" and "collision_type" (both required).
    bool initFromParamBlock(CParamBlock* pBlock, resourceHandle creator) override;
    void prepareAsReplica() override {}
    bool GetCurrentPosition(Vector3* pPosition) override;
    // The unit velocity, or zero when it is slower than 0.001 a frame.
    bool GetCurrentDirection(Vector3* pDirection) override;
    // Per second.
    bool GetCurrentSpeed(float* pSpeed) override;
    bool getOrientationMatrix(const Matrix3** ppOrientation) override;
    bool isStaticObject() override { return false; }
    // Per second, as the speed is told (the interaction solver works in those units).
    void addVelocity(const Vector3& change) override;
    void setVelocity(const Vector3& velocity) override;
    // Only other testers do damage.
    void applyDamage(float energy, CGameObject* pSource) override;
    bool isDead() override { return health <= 0; }
    void resolveInteraction(CGameObject* pOther, const Vector3& point, Vector3& normal, float value,
                            bool otherFirst) override;
    // Position by the velocity and orientation by the spin, the given fraction of a frame.
    void advance(float factor) override;

    const Vector3& getVelocity() const { return d_velocity; }
    const Quaternion& getSpin() const { return d_spin; }
    const Quaternion& getOrientation() const { return d_orientationQuat; }

private:
    // The spin about the axis a, faster the longer a is; a zero axis leaves it.
    void spinAbout(const Vector3& axis);
    // Down on the ground (at or below its clearance) with the push against the ground.
    bool isPushedIntoGround(const Vector3& push) const;

    sampleparts::SAttachments d_parts;
    Vector3 d_position;
    Quaternion d_orientationQuat;
    Matrix3 d_orientation;
    Vector3 d_velocity;  // per frame
    Quaternion d_spin;   // per frame
};
