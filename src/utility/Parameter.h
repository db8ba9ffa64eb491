// CParameter: one entry of a block file - either a value line (CActualParameter) or a child block
// (CParamBlock). Entries own nothing outside themselves and are deleted through this base.
#pragma once

#include <cstddef>
#include <cstdint>

class CWriteBuffer;

class CParameter {
public:
    enum { PARAMETER_ACTUAL = 0, PARAMETER_BLOCK = 1 };
    static constexpr uint32_t MAX_NAME = 32;  // characters, not counting the terminator

    CParameter() : d_name{} {}
    virtual ~CParameter() {}
    CParameter(const CParameter&) = delete;
    CParameter& operator=(const CParameter&) = delete;

    virtual int getType() const = 0;
    // A deep copy; null when memory ran out.
    virtual CParameter* clone() const = 0;
    // Appends the entry's text at the given indent level. False when a flush to the file failed.
    virtual bool write(CWriteBuffer& buffer, int level, bool indent) const = 0;

    const char* getName() const { return d_name; }
    // Copies at most MAX_NAME characters of the name.
    void setName(const char* name, size_t length);
    void setName(const char* name);

    // Entry names are compared over at most MAX_NAME characters without regard to case.
    static bool namesMatch(const char* a, const char* b);

protected:
    char d_name[MAX_NAME + 1];
};
