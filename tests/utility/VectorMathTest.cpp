#include "utility/VectorMath.h"
#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <random>

namespace {

template <class M> void expectMatrixNear(const M& a, const M& b, float tol = 1e-5f)
{
    for (int i = 0; i < int(sizeof(M) / sizeof(float)); ++i) EXPECT_NEAR(a.element(i), b.element(i), tol) << "element " << i;
}

Matrix3 rows(float a, float b, float c, float d, float e, float f, float g, float h, float i)
{
    Matrix3 m;
    m.setRow2(0, a, b, c), m.setRow2(1, d, e, f), m.setRow2(2, g, h, i);
    return m;
}

// rx(x)·ry(y)·rz(z)
Matrix3 product(float x, float y, float z)
{
    Matrix3 rx, ry, rz, tmp, out;
    rx.setRotationX(x), ry.setRotationY(y), rz.setRotationZ(z);
    Matrix3::multiply(tmp, rx, ry);
    Matrix3::multiply(out, tmp, rz);
    return out;
}

TEST(VectorMathTest, FloatChecksFastRootsAndZeroVectors)
{
    // Zeros, the smallest denormal and the largest float pass; infinities, quiet and signalling NaNs fail.
    for (uint32_t bits : {0x00000000u, 0x80000000u, 0x00000001u, 0x7F7FFFFFu, 0x7F800000u, 0xFF800000u, 0x7FC00000u, 0xFF800001u}) {
        float f;
        std::memcpy(&f, &bits, 4);
        EXPECT_EQ(isValidFloat(f), (bits & 0x7F800000u) != 0x7F800000u) << std::hex << bits;
    }
    EXPECT_EQ(0.0f, fastSqrt(0.0f));
    EXPECT_TRUE(isValidFloat(fastInvSqrt(0.0f)));  // huge but finite
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> exponent(-30.0f, 30.0f);
    for (int n = 0; n < 2000; ++n) {
        const float x = std::pow(2.0f, exponent(rng)) * 1.37f;
        EXPECT_NEAR(1.0f, fastInvSqrt(x) * std::sqrt(x), 2e-7f) << x;
        EXPECT_NEAR(1.0f, fastSqrt(x) / std::sqrt(x), 2e-7f) << x;
    }
    Vector3 zero, v(3.0f, 4.0f, 12.0f);
    zero.normalise();
    v.normalise();
    EXPECT_EQ(std::make_pair(0.0f, 0.0f), std::make_pair(zero.length(), zero.x));
    EXPECT_NEAR(4.0f / 13.0f, v.y, 1e-7f);
}

TEST(VectorMathTest, RowVectorsAndProductsThatMayAlias)
{
    // v·M: the rows of the matrix are the images of the axes; products compose left to right.
    const Matrix3 m = rows(1, 2, 3, 4, 5, 6, 7, 8, 10);
    Vector3 v(1, 0, 0);
    v.transformBy(m);
    EXPECT_EQ(std::vector<float>({1, 2, 3}), std::vector<float>({v.x, v.y, v.z}));
    Matrix3 p = m;
    Matrix3::multiply(p, p, rows(0, 1, 0, 1, 0, 0, 0, 0, 1));  // swaps columns 0 and 1
    expectMatrixNear(p, rows(2, 1, 3, 5, 4, 6, 8, 7, 10));
    Matrix4 t, rz, expected;
    t.m[3][0] = 5.0f;  // a translation, then rotated in place
    Matrix4::buildRotationZ(rz, 0.5f);
    Matrix4::multiply(expected, t, rz);
    t.rotateZ(0.5f);
    expectMatrixNear(t, expected);
}

TEST(VectorMathTest, AngleBuildersMatchTheirProductsAndComeBack)
{
    const float a1 = 0.4f, a2 = -0.7f, a3 = 1.1f;
    Matrix3 built;
    matrix3FromAnglesXYZ(a1, a2, a3, built);
    expectMatrixNear(built, product(a1, a2, a3));
    matrix3FromAngles(a1, a2, a3, built);
    expectMatrixNear(built, product(a3, a2, a1));
    // Quaternions from the same angles turn the other way about x and z.
    Quaternion q;
    Matrix3 fromQuat;
    quatFromAngles(a1, a2, a3, q);
    quatToMatrix3(q, fromQuat);
    expectMatrixNear(fromQuat, product(-a3, a2, -a1));

    // Back to angles; cos a2 = 0.01 is still above the 0.005 limit; at the gimbal a3 is given up as 0
    // and a1 absorbs the rotation.
    for (auto [b1, b2, b3, tol] : {std::tuple{a1, a2, a3, 1e-5f}, {0.2f, std::acos(0.01f), 0.3f, 1e-3f}, {0.2f, 1.5707964f, 0.0f, 1e-3f}}) {
        float c1, c2, c3;
        matrix3FromAngles(b1, b2, b3, built);
        anglesFromMatrix3(built, c3, c2, c1);
        EXPECT_NEAR(b1, c1, tol);
        EXPECT_NEAR(b2, c2, tol);
        EXPECT_NEAR(b3, c3, tol);
    }
}

TEST(VectorMathTest, MatrixToQuatInvertsQuatToMatrix)
{
    std::mt19937 rng(11);
    std::normal_distribution<float> g;
    for (int n = 0; n < 500; ++n) {
        Quaternion q(g(rng), g(rng), g(rng), g(rng)), back;
        const float inv = 1.0f / std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
        q = Quaternion(q.x * inv, q.y * inv, q.z * inv, q.w * inv);
        Matrix3 m;
        quatToMatrix3(q, m);
        matrix3ToQuat(m, back);
        const float sign = (back.w * q.w + back.x * q.x + back.y * q.y + back.z * q.z) < 0 ? -1.0f : 1.0f;
        EXPECT_NEAR(0.0f, std::fabs(q.x - sign * back.x) + std::fabs(q.y - sign * back.y) + std::fabs(q.z - sign * back.z) +
                              std::fabs(q.w - sign * back.w), 4e-4f);
    }
    // Half turns take the largest-diagonal branch; a trace of exactly 0 also leaves the trace branch.
    Quaternion q;
    matrix3ToQuat(rows(-1, 0, 0, 0, -1, 0, 0, 0, 1), q);
    EXPECT_EQ(std::make_pair(1.0f, 0.0f), std::make_pair(q.z, q.w));
    matrix3ToQuat(rows(1, 0, 0, 0, -1, 0, 0, 0, -1), q);
    EXPECT_FLOAT_EQ(1.0f, q.x);
    matrix3ToQuat(rows(0, 1, 0, 0, 0, 1, 1, 0, 0), q);  // a third of a turn about (1,1,1)
    EXPECT_NEAR(0.5f, std::fabs(q.w), 1e-6f);
}

TEST(VectorMathTest, SlerpFlipsBlendsAndDoesNotRenormalise)
{
    const Quaternion q0(0, 0, 0, 1);
    const float h = std::sqrt(0.5f);
    Quaternion out;
    for (auto [t, z] : {std::pair{0.0f, 0.0f}, {1.0f, h}, {0.5f, std::sin(0.3926991f)}}) {
        quatSlerp(q0, Quaternion(0, 0, h, h), t, out);  // 90 degrees about z
        EXPECT_NEAR(z, out.z, 1e-6f) << t;
    }
    // q1 = -q0: the flip makes them equal, so every t gives q0.
    const Quaternion a(0.1f, 0.2f, 0.3f, std::sqrt(1.0f - 0.14f));
    quatSlerp(a, Quaternion(-a.x, -a.y, -a.z, -a.w), 0.3f, out);
    EXPECT_NEAR(a.x, out.x, 1e-6f);
    EXPECT_NEAR(a.w, out.w, 1e-6f);
    // 1 - cos = 9e-4 is above the 1e-6 limit: still spherical, so the half-way point keeps unit length.
    const float halfAngle = std::acos(1.0f - 9e-4f);
    quatSlerp(q0, Quaternion(0, 0, std::sin(halfAngle), std::cos(halfAngle)), 0.5f, out);
    EXPECT_NEAR(std::cos(0.5f * halfAngle), out.w, 2e-6f);
}

TEST(VectorMathTest, AffineInversesUndoTheTransform)
{
    Matrix3 r;
    matrix3FromAngles(0.3f, 0.2f, -0.9f, r);
    Matrix4 m;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m.m[i][j] = r.m[i][j] * 2.0f;  // rotation and scale
    m.m[3][0] = 1.0f, m.m[3][1] = -2.0f, m.m[3][2] = 7.0f;
    m.m[0][3] = 9.0f;  // junk in the last column is ignored and cleared
    Matrix4 a = m, b = m, c, product;
    a.invertAffine();
    b.setInverseAffine();
    matrix4AffineInverse(m, c);
    expectMatrixNear(a, b);
    expectMatrixNear(a, c);
    EXPECT_EQ(std::make_pair(0.0f, 1.0f), std::make_pair(c.m[0][3], c.m[3][3]));

    m.m[0][3] = 0.0f;
    Matrix4::multiply(product, m, a);
    expectMatrixNear(product, Matrix4());
    // No determinant test: a singular block yields non-finite values rather than a refusal.
    Matrix4 singular;
    singular.m[2][2] = 0.0f;
    singular.invertAffine();
    EXPECT_FALSE(isValidFloat(singular.m[0][0]) && isValidFloat(singular.m[2][2]));
}

}  // namespace
