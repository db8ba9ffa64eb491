#include "textdatabase/TextDatabase.h"

#include "textdatabase/TextConversion.h"
#include "utility/Assert.h"
#include "winfile/File.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

llist* pDatabases = nullptr;

const WCHAR* findChar(const WCHAR* text, WCHAR c)
{
    for (; *text; ++text)
        if (*text == c) return text;
    return nullptr;
}

const WCHAR* findText(const WCHAR* text, const WCHAR* part)
{
    if (!*part) return text;
    for (; *text; ++text) {
        uint32_t i = 0;
        while (part[i] && text[i] == part[i]) ++i;
        if (!part[i]) return text;
    }
    return nullptr;
}

// The line as read, without its line end, for reports.
void printableLine(const char* line, char* out, size_t size)
{
    snprintf(out, size, "%s", line);
    size_t length = strlen(out);
    while (length && (out[length - 1] == '\n' || out[length - 1] == '\r')) out[--length] = 0;
}

}  // namespace

CTextDatabase::CTextDatabase(const char* TextIDString) : d_name{}, d_pIndex(nullptr), d_indexLength(0)
{
    snprintf(d_name, sizeof d_name, "%s", TextIDString);
}

CTextDatabase::~CTextDatabase() { Clear(); }

void CTextDatabase::Clear()
{
    for (d_entries.GotoHead(); d_entries.HasCurrent(); d_entries.GotoNext()) {
        auto* entry = static_cast<STextEntry*>(d_entries.GetCurrent());
        delete[] entry->pText;
        delete entry;
    }
    d_entries.RemoveAll();
    delete[] d_pIndex;
    d_pIndex = nullptr;
    d_indexLength = 0;
}

bool CTextDatabase::Load(const char* fileName)
{
    Clear();
    CFile file;
    if (!file.Open(fileName, FILE_MODE_READ)) {
        reportUnreadableFile(fileName, file.LastError());
        return false;
    }
    char line[TEXT_LINE_BUFFER];
    while (file.ReadLine(line, sizeof line)) ParseLine(line);
    file.Close();
    BuildIndex();
    return true;
}

void CTextDatabase::ParseLine(const char* line8)
{
    WCHAR line[TEXT_LINE_BUFFER];
    WCHAR id[MAX_TEXTID_STRING];
    asciiToUnicode(line8, line, TEXT_LINE_BUFFER);
    asciiToUnicode(d_name, id, MAX_TEXTID_STRING);
    if (!findText(line, id)) return;

    if (WCHAR* comment = const_cast<WCHAR*>(findText(line, u"//"))) *comment = 0;
    const WCHAR* underscore = findChar(line, u'_');
    if (!underscore) return;
    const WCHAR* numberStart = underscore + 1;

    char printable[TEXT_LINE_BUFFER];
    char message[TEXT_LINE_BUFFER + 128];
    const WCHAR* qpos = findChar(numberStart, u'"');
    if (!qpos) {
        printableLine(line8, printable, sizeof printable);
        snprintf(message, sizeof message, "Failed to find \" at the begining of line %s", printable);
        assertFailedMsg(message, "qpos!=NULL", __FILE__, __LINE__);
        return;
    }
    // The character before the quote separates the number from the text.
    const long dist = static_cast<long>(qpos - numberStart) - 1;
    if (dist >= 20) {
        assertFailedMsg("widstring too small.  Possible missing quote in text file", "dist <20", __FILE__, __LINE__);
        return;
    }
    if (dist > MAX_TEXTID_DIGITS) {
        printableLine(line8, printable, sizeof printable);
        snprintf(message, sizeof message, "Text number of more than %d digits in line %s", MAX_TEXTID_DIGITS,
                 printable);
        assertFailedMsg(message, "dist <= 4", __FILE__, __LINE__);
        return;
    }
    char widstring[MAX_TEXTID_STRING] = {};
    for (long i = 0; i < dist; ++i) widstring[i] = static_cast<char>(numberStart[i] & 0xFF);
    const int number = atoi(widstring);

    const WCHAR* text = qpos + 1;
    const WCHAR* q2pos = findChar(text, u'"');
    if (!q2pos) {
        snprintf(message, sizeof message, "Failed to find \" at the end of line %s_%d", d_name, number);
        assertFailedMsg(message, "q2pos!=NULL", __FILE__, __LINE__);
        return;
    }
    // Zero, negative or non-numeric numbers have no slot.
    if (number <= 0) return;
    AddEntry(text, static_cast<uint32_t>(q2pos - text), number);
}

void CTextDatabase::AddEntry(const WCHAR* text, uint32_t length, int number)
{
    WCHAR* String = new (std::nothrow) WCHAR[length + 1];
    if (!String) {
        assertFailedMsg("Empty string detected", "String!=NULL", __FILE__, __LINE__);
        return;
    }
    auto* entry = new (std::nothrow) STextEntry{String, number - 1};
    if (!VERIFY(entry != NULL)) {
        delete[] String;
        return;
    }
    memcpy(entry->pText, text, length * sizeof(WCHAR));
    entry->pText[length] = 0;
    const uint32_t before = d_entries.getNumItems();
    d_entries.GotoTail();
    if (d_entries.InsertAfterGetElement(entry, nullptr) == before) {
        delete[] entry->pText;
        delete entry;
    }
}

void CTextDatabase::BuildIndex()
{
    int largest = 0;
    for (d_entries.GotoHead(); d_entries.HasCurrent(); d_entries.GotoNext()) {
        const auto* entry = static_cast<STextEntry*>(d_entries.GetCurrent());
        if (entry->index + 1 > largest) largest = entry->index + 1;
    }
    if (largest == 0) return;
    d_pIndex = new (std::nothrow) STextEntry*[largest]();
    if (!VERIFY(d_pIndex != NULL)) return;
    d_indexLength = largest;
    for (d_entries.GotoHead(); d_entries.HasCurrent(); d_entries.GotoNext()) {
        auto* entry = static_cast<STextEntry*>(d_entries.GetCurrent());
        d_pIndex[entry->index] = entry;
    }
}

const WCHAR* CTextDatabase::GetText(int number) const
{
    if (number <= 0 || number > d_indexLength || !d_pIndex) return nullptr;
    const STextEntry* entry = d_pIndex[number - 1];
    return entry ? entry->pText : nullptr;
}

bool CTextDatabase::FindID(const WCHAR* text, int* number) const
{
    if (!VERIFY(text)) return false;
    // The list's cursor moves, but the entries do not change.
    llist& entries = const_cast<llist&>(d_entries);
    for (entries.GotoHead(); entries.HasCurrent(); entries.GotoNext()) {
        const auto* entry = static_cast<STextEntry*>(entries.GetCurrent());
        const uint32_t length = unicodeLength(entry->pText);
        uint32_t i = 0;
        while (i < length && text[i] == entry->pText[i]) ++i;
        if (i == length) {
            if (number) *number = entry->index + 1;
            return true;
        }
    }
    return false;
}

CTextDatabase* findTextDatabase(const char* TextIDString)
{
    if (!TextIDString || !pDatabases) return nullptr;
    for (pDatabases->GotoHead(); pDatabases->HasCurrent(); pDatabases->GotoNext()) {
        auto* database = static_cast<CTextDatabase*>(pDatabases->GetCurrent());
        if (strcmp(database->GetName(), TextIDString) == 0) return database;
    }
    return nullptr;
}

bool createTextDatabase(const char* fileName, const char* TextIDString)
{
    if (!VERIFY(fileName) || !VERIFY(TextIDString)) return false;
    if (strlen(TextIDString) >= MAX_TEXTID_STRING) {
        assertFailedMsg("TextIDString too long to process line", "strlen( TextIDString) < 20", __FILE__, __LINE__);
        return false;
    }
    removeTextDatabase(TextIDString);
    if (!pDatabases) pDatabases = new llist;
    auto* database = new CTextDatabase(TextIDString);
    const uint32_t before = pDatabases->getNumItems();
    pDatabases->GotoTail();
    if (pDatabases->InsertAfterGetElement(database, nullptr) == before) {
        delete database;
        return false;
    }
    return database->Load(fileName);
}

void removeTextDatabase(const char* TextIDString)
{
    CTextDatabase* database = findTextDatabase(TextIDString);
    if (!database) return;
    pDatabases->RemoveCurrent();  // the search leaves the match current
    delete database;
}

void removeAllTextDatabases()
{
    if (!pDatabases) return;
    for (pDatabases->GotoHead(); pDatabases->HasCurrent(); pDatabases->GotoNext())
        delete static_cast<CTextDatabase*>(pDatabases->GetCurrent());
    delete pDatabases;
    pDatabases = nullptr;
}

const WCHAR* getText(const char* TextIDString, int number)
{
    const CTextDatabase* database = findTextDatabase(TextIDString);
    return database ? database->GetText(number) : nullptr;
}

bool findTextID(const char* TextIDString, const WCHAR* text, int* number)
{
    const CTextDatabase* database = findTextDatabase(TextIDString);
    return database && database->FindID(text, number);
}
