// Writes the sample data's sounds into a data folder:
//   sounds/bounce.wav   a short falling knock, 22050 Hz, 16-bit mono: the objects demo's bounce
//   sounds/splash.wav   a splash of water, 22050 Hz, 16-bit mono: the demo fountain's gush
//
//   sounddata <data folder>
#include "../DataFiles.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

void put16(std::string& out, uint16_t v) { out.append(reinterpret_cast<const char*>(&v), 2); }
void put32(std::string& out, uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }

std::string wav(const std::vector<int16_t>& samples, uint32_t rate)
{
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::string out = "RIFF";
    put32(out, 36 + dataBytes);
    out += "WAVEfmt ";
    put32(out, 16);
    put16(out, 1);  // PCM
    put16(out, 1);  // mono
    put32(out, rate);
    put32(out, rate * 2);
    put16(out, 2);
    put16(out, 16);
    out += "data";
    put32(out, dataBytes);
    out.append(reinterpret_cast<const char*>(samples.data()), dataBytes);
    return out;
}

// A knock: a tone sliding down an octave under a fast decay.
std::vector<int16_t> knock(uint32_t rate, float seconds)
{
    const double pi = 3.14159265358979;
    std::vector<int16_t> samples(static_cast<size_t>(rate * seconds));
    double phase = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        phase += 2 * pi * (220.0 + 220.0 * std::exp(-t * 30.0)) / rate;
        samples[i] = static_cast<int16_t>(std::lround(20000.0 * std::exp(-t * 25.0) * std::sin(phase)));
    }
    return samples;
}

// A splash: noise through a low-pass filter that opens and closes, with a few high drops after.
std::vector<int16_t> splash(uint32_t rate, float seconds)
{
    const double pi = 3.14159265358979;
    std::vector<int16_t> samples(static_cast<size_t>(rate * seconds));
    uint32_t seed = 12345;
    double low = 0, drop = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        seed = seed * 1664525u + 1013904223u;
        const double noise = static_cast<double>(seed >> 8) / (1u << 23) - 1.0;
        const double open = 0.05 + 0.5 * std::exp(-t * 8.0);
        low += open * (noise - low);
        const double gush = std::min(1.0, t * 40.0) * std::exp(-t * 6.0);
        // Drops: short rising chirps, one every eighth of a second after the gush.
        const double since = std::fmod(t, 0.125);
        drop = t > 0.15 ? std::sin(2 * pi * (900.0 + 4000.0 * since) * since) * std::exp(-since * 60.0) * 0.25 : 0.0;
        samples[i] = static_cast<int16_t>(std::lround(24000.0 * std::clamp(1.6 * low * gush + drop * std::exp(-t * 3.0), -1.0, 1.0)));
    }
    return samples;
}

}  // namespace

int main(int argc, char** argv)
{
    return datafiles::writeAll("sounddata", argc, argv,
                               {{"sounds/bounce.wav", wav(knock(22050, 0.15f), 22050)},
                                {"sounds/splash.wav", wav(splash(22050, 0.6f), 22050)}});
}
