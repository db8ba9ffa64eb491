// Vertex and pixel shader tables: shader files found on the game path, assembled, made into device
// objects and shared by file name.
#include "d3dcore9/D3DCore.h"

#include "d3dcore9/LogWriter.h"
#include "utility/Assert.h"
#include "utility/TextChars.h"
#include "winfile/File.h"

#include "platform/d3dx9.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>

namespace {

const char* const SHADER_BASE = "data";

IDirect3DDevice9* device() { return DXInterface.ID3DDevice; }

char* copyName(const char* name)
{
    const size_t length = std::strlen(name);
    char* copy = new char[length + 1];
    std::memcpy(copy, name, length + 1);
    return copy;
}

// Reports "Failed to find <kind>: <file> on game path" for a shader that is nowhere.
bool findShader(CFile& file, const char* fileName, const char* subDir, const char* kind, char* path)
{
    // The shader file's own read: that it is nowhere is its report, not the material's.
    ReadingFile reading(fileName);
    DWORD error = ERROR_SUCCESS;
    const bool FileOK = ::D3DCore.FindFile(file, fileName, SHADER_BASE, subDir, FILE_MODE_READ, path, true, &error);
    if (!FileOK) {
        const std::string notFound = std::string("Failed to find ") + kind + ": " + fileName + " on game path";
        assertFailedMsg(openFailureText(path, error, notFound.c_str()).c_str(), "FileOK", __FILE__, __LINE__);
    }
    return FileOK;
}

// The whole file as text; what could not be read is reported and the rest goes on.
char* readSource(CFile& file, uint32_t& size)
{
    const uint32_t FileSize = file.GetSize();
    char* text = new char[FileSize + 1];
    uint32_t BytesRead = 0;
    file.Read(text, FileSize, &BytesRead);
    ASSERT(FileSize == BytesRead);
    text[BytesRead] = 0;
    file.Close();
    // The assembler knows nothing of the byte-order mark an editor may have put first.
    const uint32_t mark = static_cast<uint32_t>(skipByteOrderMark(text) - text);
    std::memmove(text, text + mark, BytesRead - mark + 1);
    size = BytesRead - mark;
    return text;
}

// Assembles the text; a failure reports the first line of the assembler's complaint.
LPD3DXBUFFER assemble(const char* text, uint32_t size, const char* kind, const char* path)
{
    LPD3DXBUFFER code = nullptr, errors = nullptr;
    const HRESULT Err = D3DXAssembleShader(text, size, nullptr, nullptr, 0, &code, &errors);
    if (Err != D3D_OK) {
        char first[257] = {};
        if (errors && errors->GetBufferPointer()) {
            std::snprintf(first, sizeof first, "%s", static_cast<const char*>(errors->GetBufferPointer()));
            if (char* lf = std::strchr(first, '\n')) *lf = 0;
        }
        const std::string message = std::string("Error in ") + kind + "\n" + path + "\n" + first;
        assertFailedMsg(message.c_str(), "Err == D3D_OK", __FILE__, __LINE__);
        if (code) code->Release();
        code = nullptr;
    }
    if (errors) errors->Release();
    return code;
}

// The declaration a material's FVF word gives a vertex shader: each part present, in FVF order,
// with a usage index that names the input register it feeds.
int32_t declarationFromFVF(DWORD fvf, D3DVERTEXELEMENT9* out)
{
    int32_t count = 0;
    WORD offset = 0;
    auto add = [&](BYTE type, WORD size, BYTE index) {
        out[count++] = D3DVERTEXELEMENT9{0, offset, type, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, index};
        offset = static_cast<WORD>(offset + size);
    };
    if ((fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZ) add(D3DDECLTYPE_FLOAT3, 12, 0);
    if (fvf & D3DFVF_NORMAL) add(D3DDECLTYPE_FLOAT3, 12, 2);
    if (fvf & D3DFVF_DIFFUSE) add(D3DDECLTYPE_D3DCOLOR, 4, 4);
    if (fvf & D3DFVF_SPECULAR) add(D3DDECLTYPE_D3DCOLOR, 4, 5);
    const DWORD sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    for (DWORD i = 0; i < sets && i < 8; ++i) add(D3DDECLTYPE_FLOAT2, 8, static_cast<BYTE>(6 + i));
    out[count++] = D3DVERTEXELEMENT9{0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0};
    return count;
}

// Elements of a given declaration up to and including its end; 0 when it has none in the first 16.
int32_t declarationLength(const D3DVERTEXELEMENT9* declaration)
{
    if (!declaration) return 0;
    for (int32_t i = 0; i < MAXDECLARATIONELEMENTS; ++i)
        if (declaration[i].Stream == 0xFF) return i + 1;
    return 0;
}

template <class Table>
int32_t findName(const Table& table, const char* name, int32_t size)
{
    for (int32_t i = 1; i < size; ++i)
        if (table.Name[i] && std::strcmp(table.Name[i], name) == 0) return i;
    return -1;
}

template <class Table>
int32_t firstFree(const Table& table, int32_t size)
{
    for (int32_t i = 1; i < size; ++i)
        if (!table.Name[i] && table.RefCount[i] == 0) return i;
    return -1;
}

// The slot a shader file takes: the one already holding its name (counted once more, shared set),
// else the first free one. 0 when the file is nowhere or the table is full (each reported), so that
// nothing is read from an unopened file or written to slot -1.
template <class Table>
int32_t claimSlot(Table& T, int32_t size, CFile& File, const char* fileName, const char* subDir, const char* kind,
                  const char* full, char* path, bool& shared)
{
    shared = false;
    if (!findShader(File, fileName, subDir, kind, path)) return 0;
    const int32_t existing = findName(T, fileName, size);
    if (existing > 0) {
        ++T.RefCount[existing];
        shared = true;
        return existing;
    }
    const int32_t FirstFree = firstFree(T, size);
    if (!VERIFY_MSG(FirstFree != -1, full)) return 0;
    return FirstFree;
}

template <class Table>
void fillSlot(Table& T, int32_t slot, const char* fileName, const char* path, char* Source, uint32_t SourceSize)
{
    T.Name[slot] = copyName(fileName);
    T.Path[slot] = copyName(path);
    T.Source[slot] = Source;
    T.SourceSize[slot] = SourceSize;
    T.RefCount[slot] = 1;
    T.Keep[slot] = 0;
}

}  // namespace

int32_t D3DCore::LoadVertexShader(const char* fileName, const char* materialName, DWORD materialFVF,
                                  bool useDeclaration, const D3DVERTEXELEMENT9* declaration)
{
    VertexShaderTable& T = VShaderTable;
    if (!VERIFY(fileName != NULL) || !VERIFY(device() != NULL)) return 0;
    if (!materialName) materialName = "";
    CFile File;
    char path[MAX_PATH];
    bool shared = false;
    const int32_t FirstFree = claimSlot(T, MAXVERTEXSHADERS, File, fileName, "VertexShaders", "Vertex Shader",
                                        "Max Number of vertex-shaders exceeded", path, shared);
    if (FirstFree == 0 || shared) return FirstFree;

    D3DVERTEXELEMENT9 elements[MAXDECLARATIONELEMENTS];
    int32_t elementCount;
    if (useDeclaration) {
        elementCount = declarationLength(declaration);
        if (elementCount == 0) {
            const std::string message = std::string("Error in ") + materialName +
                                        "\nVertex declaration has no end within 16 elements";
            assertFailedMsg(message.c_str(), "DeclarationLength <= MAXDECLARATIONELEMENTS", __FILE__, __LINE__);
            return 0;
        }
        std::memcpy(elements, declaration, sizeof(D3DVERTEXELEMENT9) * elementCount);
    } else {
        if ((materialFVF & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW) {
            const std::string message = std::string("Error in ") + materialName + "\nXYZRHW not allowed for vertex shaders";
            assertFailedMsg(message.c_str(), "!(GM->FVFFormat.D3DFlags & D3DFVF_XYZRHW)", __FILE__, __LINE__);
        }
        elementCount = declarationFromFVF(materialFVF, elements);
    }

    // From here on every report is about the file: the first says what is wrong with it, and what
    // follows from that (no shader made, none to release) is not said again.
    ReadingFile reading(path);
    uint32_t SourceSize = 0;
    char* Source = readSource(File, SourceSize);
    LPD3DXBUFFER code = assemble(Source, SourceSize, "VertexShader", path);

    // Without vertex shaders in hardware the shader runs under software processing.
    const bool software = !CurrentDevice || !CurrentDevice->VertexShaders;
    if (software && useDeclaration) device()->SetSoftwareVertexProcessing(TRUE);
    IDirect3DVertexShader9* TempVShaderPtr = nullptr;
    IDirect3DVertexDeclaration9* TempVShaderDec = nullptr;
    HRESULT Err = D3D_OK;
    if (code) {
        Err = device()->CreateVertexShader(static_cast<const DWORD*>(code->GetBufferPointer()), &TempVShaderPtr);
        ASSERT_MSG(Err == D3D_OK, "Create v-shader failed");
        code->Release();
    }
    const HRESULT DeclErr = device()->CreateVertexDeclaration(elements, &TempVShaderDec);
    if (DeclErr != D3D_OK) assertFailedMsg("Create declaration failed", "Err == D3D_OK", __FILE__, __LINE__);
    if (software && useDeclaration) device()->SetSoftwareVertexProcessing(FALSE);
    if (Err == D3D_OK) Err = DeclErr;
    if (Err != D3D_OK) {
        char message[1024];
        std::snprintf(message, sizeof message,
                      "Failed to create vertex shader\n%s in %s\nVertex register not defined in FVF?\nDXError: %s",
                      fileName, materialName, ErrorText(Err));
        assertFailedMsg(message, "Err == D3D_OK", __FILE__, __LINE__);
    }

    IDirect3DVertexShader9** VShaderPtr = T.VShaderPtr;
    IDirect3DVertexDeclaration9** VShaderDec = T.VShaderDec;
    int32_t* RefCount = T.RefCount;
    char** Name = T.Name;
    ASSERT(VShaderPtr[FirstFree] == NULL);
    ASSERT(VShaderDec[FirstFree] == NULL);
    ASSERT(RefCount[FirstFree] == 0);
    ASSERT(Name[FirstFree] == NULL);
    fillSlot(T, FirstFree, fileName, path, Source, SourceSize);
    std::memset(T.Declaration[FirstFree], 0, sizeof(T.Declaration[FirstFree]));
    std::memcpy(T.Declaration[FirstFree], elements, sizeof(D3DVERTEXELEMENT9) * elementCount);
    T.Usage[FirstFree] = software ? D3DUSAGE_SOFTWAREPROCESSING : 0;
    ASSERT(TempVShaderPtr != NULL);
    ASSERT(TempVShaderDec != NULL);
    T.VShaderPtr[FirstFree] = TempVShaderPtr;
    T.VShaderDec[FirstFree] = TempVShaderDec;
    return FirstFree;
}

int32_t D3DCore::LoadPixelShader(const char* fileName, const char* materialName)
{
    PixelShaderTable& T = PShaderTable;
    if (!VERIFY(fileName != NULL) || !VERIFY(device() != NULL)) return 0;
    if (!materialName) materialName = "";
    if (!CurrentDevice || !CurrentDevice->PixelShaders)
        assertFailedMsg("Can't load pixel shader\nPixel shaders not supported", "D3DCore.CurrentDevice->PixelShaders",
                        __FILE__, __LINE__);
    CFile File;
    char path[MAX_PATH];
    bool shared = false;
    const int32_t FirstFree = claimSlot(T, MAXPIXELSHADERS, File, fileName, "PixelShaders", "Pixel Shader",
                                        "Max Number of pixel-shaders exceeded", path, shared);
    if (FirstFree == 0 || shared) return FirstFree;

    ReadingFile reading(path);
    uint32_t SourceSize = 0;
    char* Source = readSource(File, SourceSize);
    LPD3DXBUFFER code = assemble(Source, SourceSize, "PixelShader", path);
    IDirect3DPixelShader9* TempPShaderPtr = nullptr;
    if (code) {
        const HRESULT Err = device()->CreatePixelShader(static_cast<const DWORD*>(code->GetBufferPointer()), &TempPShaderPtr);
        code->Release();
        if (Err != D3D_OK) {
            char message[1024];
            std::snprintf(message, sizeof message, "Failed to create pixel shader\n%s in %s\nDXError: %s", fileName,
                          materialName, ErrorText(Err));
            assertFailedMsg(message, "Err == D3D_OK", __FILE__, __LINE__);
        }
    }

    IDirect3DPixelShader9** PShaderPtr = T.PShaderPtr;
    int32_t* RefCount = T.RefCount;
    char** Name = T.Name;
    ASSERT(PShaderPtr[FirstFree] == NULL);
    ASSERT(RefCount[FirstFree] == 0);
    ASSERT(Name[FirstFree] == NULL);
    fillSlot(T, FirstFree, fileName, path, Source, SourceSize);
    ASSERT(TempPShaderPtr != NULL);
    T.PShaderPtr[FirstFree] = TempPShaderPtr;
    return FirstFree;
}

namespace {

template <class Table, class Pointer>
void releaseSlot(Table& table, Pointer* pointers, int32_t size, const void* shader)
{
    int32_t slot = -1;
    for (int32_t i = 1; i < size && slot < 0; ++i)
        if (pointers[i] == shader) slot = i;
    if (slot < 0) {
        assertFailed("false", __FILE__, __LINE__);
        return;
    }
    if (--table.RefCount[slot] > 0) return;
    if (!table.Keep[slot]) {
        if (pointers[slot]) pointers[slot]->Release();
        if constexpr (std::is_same_v<Table, VertexShaderTable>) {
            if (table.VShaderDec[slot]) table.VShaderDec[slot]->Release();
        }
    }
    if constexpr (std::is_same_v<Table, VertexShaderTable>) table.VShaderDec[slot] = nullptr;
    pointers[slot] = nullptr;
    delete[] table.Name[slot];
    delete[] table.Path[slot];
    delete[] table.Source[slot];
    table.Name[slot] = table.Path[slot] = table.Source[slot] = nullptr;
    table.SourceSize[slot] = 0;
    table.RefCount[slot] = 0;
    table.Keep[slot] = 0;
}

}  // namespace

void D3DCore::ReleaseVertexShader(IDirect3DVertexShader9* VShader)
{
    // A null interface would match a slot whose creation failed.
    if (!VERIFY(VShader != NULL)) return;
    releaseSlot(VShaderTable, VShaderTable.VShaderPtr, MAXVERTEXSHADERS, VShader);
}

void D3DCore::ReleasePixelShader(IDirect3DPixelShader9* PShader)
{
    if (!VERIFY(PShader != NULL)) return;
    releaseSlot(PShaderTable, PShaderTable.PShaderPtr, MAXPIXELSHADERS, PShader);
}

void D3DCore::ClearVertexShaders()
{
    VertexShaderTable& T = VShaderTable;
    for (int32_t i = 0; i < MAXVERTEXSHADERS; ++i) {
        if (!T.Keep[i]) {
            if (T.VShaderPtr[i]) T.VShaderPtr[i]->Release();
            if (T.VShaderDec[i]) T.VShaderDec[i]->Release();
        }
        delete[] T.Name[i];
        delete[] T.Path[i];
        delete[] T.Source[i];
    }
    T = VertexShaderTable{};
}

void D3DCore::ClearPixelShaders()
{
    PixelShaderTable& T = PShaderTable;
    for (int32_t i = 0; i < MAXPIXELSHADERS; ++i) {
        if (!T.Keep[i] && T.PShaderPtr[i]) T.PShaderPtr[i]->Release();
        delete[] T.Name[i];
        delete[] T.Path[i];
        delete[] T.Source[i];
    }
    T = PixelShaderTable{};
}
