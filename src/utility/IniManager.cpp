#include "utility/IniManager.h"

#include "platform/win32.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"
#include "utility/TextChars.h"
#include "winfile/File.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>

struct CIniManager::ItemReg {
    void* pVariable;
    int type;
    size_t capacity;
    char* pName;
    ItemReg* pNext;
};

struct CIniManager::SectionReg {
    char* pName;
    ItemReg* pItems;
    SectionReg* pNext;
};

namespace {

// Float, string and char values: nothing beyond the type and the variable.
class CIniPlainValue : public CIniValue {
public:
    CIniPlainValue(int type, void* pVariable) : d_type(type), d_pVariable(pVariable) {}
    int getType() const override { return d_type; }
    void* getAddress() const override { return d_pVariable; }

private:
    int d_type;
    void* d_pVariable;
};

char* copyString(const char* text, size_t length)
{
    char* copy = new (std::nothrow) char[length + 1];
    if (!copy) return nullptr;
    memcpy(copy, text, length);
    copy[length] = 0;
    return copy;
}

inline bool isIdent(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '+' || c == '.';
}
inline bool endsItemName(char c)
{
    return c == 0 || c == '=' || c == ' ' || c == '\t' || c == ':' || c == '\r' || c == '\n';
}

const char* skipSpace(const char* p)
{
    while (isBlank(*p)) ++p;
    return p;
}

// Past the next LF and any LFs straight after it.
const char* skipLine(const char* p)
{
    while (*p && *p != '\n') ++p;
    while (*p == '\n') ++p;
    return p;
}

const char* identRun(const char* p)
{
    while (isIdent(*p)) ++p;
    return p;
}

// A limit counts only when it is an optional sign and decimal digits.
bool readLimit(const char* start, const char* end, int32_t* pValue)
{
    const char* p = start;
    if (p < end && (*p == '-' || *p == '+')) ++p;
    if (p == end) return false;
    for (const char* q = p; q < end; ++q)
        if (*q < '0' || *q > '9') return false;
    char text[32];
    const size_t length = static_cast<size_t>(end - start);
    if (length >= sizeof text) return false;
    memcpy(text, start, length);
    text[length] = 0;
    *pValue = atoi(text);
    return true;
}

CIniValue* makeValue(int type, void* pVariable)
{
    if (type == CIniManager::INI_INT) return new (std::nothrow) CIniIntValue(static_cast<int32_t*>(pVariable));
    return new (std::nothrow) CIniPlainValue(type, pVariable);
}

}  // namespace

int CIniIntValue::getType() const { return CIniManager::INI_INT; }

CIniManager::CIniManager() : m_pRegistrations(nullptr), m_pSections(nullptr), m_error(false), m_nothingRead(false)
{
}

CIniManager::~CIniManager() { freeAll(); }

void CIniManager::freeAll()
{
    while (m_pRegistrations) {
        SectionReg* reg = m_pRegistrations;
        m_pRegistrations = reg->pNext;
        while (reg->pItems) {
            ItemReg* item = reg->pItems;
            reg->pItems = item->pNext;
            delete[] item->pName;
            delete item;
        }
        delete[] reg->pName;
        delete reg;
    }
    while (m_pSections) {
        Section* section = m_pSections;
        m_pSections = section->pNext;
        while (section->pItems) {
            Item* item = section->pItems;
            section->pItems = item->pNext;
            delete item->pValue;
            delete[] item->pName;
            delete item;
        }
        delete[] section->pName;
        delete section;
    }
}

bool CIniManager::registerItem(const char* section, const char* item, void* pVariable, int type, size_t capacity)
{
    if (!VERIFY(section && item && pVariable)) return false;
    if (!VERIFY(type >= INI_INT && type <= INI_CHAR)) return false;
    if (type == INI_STRING && !VERIFY(capacity > 0)) return false;

    SectionReg* reg = m_pRegistrations;
    while (reg && stricmp(reg->pName, section) != 0) reg = reg->pNext;
    if (reg && strcmp(reg->pName, section) != 0) return false;
    if (!reg) {
        reg = new (std::nothrow) SectionReg{copyString(section, strlen(section)), nullptr, m_pRegistrations};
        if (!reg || !reg->pName) {
            delete reg;
            return false;
        }
        m_pRegistrations = reg;
    }

    for (ItemReg* existing = reg->pItems; existing; existing = existing->pNext)
        if (stricmp(existing->pName, item) == 0) return true;
    ItemReg* newItem =
        new (std::nothrow) ItemReg{pVariable, type, capacity, copyString(item, strlen(item)), reg->pItems};
    if (!newItem || !newItem->pName) {
        delete newItem;
        return false;
    }
    reg->pItems = newItem;
    return true;
}

CIniManager::SectionReg* CIniManager::findSectionReg(const char* name) const
{
    for (SectionReg* reg = m_pRegistrations; reg; reg = reg->pNext)
        if (strcmp(reg->pName, name) == 0) return reg;
    return nullptr;
}

CIniManager::Section* CIniManager::findTreeSection(const char* name, bool ignoreCase) const
{
    for (Section* section = m_pSections; section; section = section->pNext)
        if ((ignoreCase ? stricmp(section->pName, name) : strcmp(section->pName, name)) == 0) return section;
    return nullptr;
}

const CIniManager::Section* CIniManager::findSection(const char* name) const { return findTreeSection(name, false); }

const CIniManager::Item* CIniManager::findItem(const Section* section, const char* name)
{
    for (const Item* item = section ? section->pItems : nullptr; item; item = item->pNext)
        if (strcmp(item->pName, name) == 0) return item;
    return nullptr;
}

bool CIniManager::loadFile(const char* fileName)
{
    m_error = m_nothingRead = false;
    std::optional<ReadingFile> reading;
    if (fileName) reading.emplace(fileName);
    CFile file;
    const bool opened = fileName && file.Open(fileName, FILE_MODE_READ);
    m_openError = opened || !fileName ? 0 : file.LastError();
    if (opened) {
        const std::unique_ptr<char[]> text = readWholeFile(file, nullptr);
        if (!text) return false;
        file.Close();

        const char* p = skipSpace(skipByteOrderMark(text.get()));
        while (*p) {
            // Only the first header can be missed: items are read up to the next one.
            if (*p != '[') {
                m_error = m_nothingRead = true;
                break;
            }
            p = skipSpace(p + 1);
            const char* name = p;
            p = identRun(p);
            const size_t nameLength = static_cast<size_t>(p - name);
            p = skipLine(p);
            char* sectionName = nameLength <= MAX_SECTION_NAME ? copyString(name, nameLength) : nullptr;
            if (!sectionName) {
                // Too long to be a section: its items go nowhere.
                m_error = true;
                readItems(p, nullptr, nullptr);
                continue;
            }
            Section* section = findTreeSection(sectionName, true);
            const bool created = section == nullptr;
            if (created) {
                section = new (std::nothrow) Section{sectionName, nullptr, nullptr};
                if (!VERIFY(section)) {
                    delete[] sectionName;
                    break;
                }
                Section** end = &m_pSections;
                while (*end) end = &(*end)->pNext;
                *end = section;
            }
            readItems(p, section, sectionName);
            if (created) {
                SectionReg* reg = findSectionReg(sectionName);
                if (reg && !reg->pItems) {
                    SectionReg** link = &m_pRegistrations;
                    while (*link != reg) link = &(*link)->pNext;
                    *link = reg->pNext;
                    delete[] reg->pName;
                    delete reg;
                }
            } else {
                delete[] sectionName;
            }
        }
    }
    addUnfilledItems();
    return opened;
}

void CIniManager::reportSkippedLines(const char* fileName, const char* what) const
{
    if (!m_error || !fileName) return;
    // Said as about this file even when another file being read has made its report.
    ReadingFile reading(fileName);
    writeRunLog(concatStrings(what, fileName,
                              m_nothingRead ? ": text before the first section; nothing of the file was read"
                                            : ": lines that could not be read were skipped"));
}

void CIniManager::readItems(const char*& p, Section* section, const char* sectionName)
{
    static const struct {
        const char* tag;
        int type;
    } tags[] = {{"<int>", INI_INT}, {"<float>", INI_FLOAT}, {"<string>", INI_STRING}, {"<char>", INI_CHAR}};

    for (;;) {
        p = skipSpace(p);
        if (*p == 0 || *p == '[') return;
        const char* lineStart = p;
        auto broken = [&] {
            m_error = true;
            p = skipLine(lineStart);
        };
        if (!section) {
            p = skipLine(p);
            continue;
        }

        const char* name = p;
        while (!endsItemName(*p)) ++p;
        const size_t nameLength = static_cast<size_t>(p - name);
        p = skipSpace(p);
        if (nameLength == 0 || nameLength > MAX_ITEM_TEXT || *p != '=') {
            broken();
            continue;
        }
        p = skipSpace(p + 1);
        int type = 0;
        for (const auto& t : tags)
            if (strnicmp(p, t.tag, strlen(t.tag)) == 0) type = t.type;
        if (!type) {
            broken();
            continue;
        }
        p = strchr(p, '>') + 1;

        char itemName[MAX_ITEM_TEXT + 1];
        memcpy(itemName, name, nameLength);
        itemName[nameLength] = 0;
        bool duplicate = false;
        for (Item* item = section->pItems; item && !duplicate; item = item->pNext)
            duplicate = stricmp(item->pName, itemName) == 0;
        if (duplicate) {
            broken();
            continue;
        }

        SectionReg* reg = findSectionReg(sectionName);
        ItemReg** link = reg ? &reg->pItems : nullptr;
        while (link && *link && strcmp((*link)->pName, itemName) != 0) link = &(*link)->pNext;
        if (!link || !*link) {
            p = skipLine(p);
            continue;
        }
        ItemReg* itemReg = *link;
        if (itemReg->type != type) {
            // The variable was registered as another type: writing this one could overrun it.
            broken();
            continue;
        }

        const char* afterTag = p;
        p = skipSpace(p);
        const char* value = p;
        size_t valueLength;
        if (!isIdent(*p) && *p != '"') {
            // An empty value: stay on this line rather than skip the next one.
            p = value = afterTag;
            valueLength = 0;
        } else if (*p == '"') {
            value = ++p;
            while (*p && *p != '"' && *p != '\n') ++p;
            valueLength = static_cast<size_t>(p - value);
            if (*p == '"') ++p;  // an unclosed quote ends at its LF, which still ends the line
        } else {
            p = identRun(p);
            valueLength = static_cast<size_t>(p - value);
        }
        if (valueLength > MAX_ITEM_TEXT) {
            broken();
            continue;
        }
        char valueText[MAX_ITEM_TEXT + 1];
        memcpy(valueText, value, valueLength);
        valueText[valueLength] = 0;

        CIniValue* pValue = makeValue(type, itemReg->pVariable);
        char* pName = copyString(itemName, nameLength);
        Item* item = pValue && pName ? new (std::nothrow) Item{pName, pValue, nullptr} : nullptr;
        if (!VERIFY(item)) {
            delete pValue;
            delete[] pName;
            p = skipLine(p);
            continue;
        }

        bool resumeOnLine = false;
        switch (type) {
        case INI_INT: {
            *static_cast<int32_t*>(itemReg->pVariable) = atoi(valueText);
            CIniIntValue* intValue = static_cast<CIniIntValue*>(pValue);
            const char* q = skipSpace(p);
            if (*q == ':') {
                q = skipSpace(q + 1);
                const char* limit = q;
                q = identRun(q);
                intValue->d_hasLower = readLimit(limit, q, &intValue->d_lower);
                q = skipSpace(q);
                if (*q == ':') {
                    q = skipSpace(q + 1);
                    limit = q;
                    q = identRun(q);
                    intValue->d_hasUpper = readLimit(limit, q, &intValue->d_upper);
                }
                p = q;
            } else {
                resumeOnLine = true;
            }
            break;
        }
        case INI_FLOAT: *static_cast<float*>(itemReg->pVariable) = static_cast<float>(atof(valueText)); break;
        case INI_STRING: {
            const size_t length = valueLength < itemReg->capacity ? valueLength : itemReg->capacity - 1;
            memcpy(itemReg->pVariable, valueText, length);
            static_cast<char*>(itemReg->pVariable)[length] = 0;
            break;
        }
        case INI_CHAR: *static_cast<char*>(itemReg->pVariable) = valueText[0]; break;
        }

        Item** end = &section->pItems;
        while (*end) end = &(*end)->pNext;
        *end = item;
        *link = itemReg->pNext;
        delete[] itemReg->pName;
        delete itemReg;

        if (!resumeOnLine) p = skipLine(p);
    }
}

void CIniManager::addUnfilledItems()
{
    for (SectionReg* reg = m_pRegistrations; reg; reg = reg->pNext) {
        for (ItemReg* itemReg = reg->pItems; itemReg; itemReg = itemReg->pNext) {
            Section* section = findTreeSection(reg->pName, false);
            if (!section) {
                char* name = copyString(reg->pName, strlen(reg->pName));
                section = name ? new (std::nothrow) Section{name, nullptr, m_pSections} : nullptr;
                if (!VERIFY(section)) {
                    delete[] name;
                    return;
                }
                m_pSections = section;
            }
            if (findItem(section, itemReg->pName)) continue;
            CIniValue* pValue = makeValue(itemReg->type, itemReg->pVariable);
            char* pName = copyString(itemReg->pName, strlen(itemReg->pName));
            Item* item = pValue && pName ? new (std::nothrow) Item{pName, pValue, nullptr} : nullptr;
            if (!VERIFY(item)) {
                delete pValue;
                delete[] pName;
                return;
            }
            Item** end = &section->pItems;
            while (*end) end = &(*end)->pNext;
            *end = item;
        }
    }
}
