// One material made by hand on the device (no file, no textures), handed out for every mesh the
// model and mesh loaders read, so that a benchmark's meshes load without the material library.
#pragma once

#include "d3dcore9/D3DCore.h"
#include "matcore9/HWObjects.h"

#include <cstring>

namespace bench {

inline DWORD& meshMaterial()
{
    static DWORD block = SB_NONE;
    return block;
}

inline bool loadMeshMaterial(const char*, const TexNames&, const float*, const float*, MultiBlock* out,
                             MeshMaterialInfo* info)
{
    out->Blocks = 1;
    out->StateBlock[0] = meshMaterial();
    out->MainFVF = D3DCore.StateBlocks.GetSB(meshMaterial())->GMaterial->FVFFormat;
    out->AddRef();
    if (info) info->Transparent = 0;
    return true;
}

// The material "m.mtl" of one pass and stage for vertices of the format; false when its state
// block cannot be made.
inline bool useOneMeshMaterial(DWORD fvf)
{
    GMaterial* GM = new GMaterial();
    GM->Name = new char[6];
    std::strcpy(GM->Name, "m.mtl");
    GM->FVFFormat.D3DFlags = fvf;
    AnalyseFVF(GM->FVFFormat);
    GM->Passes = 1;
    GM->Stages[0] = 1;
    const float white[3] = {1, 1, 1};
    if (!D3DCore.StateBlocks.CreateSB("m.mtl", TexNames(), white, white, &meshMaterial())) {
        delete GM;
        return false;
    }
    D3DCore.StateBlocks.GetSB(meshMaterial())->GMaterial = GM;
    SetMeshMaterialLoader(&loadMeshMaterial);
    return true;
}

}  // namespace bench
