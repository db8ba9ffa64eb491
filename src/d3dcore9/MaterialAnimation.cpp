#include "d3dcore9/MaterialAnimation.h"

#include "d3dcore9/D3DCore.h"
#include "d3dcore9/StateBlock.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

const char* const BLOCK_HEADINGS[MaterialAnimation::NUM_BLOCK_TYPES] = {
    "[scaleu]",  "[scalev]",  "[scaleuorig]", "[scalevorig]", "[rotate]",  "[rotateuaxis]", "[rotatevaxis]",
    "[offsetu]", "[offsetv]", "[afactor]",    "[rfactor]",    "[gfactor]", "[bfactor]",     "[shaderregisters]",
};

enum Opcode : uint32_t {
    OP_ADD, OP_SUBTRACT, OP_MULTIPLY, OP_DIVIDE, OP_NEGATE, OP_RANDOMFLOAT, OP_UNIQUEFLOAT, OP_WRAP, OP_CLAMP,
    OP_QUANTISE, OP_TIME, OP_SIN, OP_COS, OP_PI, OP_WORLDX, OP_WORLDY, OP_WORLDZ, OP_CAMERAX, OP_CAMERAY,
    OP_CAMERAZ, OP_WORLDZANGLE, OP_UNIQUEBYTE1, OP_UNIQUEBYTE2, OP_UNIQUEBYTE3, OP_UNIQUEBYTE4, OP_DUPLICATE,
    OP_SWAP, OP_VREGISTER, OP_PREGISTER, OP_PLIGHT, OP_PCUSTOMLIGHT, OP_SCALEX, OP_SCALEY, OP_SCALEZ, OP_RELTIME,
    OP_FESTATE, OP_TRIANGLE, OP_SOFTTRIANGLE, OP_SQUARE, OP_SAW, OP_PULSE, OP_MAP, OP_IFLT, OP_IFGT, OP_IFEQ,
    OP_IFLE, OP_IFGE, OP_IFBT, OP_ALPHAFACTOR,
};

struct OpcodeInfo {
    const char* name;
    int32_t operands;  // values read from the top; -1 for those that only push
};

const OpcodeInfo OPCODES[MaterialAnimation::NUM_OPCODES] = {
    {"add", 2},          {"subtract", 2},    {"multiply", 2},     {"divide", 2},       {"negate", 1},
    {"randomfloat", -1}, {"uniquefloat", -1}, {"wrap", 3},        {"clamp", 3},        {"quantise", 2},
    {"time", -1},        {"sin", 1},         {"cos", 1},          {"pi", -1},          {"worldx", -1},
    {"worldy", -1},      {"worldz", -1},     {"camerax", -1},     {"cameray", -1},     {"cameraz", -1},
    {"worldzangle", -1}, {"uniquebyte1", -1}, {"uniquebyte2", -1}, {"uniquebyte3", -1}, {"uniquebyte4", -1},
    {"duplicate", 1},    {"swap", 2},        {"vregister", 3},    {"pregister", 3},    {"plight", 1},
    {"pcustomlight", 4}, {"scalex", -1},     {"scaley", -1},      {"scalez", -1},      {"reltime", -1},
    {"festate", -1},     {"triangle", 1},    {"softtriangle", 1}, {"square", 1},       {"saw", 1},
    {"pulse", 3},        {"map", 3},         {"iflt", 4},         {"ifgt", 4},         {"ifeq", 4},
    {"ifle", 4},         {"ifge", 4},        {"ifbt", 5},         {"alphafactor", -1},
};

const char* const UNDERFLOW[6] = {"", "StackSize >= 1", "StackSize >= 2", "StackSize >= 3", "StackSize >= 4",
                                  "StackSize >= 5"};

const double DEGREES = 0.017453293;
const double RADIANS_TO_DEGREES = 57.295776;

double frac(double x) { return x - std::floor(x); }

// The tables are 512 long; the index comes from the drawing code and may be anything.
int32_t uniqueSlot()
{
    const int32_t i = D3DCore.UniqueIndex % 512;
    return i < 0 ? i + 512 : i;
}

// A register or component number from the stack, or -1 when it lies outside 0..limit.
int32_t registerNumber(double value, int32_t limit)
{
    const double t = std::trunc(value);
    return t >= 0 && t <= limit ? static_cast<int32_t>(t) : -1;
}

double rowLength(int row)
{
    const float* r = D3DCore.WorldMatrix.m[row];
    return std::sqrt(static_cast<double>(r[0]) * r[0] + static_cast<double>(r[1]) * r[1] +
                     static_cast<double>(r[2]) * r[2]);
}

}  // namespace

MaterialAnimation::MaterialAnimation()
{
    for (uint32_t i = 0; i < NUM_BLOCK_TYPES; ++i) {
        Instructions[i] = nullptr;
        InstructionCount[i] = 0;
    }
    for (double& d : Stack) d = 0;
}

MaterialAnimation::~MaterialAnimation() { Clear(); }

void MaterialAnimation::Clear()
{
    for (uint32_t i = 0; i < NUM_BLOCK_TYPES; ++i) {
        delete[] Instructions[i];
        Instructions[i] = nullptr;
        InstructionCount[i] = 0;
    }
    StackSize = 0;
}

bool MaterialAnimation::Allocate(uint32_t Type, int32_t Num)
{
    if (!VERIFY(Type < NUM_BLOCK_TYPES) || !VERIFY(Num >= 0)) return false;
    delete[] Instructions[Type];
    Instructions[Type] = nullptr;
    InstructionCount[Type] = 0;
    if (Num == 0) return true;
    Instructions[Type] = new AnimInstruction[Num];
    for (int32_t i = 0; i < Num; ++i) {
        Instructions[Type][i].Kind = INSTR_OPCODE;
        Instructions[Type][i].Opcode = NUM_OPCODES;
    }
    InstructionCount[Type] = Num;
    return true;
}

bool MaterialAnimation::SetOpcode(uint32_t Type, int32_t Num, uint32_t Opcode)
{
    if (!VERIFY(Type < NUM_BLOCK_TYPES) || !VERIFY(Num >= 0) || !VERIFY(InstructionCount[Type] > Num)) return false;
    Instructions[Type][Num].Kind = INSTR_OPCODE;
    Instructions[Type][Num].Opcode = Opcode;
    return true;
}

bool MaterialAnimation::SetConstant(uint32_t Type, int32_t Num, float Value)
{
    if (!VERIFY(Type < NUM_BLOCK_TYPES) || !VERIFY(Num >= 0) || !VERIFY(InstructionCount[Type] > Num)) return false;
    Instructions[Type][Num].Kind = INSTR_CONSTANT;
    Instructions[Type][Num].Constant = Value;
    return true;
}

float MaterialAnimation::AbsentValue(uint32_t Type)
{
    if (Type <= SCALEV) return 1.0f;
    if (Type >= AFACTOR && Type <= BFACTOR) return std::numeric_limits<float>::infinity();
    return 0.0f;
}

int32_t MaterialAnimation::FindBlockType(const char* heading)
{
    if (!heading) return -1;
    for (uint32_t i = 0; i < NUM_BLOCK_TYPES; ++i)
        if (std::strcmp(heading, BLOCK_HEADINGS[i]) == 0) return static_cast<int32_t>(i);
    return -1;
}

int32_t MaterialAnimation::FindOpcode(const char* word)
{
    if (!word) return -1;
    for (uint32_t i = 0; i < NUM_OPCODES; ++i)
        if (std::strcmp(word, OPCODES[i].name) == 0) return static_cast<int32_t>(i);
    return -1;
}

bool MaterialAnimation::IsConstantToken(const char* token)
{
    if (!token || !*token) return false;
    for (const char* p = token; *p; ++p)
        if (!((*p >= '0' && *p <= '9') || *p == '.' || *p == '-')) return false;
    return true;
}

const char* MaterialAnimation::OpcodeName(uint32_t Opcode) { return Opcode < NUM_OPCODES ? OPCODES[Opcode].name : nullptr; }

const char* MaterialAnimation::BlockHeading(uint32_t Type) { return Type < NUM_BLOCK_TYPES ? BLOCK_HEADINGS[Type] : nullptr; }

bool MaterialAnimation::CompileBlock(uint32_t Type, const std::vector<std::string>& tokens, std::string* badToken)
{
    if (!VERIFY(Type < NUM_BLOCK_TYPES)) return false;
    for (const std::string& t : tokens)
        if (!IsConstantToken(t.c_str()) && FindOpcode(t.c_str()) < 0) {
            if (badToken) *badToken = t;
            return false;
        }
    if (tokens.size() > 0x7FFFFFFF || !Allocate(Type, static_cast<int32_t>(tokens.size()))) return false;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const char* t = tokens[i].c_str();
        if (IsConstantToken(t))
            SetConstant(Type, static_cast<int32_t>(i), static_cast<float>(std::atof(t)));
        else
            SetOpcode(Type, static_cast<int32_t>(i), static_cast<uint32_t>(FindOpcode(t)));
    }
    return true;
}

bool MaterialAnimation::Need(int32_t operands)
{
    if (StackSize >= operands) return true;
    assertFailed(UNDERFLOW[operands], __FILE__, __LINE__);
    return false;
}

bool MaterialAnimation::Room()
{
    if (StackSize < STACKSIZE) return true;
    assertFailed("StackSize < STACKSIZE", __FILE__, __LINE__);
    return false;
}

bool MaterialAnimation::Execute(uint32_t Opcode, float AnimStart, int32_t AnimState)
{
    const int32_t operands = OPCODES[Opcode].operands;
    if (Opcode == OP_DUPLICATE) {
        if (StackSize == 0) {
            assertFailed("StackSize != 0", __FILE__, __LINE__);
            return false;
        }
        if (!Room()) return false;
        Stack[StackSize] = Stack[StackSize - 1];
        ++StackSize;
        return true;
    }
    if (operands < 0) {
        if (!Room()) return false;
        double v = 0;
        const D3DMATRIX& W = D3DCore.WorldMatrix;
        switch (Opcode) {
        case OP_RANDOMFLOAT: v = crtRand() * 3.051851e-05; break;
        case OP_UNIQUEFLOAT: v = D3DCore.RandomFloats[uniqueSlot()]; break;
        case OP_TIME: v = D3DCore.AnimationTime; break;
        case OP_PI: v = 3.14159274f; break;
        case OP_WORLDX: case OP_WORLDY: case OP_WORLDZ: v = W.m[3][Opcode - OP_WORLDX]; break;
        case OP_CAMERAX: case OP_CAMERAY: case OP_CAMERAZ: v = D3DCore.CameraPosition[Opcode - OP_CAMERAX]; break;
        case OP_WORLDZANGLE:
            if (W.m[0][0] == 0 && W.m[0][1] == 0)
                assertFailed("false", __FILE__, __LINE__);
            else
                v = -std::atan2(static_cast<double>(W.m[0][1]), static_cast<double>(W.m[0][0])) * RADIANS_TO_DEGREES;
            break;
        case OP_UNIQUEBYTE1: case OP_UNIQUEBYTE2: case OP_UNIQUEBYTE3: case OP_UNIQUEBYTE4:
            v = D3DCore.RandomBytes[Opcode - OP_UNIQUEBYTE1][uniqueSlot()];
            break;
        case OP_SCALEX: case OP_SCALEY: case OP_SCALEZ: v = rowLength(static_cast<int>(Opcode - OP_SCALEX)); break;
        case OP_RELTIME: v = static_cast<float>(D3DCore.AnimationTime) - AnimStart; break;
        case OP_FESTATE: v = AnimState; break;
        case OP_ALPHAFACTOR: v = D3DCore.AlphaFactor; break;
        default: break;
        }
        Stack[StackSize++] = v;
        return true;
    }
    if (!Need(operands)) return false;
    // p q r s t, t on top; the result lands where the deepest operand was.
    double* base = &Stack[StackSize - operands];
    const double t = Stack[StackSize - 1];
    const double s = operands >= 2 ? Stack[StackSize - 2] : 0;
    const double r = operands >= 3 ? Stack[StackSize - 3] : 0;
    const double q = operands >= 4 ? Stack[StackSize - 4] : 0;
    const double p = operands >= 5 ? Stack[StackSize - 5] : 0;
    bool pushes = true;
    double v = 0;
    switch (Opcode) {
    case OP_ADD: v = s + t; break;
    case OP_SUBTRACT: v = s - t; break;
    case OP_MULTIPLY: v = s * t; break;
    case OP_DIVIDE: v = s / t; break;
    case OP_NEGATE: v = -t; break;
    case OP_WRAP: v = s + (t - s) * frac((r - s) / (t - s)); break;
    case OP_CLAMP: v = std::fmin(std::fmax(r, s), t); break;
    case OP_QUANTISE: v = s >= 0 ? s - std::fmod(s, t) : s - (std::fmod(s + 0.0001, t) + t); break;
    case OP_SIN: v = std::sin(t * DEGREES); break;
    case OP_COS: v = std::cos(t * DEGREES); break;
    case OP_SWAP:
        base[0] = t;
        base[1] = s;
        return true;
    case OP_VREGISTER:
    case OP_PREGISTER: {
        const bool vertex = Opcode == OP_VREGISTER;
        const int32_t reg = registerNumber(s, vertex ? 95 : 7), component = registerNumber(t, 3);
        pushes = false;
        if (reg < 0) {
            assertFailedMsg(vertex ? "Register failed: Illegal vregister number in animation"
                                   : "Register failed: Illegal pregister number in animation",
                            "false", __FILE__, __LINE__);
        } else if (component < 0) {
            assertFailedMsg(vertex ? "Register failed: Illegal vregister conponent in animation"
                                   : "Register failed: Illegal pregister conponent in animation",
                            "false", __FILE__, __LINE__);
        } else if (vertex) {
            D3DCore.SetVertexShaderConstantComponent(reg, component, static_cast<float>(r));
        } else {
            D3DCore.SetPixelShaderConstantComponent(reg, component, static_cast<float>(r));
        }
        break;
    }
    case OP_PLIGHT:
    case OP_PCUSTOMLIGHT: {
        const int32_t reg = registerNumber(t, 7);
        pushes = false;
        if (reg < 0) {
            assertFailedMsg("Register failed: Illegal plight number in animation", "false", __FILE__, __LINE__);
            break;
        }
        if (Opcode == OP_PLIGHT) {
            D3DCore.SetPixelShaderConstant(reg, D3DCore.LightColour[0] / 255.0f, D3DCore.LightColour[1] / 255.0f,
                                           D3DCore.LightColour[2] / 255.0f, 0.0f);
            break;
        }
        const double d[3] = {-q, -r, -s};
        double n[3];
        for (int row = 0; row < 3; ++row) {
            const float* w = D3DCore.WorldMatrix.m[row];
            n[row] = w[0] * d[0] + w[1] * d[1] + w[2] * d[2];
        }
        const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (length > 0)
            for (double& c : n) c /= length;
        D3DCore.SetPixelShaderConstant(reg, static_cast<float>((n[0] + 1) * 0.5), static_cast<float>((n[1] + 1) * 0.5),
                                       static_cast<float>((n[2] + 1) * 0.5), 0.0f);
        break;
    }
    case OP_TRIANGLE: {
        const double f = frac(t);
        v = f > 0.5 ? 2 - 2 * f : 2 * f;
        break;
    }
    case OP_SOFTTRIANGLE: v = (std::sin(frac(t) * 6.2831855 + 4.712389) + 1) * 0.5; break;
    case OP_SQUARE: v = frac(t) >= 0.5 ? 1.0 : 0.0; break;
    case OP_SAW: v = frac(t); break;
    case OP_PULSE: {
        const double period = s + t;
        v = period * frac(r / period) < s ? 1.0 : 0.0;
        break;
    }
    case OP_MAP: v = s + (t - s) * r; break;
    case OP_IFLT: v = q < r ? s : t; break;
    case OP_IFGT: v = q > r ? s : t; break;
    case OP_IFEQ: v = q == r ? s : t; break;
    case OP_IFLE: v = q <= r ? s : t; break;
    case OP_IFGE: v = q >= r ? s : t; break;
    case OP_IFBT: v = q <= p && p < r ? s : t; break;
    default: break;
    }
    StackSize -= operands;
    if (pushes) Stack[StackSize++] = v;
    return true;
}

float MaterialAnimation::Evaluate(uint32_t Type, const GMaterial* GM)
{
    return GM ? Evaluate(Type, GM->Name, GM->AnimStart, GM->AnimState) : Evaluate(Type, nullptr, 0.0f, 0);
}

float MaterialAnimation::Evaluate(uint32_t Type, const char* MaterialName, float AnimStart, int32_t AnimState)
{
    StackSize = 0;
    if (Type >= NUM_BLOCK_TYPES) {
        assertFailed("false", __FILE__, __LINE__);
        return 0.0f;
    }
    const int32_t count = InstructionCount[Type];
    const AnimInstruction* code = Instructions[Type];
    if (count == 0 || !code) return AbsentValue(Type);
    for (int32_t i = 0; i < count; ++i) {
        const AnimInstruction& in = code[i];
        if (in.Kind == INSTR_CONSTANT) {
            if (!Room()) {
                StackSize = 0;
                return AbsentValue(Type);
            }
            Stack[StackSize++] = in.Constant;
        } else if (in.Kind != INSTR_OPCODE) {
            assertFailed("false", __FILE__, __LINE__);
        } else if (in.Opcode >= NUM_OPCODES) {
            assertFailedMsg("invalid instruction in animation", "false", __FILE__, __LINE__);
        } else if (!Execute(in.Opcode, AnimStart, AnimState)) {
            // A stack fault: the rest of the program cannot mean anything.
            StackSize = 0;
            return AbsentValue(Type);
        }
    }
    if (Type == SHADERREGISTERS) {
        if (StackSize != 0) assertFailedMsg("Illegal result found in ShaderRegisters block", "false", __FILE__, __LINE__);
        StackSize = 0;
        return 0.0f;
    }
    if (StackSize != 1) {
        assertFailedMsg(concatStrings("Instruction block returns ", intToString(StackSize), " results. 1 expected\nStateBlock: ",
                                      MaterialName ? MaterialName : ""),
                        "false", __FILE__, __LINE__);
        if (StackSize == 0) return AbsentValue(Type);
    }
    const float result = static_cast<float>(Stack[0]);
    StackSize = 0;
    return result;
}
