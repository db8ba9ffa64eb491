#include "l3render/ModelManager.h"

bool CModelClassManager::Init() { return true; }
void CModelClassManager::Shutdown() {}

bool CModelManager::Init() { return true; }
void CModelManager::Shutdown() {}
