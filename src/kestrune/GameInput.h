// The game's side of the input devices: bringing them up with the shell's callbacks, reading them
// once per game step into the first player's input map, and taking them down.
#pragma once

#include "kestrune/InputMap.h"

bool gameInputInit();
void gameInputStep();
void gameInputShutdown();
// The first player's controls (keyboard and mouse, or the first pad when one is present).
CInputMap& gamePlayerInput();
