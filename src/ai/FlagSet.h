// Byte-array bit sets: the shared helper of the foundation.
#pragma once

#include "utility/FlagSet.h"
