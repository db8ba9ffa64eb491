// The static and tool mesh objects and what every mesh object shares.
#include "matcore9/HWObjects.h"

#include "d3dcore9/D3DCore.h"
#include "matcore9/BufferAllocator.h"
#include "matcore9/MatCore.h"
#include "utility/Assert.h"
#include "winfile/File.h"

#include <cstdio>
#include <cstring>

namespace {

MeshMaterialLoader materialLoader = MatCore::LoadMeshMaterials;

char* copyText(const char* text)
{
    char* copy = new char[std::strlen(text) + 1];
    std::strcpy(copy, text);
    return copy;
}

void freeBlock(BYTE*& p)
{
    if (p) CBufferAllocator::GetInstance()->Free(p);
    p = nullptr;
}

}  // namespace

void SetMeshMaterialLoader(MeshMaterialLoader loader)
{
    materialLoader = loader ? loader : MatCore::LoadMeshMaterials;
}

// ---- HWBaseObject ----

void HWBaseObject::Release()
{
    if (--RefCount == 0) delete this;
}

uint32_t HWBaseObject::GetStateBlocks(DWORD* handles, uint32_t max) const
{
    uint32_t count = 0;
    for (const MatBlock* block = DispHandle ? DispHandle->Blocks.First : nullptr; block; block = block->Next) {
        if (count < max) handles[count] = block->StateBlock;
        ++count;
    }
    return count;
}

bool HWBaseObject::LoadBlocks(CFile& file, DWORD FileVersion, const char* FileName)
{
    ReadingFile reading(FileName);
    MeshReader reader(file, FileVersion, FileName);
    Properties = {0, 0, 1};  // a block without a transparent choice clears TransparencyAvailable
    DWORD numMaterials = 0;
    if (!reader.ReadHeader(&numMaterials)) return false;
    bool primitivesReported = false;
    for (DWORD b = 0; b < numMaterials; ++b) {
        MeshBlock block;
        if (!reader.ReadBlock(block)) return false;
        // Every primitive is read even so: stopping after one would read the rest of the section
        // from the wrong place.
        if (FileVersion >= MESH_VERSION_FVF && block.Primitives != 1 && !primitivesReported) {
            assertFailed("numPrimitives == 1", __FILE__, __LINE__);
            primitivesReported = true;
        }
        MultiBlock material;
        MeshMaterialInfo info;
        {
            // The material file's read: a loader that has said what is wrong with it is not
            // followed by a word of the mesh's.
            ReadingFile materialRead(block.Material);
            const bool Worked = materialLoader && materialLoader(block.Material, block.Textures, block.ColourA,
                                                                 block.ColourB, &material, &info);
            if (!Worked) {
                assertFailedMsg(block.Material, "Worked", __FILE__, __LINE__);
                return false;
            }
        }
        Properties.Lit |= info.Lit;
        Properties.VSLit |= info.VSLit;
        if (!info.Transparent) Properties.TransparencyAvailable = 0;
        bool ok = true;
        for (DWORD p = 0; p < block.Primitives && ok; ++p) {
            MeshPrimitive prim;
            ok = reader.ReadPrimitive(prim) && AddPrimitive(material, info, block, prim, reader);
        }
        material.Release();
        if (!ok) return false;
    }
    return true;
}

bool HWBaseObject::AddPrimitive(const MultiBlock&, const MeshMaterialInfo&, const MeshBlock&, MeshPrimitive&,
                                const MeshReader&)
{
    return false;
}

// ---- HWMeshObject ----

HWMeshObject::~HWMeshObject()
{
    ASSERT(DispHandle != NULL);
    if (DispHandle) D3DCore.DeleteDisplayHandle(DispHandle);
}

bool HWMeshObject::Load(CFile& file, DWORD FileVersion, const char* FileName)
{
    if (!DispHandle) DispHandle = D3DCore.CreateDisplayHandle();
    return LoadBlocks(file, FileVersion, FileName);
}

bool HWMeshObject::AddPrimitive(const MultiBlock& material, const MeshMaterialInfo& info, const MeshBlock& block,
                                MeshPrimitive& prim, const MeshReader& reader)
{
    const FVFFormat& target = material.MainFVF;
    const StateBlock* SB = D3DCore.StateBlocks.GetSB(material.StateBlock[0]);
    GMaterial* GM = SB ? SB->GMaterial : nullptr;
    // Mesh vertices are one stream in the material's format.
    if (!VERIFY(GM != NULL) || !VERIFY(GM->Streams == 0) || !VERIFY(target.FormatValid)) return false;
    // Triangles sorted one by one are read as a list at every draw: their order is of no use.
    if (GM->DelayedSort != SORT_POLY) StripifyPrimitive(prim);
    AddTrisConfig config;
    config.Vertices = prim.Vertices;
    config.Indices = prim.Indices;
    config.ListType = prim.Type;
    config.VBWriteOnly = config.IBWriteOnly = 1;
    void* vertices = nullptr;
    void* indices = nullptr;
    VertexList* VL = D3DCore.AddTris(DispHandle, &material, &config, &vertices, &indices, nullptr);
    if (!VERIFY(VL != NULL)) return false;
    VL->DegenerateCount = static_cast<int32_t>(prim.Degenerates);

    BYTE* out = static_cast<BYTE*>(vertices);
    if (prim.FVF == 0) {
        ConvertGenericVertices(reinterpret_cast<const GenericVertex*>(prim.VertexData), out, prim.Vertices, prim.UVSets,
                               material, false);
    } else if (prim.FVF == target.D3DFlags) {
        std::memcpy(out, prim.VertexData, static_cast<size_t>(prim.Vertices) * prim.VertexSize);
    } else {
        FVFFormat format;
        format.D3DFlags = prim.FVF;
        AnalyseFVF(format);
        CheckVertexComponents(format, target, block.Textures.TotalNames, reader.ModelName(), block.Material, GM,
                              info.FileReported != 0);
        RebuildVertices(prim.VertexData, format, out, target, prim.Vertices);
    }
    WORD* index = static_cast<WORD*>(indices);
    for (DWORD i = 0; i < prim.Indices; ++i) index[i] = static_cast<WORD>(prim.Index(i));
    D3DCore.EndAddTris();
    if (GM->DelayedSort != SORT_POLY) VL->Optimise();
    return true;
}

void HWMeshObject::SetMaterial(int32_t Num)
{
    if (!VERIFY(Num >= 0) || !DispHandle) return;
    D3DCore.SetDisplayListMaterial(DispHandle, Num);
}

void HWMeshObject::SetAnimationStart(float Time)
{
    if (DispHandle) D3DCore.SetDisplayListAnimationStart(DispHandle, Time);
}

void HWMeshObject::Render(uint32_t Flags)
{
    if (!DispHandle) return;
    // Said once per object: a report every frame would soon end the run.
    if (!(Properties.TransparencyAvailable || !D3DCore.AutoTransparency) && !m_transparencyReported) {
        assertFailed("Properties.TransparencyAvailable || !D3DCore.AutoTransparency", __FILE__, __LINE__);
        m_transparencyReported = true;
    }
    D3DCore.DrawDisplayList(DispHandle, Flags);
}

// ---- HWToolObject ----

TMD::~TMD()
{
    freeBlock(VertexData);
    freeBlock(IndexData);
}

TMB::~TMB()
{
    delete[] Material;
    for (char* name : TextureName) delete[] name;
}

void HWToolObject::FreeData(TMD* tmd)
{
    if (!tmd) return;
    freeBlock(tmd->VertexData);
    freeBlock(tmd->IndexData);
}

bool HWToolObject::Load(CFile& file, DWORD FileVersion, const char* FileName)
{
    ReadingFile reading(FileName);
    MeshReader reader(file, FileVersion, FileName);
    Properties = {0, 0, 1};
    DWORD numMaterials = 0;
    if (!reader.ReadHeader(&numMaterials)) return false;
    for (DWORD b = 0; b < numMaterials; ++b) {
        MeshBlock block;
        if (!reader.ReadBlock(block)) return false;
        TMB* tmb = new TMB();
        TMBs.Append(tmb);
        tmb->Material = copyText(block.Material);
        tmb->Words[0] = block.Word0;
        std::memcpy(&tmb->Words[1], block.ColourA, 12);
        std::memcpy(&tmb->Words[4], block.ColourB, 12);
        std::memcpy(&tmb->Words[7], block.Words, 12);
        std::memcpy(tmb->Words106, block.Words106, sizeof tmb->Words106);
        tmb->Word = block.Word;
        tmb->Textures = block.Textures.TotalNames;
        for (DWORD t = 0; t < tmb->Textures; ++t) tmb->TextureName[t] = copyText(block.Textures.Name[t]);
        for (DWORD p = 0; p < block.Primitives; ++p) {
            MeshPrimitive prim;
            if (!reader.ReadPrimitive(prim)) return false;
            StripifyPrimitive(prim);
            TMD* tmd = new TMD();
            tmb->TMDs.Append(tmd);
            tmd->Kind = prim.Kind - 1;
            tmd->Vertices = prim.Vertices;
            tmd->VertexSize = prim.VertexSize;
            tmd->Indices = prim.Indices;
            tmd->FVF = prim.FVF;
            tmd->IndexSize = prim.IndexSize;
            tmd->Degenerates = prim.Degenerates;
            tmd->VertexData = prim.VertexData;
            tmd->IndexData = prim.IndexData;
            prim.VertexData = prim.IndexData = nullptr;
            tmb->TexSets = FileVersion >= MESH_VERSION_FVF ? (prim.FVF & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT
                                                           : prim.UVSets;
        }
    }
    return true;
}

void HWToolObject::SetMaterial(int32_t) { assertFailed("false", __FILE__, __LINE__); }

void HWToolObject::SetAnimationStart(float) { assertFailed("false", __FILE__, __LINE__); }

void HWToolObject::Render(uint32_t) { assertFailed("false", __FILE__, __LINE__); }
