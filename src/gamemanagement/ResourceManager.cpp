#include "gamemanagement/ResourceManager.h"

#include "platform/win32.h"

#include <cstdio>

bool CResourceManager::typeNamesMatch(const char* a, const char* b)
{
    return a && b && strnicmp(a, b, resDef::MAX_TYPE_NAME) == 0;
}

void CResourceManager::fillDefinition(resDef* pDef, uint32_t typeId, const char* typeName)
{
    pDef->typeId = typeId;
    snprintf(pDef->typeName, sizeof pDef->typeName, "%s", typeName ? typeName : "");
}

bool CResourceManager::findInDefinitions(const resDef* defs, uint32_t count, const char* typeName, uint32_t* pTypeId)
{
    for (uint32_t i = 0; i < count; ++i) {
        if (!typeNamesMatch(defs[i].typeName, typeName)) continue;
        *pTypeId = defs[i].typeId;
        return true;
    }
    return false;
}
