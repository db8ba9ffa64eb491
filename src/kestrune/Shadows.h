// The player vehicle's shadow: a square grid mesh with a shadow texture, draped each frame over the
// ground under the vehicle and turned with it. Two meshes, one for each form of the vehicle, made
// with the device (InitShadows) and released before it goes (ShutdownShadows). Main thread only.
#pragma once

#include <cstdint>

enum : uint32_t {
    SHADOW_JET = 0,     // "data\models\shadow\plane shadow.tga", 4 x 4 quads, size 100
    SHADOW_WALKER = 1,  // "data\models\shadow\MechShad.tga", 4 x 4 quads, size 40
    NUM_SHADOWS = 2,
};

// Builds both meshes with the material "data\models\shadow\shadow.mtl"; false when one cannot be made.
bool InitShadows();
void ShutdownShadows();

// Drapes and draws a mesh at the vehicle (x, y; the height word is not used) turned by its angles:
// the grid is rolled by c about x, pitched by b about y and turned by a about z (counter-clockwise
// seen from above), and laid on the ground below those points. The grid's corners stand at
// ±halfSize, its lines 2 x halfSize / gridCount apart. A grid count of 0 or less draws nothing.
void RenderVehicleShadow(uint32_t mesh, float x, float y, float height, float a, float b, float c, int32_t gridCount,
                         float halfSize);

// The roll c as the shadow uses it: wrapped into -pi..pi and kept out of the bands around a quarter
// turn either way, where the shadow would shrink to a line.
float ShadowBankAngle(float c);

// The mesh's display list (null before InitShadows), for inspection.
struct DisplayHandle;
class VertexList;
DisplayHandle* GetShadowDisplayHandle(uint32_t mesh);
VertexList* GetShadowVertexList(uint32_t mesh);
