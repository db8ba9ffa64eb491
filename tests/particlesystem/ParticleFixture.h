// Particle effects made by the effect manager from definition text, with the audio manager on the
// scripted DirectSound card (each event sound its own WAV file, told apart by length) and a world
// whose AI map the gravity controller bounces on.
#pragma once

#include "EffectsFixture.h"
#include "TestSupport.h"
#include "WavWriter.h"
#include "ai/WorldMgr.h"
#include "audio/AudioManager.h"
#include "effects/particlesystem/ParticleController.h"
#include "effects/particlesystem/ParticleEffect.h"
#include "effects/particlesystem/ParticleEmitter.h"
#include "effects/particlesystem/ParticleSystem.h"
#include "global/ProjData.h"
#include "platform/testing/dsound.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <utility>
#include <string>
#include <vector>

namespace particletest {

namespace ds = platform::testing::dsound;

// The event sounds, each its own WAV file told apart by its length in frames.
inline const std::map<std::string, int> SOUND_FRAMES = {{"launch.wav", 100}, {"collision.wav", 200}, {"death.wav", 300},
                                                        {"sysdeath.wav", 400}, {"time.wav", 500}, {"period.wav", 600}};

// A block in the file syntax: every brace and every value on its own line.
inline std::string section(const std::string& name, const std::vector<std::string>& lines)
{
    std::string text = name + "\n{\n";
    for (const std::string& line : lines) text += line + "\n";
    return text + "}\n";
}

// A particle-system block: its keys (each line may be replaced or dropped) and its three parts.
struct Definition {
    std::vector<std::string> keys = {"instancename test", "OnCollision SYS_NONE", "OnParticleDeath SYS_NONE",
                                     "OnSystemDeath SYS_NONE", "OnTime SYS_NONE", "OnPeriod SYS_NONE",
                                     "OnTimeParticle SYS_NONE", "OnPeriodParticle SYS_NONE"};
    std::string system = section("dummyparticles", {"count 10"});
    std::string controller = section("gravitycontrollernocollision", {"respawn 0", "gravity 0, 0, 0"});
    std::string emitter = section("pointemitter", {"power 0", "variation 0"});

    Definition& set(const std::string& key, const std::string& value) { return drop(key), keys.push_back(key + " " + value), *this; }
    Definition& drop(const std::string& key)
    {
        std::erase_if(keys, [&](const std::string& line) { return line.rfind(key + " ", 0) == 0; });
        return *this;
    }
    std::string text() const
    {
        std::vector<std::string> lines = keys;
        return lines.push_back(system + controller + emitter), section("PARTICLESYSTEM", lines);
    }
};

class ParticleFixture : public EffectsFixture {
protected:
    void SetUp() override
    {
        EffectsFixture::SetUp();
        ds::useManualClock();
        for (const auto& [name, frames] : SOUND_FRAMES)
            m_dir.write(name, wavtest::wav({1, 22050, 16, 16, ""}, wavtest::pattern(size_t(frames) * 2)));
        ASSERT_TRUE(getProjData().createAudioManager());
        getProjData().pWorldMgr = new CWorldMgr;
        crtSrand(1);
    }
    void TearDown() override
    {
        delete std::exchange(getProjData().pWorldMgr, nullptr);
        EffectsFixture::TearDown();
    }

    // Read and precached under a name of its own, in a file of its own with the other blocks given;
    // null when refused.
    CParticleEffectDefinition* read(Definition d, const std::string& others = "")
    {
        m_name = "particles" + std::to_string(++m_made);
        d.set("instancename", m_name);
        define(d.text() + others, {}, m_name + ".txt");
        if (!manager->PrecacheEffect(m_name.c_str())) return nullptr;
        return dynamic_cast<CParticleEffectDefinition*>(manager->FindDefinition(m_name.c_str()));
    }
    // Started by the manager; null when refused. The creation data is what the word points at.
    CParticleEffect* make(const Definition& d, void* pCreationData = nullptr, const Vector3& position = Vector3(),
                          const Matrix3& orientation = Matrix3(), const std::string& others = "")
    {
        if (!read(d, others)) return nullptr;
        return dynamic_cast<CParticleEffect*>(manager->CreateEffect(
            m_name.c_str(), position, orientation, reinterpret_cast<uintptr_t>(pCreationData), nullptr, nullptr));
    }
    // The effect's own updates; false when one ended it.
    static bool run(CParticleEffect* pEffect, int updates)
    {
        while (updates-- > 0 && pEffect->Update()) {}
        return updates < 0;
    }
    static std::vector<int32_t> states(CParticleEffect* e)
    {
        std::vector<int32_t> out;
        for (int32_t i = 0; i < e->GetParticleSystem()->GetCount(); ++i) out.push_back(e->GetParticleSystem()->GetState(i));
        return out;
    }
    static const Vector3& at(CParticleEffect* e, int32_t i) { return e->GetParticleSystem()->GetPosition(i); }
    static const Vector3& speed(CParticleEffect* e, int32_t i) { return e->GetParticleSystem()->GetVelocity(i); }
    // The voices of the sound file so far, oldest first.
    static std::vector<ds::BufferState> played(const std::string& file)
    {
        std::vector<ds::BufferState> out;
        for (const ds::BufferState& b : ds::buffers())
            if (b.original && b.size == DWORD(SOUND_FRAMES.at(file) * 2)) out.push_back(b);
        return out;
    }
    // Flat ground at that height, 256 x 256 units from the origin.
    static void ground(uint16_t height)
    {
        CAIMap* pMap = getProjData().getWorldMgr()->getAIMap();
        ASSERT_TRUE(pMap->create(256, 256, 1, 0, 0));
        for (int i = 0; i < 256 * 256; ++i) pMap->setHeight(i % 256, i / 256, height);
    }

private:
    int m_made = 0;
    std::string m_name;
};

inline void expectNear(const Vector3& a, const Vector3& b, float tolerance = 1e-4f)
{
    EXPECT_TRUE(testsupport::near(b, a, tolerance));
}


}  // namespace particletest
