// Opens any bytes as a WAV file, then reads its data in stream-sized blocks, rewinds, and reads it
// whole as a sample load does.
#include "FuzzSupport.h"
#include "audio/WavFile.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    const fuzz::InputFile input("input.wav", data, size);
    CWavFile wave;
    if (!wave.Open("input.wav")) return 0;
    // Open refuses any data chunk that runs past the end of the file.
    if (wave.GetDataLength() > size) abort();
    std::vector<uint8_t> block(8192);
    uint32_t total = 0;
    while (uint32_t got = wave.Read(block.data(), static_cast<uint32_t>(block.size()))) total += got;
    if (total != wave.GetDataLength()) abort();
    wave.Rewind();
    std::vector<uint8_t> all(wave.GetDataLength() + 1);
    if (wave.Read(all.data(), 0) != wave.GetDataLength()) abort();
    return 0;
}
