#include "effects/VBManager.h"

#include "utility/Assert.h"

#include <cstddef>

CVBManager* pTheVBManager = nullptr;

CVBManager::CVBManager()
{
    ASSERT(pTheVBManager==NULL);
    pTheVBManager = this;
}

CVBManager::~CVBManager()
{
    if (pTheVBManager == this) pTheVBManager = nullptr;
}
