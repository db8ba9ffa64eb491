#include "kestrune/GameRender.h"

#include "animation/ModelAnim.h"
#include "d3dcore9/D3DCore.h"
#include "d3dcore9/RenderCoreStart.h"
#include "d3dcore9/Screenshot.h"
#include "global/ProjData.h"
#include "gameobjects/CollisionObject.h"
#include "gameobjects/CollisionObjectResourceManager.h"
#include "gameobjects/GameObject.h"
#include "gameobjects/GameObjectManager.h"
#include "kestrune/GameLogic.h"
#include "kestrune/Shadows.h"
#include "kestrune/SampleMesh.h"
#include "kestrune/ShellRenderHost.h"
#include "l3render/EffectView.h"
#include "l3render/L3Render.h"
#include "l3render/ModelClassManager.h"
#include "matcore9/BufferAllocator.h"
#include "l3render/ModelManager.h"
#include "l3render/ModelUtil.h"
#include "matcore9/Forwarders.h"
#include "matcore9/MatCore.h"
#include "utility/Assert.h"
#include "utility/IniManager.h"
#include "utility/RunLog.h"
#include "wincore/WinCore.h"
#include "winfile/PackFile.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

CShellRenderHost shellHost;
bool deviceUp = false;
bool screenshotHeld = false;

int32_t displayWidth = 640;
int32_t displayHeight = 480;
int32_t displayFullScreen = 0;
int32_t displayMargin = 0;
int32_t displayStatistics = 0;
int32_t loadingFrames = 0;

// The sample data's overlay font and the start-up loading screen.
const char* const HUD_TEXTURE = "data\\overlay\\hudfont.tga";
const char* const HUD_MATERIAL = "data\\overlay\\hudfont.mtl";
const char* const HUD_PAGE = "data\\overlay\\hudfont.txt";
int32_t hudPage = -1;
// The sample model, loaded with the device.
const char* const SAMPLE_MODEL = "data\\models\\robot.rsm";
CModel* sampleModel = nullptr;
CModelInst* sampleInstance = nullptr;
// Its walk, played on the game clock.
const char* const SAMPLE_WALK = "data\\anims\\robot_walk.txt";
CModelAnim* sampleWalk = nullptr;
int32_t sampleWalkTime = 0;
// Its class by name: a level change drops the classes, and the model takes its own again.
char sampleClassName[CModelClassManager::MAX_TOKEN + 1] = {};

D3DCoreFuncHandle deviceResetHandle{1, -1};  // after every restore of the device
bool deviceWasReset = false;

void onDeviceRestored() { deviceWasReset = true; }

// While a pack is built its progress takes the screen, each text in a frame of its own.
void showPackProgress(const char* text)
{
    if (!D3DCore.DeviceActive) return;
    D3DCore.BeginScene(true, false);
    D3DCore.DebugPrintScaled(text, 100.0f, 200.0f, 3.0f, false, true);
    D3DCore.EndScene(false);
    D3DCore.Present(false);
}

// The sample model's walk, bound to the model's class as it stands; a walk that does not load or
// bind is not played. A model on the default class has lost its own (its class file has said
// why): it has no nodes to bind to, and saying so again would only repeat that report.
void bindSampleWalk()
{
    if (sampleModel->m_classId == CModelClassManager::GetDefaultClassId()) {
        delete sampleWalk;
        sampleWalk = nullptr;
        return;
    }
    if (!sampleWalk) sampleWalk = new CModelAnim(SAMPLE_WALK);
    if (!sampleWalk->Attach(CModelClassManager::GetClass(sampleModel->m_classId), sampleInstance)) {
        delete sampleWalk;
        sampleWalk = nullptr;
    }
}

int32_t loadingLeft = 0;
int32_t loadingFrame = 0;

// The game's picture is 4:3; a window of another shape keeps bars at the sides or above and below.
// A window is taken for the nearer of the two screen shapes, 4:3 and 16:9.
void applyGameViewport()
{
    const int32_t w = L3GetScreenWidth() & ~1, h = L3GetScreenHeight() & ~1;
    if (w <= 0 || h <= 0) return;
    ViewportSettings v;
    v.aspectType = std::fabs(w / static_cast<float>(h) - 16.0f / 9.0f) < std::fabs(w / static_cast<float>(h) - 4.0f / 3.0f)
                       ? 1
                       : 0;
    v.aspectRatio = AspectRatioToFloat(0);
    v.width = w;
    v.height = h;
    // The sample scene's scale: a view window 0.75 high at 1, seeing as far as 100.
    v.fov = 0.75f;
    v.nearZ = 1.0f;
    v.farZ = 100.0f;
    L3ApplyViewportSettings(v);
}

// The game's start on the render façade; false, with everything it brought up taken down again,
// when the library, the mode or the device fails.
bool startRendering(const RenderCoreSettings& settings)
{
    DXSetup::SetEnumFilter(GameEnumFilter());
    if (L3Init() && SelectRenderMode(settings) && L3CreateDevice(false, settings.VSync, settings.Interval)) return true;
    if (D3DCore.DeviceActive) L3DestroyDevice();
    if (MatCore.Initialised) L3Shutdown();
    return false;
}

}  // namespace

bool gameRenderLoad() { return DXSetup::Load() == 0; }
void gameRenderUnload() { DXSetup::Unload(); }

void gameRenderRegisterSettings(CIniManager* ini)
{
    ini->registerItem("Display", "Width", &displayWidth, CIniManager::INI_INT);
    ini->registerItem("Display", "Height", &displayHeight, CIniManager::INI_INT);
    ini->registerItem("Display", "FullScreen", &displayFullScreen, CIniManager::INI_INT);
    ini->registerItem("Display", "ScreenMargin", &displayMargin, CIniManager::INI_INT);
    ini->registerItem("Display", "Statistics", &displayStatistics, CIniManager::INI_INT);
    ini->registerItem("Display", "LoadingFrames", &loadingFrames, CIniManager::INI_INT);
}

bool gameRenderInit()
{
    // The game flow also runs without a window (its own tests): nothing to draw into then.
    if (!WinCore.MainWindowHandle) return true;
    D3DCore::SetHost(&shellHost);
    RenderCoreSettings settings;
    settings.Width = static_cast<uint32_t>(displayWidth);
    settings.Height = static_cast<uint32_t>(displayHeight);
    settings.FullScreen = displayFullScreen != 0;
    if (!startRendering(settings)) {
        writeRunLog("Failed to create the Direct3D device");
        return false;
    }
    deviceUp = true;
    if (!createScreenshotSurface()) writeRunLog("No screenshot surface");
    D3DCore.SetClearColour(true, 0, 0, 0);
    D3DCore.SetBorderColour(true, 0, 0, 0, 0);
    D3DCore.DrawMargin = displayMargin != 0 ? 1 : 0;
    D3DCore.FrameStatsEnabled = displayStatistics != 0 ? 1 : 0;
    applyGameViewport();
    // A shadow material that failed has said why.
    const int checksBefore = checksFailed();
    if (!InitShadows() && checksFailed() == checksBefore) writeRunLog("No vehicle shadows");
    PackFileSetProgressFunc(showPackProgress);
    deviceResetHandle = D3DCore.RegisterFunc(1, onDeviceRestored);
    deviceWasReset = false;

    hudPage = MatCore.LoadOverlayPage(HUD_TEXTURE, HUD_MATERIAL, HUD_PAGE, true, nullptr, 1.0f);
    // The sample data's models load as one batch, reusing their scratch memory.
    CBufferAllocator::GetInstance()->EnableRecycling();
    sampleModel = CModelUtil::LoadModel(SAMPLE_MODEL, 0, 1.0f, nullptr, 0);
    if (sampleModel && (sampleInstance = CModelManager::CreateModelInst(sampleModel))) {
        // Below the text, left of the sample quad: standing up (its y along the world's z), its
        // left arm reaching towards the viewer and the quad.
        const float s = std::sin(0.5f), c = std::cos(0.5f);
        sampleInstance->m_transform = {{-s, -c, 0, 0, 0, 1, -c, s, 0}, {85.0f, 16.0f, -20.5f}, {1, 1, 1}};
        const CModelClass* pClass = CModelClassManager::GetClass(sampleModel->m_classId);
        snprintf(sampleClassName, sizeof sampleClassName, "%s", pClass && pClass->m_pName ? pClass->m_pName : "");
        bindSampleWalk();
        sampleWalkTime = projDataExists() ? getProjData().getTime() : 0;
    }
    sampleMeshLoad();
    CBufferAllocator::GetInstance()->DisableRecycling();
    loadingLeft = loadingFrames > 0 ? loadingFrames : 0;
    loadingFrame = 0;
    return true;
}

namespace {

// One frame of the start-up loading screen, which draws and presents itself: what was loaded,
// then a progress line per frame.
void loadingScreenFrame()
{
    char line[LOADING_HISTORY_SIZE];
    if (++loadingFrame == 1) {
        MatEnableLoadingScreen(true, false);
        MatShowLoadingScreen("Sample data", 1);
        if (hudPage >= 0)
            snprintf(line, sizeof line, "Overlay font %s: %d glyphs", HUD_PAGE, MatCore.OverlayPage[hudPage].Sprites);
        else
            snprintf(line, sizeof line, "No overlay font %s", HUD_PAGE);
        D3DCore.AddLoadingText(line);
        if (sampleModel)
            snprintf(line, sizeof line, "Model %s: %u meshes", SAMPLE_MODEL, static_cast<unsigned>(sampleModel->m_numMeshElements));
        else
            snprintf(line, sizeof line, "No model %s", SAMPLE_MODEL);
        D3DCore.AddLoadingText(line);
    } else {
        snprintf(line, sizeof line, "Frame %d of %d", loadingFrame, loadingFrames);
        D3DCore.AddLoadingText(line);
    }
    if (--loadingLeft == 0) MatEnableLoadingScreen(false, false);
}

void drawOverlays()
{
    if (hudPage < 0) return;
    char title[] = "Veldrane";
    char line[] = "Sample data: overlay font, debug text and loading screen";
    MatCore.BeginOverlay(hudPage);
    MatCore.OverlayText(title, 24, 120, 1.0f, 1.0f, 0xFFFFFFFFu);
    MatCore.OverlayText(line, 24, 156, 0.5f, 0.5f, 0xFFC0D0FFu);
    MatCore.EndOverlay();
}

// Until the game has cameras of its own, the loaded level is seen from the camera manager's fixed
// view, in the top right corner of the picture, over a grid on the ground.
const float GRID_FROM = 2400.0f, GRID_TO = 5000.0f, GRID_STEP = 200.0f;
const uint32_t GRID_COLOUR = 0xFF404848u;

struct LineVertex {
    float x, y, z;
    uint32_t colour;
};

void drawGroundGrid()
{
    const int lines = static_cast<int>((GRID_TO - GRID_FROM) / GRID_STEP) + 1;
    std::vector<LineVertex> grid;
    for (int i = 0; i < lines; ++i) {
        const float at = GRID_FROM + GRID_STEP * static_cast<float>(i);
        grid.push_back({at, GRID_FROM, 0.0f, GRID_COLOUR});
        grid.push_back({at, GRID_TO, 0.0f, GRID_COLOUR});
        grid.push_back({GRID_FROM, at, 0.0f, GRID_COLOUR});
        grid.push_back({GRID_TO, at, 0.0f, GRID_COLOUR});
    }
    D3DCore.DrawUserLines(grid.data(), static_cast<UINT>(grid.size() / 2), sizeof(LineVertex));
}

// Plain models do not show a turn: the view also outlines what collides, rings about each sphere
// along its owner's axes and about each cylinder's two ends.
const uint32_t OUTLINE_COLOUR = 0xFFE09040u;
const int OUTLINE_SEGMENTS = 24;

void drawCollisionOutlines(CGameObjectManager& objects)
{
    std::vector<LineVertex> lines;
    auto ring = [&lines](const Vector3& centre, const Vector3& u, const Vector3& v, float radius) {
        for (int i = 0; i < OUTLINE_SEGMENTS; ++i)
            for (int end : {i, i + 1}) {
                const float a = 6.2831853f * static_cast<float>(end) / OUTLINE_SEGMENTS;
                const Vector3 p = centre + (u * std::cos(a) + v * std::sin(a)) * radius;
                lines.push_back({p.x, p.y, p.z, OUTLINE_COLOUR});
            }
    };
    for (uint32_t i = 0; i < objects.GetNumObjects(); ++i) {
        CGameObject* pObject = objects.getObject(i);
        CCollisionObject* pShape = pObject ? pObject->pCollisionObject : nullptr;
        Vector3 centre, axes[3];
        if (!pShape || !pShape->getCentre(&centre)) continue;
        Matrix3 turn;
        const Matrix3* pOrientation = nullptr;
        if (pShape->getCollisionType() == CCollisionObjectResourceManager::COLLISION_CYLINDER) {
            const auto* pCylinder = static_cast<const CCollisionCylinder*>(pShape);
            turn = pCylinder->rotation;
            if (pCylinder->pOrientation) Matrix3::multiply(turn, pCylinder->rotation, *pCylinder->pOrientation);
            for (int a = 0; a < 3; ++a) turn.getRow1(a, axes[a]);
            for (float end : {-0.5f, 0.5f})
                ring(centre + axes[2] * (end * pCylinder->height), axes[0], axes[1], pCylinder->radius);
        } else if (pShape->getCollisionType() == CCollisionObjectResourceManager::COLLISION_SPHERE) {
            if (pObject->getOrientationMatrix(&pOrientation) && pOrientation) turn = *pOrientation;
            for (int a = 0; a < 3; ++a) turn.getRow1(a, axes[a]);
            const float radius = static_cast<const CCollisionSphere*>(pShape)->radius;
            for (int a = 0; a < 3; ++a) ring(centre, axes[a], axes[(a + 1) % 3], radius);
        }
    }
    if (!lines.empty()) D3DCore.DrawUserLines(lines.data(), static_cast<UINT>(lines.size() / 2), sizeof(LineVertex));
}

// False when there is nothing to draw: no camera looking, or no room for the view.
bool drawLevelView(CGameLogic& logic)
{
    Vector3 eye;
    if (!logic.getCameraManager().getCurrentCameraPosition(&eye)) return false;
    const int32_t w = L3GetScreenWidth() & ~1, h = L3GetScreenHeight() & ~1;
    const int32_t pictureWidth = std::min(w, h * 4 / 3);
    ViewportSettings v;
    v.x = (w - pictureWidth) / 2 + pictureWidth * 62 / 100;
    v.y = h * 5 / 100;
    v.width = pictureWidth * 35 / 100 & ~1;
    v.height = h * 36 / 100 & ~1;
    if (v.width <= 0 || v.height <= 0) return false;
    v.aspectRatio = static_cast<float>(v.width) / static_cast<float>(v.height);
    v.fullViewport = 1;
    v.nearZ = 10.0f;
    v.fov = 0.75f * v.nearZ;  // a view window 0.75 high at 1
    v.farZ = 20000.0f;
    L3ApplyViewportSettings(v);
    Vector3 depth = LEVEL_CAMERA_TARGET - eye;
    depth.normalise();
    Vector3 horizontal = Vector3(0.0f, 0.0f, 1.0f).cross(depth);
    horizontal.normalise();
    L3SetViewFromAxes(eye, depth, horizontal, depth.cross(horizontal));
    drawGroundGrid();
    if (CGameObjectManager* pObjects = logic.getObjectManager()) drawCollisionOutlines(*pObjects);
    logic.renderView();
    logic.renderAfterScene();
    return true;
}

// The end of the level's scene draws what waits for it (the sorted transparent geometry, the
// effects' later passes) through the level's camera. Its draws count in the frame's statistics, which
// are shown once, over the whole picture, at the frame's last scene.
void endLevelScene()
{
    const BYTE statistics = D3DCore.FrameStatsEnabled;
    D3DCore.FrameStatsEnabled = 0;
    L3EndScene();
    D3DCore.FrameStatsEnabled = statistics;
    FrameStatistics counted;
    if (statistics) D3DCore.UpdateFrameStatistics(counted);
}

}  // namespace

void gameRenderFrame()
{
    if (!deviceUp) return;
    // Material animations run on the game clock.
    if (projDataExists()) D3DCore.AnimationTime = getProjData().getTime();
    if (loadingLeft > 0) {
        loadingScreenFrame();
    } else {
        // Each scene begins with the whole picture's viewport, which its debug text is placed in.
        applyGameViewport();
        L3BeginScene(true);
        // Scene seam: the game's viewports, cameras and HUD are drawn here.
        CGameLogic* pLogic = projDataExists() ? getProjData().getGameLogic() : nullptr;
        const bool levelDrawn = pLogic && pLogic->isLevelLoaded() && drawLevelView(*pLogic);
        if (levelDrawn) {
            endLevelScene();
            applyGameViewport();
            L3BeginScene(false);
        }
        // Until the game has cameras of its own, the sample models are seen along the world's x axis
        // from the origin.
        L3SetViewFromAngles(Vector3(0.0f, 0.0f, 0.0f), 0.0f, 0.0f, 0.0f);
        if (sampleWalk) {
            const int32_t now = projDataExists() ? getProjData().getTime() : sampleWalkTime;
            sampleWalk->Play(now > sampleWalkTime ? static_cast<uint32_t>(now - sampleWalkTime) : 0);
            sampleWalkTime = now;
        }
        if (sampleInstance) sampleInstance->Render();
        sampleMeshDraw();
        drawOverlays();
        L3EndScene();
        L3Present(true);
        // The camera set last is the one the game's step fades and wraps the effects from: the
        // level's, not the sample models' stand-in view.
        Vector3 levelEye;
        if (levelDrawn && pLogic->getCameraManager().getCurrentCameraPosition(&levelEye))
            SetEffectCameraPosition(levelEye);
    }
    const bool held = (GetAsyncKeyState(VK_F12) & 0x8000) != 0;
    std::string cause;
    if (held && !screenshotHeld && FAILED(takeScreenshot(&cause))) {
        // A failed write is about no file being read; a shot that could not be written says why.
        ReportApart apart;
        writeRunLog(cause.empty() ? "Screenshot failed" : ("Screenshot failed\n" + cause).c_str());
    }
    screenshotHeld = held;
}

bool gameRenderFullScreen() { return deviceUp && D3DCore.FullScreen; }

void gameRenderRestoreDevice()
{
    if (deviceUp && D3DCore.DeviceActive) D3DCore.RestoreDevice();
}

bool gameRenderTakeDeviceReset()
{
    const bool reset = deviceWasReset;
    deviceWasReset = false;
    return reset;
}

void gameRenderResetModelClasses()
{
    if (!CModelClassManager::IsInitialised()) return;
    CModelClassManager::Reset();
    if (!sampleModel || !sampleClassName[0]) return;
    uint32_t id = CModelClassManager::GetDefaultClassId();
    if (!CModelClassManager::FindClassId(sampleClassName, &id, true)) id = CModelClassManager::GetDefaultClassId();
    sampleModel->m_classId = id;
    if (sampleWalk && sampleInstance) bindSampleWalk();
}

void gameRenderShutdown()
{
    if (!deviceUp) return;
    PackFileSetProgressFunc(nullptr);
    if (deviceResetHandle.Index >= 0) D3DCore.UnregisterFunc(deviceResetHandle);
    deviceResetHandle.Index = -1;
    releaseScreenshotSurface();
    if (hudPage >= 0) MatCore.ReleaseOverlayPage(hudPage);
    hudPage = -1;
    delete sampleWalk;
    sampleWalk = nullptr;
    if (sampleInstance) CModelManager::ReleaseModelInst(sampleInstance);
    sampleInstance = nullptr;
    if (sampleModel) CModelManager::ReleaseModel(sampleModel, true);
    sampleModel = nullptr;
    sampleMeshRelease();
    ShutdownShadows();
    CBufferAllocator::DestroyInstance();
    L3DestroyDevice();
    D3DCore.ReleaseDynamicVertexBuffers();
    L3Shutdown();
    D3DCore::SetHost(nullptr);
    deviceUp = false;
}
