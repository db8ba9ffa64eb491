// How a draw's vertex declaration (or FVF word) meets a vertex shader or the fixed-function
// pipeline, and whether the renderer can draw a device state's shaders at all.
#pragma once

#include "d3d9/ShaderCode.h"
#include "d3d9gl/GLRenderer.h"

#include <string>
#include <vector>

namespace d3d9gl {

// The elements an FVF word stands for, as the runtime declares them, end element included.
std::vector<D3DVERTEXELEMENT9> elementsOfFVF(DWORD fvf);
// What the fixed-function pipeline reads of a declaration: its elements found by usage, in any
// order, offset or stream, as inputs at the fixed-function attribute locations, and the FVF word
// of what they carry. False when there is no position or an element the pipeline reads has a type
// it does not; usages it does not read (tangents, point sizes...) are left out.
bool fixedFunctionInputs(const std::vector<D3DVERTEXELEMENT9>& elements, std::vector<VertexInput>& inputs, DWORD& fvf);
// Where each input a vertex shader declares comes from; false, naming the first input the
// elements lack.
bool vertexInputs(const d3d9shader::Program& shader, const std::vector<D3DVERTEXELEMENT9>& elements,
                  std::vector<VertexInput>& inputs, std::string& why);

}  // namespace d3d9gl
