// DXSetup: loads Direct3D 9 and builds the tree of adapters, devices and modes.
#pragma once

#include "platform/d3d9.h"

struct IDirect3D9;
struct IDirect3DDevice9;

// The interfaces shared by the setup and the render device core.
struct TDXInterface {
    IDirect3D9* ID3D;
    IDirect3DDevice9* ID3DDevice;
    D3DADAPTER_IDENTIFIER9 AdapterIdentifier;  // adapter 0, read by DXSetup::Load
    BYTE AdapterIdentifierValid;               // 1 when that read succeeded
};

extern TDXInterface DXInterface;
