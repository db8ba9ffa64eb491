// Block files: the structured text every content file of the game is written in - nested blocks of
// named value lines, read whole into CParamBlock trees and written back in the same grammar.
//
//   name                       // optional; a block without one is unnamed
//   {
//       speed   12             // a value line: the rest of the line is the value
//       #include data\other.txt // the other file's top-level blocks become children here
//       child { ... }
//   }
//
// Reading never stops the program: a top-level block holding broken text is dropped and reading
// ends there, keeping the blocks read before it. Only a text that ends inside a block is reported
// (a file cut short), naming the file; every report made while a file is read names it.
#pragma once

#include "utility/LList.h"
#include "utility/ParamBlock.h"
#include "utility/WriteBuffer.h"

#include <cstdint>

typedef TPtrList<CParamBlock> blockList;

// Include files nest at most this deep; deeper includes are reported and skipped.
const int MAX_INCLUDE_DEPTH = 16;
// One load reads at most this many include files in all; later includes are skipped too.
const int MAX_INCLUDE_LOADS = 1024;
// Blocks nested deeper than this (across includes) fail like broken text.
const int MAX_BLOCK_DEPTH = 256;

// Appends the file's top-level blocks to the list (which is not cleared first). False when the
// name is empty or the file cannot be read whole; broken text still gives true. maxNestLevel only
// decides when nesting is reported (callers pass 64).
bool loadBlocks(const char* fileName, blockList& list, int maxNestLevel);
// The file's first block (the others are freed); false when there is none.
bool loadFirstBlock(const char* fileName, CParamBlock** ppBlock, int maxNestLevel);

// Reads one block at the text cursor. On success the cursor stands after the block and the
// whitespace behind it; on failure neither the cursor nor the block is set.
bool parseBlock(const char*& pText, CParamBlock** ppBlock, int level, int maxNestLevel);

// Where each top-level block of a scanned file begins (at its name, or at its '{' when unnamed).
struct blockStartNode {
    const char* pStart;
    blockStartNode* pNext;
};
struct blockStartList {
    uint32_t count = 0;
    blockStartNode* pHead = nullptr;  // newest first
};
void deleteBlockStartList(blockStartList& list);

// Reads the file into a new NUL-terminated text (the caller frees it with delete[]) and lists its
// top-level blocks without parsing them, for parseBlock later. A word that starts no block and a
// text that ends inside a block are reported, naming the file.
bool scanBlocks(const char* fileName, char** ppText, blockStartList& list);

// True when scanBlocks lists the text without a report: nothing at the top level but blocks (named
// or not), every brace closed, braces nested at most maxDepth deep. For texts that may be damaged,
// where each stray word would otherwise be reported.
bool blockTextScansCleanly(const char* text, int maxDepth);

// Writes the blocks at level 0 to a file created anew. When a write fails the file is deleted and
// the result is false.
bool saveBlocks(const char* fileName, const blockList& list, bool indent);
bool saveBlock(const char* fileName, const CParamBlock* pBlock, bool indent);
