// Text databases: the game's translatable texts (radio messages, HUD texts, sound file names by
// number) as numbered UTF-16 strings, loaded from 8-bit text files of lines such as
//   COMSTEXTID_12 "Hello" // greeting
// Each database is named by its ID string, which also marks its lines in the file. Databases live
// in one global list; the list element pool must exist while any database does.
#pragma once

#include "platform/win32.h"
#include "utility/LList.h"

#include <cstdint>

// ID strings are shorter than this.
const uint32_t MAX_TEXTID_STRING = 20;
// Numbers run from 1 to 9999.
const int MAX_TEXTID_DIGITS = 4;
// Lines are read into a buffer of this size (line end included).
const uint32_t TEXT_LINE_BUFFER = 512;

struct STextEntry {
    WCHAR* pText;  // owned, NUL-terminated
    int index;     // number - 1
};

class CTextDatabase {
public:
    explicit CTextDatabase(const char* TextIDString);
    ~CTextDatabase();
    CTextDatabase(const CTextDatabase&) = delete;
    CTextDatabase& operator=(const CTextDatabase&) = delete;

    // Reads the file's entries and builds the index; false (and no entries) when it cannot be opened.
    bool Load(const char* fileName);
    // Null for 0, above the largest number, or a number no line gave. Of two lines with one number
    // the later is found.
    const WCHAR* GetText(int number) const;
    // The number of the first entry in file order whose text begins the given text.
    bool FindID(const WCHAR* text, int* number) const;

    const char* GetName() const { return d_name; }
    int GetMaxID() const { return d_indexLength; }
    uint32_t GetNumEntries() const { return d_entries.getNumItems(); }

private:
    void ParseLine(const char* line);
    void AddEntry(const WCHAR* text, uint32_t length, int number);
    void BuildIndex();
    void Clear();

    char d_name[MAX_TEXTID_STRING];
    llist d_entries;  // STextEntry*, in file order
    STextEntry** d_pIndex;
    int d_indexLength;
};

// Replaces any database of that name with one loaded from the file. An ID string of 20 characters or
// more is refused (false, nothing created); a file that cannot be opened leaves the new database
// empty (false).
bool createTextDatabase(const char* fileName, const char* TextIDString);
void removeTextDatabase(const char* TextIDString);
void removeAllTextDatabases();
// The database of that exact (case-sensitive) name, or null.
CTextDatabase* findTextDatabase(const char* TextIDString);
// Null for an unknown database or a number without text.
const WCHAR* getText(const char* TextIDString, int number);
bool findTextID(const char* TextIDString, const WCHAR* text, int* number);
