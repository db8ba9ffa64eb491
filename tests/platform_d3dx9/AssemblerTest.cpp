// The shader assembler: token words against hand-assembled ones, every instruction of every
// version, and line-numbered errors.
#include "platform/d3dx9.h"

#include "ShaderSamples.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace d3d9shader;

namespace {

// The tokens, or the first error line with an empty token list.
std::vector<DWORD> assemble(const std::string& source, std::string* error = nullptr)
{
    LPD3DXBUFFER code = nullptr, errors = nullptr;
    const HRESULT hr = D3DXAssembleShader(source.c_str(), static_cast<UINT>(source.size()), nullptr, nullptr, 0, &code,
                                          &errors);
    std::vector<DWORD> tokens;
    if (hr == D3D_OK) {
        EXPECT_EQ(errors, nullptr);
        const DWORD* p = static_cast<const DWORD*>(code->GetBufferPointer());
        tokens.assign(p, p + code->GetBufferSize() / 4);
        code->Release();
    } else {
        EXPECT_EQ(hr, D3DXERR_INVALIDDATA);
        EXPECT_EQ(code, nullptr);
        const char* text = static_cast<const char*>(errors->GetBufferPointer());
        EXPECT_EQ(std::strlen(text) + 1, errors->GetBufferSize());
        if (error) *error = std::string(text).substr(0, std::string(text).find('\n'));
        errors->Release();
    }
    return tokens;
}

DWORD bits(float f)
{
    DWORD b;
    std::memcpy(&b, &f, 4);
    return b;
}

TEST(AssemblerTest, TokenStreamsMatchHandAssembledWords)
{
    struct Case {
        const char* source;
        std::vector<DWORD> words;
    } cases[] = {
        {"vs.1.1\ndcl_position0 v0\ndcl_position4 v4\ndcl_position6 v6\nm4x4 oPos, v0, c0\nmov oD0, v4\nmov oT0, v6\n",
         {0xFFFE0101, 0x1F, 0x80000000, 0x900F0000, 0x1F, 0x80040000, 0x900F0004, 0x1F, 0x80060000, 0x900F0006,
          0x14, 0xC00F0000, 0x90E40000, 0xA0E40000, 0x01, 0xD00F0000, 0x90E40004, 0x01, 0xE00F0000, 0x90E40006, 0xFFFF}},
        {"ps.1.1\ntex t0\nmul r0, t0, v0\n",
         {0xFFFF0101, 0x42, 0xB00F0000, 0x05, 0x800F0000, 0xB0E40000, 0x90E40000, 0xFFFF}},
        // Relative constants, negation, swizzles, write masks, definitions, the o-registers by name.
        {"VS_1_1 ; comment\n  dcl_normal v3\ndcl_texcoord2 v7 // another\ndef c10, 1.0, 0.5f, -2, 0\n"
         "mov a0.x, v3.x\nadd r1.xz, -c[a0.x + 4].yzwx, v7.w\nexpp r2, r1.y\nmov oFog, c[ 3 ].x\nsub oPts.x, r1, c[2 + a0.x]\n",
         {0xFFFE0101, 0x1F, 0x80000003, 0x900F0003, 0x1F, 0x80020005, 0x900F0007, 0x51, 0xA00F000A, bits(1.0f),
          bits(0.5f), bits(-2.0f), 0, 0x01, 0xB0010000, 0x90000003, 0x02, 0x80050001, 0xA1392004, 0x90FF0007, 0x4E,
          0x800F0002, 0x80550001, 0x01, 0xC00F0001, 0xA0000003, 0x03, 0xC0010002, 0x80E40001, 0xA0E42002, 0xFFFF}},
        // ps_1_4: texld and texcrd with their projections, phase, result and source modifiers, co-issue.
        {"ps_1_4\ntexld r0, t0\ntexcrd r1.rgb, t1_dw.xyw\nphase\nmul_x2_sat r0.rgb, r0_bx2, -c2.b\n+mov r0.a, 1 - v0\n"
         "add_d8 r1, -r2_bias, r3_x2\n",
         {0xFFFF0104, 0x42, 0x800F0000, 0xB0E40000, 0x40, 0x80070001, 0xBAF40001, 0xFFFD, 0x05, 0x81170000,
          0x84E40000, 0xA1AA0002, 0x40000001, 0x80080000, 0x96E40000, 0x02, 0x8D0F0001, 0x83E40002, 0x87E40003,
          0xFFFF}},
        {"ps.1.3\ntex t0\ntexm3x2pad t1, t0_bx2\ntexm3x2depth t2, t0_bx2\ncnd r0, r0.a, t0, c1\n",
         {0xFFFF0103, 0x42, 0xB00F0000, 0x47, 0xB00F0001, 0xB4E40000, 0x54, 0xB00F0002, 0xB4E40000, 0x50, 0x800F0000,
          0x80FF0000, 0xB0E40000, 0xA0E40001, 0xFFFF}},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_EQ(assemble(c.source, &error), c.words) << c.source << error;
    }
}

TEST(AssemblerTest, EveryInstructionOfEveryVersionAssemblesAndReadsBack)
{
    int assembled = 0;
    for (const InstructionInfo& info : instructionTable())
        for (int m = 0; m < MODEL_COUNT; ++m) {
            if (!(info.models & (1 << m))) continue;
            const Model model = static_cast<Model>(m);
            const std::string source = sampleStatement(info, model);
            std::string error;
            const std::vector<DWORD> tokens = assemble(source, &error);
            ASSERT_GT(tokens.size(), 2u) << source << error;
            EXPECT_EQ(tokens[1] & 0xFFFF, info.opcode) << source;
            Program program;
            EXPECT_TRUE(readProgram(tokens.data(), tokens.size(), program, error)) << source << error;
            EXPECT_EQ(program.tokenCount, tokens.size());
            ++assembled;
        }
    EXPECT_EQ(assembled, 128);
}

TEST(AssemblerTest, BadSourceGivesALineNumberedError)
{
    struct Case {
        const char* source;
        const char* error;
    } cases[] = {
        {"vs.9.9\nmov oPos, v0\n", "(1): error: shader version 'vs.9.9' is not supported (vs.1.1, ps.1.1 .. ps.1.4)"},
        {"vs_2_0\n", "(1): error: shader version 'vs_2_0' is not supported (vs.1.1, ps.1.1 .. ps.1.4)"},
        {"mov r0, v0\n", "(1): error: shader version expected before 'mov r0, v0'"},
        {"; nothing\n\n", "(3): error: no shader version (vs.1.1, ps.1.1 .. ps.1.4)"},
        {"\n\nvs.1.1\nmov r0, v0\nfoo r0\n", "(5): error: unknown instruction 'foo'"},
        {"vs.1.1\n/* a\nb */ mov r0, v0\nbad\n", "(4): error: unknown instruction 'bad'"},
        {"ps.1.1\nbem r0, r1, r2\n", "(2): error: instruction 'bem' is not available in this shader version"},
        {"ps.1.4\ntex t0\n", "(2): error: instruction 'tex' is not available in this shader version"},
        {"vs.1.1\nmov r0\n", "(2): error: 'mov' takes 2 operands, not 1"},
        {"vs.1.1\nmov r12, v0\n", "(2): error: register 'r12' is out of range for this shader version"},
        {"ps.1.1\nmov r2, v0\n", "(2): error: register 'r2' is out of range for this shader version"},
        {"vs.1.1\nmov oPosition, v0\n", "(2): error: unknown register 'oPosition'"},
        {"vs.1.1\nmov r0.yx, v0\n", "(2): error: a bad write mask in 'r0.yx'"},
        {"vs.1.1\nmov r0, v0.xq\n", "(2): error: a bad swizzle in 'v0.xq'"},
        {"vs.1.1\nmov_sat r0, v0\n", "(2): error: instruction modifier '_sat' in a vertex shader"},
        {"vs.1.1\nmov r0, v0_bx2\n", "(2): error: source modifier in a vertex shader: 'v0_bx2'"},
        {"ps.1.1\nmul_x8 r0, r0, v0\n", "(2): error: instruction modifier '_x8' needs ps.1.4"},
        {"ps.1.4\nmov r0, r1_foo\n", "(2): error: unknown source modifier '_foo' in 'r1_foo'"},
        {"ps.1.4\nmov r0, -1 - r1\n", "(2): error: '1 -' combined with another modifier in '-1 - r1'"},
        {"vs.1.1\ndef c0, 1, x, 0, 0\n", "(2): error: a number expected, not 'x'"},
        {"vs.1.1\ndcl_colour v0\n", "(2): error: unknown declaration usage 'colour'"},
        {"vs.1.1\nmov r0, , v0\n", "(2): error: an empty operand"},
        {"vs.1.1\nmov a0, v0\n", "(2): error: 'mov': a0 written other than by mov to .x"},
        {"ps.1.4\nphase\nphase\n", "(3): error: a second phase"},
        {"vs.1.1\nvs.1.1\n", "(2): error: a second shader version"},
        {"vs.1.1\n+mov r0, v0\n", "(2): error: 'mov': co-issue outside pixel arithmetic"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_TRUE(assemble(c.source, &error).empty()) << c.source;
        EXPECT_EQ(error, c.error) << c.source;
    }
    // Without source or code buffer the call is refused; defines are not taken.
    LPD3DXBUFFER code = nullptr;
    EXPECT_EQ(D3DXAssembleShader(nullptr, 0, nullptr, nullptr, 0, &code, nullptr), D3DERR_INVALIDCALL);
    const D3DXMACRO defines[] = {{"A", "1"}, {nullptr, nullptr}};
    EXPECT_EQ(D3DXAssembleShader("vs.1.1", 6, defines, nullptr, 0, &code, nullptr), D3DXERR_INVALIDDATA);
    EXPECT_EQ(code, nullptr);
    // The length bounds the text: what follows is not read.
    EXPECT_EQ(D3DXAssembleShader("vs.1.1\nbogus", 7, nullptr, nullptr, 0, &code, nullptr), D3D_OK);
    code->Release();
}

}  // namespace
