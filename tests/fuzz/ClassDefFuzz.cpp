// Feeds random bytes to the class definition reader as data\classdef\fuzz.def, then checks the
// tables: at most 32 classes, at most 1024 element names, every name found again by its class.
#include "FuzzSupport.h"
#include "l3render/ModelClassManager.h"

#include <cstring>

namespace {

void bringUp()
{
    fuzz::setUp();
    if (!CModelClassManager::Init()) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = (bringUp(), true);
    (void)ready;
    const fuzz::InputFile input("data/classdef/fuzz.def", data, size);
    uint32_t id = 0;
    CModelClassManager::FindClassId("fuzz", &id, true);
    const uint32_t classes = CModelClassManager::GetNumClasses();
    if (classes < 1 || classes > CModelClassManager::MAX_MODEL_CLASSES ||
        CModelClassManager::GetTotalElements() > CModelClassManager::MAX_MODEL_ELEMENTS)
        abort();
    for (uint32_t c = 0; c < classes; ++c) {
        const CModelClass* pClass = CModelClassManager::GetClass(c);
        uint32_t found = 0;
        for (uint32_t e = 0; e < pClass->m_numElements; ++e) {
            const char* name = pClass->GetElementName(e);
            if (!name || std::strlen(name) > CModelClassManager::MAX_TOKEN) abort();
            if (!pClass->FindElement(name, &found) || found > e) abort();
        }
        if (!CModelClassManager::FindClassId(pClass->m_pName, &found, false) || found > c) abort();
    }
    CModelClassManager::Reset();
    return 0;
}
