// The sample data's mesh, data\models\demo.msh: a textured quad lit by one directional light, drawn
// beside the sample text until the game draws scenes of its own.
#pragma once

// After the device is up: the mesh, its material and its light. False (reported) when it does not load.
bool sampleMeshLoad();
// Inside the scene: the camera, the placement and the mesh.
void sampleMeshDraw();
// Before the device goes.
void sampleMeshRelease();
