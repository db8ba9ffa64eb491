#include "gameobjects/ModelResourceManager.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

const SModelDrawer* drawer = nullptr;

}  // namespace

CPlacedModel::CPlacedModel(const char* fileName)
    : flags(0), d_position(0.0f, 0.0f, 0.0f), d_scale(1.0f), d_drawCount(0), d_pInstance(nullptr)
{
    std::snprintf(d_fileName, sizeof d_fileName, "%s", fileName ? fileName : "");
    if (drawer) d_pInstance = drawer->create(d_fileName);
}

CPlacedModel::~CPlacedModel()
{
    if (drawer && d_pInstance) drawer->destroy(d_pInstance);
}

void CPlacedModel::setTransform(const Matrix3& orientation, const Vector3& position, float scale)
{
    d_orientation = orientation;
    d_position = position;
    d_scale = scale;
}

void CPlacedModel::render()
{
    ++d_drawCount;
    if (drawer && d_pInstance) drawer->draw(d_pInstance, d_orientation, d_position, d_scale);
}

CModelResourceManager::CModelResourceManager()
    : CSlotResourceManager(MANAGER_MODELS, MAX_PLACED_MODELS, nullptr, 0)
{
}

void CModelResourceManager::setDrawer(const SModelDrawer* pDrawer) { drawer = pDrawer; }

bool CModelResourceManager::addDefinition(const char* typeName, resDef* pDef)
{
    uint32_t typeId = 0;
    if (!typeName || !pDef || std::strlen(typeName) >= resDef::MAX_TYPE_NAME ||
        getNumDefinitions() >= MAX_DEFINITIONS || findTypeByName(typeName, &typeId))
        return false;
    fillDefinition(pDef, MANAGER_MODELS | (getNumDefinitions() + 1), typeName);
    appendDefinition(*pDef);
    return true;
}

CResource* CModelResourceManager::makeResource(uint32_t typeId)
{
    resDef definition;
    return getDefinition(&definition, (typeId & MASK_SLOT) - 1)
               ? new (std::nothrow) CPlacedModel(definition.typeName)
               : nullptr;
}
