// Writes clump files (versions 3 to 11) for tests, fuzz seeds, benchmarks and the sample data:
// describe the file, get the bytes. Each part is written only from the version that has it. Counts
// are derived from the data unless a field overrides them, so a test can also write a wrong one.
// A name is written as its length counting a terminating zero, then the bytes; an empty name as
// length 0; a name that already ends in a zero as it stands (so "\0" is a name of length 1).
//
//   clumpwriter::Type t;  t.States = {{0}};  t.Clumps = {{{{100, 200, 0}}}};
//   clumpwriter::File f;  f.Models = {{"data\\clumps\\rock.rsm", ""}};  f.Types = {t};
//   std::string bytes = clumpwriter::file(f);
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace clumpwriter {

const uint32_t MAGIC = 0x4E454743;  // "CGEN"
const uint16_t NO_SOUND = 32767;

struct Element {
    float Position[3] = {};  // z above the landscape
    float Rotation[4] = {0, 0, 0, 1};
    float Scale[3] = {1, 1, 1};
    uint32_t Colour = 0xFFFFFF;
    uint32_t DefaultState = 0;
};

struct Clump {
    std::vector<Element> Elements;
    int64_t NumElements = -1;
};

struct State {
    State(uint16_t model = 0, uint16_t sound = NO_SOUND, std::string effect = "")
        : Model(model), Sound(sound), Effect(std::move(effect))
    {
    }
    uint16_t Model;
    uint16_t Sound;  // from 7
    std::string Effect;
};

struct Type {
    uint32_t Team = 255;  // from 8
    uint32_t Index = 0;
    int64_t NumStates = -1;
    uint32_t SecondPair = 0;
    uint32_t ObjectType = 0;
    uint32_t Flags = 0;        // from 5
    uint32_t Further = 2;      // from 11
    std::string FireWeapon;    // from 6, when Flags has 2
    float FadeNear = -1, FadeFar = -1, SecondNear = -1, SecondFar = -1, Health = 0;  // from 4
    uint16_t FallSound = NO_SOUND;                                                    // from 7
    float SoundMinDistance = -1, SoundVolume = 1;                                     // from 9
    std::vector<State> States;
    std::vector<Clump> Clumps;
    int64_t NumClumps = -1;
};

struct Model {
    std::string Lod1, Lod0;  // file names; empty for none
};

struct File {
    uint32_t Magic = MAGIC;
    uint32_t Version = 11;
    std::vector<Model> Models;
    int64_t NumModels = -1;
    std::vector<std::string> Sounds;  // from 7
    int64_t NumSounds = -1;
    std::vector<Type> Types;
    int64_t NumTypes = -1;
};

inline void put(std::string& out, const void* data, size_t bytes) { out.append(static_cast<const char*>(data), bytes); }
inline void word(std::string& out, uint32_t w) { put(out, &w, 4); }
inline void half(std::string& out, uint16_t h) { put(out, &h, 2); }
inline void real(std::string& out, float f) { put(out, &f, 4); }
inline uint32_t count(int64_t given, size_t size) { return given < 0 ? static_cast<uint32_t>(size) : static_cast<uint32_t>(given); }

inline void name(std::string& out, const std::string& text)
{
    if (text.empty()) return word(out, 0);
    const bool zeroed = text.back() == '\0';
    word(out, static_cast<uint32_t>(text.size() + (zeroed ? 0 : 1)));
    out += text;
    if (!zeroed) out.push_back('\0');
}

inline void type(std::string& out, const Type& t, uint32_t v)
{
    if (v >= 8) word(out, t.Team);
    word(out, t.Index);
    word(out, count(t.NumStates, t.States.size()));
    word(out, t.SecondPair);
    word(out, t.ObjectType);
    if (v >= 5) word(out, t.Flags);
    if (v >= 11) word(out, t.Further);
    if (v >= 6 && (t.Flags & 2)) name(out, t.FireWeapon);
    if (v >= 4) {
        real(out, t.FadeNear);
        real(out, t.FadeFar);
        if (t.SecondPair) {
            real(out, t.SecondNear);
            real(out, t.SecondFar);
        }
        real(out, t.Health);
    }
    if (v >= 7) half(out, t.FallSound);
    if (v >= 9) {
        real(out, t.SoundMinDistance);
        real(out, t.SoundVolume);
    }
    for (const State& s : t.States) {
        half(out, s.Model);
        if (v >= 7) half(out, s.Sound);
        name(out, s.Effect);
    }
    word(out, count(t.NumClumps, t.Clumps.size()));
    for (const Clump& c : t.Clumps) {
        word(out, count(c.NumElements, c.Elements.size()));
        for (const Element& e : c.Elements) {
            put(out, e.Position, 12);
            put(out, e.Rotation, 16);
            put(out, e.Scale, 12);
            word(out, e.Colour);
            word(out, e.DefaultState);
        }
    }
}

inline std::string file(const File& f)
{
    std::string out;
    word(out, f.Magic);
    word(out, f.Version);
    word(out, count(f.NumModels, f.Models.size()));
    for (const Model& m : f.Models) {
        name(out, m.Lod1);
        name(out, m.Lod0);
    }
    if (f.Version >= 7) {
        word(out, count(f.NumSounds, f.Sounds.size()));
        for (const std::string& s : f.Sounds) name(out, s);
    }
    word(out, count(f.NumTypes, f.Types.size()));
    for (const Type& t : f.Types) type(out, t, f.Version);
    return out;
}

}  // namespace clumpwriter
