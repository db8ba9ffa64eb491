// Reads any bytes as an effect definitions file: precaches every "instancename" it holds, starts
// each effect, and runs 10 updates and now and then the five passes through the render façade on
// the null renderer, with the particle materials and the debris and sphere models at hand, with the
// logging test kind ("TESTEFFECT") beside the game's kinds. One manager serves every input: once the
// effects started are destroyed and the names unprecached it must hold nothing.
#include "EffectTestKind.h"
#include "FuzzSupport.h"
#include "d3dcore9/D3DCore.h"
#include "d3dcore9/RenderCoreStart.h"
#include "effects/Effect.h"
#include "effects/EffectManager.h"
#include "effects/EffectUtils.h"
#include "global/ProjData.h"
#include "l3render/L3Render.h"
#include "platform/testing.h"
#include "utility/ActualParameter.h"
#include "utility/LList.h"

#include <sanitizer/allocator_interface.h>
#include <sanitizer/lsan_interface.h>

#include <algorithm>
#include <string>
#include <strings.h>
#include <vector>

namespace {

struct Exit {};

// What each input allocates, noted as it goes: an input the game would have ended (a material it
// cannot use stops it) is cut short by an exception, and what the frames it unwound held is no
// leak of the code under test - the process would have ended there.
constexpr size_t NOTED = size_t(1) << 20;
const volatile void* noted[NOTED];
size_t numNoted = 0;
bool noting = false;

void noteMalloc(const volatile void* p, size_t)
{
    if (noting) noted[numNoted++ & (NOTED - 1)] = p;
}
void noteFree(const volatile void*) {}

// Everything the cut input allocated that is still there is left out of the leak check.
void forgiveCutInput()
{
    noting = false;
    for (size_t i = numNoted > NOTED ? numNoted - NOTED : 0; i < numNoted; ++i) {
        const volatile void* p = noted[i & (NOTED - 1)];
        if (__sanitizer_get_ownership(p)) __lsan_ignore_object(const_cast<const void*>(p));
    }
}

void bringUp()
{
    const char codes[] = "3\nDXT1\nDXT3\nDXT5\n";
    fuzz::writeInput("data/4CC.txt", codes, sizeof(codes) - 1);
    // The core materials, the particle materials and textures, the debris model and the cull spheres'
    // model, as shipped.
    for (const char* name : {"renderdefault.txt", "font.mtl", "font.tga", "letterbox.mtl", "fallbackmaterials/vc.mtl",
                             "fallbackmaterials/t1.mtl", "fallbackmaterials/t1_vc.mtl", "sphere.rsm",
                             "models/debris.rsm", "models/debris.mtl", "models/demo.tga", "particles/PartLinearAdd.mtl",
                             "particles/PartLinearBlend.mtl", "particles/smoke.tga", "particles/trail.tga"})
        fuzz::holdShipped(name);
    platform::testing::resetD3D9();
    llistInitElementPool();
    if (DXSetup::Load() != 0) abort();
    DXSetup::SetEnumFilter(GameEnumFilter());
    RenderCoreSettings settings;
    settings.FullScreen = false;
    if (!L3Init() || !SelectRenderMode(settings) || !L3CreateDevice(false, false, 1)) abort();
    D3DCore.FrameStatsEnabled = 0;  // the statistics overlay is no effect's
    L3SetViewFromAngles(Vector3(-500, 0, 0), 0, 0, 0);
    createProjData();
    installTestKind();
    new CEffectManager;
    // The particle materials with the textures the seeds name, held for the whole run so that an
    // input finds them loaded rather than parsing them again each time.
    for (const char* material : {EffectUtils::DEFAULT_MATERIAL, "Particles\\PartLinearBlend.mtl"})
        for (const char* texture : {static_cast<const char*>(nullptr), "smoke.tga", "trail.tga"})
            if (EffectUtils::LoadMaterial(material, texture) == SB_NONE) abort();
}

// The value of every "instancename" entry the block reader could find, wherever it stands (a
// block's entries may follow its brace on the same line), read as the reader reads it: the name,
// blanks or a comment, the value to the line's end less a trailing comment and blanks. Found by a
// scan of the text rather than a second parse; a name that is no definition's is refused by the
// manager, and every definition made, a multi-effect's sub-effects too, bears one of these names.
std::vector<std::string> instanceNames(const uint8_t* data, size_t size)
{
    static const char KEY[] = "instancename";
    const size_t keyLength = sizeof(KEY) - 1;
    std::vector<std::string> names;
    const char* const text = reinterpret_cast<const char*>(data);
    const char* const end = text + size;
    for (const char* p = text; end - p > static_cast<ptrdiff_t>(keyLength); ++p) {
        // The first letter before the whole word: a call a byte would cost more than the rest.
        if ((*p | 0x20) != 'i' || strncasecmp(p, KEY, keyLength) != 0) continue;
        const char* value = p + keyLength;
        if (*value != ' ' && *value != '\t') continue;
        for (;;) {
            if (value < end && (*value == ' ' || *value == '\t')) {
                ++value;
            } else if (end - value >= 2 && value[0] == '/' && value[1] == '/') {
                while (value < end && *value != '\n' && *value != 0) ++value;
            } else {
                break;
            }
        }
        // The value as kept (cut at its limit), then less a trailing comment and the blanks before.
        const char* valueEnd = value;
        while (valueEnd < end && *valueEnd != '\r' && *valueEnd != '\n' && *valueEnd != 0 &&
               valueEnd - value < static_cast<ptrdiff_t>(CActualParameter::MAX_VALUE))
            ++valueEnd;
        for (const char* c = value; c + 1 < valueEnd; ++c)
            if (c[0] == '/' && c[1] == '/') {
                valueEnd = c;
                break;
            }
        while (valueEnd > value && (valueEnd[-1] == ' ' || valueEnd[-1] == '\t')) --valueEnd;
        if (valueEnd > value) names.emplace_back(value, std::min<size_t>(static_cast<size_t>(valueEnd - value), 63));
    }
    return names;
}

}  // namespace

// Before the first input, so that what lives for the whole run is not taken for a leak of one.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::setUp();
    // A material the file names but that cannot be used stops the game; here it ends the input.
    platform::testing::setExitHook([](int) { throw Exit{}; });
    __sanitizer_install_malloc_and_free_hooks(noteMalloc, noteFree);
    bringUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    effectLog().clear();
    renderedEffects().clear();
    // Each input starts its clock afresh: run on, the game time would overflow after some 400,000.
    getProjData().GameTime = 0;
    const fuzz::InputFile input("effects.txt", data, size);
    const std::vector<std::string> names = instanceNames(data, size);
    CEffectManager& manager = *pTheEffectManager;
    std::vector<CEffect*> started;
    bool drawing = false;
    numNoted = 0;
    noting = true;
    try {
        if (manager.ReadBlocks("effects.txt"))
            for (const std::string& name : names) manager.PrecacheEffect(name.c_str());
        manager.FreeBlocks();
        for (const std::string& name : names)
            started.push_back(manager.CreateEffect(name.c_str(), Vector3(1, 2, 3), Matrix3(), 0, nullptr, nullptr));
        // Long enough for particles of a short life to launch, fall, bounce, die and come back;
        // drawn now and then. A file whose effects keep starting more has shown what it does once
        // they number fifty.
        for (int frame = 0; frame < 10 && manager.GetNumEffects() < 50; ++frame) {
            getProjData().GameTime += 400;
            manager.Update();
            if (frame % 8 != 0) continue;
            D3DCore.BeginScene(true, false);
            drawing = true;
            manager.Render(0.5f);
            D3DCore.EndScene(true);
            drawing = false;
        }
    } catch (const Exit&) {
        // The game would have ended here: the next input gets a manager made anew.
        noting = false;
        if (drawing) D3DCore.EndScene(true);
        delete pTheEffectManager;
        new CEffectManager;
        forgiveCutInput();
        return 0;
    }
    noting = false;
    // Every effect was started here or by one started here, and goes with it.
    for (CEffect* effect : started)
        if (manager.IsLive(effect)) manager.DestroyEffect(effect);
    for (const std::string& name : names) manager.UnprecacheEffect(name.c_str());
    if (manager.GetNumEffects() != 0 || manager.GetNumDefinitions() != 0) abort();
    if (logged("create").size() != logged("delete").size()) abort();
    return 0;
}
