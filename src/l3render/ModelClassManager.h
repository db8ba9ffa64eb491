// Model classes: named lists of element names. An element's position in its model's class is its
// animation node index, through which animations and game code address the movable parts of every
// model of that class. Class 0 is "default", with no elements.
//
// Classes come from class definition files, data\classdef\<class>.def, read when a model names a
// class not yet known. Text, lines of up to 256 bytes, lower-cased as read; ';' starts a comment:
//
//   class robot          a line holding "class" (and no '{') names a class
//   {                    '{' opens its element list ...
//     root               ... one element name per line (the first token; a blank line: "")
//     armL
//   }                    ... until a line holding '}'
//   class "Big Tank"     a token in double quotes may hold blanks
//
// Names live in one buffer of NAME_BUFFER_SIZE bytes, element names in one table of
// MAX_MODEL_ELEMENTS entries shared by every class; there are at most MAX_MODEL_CLASSES classes.
// What does not fit is reported and the reading stops. Lives from L3Init to L3Shutdown; Reset drops
// every class at a level change. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

class CFile;

class CModelClass {
public:
    // The element's position in the class (names compared without regard to case).
    bool FindElement(const char* name, uint32_t* pIndex) const;
    const char* GetElementName(uint32_t index) const { return index < m_numElements ? m_ppElementNames[index] : nullptr; }

    uint32_t m_id = 0;
    const char* m_pName = nullptr;  // lower-cased, in the class manager's name buffer
    uint16_t m_numElements = 0;
    const char** m_ppElementNames = nullptr;  // the class's first entry in the shared table
};

class CModelClassManager {
public:
    static constexpr uint32_t NAME_BUFFER_SIZE = 8192;
    static constexpr uint32_t MAX_MODEL_CLASSES = 32;
    static constexpr uint32_t MAX_MODEL_ELEMENTS = 1024;
    static constexpr uint32_t LINE_SIZE = 256;
    static constexpr uint32_t MAX_TOKEN = 127;

    // The tables and the class "default". False (after a message box) when they cannot be made.
    static bool Init();
    static void Shutdown();
    // Every class dropped, "default" made again.
    static void Reset();

    // The class of that name (any case). When it is not known and load is set, its class
    // definition file is read first. False when it is still not known.
    static bool FindClassId(const char* name, uint32_t* pId, bool load);
    // The definition file of a class: data\classdef\<name>.def. False when it does not fit.
    static bool ClassFilePath(const char* name, char* path, size_t size);
    // Reads the class's definition file; false when it cannot be opened or failed earlier in the run.
    static bool LoadClassFile(const char* name);
    // Reads class blocks from the file's position to its end.
    static void ReadClasses(CFile& file);

    // Null for an id that names no class.
    static const CModelClass* GetClass(uint32_t id);
    static uint32_t GetNumClasses();
    static uint32_t GetDefaultClassId();
    // Element names held by all classes.
    static uint32_t GetTotalElements();
    static bool IsInitialised();
};
