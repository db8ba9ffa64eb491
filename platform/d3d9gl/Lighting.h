// Fixed-function vertex lighting: the device's material and enabled lights as the renderer reads
// them, the GLSL that lights a vertex in camera space by the device's formulas, and the uniforms
// that carry the lights to a program.
//
// Per light: ambient La, diffuse Ld (N.L), specular Ls (N.H)^P, each scaled by the attenuation
// 1 / (a0 + a1 d + a2 d^2) (none past the range; 1 for directional lights) and the spot factor.
// The vertex's diffuse is Me + Ma (Ga + sum ambient) + Md sum diffuse, its specular Ms sum
// specular, each clamped to 0..1; H is the half vector to the viewer (the eye, or straight down
// the view axis when the viewer is not local).
#pragma once

#include "d3d9gl/FixedFunctionKey.h"

#include <cstdint>
#include <string>

namespace d3d9gl {

constexpr int MAX_ACTIVE_LIGHTS = 8;

// Light types, as the device numbers them.
enum : uint32_t { LIGHT_POINT = 1, LIGHT_SPOT = 2, LIGHT_DIRECTIONAL = 3 };

// Colour sources of a lit vertex (FixedFunctionKey): the material, or one of the vertex colours.
enum : uint8_t { SOURCE_MATERIAL = 0, SOURCE_DIFFUSE = 1, SOURCE_SPECULAR = 2 };

struct LightRecord {
    uint32_t type = LIGHT_DIRECTIONAL;
    float diffuse[4] = {}, specular[4] = {}, ambient[4] = {};
    float position[3] = {}, direction[3] = {0, 0, 1};  // world space
    float range = 0, falloff = 0;
    float attenuation[3] = {};
    float theta = 0, phi = 0;
};

struct LightingState {
    float diffuse[4] = {}, ambient[4] = {}, specular[4] = {}, emissive[4] = {};  // the material
    float power = 0;
    uint32_t lightCount = 0;  // the enabled lights, lowest index first
    LightRecord lights[MAX_ACTIVE_LIGHTS];
};

// Declarations and the function `void lightVertex(vec3 eye, vec3 n, out vec4 diffuse, out vec4
// specular)`, reading the colour sources the key names.
std::string generateLighting(const FixedFunctionKey& key);

// Where a program keeps the lighting uniforms; -1 throughout for a program that does not light.
struct LightingLocations {
    int32_t count = -1, type = -1, diffuse = -1, specular = -1, ambient = -1, position = -1, direction = -1,
            attenuation = -1, spot = -1;
    int32_t matDiffuse = -1, matAmbient = -1, matSpecular = -1, matEmissive = -1, matPower = -1, globalAmbient = -1;

    void locate(uint32_t program);
    // Lights go to camera space through the view matrix (16 floats, row vectors). globalAmbient is
    // the device's AMBIENT colour (0xAARRGGBB).
    void apply(const LightingState* state, const float* view, uint32_t globalAmbient) const;
};

}  // namespace d3d9gl
