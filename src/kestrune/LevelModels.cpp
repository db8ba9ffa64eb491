#include "kestrune/LevelModels.h"

#include "gameobjects/ModelResourceManager.h"
#include "l3render/ModelManager.h"
#include "l3render/ModelUtil.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

// A model file is loaded once however many objects place it, and released with its last
// placement (never after the device).
struct SSharedModel {
    CModel* pModel = nullptr;
    uint32_t uses = 0;
};
std::map<std::string, SSharedModel> models;

struct SPlacedInstance {
    std::string fileName;
    CModelInst* pInstance;
    bool tried;
};
std::vector<SPlacedInstance*> placed;

void* create(const char* fileName)
{
    placed.push_back(new SPlacedInstance{fileName, nullptr, false});
    return placed.back();
}

void draw(void* pPlaced, const Matrix3& orientation, const Vector3& position, float scale)
{
    CModelInst* pInstance = static_cast<SPlacedInstance*>(pPlaced)->pInstance;
    if (!pInstance) return;
    CModelTransform& t = pInstance->m_transform;
    std::memcpy(t.Rotation, orientation.m, sizeof t.Rotation);
    t.Translation[0] = position.x;
    t.Translation[1] = position.y;
    t.Translation[2] = position.z;
    t.Scale[0] = t.Scale[1] = t.Scale[2] = scale;
    pInstance->Render();
}

void destroy(void* pPlaced)
{
    auto* pThis = static_cast<SPlacedInstance*>(pPlaced);
    placed.erase(std::find(placed.begin(), placed.end(), pThis));
    auto shared = models.find(pThis->fileName);
    if (pThis->pInstance && shared != models.end()) {
        CModelManager::ReleaseModelInst(pThis->pInstance);
        if (--shared->second.uses == 0) {
            CModelManager::ReleaseModel(shared->second.pModel, true);
            models.erase(shared);
        }
    }
    delete pThis;
}

const SModelDrawer drawer = {create, draw, destroy};

}  // namespace

void installLevelModelDrawer() { CModelResourceManager::setDrawer(&drawer); }

void removeLevelModelDrawer() { CModelResourceManager::setDrawer(nullptr); }

void prepareLevelModels()
{
    for (SPlacedInstance* pPlaced : placed) {
        if (pPlaced->tried) continue;
        pPlaced->tried = true;
        SSharedModel& shared = models[pPlaced->fileName];
        if (!shared.pModel) shared.pModel = CModelUtil::LoadModel(pPlaced->fileName.c_str(), 0, 1.0f, nullptr, 0);
        pPlaced->pInstance = shared.pModel ? CModelManager::CreateModelInst(shared.pModel) : nullptr;
        if (pPlaced->pInstance) {
            ++shared.uses;
        } else if (shared.uses == 0) {
            if (shared.pModel) CModelManager::ReleaseModel(shared.pModel, true);
            models.erase(pPlaced->fileName);
        }
    }
}
