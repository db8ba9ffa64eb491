// Sprite particles: every living particle drawn as a camera-facing textured square (smoke, sparks,
// fire, dust), sized, coloured, faded and turned by key-frame tracks over its life, optionally
// framed from a texture atlas and sorted nearest first, and written each pass into the shared
// dynamic vertex buffer of their vertex format. Chosen by a "spriteparticles" block.
#pragma once

#include "effects/particlesystem/KeyFrames.h"
#include "effects/particlesystem/ParticleSystem.h"
#include "platform/d3d9.h"

#include <cstdint>

class CSpriteParticlesDefinition : public CParticleSystemDefinition {
public:
    CSpriteParticlesDefinition() = default;
    // Gives the material back.
    ~CSpriteParticlesDefinition() override;

    // The keys after count and lifespan, then the material and the vertex buffer. False, with a
    // report, without "render_type" or with one outside 0..2, or with an atlas of no columns or rows.
    bool Read(const CParamBlock* pBlock);

    int32_t x_frames = 1;
    int32_t y_frames = 1;
    int32_t anim_count = 1;
    float rotation = 0.0f;  // largest spin, radians per frame
    float zbias = 0.0f;     // kept, not drawn by
    float size_variation = 0.0f;
    float rotation_dampening = 1.0f;  // spin kept after a bounce
    float sizecap = 0.2f;             // largest share of the screen's width
    bool hasCollisionRadius = false;
    float collisionradius = 0.0f;
    uint8_t orient_to_travel = 0;
    uint8_t sort_particles = 0;
    uint8_t fade_frames = 0;
    KeyFrames<Vector3> colourKeys;
    KeyFrames<float> alphaKeys;
    KeyFrames<float> sizeKeys;
    KeyFrames<float> angleKeys;
    int32_t renderPass = 0;
    DWORD material = 0xFFFFFFFFu;
    int32_t vertexBuffer = -1;
};

class CSpriteParticles : public CParticleSystem {
public:
    // What one drawn square needs, rebuilt at every pass that draws.
    struct SpriteRecord {
        uint8_t visible;
        Vector3 position;
        float screenX, screenY, depth, w;
        float key;  // squared distance from the camera
        uint32_t colour;
        float size;
        float angle;
        float leftU, topV, rightU, bottomV;
    };

    CSpriteParticles(CParticleEffect* pEffect, const CSpriteParticlesDefinition* pDefinition);
    ~CSpriteParticles() override;

    int32_t GetKind() const override { return 4; }
    void Render(int32_t pass, float interpolation) override;
    void Update(const Vector3& position, const Matrix3& orientation) override;
    float GetCollisionRadius(int32_t i) override;
    void OnBounce(int32_t i) override;
    void OnRespawn(int32_t i) override;

    // The records the last drawing pass filled.
    int32_t GetNumSprites() const { return m_nextSprite; }
    const SpriteRecord* GetSprites() const { return m_pSpriteData; }

    static bool ReadDefinition(const CParamBlock* pBlock, CParticleSystemDefinition** ppDefinition);
    // Null when the particle arrays cannot be allocated.
    static CParticleSystem* Create(CParticleEffect* pEffect, const CParticleSystemDefinition* pDefinition,
                                   void* pExtraData);

private:
    bool IsBuilt() const;
    void FillRecord(int32_t i, float t, SpriteRecord& record);
    void Draw(int32_t count);

    const CSpriteParticlesDefinition* m_pSpriteDefinition;
    int32_t m_nextSprite;
    SpriteRecord* m_pSpriteData;
    float* m_pSpin;
    float* m_pSizeOffset;
    float* m_pAngle;
    float* m_pPreviousAngle;
    bool m_angleReported;  // a bad angle is reported once, not every frame
};
