#include "effects/EffectUtils.h"

#include "d3dcore9/D3DCore.h"
#include "effects/EffectDefinition.h"
#include "matcore9/MatCore.h"
#include "utility/Assert.h"
#include "utility/ParamBlock.h"
#include "utility/TextChars.h"
#include "winfile/File.h"

#include <cmath>
#include <cstring>
#include <string>
#include <strings.h>

namespace {

const char* const DATA_FOLDER = "data\\";

// A file stands there, whether or not the user may read it: one that may not be read is still the
// file meant, and the texture's report says why it cannot be used.
bool present(const std::string& name)
{
    DWORD error = ERROR_SUCCESS;
    return FileExists(name.c_str(), 0, &error) || unreadableCause(name.c_str(), error) != nullptr;
}

// The name's path in the data folder; a name that begins there is one already.
std::string inData(const std::string& name)
{
    return strncasecmp(name.c_str(), DATA_FOLDER, std::strlen(DATA_FOLDER)) == 0 ? name : DATA_FOLDER + name;
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

// The texture as given when it is there, else in the data folder, else beside its material whether
// it is there or not: that is the path a missing texture, or one the user may not read, is reported
// by. A path made here is in lower case, as the texture loader opens its files.
std::string texturePath(const std::string& texture, const std::string& material)
{
    if (present(texture)) return texture;
    std::string path = inData(texture);
    if (path != texture && !present(path) && !folderOf(material).empty()) path = folderOf(material) + texture;
    for (char& c : path) c = asciiLower(c);
    return path;
}

}  // namespace

const char* const EffectUtils::DEFAULT_MATERIAL = "Particles\\PartLinearAdd.mtl";

DWORD EffectUtils::LoadMaterial(const char* material, const char* texture)
{
    // A material found nowhere is named by its data path, as one found there is.
    const std::string path = present(material) ? std::string(material) : inData(material);
    TexNames names;
    if (texture) {
        const std::string file = texturePath(texture, path);
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
