// The shader assembler: vs_1_1 and ps_1_1 .. ps_1_4 source text to Direct3D 9 token streams.
#include "platform/d3dx9.h"

#include "d3d9/ShaderCode.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace d3d9shader;

namespace {

class Buffer final : public ID3DXBuffer {
public:
    explicit Buffer(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override
    {
        const ULONG left = --m_references;
        if (left == 0) delete this;
        return left;
    }
    void* GetBufferPointer() override { return m_bytes.data(); }
    DWORD GetBufferSize() override { return static_cast<DWORD>(m_bytes.size()); }

private:
    std::atomic<ULONG> m_references{1};
    std::vector<uint8_t> m_bytes;
};

std::string lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string trim(const std::string& s)
{
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

// Source lines with comments (";", "//" and "/* */") blanked, numbered from 1.
std::vector<std::string> statementLines(const char* source, size_t length)
{
    std::vector<std::string> lines(1);
    bool block = false;
    for (size_t i = 0; i < length && source[i]; ++i) {
        const char c = source[i];
        const char next = i + 1 < length ? source[i + 1] : 0;
        if (c == '\n') {
            lines.emplace_back();
            continue;
        }
        if (block) {
            if (c == '*' && next == '/') {
                block = false;
                ++i;
            }
            continue;
        }
        if (c == '/' && next == '*') {
            block = true;
            ++i;
            continue;
        }
        if (c == ';' || (c == '/' && next == '/')) {
            while (i + 1 < length && source[i + 1] && source[i + 1] != '\n') ++i;
            continue;
        }
        lines.back() += c == '\r' || c == '\t' ? ' ' : c;
    }
    return lines;
}

struct Failure {
    std::string what;
};

int componentIndex(char c)
{
    switch (c) {
    case 'x': case 'r': return 0;
    case 'y': case 'g': return 1;
    case 'z': case 'b': return 2;
    case 'w': case 'a': return 3;
    default: return -1;
    }
}

class Assembler {
public:
    bool run(const char* source, size_t length, std::vector<DWORD>& out, std::string& error);

private:
    void statement(const std::string& line);
    void version(const std::string& word);
    DWORD registerToken(std::string& text, bool dest, bool& relative);
    DWORD destination(const std::string& text, DWORD opcode);
    DWORD source(std::string text);
    float number(const std::string& text);
    [[noreturn]] void fail(const std::string& what) { throw Failure{what}; }

    bool m_haveVersion = false;
    Model m_model = VS_1_1;
    bool m_phase = false;
    std::vector<DWORD> m_tokens;
};

// "(line): error: text", the form the compiler's messages take.
std::string lineError(size_t line, const std::string& text)
{
    std::string message = "(";
    message += std::to_string(line);
    message += "): error: ";
    message += text;
    message += '\n';
    return message;
}

bool Assembler::run(const char* source, size_t length, std::vector<DWORD>& out, std::string& error)
{
    const std::vector<std::string> lines = statementLines(source, length);
    for (size_t n = 0; n < lines.size(); ++n) {
        try {
            statement(trim(lines[n]));
        } catch (const Failure& f) {
            error = lineError(n + 1, f.what);
            return false;
        }
    }
    if (!m_haveVersion) {
        error = lineError(lines.size(), "no shader version (vs.1.1, ps.1.1 .. ps.1.4)");
        return false;
    }
    m_tokens.push_back(END_TOKEN);
    out = m_tokens;
    return true;
}

void Assembler::version(const std::string& word)
{
    const std::string w = lower(word);
    static const struct {
        const char* dotted;
        const char* underscored;
        Model model;
    } versions[] = {{"vs.1.1", "vs_1_1", VS_1_1}, {"ps.1.1", "ps_1_1", PS_1_1}, {"ps.1.2", "ps_1_2", PS_1_2},
                    {"ps.1.3", "ps_1_3", PS_1_3}, {"ps.1.4", "ps_1_4", PS_1_4}};
    for (const auto& v : versions)
        if (w == v.dotted || w == v.underscored) {
            m_model = v.model;
            m_haveVersion = true;
            m_tokens.push_back(versionToken(v.model));
            return;
        }
    if (w.size() >= 2 && (w.compare(0, 2, "vs") == 0 || w.compare(0, 2, "ps") == 0))
        fail("shader version '" + word + "' is not supported (vs.1.1, ps.1.1 .. ps.1.4)");
    fail("shader version expected before '" + word + "'");
}

void Assembler::statement(const std::string& line)
{
    if (line.empty()) return;
    std::string rest = line;
    bool coissue = false;
    if (rest[0] == '+') {
        coissue = true;
        rest = trim(rest.substr(1));
    }
    size_t space = 0;
    while (space < rest.size() && !std::isspace(static_cast<unsigned char>(rest[space]))) ++space;
    const std::string word = rest.substr(0, space);
    rest = trim(rest.substr(space));
    if (!m_haveVersion) {
        if (coissue || !rest.empty()) fail("shader version expected before '" + line + "'");
        version(word);
        return;
    }
    const std::string mnemonic = lower(word);
    if (mnemonic.size() >= 2 && (mnemonic.compare(0, 3, "vs.") == 0 || mnemonic.compare(0, 3, "ps.") == 0 ||
                                 mnemonic.compare(0, 3, "vs_") == 0 || mnemonic.compare(0, 3, "ps_") == 0))
        fail("a second shader version");

    // The operands, split at commas.
    std::vector<std::string> operands;
    if (!rest.empty()) {
        size_t start = 0;
        for (;;) {
            const size_t comma = rest.find(',', start);
            operands.push_back(trim(rest.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
            if (operands.back().empty()) fail("an empty operand");
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
    }

    // The instruction's name and its modifiers ("mul_x2_sat", "dcl_texcoord1").
    std::string base = mnemonic, usageName;
    std::vector<std::string> modifiers;
    if (mnemonic.compare(0, 4, "dcl_") == 0) {
        base = "dcl";
        usageName = mnemonic.substr(4);
    } else {
        size_t underscore = mnemonic.find('_');
        if (underscore != std::string::npos) {
            base = mnemonic.substr(0, underscore);
            std::string mods = mnemonic.substr(underscore + 1);
            size_t start = 0;
            for (;;) {
                const size_t u = mods.find('_', start);
                modifiers.push_back(mods.substr(start, u == std::string::npos ? std::string::npos : u - start));
                if (u == std::string::npos) break;
                start = u + 1;
            }
        }
    }
    bool known = false;
    const InstructionInfo* info = findMnemonic(base, m_model, &known);
    if (!info) {
        if (known) fail("instruction '" + base + "' is not available in this shader version");
        fail("unknown instruction '" + word + "'");
    }
    const size_t wanted = static_cast<size_t>(info->dest + info->sources) + (info->opcode == OP_DEF ? 4 : 0);
    if (operands.size() != wanted)
        fail("'" + base + "' takes " + std::to_string(wanted) + " operand" + (wanted == 1 ? "" : "s") + ", not " +
             std::to_string(operands.size()));

    if (info->opcode == OP_PHASE) {
        if (m_phase) fail("a second phase");
        m_phase = true;
    }
    Instruction in;
    in.opcode = info->opcode;
    in.coissue = coissue;
    size_t next = 0;
    if (info->opcode == OP_DCL) {
        static const char* const usages[] = {"position", "blendweight", "blendindices", "normal", "psize",
                                             "texcoord", "tangent", "binormal", "tessfactor", "positiont",
                                             "color", "fog", "depth", "sample"};
        size_t digits = usageName.size();
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(usageName[digits - 1]))) --digits;
        const std::string name = usageName.substr(0, digits), index = usageName.substr(digits);
        DWORD usage = 0xFF;
        for (DWORD u = 0; u < sizeof(usages) / sizeof(usages[0]); ++u)
            if (name == usages[u]) usage = u;
        if (usage == 0xFF) fail("unknown declaration usage '" + usageName + "'");
        const unsigned long n = index.empty() ? 0 : std::strtoul(index.c_str(), nullptr, 10);
        if (index.size() > 2 || n > 15) fail("declaration index '" + index + "' is out of range (0..15)");
        in.declaration = PARAM_BIT | usage | (static_cast<DWORD>(n) << 16);
    } else {
        for (const std::string& m : modifiers) {
            if (!isPixel(m_model)) fail("instruction modifier '_" + m + "' in a vertex shader");
            if (m == "sat") {
                in.dest |= DEST_SATURATE << 20;
                continue;
            }
            static const struct {
                const char* name;
                int shift;
                bool newer;
            } shifts[] = {{"x2", 1, false}, {"x4", 2, false}, {"x8", 3, true},
                          {"d2", -1, false}, {"d4", -2, true}, {"d8", -3, true}};
            bool found = false;
            for (const auto& s : shifts)
                if (m == s.name) {
                    if (s.newer && m_model != PS_1_4) fail("instruction modifier '_" + m + "' needs ps.1.4");
                    if ((in.dest >> 24) & 0xF) fail("two result shifts");
                    in.dest |= static_cast<DWORD>(s.shift & 0xF) << 24;
                    found = true;
                }
            if (!found) fail("unknown instruction modifier '_" + m + "'");
        }
    }
    if (info->dest) in.dest |= destination(operands[next++], info->opcode);
    in.sourceCount = info->sources;
    for (int s = 0; s < in.sourceCount; ++s) in.sources[s] = source(operands[next++]);
    if (info->opcode == OP_DEF)
        for (float& value : in.constant) value = number(operands[next++]);

    std::string why;
    if (!checkInstruction(m_model, in, why)) fail("'" + base + "': " + why);
    m_tokens.push_back(in.opcode | (in.coissue ? COISSUE_BIT : 0));
    if (in.opcode == OP_DCL) m_tokens.push_back(in.declaration);
    if (info->dest) m_tokens.push_back(in.dest);
    for (int s = 0; s < in.sourceCount; ++s) m_tokens.push_back(in.sources[s]);
    if (in.opcode == OP_DEF)
        for (float value : in.constant) {
            DWORD bits;
            std::memcpy(&bits, &value, 4);
            m_tokens.push_back(bits);
        }
}

// Reads a register name at the front of text and removes it; the token has type and number.
DWORD Assembler::registerToken(std::string& text, bool dest, bool& relative)
{
    relative = false;
    const std::string t = lower(text);
    size_t used = 0;
    DWORD type = 0;
    unsigned long number = 0;
    auto digitsAt = [&](size_t at) {
        size_t end = at;
        while (end < t.size() && std::isdigit(static_cast<unsigned char>(t[end]))) ++end;
        if (end == at || end - at > 4) fail("a register number expected in '" + text + "'");
        number = std::strtoul(t.substr(at, end - at).c_str(), nullptr, 10);
        return end;
    };
    const bool vs = m_model == VS_1_1;
    if (vs && t.compare(0, 4, "opos") == 0) {
        type = REG_RASTOUT;
        number = 0;
        used = 4;
    } else if (vs && t.compare(0, 4, "ofog") == 0) {
        type = REG_RASTOUT;
        number = 1;
        used = 4;
    } else if (vs && t.compare(0, 4, "opts") == 0) {
        type = REG_RASTOUT;
        number = 2;
        used = 4;
    } else if (vs && t.compare(0, 2, "od") == 0) {
        type = REG_ATTROUT;
        used = digitsAt(2);
    } else if (vs && t.compare(0, 2, "ot") == 0) {
        type = REG_TEXCRDOUT;
        used = digitsAt(2);
    } else if (vs && t.compare(0, 2, "a0") == 0) {
        type = REG_ADDR;
        used = 2;
    } else if (vs && t.compare(0, 2, "c[") == 0) {
        // c[n], c[a0.x], c[a0.x + n] or c[n + a0.x]
        const size_t close = t.find(']');
        if (close == std::string::npos) fail("a ']' missing in '" + text + "'");
        std::string inside;
        for (size_t i = 2; i < close; ++i)
            if (!std::isspace(static_cast<unsigned char>(t[i]))) inside += t[i];
        long offset = 0;
        const size_t a = inside.find("a0.x");
        if (a != std::string::npos) {
            relative = true;
            std::string other = inside.substr(0, a) + inside.substr(a + 4);
            if (!other.empty() && other.front() == '+') other.erase(0, 1);
            if (!other.empty() && other.back() == '+') other.pop_back();
            if (!other.empty()) {
                char* end = nullptr;
                offset = std::strtol(other.c_str(), &end, 10);
                if (*end || other.find('+') != std::string::npos) fail("a bad relative address in '" + text + "'");
            }
        } else {
            char* end = nullptr;
            offset = std::strtol(inside.c_str(), &end, 10);
            if (inside.empty() || *end) fail("a bad constant index in '" + text + "'");
        }
        if (offset < 0 || offset > 0x7FF) fail("constant index out of range in '" + text + "'");
        type = REG_CONST;
        number = static_cast<unsigned long>(offset);
        used = close + 1;
    } else if (!t.empty() && (t[0] == 'r' || t[0] == 'v' || t[0] == 'c' || (!vs && t[0] == 't'))) {
        type = t[0] == 'r' ? REG_TEMP : t[0] == 'v' ? REG_INPUT : t[0] == 'c' ? REG_CONST : REG_TEXTURE;
        used = digitsAt(1);
    } else {
        fail("unknown register '" + text + "'");
    }
    // An o-register's name runs on only into its number: "oPosition" is not oPos.
    if (used < t.size() && std::isalnum(static_cast<unsigned char>(t[used]))) fail("unknown register '" + text + "'");
    DWORD limit = registerCount(m_model, type, dest);
    if (relative) limit = 0x800;
    if (dest && type == REG_CONST) limit = registerCount(m_model, type, false);  // def
    if (dest && type == REG_INPUT) limit = registerCount(m_model, type, false);  // dcl
    if (dest && !vs && type == REG_TEXTURE) limit = registerCount(m_model, type, false);
    if (number >= limit) fail("register '" + text.substr(0, used) + "' is out of range for this shader version");
    text.erase(0, used);
    return makeRegister(type, static_cast<DWORD>(number));
}

DWORD Assembler::destination(const std::string& operand, DWORD opcode)
{
    std::string text = operand;
    bool relative = false;
    DWORD token = registerToken(text, true, relative);
    if (relative) fail("a relative destination '" + operand + "'");
    const std::string t = lower(text);
    DWORD mask = 0xF;
    if (!t.empty()) {
        if (t[0] != '.' || t.size() < 2 || t.size() > 5) fail("a bad write mask in '" + operand + "'");
        mask = 0;
        int last = -1;
        for (size_t i = 1; i < t.size(); ++i) {
            const int c = componentIndex(t[i]);
            if (c < 0 || c <= last) fail("a bad write mask in '" + operand + "'");
            mask |= 1u << c;
            last = c;
        }
    }
    if (opcode == OP_DEF && mask != 0xF) fail("def writes all four components");
    return token | (mask << 16);
}

DWORD Assembler::source(std::string text)
{
    const std::string operand = text;
    bool negate = false, complement = false;
    if (!text.empty() && text[0] == '-') {
        negate = true;
        text = trim(text.substr(1));
    }
    if (text.size() > 1 && text[0] == '1') {
        const std::string after = trim(text.substr(1));
        if (after.empty() || after[0] != '-') fail("a bad source '" + operand + "'");
        complement = true;
        text = trim(after.substr(1));
    }
    bool relative = false;
    DWORD token = registerToken(text, false, relative);
    if (relative) token |= RELATIVE_BIT;
    std::string t = lower(text);
    std::string suffix;
    DWORD swz = SWIZZLE_IDENTITY;
    bool haveSwizzle = false;
    while (!t.empty()) {
        if (t[0] == '_') {
            size_t end = 1;
            while (end < t.size() && std::isalnum(static_cast<unsigned char>(t[end]))) ++end;
            if (!suffix.empty()) fail("two source modifiers in '" + operand + "'");
            suffix = t.substr(1, end - 1);
            t.erase(0, end);
        } else if (t[0] == '.') {
            size_t end = 1;
            while (end < t.size() && std::isalpha(static_cast<unsigned char>(t[end]))) ++end;
            const std::string letters = t.substr(1, end - 1);
            if (haveSwizzle || letters.empty() || letters.size() > 4) fail("a bad swizzle in '" + operand + "'");
            swz = 0;
            for (size_t i = 0; i < 4; ++i) {
                const int c = componentIndex(letters[std::min(i, letters.size() - 1)]);
                if (c < 0) fail("a bad swizzle in '" + operand + "'");
                swz |= static_cast<DWORD>(c) << (2 * i);
            }
            haveSwizzle = true;
            t.erase(0, end);
        } else {
            fail("unexpected '" + t + "' in '" + operand + "'");
        }
    }
    DWORD mod = SRC_NONE;
    if (suffix.empty())
        mod = negate ? SRC_NEG : SRC_NONE;
    else if (suffix == "bias")
        mod = negate ? SRC_BIASNEG : SRC_BIAS;
    else if (suffix == "bx2")
        mod = negate ? SRC_SIGNNEG : SRC_SIGN;
    else if (suffix == "x2")
        mod = negate ? SRC_X2NEG : SRC_X2;
    else if (suffix == "dz" || suffix == "db")
        mod = SRC_DZ;
    else if (suffix == "dw" || suffix == "da")
        mod = SRC_DW;
    else
        fail("unknown source modifier '_" + suffix + "' in '" + operand + "'");
    if ((mod == SRC_DZ || mod == SRC_DW) && negate) fail("a negated projection in '" + operand + "'");
    if (complement) {
        if (negate || !suffix.empty()) fail("'1 -' combined with another modifier in '" + operand + "'");
        mod = SRC_COMP;
    }
    if (m_model == VS_1_1 && mod > SRC_NEG) fail("source modifier in a vertex shader: '" + operand + "'");
    return token | (swz << 16) | (mod << 24);
}

float Assembler::number(const std::string& text)
{
    std::string t = text;
    if (!t.empty() && (t.back() == 'f' || t.back() == 'F')) t.pop_back();
    char* end = nullptr;
    const float value = std::strtof(t.c_str(), &end);
    if (t.empty() || *end || std::isspace(static_cast<unsigned char>(t[0]))) fail("a number expected, not '" + text + "'");
    return value;
}

LPD3DXBUFFER makeBuffer(const void* data, size_t size)
{
    const uint8_t* p = static_cast<const uint8_t*>(data);
    return new Buffer(std::vector<uint8_t>(p, p + size));
}

}  // namespace

HRESULT D3DXAssembleShader(LPCSTR source, UINT length, const D3DXMACRO* defines, LPD3DXINCLUDE, DWORD,
                           LPD3DXBUFFER* code, LPD3DXBUFFER* errors)
{
    if (code) *code = nullptr;
    if (errors) *errors = nullptr;
    if (!source || !code) return D3DERR_INVALIDCALL;
    std::string error;
    std::vector<DWORD> tokens;
    if (defines && defines[0].Name) {
        error = "(1): error: defines are not supported\n";
    } else {
        Assembler assembler;
        if (assembler.run(source, length, tokens, error)) {
            *code = makeBuffer(tokens.data(), tokens.size() * sizeof(DWORD));
            return D3D_OK;
        }
    }
    if (errors) *errors = makeBuffer(error.c_str(), error.size() + 1);
    return D3DXERR_INVALIDDATA;
}
