// The mesh section of a model file (versions 100 to 106) and the vertex conversions shared by the
// mesh objects. The model reader opens the file and reads its header; a mesh object then reads its
// own section through a MeshReader:
//
//   MeshReader reader(file, fileVersion, modelName);
//   reader.ReadHeader(&numMaterials);
//   per block: reader.ReadBlock(block); per primitive: reader.ReadPrimitive(prim) ... prim.Free();
//
// Every length, count, size and index is checked against the file before it reaches memory; the
// first bad value is reported (with the model's name) and the reader fails from then on, so a
// load stops at once instead of going on with a value it cannot trust.
#pragma once

#include "d3dcore9/DisplayList.h"
#include "d3dcore9/StateBlock.h"
#include "platform/d3d9.h"

#include <cstdint>

class CFile;

const DWORD MESH_VERSION_FIRST = 100;
const DWORD MESH_VERSION_LAST = 106;
const DWORD MESH_VERSION_FVF = 106;  // FVF vertices, 16-bit indices and several primitives a block
const DWORD MESH_MAX_TEXTURES = 8;
const DWORD MESH_MAX_NAME = 256;     // name bytes, the terminating zero included
const DWORD MESH_MAX_PATH = 255;     // folder and name together, in characters
const DWORD MESH_MAX_COUNT = 65535;  // vertices or indices of one primitive
const DWORD GENERIC_VERTEX_SIZE = 108;
const DWORD GENERIC_UV_SETS = 8;

// The layout every file before 106 uses, and 106 files with FVF 0.
struct GenericVertex {
    float Position[3];
    float Colour[4];  // alpha, red, green, blue; 0..1
    float UV[GENERIC_UV_SETS][2];
    float Normal[3];
    float Unused;
};
static_assert(sizeof(GenericVertex) == GENERIC_VERTEX_SIZE, "the file's generic vertex is 108 bytes");

// What the material loader says of a block's materials, folded into the object's Properties; what
// it says of that load alone goes to the checks of the block's vertices.
struct MeshMaterialInfo {
    BYTE Lit = 0;
    BYTE Transparent = 0;  // the block has a transparent choice
    BYTE VSLit = 0;
    BYTE FileReported = 0;  // the first choice is a fall-back standing in after its file's report
};

// One material block's header. Names are full: the model's folder, then the name in the file.
struct MeshBlock {
    char Material[MESH_MAX_NAME] = {};
    // The words only tool objects keep, as read.
    DWORD Word0 = 0;
    float ColourA[3] = {}, ColourB[3] = {};  // for the material loader
    DWORD Words[3] = {};
    DWORD Words106[3] = {};  // 0 before 106
    DWORD Word = 0;
    TexNames Textures;       // TotalNames <= 8
    DWORD Primitives = 1;    // 106 files give the count; 1 before
};

// Primitive kinds of the file.
enum : DWORD { MESH_LIST = 1, MESH_STRIP = 2, MESH_FAN = 3, MESH_LINES = 4 };

// One primitive with its data, in allocator memory until Free (or until the data is taken).
struct MeshPrimitive {
    DWORD UVSets = 0;  // before 106: UV sets filled in the generic vertices
    DWORD Kind = 0;
    D3DPRIMITIVETYPE Type = D3DPT_TRIANGLELIST;
    DWORD Vertices = 0;
    DWORD Indices = 0;
    DWORD Degenerates = 0;  // strips only
    DWORD VertexSize = GENERIC_VERTEX_SIZE;
    DWORD FVF = 0;          // 0: generic vertices
    DWORD IndexSize = 4;    // 2 or 4; every index is below Vertices
    BYTE* VertexData = nullptr;
    BYTE* IndexData = nullptr;

    MeshPrimitive() = default;
    ~MeshPrimitive() { Free(); }
    MeshPrimitive(const MeshPrimitive&) = delete;
    MeshPrimitive& operator=(const MeshPrimitive&) = delete;
    void Free();
    // Free, and the fields as constructed.
    void Reset();
    DWORD Index(DWORD i) const;
};

// Triangles (a list, a strip or a fan) become one strip joined by degenerate triangles, with
// 16-bit indices: the stripifier's first seed, strips of any length, faults it finds in the mesh
// left unsaid. False leaves the primitive as read: lines, and a strip longer than a display list
// holds.
bool StripifyPrimitive(MeshPrimitive& prim);

// While a reader lives, the model's name is the render core's context for its reports.
class MeshReader {
public:
    MeshReader(CFile& file, DWORD fileVersion, const char* modelName);
    ~MeshReader();
    MeshReader(const MeshReader&) = delete;
    MeshReader& operator=(const MeshReader&) = delete;

    // The version and the block count (> 0).
    bool ReadHeader(DWORD* numMaterials);
    bool ReadBlock(MeshBlock& block);
    bool ReadPrimitive(MeshPrimitive& prim);

    DWORD Version() const { return m_version; }
    const char* ModelName() const { return m_model; }
    const char* Folder() const { return m_folder; }
    bool Failed() const { return m_failed; }

private:
    bool Read(void* data, uint32_t bytes);
    bool ReadWord(DWORD* value);
    bool ReadName(char* fullName);
    bool Fail(const char* what, const char* expression);

    CFile& m_file;
    DWORD m_version;
    char m_model[MAX_PATH];
    char m_folder[MAX_PATH];
    bool m_failed = false;
};

// The file's generic vertices in the block's main format; texture set i takes the generic UV set
// the material names for it (UVSource). RHW, weights and specular are reported once and are zeros.
// checkUVSets: too few UV sets in the file for the format is reported (the data is read anyway).
bool ConvertGenericVertices(const GenericVertex* pGenericVertices, BYTE* pFVFVertices, DWORD numVertices,
                            DWORD numUVSets, const MultiBlock& block, bool checkUVSets = true);
// 32-bit indices to 16; false, after a report, when one is not below numVertices.
bool ConvertGenericIndices(const DWORD* pGenericIndices, WORD* pOut, DWORD count, DWORD numVertices);

// The checks before FVF vertices are rebuilt in another format: a component the material needs and
// the file lacks is reported (and will be zeros), one the file has and the material does not is
// warned about on the loading screen. fileTextures: the texture names of the block. fitted: the
// material's first choice; once a model has been reported against it, no other model is.
// fileReported: the first choice is a fall-back standing in after its file's report (the load's
// MeshMaterialInfo), and no model is reported against it.
void CheckVertexComponents(const FVFFormat& file, const FVFFormat& material, DWORD fileTextures,
                           const char* modelName, const char* materialName, GMaterial* fitted, bool fileReported);
// Rebuilds FVF vertices in another format: position, then normal, diffuse and specular where both
// have them, then texture set i where the file has it. What the file lacks is zeros.
void RebuildVertices(const BYTE* src, const FVFFormat& file, BYTE* dst, const FVFFormat& material, DWORD numVertices);

// The 15 floats of a placement: a 3 x 3 matrix (rows), a translation and a per-axis scale.
struct MeshTransform {
    float Rotation[9];
    float Translation[3];
    float Scale[3];
};
// The world matrix: rotation rows scaled by the matching scale, the translation as row 3.
void SetWorldMatrixFrom43(const MeshTransform& transform);
