// CErrorStrings: the four start-up error texts of the chosen language.
#pragma once

class CErrorStrings {
public:
    static const int NUM_ERROR_STRINGS = 4;

    CErrorStrings();
    ~CErrorStrings();
    CErrorStrings(const CErrorStrings&) = delete;
    CErrorStrings& operator=(const CErrorStrings&) = delete;

    // Keeps a copy of the text (replacing the previous one); false for an index outside the table.
    bool set(int index, const char* text);
    // Null when the text was not loaded.
    const char* get(int index) const;

private:
    char* m_pStrings[NUM_ERROR_STRINGS];
};
