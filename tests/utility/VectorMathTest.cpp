#include "utility/VectorMath.h"

#include "platform/testing.h"
#include "utility/ProcessorInfo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

const float kTol = 1e-5f;

void expectMatrixNear(const Matrix3& a, const Matrix3& b, float tol = kTol)
{
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(a.element(i), b.element(i), tol) << "element " << i;
}

void expectMatrixNear(const Matrix4& a, const Matrix4& b, float tol = kTol)
{
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(a.element(i), b.element(i), tol) << "element " << i;
}

Matrix3 rows(float a, float b, float c, float d, float e, float f, float g, float h, float i)
{
    Matrix3 m;
    m.setRow2(0, a, b, c);
    m.setRow2(1, d, e, f);
    m.setRow2(2, g, h, i);
    return m;
}

float bitsToFloat(uint32_t bits)
{
    float f;
    memcpy(&f, &bits, 4);
    return f;
}

TEST(VectorMathTest, IsValidFloatRejectsOnlyAllOnesExponents)
{
    // Zeros, the smallest denormal and the largest float; infinities, a quiet and a signalling NaN.
    for (uint32_t bits : {0x00000000u, 0x80000000u, 0x00000001u, 0x7F7FFFFFu}) EXPECT_TRUE(isValidFloat(bitsToFloat(bits)));
    for (uint32_t bits : {0x7F800000u, 0xFF800000u, 0x7FC00000u, 0xFF800001u}) EXPECT_FALSE(isValidFloat(bitsToFloat(bits)));
}

TEST(VectorMathTest, FastRootsAreAccurateAndSafeAtZero)
{
    EXPECT_FLOAT_EQ(1.0f, fastInvSqrt(1.0f));
    EXPECT_EQ(0.0f, fastSqrt(0.0f));
    EXPECT_TRUE(isValidFloat(fastInvSqrt(0.0f)));  // huge but finite
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> exponent(-30.0f, 30.0f);
    for (int n = 0; n < 2000; ++n) {
        const float x = std::pow(2.0f, exponent(rng)) * 1.37f;
        EXPECT_NEAR(1.0f, fastInvSqrt(x) * std::sqrt(x), 2e-7f) << x;
        EXPECT_NEAR(1.0f, fastSqrt(x) / std::sqrt(x), 2e-7f) << x;
    }
}

TEST(VectorMathTest, LengthAndNormaliseKeepTheirZeroRules)
{
    Vector3 zero;
    EXPECT_EQ(0.0f, zero.length());
    zero.normalise();
    EXPECT_EQ(0.0f, zero.x);
    EXPECT_EQ(0.0f, zero.y);
    EXPECT_EQ(0.0f, zero.z);

    Vector3 v(3.0f, 4.0f, 12.0f);
    v.normalise();
    EXPECT_NEAR(4.0f / 13.0f, v.y, 1e-7f);
}

TEST(VectorMathTest, InlineOperationsUseRowVectors)
{
    // v·M: the rows of the matrix are the images of the axes.
    const Matrix3 m = rows(1, 2, 3, 4, 5, 6, 7, 8, 10);
    Vector3 v(1, 0, 0);
    v.transformBy(m);
    EXPECT_FLOAT_EQ(1.0f, v.x);
    EXPECT_FLOAT_EQ(2.0f, v.y);
    EXPECT_FLOAT_EQ(3.0f, v.z);
    // Products compose left to right and may alias.
    Matrix3 p = m;
    Matrix3::multiply(p, p, rows(0, 1, 0, 1, 0, 0, 0, 0, 1));  // swaps columns 0 and 1
    EXPECT_FLOAT_EQ(2.0f, p.m[0][0]);
    EXPECT_FLOAT_EQ(1.0f, p.m[0][1]);
    EXPECT_FLOAT_EQ(10.0f, p.m[2][2]);
}

TEST(VectorMathTest, RenderFamilyRotatesAndMultipliesInPlace)
{
    Matrix4 m;
    m.m[3][0] = 5.0f;  // a translation
    m.rotateZ(0.5f);
    Matrix4 rz, expected;
    Matrix4::buildRotationZ(rz, 0.5f);
    Matrix4 t;
    t.m[3][0] = 5.0f;
    Matrix4::multiply(expected, t, rz);
    expectMatrixNear(m, expected);
    EXPECT_NEAR(5.0f * std::cos(0.5f), m.m[3][0], 1e-6f);
    Matrix4 a = expected;
    Matrix4::multiply(a, a, a);
    Matrix4 sq;
    Matrix4::multiply(sq, expected, expected);
    expectMatrixNear(a, sq);
}

TEST(VectorMathTest, AngleBuildersMatchTheirProducts)
{
    const float a1 = 0.4f, a2 = -0.7f, a3 = 1.1f;
    Matrix3 rx, ry, rz, tmp, expected, built;
    rx.setRotationX(a3);
    ry.setRotationY(a2);
    rz.setRotationZ(a1);
    Matrix3::multiply(tmp, rx, ry);
    Matrix3::multiply(expected, tmp, rz);
    matrix3FromAngles(a1, a2, a3, built);
    expectMatrixNear(built, expected);

    rx.setRotationX(a1);
    rz.setRotationZ(a3);
    Matrix3::multiply(tmp, rx, ry);
    Matrix3::multiply(expected, tmp, rz);
    matrix3FromAnglesXYZ(a1, a2, a3, built);
    expectMatrixNear(built, expected);

    float b3, b2, b1;
    matrix3FromAngles(a1, a2, a3, built);
    anglesFromMatrix3(built, b3, b2, b1);
    EXPECT_NEAR(a1, b1, 1e-5f);
    EXPECT_NEAR(a2, b2, 1e-5f);
    EXPECT_NEAR(a3, b3, 1e-5f);

    // cos a2 = 0.01 is still above the 0.005 limit: all three angles come back.
    matrix3FromAngles(0.2f, std::acos(0.01f), 0.3f, built);
    anglesFromMatrix3(built, b3, b2, b1);
    EXPECT_NEAR(0.3f, b3, 1e-3f);
    EXPECT_NEAR(0.2f, b1, 1e-3f);

    // Gimbal case: a3 is given up as 0 and a1 absorbs the rotation.
    matrix3FromAngles(0.2f, 1.5707964f, 0.0f, built);
    anglesFromMatrix3(built, b3, b2, b1);
    EXPECT_EQ(0.0f, b3);
    EXPECT_NEAR(1.5707964f, b2, 1e-3f);
    EXPECT_NEAR(0.2f, b1, 1e-3f);
}

TEST(VectorMathTest, QuatFromAnglesIsNotTheRotationOfMatrix3FromAngles)
{
    const float a1 = 0.4f, a2 = -0.7f, a3 = 1.1f;
    Quaternion q;
    quatFromAngles(a1, a2, a3, q);
    EXPECT_NEAR(1.0f, q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w, 1e-6f);
    Matrix3 fromQuat, rx, ry, rz, tmp, expected;
    quatToMatrix3(q, fromQuat);
    rx.setRotationX(-a3);
    ry.setRotationY(a2);
    rz.setRotationZ(-a1);
    Matrix3::multiply(tmp, rx, ry);
    Matrix3::multiply(expected, tmp, rz);
    expectMatrixNear(fromQuat, expected);

    Matrix3 angles;
    matrix3FromAngles(a1, a2, a3, angles);
    EXPECT_GT(std::fabs(angles.m[0][1] - fromQuat.m[0][1]), 0.1f);
}

TEST(VectorMathTest, MatrixToQuatInvertsQuatToMatrix)
{
    std::mt19937 rng(11);
    std::normal_distribution<float> g;
    for (int n = 0; n < 500; ++n) {
        Quaternion q(g(rng), g(rng), g(rng), g(rng));
        const float inv = 1.0f / std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
        q = Quaternion(q.x * inv, q.y * inv, q.z * inv, q.w * inv);
        Matrix3 m;
        quatToMatrix3(q, m);
        Quaternion back;
        matrix3ToQuat(m, back);
        const float sign = (back.w * q.w + back.x * q.x + back.y * q.y + back.z * q.z) < 0 ? -1.0f : 1.0f;
        EXPECT_NEAR(q.x, sign * back.x, 1e-4f);
        EXPECT_NEAR(q.y, sign * back.y, 1e-4f);
        EXPECT_NEAR(q.z, sign * back.z, 1e-4f);
        EXPECT_NEAR(q.w, sign * back.w, 1e-4f);
    }

    // Half turns take the largest-diagonal branch: about z picks i = 2, about x keeps i = 0.
    Quaternion q;
    matrix3ToQuat(rows(-1, 0, 0, 0, -1, 0, 0, 0, 1), q);
    EXPECT_FLOAT_EQ(1.0f, q.z);
    EXPECT_EQ(0.0f, q.w);
    matrix3ToQuat(rows(1, 0, 0, 0, -1, 0, 0, 0, -1), q);
    EXPECT_FLOAT_EQ(1.0f, q.x);
    // Trace exactly 0 also leaves the trace branch: a third of a turn about (1,1,1).
    matrix3ToQuat(rows(0, 1, 0, 0, 0, 1, 1, 0, 0), q);
    EXPECT_NEAR(0.5f, std::fabs(q.x), 1e-6f);
    EXPECT_NEAR(0.5f, std::fabs(q.w), 1e-6f);
}

TEST(VectorMathTest, SlerpFlipsBlendsAndDoesNotRenormalise)
{
    const Quaternion q0(0, 0, 0, 1);
    const float h = std::sqrt(0.5f);
    const Quaternion q1(0, 0, h, h);  // 90 degrees about z
    Quaternion out;
    quatSlerp(q0, q1, 0.0f, out);
    EXPECT_NEAR(1.0f, out.w, 1e-6f);
    quatSlerp(q0, q1, 1.0f, out);
    EXPECT_NEAR(h, out.z, 1e-6f);
    quatSlerp(q0, q1, 0.5f, out);
    EXPECT_NEAR(std::sin(0.3926991f), out.z, 1e-6f);

    // q1 = -q0: the flip makes them equal, so every t gives q0.
    const Quaternion a(0.1f, 0.2f, 0.3f, std::sqrt(1.0f - 0.14f));
    for (float t : {0.0f, 0.3f, 1.0f}) {
        quatSlerp(a, Quaternion(-a.x, -a.y, -a.z, -a.w), t, out);
        EXPECT_NEAR(a.x, out.x, 1e-6f);
        EXPECT_NEAR(a.w, out.w, 1e-6f);
    }
    // 1 - cos = 9e-4 is above the 1e-6 limit: still spherical, so the half-way point keeps unit length.
    const float halfAngle = std::acos(1.0f - 9e-4f);
    quatSlerp(q0, Quaternion(0, 0, std::sin(halfAngle), std::cos(halfAngle)), 0.5f, out);
    EXPECT_NEAR(std::cos(0.5f * halfAngle), out.w, 2e-6f);
    EXPECT_NEAR(std::sin(0.5f * halfAngle), out.z, 2e-6f);

}

TEST(VectorMathTest, AffineInversesUndoTheTransform)
{
    Matrix3 r;
    matrix3FromAngles(0.3f, 0.2f, -0.9f, r);
    Matrix4 m;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m.m[i][j] = r.m[i][j] * 2.0f;  // rotation and scale
    m.m[3][0] = 1.0f;
    m.m[3][1] = -2.0f;
    m.m[3][2] = 7.0f;
    m.m[0][3] = 9.0f;  // junk in the last column is ignored and cleared

    Matrix4 a = m, b = m, c;
    a.invertAffine();
    b.setInverseAffine();
    matrix4AffineInverse(m, c);
    expectMatrixNear(a, b);
    expectMatrixNear(a, c);
    EXPECT_EQ(0.0f, c.m[0][3]);
    EXPECT_EQ(1.0f, c.m[3][3]);
    m.m[0][3] = 0.0f;
    Matrix4 product;
    Matrix4::multiply(product, m, a);
    expectMatrixNear(product, Matrix4());

    // No determinant test: a singular block yields non-finite values rather than a refusal.
    Matrix4 singular;
    singular.m[2][2] = 0.0f;
    singular.invertAffine();
    EXPECT_FALSE(isValidFloat(singular.m[0][0]) && isValidFloat(singular.m[2][2]));
}

}  // namespace
