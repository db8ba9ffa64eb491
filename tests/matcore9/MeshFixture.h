// Mesh objects on the scripted card: sections written by the mesh writer, materials made by hand
// and handed out by name through the mesh material seam.
#pragma once

#include "DisplayListFixture.h"
#include "MeshWriter.h"
#include "matcore9/BufferAllocator.h"
#include "matcore9/HWDynamicMesh.h"
#include "matcore9/MatCore.h"
#include "utility/LList.h"
#include "winfile/File.h"

#include <map>
#include <string>

namespace mw = meshwriter;

class MeshFixture : public DisplayListFixture {
protected:
    struct Choice {
        DWORD Handle;
        MeshMaterialInfo Info;
    };

    void SetUp() override
    {
        DisplayListFixture::SetUp();
        llistInitElementPool();
        materials().clear();
        SetMeshMaterialLoader(&loadMaterial);
        MatCore.Warnings = 0;
        MatCore.LoadingText[0] = 0;
    }

    void TearDown() override
    {
        SetMeshMaterialLoader(nullptr);
        materials().clear();
        DisplayListFixture::TearDown();
        CBufferAllocator::DestroyInstance();
        llistFreeElementPool();
    }

    static std::map<std::string, Choice>& materials()
    {
        static std::map<std::string, Choice> all;
        return all;
    }

    // The material a block naming `name` (its full name) is drawn with.
    static StateBlock* addMaterial(const std::string& name, DWORD fvf, DWORD sort = SORT_NONE,
                                   MeshMaterialInfo info = {0, 1, 0})
    {
        StateBlock* SB = material(name.c_str(), 1, sort, fvf);
        materials()[name] = {handleOf(SB), info};
        return SB;
    }

    static bool loadMaterial(const char* name, const TexNames&, const float*, const float*, MultiBlock* out,
                             MeshMaterialInfo* info)
    {
        auto it = materials().find(name);
        if (it == materials().end()) return false;
        StateBlock* SB = D3DCore.StateBlocks.GetSB(it->second.Handle);
        *out = multi({SB}, nullptr, name);
        out->AddRef();
        *info = it->second.Info;
        return true;
    }

    // The section written to a file and loaded from its start.
    bool load(HWBaseObject* object, const std::string& bytes, DWORD version,
              const char* model = "data\\models\\m.rsm")
    {
        m_dir.write("section.bin", bytes);
        CFile file;
        if (!file.Open("section.bin", FILE_MODE_READ | FILE_MODE_BUFFERED)) return false;
        return object->Load(file, version, model);
    }

    static std::string quadSection(DWORD version, const std::string& material = "demo.mtl",
                                   DWORD fvf = mw::XYZ | mw::NORMAL | mw::TEX(1))
    {
        mw::Block b = mw::demoQuad(material, "demo.tga");
        b.Primitives = {mw::quad(fvf, version, 0xFF102030)};
        return mw::section({b}, version);
    }
};
