#include "kestrune/SampleMesh.h"

#include "d3dcore9/D3DCore.h"
#include "l3render/L3Render.h"
#include "l3render/LightManager.h"
#include "matcore9/HWObjects.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"
#include "winfile/File.h"

#include <cmath>

namespace {

const char* const SAMPLE_MESH = "data\\models\\demo.msh";
const DWORD SAMPLE_MESH_VERSION = 106;

HWMeshObject* mesh = nullptr;
CLight* light = nullptr;

// Where the quad stands, seen from the game's camera at the origin looking along x.
const Vector3 QUAD_POSITION(6.0f, -1.5f, -0.6f);

}  // namespace

bool sampleMeshLoad()
{
    ReadingFile reading(SAMPLE_MESH);
    CFile file;
    if (!file.Open(SAMPLE_MESH, FILE_MODE_READ | FILE_MODE_BUFFERED)) {
        writeRunLog(openFailureText(SAMPLE_MESH, file.LastError(), "No sample mesh data\\models\\demo.msh").c_str());
        return false;
    }
    mesh = new HWMeshObject();
    if (!mesh->Load(file, SAMPLE_MESH_VERSION, SAMPLE_MESH)) {
        mesh->Release();
        mesh = nullptr;
        return false;
    }
    // Light from the upper left, over the viewer's shoulder.
    CLightManager& lights = *CLightManager::GetInstance();
    lights.SetLightingEnabled(true);
    light = lights.CreateLight();
    if (light) {
        LightDescription sun{};
        sun.Type = D3DLIGHT_DIRECTIONAL;
        sun.Colour[0] = sun.Colour[1] = sun.Colour[2] = 0.6f;
        sun.Ambient[0] = sun.Ambient[1] = sun.Ambient[2] = 0.2f;
        sun.Direction[0] = 1.0f;
        sun.Direction[1] = -0.5f;
        sun.Direction[2] = -0.5f;
        sun.Range = 1000.0f;
        light->SetDesc(&sun);
        lights.SetLightActive(light, true);
    }
    return true;
}

void sampleMeshDraw()
{
    if (!mesh) return;
    // Its lights, as a lit model gathers them; then the quad right of the text, turned a little
    // about the vertical, facing the camera.
    CLight* lit[2];
    uint32_t count = 2;
    CLightManager::GetInstance()->GatherLights(QUAD_POSITION, 1.5f, lit, &count);
    CLightManager::GetInstance()->ApplyLights(lit, count);
    const float s = std::sin(0.4f), c = std::cos(0.4f);
    SetWorldMatrixFrom43({{-s, -c, 0, 0, 0, 1, c, -s, 0}, {QUAD_POSITION.x, QUAD_POSITION.y, QUAD_POSITION.z}, {1, 1, 1}});
    mesh->Render(0);
}

void sampleMeshRelease()
{
    if (mesh) mesh->Release();
    mesh = nullptr;
    if (light) CLightManager::GetInstance()->DestroyLight(light);
    light = nullptr;
}
