// The placed models of a level's objects, drawn with the model library while the device is up.
#pragma once

// Placed models made from now on draw their model file; until then, and after removal, they draw
// nothing.
void installLevelModelDrawer();
void removeLevelModelDrawer();
// Loads the model files of the models placed since the last call. Loading shows on the loading
// screen, which handles the window's messages: call it between frames, never inside a scene.
void prepareLevelModels();
