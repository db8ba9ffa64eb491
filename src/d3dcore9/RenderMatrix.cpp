#include "d3dcore9/RenderMatrix.h"

#include <cmath>

namespace RenderMatrix {

void identity(D3DMATRIX& out)
{
    out = D3DMATRIX{};
    out.m[0][0] = out.m[1][1] = out.m[2][2] = out.m[3][3] = 1.0f;
}

void multiply(D3DMATRIX& out, const D3DMATRIX& a, const D3DMATRIX& b)
{
    D3DMATRIX t;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            t.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
    out = t;
}

void buildRotationX(D3DMATRIX& out, float angle)
{
    float c = std::cos(angle), s = std::sin(angle);
    identity(out);
    out.m[1][1] = c;
    out.m[1][2] = s;
    out.m[2][1] = -s;
    out.m[2][2] = c;
}

void buildRotationY(D3DMATRIX& out, float angle)
{
    float c = std::cos(angle), s = std::sin(angle);
    identity(out);
    out.m[0][0] = c;
    out.m[0][2] = -s;
    out.m[2][0] = s;
    out.m[2][2] = c;
}

void buildRotationZ(D3DMATRIX& out, float angle)
{
    float c = std::cos(angle), s = std::sin(angle);
    identity(out);
    out.m[0][0] = c;
    out.m[0][1] = s;
    out.m[1][0] = -s;
    out.m[1][1] = c;
}

void rotateX(D3DMATRIX& m, float angle)
{
    D3DMATRIX r;
    buildRotationX(r, angle);
    multiply(m, m, r);
}

void rotateY(D3DMATRIX& m, float angle)
{
    D3DMATRIX r;
    buildRotationY(r, angle);
    multiply(m, m, r);
}

void rotateZ(D3DMATRIX& m, float angle)
{
    D3DMATRIX r;
    buildRotationZ(r, angle);
    multiply(m, m, r);
}

void setInverseAffine(D3DMATRIX& m)
{
    // Every intermediate is stored as a float before it is used again.
    float a00 = m.m[0][0], a01 = m.m[0][1], a02 = m.m[0][2];
    float a10 = m.m[1][0], a11 = m.m[1][1], a12 = m.m[1][2];
    float a20 = m.m[2][0], a21 = m.m[2][1], a22 = m.m[2][2];
    float t0 = m.m[3][0], t1 = m.m[3][1], t2 = m.m[3][2];
    float c00 = a11 * a22 - a21 * a12;
    float c10 = a10 * a22 - a20 * a12;
    float c20 = a10 * a21 - a20 * a11;
    float det = a00 * c00 - a01 * c10 + a02 * c20;
    float inv = 1.0f / det;
    float r[3][3];
    r[0][0] = c00 * inv;
    r[0][1] = -(a01 * a22 - a21 * a02) * inv;
    r[0][2] = (a01 * a12 - a11 * a02) * inv;
    r[1][0] = -c10 * inv;
    r[1][1] = (a00 * a22 - a20 * a02) * inv;
    r[1][2] = -(a00 * a12 - a10 * a02) * inv;
    r[2][0] = c20 * inv;
    r[2][1] = -(a00 * a21 - a20 * a01) * inv;
    r[2][2] = (a00 * a11 - a10 * a01) * inv;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m.m[i][j] = r[i][j];
    for (int j = 0; j < 3; ++j) m.m[3][j] = -(t0 * r[0][j] + t1 * r[1][j] + t2 * r[2][j]);
    m.m[0][3] = m.m[1][3] = m.m[2][3] = 0.0f;
    m.m[3][3] = 1.0f;
}

}  // namespace RenderMatrix
