#include "ai/ScriptReader.h"

#include "utility/Assert.h"
#include "utility/IniManager.h"
#include "utility/RunLog.h"
#include "winfile/File.h"

#include <cstdio>

bool CScriptReader::read(const char* fileName, CScriptDefinition* pDefinition)
{
    if (!VERIFY(fileName && pDefinition)) return false;
    CIniManager ini;
    pDefinition->registerItems(ini);
    if (!ini.loadFile(fileName)) {
        char text[600];
        snprintf(text, sizeof text, "Failed to read definition file %s", fileName);
        assertFailedMsg(openFailureText(fileName, ini.getOpenError(), text).c_str(), "0", __FILE__, __LINE__);
        return false;
    }
    // Many models may share a definition: a damaged one is reported by the first.
    if (ini.getErrorFlag() && noteFileFailure(fileName)) ini.reportSkippedLines(fileName);
    return pDefinition->validate();
}
