// The log writer: appends text to a named file, opening and closing it for every write, optionally
// scrambled with a one-byte XOR. Also the texts of result codes and the "DX ERROR" report.
#pragma once

#include "platform/win32.h"

void setLogFileName(const char* name, bool deleteExisting);
// Plain: each LF becomes CR LF, no final line end. Scrambled: XORed bytes, written raw.
void writeLogText(const char* text, bool scrambled);
// Plain: the text and CR LF. Scrambled: the XORed copy through the text writer, no final line end.
void writeLogLine(const char* text, bool scrambled);

// The key scrambled log texts are XORed with.
extern const uint8_t LOG_SCRAMBLE_KEY;

// The program's own codes.
#define D3DCORE_ERR_PALETTISED ((HRESULT)0xFEDC0001u)
#define D3DCORE_ERR_NO_DRIVERS ((HRESULT)0xFEDC0002u)
#define D3DCORE_ERR_NO_DEVICES ((HRESULT)0xFEDC0003u)
#define D3DCORE_ERR_ALWAYS_FAIL ((HRESULT)0xFEDC0004u)
#define D3DCORE_ERR_SCREEN_MODE ((HRESULT)0xFEDC0005u)
#define D3DCORE_ERR_NO_PIXEL_SHADER ((HRESULT)0xFEDC0006u)

// The text of a result code, in one static buffer overwritten by the next call.
const char* ErrorText(HRESULT code);
// Reports "DX ERROR: " + "%8X" + "\n" + ErrorText(code) as a failed check of "false".
void DXErrorReport(HRESULT code);
