#include "gameobjects/EffectObjectResourceManager.h"
#include "gameobjects/ParticleSystemEffect.h"

#include "EffectTestKind.h"
#include "FrameFixture.h"
#include "ModelWriter.h"
#include "TestSupport.h"
#include "effects/Effect.h"
#include "effects/EffectManager.h"
#include "effects/EffectScene.h"
#include "gamemanagement/GameMemoryManager.h"
#include "gameobjects/GameObjectManager.h"
#include "global/ProjData.h"
#include "utility/LList.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

typedef CEffectObjectResourceManager Manager;
typedef CParticleSystemEffect Object;

std::string effect(const std::string& name, const std::string& keys = "")
{
    return "TESTEFFECT\n{\ninstancename " + name + "\n" + keys + "}\n";
}

// A precache list of child blocks, each a definitions file and the names to precache from it.
struct Set {
    std::string file;
    std::vector<std::string> names;
};
std::string precacheList(const std::vector<Set>& sets)
{
    std::string text = "Precache\n{\n";
    for (const Set& set : sets) {
        text += "Set\n{\n";
        if (!set.file.empty()) text += "filename " + set.file + "\n";
        for (size_t k = 0; k < set.names.size(); ++k) text += "ps_def" + std::to_string(k) + " " + set.names[k] + "\n";
        text += "}\n";
    }
    return text + "}\n";
}

std::vector<std::string> definitionNames(Manager& manager)
{
    std::vector<std::string> names;
    for (uint32_t i = 0; i < manager.getNumDefinitions(); ++i) {
        resDef def;
        manager.getDefinition(&def, i);
        EXPECT_EQ(i == 0 ? 0x05FFFFFFu : 0x05000000u | (i - 1), def.typeId) << i;
        names.push_back(def.typeName);
    }
    return names;
}

// The effect-object manager on the scripted card, with the logging test kind and a level whose
// directories the tests fill.
class EffectObjects : public FrameFixture {
protected:
    void SetUp() override
    {
        FrameFixture::SetUp();
        ASSERT_TRUE(bringUp());
        llistInitElementPool();
        createProjData();
        snprintf(getProjData().CurrentLevelPath, CProjData::MAX_PATH_TEXT, "%s", "data\\levels\\a\\");
        snprintf(getProjData().CurrentWorldPath, CProjData::MAX_PATH_TEXT, "%s", "data\\worlds\\a\\");
        installTestKind();
        SetEffectCameraPosition(Vector3());
        SetEffectFrustumTest(nullptr);
        SetEffectSortCamera(nullptr);
        m_dir.write("data/particles/fx.txt",
                    effect("spark") + effect("smoke") + effect("flame") + effect("brief", "Lifetime 2\n"));
        // Every effect manager loads the cull spheres' model: here one without a mesh.
        modelwriter::Model sphere;
        sphere.Lods.push_back({0.0f, modelwriter::Element("sphere")});
        m_dir.write("data/sphere.rsm", modelwriter::model(sphere));
    }
    void TearDown() override
    {
        manager.reset();
        removeTestKind();
        destroyProjData();
        llistFreeElementPool();
        FrameFixture::TearDown();
    }

    // The game's data list naming every effect of fx.txt.
    void make(const std::vector<std::string>& names = {"spark", "smoke", "flame", "brief"})
    {
        m_dir.write("data/particles/particlesystem_precache.psp", precacheList({{"data\\particles\\fx.txt", names}}));
        manager = std::make_unique<Manager>();
    }
    uint32_t type(const char* name)
    {
        uint32_t typeId = 0;
        EXPECT_TRUE(manager->findTypeByName(name, &typeId)) << name;
        return typeId;
    }
    resourceHandle instantiate(const char* name)
    {
        resourceHandle handle = 0;
        EXPECT_TRUE(manager->instantiate(type(name), &handle, 1)) << name;
        return handle;
    }
    Object* object(resourceHandle handle)
    {
        CResource* pResource = nullptr;
        return manager->acquire(handle, &pResource) ? static_cast<Object*>(pResource) : nullptr;
    }
    // A started object of that definition.
    Object* started(const char* name, resourceHandle* pHandle = nullptr, uint32_t word = 0,
                    const Vector3& at = Vector3())
    {
        const resourceHandle handle = instantiate(name);
        if (pHandle) *pHandle = handle;
        Object* pObject = object(handle);
        EXPECT_NE(pObject, nullptr) << name;
        EXPECT_TRUE(pObject && pObject->start(at, Matrix3(), word)) << name << " does not start";

        return pObject;
    }
    CEffectManager& effects() { return *manager->getEffectManager(); }

    std::unique_ptr<Manager> manager;
};

TEST_F(EffectObjects, PrecacheListsOfTheThreeFoldersDefineEveryNameOnceInAnyCase)
{
    const std::string longName(100, 'x');
    // ps_def9 stands past the block's five entries: it is never read.
    m_dir.write("data/levels/a/particles/particlesystem_precache.psp",
                "Precache\n{\nSet\n{\nfilename data\\particles\\fx.txt\nps_def0 spark\nps_def1 smoke\nps_def2 ghost\n"
                "ps_def9 brief\n}\n}\n");
    m_dir.write("data/worlds/a/particles/particlesystem_precache.psp",
                precacheList({{"data\\particles\\fx.txt", {"SPARK", "flame"}},
                              {"", {"nofile"}},
                              {"data\\particles\\absent.txt", {"lost"}}}));
    m_dir.write("data/particles/late.ps_", effect("late"));
    m_dir.write("data/particles/spark.ps_", effect("spark"));
    make({longName, "Smoke"});

    EXPECT_EQ((std::vector<std::string>{"blankeffect", "spark", "smoke", "flame"}), definitionNames(*manager));
    EXPECT_EQ(0x05000002u, type("FLAME"));
    EXPECT_EQ(1, testsupport::countReports(
                     "The effect manager failed to precache the effect : ghost from the file data\\particles\\fx.txt"));
    EXPECT_EQ(2, testsupport::countReports("The effect manager failed to precache the effect : "));
    EXPECT_EQ(0, testsupport::countReports("loaded"));

    // Added at run time from "data\particles\<name>.ps_"; of two definitions of a name the last wins.
    resDef def;
    for (const char* name : {"", "absent"}) EXPECT_FALSE(manager->addDefinition(name, &def)) << name;
    for (const char* name : {"late", "spark"}) ASSERT_TRUE(manager->addDefinition(name, &def)) << name;
    EXPECT_EQ(0x05000004u, type("Spark"));
    EXPECT_EQ(6u, manager->getNumDefinitions());
}

TEST_F(EffectObjects, EachDamagedListOrDefinitionFileIsOneReportNamingIt)
{
    for (const char* folder : {"levels", "worlds"})
        m_dir.write(std::string("data/") + folder + "/a/particles/particlesystem_precache.psp",
                    "junk line\n" + precacheList({{"data\\particles\\fx.txt", {"spark"}}}));
    const auto bad = [](const char* name) {
        return std::string("TRAIL\n{\ninstancename ") + name + "\ntexture t.tga\nrender_type 7\n}\n";
    };
    m_dir.write("data/particles/bad.txt", bad("a") + bad("b") + effect("fine"));
    const std::string cut = effect("c") + effect("d");
    m_dir.write("data/particles/cut.txt", cut.substr(0, cut.size() - 3));
    m_dir.write("data/particles/particlesystem_precache.psp",
                precacheList({{"data\\particles\\bad.txt", {"a", "fine", "b"}}, {"data\\particles\\cut.txt", {"c", "d"}}}));
    manager = std::make_unique<Manager>();
    EXPECT_EQ((std::vector<std::string>{"blankeffect", "fine", "c"}), definitionNames(*manager));
    std::vector<std::string> said;
    for (const testsupport::Report& r : testsupport::reports()) said.push_back(r.message + "|" + r.expression);
    EXPECT_EQ((std::vector<std::string>{
                  "While reading data\\levels\\a\\particles\\particlesystem_precache.psp|blockList.HowManyItems()",
                  "While reading data\\worlds\\a\\particles\\particlesystem_precache.psp|blockList.HowManyItems()",
                  "While reading data\\particles\\bad.txt\nEffect definition a: render_type must be 0, 1 or 2|"
                  "value >= 0 && value <= 2",
                  "Block file data\\particles\\cut.txt: ends inside a block|!braceCount"}),
              said);
    // Read again for the device, in the same run, each file is a new read: what it says now is
    // said again (the run log writes a text once), and a file edited meanwhile says its new fault.
    testsupport::clearReports();
    m_dir.write("data/particles/cut.txt", effect("c") + "SPARKLES\n{\ninstancename d\n}\n");
    manager->deviceReset();
    EXPECT_EQ(3u, manager->getNumDefinitions());
    said.back() = "While reading data\\particles\\cut.txt\nUnknown effect kind SPARKLES of d|pKind";
    std::vector<std::string> again;
    for (const testsupport::Report& r : testsupport::reports()) again.push_back(r.message + "|" + r.expression);
    EXPECT_EQ(said, again);
}

TEST_F(EffectObjects, MissingListsAndAFullTableAreReported)
{
    // No list in any of the three folders.
    manager = std::make_unique<Manager>();
    EXPECT_EQ(1u, manager->getNumDefinitions());
    EXPECT_EQ(1, testsupport::countReports("loaded"));
    manager.reset();

    // A list without blocks still counts as read; a full table refuses the 221st name.
    std::string many, names;
    std::vector<std::string> list;
    for (int i = 0; i < 221; ++i) {
        many += effect("fx" + std::to_string(i));
        list.push_back("fx" + std::to_string(i));
    }
    m_dir.write("data/particles/many.txt", many);
    m_dir.write("data/levels/a/particles/particlesystem_precache.psp", "Precache\n{\n}\n");
    m_dir.write("data/particles/particlesystem_precache.psp", precacheList({{"data\\particles\\many.txt", list}}));
    testsupport::clearReports();
    manager = std::make_unique<Manager>();
    EXPECT_EQ(221u, manager->getNumDefinitions());
    EXPECT_EQ(1, testsupport::countReports("numEffectDefinitions < MAX_EFFECT_DEFINITIONS"));
    resDef def;
    m_dir.write("data/particles/late.ps_", effect("late"));
    EXPECT_FALSE(manager->addDefinition("late", &def));
    EXPECT_EQ(2, testsupport::countReports("numEffectDefinitions < MAX_EFFECT_DEFINITIONS"));
    EXPECT_EQ(0, testsupport::countReports("loaded"));
    EXPECT_FALSE(effects().HoldsBlocks());
}

TEST_F(EffectObjects, HandlesCarryReuseCountsAndTheBlankObjectDoesNothing)
{
    make();
    const resourceHandle first = instantiate("spark");
    EXPECT_EQ(0x05000000u, first);
    EXPECT_EQ(0x05000001u, instantiate("smoke"));
    // A released slot is taken again first, under the next reuse count; after 16 the handle returns.
    resourceHandle handle = first;
    for (uint32_t round = 1; round <= 16; ++round) {
        manager->release(handle);
        EXPECT_EQ(nullptr, object(handle));
        handle = instantiate("flame");
        EXPECT_EQ(0x05000000u | ((round & 0xF) << 20), handle);
    }
    EXPECT_EQ(first, handle);
    EXPECT_STREQ("flame", object(handle)->getDefinition()->typeName);
    EXPECT_EQ(2u, manager->getNumInUse());

    effectLog().clear();
    Object* pBlank = object(0x05FFFFFF);
    ASSERT_NE(nullptr, pBlank);
    ASSERT_TRUE(manager->instantiate(0x05FFFFFF, &handle, 1));
    EXPECT_EQ(0x05FFFFFFu, handle);
    EXPECT_FALSE(pBlank->start(Vector3(), Matrix3(), 0));
    pBlank->trigger();
    pBlank->release();
    manager->release(0x05FFFFFF);
    EXPECT_EQ(pBlank, object(0x05FFFFFF));
    EXPECT_TRUE(effectLog().empty());
    EXPECT_TRUE(testsupport::reports().empty());

    // Refused after their reports: another manager's type, a type past the definitions, a slot past
    // the table.
    for (uint32_t type : {0x06000001u, 0x05000005u}) EXPECT_FALSE(manager->instantiate(type, &handle, 1)) << type;
    for (resourceHandle stranger : {0x05004E20u, 0x07000000u}) EXPECT_EQ(nullptr, object(stranger)) << stranger;
    manager->release(0x050FFFFF);
    EXPECT_EQ(2, testsupport::countReports("resource < MAX_EFFECT_OBJECTS"));
    EXPECT_EQ(5u, testsupport::reports().size());
    EXPECT_EQ(2u, manager->getNumInUse());
}

TEST_F(EffectObjects, TheSlotsRunOutAtTwentyThousandAndAnEmptyPoolRefusesToo)
{
    make();
    const uint32_t spark = type("spark");
    resourceHandle handle = 0;
    for (uint32_t i = 0; i < Manager::MAX_EFFECT_OBJECTS; ++i) ASSERT_TRUE(manager->instantiate(spark, &handle, 1));
    EXPECT_EQ(0x05000000u + Manager::MAX_EFFECT_OBJECTS - 1, handle);
    EXPECT_TRUE(testsupport::reports().empty());
    EXPECT_FALSE(manager->instantiate(spark, &handle, 1));
    EXPECT_EQ(1, testsupport::countReports("Effect resource manager ran out of slots"));

    // With a slot free but no block left, the object cannot be made and nothing is handed out.
    manager->release(0x05000007);
    void* pTaken = nullptr;
    ASSERT_TRUE(effectMemoryManager->allocate(CResourceManager::MANAGER_EFFECTS, sizeof(Object), &pTaken));
    handle = 1;
    EXPECT_FALSE(manager->instantiate(spark, &handle, 1));
    EXPECT_EQ(0u, handle);
    EXPECT_EQ(1, testsupport::countReports("Effect object resource manager failed to allocate : out of memory slots"));
    EXPECT_EQ(1, testsupport::countReports("pNewEffect"));
    EXPECT_EQ(Manager::MAX_EFFECT_OBJECTS - 1, manager->getNumInUse());
    effectMemoryManager->free(CResourceManager::MANAGER_EFFECTS, sizeof(Object), pTaken);
    EXPECT_TRUE(manager->instantiate(spark, &handle, 1));
    EXPECT_EQ(0x05100007u, handle);

    // Freed slots are taken again lowest first, whatever order they were freed in.
    const std::vector<uint32_t> freed = {19999, 4096, 63, 4095, 64, 0, 8191};
    for (uint32_t slot : freed) manager->release(0x05000000u | slot);
    std::vector<uint32_t> taken;
    while (manager->instantiate(spark, &handle, 1)) taken.push_back(handle & 0xFFFFF);
    EXPECT_EQ(std::vector<uint32_t>({0, 63, 64, 4095, 4096, 8191, 19999}), taken);
    EXPECT_EQ(2, testsupport::countReports("Effect resource manager ran out of slots"));
}

TEST_F(EffectObjects, AnObjectStartsMovesTriggersPausesAndEndsWithItsEffect)
{
    make();
    resourceHandle handle = 0;
    Object* pObject = started("spark", &handle, 0, Vector3(1, 2, 3));
    ASSERT_NE(nullptr, pObject);
    EXPECT_EQ(Object::FLAG_LIVE | Object::FLAG_HELD, pObject->getFlags());
    CEffect* pFirst = pObject->getEffect();
    ASSERT_TRUE(effects().IsLive(pFirst));
    pObject->setPosition(Vector3(4, 5, 6));
    EXPECT_EQ(6.0f, pFirst->GetPosition().z);
    effectLog().clear();
    pObject->trigger();
    pObject->pauseEmitters();
    EXPECT_TRUE(pFirst->IsEmitterPaused());
    pObject->unpauseEmitters();
    EXPECT_EQ((std::vector<std::string>{"trigger spark", "pause spark", "unpause spark"}), effectLog());

    // Started again while live: the running effect ends first, so only one calls back this object.
    effectLog().clear();
    ASSERT_TRUE(pObject->start(Vector3(), Matrix3(), 9));
    EXPECT_EQ((std::vector<std::string>{"delete spark", "create spark"}), effectLog());
    EXPECT_EQ(1u, effects().GetNumEffects());
    EXPECT_EQ(Object::FLAG_LIVE | Object::FLAG_HELD | Object::FLAG_NONZERO_WORD, pObject->getFlags());

    // An effect that ends by itself while held leaves the object idle: it forwards nothing.
    resourceHandle briefHandle = 0;
    Object* pBrief = started("brief", &briefHandle);
    manager->update(nullptr);
    manager->update(nullptr);
    EXPECT_EQ(pBrief, object(briefHandle));
    EXPECT_FALSE(pBrief->isLive());
    EXPECT_EQ(nullptr, pBrief->getEffect());
    effectLog().clear();
    pBrief->setPosition(Vector3(1, 1, 1));
    pBrief->trigger();
    EXPECT_TRUE(effectLog().empty());
    // It may start again; let go while running, it goes when its effect ends.
    ASSERT_TRUE(pBrief->start(Vector3(), Matrix3(), 0));
    const uint32_t inUse = manager->getNumInUse();
    pBrief->release();
    EXPECT_EQ(pBrief, object(briefHandle));
    manager->update(nullptr);
    manager->update(nullptr);
    EXPECT_EQ(nullptr, object(briefHandle));
    EXPECT_EQ(inUse - 1, manager->getNumInUse());

    // An object let go while running and then released by handle goes once: the end callback's
    // release finds the slot empty.
    Object* pLetGo = started("smoke", &handle);
    pLetGo->release();
    manager->release(handle);
    EXPECT_EQ(nullptr, object(handle));
    EXPECT_EQ(inUse - 1, manager->getNumInUse());

    // A name the effect manager no longer knows cannot start: the object stays idle.
    Object* pIdle = object(instantiate("flame"));
    effects().UnprecacheEffect("flame");
    EXPECT_FALSE(pIdle->start(Vector3(), Matrix3(), 0));
    EXPECT_FALSE(pIdle->isLive());
}

TEST_F(EffectObjects, FramesFollowTheSwitchesAndARestartEmptiesTheTable)
{
    make();
    resourceHandle heldHandle = 0, letGoHandle = 0;
    started("spark", &heldHandle);
    started("smoke", &letGoHandle)->release();
    const resourceHandle idle = instantiate("flame");

    CProjData& data = getProjData();
    for (uint8_t* pSwitch : {&data.EffectUpdateOff, &data.Paused}) {
        *pSwitch = 1;
        manager->update(nullptr);
        *pSwitch = 0;
    }
    EXPECT_TRUE(logged("update").empty());
    manager->update(nullptr);
    EXPECT_EQ(2u, logged("update").size());

    D3DCore.BeginScene(true, false);
    data.EffectRenderOff = 1;
    manager->render(nullptr, 0.5f);
    EXPECT_TRUE(renderedEffects().empty());
    data.EffectRenderOff = 0;
    manager->render(nullptr, 0.7f);
    EXPECT_EQ(std::make_pair(0.0f, 0.0f), std::make_pair(manager->getInterpolation(), effects().GetInterpolation()));
    EXPECT_EQ(2u, renderedEffects().size());
    manager->render(nullptr, 0.7f);
    EXPECT_EQ(0.7f, effects().GetInterpolation());
    D3DCore.EndScene(false);

    // The restart stops every effect and empties every slot, whoever held it.
    manager->resetForRestart();
    EXPECT_EQ(std::make_pair(0u, 0u), std::make_pair(manager->getNumInUse(), effects().GetNumEffects()));
    for (resourceHandle handle : {heldHandle, letGoHandle, idle}) EXPECT_EQ(nullptr, object(handle));
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(EffectObjects, ADeviceResetRestartsTheRunningEffectsUnderTheirHandles)
{
    make();
    CGameObjectManager objects;
    ASSERT_TRUE(objects.registerResourceManager(manager.get()));
    // The object manager owns it from now on.
    struct Disown {
        std::unique_ptr<Manager>& owned;
        ~Disown() { owned.release(); }
    } disown{manager};
    m_dir.write("data/particles/late.ps_", effect("late"));
    uint32_t lateType = 0;
    ASSERT_TRUE(objects.addDefinition(CResourceManager::MANAGER_EFFECTS, "late", &lateType));

    Matrix3 turned;
    turned.setRotationZ(0.5f);
    resourceHandle a = 0, b = 0, c = 0, d = 0, e = 0;
    started("spark", &a, 0, Vector3(1, 2, 3))->setOrientation(turned);
    started("smoke", &b, 5);
    started("flame", &c)->release();
    d = instantiate("spark");
    ASSERT_TRUE(objects.instantiateResource(CResourceManager::MANAGER_EFFECTS, lateType, &e));
    ASSERT_TRUE(object(e)->start(Vector3(7, 7, 7), Matrix3(), 0));
    effectLog().clear();

    objects.walkRegistry();

    // A new effect manager: the old one's effects went with it, and the live ones started again.
    EXPECT_EQ((std::vector<std::string>{"delete spark", "delete smoke", "delete flame", "delete late", "create spark",
                                        "create late"}),
              effectLog());
    EXPECT_EQ(pTheEffectManager, &effects());
    // The lists were read again and the run-time definition added again; the object manager's copy
    // follows.
    EXPECT_EQ((std::vector<std::string>{"blankeffect", "spark", "smoke", "flame", "brief", "late"}),
              definitionNames(*manager));
    uint32_t typeId = 0;
    for (const char* name : {"late", "blankeffect"})
        EXPECT_TRUE(objects.findTypeId(CResourceManager::MANAGER_EFFECTS, name, &typeId)) << name;

    Object* pA = object(a);
    ASSERT_NE(nullptr, pA);
    ASSERT_TRUE(pA->isLive());
    EXPECT_EQ(3.0f, pA->getEffect()->GetPosition().z);
    EXPECT_EQ(turned.m[0][1], pA->getEffect()->GetOrientation().m[0][1]);
    EXPECT_EQ(a, pA->getResourceHandle());
    // Started with a creation word: not brought back, but still held.
    ASSERT_NE(nullptr, object(b));
    EXPECT_FALSE(object(b)->isLive());
    // Let go while running: gone with its effect.
    EXPECT_EQ(nullptr, object(c));
    EXPECT_FALSE(object(d)->isLive());
    EXPECT_STREQ("spark", object(d)->getDefinition()->typeName);
    ASSERT_TRUE(object(e)->isLive());
    EXPECT_STREQ("late", object(e)->getDefinition()->typeName);
    EXPECT_EQ(std::make_pair(2u, 4u), std::make_pair(effects().GetNumEffects(), manager->getNumInUse()));


    // Idle objects start from their definition again.
    ASSERT_TRUE(object(d)->start(Vector3(), Matrix3(), 0));
    EXPECT_EQ("create spark", effectLog().back());
}

}  // namespace
