// D3DCore: the one render-device object of the render core (the global D3DCore). It owns the
// IDirect3DDevice9 (DXInterface.ID3DDevice), the player's choice of adapter, device, mode, format,
// refresh rate and depth buffer, the present parameters, the lost-device handling, and the caches
// that sit between the game and the device.
//
// Life: Init -> SetMode -> CreateDevice -> (lost: LoseDevice ... RestoreLostDevice) -> ReleaseDevice
// -> Shutdown. ChangeMode, SwitchToDesktop and RestoreDevice each run a release, reset and restore
// while the device stays active. Everything runs on the main thread.
#pragma once

#include "d3dcore9/D3DCoreHost.h"
#include "d3dcore9/DelayedSort.h"
#include "d3dcore9/DisplayList.h"
#include "d3dcore9/DynamicBuffer.h"
#include "d3dcore9/LoadingScreen.h"
#include "d3dcore9/RenderStatistics.h"
#include "d3dcore9/StateBlock.h"
#include "d3dcore9/TextureTable.h"
#include "d3dcore9/ShaderTables.h"
#include "dxsetup9/DXSetup.h"

#include <cstdint>

// The cache value of a state whose device value is not known.
const DWORD STATE_UNKNOWN = 0xCE7CA21Eu;
// The shader cache value after creation and restore: never a real interface, so the next set always
// reaches the device.
#define SHADER_UNKNOWN (reinterpret_cast<void*>(static_cast<uintptr_t>(0xBADF000Du)))

const int32_t MAX_RENDER_STATES = 256;
const int32_t MAX_TEXTURE_STAGES = 8;
const int32_t MAX_STAGE_STATES = 200;  // 0..99 stage states, 100..199 sampler state - 100
const int32_t MAX_STREAMS = 16;
const int32_t MAX_VS_CONSTANTS = 96;
const int32_t MAX_PS_CONSTANTS = 8;
const int32_t MAXDYNAMICVERTEXBUFFERS = 16;
const int32_t MAXPALETTES = 64;
const int32_t MAXMBLOCKS = 100;
const int32_t MAXOVERRIDEPATHS = 6;
const int32_t OVERRIDE_PATH_SIZE = 512;
const int32_t NUM_D3DCOREFUNC_TYPES = 6;
const int32_t NUM_D3DCOREFUNC_SLOTS = 10;
const DWORD DEFAULT_DYNAMIC_IB_SIZE = 32768;
// Sizes read from data\VBIBConfig.txt above this are refused.
const DWORD MAX_DYNAMIC_BUFFER_SIZE = 0x1000000;

class CFile;

struct D3DCoreFuncHandle {
    DWORD Type;
    int32_t Index;  // -1: not registered
};
typedef void (*D3DCoreFuncPtr)();

// Dynamic vertex-buffer size for one vertex format (vertices).
struct DynamicVBSize {
    DWORD FVF;
    DWORD Size;
};

// A multi-material name block: the file and the names of its materials.
struct MBlockEntry {
    char* Name;
    char* Materials[4];
    BYTE Flags[2];
};

class D3DCore {
public:
    D3DCore();
    ~D3DCore();
    D3DCore(const D3DCore&) = delete;
    D3DCore& operator=(const D3DCore&) = delete;

    // ---- Shell seam and test seam ----
    // The shell's services; null restores the headless host.
    static void SetHost(D3DCoreHost* host);
    static D3DCoreHost& Host();
    // The global object as static construction leaves it.
    static void ResetObject();

    // ---- Run log and error context ----
    static void WriteLog(const char* text);
    static void SetModelName(const char* name);
    static void SetMaterialName(const char* name);
    // "\nRSM: %s", or "" when no name is set; one static buffer, overwritten by the next call.
    static const char* GetModelContext();
    // "\nMaterial: %s", or "" when no name is set.
    static const char* GetMaterialContext();

    // ---- Life ----
    bool Init();
    void Shutdown();
    // Validates and stores the choice; an index out of range keeps the previous choice. Windowed on
    // a desktop that cannot serve it ends the process with exit code 1.
    void SetMode(int32_t RAdapter, int32_t RDevice, int32_t RMode, int32_t RFormat, int32_t RRefresh, int32_t RZBuf,
                 bool RFullScreen, BYTE optionA, BYTE optionB, int32_t multiSample);
    bool CreateDevice(bool multiThreaded, bool vSync, int32_t interval);
    void ReleaseDevice();
    void SetPresentOptions(bool vSync, int32_t interval, BYTE optionA, BYTE optionB, int32_t multiSample, bool resetNow);
    void SetMultiSample(int32_t multiSample, bool resetNow);
    // Returns the multisample setting in force afterwards.
    int32_t ChangeMode(int32_t RAdapter, int32_t RDevice, int32_t RMode, int32_t formatIndex, bool force,
                       int32_t multiSampleFallBack);
    void SwitchToDesktop();
    void RestoreDevice();
    void LoseDevice();
    void RestoreLostDevice();
    void SetPerspective(float nearZ, float farZ, float scaleX, float scaleY, bool force);
    uint32_t GetScreenWidth() const;
    uint32_t GetScreenHeight() const;
    void SetOverrideSize(uint32_t width, uint32_t height);
    void ClearOverrideSize();
    DisplayHandle* CreateDisplayHandle();
    void ReadVBIBConfig();
    void SetPalette(int32_t Num, const PALETTEENTRY* entries);
    bool PaletteUsed(int32_t i) const;
    void FreePalette(int32_t Num);

    // ---- Callbacks ----
    D3DCoreFuncHandle RegisterFunc(DWORD type, D3DCoreFuncPtr func);
    void UnregisterFunc(D3DCoreFuncHandle handle);
    void RunFuncs(DWORD type);

    // ---- Mode queries ----
    int32_t GetNumModes(int32_t RAdapter, int32_t RDevice, bool limit) const;
    void GetModeSize(int32_t RAdapter, int32_t RDevice, int32_t Index, uint32_t* width, uint32_t* height) const;
    int32_t FindMode(int32_t RAdapter, int32_t RDevice, uint32_t width, uint32_t height) const;
    int32_t FindFormat(int32_t RAdapter, int32_t RDevice, int32_t RMode, int32_t bits) const;
    int32_t FindRefreshRate(int32_t RAdapter, int32_t RDevice, int32_t RMode, int32_t RFormat, DWORD rate) const;

    // ---- State caches ----
    // Refused with D3DERR_INVALIDCALL: a state of 256 or more, a stage of 8 or more, a type of 200 or more.
    HRESULT SetRenderState(DWORD state, DWORD value);
    HRESULT ForceRenderState(DWORD state, DWORD value);
    HRESULT SetTextureStageState(DWORD stage, DWORD type, DWORD value);
    HRESULT ForceTextureStageState(DWORD stage, DWORD type, DWORD value);
    void SetTexture(int32_t Stage, IDirect3DBaseTexture9* texture);
    void InvalidateStateCache();
    // Draws lines straight from the caller's vertices (position and diffuse colour, unlit) in
    // world space; afterwards the cache entries it went round are unknown.
    void DrawUserLines(const void* vertices, UINT numLines, UINT stride);
    void SetStreamSource(int32_t Stream, IDirect3DVertexBuffer9* buffer, UINT stride);
    void SetVertexShader(IDirect3DVertexShader9* shader);
    void SetPixelShader(IDirect3DPixelShader9* shader);
    void SetFVF(DWORD fvf);
    void SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration);
    // Constants: a register past the table is refused (nothing stored, null returned).
    void SetVertexShaderConstant(int32_t Register, float x, float y, float z, float w);
    void SetVertexShaderConstantComponent(int32_t Register, int32_t Component, float value);
    float* GetVertexShaderConstants(int32_t StartRegister, int32_t NumRegisters);
    void SetPixelShaderConstant(int32_t Register, float x, float y, float z, float w);
    void SetPixelShaderConstantComponent(int32_t Register, int32_t Component, float value);
    float* GetPixelShaderConstants(int32_t StartRegister, int32_t NumRegisters);
    // Uploads each changed range in one call and empties it.
    void ApplyShaderConstants();

    // ---- Transforms, fog and render-default snapshots ----
    void SetWorldTransform(float AngleZ, float AngleY, float X, float Y, float Z, float Scale);
    void SetProjection(float Near, float Far, float Width, float Height);
    void SetFog(float Start, float End, int32_t R, int32_t G, int32_t B);
    void EnableFog(bool on);
    void SaveRenderDefaults();
    void RestoreRenderDefaults();
    void ForceRenderDefaults();

    // ---- Textures ----
    // Releases every hardware texture only when asked to; shutdown leaves them to their holders.
    void ReleaseTextures(DWORD unusedA, DWORD unusedB, bool release);
    TextureTable TextureTables;

    // ---- Registries ----
    MBlockEntry* AddMBlock();  // null when the table is full
    bool FindMBlock(const char* name, MBlockEntry** block);
    void ClearMBlocks();
    bool SetOverridePath(const char* path, int32_t Idx);
    void ClearOverridePaths();
    const char* GetOverridePath(int32_t Idx) const;
    void ResetGammaRamp();
    void SetGammaOffset(int32_t offset);
    void SetWorldMatrix(const D3DMATRIX& matrix);
    void SetCameraAngles(float a1, float a2, float a3, float x, float y, float z);
    void SetCameraAnglesZFirst(float a1, float a2, float a3, float x, float y, float z);
    void BuildCameraTextureMatrix();
    // Every display handle (their references given back while a device is active) / every
    // vertex list of them.
    void FreeDisplayHandles();
    void FreeVertexLists();

    // ---- Life state ----
    BYTE Initialised = 0;
    BYTE DeviceActive = 0;
    BYTE DeviceLost = 0;
    int32_t AdapterIndex = 0, DeviceIndex = 0, ModeIndex = 0, FormatIndex = 0, RefreshIndex = 0, ZBufferIndex = 0;
    BYTE FullScreen = 0;
    DXAdapter* pAdapter = nullptr;  // the choice of SetMode
    DXDevice* pDevice = nullptr;
    DXMode* pMode = nullptr;
    DXModeType* pModeType = nullptr;  // null windowed
    DXRefreshRate* pRefresh = nullptr;  // null windowed
    DXZBuffer* pZBuffer = nullptr;
    ListMngr<DXZBuffer>* ZBufferList = nullptr;
    DXAdapter* CurrentAdapter = nullptr;  // the records in use since CreateDevice
    DXDevice* CurrentDevice = nullptr;
    DXMode* CurrentMode = nullptr;
    DXModeType* CurrentModeType = nullptr;
    DXRefreshRate* CurrentRefresh = nullptr;
    DXZBuffer* CurrentZBuffer = nullptr;
    DXZBuffer* ActualZFormat = nullptr;
    uint32_t ScreenWidth = 0, ScreenHeight = 0;
    uint32_t OverrideWidth = 0, OverrideHeight = 0;
    BYTE OverrideSize = 0;
    D3DPRESENT_PARAMETERS PresentParameters{};
    D3DFORMAT SavedBackBufferFormat = D3DFMT_UNKNOWN;
    UINT SavedRefreshRate = 0;
    UINT SavedPresentationInterval = 0;
    BYTE VSync = 0;
    int32_t Interval = 1;
    BYTE OptionA = 0, OptionB = 0;
    int32_t ReqMultiSampleType = 0;
    DWORD VertexProcessing = 0;
    BYTE SoftwareShaders = 0;
    D3DVIEWPORT9 LastViewPort{};
    D3DVIEWPORT9 FrameViewPort{};
    DWORD FullViewPortWidth = 0, FullViewPortHeight = 0;
    float NearZ = 0, FarZ = 0, ScaleX = 0, ScaleY = 0;
    float FarMultiplier = 0;  // the current pass's depth bias; non-zero stretches the far plane
    float PerspectiveFarMultiplier = 0;
    D3DMATRIX ProjectionMatrix{}, ViewProjection{}, ViewMatrix{}, WorldMatrix{};
    DWORD DynamicIB9Size = DEFAULT_DYNAMIC_IB_SIZE;
    DynamicVBSize DynamicVB9Size[MAXDYNAMICVERTEXBUFFERS] = {};
    int32_t GenericMaterials = 0;
    ListMngr<DisplayHandle> DisplayHandles;
    float RandomFloats[512] = {};
    BYTE RandomBytes[4][512] = {};
    int32_t FactorLookup[256] = {};
    D3DCoreFuncPtr D3DCoreFunc[NUM_D3DCOREFUNC_TYPES][NUM_D3DCOREFUNC_SLOTS] = {};
    uint32_t FrameCount = 0;
    uint64_t TimerStart = 0;
    uint64_t TimerRate = 0;
    PALETTEENTRY Palettes[MAXPALETTES][256] = {};
    BYTE PaletteInUse[MAXPALETTES] = {};
    int32_t CurrentPalette = -1;         // as last sent, -1 forgotten
    int32_t LastPalette = -1;            // the palette last loaded
    int32_t ShellActivateIndex = -1, ShellDeactivateIndex = -1;

    // ---- Caches ----
    DWORD RenderStates[MAX_RENDER_STATES];
    IDirect3DBaseTexture9* Textures[MAX_TEXTURE_STAGES] = {};
    DWORD StageStates[MAX_TEXTURE_STAGES][MAX_STAGE_STATES];
    BYTE RenderStateTouched[MAX_RENDER_STATES] = {};
    BYTE StageStateTouched[MAX_TEXTURE_STAGES][MAX_STAGE_STATES] = {};
    DWORD RenderStateDefaults[MAX_RENDER_STATES];
    DWORD StageStateDefaults[MAX_TEXTURE_STAGES][MAX_STAGE_STATES];
    IDirect3DVertexBuffer9* StreamSources[MAX_STREAMS] = {};
    void* VertexShader = SHADER_UNKNOWN;
    void* PixelShader = SHADER_UNKNOWN;
    DWORD FVF = 0;
    float VertexShaderConstants[MAX_VS_CONSTANTS][4] = {};
    int32_t VSConstantsLow = 1000, VSConstantsHigh = -1000;
    float PixelShaderConstants[MAX_PS_CONSTANTS][4] = {};
    int32_t PSConstantsLow = 1000, PSConstantsHigh = -1000;
    IDirect3DVertexDeclaration9* Declaration = nullptr;  // set instead of an FVF (FVF 0)

    // ---- Transforms and fog ----
    int32_t FogR = 0, FogG = 0, FogB = 0;
    BYTE FogEnabled = 0;
    uint32_t WorldMatrixChanges = 0;
    float CameraPosition[3] = {};
    D3DMATRIX CameraRotation{};

    // ---- Registries ----
    MBlockEntry MBlock[MAXMBLOCKS] = {};
    int32_t NumBlocks = 0;
    char OverridePaths[MAXOVERRIDEPATHS][OVERRIDE_PATH_SIZE] = {};
    WORD Gamma[3][256] = {};

    // ---- State blocks ----
    // Applies one pass of a block: depth bias, texture factor, shaders and their constants, textures,
    // then (unless this pass list was the last applied) palette, the pending restore list before a
    // pass 0, the pass list and the disabling of stages the pass does not use. fvf 0: the material's.
    void ApplyStateBlock(StateBlock* SB, DWORD pass, DWORD fvf);
    void ApplyStateList(const StateNode* node);
    // Each pass applied on placeholder textures and checked by the device; the defaults come back
    // after each. False when a pass fails; result holds the last pass's answer.
    bool ValidateMaterial(GMaterial* GM, DWORD* passes, DWORD* totalPasses, HRESULT* result);
    bool FindStateBlockByName(const char* name, StateBlock** entry);
    // The restore list of the last pass-0 block, if one is pending; the last-applied list is forgotten.
    void ApplyPendingRestore();
    // A block about to be freed: its pending restore list is applied and nothing keeps pointing at it.
    void ForgetStateBlock(StateBlock* SB);
    // Texture stages of the device in use (at most 8).
    DWORD StageCount() const;

    StateBlockTable StateBlocks;
    DWORD LetterboxBlock = SB_NONE;  // the border material: screen margin and letterbox
    DWORD HighlightBlock = SB_NONE;  // the highlight material, loaded by the material library
    BYTE HighlightOn = 0;
    BYTE BorderBlockReported = 0;
    StateBlock* LastStateBlock = nullptr;  // the pass-0 block whose restore list is pending
    const StateList* LastStateList = nullptr;  // the pass list applied last
    DWORD ActiveStages = 0;
    BYTE SkipValidation = 0;
    BYTE DepthBufferEnabled = 1;
    BYTE WBufferOption = 1;
    BYTE WBufferInUse = 0;
    BYTE ResetTexCoordIndex = 1;   // armed: the next vertex-shader material sets TEXCOORDINDEX s = s
    BYTE HWVertexProcessing = 1;   // mixed vertex processing: shaders switch it off
    uint32_t StateChanges = 0;     // per frame
    D3DMATERIAL9 NodeMaterial{};   // what material-colour nodes set
    D3DMATRIX CameraTextureMatrix{};
    // ---- File location and shaders ----
    // Finds Name in the override folders, then as named, then (UseGamePath on) in SubDir folders
    // beside and above it while they stay inside Base. The file that opened is left open in File
    // and its path copied to OutPath, which holds MAX_PATH characters. When none opens, *Error is
    // ERROR_FILE_NOT_FOUND, or the code of the first that is there but cannot be opened, whose path
    // is then in OutPath.
    bool FindFile(CFile& File, const char* Name, const char* Base, const char* SubDir, uint32_t Mode, char* OutPath,
                  bool Quiet, DWORD* Error = nullptr);
    // The slot (1..31) of the shader assembled from the file, shared with every material naming the
    // same file; 0 when the file is not found, the table is full or a given declaration is too long.
    // A slot whose device objects could not be made is still filled and returned.
    // useDeclaration false: the declaration is built from the material's FVF word.
    int32_t LoadVertexShader(const char* fileName, const char* materialName, DWORD materialFVF, bool useDeclaration,
                             const D3DVERTEXELEMENT9* declaration);
    int32_t LoadPixelShader(const char* fileName, const char* materialName);
    void ReleaseVertexShader(IDirect3DVertexShader9* shader);
    void ReleasePixelShader(IDirect3DPixelShader9* shader);
    // Empty the tables, releasing what they hold.
    void ClearVertexShaders();
    void ClearPixelShaders();

    BYTE UseGamePath = 1;  // FindFile walks up to sibling sub-folders
    VertexShaderTable VShaderTable{};
    PixelShaderTable PShaderTable{};

    // ---- Dynamic vertex and index buffers ----
    // The buffer for this FVF word (made on first request); -1 when all 16 are taken.
    int32_t CreateDynamicVertexBuffer(DWORD FVF);
    // Device lost: the device buffers go, the records (and handles) stay.
    void LoseDynamicBuffers();
    // Device restored: the device buffers come back; write positions are kept.
    void RestoreDynamicBuffers();
    // Shutdown: every device buffer released (nothing to do while lost).
    void ReleaseDynamicBuffers();
    // The vertex buffers alone, and the handles handed out afresh.
    void ReleaseDynamicVertexBuffers();

    DynamicVB DynamicVertexBuffer9[MAXDYNAMICVERTEXBUFFERS];
    int32_t TotalDynamicVertexBuffers9 = 0;
    DynamicIB DynamicIndexBuffer9;

    // ---- Frame, present and viewports ----
    // Per frame: BeginScene -> drawing -> EndScene -> Present. A frame whose BeginScene finds the
    // device lost opens no scene and presents nothing.
    void BeginScene(bool clear, bool keepViewport);
    void EndScene(bool runScenePasses);
    void Present(bool runOffscreenPasses);
    // The type-4 callbacks, each in a scene of its own over the whole screen.
    void RunOffscreenPasses();
    // Shutdown: every callback slot must be empty by now.
    void ClearFuncs();
    void SetClearColour(bool enable, int32_t r, int32_t g, int32_t b);
    void SetBorderColour(bool enable, int32_t r, int32_t g, int32_t b, BYTE flag);
    void SetFade(int32_t alpha);
    void ClearTarget(DWORD colour);
    void ClearZBuffer();
    void UpdateFrameTime();
    // Sizes must be even and the used sizes no larger than the full ones; otherwise the previous
    // viewport stays.
    void SetViewPort(int32_t x, int32_t y, int32_t width, int32_t height, int32_t usedWidth, int32_t usedHeight);
    void SetLetterboxViewPort(int32_t x, int32_t y, int32_t width, int32_t fullHeight, int32_t usedHeight);
    void SetFullViewPort(bool clear);
    // The depth format in use has stencil bits.
    bool HasStencil() const;

    struct ViewportInfo {
        int32_t LetterboxSize = 0;  // margin above and below
        int32_t WindowboxSize = 0;  // margin left and right
    };
    BYTE BegunScene = 0;
    BYTE ClearColourEnabled = 0;
    DWORD ClearColour = 0xFF000000u;
    BYTE BorderColourEnabled = 0;
    DWORD BorderColour = 0xFF000000u;
    BYTE BorderFlag = 0;
    int32_t FadeAlpha = 255;
    BYTE DrawMargin = 0;  // the screen margin strips, set from the game's configuration
    int32_t MarginWidth = 0, MarginHeight = 0;
    BYTE SkipScenePasses = 0;
    BYTE FrameStatsEnabled = 1;
    BYTE FreezeFrameTime = 0;
    double FrameTime = 0;  // milliseconds since the device was created
    ViewportInfo CurrentViewportInfo;

    // ---- Geometry submission and display lists ----
    // A new batch of the list, open (writable) until EndAddTris; null when the request is refused.
    // Streams: where a material with vertex streams gets each stream's memory.
    VertexList* AddTris(DisplayHandle* Handle, const MultiBlock* MM, AddTrisConfig* Config, void** Vertices,
                        void** Indices, VBStreams* Streams);
    void EndAddTris();
    // Inside a scene: every block drawn at once, or recorded for the sorted pass. Flags: the nine
    // render flags material callbacks read.
    void DrawDisplayList(DisplayHandle* Handle, uint32_t Flags);
    void DeleteDisplayHandle(DisplayHandle* Handle);
    void SetDisplayListMaterial(DisplayHandle* Handle, int32_t Mat);
    void SetDisplayListAnimationStart(DisplayHandle* Handle, float Time);
    // With the device: the default-pool buffers of every display list.
    void LoseDisplayListBuffers();
    void RestoreDisplayListBuffers();
    // The end of a scene: the recorded blocks, far to near.
    void DrawDelayedSorted();

    BYTE AddingTris = 0;
    VertexList* AddTri = nullptr;
    StateBlock* AddTriSB = nullptr;
    MultiBlock* AddTriMM = nullptr;
    void* AddTriBuffer = nullptr;
    BYTE WriteOnlyBuffers = 1;
    BYTE AutoTransparency = 0;         // draw each block's transparent variant
    BYTE AutoTransparencyAlpha = 255;
    BYTE MaterialOverride = 0;         // draw everything with OverrideBlock
    DWORD OverrideBlock = SB_NONE;
    BYTE SingleBlockMode = 0;          // draw only SingleBlock of a list
    MatBlock* SingleBlock = nullptr;
    BYTE DelayedDrawing = 1;           // the sorted pass runs at the end of the scene
    uint32_t RenderFlags = 0;          // of the draw under way
    DWORD LastDrawFVF = 0;
    FrameCounts Counts;
    DelayedSortTables Delayed;

    // ---- Material pass setup ----
    // Before pass p: static texture matrices, the DOT3 light colour, and in pass 0 the animation.
    void SetupMaterialPass(StateBlock* SB, DWORD Pass);
    // After it: the texture transforms it switched on are switched off.
    void ResetMaterialPass(StateBlock* SB, DWORD Pass);
    void ApplyTextureAnimation(GMaterial* GM, DWORD Stage);
    void SetMaterialColours(StateBlock* SB);
    // The material's colour modifiers on an ARGB colour.
    static DWORD ApplyColourModifiers(const GMaterial* GM, DWORD Colour);
    // TEXTURETRANSFORMFLAGS and the stage's texture transform, counted as a state set.
    void SetTextureMatrix(DWORD Stage, DWORD Flags, const D3DMATRIX& Matrix);

    D3DMATRIX ScratchTextureMatrix{};
    const float* ProminentLight = nullptr;  // direction of the strongest light, null when none
    float ProminentIntensity = 1.0f;
    BYTE AnimatedStages = 0;

    // ---- Debug text, the loading screen and the frame statistics ----
    // The debug font's dynamic vertex buffer (XYZRHW | TEX1), taken when the debug font is loaded
    // (the material library does it with the device) and again after every reset.
    void CreateDebugTextBuffer();
    void ReleaseDebugTextBuffer();
    // 0: every print; 1: DebugPrint silent; 2: also the unforced scaled prints silent.
    void SetDebugTextMode(int32_t mode);
    // Inside a scene: 4 x 8-pixel characters (x scale) from (x, y) past the viewport origin.
    void DebugPrint(const char* text, float x, float y);
    // sceneBegun: the caller holds a scene of its own (the loading screen).
    void DebugPrintScaled(const char* text, float x, float y, float scale, bool sceneBegun, bool force);
    // Test seam: every print that passes the mode and scene checks, before it is drawn.
    typedef void (*DebugTextObserver)(const char* text, float x, float y, float scale);
    static void SetDebugTextObserver(DebugTextObserver observer);

    // Switched on: a load begins (its layout and clock are taken when it first draws). Off: loads
    // are silent.
    void EnableLoadingScreen(bool on);
    // On: a text replaces the top line instead of pushing a new one.
    void SetLoadingUpdateMode(bool on);
    // Pumps messages and waits out a lost device; then, during a load, pushes the text as a new
    // line (an empty text pops one) and redraws when forced or 100 ms after the last frame.
    // Returns the line's level (0 when nothing was shown).
    int32_t ShowLoadingScreen(const char* text, bool force);
    // A progress line (shorter than 160 characters) for the history; AddLoadingText redraws at once.
    void SetLoadingText(const char* text);
    void AddLoadingText(const char* text);
    void DrawLoadStats();

    // A draw that did not go through a display list, for the frame statistics.
    void CountDraw(D3DPRIMITIVETYPE type, uint32_t primitives, uint32_t vertices, uint32_t degenerate);
    // Counts this frame into the window; a window older than a second gives new figures.
    void UpdateFrameStatistics(FrameStatistics& out);
    // The overlay, drawn by EndScene while FrameStatsEnabled is on.
    void DrawStatistics();

    int32_t DebugPrintVertexBuffer = -1;
    int32_t DebugTextMode = 0;
    DWORD DebugFontBlock = SB_NONE;  // data\font.mtl, loaded by the material library
    BYTE FontLoaded = 0;
    LoadingScreenState Loading;
    BYTE ShortStatistics = 0;  // the overlay stops after the triangle rate
    BYTE FrameCounted = 0;     // this frame is in the statistics window
    StatisticsWindow StatsWindow;
    FrameStatistics LastStatistics;
    float LastFPS = 0;

    // ---- What material animation programs read ----
    double AnimationTime = 0;      // game time in milliseconds, copied by the game once per frame
    int32_t UniqueIndex = 0;       // per drawn object: which entry of the random tables it sees
    int32_t LightColour[3] = {};   // the last DOT3 light colour, bytes
    int32_t AlphaFactor = 255;

private:
    void DrawDebugText(const char* text, float x, float y, float scale);
    void StartLoad();
    void DrawLoadingScreen(bool force);
    // The device test at the start of a frame: lost, reset and restored. False while it is lost.
    bool TestDevice();
    void DrawBlockNow(MatBlock* Block, StateBlock* SB, DWORD Colour);
    void RecordDelayed(MatBlock* Block, StateBlock* SB, BYTE AutoTransparent, DWORD Colour);
    // Streams, indices and the draw call of one list, counted.
    void DrawVertexList(VertexList* List, const GMaterial* GM);
    void SetCountedStream(int32_t Stream, IDirect3DVertexBuffer9* Buffer, UINT Stride);
    void ReleaseBlock(MatBlock* Block);
    bool SortEntries(DelayedEntry& Entry, StateBlock* SB);
    int32_t DrawSorted(int32_t k, int32_t n, DelayedEntry*& previous);
    typedef void (*CameraTurn)(D3DMATRIX& m, float a1, float a2, float a3);
    void PlaceCamera(CameraTurn turn, float a1, float a2, float a3, float x, float y, float z);
    void AfterReset();
    // The back-buffer format, refresh rate and interval that RestoreDevice puts back.
    void SaveFullScreenPresent();

    bool ValidateChoice(int32_t RAdapter, int32_t RDevice, DXAdapter** adapter, DXDevice** device) const;
    void FillPresentInterval();
    void FillMultiSample();
    void SetFullViewPort();
    HRESULT ResetLooping();
    void CreateDynamicBuffers();
    void ClearBorders();
    void RefreshDesktopMode();
    void DrawScreenMargin();
    void ResendPalettes();
    void LoadWhitePalette();
    void FreeMBlock(MBlockEntry& block);
};

extern class D3DCore D3DCore;

// The enumeration filter the game uses: the defaults, modes 640 x 480 to 1600 x 1200 in 16 and 32
// bits, the hardware device on the primary adapter only.
EnumFilter GameEnumFilter();
