// State blocks: the render core's own recorded description of everything a material needs on the
// device. A material in use is addressed by a state-block handle, an index into the 768-slot
// table D3DCore.StateBlocks (0xFFFFFFFF: none); its parsed material, GMaterial, is shared by every
// block of the same material name and reference counted. Blocks are applied one pass at a time by
// D3DCore::ApplyStateBlock. Main thread only.
#pragma once

#include "d3dcore9/FVFFormat.h"
#include "dxsetup9/ListMngr.h"
#include "platform/d3d9.h"

#include <cstdint>

class MaterialAnimation;
class VertexList;
struct Tex;

const DWORD MAXSTATEBLOCKS = 768;
const DWORD MAXPASSES = 3;
const DWORD MAXSBSTAGES = 8;
const DWORD MAXSBTEXTURES = 8;
const uint32_t SB_TEXNAME_SIZE = 256;
const DWORD SB_NONE = 0xFFFFFFFFu;

// Node types of a state list.
enum : DWORD {
    NODE_RENDERSTATE = 0,
    NODE_STAGESTATE = 1,  // sampler states as 100 + the sampler state
    NODE_TEXTURE = 2,     // Value: a hardware-texture handle, 0xFFFFFFFF none
    NODE_MATERIAL = 3,    // Colour: the material's diffuse and ambient
};

struct StateNode : ListRecord<StateNode> {
    DWORD Type = NODE_RENDERSTATE;
    DWORD Stage = 0;
    DWORD State = 0;
    DWORD Value = 0;
    float Colour[3] = {};
};

// How a material's geometry is ordered (DelayedSort): drawn at once, sorted per vertex list by its
// centre, sorted per triangle (through a dynamic buffer), or drawn last unsorted.
enum : DWORD { SORT_NONE = 0, SORT_MATERIAL = 1, SORT_POLY = 2, SORT_LAST = 3 };
// The per-pass bump-light modes (BumpMapType).
enum : DWORD { BUMP_DOT3TFACTOR = 0, BUMP_PIXELSHADER = 1, BUMP_NONE = 2 };
// Called for each vertex list drawn at once, with the world and the camera matrix.
typedef void (*VertexListCallback)(VertexList* List, const D3DMATRIX* World, const D3DMATRIX* Camera);

// Recording appends at the tail, application walks from the head.
typedef ListMngr<StateNode> StateList;

// The texture names a material is created with: name n is texture index n of its material file.
struct TexNames {
    DWORD TotalNames = 0;
    char Name[MAXSBTEXTURES][SB_TEXNAME_SIZE] = {};
};

// The parsed material. Constructed with RefCount 1; Release at 0 clears and deletes it.
struct GMaterial {
    GMaterial();
    ~GMaterial();
    GMaterial(const GMaterial&) = delete;
    GMaterial& operator=(const GMaterial&) = delete;

    void AddRef();
    void Release();
    // Frees everything the material owns and releases its shaders, then Init.
    void Clear();
    void Init();
    // A new, empty animation for the stage (replacing any).
    MaterialAnimation* NewAnimation(DWORD stage);
    // IDHandle = pass << 8 | stage. Rows 0..2 take the nine values, the offsets in row 2 their
    // fractions; a bad handle is reported and changes nothing.
    void SetStageTextureMatrix(DWORD IDHandle, const float values[9]);
    // The stage named so (passes in order, stages 0..7, case-insensitive); 0xFFFFFFFF when none.
    DWORD FindStageID(const char* name) const;

    char* Name;
    char* MatID;
    int32_t VSRegisterMin, VSRegisterMax;  // empty: 1000 / -1000
    int32_t PSRegisterMin, PSRegisterMax;
    BYTE UseTextureFactor;
    struct FVFFormat FVFFormat;
    DWORD VertexShader;  // index into D3DCore's shader tables; 0 none
    DWORD PixelShader;
    BYTE Lit;
    BYTE VSLit;         // lit by its vertex shader
    DWORD ShaderUsed;   // the alternative of its material file in use, 0 the first
    DWORD Passes;
    DWORD Stages[MAXPASSES];
    StateList PassStates[MAXPASSES];
    StateList RestoreStates;
    BYTE UVSource[MAXSBSTAGES];
    float Ambient[3];  // r -1.0: not given
    float Diffuse[3];
    // Vertex-shader registers filled with matrices at every pass, -1 none.
    int32_t wvpmatrix, wmatrix, vmatrix, pmatrix, wvmatrix, vpmatrix, wvmatrixi, pscubematrix, cubematrix;
    float DepthBias[MAXPASSES];
    DWORD TextureFactor;
    DWORD TextureMatrixCount;
    float AnimStart;
    int32_t AnimState;
    DWORD RefCount;
    char* StageName[MAXPASSES][MAXSBSTAGES];
    MaterialAnimation* Animation[MAXSBSTAGES];
    int32_t TextureMatrixRegister[MAXSBSTAGES];
    D3DMATRIX* TextureMatrix[MAXPASSES][MAXSBSTAGES];
    int32_t TextureIndex[MAXPASSES][MAXSBSTAGES];
    DWORD MinMipSize[MAXSBTEXTURES];
    BYTE UseMipMaps[MAXSBTEXTURES];
    BYTE IgnoreAlpha[MAXSBTEXTURES];
    BYTE CubeMap[MAXSBTEXTURES];
    Tex* TexFormat[MAXSBTEXTURES];
    // Drawing: the order of its geometry, the bump-light mode of each pass, the colour
    // modifiers of its texture factor (AddFade replicates the alpha into every byte,
    // AddFadeModulate premultiplies the colour by it), fog drawn black in the first pass.
    DWORD DelayedSort;
    DWORD SortScale;  // the world matrix's scale when sorting per triangle: 0 none, 1 uniform, 2 per axis
    float SortBias;
    DWORD BumpMapType[MAXPASSES];
    BYTE BlackFog, AddFade, AddFadeModulate;
    int32_t DynamicVB;  // SORT_POLY: the dynamic vertex buffer of its format, -1 none
    DWORD Streams;      // vertex streams of a declaration, 0 for an FVF
    DWORD* StreamVertexSize;
    VertexListCallback DrawCallback;
    // A model whose vertices do not fit it has been reported: the material is said once, not for
    // every model that uses it.
    bool FitReported;

    // Materials alive.
    static int32_t Live;
};

struct StateBlock {
    DWORD TexNames = 0;
    DWORD DiskTexture[MAXSBTEXTURES];
    DWORD HWTexture[MAXPASSES][MAXSBSTAGES];
    DWORD RefCount = 0;
    struct GMaterial* GMaterial = nullptr;
    IDirect3DBaseTexture9* Texture[MAXPASSES][MAXSBSTAGES] = {};
    // What this block was created with, for lit materials.
    float Ambient[3] = {};
    float Diffuse[3] = {};

    StateBlock();
};

class StateBlockTable {
public:
    StateBlockTable();
    ~StateBlockTable();
    StateBlockTable(const StateBlockTable&) = delete;
    StateBlockTable& operator=(const StateBlockTable&) = delete;

    // The block of this material name and textures (and colours, for a lit material), shared or new.
    // A new block's GMaterial is the one of a same-named block, or null: the caller parses the file
    // into it (a block's material is set once, while it has none).
    // False when the table is full or more than 8 names are given.
    bool CreateSB(const char* name, const TexNames& texNames, const float ambient[3], const float diffuse[3],
                  DWORD* handle);
    // The first block in slot order whose material has this name (without regard to case), or SB_NONE.
    DWORD FindSBByName(const char* name);
    bool ReleaseSB(DWORD handle);
    // Null for a handle out of range or a free slot.
    struct StateBlock* GetSB(DWORD handle);
    DWORD FindSBByMatID(const char* MatID);
    // False, with the first arraySize handles, when more are found than the array holds.
    bool FindSBsByMatID(const char* MatID, DWORD* handles, DWORD arraySize, DWORD* found);
    // The block's slot in the table; SB_NONE for a record that is not one of the table's.
    DWORD HandleOf(const struct StateBlock* block) const;

    // Recording into one list of a material, then EndRecord.
    void BeginRecordPass(GMaterial* GM, DWORD pass);
    void BeginRecordRestore(GMaterial* GM);
    void RecordRenderState(DWORD state, DWORD value);
    void RecordStageState(DWORD stage, DWORD state, DWORD value);
    void EndRecord();

    // Every block released and the empty table again.
    void ReleaseAll();
    // The materials freed without a device, the slots left as they are (the render core's end).
    void FreeMaterials();

    struct StateBlock StateBlock[MAXSTATEBLOCKS];
    DWORD FirstUsed = MAXSTATEBLOCKS - 1;
    DWORD LastUsed = 0;
    DWORD FirstFree = 0;
    DWORD SlotsUsed = 0;
    bool RecordStarted = false;
    GMaterial* RecMaterial = nullptr;
    DWORD RecPass = 0;
    StateList* RecRenderStates = nullptr;

private:
    static const DWORD NAME_BUCKETS = 1024;

    void BeginRecord(GMaterial* GM, StateList* list);
    bool HasMatID(DWORD i, const char* MatID) const;

    // Blocks are filed by their material's name, so that a look-up by name reads only the blocks of
    // that name (and the few that share its bucket) in slot order, not the whole table. A block made
    // without a material waits until its material is there; the next look-up files it.
    bool HasName(DWORD i, const char* name) const;
    void FileNewMaterials();
    void Wait(DWORD i);
    void StopWaiting(DWORD i);
    void File(DWORD i);
    void Unfile(DWORD i);
    void ResetNames();

    DWORD NameBucket[NAME_BUCKETS];     // the lowest filed slot of each bucket
    DWORD NameNext[MAXSTATEBLOCKS];     // the next slot of the same bucket, in slot order
    DWORD NameHash[MAXSTATEBLOCKS];
    bool Filed[MAXSTATEBLOCKS] = {};
    uint64_t Waiting[MAXSTATEBLOCKS / 64] = {};  // used blocks still to be filed
    DWORD NumWaiting = 0;
};
