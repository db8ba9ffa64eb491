// Feeds random bytes to the mesh-section readers on the reference device with no renderer. The
// first byte picks the file version (100 + byte % 7), the second the object: a tool object, a static
// mesh drawn once, or a dynamic mesh committed, lit and drawn. Materials of three formats are handed
// out by name.
#include "FuzzDevice.h"
#include "d3dcore9/D3DCore.h"
#include "matcore9/BufferAllocator.h"
#include "matcore9/HWDynamicMesh.h"
#include "platform/testing.h"
#include "utility/LList.h"
#include "winfile/File.h"

#include <cstring>

namespace {

DWORD blocks[3];

void makeMaterials()
{
    const DWORD formats[3] = {D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1,
                              D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX2, D3DFVF_XYZ | D3DFVF_SPECULAR};
    const char* names[3] = {"a.mtl", "b.mtl", "c.mtl"};
    for (int i = 0; i < 3; ++i) {
        GMaterial* GM = new GMaterial();
        GM->Name = new char[8];
        std::strcpy(GM->Name, names[i]);
        GM->FVFFormat.D3DFlags = formats[i];
        AnalyseFVF(GM->FVFFormat);
        GM->Passes = 1;
        GM->Stages[0] = 1;
        GM->UVSource[1] = 5;
        const float white[3] = {1, 1, 1};
        if (!D3DCore.StateBlocks.CreateSB(names[i], TexNames(), white, white, &blocks[i])) abort();
        D3DCore.StateBlocks.GetSB(blocks[i])->GMaterial = GM;
    }
}

bool loadMaterial(const char* name, const TexNames&, const float*, const float*, MultiBlock* out,
                  MeshMaterialInfo* info)
{
    const DWORD handle = blocks[std::strlen(name) % 3];
    out->Blocks = 1;
    out->StateBlock[0] = handle;
    out->MainFVF = D3DCore.StateBlocks.GetSB(handle)->GMaterial->FVFFormat;
    out->AddRef();
    info->Transparent = 1;
    return true;
}

void bringUp()
{
    fuzz::setUp();
    llistInitElementPool();
    fuzz::startDevice();
    makeMaterials();
    SetMeshMaterialLoader(&loadMaterial);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = (bringUp(), true);
    (void)ready;
    if (size < 2) return 0;
    const DWORD version = 100 + data[0] % 7;
    const int kind = data[1] % 3;
    const fuzz::InputFile input("section.bin", data + 2, size - 2);
    CFile file;
    if (!file.Open("section.bin", FILE_MODE_READ | FILE_MODE_BUFFERED)) abort();
    HWBaseObject* object = nullptr;
    HWDynamicMeshObject* dynamic = nullptr;
    if (kind == 0)
        object = new HWToolObject();
    else if (kind == 1)
        object = new HWMeshObject();
    else
        object = dynamic = new HWDynamicMeshObject(65535, 65535);
    const bool loaded = object->Load(file, version, "data\\models\\fuzz.rsm");
    if (loaded && kind != 0) {
        if (dynamic && dynamic->Commit() && dynamic->BuildNormals(false))
            dynamic->Prelight(Matrix3(), Vector3(0, 0, 1), Vector3(0.1f, 0.1f, 0.1f), Vector3(1, 1, 1));
        D3DCore.BeginScene(true, false);
        if (!dynamic || dynamic->IsCommitted()) object->Render(0);
        D3DCore.EndScene(true);
    }
    object->Release();
    // Every scratch and sub-mesh block has gone back.
    if (CBufferAllocator::GetInstance()->BlocksInUse() != 0) abort();
    return 0;
}
