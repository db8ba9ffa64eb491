// Feeds random bytes to the overlay page reader on the reference device with no renderer: the
// first byte chooses a sprite page or a font; a page that loads is drawn (every sprite, and every
// byte as text) and released.
#include "FuzzDevice.h"
#include "d3dcore9/D3DCore.h"
#include "matcore9/MatCore.h"
#include "platform/testing.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct Exit {};

const char* const DEFAULTS = "renderstate zenable alwaysw true\nrenderstate cullmode alwaysw ccw\n"
                             "renderstate lighting alwaysw false\ntexturestagestate colorop alwaysw modulate\n"
                             "texturestagestate alphaop alwaysw selectarg1\n";
const char* const PAGE_MATERIAL = "shaders 1\n[shader]\npasses 1\nsimultaneoustextures 1\nfvf XYZRHW|DIFFUSE|TEX1\n"
                                  "lighting FALSE\ntextureformat 0 8888\n[pass]\nstages 1\nsettexture 0 0\n"
                                  "settexturestagestate 0 colorop modulate\n[end]\n[end]\n";

struct Folder {
    Folder()
    {
        fuzz::setUp();
        platform::testing::setExitHook([](int) { throw Exit{}; });
        fuzz::writeInput("data/renderdefault.txt", DEFAULTS, std::strlen(DEFAULTS));
        fuzz::writeInput("data/page.mtl", PAGE_MATERIAL, std::strlen(PAGE_MATERIAL));
        std::string tga(18, '\0');
        tga[2] = 2, tga[12] = 64, tga[14] = 64, tga[16] = 32, tga[17] = 0x28;
        tga.append(64 * 64 * 4, '\x7f');
        fuzz::writeInput("data/page.tga", tga.data(), tga.size());
        fuzz::startDevice();
        MatCore.InitRenderStates();
        // The page's material and texture stay loaded for the run: each input's page finds them.
        TexNames names;
        names.TotalNames = 1;
        std::snprintf(names.Name[0], SB_TEXNAME_SIZE, "%s", "data\\page.tga");
        DWORD held = SB_NONE;
        if (!MatCore.LoadMaterial("data\\page.mtl", names, &held)) std::abort();
        blocks.take();
    }
    fuzz::StateBlockBaseline blocks;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Folder folder;
    if (size == 0) return 0;
    const bool font = data[0] & 1;
    const fuzz::InputFile input("data/page.txt", data + 1, size - 1);
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
    folder.blocks.releaseExtra();
    if (MatCore.Overlay.OverlayStarted) std::abort();
    return 0;
}
