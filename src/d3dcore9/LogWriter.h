// The log writer: the file output (utility/LogFile.h), the texts of result codes and the "DX ERROR"
// report.
#pragma once

#include "platform/win32.h"
#include "utility/LogFile.h"

// The program's own codes.
#define D3DCORE_ERR_PALETTISED ((HRESULT)0xFEDC0001u)
#define D3DCORE_ERR_NO_DRIVERS ((HRESULT)0xFEDC0002u)
#define D3DCORE_ERR_NO_DEVICES ((HRESULT)0xFEDC0003u)
#define D3DCORE_ERR_ALWAYS_FAIL ((HRESULT)0xFEDC0004u)
#define D3DCORE_ERR_SCREEN_MODE ((HRESULT)0xFEDC0005u)
#define D3DCORE_ERR_NO_PIXEL_SHADER ((HRESULT)0xFEDC0006u)

// The text of a result code, in one static buffer overwritten by the next call.
const char* ErrorText(HRESULT code);
// Reports "DX ERROR: " + "%8X" + "\n" + ErrorText(code) as a failed check of "false", apart from
// any file being read.
void DXErrorReport(HRESULT code);
