#include "physics/SPhysics.h"

#include "ai/WorldMgr.h"
#include "gameobjects/GameObject.h"
#include "global/ProjData.h"

#include "TestKinds.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

const int MAP_SIZE = 256;

class SPhysicsTest : public ::testing::Test {
protected:
    // A session's world manager with a level's AI map, as the level load leaves them.
    void SetUp() override
    {
        llistInitElementPool();
        createProjData();
        getProjData().pWorldMgr = new CWorldMgr;
        ground([](int, int) { return 10; });
    }
    void TearDown() override
    {
        dropWorld();
        destroyProjData();
        llistFreeElementPool();
        setPhysicsOwnerNameFunc(nullptr);
    }

    void dropWorld()
    {
        CWorldMgr*& pWorldMgr = getProjData().pWorldMgr;
        if (!pWorldMgr)
            return;
        pWorldMgr->unloadLevel();
        delete pWorldMgr;
        pWorldMgr = nullptr;
    }

    void ground(const std::function<int(int, int)>& height)
    {
        CAIMap* pMap = getProjData().getWorldMgr()->getAIMap();
        ASSERT_TRUE(pMap->create(MAP_SIZE, MAP_SIZE, 1, 0, 0));
        for (int y = 0; y < MAP_SIZE; ++y)
            for (int x = 0; x < MAP_SIZE; ++x)
                ASSERT_TRUE(pMap->setHeight(x, y, uint16_t(height(x, y))));
    }

    // A walker 8 long and 8 wide, standing 2 above the ground.
    static SPhysicsParams walker()
    {
        SPhysicsParams p = {};
        p.maxSpeed = 5.0f;
        p.accelerationLimit = 1.0f;
        p.decelerationLimit = 2.0f;
        p.groundClearance = 2.0f;
        p.sideVelocityKept = 0.5f;
        p.maxTurnRate = 0.5f;
        p.angularAccelerationLimit = 0.125f;
        p.contactOffsets[0] = Vector3(4.0f, 4.0f, 0.0f);
        p.contactOffsets[1] = Vector3(4.0f, -4.0f, 0.0f);
        p.contactOffsets[2] = Vector3(-4.0f, -4.0f, 0.0f);
        p.contactOffsets[3] = Vector3(-4.0f, 4.0f, 0.0f);
        return p;
    }
};

void expectRow(const Matrix3& m, int row, float x, float y, float z, float tol = 1e-5f)
{
    EXPECT_NEAR(x, m.m[row][0], tol) << "row " << row;
    EXPECT_NEAR(y, m.m[row][1], tol) << "row " << row;
    EXPECT_NEAR(z, m.m[row][2], tol) << "row " << row;
}

void expectIdentity(const Matrix3& m)
{
    expectRow(m, 0, 1, 0, 0, 0.0f);
    expectRow(m, 1, 0, 1, 0, 0.0f);
    expectRow(m, 2, 0, 0, 1, 0.0f);
}

TEST_F(SPhysicsTest, ResetAndHeadingFrame)
{
    SPhysics body;
    body.setHeading(0.6f, 0.8f, 0.0f);
    expectRow(body.m_frame, 0, 0.6f, 0.8f, 0.0f, 0.0f);
    expectRow(body.m_frame, 1, -0.8f, 0.6f, 0.0f, 0.0f);
    expectRow(body.m_frame, 2, 0.0f, 0.0f, 1.0f, 0.0f);

    Matrix3 turned;
    turned.setRotationZ(0.3f);
    body.setOrientation(turned);
    body.setTurnRate(0.2f);
    body.setPosition(Vector3(5, 6, 7));
    body.reset();
    expectIdentity(body.getOrientation());
    expectIdentity(body.getDisplayOrientation());
    expectIdentity(body.m_frame);
    EXPECT_EQ(0.0f, body.getTurnRate());
    EXPECT_EQ(0.0f, body.getPosition().z);
}

TEST_F(SPhysicsTest, TargetSpeedWithinAccelerationLimits)
{
    SPhysics body;
    body.setParams(walker());
    // Up to +1 and down to -2 in one step.
    const float cases[][2] = {{100.0f, 1.0f}, {-100.0f, -2.0f}, {0.25f, 0.25f}, {-1.5f, -1.5f}, {0.0f, 0.0f}};
    for (const auto& c : cases) {
        body.setTargetSpeed(c[0]);
        EXPECT_EQ(c[1], body.getAcceleration()) << c[0];
    }
}

TEST_F(SPhysicsTest, TurnTowardsAcceleratesThenBrakes)
{
    SPhysics body;
    body.setParams(walker());  // alpha 0.125, max rate 0.5

    body.turnTowards(1.0f, 0.0f, 0.0f);  // straight ahead, not turning
    EXPECT_EQ(0.0f, body.getAngularAcceleration());

    body.turnTowards(std::cos(1.0f), std::sin(1.0f), 0.0f);  // far to the side: accelerate
    EXPECT_EQ(0.125f, body.getAngularAcceleration());
    body.turnTowards(std::cos(1.0f), -std::sin(1.0f), 0.0f);
    EXPECT_EQ(-0.125f, body.getAngularAcceleration());

    // Turning at 0.2 with 0.3 to go: w = 0.325, n = 2, D = 0.6 >= 0.3, so brake by -0.2²/(0.6 + 0.2).
    body.setTurnRate(0.2f);
    body.turnTowards(std::cos(0.3f), std::sin(0.3f), 0.0f);
    EXPECT_NEAR(-0.05f, body.getAngularAcceleration(), 1e-6f);
    // Braking harder than alpha is limited to alpha.
    body.setTurnRate(0.5f);
    body.turnTowards(std::cos(0.3f), std::sin(0.3f), 0.0f);
    EXPECT_EQ(-0.125f, body.getAngularAcceleration());

    // The angle is measured in the heading frame turned by the orientation.
    body.setTurnRate(0.0f);
    body.setHeading(0.0f, 1.0f, 0.0f);   // forward +y, side -x
    body.turnTowards(-1.0f, 0.1f, 0.0f);  // toward the side
    EXPECT_EQ(0.125f, body.getAngularAcceleration());
}

TEST_F(SPhysicsTest, TurnTowardsWithoutAngularAccelerationStaysStill)
{
    SPhysicsParams params = walker();
    params.angularAccelerationLimit = 0.0f;
    SPhysics body;
    body.setParams(params);
    body.setTurnRate(0.3f);
    for (float side : {1.0f, -1.0f}) {
        body.turnTowards(0.0f, side, 0.0f);
        EXPECT_EQ(0.0f, body.getAngularAcceleration());
    }
}

TEST_F(SPhysicsTest, WalkerAcceleratesToItsTopSpeedOnFlatGround)
{
    SPhysics body;
    body.setParams(walker());
    body.setPosition(Vector3(20.0f, 100.0f, 12.0f));  // ground 10 + clearance 2
    const float expectedSpeeds[] = {1, 2, 3, 4, 5, 5, 5};
    float x = 20.0f;
    for (float expected : expectedSpeeds) {
        body.setTargetSpeed(10.0f);
        body.updateWalking();
        x += expected;
        EXPECT_EQ(expected, body.getSpeed());
        EXPECT_NEAR(x, body.getPosition().x, 1e-4f);
        EXPECT_NEAR(100.0f, body.getPosition().y, 1e-4f);
        EXPECT_NEAR(12.0f, body.getPosition().z, 1e-4f);  // resting at the clearance
    }
    EXPECT_EQ(0.0f, body.getSpeedChange());

    body.setTargetSpeed(0.0f);  // decelerates by 2
    body.updateWalking();
    EXPECT_EQ(3.0f, body.getSpeed());
    EXPECT_EQ(-2.0f, body.getSpeedChange());
    expectIdentity(body.getDisplayOrientation());  // no lean without the flag
    EXPECT_EQ(0u, testsupport::reports().size());
}

TEST_F(SPhysicsTest, SidewaysDriftDiesAwayAndTurningYawsTowardTheSide)
{
    SPhysics body;
    body.setParams(walker());
    body.setPosition(Vector3(100.0f, 100.0f, 12.0f));
    body.setVelocity(Vector3(0.0f, 4.0f, 3.0f));  // sideways and up
    body.updateWalking();
    EXPECT_NEAR(2.0f, body.getVelocity().y, 1e-6f);  // half kept
    EXPECT_EQ(0.0f, body.getVelocity().z);           // vertical dropped
    EXPECT_NEAR(102.0f, body.getPosition().y, 1e-4f);

    body.setTurnRate(0.25f);
    body.updateWalking();
    // Positive turn rate yaws the forward axis toward +y.
    expectRow(body.getOrientation(), 0, std::cos(0.25f), std::sin(0.25f), 0.0f, 1e-4f);
    EXPECT_EQ(0.25f, body.getTurnRate());
}

TEST_F(SPhysicsTest, TurnIsAboutTheWorldVerticalBeforeTheOrientation)
{
    // A body rolled on a slope turning: the yaw is applied in front of the orientation
    // (Rz(-turn)·orientation), so it matches a twin that starts from that product and does not turn.
    Matrix3 rolled;
    rolled.setRotationX(0.5f);
    Matrix3 yaw;
    yaw.setRotationZ(-0.25f);
    Matrix3 turned;
    Matrix3::multiply(turned, yaw, rolled);

    SPhysics turning;
    turning.setParams(walker());
    turning.setPosition(Vector3(100.0f, 100.0f, 12.0f));
    turning.setOrientation(rolled);
    turning.setTurnRate(0.25f);
    turning.updateWalking();

    SPhysics twin;
    twin.setParams(walker());
    twin.setPosition(Vector3(100.0f, 100.0f, 12.0f));
    twin.setOrientation(turned);
    twin.updateWalking();

    for (int i = 0; i < 9; ++i)
        EXPECT_NEAR(twin.getOrientation().element(i), turning.getOrientation().element(i), 1e-5f) << i;
    // The product the other way round is a different orientation.
    Matrix3 after;
    Matrix3::multiply(after, rolled, yaw);
    EXPECT_GT(std::fabs(after.m[0][2] - turned.m[0][2]), 0.05f);
}

TEST_F(SPhysicsTest, WalkerTurnsOntoADirectionAndSettles)
{
    SPhysics body;
    body.setParams(walker());
    body.setPosition(Vector3(128.0f, 128.0f, 12.0f));
    const float target = 2.0f;  // radians to the side
    float maxRate = 0.0f;
    int firstArrival = -1;
    for (int i = 0; i < 80; ++i) {
        body.turnTowards(std::cos(target), std::sin(target), 0.0f);
        EXPECT_LE(std::fabs(body.getAngularAcceleration()), 0.125f + 1e-6f);
        body.updateWalking();
        maxRate = std::max(maxRate, std::fabs(body.getTurnRate()));
        const Matrix3& o = body.getOrientation();
        const float yaw = std::atan2(o.m[0][1], o.m[0][0]);
        if (firstArrival < 0 && std::fabs(yaw - target) < 0.05f)
            firstArrival = i;
        if (firstArrival >= 0) {
            // Once there it hunts about the direction in small, slow swings.
            EXPECT_NEAR(target, yaw, 0.15f) << i;
            EXPECT_LT(std::fabs(body.getTurnRate()), 0.1f) << i;
        }
        EXPECT_NEAR(12.0f, body.getPosition().z, 1e-3f);
    }
    EXPECT_GE(firstArrival, 5);   // 2 radians at no more than 0.375 per update
    EXPECT_LE(firstArrival, 12);
    EXPECT_LE(maxRate, 0.5f);
    EXPECT_GT(maxRate, 0.3f);  // it did speed up
}

TEST_F(SPhysicsTest, BodyAboveTheGroundSinksByFivePercentOfTheExcess)
{
    SPhysics body;
    body.setParams(walker());
    body.setPosition(Vector3(100.0f, 100.0f, 22.0f));  // 10 above the clearance
    body.settleOnGround();
    EXPECT_NEAR(21.5f, body.getPosition().z, 1e-5f);

    body.setPosition(Vector3(100.0f, 100.0f, 22.0f));
    body.updateWalking();  // the same settle, then the height change halved
    EXPECT_NEAR(21.75f, body.getPosition().z, 1e-5f);

    body.setPosition(Vector3(100.0f, 100.0f, 5.0f));  // below the ground: straight up to the clearance
    body.settleOnGround();
    EXPECT_NEAR(12.0f, body.getPosition().z, 1e-5f);

    // The checked settle does not sink, and never lowers a contact below the body.
    body.setPosition(Vector3(100.0f, 100.0f, 22.0f));
    body.settleOnGroundChecked();
    EXPECT_NEAR(22.0f, body.getPosition().z, 1e-5f);
    body.setPosition(Vector3(100.0f, 100.0f, 5.0f));
    body.updateWithOwner();
    EXPECT_NEAR(12.0f, body.getPosition().z, 1e-5f);
}

TEST_F(SPhysicsTest, OrientationFollowsTheSlopeByATenthPerUpdate)
{
    ground([](int x, int) { return 100 + x; });  // rises 1 per unit along x
    SPhysics body;
    body.setParams(walker());
    body.setPosition(Vector3(50.5f, 50.0f, 0.0f));
    body.settleOnGround();
    // Contacts at x 54.5 and 46.5 stand on cells 54 and 46: 8 up over 8 along, so the ground fit is
    // pitched up 45 degrees and the body turns a tenth of the way.
    const float firstPitch = std::atan2(body.getOrientation().m[0][2], body.getOrientation().m[0][0]);
    EXPECT_NEAR(0.1f * float(M_PI) / 4.0f, firstPitch, 1e-4f);
    EXPECT_NEAR(152.0f, body.getPosition().z, 1e-4f);

    // The back contacts, left above their ground, only sink 5% of the excess per update: the body
    // takes a long while to settle fully.
    for (int i = 0; i < 2500; ++i)
        body.settleOnGround();
    // Pitched, the contacts draw in to x 50.5 ± 4·cos(pitch) and stand on cells 53 and 47: at rest
    // tan(pitch) = 6 / (8·cos(pitch)), so sin(pitch) = 0.75.
    const Matrix3& o = body.getOrientation();
    const float s = 0.75f;
    const float c = std::sqrt(1.0f - s * s);
    expectRow(o, 0, c, 0.0f, s, 1e-3f);
    expectRow(o, 1, 0.0f, 1.0f, 0.0f, 1e-3f);
    expectRow(o, 2, -s, 0.0f, c, 1e-3f);
    EXPECT_EQ(0u, testsupport::reports().size());
}

TEST_F(SPhysicsTest, NegativeContactsAreClampedOrReportedWithTheOwnersName)
{
    SPhysics body;
    body.setParams(walker());
    // Three of the four contacts fall at negative x or y.
    body.setPosition(Vector3(1.0f, 1.0f, 12.0f));
    body.settleOnGround();
    EXPECT_NEAR(2.5f, body.getPosition().x, 1e-5f);  // contacts (5,5), (5,0), (0,0), (0,5)
    EXPECT_NEAR(2.5f, body.getPosition().y, 1e-5f);
    EXPECT_EQ(0u, testsupport::reports().size());

    // Checked, without an owner: no report and no clamping.
    body.setPosition(Vector3(1.0f, 1.0f, 12.0f));
    body.settleOnGroundChecked();
    EXPECT_NEAR(1.0f, body.getPosition().x, 1e-5f);
    EXPECT_EQ(0u, testsupport::reports().size());

    // Checked, with an owner: each bad contact is reported by name.
    SPhysicsParams params = walker();
    testkinds::BareObject strider(CGameObject::TYPE_ANIMAL_FIRST);
    static const CGameObject* s_named;
    s_named = &strider;
    params.pOwner = &strider;
    body.setParams(params);
    setPhysicsOwnerNameFunc([](const CGameObject* pOwner) { return pOwner == s_named ? "Strider01" : "?"; });
    body.setPosition(Vector3(1.0f, 1.0f, 12.0f));
    body.settleOnGroundChecked();
    EXPECT_EQ(3, testsupport::countReports(
                     "bad object position on Strider01 during physics update as a result of orientation"));
    EXPECT_EQ(3, testsupport::countReports("Pos[i].x>=0 && Pos[i].y>=0"));

    testsupport::clearReports();
    body.setPosition(Vector3(-1.0f, 50.0f, 12.0f));
    body.settleOnGroundChecked();
    EXPECT_EQ(1, testsupport::countReports("Position.x>=0 && Position.y>=0"));
    ASSERT_FALSE(testsupport::reports().empty());
    EXPECT_EQ("bad object position on Strider01 during physics update", testsupport::reports()[0].message);
}

TEST_F(SPhysicsTest, LeanPitchesWithSpeedChangeAndRollsWithTurns)
{
    SPhysicsParams params = walker();
    params.leanEnabled = 1;
    params.pitchLeanLimit = 0.3f;
    params.pitchLeanStep = 0.05f;
    params.pitchLeanPerSpeedChange = 0.1f;
    params.pitchLeanPerSpeed = 0.02f;
    params.rollLeanLimit = 0.2f;
    params.rollLeanStep = 0.5f;
    params.rollLeanPerTurnRate = 1.0f;
    SPhysics body;
    body.setParams(params);
    body.setPosition(Vector3(100.0f, 100.0f, 12.0f));

    body.setTargetSpeed(5.0f);
    body.updateWalking();
    // Target 1·0.1 + 1·0.02 = 0.12 is more than a step away: exactly one step.
    EXPECT_FLOAT_EQ(0.05f, body.getPitchLean());
    Matrix3 pitch;
    pitch.setRotationY(-0.05f);
    for (int i = 0; i < 9; ++i)
        EXPECT_NEAR(pitch.element(i), body.getDisplayOrientation().element(i), 1e-5f);
    expectIdentity(body.getOrientation());  // the lean is for display only

    body.setTargetSpeed(1.0f);  // speed stays 1: target 0.02, within a step of 0.05
    body.updateWalking();
    EXPECT_FLOAT_EQ(0.02f, body.getPitchLean());

    // Roll target 0.4·1 is clamped to 0.2.
    body.setTargetSpeed(1.0f);
    body.setTurnRate(0.4f);
    body.updateWalking();
    EXPECT_FLOAT_EQ(0.2f, body.getRollLean());
    // Heading +x (identity frame): display = Rx(-roll)·Ry(-pitch)·orientation, roll applied first.
    Matrix3 roll, leaned, expected;
    roll.setRotationX(-0.2f);
    pitch.setRotationY(-body.getPitchLean());
    Matrix3::multiply(leaned, roll, pitch);
    Matrix3::multiply(expected, leaned, body.getOrientation());
    for (int i = 0; i < 9; ++i)
        EXPECT_NEAR(expected.element(i), body.getDisplayOrientation().element(i), 1e-5f) << i;
}

TEST_F(SPhysicsTest, LeanIsAboutTheHeadingFrame)
{
    SPhysicsParams params = walker();
    params.leanEnabled = 1;
    params.pitchLeanLimit = 1.0f;
    params.pitchLeanStep = 1.0f;
    params.pitchLeanPerSpeed = 0.1f;
    SPhysics body;
    body.setParams(params);
    body.setHeading(0.0f, 1.0f, 0.0f);
    body.setPosition(Vector3(100.0f, 100.0f, 12.0f));
    body.setTargetSpeed(1.0f);
    body.updateWalking();  // speed 1, change 1: pitch 0.1
    ASSERT_FLOAT_EQ(0.1f, body.getPitchLean());
    // The heading (+y) tips by the pitch lean in its own vertical plane.
    const Matrix3& display = body.getDisplayOrientation();
    Vector3 heading;
    display.transform(Vector3(0.0f, 1.0f, 0.0f), heading);
    EXPECT_NEAR(0.0f, heading.x, 1e-5f);
    EXPECT_NEAR(std::cos(0.1f), heading.y, 1e-5f);
    EXPECT_NEAR(-std::sin(0.1f), heading.z, 1e-5f);
}

TEST_F(SPhysicsTest, InvalidOrientationIsReported)
{
    SPhysics body;
    body.setParams(walker());
    body.setPosition(Vector3(100.0f, 100.0f, 12.0f));
    Matrix3 bad;
    bad.m[1][1] = std::nanf("");
    body.setOrientation(bad);
    body.settleOnGround();
    EXPECT_GE(testsupport::countReports("isValidFloat(M[i])"), 1);
}

TEST_F(SPhysicsTest, WithoutAWorldTheGroundIsAtZero)
{
    dropWorld();
    SPhysics body;
    body.setParams(walker());
    body.setPosition(Vector3(100.0f, 100.0f, -50.0f));
    body.settleOnGround();
    EXPECT_NEAR(2.0f, body.getPosition().z, 1e-5f);
    // Far outside any map and beyond what an int holds: still ground 0, no undefined conversion.
    body.setPosition(Vector3(1e30f, 1e30f, -50.0f));
    body.settleOnGround();
    EXPECT_NEAR(2.0f, body.getPosition().z, 1e-5f);
}

}  // namespace
