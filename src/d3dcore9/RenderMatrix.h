// The 4x4 matrix operations of the render core, on D3DMATRIX: row-major, row vectors (v' = v * M),
// rotations in the render device's left-handed sense. buildRotationY and buildRotationZ are the
// transposes of the game's own rotations; buildRotationX equals the game's.
#pragma once

#include "platform/d3d9.h"

namespace RenderMatrix {

void identity(D3DMATRIX& out);
// out = a * b; out may be a or b.
void multiply(D3DMATRIX& out, const D3DMATRIX& a, const D3DMATRIX& b);
void buildRotationX(D3DMATRIX& out, float angle);  // rows (1,0,0,0) (0,c,s,0) (0,-s,c,0) (0,0,0,1)
void buildRotationY(D3DMATRIX& out, float angle);  // rows (c,0,-s,0) (0,1,0,0) (s,0,c,0) (0,0,0,1)
void buildRotationZ(D3DMATRIX& out, float angle);  // rows (c,s,0,0) (-s,c,0,0) (0,0,1,0) (0,0,0,1)
// m = m * the matching build rotation.
void rotateX(D3DMATRIX& m, float angle);
void rotateY(D3DMATRIX& m, float angle);
void rotateZ(D3DMATRIX& m, float angle);
// In-place affine inverse: the 3x3 block by cofactors, the translation row moved accordingly, last
// column (0,0,0,1). A singular block gives infinities; callers pass invertible matrices.
void setInverseAffine(D3DMATRIX& m);

}  // namespace RenderMatrix
