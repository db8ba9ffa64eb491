// Definition files in ini format: a definition registers the keys it wants, the file fills them,
// and the definition checks what it got.
//
//   [BONED_ANIM]
//   modelname = <string> "data\models\robot.rsm"
#pragma once

class CIniManager;

class CScriptDefinition {
public:
    virtual ~CScriptDefinition() {}
    // Sets the defaults and registers the keys.
    virtual void registerItems(CIniManager& ini) = 0;
    // After the load: false (after a report) when what was read cannot be used.
    virtual bool validate() = 0;
};

class CScriptReader {
public:
    // Reads one file into the definition with a fresh ini manager; false when the file cannot be
    // read or the definition refuses what it got.
    static bool read(const char* fileName, CScriptDefinition* pDefinition);
};
