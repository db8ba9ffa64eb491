// Feeds random bytes to the material-file parser on the reference device with no renderer: the
// first byte chooses a material file, a texture-animation file of a parsed material, or a
// multi-material file. A fatal error ends the input, not the run.
#include "d3dcore9/D3DCore.h"
#include "d3dcore9/MaterialAnimation.h"
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

const char* const DEFAULTS =
    "renderstate zenable alwaysw true\nrenderstate cullmode alwaysw ccw\nrenderstate lighting alwaysw false\n"
    "renderstate srcblend rare one\nrenderstate colorwriteenable rare 0xf\nrenderstate zbias rare 0\n"
    "renderstate ditherenable never false\nrenderstate shademode neverw gouraud\n"
    "texturestagestate colorop alwaysw modulate\ntexturestagestate alphaop alwaysw selectarg1\n"
    "texturestagestate mipfilter rare linear\ntexturestagestate texcoordindex rare 0\n";
const char* const ANIMATED = "shaders 1\n[shader]\npasses 1\nsimultaneoustextures 0\nfvf XYZ\nlighting FALSE\n"
                             "[pass]\nstages 2\n[end]\n[end]\n";

void put(const char* name, const void* data, size_t size)
{
    FILE* f = std::fopen(name, "wb");
    if (!f) std::abort();
    std::fwrite(data, 1, size, f);
    std::fclose(f);
}

struct Folder {
    std::filesystem::path path;
    GMaterial* animated = nullptr;
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
        put("data/a.mtl", ANIMATED, std::strlen(ANIMATED));
        platform::testing::resetD3D9();
        if (DXSetup::Load() != 0) std::abort();
        DXSetup::SetEnumFilter(GameEnumFilter());
        if (!D3DCore.Init()) std::abort();
        const int32_t mode = D3DCore.FindMode(0, 0, 640, 480);
        D3DCore.SetMode(0, 0, mode, D3DCore.FindFormat(0, 0, mode, 32), 0, 0, true, 0, 0, 0);
        if (!D3DCore.CreateDevice(false, false, 1)) std::abort();
        MatCore.InitRenderStates();
        if (!MatCore.ParseMaterial("data\\a.mtl", &animated, nullptr, nullptr, nullptr)) std::abort();
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
    const int mode = data[0] % 3;
    put(mode == 2 ? "data/f.mtm" : mode == 1 ? "data/f.anm" : "data/f.mtl", data + 1, size - 1);
    const int live = GMaterial::Live;
    GMaterial* GM = nullptr;
    MultiBlock multi;
    try {
        if (mode == 0) {
            MatCore.ParseMaterial("data\\f.mtl", &GM, nullptr, nullptr, nullptr);
        } else if (mode == 1) {
            MatCore.CompileTextureAnimation("data\\f.anm", folder.animated);
        } else {
            const float white[3] = {1, 1, 1};
            MatCore.LoadMultiMaterialFile("data\\f.mtm", TexNames(), white, white, &multi, nullptr);
        }
    } catch (const Exit&) {
    }
    if (GM) GM->Release();
    for (MaterialAnimation*& a : folder.animated->Animation) {
        delete a;
        a = nullptr;
    }
    multi.Release();
    D3DCore.StateBlocks.ReleaseAll();
    D3DCore.ClearMBlocks();
    if (D3DCore.StateBlocks.RecordStarted || GMaterial::Live != live) std::abort();
    return 0;
}
