// The part of the fixed-function state that changes the generated GLSL program. Everything else
// (matrices, colours, fog distances, blending, depth) is a uniform or plain GL state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace d3d9gl {

constexpr int MAX_STAGES = 8;
constexpr int MAX_TEXCOORD_SETS = 8;

// Fog factor sources.
// The first three are numbered as the device's fog modes.
enum FogSource : uint8_t {
    FOG_NONE = 0,
    FOG_EXP = 1,
    FOG_EXP2 = 2,
    FOG_LINEAR = 3,
    FOG_SPECULAR_ALPHA = 4,  // the vertex carries its own factor in the specular alpha
    FOG_VERTEX_FACTOR = 5,   // a vertex shader wrote the factor (oFog)
};

// The depth fog is counted by.
enum FogDepth : uint8_t {
    FOG_DEPTH_EYE = 0,  // vertex fog: camera-space z, or the distance from the eye with range fog
    FOG_DEPTH_W = 1,    // table fog under a perspective projection: w
    FOG_DEPTH_Z = 2,    // table fog under an affine projection: the pixel's depth
};

// Vertex colours. One the vertex lacks is a constant (white diffuse, no specular), so that the
// program reads no attribute without an array.
enum : uint8_t { VERTEX_DIFFUSE = 1, VERTEX_SPECULAR = 2 };

// What a stage samples.
enum TextureKind : uint8_t { TEXTURE_NONE = 0, TEXTURE_2D = 1, TEXTURE_CUBE = 2 };

// Raw Direct3D values throughout, so the key is filled straight from the device's state tables.
struct StageKey {
    uint8_t colorOp;
    uint8_t colorArg0, colorArg1, colorArg2;
    uint8_t alphaOp;
    uint8_t alphaArg0, alphaArg1, alphaArg2;
    uint8_t texCoordSet;   // which vertex set feeds the stage's texture (a vertex shader's output)
    uint8_t resultTemp;    // 1: the result goes to the temporary register
    uint8_t textureBound;  // TEXTURE_NONE: an operation reading the texture passes the current value on
    uint8_t pad;
};

// Texture-coordinate generation modes, as TEXCOORDINDEX's high word numbers them.
enum TexGen : uint8_t {
    TEXGEN_NONE = 0,
    TEXGEN_NORMAL = 1,      // camera-space normal
    TEXGEN_POSITION = 2,    // camera-space position
    TEXGEN_REFLECTION = 3,  // camera-space reflection vector
};

// How the fixed-function vertex stage makes the coordinates of one texture stage.
struct CoordKey {
    uint8_t set;        // vertex set read when nothing is generated
    uint8_t setSize;    // its components, 1..4 (0: the vertex has no such set)
    uint8_t texGen;     // TexGen
    uint8_t transform;  // 0: none; else the texture matrix's output count 1..4
    uint8_t project;    // 0: none; else the component (1..4) the coordinates are divided by
};

struct FixedFunctionKey {
    uint8_t rhw;             // pre-transformed positions
    uint8_t specularAdd;     // the vertex specular colour is added after the stages
    uint8_t fogSource;       // FogSource
    uint8_t alphaFunc;       // 0: no alpha test, else the comparison function (1..8)
    uint8_t stageCount;      // stages before the first disabled colour operation
    uint8_t flatShade;       // colours of a triangle come from its first vertex
    uint8_t blendMatrices;   // world matrices blended by the vertex weights (0 or 1: no blending)
    uint8_t stageCoords;     // 1: stage i reads the coordinates the fixed vertex stage made for it
    uint8_t lighting;        // the vertex colours come from the lights (Lighting.h)
    uint8_t diffuseSource, ambientSource, specularSource, emissiveSource;  // SOURCE_ of Lighting.h
    uint8_t normalizeNormals;
    uint8_t fogDepth;        // FogDepth
    uint8_t vertexColours;   // VERTEX_DIFFUSE, VERTEX_SPECULAR: the colours the vertex carries
    StageKey stages[MAX_STAGES];
    CoordKey coords[MAX_STAGES];

    FixedFunctionKey() { std::memset(this, 0, sizeof(*this)); }
    bool operator==(const FixedFunctionKey& o) const { return std::memcmp(this, &o, sizeof(*this)) == 0; }
};
// No padding: keys are compared and hashed byte by byte.
static_assert(sizeof(FixedFunctionKey) == 16 + (sizeof(StageKey) + sizeof(CoordKey)) * MAX_STAGES);

struct FixedFunctionKeyHash {
    size_t operator()(const FixedFunctionKey& key) const
    {
        const auto* p = reinterpret_cast<const uint8_t*>(&key);
        uint64_t h = 1469598103934665603ull;
        for (size_t i = 0; i < sizeof(key); ++i) h = (h ^ p[i]) * 1099511628211ull;
        return static_cast<size_t>(h);
    }
};

}  // namespace d3d9gl
