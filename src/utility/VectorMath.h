// Vector maths: single-precision vectors, quaternions and row-major matrices used with row vectors
// (v' = v·M, so products compose left to right and the rows of an orientation are the body's axes).
// Angles are radians. Nothing here reports errors: invalid input passes through arithmetically, and
// callers that must not propagate garbage check components with isValidFloat.
//
// Two rotation families share the matrix storage: the game's setRotation* (Matrix3 and Matrix4) and
// the render core's buildRotation*/rotate* (Matrix4 only, the device's rotation sense). They differ
// on purpose; use the family of your side.
#pragma once

#include <cstdint>
#include <cstring>

struct Matrix3;
struct Matrix4;

// False when the exponent bits are all ones (infinities and NaNs); zeros and denormals pass.
inline bool isValidFloat(float f)
{
    uint32_t bits;
    memcpy(&bits, &f, 4);
    return (bits & 0x7F800000u) != 0x7F800000u;
}

// Approximate 1/sqrt(x) without the library root or a division (magic guess and four Newton steps).
float fastInvSqrt(float x);
// x times fastInvSqrt(x): 0 for 0.
float fastSqrt(float x);

// Plus and minus infinity, the starting extremes of the collision tests. They hold their values
// from load time; initInfinityConstants writes them again at start-up.
extern float floatPlusInfinity;
extern float floatMinusInfinity;
void initInfinityConstants();

// Detects the processor's features and clock (processorInfo); always true. Called once from the
// game's pre-initialisation.
bool initMaths();

struct Vector3 {
    float x, y, z;

    Vector3() : x(0.0f), y(0.0f), z(0.0f) {}
    Vector3(float ax, float ay, float az) : x(ax), y(ay), z(az) {}

    void set(float ax, float ay, float az)
    {
        x = ax;
        y = ay;
        z = az;
    }
    void assign(const Vector3& v) { *this = v; }
    void copyTo(Vector3& out) const { out = *this; }
    Vector3 negated() const { return Vector3(-x, -y, -z); }

    Vector3 operator+(const Vector3& v) const { return Vector3(x + v.x, y + v.y, z + v.z); }
    Vector3 operator-(const Vector3& v) const { return Vector3(x - v.x, y - v.y, z - v.z); }
    Vector3 operator*(float s) const { return Vector3(x * s, y * s, z * s); }
    // Scales by the reciprocal: one division, three products.
    Vector3 operator/(float s) const
    {
        const float r = 1.0f / s;
        return Vector3(x * r, y * r, z * r);
    }
    Vector3& operator+=(const Vector3& v)
    {
        x += v.x;
        y += v.y;
        z += v.z;
        return *this;
    }
    Vector3& operator-=(const Vector3& v)
    {
        x -= v.x;
        y -= v.y;
        z -= v.z;
        return *this;
    }
    Vector3& operator*=(float s)
    {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }

    float dot(const Vector3& v) const { return x * v.x + y * v.y + z * v.z; }
    // out = this × v (out may be this or v).
    void cross(const Vector3& v, Vector3& out) const
    {
        const float cx = y * v.z - z * v.y;
        const float cy = z * v.x - x * v.z;
        const float cz = x * v.y - y * v.x;
        out.set(cx, cy, cz);
    }
    Vector3 cross(const Vector3& v) const
    {
        Vector3 out;
        cross(v, out);
        return out;
    }
    float lengthSquared() const { return x * x + y * y + z * z; }
    // 0 for the zero vector without taking a root; a NaN component gives NaN.
    float length() const
    {
        const float l2 = x * x + y * y + z * z;
        if (l2 == 0.0f) return 0.0f;
        return fastSqrt(l2);
    }
    // No zero test: the zero vector stays zero (a huge but finite factor times zeros).
    void normalise()
    {
        const float f = fastInvSqrt(x * x + y * y + z * z);
        x *= f;
        y *= f;
        z *= f;
    }
    inline void transformBy(const Matrix3& m);
};

struct Vector4 {
    float x, y, z, w;

    Vector4() : x(0.0f), y(0.0f), z(0.0f), w(0.0f) {}
    Vector4(float ax, float ay, float az, float aw) : x(ax), y(ay), z(az), w(aw) {}
    void set(float ax, float ay, float az, float aw)
    {
        x = ax;
        y = ay;
        z = az;
        w = aw;
    }
    void setUnitW() { set(0.0f, 0.0f, 0.0f, 1.0f); }
};

// Vector part first, scalar last. A rotation is a unit quaternion; nothing renormalises one.
struct Quaternion {
    float x, y, z, w;

    Quaternion() : x(0.0f), y(0.0f), z(0.0f), w(1.0f) {}
    Quaternion(float ax, float ay, float az, float aw) : x(ax), y(ay), z(az), w(aw) {}
};

// Row-major: m[r][c] is element 3r+c.
struct Matrix3 {
    float m[3][3];

    Matrix3() { setIdentity(); }
    float& element(int i) { return m[i / 3][i % 3]; }
    float element(int i) const { return m[i / 3][i % 3]; }

    void setIdentity()
    {
        static const float ident[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
        memcpy(m, ident, sizeof(m));
    }
    // Rows (1,0,0), (0,c,s), (0,-s,c): turns +y toward +z.
    void setRotationX(float angle);
    // Rows (c,0,s), (0,1,0), (-s,0,c): turns +x toward +z.
    void setRotationY(float angle);
    // Rows (c,-s,0), (s,c,0), (0,0,1): turns +y toward +x.
    void setRotationZ(float angle);
    // In place, without a temporary matrix.
    void transpose();

    // out = in·M (out may be in).
    void transform(const Vector3& in, Vector3& out) const
    {
        const float ox = in.x * m[0][0] + in.y * m[1][0] + in.z * m[2][0];
        const float oy = in.x * m[0][1] + in.y * m[1][1] + in.z * m[2][1];
        const float oz = in.x * m[0][2] + in.y * m[1][2] + in.z * m[2][2];
        out.set(ox, oy, oz);
    }
    // out = in·Mᵀ: the inverse transform of an orientation.
    void transformTransposed(const Vector3& in, Vector3& out) const
    {
        const float ox = in.x * m[0][0] + in.y * m[0][1] + in.z * m[0][2];
        const float oy = in.x * m[1][0] + in.y * m[1][1] + in.z * m[1][2];
        const float oz = in.x * m[2][0] + in.y * m[2][1] + in.z * m[2][2];
        out.set(ox, oy, oz);
    }
    // out = a·b through one temporary, so out may be a or b.
    static void multiply(Matrix3& out, const Matrix3& a, const Matrix3& b)
    {
        float t[3][3];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) t[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) out.m[i][j] = t[i][j];
    }
    // Row access: a row from a vector, a row from three floats, a row into a vector.
    void setRow1(int row, const Vector3& v)
    {
        m[row][0] = v.x;
        m[row][1] = v.y;
        m[row][2] = v.z;
    }
    void setRow2(int row, float x, float y, float z)
    {
        m[row][0] = x;
        m[row][1] = y;
        m[row][2] = z;
    }
    void getRow1(int row, Vector3& out) const { out.set(m[row][0], m[row][1], m[row][2]); }
};

inline void Vector3::transformBy(const Matrix3& mat) { mat.transform(*this, *this); }

// Row-major, row vectors; an affine transform keeps rotation and scale in the upper-left block, the
// translation in elements 12..14 and (0,0,0,1) in the last column.
struct Matrix4 {
    float m[4][4];

    Matrix4() { setIdentity(); }
    float& element(int i) { return m[i / 4][i % 4]; }
    float element(int i) const { return m[i / 4][i % 4]; }
    void setIdentity()
    {
        memset(m, 0, sizeof(m));
        m[0][0] = m[1][1] = m[2][2] = m[3][3] = 1.0f;
    }

    // Game family: the Matrix3 rotation of the same name in the upper-left block, 1 at element 15.
    void setRotationX(float angle);
    void setRotationY(float angle);
    void setRotationZ(float angle);
    void transpose();
    // In place; the caller passes an invertible affine matrix (a singular one yields infinities).
    void invertAffine();

    // Render-core family.
    // out = a·b through one temporary, so out may be a or b.
    static void multiply(Matrix4& out, const Matrix4& a, const Matrix4& b);
    void multiplyBy(const Matrix4& b) { multiply(*this, *this, b); }
    // Rows (1,0,0,0), (0,c,s,0), (0,-s,c,0), (0,0,0,1).
    static void buildRotationX(Matrix4& out, float angle);
    // Rows (c,0,-s,0), (0,1,0,0), (s,0,c,0), (0,0,0,1).
    static void buildRotationY(Matrix4& out, float angle);
    // Rows (c,s,0,0), (-s,c,0,0), (0,0,1,0), (0,0,0,1).
    static void buildRotationZ(Matrix4& out, float angle);
    // this = this·build rotation.
    void rotateX(float angle);
    void rotateY(float angle);
    void rotateZ(float angle);
    // The affine inverse with every intermediate rounded to float before it is used again.
    void setInverseAffine();
};

// dst = affine inverse of src, last column (0,0,0,1).
void matrix4AffineInverse(const Matrix4& src, Matrix4& dst);

// Spherical interpolation; flips q1 for a negative dot product, blends linearly when the two are
// within 1e-6, never renormalises.
void quatSlerp(const Quaternion& q0, const Quaternion& q1, float t, Quaternion& out);
// Rx(a3)·Ry(a2)·Rz(a1): the orientation builder of weapons, effects and vehicles.
void matrix3FromAngles(float a1, float a2, float a3, Matrix3& out);
// Rx(a1)·Ry(a2)·Rz(a3).
void matrix3FromAnglesXYZ(float a1, float a2, float a3, Matrix3& out);
// The angles of matrix3FromAngles back (a2 in -pi/2..pi/2; a3 = 0 near the gimbal lock).
void anglesFromMatrix3(const Matrix3& m, float& a3, float& a2, float& a1);
// A closed form whose matrix is Rx(-a3)·Ry(a2)·Rz(-a1): not the rotation of matrix3FromAngles.
void quatFromAngles(float a1, float a2, float a3, Quaternion& out);
void quatToMatrix3(const Quaternion& q, Matrix3& out);
void matrix3ToQuat(const Matrix3& m, Quaternion& out);
