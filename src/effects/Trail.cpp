#include "effects/Trail.h"

#include "d3dcore9/D3DCore.h"
#include "effects/EffectUtils.h"
#include "l3render/L3Render.h"
#include "utility/Assert.h"
#include "utility/ParamBlock.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

struct TrailVertex {
    float x, y, z;
    uint32_t colour;
    float u, v;
};
static_assert(sizeof(TrailVertex) == 24);

const uint32_t JOINER_COLOUR = 0xFFFFFF;
const DWORD FOG_BLACK = 0xFF000000u;

TrailVertex vertex(const Vector3& p, uint32_t colour, float u, float v) { return TrailVertex{p.x, p.y, p.z, colour, u, v}; }

Vector3 viewAxis(int c) { return Vector3(L3Scene.viewRotation.m[0][c], L3Scene.viewRotation.m[1][c], L3Scene.viewRotation.m[2][c]); }

// The material file, the texture put in its place and the history length, shared by both kinds;
// the material is loaded by the caller once every key has passed.
struct TrailKeys {
    char material[256] = {};
    char texture[256] = {};
    bool hasTexture = false;

    bool Read(const CParamBlock& block, int32_t* pLength)
    {
        if (!block.parseString("material", material)) strcpy(material, EffectUtils::DEFAULT_MATERIAL);
        hasTexture = block.parseString("texture", texture);
        block.parseInt("trail_length", pLength);
        // The history needs a step, and its texture coordinates divide by the length.
        return VERIFY_MSG(*pLength >= 1, definitionFault("trail_length must be at least 1"));
    }
    DWORD Load() const { return EffectUtils::LoadMaterial(material, hasTexture ? texture : nullptr); }
};

// Each history step holds one point per followed point; steps * count of them, zeroed.
Vector3* newHistory(int32_t steps, uint32_t count)
{
    return new (std::nothrow) Vector3[static_cast<size_t>(steps) * count];
}

// The centre of the box round every point of the history and half its diagonal.
void historyBounds(const Vector3* pHistory, size_t points, Vector3* pCentre, float* pRadius)
{
    if (!pHistory || points == 0) return;
    Vector3 low = pHistory[0], high = pHistory[0];
    for (size_t i = 1; i < points; ++i) {
        const Vector3& p = pHistory[i];
        low.set(std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z));
        high.set(std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z));
    }
    *pCentre = (low + high) * 0.5f;
    *pRadius = (high - low).length() * 0.5f;
}

// Strips of stripVertices vertices each, written by fill(strip, out), joined by two degenerate
// vertices and drawn as one triangle strip per batch; a batch holds as many whole strips as one
// lock of the shared buffer may. False when a single strip is longer than a lock.
template <typename Fill>
bool drawStrips(int32_t vbId, int32_t strips, int64_t stripVertices, Fill fill)
{
    if (!VERIFY(D3DCore.TotalDynamicVertexBuffers9 > vbId) || vbId < 0) return true;
    DynamicVB& vb = D3DCore.DynamicVertexBuffer9[vbId];
    const int64_t perBatch = (static_cast<int64_t>(vb.MaxVertices / 3) + 2) / (stripVertices + 2);
    if (perBatch < 1) return false;
    for (int32_t first = 0; first < strips;) {
        const int32_t n = static_cast<int32_t>(std::min<int64_t>(perBatch, strips - first));
        const int64_t count = n * stripVertices + 2 * (n - 1);
        TrailVertex* out = static_cast<TrailVertex*>(vb.Lock(static_cast<uint32_t>(count)));
        if (!out) return true;
        for (int32_t k = 0; k < n; ++k) fill(first + k, out + k * (stripVertices + 2));
        for (int32_t k = 0; k + 1 < n; ++k) {
            TrailVertex* joiner = out + k * (stripVertices + 2) + stripVertices;
            joiner[0] = joiner[-1];
            joiner[1] = joiner[2];
            for (int i = 0; i < 2; ++i) {
                joiner[i].colour = JOINER_COLOUR;
                joiner[i].u = joiner[i].v = 0.0f;
            }
        }
        vb.Unlock();
        vb.DrawTriStrip(static_cast<int>(count));
        first += n;
    }
    return true;
}

// Adds no light where the scene is fogged: an additive material draws with black fog.
bool isAdditive(DWORD material)
{
    const StateBlock* pBlock = D3DCore.StateBlocks.GetSB(material);
    if (!pBlock || !pBlock->GMaterial) return false;
    for (const StateNode* n = pBlock->GMaterial->PassStates[0].First; n; n = n->Next)
        if (n->Type == NODE_RENDERSTATE && n->State == D3DRS_DESTBLEND && n->Value == D3DBLEND_ONE) return true;
    return false;
}

}  // namespace

// ---- Definitions ----

CPointTrailDefinition::~CPointTrailDefinition() { EffectUtils::ReleaseMaterial(material); }

bool CPointTrailDefinition::Read(const CParamBlock& block)
{
    TrailKeys keys;
    if (!keys.Read(block, &trail_length)) return false;
    block.parseFloat("trail_width", &trail_width);
    block.parseFloat("tile", &tile);
    block.parseFloat("vscroll", &vscroll);
    block.parseInt("death_clock", &death_clock);
    fade_start = trail_length;
    block.parseInt("fade_start", &fade_start);
    if (!EffectUtils::ReadRenderType(&block, &render_type, false)) return false;
    material = keys.Load();
    return true;
}

CTrailDefinition::~CTrailDefinition() { EffectUtils::ReleaseMaterial(material); }

bool CTrailDefinition::Read(const CParamBlock& block)
{
    TrailKeys keys;
    if (!keys.Read(block, &trail_length)) return false;
    ASSERT(keys.hasTexture);
    if (!EffectUtils::ReadRenderType(&block, &render_type, true)) return false;
    material = keys.Load();
    return true;
}

template <typename Definition>
bool readDefinition(const CParamBlock& block, CEffectDefinition** ppDefinition)
{
    if (!*ppDefinition) *ppDefinition = new (std::nothrow) Definition;
    Definition* pDefinition = dynamic_cast<Definition*>(*ppDefinition);
    if (!pDefinition) return false;
    pDefinition->ReadCommonKeys(block);
    return pDefinition->Read(block);
}

bool ReadTrailDefinition(CEffectManager&, const CParamBlock& block, CEffectDefinition** ppDefinition)
{
    return readDefinition<CTrailDefinition>(block, ppDefinition);
}

bool ReadPointTrailDefinition(CEffectManager&, const CParamBlock& block, CEffectDefinition** ppDefinition)
{
    return readDefinition<CPointTrailDefinition>(block, ppDefinition);
}

// ---- Point trails ----

CPointTrail::CPointTrail(CEffectManager* pManager, CPointTrailDefinition* pDefinition, uintptr_t creationWord,
                         const Vector3& position, const Matrix3& orientation)
    : CEffect(pManager, pDefinition, creationWord, position, orientation), m_pTrailDefinition(pDefinition),
      m_textureScroll(0.0f), m_dying(0), m_deathCountdown(0), m_warmUp(pDefinition->trail_length), m_vbId(-1),
      m_pHistory(nullptr), m_historyPoints(0), m_boundsRadius(0.0f), m_tooLongReported(false)
{
}

CPointTrail::~CPointTrail() { delete[] m_pHistory; }

bool CPointTrail::GetBounds(Vector3* pCentre, float* pRadius) const
{
    if (pCentre) *pCentre = m_boundsCentre;
    if (pRadius) *pRadius = m_boundsRadius;
    return true;
}

void CPointTrail::SetFollowedPoints(uint32_t count, Vector3* pPoints)
{
    if (pPoints == m_pFollowedPoints && count == m_numFollowedPoints) return;
    if (!pPoints) {
        m_pFollowedPoints = nullptr;
        m_numFollowedPoints = 0;
        m_dying = 1;
        m_deathCountdown = m_pTrailDefinition->death_clock;
        return;
    }
    m_pFollowedPoints = pPoints;
    m_numFollowedPoints = count;
    ASSERT_MSG(m_vbId == -1, "Tried to change the thing that a point trail is following");
    delete[] m_pHistory;
    m_vbId = D3DCore.CreateDynamicVertexBuffer(EffectUtils::VERTEX_FVF);
    const int32_t steps = m_pTrailDefinition->trail_length + 1;
    m_pHistory = newHistory(steps, count);
    m_historyPoints = m_pHistory ? count : 0;
    if (!m_pHistory) return;
    for (int32_t j = 0; j < steps; ++j) std::copy(pPoints, pPoints + count, m_pHistory + static_cast<size_t>(j) * count);
}

bool CPointTrail::Update()
{
    if (m_warmUp >= 1) --m_warmUp;
    if (m_dying) return --m_deathCountdown > 0;
    if (!m_pHistory) return true;
    const size_t n = m_historyPoints;
    const int32_t steps = m_pTrailDefinition->trail_length + 1;
    std::copy_backward(m_pHistory, m_pHistory + (steps - 1) * n, m_pHistory + steps * n);
    std::copy(m_pFollowedPoints, m_pFollowedPoints + n, m_pHistory);
    m_textureScroll += m_pTrailDefinition->vscroll;
    if (m_textureScroll <= -1.0f) m_textureScroll += 1.0f;
    if (m_textureScroll >= 1.0f) m_textureScroll -= 1.0f;
    historyBounds(m_pHistory, steps * n, &m_boundsCentre, &m_boundsRadius);
    return true;
}

void CPointTrail::Render(int pass, float)
{
    const CPointTrailDefinition& def = *m_pTrailDefinition;
    if (pass != def.render_type || m_vbId == -1 || !m_pHistory || m_historyPoints < 1) return;
    const int32_t length = def.trail_length;
    float strength = 1.0f;
    if (m_dying) strength = m_deathCountdown > 0 ? static_cast<float>(m_deathCountdown) / def.death_clock : 0.0f;
    const float fade = GetFade();
    auto colourAt = [&](int32_t j) {
        float alpha = strength;
        if (j > def.fade_start)
            alpha = strength * static_cast<float>(1.0 - (static_cast<double>(j) - def.fade_start) /
                                                            (static_cast<double>(length) - def.fade_start));
        // Steps the history has not reached yet.
        if (static_cast<int64_t>(length) - j - 1 < m_warmUp) alpha = 0.0f;
        const uint32_t c = EffectUtils::RoundedColourByte(fade * alpha * 255.0f);
        return c << 24 | c << 16 | c << 8 | c;
    };
    if (!EffectUtils::ApplyDrawState(def.material)) return;
    const bool additive = isAdditive(def.material);
    const DWORD fog = D3DCore.RenderStates[D3DRS_FOGCOLOR];
    if (additive) D3DCore.SetRenderState(D3DRS_FOGCOLOR, FOG_BLACK);

    const size_t n = m_historyPoints;
    const int64_t stripVertices = 2 * (static_cast<int64_t>(length) + 1);
    for (int axis = 1; axis <= 2; ++axis) {
        const Vector3 offset = viewAxis(axis) * (def.trail_width * 0.5f);
        const bool fits = drawStrips(m_vbId, static_cast<int32_t>(n), stripVertices, [&](int32_t k, TrailVertex* out) {
            for (int32_t j = 0; j <= length; ++j) {
                const Vector3& p = m_pHistory[static_cast<size_t>(j) * n + k];
                const uint32_t colour = colourAt(j);
                const float v = static_cast<float>(j) / length * def.tile + m_textureScroll;
                out[2 * j] = vertex(p - offset, colour, 0.0f, v);
                out[2 * j + 1] = vertex(p + offset, colour, 1.0f, v);
            }
        });
        if (!fits) {
            if (!m_tooLongReported) assertFailedMsg("A point trail is longer than a lock of its buffer", "fits", __FILE__, __LINE__);
            m_tooLongReported = true;
            break;
        }
    }
    if (additive) D3DCore.SetRenderState(D3DRS_FOGCOLOR, fog != STATE_UNKNOWN ? fog : FOG_BLACK |
                                                              (D3DCore.FogR & 0xFF) << 16 | (D3DCore.FogG & 0xFF) << 8 |
                                                              (D3DCore.FogB & 0xFF));
}

// ---- Trails ----

CTrail::CTrail(CEffectManager* pManager, CTrailDefinition* pDefinition, uintptr_t creationWord,
               const Vector3& position, const Matrix3& orientation)
    : CEffect(pManager, pDefinition, creationWord, position, orientation), m_pTrailDefinition(pDefinition),
      m_vbId(-1), m_pHistory(nullptr), m_boundsRadius(0.0f), m_tooLongReported(false)
{
}

CTrail::~CTrail() { delete[] m_pHistory; }

bool CTrail::GetBounds(Vector3* pCentre, float* pRadius) const
{
    if (pCentre) *pCentre = m_boundsCentre;
    if (pRadius) *pRadius = m_boundsRadius;
    return true;
}

void CTrail::SetFollowedPoints(uint32_t count, Vector3* pPoints)
{
    if (pPoints == m_pFollowedPoints && count == m_numFollowedPoints) return;
    delete[] m_pHistory;
    m_pHistory = nullptr;
    m_pFollowedPoints = pPoints;
    m_numFollowedPoints = count;
    m_vbId = -1;
    if (!pPoints) return;
    m_vbId = D3DCore.CreateDynamicVertexBuffer(EffectUtils::VERTEX_FVF);
    m_pHistory = newHistory(m_pTrailDefinition->trail_length + 2, count);
}

bool CTrail::Update()
{
    if (m_vbId == -1) return false;
    if (!m_pHistory) return true;
    const size_t n = m_numFollowedPoints;
    const int32_t steps = m_pTrailDefinition->trail_length + 2;
    std::copy_backward(m_pHistory, m_pHistory + (steps - 1) * n, m_pHistory + steps * n);
    std::copy(m_pFollowedPoints, m_pFollowedPoints + n, m_pHistory);
    historyBounds(m_pHistory, steps * n, &m_boundsCentre, &m_boundsRadius);
    return true;
}

void CTrail::Render(int pass, float t)
{
    const CTrailDefinition& def = *m_pTrailDefinition;
    // A ribbon needs two points to span.
    const size_t n = m_numFollowedPoints;
    if (pass != def.render_type || m_vbId == -1 || !m_pHistory || n < 2) return;
    if (!EffectUtils::ApplyDrawState(def.material)) return;
    const int32_t length = def.trail_length;
    const float across = static_cast<float>(n - 1);
    // Between the step before and the step itself, by the interpolation factor.
    auto at = [&](int32_t j, size_t k) {
        return m_pHistory[static_cast<size_t>(j + 1) * n + k] * (1.0f - t) + m_pHistory[static_cast<size_t>(j) * n + k] * t;
    };
    const bool fits = drawStrips(m_vbId, static_cast<int32_t>(n - 1), 2 * (static_cast<int64_t>(length) + 1),
                                 [&](int32_t k, TrailVertex* out) {
                                     for (int32_t j = 0; j <= length; ++j) {
                                         const float v = static_cast<float>(j) / length;
                                         out[2 * j] = vertex(at(j, k), 0x00FFFFFF, k / across, v);
                                         out[2 * j + 1] = vertex(at(j, k + 1), 0x00FFFFFF, (k + 1) / across, v);
                                     }
                                 });
    if (!fits && !m_tooLongReported) assertFailedMsg("A trail is longer than a lock of its buffer", "fits", __FILE__, __LINE__);
    m_tooLongReported = m_tooLongReported || !fits;
}
