// A tree clump drawn headless by the OpenGL renderer on the sloped world of ClumpWorld.h.
#include "ClumpView.h"
#include "ClumpWorld.h"
#include "ClumpWriter.h"
#include "ai/WorldMgr.h"
#include "gameobjects/CollisionObjectResourceManager.h"
#include "gameobjects/GameObjectManager.h"
#include "gameobjects/GameTree.h"
#include "gameobjects/SampleObjectResourceManager.h"
#include "gameobjects/TreeClump.h"
#include "global/ProjData.h"
#include "kestrune/ClumpInstance.h"
#include "l3render/ModelClump.h"

#include <memory>

namespace cw = clumpwriter;

class TreeClumpPixelTest : public FacadeFixture {};

TEST_F(TreeClumpPixelTest, ANearTreeClumpDrawsEachElementInItsOwnColourTimesTheClumps)
{
    ASSERT_TRUE(startDrawing({"clumps/rock.rsm", "clumps/tree.rsm", "clumps/stump.rsm"}));
    createProjData();
    clumpworld::makeWorld();
    auto objects = std::make_unique<CGameObjectManager>();
    objects->registerResourceManager(new CSampleObjectResourceManager);
    objects->registerResourceManager(new CCollisionObjectResourceManager);
    objects->initialiseResourceManagers();
    // A material that multiplies the vertex colour (white) by the texture factor.
    std::string tinted = democlumps::material();
    tinted.replace(tinted.find("colorop selectarg1"), 18, "colorop modulate\nsettexturestagestate 0 colorarg2 tfactor");
    tinted.replace(tinted.find("[pass]\n"), 7, "[pass]\nsetrenderstate texturefactor 0xFFFFFFFF\n");
    m_dir.write("data/clumps/clump.mtl", tinted);
    // Trees at full detail only (no combined mesh), lit by the light effects, in two colours.
    cw::File f = democlumps::demo();
    f.Models.push_back({"", "data\\clumps\\tree.rsm"});
    cw::Type trees;
    trees.ObjectType = 1, trees.Flags = 16, trees.SecondPair = 1, trees.Health = 100;
    trees.FadeNear = 5000, trees.FadeFar = 6000, trees.SecondNear = 1000, trees.SecondFar = 1500;
    trees.States = {{3}};
    trees.Clumps = {{{democlumps::element(400, 420, 0xC04020), democlumps::element(400, 530, 0x20A0E0)}}};
    f.Types = {trees};
    m_dir.write("data/clumps/trees.clump", cw::file(f));
    ASSERT_TRUE(CGameTree::loadTreeClumps("data\\clumps\\trees.clump", false));
    resourceHandle handle = 0;
    CResource* pResource = nullptr;
    ASSERT_TRUE(objects->findHandleByName("Clump_000_000", &handle));
    ASSERT_TRUE(objects->acquireResource(handle, &pResource));

    CTreeClump& treeClump = *static_cast<CTreeClump*>(pResource);
    CGameTree::s_pLightColourAt = [](const Vector3&) { return 0xFF8040u; };
    clumpview::frame([&] { treeClump.render(); });
    const std::vector<DWORD> image = frontBuffer(640, 480);
    CGameTree::s_pLightColourAt = nullptr;
    // Each element's colour bytes times the clump's colour / 256, halfway up the tree.
    const DWORD wanted[] = {0xBF2008, 0x1F5038};
    for (uint32_t i = 0; i < 2; ++i) {
        const float* t = treeClump.getClump()->d_pClump->GetElement(i)->pModelInst->m_transform.Translation;
        EXPECT_EQ(clumpview::at(image, {t[0], t[1], t[2] + 40}), wanted[i]) << i;
    }
    objects->releaseAllObjects();
    CGameTree::unload();
    objects.reset();
    delete std::exchange(getProjData().pWorldMgr, nullptr);
    destroyProjData();
}
