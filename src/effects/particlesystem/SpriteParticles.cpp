#include "effects/particlesystem/SpriteParticles.h"

#include "d3dcore9/D3DCore.h"
#include "effects/EffectSort.h"
#include "effects/EffectUtils.h"
#include "effects/particlesystem/ParticleEffect.h"
#include "effects/particlesystem/ParticleKeys.h"
#include "effects/particlesystem/ParticleRandom.h"
#include "l3render/L3Render.h"
#include "utility/Assert.h"
#include "utility/ParamBlock.h"

#include <cmath>
#include <cstring>
#include <new>

namespace {

const float DEGREES = 0.017453292f;
const float PI = 3.14159265f;

struct SpriteVertex {
    float x, y, z;
    uint32_t colour;
    float u, v;
};
static_assert(sizeof(SpriteVertex) == 24);

// Through the device's view, then its projection: view-space and clip-space coordinates.
void toView(const Vector3& p, float view[4])
{
    const D3DMATRIX& v = D3DCore.ViewMatrix;
    for (int c = 0; c < 4; ++c) view[c] = p.x * v.m[0][c] + p.y * v.m[1][c] + p.z * v.m[2][c] + v.m[3][c];
}

void toClip(const float view[4], float clip[4])
{
    const D3DMATRIX& p = D3DCore.ProjectionMatrix;
    for (int c = 0; c < 4; ++c)
        clip[c] = view[0] * p.m[0][c] + view[1] * p.m[1][c] + view[2] * p.m[2][c] + view[3] * p.m[3][c];
}

// Pixels of the render target, as the façade maps them.
void toScreen(const Vector3& p, float* pX, float* pY, float* pDepth, float* pW)
{
    float view[4], clip[4];
    toView(p, view);
    toClip(view, clip);
    const float width = static_cast<float>(L3GetScreenWidth()), height = static_cast<float>(L3GetScreenHeight());
    *pX = (clip[0] / clip[3] + 1.0f) * width * 0.5f;
    *pY = height * 0.5f - clip[1] / clip[3] * height * 0.5f;
    if (pDepth) *pDepth = clip[2] / clip[3];
    if (pW) *pW = clip[3];
}

// The share of the screen's width that a length spans at the view depth of the point.
float screenShare(const Vector3& p, float length)
{
    float view[4], clip[4];
    toView(p, view);
    view[0] = length;
    view[1] = 0.0f;
    view[3] = 1.0f;
    toClip(view, clip);
    return clip[3] != 0.0f ? std::fabs(clip[0] / clip[3]) * 0.5f : 0.0f;
}

Vector3 viewAxis(const Matrix4& m, int c) { return Vector3(m.m[0][c], m.m[1][c], m.m[2][c]); }

}  // namespace

// ---- The definition ----

CSpriteParticlesDefinition::~CSpriteParticlesDefinition() { EffectUtils::ReleaseMaterial(material); }

bool CSpriteParticlesDefinition::Read(const CParamBlock* pBlock)
{
    if (!ReadCountAndLifespan(pBlock)) return false;
    readParticleKey(pBlock, "x_frames", x_frames);
    readParticleKey(pBlock, "y_frames", y_frames);
    readParticleKey(pBlock, "anim_count", anim_count);
    // An atlas of no columns or rows has no frame to show (and the frame count divides).
    if (!VERIFY_MSG(x_frames >= 1 && y_frames >= 1, definitionFault("x_frames and y_frames must be at least 1"))) return false;
    char materialName[256] = {}, textureName[256] = {};
    if (!pBlock->parseString("material", materialName)) strcpy(materialName, EffectUtils::DEFAULT_MATERIAL);
    const bool hasTexture = pBlock->parseString("texture", textureName);
    ASSERT(hasTexture);
    readParticleKey(pBlock, "rotation", rotation, DEGREES);
    readParticleKey(pBlock, "zbias", zbias);
    readParticleKey(pBlock, "size_variation", size_variation);
    readParticlePercent(pBlock, "rotation_dampening", rotation_dampening);
    readParticlePercent(pBlock, "sizecap", sizecap);
    hasCollisionRadius = pBlock->parseFloat("collisionradius", &collisionradius);
    int32_t flag = 0;
    if (pBlock->parseInt("orient_to_travel", &flag)) orient_to_travel = flag != 0;
    if (pBlock->parseInt("sort_particles", &flag)) sort_particles = flag != 0;
    if (pBlock->parseInt("fade_frames", &flag)) fade_frames = flag != 0;
    ReadKeyFrames(pBlock, "colourkeys", "colour", Vector3(255.0f, 255.0f, 255.0f), lifespan, __FILE__, __LINE__,
                  colourKeys);
    ReadKeyFrames(pBlock, "alphakeys", "alpha", 255.0f, 1.0f, lifespan, __FILE__, __LINE__, alphaKeys);
    ReadKeyFrames(pBlock, "sizekeys", "size", 100.0f, 1.0f, lifespan, __FILE__, __LINE__, sizeKeys);
    ReadKeyFrames(pBlock, "anglekeys", "angle", 0.0f, DEGREES, lifespan, __FILE__, __LINE__, angleKeys);
    if (!EffectUtils::ReadRenderType(pBlock, &renderPass, true)) return false;
    material = EffectUtils::LoadMaterial(materialName, hasTexture ? textureName : nullptr);
    vertexBuffer = D3DCore.CreateDynamicVertexBuffer(EffectUtils::VERTEX_FVF);
    return true;
}

bool CSpriteParticles::ReadDefinition(const CParamBlock* pBlock, CParticleSystemDefinition** ppDefinition)
{
    CSpriteParticlesDefinition* pDefinition = particleDefinitionFor<CSpriteParticlesDefinition>(ppDefinition);
    return pDefinition && pDefinition->Read(pBlock);
}

CParticleSystem* CSpriteParticles::Create(CParticleEffect* pEffect, const CParticleSystemDefinition* pDefinition,
                                          void*)
{
    CSpriteParticles* pSystem =
        new (std::nothrow) CSpriteParticles(pEffect, static_cast<const CSpriteParticlesDefinition*>(pDefinition));
    if (pSystem && !pSystem->IsBuilt()) {
        delete pSystem;
        pSystem = nullptr;
    }
    return pSystem;
}

// ---- The particles ----

CSpriteParticles::CSpriteParticles(CParticleEffect* pEffect, const CSpriteParticlesDefinition* pDefinition)
    : CParticleSystem(pEffect, pDefinition), m_pSpriteDefinition(pDefinition), m_nextSprite(0),
      m_pSpriteData(nullptr), m_pSpin(nullptr), m_pSizeOffset(nullptr), m_pAngle(nullptr), m_pPreviousAngle(nullptr),
      m_angleReported(false)
{
    if (m_count <= 0 || !IsAllocated()) return;
    const size_t n = static_cast<size_t>(m_count);
    m_pSpriteData = new (std::nothrow) SpriteRecord[n]();
    m_pSpin = new (std::nothrow) float[n]();
    m_pSizeOffset = new (std::nothrow) float[n]();
    m_pAngle = new (std::nothrow) float[n]();
    m_pPreviousAngle = new (std::nothrow) float[n]();
    if (!IsBuilt()) return;
    for (int32_t i = 0; i < m_count; ++i) OnRespawn(i);
}

CSpriteParticles::~CSpriteParticles()
{
    delete[] m_pSpriteData;
    delete[] m_pSpin;
    delete[] m_pSizeOffset;
    delete[] m_pAngle;
    delete[] m_pPreviousAngle;
}

bool CSpriteParticles::IsBuilt() const
{
    return IsAllocated() && (m_count <= 0 || (m_pSpriteData && m_pSpin && m_pSizeOffset && m_pAngle && m_pPreviousAngle));
}

void CSpriteParticles::OnRespawn(int32_t i)
{
    const CSpriteParticlesDefinition& def = *m_pSpriteDefinition;
    m_pSpin[i] = particleRandomUnit() * 2.0f * def.rotation - def.rotation;
    m_pSizeOffset[i] = particleRandomUnit() * 2.0f * def.size_variation - def.size_variation;
}

void CSpriteParticles::OnBounce(int32_t i) { m_pSpin[i] *= m_pSpriteDefinition->rotation_dampening; }

float CSpriteParticles::GetCollisionRadius(int32_t i)
{
    const CSpriteParticlesDefinition& def = *m_pSpriteDefinition;
    if (def.hasCollisionRadius) return def.collisionradius;
    return (def.sizeKeys.Sample(m_pAges[i]) + m_pSizeOffset[i]) * 0.5f;
}

void CSpriteParticles::Update(const Vector3& position, const Matrix3& orientation)
{
    CParticleSystem::Update(position, orientation);
    for (int32_t i = 0; i < m_count; ++i) {
        m_pPreviousAngle[i] = m_pAngle[i];
        m_pAngle[i] += m_pSpin[i];
    }
}

void CSpriteParticles::Render(int32_t pass, float t)
{
    if (pass != m_pSpriteDefinition->renderPass) return;
    m_nextSprite = 0;
    for (int32_t i = 0; i < m_count; ++i) {
        if (m_pStates[i] != PARTICLE_ALIVE || m_pPreviousStates[i] != PARTICLE_ALIVE) continue;
        FillRecord(i, t, m_pSpriteData[m_nextSprite]);
        ++m_nextSprite;
    }
    Draw(m_nextSprite);
}

void CSpriteParticles::FillRecord(int32_t i, float t, SpriteRecord& record)
{
    const CSpriteParticlesDefinition& def = *m_pSpriteDefinition;
    const int32_t age = m_pAges[i];
    Vector3 localOffset;
    Matrix3 localFrame;
    m_pEffect->GetLocalOffset(&localOffset, &localFrame);

    const Vector3 p = m_pPreviousPositions[i] * (1.0f - t) + m_pPositions[i] * t;
    Vector3 placed;
    localFrame.transform(p, placed);
    placed = placed + localOffset;
    record.visible = 1;
    record.position = placed;
    toScreen(placed, &record.screenX, &record.screenY, &record.depth, &record.w);
    record.key = (p - L3Scene.cameraPosition).lengthSquared();

    float size = def.sizeKeys.Sample(age) + m_pSizeOffset[i];
    const Vector3 colour = def.colourKeys.Sample(age);

    // The atlas frame and, with fade_frames, the ramp within the frame's time slot. Without a
    // lifespan there is no time to divide: the first frame, and no alpha.
    const int64_t frames = static_cast<int64_t>(def.x_frames) * def.y_frames;
    int64_t frame = 0;
    double slots = 0.0;
    if (def.lifespan > 0) {
        slots = static_cast<double>(age) / def.lifespan * static_cast<double>(frames) * def.anim_count;
        frame = static_cast<int64_t>(particleFramesFromFloat(slots)) % frames;
        if (frame < 0) frame += frames;
    }
    float alpha;
    if (def.fade_frames)
        alpha = def.lifespan > 0 ? static_cast<float>((slots - std::floor(slots)) * 255.0) : 0.0f;
    else
        alpha = def.alphaKeys.Sample(age) * m_pEffect->GetFade();
    record.colour = EffectUtils::ColourByte(alpha) << 24 | EffectUtils::ColourByte(colour.x) << 16 |
                    EffectUtils::ColourByte(colour.y) << 8 | EffectUtils::ColourByte(colour.z);

    const float share = screenShare(placed, size);
    if (share > def.sizecap) size = size * def.sizecap / share;
    record.size = size;

    if (!def.orient_to_travel) {
        float angle = def.angleKeys.Sample(age) + t * m_pAngle[i];
        bool bad = std::isnan(angle);
        angle += (1.0f - t) * m_pPreviousAngle[i];
        // Reported once, not every frame; the square is drawn unturned.
        if (bad || std::isnan(angle)) {
            if (!m_angleReported) assertFailed("!_isnan(m_pSpriteData[m_nextSprite].angle)", __FILE__, __LINE__);
            m_angleReported = true;
            angle = 0.0f;
        }
        record.angle = angle;
    } else {
        Vector3 ahead;
        localFrame.transform(m_pPositions[i] + m_pVelocities[i], ahead);
        ahead = ahead + localOffset;
        float x, y;
        toScreen(ahead, &x, &y, nullptr, nullptr);
        const float dx = x - record.screenX, dy = y - record.screenY;
        record.angle = dx == 0.0f && dy == 0.0f ? 0.0f : std::atan2(-dx, dy) + PI;
    }

    const int64_t column = frame % def.x_frames, row = frame / def.x_frames;
    record.leftU = static_cast<float>(column) / def.x_frames;
    record.rightU = static_cast<float>(column + 1) / def.x_frames;
    record.topV = static_cast<float>(row) / def.y_frames;
    record.bottomV = static_cast<float>(row + 1) / def.y_frames;
}

void CSpriteParticles::Draw(int32_t count)
{
    const CSpriteParticlesDefinition& def = *m_pSpriteDefinition;
    if (!m_pSpriteData || count <= 0) return;
    if (def.sort_particles) SortByKey(m_pSpriteData, static_cast<uint32_t>(count));
    const int32_t Handle = def.vertexBuffer;
    if (!VERIFY(D3DCore.TotalDynamicVertexBuffers9 > Handle) || Handle < 0) return;
    DynamicVB& vb = D3DCore.DynamicVertexBuffer9[Handle];
    // A lock may take a third of the shared buffer: more squares go in batches of whole squares.
    const int32_t perBatch = static_cast<int32_t>(vb.MaxVertices / 3 / 6);
    if (!VERIFY_MSG(perBatch > 0, "The sprite buffer holds no square")) return;

    const Vector3 r1 = viewAxis(L3Scene.viewRotation, 1), r2 = viewAxis(L3Scene.viewRotation, 2);
    bool stateSet = false;
    for (int32_t first = 0; first < count; first += perBatch) {
        const int32_t n = count - first < perBatch ? count - first : perBatch;
        SpriteVertex* out = static_cast<SpriteVertex*>(vb.Lock(static_cast<uint32_t>(6 * n)));
        if (!out) return;
        int32_t written = 0;
        for (int32_t k = first; k < first + n; ++k) {
            const SpriteRecord& s = m_pSpriteData[k];
            if (!s.visible) continue;
            const float sine = std::sin(s.angle), cosine = std::cos(s.angle), h = s.size * 0.5f;
            const Vector3 A = (r2 * cosine - r1 * sine) * h;
            const Vector3 B = (r1 * cosine + r2 * sine) * h;
            const Vector3 c0 = s.position - B - A, c1 = s.position + B - A;
            const Vector3 c2 = s.position - B + A, c3 = s.position + B + A;
            const SpriteVertex v0 = {c0.x, c0.y, c0.z, s.colour, s.rightU, s.bottomV};
            const SpriteVertex v1 = {c1.x, c1.y, c1.z, s.colour, s.leftU, s.bottomV};
            const SpriteVertex v2 = {c2.x, c2.y, c2.z, s.colour, s.rightU, s.topV};
            const SpriteVertex v3 = {c3.x, c3.y, c3.z, s.colour, s.leftU, s.topV};
            SpriteVertex* q = out + 6 * written++;
            q[0] = v0, q[1] = v1, q[2] = v2, q[3] = v3, q[4] = v2, q[5] = v1;
        }
        vb.Unlock();
        if (!stateSet && !EffectUtils::ApplyDrawState(def.material)) return;
        stateSet = true;
        if (written > 0) vb.DrawTriList(6 * written);
    }
}
