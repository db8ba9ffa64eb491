#include "kestrune/Shadows.h"

#include "ai/LandTree.h"
#include "ai/WorldMgr.h"
#include "d3dcore9/D3DCore.h"
#include "global/ProjData.h"
#include "matcore9/MatCore.h"
#include "utility/Assert.h"
#include "utility/VectorMath.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

const char* const SHADOW_MATERIAL = "data\\models\\shadow\\shadow.mtl";

struct ShadowMesh {
    const char* texture;
    uint32_t n;  // quads along each side
    float size;  // half the side of the flat grid it is built as
    DisplayHandle* handle;
    VertexList* list;
    DWORD block;  // the material's state block
};

ShadowMesh shadows[NUM_SHADOWS] = {
    {"data\\models\\shadow\\plane shadow.tga", 4, 100.0f, nullptr, nullptr, SB_NONE},
    {"data\\models\\shadow\\MechShad.tga", 4, 40.0f, nullptr, nullptr, SB_NONE},
};

const float PI = 3.14159265358979f;
const float BAND_LOW = 1.1780972f;   // 3 pi / 8
const float BAND_HIGH = 1.9634955f;  // 5 pi / 8
const float NORMAL_LIFT = 3.5f;

float wrapAngle(float angle)
{
    if (!std::isfinite(angle)) return 0.0f;
    return std::remainder(angle, 2.0f * PI);
}

// The vertex of column c, row r: position, then the texture set where the format keeps it.
void writeVertex(BYTE* base, const FVFFormat& format, uint32_t c, uint32_t r, uint32_t n, const float position[3])
{
    BYTE* v = base + (r * (n + 1) + c) * format.Size;
    std::memcpy(v, position, 3 * sizeof(float));
    const float uv[2] = {static_cast<float>(c) / n, static_cast<float>(r) / n};
    std::memcpy(v + format.TexOffset[0], uv, sizeof uv);
}

void releaseMesh(ShadowMesh& mesh)
{
    if (mesh.handle) D3DCore.DeleteDisplayHandle(mesh.handle);
    if (mesh.block != SB_NONE) D3DCore.StateBlocks.ReleaseSB(mesh.block);
    mesh.handle = nullptr;
    mesh.list = nullptr;
    mesh.block = SB_NONE;
}

bool buildMesh(ShadowMesh& mesh)
{
    TexNames names;
    names.TotalNames = 1;
    std::snprintf(names.Name[0], SB_TEXNAME_SIZE, "%s", mesh.texture);
    DWORD block = SB_NONE;
    const bool OK = MatCore.LoadMaterial(SHADOW_MATERIAL, names, &block);
    if (!VERIFY(OK)) return false;
    mesh.block = block;
    const StateBlock* SB = D3DCore.StateBlocks.GetSB(block);
    if (!SB || !SB->GMaterial) return false;
    const FVFFormat& ShadowFVFFormat = SB->GMaterial->FVFFormat;
    if (!VERIFY(ShadowFVFFormat.TexSets == 1) || !VERIFY(ShadowFVFFormat.XYZ)) return false;

    MultiBlock multi;
    multi.Blocks = 1;
    multi.StateBlock[0] = block;
    multi.MainFVF = ShadowFVFFormat;
    multi.SetName(SHADOW_MATERIAL);
    const uint32_t n = mesh.n;
    AddTrisConfig config;
    config.Vertices = (n + 1) * (n + 1);
    config.Indices = 6 * n * n;
    mesh.handle = D3DCore.CreateDisplayHandle();
    void* vertices = nullptr;
    void* indices = nullptr;
    mesh.list = mesh.handle ? D3DCore.AddTris(mesh.handle, &multi, &config, &vertices, &indices, nullptr) : nullptr;
    if (!mesh.list) return false;
    // Flat until the first drape.
    for (uint32_t r = 0; r <= n; ++r)
        for (uint32_t c = 0; c <= n; ++c) {
            const float p[3] = {2.0f * c * mesh.size / n - mesh.size, mesh.size - 2.0f * r * mesh.size / n, 0.0f};
            writeVertex(static_cast<BYTE*>(vertices), ShadowFVFFormat, c, r, n, p);
        }
    auto* index = static_cast<uint16_t*>(indices);
    for (uint32_t r = 0; r < n; ++r)
        for (uint32_t c = 0; c < n; ++c) {
            const uint16_t s = static_cast<uint16_t>(r * (n + 1));
            const uint16_t quad[6] = {static_cast<uint16_t>(s + c),         static_cast<uint16_t>(s + c + 1),
                                      static_cast<uint16_t>(s + n + 1 + c), static_cast<uint16_t>(s + c + 1),
                                      static_cast<uint16_t>(s + n + 2 + c), static_cast<uint16_t>(s + n + 1 + c)};
            std::memcpy(index, quad, sizeof quad);
            index += 6;
        }
    D3DCore.EndAddTris();
    return true;
}

}  // namespace

float ShadowBankAngle(float c)
{
    c = wrapAngle(c);
    if (c > BAND_LOW && c < PI / 2) return BAND_LOW;
    if (c >= PI / 2 && c < BAND_HIGH) return BAND_HIGH;
    if (c > -PI / 2 && c < -BAND_LOW) return -BAND_LOW;
    if (c > -BAND_HIGH && c <= -PI / 2) return -BAND_HIGH;
    return c;
}

bool InitShadows()
{
    bool ok = true;
    // Both meshes use the material: one read of it for both, so that once it has been reported
    // neither says more of it.
    ReadingFile reading(SHADOW_MATERIAL);
    for (ShadowMesh& mesh : shadows) {
        releaseMesh(mesh);
        if (!buildMesh(mesh)) {
            releaseMesh(mesh);
            ok = false;
        }
    }
    return ok;
}

void ShutdownShadows()
{
    for (ShadowMesh& mesh : shadows) releaseMesh(mesh);
}

DisplayHandle* GetShadowDisplayHandle(uint32_t mesh) { return mesh < NUM_SHADOWS ? shadows[mesh].handle : nullptr; }
VertexList* GetShadowVertexList(uint32_t mesh) { return mesh < NUM_SHADOWS ? shadows[mesh].list : nullptr; }

void RenderVehicleShadow(uint32_t mesh, float x, float y, float, float a, float b, float c, int32_t gridCount,
                         float halfSize)
{
    if (!VERIFY(mesh < NUM_SHADOWS) || gridCount <= 0) return;
    ShadowMesh& shadow = shadows[mesh];
    CWorldMgr* pWorld = projDataExists() ? getProjData().getWorldMgr() : nullptr;
    if (!shadow.list || !pWorld || !pWorld->hasTree()) return;
    const CLandTree* pTree = pWorld->getTree();
    const StateBlock* SB = D3DCore.StateBlocks.GetSB(shadow.block);
    if (!SB || !SB->GMaterial) return;
    const FVFFormat& format = SB->GMaterial->FVFFormat;

    Matrix3 turn, pitch, heading;
    turn.setRotationX(ShadowBankAngle(c));
    pitch.setRotationY(wrapAngle(b));
    heading.setRotationZ(-a);
    Matrix3::multiply(turn, turn, pitch);
    Matrix3::multiply(turn, turn, heading);

    Vector3 normal;
    const float g0 = pTree->getGroundHeight(Vector3(x, y, 0.0f), &normal);
    void* data = nullptr;
    if (!shadow.list->LockVB(&data, 0, 0, 0)) return;
    const uint32_t n = shadow.n;
    const float step = 2.0f * halfSize / static_cast<float>(gridCount);
    for (uint32_t r = 0; r <= n; ++r)
        for (uint32_t col = 0; col <= n; ++col) {
            Vector3 o(col * step - halfSize, halfSize - r * step, 0.0f);
            turn.transform(o, o);
            const float g = pTree->getGroundHeight(Vector3(x + o.x, y + o.y, 0.0f), &normal);
            const float p[3] = {o.x + NORMAL_LIFT * normal.x, o.y + NORMAL_LIFT * normal.y, g - g0 + NORMAL_LIFT * normal.z};
            writeVertex(static_cast<BYTE*>(data), format, col, r, n, p);
        }
    const bool OK = shadow.list->UnlockVB();
    if (!VERIFY(OK)) return;
    D3DCore.SetWorldTransform(0.0f, 0.0f, x, y, g0, 1.0f);
    D3DCore.DrawDisplayList(shadow.handle, 0);
}
