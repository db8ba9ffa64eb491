// CActualParameter: a value line of a block file. The value keeps the text exactly as written after
// the name and its blanks (trailing comments and blanks included); the typed reads strip them.
#pragma once

#include "utility/Parameter.h"

class CActualParameter : public CParameter {
public:
    static constexpr uint32_t MAX_VALUE = 256;  // characters, not counting the terminator

    CActualParameter() : d_value{} {}
    CActualParameter(const char* name, const char* value);

    int getType() const override { return PARAMETER_ACTUAL; }
    CParameter* clone() const override;
    bool write(CWriteBuffer& buffer, int level, bool indent) const override;

    const char* getValue() const { return d_value; }
    // Copies at most MAX_VALUE characters.
    void setValue(const char* value, size_t length);
    void setValue(const char* value);

    // Typed reads of the value. Each leaves the destination alone when it fails.
    bool readInt(int* pOut) const;      // "%i": decimal, 0x hexadecimal, leading-0 octal
    bool readFloat(float* pOut) const;  // "%f"
    // count numbers, each after the next comma. False when one does not convert or is missing.
    bool readFloats(float* pOut, int count) const;
    // Length of the value up to the first "//", without trailing blanks and tabs.
    size_t strippedLength() const;

private:
    char d_value[MAX_VALUE + 1];
};
