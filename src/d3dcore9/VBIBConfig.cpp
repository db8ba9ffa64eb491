// data\VBIBConfig.txt: sizes of the dynamic index buffer and of the dynamic vertex buffers per
// vertex format, read at every device creation.
#include "d3dcore9/D3DCore.h"

#include "utility/Assert.h"
#include "utility/RunLog.h"
#include "winfile/File.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

const char* const VBIB_FILE = "data\\VBIBConfig.txt";
const uint32_t LINE_SIZE = 512;
const char* const SEPARATORS = " \t\r\n";

struct Component {
    const char* Name;
    DWORD Bits;
};
const Component COMPONENTS[] = {
    {"xyz", D3DFVF_XYZ},       {"xyzrhw", D3DFVF_XYZRHW},     {"xyzb1", D3DFVF_XYZB1},   {"xyzb2", D3DFVF_XYZB2},
    {"xyzb3", D3DFVF_XYZB3},   {"xyzb4", D3DFVF_XYZB4},       {"xyzb5", D3DFVF_XYZB5},   {"normal", D3DFVF_NORMAL},
    {"diffuse", D3DFVF_DIFFUSE}, {"specular", D3DFVF_SPECULAR}, {"tex0", D3DFVF_TEX0},   {"tex1", D3DFVF_TEX1},
    {"tex2", D3DFVF_TEX2},     {"tex3", D3DFVF_TEX3},         {"tex4", D3DFVF_TEX4},     {"tex5", D3DFVF_TEX5},
    {"tex6", D3DFVF_TEX6},     {"tex7", D3DFVF_TEX7},         {"tex8", D3DFVF_TEX8},
};

// A decimal size, or -1 when the token is not one or is out of range.
long long parseSize(const char* token)
{
    if (!token) return -1;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(token, &end, 10);
    if (end == token || errno == ERANGE) return -1;
    return v;
}

// Components OR-ed; an unknown one is reported and adds nothing.
DWORD parseFVF(const char* description)
{
    DWORD fvf = 0;
    char copy[LINE_SIZE];
    std::strncpy(copy, description, sizeof(copy) - 1);
    copy[sizeof(copy) - 1] = 0;
    char* save = nullptr;
    for (char* comp = strtok_r(copy, "|", &save); comp; comp = strtok_r(nullptr, "|", &save)) {
        bool OK = false;
        for (const Component& c : COMPONENTS)
            if (std::strcmp(comp, c.Name) == 0) {
                fvf |= c.Bits;
                OK = true;
            }
        if (!OK)
            assertFailedMsg(concatStrings("Illegal FVF component <", comp, "> in <", description, "> in <", VBIB_FILE),
                            "OK", __FILE__, __LINE__);
    }
    return fvf;
}

// A failed check with the expression the report names.
bool check(bool ok, const char* message, const char* expression)
{
    if (!ok) assertFailedMsg(message, expression, __FILE__, __LINE__);
    return ok;
}

}  // namespace

void D3DCore::ReadVBIBConfig()
{
    DynamicIB9Size = DEFAULT_DYNAMIC_IB_SIZE;
    for (DynamicVBSize& e : DynamicVB9Size) e = DynamicVBSize{0, 0};

    ReadingFile reading(VBIB_FILE);
    CFile file;
    if (!file.Open(VBIB_FILE, FILE_MODE_READ | FILE_MODE_BUFFERED)) {
        reportUnreadableFile(VBIB_FILE, file.LastError());
        return;
    }
    char line[LINE_SIZE];
    bool applying = false;
    int32_t NextVB = 0;
    while (file.ReadLine(line, LINE_SIZE)) {
        char* save = nullptr;
        char* token = strtok_r(line, SEPARATORS, &save);
        if (!token || token[0] == ';' || (token[0] == '/' && token[1] == '/')) continue;
        if (std::strcmp(token, "[PC]") == 0) {
            applying = true;
            continue;
        }
        if (std::strcmp(token, "[XBOX]") == 0) {
            applying = false;
            continue;
        }
        if (!applying) continue;
        if (std::strcmp(token, "IB") == 0) {
            long long size = parseSize(strtok_r(nullptr, SEPARATORS, &save));
            // A size that cannot be used keeps the default.
            if (!check(size > 0 && size <= static_cast<long long>(MAX_DYNAMIC_BUFFER_SIZE),
                       concatStrings("Invalid DynamicIB size in <", VBIB_FILE, ">"), "DynamicIB9Size > 0"))
                continue;
            DynamicIB9Size = static_cast<DWORD>(size);
        } else if (std::strcmp(token, "VB") == 0) {
            if (!VERIFY_MSG(NextVB < MAXDYNAMICVERTEXBUFFERS,
                            concatStrings("Too many VBs in <", VBIB_FILE, "> increase MAXDYNAMICVERTEXBUFFERS")))
                continue;
            char* description = strtok_r(nullptr, SEPARATORS, &save);
            char* sizeToken = description ? strtok_r(nullptr, SEPARATORS, &save) : nullptr;
            if (!description) {
                assertFailedMsg(concatStrings("Illegal FVF <", "> in <", "", "> in <", VBIB_FILE), "D3DFormat != 0",
                                __FILE__, __LINE__);
                continue;
            }
            DWORD D3DFormat = parseFVF(description);
            if (!VERIFY_MSG(D3DFormat != 0,
                            concatStrings("Illegal FVF <", "> in <", description, "> in <", VBIB_FILE)))
                continue;
            long long size = parseSize(sizeToken);
            if (!check(size > 0 && size <= static_cast<long long>(MAX_DYNAMIC_BUFFER_SIZE),
                       concatStrings("Invalid DynamicVB <", description, "> size in <", VBIB_FILE, ">"),
                       "DynamicVB9Size[NextVB].Size > 0"))
                continue;
            DynamicVB9Size[NextVB].FVF = D3DFormat;
            DynamicVB9Size[NextVB].Size = static_cast<DWORD>(size);
            ++NextVB;
        }
    }
}
