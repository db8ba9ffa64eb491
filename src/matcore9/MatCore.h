// MatCore: the material library, the one object the rest of the game talks to instead of the render
// device core. It owns the render core's start and end, the device with the core's own materials
// (the debug font and the letterbox), materials loaded by name with their textures and fall-backs,
// the render-state name tables and defaults (data\renderdefault.txt), the device lights, overlay
// pages and fonts, and the highlight material. The flat operations of matcore9/Forwarders.h carry
// frames and loading screens.
//
// Order of use: Init -> CreateDevice -> frames, materials, overlays -> DestroyDevice -> Shutdown;
// the device may be made and destroyed again in between. Main thread only.
#pragma once

#include "matcore9/LightTable.h"
#include "matcore9/Overlay.h"
#include "platform/d3d9.h"

#include <cstdint>

class CFile;
struct GMaterial;
struct MeshMaterialInfo;
struct MultiBlock;
struct StateBlock;
struct TexNames;

// Usage classes of the render defaults: what a material may set, must set, and what is reset after it.
enum : DWORD {
    ST_ALWAYS = 0,   // must be set in pass 0 of every material
    ST_ALWAYSW = 1,  // added with its default, with a warning, when pass 0 lacks it
    ST_RARE = 2,     // recorded only when it differs from the default; reset by the restore list
    ST_NEVERW = 3,   // ignored in materials, with a warning
    ST_NEVER = 4,    // an error in materials
    ST_KEEP = 5,     // keeps the current class when a default is changed
    ST_UNDEFINED = 6,
};

// The name tables.
enum : int32_t {
    MAP_NONE = 0,
    MAP_RENDERSTATES = 1,
    MAP_STAGESTATES = 2,  // texture-stage states, and sampler states as 100 + the sampler state
    MAP_BOOL = 3,
    MAP_FVF = 21,         // vertex-format words of material files
    MAP_TEXTURENONE = 22,
    MAP_REFLECTION = 24,  // MODEL, VERTEX
    MAP_BUMPMAPTYPE = 25,
    MAP_SORT = 26,
    MAP_SORTSCALE = 27,
    NUM_MAPS = 29,
};

// The identifier of ZBIAS in the render-state table: a material's per-pass depth bias, never sent.
const DWORD RS_ZBIAS = 99;
const uint32_t RENDERDEFAULT_LINE_SIZE = 512;

struct MapEntry {
    char* Name;         // lower-cased, owned
    DWORD Value;        // the state identifier, or the value a word stands for
    DWORD Default;      // 0xFFFFFFFF until the defaults file sets it
    DWORD Usage;        // ST_ class
    DWORD ValueTable;   // the table that names this state's values; 0: plain numbers
};

struct Map {
    int32_t Mappings = 0;
    int32_t AllocatedMappings = 0;
    MapEntry* Mapping = nullptr;  // AllocatedMappings entries, owned
};

class MatCore {
public:
    MatCore();
    ~MatCore();
    MatCore(const MatCore&) = delete;
    MatCore& operator=(const MatCore&) = delete;

    // ---- Render-state name tables and render defaults ----
    // Builds tables 1..28 and reads data\renderdefault.txt; a missing file ends the process (exit 1).
    void InitRenderStates();
    void ShutdownRenderStates();
    void BuildMaps();
    void FreeMaps();
    void LoadRenderDefaults();

    // The word's value and the table that names its values; false when the word is not in the table.
    bool FindMapping(int32_t table, const char* word, DWORD* value, DWORD* valueTable = nullptr) const;
    // The entry of a state identifier; null ("false" reported) when the table has none.
    MapEntry* FindRenderStateMapping(DWORD state);
    MapEntry* FindStageStateMapping(DWORD state);
    // A value as material files write it: the text up to the first tab, comma or '/', split at blanks
    // and '|', each piece decimal, 0x hexadecimal, a float with a trailing 'f' (its bits) or a word of
    // the table; the pieces OR-ed. False when the text is empty or a piece is none of these.
    bool ParseValue(int32_t table, const char* text, DWORD* value) const;
    void SetRenderStateDefault(DWORD state, DWORD value, DWORD usage);
    void SetStageStateDefault(DWORD state, DWORD value, DWORD usage);

    // Forces every managed state to its default on the device, every stage state on every stage.
    void ApplyRenderDefaults();
    // Pass 0 only, while it is recorded: duplicates of always/alwaysw states removed (the last
    // kept), missing alwaysw states added with their default, a missing always state fatal.
    void CompleteMaterialStates(GMaterial* GM, DWORD pass);
    // Records the material's restore list: every rare state whose last value over the passes
    // differs from its default, set back to the default.
    void BuildRestoreList(GMaterial* GM);
    // Replaces every node of a stage state by one per stage of every pass (none when the state is
    // rare and the value is its default).
    void SetStageStateAllStages(GMaterial* GM, DWORD state, DWORD value);

    // ---- Life and the device ----
    // The name tables and defaults, no overlay page in use, then the render core's own Init.
    bool Init();
    void Shutdown();
    // The device, the render defaults, the debug font (data\font.mtl with data\font.tga), the
    // letterbox (data\letterbox.mtl), the default device material, and the loss and restore
    // steps (lights off; defaults, lights and material again). False without a device.
    bool CreateDevice(bool multiThreaded, bool vSync, int32_t interval);
    void DestroyDevice();

    // ---- The highlight material ----
    void LoadHighlightMaterial(const char* Material);
    void EnableHighlight(bool On);
    void ReleaseHighlightMaterial();

    // ---- Overlay pages, fonts and text ----
    // The page index, -1 when refused (no page left, the material or page file unusable).
    int32_t LoadOverlayPage(const char* TextureName, const char* MaterialName, const char* PageFile, bool IsFont,
                            const char* SecondTextureName, float Scale);
    void ReleaseOverlayPage(int32_t Id);
    void BeginOverlay(int32_t Id);
    void EndOverlay();
    // Centred on (X, Y).
    void OverlaySprite(int32_t SpriteNum, float X, float Y, float ScaleX, float ScaleY, DWORD Colour);
    // One line from (X, Y), top-left aligned; byte 146 is rewritten as 39 in Text itself.
    void OverlayText(char* Text, float X, float Y, float ScaleX, float ScaleY, DWORD Colour);
    // The sprite's top-left corner at (X, Y) past the viewport origin.
    void OverlayQuad(int32_t SpriteNum, float X, float Y, float ScaleX, float ScaleY, DWORD Colour);
    // u' = u m0 + v m3 + m6, v' = u m1 + v m4 + m7 for texture set Coord, until cleared.
    void SetOverlayTextureMatrix(int32_t Coord, const float matrix[9]);
    void ClearOverlayTextureMatrix(int32_t Coord);

    // ---- Material files ----
    // Parses a material file (or the open File, read from its start) into a new GMaterial put in
    // *GM. The shader alternatives are tried in file order and the first that validates is kept;
    // the rest of the file is not read. True when one validated. When a material of that name
    // exists already (or *GM is set) it is taken again and nothing is read. False, with the last
    // error code, when none validated, the file is missing or a value in it is bad (reported); the
    // vertex format the file declared stays in DeclaredFVF for the choice of a fall-back.
    // Structural errors in the file end the run (FatalError).
    bool ParseMaterial(const char* Name, GMaterial** GM, BYTE* Lit, BYTE* VSLit, HRESULT* ErrorCode,
                       CFile* File = nullptr);
    // The programs of a texture-animation file for the stages of a one-pass material. False, with
    // a report and no animation left on the material, when the file is missing or wrong.
    bool CompileTextureAnimation(const char* FileName, GMaterial* GM);
    // The fall-back material for a declared vertex format: vertex colour, or one texture with or
    // without it.
    static const char* FallbackMaterial(DWORD fvf);

    DWORD DeclaredFVF = 0;  // of the last material file parsed, kept when it failed

    // ---- Materials by name ----
    // What loading one material gave.
    struct MaterialLoad {
        DWORD Handle = 0xFFFFFFFFu;  // its state block
        BYTE Lit = 0, VSLit = 0;
        HRESULT Error = 0;           // why it failed
        // The fall-back stands in because the file made its report: what follows from that (the
        // fall-back not fitting a model's vertices) is not said again. Of this load, not of its
        // block, which other materials share by the fall-back's name.
        bool FileReported = false;
    };
    // The state block of the material (shared with earlier loads of the same name and textures),
    // its file parsed on the first load; when no alternative validates, the fall-back for its
    // declared vertex format is parsed into the same block. A failed fall-back is reported, the
    // block given back and the result false (the short form then ends the run).
    // The textures are bound, each name standing for its cache file when that is as new as the
    // image, else for the image. Colours: the material colour of a lit block (white without
    // them). File: the material file, open already.
    bool LoadMaterial(const char* Material, const TexNames& Names, DWORD* Handle, CFile* File = nullptr);
    bool LoadMaterial(const char* Material, const TexNames& Names, const float ambient[3], const float diffuse[3],
                      CFile* File, MaterialLoad* load);
    // A multi-material file ("[multimaterial]", up to four materials, one of them possibly the
    // transparent variant marked "material*"), found under the texture search path in "materials";
    // or an ordinary material file as a set of one. Each material is loaded from the file's folder
    // with the caller's textures and colours; Multi holds one reference on each choice's block.
    // The names are kept, so the file is read once. A missing file or a material whose fall-back
    // fails ends the run; a malformed file is reported and gives false.
    bool LoadMultiMaterialFile(const char* Name, const TexNames& Names, const float ambient[3],
                               const float diffuse[3], MultiBlock* Multi, MeshMaterialInfo* Info);
    // The same with white for both colour triples: for callers without colours of their own.
    bool LoadMultiMaterial(const char* Material, const TexNames& Names, MultiBlock* Multi,
                           MeshMaterialInfo* Info = nullptr);
    // The same as the loader of mesh files' material blocks.
    static bool LoadMeshMaterials(const char* Name, const TexNames& Names, const float colourA[3],
                                  const float colourB[3], MultiBlock* Multi, MeshMaterialInfo* Info);

    // Where texture and multi-material files are looked for (empty: from the game's folder).
    char TextureSearchPath[MAX_PATH] = {};

    // ---- Material reports ----
    // A warning goes to the loading screen's text line, never to the run log.
    void Warning(const char* text);
    // "Error: %s" (the prefix once) on the loading screen, waiting for a key while it is on, else
    // to the run log; the process ends with exit code 1.
    [[noreturn]] void FatalError(const char* text);

    bool Initialised = false;
    bool HighlightSBLoaded = false;
    bool SubstituteTextures = false;  // gore textures "gib", "meat" and "slab_pain" take their "_g" forms
    D3DMATRIX Identity{};
    D3DMATERIAL9 DefaultMaterial{};  // white, power 10: set on every new device
    Map Maps[NUM_MAPS];
    LightTable Lights;
    OverlayPageInfo OverlayPage[MAXOVERLAYPAGES];
    OverlayBatch Overlay;
    char LoadingText[160] = {};  // the last warning, as the loading screen shows it
    uint32_t Warnings = 0;

private:
    void SubstituteTextureNames(TexNames& names) const;
    // The file a texture name stands for, written back into it; false when there is none, with
    // *error the failed open's code (and name the file's path when it is there but cannot be read).
    bool ChooseTextureFile(char* name, DWORD* error);
    void BindTextures(StateBlock* SB, const TexNames& names, const bool* absent);
    bool ReadOverlayPageFile(OverlayPageInfo& page, const char* PageFile, bool IsFont, float Scale, float TexW,
                             float TexH);
    bool LockOverlay();
    void DrawOverlayBatch(bool draw);
    void ReportMissingDefaults();
    bool MissingReported = false;
    bool DefaultsFileReported = false;  // the read of the defaults file made a report
};

extern class MatCore MatCore;

struct RenderCoreSettings;
// The game's start: its enumeration filter, MatCore::Init, the mode of the settings and the device.
// False, with the library shut down again, when any of them fails. DXSetup::Load must have run.
bool StartMaterialLibrary(const RenderCoreSettings& settings);
