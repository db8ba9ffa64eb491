// Clumps on the scripted card: the façade with its model managers; a world whose AI map of 16 x 16
// cells of 100 units rises 0.2 a unit eastwards; the audio manager on the DirectSound stand-in's
// manual clock with "shot.wav"; the object manager with the effect objects of the logging effect
// kind ("spark" never ends, "brief" ends on its first update); a weapon seam that logs. Each test
// ends with the clumps unloaded and nothing left in the model manager or the buffer allocator.
#pragma once

#include "ClumpWriter.h"
#include "DemoClumps.h"
#include "EffectTestKind.h"
#include "FacadeFixture.h"
#include "WavWriter.h"
#include "ai/Sun.h"
#include "d3d9gl/DeviceRenderer.h"
#include "ai/WorldMgr.h"
#include "audio/AudioManager.h"
#include "effects/Effect.h"
#include "gameobjects/EffectObjectResourceManager.h"
#include "gameobjects/GameObjectManager.h"
#include "gameobjects/ParticleSystemEffect.h"
#include "global/ProjData.h"
#include "kestrune/ClumpManager.h"
#include "l3render/ModelClump.h"
#include "l3render/ModelManager.h"
#include "matcore9/BufferAllocator.h"
#include "matcore9/HWDynamicMesh.h"
#include "platform/testing/dsound.h"
#include "weapons/WeaponDescription.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace cw = clumpwriter;

// What the weapon seam saw: "make <name> <owned> <flags>", "<name> update <ms> <flag>", "<name> gone".
inline std::vector<std::string>& weaponLog()
{
    static std::vector<std::string> log;
    return log;
}

struct LoggingWeapon : WeaponDescription {
    explicit LoggingWeapon(std::string n) : name(std::move(n)) {}
    ~LoggingWeapon() override { weaponLog().push_back(name + " gone"); }
    void Update(int ms) override
    {
        weaponLog().push_back(name + " update " + std::to_string(ms) + " " + std::to_string(d_updateEnabled));
    }
    std::string name;
};

class ClumpFixture : public FacadeFixture {
protected:
    void SetUp() override
    {
        FacadeFixture::SetUp();
        if (m_pixels) {
            setenv("SDL_VIDEODRIVER", "offscreen", 0);
            d3d9ref::setRendererFactory(&d3d9gl::createOffscreenDeviceRenderer);
        }
        platform::testing::dsound::useManualClock();
        ASSERT_TRUE(startFacade());
        createProjData();
        getProjData().pWorldMgr = new CWorldMgr;
        CAIMap* map = getProjData().pWorldMgr->getAIMap();
        ASSERT_TRUE(map->create(16, 16, 100, 0, 0));
        for (int col = 0; col < 16; ++col)
            for (int row = 0; row < 16; ++row) map->setHeight(col, row, static_cast<uint16_t>(col * 20));
        m_dir.write("shot.wav", wavtest::wav({1, 22050, 16, 16, ""}, wavtest::pattern(2000)));
        ASSERT_TRUE(getProjData().createAudioManager());
        installTestKind();
        m_dir.write("data/particles/fx.txt", "TESTEFFECT\n{\ninstancename spark\n}\nTESTEFFECT\n{\ninstancename "
                                             "brief\nLifetime 1\n}\n");
        m_dir.write("data/particles/particlesystem_precache.psp",
                    "Precache\n{\nSet\n{\nfilename data\\particles\\fx.txt\nps_def0 spark\nps_def1 brief\n}\n}\n");
        m_objects = std::make_unique<CGameObjectManager>();
        m_effects = new CEffectObjectResourceManager;  // the object manager's from now on
        ASSERT_TRUE(m_objects->registerResourceManager(m_effects));
        weaponLog().clear();
        SetCreateWeaponHook([](const char* name, int owned, int flags) -> WeaponDescription* {
            weaponLog().push_back("make " + std::string(name) + " " + std::to_string(owned) + " " + std::to_string(flags));
            return new LoggingWeapon(name);
        });
        CSun::resetSunProperties();
        for (const auto& [name, bytes] : democlumps::files()) m_dir.write("data/" + name, bytes);
        testsupport::clearReports();
    }

    void TearDown() override
    {
        clumps.ReleaseHeldObjects();
        clumps.Unload();
        EXPECT_EQ(CModelManager::GetNumModels() + CModelManager::GetNumModelInsts() + CModelManager::GetNumElements(), 0u);
        EXPECT_EQ(CBufferAllocator::GetInstance()->BlocksInUse(), 0u);
        SetCreateWeaponHook(nullptr);
        m_objects.reset();
        removeTestKind();
        delete getProjData().pWorldMgr;
        getProjData().pWorldMgr = nullptr;
        destroyProjData();
        D3DCore.FreeDisplayHandles();
        CBufferAllocator::DestroyInstance();
        FacadeFixture::TearDown();
        d3d9ref::setRendererFactory(nullptr);
    }

    // A file of models 0 rock, 1 tree, 2 stump (data\clumps\*.rsm) and the types, of the version.
    static cw::File withModels(std::vector<cw::Type> types, uint32_t version = 11)
    {
        cw::File f = democlumps::demo();
        f.Version = version;
        f.Types = std::move(types);
        return f;
    }
    bool load(const cw::File& f)
    {
        m_dir.write("data/clumps/test.clump", cw::file(f));
        return clumps.LoadClumpFile("data\\clumps\\test.clump");
    }
    CClumpInstance& clump(uint32_t type, uint32_t index = 0) { return clumps.GetClumpType(type)->pClumpList[index]; }
    CClumpElementData& element(uint32_t type, uint32_t id) { return *clump(type).d_pClump->GetElement(id); }

    // The combined-mesh vertices of an element: positions and diffuse colours.
    static std::vector<std::pair<Vector3, uint32_t>> vertices(const CClumpElementData& e)
    {
        std::vector<std::pair<Vector3, uint32_t>> out;
        for (const CClumpPiece* p = e.pFirstPiece; p; p = p->pNext) {
            const uint8_t* v = static_cast<const uint8_t*>(p->pDSM->LockVertices(DSM_LOCK_READ));
            const uint32_t size = p->pDSM->GetVertexSize();
            for (uint32_t i = p->vertexOffset; i < uint32_t(p->vertexOffset + p->vertexCount); ++i) {
                float xyz[3];
                uint32_t colour;
                std::memcpy(xyz, v + i * size, 12);
                std::memcpy(&colour, v + i * size + 12, 4);
                out.push_back({Vector3(xyz[0], xyz[1], xyz[2]), colour & 0xFFFFFF});
            }
            p->pDSM->UnlockVertexRange(0, 0);
        }
        return out;
    }

    bool m_pixels = false;  // drawn by the OpenGL renderer, headless
    CClumpManager clumps;
    std::unique_ptr<CGameObjectManager> m_objects;
    CEffectObjectResourceManager* m_effects = nullptr;
};
