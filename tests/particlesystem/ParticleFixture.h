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
#include "utility/BlockFile.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace particletest {

// The sounds of the events, each of its own length.
inline const std::map<std::string, int>& soundFiles()
{
    static const std::map<std::string, int> files = {
        {"launch.wav", 100}, {"collision.wav", 200}, {"death.wav", 300},
        {"sysdeath.wav", 400}, {"time.wav", 500}, {"period.wav", 600},
    };
    return files;
}

// A block in the file syntax: every brace and every value on its own line.
inline std::string section(const std::string& name, const std::vector<std::string>& lines)
{
    std::string text = name + "\n{\n";
    for (const std::string& line : lines) text += line + "\n";
    return text + "}\n";
}

// The keys of a particle-system block and its three parts. Every line of keys can be replaced or
// dropped to build the bad ones.
struct Definition {
    std::vector<std::string> keys = {
        "instancename test_dummy",  "OnCollision SYS_NONE", "OnParticleDeath SYS_NONE", "OnSystemDeath SYS_NONE",
        "OnTime SYS_NONE",          "OnPeriod SYS_NONE",    "OnTimeParticle SYS_NONE",  "OnPeriodParticle SYS_NONE",
    };
    std::string system = section("dummyparticles", {"count 10", "lifespan -1"});
    std::string controller = section("gravitycontrollernocollision", {"respawn 0", "gravity 0, 0, 0"});
    std::string emitter = section("pointemitter", {"power 0", "variation 0"});

    Definition& set(const std::string& key, const std::string& value)
    {
        drop(key);
        keys.push_back(key + " " + value);
        return *this;
    }
    Definition& drop(const std::string& key)
    {
        std::erase_if(keys, [&](const std::string& line) { return line.rfind(key + " ", 0) == 0; });
        return *this;
    }
    std::string text() const
    {
        std::vector<std::string> lines = keys;
        lines.push_back(system + controller + emitter);
        return section("PARTICLESYSTEM", lines);
    }
};

class ParticleFixture : public EffectsFixture {
protected:
    void SetUp() override
    {
        EffectsFixture::SetUp();
        platform::testing::dsound::useManualClock();
        for (const auto& [name, frames] : soundFiles())
            m_dir.write(name, wavtest::wav({1, 22050, 16, 16, ""}, wavtest::pattern(static_cast<size_t>(frames) * 2)));
        ASSERT_TRUE(getProjData().createAudioManager());
        getProjData().pWorldMgr = new CWorldMgr;
        crtSrand(1);
    }
    void TearDown() override
    {
        CWorldMgr*& pWorld = getProjData().pWorldMgr;
        delete pWorld;
        pWorld = nullptr;
        EffectsFixture::TearDown();
    }

    // The definition read and precached from its text under a name of its own (other blocks of
    // the same file may follow); null, after the reader's reports, when it is refused.
    CParticleEffectDefinition* read(Definition d, const std::string& others = "")
    {
        const std::string name = "particles" + std::to_string(++m_made);
        d.set("instancename", name);
        define(d.text() + others);
        if (!manager->PrecacheEffect(name.c_str())) return nullptr;
        m_lastName = name;
        return dynamic_cast<CParticleEffectDefinition*>(manager->FindDefinition(name.c_str()));
    }

    // A running effect of the definition, made by the manager; null when refused.
    CParticleEffect* make(const Definition& d, void* pCreationData = nullptr, const Vector3& position = Vector3(),
                          const Matrix3& orientation = Matrix3(), const std::string& others = "")
    {
        if (!read(d, others)) return nullptr;
        CEffect* pEffect = manager->CreateEffect(m_lastName.c_str(), position, orientation,
                                                 reinterpret_cast<uintptr_t>(pCreationData), nullptr, nullptr);
        return dynamic_cast<CParticleEffect*>(pEffect);
    }

    // Runs the effect's own updates; false when it ended on one of them.
    static bool run(CParticleEffect* pEffect, int updates)
    {
        for (int i = 0; i < updates; ++i)
            if (!pEffect->Update()) return false;
        return true;
    }

public:
    static std::vector<int32_t> states(CParticleEffect* pEffect)
    {
        std::vector<int32_t> out;
        CParticleSystem* pSystem = pEffect->GetParticleSystem();
        for (int32_t i = 0; i < pSystem->GetCount(); ++i) out.push_back(pSystem->GetState(i));
        return out;
    }

protected:
    // The voices started with the sound file so far, oldest first.
    static std::vector<platform::testing::dsound::BufferState> played(const std::string& file)
    {
        std::vector<platform::testing::dsound::BufferState> out;
        const DWORD size = static_cast<DWORD>(soundFiles().at(file) * 2);
        for (const auto& b : platform::testing::dsound::buffers())
            if (b.original && b.size == size) out.push_back(b);
        return out;
    }

    // A flat world of the given height, 256 x 256 units from the origin.
    static void ground(uint16_t height)
    {
        CAIMap* pMap = getProjData().getWorldMgr()->getAIMap();
        ASSERT_TRUE(pMap->create(256, 256, 1, 0, 0));
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) pMap->setHeight(x, y, height);
    }

private:
    int m_made = 0;
    std::string m_lastName;
};

inline void expectNear(const Vector3& a, const Vector3& b, float tolerance = 1e-4f)
{
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

}  // namespace particletest
