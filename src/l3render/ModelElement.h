// Model elements: the nodes of a model's element trees. Each has a local transform, a bounding
// sphere in its own space, an optional mesh object and links to its parent, first child and next
// sibling; the child list runs newest first (AddChild puts a child at its head), so a tree read
// from a file lists its children in reverse file order.
//
// Elements, their binding records, models and instances are made and destroyed only through the
// model manager (ModelManager.h), which keeps each kind in a list. Main thread only.
#pragma once

#include "matcore9/MeshFile.h"
#include "utility/VectorMath.h"

#include <cstdint>
#include <vector>

class CLight;
class CModelElement;
class CModelExtensionChunkSet;
class CModelInst;
class HWBaseObject;
struct llistElement;

// The 15 floats of a placement: rotation (rows), position, scale.
typedef MeshTransform CModelTransform;
// Rotation identity, position 0, scale 1.
CModelTransform IdentityTransform();
// A transform under its parent's: rotation R x Rp, scale s * sp, position (t * sp) x Rp + tp.
CModelTransform PlaceElement(const CModelTransform& local, const CModelTransform& parent);
// The state-block handles of the mesh objects of a tree (element, children, later siblings), depth
// first, appended to out until it holds wanted.
void CollectStateBlocks(const CModelElement* pElement, std::vector<DWORD>& out, size_t wanted = SIZE_MAX);

// Ties an element to a value of the code that bound it; a deep clone of the element gets a record
// of its own with the same value.
struct CModelElementBinding {
    uint32_t m_id = 0;
    uint32_t m_value = 0;
    CModelElement* m_pElement = nullptr;

private:
    friend class CModelManager;
    llistElement* m_pListEntry = nullptr;
};

class CModelElement {
public:
    // Animation node index of an element that no animation moves.
    static constexpr uint32_t NO_ANIM_NODE = 0x7fffffff;
    // Flags, set by the loader from the element's mesh object.
    enum : uint8_t {
        FLAG_LIT = 1,          // its materials are lit
        DYNAMIC = 2,           // the mesh is an HWDynamicMeshObject
        FLAG_TRANSPARENT = 4,  // every block of the mesh has a transparent choice
        FLAG_TOOLMESH = 8,     // loaded for tools: an HWToolObject, or a dummy of such a load
        VSLIT = 16,            // lit in the vertex shader
    };

    CModelElement(const CModelElement&) = delete;
    CModelElement& operator=(const CModelElement&) = delete;

    // The child becomes the first child (null is refused after a report).
    void AddChild(CModelElement* pNewChild);
    // A new element with this one's transforms, mesh object (one more reference), node index,
    // bounds, flags and chunk set, under newParent. Deep: also this element's children and later
    // siblings, and its binding record. Null when an element cannot be made.
    CModelElement* Clone(CModelElement* pNewParent, bool deep) const;
    // Depth first (the element, its children, then its later siblings): the element with the node.
    CModelElement* FindByNode(uint32_t node);
    // Depth first: the element among whose direct children pSearchElement is.
    CModelElement* FindParentOf(const CModelElement* pSearchElement);
    // Commits the dynamic mesh of this element (recursive: and of its children and later siblings).
    void CommitDynamic(bool recursive);
    // The two values handed to every mesh object of the tree (this element, its children and later
    // siblings): the material choice and the start time of material animations.
    void SetMaterial(int32_t num);
    void SetAnimationStart(float time);

    // Placing and drawing for an instance: the world transform from the parent's transform (or
    // from the instance's animation node), then the mesh. Recursive: children and later siblings.
    void BuildWorldMatrices(CModelInst* pInstance, const CModelTransform& parent, bool recursive);
    void Draw(CModelInst* pInstance, const CModelTransform& parent, CLight* const* ppLights, uint32_t numLights,
              bool recursive);

    CModelTransform m_local;
    CModelTransform m_world;  // of the last placement
    uint32_t m_id = 0;
    CModelElement* m_pParent = nullptr;
    CModelElement* m_pFirstChild = nullptr;
    CModelElement* m_pNextSibling = nullptr;
    CModelElementBinding* m_pBinding = nullptr;
    HWBaseObject* m_pMeshObject = nullptr;  // one reference held
    uint32_t m_animNodeIndex = NO_ANIM_NODE;
    Vector3 m_boundsCentre;  // element space
    float m_boundsRadius = 0.0f;
    uint8_t m_flags = 0;
    CModelExtensionChunkSet* m_pChunks = nullptr;  // one reference held

private:
    friend class CModelManager;
    CModelElement();
    ~CModelElement();

    llistElement* m_pListEntry = nullptr;
};
