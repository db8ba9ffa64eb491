#include "d3dcore9/RenderMatrix.h"

#include "utility/VectorMath.h"

#include <cstring>

// The device's matrices are the maths library's Matrix4 in another dress: same rows, same sense.
namespace {

static_assert(sizeof(D3DMATRIX) == sizeof(Matrix4));

Matrix4 toMatrix4(const D3DMATRIX& in)
{
    Matrix4 out;
    memcpy(out.m, in.m, sizeof out.m);
    return out;
}

void fromMatrix4(D3DMATRIX& out, const Matrix4& in) { memcpy(out.m, in.m, sizeof out.m); }

}  // namespace

namespace RenderMatrix {

void identity(D3DMATRIX& out) { fromMatrix4(out, Matrix4()); }

void multiply(D3DMATRIX& out, const D3DMATRIX& a, const D3DMATRIX& b)
{
    Matrix4 result;
    Matrix4::multiply(result, toMatrix4(a), toMatrix4(b));
    fromMatrix4(out, result);
}

void buildRotationX(D3DMATRIX& out, float angle)
{
    Matrix4 m;
    Matrix4::buildRotationX(m, angle);
    fromMatrix4(out, m);
}

void buildRotationY(D3DMATRIX& out, float angle)
{
    Matrix4 m;
    Matrix4::buildRotationY(m, angle);
    fromMatrix4(out, m);
}

void buildRotationZ(D3DMATRIX& out, float angle)
{
    Matrix4 m;
    Matrix4::buildRotationZ(m, angle);
    fromMatrix4(out, m);
}

void rotateX(D3DMATRIX& m, float angle)
{
    Matrix4 r = toMatrix4(m);
    r.rotateX(angle);
    fromMatrix4(m, r);
}

void rotateY(D3DMATRIX& m, float angle)
{
    Matrix4 r = toMatrix4(m);
    r.rotateY(angle);
    fromMatrix4(m, r);
}

void rotateZ(D3DMATRIX& m, float angle)
{
    Matrix4 r = toMatrix4(m);
    r.rotateZ(angle);
    fromMatrix4(m, r);
}

void setInverseAffine(D3DMATRIX& m)
{
    Matrix4 r = toMatrix4(m);
    r.setInverseAffine();
    fromMatrix4(m, r);
}

}  // namespace RenderMatrix
