#include "utility/BlockFile.h"

#include "platform/win32.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"
#include "utility/TextChars.h"
#include "winfile/File.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

// Shared by a file and everything it includes. The include count is bounded because a file that
// includes itself more than once would otherwise multiply the work at every level. Each limit is
// reported once per load, as the run log takes only a few messages.
struct IncludeState {
    int loads = 0;
    bool includeLimitReported = false;
    bool depthLimitReported = false;
};

// The places where a block failed, a set open-addressed in one array: a broken text can fail at
// thousands of places, and a node for each made the set the dearest part of reading such a text.
class FailureSet {
public:
    bool contains(uint64_t key) const
    {
        if (key == 0) return hasZero;
        if (slots.empty()) return false;
        for (size_t i = slotOf(key);; i = (i + 1) & (slots.size() - 1)) {
            if (slots[i] == key) return true;
            if (slots[i] == 0) return false;
        }
    }
    void insert(uint64_t key)
    {
        if (key == 0) {
            hasZero = true;
            return;
        }
        if ((count + 1) * 2 > slots.size()) grow();
        for (size_t i = slotOf(key);; i = (i + 1) & (slots.size() - 1)) {
            if (slots[i] == key) return;
            if (slots[i] == 0) {
                slots[i] = key;
                ++count;
                return;
            }
        }
    }

private:
    size_t slotOf(uint64_t key) const
    {
        return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & (slots.size() - 1);
    }
    void grow()
    {
        std::vector<uint64_t> old;
        old.swap(slots);
        slots.assign(old.empty() ? 16 : old.size() * 2, 0);
        count = 0;
        for (uint64_t key : old)
            if (key) insert(key);
    }

    std::vector<uint64_t> slots;  // 0: empty
    size_t count = 0;
    bool hasZero = false;
};

// One text being parsed. A block that failed at a given place and level fails there again, so
// failures are remembered: without that, re-reading a failed child as value lines makes broken
// deep nesting take exponential time.
struct ParseContext {
    int includeDepth = 0;
    int depthOffset = 0;  // absolute depth of this text's level-0 blocks
    IncludeState* pIncludes = nullptr;
    FailureSet failed;
};

bool loadBlocksAt(const char* fileName, blockList& list, int maxNestLevel, int includeDepth, int depthOffset,
                  IncludeState& includes);

// Texts are scanned a run of characters at a time (strspn, strcspn) rather than a character and a
// test at a time; a name ends at a blank or the text's end.
inline bool isNameStart(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Blanks, tabs, line ends and "//" comments (each up to and including its LF).
const char* skipWhite(const char* p)
{
    for (;;) {
        p += strspn(p, BLANKS);
        if (p[0] != '/' || p[1] != '/') return p;
        p += 2;
        p += strcspn(p, "\n");
        if (*p) ++p;
    }
}

const char* skipPastLineEnd(const char* p)
{
    p += strcspn(p, "\n");
    return *p ? p + 1 : p;
}

uint64_t failureKey(const char* p, int level)
{
    return (static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)) << 10) ^ static_cast<uint64_t>(level);
}

// name<blanks>value-to-end-of-line. The cursor moves past the line's LF.
bool readValueLine(const char*& cursor, const char*& name, size_t& nameLength, const char*& value,
                   size_t& valueLength)
{
    const char* p = cursor;
    if (!isNameStart(*p) && *p != '#') return false;
    name = p;
    p += strcspn(p, BLANKS);
    nameLength = static_cast<size_t>(p - name);
    if (nameLength > CParameter::MAX_NAME) return false;
    for (;;) {
        p += strspn(p, " \t");
        if (p[0] != '/' || p[1] != '/') break;
        p += strcspn(p, "\n");
    }
    value = p;
    p += strcspn(p, "\r\n");
    valueLength = static_cast<size_t>(p - value);
    if (valueLength > CActualParameter::MAX_VALUE) return false;
    cursor = skipPastLineEnd(p);
    return true;
}

void includeFile(const char* fileName, CParamBlock* pBlock, int level, int maxNestLevel, const ParseContext& ctx)
{
    IncludeState& includes = *ctx.pIncludes;
    if (ctx.includeDepth >= MAX_INCLUDE_DEPTH || includes.loads >= MAX_INCLUDE_LOADS) {
        // Reported once: every further include past a limit is skipped the same way.
        if (!includes.includeLimitReported)
            assertFailedMsg(concatStrings("Include file - ", fileName, " - too many or too deep includes, not loaded"),
                            "includeDepth < MAX_INCLUDE_DEPTH && loads < MAX_INCLUDE_LOADS", __FILE__, __LINE__);
        includes.includeLimitReported = true;
        return;
    }
    ++includes.loads;
    // The included file is a read of its own, so that its failure is said whatever the including
    // file has said, and names the file it is about.
    ReadingFile reading(fileName);
    blockList included;
    if (!loadBlocksAt(fileName, included, maxNestLevel - level + 1, ctx.includeDepth + 1,
                      ctx.depthOffset + level + 1, includes)) {
        assertFailedMsg(concatStrings("Include file - ", fileName,
                                      " - referenced from a blockfile, not able to load (missing file?)"),
                        "false", __FILE__, __LINE__);
        deleteBlockList(included);
        return;
    }
    while (included.pHead) {
        TPtrNode<CParamBlock>* node = included.pHead;
        included.pHead = node->pNext;
        --included.count;
        if (!pBlock->appendRead(node->pObject)) delete node->pObject;
        delete node;
    }
}

// A block's head at p: whitespace, one optional "/* */" comment, an optional name, whitespace. The
// '{' it ends at, or null when it does not end at one.
const char* blockHead(const char* p, const char*& name, size_t& nameLength)
{
    p = skipWhite(p);
    if (p[0] == '/' && p[1] == '*') {
        const char* end = strstr(p + 2, "*/");
        p = skipWhite(end ? end + 2 : p + strlen(p));
    }
    name = p;
    if (isNameStart(*p)) p += strcspn(p, BLANKS);
    nameLength = static_cast<size_t>(p - name);
    p = skipWhite(p);
    return *p == '{' ? p : nullptr;
}

bool parseBlockAt(const char*& cursor, CParamBlock** ppBlock, int level, int maxNestLevel, ParseContext& ctx)
{
    const char* name;
    size_t nameLength;
    const char* p = blockHead(cursor, name, nameLength);
    if (nameLength > CParameter::MAX_NAME || !p) return false;

    const uint64_t key = failureKey(p, level);
    if (ctx.failed.contains(key)) return false;
    if (ctx.depthOffset + level > MAX_BLOCK_DEPTH) {
        if (!ctx.pIncludes->depthLimitReported)
            assertFailedMsg(concatStrings("Block nested too deeply, offending block name = ",
                                          std::string(name, nameLength).c_str()),
                            "nestLevel <= MAX_BLOCK_DEPTH", __FILE__, __LINE__);
        ctx.pIncludes->depthLimitReported = true;
        ctx.failed.insert(key);
        return false;
    }
    ++p;

    CParamBlock* block = new (std::nothrow) CParamBlock();
    if (!VERIFY(block)) return false;
    block->setName(name, nameLength);

    auto fail = [&] {
        delete block;
        ctx.failed.insert(key);
        return false;
    };

    for (;;) {
        p = skipWhite(p);
        if (*p == '}') {
            p = skipWhite(p + 1);
            break;
        }
        if (*p == 0) return fail();

        if (*p == '#') {
            if (strnicmp(p, "#include", 8) != 0) {
                p = skipPastLineEnd(p);
                continue;
            }
            const char *itemName, *value;
            size_t itemNameLength, valueLength;
            if (!readValueLine(p, itemName, itemNameLength, value, valueLength)) return fail();
            const std::string fileName(value, valueLength);
            includeFile(fileName.c_str(), block, level, maxNestLevel, ctx);
            continue;
        }

        CParamBlock* child = nullptr;
        const char* q = p;
        if (parseBlockAt(q, &child, level + 1, maxNestLevel, ctx)) {
            if (!block->appendRead(child)) {
                delete child;
                return fail();
            }
            if (level > maxNestLevel)
                assertFailedMsg(
                    concatStrings("Exceeded maximum nesting level, offending block name = ", block->getName()),
                    "(nestLevel<=maxNestLevel)", __FILE__, __LINE__);
            p = q;
            continue;
        }

        const char *itemName, *value;
        size_t itemNameLength, valueLength;
        if (!readValueLine(p, itemName, itemNameLength, value, valueLength)) return fail();
        CActualParameter* param = new (std::nothrow) CActualParameter();
        if (!VERIFY(param)) return fail();
        param->setName(itemName, itemNameLength);
        param->setValue(value, valueLength);
        if (!block->appendRead(param)) {
            delete param;
            return fail();
        }
    }

    cursor = p;
    *ppBlock = block;
    return true;
}

void appendToList(blockList& list, TPtrNode<CParamBlock>*& tail, CParamBlock* block)
{
    TPtrNode<CParamBlock>* node = new (std::nothrow) TPtrNode<CParamBlock>{block, nullptr};
    if (!VERIFY(node)) {
        delete block;
        return;
    }
    if (!tail) {
        tail = list.pHead;
        while (tail && tail->pNext) tail = tail->pNext;
    }
    if (tail)
        tail->pNext = node;
    else
        list.pHead = node;
    tail = node;
    ++list.count;
}

// The whole file in a new NUL-terminated buffer, without a byte-order mark.
bool readTextFile(const char* fileName, char** ppText, uint32_t* pSize)
{
    if (!fileName || !fileName[0]) return false;
    CFile file;
    if (!file.Open(fileName, FILE_MODE_READ)) {
        reportUnreadableFile(fileName, file.LastError());
        return false;
    }
    uint32_t size = 0;
    std::unique_ptr<char[]> text = readWholeFile(file, &size);
    if (!text) return false;
    if (const size_t mark = static_cast<size_t>(skipByteOrderMark(text.get()) - text.get())) {
        size -= static_cast<uint32_t>(mark);
        memmove(text.get(), text.get() + mark, size + 1);
    }
    if (pSize) *pSize = size;
    *ppText = text.release();
    return true;
}

// From a '{' to just past its matching '}', or to the end of the text (reported, naming the file:
// every caller's cut-short file is an entry of its own).
const char* skipBlock(const char* p, const char* fileName)
{
    int braceCount = 0;
    for (;;) {
        p += strcspn(p, "/{}");
        if (*p == 0) {
            ASSERT_MSG(!braceCount, concatStrings("Block file ", fileName, ": ends inside a block"));
            return p;
        }
        if (p[0] == '/' && p[1] == '/') {
            p = skipPastLineEnd(p);
            continue;
        }
        if (*p == '{') ++braceCount;
        if (*p == '}' && --braceCount == 0) return p + 1;
        ++p;
    }
}

bool loadBlocksAt(const char* fileName, blockList& list, int maxNestLevel, int includeDepth, int depthOffset,
                  IncludeState& includes)
{
    ReadingFile reading(fileName);
    char* text = nullptr;
    if (!readTextFile(fileName, &text, nullptr)) return false;
    ParseContext ctx;
    ctx.includeDepth = includeDepth;
    ctx.depthOffset = depthOffset;
    ctx.pIncludes = &includes;
    TPtrNode<CParamBlock>* tail = nullptr;
    const char* p = text;
    for (;;) {
        p = skipWhite(p);
        if (!*p) break;
        CParamBlock* block = nullptr;
        if (!parseBlockAt(p, &block, 0, maxNestLevel, ctx)) {
            // The failed block is dropped quietly, unless the text ends inside it: a file cut short
            // loses what it held without anything else saying so.
            const char* name;
            size_t nameLength;
            if (const char* open = blockHead(p, name, nameLength)) skipBlock(open, fileName);
            break;
        }
        appendToList(list, tail, block);
    }
    delete[] text;
    return true;
}

bool finishSave(CFile& file, CWriteBuffer& buffer, bool written, const char* fileName)
{
    const bool flushed = buffer.flush();
    file.Close();
    if (written && flushed) return true;
    DeleteFileA(fileName);
    return false;
}

}  // namespace

bool loadBlocks(const char* fileName, blockList& list, int maxNestLevel)
{
    IncludeState includes;
    return loadBlocksAt(fileName, list, maxNestLevel, 0, 0, includes);
}

bool loadFirstBlock(const char* fileName, CParamBlock** ppBlock, int maxNestLevel)
{
    blockList list;
    if (!loadBlocks(fileName, list, maxNestLevel) || !list.pHead) {
        deleteBlockList(list);
        return false;
    }
    *ppBlock = list.pHead->pObject;
    list.pHead->pObject = nullptr;
    deleteBlockList(list);
    return true;
}

bool parseBlock(const char*& pText, CParamBlock** ppBlock, int level, int maxNestLevel)
{
    if (!VERIFY(pText) || !VERIFY(ppBlock)) return false;
    IncludeState includes;
    ParseContext ctx;
    ctx.pIncludes = &includes;
    return parseBlockAt(pText, ppBlock, level, maxNestLevel, ctx);
}

void deleteBlockStartList(blockStartList& list)
{
    while (list.pHead) {
        blockStartNode* node = list.pHead;
        list.pHead = node->pNext;
        delete node;
    }
    list.count = 0;
}

bool scanBlocks(const char* fileName, char** ppText, blockStartList& list)
{
    ReadingFile reading(fileName);
    char* text = nullptr;
    if (!readTextFile(fileName, &text, nullptr)) return false;
    const char* p = text;
    for (;;) {
        p = skipWhite(p);
        if (!*p) break;
        const char* start = p;
        if (*p != '{') {
            p += strcspn(p, BLANKS);
            p = skipWhite(p);
            if (*p != '{') {
                ASSERT_MSG(0, concatStrings("Block file ", fileName, ": a word outside every block"));
                continue;
            }
        }
        blockStartNode* node = new (std::nothrow) blockStartNode{start, list.pHead};
        if (!VERIFY(node)) break;
        list.pHead = node;
        ++list.count;
        p = skipBlock(p, fileName);
    }
    *ppText = text;
    return true;
}

bool blockTextScansCleanly(const char* text, int maxDepth)
{
    if (!VERIFY(text)) return false;
    const char* p = text;
    for (;;) {
        p = skipWhite(p);
        if (!*p) return true;
        if (*p != '{') {
            p += strcspn(p, BLANKS);
            p = skipWhite(p);
            if (*p != '{') return false;
        }
        // As skipBlock reads it, counting the depth on the way.
        int depth = 0;
        do {
            if (!*p) return false;
            if (p[0] == '/' && p[1] == '/') {
                p = skipPastLineEnd(p);
                continue;
            }
            if (*p == '{' && ++depth > maxDepth) return false;
            if (*p == '}') --depth;
            ++p;
        } while (depth > 0);
    }
}

bool saveBlocks(const char* fileName, const blockList& list, bool indent)
{
    CFile file;
    if (!fileName || !file.Open(fileName, FILE_MODE_WRITE)) return false;
    CWriteBuffer buffer(&file);
    bool written = true;
    for (const TPtrNode<CParamBlock>* node = list.pHead; node && written; node = node->pNext)
        written = node->pObject->write(buffer, 0, indent);
    return finishSave(file, buffer, written, fileName);
}

bool saveBlock(const char* fileName, const CParamBlock* pBlock, bool indent)
{
    CFile file;
    if (!fileName || !VERIFY(pBlock) || !file.Open(fileName, FILE_MODE_WRITE)) return false;
    CWriteBuffer buffer(&file);
    const bool written = pBlock->write(buffer, 0, indent);
    return finishSave(file, buffer, written, fileName);
}
