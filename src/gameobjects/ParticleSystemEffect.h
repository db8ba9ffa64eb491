// CParticleSystemEffect: the effect object through which game code runs an effect. It is
// instantiated under manager 0x05 from an effect definition, kept by handle, and started, moved,
// triggered, paused and released through the object; the effect itself belongs to the effect
// manager. An effect that ends by itself leaves the object idle (it forwards nothing); an object
// released while its effect runs goes when the effect ends.
#pragma once

#include "gamemanagement/Resource.h"
#include "utility/VectorMath.h"

#include <cstddef>
#include <cstdint>

class CEffect;
struct resDef;

class CParticleSystemEffect : public CResource {
public:
    enum Flags : uint32_t {
        FLAG_LIVE = 0x01,       // an effect runs for it
        FLAG_HELD = 0x20,       // the owner still holds the handle
        FLAG_NONZERO_WORD = 0x40,  // started with a creation word other than 0
    };

    // Without a definition (the blank object) every operation does nothing.
    CParticleSystemEffect(resourceHandle handle, resDef* pDefinition);
    // Stops the effect when one runs.
    ~CParticleSystemEffect() override;
    CParticleSystemEffect(const CParticleSystemEffect&) = delete;
    CParticleSystemEffect& operator=(const CParticleSystemEffect&) = delete;

    // Blocks come from the effect objects' pool (effectMemoryManager); null when it is exhausted.
    static void* operator new(size_t size) noexcept;
    static void operator delete(void* pBlock, size_t size) noexcept;

    uint32_t getResourceType() const override { return RESOURCETYPE_EFFECT; }
    const char* getTypeName() const override { return "CParticleSystemEffect"; }
    // Starts the definition's effect; one already running is ended first. False when the effect
    // manager refuses (the object then stays idle).
    virtual bool start(const Vector3& position, const Matrix3& orientation, uintptr_t creationWord);
    // Ends the running effect.
    virtual bool stop();
    virtual void idle() {}
    virtual int getEffectObjectKind() const { return 1; }

    void setPosition(const Vector3& position);
    void setOrientation(const Matrix3& orientation);
    void setPositionAndOrientation(const Vector3& position, const Matrix3& orientation);
    // Fires the emitters once (a particle system's, or those of a multi-effect's parts).
    void trigger();
    void pauseEmitters();
    void unpauseEmitters();
    // The owner lets go: the handle is released now, or when the running effect ends.
    void release();

    // Called by the effect manager when the effect ends, whatever the reason.
    static void endCallback(CEffect* pEffect, void* pContext);

    bool isLive() const { return (flags & FLAG_LIVE) != 0; }
    CEffect* getEffect() const { return pEffect; }
    resDef* getDefinition() const { return definition; }
    uint32_t getFlags() const { return flags; }

private:
    friend class CEffectObjectResourceManager;

    CEffect* pEffect;
    resDef* definition;
    uint32_t flags;
};

class CGameMemoryManager;
// The effect objects' pool while their manager lives.
extern CGameMemoryManager* effectMemoryManager;
