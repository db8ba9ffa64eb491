// CIniManager: binds program variables to typed keys of settings files.
//
//   [Game]
//   variableUpdateTime = <int> 33 : 0 : 100   // limits are recorded, never applied
//   playerName = <string> "Some One"
//
// Register each variable first, then load: every registered variable that a file names takes the
// file's value; the others keep theirs. The first file that supplies a key wins. The manager also
// keeps what it read as a tree of sections and items until it is freed.
#pragma once

#include <cstddef>
#include <cstdint>

// A loaded item's value, bound to the registered variable.
class CIniValue {
public:
    virtual ~CIniValue() {}
    virtual int getType() const = 0;
    virtual void* getAddress() const = 0;
};

class CIniIntValue : public CIniValue {
public:
    explicit CIniIntValue(int32_t* pVariable) : d_pVariable(pVariable) {}
    int getType() const override;
    void* getAddress() const override { return d_pVariable; }

    bool d_hasLower = false;
    bool d_hasUpper = false;
    int32_t d_lower = 0;
    int32_t d_upper = 0;

private:
    int32_t* d_pVariable;
};

class CIniManager {
public:
    enum { INI_INT = 1, INI_FLOAT = 2, INI_STRING = 3, INI_CHAR = 4 };
    static constexpr size_t MAX_SECTION_NAME = 255;
    static constexpr size_t MAX_ITEM_TEXT = 1023;  // item names and values

    struct Item {
        char* pName;
        CIniValue* pValue;
        Item* pNext;
    };
    struct Section {
        char* pName;
        Item* pItems;  // in the order read
        Section* pNext;
    };

    CIniManager();
    ~CIniManager();
    CIniManager(const CIniManager&) = delete;
    CIniManager& operator=(const CIniManager&) = delete;

    // Binds a variable (int32_t, float, a char buffer of capacity bytes, or a char) to a key.
    // Section names are matched without regard to case, but a section registered under other
    // capitals is refused. A second registration of a key keeps the first and still succeeds.
    // capacity is needed for INI_STRING only; longer values are cut to fit.
    bool registerItem(const char* section, const char* item, void* pVariable, int type, size_t capacity = 0);
    template <size_t N>
    bool registerString(const char* section, const char* item, char (&buffer)[N])
    {
        return registerItem(section, item, buffer, INI_STRING, N);
    }

    // True when the file could be read, even when some lines were unusable (see getErrorFlag).
    bool loadFile(const char* fileName);
    void freeAll();

    // Set by the last load when a line could not be used.
    bool getErrorFlag() const { return m_error; }
    // The code of the last load's failed open (CFile::LastError), for the caller's report.
    uint32_t getOpenError() const { return m_openError; }
    // When the last load set the error flag, says so in the run log: one report for the file,
    // however many of its lines were skipped, or that nothing of it was read when text stood before
    // its first section. what names the kind of file ahead of its name.
    void reportSkippedLines(const char* fileName, const char* what = "") const;
    const Section* getSections() const { return m_pSections; }
    const Section* findSection(const char* name) const;  // exact name
    static const Item* findItem(const Section* section, const char* name);  // exact name

private:
    struct ItemReg;
    struct SectionReg;

    SectionReg* findSectionReg(const char* name) const;
    Section* findTreeSection(const char* name, bool ignoreCase) const;
    void readItems(const char*& p, Section* section, const char* sectionName);
    void addUnfilledItems();

    SectionReg* m_pRegistrations;
    Section* m_pSections;
    bool m_error;
    bool m_nothingRead;  // the last load stopped at text before the first section
    uint32_t m_openError = 0;
};
