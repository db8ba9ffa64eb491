#include "dxsetup9/DXSetup.h"

TDXInterface DXInterface;
