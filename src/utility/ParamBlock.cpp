#include "utility/ParamBlock.h"

#include "utility/Assert.h"
#include "utility/WriteBuffer.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

const float DEGREES_TO_RADIANS = 0.017453292f;
const float PI = 3.1415927f;
const float TWO_PI = 6.2831855f;

}  // namespace

CParamBlock::CParamBlock()
    : d_pHead(nullptr), d_pTail(nullptr), d_pCursor(nullptr), d_numParams(0), d_numValues(0), d_numBlocks(0)
{
}

CParamBlock::CParamBlock(const char* name) : CParamBlock() { setName(name); }

CParamBlock::~CParamBlock()
{
    while (d_pHead) {
        paramNode* node = d_pHead;
        d_pHead = node->pNext;
        delete node->pParam;
        delete node;
    }
}

CParameter* CParamBlock::clone() const { return cloneBlock(); }

CParamBlock* CParamBlock::cloneBlock() const
{
    CParamBlock* pNewBlock = new (std::nothrow) CParamBlock(d_name);
    if (!VERIFY(pNewBlock)) return nullptr;
    for (const paramNode* node = d_pHead; node; node = node->pNext) {
        CParameter* pNewParam = node->pParam->clone();
        if (!VERIFY(pNewParam)) continue;
        if (!pNewBlock->append(pNewParam)) delete pNewParam;
    }
    pNewBlock->d_numValues = d_numValues;
    pNewBlock->d_numBlocks = d_numBlocks;
    return pNewBlock;
}

bool CParamBlock::write(CWriteBuffer& buffer, int level, bool indent) const
{
    if (d_name[0] &&
        !(buffer.appendIndent(level, indent) && buffer.appendText(d_name) && buffer.append("\r\n", 2)))
        return false;
    if (!(buffer.appendIndent(level, indent) && buffer.append("{\r\n", 3))) return false;
    for (const paramNode* node = d_pHead; node; node = node->pNext)
        if (!node->pParam->write(buffer, level + 1, indent)) return false;
    return buffer.appendIndent(level, indent) && buffer.append("}\r\n", 3);
}

paramNode* CParamBlock::findNode(const char* name, paramNode** ppPrev) const
{
    paramNode* prev = nullptr;
    for (paramNode* node = d_pHead; node; prev = node, node = node->pNext) {
        if (namesMatch(node->pParam->getName(), name)) {
            if (ppPrev) *ppPrev = prev;
            return node;
        }
    }
    return nullptr;
}

bool CParamBlock::findParameter(const char* name, CParameter** ppParam)
{
    paramNode* node = findNode(name, nullptr);
    if (!node) return false;
    d_pCursor = node;
    *ppParam = node->pParam;
    return true;
}

bool CParamBlock::findBlock(const char* name, CParamBlock** ppBlock) const
{
    for (paramNode* node = d_pHead; node; node = node->pNext) {
        if (node->pParam->getType() == PARAMETER_BLOCK && namesMatch(node->pParam->getName(), name)) {
            *ppBlock = static_cast<CParamBlock*>(node->pParam);
            return true;
        }
    }
    return false;
}

bool CParamBlock::getBlock(uint32_t n, CParamBlock** ppBlock) const
{
    if (n >= d_numBlocks) return false;
    uint32_t seen = 0;
    // The count may be stale after edits, so the walk also stops at the end of the list.
    for (paramNode* node = d_pHead; node; node = node->pNext) {
        if (node->pParam->getType() != PARAMETER_BLOCK) continue;
        if (seen++ == n) {
            *ppBlock = static_cast<CParamBlock*>(node->pParam);
            return true;
        }
    }
    return false;
}

bool CParamBlock::getParameter(uint32_t n, CParameter** ppParam) const
{
    uint32_t seen = 0;
    for (paramNode* node = d_pHead; node; node = node->pNext) {
        if (seen++ == n) {
            *ppParam = node->pParam;
            return true;
        }
    }
    return false;
}

const CActualParameter* CParamBlock::findValue(const char* name) const
{
    const paramNode* node = findNode(name, nullptr);
    if (!node || node->pParam->getType() != PARAMETER_ACTUAL) return nullptr;
    return static_cast<const CActualParameter*>(node->pParam);
}

bool CParamBlock::parseInt(const char* name, int* pOut) const
{
    const CActualParameter* param = findValue(name);
    return param && param->readInt(pOut);
}

bool CParamBlock::parseFloat(const char* name, float* pOut) const
{
    const CActualParameter* param = findValue(name);
    return param && param->readFloat(pOut);
}

bool CParamBlock::parseString(const char* name, char* pOut, size_t capacity) const
{
    const CActualParameter* param = findValue(name);
    if (!param || !VERIFY(capacity > 0)) return false;
    size_t length = param->strippedLength();
    if (length > capacity - 1) length = capacity - 1;
    memcpy(pOut, param->getValue(), length);
    pOut[length] = 0;
    return true;
}

int CParamBlock::parseStringGetSize(const char* name) const
{
    const CActualParameter* param = findValue(name);
    return param ? static_cast<int>(param->strippedLength()) + 1 : 0;
}

bool CParamBlock::parseVector(const char* name, float* pOut) const
{
    const CActualParameter* param = findValue(name);
    return param && param->readFloats(pOut, 3);
}

bool CParamBlock::parseVector4(const char* name, float* pOut) const
{
    const CActualParameter* param = findValue(name);
    return param && param->readFloats(pOut, 4);
}

bool CParamBlock::parseMatrix(const char* name, float* pOut) const
{
    const CActualParameter* param = findValue(name);
    return param && param->readFloats(pOut, 9);
}

bool CParamBlock::parseOrientation(const char* name, float* pOut) const
{
    const CActualParameter* param = findValue(name);
    if (!param) return false;
    float angles[3];
    const char* p = param->getValue();
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            p = strchr(p, ',');
            if (!p) {
                assertFailedMsg("Found a malformed orientation!", "false", __FILE__, __LINE__);
                return false;
            }
            ++p;
        }
        if (sscanf(p, "%f", &angles[i]) != 1) return false;
    }
    for (int i = 0; i < 3; ++i) {
        float a = angles[2 - i] * DEGREES_TO_RADIANS;
        if (a < -PI)
            a += TWO_PI;
        else if (a > PI)
            a -= TWO_PI;
        pOut[i] = a;
    }
    return true;
}

bool CParamBlock::append(CParameter* pParam)
{
    paramNode* node = new (std::nothrow) paramNode{pParam, nullptr};
    if (!node) return false;
    if (d_pTail)
        d_pTail->pNext = node;
    else
        d_pHead = node;
    d_pTail = node;
    ++d_numParams;
    return true;
}

bool CParamBlock::appendRead(CParameter* pParam)
{
    if (!append(pParam)) return false;
    if (pParam->getType() == PARAMETER_BLOCK)
        ++d_numBlocks;
    else
        ++d_numValues;
    return true;
}

bool CParamBlock::addParameter(CParameter* pParam)
{
    if (!VERIFY(pParam)) return false;
    return append(pParam);
}

bool CParamBlock::addString(const char* name, const char* value)
{
    CActualParameter* param = new (std::nothrow) CActualParameter(name, value);
    if (!param) return false;
    if (!append(param)) {
        delete param;
        return false;
    }
    return true;
}

bool CParamBlock::addInt(const char* name, int value)
{
    char text[16];
    snprintf(text, sizeof text, "%i", value);
    return addString(name, text);
}

bool CParamBlock::addFloat(const char* name, float value)
{
    char text[CActualParameter::MAX_VALUE + 1];
    snprintf(text, sizeof text, "%f", value);
    return addString(name, text);
}

bool CParamBlock::addVector(const char* name, const float* v)
{
    char text[CActualParameter::MAX_VALUE + 1];
    snprintf(text, sizeof text, "%f, %f, %f", v[0], v[1], v[2]);
    return addString(name, text);
}

bool CParamBlock::addMatrix(const char* name, const float* m)
{
    char text[CActualParameter::MAX_VALUE + 1];
    snprintf(text, sizeof text, "%f, %f, %f, %f, %f, %f, %f, %f, %f", m[0], m[1], m[2], m[3], m[4], m[5], m[6],
             m[7], m[8]);
    return addString(name, text);
}

void CParamBlock::unlink(paramNode* node, paramNode* prev)
{
    if (prev)
        prev->pNext = node->pNext;
    else
        d_pHead = node->pNext;
    if (d_pTail == node) d_pTail = prev;
    if (d_pCursor == node) d_pCursor = nullptr;
    --d_numParams;
    delete node->pParam;
    delete node;
}

bool CParamBlock::setValue(const char* name, const char* text)
{
    paramNode* prev = nullptr;
    paramNode* node = findNode(name, &prev);
    if (node && node->pParam->getType() == PARAMETER_ACTUAL) {
        static_cast<CActualParameter*>(node->pParam)->setValue(text);
        return true;
    }
    if (node) unlink(node, prev);
    return addString(name, text);
}

bool CParamBlock::setInt(const char* name, int value)
{
    char text[16];
    snprintf(text, sizeof text, "%i", value);
    return setValue(name, text);
}

bool CParamBlock::setString(const char* name, const char* value) { return setValue(name, value); }

bool CParamBlock::removeParameter(const char* name)
{
    paramNode* prev = nullptr;
    paramNode* node = findNode(name, &prev);
    if (!node) return false;
    unlink(node, prev);
    return true;
}
