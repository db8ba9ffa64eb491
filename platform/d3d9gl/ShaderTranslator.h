// Turns shader model 1.x token streams (vs_1_1, ps_1_1 .. ps_1_4) into GLSL 3.30 core sources
// that link with the fixed-function halves of ShaderGenerator. Pure text: no GL calls.
//
// Vertex shaders: input register n is attribute location n (vec4 aV<n>); constants are
// uniform vec4 uVSConst[256]; outputs are the fixed-function varyings (vDiffuse, vSpecular,
// vTex0..7, vFogDistance). Pixel shaders: texture stage n is sampler2D uTex<n>, constants are
// uniform vec4 uPSConst[8], bump-mapping matrices uBumpEnv[8] (00, 01, 10, 11) and
// uBumpLuminance[8] (scale, offset); the alpha test and fog of the fixed-function tail follow.
#pragma once

#include "d3d9gl/FixedFunctionKey.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace d3d9gl {

constexpr int MAX_VS_CONSTANTS = 256;
constexpr int MAX_PS_CONSTANTS = 8;

struct ShaderOptions {
    bool flatShade = false;     // colours of a triangle come from its first vertex
    bool fogFromDepth = false;  // vertex: vFogDistance carries the clip w (table fog), not oFog
    // pixel: the alpha test and fog applied after the shader, and for ps_1_1 to ps_1_3 the
    // component each stage's coordinates are divided by before sampling (coords[n].project).
    FixedFunctionKey tail;
};

// False, with the reason, for a stream the renderer cannot run: malformed, or using an instruction
// it does not draw. Depends on the tokens alone.
bool shaderRunnable(const uint32_t* tokens, size_t count, std::string& why);

// The GLSL of a vertex or pixel shader stream; false with the reason when it cannot be run.
// constantsRead: how many constant registers, from 0, the shader reads from its uniforms.
bool translateShader(const uint32_t* tokens, size_t count, const ShaderOptions& options, std::string& glsl,
                     std::string& why, int* constantsRead = nullptr);

}  // namespace d3d9gl
