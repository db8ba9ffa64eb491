#include "l3render/L3Render.h"

#include "d3dcore9/D3DCore.h"
#include "l3render/EffectView.h"
#include "l3render/LightManager.h"
#include "l3render/ModelClassManager.h"
#include "l3render/ModelManager.h"
#include "l3render/SceneState.h"
#include "matcore9/Forwarders.h"
#include "matcore9/MatCore.h"

namespace {

L3SceneState scene;

bool effectInView(const Vector3& centre, float radius) { return L3SphereInFrustum(centre, radius, false); }

}  // namespace

const L3SceneState& L3Scene = scene;

L3SceneState& sceneState() { return scene; }

void sceneCameraMoved() { SetEffectCameraPosition(scene.cameraPosition); }

bool L3Init()
{
    if (!MatCore.Init()) return false;
    if (!CModelClassManager::Init()) return false;
    scene.fading = false;
    scene.orthographic = false;
    SetEffectFrustumTest(effectInView);
    return true;
}

bool L3CreateDevice(bool multiThreaded, bool vSync, int32_t interval)
{
    if (!MatCore.CreateDevice(multiThreaded, vSync, interval)) return false;
    L3SetPerspective(270.0f, 640000.0f, 320.0f, 240.0f, 1.33f);
    if (!CModelManager::Init()) return false;
    return CLightManager::GetInstance()->Init(32, 0);
}

void L3DestroyDevice()
{
    CModelManager::Shutdown();
    // A device whose start failed at the light manager has none to shut down.
    if (CLightManager::GetInstance()->IsInitialised()) CLightManager::GetInstance()->Shutdown();
    MatCore.DestroyDevice();
}

void L3Shutdown()
{
    SetEffectFrustumTest(nullptr);
    CModelClassManager::Shutdown();
    MatCore.Shutdown();
}

int32_t L3BeginScene(bool clear)
{
    MatBeginScene(clear);
    scene.drawsAttempted = scene.drawsDone = scene.drawsSkipped = 0;
    return 0;
}

void L3EndScene()
{
    CLightManager::GetInstance();
    MatEndScene();
}

void L3Present(bool runOffscreenPasses) { MatPresent(runOffscreenPasses); }

void L3CountDrawAttempt() { ++scene.drawsAttempted; }
void L3CountDrawDone() { ++scene.drawsDone; }
void L3CountDrawSkipped() { ++scene.drawsSkipped; }

// The render target is the render core's: its mode, or the size it was told to draw at.
int L3GetScreenWidth() { return static_cast<int>(D3DCore.GetScreenWidth()); }
int L3GetScreenHeight() { return static_cast<int>(D3DCore.GetScreenHeight()); }
