// Mesh particles: every living particle drawn as an instance of a model (debris, shell casings,
// rocks) that spins, scales and is tinted over its life by key-frame tracks; the tint is the texture
// factor of the model's materials, set just before each instance is drawn.
//
// CMeshParticles ("meshparticles") draw the model their definition names, spinning about three
// wrapped angles. CDynamicMeshParticles ("dynamicmeshparticles") draw a model the creator of the
// effect hands over at run time in its DynamicMeshData (the pieces of a broken object), spinning by
// quaternions from the creator's orientation. Mesh "render_type" 0, 1, 2 draw in the effect
// manager's passes 0, 3 and 4.
#pragma once

#include "effects/particlesystem/KeyFrames.h"
#include "effects/particlesystem/ParticleSystem.h"
#include "platform/d3d9.h"

#include <cstdint>
#include <vector>

class CModel;
class CModelInst;

// What the creator of a dynamic-mesh effect hands over (the particle-system data of the effect's
// ParticleEffectExtraData). The model and the orientation must outlive the effect.
struct DynamicMeshData {
    CModel* pModel;
    const Matrix3* pOrientation;  // null: unturned
    float baseScale;
    uint8_t fixedColour;  // set: every piece is tinted with colour, whatever the track says
    uint32_t colour;      // blue in the low byte, then green, then red
};

// A definition of either kind: the spin, scale and tint keys both read.
class CMeshParticlesDefinitionBase : public CParticleSystemDefinition {
public:
    float scale_variation = 0.0f;
    float rotation_dampening = 1.0f;  // spin kept after a bounce
    bool hasCollisionRadius = false;
    float collisionradius = 0.0f;
    KeyFrames<Vector3> colourKeys;
    KeyFrames<float> alphaKeys;
    int32_t renderPass = 0;  // of the effect manager: 0, 3 or 4

protected:
    // scale_variation, rotation_dampening, collisionradius; then, after the caller's tracks, the
    // tint tracks and the render type.
    void ReadSpinKeys(const CParamBlock* pBlock);
    bool ReadTintAndPass(const CParamBlock* pBlock, const char* sourceFile, int sourceLine);
};

class CMeshParticlesDefinition : public CMeshParticlesDefinitionBase {
public:
    CMeshParticlesDefinition() = default;
    // Releases the model with its meshes.
    ~CMeshParticlesDefinition() override;

    // False, with a report, without a model that loads or without a render_type in 0..2.
    bool Read(const CParamBlock* pBlock);

    CModel* model = nullptr;
    float rotation[3] = {};  // largest spins, radians per frame, in the order parseOrientation keeps them
    KeyFrames<Vector3> scaleKeys;
    KeyFrames<Vector3> angleKeys;  // radians
    // The state block of every material of every mesh of the model's first level of detail.
    std::vector<DWORD> stateBlocks;
};

class CDynamicMeshParticlesDefinition : public CMeshParticlesDefinitionBase {
public:
    bool Read(const CParamBlock* pBlock);

    float rotation = 0.0f;  // largest spin about each axis, radians per frame
    KeyFrames<float> scaleKeys;
};

class CMeshParticles : public CParticleSystem {
public:
    CMeshParticles(CParticleEffect* pEffect, const CMeshParticlesDefinition* pDefinition);
    // Releases every instance.
    ~CMeshParticles() override;

    int32_t GetKind() const override { return 3; }
    void Render(int32_t pass, float interpolation) override;
    void Update(const Vector3& position, const Matrix3& orientation) override;
    float GetCollisionRadius(int32_t i) override;
    void OnBounce(int32_t i) override;
    void OnRespawn(int32_t i) override;

    CModelInst* GetInstance(int32_t i) const { return m_ppInstances[i]; }
    const float* GetRotation(int32_t i) const { return m_pRotation + 3 * i; }

    static bool ReadDefinition(const CParamBlock* pBlock, CParticleSystemDefinition** ppDefinition);
    static CParticleSystem* Create(CParticleEffect* pEffect, const CParticleSystemDefinition* pDefinition,
                                   void* pExtraData);

private:
    bool IsBuilt() const;

    const CMeshParticlesDefinition* m_pMeshDefinition;
    CModelInst** m_ppInstances;
    float* m_pSpin;  // three per particle, as the rotations
    float* m_pRotation;
    float* m_pPreviousRotation;
    float* m_pScaleOffset;
};

class CDynamicMeshParticles : public CParticleSystem {
public:
    CDynamicMeshParticles(CParticleEffect* pEffect, const CDynamicMeshParticlesDefinition* pDefinition,
                          const DynamicMeshData& data);
    ~CDynamicMeshParticles() override;

    int32_t GetKind() const override { return 1; }
    void Render(int32_t pass, float interpolation) override;
    void Update(const Vector3& position, const Matrix3& orientation) override;
    float GetCollisionRadius(int32_t i) override;
    void OnBounce(int32_t i) override;
    void OnRespawn(int32_t i) override;

    CModelInst* GetInstance(int32_t i) const { return m_ppInstances[i]; }
    const Quaternion& GetOrientation(int32_t i) const { return m_pOrientation[i]; }

    static bool ReadDefinition(const CParamBlock* pBlock, CParticleSystemDefinition** ppDefinition);
    // Null (reported) without extra data or without a model in it: there is nothing to draw.
    static CParticleSystem* Create(CParticleEffect* pEffect, const CParticleSystemDefinition* pDefinition,
                                   void* pExtraData);

private:
    bool IsBuilt() const;

    CModel* m_pModel;
    DWORD m_stateBlock;  // of the first mesh of the first level of detail
    const CDynamicMeshParticlesDefinition* m_pMeshDefinition;
    CModelInst** m_ppInstances;
    float* m_pSpin;
    Quaternion m_startOrientation;
    Quaternion* m_pOrientation;
    Quaternion* m_pPreviousOrientation;
    float m_baseScale;
    float* m_pScaleOffset;
    uint8_t m_fixedColour;
    uint32_t m_colour;
};
