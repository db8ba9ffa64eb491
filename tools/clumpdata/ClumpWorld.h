// What loading clumps needs, brought up without a window for the fuzz target and the benchmark:
// the render core on the reference device with no renderer, the sample clumps' files in
// data/clumps with their material handed out directly, the model managers, and the project data
// with a world (makeWorld). Run in the folder the files may be written to; once per process.
#pragma once

#include "DemoClumps.h"
#include "ReferenceDevice.h"
#include "ai/WorldMgr.h"
#include "d3dcore9/D3DCore.h"
#include "global/ProjData.h"
#include "l3render/ModelClassManager.h"
#include "l3render/ModelManager.h"
#include "matcore9/HWDynamicMesh.h"
#include "utility/LList.h"
#include "winfile/File.h"

#include <cstring>

namespace clumpworld {

inline DWORD& materialBlock()
{
    static DWORD block = 0;
    return block;
}

inline bool loadMaterial(const char*, const TexNames&, const float*, const float*, MultiBlock* out,
                         MeshMaterialInfo* info)
{
    out->Blocks = 1;
    out->StateBlock[0] = materialBlock();
    out->MainFVF = D3DCore.StateBlocks.GetSB(materialBlock())->GMaterial->FVFFormat;
    out->AddRef();
    info->Transparent = 0;
    return true;
}

// Through the engine's own file calls, so that a run that keeps its files in memory finds them.
inline void writeFile(const std::string& name, const std::string& bytes)
{
    CFile file;
    if (file.Open(name.c_str(), FILE_MODE_WRITE)) file.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

// The world's land tree and an AI map of 16 x 16 cells of 100 units whose ground rises 20 a cell
// eastwards; no shadows.
inline CAIMap* shapeWorld(CWorldMgr* pWorld)
{
    pWorld->createTree(512.0f, 4);
    CAIMap* map = pWorld->getAIMap();
    map->create(16, 16, 100, 0, 0);
    for (int col = 0; col < 16; ++col)
        for (int row = 0; row < 16; ++row) map->setHeight(col, row, static_cast<uint16_t>(col * 20));
    return map;
}

// A world manager of that shape for the project data.
inline CAIMap* makeWorld()
{
    getProjData().pWorldMgr = new CWorldMgr;
    return shapeWorld(getProjData().pWorldMgr);
}

// The device, the sample clumps' files and the model managers, without the project data.
inline bool bringUpDevice()
{
    if (!llistElementPoolExists()) llistInitElementPool();
    writeFile("data/4CC.txt", "3\nDXT1\nDXT3\nDXT5\n");
    for (const auto& [name, bytes] : democlumps::files()) writeFile("data/" + name, bytes);
    if (!bringUpReferenceDevice()) return false;
    GMaterial* material = new GMaterial();
    material->Name = new char[10];
    std::strcpy(material->Name, "clump.mtl");
    material->FVFFormat.D3DFlags = D3DFVF_XYZ | D3DFVF_DIFFUSE;
    AnalyseFVF(material->FVFFormat);
    material->Passes = 1;
    material->Stages[0] = 1;
    const float white[3] = {1, 1, 1};
    if (!D3DCore.StateBlocks.CreateSB("clump.mtl", TexNames(), white, white, &materialBlock())) return false;
    D3DCore.StateBlocks.GetSB(materialBlock())->GMaterial = material;
    SetMeshMaterialLoader(&loadMaterial);
    return CModelClassManager::Init() && CModelManager::Init();
}

inline bool bringUp()
{
    if (!bringUpDevice()) return false;
    createProjData();
    makeWorld();
    return true;
}

}  // namespace clumpworld
