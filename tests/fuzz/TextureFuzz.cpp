// Feeds random bytes to the TGA reader, or (FUZZ_XIM) to the .xim cache reader of the texture
// table, on the reference device with no renderer.
#include "d3dcore9/D3DCore.h"
#include "d3dcore9/TextureFiles.h"
#include "platform/testing.h"
#include "utility/Assert.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

void quiet(const char*, const char*, const char*, int) {}

struct Folder {
    std::filesystem::path path;
    Tex* format = nullptr;
    Folder()
    {
        char pattern[] = "/tmp/veldrane-fuzz-XXXXXX";
        path = mkdtemp(pattern);
        std::filesystem::current_path(path);
        setAssertReportHook(quiet);
#ifdef FUZZ_XIM
        // A source beside the cache, so that a cache that is refused falls back to it.
        const unsigned char header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 4, 0, 32, 0x28};
        FILE* f = std::fopen("f.tga", "wb");
        std::fwrite(header, 1, sizeof(header), f);
        for (int i = 0; i < 64; ++i) std::fputc(i * 3, f);
        std::fclose(f);
        std::filesystem::create_directories("data");
        f = std::fopen("data/4CC.txt", "wb");
        std::fputs("3\nDXT1\nDXT3\nDXT5\n", f);
        std::fclose(f);
        platform::testing::resetD3D9();
        if (DXSetup::Load() != 0) std::abort();
        DXSetup::SetEnumFilter(GameEnumFilter());
        if (!D3DCore.Init()) std::abort();
        int32_t mode = D3DCore.FindMode(0, 0, 640, 480);
        D3DCore.SetMode(0, 0, mode, D3DCore.FindFormat(0, 0, mode, 32), 0, 0, true, 0, 0, 0);
        if (!D3DCore.CreateDevice(false, false, 1)) std::abort();
        for (Tex* t = D3DCore.CurrentModeType->TextureFormats.First; t; t = t->Next)
            if (t->Format == D3DFMT_A8R8G8B8) format = t;
#endif
    }
    ~Folder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Folder folder;
#ifdef FUZZ_XIM
    const char* name = "f.xim";
#else
    const char* name = "f.tga";
#endif
    FILE* f = std::fopen(name, "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
#ifdef FUZZ_XIM
    TextureHandle h;
    if (!D3DCore.TextureTables.AddHWTexture(name, folder.format, 0, 1, false, false, &h, "fuzz")) std::abort();
    D3DCore.TextureTables.LoadTexture(h);
    D3DCore.TextureTables.ReleaseAllHWTextures();
#else
    TGAImage image;
    const uint32_t depth = LoadTGA(name, image, false);
    if (depth != 0 && (!image.Pixels || image.SizeX > MAX_TGA_EDGE || image.SizeY > MAX_TGA_EDGE)) std::abort();
#endif
    return 0;
}
