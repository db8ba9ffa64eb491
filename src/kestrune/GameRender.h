// The game's frames on the render core: the device brought up through the material library in the
// main window, the sample data's overlay font loaded under the loading screen, one frame per pass
// of the main loop (letterboxed to the game's 4:3 picture when the mode is another shape) with a
// line of overlay text, and screenshots on F12. Scene drawing plugs in between the frame's begin
// and end.
//
// Optional items of section "Display" in data\init.ini: "Width", "Height" (the mode nearest to
// them), "FullScreen", "ScreenMargin" (the margin strips), "Statistics" (the frame statistics
// overlay) and "LoadingFrames" (the frames the start-up loading screen stays up).
#pragma once

class CIniManager;

// Before any window: loads Direct3D. False when it is not there.
bool gameRenderLoad();
// After the game shut down: gives Direct3D back when no device ever took it over.
void gameRenderUnload();
// Registers the display items; call before the start-up ini file is loaded.
void gameRenderRegisterSettings(CIniManager* ini);
// Once the main window exists: device, screenshot surface and viewport. False when no device.
bool gameRenderInit();
void gameRenderFrame();
void gameRenderShutdown();

// Full screen: the device was made for the whole screen.
bool gameRenderFullScreen();
// Back in front after the focus was lost in full screen: the device takes the screen again.
void gameRenderRestoreDevice();
// True once after each reset of the device (a lost device restored, a reactivation, a change of
// mode): what the device held is gone, and the game rebuilds its part.
bool gameRenderTakeDeviceReset();
// A level change drops every model class; the sample model, which outlives levels, takes its own
// again.
void gameRenderResetModelClasses();
