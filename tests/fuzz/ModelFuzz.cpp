// Feeds random bytes to the model-file reader with tool meshes (load flag 4) and no device. The
// first byte picks the LOD slot (0..8, 8 refused) and whether the class is ignored; the rest is the
// file, which is also read for its bounds. Class files of two classes are at hand.
#include "FuzzSupport.h"
#include "l3render/Model.h"
#include "l3render/ModelClassManager.h"
#include "l3render/ModelManager.h"
#include "l3render/ModelUtil.h"
#include "matcore9/BufferAllocator.h"
#include "utility/LList.h"
#include "winfile/File.h"

namespace {

void bringUp()
{
    fuzz::setUp();
    llistInitElementPool();
    const char robot[] = "class robot\n{\nroot\narml\narmr\nhand\n}\nclass tank\n{\nhull\n\nturret\n}\n";
    fuzz::writeInput("data/classdef/robot.def", reinterpret_cast<const uint8_t*>(robot), sizeof robot - 1);
    if (!CModelClassManager::Init() || !CModelManager::Init()) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = (bringUp(), true);
    (void)ready;
    if (size < 1) return 0;
    const uint32_t lod = data[0] % 9;
    const uint32_t flags = CModelUtil::LOAD_TOOL | (data[0] & 0x80 ? CModelUtil::LOAD_DEFAULT_CLASS : 0);
    const fuzz::InputFile input("data/models/fuzz.rsm", data + 1, size - 1);
    CModel* given = (data[0] & 0x40) ? CModelManager::CreateModel() : nullptr;
    CModel* model = CModelUtil::LoadModel("data\\models\\fuzz.rsm", lod, 10.0f, given, flags);
    if (given && model && model != given) abort();
    if (model) {
        CModelInst* inst = CModelManager::CreateModelInst(model);
        CModel* clone = model->Clone();
        if (clone) CModelManager::ReleaseModel(clone, true);
        CModel* part = nullptr;
        if (CModelUtil::CreateModelFromElement(model, &part, "hand")) CModelManager::ReleaseModel(part, true);
        if (inst) CModelManager::ReleaseModelInst(inst);
    }
    if (given) CModelManager::ReleaseModel(given, true);
    else if (model) CModelManager::ReleaseModel(model, true);
    CFile file;
    uint32_t version = 0;
    CModelBounds bounds;
    CModelUtil::ReadModelBounds("data\\models\\fuzz.rsm", &file, &version, &bounds);
    file.Close();
    // Everything read has gone back.
    if (CModelManager::GetNumElements() || CModelManager::GetNumModels() || CModelManager::GetNumElementBindings() ||
        CModelManager::GetNumModelInsts() || CBufferAllocator::GetInstance()->BlocksInUse() != 0)
        abort();
    return 0;
}
