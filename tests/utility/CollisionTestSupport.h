// Shapes and a fixture shared by the collision tests.
#pragma once

#include "utility/Collision.h"

#include "TestSupport.h"
#include "gameobjects/CollisionServices.h"

#include <gtest/gtest.h>

#include <vector>

namespace collisiontest {

inline void expectNear(const Vector3& expected, const Vector3& actual, float tol = 1e-5f)
{
    EXPECT_TRUE(testsupport::near(expected, actual, tol));
}


inline CollisionCylinder cylinder(const Vector3& base, const Vector3& axis, float radius, float length)
{
    return CollisionCylinder{base, axis, radius, length};
}

// An axis-aligned box in hull space, with the edge planes of each face.
struct BoxHull {
    Vector3 normals[6];
    float distances[6];
    Vector3 edgeNormals[6][4];
    float edgeDistances[6][4];
    CollisionHullFace faces[6];
    CollisionHull hull;

    BoxHull(const Vector3& half, const Vector3& position = Vector3(), const Matrix3& orientation = Matrix3())
    {
        const float h[3] = {half.x, half.y, half.z};
        for (int i = 0; i < 6; ++i) {
            const int axis = i / 2;
            const float sign = (i % 2) ? -1.0f : 1.0f;
            normals[i] = unit(axis, sign);
            distances[i] = -h[axis];
            int e = 0;
            for (int other = 0; other < 3; ++other) {
                if (other == axis) continue;
                for (float s : {1.0f, -1.0f}) {
                    edgeNormals[i][e] = unit(other, s);
                    edgeDistances[i][e] = -h[other];
                    ++e;
                }
            }
            faces[i] = CollisionHullFace{4, edgeNormals[i], edgeDistances[i]};
        }
        hull.position = position;
        hull.orientation = orientation;
        hull.numPlanes = 6;
        hull.normals = normals;
        hull.distances = distances;
        hull.faces = faces;
    }
    BoxHull(const BoxHull&) = delete;

    static Vector3 unit(int axis, float sign)
    {
        Vector3 v;
        (axis == 0 ? v.x : axis == 1 ? v.y : v.z) = sign;
        return v;
    }
};

// Runs every test with the list element pool and a small intersection pool, and checks that no
// record outlives its test.
class CollisionTest : public ::testing::Test {
protected:
    static const uint32_t POOL_RECORDS = 32;

    void SetUp() override
    {
        llistInitElementPool();
        createIntersectionMemoryManager(POOL_RECORDS, sizeof(CIntersection));
    }
    void TearDown() override
    {
        EXPECT_EQ(0u, liveIntersectionCount());
        destroyIntersectionMemoryManager();
        collisionPairFirst = collisionPairSecond = nullptr;
        llistFreeElementPool();
    }

    static std::vector<CIntersection*> records(llist& list)
    {
        std::vector<CIntersection*> out;
        for (list.GotoHead(); list.HasCurrent(); list.GotoNext())
            out.push_back(static_cast<CIntersection*>(list.GetCurrent()));
        return out;
    }
};

}  // namespace collisiontest
