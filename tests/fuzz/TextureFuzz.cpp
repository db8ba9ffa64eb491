// Feeds random bytes to the TGA reader, or (FUZZ_XIM) to the .xim cache reader of the texture
// table, on the reference device with no window to draw into.
#include "FuzzDevice.h"
#include "d3dcore9/D3DCore.h"
#include "d3dcore9/TextureFiles.h"
#include "platform/testing.h"

#include <cstring>

namespace {

#ifdef FUZZ_XIM
// The device, and a source beside the cache so that a cache that is refused falls back to it.
Tex* bringUp()
{
    static Tex* format = nullptr;
    if (format) return format;
    const unsigned char header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 4, 0, 32, 0x28};
    unsigned char source[sizeof(header) + 64];
    std::memcpy(source, header, sizeof(header));
    for (int i = 0; i < 64; ++i) source[sizeof(header) + i] = static_cast<unsigned char>(i * 3);
    fuzz::writeInput("f.tga", source, sizeof(source));
    fuzz::startDevice();
    for (Tex* t = D3DCore.CurrentModeType->TextureFormats.First; t; t = t->Next)
        if (t->Format == D3DFMT_A8R8G8B8) format = t;
    return format;
}
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
#ifdef FUZZ_XIM
    Tex* format = bringUp();
    const fuzz::InputFile input("f.xim", data, size);
    TextureHandle h;
    if (!D3DCore.TextureTables.AddHWTexture("f.xim", format, 0, 1, false, false, &h, "fuzz")) abort();
    D3DCore.TextureTables.LoadTexture(h);
    D3DCore.TextureTables.ReleaseAllHWTextures();
#else
    const fuzz::InputFile input("f.tga", data, size);
    TGAImage image;
    const uint32_t depth = LoadTGA("f.tga", image, false);
    if (depth != 0 && (!image.Pixels || image.SizeX > MAX_TGA_EDGE || image.SizeY > MAX_TGA_EDGE)) abort();
#endif
    return 0;
}
