// PLATFORM_SCRIPT: a text file of timed platform events that lets a run be played without a user.
//
// One event per line: a frame number, a verb and its arguments; '#' starts a comment.
//   120 close              asks the main window to close (WM_CLOSE), as the close button does
//   10  key RETURN         a key press and release (VK name without "VK_", a letter, a digit or a number)
//   11  keydown ESCAPE     a key goes down and stays held (keyup releases it)
//   12  text hello         typed characters
//   30  focus off          the application loses (on: gains, restoring its minimised window) the focus
//   40  minimise           the window is minimised (restore: restored)
// A frame is one pass of the message pump: a PeekMessageA that finds the queue empty, or a
// GetMessageA that returns. Events of frame N are delivered when the count reaches N.
// Other platform areas add their own verbs (keys of the input devices, pad values).
#pragma once

#include "platform/win32/types.h"

namespace platform {

// Runs the event; false when the arguments cannot be used (reported on stderr). A verb that no area
// registered is reported when its frame comes.
typedef bool (*ScriptVerbHandler)(const char* arguments);
void registerScriptVerb(const char* verb, ScriptVerbHandler handler);
// Pump passes counted so far.
DWORD scriptFrame();

}  // namespace platform
