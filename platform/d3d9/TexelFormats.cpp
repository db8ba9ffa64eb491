#include "TexelFormats.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace d3d9ref {

namespace {

enum Kind : uint8_t { ZERO, ONE, UNORM, SNORM };

struct Channel {
    Kind kind;
    uint8_t bits;
    uint8_t shift;
};

enum Special : uint8_t { PLAIN, LUMINANCE, PALETTE, ALPHA_PALETTE };

struct Layout {
    D3DFORMAT format;
    uint8_t bytes;
    Special special;
    Channel r, g, b, a;  // luminance formats keep L in r
};

constexpr Channel Z{ZERO, 0, 0}, O{ONE, 0, 0};
constexpr Channel U(uint8_t bits, uint8_t shift) { return Channel{UNORM, bits, shift}; }
constexpr Channel S(uint8_t bits, uint8_t shift) { return Channel{SNORM, bits, shift}; }

const Layout LAYOUTS[] = {
    {D3DFMT_A8R8G8B8, 4, PLAIN, U(8, 16), U(8, 8), U(8, 0), U(8, 24)},
    {D3DFMT_X8R8G8B8, 4, PLAIN, U(8, 16), U(8, 8), U(8, 0), O},
    {D3DFMT_R8G8B8, 3, PLAIN, U(8, 16), U(8, 8), U(8, 0), O},
    {D3DFMT_R5G6B5, 2, PLAIN, U(5, 11), U(6, 5), U(5, 0), O},
    {D3DFMT_X1R5G5B5, 2, PLAIN, U(5, 10), U(5, 5), U(5, 0), O},
    {D3DFMT_A1R5G5B5, 2, PLAIN, U(5, 10), U(5, 5), U(5, 0), U(1, 15)},
    {D3DFMT_A4R4G4B4, 2, PLAIN, U(4, 8), U(4, 4), U(4, 0), U(4, 12)},
    {D3DFMT_X4R4G4B4, 2, PLAIN, U(4, 8), U(4, 4), U(4, 0), O},
    {D3DFMT_R3G3B2, 1, PLAIN, U(3, 5), U(3, 2), U(2, 0), O},
    {D3DFMT_A8R3G3B2, 2, PLAIN, U(3, 5), U(3, 2), U(2, 0), U(8, 8)},
    {D3DFMT_A8, 1, PLAIN, Z, Z, Z, U(8, 0)},
    {D3DFMT_L8, 1, LUMINANCE, U(8, 0), Z, Z, O},
    {D3DFMT_A8L8, 2, LUMINANCE, U(8, 0), Z, Z, U(8, 8)},
    {D3DFMT_A4L4, 1, LUMINANCE, U(4, 0), Z, Z, U(4, 4)},
    {D3DFMT_V8U8, 2, PLAIN, S(8, 0), S(8, 8), O, O},
    {D3DFMT_L6V5U5, 2, PLAIN, S(5, 0), S(5, 5), U(6, 10), O},
    {D3DFMT_X8L8V8U8, 4, PLAIN, S(8, 0), S(8, 8), U(8, 16), O},
    {D3DFMT_Q8W8V8U8, 4, PLAIN, S(8, 0), S(8, 8), S(8, 16), S(8, 24)},
    {D3DFMT_V16U16, 4, PLAIN, S(16, 0), S(16, 16), O, O},
    {D3DFMT_P8, 1, PALETTE, U(8, 0), Z, Z, O},
    {D3DFMT_A8P8, 2, ALPHA_PALETTE, U(8, 0), Z, Z, U(8, 8)},
};

const Layout* layoutOf(D3DFORMAT format)
{
    for (const Layout& l : LAYOUTS)
        if (l.format == format) return &l;
    return nullptr;
}

bool isDXT(D3DFORMAT f)
{
    return f == D3DFMT_DXT1 || f == D3DFMT_DXT2 || f == D3DFMT_DXT3 || f == D3DFMT_DXT4 || f == D3DFMT_DXT5;
}

bool isYUV(D3DFORMAT f) { return f == D3DFMT_UYVY || f == D3DFMT_YUY2; }

uint32_t load(const uint8_t* p, uint32_t bytes)
{
    uint32_t v = 0;
    for (uint32_t i = 0; i < bytes; ++i) v |= uint32_t(p[i]) << (8 * i);
    return v;
}

void store(uint8_t* p, uint32_t bytes, uint32_t v)
{
    for (uint32_t i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

float readChannel(const Channel& c, uint32_t word)
{
    switch (c.kind) {
    case ZERO: return 0.0f;
    case ONE: return 1.0f;
    case UNORM: {
        const uint32_t max = (1u << c.bits) - 1;
        return float((word >> c.shift) & max) / float(max);
    }
    case SNORM: {
        const uint32_t mask = (1u << c.bits) - 1;
        int32_t v = int32_t((word >> c.shift) & mask);
        if (v & (1 << (c.bits - 1))) v -= 1 << c.bits;
        return std::max(float(v) / float((1 << (c.bits - 1)) - 1), -1.0f);
    }
    }
    return 0.0f;
}

uint32_t writeChannel(const Channel& c, float value)
{
    if (c.kind == UNORM) {
        const uint32_t max = (1u << c.bits) - 1;
        return uint32_t(std::lround(std::clamp(value, 0.0f, 1.0f) * float(max))) << c.shift;
    }
    if (c.kind == SNORM) {
        const int32_t max = (1 << (c.bits - 1)) - 1;
        const int32_t v = int32_t(std::lround(std::clamp(value, -1.0f, 1.0f) * float(max)));
        return (uint32_t(v) & ((1u << c.bits) - 1)) << c.shift;
    }
    return 0;
}

float luminance(const Texel& t) { return 0.2125f * t.r + 0.7154f * t.g + 0.0721f * t.b; }

uint8_t toByte(float v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); }

// Nearest palette entry; alpha counts when the palette's flags carry it.
uint8_t nearestEntry(const PALETTEENTRY* palette, const Texel& t, bool withAlpha)
{
    const int r = toByte(t.r), g = toByte(t.g), b = toByte(t.b), a = toByte(t.a);
    int best = 0, bestDistance = 1 << 30;
    for (int i = 0; i < 256; ++i) {
        const PALETTEENTRY& p = palette[i];
        int d = (p.peRed - r) * (p.peRed - r) + (p.peGreen - g) * (p.peGreen - g) + (p.peBlue - b) * (p.peBlue - b);
        if (withAlpha) d += (p.peFlags - a) * (p.peFlags - a);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return static_cast<uint8_t>(best);
}

// ---- YUV (BT.601, studio range), two texels sharing one chroma pair ----

void yuvToTexel(int y, int u, int v, Texel& t)
{
    const float c = 1.164f * float(y - 16), d = float(u - 128), e = float(v - 128);
    t.r = std::clamp((c + 1.596f * e) / 255.0f, 0.0f, 1.0f);
    t.g = std::clamp((c - 0.392f * d - 0.813f * e) / 255.0f, 0.0f, 1.0f);
    t.b = std::clamp((c + 2.017f * d) / 255.0f, 0.0f, 1.0f);
    t.a = 1.0f;
}

void texelToYUV(const Texel& t, float& y, float& u, float& v)
{
    const float r = std::clamp(t.r, 0.0f, 1.0f), g = std::clamp(t.g, 0.0f, 1.0f), b = std::clamp(t.b, 0.0f, 1.0f);
    y = 16.0f + 65.481f * r + 128.553f * g + 24.966f * b;
    u = 128.0f - 37.797f * r - 74.203f * g + 112.0f * b;
    v = 128.0f + 112.0f * r - 93.786f * g - 18.214f * b;
}

// ---- DXT ----

struct Colour {
    int r, g, b;
};

Colour expand565(uint16_t c)
{
    const int r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
    return Colour{(r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2)};
}

uint16_t pack565(int r, int g, int b)
{
    auto q = [](int v, int max) { return std::clamp((v * max + 127) / 255, 0, max); };
    return static_cast<uint16_t>((q(r, 31) << 11) | (q(g, 63) << 5) | q(b, 31));
}

// Decodes the colour half of a block into 16 BGRA texels; `threeColour` allows DXT1's mode with
// a transparent fourth entry.
void decodeColourBlock(const uint8_t* block, bool threeColour, uint8_t out[16][4])
{
    const uint16_t c0 = uint16_t(block[0] | (block[1] << 8)), c1 = uint16_t(block[2] | (block[3] << 8));
    const Colour a = expand565(c0), b = expand565(c1);
    uint8_t table[4][4];
    auto set = [&](int i, int r, int g, int bl, int alpha) {
        table[i][0] = uint8_t(bl);
        table[i][1] = uint8_t(g);
        table[i][2] = uint8_t(r);
        table[i][3] = uint8_t(alpha);
    };
    set(0, a.r, a.g, a.b, 255);
    set(1, b.r, b.g, b.b, 255);
    if (c0 > c1 || !threeColour) {
        set(2, (2 * a.r + b.r) / 3, (2 * a.g + b.g) / 3, (2 * a.b + b.b) / 3, 255);
        set(3, (a.r + 2 * b.r) / 3, (a.g + 2 * b.g) / 3, (a.b + 2 * b.b) / 3, 255);
    } else {
        set(2, (a.r + b.r) / 2, (a.g + b.g) / 2, (a.b + b.b) / 2, 255);
        set(3, 0, 0, 0, 0);
    }
    const uint32_t indices = load(block + 4, 4);
    for (int i = 0; i < 16; ++i) std::memcpy(out[i], table[(indices >> (2 * i)) & 3], 4);
}

void decodeAlphaBlock(const uint8_t* block, uint8_t out[16][4])
{
    const int a0 = block[0], a1 = block[1];
    int table[8] = {a0, a1};
    if (a0 > a1) {
        for (int i = 1; i < 7; ++i) table[i + 1] = ((7 - i) * a0 + i * a1) / 7;
    } else {
        for (int i = 1; i < 5; ++i) table[i + 1] = ((5 - i) * a0 + i * a1) / 5;
        table[6] = 0;
        table[7] = 255;
    }
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i) bits |= uint64_t(block[2 + i]) << (8 * i);
    for (int i = 0; i < 16; ++i) out[i][3] = uint8_t(table[(bits >> (3 * i)) & 7]);
}

uint32_t blockBytes(D3DFORMAT f) { return f == D3DFMT_DXT1 ? 8 : 16; }

void decodeBlock(D3DFORMAT f, const uint8_t* block, uint8_t out[16][4])
{
    if (f == D3DFMT_DXT1) {
        decodeColourBlock(block, true, out);
        return;
    }
    decodeColourBlock(block + 8, false, out);
    if (f == D3DFMT_DXT2 || f == D3DFMT_DXT3) {
        const uint64_t bits = load(block, 4) | (uint64_t(load(block + 4, 4)) << 32);
        for (int i = 0; i < 16; ++i) out[i][3] = uint8_t(((bits >> (4 * i)) & 15) * 17);
    } else {
        decodeAlphaBlock(block, out);
    }
}

int distance(const uint8_t* p, const int* c)
{
    const int db = p[0] - c[0], dg = p[1] - c[1], dr = p[2] - c[2];
    return dr * dr + dg * dg + db * db;
}

// The colour half of a block from 16 BGRA texels: end points at the extremes of the texels along
// their main axis, each texel given the nearest of the palette entries.
void encodeColourBlock(const uint8_t texels[16][4], bool allowTransparent, uint8_t* block)
{
    bool transparent[16];
    bool anyTransparent = false;
    float mean[3] = {0, 0, 0};
    int opaque = 0;
    for (int i = 0; i < 16; ++i) {
        transparent[i] = allowTransparent && texels[i][3] < 128;
        anyTransparent |= transparent[i];
        if (transparent[i]) continue;
        for (int c = 0; c < 3; ++c) mean[c] += texels[i][c];
        ++opaque;
    }
    uint16_t c0 = 0, c1 = 0;
    if (opaque > 0) {
        for (float& m : mean) m /= float(opaque);
        float cov[6] = {0, 0, 0, 0, 0, 0};
        for (int i = 0; i < 16; ++i) {
            if (transparent[i]) continue;
            const float d[3] = {texels[i][0] - mean[0], texels[i][1] - mean[1], texels[i][2] - mean[2]};
            cov[0] += d[0] * d[0];
            cov[1] += d[0] * d[1];
            cov[2] += d[0] * d[2];
            cov[3] += d[1] * d[1];
            cov[4] += d[1] * d[2];
            cov[5] += d[2] * d[2];
        }
        // The power iteration starts from the covariance column of the widest channel, which is
        // never orthogonal to the main axis the way a fixed start can be.
        const float diag[3] = {cov[0], cov[3], cov[5]};
        const int widest = diag[0] >= diag[1] && diag[0] >= diag[2] ? 0 : diag[1] >= diag[2] ? 1 : 2;
        const float columns[3][3] = {{cov[0], cov[1], cov[2]}, {cov[1], cov[3], cov[4]}, {cov[2], cov[4], cov[5]}};
        float axis[3] = {columns[widest][0], columns[widest][1], columns[widest][2]};
        if (std::fabs(axis[0]) + std::fabs(axis[1]) + std::fabs(axis[2]) < 1e-6f) axis[0] = axis[1] = axis[2] = 1;
        for (int step = 0; step < 8; ++step) {
            const float x = cov[0] * axis[0] + cov[1] * axis[1] + cov[2] * axis[2];
            const float y = cov[1] * axis[0] + cov[3] * axis[1] + cov[4] * axis[2];
            const float z = cov[2] * axis[0] + cov[4] * axis[1] + cov[5] * axis[2];
            const float length = std::max({std::fabs(x), std::fabs(y), std::fabs(z)});
            if (length < 1e-6f) break;
            axis[0] = x / length;
            axis[1] = y / length;
            axis[2] = z / length;
        }
        float lo = 1e30f, hi = -1e30f;
        int loIndex = 0, hiIndex = 0;
        for (int i = 0; i < 16; ++i) {
            if (transparent[i]) continue;
            const float p = (texels[i][0] - mean[0]) * axis[0] + (texels[i][1] - mean[1]) * axis[1] +
                            (texels[i][2] - mean[2]) * axis[2];
            if (p < lo) {
                lo = p;
                loIndex = i;
            }
            if (p > hi) {
                hi = p;
                hiIndex = i;
            }
        }
        c0 = pack565(texels[hiIndex][2], texels[hiIndex][1], texels[hiIndex][0]);
        c1 = pack565(texels[loIndex][2], texels[loIndex][1], texels[loIndex][0]);
    }
    // Four colours need c0 > c1, three (with transparency) c0 <= c1.
    if (anyTransparent ? c0 > c1 : c0 < c1) std::swap(c0, c1);
    const bool equal = c0 == c1;
    block[0] = uint8_t(c0);
    block[1] = uint8_t(c0 >> 8);
    block[2] = uint8_t(c1);
    block[3] = uint8_t(c1 >> 8);
    const bool threeColour = allowTransparent && c0 <= c1;
    const Colour e0 = expand565(c0), e1 = expand565(c1);
    int table[4][3] = {{e0.b, e0.g, e0.r}, {e1.b, e1.g, e1.r}};
    for (int c = 0; c < 3; ++c) {
        const int x = c == 0 ? e0.b : c == 1 ? e0.g : e0.r, y = c == 0 ? e1.b : c == 1 ? e1.g : e1.r;
        table[2][c] = threeColour ? (x + y) / 2 : (2 * x + y) / 3;
        table[3][c] = (x + 2 * y) / 3;
    }
    uint32_t indices = 0;
    for (int i = 0; i < 16; ++i) {
        int best = 0;
        if (transparent[i]) {
            best = 3;
        } else if (!equal) {
            int bestDistance = 1 << 30;
            for (int e = 0; e < (threeColour ? 3 : 4); ++e) {
                const int d = distance(texels[i], table[e]);
                if (d < bestDistance) {
                    bestDistance = d;
                    best = e;
                }
            }
        }
        indices |= uint32_t(best) << (2 * i);
    }
    store(block + 4, 4, indices);
}

void encodeAlphaBlock(const uint8_t texels[16][4], uint8_t* block)
{
    int lo = 255, hi = 0;
    for (int i = 0; i < 16; ++i) {
        lo = std::min<int>(lo, texels[i][3]);
        hi = std::max<int>(hi, texels[i][3]);
    }
    block[0] = uint8_t(hi);
    block[1] = uint8_t(lo);
    int table[8] = {hi, lo};
    for (int i = 1; i < 7; ++i) table[i + 1] = ((7 - i) * hi + i * lo) / 7;
    uint64_t bits = 0;
    for (int i = 0; i < 16; ++i) {
        int best = 0, bestDistance = 1 << 30;
        if (hi != lo)
            for (int e = 0; e < 8; ++e) {
                const int d = std::abs(texels[i][3] - table[e]);
                if (d < bestDistance) {
                    bestDistance = d;
                    best = e;
                }
            }
        bits |= uint64_t(best) << (3 * i);
    }
    for (int i = 0; i < 6; ++i) block[2 + i] = uint8_t(bits >> (8 * i));
}

}  // namespace

bool canConvert(D3DFORMAT format) { return layoutOf(format) || isDXT(format) || isYUV(format); }

bool isSignedFormat(D3DFORMAT format)
{
    const Layout* l = layoutOf(format);
    return l && (l->r.kind == SNORM || l->g.kind == SNORM || l->b.kind == SNORM || l->a.kind == SNORM);
}

bool isPalettised(D3DFORMAT format) { return format == D3DFMT_P8 || format == D3DFMT_A8P8; }

uint32_t rowBytes(D3DFORMAT format, uint32_t width)
{
    if (isDXT(format)) return std::max(1u, (width + 3) / 4) * blockBytes(format);
    if (isYUV(format)) return ((width + 1) / 2) * 4;
    const Layout* l = layoutOf(format);
    return l ? width * l->bytes : 0;
}

uint32_t rowCount(D3DFORMAT format, uint32_t height) { return isDXT(format) ? std::max(1u, (height + 3) / 4) : height; }

bool readTexels(D3DFORMAT format, const uint8_t* bits, uint32_t pitch, uint32_t width, uint32_t height,
                const PALETTEENTRY* palette, Texel* out)
{
    if (isDXT(format)) {
        std::vector<uint8_t> bgra(size_t(width) * height * 4);
        decodeDXT(format, bits, pitch, width, height, bgra.data(), width * 4);
        for (size_t i = 0; i < size_t(width) * height; ++i)
            out[i] = Texel{bgra[i * 4 + 2] / 255.0f, bgra[i * 4 + 1] / 255.0f, bgra[i * 4] / 255.0f, bgra[i * 4 + 3] / 255.0f};
        return true;
    }
    if (isYUV(format)) {
        const bool yuy2 = format == D3DFMT_YUY2;
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* row = bits + size_t(y) * pitch;
            for (uint32_t x = 0; x < width; ++x) {
                const uint8_t* pair = row + (x / 2) * 4;
                const int luma = yuy2 ? pair[(x & 1) * 2] : pair[1 + (x & 1) * 2];
                const int u = yuy2 ? pair[1] : pair[0], v = yuy2 ? pair[3] : pair[2];
                yuvToTexel(luma, u, v, out[size_t(y) * width + x]);
            }
        }
        return true;
    }
    const Layout* l = layoutOf(format);
    if (!l) return false;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = bits + size_t(y) * pitch;
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t word = load(row + size_t(x) * l->bytes, l->bytes);
            Texel& t = out[size_t(y) * width + x];
            switch (l->special) {
            case PALETTE:
            case ALPHA_PALETTE: {
                const uint32_t index = word & 0xFF;
                const PALETTEENTRY p = palette ? palette[index] : PALETTEENTRY{255, 255, 255, 255};
                t = Texel{p.peRed / 255.0f, p.peGreen / 255.0f, p.peBlue / 255.0f, p.peFlags / 255.0f};
                if (l->special == ALPHA_PALETTE) t.a = readChannel(l->a, word);
                break;
            }
            case LUMINANCE: {
                const float lum = readChannel(l->r, word);
                t = Texel{lum, lum, lum, readChannel(l->a, word)};
                break;
            }
            default:
                t = Texel{readChannel(l->r, word), readChannel(l->g, word), readChannel(l->b, word),
                          readChannel(l->a, word)};
            }
        }
    }
    return true;
}

bool writeTexels(D3DFORMAT format, const Texel* in, uint32_t width, uint32_t height, const PALETTEENTRY* palette,
                 uint8_t* bits, uint32_t pitch)
{
    if (isDXT(format)) {
        std::vector<uint8_t> bgra(size_t(width) * height * 4);
        for (size_t i = 0; i < size_t(width) * height; ++i) {
            bgra[i * 4] = toByte(in[i].b);
            bgra[i * 4 + 1] = toByte(in[i].g);
            bgra[i * 4 + 2] = toByte(in[i].r);
            bgra[i * 4 + 3] = toByte(in[i].a);
        }
        encodeDXT(format, bgra.data(), width * 4, width, height, bits, pitch);
        return true;
    }
    if (isYUV(format)) {
        const bool yuy2 = format == D3DFMT_YUY2;
        for (uint32_t y = 0; y < height; ++y) {
            uint8_t* row = bits + size_t(y) * pitch;
            for (uint32_t x = 0; x < width; x += 2) {
                float y0, u0, v0, y1, u1, v1;
                const Texel& a = in[size_t(y) * width + x];
                texelToYUV(a, y0, u0, v0);
                texelToYUV(x + 1 < width ? in[size_t(y) * width + x + 1] : a, y1, u1, v1);
                auto b = [](float v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 255.0f))); };
                uint8_t* pair = row + (x / 2) * 4;
                const uint8_t u = b((u0 + u1) / 2), v = b((v0 + v1) / 2);
                if (yuy2) {
                    pair[0] = b(y0), pair[1] = u, pair[2] = b(y1), pair[3] = v;
                } else {
                    pair[0] = u, pair[1] = b(y0), pair[2] = v, pair[3] = b(y1);
                }
            }
        }
        return true;
    }
    const Layout* l = layoutOf(format);
    if (!l) return false;
    if ((l->special == PALETTE || l->special == ALPHA_PALETTE) && !palette) return false;
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = bits + size_t(y) * pitch;
        for (uint32_t x = 0; x < width; ++x) {
            const Texel& t = in[size_t(y) * width + x];
            uint32_t word = 0;
            switch (l->special) {
            case PALETTE: word = nearestEntry(palette, t, true); break;
            case ALPHA_PALETTE: word = nearestEntry(palette, t, false) | writeChannel(l->a, t.a); break;
            case LUMINANCE: word = writeChannel(l->r, luminance(t)) | writeChannel(l->a, t.a); break;
            default:
                word = writeChannel(l->r, t.r) | writeChannel(l->g, t.g) | writeChannel(l->b, t.b) |
                       writeChannel(l->a, t.a);
            }
            store(row + size_t(x) * l->bytes, l->bytes, word);
        }
    }
    return true;
}

void decodeDXT(D3DFORMAT format, const uint8_t* blocks, uint32_t pitch, uint32_t width, uint32_t height,
               uint8_t* bgra, uint32_t outPitch)
{
    const uint32_t size = blockBytes(format);
    uint8_t texels[16][4];
    for (uint32_t by = 0; by * 4 < height; ++by) {
        const uint8_t* row = blocks + size_t(by) * pitch;
        for (uint32_t bx = 0; bx * 4 < width; ++bx) {
            decodeBlock(format, row + size_t(bx) * size, texels);
            for (uint32_t y = 0; y < 4 && by * 4 + y < height; ++y) {
                uint8_t* out = bgra + size_t(by * 4 + y) * outPitch + size_t(bx) * 16;
                const uint32_t n = std::min(4u, width - bx * 4);
                std::memcpy(out, texels[y * 4], n * 4);
            }
        }
    }
}

void encodeDXT(D3DFORMAT format, const uint8_t* bgra, uint32_t inPitch, uint32_t width, uint32_t height,
               uint8_t* blocks, uint32_t pitch)
{
    const uint32_t size = blockBytes(format);
    const bool premultiply = format == D3DFMT_DXT2 || format == D3DFMT_DXT4;
    uint8_t texels[16][4];
    for (uint32_t by = 0; by * 4 < std::max(height, 1u); ++by) {
        uint8_t* row = blocks + size_t(by) * pitch;
        for (uint32_t bx = 0; bx * 4 < std::max(width, 1u); ++bx) {
            // Texels outside a small level repeat the nearest one inside.
            for (uint32_t i = 0; i < 16; ++i) {
                const uint32_t x = std::min(bx * 4 + i % 4, width - 1), y = std::min(by * 4 + i / 4, height - 1);
                std::memcpy(texels[i], bgra + size_t(y) * inPitch + size_t(x) * 4, 4);
                if (premultiply)
                    for (int c = 0; c < 3; ++c) texels[i][c] = uint8_t((texels[i][c] * texels[i][3] + 127) / 255);
            }
            uint8_t* block = row + size_t(bx) * size;
            if (format == D3DFMT_DXT1) {
                encodeColourBlock(texels, true, block);
                continue;
            }
            encodeColourBlock(texels, false, block + 8);
            if (format == D3DFMT_DXT2 || format == D3DFMT_DXT3) {
                uint64_t bits = 0;
                for (int i = 0; i < 16; ++i) bits |= uint64_t((texels[i][3] * 15 + 127) / 255) << (4 * i);
                for (int i = 0; i < 8; ++i) block[i] = uint8_t(bits >> (8 * i));
            } else {
                encodeAlphaBlock(texels, block);
            }
        }
    }
}

}  // namespace d3d9ref
