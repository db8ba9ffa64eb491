// Reads any bytes as a block file; what was read must save and read back to the same tree. The
// input's own name holds a line end, so that no include line can name it: an input that included
// itself would be read a thousand times over (the unit tests hold the include limits). Includes
// reach "other.txt", a small block file.
#include "FuzzSupport.h"
#include "utility/BlockFile.h"

#include <cstring>
#include <string>

namespace {

void describe(const CParamBlock* block, std::string& out)
{
    out += block->getName();
    out += '{';
    for (const paramNode* node = block->getFirstNode(); node; node = node->pNext) {
        if (node->pParam->getType() == CParameter::PARAMETER_BLOCK) {
            describe(static_cast<const CParamBlock*>(node->pParam), out);
        } else {
            const auto* param = static_cast<const CActualParameter*>(node->pParam);
            out += param->getName();
            out += '=';
            out += param->getValue();
            out += ';';
        }
    }
    out += '}';
}

// Trees the grammar cannot write unambiguously: a value that starts with '{', or an empty value
// followed by an unnamed block, reads back as a child block.
bool ambiguous(const CParamBlock* block)
{
    const CParameter* previous = nullptr;
    for (const paramNode* node = block->getFirstNode(); node; previous = node->pParam, node = node->pNext) {
        if (node->pParam->getType() == CParameter::PARAMETER_BLOCK) {
            const auto* child = static_cast<const CParamBlock*>(node->pParam);
            if (ambiguous(child)) return true;
            if (!child->getName()[0] && previous && previous->getType() == CParameter::PARAMETER_ACTUAL &&
                !static_cast<const CActualParameter*>(previous)->getValue()[0])
                return true;
        } else if (static_cast<const CActualParameter*>(node->pParam)->getValue()[0] == '{') {
            return true;
        }
    }
    return false;
}

const char* const INPUT = "fuzz\ninput.txt";
// Where the blocks are saved and read back: out of an include line's reach too, and gone after
// each input, so that no input reads what an earlier one left.
const char* const SAVED = "fuzz\nsaved.txt";

std::string describe(const blockList& list)
{
    std::string out;
    for (const TPtrNode<CParamBlock>* node = list.pHead; node; node = node->pNext) describe(node->pObject, out);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = [] {
        fuzz::setUp();
        const char other[] = "Other\n{\n\tkey value\n\tChild\n\t{\n\t\tcount 3\n\t}\n}\n";
        fuzz::writeInput("other.txt", other, sizeof(other) - 1);
        return true;
    }();
    (void)ready;
    const fuzz::InputFile input(INPUT, data, size);
    blockList list;
    if (!loadBlocks(INPUT, list, 64)) abort();
    for (TPtrNode<CParamBlock>* node = list.pHead; node; node = node->pNext) {
        CParamBlock* block = node->pObject;
        int i;
        float v[9];
        char text[16];
        for (const paramNode* entry = block->getFirstNode(); entry; entry = entry->pNext) {
            const char* name = entry->pParam->getName();
            block->parseInt(name, &i);
            block->parseString(name, text);
            block->parseMatrix(name, v);
            block->parseOrientation(name, v);
        }
        CParamBlock* copy = block->cloneBlock();
        std::string a, b;
        describe(block, a);
        describe(copy, b);
        if (a != b) abort();
        delete copy;
    }

    bool roundTrip = list.pHead != nullptr;
    for (const TPtrNode<CParamBlock>* node = list.pHead; node; node = node->pNext)
        roundTrip = roundTrip && !ambiguous(node->pObject);
    if (roundTrip) {
        if (!saveBlocks(SAVED, list, true)) abort();
        blockList again;
        if (!loadBlocks(SAVED, again, 64)) abort();
        if (describe(list) != describe(again)) abort();
        deleteBlockList(again);
        platform::testing::removeMemoryFile(SAVED);
    }
    // Listing the blocks and parsing each where it starts (scanBlocks, parseBlock) is the
    // instance-script and saved-state targets' work.
    deleteBlockList(list);
    return 0;
}
