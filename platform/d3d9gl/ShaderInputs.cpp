#include "d3d9gl/ShaderInputs.h"

#include "d3d9/Renderer.h"
#include "d3d9/Resources.h"
#include "d3d9gl/ShaderGenerator.h"
#include "d3d9gl/ShaderTranslator.h"

#include <algorithm>

using namespace d3d9shader;

namespace d3d9gl {

namespace {

const BYTE FLOAT1 = 0, FLOAT3 = 2, FLOAT4 = 3, COLOUR = 4;

D3DVERTEXELEMENT9 element(WORD offset, BYTE type, DWORD usage, DWORD index)
{
    return D3DVERTEXELEMENT9{0, offset, type, 0, static_cast<BYTE>(usage), static_cast<BYTE>(index)};
}

// Texture-coordinate sizes by the FVF's two bits per set: 2, 3, 4, 1 floats.
const BYTE TEXCOORD_TYPES[4] = {1, 2, 3, 0};

}  // namespace

std::vector<D3DVERTEXELEMENT9> elementsOfFVF(DWORD fvf)
{
    std::vector<D3DVERTEXELEMENT9> out;
    WORD offset = 0;
    auto add = [&](BYTE type, DWORD usage, DWORD index) {
        out.push_back(element(offset, type, usage, index));
        offset = static_cast<WORD>(offset + (type == COLOUR ? 4 : 4 * (type + 1)));
    };
    const DWORD position = fvf & D3DFVF_POSITION_MASK;
    if (position == D3DFVF_XYZRHW) {
        add(FLOAT4, USAGE_POSITIONT, 0);
    } else if (position >= D3DFVF_XYZ && position <= D3DFVF_XYZB5 && !(position & 1)) {
        add(FLOAT3, USAGE_POSITION, 0);
        if (position > D3DFVF_XYZRHW)
            add(static_cast<BYTE>(std::min<DWORD>((position - D3DFVF_XYZB1) / 2, FLOAT4)), USAGE_BLENDWEIGHT, 0);
    }
    if (fvf & D3DFVF_NORMAL) add(FLOAT3, USAGE_NORMAL, 0);
    if (fvf & D3DFVF_PSIZE) add(FLOAT1, USAGE_PSIZE, 0);
    if (fvf & D3DFVF_DIFFUSE) add(COLOUR, USAGE_COLOR, 0);
    if (fvf & D3DFVF_SPECULAR) add(COLOUR, USAGE_COLOR, 1);
    const DWORD sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    for (DWORD i = 0; i < sets && i < 8; ++i) add(TEXCOORD_TYPES[(fvf >> (16 + 2 * i)) & 3], USAGE_TEXCOORD, i);
    out.push_back(D3DVERTEXELEMENT9{0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0});
    return out;
}

bool fixedFunctionInputs(const std::vector<D3DVERTEXELEMENT9>& elements, std::vector<VertexInput>& inputs, DWORD& fvf)
{
    static const DWORD SIZE_BITS[4] = {3, 0, 1, 2};  // FLOAT1..4 as an FVF texture-coordinate size
    inputs.clear();
    DWORD position = 0, weights = 0, rest = 0, sets = 0;
    for (const D3DVERTEXELEMENT9& e : elements) {
        if (e.Stream == 0xFF) break;
        if (e.Method != 0) return false;  // tessellation methods are not drawn
        const bool floats = e.Type <= FLOAT4, first = e.UsageIndex == 0;
        uint32_t location = 0;
        bool typed = true;  // the type is one the pipeline reads for this usage
        if (first && (e.Usage == USAGE_POSITION || e.Usage == USAGE_POSITIONT)) {
            const bool screen = e.Usage == USAGE_POSITIONT;
            typed = e.Type == FLOAT4 || (e.Type == FLOAT3 && !screen);
            position = screen ? D3DFVF_XYZRHW : D3DFVF_XYZ;
            location = ATTR_POSITION;
        } else if (first && e.Usage == USAGE_BLENDWEIGHT) {
            // A colour's red, green and blue are three weights, in that order.
            typed = floats || e.Type == COLOUR;
            weights = e.Type == COLOUR ? 3u : e.Type + 1u;
            location = ATTR_BLENDWEIGHT;
        } else if (first && e.Usage == USAGE_NORMAL) {
            typed = e.Type == FLOAT3;
            rest |= D3DFVF_NORMAL;
            location = ATTR_NORMAL;
        } else if (e.Usage == USAGE_COLOR && e.UsageIndex <= 1) {
            typed = e.Type == COLOUR;
            rest |= e.UsageIndex ? D3DFVF_SPECULAR : D3DFVF_DIFFUSE;
            location = e.UsageIndex ? ATTR_SPECULAR : ATTR_DIFFUSE;
        } else if (e.Usage == USAGE_TEXCOORD && e.UsageIndex < 8) {
            typed = floats;
            if (floats) rest |= SIZE_BITS[e.Type] << (16 + 2 * e.UsageIndex);
            sets = std::max<DWORD>(sets, e.UsageIndex + 1u);
            location = ATTR_TEXCOORD0 + e.UsageIndex;
        } else {
            continue;
        }
        if (!typed) return false;
        inputs.push_back(VertexInput{location, e.Stream, e.Offset, e.Type});
    }
    if (!position || (weights && position != D3DFVF_XYZ)) return false;
    if (weights) position = D3DFVF_XYZB1 + 2 * (weights - 1);
    fvf = position | rest | sets << D3DFVF_TEXCOUNT_SHIFT;
    return true;
}

bool vertexInputs(const Program& shader, const std::vector<D3DVERTEXELEMENT9>& elements,
                  std::vector<VertexInput>& inputs, std::string& why)
{
    inputs.clear();
    for (const Instruction& in : shader.instructions) {
        if (in.opcode != OP_DCL) continue;
        const DWORD usage = in.declaration & 0x1F, index = (in.declaration >> 16) & 0xF;
        const D3DVERTEXELEMENT9* found = nullptr;
        for (const D3DVERTEXELEMENT9& e : elements) {
            if (e.Stream == 0xFF) break;
            if (e.Usage == usage && e.UsageIndex == index) found = &e;
        }
        if (!found) {
            why = "the vertex declaration has no element for input v" + std::to_string(registerNumber(in.dest)) +
                  " (usage " + std::to_string(usage) + ", index " + std::to_string(index) + ")";
            return false;
        }
        inputs.push_back(VertexInput{registerNumber(in.dest), found->Stream, found->Offset, found->Type});
    }
    return true;
}

}  // namespace d3d9gl

namespace d3d9ref {

bool shadersDrawable(const platform::testing::D3D9State& state, std::string& why)
{
    auto* vs = dynamic_cast<VertexShader*>(state.VertexShader);
    auto* ps = dynamic_cast<PixelShader*>(state.PixelShader);
    auto* declaration = dynamic_cast<VertexDeclaration*>(state.Declaration);
    if (ps && !d3d9gl::shaderRunnable(ps->Tokens.data(), ps->Tokens.size(), why)) return false;
    if (vs) {
        if (!d3d9gl::shaderRunnable(vs->Tokens.data(), vs->Tokens.size(), why)) return false;
        std::vector<d3d9gl::VertexInput> inputs;
        return d3d9gl::vertexInputs(vs->Code, declaration ? declaration->Elements : d3d9gl::elementsOfFVF(state.FVF),
                                    inputs, why);
    }
    std::vector<d3d9gl::VertexInput> inputs;
    DWORD fvf = 0;
    if (declaration && !state.FVF && !d3d9gl::fixedFunctionInputs(declaration->Elements, inputs, fvf)) {
        why = "a vertex declaration the fixed-function pipeline cannot read";
        return false;
    }
    return true;
}

}  // namespace d3d9ref
