#include "l3render/ModelClassManager.h"

#include "platform/win32.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"
#include "winfile/File.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>
#include <strings.h>

namespace {

const char* const ERROR_TITLE = "ModelClassManager error";

struct ClassTables {
    char* pNameBuffer = nullptr;
    char* pNextName = nullptr;
    CModelClass* pClasses[CModelClassManager::MAX_MODEL_CLASSES] = {};
    const char** ppElementNames = nullptr;
    uint32_t totalElements = 0;
    uint16_t numClasses = 0;
    uint32_t defaultClassId = 0;
    bool initialised = false;
};
ClassTables g;

void errorBox(const char* text) { MessageBoxA(nullptr, text, ERROR_TITLE, MB_OK); }

// A copy in the name buffer, or null (reported) when the buffer has too little room left for any
// name a line can give.
const char* storeName(const char* name)
{
    const char* pNameBuffer = g.pNameBuffer;
    const char* pNextName = g.pNextName;
    const ptrdiff_t NAME_BUFFER_SIZE = CModelClassManager::NAME_BUFFER_SIZE;
    if (!VERIFY(((pNextName - pNameBuffer) + 129) < NAME_BUFFER_SIZE)) return nullptr;
    const size_t length = std::strlen(name) + 1;
    std::memcpy(g.pNextName, name, length);
    const char* stored = g.pNextName;
    g.pNextName += length;
    return stored;
}

CModelClass* addClass(const char* name)
{
    const char* stored = storeName(name);
    if (!stored) return nullptr;
    CModelClass* pClass = new (std::nothrow) CModelClass();
    if (!pClass) {
        errorBox(g.numClasses == 0 ? "Failed to allocate default class" : "Failed to allocate new class");
        return nullptr;
    }
    pClass->m_id = g.numClasses;
    pClass->m_pName = stored;
    pClass->m_ppElementNames = g.ppElementNames + g.totalElements;
    g.pClasses[g.numClasses++] = pClass;
    return pClass;
}

void dropClasses()
{
    for (uint16_t i = 0; i < g.numClasses; ++i) delete g.pClasses[i];
    g.numClasses = 0;
    g.totalElements = 0;
    g.pNextName = g.pNameBuffer;
}

bool makeDefault()
{
    CModelClass* pDefault = addClass("default");
    if (!pDefault) return false;
    g.defaultClassId = pDefault->m_id;
    return true;
}

int32_t findClass(const char* name)
{
    for (uint16_t i = 0; i < g.numClasses; ++i)
        if (strcasecmp(g.pClasses[i]->m_pName, name) == 0) return i;
    return -1;
}

// The first token from p: leading blanks and tabs skipped; it ends at a blank, tab, CR or LF outside
// double quotes, which are dropped; at most MAX_TOKEN characters are kept.
void readToken(const char* p, char (&token)[CModelClassManager::MAX_TOKEN + 1])
{
    while (*p == ' ' || *p == '\t') ++p;
    uint32_t n = 0;
    bool quoted = false;
    for (; *p; ++p) {
        const char c = *p;
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) break;
        if (n < CModelClassManager::MAX_TOKEN) token[n++] = c;
    }
    token[n] = 0;
}

// One line of at most LINE_SIZE - 1 bytes, lower-cased and cut at ';'. The rest of a longer line
// is skipped, so that it never reads as a line of its own.
bool readClassLine(CFile& file, char (&line)[CModelClassManager::LINE_SIZE])
{
    uint32_t count = 0;
    if (!file.ReadLine(line, sizeof line, &count)) return false;
    if (count == sizeof line - 1 && line[count - 1] != '\n') {
        char rest[CModelClassManager::LINE_SIZE];
        uint32_t more = 0;
        while (file.ReadLine(rest, sizeof rest, &more) && more == sizeof rest - 1 && rest[more - 1] != '\n') {
        }
    }
    for (char* c = line; *c; ++c) {
        if (*c == ';') {
            *c = 0;
            break;
        }
        *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    }
    return true;
}

}  // namespace

// ---- CModelClass ----

bool CModelClass::FindElement(const char* name, uint32_t* pIndex) const
{
    for (uint32_t i = 0; i < m_numElements; ++i)
        if (strcasecmp(m_ppElementNames[i], name) == 0) {
            *pIndex = i;
            return true;
        }
    return false;
}

// ---- CModelClassManager ----

bool CModelClassManager::Init()
{
    if (g.initialised) Shutdown();
    g.pNameBuffer = new (std::nothrow) char[NAME_BUFFER_SIZE];
    g.ppElementNames = new (std::nothrow) const char*[MAX_MODEL_ELEMENTS]();
    if (!g.pNameBuffer || !g.ppElementNames) {
        errorBox("Failed to allocate default class");
        Shutdown();
        return false;
    }
    g.pNextName = g.pNameBuffer;
    g.initialised = true;
    if (!makeDefault()) {
        Shutdown();
        return false;
    }
    return true;
}

void CModelClassManager::Shutdown()
{
    dropClasses();
    delete[] g.pNameBuffer;
    delete[] g.ppElementNames;
    g = ClassTables();
}

void CModelClassManager::Reset()
{
    if (!VERIFY(g.initialised)) return;
    dropClasses();
    makeDefault();
}

bool CModelClassManager::FindClassId(const char* name, uint32_t* pId, bool load)
{
    if (!g.initialised || !name) return false;
    int32_t id = findClass(name);
    if (id < 0 && load && LoadClassFile(name)) id = findClass(name);
    if (id < 0) return false;
    *pId = static_cast<uint32_t>(id);
    return true;
}

bool CModelClassManager::ClassFilePath(const char* name, char* path, size_t size)
{
    const int length = std::snprintf(path, size, "data\\classdef\\%s.def", name);
    return length >= 0 && static_cast<size_t>(length) < size;
}

bool CModelClassManager::LoadClassFile(const char* name)
{
    if (!g.initialised) return false;
    char path[MAX_PATH];
    if (!ClassFilePath(name, path, sizeof path) || fileFailedThisRun(path)) return false;
    ReadingFile reading(path);
    CFile file;
    if (!file.Open(path, FILE_MODE_READ | FILE_MODE_BUFFERED)) {
        reportUnreadableFile(path, file.LastError());
        return false;
    }
    ReadClasses(file);
    return true;
}

void CModelClassManager::ReadClasses(CFile& file)
{
    if (!g.initialised) return;
    enum { OUTSIDE, NAMED, LISTING, SKIPPING } state = OUTSIDE;
    CModelClass* pClass = nullptr;
    char line[LINE_SIZE];
    char token[MAX_TOKEN + 1];
    while (readClassLine(file, line)) {
        if (state == LISTING || state == SKIPPING) {
            if (std::strchr(line, '}')) {
                state = OUTSIDE;
                pClass = nullptr;
                continue;
            }
            if (state == SKIPPING) continue;
            readToken(line, token);
            const char* stored = storeName(token);
            if (!stored) return;  // the class keeps the names it has
            uint32_t& totalElements = g.totalElements;
            g.ppElementNames[totalElements++] = stored;
            ++pClass->m_numElements;
            // The table is full: the class closes with this name.
            if (!VERIFY(totalElements < MAX_MODEL_ELEMENTS)) return;
            continue;
        }
        if (std::strchr(line, '{')) {
            // A list with no class line before it belongs to nothing.
            state = VERIFY(pClass) ? LISTING : SKIPPING;
            continue;
        }
        char* found = std::strstr(line, "class");
        if (!found) continue;
        if (!VERIFY(pClass == NULL)) continue;  // the first class line stands
        if (g.numClasses >= MAX_MODEL_CLASSES) {
            errorBox("Too many model classes\nIncrease MAX_MODEL_CLASSES");
            return;
        }
        const size_t at = static_cast<size_t>(found - line);
        readToken(at + 6 <= std::strlen(line) ? found + 6 : line + std::strlen(line), token);
        if (findClass(token) >= 0) {
            errorBox("Duplicate class name");
            return;
        }
        pClass = addClass(token);
        if (!pClass) return;
        state = NAMED;
    }
}

const CModelClass* CModelClassManager::GetClass(uint32_t id)
{
    return id < g.numClasses ? g.pClasses[id] : nullptr;
}

uint32_t CModelClassManager::GetNumClasses() { return g.numClasses; }
uint32_t CModelClassManager::GetDefaultClassId() { return g.defaultClassId; }
uint32_t CModelClassManager::GetTotalElements() { return g.totalElements; }
bool CModelClassManager::IsInitialised() { return g.initialised; }
