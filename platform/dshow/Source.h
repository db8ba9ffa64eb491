// What a filter graph plays: the decoded sound of one file as 44.1 kHz stereo floats, the mixer's
// own rate, so the graph's voice only scales and adds it.
#pragma once

#include "platform/win32/types.h"

#include <cstdint>
#include <memory>
#include <string>

namespace platform::dshow {

class Source {
public:
    virtual ~Source() = default;
    // Up to `frames` frames from where the last read ended; fewer only at the end of the sound or
    // after a read error.
    virtual DWORD read(float* out, DWORD frames) = 0;
    // A read came up short of what the file promised: it shrank, vanished or broke.
    virtual bool failed() const = 0;
    // Moves to an output frame; false when the file cannot seek there.
    virtual bool seek(uint64_t frame) = 0;
    // Output frames in the whole sound.
    virtual uint64_t length() const = 0;
    virtual const char* kind() const = 0;
};

// Our own reader, for RIFF WAVE files of 8- or 16-bit PCM in one or two channels. `handled` is
// false when the file is something else (another encoding or no RIFF WAVE at all) and another
// reader may try; null with `handled` true when the file is a broken WAV or cannot be read.
std::unique_ptr<Source> openWavSource(const std::string& path, bool* handled);

// FFmpeg's readers for every other file; null when none decodes sound from it.
std::unique_ptr<Source> openFfmpegSource(const std::string& path);

}  // namespace platform::dshow
