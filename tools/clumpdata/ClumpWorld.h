// What loading clumps needs, brought up without a window for the fuzz target and the benchmark:
// the render core on the reference device with no renderer, the sample clumps' files in
// data/clumps with their material handed out directly, the model managers, and the project data
// with a world whose AI map of 16 x 16 cells of 100 units rises along its diagonal. Run in the
// folder the files may be written to; once per process.
#pragma once

#include "DemoClumps.h"
#include "ai/WorldMgr.h"
#include "d3dcore9/D3DCore.h"
#include "global/ProjData.h"
#include "l3render/ModelClassManager.h"
#include "l3render/ModelManager.h"
#include "matcore9/HWDynamicMesh.h"
#include "platform/testing.h"
#include "utility/LList.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

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

inline void writeFile(const std::string& name, const std::string& bytes)
{
    std::filesystem::create_directories(std::filesystem::path(name).parent_path());
    if (FILE* f = std::fopen(name.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

inline bool bringUp()
{
    if (!llistElementPoolExists()) llistInitElementPool();
    writeFile("data/4CC.txt", "3\nDXT1\nDXT3\nDXT5\n");
    for (const auto& [name, bytes] : democlumps::files()) writeFile("data/" + name, bytes);
    platform::testing::resetD3D9();
    if (DXSetup::Load() != 0) return false;
    DXSetup::SetEnumFilter(GameEnumFilter());
    if (!D3DCore.Init()) return false;
    const int32_t mode = D3DCore.FindMode(0, 0, 640, 480);
    D3DCore.SetMode(0, 0, mode, D3DCore.FindFormat(0, 0, mode, 32), 0, 0, true, 0, 0, 0);
    if (!D3DCore.CreateDevice(false, false, 1)) return false;
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
    if (!CModelClassManager::Init() || !CModelManager::Init()) return false;
    createProjData();
    getProjData().pWorldMgr = new CWorldMgr;
    CAIMap* map = getProjData().pWorldMgr->getAIMap();
    map->create(16, 16, 100, 0, 0);
    for (int i = 0; i < 16; ++i) {
        map->setHeight(i, i, static_cast<uint16_t>(i * 30));
        map->setShadowHeight(i, 15 - i, static_cast<uint16_t>(i * 20));
    }
    return true;
}

}  // namespace clumpworld
