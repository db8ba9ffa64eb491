#include "d3dcore9/FVFFormat.h"

#include "utility/Assert.h"

namespace {

const DWORD FVF_POSITION_MASK = 0x400E;
const DWORD FVF_XYZ = 0x002;
const DWORD FVF_XYZRHW = 0x004;
const DWORD FVF_XYZB1 = 0x006;
const DWORD FVF_XYZB5 = 0x00E;
const DWORD FVF_NORMAL = 0x010;
const DWORD FVF_DIFFUSE = 0x040;
const DWORD FVF_SPECULAR = 0x080;

}  // namespace

void AnalyseFVF(FVFFormat& format)
{
    const DWORD D3DFlags = format.D3DFlags;
    format = FVFFormat();
    format.D3DFlags = D3DFlags;
    if (D3DFlags == 0) {
        assertFailedMsg("Error analysing FVF", "D3DFlags != 0", __FILE__, __LINE__);
        return;
    }
    DWORD offset;
    const DWORD position = D3DFlags & FVF_POSITION_MASK;
    if (position == FVF_XYZ) {
        offset = 12;
    } else if (position == FVF_XYZRHW) {
        format.RHW = true;
        format.RHWOffset = 12;
        offset = 16;
    } else if (position >= FVF_XYZB1 && position <= FVF_XYZB5) {
        format.Weights = static_cast<int32_t>((position - FVF_XYZB1) / 2 + 1);
        format.WeightOffset = 12;
        offset = 12 + 4 * static_cast<DWORD>(format.Weights);
    } else {
        return;  // not a position this format can have
    }
    format.XYZ = true;
    if (D3DFlags & FVF_NORMAL) {
        format.Normal = true;
        format.NormalOffset = offset;
        offset += 12;
    }
    if (D3DFlags & FVF_DIFFUSE) {
        format.Diffuse = true;
        format.DiffuseOffset = offset;
        offset += 4;
    }
    if (D3DFlags & FVF_SPECULAR) {
        format.Specular = true;
        format.SpecularOffset = offset;
        offset += 4;
    }
    const int32_t sets = static_cast<int32_t>((D3DFlags >> 8) & 15);
    // Four bits can ask for 15 sets, but a vertex has room for 8.
    if (sets > MAX_FVF_TEXSETS) return;
    format.TexSets = sets;
    for (int32_t i = 0; i < sets; ++i) {
        format.TexOffset[i] = offset;
        offset += 8;
    }
    format.Size = offset;
    format.FormatValid = true;
}

bool FVFFormat::Merge(const FVFFormat& FVF2)
{
    if (!VERIFY(this->FormatValid) || !VERIFY(FVF2.FormatValid)) return false;
    if (!VERIFY(this->TexSets <= 8) || !VERIFY(FVF2.TexSets <= 8)) return false;
    if (!VERIFY(FVF2.XYZ) || !VERIFY(this->RHW == FVF2.RHW)) return false;
    const int32_t weights = Weights > FVF2.Weights ? Weights : FVF2.Weights;
    if (weights != 0 && !VERIFY(!RHW)) return false;
    DWORD flags;
    if (weights == 0)
        flags = RHW ? FVF_XYZRHW : FVF_XYZ;
    else
        flags = FVF_XYZB1 + 2 * static_cast<DWORD>(weights - 1);
    if (Normal || FVF2.Normal) flags |= FVF_NORMAL;
    if (Diffuse || FVF2.Diffuse) flags |= FVF_DIFFUSE;
    if (Specular || FVF2.Specular) flags |= FVF_SPECULAR;
    flags |= static_cast<DWORD>(TexSets > FVF2.TexSets ? TexSets : FVF2.TexSets) << 8;
    D3DFlags = flags;
    AnalyseFVF(*this);
    return FormatValid;
}
