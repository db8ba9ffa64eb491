// Trails: textured ribbons behind points that someone else owns (a particle system's positions, a
// game object's points), handed over as followed points. Each keeps one snapshot of the points
// per update and draws its history as triangle strips in one pass of the effect manager.
//
// CPointTrail ("POINTTRAIL") draws one camera-facing ribbon behind each point, twice, across two
// axes of the camera; when its points are taken away it fades out over its death clock. CTrail
// ("TRAIL") draws the surface swept by the line through its points and ends as soon as it has
// nothing to follow.
#pragma once

#include "effects/Effect.h"
#include "effects/EffectDefinition.h"
#include "platform/d3d9.h"

#include <cstdint>

class CParamBlock;

class CPointTrailDefinition : public CEffectDefinition {
public:
    CPointTrailDefinition() = default;
    ~CPointTrailDefinition() override;

    // The keys after the common ones. False, with a report, for a trail_length below 1 or a
    // render_type outside 0..2 (without one the trail draws in pass 0).
    bool Read(const CParamBlock& block);

    int32_t render_type = 0;
    int32_t trail_length = 8;
    int32_t fade_start = 8;
    float tile = 1.0f;
    float trail_width = 20.0f;
    DWORD material = 0xFFFFFFFFu;
    int32_t death_clock = 0;
    float vscroll = 0.0f;
};

class CTrailDefinition : public CEffectDefinition {
public:
    CTrailDefinition() = default;
    ~CTrailDefinition() override;

    // False, with a report, without a render_type in 0..2 or with a trail_length below 1.
    bool Read(const CParamBlock& block);

    int32_t render_type = 0;
    int32_t trail_length = 8;
    DWORD material = 0xFFFFFFFFu;
};

class CPointTrail : public CEffect {
public:
    CPointTrail(CEffectManager* pManager, CPointTrailDefinition* pDefinition, uintptr_t creationWord,
                const Vector3& position, const Matrix3& orientation);
    ~CPointTrail() override;

    int GetType() const override { return TYPE_POINTTRAIL; }
    bool GetBounds(Vector3* pCentre, float* pRadius) const override;
    // One snapshot of the points; while dying only the death clock runs. False once it has run out.
    bool Update() override;
    void Render(int pass, float interpolation) override;
    // The same points again change nothing; none start the death clock; others restart the
    // history from where they are.
    void SetFollowedPoints(uint32_t count, Vector3* pPoints) override;

    bool IsDying() const { return m_dying != 0; }
    int32_t GetDeathCountdown() const { return m_deathCountdown; }

private:
    CPointTrailDefinition* m_pTrailDefinition;
    float m_textureScroll;
    uint8_t m_dying;
    int32_t m_deathCountdown;
    int32_t m_warmUp;
    int32_t m_vbId;
    Vector3* m_pHistory;  // trail_length + 1 steps of one point each per followed point, newest first
    uint32_t m_historyPoints;  // points per step: those followed last, still drawn while dying
    Vector3 m_boundsCentre;
    float m_boundsRadius;
    bool m_tooLongReported;
};

class CTrail : public CEffect {
public:
    CTrail(CEffectManager* pManager, CTrailDefinition* pDefinition, uintptr_t creationWord, const Vector3& position,
           const Matrix3& orientation);
    ~CTrail() override;

    int GetType() const override { return TYPE_TRAIL; }
    bool GetBounds(Vector3* pCentre, float* pRadius) const override;
    // False (the trail ends) while it follows nothing.
    bool Update() override;
    void Render(int pass, float interpolation) override;
    void SetFollowedPoints(uint32_t count, Vector3* pPoints) override;

private:
    CTrailDefinition* m_pTrailDefinition;
    int32_t m_vbId;
    Vector3* m_pHistory;  // trail_length + 2 steps, newest first
    Vector3 m_boundsCentre;
    float m_boundsRadius;
    bool m_tooLongReported;
};

// Kinds 2 and 3 of the effect manager.
bool ReadTrailDefinition(CEffectManager& manager, const CParamBlock& block, CEffectDefinition** ppDefinition);
bool ReadPointTrailDefinition(CEffectManager& manager, const CParamBlock& block, CEffectDefinition** ppDefinition);
