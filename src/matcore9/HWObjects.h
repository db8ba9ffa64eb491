// Hardware mesh objects: the drawable geometry of one model part, read from the mesh section of a
// model file. The model reader opens the file, reads its header (with the file's version), picks
// the kind of object from the part's flags and calls Load with the file positioned at the section:
//
//   HWMeshObject* mesh = new HWMeshObject();
//   if (!mesh->Load(file, fileVersion, "data\\models\\tank.rsm")) ...   // reported; Release it
//   each frame: SetWorldMatrixFrom43(placement); mesh->Render(flags);
//   mesh->Release();
//
// HWMeshObject copies its geometry into a display list of the render core; HWToolObject keeps the
// file's geometry in memory for other subsystems and cannot be drawn; both draw or keep triangles
// as one joined strip (StripifyPrimitive). HWDynamicMeshObject (HWDynamicMesh.h) keeps the file's
// indices and stays editable. Objects are reference counted, starting at 1. Main thread only.
#pragma once

#include "d3dcore9/DisplayList.h"
#include "dxsetup9/ListMngr.h"
#include "matcore9/MeshFile.h"

#include <cstdint>

class CFile;

// What the model reader learns of the materials of a loaded object; clear until a load.
struct HWProperties {
    BYTE Lit = 0;    // some block's material is lit
    BYTE VSLit = 0;  // some block's material is lit by its vertex shader
    BYTE TransparencyAvailable = 0;  // every block has a transparent choice
};

class HWBaseObject {
public:
    HWBaseObject() = default;
    HWBaseObject(const HWBaseObject&) = delete;
    HWBaseObject& operator=(const HWBaseObject&) = delete;

    // Reads the mesh section at the file's position. False after a report; what was read so far is
    // freed with the object.
    virtual bool Load(CFile& file, DWORD FileVersion, const char* FileName) = 0;
    // Every block draws choice Num of its multi-material from now on.
    virtual void SetMaterial(int32_t Num) = 0;
    // The time the materials' animations count from.
    virtual void SetAnimationStart(float Time) = 0;
    virtual void Render(uint32_t Flags) = 0;

    void AddRef() { ++RefCount; }
    // At 0 the object is destroyed.
    void Release();
    int32_t GetRefCount() const { return RefCount; }
    // The state block each material block of the mesh draws with, in drawing order: the first max
    // into handles (which may be null when max is 0); returns how many the mesh has.
    uint32_t GetStateBlocks(DWORD* handles, uint32_t max) const;

    HWProperties Properties;

protected:
    virtual ~HWBaseObject() = default;
    // Reads every block, loads its material (folding the result into Properties) and hands each
    // primitive to AddPrimitive with what that load said, which may rework it (tool objects, which
    // load no materials, read on their own). False after a report.
    bool LoadBlocks(CFile& file, DWORD FileVersion, const char* FileName);
    virtual bool AddPrimitive(const MultiBlock& material, const MeshMaterialInfo& info, const MeshBlock& block,
                              MeshPrimitive& prim, const MeshReader& reader);

    int32_t RefCount = 1;
    DisplayHandle* DispHandle = nullptr;
};

class HWMeshObject : public HWBaseObject {
public:
    HWMeshObject() = default;
    bool Load(CFile& file, DWORD FileVersion, const char* FileName) override;
    void SetMaterial(int32_t Num) override;
    void SetAnimationStart(float Time) override;
    void Render(uint32_t Flags) override;
    DisplayHandle* GetDisplayHandle() const { return DispHandle; }

protected:
    ~HWMeshObject() override;

private:
    bool AddPrimitive(const MultiBlock& material, const MeshMaterialInfo& info, const MeshBlock& block,
                      MeshPrimitive& prim, const MeshReader& reader) override;
    bool m_transparencyReported = false;
};

// The file's geometry as read: one TMD per primitive.
struct TMD : ListRecord<TMD> {
    DWORD Kind = 0;  // 0 list, 1 strip, 2 fan, 3 line list
    DWORD Vertices = 0;
    DWORD VertexSize = GENERIC_VERTEX_SIZE;
    DWORD Indices = 0;
    DWORD FVF = 0;          // 0: generic vertices
    BYTE* VertexData = nullptr;
    DWORD IndexSize = 4;    // 2 or 4; every index is below Vertices
    BYTE* IndexData = nullptr;
    DWORD Degenerates = 0;  // strips only

    ~TMD();
};

// One material block as read: its names, its words and its primitives.
struct TMB : ListRecord<TMB> {
    char* Material = nullptr;  // full name
    DWORD Words[10] = {};      // the word, colour triples A and B (float bits), three words
    DWORD Words106[3] = {};    // 0 before 106
    DWORD Word = 0;
    DWORD Textures = 0;
    char* TextureName[MESH_MAX_TEXTURES] = {};  // full names
    DWORD TexSets = 0;         // UV sets of the generic vertices, or texture sets of the format (106)
    ListMngr<TMD> TMDs;

    ~TMB();
};

class HWToolObject : public HWBaseObject {
public:
    HWToolObject() = default;
    bool Load(CFile& file, DWORD FileVersion, const char* FileName) override;
    // A tool object is not drawn: each of these reports.
    void SetMaterial(int32_t Num) override;
    void SetAnimationStart(float Time) override;
    void Render(uint32_t Flags) override;

    // For subsystems that are done with a primitive's geometry.
    static void FreeData(TMD* tmd);

    ListMngr<TMB> TMBs;

protected:
    ~HWToolObject() override = default;
};

// How mesh blocks load their materials: the multi-material file with the block's textures and
// colour triples, through the material library (MatCore::LoadMultiMaterialFile). The returned
// MultiBlock holds one reference per choice. Tests hand out materials of their own; null puts the
// library's loader back.
typedef bool (*MeshMaterialLoader)(const char* name, const TexNames& textures, const float colourA[3],
                                   const float colourB[3], MultiBlock* out, MeshMaterialInfo* info);
void SetMeshMaterialLoader(MeshMaterialLoader loader);
