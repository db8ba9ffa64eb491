#include "d3d9/ShaderCode.h"

#include <cstdio>
#include <cstring>

namespace d3d9shader {

namespace {

constexpr uint8_t VS = 1 << VS_1_1;
constexpr uint8_t PS11 = 1 << PS_1_1, PS12 = 1 << PS_1_2, PS13 = 1 << PS_1_3, PS14 = 1 << PS_1_4;
constexpr uint8_t PS_OLD = PS11 | PS12 | PS13;  // the texture-register models
constexpr uint8_t PS = PS_OLD | PS14;

const std::vector<InstructionInfo> TABLE = {
    {"nop", OP_NOP, 0, 0, VS | PS},
    {"mov", OP_MOV, 1, 1, VS | PS},
    {"add", OP_ADD, 1, 2, VS | PS},
    {"sub", OP_SUB, 1, 2, VS | PS},
    {"mad", OP_MAD, 1, 3, VS | PS},
    {"mul", OP_MUL, 1, 2, VS | PS},
    {"rcp", OP_RCP, 1, 1, VS},
    {"rsq", OP_RSQ, 1, 1, VS},
    {"dp3", OP_DP3, 1, 2, VS | PS},
    {"dp4", OP_DP4, 1, 2, VS | PS12 | PS13 | PS14},
    {"min", OP_MIN, 1, 2, VS},
    {"max", OP_MAX, 1, 2, VS},
    {"slt", OP_SLT, 1, 2, VS},
    {"sge", OP_SGE, 1, 2, VS},
    {"exp", OP_EXP, 1, 1, VS},
    {"log", OP_LOG, 1, 1, VS},
    {"lit", OP_LIT, 1, 1, VS},
    {"dst", OP_DST, 1, 2, VS},
    {"lrp", OP_LRP, 1, 3, PS},
    {"frc", OP_FRC, 1, 1, VS},
    {"m4x4", OP_M4x4, 1, 2, VS},
    {"m4x3", OP_M4x3, 1, 2, VS},
    {"m3x4", OP_M3x4, 1, 2, VS},
    {"m3x3", OP_M3x3, 1, 2, VS},
    {"m3x2", OP_M3x2, 1, 2, VS},
    {"dcl", OP_DCL, 1, 0, VS},
    {"texcoord", OP_TEXCOORD, 1, 0, PS_OLD},
    {"texcrd", OP_TEXCOORD, 1, 1, PS14},
    {"texkill", OP_TEXKILL, 1, 0, PS},
    {"tex", OP_TEX, 1, 0, PS_OLD},
    {"texld", OP_TEX, 1, 1, PS14},
    {"texbem", OP_TEXBEM, 1, 1, PS_OLD},
    {"texbeml", OP_TEXBEML, 1, 1, PS_OLD},
    {"texreg2ar", OP_TEXREG2AR, 1, 1, PS_OLD},
    {"texreg2gb", OP_TEXREG2GB, 1, 1, PS_OLD},
    {"texm3x2pad", OP_TEXM3x2PAD, 1, 1, PS_OLD},
    {"texm3x2tex", OP_TEXM3x2TEX, 1, 1, PS_OLD},
    {"texm3x3pad", OP_TEXM3x3PAD, 1, 1, PS_OLD},
    {"texm3x3tex", OP_TEXM3x3TEX, 1, 1, PS_OLD},
    {"texm3x3spec", OP_TEXM3x3SPEC, 1, 2, PS_OLD},
    {"texm3x3vspec", OP_TEXM3x3VSPEC, 1, 1, PS_OLD},
    {"expp", OP_EXPP, 1, 1, VS},
    {"logp", OP_LOGP, 1, 1, VS},
    {"cnd", OP_CND, 1, 3, PS},
    {"def", OP_DEF, 1, 0, VS | PS},
    {"texreg2rgb", OP_TEXREG2RGB, 1, 1, PS12 | PS13},
    {"texdp3tex", OP_TEXDP3TEX, 1, 1, PS12 | PS13},
    {"texm3x2depth", OP_TEXM3x2DEPTH, 1, 1, PS13},
    {"texdp3", OP_TEXDP3, 1, 1, PS12 | PS13},
    {"texm3x3", OP_TEXM3x3, 1, 1, PS12 | PS13},
    {"texdepth", OP_TEXDEPTH, 1, 0, PS14},
    {"cmp", OP_CMP, 1, 3, PS12 | PS13 | PS14},
    {"bem", OP_BEM, 1, 2, PS14},
    {"phase", OP_PHASE, 0, 0, PS14},
};

// Pixel instructions of the texture-address group: t registers in and out before 1.4.
bool isTextureAddress(DWORD opcode)
{
    return opcode >= OP_TEXCOORD && opcode <= OP_TEXDEPTH && opcode != OP_EXPP && opcode != OP_LOGP &&
           opcode != OP_CND && opcode != OP_DEF;
}

std::string text(const char* format, unsigned a = 0, unsigned b = 0)
{
    char buffer[160];
    std::snprintf(buffer, sizeof(buffer), format, a, b);
    return buffer;
}

bool checkDest(Model model, const Instruction& in, std::string& error)
{
    const DWORD t = in.dest, type = registerType(t), number = registerNumber(t);
    if (!(t & PARAM_BIT)) return error = "a parameter token without its top bit", false;
    if (writeMask(t) == 0) return error = "an empty write mask", false;
    if (isRelative(t)) return error = "a relative destination", false;
    const int shift = shiftScale(t);
    const DWORD mod = resultModifier(t);
    if (model == VS_1_1 && (shift != 0 || mod != 0)) return error = "a result modifier in a vertex shader", false;
    if (mod & ~DEST_SATURATE) return error = text("result modifier %u", mod), false;
    if (shift > (model == PS_1_4 ? 3 : 2) || shift < (model == PS_1_4 ? -3 : -1))
        return error = text("result shift %u", static_cast<unsigned>(shift & 0xF)), false;
    DWORD limit;
    if (in.opcode == OP_DEF)
        limit = type == REG_CONST ? registerCount(model, REG_CONST, false) : 0;
    else if (in.opcode == OP_DCL)
        limit = type == REG_INPUT ? registerCount(model, REG_INPUT, false) : 0;
    else if (model == PS_1_4 && in.opcode == OP_TEXKILL && type == REG_TEXTURE)
        limit = registerCount(model, REG_TEXTURE, false);  // texkill reads t# in the first phase
    else
        limit = registerCount(model, type, true);
    if (number >= limit) return error = text("destination register type %u number %u", type, number), false;
    if (model == VS_1_1 && type == REG_ADDR && (in.opcode != OP_MOV || writeMask(t) != 1))
        return error = "a0 written other than by mov to .x", false;
    if (isPixel(model) && model != PS_1_4 && isTextureAddress(in.opcode) && type != REG_TEXTURE)
        return error = "a texture instruction writing other than a t register", false;
    if (model == PS_1_4 && in.opcode == OP_TEXDEPTH && number != 5) return error = "texdepth writes r5 only", false;
    return true;
}

bool checkSource(Model model, const Instruction& in, int index, std::string& error)
{
    const DWORD t = in.sources[index], type = registerType(t), number = registerNumber(t);
    if (!(t & PARAM_BIT)) return error = "a parameter token without its top bit", false;
    if (t & 0x0000C000u) return error = "reserved source bits", false;
    const DWORD mod = sourceModifier(t);
    if (model == VS_1_1 && mod > SRC_NEG) return error = text("source modifier %u in a vertex shader", mod), false;
    if (mod > SRC_DW) return error = text("source modifier %u", mod), false;
    if ((mod == SRC_DZ || mod == SRC_DW) && !(model == PS_1_4 && (in.opcode == OP_TEX || in.opcode == OP_TEXCOORD)))
        return error = "_dz or _dw outside texld and texcrd", false;
    if (isRelative(t) && !(model == VS_1_1 && type == REG_CONST)) return error = "a relative source", false;
    DWORD limit = registerCount(model, type, false);
    if (isRelative(t)) limit = 0x800;  // the address register picks the constant at run time
    if (number >= limit) return error = text("source register type %u number %u", type, number), false;
    if (model == PS_1_4) {
        const bool texture = in.opcode == OP_TEX || in.opcode == OP_TEXCOORD;
        if (type == REG_TEXTURE && !texture) return error = "a t register read by arithmetic in ps_1_4", false;
        if (texture && type != REG_TEXTURE && type != REG_TEMP) return error = "texld or texcrd from a bad register", false;
    } else if (isPixel(model) && isTextureAddress(in.opcode)) {
        const bool constant = in.opcode == OP_TEXM3x3SPEC && index == 1;
        if (type != (constant ? REG_CONST : REG_TEXTURE)) return error = "a texture instruction reading a bad register", false;
    }
    return true;
}

}  // namespace

bool checkInstruction(Model model, const Instruction& in, std::string& error)
{
    const InstructionInfo* info = findInstruction(in.opcode, model);
    if (!info) return error = text("opcode %u", in.opcode), false;
    if (in.coissue && (!isPixel(model) || in.opcode == OP_DEF || in.opcode == OP_PHASE || isTextureAddress(in.opcode)))
        return error = "co-issue outside pixel arithmetic", false;
    if (in.sourceCount != info->sources) return error = "a wrong number of sources", false;
    if (info->dest && !checkDest(model, in, error)) return false;
    for (int s = 0; s < in.sourceCount; ++s)
        if (!checkSource(model, in, s, error)) return false;
    return true;
}

bool modelOf(DWORD token, Model& model)
{
    switch (token) {
    case 0xFFFE0101u: model = VS_1_1; return true;
    case 0xFFFF0101u: model = PS_1_1; return true;
    case 0xFFFF0102u: model = PS_1_2; return true;
    case 0xFFFF0103u: model = PS_1_3; return true;
    case 0xFFFF0104u: model = PS_1_4; return true;
    default: return false;
    }
}

DWORD versionToken(Model model)
{
    return model == VS_1_1 ? D3DVS_VERSION(1, 1) : D3DPS_VERSION(1, static_cast<DWORD>(model - PS_1_1 + 1));
}

const InstructionInfo* findInstruction(DWORD opcode, Model model)
{
    for (const InstructionInfo& i : TABLE)
        if (i.opcode == opcode && (i.models & (1 << model))) return &i;
    return nullptr;
}

const InstructionInfo* findMnemonic(const std::string& name, Model model, bool* known)
{
    if (known) *known = false;
    for (const InstructionInfo& i : TABLE) {
        if (name != i.name) continue;
        if (known) *known = true;
        if (i.models & (1 << model)) return &i;
    }
    return nullptr;
}

const std::vector<InstructionInfo>& instructionTable() { return TABLE; }

DWORD registerCount(Model model, DWORD type, bool dest)
{
    if (model == VS_1_1) {
        switch (type) {
        case REG_TEMP: return 12;
        case REG_INPUT: return dest ? 0 : 16;
        case REG_CONST: return dest ? 0 : 256;
        case REG_ADDR: return dest ? 1 : 0;
        case REG_RASTOUT: return dest ? 3 : 0;
        case REG_ATTROUT: return dest ? 2 : 0;
        case REG_TEXCRDOUT: return dest ? 8 : 0;
        default: return 0;
        }
    }
    const bool newer = model == PS_1_4;
    switch (type) {
    case REG_TEMP: return newer ? 6 : 2;
    case REG_INPUT: return dest ? 0 : 2;
    case REG_CONST: return dest ? 0 : 8;
    case REG_TEXTURE: return newer ? (dest ? 0 : 6) : 4;
    default: return 0;
    }
}

bool readProgram(const DWORD* tokens, size_t maxTokens, Program& program, std::string& error)
{
    program = Program();
    if (!tokens || maxTokens == 0) return error = "no tokens", false;
    if (maxTokens > MAX_SHADER_TOKENS) maxTokens = MAX_SHADER_TOKENS;
    if (!modelOf(tokens[0], program.model)) return error = text("version token %08X", tokens[0]), false;
    const Model model = program.model;
    bool phaseSeen = false;
    size_t i = 1;
    for (;;) {
        if (i >= maxTokens) return error = "no end token", false;
        const DWORD t = tokens[i++];
        const DWORD opcode = t & 0xFFFF;
        if (opcode == OP_END) {
            if (t != END_TOKEN) return error = "a bad end token", false;
            break;
        }
        if (opcode == OP_COMMENT) {
            const size_t length = (t >> 16) & 0x7FFF;
            if (t & PARAM_BIT || length > maxTokens - i) return error = "a bad comment", false;
            i += length;
            continue;
        }
        const InstructionInfo* info = findInstruction(opcode, model);
        if (!info) return error = text("opcode %u at token %u", opcode, static_cast<unsigned>(i - 1)), false;
        if (t & PARAM_BIT || (t & 0x3FFF0000u)) return error = text("reserved instruction bits at token %u", static_cast<unsigned>(i - 1)), false;
        Instruction in;
        in.opcode = opcode;
        in.coissue = (t & COISSUE_BIT) != 0;
        if (opcode == OP_PHASE) {
            if (phaseSeen) return error = "a second phase", false;
            phaseSeen = true;
        }
        const size_t extra = opcode == OP_DCL ? 1 : 0;
        const size_t constants = opcode == OP_DEF ? 4 : 0;
        const size_t needed = extra + info->dest + info->sources + constants;
        if (needed > maxTokens - i) return error = "a truncated instruction", false;
        if (opcode == OP_DCL) {
            in.declaration = tokens[i++];
            if (!(in.declaration & PARAM_BIT) || (in.declaration & 0x7FF0FFE0u) ||
                (in.declaration & 0x1F) > USAGE_SAMPLE)
                return error = "a bad declaration token", false;
        }
        if (info->dest) in.dest = tokens[i++];
        in.sourceCount = info->sources;
        for (int s = 0; s < in.sourceCount; ++s) in.sources[s] = tokens[i++];
        if (constants) {
            std::memcpy(in.constant, tokens + i, sizeof(in.constant));
            i += 4;
        }
        if (!checkInstruction(model, in, error)) return false;
        program.instructions.push_back(in);
    }
    program.tokenCount = i;
    return true;
}

bool readDeclaration(const D3DVERTEXELEMENT9* elements, size_t maxElements, std::vector<D3DVERTEXELEMENT9>& out,
                     std::string& error)
{
    out.clear();
    if (!elements) return error = "no elements", false;
    for (size_t i = 0; i < maxElements; ++i) {
        const D3DVERTEXELEMENT9& e = elements[i];
        out.push_back(e);
        if (e.Stream == 0xFF) {
            if (e.Type != D3DDECLTYPE_UNUSED) return error = "an end element with a type", false;
            return true;
        }
        if (e.Stream >= 16) return error = text("element %u: stream %u", static_cast<unsigned>(i), e.Stream), false;
        if (e.Type > 16) return error = text("element %u: type %u", static_cast<unsigned>(i), e.Type), false;
        if (e.Method > 6) return error = text("element %u: method %u", static_cast<unsigned>(i), e.Method), false;
        if (e.Usage > USAGE_SAMPLE || e.UsageIndex >= 16)
            return error = text("element %u: usage %u", static_cast<unsigned>(i), e.Usage), false;
        if (e.Offset % 4) return error = text("element %u: offset %u", static_cast<unsigned>(i), e.Offset), false;
        for (size_t j = 0; j < i; ++j)
            if (elements[j].Usage == e.Usage && elements[j].UsageIndex == e.UsageIndex)
                return error = text("element %u repeats the usage of element %u", static_cast<unsigned>(i),
                                    static_cast<unsigned>(j)),
                       false;
    }
    return error = "no end element", false;
}

}  // namespace d3d9shader
