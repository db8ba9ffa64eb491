// The model manager: makes and destroys models, model elements, element binding records and model
// instances, and keeps each kind in a list of its own. Every creation, successful or not, takes the
// next value of one running id. Lives from L3CreateDevice (Init) to L3DestroyDevice (Shutdown,
// which destroys whatever is still listed). Main thread only.
//
//   CModel* model = CModelManager::CreateModel();      // or CModelUtil::LoadModel(...)
//   CModelInst* inst = CModelManager::CreateModelInst(model);
//   ...
//   CModelManager::ReleaseModelInst(inst);
//   CModelManager::ReleaseModel(model, true);           // with its element trees
#pragma once

#include "l3render/Model.h"
#include "l3render/ModelElement.h"
#include "l3render/ModelInst.h"

#include <cstdint>

class CModelManager {
public:
    // Starts the running id again.
    static bool Init();
    // Destroys, in this order, every listed instance, every model (without its elements), every
    // element and every binding record.
    static void Shutdown();

    // A new empty model in the model list; null when it cannot be made.
    static CModel* CreateModel();
    // Unlinks and destroys the model; releaseElements: also the element tree of each of its LODs.
    // Its chunk set loses a reference. False when the model is not listed.
    static bool ReleaseModel(CModel* pModel, bool releaseElements);

    static CModelElement* CreateElement();
    // Destroys the element (its mesh object and chunk set lose a reference); recursive: also its
    // children, its later siblings and its binding record. False when it is not listed.
    static bool ReleaseElement(CModelElement* pElement, bool recursive);

    static CModelElementBinding* CreateElementBinding();
    static bool ReleaseElementBinding(CModelElementBinding* pBinding);

    // An instance of the model: one animation node per animation node of the model, each starting
    // at the local transform of the LOD 0 element of that node (identity when there is none).
    static CModelInst* CreateModelInst(CModel* pModel);
    static bool ReleaseModelInst(CModelInst* pInstance);

    static uint32_t GetNumModels();
    static uint32_t GetNumElements();
    static uint32_t GetNumElementBindings();
    static uint32_t GetNumModelInsts();
    // The id the next creation will take.
    static uint32_t GetNextId();
};
