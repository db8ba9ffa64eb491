// The few vector operations the plain baselines are written with, inline and apart from the
// engine's vector library, so that a baseline measures only the plain way of doing its work.
#pragma once

#include <cmath>

namespace plain {

struct V3 {
    float x = 0, y = 0, z = 0;
};

inline V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline V3 operator*(V3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline V3 cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline V3 normalised(V3 a)
{
    const float length = std::sqrt(dot(a, a));
    return length > 0 ? a * (1.0f / length) : a;
}

// A rigid placement: row vectors turned by the rows of m, then moved.
struct Frame {
    V3 position;
    float m[3][3];

    V3 turn(V3 v) const
    {
        return {v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0], v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1],
                v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2]};
    }
    V3 unturn(V3 v) const
    {
        return {v.x * m[0][0] + v.y * m[0][1] + v.z * m[0][2], v.x * m[1][0] + v.y * m[1][1] + v.z * m[1][2],
                v.x * m[2][0] + v.y * m[2][1] + v.z * m[2][2]};
    }
    V3 toLocal(V3 world) const { return unturn(world - position); }
    V3 toWorld(V3 local) const { return turn(local) + position; }
};

}  // namespace plain
