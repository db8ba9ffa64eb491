// The OpenGL copies of the device's textures and the sampler state they are drawn with.
//
// Formats GL samples as they stand are uploaded directly; the others (DXT blocks, palettised,
// 3-3-2, 4-bit luminance, YUV, mixed-sign bump layouts) are decoded to 8-bit or float texels on
// upload. Palettised textures are decoded through the palette given with their bytes. Handles
// are 1-based; 0 is no texture. Every call needs the renderer's GL context current.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace d3d9gl {

struct TextureFormat;

class TextureStore {
public:
    // After the context is made: samplers, and the extensions that anisotropy and mirror-once need.
    void init(int stages);
    void destroy();

    static bool canSample(uint32_t format);
    // Formats whose textures can be drawn into.
    static bool canRenderTo(uint32_t format);
    // A 2D texture, or a cube texture of six faces (width == height); 0 when the format cannot be sampled.
    uint32_t create(uint32_t width, uint32_t height, uint32_t levels, uint32_t format, bool cube);
    // One level of one face (cube faces numbered as the device numbers them, +X -X +Y -Y +Z -Z), rows
    // top first `pitch` bytes apart in the texture's own format; `palette` holds 256 entries of
    // red, green, blue and flags (the alpha) for palettised formats.
    void update(uint32_t texture, uint32_t level, uint32_t face, const void* data, uint32_t pitch,
                const void* palette);
    void remove(uint32_t texture);
    bool isCube(uint32_t texture) const;
    // Makes one level of one face the colour of the bound framebuffer; false, attaching nothing,
    // when there is no such level or its format cannot be drawn into.
    bool attach(uint32_t texture, uint32_t level, uint32_t face, uint32_t& width, uint32_t& height) const;

    // Binds a texture (0: none) to a unit with the device's sampler states of that stage: address
    // modes, border colour, filters, mip filter, LOD bias, largest mip level and anisotropy. Only
    // what differs from the unit's last binding reaches GL.
    void bind(int unit, uint32_t texture, const uint32_t* samplerStates);

private:
    // What each unit holds, as this store bound it (0: nothing).
    struct Unit {
        unsigned texture2D = 0, cube = 0, sampler = 0;
    };
    void activate(int unit);
    // Binds a texture to the active unit to be filled.
    void bindForUpdate(unsigned id, bool cube);

    struct Texture {
        unsigned id = 0;
        uint32_t width = 0, height = 0, levels = 0;
        const TextureFormat* format = nullptr;
        bool cube = false;
        uint32_t baseLevel = 0;
    };
    std::vector<Texture> m_textures;
    std::vector<unsigned> m_samplers;
    std::vector<std::array<uint32_t, 9>> m_samplerKeys;  // the states each sampler was last set from
    std::vector<Unit> m_units;
    int m_activeUnit = -1;  // -1: not known
    std::vector<uint8_t> m_scratch;
    float m_maxAnisotropy = 1.0f;
    bool m_mirrorOnce = false;
};

}  // namespace d3d9gl
