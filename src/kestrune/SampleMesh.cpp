#include "kestrune/SampleMesh.h"

#include "d3dcore9/D3DCore.h"
#include "matcore9/Forwarders.h"
#include "matcore9/HWObjects.h"
#include "matcore9/MatCore.h"
#include "utility/RunLog.h"
#include "winfile/File.h"

#include <cmath>

namespace {

const char* const SAMPLE_MESH = "data\\models\\demo.msh";
const DWORD SAMPLE_MESH_VERSION = 106;

HWMeshObject* mesh = nullptr;
uint32_t light = LIGHT_NONE;

}  // namespace

bool sampleMeshLoad()
{
    CFile file;
    if (!file.Open(SAMPLE_MESH, FILE_MODE_READ | FILE_MODE_BUFFERED)) {
        writeRunLog("No sample mesh data\\models\\demo.msh");
        return false;
    }
    mesh = new HWMeshObject();
    if (!mesh->Load(file, SAMPLE_MESH_VERSION, SAMPLE_MESH)) {
        mesh->Release();
        mesh = nullptr;
        return false;
    }
    // Light from the upper left, over the viewer's shoulder.
    light = MatCore.Lights.AllocLight();
    if (light != LIGHT_NONE) {
        LightDescription sun{};
        sun.Type = D3DLIGHT_DIRECTIONAL;
        sun.Colour[0] = sun.Colour[1] = sun.Colour[2] = 0.6f;
        sun.Ambient[0] = sun.Ambient[1] = sun.Ambient[2] = 0.2f;
        sun.Direction[0] = 0.5f;
        sun.Direction[1] = -0.5f;
        sun.Direction[2] = 1.0f;
        sun.Range = 1000.0f;
        MatCore.Lights.SetLight(light, sun);
        MatCore.Lights.LightEnable(light, true);
    }
    return true;
}

void sampleMeshDraw()
{
    if (!mesh) return;
    // The viewer at the origin looking along +z; the quad right of the text, turned a little.
    MatSetPerspective(1.0f, 100.0f, 1.0f, 0.75f);
    D3DMATRIX view{};
    view.m[0][0] = view.m[1][1] = view.m[2][2] = view.m[3][3] = 1.0f;
    MatSetViewMatrix(view);
    const float s = std::sin(0.4f), c = std::cos(0.4f);
    SetWorldMatrixFrom43({{c, 0, -s, 0, 1, 0, s, 0, c}, {1.5f, -0.6f, 6.0f}, {1.0f, 1.0f, 1.0f}});
    mesh->Render(0);
}

void sampleMeshRelease()
{
    if (mesh) mesh->Release();
    mesh = nullptr;
    if (light != LIGHT_NONE) {
        MatCore.Lights.LightEnable(light, false);
        MatCore.Lights.FreeLight(light);
    }
    light = LIGHT_NONE;
}
