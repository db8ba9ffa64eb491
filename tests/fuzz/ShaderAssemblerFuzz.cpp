// Assembles any bytes as shader source; whatever assembles must read back as a valid stream.
#include "d3d9/ShaderCode.h"
#include "platform/d3dx9.h"

#include <cstdlib>
#include <string>

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
    return 0;
}
