#include "d3dcore9/LogWriter.h"

#include "platform/d3dx9.h"
#include "utility/Assert.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

char errorTextBuffer[256];

struct OwnCode {
    uint32_t code;
    const char* text;
};

const OwnCode ownCodes[] = {
    {0xFEDC0001u, "Can't run in palettised mode"},
    {0xFEDC0002u, "No Direct3D Drivers found"},
    {0xFEDC0003u, "No Direct3D Devices found"},
    {0xFEDC0004u, "Material set to Always Fail"},
    {0xFEDC0005u, "D3D not supported in current screen mode"},
    {0xFEDC0006u, "Pixel-shader not supported"},
    {0x8007000Eu, "EEK!! - Out of Memory"},
};

}  // namespace

const char* ErrorText(HRESULT code)
{
    const char* text = nullptr;
    for (const OwnCode& own : ownCodes)
        if (own.code == static_cast<uint32_t>(code)) text = own.text;
    if (!text) text = DXGetErrorString9(code);
    snprintf(errorTextBuffer, sizeof errorTextBuffer, "%s", text);
    return errorTextBuffer;
}

void DXErrorReport(HRESULT code)
{
    // A failed device call is the card's, not a fault of the file being read.
    ReportApart apart;
    char message[320];
    snprintf(message, sizeof message, "DX ERROR: %8X\n%s", static_cast<uint32_t>(code), ErrorText(code));
    assertFailedMsg(message, "false", __FILE__, __LINE__);
}
