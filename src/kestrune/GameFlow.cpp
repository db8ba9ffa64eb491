// The game's entry points as far as the game runs so far: start-up, a paced idle main loop and the
// orderly shutdown. Each "seam" comment marks where a later subsystem plugs in.
#include "kestrune/GameFlow.h"

#include "kestrune/GameRender.h"

#include "ai/WorldMgr.h"
#include "audio/AudioManager.h"
#include "gameobjects/GameObjectManager.h"
#include "global/ProjData.h"
#include "kestrune/ErrorStrings.h"
#include "kestrune/GameInput.h"
#include "kestrune/GameLogic.h"
#include "platform/com.h"
#include "utility/Assert.h"
#include "utility/BlockFile.h"
#include "utility/IniManager.h"
#include "utility/ManagedMemory.h"
#include "utility/ParamBlock.h"
#include "utility/ProcessorInfo.h"
#include "utility/RunLog.h"
#include "utility/VectorMath.h"
#include "wincore/GameEntry.h"
#include "wincore/WinCore.h"
#include "winfile/File.h"

#include <cstdio>

namespace {

const char* const INIT_FILE = "data\\init.ini";
const char* const GAMEVARS_FILE = "data\\gamevars.ini";
const char* const GAME_CONFIG_FILE = "data\\gameconfig.txt";
const int FRAME_STEP_MS = 30;
const int DEFAULT_ALT_STEP_MS = 33;
// A stalled machine catches up at most this many steps per pass rather than spiralling.
const int MAX_STEPS_PER_PASS = 5;
const uint32_t WAIT_SLICE_MS = 10;
bool waitCutShort = false;  // the last pass's wait ended early for a message
const int MAX_BLOCK_NESTING = 64;

WinCoreFuncHandle deactivateHandle{CWinCore::FUNC_DEACTIVATE, -1};
WinCoreFuncHandle activateHandle{CWinCore::FUNC_ACTIVATE, -1};
CParamBlock* pGameConfig = nullptr;
bool gameActive = false;
bool debugKeysDown[2] = {};  // F9, F11 as last seen
bool clockStarted = false;
uint32_t stepsDue = 0;  // clock time already turned into game steps
uint32_t stepsRun = 0;

void onDeactivate()
{
    gameActive = false;
    // Time spent in the background is not game time.
    if (projDataExists()) getProjData().GameClock.skipGap();
}

void onActivate()
{
    gameActive = true;
    // The time up to now was background time.
    if (projDataExists()) getProjData().GameClock.skipGap();
}

CGameObjectManager* levelObjects()
{
    CGameLogic* pLogic = projDataExists() ? getProjData().getGameLogic() : nullptr;
    return pLogic ? pLogic->getObjectManager() : nullptr;
}

// Game time, the world and the wiring stand still while the objects are stopped.
bool objectsRunning()
{
    CGameObjectManager* pObjects = levelObjects();
    return !pObjects || pObjects->areObjectsRunning();
}

// The game frame's debug keys, each acting as it goes down: F9 stops and starts the objects, F11
// lets stopped objects make one step; with Shift held, F9 switches the effects' updates off and on
// and F11 their drawing.
void readDebugKeys(CProjData& data)
{
    const int keys[2] = {VK_F9, VK_F11};
    bool pressed[2];
    for (int i = 0; i < 2; ++i) {
        const bool down = (GetAsyncKeyState(keys[i]) & 0x8000) != 0;
        pressed[i] = down && !debugKeysDown[i];
        debugKeysDown[i] = down;
    }
    if (!pressed[0] && !pressed[1]) return;
    if ((GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0) {
        if (pressed[0]) data.EffectUpdateOff = !data.EffectUpdateOff;
        if (pressed[1]) data.EffectRenderOff = !data.EffectRenderOff;
        return;
    }
    CGameObjectManager* pObjects = levelObjects();
    if (!pObjects) return;
    if (pressed[0]) pObjects->setObjectsRunning(!pObjects->areObjectsRunning());
    if (pressed[1]) pObjects->stepObjectsOnce();
}

// Full screen, the game gets out of the way while another application has the focus: it waits
// minimised until it is in front again, then takes the screen back. The shell runs no activation
// callbacks inside a game step by itself, so it is told of the return here. A window found in front
// already (its return came while a step pumped) never gave the screen up: there is nothing to take back.
void waitForForeground()
{
    const bool away = GetForegroundWindow() != WinCore.MainWindowHandle;
    WinCore.MinimiseUntilForeground();
    WinCore.CallActivationInStep();
    if (away) gameRenderRestoreDevice();
}

}  // namespace

bool gameStartLevel()
{
    CProjData& data = getProjData();
    char script[CProjData::MAX_PATH_TEXT + CProjData::MAX_MISSION_TEXT + 8];
    snprintf(script, sizeof script, "%s%s.txt", data.CurrentLevelPath, data.CurrentMission);
    if (!FileReadable(script)) return false;
    // The level playing ends with its session.
    data.startSession();
    gameRenderResetModelClasses();
    CGameLogic* pLogic = data.getGameLogic();
    const bool loaded = pLogic && pLogic->loadLevel(script);
    // Loading is not game time.
    data.GameClock.skipGap();
    return loaded;
}

GameFlowStats getGameFlowStats() { return GameFlowStats{stepsRun, gameActive}; }

void registerProjDataServices()
{
    static const SProjDataGameServices services = {
        [](HWND mainWindow) { return new CGameLogic(mainWindow); },
        [](CGameLogic* pLogic) {
            pLogic->shutdown();
            delete pLogic;
        },
        [](CGameLogic* pLogic) { return pLogic->getObjectManager(); },
        [] { return new CErrorStrings; },
        [](CErrorStrings* pStrings) { delete pStrings; },
        [] { return new CWorldMgr(&levelObjectHooks); },
        [](CWorldMgr* pWorld) {
            pWorld->unloadLevel();
            delete pWorld;
        },
    };
    setProjDataGameServices(&services);
}

bool GamePreInit()
{
    initMaths();
    initInfinityConstants();
    if (!processorInfo.hasSSE) {
        MessageBoxA(nullptr, "Attempted execution of P3 optimised version on CPU that does not support SIMD operations\n",
                    "Failed to execute", MB_OK | MB_ICONERROR);
        return false;
    }
    CoInitialize(nullptr);
    gameRenderLoad();
    WinCore.SetAppName("Veldrane");
    WinCore.IconId = 101;
    managedMemInit();
    WinCore.EraseBackground = false;
    deactivateHandle = WinCore.RegisterFunc(CWinCore::FUNC_DEACTIVATE, onDeactivate);
    activateHandle = WinCore.RegisterFunc(CWinCore::FUNC_ACTIVATE, onActivate);
    return true;
}

bool GameInit()
{
    // Assumed in front until the shell says otherwise: a loss heard while the start-up loads (its
    // loading screen pumps) stands when the load ends, so the first step pauses or waits.
    gameActive = true;
    registerProjDataServices();
    createProjData();
    CProjData& data = getProjData();
    CIniManager* ini = data.getIniManager();
    data.AltStep = DEFAULT_ALT_STEP_MS;
    ini->registerItem("Game", "variableUpdate", &data.AltStepEnabled, CIniManager::INI_INT);
    ini->registerItem("Game", "variableUpdateTime", &data.AltStep, CIniManager::INI_INT);
    ini->registerItem("FrontEnd", "BypassFrontEnd", &data.BypassFrontEnd, CIniManager::INI_INT);
    ini->registerItem("Effects", "ShowCullSpheres", &data.ShowCullSpheres, CIniManager::INI_INT);
    gameRenderRegisterSettings(ini);
    ini->registerItem("Physics", "GravityX", &data.GravityX, CIniManager::INI_FLOAT);
    ini->registerItem("Physics", "GravityY", &data.GravityY, CIniManager::INI_FLOAT);
    ini->registerItem("Physics", "GravityZ", &data.GravityZ, CIniManager::INI_FLOAT);
    {
        // Read in a scope of its own, so that the report of a missing file names it.
        ReadingFile reading(INIT_FILE);
        if (!ini->loadFile(INIT_FILE)) {
            writeRunLog(openFailureText(INIT_FILE, ini->getOpenError(), "init.ini missing").c_str());
            return false;
        }
        ini->reportSkippedLines(INIT_FILE);
    }
    {
        // Game variables are optional: without the file every variable keeps its default.
        ReadingFile reading(GAMEVARS_FILE);
        if (ini->loadFile(GAMEVARS_FILE))
            ini->reportSkippedLines(GAMEVARS_FILE);
        else
            reportUnreadableFile(GAMEVARS_FILE, ini->getOpenError());
    }
    // A non-positive step would stop game time.
    if (data.AltStep <= 0) data.AltStep = DEFAULT_ALT_STEP_MS;
    data.FrameStep = FRAME_STEP_MS;

    // Pack-file, error-string and persisted-settings seams: loaded here once their readers exist.

    {
        // One read from the load to the checks of what it gave: a file cut short is its loader's
        // report, and the missing configuration that follows from it is not said again.
        ReadingFile reading(GAME_CONFIG_FILE);
        if (!loadFirstBlock(GAME_CONFIG_FILE, &pGameConfig, MAX_BLOCK_NESTING)) pGameConfig = nullptr;
        data.readGameConfig(pGameConfig, GAME_CONFIG_FILE);
    }

    // Until the material library brings up the device, the game's render seam does (with the
    // screenshot capture surface).
    if (!gameRenderInit()) return false;
    data.createAudioManager();
    gameInputInit();
    gameStartLevel();

    clockStarted = false;
    stepsDue = stepsRun = 0;
    debugKeysDown[0] = debugKeysDown[1] = false;
    waitCutShort = false;
    return true;
}

bool GameMainLoopStep()
{
    CProjData& data = getProjData();
    CGameClock& clock = data.GameClock;
    if (!clockStarted) {
        clock.start();
        clockStarted = true;
    }
    if (!gameActive && gameRenderFullScreen()) waitForForeground();
    // In the background the clock stands still: the game pauses until the focus comes back.
    if (!gameActive) clock.skipGap();
    clock.update();
    // A reset device lost what the level had on it: the level's managers rebuild their part.
    if (gameRenderTakeDeviceReset()) {
        if (CGameLogic* pLogic = data.getGameLogic()) pLogic->deviceReset();
    }
    readDebugKeys(data);

    // Game time moves in whole steps behind the real-time clock.
    int steps = 0;
    data.FrameTimeTotal = 0;
    while (clock.getTime() - stepsDue >= static_cast<uint32_t>(getFrameStep())) {
        stepsDue += static_cast<uint32_t>(getFrameStep());
        if (steps == MAX_STEPS_PER_PASS) continue;
        if (objectsRunning()) data.FrameTimeTotal += advanceGameTime();
        ++steps;
        ++stepsRun;
        gameInputStep();
        if (CGameLogic* pLogic = data.getGameLogic()) pLogic->fixedStep();
        // Game-frame seam: world, HUD and rendering of one step run here.
    }
    if (CGameLogic* pLogic = data.getGameLogic()) pLogic->afterFixedSteps();
    // Once per frame after the steps: ended sounds are reaped and the frame's 3D changes heard.
    if (CAudioManager* pAudio = data.getAudioManager()) pAudio->Update();

    // A pass that only finishes a wait cut short by a message draws nothing new.
    if (steps > 0 || !waitCutShort) gameRenderFrame();

    // Wait out the rest of the step instead of spinning a core, in slices: a message arriving meanwhile
    // (a close, say) ends the wait, so the shell's pump handles it within a slice whatever the step.
    const uint32_t sinceStep = clock.getTime() - stepsDue;
    const uint32_t step = static_cast<uint32_t>(getFrameStep());
    waitCutShort = false;
    for (uint32_t remaining = sinceStep < step ? step - sinceStep : 0; remaining > 0;) {
        const uint32_t slice = remaining < WAIT_SLICE_MS ? remaining : WAIT_SLICE_MS;
        Sleep(slice);
        remaining -= slice;
        MSG waiting;
        if (remaining > 0 && PeekMessageA(&waiting, WinCore.MainWindowHandle, 0, 0, PM_NOREMOVE)) {
            waitCutShort = true;
            break;
        }
    }
    return true;
}

bool GameShutdown()
{
    WinCore.UnregisterFunc(deactivateHandle);
    WinCore.UnregisterFunc(activateHandle);
    gameInputShutdown();
    // Level and front-end seams: released here.
    if (projDataExists()) {
        getProjData().destroyAudioManager();
        getProjData().shutdownPreD3D();
        gameRenderShutdown();
        destroyProjData();
    }
    deleteBlock(pGameConfig);
    managedMemShutdown();
    return true;
}

void GameUninit()
{
    gameRenderUnload();
    CoUninitialize();
    // Front-end seam: the extra release its game link may ask for during GameShutdown.
}

void registerGameEntryPoints()
{
    static const SGameEntryPoints entryPoints = {GamePreInit, GameInit, GameMainLoopStep, GameShutdown, GameUninit};
    setGameEntryPoints(&entryPoints);
}
