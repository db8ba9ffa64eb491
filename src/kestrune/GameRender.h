// The game's frames on the render core: the device brought up in the main window, one cleared
// frame per pass of the main loop (letterboxed to the game's 4:3 picture when the mode is another
// shape), and screenshots on F12. Scene drawing plugs in between the frame's begin and end.
//
// Optional items of section "Display" in data\init.ini choose the mode: "Width", "Height" (the
// mode nearest to them), "FullScreen" and "ScreenMargin" (the margin strips).
#pragma once

class CIniManager;

// Before any window: loads Direct3D. False when it is not there.
bool gameRenderLoad();
// Registers the display items; call before the start-up ini file is loaded.
void gameRenderRegisterSettings(CIniManager* ini);
// Once the main window exists: device, screenshot surface and viewport. False when no device.
bool gameRenderInit();
void gameRenderFrame();
void gameRenderShutdown();
