// Feeds random bytes to the material-file parser on the reference device with no renderer: the
// first byte chooses a material file, a texture-animation file of a parsed material, or a
// multi-material file. A fatal error ends the input, not the run.
#include "FuzzDevice.h"
#include "d3dcore9/D3DCore.h"
#include "d3dcore9/MaterialAnimation.h"
#include "matcore9/MatCore.h"
#include "platform/testing.h"

#include <cstring>
#include <string>

namespace {

struct Exit {};

const char* const DEFAULTS =
    "renderstate zenable alwaysw true\nrenderstate cullmode alwaysw ccw\nrenderstate lighting alwaysw false\n"
    "renderstate srcblend rare one\nrenderstate colorwriteenable rare 0xf\nrenderstate zbias rare 0\n"
    "renderstate ditherenable never false\nrenderstate shademode neverw gouraud\n"
    "texturestagestate colorop alwaysw modulate\ntexturestagestate alphaop alwaysw selectarg1\n"
    "texturestagestate mipfilter rare linear\ntexturestagestate texcoordindex rare 0\n";
const char* const ANIMATED = "shaders 1\n[shader]\npasses 1\nsimultaneoustextures 0\nfvf XYZ\nlighting FALSE\n"
                             "[pass]\nstages 2\n[end]\n[end]\n";

struct Folder {
    GMaterial* animated = nullptr;
    Folder()
    {
        fuzz::setUp();
        platform::testing::setExitHook([](int) { throw Exit{}; });
        fuzz::writeInput("data/renderdefault.txt", DEFAULTS, std::strlen(DEFAULTS));
        fuzz::writeInput("data/a.mtl", ANIMATED, std::strlen(ANIMATED));
        fuzz::startDevice();
        MatCore.InitRenderStates();
        if (!MatCore.ParseMaterial("data\\a.mtl", &animated, nullptr, nullptr, nullptr)) std::abort();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Folder folder;
    if (size == 0) return 0;
    const int mode = data[0] % 3;
    const fuzz::InputFile input(mode == 2 ? "data/f.mtm" : mode == 1 ? "data/f.anm" : "data/f.mtl", data + 1, size - 1);
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
