// The scene core's one set of values, written by the façade's setters.
#pragma once

#include "l3render/L3Render.h"

L3SceneState& sceneState();
// Tells the effect code where the camera now stands.
void sceneCameraMoved();
