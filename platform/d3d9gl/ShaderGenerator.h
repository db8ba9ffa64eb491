// Turns a fixed-function key into GLSL 3.30 core sources. Pure text: no GL calls, so the
// generated programs can be checked without a context.
//
// Attribute locations: 0 position (xyz, or xyz + rhw), 1 diffuse, 2 specular, 3..10 texture
// sets 0..7, 11 normal, 12 blend weights. Uniforms: see the generated text; the renderer sets them
// by name.
//
// Between the stages, vTex<i> carries the coordinates of texture stage i when the vertex stage is
// fixed function (set chosen, generated, transformed), and output register oT<i> under a vertex
// shader.
#pragma once

#include "d3d9gl/FixedFunctionKey.h"

#include <string>

namespace d3d9gl {

enum AttributeLocation {
    ATTR_POSITION = 0,
    ATTR_DIFFUSE = 1,
    ATTR_SPECULAR = 2,
    ATTR_TEXCOORD0 = 3,
    ATTR_NORMAL = 11,
    ATTR_BLENDWEIGHT = 12,
};

std::string generateVertexShader(const FixedFunctionKey& key);
std::string generateFragmentShader(const FixedFunctionKey& key);
// The end of a fragment shader whose colour is in `vec4 cur`: specular add, alpha test, fog and
// the output, as the key has them. Translated pixel shaders end the same way.
std::string generateFragmentTail(const FixedFunctionKey& key);

}  // namespace d3d9gl
