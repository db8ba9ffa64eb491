// Placing and drawing an element tree for an instance: the one place where a model's draw reaches
// its meshes.
#include "l3render/ModelElement.h"

#include "l3render/ModelInst.h"

void CModelElement::BuildWorldMatrices(CModelInst* pInstance, const CModelTransform& parent, bool recursive)
{
    (void)pInstance;
    (void)parent;
    (void)recursive;
}

void CModelElement::Draw(CModelInst* pInstance, const CModelTransform& parent, CLight* const* ppLights,
                         uint32_t numLights, bool recursive)
{
    (void)pInstance;
    (void)parent;
    (void)ppLights;
    (void)numLights;
    (void)recursive;
}
