#include "effects/EffectUtils.h"

#include "d3dcore9/D3DCore.h"
#include "effects/EffectDefinition.h"
#include "matcore9/MatCore.h"
#include "utility/Assert.h"
#include "utility/ParamBlock.h"
#include "winfile/File.h"

#include <cmath>
#include <cstring>
#include <string>

namespace {

const char* const DATA_FOLDER = "data\\";

// The name as given when such a file exists, else in the folder when it is there; else as given.
std::string located(const char* name, const std::string& folder)
{
    if (FileExists(name) || folder.empty()) return name;
    const std::string there = folder + name;
    return FileExists(there.c_str()) ? there : std::string(name);
}

std::string folderOf(const std::string& path)
{
    const size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

int64_t saturated(double value)
{
    if (!(value == value)) return 0;
    if (value >= 9.0e18) return INT64_MAX;
    if (value <= -9.0e18) return INT64_MIN;
    return static_cast<int64_t>(value);
}

}  // namespace

const char* const EffectUtils::DEFAULT_MATERIAL = "Particles\\PartLinearAdd.mtl";

DWORD EffectUtils::LoadMaterial(const char* material, const char* texture)
{
    std::string path = located(material, "");
    if (path == material && !FileExists(material)) path = located(material, DATA_FOLDER);
    TexNames names;
    if (texture) {
        std::string file = texture;
        if (!FileExists(file.c_str())) {
            file = located(texture, DATA_FOLDER);
            if (file == texture) file = located(texture, folderOf(path));
        }
        if (VERIFY_MSG(file.size() < SB_TEXNAME_SIZE, texture)) {
            std::memcpy(names.Name[0], file.c_str(), file.size() + 1);
            names.TotalNames = 1;
        }
    }
    const float white[3] = {1.0f, 1.0f, 1.0f};
    MatCore::MaterialLoad load;
    const bool res = MatCore.LoadMaterial(path.c_str(), names, white, white, nullptr, &load);
    ASSERT(res);
    return res ? load.Handle : SB_NONE;
}

void EffectUtils::ReleaseMaterial(DWORD& handle)
{
    if (handle != SB_NONE && D3DCore.DeviceActive) D3DCore.StateBlocks.ReleaseSB(handle);
    handle = SB_NONE;
}

bool EffectUtils::ReadRenderType(const CParamBlock* pBlock, int32_t* pType, bool required)
{
    int value = 0;
    if (!pBlock->parseInt("render_type", &value))
        return required ? VERIFY_MSG(false, definitionFault("A definition needs a render_type")) : true;
    if (!VERIFY_MSG(value >= 0 && value <= 2, definitionFault("render_type must be 0, 1 or 2"))) return false;
    *pType = value;
    return true;
}

bool EffectUtils::ApplyDrawState(DWORD material)
{
    const DWORD i = material;
    if (!VERIFY(i != 0xffffffff)) return false;
    StateBlock* pBlock = D3DCore.StateBlocks.GetSB(i);
    if (!pBlock) return false;
    D3DMATRIX identity{};
    identity._11 = identity._22 = identity._33 = identity._44 = 1.0f;
    D3DCore.SetWorldMatrix(identity);
    D3DCore.ApplyStateBlock(pBlock, 0, 0);
    if (D3DCore.VertexShader != nullptr) D3DCore.SetVertexShader(nullptr);
    if (D3DCore.FVF != VERTEX_FVF) D3DCore.SetFVF(VERTEX_FVF);
    return true;
}

uint32_t EffectUtils::ColourByte(float value) { return static_cast<uint32_t>(saturated(value)) & 0xFFu; }

uint32_t EffectUtils::RoundedColourByte(float value)
{
    return static_cast<uint32_t>(saturated(std::round(static_cast<double>(value)))) & 0xFFu;
}
