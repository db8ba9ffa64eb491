// The whole game played in-process on a copy of the sample data: the test windows, the scripted card
// (drawing nothing), the manual clocks and a frame script whose "probe <name>" lines run the test's
// checks at their frame, inside the game's own message pump.
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
#include "kestrune/VolumeFog.h"
#include "l3render/LightManager.h"
#include "l3render/ModelClassManager.h"
#include "l3render/ModelInst.h"
#include "l3render/ModelManager.h"
#include "matcore9/BufferAllocator.h"
#include "platform/script.h"
#include "platform/testing/dsound.h"
#include "profiler/Profiler.h"
#include "wincore/WinCore.h"
#include "winfile/PackFile.h"

#include <filesystem>
#include <functional>
#include <map>
#include <new>
#include <set>
#include <tuple>

namespace pt = platform::testing;

namespace {

std::map<std::string, std::function<void()>> probes;
std::set<std::string> probesRun;
std::vector<std::string> debugTexts;  // "text @x,y xscale"

class GameLoop : public CardFixture {
protected:
    void SetUp() override
    {
        CardFixture::SetUp();
        testsupport::copyDataFolder(VELDRANE_DATA, m_dir.file("data"));
        shippedIni = m_dir.read("data/init.ini");
        pt::dsound::useManualClock();
        probes.clear();
        debugTexts.clear();
        platform::registerScriptVerb("probe", [](const char* name) {
            const auto probe = probes.find(name);
            if (probe == probes.end()) {
                ADD_FAILURE() << "no probe named " << name;
                return false;
            }
            probesRun.insert(name);
            probe->second();
            return true;
        });
        D3DCore::SetDebugTextObserver([](const char* text, float x, float y, float scale) {
            debugTexts.push_back(std::string(text) + " @" + std::to_string(int(x)) + "," + std::to_string(int(y)) + " x" +
                                 std::to_string(int(scale)));
        });
    }
    void TearDown() override
    {
        D3DCore::SetDebugTextObserver(nullptr);
        pt::setManualClock(false);
        pt::useTestWindows();
        D3DCore::ResetObject();
        CardFixture::TearDown();
    }

    // A run from a fresh process's state to its end, windowed or full screen with a short loading
    // screen: WinMain's exit code. The start-up measures the processor clock against the timer,
    // which must move meanwhile.
    int play(const std::string& script, bool fullScreen = false)
    {
        std::string ini = shippedIni;
        ini.replace(ini.find("LoadingFrames = <int> 60"), 24,
                    std::string("LoadingFrames = <int> 2\nFullScreen = <int> ") + (fullScreen ? "1" : "0"));
        m_dir.write("data/init.ini", ini);
        pt::useTestWindows();
        pt::setManualClock(true);
        pt::setClockStep(1);
        freshCard();
        D3DCore::ResetObject();
        WinCore.SetAppName(nullptr);
        WinCore.~CWinCore();
        new (&WinCore) CWinCore();
        EXPECT_TRUE(pt::loadScript(script.c_str()));
        registerGameEntryPoints();
        probesRun.clear();
        const int exitCode = WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWNORMAL);
        // A run that ended early or skipped a frame would leave checks unmade.
        for (const auto& probe : probes) EXPECT_TRUE(probesRun.count(probe.first)) << "probe " << probe.first << " never ran";
        return exitCode;
    }

    static CGameObjectManager* objects() { return getProjData().getGameLogic()->getObjectManager(); }
    static CGameEffect* fountain()
    {
        resourceHandle handle = 0;
        CResource* pResource = nullptr;
        return objects()->findHandleByName("fountain1", &handle) && objects()->acquireResource(handle, &pResource)
                   ? static_cast<CGameEffect*>(pResource)
                   : nullptr;
    }
    // The game steps the fountain's running effect has made; -1 without one.
    static int fountainFrame()
    {
        CParticleSystemEffect* pObject = fountain() ? fountain()->getEffect() : nullptr;
        const CEffect* pEffect = pObject ? pObject->getEffect() : nullptr;
        return pEffect ? static_cast<const CParticleEffect*>(pEffect)->GetFrame() : -1;
    }
    // The probe once more at the next frame; until it runs through it counts as not run.
    static void again(const std::string& probe)
    {
        probesRun.erase(probe);
        EXPECT_TRUE(pt::loadScript((std::to_string(pt::scriptFrame() + 1) + " probe " + probe + "\n").c_str()));
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
        int frameBefore = -1, timeAway = -1, resets = 0;
        resourceHandle handle = 0;
        D3DPRESENT_PARAMETERS made{};
        // Back in front before the next step: the screen was never given up, nothing is taken back.
        probes["blipped"] = [&] { EXPECT_TRUE(pt::d3d9Calls("Reset") == 0 && !IsIconic(WinCore.MainWindowHandle)); };
        probes["before"] = [&] {
            handle = fountain()->getEffectHandle();
            frameBefore = fountainFrame();
            resets = pt::d3d9Calls("Reset");
            made = pt::d3d9State()->Parameters;
        };
        probes["away"] = [&] {
            // Full screen the game waits minimised inside its step; windowed it only pauses.
            EXPECT_EQ(fullScreen, IsIconic(WinCore.MainWindowHandle) != 0);
            // Full screen, the device is still lost as the game comes back: the restore pumps the
            // messages meanwhile, the return's activation among them, inside the step.
            if (timeAway < 0 && fullScreen)
                for (int i = 0; i < 2; ++i) pt::queueTestCooperativeLevel(D3DERR_DEVICELOST);
            if (timeAway < 0) timeAway = getGameTime();
            EXPECT_EQ(std::make_tuple(timeAway, resets), std::make_tuple(getGameTime(), pt::d3d9Calls("Reset")));
        };
        probes["back"] = [&] {
            // The step that takes the game back pumps as it restores and rebuilds: the checks wait
            // for the first pump after it.
            if (DoingGameLoop) return again("back");
            EXPECT_FALSE(IsIconic(WinCore.MainWindowHandle));
            // Full screen the device took the screen again in the mode it was made in.
            const D3DPRESENT_PARAMETERS& now = pt::d3d9State()->Parameters;
            EXPECT_EQ(std::make_tuple(resets + fullScreen, made.Windowed, made.BackBufferFormat, made.BackBufferWidth),
                      std::make_tuple(pt::d3d9Calls("Reset"), now.Windowed, now.BackBufferFormat, now.BackBufferWidth));
            // After the reset the effect runs again from its start under the same handle.
            EXPECT_EQ(handle, fountain()->getEffectHandle());
            EXPECT_TRUE(fullScreen ? fountainFrame() >= 0 && fountainFrame() < 5 : fountainFrame() >= frameBefore);
        };
        probes["later"] = [&] { EXPECT_GT(getGameTime(), timeAway); };
        EXPECT_EQ(0, play("50 focus off\n51 focus on\n55 probe blipped\n60 probe before\n61 focus off\n"
                          "70 probe away\n80 probe away\n90 focus on\n91 probe back\n110 probe later\n120 close\n",
                          fullScreen));
        EXPECT_GE(frameBefore, 30);
    }
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(GameLoop, WithoutALevelTheStartUpStillLoadsItsModelsAsOneBatch)
{
    std::filesystem::remove(m_dir.file("data/levels/demo/m01.txt"));
    // A volume file is a level's setting: the start-up file does not name one.
    shippedIni += "\n[VOLUMEMODELS]\nVolumeData = <string> \"data\\models\\volumefog\\volumemodels.txt\"\n";
    probes["started"] = [&] {
        EXPECT_STREQ("", GetVolumeDataFile());
        EXPECT_EQ(nullptr, getProjData().getGameLogic());
        const CBufferAllocator& allocator = *CBufferAllocator::GetInstance();
        EXPECT_TRUE(allocator.BlocksReused() > 0 && !allocator.Recycling() && allocator.BlocksKept() == 0);
    };
    EXPECT_EQ(0, play("10 probe started\n20 close\n"));
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(GameLoop, DebugKeysStopAndStepTheObjectsWithTheClockAndWorldAndSwitchTheEffectsOffAndOn)
{
    auto now = [] {
        return std::make_tuple(getGameTime(), fountainFrame(), getProjData().getWorldMgr()->getFrameCounter());
    };
    std::tuple<int, int, uint32_t> paused, fx;
    probes["paused"] = [&] { paused = now(); };
    probes["still"] = [&] { EXPECT_EQ(paused, now()); };
    // One step of the objects (and so of the effects); the clock and the world stay stopped.
    probes["stepped"] = [&] {
        auto [time, frame, world] = paused;
        EXPECT_EQ(std::make_tuple(time, frame + 1, world), now());
    };
    probes["resumed"] = [&] {
        EXPECT_TRUE(std::get<0>(now()) > std::get<0>(paused) && std::get<1>(now()) > std::get<1>(paused) + 1 &&
                    std::get<2>(now()) > std::get<2>(paused));
    };
    probes["fxoff"] = [&] { fx = now(); };
    probes["fxstill"] = [&] { EXPECT_TRUE(std::get<1>(now()) == std::get<1>(fx) && std::get<0>(now()) > std::get<0>(fx)); };
    probes["fxon"] = [&] { EXPECT_GT(fountainFrame(), std::get<1>(fx)); };
    probes["clear"] = [&] { debugTexts.clear(); };
    probes["undrawn"] = [&] { EXPECT_EQ(0, countTexts("Num effects")); };
    probes["drawn"] = [&] { EXPECT_GT(countTexts("Num effects = 1 @10,200"), 0); };
    EXPECT_EQ(0, play("40 key F9\n44 probe paused\n54 probe still\n55 key F11\n58 probe stepped\n59 key F9\n"
                      "70 probe resumed\n71 keydown SHIFT\n72 key F9\n73 keyup SHIFT\n76 probe fxoff\n"
                      "86 probe fxstill\n87 keydown SHIFT\n88 key F9\n89 keyup SHIFT\n95 probe fxon\n"
                      "96 keydown SHIFT\n97 key F11\n98 keyup SHIFT\n100 probe clear\n110 probe undrawn\n"
                      "111 keydown SHIFT\n112 key F11\n113 keyup SHIFT\n115 probe clear\n120 probe drawn\n130 close\n"));
    EXPECT_NE(0, std::get<0>(paused));
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(GameLoop, ALevelStartedAgainBeginsAfreshAndWhatTheGameDrawsAndBuildsGoesThroughItsHooks)
{
    m_dir.write("data/classdef/extra.def", "class extra\n{\nroot\n}\n");
    // A target too, whose model is looked for outside the data folder: the level loads two models.
    m_dir.write("data/levels/demo/m01.txt", m_dir.read("data/levels/demo/m01.txt") +
                                                 "SampleObjectTarget\n{\ninstancename target1\nposition 4000, 4000, 0\n}\n");
    std::filesystem::create_directories(m_dir.file("models"));
    std::filesystem::copy(m_dir.file("data/sphere.rsm"), m_dir.file("models/sphere.rsm"));
    std::filesystem::copy(m_dir.file("data/fallbackmaterials"), m_dir.file("models/fallbackmaterials"));
    int restarts = 0;
    probes["restart"] = [&] {
        uint32_t id = 0;
        CBufferAllocator& allocator = *CBufferAllocator::GetInstance();
        // The start-up's batch (the sample model's meshes) and each level's reuse their blocks.
        const uint32_t reused = allocator.BlocksReused(), startedAt = theProfiler.startTime;
        EXPECT_TRUE(reused > 0 && getGameTime() > 0 && CModelClassManager::FindClassId("extra", &id, true));
        ASSERT_TRUE(gameStartLevel());
        ++restarts;
        EXPECT_EQ(std::make_tuple(0, 0), std::make_tuple(getGameTime(), getProjData().PreviousAdvanceTime));
        // The level's class went with it; the sample model's came back.
        EXPECT_FALSE(CModelClassManager::FindClassId("extra", &id, false));
        EXPECT_TRUE(CModelClassManager::FindClassId("robot", &id, false));
        EXPECT_EQ(2u, CModelClassManager::GetNumClasses());
        EXPECT_TRUE(theProfiler.started && theProfiler.startTime > startedAt);
        EXPECT_GT(allocator.BlocksReused(), reused);
        EXPECT_TRUE(!allocator.Recycling() && allocator.BlocksKept() == 0);
    };
    probes["playing"] = [&] {
        EXPECT_GT(getGameTime(), 0);
        // The effects are sorted, faded and wrapped from the view the level is drawn from, though
        // the sample models were drawn since from another.
        for (const Vector3& camera : {GetEffectSortCameraPosition(), GetEffectCameraPosition()})
            EXPECT_EQ(std::make_tuple(2300.0f, 3300.0f, 900.0f), std::make_tuple(camera.x, camera.y, camera.z));
        // A lit model's draw hands the world its instance: the position goes into the instance's
        // first three words, the fourth is kept.
        LightDrawHook preDraw = CLightManager::GetInstance()->GetPreDrawHook();
        ASSERT_TRUE(preDraw && CLightManager::GetInstance()->GetPostDrawHook());
        CModel* pModel = CModelManager::CreateModel();
        CModelInst* pInstance = CModelManager::CreateModelInst(pModel);
        pInstance->m_transform.Translation[0] = 1, pInstance->m_transform.Translation[1] = 2;
        pInstance->m_transform.Translation[2] = 3, pInstance->m_instanceData[3] = 7;
        preDraw(pInstance);
        EXPECT_EQ(std::vector<float>({1, 2, 3, 7}), std::vector<float>(pInstance->m_instanceData, pInstance->m_instanceData + 4));
        CModelManager::ReleaseModelInst(pInstance);
        CModelManager::ReleaseModel(pModel, true);
    };
    // A pack built while the game runs shows its progress, a frame for each text.
    probes["pack"] = [&] {
        const UINT presented = pt::d3d9State()->FramesPresented;
        debugTexts.clear();
        PackFileInit(1);
        ASSERT_TRUE(PackFileOpen("built.pak", PACKFILE_MODE_BUILD, PACKFILE_BUILD_MAX_FILES));
        PackFileAddFile("data\\init.ini");
        PackFileAddFile("data\\gameconfig.txt");
        PackFileClose();
        PackFileShutdown();
        const std::string text = "Building Pack-file. Please wait", at = " @100,200 x3";
        EXPECT_EQ(std::vector<std::string>({text + at, text + " - 2" + at, text + " - 1" + at}), debugTexts);
        EXPECT_EQ(presented + 3, pt::d3d9State()->FramesPresented);
    };
    // Each load of the level pumps the messages as it loads its grove's models: some twenty frames.
    EXPECT_EQ(0, play("40 probe restart\n90 probe restart\n140 probe playing\n141 probe pack\n150 close\n"));
    EXPECT_EQ(2, restarts);
    // The level's end stopped the profiler and took the world's hooks away.
    EXPECT_FALSE(theProfiler.started);
    EXPECT_EQ(nullptr, CLightManager::GetInstance()->GetPreDrawHook());
    EXPECT_TRUE(m_dir.exists("built.pak"));
    EXPECT_TRUE(testsupport::reports().empty());
}
