// MatCore as the front door of the render core: its start and end, the device with the core's own
// materials (the debug font, the letterbox), materials loaded by name with their textures and
// fall-backs, the highlight material and the fatal-error screen.
#include "matcore9/MatCore.h"

#include "matcore9/Forwarders.h"

#include "d3dcore9/D3DCore.h"
#include "d3dcore9/LogWriter.h"
#include "d3dcore9/RenderCoreStart.h"
#include "d3dcore9/RenderMatrix.h"
#include "d3dcore9/TextureFiles.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"
#include "winfile/File.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

const char* const FONT_MATERIAL = "data\\font.mtl";
const char* const FONT_TEXTURE = "data\\font.tga";
const char* const LETTERBOX_MATERIAL = "data\\letterbox.mtl";
const char* const SUBSTITUTED[] = {"gib.tga", "meat.tga", "slab_pain.tga"};

D3DCoreFuncHandle releaseHandle{0, -1};
D3DCoreFuncHandle restoreHandle{1, -1};

IDirect3DDevice9* device() { return DXInterface.ID3DDevice; }

void setDeviceMaterial()
{
    if (!device()) return;
    HRESULT Err = device()->SetMaterial(&MatCore.DefaultMaterial);
    ASSERT(Err == D3D_OK);
}

void beforeRelease() { MatCore.Lights.LoseLights(); }

// A reset leaves the device with its own defaults: ours, the lights and the material go back.
void afterRestore()
{
    MatCore.ApplyRenderDefaults();
    MatCore.Lights.RestoreLights();
    setDeviceMaterial();
}

std::string lowered(const char* s)
{
    std::string out(s ? s : "");
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

void showLoadingText(const char* text) { D3DCore.SetLoadingText(text); }

}  // namespace

MatCore::MatCore()
{
    const D3DCOLORVALUE one{1.0f, 1.0f, 1.0f, 1.0f};
    DefaultMaterial.Diffuse = DefaultMaterial.Ambient = DefaultMaterial.Specular = one;
    DefaultMaterial.Emissive = D3DCOLORVALUE{0, 0, 0, 0};
    DefaultMaterial.Power = 10.0f;
}

bool MatCore::Init()
{
    if (!VERIFY(!Initialised)) return false;
    Initialised = true;
    RenderMatrix::identity(Identity);
    InitRenderStates();
    TextureSearchPath[0] = 0;
    for (OverlayPageInfo& page : OverlayPage) page.Used = false;
    Overlay.OverlayStarted = false;
    TextureTable::SetLoadingText(showLoadingText);
    return D3DCore.Init();
}

void MatCore::Shutdown()
{
    if (!VERIFY(Initialised)) return;
    if (D3DCore.Initialised) D3DCore.Shutdown();
    ShutdownRenderStates();
    TextureTable::SetLoadingText(nullptr);
    Initialised = false;
}

bool MatCore::CreateDevice(bool multiThreaded, bool vSync, int32_t interval)
{
    if (!D3DCore.CreateDevice(multiThreaded, vSync, interval)) return false;
    ApplyRenderDefaults();

    TexNames font;
    font.TotalNames = 1;
    std::snprintf(font.Name[0], SB_TEXNAME_SIZE, "%s", FONT_TEXTURE);
    DWORD fontBlock = SB_NONE;
    bool fontUsable;
    {
        // The format checks are checks of the material file, made in its read: one that could not
        // be read, its fall-back standing in, has said so.
        ReadingFile reading(FONT_MATERIAL);
        ASSERT(LoadMaterial(FONT_MATERIAL, font, &fontBlock));
        const StateBlock* SB = fontBlock != SB_NONE ? D3DCore.StateBlocks.GetSB(fontBlock) : nullptr;
        const FVFFormat* FVFFormat = SB && SB->GMaterial ? &SB->GMaterial->FVFFormat : nullptr;
        // Debug text is written as XYZRHW | TEX1 vertices: another format would be misread.
        fontUsable = VERIFY(FVFFormat != NULL) && VERIFY(FVFFormat->D3DFlags == (D3DFVF_XYZRHW | D3DFVF_TEX1));
    }
    D3DCore.DebugFontBlock = fontBlock;
    if (fontUsable) {
        D3DCore.FontLoaded = 1;
        D3DCore.CreateDebugTextBuffer();
    }

    {
        ReadingFile reading(LETTERBOX_MATERIAL);
        ASSERT(LoadMaterial(LETTERBOX_MATERIAL, TexNames(), &D3DCore.LetterboxBlock));
        const StateBlock* box =
            D3DCore.LetterboxBlock != SB_NONE ? D3DCore.StateBlocks.GetSB(D3DCore.LetterboxBlock) : nullptr;
        if (box && box->GMaterial)
            ASSERT(box->GMaterial->FVFFormat.D3DFlags == (D3DFVF_XYZRHW | D3DFVF_DIFFUSE));
    }

    setDeviceMaterial();
    releaseHandle = D3DCore.RegisterFunc(0, beforeRelease);
    restoreHandle = D3DCore.RegisterFunc(1, afterRestore);
    return true;
}

bool StartMaterialLibrary(const RenderCoreSettings& settings)
{
    DXSetup::SetEnumFilter(GameEnumFilter());
    if (MatCore.Init() && SelectRenderMode(settings) && MatCore.CreateDevice(false, settings.VSync, settings.Interval))
        return true;
    MatCore.Shutdown();
    return false;
}

void MatCore::DestroyDevice()
{
    ReleaseHighlightMaterial();
    if (D3DCore.LetterboxBlock != SB_NONE) D3DCore.StateBlocks.ReleaseSB(D3DCore.LetterboxBlock);
    D3DCore.LetterboxBlock = SB_NONE;
    if (releaseHandle.Index >= 0) D3DCore.UnregisterFunc(releaseHandle);
    if (restoreHandle.Index >= 0) D3DCore.UnregisterFunc(restoreHandle);
    releaseHandle.Index = restoreHandle.Index = -1;
    if (D3DCore.DebugFontBlock != SB_NONE) D3DCore.StateBlocks.ReleaseSB(D3DCore.DebugFontBlock);
    D3DCore.DebugFontBlock = SB_NONE;
    D3DCore.FontLoaded = 0;
    D3DCore.ReleaseDevice();
}

// ---- Materials ----

void MatCore::SubstituteTextureNames(TexNames& names) const
{
    if (!SubstituteTextures) return;
    for (DWORD n = 0; n < names.TotalNames && n < MAXSBTEXTURES; ++n) {
        const std::string name = lowered(names.Name[n]);
        bool match = false;
        for (const char* s : SUBSTITUTED) match = match || name.find(s) != std::string::npos;
        if (!match) continue;
        const size_t length = std::strlen(names.Name[n]);
        // ".tga" becomes "_g.tga": two characters more than the slot may hold for a long name.
        if (!VERIFY_MSG(length + 2 < SB_TEXNAME_SIZE, names.Name[n]) || length < 4) continue;
        std::memcpy(names.Name[n] + length - 4, "_g.tga", 7);
    }
}

bool MatCore::ChooseTextureFile(char* name, DWORD* error)
{
    const std::string given(name);
    const size_t dot = given.rfind('.');
    const size_t slash = given.rfind('\\');
    const std::string base = dot != std::string::npos && (slash == std::string::npos || dot > slash) ? given.substr(0, dot) : given;
    // Quiet: a cache that does not exist yet is no fault, and every report counts against the run log.
    char ximPath[MAX_PATH] = {}, tgaPath[MAX_PATH] = {};
    DWORD ximError = ERROR_SUCCESS, tgaError = ERROR_SUCCESS;
    CFile file;
    const bool xim = D3DCore.FindFile(file, (base + ".xim").c_str(), TextureSearchPath, "Textures", FILE_MODE_READ,
                                      ximPath, true, &ximError);
    file.Close();
    const bool tga = D3DCore.FindFile(file, (base + ".tga").c_str(), TextureSearchPath, "Textures", FILE_MODE_READ,
                                      tgaPath, true, &tgaError);
    file.Close();
    // A file there that cannot be read is said so, and is done without as a missing one is: a cache
    // is made again, and a source's cache stands in for it.
    if (!xim) reportUnreadableFile(ximPath, ximError);
    if (!tga && xim && unreadableCause(tgaPath, tgaError)) ReportMissingTexture(tgaPath, tgaError);
    const char* chosen = nullptr;
    if (xim && tga) {
        FILETIME a{}, b{};
        const bool same = GetTextureFileTime(ximPath, &a) && GetTextureFileTime(tgaPath, &b) &&
                          a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
        chosen = same ? ximPath : tgaPath;
    } else if (xim || tga) {
        chosen = xim ? ximPath : tgaPath;
    } else {
        *error = tgaError;
        if (unreadableCause(tgaPath, tgaError)) chosen = tgaPath;
    }
    // A path too long for the name's slot is not used (the texture tables keep names in such slots).
    if (!chosen || !VERIFY_MSG(std::strlen(chosen) < SB_TEXNAME_SIZE, chosen)) return false;
    std::memcpy(name, chosen, std::strlen(chosen) + 1);
    return xim || tga;
}

void MatCore::BindTextures(StateBlock* SB, const TexNames& names, const bool* absent)
{
    GMaterial* GM = SB->GMaterial;
    for (DWORD Pass = 0; Pass < GM->Passes && Pass < MAXPASSES; ++Pass)
        for (DWORD Stage = 0; Stage < GM->Stages[Pass] && Stage < MAXSBSTAGES; ++Stage) {
            const int32_t Assigned = GM->TextureIndex[Pass][Stage];
            if (Assigned == -1) continue;
            // Past the names, without a format, or without a file: the stage draws untextured.
            if (Assigned < 0 || static_cast<DWORD>(Assigned) >= names.TotalNames) {
                const std::string text = "Texture " + std::to_string(Assigned) + " not available in\nMaterial: " +
                                         GM->Name + "\nMaterial only has " + std::to_string(names.TotalNames) +
                                         " textures assigned";
                assertFailedMsg(text.c_str(), "false", __FILE__, __LINE__);
                continue;
            }
            if (!GM->TexFormat[Assigned]) {
                const std::string text = std::string("Material ") + GM->Name + "not supported. No suitable texture formats";
                assertFailedMsg(text.c_str(), "false", __FILE__, __LINE__);
                continue;
            }
            if (absent[Assigned]) continue;
            int32_t minMip = 0;
            if (GM->UseMipMaps[Assigned]) {
                ASSERT(GM->MinMipSize[Assigned] >= 1);
                minMip = GM->MinMipSize[Assigned] >= 1 ? static_cast<int32_t>(GM->MinMipSize[Assigned]) : 1;
            }
            TextureHandle handle = TEXTURE_NONE;
            if (!D3DCore.TextureTables.AddHWTexture(names.Name[Assigned], GM->TexFormat[Assigned], Stage, minMip,
                                                    GM->CubeMap[Assigned] != 0, GM->IgnoreAlpha[Assigned] != 0, &handle,
                                                    GM->Name))
                continue;
            // A file that cannot be read has been reported by the loader: the stage draws untextured.
            if (!D3DCore.TextureTables.LoadTexture(handle)) {
                D3DCore.TextureTables.ReleaseHWTexture(handle);
                continue;
            }
            if (SB->HWTexture[Pass][Stage] != SB_NONE) D3DCore.TextureTables.ReleaseHWTexture(SB->HWTexture[Pass][Stage]);
            SB->HWTexture[Pass][Stage] = handle;
            const HWTexture* entry = D3DCore.TextureTables.GetHWTexture(handle);
            SB->Texture[Pass][Stage] = entry ? entry->ITexture : nullptr;
            ASSERT(SB->Texture[Pass][Stage] != NULL);
        }
}

bool MatCore::LoadMaterial(const char* Material, const TexNames& Names, DWORD* Handle, CFile* File)
{
    const float white[3] = {1.0f, 1.0f, 1.0f};
    MaterialLoad load;
    const bool ok = LoadMaterial(Material, Names, white, white, File, &load);
    if (Handle) *Handle = load.Handle;
    // Not even the fall-back validated: nothing can be drawn with this material.
    if (!ok && load.Error != D3D_OK)
        FatalError((std::string("Material ") + Material + " failed to validate\nError: " + ErrorText(load.Error)).c_str());
    return ok;
}

bool MatCore::LoadMaterial(const char* Material, const TexNames& Textures, const float ambient[3],
                           const float diffuse[3], CFile* File, MaterialLoad* load)
{
    MaterialLoad ignored;
    if (!load) load = &ignored;
    *load = MaterialLoad();
    if (!VERIFY(Material != NULL) || !VERIFY(strstr(Material, "\\\\") == NULL)) return false;
    // One read of the material file from its parse to the checks of what it asks of its textures:
    // what follows from its first report is not said again. Each texture is a file of its own.
    ReadingFile reading(Material);
    // The caller's list is copied only when there is something to change in it: the copy is 2 KB,
    // more than the rest of asking again for a material already loaded.
    std::unique_ptr<TexNames> copy;
    if (Textures.TotalNames > 0 || SubstituteTextures) copy = std::make_unique<TexNames>(Textures);
    if (!VERIFY(Textures.TotalNames <= MAXSBTEXTURES)) copy->TotalNames = MAXSBTEXTURES;
    if (copy) SubstituteTextureNames(*copy);
    const TexNames& names = copy ? *copy : Textures;
    D3DCore::SetMaterialName(Material);

    bool absent[MAXSBTEXTURES] = {};
    for (DWORD n = 0; n < names.TotalNames; ++n) {
        // The texture is a file of its own: that it is missing is its report, not the material's.
        ReadingFile texture(names.Name[n]);
        DWORD error = ERROR_SUCCESS;
        if (ChooseTextureFile(copy->Name[n], &error)) continue;
        absent[n] = true;
        char text[600];
        std::snprintf(text, sizeof text, "Warning: Unused texture <%s> requested for use with material <%s>",
                      names.Name[n], Material);
        Warning(text);
        // The loading screen's line is gone in a moment: the run log keeps which file is missing.
        ReportMissingTexture(names.Name[n], error);
    }

    DWORD handle = SB_NONE;
    if (!VERIFY(D3DCore.StateBlocks.CreateSB(Material, names, ambient, diffuse, &handle))) {
        D3DCore::SetMaterialName("");
        return false;
    }
    StateBlock* SB = D3DCore.StateBlocks.GetSB(handle);
    if (SB->RefCount >= 2 || SB->GMaterial) {
        // In place already (a second user), or shared with a same-named block: nothing to read.
        ASSERT(File == NULL);
        load->Lit = SB->GMaterial ? SB->GMaterial->Lit : 0;
        load->VSLit = SB->GMaterial ? SB->GMaterial->VSLit : 0;
    } else {
        // Shown only during a load: outside one the loading screen would only run the shell's pump.
        char progress[600];
        std::snprintf(progress, sizeof progress, "Loading Material: %s", Material);
        const int32_t levels = D3DCore.Loading.DispLevels;
        if (D3DCore.Loading.Enabled) MatShowLoadingScreen(progress, 1);
        const bool shown = D3DCore.Loading.DispLevels > levels;
        bool parsed = ParseMaterial(Material, &SB->GMaterial, &load->Lit, &load->VSLit, &load->Error, File);
        if (!parsed) {
            if (File) File->Close();
            parsed = ParseMaterial(FallbackMaterial(DeclaredFVF), &SB->GMaterial, &load->Lit, &load->VSLit, &load->Error);
            // Without even the fall-back the block has no material to draw with: it goes, and the
            // caller ends the run with its own words.
            if (!parsed) {
                const std::string text =
                    std::string("Material ") + Material + " failed to validate\nError: " + ErrorText(load->Error);
                assertFailedMsg(text.c_str(), "false", __FILE__, __LINE__);
                if (shown) MatShowLoadingScreen("", 0);
                D3DCore.StateBlocks.ReleaseSB(handle);
                D3DCore::SetMaterialName("");
                if (load->Error == D3D_OK) load->Error = E_FAIL;
                return false;
            }
            // The fall-back stands in because of the file's report: said of this load, not of the
            // block others share by the fall-back's name, as a model's fit is checked after this read.
            load->FileReported = reading.reported();
        } else if (SB->GMaterial->RefCount == 1) {
            // A material colour comes from the first block that loads it.
            for (int i = 0; i < 3; ++i) {
                if (SB->GMaterial->Diffuse[0] != -1.0f) SB->GMaterial->Diffuse[i] = diffuse[i];
                if (SB->GMaterial->Ambient[0] != -1.0f) SB->GMaterial->Ambient[i] = ambient[i];
            }
        }
        if (shown) MatShowLoadingScreen("", 0);
    }
    if (SB->RefCount < 2) BindTextures(SB, names, absent);
    D3DCore::SetMaterialName("");
    load->Handle = handle;
    return true;
}

// ---- Highlight ----

void MatCore::LoadHighlightMaterial(const char* Material)
{
    ReleaseHighlightMaterial();
    ASSERT(LoadMaterial(Material, TexNames(), &D3DCore.HighlightBlock));
    HighlightSBLoaded = D3DCore.HighlightBlock != SB_NONE;
}

void MatCore::EnableHighlight(bool On)
{
    if (On && !VERIFY(HighlightSBLoaded)) return;
    D3DCore.HighlightOn = On ? 1 : 0;
}

void MatCore::ReleaseHighlightMaterial()
{
    if (!HighlightSBLoaded) return;
    D3DCore.StateBlocks.ReleaseSB(D3DCore.HighlightBlock);
    D3DCore.HighlightBlock = SB_NONE;
    D3DCore.HighlightOn = 0;
    HighlightSBLoaded = false;
}

// ---- Reports ----

void MatCore::Warning(const char* text)
{
    snprintf(LoadingText, sizeof LoadingText, "%.*s", static_cast<int>(sizeof LoadingText - 1), text ? text : "");
    ++Warnings;
    MatSetLoadingText(LoadingText);
}

void MatCore::FatalError(const char* text)
{
    // The report that ends the run is about no file being read: the run log always says why the
    // run stopped, whatever the file being read has said already.
    ReportApart apart;
    char message[1024];
    const char* t = text ? text : "";
    // Texts that carry their own prefix keep just the one.
    snprintf(message, sizeof message, "%s%s", std::strncmp(t, "Error: ", 7) == 0 ? "" : "Error: ", t);
    // Written before the wait: a player who answers the screen, or a run killed while it waits,
    // still leaves the reason in the log.
    D3DCore::WriteLog(message);
    if (D3DCore.Loading.Enabled) {
        // The loading screen keeps a line of its own length: longer messages are cut.
        char line[LOADING_HISTORY_SIZE];
        snprintf(line, sizeof line, "%.*s", static_cast<int>(sizeof line - 1), message);
        D3DCore.AddLoadingText(line);
        // The player reads it and answers with a key, unless the screen is switched off meanwhile.
        while (D3DCore.Loading.Enabled) {
            D3DCore::Host().ProcessMessages();
            if (D3DCore::Host().TakeInput()) break;
        }
    }
    stopRun("as a material cannot be used", false);
}
