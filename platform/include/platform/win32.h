// The Windows kernel and user services the engine calls, declared with the Windows names and
// fixed widths. Each concern has its own header under win32/; this one brings them all in.
#pragma once

#include "platform/win32/types.h"
#include "platform/win32/files.h"
#include "platform/win32/time.h"
#include "platform/win32/sync.h"
#include "platform/win32/threads.h"
#include "platform/win32/runtime.h"
#include "platform/win32/module.h"
#include "platform/win32/window.h"
#include "platform/win32/text.h"
