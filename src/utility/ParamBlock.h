// CParamBlock: a block of a block file - an optional name and its entries (value lines and child
// blocks) in file order. A block owns its entries. Values stay text and are converted on demand.
//
// Every lookup by name compares at most 32 characters without regard to case and takes the first
// entry in list order. The value and child-block counts are kept by the reader only: adding,
// setting and removing entries change the entry count alone.
#pragma once

#include "utility/ActualParameter.h"
#include "utility/Parameter.h"

#include <cstddef>
#include <cstdint>

struct paramNode {
    CParameter* pParam;
    paramNode* pNext;
};

class CParamBlock : public CParameter {
public:
    CParamBlock();
    explicit CParamBlock(const char* name);
    ~CParamBlock() override;

    int getType() const override { return PARAMETER_BLOCK; }
    // The copy keeps the entries' order and the counts.
    CParameter* clone() const override;
    CParamBlock* cloneBlock() const;
    bool write(CWriteBuffer& buffer, int level, bool indent) const override;

    // Lookups.
    bool findParameter(const char* name, CParameter** ppParam);
    bool findBlock(const char* name, CParamBlock** ppBlock) const;
    // The N-th child block (blocks only, from 0); false when N is not below the child-block count.
    bool getBlock(uint32_t n, CParamBlock** ppBlock) const;
    // The N-th entry of either kind; false past the end.
    bool getParameter(uint32_t n, CParameter** ppParam) const;

    // Typed reads of the first entry of that name, which must be a value entry. The destination
    // is left alone when a read fails.
    bool parseInt(const char* name, int* pOut) const;
    bool parseFloat(const char* name, float* pOut) const;
    // The value up to its first "//", without trailing blanks and tabs, cut to fit capacity
    // (terminator included).
    bool parseString(const char* name, char* pOut, size_t capacity) const;
    template <size_t N>
    bool parseString(const char* name, char (&out)[N]) const
    {
        return parseString(name, out, N);
    }
    // That length + 1; 0 when there is no such value entry.
    int parseStringGetSize(const char* name) const;
    bool parseVector(const char* name, float* pOut) const;   // 3 numbers
    bool parseVector4(const char* name, float* pOut) const;  // 4 numbers
    bool parseMatrix(const char* name, float* pOut) const;   // 9 numbers in the order written
    // Three angles in degrees, stored last first, in radians wrapped once into [-pi, pi].
    bool parseOrientation(const char* name, float* pOut) const;

    // Each appends a new value entry; false only when it cannot be allocated.
    bool addInt(const char* name, int value);
    bool addFloat(const char* name, float value);
    bool addString(const char* name, const char* value);
    bool addVector(const char* name, const float* values);  // 3 floats
    bool addMatrix(const char* name, const float* values);  // 9 floats
    // Appends an entry of either kind and takes ownership of it.
    bool addParameter(CParameter* pParam);

    // A value entry of that name is rewritten in place; a block of that name is deleted and a value
    // appended; with neither, a value is appended.
    bool setInt(const char* name, int value);
    bool setString(const char* name, const char* value);
    // Unlinks and deletes the first entry of that name.
    bool removeParameter(const char* name);

    uint32_t getNumParameters() const { return d_numParams; }
    uint32_t getNumValues() const { return d_numValues; }
    uint32_t getNumBlocks() const { return d_numBlocks; }
    // For walking the entries in order.
    const paramNode* getFirstNode() const { return d_pHead; }

    // For the reader: appends an entry and counts it as a value or child block.
    bool appendRead(CParameter* pParam);

private:
    const CActualParameter* findValue(const char* name) const;
    paramNode* findNode(const char* name, paramNode** ppPrev) const;
    bool append(CParameter* pParam);
    void unlink(paramNode* pNode, paramNode* pPrev);
    bool setValue(const char* name, const char* text);

    paramNode* d_pHead;
    paramNode* d_pTail;
    paramNode* d_pCursor;  // the entry last found by name
    uint32_t d_numParams;
    uint32_t d_numValues;
    uint32_t d_numBlocks;
};
