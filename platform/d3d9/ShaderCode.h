// Direct3D 9 shader token streams of the 1.x models (vs_1_1, ps_1_1 to ps_1_4): the documented
// token layout, the instruction table, and a reader that checks a stream and lays it out as
// instructions. The assembler writes streams with it, the device checks them with it, and the
// OpenGL renderer translates what it reads.
#pragma once

#include "platform/d3d9.h"

#include <cstddef>
#include <string>
#include <vector>

namespace d3d9shader {

// Instruction opcodes (bits 0..15 of an instruction token).
enum Opcode : DWORD {
    OP_NOP = 0, OP_MOV = 1, OP_ADD = 2, OP_SUB = 3, OP_MAD = 4, OP_MUL = 5, OP_RCP = 6, OP_RSQ = 7,
    OP_DP3 = 8, OP_DP4 = 9, OP_MIN = 10, OP_MAX = 11, OP_SLT = 12, OP_SGE = 13, OP_EXP = 14, OP_LOG = 15,
    OP_LIT = 16, OP_DST = 17, OP_LRP = 18, OP_FRC = 19, OP_M4x4 = 20, OP_M4x3 = 21, OP_M3x4 = 22,
    OP_M3x3 = 23, OP_M3x2 = 24, OP_DCL = 31,
    OP_TEXCOORD = 64, OP_TEXKILL = 65, OP_TEX = 66, OP_TEXBEM = 67, OP_TEXBEML = 68, OP_TEXREG2AR = 69,
    OP_TEXREG2GB = 70, OP_TEXM3x2PAD = 71, OP_TEXM3x2TEX = 72, OP_TEXM3x3PAD = 73, OP_TEXM3x3TEX = 74,
    OP_TEXM3x3SPEC = 76, OP_TEXM3x3VSPEC = 77, OP_EXPP = 78, OP_LOGP = 79, OP_CND = 80, OP_DEF = 81,
    OP_TEXREG2RGB = 82, OP_TEXDP3TEX = 83, OP_TEXM3x2DEPTH = 84, OP_TEXDP3 = 85, OP_TEXM3x3 = 86,
    OP_TEXDEPTH = 87, OP_CMP = 88, OP_BEM = 89,
    OP_PHASE = 0xFFFD, OP_COMMENT = 0xFFFE, OP_END = 0xFFFF,
};

// Register types (bits 28..30 with bits 11..12 of a parameter token).
enum RegisterType : DWORD {
    REG_TEMP = 0,
    REG_INPUT = 1,
    REG_CONST = 2,
    REG_ADDR = 3,      // vertex shaders: a0
    REG_TEXTURE = 3,   // pixel shaders: t#
    REG_RASTOUT = 4,   // oPos 0, oFog 1, oPts 2
    REG_ATTROUT = 5,   // oD#
    REG_TEXCRDOUT = 6, // oT#
};

// Source modifiers (bits 24..27 of a source token).
enum SourceModifier : DWORD {
    SRC_NONE = 0, SRC_NEG = 1, SRC_BIAS = 2, SRC_BIASNEG = 3, SRC_SIGN = 4, SRC_SIGNNEG = 5, SRC_COMP = 6,
    SRC_X2 = 7, SRC_X2NEG = 8, SRC_DZ = 9, SRC_DW = 10,
};

constexpr DWORD PARAM_BIT = 0x80000000u;
constexpr DWORD COISSUE_BIT = 0x40000000u;
constexpr DWORD RELATIVE_BIT = 0x00002000u;
constexpr DWORD DEST_SATURATE = 1;  // result modifier
constexpr DWORD SWIZZLE_IDENTITY = 0xE4;  // x, y, z, w
constexpr DWORD END_TOKEN = 0x0000FFFFu;
// Streams longer than this are refused.
constexpr size_t MAX_SHADER_TOKENS = 32768;

// Declaration usages of dcl tokens (bits 0..4) and vertex elements.
enum Usage : DWORD {
    USAGE_POSITION = 0, USAGE_BLENDWEIGHT = 1, USAGE_BLENDINDICES = 2, USAGE_NORMAL = 3, USAGE_PSIZE = 4,
    USAGE_TEXCOORD = 5, USAGE_TANGENT = 6, USAGE_BINORMAL = 7, USAGE_TESSFACTOR = 8, USAGE_POSITIONT = 9,
    USAGE_COLOR = 10, USAGE_FOG = 11, USAGE_DEPTH = 12, USAGE_SAMPLE = 13,
};

inline DWORD registerType(DWORD t) { return ((t >> 28) & 7) | ((t >> 8) & 0x18); }
inline DWORD registerNumber(DWORD t) { return t & 0x7FF; }
inline DWORD writeMask(DWORD t) { return (t >> 16) & 0xF; }
inline DWORD resultModifier(DWORD t) { return (t >> 20) & 0xF; }
// The result shift: 1 doubles, 2 quadruples, 3 eightfold, -1 halves, -2 quarters, -3 eighths.
inline int shiftScale(DWORD t)
{
    const int s = static_cast<int>((t >> 24) & 0xF);
    return s >= 8 ? s - 16 : s;
}
inline DWORD swizzle(DWORD t) { return (t >> 16) & 0xFF; }
inline DWORD swizzleComponent(DWORD t, int channel) { return (t >> (16 + 2 * channel)) & 3; }
inline DWORD sourceModifier(DWORD t) { return (t >> 24) & 0xF; }
inline bool isRelative(DWORD t) { return (t & RELATIVE_BIT) != 0; }
inline DWORD makeRegister(DWORD type, DWORD number)
{
    return PARAM_BIT | ((type & 7) << 28) | ((type & 0x18) << 8) | (number & 0x7FF);
}

// The shader models this layer reads.
enum Model : int { VS_1_1 = 0, PS_1_1, PS_1_2, PS_1_3, PS_1_4, MODEL_COUNT };
inline bool isPixel(Model m) { return m != VS_1_1; }
// The model of a version token; false for any other version.
bool modelOf(DWORD versionToken, Model& model);
DWORD versionToken(Model model);

struct InstructionInfo {
    const char* name;     // the assembler's mnemonic
    DWORD opcode;
    uint8_t dest;         // 1: a destination parameter
    uint8_t sources;      // source parameters
    uint8_t models;       // bit per Model
};
// The instruction of a model with this opcode (tex and texld share one, for instance), or null.
const InstructionInfo* findInstruction(DWORD opcode, Model model);
// The instruction of a model with this mnemonic (lower case), or null; `known` tells whether
// another model has it.
const InstructionInfo* findMnemonic(const std::string& name, Model model, bool* known = nullptr);
// Every instruction of the table, for tests that walk all of them.
const std::vector<InstructionInfo>& instructionTable();

// How many registers of a type a model has as sources (dest false) or destinations (dest true).
DWORD registerCount(Model model, DWORD type, bool dest);

struct Instruction {
    DWORD opcode = OP_NOP;
    bool coissue = false;
    DWORD dest = 0;          // destination token, 0 when none
    int sourceCount = 0;
    DWORD sources[3] = {};
    DWORD declaration = 0;   // dcl: the usage token
    float constant[4] = {};  // def: the four values
};

struct Program {
    Model model = VS_1_1;
    std::vector<Instruction> instructions;
    size_t tokenCount = 0;   // the stream's length up to and including its end token
};

// Checks one instruction against its model: co-issue, parameter count, register types and numbers.
bool checkInstruction(Model model, const Instruction& in, std::string& error);

// Reads a stream of at most maxTokens tokens (comments skipped) and checks each instruction
// against its model: opcode, parameter count, register types and numbers. False with a reason.
bool readProgram(const DWORD* tokens, size_t maxTokens, Program& program, std::string& error);

// A declaration's elements up to and including its end element; false (with the reason) when it
// has no end within maxElements, a bad stream, type, method, usage or offset, or a usage twice.
bool readDeclaration(const D3DVERTEXELEMENT9* elements, size_t maxElements, std::vector<D3DVERTEXELEMENT9>& out,
                     std::string& error);

}  // namespace d3d9shader
