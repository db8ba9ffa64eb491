#include "utility/VectorMath.h"

#include "utility/ProcessorInfo.h"

#include <cmath>
#include <limits>

float floatPlusInfinity = std::numeric_limits<float>::infinity();
float floatMinusInfinity = -std::numeric_limits<float>::infinity();

void initInfinityConstants()
{
    const uint32_t plus = 0x7F800000u;
    const uint32_t minus = 0xFF800000u;
    memcpy(&floatPlusInfinity, &plus, 4);
    memcpy(&floatMinusInfinity, &minus, 4);
}

bool initMaths()
{
    detectProcessor();
    return true;
}

namespace {

// The four Newton steps run wider than float, as they did in the FPU's extended registers; only
// the caller rounds the result to float.
double invSqrtSteps(float x)
{
    uint32_t i;
    memcpy(&i, &x, 4);
    const uint32_t guessBits = 0x5F3759DFu - (i >> 1);
    float guess;
    memcpy(&guess, &guessBits, 4);
    const double h = 0.5 * static_cast<double>(x);
    double y = guess;
    y = y * (1.5 - h * y * y);
    y = y * (1.5 - h * y * y);
    y = y * (1.5 - h * y * y);
    y = y * (1.5 - h * y * y);
    return y;
}

void sinCos(float angle, float& s, float& c)
{
    s = std::sin(angle);
    c = std::cos(angle);
}

}  // namespace

float fastInvSqrt(float x) { return static_cast<float>(invSqrtSteps(x)); }

float fastSqrt(float x) { return static_cast<float>(invSqrtSteps(x) * static_cast<double>(x)); }

void Matrix3::setRotationX(float angle)
{
    float s, c;
    sinCos(angle, s, c);
    setRow2(0, 1.0f, 0.0f, 0.0f);
    setRow2(1, 0.0f, c, s);
    setRow2(2, 0.0f, -s, c);
}

void Matrix3::setRotationY(float angle)
{
    float s, c;
    sinCos(angle, s, c);
    setRow2(0, c, 0.0f, s);
    setRow2(1, 0.0f, 1.0f, 0.0f);
    setRow2(2, -s, 0.0f, c);
}

void Matrix3::setRotationZ(float angle)
{
    float s, c;
    sinCos(angle, s, c);
    setRow2(0, c, -s, 0.0f);
    setRow2(1, s, c, 0.0f);
    setRow2(2, 0.0f, 0.0f, 1.0f);
}

void Matrix3::transpose()
{
    for (int r = 0; r < 3; ++r)
        for (int c = r + 1; c < 3; ++c) {
            const float t = m[r][c];
            m[r][c] = m[c][r];
            m[c][r] = t;
        }
}

namespace {

void setMatrix4FromMatrix3(Matrix4& out, const Matrix3& r)
{
    memset(out.m, 0, sizeof(out.m));
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) out.m[i][j] = r.m[i][j];
    out.m[3][3] = 1.0f;
}

// Cofactor inverse of the upper-left block and the translation row through it. T is the type the
// intermediates are held in.
template <class T>
void affineInverse(const Matrix4& src, Matrix4& dst)
{
    const T a00 = src.m[0][0], a01 = src.m[0][1], a02 = src.m[0][2];
    const T a10 = src.m[1][0], a11 = src.m[1][1], a12 = src.m[1][2];
    const T a20 = src.m[2][0], a21 = src.m[2][1], a22 = src.m[2][2];
    const T det = a00 * (a11 * a22 - a21 * a12) - a01 * (a10 * a22 - a20 * a12) + a02 * (a10 * a21 - a20 * a11);
    const T r = T(1) / det;
    T inv[3][3];
    inv[0][0] = (a11 * a22 - a21 * a12) * r;
    inv[0][1] = -(a01 * a22 - a21 * a02) * r;
    inv[0][2] = (a01 * a12 - a11 * a02) * r;
    inv[1][0] = -(a10 * a22 - a20 * a12) * r;
    inv[1][1] = (a00 * a22 - a20 * a02) * r;
    inv[1][2] = -(a00 * a12 - a10 * a02) * r;
    inv[2][0] = (a10 * a21 - a20 * a11) * r;
    inv[2][1] = -(a00 * a21 - a20 * a01) * r;
    inv[2][2] = (a00 * a11 - a10 * a01) * r;
    const T t0 = src.m[3][0], t1 = src.m[3][1], t2 = src.m[3][2];
    T trans[3];
    for (int j = 0; j < 3; ++j) trans[j] = -(t0 * inv[0][j] + t1 * inv[1][j] + t2 * inv[2][j]);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) dst.m[i][j] = static_cast<float>(inv[i][j]);
        dst.m[i][3] = 0.0f;
    }
    for (int j = 0; j < 3; ++j) dst.m[3][j] = static_cast<float>(trans[j]);
    dst.m[3][3] = 1.0f;
}

}  // namespace

void Matrix4::setRotationX(float angle)
{
    Matrix3 r;
    r.setRotationX(angle);
    setMatrix4FromMatrix3(*this, r);
}

void Matrix4::setRotationY(float angle)
{
    Matrix3 r;
    r.setRotationY(angle);
    setMatrix4FromMatrix3(*this, r);
}

void Matrix4::setRotationZ(float angle)
{
    Matrix3 r;
    r.setRotationZ(angle);
    setMatrix4FromMatrix3(*this, r);
}

void Matrix4::transpose()
{
    for (int r = 0; r < 4; ++r)
        for (int c = r + 1; c < 4; ++c) {
            const float t = m[r][c];
            m[r][c] = m[c][r];
            m[c][r] = t;
        }
}

void Matrix4::invertAffine()
{
    const Matrix4 src = *this;
    affineInverse<double>(src, *this);
}

void Matrix4::setInverseAffine()
{
    const Matrix4 src = *this;
    affineInverse<float>(src, *this);
}

void matrix4AffineInverse(const Matrix4& src, Matrix4& dst)
{
    const Matrix4 copy = src;
    affineInverse<double>(copy, dst);
}

void Matrix4::multiply(Matrix4& out, const Matrix4& a, const Matrix4& b)
{
    float t[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            t[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
    memcpy(out.m, t, sizeof(t));
}

void Matrix4::buildRotationX(Matrix4& out, float angle)
{
    float s, c;
    sinCos(angle, s, c);
    out.setIdentity();
    out.m[1][1] = c;
    out.m[1][2] = s;
    out.m[2][1] = -s;
    out.m[2][2] = c;
}

void Matrix4::buildRotationY(Matrix4& out, float angle)
{
    float s, c;
    sinCos(angle, s, c);
    out.setIdentity();
    out.m[0][0] = c;
    out.m[0][2] = -s;
    out.m[2][0] = s;
    out.m[2][2] = c;
}

void Matrix4::buildRotationZ(Matrix4& out, float angle)
{
    float s, c;
    sinCos(angle, s, c);
    out.setIdentity();
    out.m[0][0] = c;
    out.m[0][1] = s;
    out.m[1][0] = -s;
    out.m[1][1] = c;
}

void Matrix4::rotateX(float angle)
{
    Matrix4 r;
    buildRotationX(r, angle);
    multiplyBy(r);
}

void Matrix4::rotateY(float angle)
{
    Matrix4 r;
    buildRotationY(r, angle);
    multiplyBy(r);
}

void Matrix4::rotateZ(float angle)
{
    Matrix4 r;
    buildRotationZ(r, angle);
    multiplyBy(r);
}

void quatSlerp(const Quaternion& q0, const Quaternion& q1, float t, Quaternion& out)
{
    float cosom = q0.x * q1.x + q0.y * q1.y + q0.z * q1.z + q0.w * q1.w;
    Quaternion to = q1;
    if (cosom < 0.0f) {
        cosom = -cosom;
        to = Quaternion(-q1.x, -q1.y, -q1.z, -q1.w);
    }
    float w0, w1;
    if (1.0f - cosom > 1e-6f) {
        const float omega = std::acos(cosom);
        const float sinom = std::sin(omega);
        w0 = std::sin((1.0f - t) * omega) / sinom;
        w1 = std::sin(t * omega) / sinom;
    } else {
        w0 = 1.0f - t;
        w1 = t;
    }
    out.x = w0 * q0.x + w1 * to.x;
    out.y = w0 * q0.y + w1 * to.y;
    out.z = w0 * q0.z + w1 * to.z;
    out.w = w0 * q0.w + w1 * to.w;
}

void matrix3FromAngles(float a1, float a2, float a3, Matrix3& out)
{
    float s1, c1, s2, c2, s3, c3;
    sinCos(a1, s1, c1);
    sinCos(a2, s2, c2);
    sinCos(a3, s3, c3);
    out.setRow2(0, c2 * c1, -c2 * s1, s2);
    out.setRow2(1, c3 * s1 - s2 * s3 * c1, c3 * c1 + s1 * s2 * s3, s3 * c2);
    out.setRow2(2, -s2 * c3 * c1 - s3 * s1, s1 * s2 * c3 - s3 * c1, c3 * c2);
}

void matrix3FromAnglesXYZ(float a1, float a2, float a3, Matrix3& out)
{
    Matrix3 rx, ry, rz;
    rx.setRotationX(a1);
    ry.setRotationY(a2);
    rz.setRotationZ(a3);
    Matrix3::multiply(out, rx, ry);
    Matrix3::multiply(out, out, rz);
}

void anglesFromMatrix3(const Matrix3& m, float& a3, float& a2, float& a1)
{
    const float b = std::asin(m.m[0][2]);
    const float c = std::cos(b);
    float x, z;
    if (std::fabs(c) > 0.005f) {
        x = std::atan2(m.m[1][2] / c, m.m[2][2] / c);
        z = std::atan2(-m.m[0][1] / c, m.m[0][0] / c);
    } else {
        x = 0.0f;
        z = std::atan2(m.m[1][0], m.m[1][1]);
    }
    a3 = x;
    a2 = b;
    a1 = z;
}

void quatFromAngles(float a1, float a2, float a3, Quaternion& out)
{
    float S1, C1, S2, C2, S3, C3;
    sinCos(a1 * 0.5f, S1, C1);
    sinCos(a2 * 0.5f, S2, C2);
    sinCos(a3 * 0.5f, S3, C3);
    out.x = S3 * C2 * C1 - C3 * S2 * S1;
    out.y = S3 * C2 * S1 + C3 * S2 * C1;
    out.z = S3 * S2 * C1 - C3 * C2 * S1;
    out.w = C3 * C2 * C1 + S3 * S2 * S1;
}

void quatToMatrix3(const Quaternion& q, Matrix3& out)
{
    const float x = q.x, y = q.y, z = q.z, w = q.w;
    out.setRow2(0, 1.0f - 2.0f * (y * y + z * z), 2.0f * (x * y - z * w), 2.0f * (x * z + y * w));
    out.setRow2(1, 2.0f * (x * y + z * w), 1.0f - 2.0f * (x * x + z * z), 2.0f * (y * z - w * x));
    out.setRow2(2, 2.0f * (x * z - y * w), 2.0f * (y * z + w * x), 1.0f - 2.0f * (x * x + y * y));
}

void matrix3ToQuat(const Matrix3& mat, Quaternion& out)
{
    const float (&m)[3][3] = mat.m;
    const float tr = m[0][0] + m[1][1] + m[2][2];
    if (tr > 0.0f) {
        const float s = fastSqrt(tr + 1.0f);
        const float f = 0.5f / s;
        out.w = 0.5f * s;
        out.x = (m[2][1] - m[1][2]) * f;
        out.y = (m[0][2] - m[2][0]) * f;
        out.z = (m[1][0] - m[0][1]) * f;
        return;
    }
    static const int next[3] = {1, 2, 0};
    int i = 0;
    if (m[1][1] > m[0][0]) i = 1;
    if (m[2][2] > m[i][i]) i = 2;
    const int j = next[i];
    const int k = next[j];
    const float s = fastSqrt(m[i][i] - (m[j][j] + m[k][k]) + 1.0f);
    float q[3];
    q[i] = 0.5f * s;
    const float f = (s == 0.0f) ? 0.0f : 0.5f / s;
    out.w = (m[k][j] - m[j][k]) * f;
    q[j] = (m[i][j] + m[j][i]) * f;
    q[k] = (m[i][k] + m[k][i]) * f;
    out.x = q[0];
    out.y = q[1];
    out.z = q[2];
}
