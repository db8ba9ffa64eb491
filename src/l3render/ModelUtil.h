// Model files (.rsm): the one way models are read. A binary, little-endian file: the version, the
// model's class, an optional block of extension chunks, then one element tree per level of detail;
// an element record holds a name, a local transform, a bounding sphere, an optional mesh (read by
// the mesh objects) and its children. Versions 100 to 106 load; before 106 a file holds one LOD.
//
//   CModel* tank = CModelUtil::LoadModel("data\\models\\tank.rsm", 0, 1.0f, nullptr, 0);
//   CModelUtil::LoadModel("data\\models\\tank_far.rsm", 1, 500.0f, tank, 0);   // into LOD 1
//
// The render quality picks lower-detail variants (tank_low.rsm, tank_med.rsm) where they exist.
// Failures are reported (a message box titled "Model import error" for a missing file or an
// incompatible version) and give none; the game goes on without the model.
#pragma once

#include "l3render/ModelElement.h"
#include "utility/VectorMath.h"

#include <cstdint>

class CFile;
class CModel;

// What ReadModelBounds finds of a model's root.
struct CModelBounds {
    CModelTransform transform;
    Vector3 centre;        // root element space
    float radius = 100.0f;  // files before 102 have no bounds
};

class CModelUtil {
public:
    static constexpr uint32_t VERSION = 106;
    static constexpr uint32_t MIN_VERSION = 100;
    // Load flags.
    enum : uint32_t {
        LOAD_DYNAMIC = 1,          // meshes stay editable (HWDynamicMeshObject)
        LOAD_KEEP_OPEN = 2,        // dynamic meshes are not committed as they are read
        LOAD_TOOL = 4,             // meshes for tools (HWToolObject): kept in memory, not drawn
        LOAD_DEFAULT_CLASS = 8,    // the file's class is ignored
    };
    // Element trees deeper than this fail the load.
    static constexpr uint32_t MAX_TREE_DEPTH = 256;
    // Name buffers: longer names keep their first MAX_NAME - 1 bytes.
    static constexpr uint32_t MAX_NAME = 256;

    static uint32_t GetVersionNumber() { return VERSION; }
    static uint32_t GetMinVersionNumber() { return MIN_VERSION; }

    // Reads the file (or its variant for the render quality) into pModel, or into a new model when
    // pModel is null. A file of one LOD fills slot lod, with the caller's lodDistance as threshold
    // before version 106; a file of several fills slots 0 onwards. lod must be below
    // CModel::MAX_LODS. On failure: null; what was read is released, a new model with it, and a
    // model passed in is left with every LOD slot empty.
    static CModel* LoadModel(const char* fileName, uint32_t lod, float lodDistance, CModel* pModel, uint32_t loadFlags);
    // The file named into a new model, never a lower-detail variant beside it, whatever the render
    // quality: for models that have none of their own (effects, volume puffs).
    static CModel* LoadModelFile(const char* fileName);
    // A one-element model from the element of the source's LOD 0 that the class names elementName:
    // the element alone (no children), not animated, bounded by its own sphere.
    static bool CreateModelFromElement(CModel* pSourceModel, CModel** ppNewModel, const char* elementName);
    // The root's transform and bounds, without loading any mesh. The root must be a mesh element.
    // On success the file is left open at the root's mesh; on failure it is closed.
    static bool ReadModelBounds(const char* fileName, CFile* pFile, uint32_t* pVersion, CModelBounds* pBounds);
};
