// The log writer's file output: appends text to a named file, opening and closing it for every
// write, optionally scrambled with a one-byte XOR. The run log and the render core's logs use it.
#pragma once

#include <cstdint>
#include <string>

void setLogFileName(const char* name, bool deleteExisting);
// Plain: each LF becomes CR LF, no final line end. Scrambled: XORed bytes, written raw. False when
// the file could not take the text whole.
bool writeLogText(const char* text, bool scrambled);
// Plain: the text and CR LF. Scrambled: the XORed copy through the text writer, no final line end.
bool writeLogLine(const char* text, bool scrambled);

// The key scrambled log texts are XORed with.
extern const uint8_t LOG_SCRAMBLE_KEY;

// Appends text with each LF as CR LF (and CR LF at the end when asked); returns the count the file
// layer's text writer reports: each non-empty line's length plus one.
uint32_t appendWindowsText(std::string& out, const char* text, bool finalLineEnd);
