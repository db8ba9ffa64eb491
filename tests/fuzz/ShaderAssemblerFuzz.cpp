// Assembles any bytes as shader source; whatever assembles must read back as a valid stream.
// The same bytes read as tokens go through the checks and, when they pass, the translation to GLSL.
#include "d3d9/ShaderCode.h"
#include "d3d9gl/ShaderTranslator.h"
#include "platform/d3dx9.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    LPD3DXBUFFER code = nullptr, errors = nullptr;
    const HRESULT hr = D3DXAssembleShader(reinterpret_cast<const char*>(data), static_cast<UINT>(size), nullptr,
                                          nullptr, 0, &code, &errors);
    if (hr == D3D_OK) {
        d3d9shader::Program program;
        std::string error;
        if (!d3d9shader::readProgram(static_cast<const DWORD*>(code->GetBufferPointer()), code->GetBufferSize() / 4,
                                     program, error))
            abort();
        code->Release();
    } else {
        if (!errors || static_cast<const char*>(errors->GetBufferPointer())[errors->GetBufferSize() - 1] != 0) abort();
        errors->Release();
    }
    std::vector<uint32_t> tokens(size / 4);
    if (!tokens.empty()) std::memcpy(tokens.data(), data, tokens.size() * 4);
    std::string glsl, why;
    d3d9gl::translateShader(tokens.data(), tokens.size(), d3d9gl::ShaderOptions(), glsl, why);
    return 0;
}
