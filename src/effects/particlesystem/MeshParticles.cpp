#include "effects/particlesystem/MeshParticles.h"

#include "effects/EffectName.h"
#include "effects/EffectUtils.h"
#include "effects/particlesystem/ParticleEffect.h"
#include "effects/particlesystem/ParticleKeys.h"
#include "effects/particlesystem/ParticleRandom.h"
#include "l3render/ModelManager.h"
#include "l3render/ModelUtil.h"
#include "matcore9/Forwarders.h"
#include "matcore9/HWObjects.h"
#include "utility/Assert.h"
#include "utility/ParamBlock.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

const float DEGREES = 0.017453292f;
const float PI = 3.14159265f;
const float TWO_PI = 6.28318531f;
// Render types 0, 1, 2 draw in these passes of the effect manager.
const int32_t MESH_PASSES[3] = {0, 3, 4};

// Once: a value below -pi gets 2 pi added, one above pi 2 pi taken away.
float wrapped(float angle)
{
    if (angle < -PI) return angle + TWO_PI;
    if (angle > PI) return angle - TWO_PI;
    return angle;
}

// From a to b the short way.
float turned(float a, float b, float t) { return wrapped(a + wrapped(b - a) * t); }

// A tint component as the texture factor takes it: a byte, whatever the track says.
int32_t tint(double value)
{
    if (!(value == value) || value <= 0.0) return 0;
    return value >= 255.0 ? 255 : static_cast<int32_t>(value);
}

void place(CModelInst* pInstance, const Vector3& position, const Matrix3& orientation, const Vector3& scale)
{
    CModelTransform& t = pInstance->m_transform;
    for (int i = 0; i < 9; ++i) t.Rotation[i] = orientation.element(i);
    t.Translation[0] = position.x, t.Translation[1] = position.y, t.Translation[2] = position.z;
    t.Scale[0] = scale.x, t.Scale[1] = scale.y, t.Scale[2] = scale.z;
}

// Hamilton product a b.
Quaternion product(const Quaternion& a, const Quaternion& b)
{
    return Quaternion(a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
                      a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z);
}

template <typename T>
T* newArray(int32_t count, size_t per = 1)
{
    return count > 0 ? new (std::nothrow) T[static_cast<size_t>(count) * per]() : nullptr;
}

}  // namespace

// ---- Definitions ----

void CMeshParticlesDefinitionBase::ReadSpinKeys(const CParamBlock* pBlock)
{
    readParticleKey(pBlock, "scale_variation", scale_variation);
    readParticlePercent(pBlock, "rotation_dampening", rotation_dampening);
    hasCollisionRadius = pBlock->parseFloat("collisionradius", &collisionradius);
}

bool CMeshParticlesDefinitionBase::ReadTintAndPass(const CParamBlock* pBlock, const char* sourceFile, int sourceLine)
{
    ReadKeyFrames(pBlock, "colourkeys", "colour", Vector3(255.0f, 255.0f, 255.0f), lifespan, sourceFile, sourceLine,
                  colourKeys);
    ReadKeyFrames(pBlock, "alphakeys", "alpha", 1.0f, 1.0f, lifespan, sourceFile, sourceLine, alphaKeys);
    int32_t type = 0;
    if (!EffectUtils::ReadRenderType(pBlock, &type, true)) return false;
    renderPass = MESH_PASSES[type];
    return true;
}

CMeshParticlesDefinition::~CMeshParticlesDefinition()
{
    if (model) CModelManager::ReleaseModel(model, true);
}

bool CMeshParticlesDefinition::Read(const CParamBlock* pBlock)
{
    if (!ReadCountAndLifespan(pBlock)) return false;
    char modelName[256] = {};
    // Instances of no model cannot be made.
    if (!VERIFY_MSG(pBlock->parseString("model", modelName), definitionFault("Mesh particles need a model"))) return false;
    pBlock->parseOrientation("rotation", rotation);
    ReadSpinKeys(pBlock);
    ReadKeyFrames(pBlock, "scalekeys", "scale", Vector3(1.0f, 1.0f, 1.0f), lifespan, __FILE__, __LINE__, scaleKeys);
    ReadKeyFrames(pBlock, "anglekeys", "angle", Vector3(), lifespan, __FILE__, __LINE__, angleKeys, DEGREES);
    if (!ReadTintAndPass(pBlock, __FILE__, __LINE__)) return false;
    model = CModelUtil::LoadModelFile(modelName);
    if (!model) return false;  // the model loader has said why, once for every user of the file
    CollectStateBlocks(model->GetRootLodModel(0), stateBlocks, SIZE_MAX);
    return true;
}

bool CDynamicMeshParticlesDefinition::Read(const CParamBlock* pBlock)
{
    if (!ReadCountAndLifespan(pBlock)) return false;
    readParticleKey(pBlock, "rotation", rotation, DEGREES);
    ReadSpinKeys(pBlock);
    ReadKeyFrames(pBlock, "scalekeys", "scale", 1.0f, 1.0f, lifespan, __FILE__, __LINE__, scaleKeys);
    return ReadTintAndPass(pBlock, __FILE__, __LINE__);
}

bool CMeshParticles::ReadDefinition(const CParamBlock* pBlock, CParticleSystemDefinition** ppDefinition)
{
    CMeshParticlesDefinition* pDefinition = particleDefinitionFor<CMeshParticlesDefinition>(ppDefinition);
    return pDefinition && pDefinition->Read(pBlock);
}

bool CDynamicMeshParticles::ReadDefinition(const CParamBlock* pBlock, CParticleSystemDefinition** ppDefinition)
{
    CDynamicMeshParticlesDefinition* pDefinition = particleDefinitionFor<CDynamicMeshParticlesDefinition>(ppDefinition);
    return pDefinition && pDefinition->Read(pBlock);
}

// ---- Mesh particles ----

CParticleSystem* CMeshParticles::Create(CParticleEffect* pEffect, const CParticleSystemDefinition* pDefinition, void*)
{
    CMeshParticles* pSystem =
        new (std::nothrow) CMeshParticles(pEffect, static_cast<const CMeshParticlesDefinition*>(pDefinition));
    if (pSystem && !pSystem->IsBuilt()) {
        delete pSystem;
        pSystem = nullptr;
    }
    return pSystem;
}

CMeshParticles::CMeshParticles(CParticleEffect* pEffect, const CMeshParticlesDefinition* pDefinition)
    : CParticleSystem(pEffect, pDefinition), m_pMeshDefinition(pDefinition), m_ppInstances(newArray<CModelInst*>(m_count)),
      m_pSpin(newArray<float>(m_count, 3)), m_pRotation(newArray<float>(m_count, 3)),
      m_pPreviousRotation(newArray<float>(m_count, 3)), m_pScaleOffset(newArray<float>(m_count))
{
    if (!IsAllocated() || (m_count > 0 && (!m_ppInstances || !m_pSpin || !m_pRotation || !m_pPreviousRotation ||
                                           !m_pScaleOffset)))
        return;
    for (int32_t i = 0; i < m_count; ++i) {
        m_ppInstances[i] = CModelManager::CreateModelInst(pDefinition->model);
        if (!m_ppInstances[i]) return;
        place(m_ppInstances[i], Vector3(), Matrix3(), Vector3(1.0f, 1.0f, 1.0f));
        OnRespawn(i);
    }
}

CMeshParticles::~CMeshParticles()
{
    for (int32_t i = 0; m_ppInstances && i < m_count; ++i)
        if (m_ppInstances[i]) CModelManager::ReleaseModelInst(m_ppInstances[i]);
    delete[] m_ppInstances;
    delete[] m_pSpin;
    delete[] m_pRotation;
    delete[] m_pPreviousRotation;
    delete[] m_pScaleOffset;
}

bool CMeshParticles::IsBuilt() const
{
    if (!IsAllocated()) return false;
    if (m_count <= 0) return true;
    return m_ppInstances && m_pScaleOffset && m_ppInstances[m_count - 1];
}

void CMeshParticles::OnRespawn(int32_t i)
{
    const CMeshParticlesDefinition& def = *m_pMeshDefinition;
    for (int axis = 2; axis >= 0; --axis)
        m_pSpin[3 * i + axis] = particleRandomUnit() * 2.0f * def.rotation[axis] - def.rotation[axis];
    m_pScaleOffset[i] = particleRandomUnit() * 2.0f * def.scale_variation - def.scale_variation;
    for (int axis = 0; axis < 3; ++axis) m_pRotation[3 * i + axis] = m_pPreviousRotation[3 * i + axis] = 0.0f;
}

void CMeshParticles::OnBounce(int32_t i)
{
    for (int axis = 0; axis < 3; ++axis)
        m_pSpin[3 * i + axis] = wrapped(m_pSpin[3 * i + axis] * m_pMeshDefinition->rotation_dampening);
}

float CMeshParticles::GetCollisionRadius(int32_t i)
{
    const CMeshParticlesDefinition& def = *m_pMeshDefinition;
    if (def.hasCollisionRadius) return def.collisionradius;
    const Vector3 scale = def.scaleKeys.Sample(m_pAges[i]);
    return ((scale.x + scale.y + scale.z) / 3.0f + m_pScaleOffset[i]) * def.model->m_radius;
}

void CMeshParticles::Update(const Vector3& position, const Matrix3& orientation)
{
    CParticleSystem::Update(position, orientation);
    for (int32_t k = 0; k < 3 * m_count; ++k) {
        m_pPreviousRotation[k] = m_pRotation[k];
        m_pRotation[k] = wrapped(m_pRotation[k] + m_pSpin[k]);
    }
}

void CMeshParticles::Render(int32_t pass, float t)
{
    const CMeshParticlesDefinition& def = *m_pMeshDefinition;
    if (pass != def.renderPass) return;
    for (int32_t i = 0; i < m_count; ++i) {
        if (m_pStates[i] != PARTICLE_ALIVE || m_pPreviousStates[i] != PARTICLE_ALIVE) continue;
        const int32_t age = m_pAges[i];
        const float* a = m_pPreviousRotation + 3 * i;
        const float* b = m_pRotation + 3 * i;
        Matrix3 spin, track, orientation;
        matrix3FromAngles(turned(a[0], b[0], t), turned(a[1], b[1], t), turned(a[2], b[2], t), spin);
        const Vector3 angles = def.angleKeys.Sample(age);
        CAngleTriple{angles.x, angles.y, angles.z}.ToMatrix(track);
        Matrix3::multiply(orientation, track, spin);
        Matrix3::multiply(orientation, orientation, m_pEffect->GetOrientation());
        const float offset = m_pScaleOffset[i];
        const Vector3 scale = def.scaleKeys.Sample(age) + Vector3(offset, offset, offset);
        place(m_ppInstances[i], m_pPreviousPositions[i] * (1.0f - t) + m_pPositions[i] * t, orientation, scale);

        const Vector3 colour = def.colourKeys.Sample(age);
        const int32_t alpha = tint(def.alphaKeys.Sample(age));
        for (DWORD handle : def.stateBlocks) SetTextureFactor(handle, tint(colour.x), tint(colour.y), tint(colour.z), alpha);
        m_ppInstances[i]->Render();
    }
}

// ---- Dynamic mesh particles ----

CParticleSystem* CDynamicMeshParticles::Create(CParticleEffect* pEffect, const CParticleSystemDefinition* pDefinition,
                                               void* pExtraData)
{
    const DynamicMeshData* pExtraEffectData = static_cast<const DynamicMeshData*>(pExtraData);
    if (!VERIFY_MSG(pExtraEffectData, "No Extra Effect Data was passed in to a dynamic mesh particles!!")) return nullptr;
    if (!VERIFY_MSG(pExtraEffectData->pModel, "Dynamic mesh particles were given no model")) return nullptr;
    CDynamicMeshParticles* pSystem = new (std::nothrow)
        CDynamicMeshParticles(pEffect, static_cast<const CDynamicMeshParticlesDefinition*>(pDefinition), *pExtraEffectData);
    if (pSystem && !pSystem->IsBuilt()) {
        delete pSystem;
        pSystem = nullptr;
    }
    return pSystem;
}

CDynamicMeshParticles::CDynamicMeshParticles(CParticleEffect* pEffect, const CDynamicMeshParticlesDefinition* pDefinition,
                                             const DynamicMeshData& data)
    : CParticleSystem(pEffect, pDefinition), m_pModel(data.pModel), m_stateBlock(0xFFFFFFFFu),
      m_pMeshDefinition(pDefinition), m_ppInstances(newArray<CModelInst*>(m_count)), m_pSpin(newArray<float>(m_count, 3)),
      m_pOrientation(newArray<Quaternion>(m_count)), m_pPreviousOrientation(newArray<Quaternion>(m_count)),
      m_baseScale(data.baseScale), m_pScaleOffset(newArray<float>(m_count)), m_fixedColour(data.fixedColour),
      m_colour(data.colour)
{
    const Matrix3 start = data.pOrientation ? *data.pOrientation : Matrix3();
    matrix3ToQuat(start, m_startOrientation);
    if (!IsAllocated() || (m_count > 0 && (!m_ppInstances || !m_pSpin || !m_pOrientation || !m_pPreviousOrientation ||
                                           !m_pScaleOffset)))
        return;
    for (int32_t i = 0; i < m_count; ++i) {
        m_ppInstances[i] = CModelManager::CreateModelInst(m_pModel);
        if (!m_ppInstances[i]) return;
        place(m_ppInstances[i], Vector3(), start, Vector3(1.0f, 1.0f, 1.0f));
        m_pOrientation[i] = m_pPreviousOrientation[i] = m_startOrientation;
        OnRespawn(i);
    }
    std::vector<DWORD> first;
    CollectStateBlocks(m_pModel->GetRootLodModel(0), first, 1);
    if (!first.empty()) m_stateBlock = first[0];
}

CDynamicMeshParticles::~CDynamicMeshParticles()
{
    for (int32_t i = 0; m_ppInstances && i < m_count; ++i)
        if (m_ppInstances[i]) CModelManager::ReleaseModelInst(m_ppInstances[i]);
    delete[] m_ppInstances;
    delete[] m_pSpin;
    delete[] m_pOrientation;
    delete[] m_pPreviousOrientation;
    delete[] m_pScaleOffset;
}

bool CDynamicMeshParticles::IsBuilt() const
{
    if (!IsAllocated()) return false;
    if (m_count <= 0) return true;
    return m_ppInstances && m_pScaleOffset && m_ppInstances[m_count - 1];
}

void CDynamicMeshParticles::OnRespawn(int32_t i)
{
    const float r = m_pMeshDefinition->rotation;
    m_pOrientation[i] = m_pPreviousOrientation[i] = m_startOrientation;
    for (int axis = 2; axis >= 0; --axis) m_pSpin[3 * i + axis] = particleRandomUnit() * 2.0f * r - r;
    const float v = m_pMeshDefinition->scale_variation;
    m_pScaleOffset[i] = particleRandomUnit() * 2.0f * v - v;
}

void CDynamicMeshParticles::OnBounce(int32_t i)
{
    for (int axis = 0; axis < 3; ++axis)
        m_pSpin[3 * i + axis] = wrapped(m_pSpin[3 * i + axis] * m_pMeshDefinition->rotation_dampening);
}

float CDynamicMeshParticles::GetCollisionRadius(int32_t i)
{
    const CDynamicMeshParticlesDefinition& def = *m_pMeshDefinition;
    if (def.hasCollisionRadius) return def.collisionradius;
    return def.scaleKeys.Sample(m_pAges[i]) * m_pModel->m_radius;
}

void CDynamicMeshParticles::Update(const Vector3& position, const Matrix3& orientation)
{
    CParticleSystem::Update(position, orientation);
    for (int32_t i = 0; i < m_count; ++i) {
        Quaternion spin;
        quatFromAngles(m_pSpin[3 * i], m_pSpin[3 * i + 1], m_pSpin[3 * i + 2], spin);
        m_pPreviousOrientation[i] = m_pOrientation[i];
        m_pOrientation[i] = product(spin, m_pOrientation[i]);
    }
}

void CDynamicMeshParticles::Render(int32_t pass, float t)
{
    const CDynamicMeshParticlesDefinition& def = *m_pMeshDefinition;
    if (pass != def.renderPass) return;
    for (int32_t i = 0; i < m_count; ++i) {
        if (m_pStates[i] != PARTICLE_ALIVE || m_pPreviousStates[i] != PARTICLE_ALIVE) continue;
        const int32_t age = m_pAges[i];
        Quaternion q;
        quatSlerp(m_pPreviousOrientation[i], m_pOrientation[i], t, q);
        Matrix3 orientation;
        quatToMatrix3(q, orientation);
        const float scale = def.scaleKeys.Sample(age) * m_baseScale + m_pScaleOffset[i];
        place(m_ppInstances[i], m_pPreviousPositions[i] * (1.0f - t) + m_pPositions[i] * t, orientation,
              Vector3(scale, scale, scale));

        Vector3 colour = def.colourKeys.Sample(age);
        if (m_fixedColour)
            colour.set(static_cast<float>(m_colour >> 16 & 0xFF), static_cast<float>(m_colour >> 8 & 0xFF),
                       static_cast<float>(m_colour & 0xFF));
        const double alpha = static_cast<double>(m_pEffect->GetFade()) * def.alphaKeys.Sample(age);
        if (m_stateBlock != 0xFFFFFFFFu)
            SetTextureFactor(m_stateBlock, tint(std::round(colour.x)), tint(std::round(colour.y)),
                             tint(std::round(colour.z)), tint(std::round(alpha)));
        m_ppInstances[i]->Render();
    }
}
