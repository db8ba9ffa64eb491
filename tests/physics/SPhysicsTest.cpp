#include "physics/SPhysics.h"
#include "ai/WorldMgr.h"
#include "global/ProjData.h"
#include "TestSupport.h"
#include <gtest/gtest.h>
#include <cmath>

class SPhysicsTest : public ::testing::Test {
protected:
    // A session's world manager with a level's AI map (ground 10, or rising 1 per unit along x).
    void SetUp() override
    {
        llistInitElementPool(), createProjData();
        getProjData().pWorldMgr = new CWorldMgr;
    }
    void TearDown() override
    {
        dropWorld(), destroyProjData(), llistFreeElementPool();
        setPhysicsOwnerNameFunc(nullptr);
    }
    void dropWorld()
    {
        if (CWorldMgr*& pWorldMgr = getProjData().pWorldMgr) pWorldMgr->unloadLevel(), delete std::exchange(pWorldMgr, nullptr);
    }
    void ground(bool slope = false)
    {
        CAIMap* pMap = getProjData().getWorldMgr()->getAIMap();
        ASSERT_TRUE(pMap->create(256, 256, 1, 0, 0));
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) ASSERT_TRUE(pMap->setHeight(x, y, uint16_t(slope ? 100 + x : 10)));
    }
    // A walker 8 long and 8 wide, standing 2 above the ground, at (x, y, z).
    static SPhysicsParams walker()
    {
        SPhysicsParams p = {};
        p.maxSpeed = 5.0f, p.accelerationLimit = 1.0f, p.decelerationLimit = 2.0f, p.groundClearance = 2.0f;
        p.sideVelocityKept = 0.5f, p.maxTurnRate = 0.5f, p.angularAccelerationLimit = 0.125f;
        for (int i = 0; i < 4; ++i) p.contactOffsets[i] = Vector3(i < 2 ? 4.0f : -4.0f, i % 3 ? -4.0f : 4.0f, 0.0f);
        return p;
    }
    SPhysics& body(float x, float y, float z, const SPhysicsParams& params = walker())
    {
        m_body = SPhysics{};
        m_body.setParams(params);
        m_body.setPosition(Vector3(x, y, z));
        return m_body;
    }
    SPhysics m_body;
};

static void expectMatrix(const Matrix3& expected, const Matrix3& m, float tol = 1e-5f)
{
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(expected.element(i), m.element(i), tol) << i;
}

TEST_F(SPhysicsTest, SteeringAsksWithinItsLimits)
{
    SPhysics& b = body(0, 0, 0);
    for (auto [target, acceleration] : {std::pair{100.0f, 1.0f}, {-100.0f, -2.0f}, {0.25f, 0.25f}, {-1.5f, -1.5f}})
    {
        b.setTargetSpeed(target);
        EXPECT_EQ(acceleration, b.getAcceleration()) << target;
    }
    // Turning at 0.2 with 0.3 to go: w = 0.325, n = 2, D = 0.6 >= 0.3, so brake by -0.2²/(0.6 + 0.2);
    // braking is limited to alpha; the angle is measured in the heading frame.
    struct { float rate, headingY, angle, acceleration; } turns[] = {
        {0, 0, 0, 0}, {0, 0, 1, 0.125f}, {0, 0, -1, -0.125f}, {0.2f, 0, 0.3f, -0.05f}, {0.5f, 0, 0.3f, -0.125f},
        {0, 1, 2.5f, 0.125f}};
    for (const auto& t : turns) {
        b.setTurnRate(t.rate);
        b.setHeading(1 - t.headingY, t.headingY, 0.0f);
        b.turnTowards(std::cos(t.angle), std::sin(t.angle), 0.0f);
        EXPECT_NEAR(t.acceleration, b.getAngularAcceleration(), 1e-6f) << t.rate << " " << t.angle;
    }
    SPhysicsParams still = walker();
    still.angularAccelerationLimit = 0.0f;
    body(0, 0, 0, still).turnTowards(0.0f, 1.0f, 0.0f);
    EXPECT_EQ(0.0f, m_body.getAngularAcceleration());
}

TEST_F(SPhysicsTest, WalkingAcceleratesDropsDriftAndTurnsAboutTheWorldVertical)
{
    ground();
    SPhysics& b = body(20.0f, 100.0f, 12.0f);  // ground 10 + clearance 2
    float x = 20.0f;
    for (float expected : {1, 2, 3, 4, 5, 5}) {
        b.setTargetSpeed(10.0f);
        b.updateWalking();
        EXPECT_EQ(expected, b.getSpeed());
        EXPECT_NEAR(x += expected, b.getPosition().x, 1e-4f);
        EXPECT_NEAR(12.0f, b.getPosition().z, 1e-4f);  // resting at the clearance
    }
    b.setTargetSpeed(0.0f);
    b.setVelocity(Vector3(5.0f, 4.0f, 3.0f));  // sideways and up
    b.updateWalking();
    EXPECT_EQ(-2.0f, b.getSpeedChange());
    EXPECT_NEAR(2.0f, b.getVelocity().y, 1e-6f);  // half kept
    EXPECT_EQ(0.0f, b.getVelocity().z);           // vertical dropped
    expectMatrix(Matrix3(), b.getDisplayOrientation(), 0.0f);  // no lean without the flag

    // Turning yaws toward +y in front of the orientation (Rz(-turn)·orientation): a rolled body
    // turning matches a twin that starts from that product and does not turn.
    Matrix3 rolled, yaw, turned;
    rolled.setRotationX(0.5f), yaw.setRotationZ(-0.25f), Matrix3::multiply(turned, yaw, rolled);
    body(100.0f, 100.0f, 12.0f).setOrientation(turned);
    m_body.updateWalking();
    const Matrix3 twin = m_body.getOrientation();
    body(100.0f, 100.0f, 12.0f).setOrientation(rolled);
    m_body.setTurnRate(0.25f);
    m_body.updateWalking();
    expectMatrix(twin, m_body.getOrientation());
}

TEST_F(SPhysicsTest, BodiesSettleOnTheGroundAndFollowTheSlope)
{
    ground();
    SPhysics& b = body(100.0f, 100.0f, 22.0f);  // 10 above the clearance: sinks 5% of the excess
    b.settleOnGround();
    EXPECT_NEAR(21.5f, b.getPosition().z, 1e-5f);
    body(100.0f, 100.0f, 22.0f).updateWalking();  // the same settle, then the height change halved
    EXPECT_NEAR(21.75f, b.getPosition().z, 1e-5f);
    body(100.0f, 100.0f, 5.0f).settleOnGround();  // below the ground: straight up to the clearance
    EXPECT_NEAR(12.0f, b.getPosition().z, 1e-5f);
    body(100.0f, 100.0f, 22.0f).settleOnGroundChecked();  // the checked settle does not sink
    EXPECT_NEAR(22.0f, b.getPosition().z, 1e-5f);

    ground(true);
    body(50.5f, 50.0f, 0.0f).settleOnGround();
    // Contacts at x 54.5 and 46.5 stand on cells 54 and 46: the ground fit is pitched up 45 degrees
    // and the body turns a tenth of the way.
    EXPECT_NEAR(0.1f * float(M_PI) / 4.0f, std::atan2(b.getOrientation().m[0][2], b.getOrientation().m[0][0]), 1e-4f);
    EXPECT_NEAR(152.0f, b.getPosition().z, 1e-4f);
    EXPECT_EQ(0u, testsupport::reports().size());

    // Without a world the ground is at 0, even far beyond what an int holds.
    dropWorld();
    for (float far : {100.0f, 1e30f}) {
        body(far, far, -50.0f).settleOnGround();
        EXPECT_NEAR(2.0f, b.getPosition().z, 1e-5f);
    }
}

TEST_F(SPhysicsTest, NegativeContactsAreClampedOrReportedWithTheOwnersName)
{
    ground();
    // Three of the four contacts fall at negative x or y: clamped to (5,5), (5,0), (0,0), (0,5).
    body(1.0f, 1.0f, 12.0f).settleOnGround();
    EXPECT_NEAR(2.5f, m_body.getPosition().x, 1e-5f);
    body(1.0f, 1.0f, 12.0f).settleOnGroundChecked();  // checked, without an owner: left alone
    EXPECT_NEAR(1.0f, m_body.getPosition().x, 1e-5f);

    SPhysicsParams params = walker();
    // The owner is only named, never looked into: any address stands for it.
    static int strider;
    static const CGameObject* s_named;
    s_named = params.pOwner = reinterpret_cast<CGameObject*>(&strider);
    setPhysicsOwnerNameFunc([](const CGameObject* pOwner) { return pOwner == s_named ? "Strider01" : "?"; });
    body(1.0f, 1.0f, 12.0f, params).settleOnGroundChecked();
    EXPECT_EQ(3, testsupport::countReports(
                     "bad object position on Strider01 during physics update as a result of orientation"));
    testsupport::clearReports();
    body(-1.0f, 50.0f, 12.0f, params).settleOnGroundChecked();
    ASSERT_EQ(1, testsupport::countReports("Position.x>=0 && Position.y>=0"));
    EXPECT_EQ("bad object position on Strider01 during physics update", testsupport::reports()[0].message);
}

TEST_F(SPhysicsTest, LeanPitchesWithSpeedChangeAndRollsWithTurnsAboutTheHeading)
{
    ground();
    SPhysicsParams params = walker();
    params.leanEnabled = 1, params.pitchLeanLimit = 0.3f, params.pitchLeanStep = 0.05f;
    params.pitchLeanPerSpeedChange = 0.1f, params.pitchLeanPerSpeed = 0.02f;
    params.rollLeanLimit = 0.2f, params.rollLeanStep = 0.5f, params.rollLeanPerTurnRate = 1.0f;
    SPhysics& b = body(100.0f, 100.0f, 12.0f, params);
    b.setHeading(0.0f, 1.0f, 0.0f);
    b.setTargetSpeed(5.0f);
    b.updateWalking();
    // Target 1·0.1 + 1·0.02 = 0.12 is more than a step away: exactly one step, display only, and the
    // heading (+y) tips in its own vertical plane.
    EXPECT_FLOAT_EQ(0.05f, b.getPitchLean());
    expectMatrix(Matrix3(), b.getOrientation(), 0.0f);
    Vector3 heading;
    b.getDisplayOrientation().transform(Vector3(0.0f, 1.0f, 0.0f), heading);
    EXPECT_NEAR(-std::sin(0.05f), heading.z, 1e-5f);

    b.setHeading(1.0f, 0.0f, 0.0f);
    b.setTargetSpeed(1.0f);  // speed stays 1: target 0.02, within a step of 0.05
    b.setTurnRate(0.4f);     // roll target 0.4 is clamped to 0.2
    b.updateWalking();
    EXPECT_FLOAT_EQ(0.02f, b.getPitchLean());
    EXPECT_FLOAT_EQ(0.2f, b.getRollLean());
    // Heading +x: display = Rx(-roll)·Ry(-pitch)·orientation, roll applied first.
    Matrix3 roll, pitch, leaned, expected;
    roll.setRotationX(-0.2f), pitch.setRotationY(-0.02f), Matrix3::multiply(leaned, roll, pitch);
    Matrix3::multiply(expected, leaned, b.getOrientation());
    expectMatrix(expected, b.getDisplayOrientation());
}
