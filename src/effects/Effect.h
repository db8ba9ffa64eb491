// CEffect: the base of every running effect the effect manager owns - its placement (position,
// orientation and a local offset frame), fade, hidden flag and kill fade, the effect it leads and
// the one leading it, and the followed points a trail is told to follow.
//
// Effects are made only by their kind's factory inside CEffectManager::CreateEffect and end only
// through CEffectManager::DestroyEffect (Kill asks for it).
#pragma once

#include "utility/VectorMath.h"

#include <cstdint>

class CEffectManager;
class CEffectDefinition;

class CEffect {
public:
    enum { TYPE_PARTICLESYSTEM = 0, TYPE_MULTIEFFECT = 1, TYPE_TRAIL = 2, TYPE_POINTTRAIL = 3 };

    // The base ignores the creation word; kinds read it. It is pointer-wide: a particle effect's is
    // the address of its parts' extra data.
    CEffect(CEffectManager* pManager, CEffectDefinition* pDefinition, uintptr_t creationWord, const Vector3& position,
            const Matrix3& orientation);
    // Unlinks: the effect led loses its points and its leader, the leader loses its link.
    virtual ~CEffect();
    CEffect(const CEffect&) = delete;
    CEffect& operator=(const CEffect&) = delete;

    virtual int GetType() const = 0;
    virtual const Vector3& GetPosition() const { return m_position; }
    virtual const Matrix3& GetOrientation() const { return m_orientation; }
    // A displacement the particle controllers add to every particle each frame.
    virtual const Vector3& GetDrift() const { return m_drift; }
    virtual void SetPosition(const Vector3& position) { m_position = position; }
    virtual void SetOrientation(const Matrix3& orientation) { m_orientation = orientation; }
    virtual void SetDrift(const Vector3& drift) { m_drift = drift; }
    virtual const Vector3& SetLocalOffset(const Vector3& offset, const Matrix3& frame);
    virtual void GetLocalOffset(Vector3* pOffset, Matrix3* pFrame) const;
    // False (outputs untouched) for kinds without bounds.
    virtual bool GetBounds(Vector3* pCentre, float* pRadius) const;
    // Clamped to 0..1.
    virtual void SetFade(float fade);
    // Asks the manager to destroy this effect.
    virtual void Kill();
    // False ends the effect.
    virtual bool Update() { return false; }
    virtual void Render(int pass, float interpolation) = 0;
    virtual void SetLeader(CEffect* pLeader) { m_pLeader = pLeader; }
    virtual void SetFollowedPoints(uint32_t count, Vector3* pPoints);
    virtual Vector3* GetFollowedPoints() const { return m_pFollowedPoints; }
    virtual uint32_t GetFollowedPointCount() const { return m_numFollowedPoints; }
    // Makes this effect the leader of the one given (null: no link).
    virtual void LinkEffect(CEffect* pEffect);
    // Emitters belong to particle systems and multi-effects; other kinds report and ignore these.
    virtual void PauseEmitter();
    virtual void UnpauseEmitter();
    virtual bool IsEmitterPaused() const;
    virtual void PassFollowedPointsOn(uint32_t count, Vector3* pPoints);
    // Fires the emitter once; only particle systems have one.
    virtual void TriggerEmitter() {}

    float GetFade() const { return m_fade; }
    void SetHidden(bool hidden) { m_hidden = hidden; }
    bool IsHidden() const { return m_hidden; }
    // 0: no kill fade.
    void SetKillStartTime(uint32_t time) { m_killStartTime = time; }
    uint32_t GetKillStartTime() const { return m_killStartTime; }
    // Starts the kill fade at the present game time (never 0, which means none).
    void StartKillFade();
    bool KillIfOffScreen() const;
    bool RenderIfOnScreenOnly() const;
    CEffectDefinition* GetDefinition() const { return m_pDefinition; }
    CEffectManager* GetManager() const { return m_pManager; }
    CEffect* GetLinkedEffect() const { return m_pLinked; }
    CEffect* GetLeader() const { return m_pLeader; }

protected:
    Vector3* m_pFollowedPoints;
    uint32_t m_numFollowedPoints;
    CEffectManager* m_pManager;
    Vector3 m_position;
    Vector3 m_drift;
    Matrix3 m_orientation;
    Vector3 m_localOffset;
    Matrix3 m_localFrame;
    float m_fade;
    bool m_hidden;
    uint8_t m_started;  // set at construction; nothing reads it yet
    uint32_t m_killStartTime;
    CEffect* m_pLinked;
    CEffect* m_pLeader;
    CEffectDefinition* m_pDefinition;
};

// The game clock in milliseconds (0 before the project data exists).
uint32_t EffectGameTime();
