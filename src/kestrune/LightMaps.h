// Light maps: the glow of dynamic point and spot lights painted on the landscape. For each light
// effect with a light-map part a textured, additively blended patch is laid over the ground cells
// under the light, sized by the light's height above the ground and tinted by its colour.
//
// The maps (a texture and a material each) are listed in "data\lights\lightmaps.txt":
//
//   ; light maps
//   2
//   spot.tga spotmap.mtl
//   point.tga pointmap.mtl
//
// the first used line the count, then one map a line, both names under "data\lights\". Map 0 is
// the default spot map, map 1 the default point map. The materials draw XYZ | TEX1 vertices.
//
// One object, LightMaps, owned by the light effects: Initialise at level load, then per viewport
// BeginLightMapping, DrawLightMapLight for each light, EndLightMapping; Shutdown with the level.
// Main thread only.
#pragma once

#include "platform/d3d9.h"
#include "utility/VectorMath.h"

#include <cstdint>

// A light as the light maps draw it (the light effects fill it).
struct LightMapLight {
    static constexpr uint8_t TYPE_POINT = 1;
    static constexpr uint8_t TYPE_SPOT = 2;
    static constexpr uint32_t DEFAULT_SPOT_MAP = 0;
    static constexpr uint32_t DEFAULT_POINT_MAP = 1;

    uint8_t Type = TYPE_POINT;
    Vector3 Position;
    Vector3 Direction;  // spot lights
    float Range = 0.0f;
    float NearSize[2] = {};  // patch half sizes in x and y with the light on the ground
    DWORD NearColour = 0xFF000000u;
    float FarSize[2] = {};   // with the light Range above the ground
    DWORD FarColour = 0xFF000000u;
    uint32_t Map = DEFAULT_POINT_MAP;
};

class CLightMaps {
public:
    static constexpr const char* LIST_FILE = "data\\lights\\lightmaps.txt";
    static constexpr uint32_t MAX_LINE = 512;
    static constexpr uint32_t MAX_LIGHT_MAPS = 256;
    static constexpr float MAX_HALF_SIZE = 3500.0f;
    static constexpr float HEIGHT_ABOVE_GROUND = 7.0f;
    static constexpr float MAX_STRETCH_SIZE = 6e7f;
    static constexpr float EPSILON = 1e-8f;

    CLightMaps() = default;
    ~CLightMaps();
    CLightMaps(const CLightMaps&) = delete;
    CLightMaps& operator=(const CLightMaps&) = delete;

    // Reads the list and loads each map's material with its texture. A missing list is reported
    // and leaves no maps. True when the list was read.
    bool Initialise();
    // Releases the materials.
    void Shutdown();
    uint32_t NumLightMaps() const { return m_numLightMaps; }
    // The map's material (state block), SB_NONE when it did not load.
    DWORD Material(uint32_t map) const;
    bool IsInitialised() const { return m_initialised; }

    // The identity world transform for the patches, which are written in world coordinates.
    void BeginLightMapping();
    void DrawLightMapLight(const LightMapLight& light);
    void EndLightMapping();

    // One patch centred on (x, y): half sizes along its own axes (axis: the unit direction of its
    // first axis on the ground, the second a quarter turn from it), drawn over the ground cells
    // its box covers in the map's material, tinted. Between begin and end.
    void DrawPatch(float x, float y, float halfA, float halfB, float axisX, float axisY, uint32_t map, DWORD tint);

    // Patch vertices written since the last reset (what the benchmark measures).
    uint64_t PatchVertices = 0;

private:
    bool ReadList(class CFile& file);
    bool LoadMap(uint32_t index, const char* texture, const char* material);

    uint32_t m_numLightMaps = 0;
    int32_t* m_pVertexBuffers = nullptr;  // one dynamic vertex buffer per map
    DWORD* m_pMaterials = nullptr;        // one state block per map
    bool m_begunLightMapping = false;
    bool m_initialised = false;
};

extern CLightMaps LightMaps;
