// The caches between the game and the device: a cached set reaches the device only when the value
// differs from the one last sent; a forced set always does and marks the state as touched.
#include "d3dcore9/D3DCore.h"

#include "utility/Assert.h"

namespace {

IDirect3DDevice9* device() { return DXInterface.ID3DDevice; }

HRESULT sendStageState(DWORD stage, DWORD type, DWORD value)
{
    if (type >= 100)
        return device()->SetSamplerState(stage, static_cast<D3DSAMPLERSTATETYPE>(type - 100), value);
    return device()->SetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(type), value);
}

void widen(int32_t& low, int32_t& high, int32_t from, int32_t to)
{
    if (from < low) low = from;
    if (to > high) high = to;
}

}  // namespace

HRESULT D3DCore::SetRenderState(DWORD state, DWORD value)
{
    if (state >= static_cast<DWORD>(MAX_RENDER_STATES) || !device()) return D3DERR_INVALIDCALL;
    if (RenderStates[state] == value) return D3D_OK;
    RenderStates[state] = value;
    return device()->SetRenderState(static_cast<D3DRENDERSTATETYPE>(state), value);
}

HRESULT D3DCore::ForceRenderState(DWORD state, DWORD value)
{
    if (state >= static_cast<DWORD>(MAX_RENDER_STATES) || !device()) return D3DERR_INVALIDCALL;
    RenderStates[state] = value;
    RenderStateTouched[state] = 1;
    return device()->SetRenderState(static_cast<D3DRENDERSTATETYPE>(state), value);
}

HRESULT D3DCore::SetTextureStageState(DWORD stage, DWORD type, DWORD value)
{
    if (stage >= static_cast<DWORD>(MAX_TEXTURE_STAGES) || type >= static_cast<DWORD>(MAX_STAGE_STATES) || !device())
        return D3DERR_INVALIDCALL;
    if (StageStates[stage][type] == value) return D3D_OK;
    StageStates[stage][type] = value;
    return sendStageState(stage, type, value);
}

HRESULT D3DCore::ForceTextureStageState(DWORD stage, DWORD type, DWORD value)
{
    if (stage >= static_cast<DWORD>(MAX_TEXTURE_STAGES) || type >= static_cast<DWORD>(MAX_STAGE_STATES) || !device())
        return D3DERR_INVALIDCALL;
    StageStates[stage][type] = value;
    StageStateTouched[stage][type] = 1;
    return sendStageState(stage, type, value);
}

void D3DCore::SetTexture(int32_t Stage, IDirect3DBaseTexture9* texture)
{
    if (!VERIFY(Stage >= 0 && Stage < 8) || !device()) return;
    if (Textures[Stage] == texture) return;
    Textures[Stage] = texture;
    device()->SetTexture(static_cast<DWORD>(Stage), texture);
}

void D3DCore::InvalidateStateCache()
{
    for (DWORD& s : RenderStates) s = STATE_UNKNOWN;
    // Sampler entries (100..199) keep their values.
    for (auto& stage : StageStates)
        for (int type = 0; type < 64; ++type) stage[type] = STATE_UNKNOWN;
}

void D3DCore::SetStreamSource(int32_t Stream, IDirect3DVertexBuffer9* buffer, UINT stride)
{
    if (!VERIFY(Stream >= 0 && Stream < MAX_STREAMS) || !device()) return;
    if (StreamSources[Stream] == buffer) return;
    StreamSources[Stream] = buffer;
    device()->SetStreamSource(static_cast<UINT>(Stream), buffer, 0, buffer ? stride : 0);
}

void D3DCore::SetVertexShader(IDirect3DVertexShader9* shader)
{
    if (!device() || VertexShader == shader) return;
    VertexShader = shader;
    device()->SetVertexShader(shader);
}

void D3DCore::SetPixelShader(IDirect3DPixelShader9* shader)
{
    if (!device() || PixelShader == shader) return;
    PixelShader = shader;
    device()->SetPixelShader(shader);
}

// The device holds an FVF or a declaration, never both: each cache entry is cleared by the other.
void D3DCore::SetFVF(DWORD fvf)
{
    if (!device() || (FVF == fvf && !Declaration)) return;
    FVF = fvf;
    Declaration = nullptr;
    device()->SetFVF(fvf);
}

void D3DCore::SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration)
{
    if (!device() || (Declaration == declaration && FVF == 0)) return;
    Declaration = declaration;
    FVF = 0;
    device()->SetVertexDeclaration(declaration);
}

void D3DCore::SetVertexShaderConstant(int32_t Register, float x, float y, float z, float w)
{
    if (!VERIFY(Register >= 0 && Register <= 95)) return;
    float* c = VertexShaderConstants[Register];
    c[0] = x;
    c[1] = y;
    c[2] = z;
    c[3] = w;
    widen(VSConstantsLow, VSConstantsHigh, Register, Register);
}

void D3DCore::SetVertexShaderConstantComponent(int32_t Register, int32_t Component, float value)
{
    if (!VERIFY(Register >= 0 && Register <= 95)) return;
    if (!VERIFY(Component >= 0 && Component <= 3)) return;
    VertexShaderConstants[Register][Component] = value;
    widen(VSConstantsLow, VSConstantsHigh, Register, Register);
}

float* D3DCore::GetVertexShaderConstants(int32_t StartRegister, int32_t NumRegisters)
{
    // Wide enough that no count can overflow it.
    int64_t EndRegister = static_cast<int64_t>(StartRegister) + NumRegisters - 1;
    if (!VERIFY(NumRegisters >= 1)) return nullptr;
    if (!VERIFY(StartRegister >= 0 && StartRegister <= 95)) return nullptr;
    if (!VERIFY(EndRegister >= 0 && EndRegister <= 95)) return nullptr;
    widen(VSConstantsLow, VSConstantsHigh, StartRegister, static_cast<int32_t>(EndRegister));
    return VertexShaderConstants[StartRegister];
}

void D3DCore::SetPixelShaderConstant(int32_t Register, float x, float y, float z, float w)
{
    if (!VERIFY(Register >= 0 && Register <= 7)) return;
    float* c = PixelShaderConstants[Register];
    c[0] = x;
    c[1] = y;
    c[2] = z;
    c[3] = w;
    widen(PSConstantsLow, PSConstantsHigh, Register, Register);
}

void D3DCore::SetPixelShaderConstantComponent(int32_t Register, int32_t Component, float value)
{
    if (!VERIFY(Register >= 0 && Register <= 7)) return;
    if (!VERIFY(Component >= 0 && Component <= 3)) return;
    PixelShaderConstants[Register][Component] = value;
    widen(PSConstantsLow, PSConstantsHigh, Register, Register);
}

float* D3DCore::GetPixelShaderConstants(int32_t StartRegister, int32_t NumRegisters)
{
    // Wide enough that no count can overflow it.
    int64_t EndRegister = static_cast<int64_t>(StartRegister) + NumRegisters - 1;
    if (!VERIFY(NumRegisters >= 1)) return nullptr;
    if (!VERIFY(StartRegister >= 0 && StartRegister <= 7)) return nullptr;
    if (!VERIFY(EndRegister >= 0 && EndRegister <= 7)) return nullptr;
    widen(PSConstantsLow, PSConstantsHigh, StartRegister, static_cast<int32_t>(EndRegister));
    return PixelShaderConstants[StartRegister];
}

void D3DCore::ApplyShaderConstants()
{
    if (!device()) return;
    if (VSConstantsLow <= VSConstantsHigh)
        device()->SetVertexShaderConstantF(static_cast<UINT>(VSConstantsLow), VertexShaderConstants[VSConstantsLow],
                                           static_cast<UINT>(VSConstantsHigh - VSConstantsLow + 1));
    if (PSConstantsLow <= PSConstantsHigh)
        device()->SetPixelShaderConstantF(static_cast<UINT>(PSConstantsLow), PixelShaderConstants[PSConstantsLow],
                                          static_cast<UINT>(PSConstantsHigh - PSConstantsLow + 1));
    VSConstantsLow = PSConstantsLow = 1000;
    VSConstantsHigh = PSConstantsHigh = -1000;
}
