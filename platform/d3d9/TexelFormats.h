// Texels of every texture format the reference device keeps, read into and written from one
// common form, and the DXT block codecs. D3DX converts surfaces through it; the OpenGL renderer
// decodes what GL cannot sample as it stands.
#pragma once

#include "platform/d3d9.h"

#include <cstdint>

namespace d3d9ref {

// One texel as colour channels 0..1 (signed formats -1..1). Channels a format lacks read as the
// device samples them: 1 for alpha and for the blue of two-channel bump formats, 0 for the colour of A8.
struct Texel {
    float r, g, b, a;
};

// Whether readTexels / writeTexels know the format.
bool canConvert(D3DFORMAT format);
bool isSignedFormat(D3DFORMAT format);
bool isPalettised(D3DFORMAT format);

// Bytes of one row of a level (a row of 4 x 4 blocks for DXT) and the number of rows.
uint32_t rowBytes(D3DFORMAT format, uint32_t width);
uint32_t rowCount(D3DFORMAT format, uint32_t height);

// A level of `format` (rows `pitch` bytes apart, block rows for DXT) as width x height texels.
// Palettised formats look their indices up in `palette` (flags as alpha); without one they read
// as white. False for a format it does not know.
bool readTexels(D3DFORMAT format, const uint8_t* bits, uint32_t pitch, uint32_t width, uint32_t height,
                const PALETTEENTRY* palette, Texel* out);
// The reverse: values are clamped to the format's range and rounded to its nearest step; DXT is
// encoded block by block; palettised formats take the nearest palette entry (false without one).
bool writeTexels(D3DFORMAT format, const Texel* in, uint32_t width, uint32_t height, const PALETTEENTRY* palette,
                 uint8_t* bits, uint32_t pitch);

// DXT1..DXT5 blocks to B, G, R, A bytes (rows `outPitch` bytes apart) and back. Edges of levels
// smaller than a block are read from, or written as, the part of the block that lies inside.
void decodeDXT(D3DFORMAT format, const uint8_t* blocks, uint32_t pitch, uint32_t width, uint32_t height,
               uint8_t* bgra, uint32_t outPitch);
void encodeDXT(D3DFORMAT format, const uint8_t* bgra, uint32_t inPitch, uint32_t width, uint32_t height,
               uint8_t* blocks, uint32_t pitch);

}  // namespace d3d9ref
