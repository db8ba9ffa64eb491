#include "d3d9gl/ShaderTranslator.h"

#include "d3d9/ShaderCode.h"
#include "d3d9gl/ShaderGenerator.h"

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <vector>

using namespace d3d9shader;

namespace d3d9gl {

namespace {

std::string format(const char* fmt, int a = 0, int b = 0)
{
    char buffer[128];
    std::snprintf(buffer, sizeof(buffer), fmt, a, b);
    return buffer;
}

// Exact bits: constants may be any float, infinities included.
std::string constantVector(const float v[4])
{
    uint32_t bits[4];
    std::memcpy(bits, v, sizeof(bits));
    char buffer[128];
    std::snprintf(buffer, sizeof(buffer), "uintBitsToFloat(uvec4(0x%08Xu, 0x%08Xu, 0x%08Xu, 0x%08Xu))", bits[0], bits[1],
                  bits[2], bits[3]);
    return buffer;
}

const char COMPONENTS[] = "xyzw";

std::string maskLetters(DWORD mask)
{
    std::string s;
    for (int i = 0; i < 4; ++i)
        if (mask & (1u << i)) s += COMPONENTS[i];
    return s;
}

// Instructions that need cube textures, which the renderer does not sample.
bool needsCube(DWORD opcode)
{
    return opcode == OP_TEXM3x3TEX || opcode == OP_TEXM3x3SPEC || opcode == OP_TEXM3x3VSPEC;
}

class Translator {
public:
    Translator(const Program& program, const ShaderOptions& options) : m_p(program), m_o(options) {}
    std::string run();
    int constants() const { return m_constants; }

private:
    bool pixel() const { return isPixel(m_p.model); }
    std::string reg(DWORD token, int offset = 0);
    std::string source(DWORD token, int offset = 0);
    std::string destName(DWORD token) const;
    std::string arithmetic(const Instruction& in);
    void vertexInstruction(const Instruction& in, int index);
    void pixelInstruction(const Instruction& in, int index);
    // Computes the instruction's value now and writes it when its co-issue group ends.
    void result(const Instruction& in, int index, const std::string& expr, bool clampRange);
    void flush();
    std::string sample(int stage, const std::string& coord)
    {
        m_samplers |= 1u << stage;
        return format("texture(uTex%d, ", stage) + coord + ")";
    }
    // Coordinates xy of stage n's register, divided as the stage projects them.
    std::string projected(int stage, const std::string& xy) const
    {
        const int by = stage < MAX_STAGES ? m_o.tail.coords[stage].project : 0;
        if (by < 1 || by > 4) return xy;
        return "dividedBy(" + xy + format(", vTex%d.", stage) + COMPONENTS[by - 1] + ")";
    }

    const Program& m_p;
    const ShaderOptions& m_o;
    std::string m_body;
    std::vector<std::string> m_pending;
    bool m_defined[MAX_VS_CONSTANTS] = {};
    bool m_relative = false;
    bool m_depth = false;
    bool m_bump = false;
    uint32_t m_samplers = 0;
    uint32_t m_inputs = 0;
    int m_constants = 0;  // registers below this are read from the uniforms
    std::vector<std::string> m_pads;  // texm3x pad results waiting for their last row
};

std::string Translator::reg(DWORD token, int offset)
{
    const DWORD type = registerType(token);
    const int n = static_cast<int>(registerNumber(token)) + offset;
    if (!pixel()) {
        switch (type) {
        case REG_TEMP: return format("r%d", n);
        case REG_INPUT: return (m_inputs & (1u << n)) ? format("aV%d", n) : "vec4(0.0, 0.0, 0.0, 1.0)";
        case REG_CONST:
            if (isRelative(token)) {
                m_relative = true;
                m_constants = MAX_VS_CONSTANTS;
                return format("vsConst(a0 + %d)", n);
            }
            if (n >= MAX_VS_CONSTANTS) return "vec4(0.0)";
            if (m_defined[n]) return format("cDef%d", n);
            m_constants = std::max(m_constants, n + 1);
            return format("uVSConst[%d]", n);
        default: return "vec4(0.0)";
        }
    }
    switch (type) {
    case REG_TEMP: return format("r%d", n);
    case REG_INPUT: return format("v%d", n);
    case REG_CONST:
        if (m_defined[n]) return format("cDef%d", n);
        m_constants = std::max(m_constants, n + 1);
        return format("clamp(uPSConst[%d], -1.0, 1.0)", n);
    case REG_TEXTURE: return m_p.model == PS_1_4 ? format("vTex%d", n) : format("t%d", n);
    default: return "vec4(0.0)";
    }
}

std::string Translator::source(DWORD token, int offset)
{
    std::string x = reg(token, offset);
    const DWORD swz = swizzle(token);
    if (swz != SWIZZLE_IDENTITY) {
        x += '.';
        for (int c = 0; c < 4; ++c) x += COMPONENTS[swizzleComponent(token, c)];
    }
    switch (sourceModifier(token)) {
    case SRC_NEG: return "(-" + x + ")";
    case SRC_BIAS: return "(" + x + " - 0.5)";
    case SRC_BIASNEG: return "(0.5 - " + x + ")";
    case SRC_SIGN: return "(" + x + " * 2.0 - 1.0)";
    case SRC_SIGNNEG: return "(1.0 - " + x + " * 2.0)";
    case SRC_COMP: return "(1.0 - " + x + ")";
    case SRC_X2: return "(" + x + " * 2.0)";
    case SRC_X2NEG: return "(" + x + " * -2.0)";
    case SRC_DZ: return "projectBy(" + x + ", (" + x + ").z)";
    case SRC_DW: return "projectBy(" + x + ", (" + x + ").w)";
    default: return x;
    }
}

std::string Translator::destName(DWORD token) const
{
    const int n = static_cast<int>(registerNumber(token));
    switch (registerType(token)) {
    case REG_TEMP: return format("r%d", n);
    case REG_RASTOUT: return n == 0 ? "oPos" : n == 1 ? "oFog" : "oPts";
    case REG_ATTROUT: return format("oD%d", n);
    case REG_TEXCRDOUT: return format("oT%d", n);
    case REG_TEXTURE: return format("t%d", n);  // pixel models before 1.4; a0 is written apart
    default: return "unused";
    }
}

void Translator::result(const Instruction& in, int index, const std::string& expr, bool clampRange)
{
    const std::string value = format("s%d", index);
    std::string e = expr;
    if (pixel()) {
        const int shift = shiftScale(in.dest);
        static const char* const scales[] = {"0.125", "0.25", "0.5", "", "2.0", "4.0", "8.0"};
        if (shift != 0) e = "(" + e + ") * " + scales[shift + 3];
        if (resultModifier(in.dest) & DEST_SATURATE)
            e = "clamp(" + e + ", 0.0, 1.0)";
        else if (clampRange)
            e = std::string("clamp(") + e + (m_p.model == PS_1_4 ? ", -8.0, 8.0)" : ", -1.0, 1.0)");
    }
    m_body += "    vec4 " + value + " = " + e + ";\n";
    if (!pixel() && registerType(in.dest) == REG_ADDR) {
        m_pending.push_back("    a0 = int(floor(" + value + ".x + 0.5));\n");  // rounded to nearest
        return;
    }
    const DWORD mask = writeMask(in.dest);
    const std::string name = destName(in.dest);
    if (mask == 0xF) {
        m_pending.push_back("    " + name + " = " + value + ";\n");
    } else {
        const std::string letters = maskLetters(mask);
        m_pending.push_back("    " + name + "." + letters + " = " + value + "." + letters + ";\n");
    }
}

void Translator::flush()
{
    for (const std::string& s : m_pending) m_body += s;
    m_pending.clear();
}

// The instructions both kinds of shader share; empty for any other.
std::string Translator::arithmetic(const Instruction& in)
{
    auto s = [&](int k) { return source(in.sources[k]); };
    switch (in.opcode) {
    case OP_MOV: return s(0);
    case OP_ADD: return s(0) + " + " + s(1);
    case OP_SUB: return s(0) + " - " + s(1);
    case OP_MUL: return s(0) + " * " + s(1);
    case OP_MAD: return s(0) + " * " + s(1) + " + " + s(2);
    case OP_DP3: return "vec4(dot(" + s(0) + ".xyz, " + s(1) + ".xyz))";
    case OP_DP4: return "vec4(dot(" + s(0) + ", " + s(1) + "))";
    default: return "";
    }
}

void Translator::vertexInstruction(const Instruction& in, int i)
{
    auto s = [&](int k, int offset = 0) { return source(in.sources[k], offset); };
    auto scalar = [&](int k) { return s(k) + ".x"; };  // the replicated component, x without one
    // Matrix macros: one dot product per row register.
    auto rows = [&](bool three, int count) {
        std::string e = "vec4(";
        for (int r = 0; r < 4; ++r) {
            if (r) e += ", ";
            if (r >= count)
                e += "0.0";
            else if (three)
                e += "dot(" + s(0) + ".xyz, " + s(1, r) + ".xyz)";
            else
                e += "dot(" + s(0) + ", " + s(1, r) + ")";
        }
        return e + ")";
    };
    switch (in.opcode) {
    case OP_NOP: case OP_DCL: case OP_DEF: return;
    case OP_RCP: return result(in, i, "vec4(reciprocal(" + scalar(0) + "))", false);
    case OP_RSQ: return result(in, i, "vec4(reciprocalRoot(" + scalar(0) + "))", false);
    case OP_MIN: return result(in, i, "min(" + s(0) + ", " + s(1) + ")", false);
    case OP_MAX: return result(in, i, "max(" + s(0) + ", " + s(1) + ")", false);
    case OP_SLT: return result(in, i, "vec4(lessThan(" + s(0) + ", " + s(1) + "))", false);
    case OP_SGE: return result(in, i, "vec4(greaterThanEqual(" + s(0) + ", " + s(1) + "))", false);
    case OP_EXP: return result(in, i, "vec4(exp2(" + scalar(0) + "))", false);
    case OP_LOG: return result(in, i, "vec4(logarithm(" + scalar(0) + "))", false);
    case OP_EXPP: return result(in, i, "expPartial(" + scalar(0) + ")", false);
    case OP_LOGP: return result(in, i, "logPartial(" + scalar(0) + ")", false);
    case OP_LIT: return result(in, i, "lighting(" + s(0) + ")", false);
    case OP_DST: return result(in, i, "vec4(1.0, " + s(0) + ".y * " + s(1) + ".y, " + s(0) + ".z, " + s(1) + ".w)", false);
    case OP_FRC: return result(in, i, "fract(" + s(0) + ")", false);
    case OP_M4x4: return result(in, i, rows(false, 4), false);
    case OP_M4x3: return result(in, i, rows(false, 3), false);
    case OP_M3x4: return result(in, i, rows(true, 4), false);
    case OP_M3x3: return result(in, i, rows(true, 3), false);
    case OP_M3x2: return result(in, i, rows(true, 2), false);
    default: return;
    }
}

void Translator::pixelInstruction(const Instruction& in, int i)
{
    auto s = [&](int k) { return source(in.sources[k]); };
    const int n = static_cast<int>(registerNumber(in.dest));
    const bool newer = m_p.model == PS_1_4;
    const std::string coord = format("vTex%d", n);
    const std::string t = format("t%d", n);
    auto write = [&](const std::string& e) { m_body += "    " + t + " = " + e + ";\n"; };
    auto rowDot = [&](const std::string& src) { return "dot(" + coord + ".xyz, " + src + ".xyz)"; };
    switch (in.opcode) {
    case OP_NOP: case OP_DEF: case OP_PHASE: return;
    case OP_LRP: return result(in, i, "mix(" + s(2) + ", " + s(1) + ", " + s(0) + ")", true);
    case OP_CND: return result(in, i, "mix(" + s(2) + ", " + s(1) + ", greaterThan(" + s(0) + ", vec4(0.5)))", true);
    case OP_CMP:
        return result(in, i, "mix(" + s(2) + ", " + s(1) + ", greaterThanEqual(" + s(0) + ", vec4(0.0)))", true);
    case OP_BEM: {
        m_bump = true;
        const std::string b = format("uBumpEnv[%d]", n);
        return result(in, i,
                      "vec4(" + s(0) + ".x + dot(" + s(1) + ".xy, " + b + ".xz), " + s(0) + ".y + dot(" + s(1) +
                          ".xy, " + b + ".yw), 0.0, 0.0)",
                      true);
    }
    case OP_TEXCOORD:
        if (newer) return result(in, i, s(0), false);
        return write("vec4(clamp(" + coord + ".xyz, 0.0, 1.0), 1.0)");
    case OP_TEX:
        if (newer) return result(in, i, sample(n, s(0) + ".xy"), false);
        return write(sample(n, projected(n, coord + ".xy")));
    case OP_TEXKILL: {
        const std::string x = (newer && registerType(in.dest) == REG_TEMP) ? format("r%d", n) : coord;
        m_body += "    if (any(lessThan(" + x + ".xyz, vec3(0.0)))) discard;\n";
        return;
    }
    case OP_TEXBEM: case OP_TEXBEML: {
        // The source's red and green, turned by the stage's bump matrix, move the coordinates
        // once they are projected.
        m_bump = true;
        const std::string d = s(0), b = format("uBumpEnv[%d]", n), l = format("uBumpLuminance[%d]", n);
        std::string e = sample(n, projected(n, coord + ".xy") + " + vec2(dot(" + d + ".xy, " + b + ".xz), dot(" + d +
                                      ".xy, " + b + ".yw))");
        if (in.opcode == OP_TEXBEML)
            e = "(" + e + ") * vec4(vec3(clamp(" + d + ".z * " + l + ".x + " + l + ".y, 0.0, 1.0)), 1.0)";
        return write(e);
    }
    case OP_TEXREG2AR: return write(sample(n, s(0) + ".wx"));
    case OP_TEXREG2GB: return write(sample(n, s(0) + ".yz"));
    case OP_TEXREG2RGB: return write(sample(n, s(0) + ".xy"));
    case OP_TEXM3x2PAD: case OP_TEXM3x3PAD: {
        const std::string pad = format("pad%d", i);
        m_body += "    float " + pad + " = " + rowDot(s(0)) + ";\n";
        m_pads.push_back(pad);
        return;
    }
    case OP_TEXM3x2TEX: case OP_TEXM3x2DEPTH: case OP_TEXM3x3: {
        std::string first = m_pads.size() >= 1 ? m_pads[m_pads.size() - 1] : "0.0";
        if (in.opcode == OP_TEXM3x3) {
            const std::string a = m_pads.size() >= 2 ? m_pads[m_pads.size() - 2] : "0.0";
            write("vec4(" + a + ", " + first + ", " + rowDot(s(0)) + ", 1.0)");
        } else if (in.opcode == OP_TEXM3x2TEX) {
            write(sample(n, "vec2(" + first + ", " + rowDot(s(0)) + ")"));
        } else {
            m_depth = true;
            const std::string w = format("w%d", i);
            m_body += "    float " + w + " = " + rowDot(s(0)) + ";\n";
            m_body += "    gl_FragDepth = " + w + " == 0.0 ? 1.0 : clamp(" + first + " / " + w + ", 0.0, 1.0);\n";
        }
        m_pads.clear();
        return;
    }
    case OP_TEXDP3TEX: return write(sample(n, "vec2(" + rowDot(s(0)) + ", 0.0)"));
    case OP_TEXDP3: return write("vec4(" + rowDot(s(0)) + ")");
    case OP_TEXDEPTH:
        m_depth = true;
        m_body += "    gl_FragDepth = r5.y == 0.0 ? 1.0 : clamp(r5.x / r5.y, 0.0, 1.0);\n";
        return;
    default: return;
    }
}

std::string Translator::run()
{
    // Definitions replace the constant registers they name for this shader only.
    std::string defs;
    for (const Instruction& in : m_p.instructions) {
        if (in.opcode == OP_DEF) {
            const int n = static_cast<int>(registerNumber(in.dest));
            if (n >= MAX_VS_CONSTANTS) continue;
            m_defined[n] = true;
            float v[4];
            std::memcpy(v, in.constant, sizeof(v));
            if (pixel())
                for (float& f : v) f = f < -1.0f ? -1.0f : f > 1.0f ? 1.0f : f;
            defs += format("const vec4 cDef%d = ", n) + constantVector(v) + ";\n";
        } else if (in.opcode == OP_DCL) {
            m_inputs |= 1u << registerNumber(in.dest);
        }
    }
    for (size_t i = 0; i < m_p.instructions.size(); ++i) {
        const Instruction& in = m_p.instructions[i];
        const std::string shared = arithmetic(in);
        if (!shared.empty())
            result(in, static_cast<int>(i), shared, pixel());
        else if (pixel())
            pixelInstruction(in, static_cast<int>(i));
        else
            vertexInstruction(in, static_cast<int>(i));
        const bool groupGoesOn = i + 1 < m_p.instructions.size() && m_p.instructions[i + 1].coissue;
        if (!groupGoesOn) flush();
    }
    flush();

    const char* interpolation = m_o.flatShade ? "flat " : "";
    std::string s = "#version 330 core\n";
    if (!pixel()) {
        for (int n = 0; n < 16; ++n)
            if (m_inputs & (1u << n)) s += format("layout(location = %d) in vec4 aV%d;\n", n, n);
        s += format("uniform vec4 uVSConst[%d];\n", MAX_VS_CONSTANTS);
        s += "uniform vec2 uHalfPixel;\nuniform float uFlipY;\n";
        s += std::string(interpolation) + "out vec4 vDiffuse;\n" + interpolation + "out vec4 vSpecular;\n";
        for (int n = 0; n < MAX_TEXCOORD_SETS; ++n) s += format("out vec4 vTex%d;\n", n);
        s += "out float vFogDistance;\n" + defs;
        s += "int a0 = 0;\n";
        if (m_relative) {
            s += "vec4 vsConst(int i)\n{\n";
            for (int n = 0; n < MAX_VS_CONSTANTS; ++n)
                if (m_defined[n]) s += format("    if (i == %d) return cDef%d;\n", n, n);
            s += format("    return i >= 0 && i < %d ? uVSConst[i] : vec4(0.0);\n}\n", MAX_VS_CONSTANTS);
        }
        // One is exact, zero gives the largest float (negated for the logarithm).
        s += "const float FLT_MAX = uintBitsToFloat(0x7F7FFFFFu);\n"
             "float reciprocal(float x) { return x == 0.0 ? FLT_MAX : x == 1.0 ? 1.0 : 1.0 / x; }\n"
             "float reciprocalRoot(float x) { return x == 0.0 ? FLT_MAX : x == 1.0 ? 1.0 : inversesqrt(abs(x)); }\n"
             "float logarithm(float x) { return x == 0.0 ? -FLT_MAX : log2(abs(x)); }\n"
             "vec4 expPartial(float x) { return vec4(exp2(floor(x)), fract(x), exp2(x), 1.0); }\n"
             "vec4 logPartial(float x)\n{\n"
             "    float a = abs(x);\n"
             "    if (a == 0.0) return vec4(-FLT_MAX, 1.0, -FLT_MAX, 1.0);\n"
             "    float e = floor(log2(a));\n"
             "    return vec4(e, a / exp2(e), log2(a), 1.0);\n}\n"
             "vec4 lighting(vec4 s)\n{\n"
             "    vec4 d = vec4(1.0, 0.0, 0.0, 1.0);\n"
             "    if (s.x > 0.0) {\n"
             "        d.y = s.x;\n"
             "        if (s.y > 0.0) d.z = pow(s.y, clamp(s.w, -128.0, 128.0));\n"
             "    }\n"
             "    return d;\n}\n"
             "void main()\n{\n";
        for (int n = 0; n < 12; ++n) s += format("    vec4 r%d = vec4(0.0);\n", n);
        s += "    vec4 oPos = vec4(0.0, 0.0, 0.0, 1.0);\n"
             "    vec4 oFog = vec4(1.0);\n"
             "    vec4 oPts = vec4(0.0);\n"
             "    vec4 oD0 = vec4(1.0);\n"
             "    vec4 oD1 = vec4(0.0);\n";
        for (int n = 0; n < MAX_TEXCOORD_SETS; ++n) s += format("    vec4 oT%d = vec4(0.0, 0.0, 0.0, 1.0);\n", n);
        s += m_body;
        // Direct3D clip space (z from 0 to w, pixel centres on whole numbers) as GL has it.
        s += "    vec4 c = oPos;\n"
             "    c.xy += uHalfPixel * c.w;\n"
             "    c.z = c.z * 2.0 - c.w;\n"
             "    gl_Position = vec4(c.x, c.y * uFlipY, c.zw);\n"
             "    vDiffuse = clamp(oD0, 0.0, 1.0);\n"
             "    vSpecular = clamp(oD1, 0.0, 1.0);\n";
        for (int n = 0; n < MAX_TEXCOORD_SETS; ++n) s += format("    vTex%d = oT%d;\n", n, n);
        s += m_o.fogFromDepth ? "    vFogDistance = oPos.w;\n" : "    vFogDistance = oFog.x;\n";
        s += "}\n";
        return s;
    }
    s += "in float vFogDistance;\n";
    s += std::string(interpolation) + "in vec4 vDiffuse;\n" + interpolation + "in vec4 vSpecular;\n";
    for (int n = 0; n < MAX_TEXCOORD_SETS; ++n) s += format("in vec4 vTex%d;\n", n);
    for (int n = 0; n < MAX_STAGES; ++n)
        if (m_samplers & (1u << n)) s += format("uniform sampler2D uTex%d;\n", n);
    s += format("uniform vec4 uPSConst[%d];\n", MAX_PS_CONSTANTS);
    if (m_bump) s += format("uniform vec4 uBumpEnv[%d];\nuniform vec2 uBumpLuminance[%d];\n", MAX_STAGES, MAX_STAGES);
    s += "uniform vec4 uFogColor;\n"
         "uniform vec3 uFogParams;\n"
         "uniform float uAlphaRef;\n"
         "out vec4 fragColor;\n" +
         defs +
         "vec2 dividedBy(vec2 v, float d) { return d == 0.0 ? vec2(1.0) : v / d; }\n"
         "vec4 projectBy(vec4 v, float d) { return vec4(dividedBy(v.xy, d), v.zw); }\n"
         "void main()\n{\n"
         "    vec4 v0 = vDiffuse;\n"
         "    vec4 v1 = vSpecular;\n";
    for (int n = 0; n < 6; ++n) s += format("    vec4 r%d = vec4(0.0);\n    vec4 t%d = vec4(0.0);\n", n, n);
    if (m_depth) s += "    gl_FragDepth = gl_FragCoord.z;\n";
    s += m_body;
    s += "    vec4 cur = r0;\n" + generateFragmentTail(m_o.tail) + "}\n";
    return s;
}

}  // namespace

bool shaderRunnable(const uint32_t* tokens, size_t count, std::string& why)
{
    Program program;
    if (!readProgram(tokens, count, program, why)) return false;
    for (const Instruction& in : program.instructions)
        if (needsCube(in.opcode)) {
            why = "texm3x3tex, texm3x3spec and texm3x3vspec need cube textures, which are not drawn";
            return false;
        }
    return true;
}

bool translateShader(const uint32_t* tokens, size_t count, const ShaderOptions& options, std::string& glsl,
                     std::string& why, int* constantsRead)
{
    if (!shaderRunnable(tokens, count, why)) return false;
    Program program;
    readProgram(tokens, count, program, why);
    Translator translator(program, options);
    glsl = translator.run();
    if (constantsRead) *constantsRead = translator.constants();
    return true;
}

}  // namespace d3d9gl
