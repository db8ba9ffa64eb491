// Multi-material name blocks, override paths, the gamma ramp, and the world and camera transforms.
#include "d3dcore9/D3DCore.h"

#include "d3dcore9/RenderMatrix.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"

#include <cmath>
#include <cstring>

namespace {

IDirect3DDevice9* device() { return DXInterface.ID3DDevice; }

const float HALF_PI = 1.5707963705062866f;

}  // namespace

void D3DCore::FreeMBlock(MBlockEntry& block)
{
    delete[] block.Name;
    for (char*& m : block.Materials) delete[] m;
    block = MBlockEntry{};
}

MBlockEntry* D3DCore::AddMBlock()
{
    if (!VERIFY_MSG(NumBlocks < MAXMBLOCKS, "Too many multi-materials - increase MAXMBLOCKS and recompile"))
        return nullptr;
    MBlockEntry* block = &MBlock[NumBlocks++];
    *block = MBlockEntry{};
    return block;
}

bool D3DCore::FindMBlock(const char* name, MBlockEntry** block)
{
    if (!name) return false;
    for (int32_t i = 0; i < NumBlocks; ++i) {
        // A block without a name cannot match; it is reported and passed over.
        if (!VERIFY(MBlock[i].Name != NULL)) continue;
        if (std::strcmp(MBlock[i].Name, name) == 0) {
            if (block) *block = &MBlock[i];
            return true;
        }
    }
    return false;
}

void D3DCore::ClearMBlocks()
{
    for (MBlockEntry& block : MBlock) FreeMBlock(block);
    NumBlocks = 0;
}

bool D3DCore::SetOverridePath(const char* path, int32_t Idx)
{
    if (!VERIFY(Idx >= 0)) return false;
    if (!VERIFY_MSG(Idx < MAXOVERRIDEPATHS, concatStrings("Too many override paths. Only ", "6", " allowed")))
        return false;
    if (!path) {
        OverridePaths[Idx][0] = 0;
        return true;
    }
    if (!VERIFY_MSG(std::strlen(path) < static_cast<size_t>(OVERRIDE_PATH_SIZE), "Override path too long")) return false;
    std::strcpy(OverridePaths[Idx], path);
    return true;
}

void D3DCore::ClearOverridePaths()
{
    for (auto& p : OverridePaths) p[0] = 0;
}

const char* D3DCore::GetOverridePath(int32_t Idx) const
{
    if (Idx < 0 || Idx >= MAXOVERRIDEPATHS) return "";
    return OverridePaths[Idx];
}

void D3DCore::ResetGammaRamp()
{
    for (auto& channel : Gamma)
        for (int i = 0; i < 256; ++i) channel[i] = static_cast<WORD>(i);
}

void D3DCore::SetGammaOffset(int32_t offset)
{
    D3DGAMMARAMP ramp;
    for (int c = 0; c < 3; ++c) {
        WORD* out = c == 0 ? ramp.red : (c == 1 ? ramp.green : ramp.blue);
        for (int i = 0; i < 256; ++i) {
            int32_t v = i + offset;
            v = v < 0 ? 0 : (v > 255 ? 255 : v);
            Gamma[c][i] = static_cast<WORD>(v);
            out[i] = static_cast<WORD>(v * 257);
        }
    }
    if (device()) device()->SetGammaRamp(0, D3DSGR_NO_CALIBRATION, &ramp);
}

void D3DCore::SetWorldMatrix(const D3DMATRIX& matrix)
{
    if (!device()) return;
    WorldMatrix = matrix;
    HRESULT Err = device()->SetTransform(D3DTS_WORLD, &WorldMatrix);
    ASSERT(Err == D3D_OK);
    ++WorldMatrixChanges;
}

namespace {

// The camera's base orientation: the device's axes turned onto the game's.
void cameraBase(D3DMATRIX& m)
{
    RenderMatrix::buildRotationY(m, HALF_PI);
    RenderMatrix::rotateX(m, -HALF_PI);
    m.m[1][0] = -m.m[1][0];
    m.m[1][1] = -m.m[1][1];
    m.m[1][2] = -m.m[1][2];
}

// The two camera setters differ only in the order of their three turns.
void turnXYZ(D3DMATRIX& m, float a1, float a2, float a3)
{
    RenderMatrix::rotateX(m, a1);
    RenderMatrix::rotateY(m, -a2);
    RenderMatrix::rotateZ(m, a3);
}

void turnZYX(D3DMATRIX& m, float a1, float a2, float a3)
{
    RenderMatrix::rotateZ(m, a1);
    RenderMatrix::rotateY(m, -a2);
    RenderMatrix::rotateX(m, a3);
}

}  // namespace

void D3DCore::PlaceCamera(CameraTurn turn, float a1, float a2, float a3, float x, float y, float z)
{
    if (!device()) return;
    CameraPosition[0] = x;
    CameraPosition[1] = y;
    CameraPosition[2] = z;
    D3DMATRIX m;
    cameraBase(m);
    turn(m, a1, a2, a3);
    m.m[3][0] = x;
    m.m[3][1] = y;
    m.m[3][2] = z;
    RenderMatrix::setInverseAffine(m);
    ViewMatrix = m;
    device()->SetTransform(D3DTS_VIEW, &ViewMatrix);
    RenderMatrix::identity(CameraRotation);
    turn(CameraRotation, a1, a2, a3);
    BuildCameraTextureMatrix();
    RenderMatrix::multiply(ViewProjection, ViewMatrix, ProjectionMatrix);
}

void D3DCore::SetCameraAngles(float a1, float a2, float a3, float x, float y, float z)
{
    PlaceCamera(turnXYZ, a1, a2, a3, x, y, z);
}

void D3DCore::SetCameraAnglesZFirst(float a1, float a2, float a3, float x, float y, float z)
{
    PlaceCamera(turnZYX, a1, a2, a3, x, y, z);
}
