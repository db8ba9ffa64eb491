#include "kestrune/LightMaps.h"

#include "ai/AIMap.h"
#include "ai/WorldMgr.h"
#include "d3dcore9/D3DCore.h"
#include "d3dcore9/RenderMatrix.h"
#include "global/ProjData.h"
#include "kestrune/TextLines.h"
#include "matcore9/MatCore.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"
#include "winfile/File.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

CLightMaps LightMaps;

namespace {

const DWORD LIGHTMAP_FVF = D3DFVF_XYZ | D3DFVF_TEX1;

struct LightMapVertex {
    float x, y, z, u, v;
};
static_assert(sizeof(LightMapVertex) == 20);

const CAIMap* levelMap()
{
    if (!projDataExists()) return nullptr;
    CWorldMgr* pWorld = getProjData().getWorldMgr();
    const CAIMap* pMap = pWorld ? pWorld->getAIMap() : nullptr;
    return pMap && pMap->getWidth() > 0 ? pMap : nullptr;
}

// Additive materials would add the fog colour too: they are drawn with black fog.
bool isAdditive(const GMaterial* GM, DWORD pass)
{
    for (const StateNode* n = GM->PassStates[pass].First; n; n = n->Next)
        if (n->Type == NODE_RENDERSTATE && n->State == D3DRS_DESTBLEND && n->Value == D3DBLEND_ONE) return true;
    return false;
}

// Each colour channel from near towards far by f, truncated; alpha 255.
DWORD lerpColour(DWORD nearColour, DWORD farColour, float f)
{
    DWORD out = 0xFF000000u;
    for (int shift : {0, 8, 16}) {
        const float n = static_cast<float>((nearColour >> shift) & 0xFF);
        const float fa = static_cast<float>((farColour >> shift) & 0xFF);
        const int c = std::clamp(static_cast<int>(n + (fa - n) * f), 0, 255);
        out |= static_cast<DWORD>(c) << shift;
    }
    return out;
}

// The corner range [first, last] of cells covering centre ± half, clamped to 0..cells.
void coveredCorners(double centre, double half, double origin, double cellSize, int32_t cells, int32_t* pFirst,
                    int32_t* pLast)
{
    const double first = std::floor((centre - half - origin) / cellSize);
    const double last = std::floor((centre + half + cellSize - origin) / cellSize);
    *pFirst = static_cast<int32_t>(std::clamp(first, 0.0, static_cast<double>(cells)));
    *pLast = static_cast<int32_t>(std::clamp(last, 0.0, static_cast<double>(cells)));
}

}  // namespace

CLightMaps::~CLightMaps()
{
    delete[] m_pVertexBuffers;
    delete[] m_pMaterials;
}

bool CLightMaps::Initialise()
{
    if (!VERIFY(!m_initialised) || !VERIFY(!m_begunLightMapping)) return false;
    // A damaged list is one report, naming it: a line it cannot use, or a material it names that
    // is not there, is its first fault.
    ReadingFile reading(LIST_FILE);
    CFile file;
    const bool FileOK = file.Open(LIST_FILE, FILE_MODE_READ | FILE_MODE_BUFFERED);
    if (!FileOK)
        assertFailedMsg(openFailureText(LIST_FILE, file.LastError(), "File not found: data\\lights\\lightmaps.txt").c_str(),
                        "FileOK", __FILE__, __LINE__);
    else
        ReadList(file);
    m_initialised = true;
    return FileOK;
}

bool CLightMaps::ReadList(CFile& file)
{
    char line[MAX_LINE + 1];
    bool counted = false;
    uint32_t declared = 0, LightNum = 0;
    while (readTextLine(file, line, sizeof line, LIST_FILE)) {
        char* tokens[2];
        const int n = splitTokens(line, tokens, 2);
        if (n == 0 || tokens[0][0] == ';' || std::strncmp(tokens[0], "//", 2) == 0) continue;
        if (!counted) {
            counted = true;
            char* end = nullptr;
            const long count = std::strtol(tokens[0], &end, 10);
            if (!VERIFY_MSG(*end == 0 && count >= 1, "lightmaps.txt holds no light maps")) return false;
            declared = static_cast<uint32_t>(count > static_cast<long>(MAX_LIGHT_MAPS) ? MAX_LIGHT_MAPS : count);
            ASSERT_MSG(count <= static_cast<long>(MAX_LIGHT_MAPS), "lightmaps.txt declares too many lightmaps");
            // Left by a read that a fatal material error cut short.
            delete[] m_pVertexBuffers;
            delete[] m_pMaterials;
            m_pVertexBuffers = new int32_t[declared];
            m_pMaterials = new DWORD[declared];
            std::fill_n(m_pVertexBuffers, declared, -1);
            std::fill_n(m_pMaterials, declared, SB_NONE);
            continue;
        }
        if (!VERIFY_MSG(LightNum < declared, "lightmaps.txt contains too many lightmaps")) break;
        if (!VERIFY_MSG(n == 2, "A light map needs a texture and a material")) continue;
        LoadMap(LightNum++, tokens[0], tokens[1]);
    }
    ASSERT_MSG(LightNum == declared, "lightmaps.txt lists fewer lightmaps than it declares");
    m_numLightMaps = LightNum;
    return true;
}

bool CLightMaps::LoadMap(uint32_t index, const char* texture, const char* material)
{
    char texturePath[SB_TEXNAME_SIZE], materialPath[MAX_PATH];
    const int t = std::snprintf(texturePath, sizeof texturePath, "data\\lights\\%s", texture);
    const int m = std::snprintf(materialPath, sizeof materialPath, "data\\lights\\%s", material);
    if (!VERIFY_MSG(t > 0 && t < static_cast<int>(sizeof texturePath) && m > 0 &&
                        m < static_cast<int>(sizeof materialPath),
                    "Light map name too long"))
        return false;
    if (!VERIFY(D3DCore.DeviceActive)) return false;
    // The material is a file of its own, from its open on: a missing one is its own report, not
    // the list's, and what its loader said of it is not said again here.
    ReadingFile reading(materialPath);
    // A missing material would be replaced by a fall-back of the wrong format. Maps that share
    // it say so once.
    DWORD error = ERROR_SUCCESS;
    if (!FileExists(materialPath, 0, &error)) {
        if (noteFileFailure(materialPath))
            assertFailedMsg(openFailureText(materialPath, error, concatStrings("File not found: ", materialPath)).c_str(),
                            "OK", __FILE__, __LINE__);
        return false;
    }
    TexNames names;
    names.TotalNames = 1;
    std::snprintf(names.Name[0], SB_TEXNAME_SIZE, "%s", texturePath);
    DWORD handle = SB_NONE;
    const bool OK = MatCore.LoadMaterial(materialPath, names, &handle);
    ASSERT(OK);
    const StateBlock* SB = D3DCore.StateBlocks.GetSB(handle);
    if (!SB || !SB->GMaterial) return false;
    const FVFFormat* FVFFormat = &SB->GMaterial->FVFFormat;
    // Patches are written as XYZ | TEX1: a material reading any other layout would misread them.
    if (!VERIFY(FVFFormat->D3DFlags == (D3DFVF_XYZ | D3DFVF_TEX1))) {
        D3DCore.StateBlocks.ReleaseSB(handle);
        return false;
    }
    m_pMaterials[index] = handle;
    m_pVertexBuffers[index] = D3DCore.CreateDynamicVertexBuffer(LIGHTMAP_FVF);
    return true;
}

void CLightMaps::Shutdown()
{
    if (!VERIFY(m_initialised) || !VERIFY(!m_begunLightMapping)) return;
    for (uint32_t i = 0; i < m_numLightMaps; ++i)
        if (m_pMaterials[i] != SB_NONE) D3DCore.StateBlocks.ReleaseSB(m_pMaterials[i]);
    delete[] m_pVertexBuffers;
    delete[] m_pMaterials;
    m_pVertexBuffers = nullptr;
    m_pMaterials = nullptr;
    m_numLightMaps = 0;
    m_initialised = false;
}

DWORD CLightMaps::Material(uint32_t map) const { return map < m_numLightMaps ? m_pMaterials[map] : SB_NONE; }

void CLightMaps::BeginLightMapping()
{
    if (!VERIFY(m_initialised) || !VERIFY(!m_begunLightMapping)) return;
    D3DMATRIX identity;
    RenderMatrix::identity(identity);
    D3DCore.SetWorldMatrix(identity);
    m_begunLightMapping = true;
}

void CLightMaps::EndLightMapping()
{
    if (!VERIFY(m_initialised) || !VERIFY(m_begunLightMapping)) return;
    m_begunLightMapping = false;
}

void CLightMaps::DrawLightMapLight(const LightMapLight& light)
{
    const CAIMap* pMap = levelMap();
    // A light of no range has no glow (and its tint would be 0 / 0).
    if (!pMap || !(light.Range > EPSILON)) return;
    float h = 0.0f, x = light.Position.x, y = light.Position.y;
    float axisX = 1.0f, axisY = 0.0f, stretch = 1.0f;
    if (light.Type == LightMapLight::TYPE_POINT) {
        const double cellSize = pMap->getCellSize();
        const double column = std::floor((static_cast<double>(x) - pMap->getOriginX()) / cellSize);
        const double row = std::floor((static_cast<double>(y) - pMap->getOriginY()) / cellSize);
        if (!std::isfinite(column) || !std::isfinite(row)) return;
        const auto clampCell = [](double c, int32_t n) { return static_cast<int32_t>(std::clamp(c, 0.0, n - 1.0)); };
        h = light.Position.z - pMap->getCellHeight(clampCell(column, pMap->getWidth()), clampCell(row, pMap->getHeight()));
    } else if (light.Type == LightMapLight::TYPE_SPOT) {
        Vector3 hit;
        if (!pMap->intersectLand(light.Position, light.Direction, &hit)) return;
        h = (hit - light.Position).length();
        x = hit.x;
        y = hit.y;
        // Along the ray's way over the ground the patch grows as the ray flattens.
        Vector3 d = light.Direction;
        d.normalise();
        const float across = std::sqrt(d.x * d.x + d.y * d.y);
        if (across > 1e-6f) {
            axisX = d.x / across;
            axisY = d.y / across;
            stretch = std::fabs(d.z) > 0.0f ? 1.0f / std::fabs(d.z) : MAX_STRETCH_SIZE;
        }
    } else {
        return;
    }
    h = std::clamp(h, 0.0f, light.Range);
    const float f = h / light.Range;
    const DWORD tint = lerpColour(light.NearColour, light.FarColour, f);
    if (tint == 0xFF000000u) return;
    float a = light.NearSize[0] + (light.FarSize[0] - light.NearSize[0]) * f;
    const float b = light.NearSize[1] + (light.FarSize[1] - light.NearSize[1]) * f;
    if (a > 0.0f) stretch = std::min(stretch, MAX_STRETCH_SIZE / (2.0f * a));
    a *= stretch;
    DrawPatch(x, y, a, b, axisX, axisY, light.Map, tint);
}

void CLightMaps::DrawPatch(float x, float y, float halfA, float halfB, float axisX, float axisY, uint32_t map,
                           DWORD tint)
{
    if (!VERIFY(m_initialised) || !VERIFY(m_begunLightMapping) || !VERIFY(map < m_numLightMaps)) return;
    const CAIMap* pMap = levelMap();
    StateBlock* SB = D3DCore.StateBlocks.GetSB(m_pMaterials[map]);
    const int32_t vbHandle = m_pVertexBuffers[map];
    if (!pMap || !SB || !SB->GMaterial || vbHandle < 0 || vbHandle >= D3DCore.TotalDynamicVertexBuffers9) return;
    const double A = std::min(halfA, MAX_HALF_SIZE), B = std::min(halfB, MAX_HALF_SIZE);
    if (!(A > 0.0) || !(B > 0.0) || !std::isfinite(x) || !std::isfinite(y)) return;

    // The box of the patch turned onto its axes; a patch wholly off the map draws nothing.
    const double ex = axisX, ey = axisY;
    const double extentX = std::fabs(ex) * A + std::fabs(ey) * B;
    const double extentY = std::fabs(ey) * A + std::fabs(ex) * B;
    const double cellSize = pMap->getCellSize(), ox = pMap->getOriginX(), oy = pMap->getOriginY();
    int32_t c0, c1, r0, r1;
    coveredCorners(x, extentX, ox, cellSize, pMap->getWidth(), &c0, &c1);
    coveredCorners(y, extentY, oy, cellSize, pMap->getHeight(), &r0, &r1);
    const int32_t GridSizeX = c1 - c0, GridSizeY = r1 - r0;
    if (GridSizeX < 1 || GridSizeY < 1) return;

    // Rows in bands that fit one lock of the shared buffers.
    DynamicVB& vb = D3DCore.DynamicVertexBuffer9[vbHandle];
    DynamicIB& ib = D3DCore.DynamicIndexBuffer9;
    const int32_t rowVertices = GridSizeX + 1;
    const int32_t byVertices = static_cast<int32_t>(vb.MaxVertices / 3) / rowVertices - 1;
    const int32_t byIndices = static_cast<int32_t>(ib.MaxIndices) / (6 * GridSizeX);
    const int32_t bandRows = std::min(byVertices, byIndices);
    if (!VERIFY(bandRows >= 1)) return;

    const GMaterial* GM = SB->GMaterial;
    for (int32_t band = 0; band < GridSizeY; band += bandRows) {
        const int32_t rows = std::min(bandRows, GridSizeY - band);
        const int32_t numVertices = rowVertices * (rows + 1), numIndices = 6 * GridSizeX * rows;
        auto* v = static_cast<LightMapVertex*>(vb.Lock(static_cast<uint32_t>(numVertices)));
        if (!v) return;
        uint16_t* index = ib.Lock(static_cast<uint32_t>(numIndices));
        if (!index) {
            vb.Unlock();
            return;
        }
        for (int32_t r = 0; r <= rows; ++r) {
            const int32_t row = r0 + band + r;
            const double wy = oy + row * cellSize - y;
            for (int32_t c = 0; c <= GridSizeX; ++c) {
                const int32_t column = c0 + c;
                const double wx = ox + column * cellSize - x;
                const double along = wx * ex + wy * ey, side = wy * ex - wx * ey;
                *v++ = {static_cast<float>(ox + column * cellSize), static_cast<float>(oy + row * cellSize),
                        pMap->getCellHeight(column, row) + HEIGHT_ABOVE_GROUND, static_cast<float>((along + A) / (2 * A)),
                        static_cast<float>((B - side) / (2 * B))};
            }
        }
        for (int32_t r = 0; r < rows; ++r)
            for (int32_t c = 0; c < GridSizeX; ++c) {
                const uint16_t v00 = static_cast<uint16_t>(r * rowVertices + c), v10 = v00 + 1;
                const uint16_t v01 = static_cast<uint16_t>(v00 + rowVertices), v11 = v01 + 1;
                // The landscape's own split of the cell, so that the patch lies on its triangles.
                const uint16_t tri[2][6] = {{v00, v10, v11, v00, v11, v01}, {v00, v10, v01, v10, v11, v01}};
                std::memcpy(index, tri[pMap->getCellDiagonal(c0 + c, r0 + band + r) ? 1 : 0], sizeof tri[0]);
                index += 6;
            }
        vb.Unlock();
        ib.Unlock();
        PatchVertices += static_cast<uint64_t>(numVertices);

        for (DWORD pass = 0; pass < GM->Passes; ++pass) {
            D3DCore.ApplyStateBlock(SB, pass, 0);
            D3DCore.SetRenderState(D3DRS_TEXTUREFACTOR, tint);
            D3DCore.SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
            const bool additive = isAdditive(GM, pass);
            const DWORD fog = D3DCore.RenderStates[D3DRS_FOGCOLOR];
            if (additive) D3DCore.SetRenderState(D3DRS_FOGCOLOR, 0xFF000000u);
            vb.DrawIndexed(ib, numVertices, numIndices);
            D3DCore.CountDraw(D3DPT_TRIANGLELIST, static_cast<uint32_t>(numIndices / 3),
                              static_cast<uint32_t>(numVertices), 0);
            if (additive && fog != STATE_UNKNOWN) D3DCore.SetRenderState(D3DRS_FOGCOLOR, fog);
        }
    }
}
