// The whole game played in-process on a copy of the sample data: the test windows, the scripted card
// (drawing nothing), the manual clocks and a frame script. "probe <name>" lines of the script run the
// test's checks at their frame, inside the game's own message pump.
#include "../dxsetup9/CardFixture.h"
#include "TestSupport.h"
#include "ai/WorldMgr.h"
#include "d3dcore9/D3DCore.h"
#include "effects/EffectScene.h"
#include "effects/particlesystem/ParticleEffect.h"
#include "gameobjects/GameEffect.h"
#include "gameobjects/GameObjectManager.h"
#include "gameobjects/ParticleSystemEffect.h"
#include "global/ProjData.h"
#include "kestrune/GameFlow.h"
#include "kestrune/GameLogic.h"
#include "l3render/LightManager.h"
#include "l3render/ModelClassManager.h"
#include "l3render/ModelInst.h"
#include "l3render/ModelManager.h"
#include "matcore9/BufferAllocator.h"
#include "platform/script.h"
#include "platform/testing.h"
#include "platform/testing/dsound.h"
#include "profiler/Profiler.h"
#include "wincore/WinCore.h"
#include "winfile/PackFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <tuple>
#include <map>
#include <new>
#include <string>
#include <vector>

namespace pt = platform::testing;

namespace {

std::map<std::string, std::function<void()>> probes;

bool runProbe(const char* name)
{
    auto it = probes.find(name);
    if (it == probes.end()) return false;
    it->second();
    return true;
}

std::vector<std::string> debugTexts;

class GameLoop : public CardFixture {
protected:
    void SetUp() override
    {
        CardFixture::SetUp();
        testsupport::copyDataFolder(VELDRANE_DATA, m_dir.file("data"));
        pt::useTestWindows();
        pt::setManualClock(true);
        pt::setTime(100000);
        // The start-up measures the processor clock against the timer, which must move meanwhile.
        pt::setClockStep(1);
        pt::dsound::useManualClock();
        shippedIni = m_dir.read("data/init.ini");
        display(false);
        probes.clear();
        debugTexts.clear();
        platform::registerScriptVerb("probe", runProbe);
        D3DCore::SetDebugTextObserver([](const char* text, float x, float y, float scale) {
            debugTexts.push_back(std::string(text) + " @" + std::to_string(int(x)) + "," + std::to_string(int(y)) +
                                 " x" + std::to_string(int(scale)));
        });
    }
    void TearDown() override
    {
        D3DCore::SetDebugTextObserver(nullptr);
        probes.clear();
        pt::setClockStep(0);
        pt::setManualClock(false);
        pt::useTestWindows();
        D3DCore::ResetObject();
        CardFixture::TearDown();
    }

    // The shipped start-up file, windowed or full screen, with a short loading screen.
    void display(bool fullScreen)
    {
        std::string ini = shippedIni;
        ini.replace(ini.find("LoadingFrames = <int> 60"), 24,
                    std::string("LoadingFrames = <int> 2\nFullScreen = <int> ") + (fullScreen ? "1" : "0"));
        m_dir.write("data/init.ini", ini);
    }
    // A run of the game from a fresh process's state to its end: WinMain's exit code.
    int play(const std::string& script)
    {
        pt::useTestWindows();
        freshCard();
        D3DCore::ResetObject();
        WinCore.SetAppName(nullptr);
        WinCore.~CWinCore();
        new (&WinCore) CWinCore();
        EXPECT_TRUE(pt::loadScript(script.c_str()));
        registerGameEntryPoints();
        return WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWNORMAL);
    }

    static CGameObjectManager* objects()
    {
        CGameLogic* pLogic = getProjData().getGameLogic();
        return pLogic ? pLogic->getObjectManager() : nullptr;
    }
    static CGameEffect* fountain()
    {
        resourceHandle handle = 0;
        CResource* pResource = nullptr;
        CGameObjectManager* pObjects = objects();
        return pObjects && pObjects->findHandleByName("fountain1", &handle) &&
                       pObjects->acquireResource(handle, &pResource)
                   ? static_cast<CGameEffect*>(pResource)
                   : nullptr;
    }
    // The frames the fountain's running effect has been updated; -1 without one.
    static int fountainFrame()
    {
        CGameEffect* pFountain = fountain();
        CParticleSystemEffect* pObject = pFountain ? pFountain->getEffect() : nullptr;
        const CEffect* pEffect = pObject ? pObject->getEffect() : nullptr;
        return pEffect && pEffect->GetType() == CEffect::TYPE_PARTICLESYSTEM
                   ? static_cast<const CParticleEffect*>(pEffect)->GetFrame()
                   : -1;
    }
    static int countTexts(const std::string& start)
    {
        int n = 0;
        for (const std::string& text : debugTexts) n += text.rfind(start, 0) == 0;
        return n;
    }

    std::string shippedIni;
};

}  // namespace

TEST_F(GameLoop, LosingTheFocusPausesWindowedAndInFullScreenWaitsMinimisedThenRestoresTheDeviceAndItsEffects)
{
    for (const bool fullScreen : {true, false}) {
        SCOPED_TRACE(fullScreen ? "full screen" : "windowed");
        display(fullScreen);
        int frameBefore = -1, timeAway = -1, resets = 0;
        resourceHandle handle = 0;
        D3DPRESENT_PARAMETERS made{};
        probes["before"] = [&] {
            EXPECT_EQ(fullScreen, D3DCore.FullScreen != 0);
            ASSERT_NE(nullptr, fountain());
            handle = fountain()->getEffectHandle();
            frameBefore = fountainFrame();
            resets = pt::d3d9Calls("Reset");
            made = pt::d3d9State()->Parameters;
        };
        probes["away"] = [&] {
            // Full screen the game waits minimised inside its step; windowed it only pauses.
            EXPECT_EQ(fullScreen, IsIconic(WinCore.MainWindowHandle) != 0);
            if (timeAway < 0) timeAway = getGameTime();
            EXPECT_EQ(timeAway, getGameTime());
            EXPECT_EQ(resets, pt::d3d9Calls("Reset"));
        };
        probes["back"] = [&] {
            EXPECT_FALSE(IsIconic(WinCore.MainWindowHandle));
            EXPECT_EQ(fullScreen ? resets + 1 : resets, pt::d3d9Calls("Reset"));
            // The device takes the screen again in the mode it was made in.
            const D3DPRESENT_PARAMETERS& now = pt::d3d9State()->Parameters;
            EXPECT_EQ(std::make_tuple(made.Windowed, made.BackBufferFormat, made.BackBufferWidth),
                      std::make_tuple(now.Windowed, now.BackBufferFormat, now.BackBufferWidth));
            ASSERT_NE(nullptr, fountain());
            EXPECT_EQ(handle, fountain()->getEffectHandle());
            // Rebuilt: the effect runs again from its start under the same handle.
            if (fullScreen)
                EXPECT_LT(fountainFrame(), 5);
            else
                EXPECT_GE(fountainFrame(), frameBefore);
            EXPECT_GE(fountainFrame(), 0);
        };
        probes["later"] = [&] { EXPECT_GT(getGameTime(), timeAway); };
        EXPECT_EQ(0, play("60 probe before\n61 focus off\n70 probe away\n80 probe away\n90 focus on\n"
                          "93 probe back\n110 probe later\n120 close\n"));
        EXPECT_GE(frameBefore, 30);
        EXPECT_GE(timeAway, 0);
    }
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(GameLoop, DebugKeysStopAndStepTheObjectsWithTheClockAndWorldAndSwitchTheEffectsOffAndOn)
{
    struct Seen {
        int time, frame;
        uint32_t world;
    };
    auto now = [] { return Seen{getGameTime(), fountainFrame(), getProjData().getWorldMgr()->getFrameCounter()}; };
    Seen paused{}, fx{};
    probes["paused"] = [&] {
        paused = now();
        EXPECT_FALSE(objects()->areObjectsRunning());
    };
    probes["still"] = [&] {
        const Seen still = now();
        EXPECT_EQ(std::make_tuple(paused.time, paused.frame, paused.world), std::make_tuple(still.time, still.frame, still.world));
    };
    // One step of the objects (the effects step with them); the clock and the world stay stopped.
    probes["stepped"] = [&] {
        const Seen stepped = now();
        EXPECT_EQ(std::make_tuple(paused.time, paused.frame + 1, paused.world),
                  std::make_tuple(stepped.time, stepped.frame, stepped.world));
    };
    probes["resumed"] = [&] {
        const Seen resumed = now();
        EXPECT_TRUE(objects()->areObjectsRunning());
        EXPECT_GT(resumed.time, paused.time);
        EXPECT_GT(resumed.frame, paused.frame + 1);
        EXPECT_GT(resumed.world, paused.world);
    };
    probes["fxoff"] = [&] { fx = now(); };
    probes["fxstill"] = [&] {
        EXPECT_EQ(fx.frame, fountainFrame());
        EXPECT_GT(getGameTime(), fx.time);
    };
    probes["fxon"] = [&] { EXPECT_GT(fountainFrame(), fx.frame); };
    probes["clear"] = [&] { debugTexts.clear(); };
    probes["undrawn"] = [&] {
        EXPECT_EQ(0, countTexts("Num effects"));
        debugTexts.clear();
    };
    probes["drawn"] = [&] { EXPECT_GT(countTexts("Num effects = 1 @10,200"), 0); };
    EXPECT_EQ(0, play("40 key F9\n44 probe paused\n54 probe still\n55 key F11\n58 probe stepped\n59 key F9\n"
                      "70 probe resumed\n"
                      "71 keydown SHIFT\n72 key F9\n73 keyup SHIFT\n76 probe fxoff\n86 probe fxstill\n"
                      "87 keydown SHIFT\n88 key F9\n89 keyup SHIFT\n95 probe fxon\n"
                      "96 keydown SHIFT\n97 key F11\n98 keyup SHIFT\n100 probe clear\n110 probe undrawn\n"
                      "111 keydown SHIFT\n112 key F11\n113 keyup SHIFT\n120 probe drawn\n130 close\n"));
    EXPECT_NE(0, paused.time);
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(GameLoop, ALevelStartedTwiceAgainBeginsAtTimeZeroWithFreshClassesAndProfilerAndReusesLoadMemory)
{
    m_dir.write("data/classdef/extra.def", "class extra\n{\nroot\n}\n");
    // A target too, whose model is looked for outside the data folder: the level loads two models.
    m_dir.write("data/levels/demo/m01.txt", m_dir.read("data/levels/demo/m01.txt") +
                                                 "SampleObjectTarget\n{\ninstancename target1\nposition 4000, 4000, 0\n}\n");
    std::filesystem::create_directories(m_dir.file("models"));
    std::filesystem::copy(m_dir.file("data/sphere.rsm"), m_dir.file("models/sphere.rsm"));
    std::filesystem::copy(m_dir.file("data/fallbackmaterials"), m_dir.file("models/fallbackmaterials"));
    uint32_t startedAt = 0, reused = 0;
    int restarts = 0;
    auto restart = [&] {
        uint32_t id = 0;
        EXPECT_GT(getGameTime(), 0);
        EXPECT_TRUE(CModelClassManager::FindClassId("extra", &id, true));
        startedAt = theProfiler.startTime;
        reused = CBufferAllocator::GetInstance()->BlocksReused();
        ASSERT_TRUE(gameStartLevel());
        ++restarts;
        EXPECT_EQ(std::make_tuple(0, 0), std::make_tuple(getGameTime(), getProjData().PreviousAdvanceTime));
        // The level's class went with it; the sample model's came back.
        EXPECT_FALSE(CModelClassManager::FindClassId("extra", &id, false));
        EXPECT_TRUE(CModelClassManager::FindClassId("robot", &id, false));
        EXPECT_EQ(2u, CModelClassManager::GetNumClasses());
        EXPECT_TRUE(theProfiler.started);
        EXPECT_GT(theProfiler.startTime, startedAt);
        // The level's models loaded as a batch reusing their scratch blocks, then gave them back.
        EXPECT_GT(CBufferAllocator::GetInstance()->BlocksReused(), reused);
        EXPECT_FALSE(CBufferAllocator::GetInstance()->Recycling());
        EXPECT_EQ(0u, CBufferAllocator::GetInstance()->BlocksKept());
    };
    probes["start"] = [&] {
        // The start-up's own batch (the sample model's meshes) reused its blocks too.
        EXPECT_GT(CBufferAllocator::GetInstance()->BlocksReused(), 0u);
        EXPECT_TRUE(theProfiler.started);
        restart();
    };
    probes["again"] = restart;
    probes["playing"] = [&] {
        EXPECT_EQ(2, restarts);
        EXPECT_GT(getGameTime(), 0);
        ASSERT_NE(nullptr, fountain());
        // The effects are sorted from the view the level is drawn from.
        const Vector3 camera = GetEffectSortCameraPosition();
        EXPECT_EQ(std::make_tuple(2300.0f, 3300.0f, 900.0f), std::make_tuple(camera.x, camera.y, camera.z));
        // A lit model's draw hands the world its instance: the position goes into the instance's
        // first three words, the fourth is kept.
        LightDrawHook preDraw = CLightManager::GetInstance()->GetPreDrawHook();
        ASSERT_NE(nullptr, preDraw);
        ASSERT_NE(nullptr, CLightManager::GetInstance()->GetPostDrawHook());
        CModel* pModel = CModelManager::CreateModel();
        CModelInst* pInstance = CModelManager::CreateModelInst(pModel);
        ASSERT_NE(nullptr, pInstance);
        pInstance->m_transform.Translation[0] = 1, pInstance->m_transform.Translation[1] = 2;
        pInstance->m_transform.Translation[2] = 3, pInstance->m_instanceData[3] = 7;
        preDraw(pInstance);
        EXPECT_EQ(std::vector<float>({1, 2, 3, 7}), std::vector<float>(pInstance->m_instanceData, pInstance->m_instanceData + 4));
        CModelManager::ReleaseModelInst(pInstance);
        CModelManager::ReleaseModel(pModel, true);
    };
    EXPECT_EQ(0, play("20 probe start\n40 probe again\n60 probe playing\n70 close\n"));
    EXPECT_EQ(2, restarts);
    // The level's end stopped the profiler.
    EXPECT_FALSE(theProfiler.started);
    EXPECT_EQ(nullptr, CLightManager::GetInstance()->GetPreDrawHook());
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(GameLoop, APackBuiltWhileTheGameRunsShowsItsProgressAFrameAText)
{
    probes["pack"] = [&] {
        const UINT presented = pt::d3d9State()->FramesPresented;
        debugTexts.clear();
        PackFileInit(1);
        ASSERT_TRUE(PackFileOpen("built.pak", PACKFILE_MODE_BUILD, PACKFILE_BUILD_MAX_FILES));
        PackFileAddFile("data\\init.ini");
        PackFileAddFile("data\\gameconfig.txt");
        PackFileClose();
        PackFileShutdown();
        std::vector<std::string> shown;
        for (const std::string& text : debugTexts)
            if (text.rfind("Building", 0) == 0) shown.push_back(text);
        EXPECT_EQ(std::vector<std::string>({"Building Pack-file. Please wait @100,200 x3",
                                            "Building Pack-file. Please wait - 2 @100,200 x3",
                                            "Building Pack-file. Please wait - 1 @100,200 x3"}),
                  shown);
        EXPECT_EQ(presented + 3, pt::d3d9State()->FramesPresented);
    };
    EXPECT_EQ(0, play("20 probe pack\n30 close\n"));
    EXPECT_TRUE(m_dir.exists("built.pak"));
    EXPECT_TRUE(testsupport::reports().empty());
}
