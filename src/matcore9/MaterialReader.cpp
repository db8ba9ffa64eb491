#include "matcore9/MaterialReader.h"

#include "dxsetup9/DXSetup.h"
#include "matcore9/MatCore.h"
#include "utility/Assert.h"
#include "winfile/File.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* const KEYWORD_SEPARATORS = " \t\r\n";
const char* const VALUE_SEPARATORS = " \t\r\n,";
const char* const PARAM_WORDS[] = {"Command", "Argument", "Number"};

bool isComment(const char* p) { return p[0] == ';' || (p[0] == '/' && p[1] == '/'); }

// The next token of p split at the separators, copied bounded into out; p moves past it.
void takeToken(const char*& p, const char* separators, char* out, size_t size)
{
    p += std::strspn(p, separators);
    size_t n = std::strcspn(p, separators);
    const size_t kept = n < size - 1 ? n : size - 1;
    std::memcpy(out, p, kept);
    out[kept] = 0;
    p += n;
}

void lower(char* s)
{
    for (; *s; ++s) *s = static_cast<char>(std::tolower(static_cast<unsigned char>(*s)));
}

bool only(const char* s, const char* allowed)
{
    if (!*s) return false;
    for (; *s; ++s)
        if (!std::strchr(allowed, *s)) return false;
    return true;
}

}  // namespace

std::string MaterialFolder(const char* fileName)
{
    const char* slash = fileName ? std::strrchr(fileName, '\\') : nullptr;
    return slash ? std::string(fileName, static_cast<size_t>(slash - fileName) + 1) : std::string();
}

MaterialReader::MaterialReader(CFile& file, const char* fileName)
    : m_file(file), m_fileName(fileName ? fileName : "")
{
    m_line[0] = m_keyword[0] = m_token[0] = 0;
}

bool MaterialReader::ReadLine()
{
    if (!m_file.ReadLine(m_line, sizeof m_line)) return false;
    ++m_lineNumber;
    // A line too long for the buffer keeps its first part; the rest is no line of its own.
    if (!std::strchr(m_line, '\n') && std::strlen(m_line) == sizeof m_line - 1) {
        char rest[MATERIAL_LINE_SIZE];
        while (m_file.ReadLine(rest, sizeof rest) && !std::strchr(rest, '\n') && std::strlen(rest) == sizeof rest - 1) {
        }
    }
    return true;
}

bool MaterialReader::Next()
{
    while (ReadLine()) {
        const char* p = m_line;
        takeToken(p, KEYWORD_SEPARATORS, m_token, sizeof m_token);
        if (!m_token[0] || isComment(m_token)) continue;
        std::strcpy(m_keyword, m_token);
        lower(m_keyword);
        m_rest = p;
        if (std::strcmp(m_keyword, "#endif") == 0) continue;
        if (std::strcmp(m_keyword, "#if") != 0) return true;
        char word[MATERIAL_LINE_SIZE];
        takeToken(p, VALUE_SEPARATORS, word, sizeof word);
        lower(word);
        if (std::strcmp(word, "pc") == 0) continue;
        if (std::strcmp(word, "xbox") != 0) {
            ParameterError(PARAM_NUMBER);
            return false;
        }
        while (ReadLine()) {
            const char* q = m_line;
            char first[MATERIAL_LINE_SIZE];
            takeToken(q, KEYWORD_SEPARATORS, first, sizeof first);
            lower(first);
            if (std::strcmp(first, "#endif") == 0) break;
        }
    }
    return false;
}

bool MaterialReader::Is(const char* keyword) const { return std::strcmp(m_keyword, keyword) == 0; }

std::string MaterialReader::NextToken()
{
    m_rest += std::strspn(m_rest, VALUE_SEPARATORS);
    if (isComment(m_rest)) m_rest += std::strlen(m_rest);
    char token[MATERIAL_LINE_SIZE];
    takeToken(m_rest, VALUE_SEPARATORS, token, sizeof token);
    return token;
}

bool MaterialReader::AtEnd()
{
    m_rest += std::strspn(m_rest, VALUE_SEPARATORS);
    return !*m_rest || isComment(m_rest);
}

void MaterialReader::ParameterError(ParamKind kind)
{
    char text[2 * MATERIAL_LINE_SIZE + 128];
    std::snprintf(text, sizeof text, "Invalid %s Parameter for %s at line %u in \n%s", PARAM_WORDS[kind], m_token,
                  m_lineNumber, m_fileName);
    assertFailedMsg(text, "false", __FILE__, __LINE__);
    Failed = true;
}

void MaterialReader::UnknownKeyword()
{
    char text[2 * MATERIAL_LINE_SIZE + 128];
    std::snprintf(text, sizeof text, "Unrecognised keyword \"%s\" at line %u in %s", m_token, m_lineNumber,
                  m_fileName);
    MatCore.FatalError(text);
}

bool MaterialReader::Integer(DWORD* value, DWORD min, DWORD max)
{
    const std::string token = NextToken();
    errno = 0;
    const unsigned long long v = only(token.c_str(), "0123456789") ? std::strtoull(token.c_str(), nullptr, 10) : 0;
    if (!only(token.c_str(), "0123456789") || errno == ERANGE || v < min || v > max) {
        ParameterError(PARAM_NUMBER);
        return false;
    }
    *value = static_cast<DWORD>(v);
    return true;
}

bool MaterialReader::Float(float* value)
{
    const std::string token = NextToken();
    char* end = nullptr;
    const float v = std::strtof(token.c_str(), &end);
    if (!only(token.c_str(), "0123456789-.") || !std::strpbrk(token.c_str(), "0123456789") || *end) {
        ParameterError(PARAM_NUMBER);
        return false;
    }
    *value = v;
    return true;
}

bool MaterialReader::String(std::string* value, bool required)
{
    *value = NextToken();
    if (required && value->empty()) {
        ParameterError(PARAM_NUMBER);
        return false;
    }
    return true;
}

bool MaterialReader::NameValue(int32_t table, DWORD* value, DWORD max)
{
    DWORD v = 0;
    const bool parsed = MatCore.ParseValue(table, m_rest, &v);
    m_rest += std::strlen(m_rest);
    if (!parsed) {
        ParameterError(PARAM_ARGUMENT);
        return false;
    }
    if (v > max) {
        ParameterError(PARAM_NUMBER);
        return false;
    }
    *value = v;
    return true;
}

bool MaterialReader::Bool(BYTE* value)
{
    DWORD v = 0;
    if (!NameValue(MAP_BOOL, &v, 1)) return false;
    *value = static_cast<BYTE>(v);
    return true;
}

bool MaterialReader::StateName(int32_t table, DWORD* state, const MapEntry** entry)
{
    std::string word = NextToken();
    lower(word.data());
    DWORD s = 0;
    const MapEntry* e = nullptr;
    if (MatCore.FindMapping(table, word.c_str(), &s))
        e = table == MAP_RENDERSTATES ? MatCore.FindRenderStateMapping(s) : MatCore.FindStageStateMapping(s);
    if (!e) {
        ParameterError(PARAM_COMMAND);
        return false;
    }
    *state = s;
    *entry = e;
    return true;
}

bool MaterialReader::TextureFormat(DWORD* format, bool* end)
{
    const std::string token = NextToken();
    *end = token.empty();
    if (*end) return false;
    if (strcasecmp(token.c_str(), "pal") == 0) {
        *format = D3DFMT_P8;
    } else if (token[0] == 'l' || token[0] == 'L') {
        *format = 0;
    } else if (!only(token.c_str(), "0123456789")) {
        if (token.size() != 4) {
            ParameterError(PARAM_ARGUMENT);
            return false;
        }
        // The four characters as written, first in the low byte (DXT1 -> 0x31545844).
        *format = MAKEFOURCC(token[0], token[1], token[2], token[3]);
    } else {
        if (token.size() < 3 || token.size() > 4) {
            ParameterError(PARAM_NUMBER);
            return false;
        }
        *format = FormatFromBitCode(static_cast<DWORD>(std::strtoul(token.c_str(), nullptr, 10)), false);
    }
    return true;
}
