#include "matcore9/MeshFile.h"

#include "d3dcore9/D3DCore.h"
#include "matcore9/BufferAllocator.h"
#include "matcore9/MatCore.h"
#include "stripifier/Stripifier.h"
#include "utility/Assert.h"
#include "winfile/File.h"

#include <cstdio>
#include <cstring>

namespace {

// What a 106 vertex may hold: a position (weights allowed), normal, diffuse, specular, texture sets.
const DWORD KNOWN_FVF_BITS = D3DFVF_POSITION_MASK | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEXCOUNT_MASK;

void* scratch(uint32_t bytes) { return CBufferAllocator::GetInstance()->Alloc(bytes); }

void freeScratch(BYTE*& p)
{
    if (p) CBufferAllocator::GetInstance()->Free(p);
    p = nullptr;
}

void copyBytes(BYTE* dst, DWORD dstOffset, const BYTE* src, DWORD srcOffset, DWORD bytes)
{
    std::memcpy(dst + dstOffset, src + srcOffset, bytes);
}

}  // namespace

// ---- MeshPrimitive ----

void MeshPrimitive::Free()
{
    freeScratch(VertexData);
    freeScratch(IndexData);
}

void MeshPrimitive::Reset()
{
    Free();
    UVSets = Kind = Vertices = Indices = Degenerates = FVF = 0;
    Type = D3DPT_TRIANGLELIST;
    VertexSize = GENERIC_VERTEX_SIZE;
    IndexSize = 4;
}

DWORD MeshPrimitive::Index(DWORD i) const
{
    if (IndexSize == 2) {
        WORD w;
        std::memcpy(&w, IndexData + 2 * i, 2);
        return w;
    }
    DWORD d;
    std::memcpy(&d, IndexData + 4 * i, 4);
    return d;
}

bool StripifyPrimitive(MeshPrimitive& prim)
{
    if (prim.Kind < MESH_LIST || prim.Kind > MESH_FAN || !prim.IndexData) return false;
    static const uint32_t kinds[] = {MESH_TRIANGLELIST, MESH_TRIANGLESTRIP, MESH_TRIANGLEFAN};
    // Only the indices are taken: with no vertex bytes handed over, none are copied.
    MeshData in = {kinds[prim.Kind - MESH_LIST], prim.Vertices, 0, prim.Indices, prim.FVF, nullptr, prim.IndexSize,
                   prim.IndexData, 0};
    MeshData out = {};
    StripifyOptions options;
    options.LengthMode = 0;
    options.OutputType = STRIPIFY_OUTPUT_STRIP;
    BYTE* indices = nullptr;
    // A mesh of degenerate faces only gives no strip: it is drawn as the file has it.
    if (Stripify(in, out, options) && out.IndexSize == 2 && out.NumIndices > 0 && out.NumIndices <= MESH_MAX_COUNT)
        indices = static_cast<BYTE*>(scratch(out.NumIndices * 2));
    if (indices) {
        std::memcpy(indices, out.pIndices, static_cast<size_t>(out.NumIndices) * 2);
        freeScratch(prim.IndexData);
        prim.IndexData = indices;
        prim.IndexSize = 2;
        prim.Indices = out.NumIndices;
        prim.Kind = MESH_STRIP;
        prim.Type = D3DPT_TRIANGLESTRIP;
        prim.Degenerates = out.NumDegenerates;
    }
    FreeMeshData(out);
    return indices != nullptr;
}

// ---- MeshReader ----

MeshReader::MeshReader(CFile& file, DWORD fileVersion, const char* modelName) : m_file(file), m_version(fileVersion)
{
    std::snprintf(m_model, sizeof m_model, "%s", modelName ? modelName : "");
    D3DCore::SetModelName(m_model);
    // The folder keeps its backslash, so that folder + name is the full name.
    std::snprintf(m_folder, sizeof m_folder, "%s", m_model);
    char* slash = std::strrchr(m_folder, '\\');
    if (slash)
        slash[1] = 0;
    else
        m_folder[0] = 0;
}

MeshReader::~MeshReader() { D3DCore::SetModelName(""); }

bool MeshReader::Fail(const char* what, const char* expression)
{
    char text[MAX_PATH + 160];
    std::snprintf(text, sizeof text, "Can't Load %s\n%s", m_model, what);
    assertFailedMsg(text, expression, __FILE__, __LINE__);
    m_failed = true;
    return false;
}

bool MeshReader::Read(void* data, uint32_t bytes)
{
    if (m_failed) return false;
    if (bytes == 0) return true;
    uint32_t done = 0;
    m_file.Read(data, bytes, &done);
    if (done != bytes) return Fail("The mesh data ends early", "BytesRead == Bytes");
    return true;
}

bool MeshReader::ReadWord(DWORD* value) { return Read(value, 4); }

bool MeshReader::ReadName(char* fullName)
{
    DWORD length = 0;
    if (!ReadWord(&length)) return false;
    if (length < 1 || length > MESH_MAX_NAME) return Fail("Bad name length", "NameLength > 0 && NameLength <= 256");
    char name[MESH_MAX_NAME];
    if (!Read(name, length)) return false;
    if (name[length - 1] != 0) return Fail("Name without its terminating zero", "Name[NameLength - 1] == 0");
    const size_t folder = std::strlen(m_folder), leaf = std::strlen(name);
    if (folder + leaf > MESH_MAX_PATH) return Fail("Name too long for its folder", "strlen(Folder) + strlen(Name) <= 255");
    std::memcpy(fullName, m_folder, folder);
    std::memcpy(fullName + folder, name, leaf + 1);
    return true;
}

bool MeshReader::ReadHeader(DWORD* numMaterials)
{
    *numMaterials = 0;
    const DWORD FileVersion = m_version;
    if (FileVersion < MESH_VERSION_FIRST || FileVersion > MESH_VERSION_LAST)
        return Fail("Unknown mesh version",
                    "FileVersion == 100 || FileVersion == 101 || FileVersion == 102 || FileVersion == 103 || "
                    "FileVersion == 104 || FileVersion == 105 || FileVersion == 106");
    if (!ReadWord(numMaterials)) return false;
    if (*numMaterials == 0) return Fail("No materials", "numMaterials > 0");
    return true;
}

bool MeshReader::ReadBlock(MeshBlock& block)
{
    block = MeshBlock();
    if (!ReadName(block.Material) || !ReadWord(&block.Word0) || !Read(block.ColourA, 12) || !Read(block.ColourB, 12) ||
        !Read(block.Words, 12))
        return false;
    if (m_version >= MESH_VERSION_FVF && !Read(block.Words106, 12)) return false;
    DWORD textures = 0;
    if (!ReadWord(&block.Word) || !ReadWord(&textures)) return false;
    if (textures > MESH_MAX_TEXTURES) return Fail("More than 8 textures", "Textures <= 8");
    for (DWORD t = 0; t < textures; ++t)
        if (!ReadName(block.Textures.Name[t])) return false;
    block.Textures.TotalNames = textures;
    if (m_version >= MESH_VERSION_FVF && !ReadWord(&block.Primitives)) return false;
    return true;
}

bool MeshReader::ReadPrimitive(MeshPrimitive& prim)
{
    prim.Reset();
    if (m_version < MESH_VERSION_FVF) {
        if (!ReadWord(&prim.UVSets)) return false;
        if (prim.UVSets > GENERIC_UV_SETS) return Fail("More than 8 UV sets", "UVSets <= 8");
    }
    if (!ReadWord(&prim.Kind) || !ReadWord(&prim.Vertices) || !ReadWord(&prim.Indices)) return false;
    static const D3DPRIMITIVETYPE types[] = {D3DPT_TRIANGLELIST, D3DPT_TRIANGLESTRIP, D3DPT_TRIANGLEFAN, D3DPT_LINELIST};
    if (prim.Kind < MESH_LIST || prim.Kind > MESH_LINES) return Fail("Unknown primitive kind", "false");
    prim.Type = types[prim.Kind - 1];
    if (prim.Vertices == 0 || prim.Vertices > MESH_MAX_COUNT)
        return Fail("Bad vertex count", "Vertices > 0 && Vertices < 65536");
    if (prim.Indices == 0 || prim.Indices > MESH_MAX_COUNT) return Fail("Bad index count", "Indices > 0 && Indices < 65536");
    if (prim.Kind == MESH_STRIP) {
        if (!ReadWord(&prim.Degenerates)) return false;
        if (prim.Degenerates > prim.Indices) return Fail("Bad degenerate count", "numDegen <= Indices");
    }

    if (m_version >= MESH_VERSION_FVF) {
        if (!ReadWord(&prim.VertexSize) || !ReadWord(&prim.FVF)) return false;
        DWORD size = GENERIC_VERTEX_SIZE;
        if (prim.FVF != 0) {
            FVFFormat format;
            format.D3DFlags = prim.FVF;
            if ((prim.FVF & ~KNOWN_FVF_BITS) == 0) AnalyseFVF(format);
            if (!format.FormatValid) return Fail("Unknown vertex format", "(FVF & ~KNOWN_FVF_BITS) == 0");
            size = format.Size;
        }
        if (prim.VertexSize != size) return Fail("Vertex size differs from its format", "VertexSize == FVFSize");
    }
    prim.VertexData = static_cast<BYTE*>(scratch(prim.Vertices * prim.VertexSize));
    if (!prim.VertexData) return Fail("Out of memory", "pVertex");
    if (!Read(prim.VertexData, prim.Vertices * prim.VertexSize)) return false;
    if (m_version >= MESH_VERSION_FVF) {
        if (!ReadWord(&prim.IndexSize)) return false;
        if (prim.IndexSize != 2 && prim.IndexSize != 4) return Fail("Bad index size", "IndexSize == 2 || IndexSize == 4");
    }
    prim.IndexData = static_cast<BYTE*>(scratch(prim.Indices * prim.IndexSize));
    if (!prim.IndexData) return Fail("Out of memory", "pTempIndexBuffer");
    if (!Read(prim.IndexData, prim.Indices * prim.IndexSize)) return false;
    // An index past the vertices would be read outside the buffer at every draw.
    for (DWORD i = 0; i < prim.Indices; ++i) {
        const DWORD index = prim.Index(i);
        if (index >= 65536) return Fail("Index too large for 16 bits", "TempIndexBuffer[i] < 65536");
        if (index >= prim.Vertices) return Fail("Index beyond the vertices", "Index < numVertices");
    }
    return true;
}

// ---- Conversions ----

namespace {

const GMaterial* mainMaterial(const MultiBlock& block)
{
    const StateBlock* SB = D3DCore.StateBlocks.GetSB(block.StateBlock[0]);
    return SB ? SB->GMaterial : nullptr;
}

// A channel of 0..1 times 255, truncated; out-of-range values are held to the byte.
DWORD colourByte(float f)
{
    const float x = f * 255.0f;
    if (!(x > 0.0f)) return 0;
    return x >= 255.0f ? 255u : static_cast<DWORD>(x);
}

}  // namespace

bool ConvertGenericVertices(const GenericVertex* pGenericVertices, BYTE* pFVFVertices, DWORD numVertices,
                            DWORD numUVSets, const MultiBlock& block, bool checkUVSets)
{
    if (!VERIFY(pGenericVertices) || !VERIFY(pFVFVertices) || !VERIFY(numVertices > 0) || !VERIFY(numVertices < 65536))
        return false;
    const FVFFormat& fvf = block.MainFVF;
    const FVFFormat* fvfFormat = &fvf;
    if (!VERIFY(fvf.FormatValid)) return false;
    if (checkUVSets && numUVSets < static_cast<DWORD>(fvfFormat->TexSets))
        assertFailed("numUVSets >= fvfFormat->TexSets", __FILE__, __LINE__);
    if (fvf.RHW || fvf.Weights != 0 || fvf.Specular) assertFailed("false", __FILE__, __LINE__);
    const GMaterial* GM = mainMaterial(block);
    BYTE* out = pFVFVertices;
    for (DWORD v = 0; v < numVertices; ++v, out += fvf.Size) {
        GenericVertex g;
        std::memcpy(&g, &pGenericVertices[v], sizeof g);
        std::memset(out, 0, fvf.Size);
        if (fvf.XYZ) std::memcpy(out, g.Position, 12);
        if (fvf.Normal) std::memcpy(out + fvf.NormalOffset, g.Normal, 12);
        if (fvf.Diffuse) {
            const DWORD colour = colourByte(g.Colour[0]) << 24 | colourByte(g.Colour[1]) << 16 |
                                 colourByte(g.Colour[2]) << 8 | colourByte(g.Colour[3]);
            std::memcpy(out + fvf.DiffuseOffset, &colour, 4);
        }
        for (int32_t i = 0; i < fvf.TexSets; ++i) {
            const DWORD source = GM ? GM->UVSource[i] % GENERIC_UV_SETS : static_cast<DWORD>(i);
            std::memcpy(out + fvf.TexOffset[i], g.UV[source], 8);
        }
    }
    return true;
}

bool ConvertGenericIndices(const DWORD* pGenericIndices, WORD* pOut, DWORD count, DWORD numVertices)
{
    for (DWORD i = 0; i < count; ++i) {
        if (!VERIFY(pGenericIndices[i] < numVertices)) return false;
        pOut[i] = static_cast<WORD>(pGenericIndices[i]);
    }
    return true;
}

void CheckVertexComponents(const FVFFormat& file, const FVFFormat& material, DWORD fileTextures, const char* modelName,
                           const char* materialName, GMaterial* fitted, bool fileReported)
{
    struct Component {
        bool inFile, inMaterial;
        const char *missing, *redundant, *expression;
    };
    const Component components[] = {
        {file.Normal, material.Normal, "Normal", "normal", "fVertexF & D3DFVF_NORMAL"},
        {file.Diffuse, material.Diffuse, "Diffuse", "diffuse", "fVertexF & D3DFVF_DIFFUSE"},
        {file.Specular, material.Specular, "Specular", "specular", "fVertexF & D3DFVF_SPECULAR"},
    };
    // Checks of the material file: within one check what follows from its first report is not
    // said, and a material that does not fit one model is said once, not for each. A fall-back
    // standing in for a file that has made its report was not asked for: its misfit follows from
    // that report.
    bool said = fileReported;
    if (!said && fitted) {
        ReportLock lock;  // models may load on more than one thread
        said = fitted->FitReported;
    }
    ReadingFile reading(materialName);
    bool misfit = false;
    char text[2 * MAX_PATH + 100];
    for (const Component& c : components) {
        if (c.inMaterial && !c.inFile && !said) {
            std::snprintf(text, sizeof text, "Can't Load %s / %s\n%s requested in material, not present in model",
                          modelName, materialName, c.missing);
            assertFailedMsg(text, c.expression, __FILE__, __LINE__);
            misfit = true;
        } else if (c.inFile && !c.inMaterial) {
            std::snprintf(text, sizeof text, "Model %s / %s : Redundant %s in model", modelName, materialName,
                          c.redundant);
            MatCore.Warning(text);
        }
    }
    const int32_t Textures = static_cast<int32_t>(fileTextures);
    const FVFFormat* FVFFormat = &material;
    if (Textures < FVFFormat->TexSets) {
        std::snprintf(text, sizeof text, "Can't Load %s / %s\n%d textures in model, %d textures in material", modelName,
                      materialName, Textures, FVFFormat->TexSets);
        if (!said) assertFailedMsg(text, "Textures == FVFFormat->TexSets", __FILE__, __LINE__);
        misfit = true;
    } else if (Textures != FVFFormat->TexSets) {
        std::snprintf(text, sizeof text, "Model %s / %s : %d textures in model, %d textures in material", modelName,
                      materialName, Textures, FVFFormat->TexSets);
        MatCore.Warning(text);
    }
    if (fitted && misfit && !said) {
        ReportLock lock;
        fitted->FitReported = true;
    }
}

void RebuildVertices(const BYTE* src, const FVFFormat& file, BYTE* dst, const FVFFormat& material, DWORD numVertices)
{
    for (DWORD v = 0; v < numVertices; ++v, src += file.Size, dst += material.Size) {
        std::memset(dst, 0, material.Size);
        copyBytes(dst, 0, src, 0, 12);
        if (file.Normal && material.Normal) copyBytes(dst, material.NormalOffset, src, file.NormalOffset, 12);
        if (file.Diffuse && material.Diffuse) copyBytes(dst, material.DiffuseOffset, src, file.DiffuseOffset, 4);
        if (file.Specular && material.Specular) copyBytes(dst, material.SpecularOffset, src, file.SpecularOffset, 4);
        for (int32_t i = 0; i < material.TexSets && i < file.TexSets; ++i)
            copyBytes(dst, material.TexOffset[i], src, file.TexOffset[i], 8);
    }
}

void SetWorldMatrixFrom43(const MeshTransform& t)
{
    D3DMATRIX m{};
    for (int r = 0; r < 3; ++r) {
        m.m[r][0] = t.Rotation[3 * r] * t.Scale[r];
        m.m[r][1] = t.Rotation[3 * r + 1] * t.Scale[r];
        m.m[r][2] = t.Rotation[3 * r + 2] * t.Scale[r];
        m.m[r][3] = 0;
    }
    m.m[3][0] = t.Translation[0];
    m.m[3][1] = t.Translation[1];
    m.m[3][2] = t.Translation[2];
    m.m[3][3] = 1;
    D3DCore.SetWorldMatrix(m);
}
