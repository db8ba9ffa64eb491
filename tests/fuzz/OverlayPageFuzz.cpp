// Feeds random bytes to the overlay page reader on the reference device with no renderer: the
// first byte chooses a sprite page or a font; a page that loads is drawn (every sprite, and every
// byte as text) and released.
#include "d3dcore9/D3DCore.h"
#include "matcore9/MatCore.h"
#include "platform/testing.h"
#include "utility/Assert.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

void quiet(const char*, const char*, const char*, int) {}

struct Exit {};

const char* const DEFAULTS = "renderstate zenable alwaysw true\nrenderstate cullmode alwaysw ccw\n"
                             "renderstate lighting alwaysw false\ntexturestagestate colorop alwaysw modulate\n"
                             "texturestagestate alphaop alwaysw selectarg1\n";
const char* const PAGE_MATERIAL = "shaders 1\n[shader]\npasses 1\nsimultaneoustextures 1\nfvf XYZRHW|DIFFUSE|TEX1\n"
                                  "lighting FALSE\ntextureformat 0 8888\n[pass]\nstages 1\nsettexture 0 0\n"
                                  "settexturestagestate 0 colorop modulate\n[end]\n[end]\n";

void put(const char* name, const void* data, size_t size)
{
    FILE* f = std::fopen(name, "wb");
    if (!f) std::abort();
    std::fwrite(data, 1, size, f);
    std::fclose(f);
}

struct Folder {
    std::filesystem::path path;
    Folder()
    {
        char pattern[] = "/tmp/veldrane-fuzz-XXXXXX";
        path = mkdtemp(pattern);
        std::filesystem::current_path(path);
        std::filesystem::create_directories("data");
        setAssertReportHook(quiet);
        platform::testing::setExitHook([](int) { throw Exit{}; });
        put("data/4CC.txt", "3\nDXT1\nDXT3\nDXT5\n", 18);
        put("data/renderdefault.txt", DEFAULTS, std::strlen(DEFAULTS));
        put("data/page.mtl", PAGE_MATERIAL, std::strlen(PAGE_MATERIAL));
        std::string tga(18, '\0');
        tga[2] = 2, tga[12] = 64, tga[14] = 64, tga[16] = 32, tga[17] = 0x28;
        tga.append(64 * 64 * 4, '\x7f');
        put("data/page.tga", tga.data(), tga.size());
        platform::testing::resetD3D9();
        if (DXSetup::Load() != 0) std::abort();
        DXSetup::SetEnumFilter(GameEnumFilter());
        if (!D3DCore.Init()) std::abort();
        const int32_t mode = D3DCore.FindMode(0, 0, 640, 480);
        D3DCore.SetMode(0, 0, mode, D3DCore.FindFormat(0, 0, mode, 32), 0, 0, true, 0, 0, 0);
        if (!D3DCore.CreateDevice(false, false, 1)) std::abort();
        MatCore.InitRenderStates();
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
    if (size == 0) return 0;
    const bool font = data[0] & 1;
    put("data/page.txt", data + 1, size - 1);
    try {
        const int32_t id = MatCore.LoadOverlayPage("data\\page.tga", "data\\page.mtl", "data\\page.txt", font, nullptr,
                                                   static_cast<float>(data[0] >> 1) / 16.0f);
        if (id >= 0) {
            D3DCore.BeginScene(false, false);
            MatCore.BeginOverlay(id);
            const int32_t sprites = MatCore.OverlayPage[id].Sprites;
            for (int32_t i = 0; i < sprites && i < 300; ++i) MatCore.OverlaySprite(i, 10, 10, 1, 1, 0xFFFFFFFFu);
            if (font) {
                char text[256];
                for (int c = 0; c < 255; ++c) text[c] = static_cast<char>(c + 1);
                text[255] = 0;
                MatCore.OverlayText(text, 0, 0, 1, 1, 0xFFFFFFFFu);
            }
            MatCore.EndOverlay();
            D3DCore.EndScene(false);
            MatCore.ReleaseOverlayPage(id);
        }
    } catch (const Exit&) {
    }
    D3DCore.StateBlocks.ReleaseAll();
    if (MatCore.Overlay.OverlayStarted) std::abort();
    return 0;
}
