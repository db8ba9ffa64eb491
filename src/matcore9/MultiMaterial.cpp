// Multi-material files: up to four materials for one
// piece of geometry, one of them possibly its transparent variant. The names of each file read are
// kept in the render core's name blocks, so a second load does not read the file again.
#include "matcore9/MatCore.h"

#include "d3dcore9/D3DCore.h"
#include "d3dcore9/LogWriter.h"
#include "matcore9/MaterialReader.h"
#include "matcore9/MeshFile.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"
#include "winfile/File.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const BYTE NO_TRANSPARENT = 0xFF;
const float WHITE[3] = {1.0f, 1.0f, 1.0f};

char* copyOf(const std::string& s)
{
    char* copy = new char[s.size() + 1];
    std::memcpy(copy, s.c_str(), s.size() + 1);
    return copy;
}

// The names of a multi-material file, full paths, in order.
struct Choices {
    std::vector<std::string> Names;
    int32_t Transparent = -1;
};

// Reads the block of a file that began with "[multimaterial]"; false after a report.
bool readChoices(MaterialReader& in, const std::string& folder, Choices& out)
{
    const char* file = in.FileName();
    DWORD count = 0;
    while (in.Next()) {
        if (in.Is("materials")) {
            if (count != 0) {
                assertFailedMsg(concatStrings("Materials given twice in ", file), "MaterialCount == 0", __FILE__, __LINE__);
                return false;
            }
            if (!in.Integer(&count, 1, MAXSTATEBLOCKCHOICES)) return false;
        } else if (in.Is("material") || in.Is("material*")) {
            std::string name;
            if (!in.String(&name)) return false;
            // Refused before it is stored: the count bounds the choices.
            if (count == 0 || out.Names.size() >= count) {
                assertFailedMsg(concatStrings("More materials than declared in ", file), "Materials < MaterialCount",
                                __FILE__, __LINE__);
                return false;
            }
            if (in.Is("material*")) {
                if (out.Transparent >= 0) {
                    assertFailedMsg(concatStrings("Second transparent material in ", file),
                                    "MultiBlock->TransparentBlock == 0xffffffff", __FILE__, __LINE__);
                    return false;
                }
                out.Transparent = static_cast<int32_t>(out.Names.size());
            }
            out.Names.push_back(folder + name);
        } else if (in.Is("[end]")) {
            if (out.Names.size() == count && count > 0) return true;
            assertFailedMsg(concatStrings("Fewer materials than declared in ", file), "Materials == MaterialCount",
                            __FILE__, __LINE__);
            return false;
        } else {
            in.UnknownKeyword();
        }
    }
    if (!in.Failed) assertFailedMsg(concatStrings("Missing [end] in ", file), "false", __FILE__, __LINE__);
    return false;
}

// The file's names kept for the next load; a full table only costs that saving.
void keepChoices(const char* name, const Choices& c)
{
    if (D3DCore.NumBlocks >= MAXMBLOCKS) {
        assertFailedMsg(concatStrings("Too many multi-materials - ", name, " is read at every load"),
                        "NumBlocks < MAXMBLOCKS", __FILE__, __LINE__);
        return;
    }
    MBlockEntry* block = D3DCore.AddMBlock();
    if (!block) return;
    block->Name = copyOf(name);
    for (size_t i = 0; i < c.Names.size(); ++i) block->Materials[i] = copyOf(c.Names[i]);
    block->Flags[0] = static_cast<BYTE>(c.Names.size());
    block->Flags[1] = c.Transparent >= 0 ? static_cast<BYTE>(c.Transparent) : NO_TRANSPARENT;
}

}  // namespace

bool MatCore::LoadMeshMaterials(const char* Name, const TexNames& Names, const float colourA[3],
                                const float colourB[3], MultiBlock* Multi, MeshMaterialInfo* Info)
{
    return ::MatCore.LoadMultiMaterialFile(Name, Names, colourA, colourB, Multi, Info);
}

bool MatCore::LoadMultiMaterial(const char* Material, const TexNames& Names, MultiBlock* Multi, MeshMaterialInfo* Info)
{
    if (!VERIFY(Material != NULL) || !VERIFY(strstr(Material, "\\\\") == NULL)) return false;
    return LoadMultiMaterialFile(Material, Names, WHITE, WHITE, Multi, Info);
}

bool MatCore::LoadMultiMaterialFile(const char* Name, const TexNames& Names, const float ambient[3],
                                    const float diffuse[3], MultiBlock* Multi, MeshMaterialInfo* Info)
{
    if (!VERIFY(Name != NULL) || !VERIFY(Multi != NULL) || !VERIFY(strstr(Name, "\\\\") == NULL)) return false;
    MeshMaterialInfo ignored;
    if (!Info) Info = &ignored;
    *Info = MeshMaterialInfo();
    *Multi = MultiBlock();

    Choices choices;
    bool multi = true;
    CFile file;
    MBlockEntry* kept = nullptr;
    StateBlock* loaded = nullptr;
    if (D3DCore.FindMBlock(Name, &kept)) {
        for (BYTE i = 0; i < kept->Flags[0] && i < MAXSTATEBLOCKCHOICES; ++i)
            choices.Names.push_back(kept->Materials[i] ? kept->Materials[i] : "");
        choices.Transparent = kept->Flags[1] == NO_TRANSPARENT ? -1 : kept->Flags[1];
    } else if (D3DCore.FindStateBlockByName(Name, &loaded)) {
        choices.Names.push_back(Name);
        multi = false;
    } else {
        ReadingFile reading(Name);
        char path[MAX_PATH];
        DWORD error = ERROR_SUCCESS;
        if (!D3DCore.FindFile(file, Name, TextureSearchPath, "materials", FILE_MODE_READ | FILE_MODE_BUFFERED, path,
                              true, &error)) {
            char text[MAX_PATH + 64];
            std::snprintf(text, sizeof text, "Material: <%s> not found", Name);
            FatalError(openFailureText(path, error, text).c_str());
        }
        MaterialReader in(file, Name);
        if (in.Next() && in.Is("[multimaterial]")) {
            if (!readChoices(in, MaterialFolder(path), choices)) return false;
            keepChoices(Name, choices);
            file.Close();
        } else {
            // An ordinary material file, read again from its start by the material parser.
            choices.Names.push_back(Name);
            multi = false;
        }
    }

    for (size_t i = 0; i < choices.Names.size(); ++i) {
        const char* material = choices.Names[i].c_str();
        MaterialLoad RetMatInfo;
        if (!LoadMaterial(material, Names, ambient, diffuse, file.IsOpen() ? &file : nullptr, &RetMatInfo)) {
            char text[1024];
            if (multi)
                std::snprintf(text, sizeof text, "Multi-Material: %s Primary Material: %s failed to validate. Error: %X <%s>",
                              Name, material, static_cast<unsigned>(RetMatInfo.Error), ErrorText(RetMatInfo.Error));
            else
                std::snprintf(text, sizeof text, "Material: %s failed to validate. Error: %X <%s>", material,
                              static_cast<unsigned>(RetMatInfo.Error), ErrorText(RetMatInfo.Error));
            FatalError(text);
        }
        Multi->StateBlock[i] = RetMatInfo.Handle;
        Multi->Blocks = static_cast<int32_t>(i + 1);
        if (static_cast<int32_t>(i) == choices.Transparent) Multi->TransparentBlock = RetMatInfo.Handle;
        ASSERT(!(RetMatInfo.Lit && RetMatInfo.VSLit));
        Info->Lit |= RetMatInfo.Lit;
        Info->VSLit |= RetMatInfo.VSLit;
        if (i == 0) Info->FileReported = RetMatInfo.FileReported;
    }
    Info->Transparent = Multi->TransparentBlock != SB_NONE;

    // The choices draw the same geometry: one vertex layout, one UV routing, one way of sorting.
    // A refused set gives back the blocks its choices took.
    auto refuse = [Multi] {
        Multi->Release();
        *Multi = MultiBlock();
        return false;
    };
    StateBlockTable& table = D3DCore.StateBlocks;
    const StateBlock* SB0 = table.GetSB(Multi->StateBlock[0]);
    const GMaterial* GM0 = SB0 ? SB0->GMaterial : nullptr;
    if (!VERIFY(GM0 != NULL)) return refuse();
    Multi->MainFVF = GM0->FVFFormat;
    for (int32_t i = 1; i < Multi->Blocks; ++i) {
        const StateBlock* SB = table.GetSB(Multi->StateBlock[i]);
        const GMaterial* GM = SB ? SB->GMaterial : nullptr;
        if (!VERIFY(GM != NULL)) return refuse();
        ASSERT(std::memcmp(GM->UVSource, GM0->UVSource, sizeof GM->UVSource) == 0);
        ASSERT((GM->DelayedSort == SORT_POLY) == (GM0->DelayedSort == SORT_POLY));
        if (Multi->MainFVF.FormatValid && GM->FVFFormat.FormatValid) Multi->MainFVF.Merge(GM->FVFFormat);
    }
    Multi->SetName(Name);
    return true;
}
