#include "d3d9gl/TextureStore.h"

#include "d3d9/TexelFormats.h"
#include "d3d9gl/StateValues.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace d3d9gl {

// How a format reaches GL.
enum class Upload : uint8_t {
    DIRECT,  // as it stands
    DXT,     // blocks decoded to B, G, R, A bytes
    BYTES,   // texels decoded to B, G, R, A bytes
    FLOATS,  // texels decoded to floats (signed channels beside unsigned ones)
};

struct TextureFormat {
    uint32_t d3d;
    GLenum internal, format, type;
    GLint swizzle[4];
    uint32_t bytes;  // per texel of what is uploaded directly
    Upload upload;
};

namespace {

enum : int {
    SAMP_ADDRESSU = 1, SAMP_ADDRESSV = 2, SAMP_ADDRESSW = 3, SAMP_BORDERCOLOR = 4, SAMP_MAGFILTER = 5,
    SAMP_MINFILTER = 6, SAMP_MIPFILTER = 7, SAMP_MIPMAPLODBIAS = 8, SAMP_MAXMIPLEVEL = 9, SAMP_MAXANISOTROPY = 10,
};
enum : uint32_t { TEXF_POINT = 1, TEXF_LINEAR = 2, TEXF_ANISOTROPIC = 3 };
constexpr GLenum MAX_ANISOTROPY = 0x84FE, MAX_ANISOTROPY_LIMIT = 0x84FF, MIRROR_CLAMP_TO_EDGE = 0x8743;

#define RGBA {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}
#define RGB1 {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}
#define DECODED(d3d) {d3d, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, RGBA, 4, Upload::BYTES}

const TextureFormat FORMATS[] = {
    {D3DFMT_A8R8G8B8, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, RGBA, 4, Upload::DIRECT},
    {D3DFMT_X8R8G8B8, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, RGB1, 4, Upload::DIRECT},
    {D3DFMT_R8G8B8, GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE, RGB1, 3, Upload::DIRECT},
    {D3DFMT_R5G6B5, GL_RGB8, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, RGB1, 2, Upload::DIRECT},
    {D3DFMT_X1R5G5B5, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, RGB1, 2, Upload::DIRECT},
    {D3DFMT_A1R5G5B5, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, RGBA, 2, Upload::DIRECT},
    {D3DFMT_A4R4G4B4, GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, RGBA, 2, Upload::DIRECT},
    {D3DFMT_X4R4G4B4, GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, RGB1, 2, Upload::DIRECT},
    {D3DFMT_A8, GL_R8, GL_RED, GL_UNSIGNED_BYTE, {GL_ZERO, GL_ZERO, GL_ZERO, GL_RED}, 1, Upload::DIRECT},
    {D3DFMT_L8, GL_R8, GL_RED, GL_UNSIGNED_BYTE, {GL_RED, GL_RED, GL_RED, GL_ONE}, 1, Upload::DIRECT},
    {D3DFMT_A8L8, GL_RG8, GL_RG, GL_UNSIGNED_BYTE, {GL_RED, GL_RED, GL_RED, GL_GREEN}, 2, Upload::DIRECT},
    // Bump formats sample as (u, v, 1, 1) or (u, v, w, q), signed.
    {D3DFMT_V8U8, GL_RG8_SNORM, GL_RG, GL_BYTE, {GL_RED, GL_GREEN, GL_ONE, GL_ONE}, 2, Upload::DIRECT},
    {D3DFMT_Q8W8V8U8, GL_RGBA8_SNORM, GL_RGBA, GL_BYTE, RGBA, 4, Upload::DIRECT},
    {D3DFMT_V16U16, GL_RG16_SNORM, GL_RG, GL_SHORT, {GL_RED, GL_GREEN, GL_ONE, GL_ONE}, 4, Upload::DIRECT},
    {D3DFMT_L6V5U5, GL_RGBA16F, GL_RGBA, GL_FLOAT, RGBA, 16, Upload::FLOATS},
    {D3DFMT_X8L8V8U8, GL_RGBA16F, GL_RGBA, GL_FLOAT, RGBA, 16, Upload::FLOATS},
    DECODED(D3DFMT_R3G3B2),
    DECODED(D3DFMT_A8R3G3B2),
    DECODED(D3DFMT_A4L4),
    DECODED(D3DFMT_P8),
    DECODED(D3DFMT_A8P8),
    DECODED(D3DFMT_UYVY),
    DECODED(D3DFMT_YUY2),
    {D3DFMT_DXT1, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, RGBA, 4, Upload::DXT},
    {D3DFMT_DXT2, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, RGBA, 4, Upload::DXT},
    {D3DFMT_DXT3, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, RGBA, 4, Upload::DXT},
    {D3DFMT_DXT4, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, RGBA, 4, Upload::DXT},
    {D3DFMT_DXT5, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, RGBA, 4, Upload::DXT},
};

#undef DECODED
#undef RGB1
#undef RGBA

const TextureFormat* findFormat(uint32_t d3d)
{
    for (const TextureFormat& f : FORMATS)
        if (f.d3d == d3d) return &f;
    return nullptr;
}

bool hasExtension(const char* name)
{
    GLint count = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    for (GLint i = 0; i < count; ++i) {
        const char* e = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i)));
        if (e && std::strcmp(e, name) == 0) return true;
    }
    return false;
}

GLenum minFilter(uint32_t min, uint32_t mip)
{
    const bool linear = min >= TEXF_LINEAR;
    if (mip == TEXF_POINT) return linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    if (mip >= TEXF_LINEAR) return linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    return linear ? GL_LINEAR : GL_NEAREST;
}

}  // namespace

void TextureStore::init(int stages)
{
    m_samplers.assign(static_cast<size_t>(stages), 0);
    std::array<uint32_t, 9> unset;
    unset.fill(0xFFFFFFFFu);
    m_samplerKeys.assign(static_cast<size_t>(stages), unset);
    m_units.assign(static_cast<size_t>(stages), Unit());
    m_activeUnit = -1;
    glGenSamplers(stages, m_samplers.data());
    m_maxAnisotropy = 1.0f;
    if (hasExtension("GL_EXT_texture_filter_anisotropic") || hasExtension("GL_ARB_texture_filter_anisotropic"))
        glGetFloatv(MAX_ANISOTROPY_LIMIT, &m_maxAnisotropy);
    m_mirrorOnce = hasExtension("GL_ARB_texture_mirror_clamp_to_edge") || hasExtension("GL_EXT_texture_mirror_clamp") ||
                   hasExtension("GL_ATI_texture_mirror_once");
}

void TextureStore::destroy()
{
    for (Texture& t : m_textures)
        if (t.id) glDeleteTextures(1, &t.id);
    m_textures.clear();
    if (!m_samplers.empty()) glDeleteSamplers(static_cast<GLsizei>(m_samplers.size()), m_samplers.data());
    m_samplers.clear();
    m_samplerKeys.clear();
    m_units.clear();
    m_scratch.clear();
    m_scratch.shrink_to_fit();
}

bool TextureStore::canSample(uint32_t format) { return findFormat(format) != nullptr; }

bool TextureStore::canRenderTo(uint32_t format)
{
    const TextureFormat* f = findFormat(format);
    return f && f->upload == Upload::DIRECT &&
           (f->internal == GL_RGBA8 || f->internal == GL_RGB8 || f->internal == GL_RGB5_A1 || f->internal == GL_RGBA4);
}

uint32_t TextureStore::create(uint32_t width, uint32_t height, uint32_t levels, uint32_t format, bool cube)
{
    const TextureFormat* f = findFormat(format);
    if (!f || width == 0 || height == 0 || (cube && width != height)) return 0;
    Texture t;
    t.width = width;
    t.height = height;
    t.levels = std::max(levels, 1u);
    t.format = f;
    t.cube = cube;
    const GLenum target = cube ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
    glGenTextures(1, &t.id);
    bindForUpdate(t.id, cube);
    for (uint32_t face = 0; face < (cube ? 6u : 1u); ++face)
        for (uint32_t l = 0; l < t.levels; ++l)
            glTexImage2D(cube ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + face : GL_TEXTURE_2D, static_cast<GLint>(l),
                         static_cast<GLint>(f->internal), static_cast<GLsizei>(std::max(width >> l, 1u)),
                         static_cast<GLsizei>(std::max(height >> l, 1u)), 0, f->format, f->type, nullptr);
    glTexParameteri(target, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(target, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(t.levels - 1));
    glTexParameteriv(target, GL_TEXTURE_SWIZZLE_RGBA, f->swizzle);
    for (size_t i = 0; i < m_textures.size(); ++i)
        if (!m_textures[i].id) {
            m_textures[i] = t;
            return static_cast<uint32_t>(i + 1);
        }
    m_textures.push_back(t);
    return static_cast<uint32_t>(m_textures.size());
}

void TextureStore::update(uint32_t texture, uint32_t level, uint32_t face, const void* data, uint32_t pitch,
                          const void* palette)
{
    if (texture == 0 || texture > m_textures.size() || !data) return;
    const Texture& t = m_textures[texture - 1];
    if (!t.id || level >= t.levels || face >= (t.cube ? 6u : 1u)) return;
    const TextureFormat& f = *t.format;
    const uint32_t w = std::max(t.width >> level, 1u), h = std::max(t.height >> level, 1u);
    const auto* bytes = static_cast<const uint8_t*>(data);
    const D3DFORMAT format = static_cast<D3DFORMAT>(f.d3d);
    const void* pixels = bytes;
    GLint rowLength = 0;
    switch (f.upload) {
    case Upload::DIRECT:
        if (pitch % f.bytes == 0) {
            rowLength = static_cast<GLint>(pitch / f.bytes);
        } else {
            m_scratch.resize(size_t(w) * h * f.bytes);
            for (uint32_t y = 0; y < h; ++y)
                std::memcpy(&m_scratch[size_t(y) * w * f.bytes], bytes + size_t(y) * pitch, size_t(w) * f.bytes);
            pixels = m_scratch.data();
        }
        break;
    case Upload::DXT:
        m_scratch.resize(size_t(w) * h * 4);
        d3d9ref::decodeDXT(format, bytes, pitch, w, h, m_scratch.data(), w * 4);
        pixels = m_scratch.data();
        break;
    case Upload::BYTES:
    case Upload::FLOATS: {
        std::vector<d3d9ref::Texel> texels(size_t(w) * h);
        d3d9ref::readTexels(format, bytes, pitch, w, h, static_cast<const PALETTEENTRY*>(palette), texels.data());
        if (f.upload == Upload::FLOATS) {
            m_scratch.resize(texels.size() * sizeof(d3d9ref::Texel));
            std::memcpy(m_scratch.data(), texels.data(), m_scratch.size());
        } else {
            m_scratch.resize(texels.size() * 4);
            auto b = [](float v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
            for (size_t i = 0; i < texels.size(); ++i) {
                m_scratch[i * 4] = b(texels[i].b);
                m_scratch[i * 4 + 1] = b(texels[i].g);
                m_scratch[i * 4 + 2] = b(texels[i].r);
                m_scratch[i * 4 + 3] = b(texels[i].a);
            }
        }
        pixels = m_scratch.data();
        break;
    }
    }
    bindForUpdate(t.id, t.cube);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, rowLength);
    glTexSubImage2D(t.cube ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + face : GL_TEXTURE_2D, static_cast<GLint>(level), 0, 0,
                    static_cast<GLsizei>(w), static_cast<GLsizei>(h), f.format, f.type, pixels);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

void TextureStore::remove(uint32_t texture)
{
    if (texture == 0 || texture > m_textures.size()) return;
    Texture& t = m_textures[texture - 1];
    if (t.id) {
        // GL unbinds a deleted texture from every unit.
        for (Unit& u : m_units) {
            if (u.texture2D == t.id) u.texture2D = 0;
            if (u.cube == t.id) u.cube = 0;
        }
        glDeleteTextures(1, &t.id);
    }
    t = Texture();
}

void TextureStore::activate(int unit)
{
    if (m_activeUnit == unit) return;
    glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
    m_activeUnit = unit;
}

void TextureStore::bindForUpdate(unsigned id, bool cube)
{
    // Whichever unit is active: what it held is then known again at its next bind.
    if (m_activeUnit < 0) activate(0);
    Unit& u = m_units[static_cast<size_t>(m_activeUnit)];
    (cube ? u.cube : u.texture2D) = id;
    glBindTexture(cube ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D, id);
}

bool TextureStore::isCube(uint32_t texture) const
{
    return texture && texture <= m_textures.size() && m_textures[texture - 1].id && m_textures[texture - 1].cube;
}

bool TextureStore::attach(uint32_t texture, uint32_t level, uint32_t face, uint32_t& width, uint32_t& height) const
{
    if (texture == 0 || texture > m_textures.size()) return false;
    const Texture& t = m_textures[texture - 1];
    if (!t.id || level >= t.levels || face >= (t.cube ? 6u : 1u) || !canRenderTo(t.format->d3d)) return false;
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, t.cube ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + face : GL_TEXTURE_2D,
                           t.id, static_cast<GLint>(level));
    width = std::max(t.width >> level, 1u);
    height = std::max(t.height >> level, 1u);
    return true;
}

void TextureStore::bind(int unit, uint32_t texture, const uint32_t* ss)
{
    if (unit < 0 || static_cast<size_t>(unit) >= m_units.size()) return;
    Texture* t = texture && texture <= m_textures.size() && m_textures[texture - 1].id ? &m_textures[texture - 1] : nullptr;
    Unit& u = m_units[static_cast<size_t>(unit)];
    const GLuint flat = t && !t->cube ? t->id : 0, cube = t && t->cube ? t->id : 0;
    if (u.texture2D != flat) {
        activate(unit);
        glBindTexture(GL_TEXTURE_2D, flat);
        u.texture2D = flat;
    }
    if (u.cube != cube) {
        activate(unit);
        glBindTexture(GL_TEXTURE_CUBE_MAP, cube);
        u.cube = cube;
    }
    if (!t) return;
    // The largest level the device may use becomes the base of the chain; without a mip filter
    // only the top level is sampled.
    const uint32_t base = ss[SAMP_MIPFILTER] == 0 ? 0u : std::min(ss[SAMP_MAXMIPLEVEL], t->levels - 1);
    if (base != t->baseLevel) {
        activate(unit);
        glTexParameteri(t->cube ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, static_cast<GLint>(base));
        t->baseLevel = base;
    }
    const std::array<uint32_t, 9> key = {ss[SAMP_ADDRESSU],  ss[SAMP_ADDRESSV],      ss[SAMP_ADDRESSW],
                                 ss[SAMP_MAGFILTER], ss[SAMP_MINFILTER],     ss[SAMP_MIPFILTER],
                                 ss[SAMP_BORDERCOLOR], ss[SAMP_MIPMAPLODBIAS], ss[SAMP_MAXANISOTROPY]};
    const GLuint sampler = m_samplers[static_cast<size_t>(unit)];
    if (key != m_samplerKeys[static_cast<size_t>(unit)]) {
        m_samplerKeys[static_cast<size_t>(unit)] = key;
        auto address = [this](uint32_t a) -> GLint {
            switch (a) {
            case 2: return GL_MIRRORED_REPEAT;
            case 3: return GL_CLAMP_TO_EDGE;
            case 4: return GL_CLAMP_TO_BORDER;
            case 5: return m_mirrorOnce ? MIRROR_CLAMP_TO_EDGE : GL_MIRRORED_REPEAT;
            default: return GL_REPEAT;
            }
        };
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, address(key[0]));
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, address(key[1]));
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_R, address(key[2]));
        glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, key[3] >= TEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
        glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(minFilter(key[4], key[5])));
        float border[4];
        colourToFloats(key[6], border);
        glSamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, border);
        glSamplerParameterf(sampler, GL_TEXTURE_LOD_BIAS, asFloat(key[7]));
        if (m_maxAnisotropy > 1.0f) {
            const bool anisotropic = key[3] == TEXF_ANISOTROPIC || key[4] == TEXF_ANISOTROPIC;
            const float amount = anisotropic ? std::clamp(float(key[8]), 1.0f, m_maxAnisotropy) : 1.0f;
            glSamplerParameterf(sampler, MAX_ANISOTROPY, amount);
        }
    }
    if (u.sampler != sampler) {
        glBindSampler(static_cast<GLuint>(unit), sampler);
        u.sampler = sampler;
    }
}

}  // namespace d3d9gl
