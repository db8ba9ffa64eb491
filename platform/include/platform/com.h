// COM as the engine calls it.
#pragma once

#include "platform/win32.h"

// Objects and classes: IUnknown, CoCreateInstance.
#include "platform/com/objects.h"
