// MaterialReader: the lexical rules that material, multi-material and texture-animation files
// share. Lines of at most 512 bytes (a longer line keeps its first 511 and loses the rest), a
// first token split at blank, tab, CR or LF and compared lower-cased, ';' and '//' lines skipped,
// "#if PC" read and "#if XBOX" skipped up to "#endif". Values are taken from the rest of the line
// in order; a value that is missing or ill-formed is reported as a parameter error naming the
// keyword, the line and the file, and the reader is marked Failed.
//
//   MaterialReader in(file, "data\\a.mtl");
//   while (in.Next()) {
//       if (in.Is("passes")) { DWORD n; if (!in.Integer(&n, 1, 3)) return false; ... }
//   }
//   if (in.Failed) ...   // a bad "#if" ends the file early
#pragma once

#include "platform/d3d9.h"

#include <cstdint>
#include <string>

class CFile;
struct MapEntry;

const uint32_t MATERIAL_LINE_SIZE = 512;

class MaterialReader {
public:
    enum ParamKind { PARAM_COMMAND, PARAM_ARGUMENT, PARAM_NUMBER };

    MaterialReader(CFile& file, const char* fileName);

    // The next line that holds a keyword; false at the end of the file or after a bad "#if".
    bool Next();
    bool Is(const char* keyword) const;
    const char* Keyword() const { return m_keyword; }  // lower-cased
    const char* Token() const { return m_token; }      // as written
    uint32_t Line() const { return m_lineNumber; }
    const char* FileName() const { return m_fileName; }

    // Values, each false after its report. Integers are decimal digits only, checked against
    // min..max; floats digits, '-' and '.'; a required string must not be empty.
    bool Integer(DWORD* value, DWORD min = 0, DWORD max = 0xFFFFFFFFu);
    bool Float(float* value);
    bool String(std::string* value, bool required = true);
    // The rest of the line as a name value of the table (words, numbers, '|'), at most max.
    bool NameValue(int32_t table, DWORD* value, DWORD max = 0xFFFFFFFFu);
    bool Bool(BYTE* value);
    // A render-state (MAP_RENDERSTATES) or stage-state (MAP_STAGESTATES) name.
    bool StateName(int32_t table, DWORD* state, const MapEntry** entry);
    // The next texture format word; false at the end of the line (no report) or after a report.
    bool TextureFormat(DWORD* format, bool* end);
    // The next raw token of the rest (separators blank, tab, CR, LF, comma); empty at the end or
    // at a comment.
    std::string NextToken();
    bool AtEnd();

    void ParameterError(ParamKind kind);
    // Unrecognised keyword "..." at line .. in ..: fatal.
    [[noreturn]] void UnknownKeyword();

    bool Failed = false;

private:
    bool ReadLine();

    CFile& m_file;
    const char* m_fileName;
    char m_line[MATERIAL_LINE_SIZE];
    char m_keyword[MATERIAL_LINE_SIZE];
    char m_token[MATERIAL_LINE_SIZE];
    const char* m_rest = "";
    uint32_t m_lineNumber = 0;
};

// Everything up to and including the last backslash of a file name; empty when there is none.
std::string MaterialFolder(const char* fileName);
