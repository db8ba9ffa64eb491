// The one place where tests steer and observe the platform. Never used by the engine.
#pragma once

#include "platform/win32/types.h"
#include "platform/d3d9.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct HWND__;

namespace platform::testing {

// Clocks. While set, timeGetTime answers the given value and Sleep only advances it.
void setManualClock(bool manual);
void setTime(DWORD milliseconds);
void advanceTime(DWORD milliseconds);
// While the clock is manual, each timeGetTime call moves it on by this step after answering, so
// code that waits for the clock to pass a time finishes (0: the clock stands still).
void setClockStep(DWORD milliseconds);
// While set, GetSystemTime answers this time.
void setSystemTime(const SYSTEMTIME* time);  // null: the real clock again

// Process exit. The hook runs instead of ending the process; it must not return (throw, or
// longjmp). Null restores the real exit.
void setExitHook(std::function<void(int code)> hook);

// Files held in memory, so that a test or a fuzzer hands a reader its bytes with no disk between.
// While a name is held, the file calls (CreateFileA and the calls on its handles, GetFileAttributesA,
// DeleteFileA, MoveFileA) find these bytes under it instead of the disk, and the folders on the way
// to it exist. Names match as the engine's do: '\' and '/' alike, in any case. Holding a name again
// replaces its bytes; handles already open keep the old ones. Safe from any thread; while nothing
// is held the file calls pay one atomic load.
void setMemoryFile(const std::string& name, const void* data, size_t size);
void removeMemoryFile(const std::string& name);
void clearMemoryFiles();
// While set, the disk is out of sight: only what is held exists, and a file opened for writing (or
// a folder made) is held from then on.
void setMemoryFilesOnly(bool on);
// The bytes held under the name; false when it is not held.
bool memoryFile(const std::string& name, std::string* bytes);

// Threads and events. Live counts: events whose handle is open; threads that run or whose handle
// is open. While set, CreateThread fails as when the system has no room for a thread.
int liveEvents();
int liveThreads();
int runningThreadCount();
void setCreateThreadFails(bool fails);

// ---- Run-time libraries ----
// While set, LoadLibraryA does not find the library / GetProcAddress does not find the export.
void setLibraryMissing(const char* library, bool missing);
void setExportMissing(const char* library, const char* exportName, bool missing);

// ---- Direct3D 9: the card ----
// What Direct3D reports about one device type of an adapter.
struct D3D9DeviceType {
    D3DDEVTYPE Type = D3DDEVTYPE_HAL;
    bool CapsFail = false;  // GetDeviceCaps fails
    D3DCAPS9 Caps{};        // DeviceType and AdapterOrdinal are filled in when zero
};

// One adapter. Format lists are what the device types accept (all types alike).
struct D3D9Adapter {
    D3DADAPTER_IDENTIFIER9 Identifier{};
    bool IdentifierFails = false;
    std::vector<D3D9DeviceType> DeviceTypes;
    std::vector<D3DDISPLAYMODE> Modes;               // every display mode with its format
    std::vector<D3DFORMAT> RenderTargetFormats;      // display formats usable as render targets
    std::vector<D3DFORMAT> DepthFormats;             // accepted as depth-stencil surfaces
    std::vector<std::pair<D3DFORMAT, D3DFORMAT>> DepthMismatches;  // (render target, depth) refused
    std::vector<D3DFORMAT> TextureFormats;
    std::map<D3DFORMAT, DWORD> QualityLevels;        // non-maskable multisample levels per format
    D3DDISPLAYMODE Desktop{};                        // the current display mode
    bool DesktopFails = false;
};

struct D3D9Config {
    std::vector<D3D9Adapter> Adapters;
};

// A plausible Direct3D 9 card: hardware T&L, 8 stages, 16 streams, 4096 textures, blend operations,
// VS 1.1 and PS 1.4, modes 640x480 to 1920x1080 in R5G6B5 and X8R8G8B8, DXT textures.
D3D9Config defaultD3D9Config();
// The configuration in force; tests may change it at any time (the desktop mode mid-test, say).
D3D9Config& d3d9Config();
// Back to the default card; every forced result, switch, counter and the trace cleared.
void resetD3D9();
// Direct3DCreate9 answers null while set.
void setDirect3DCreateFails(bool fails);

// ---- Direct3D 9: forced results ----
// Decides CreateDevice's result (D3D_OK creates the device). Null: always D3D_OK.
void setCreateDeviceResult(std::function<HRESULT(const D3DPRESENT_PARAMETERS& parameters, DWORD behaviour)> decide);
// Answered one per call before the device's own state is consulted; forced results never change that state.
void queueTestCooperativeLevel(HRESULT result);
void queueResetResult(HRESULT result);
// After the queue: decides Reset's result; D3D_OK goes on to the device's own checks.
void setResetResult(std::function<HRESULT(const D3DPRESENT_PARAMETERS& parameters)> decide);
// Puts the live device into D3DERR_DEVICELOST or D3DERR_DEVICENOTRESET (D3D_OK: working).
void setD3D9DeviceState(HRESULT state);
// Every later call of the method ("CreateTexture", "LockRect", "GetDisplayMode", ...) fails with the
// result; D3D_OK lifts the switch. Covers resource creation, locks, GetDisplayMode and
// GetFrontBufferData.
void setD3D9Failure(const std::string& method, HRESULT result);
// What GetFrontBufferData copies when the renderer keeps no image: A8R8G8B8 rows.
void setD3D9FrontBuffer(const std::vector<uint32_t>& pixels, UINT width, UINT height);
// Decides ValidateDevice's result and pass count. Null: D3D_OK, 1 pass.
void setValidateResult(std::function<HRESULT(DWORD* passes)> decide);

// ---- Direct3D 9: observation ----
struct D3D9StreamState {
    IDirect3DVertexBuffer9* Buffer = nullptr;
    UINT Offset = 0;
    UINT Stride = 0;
};

// What the device has received, as it holds it.
struct D3D9State {
    UINT Adapter = 0;
    D3DDEVTYPE Type = D3DDEVTYPE_HAL;
    HWND FocusWindow = nullptr;
    DWORD Behaviour = 0;
    D3DPRESENT_PARAMETERS Parameters{};
    DWORD RenderStates[256]{};
    DWORD StageStates[8][33]{};  // through D3DTSS_CONSTANT
    DWORD SamplerStates[16][16]{};
    std::map<DWORD, D3DMATRIX> Transforms;
    D3DVIEWPORT9 Viewport{};
    IDirect3DBaseTexture9* Textures[16]{};
    D3D9StreamState Streams[16]{};
    IDirect3DIndexBuffer9* Indices = nullptr;
    DWORD FVF = 0;
    IDirect3DVertexShader9* VertexShader = nullptr;
    IDirect3DPixelShader9* PixelShader = nullptr;
    IDirect3DVertexDeclaration9* Declaration = nullptr;
    IDirect3DSurface9* RenderTarget = nullptr;  // render target 0: the back buffer or a texture's level
    float VertexShaderConstants[256][4]{};
    float PixelShaderConstants[32][4]{};
    D3DMATERIAL9 Material{};
    std::map<DWORD, D3DLIGHT9> Lights;
    std::map<DWORD, BOOL> LightEnabled;
    std::map<UINT, std::array<PALETTEENTRY, 256>> Palettes;
    UINT CurrentPalette = 0xFFFF;
    D3DGAMMARAMP Gamma{};
    BOOL SoftwareVertexProcessing = FALSE;
    bool InScene = false;
    UINT FramesPresented = 0;
    // Grows with every call that sets what draws read, but for the streams and indices (which a
    // user-pointer draw lets go of each time): a renderer reads the rest again only when it grew.
    uint64_t StateVersion = 0;
};

// The state of the device created last, null when none is alive.
const D3D9State* d3d9State();
int d3d9LiveDevices();
// Resources alive in a pool (all devices).
int d3d9LiveResources(D3DPOOL pool);

// Calls made on the IDirect3D9 and device objects since the last clear, by method name
// ("SetRenderState"). Always counted.
int d3d9Calls(const std::string& method);
struct D3D9Call {
    std::string Method;
    std::vector<uint64_t> Args;  // integers as given, pointers as addresses, floats as their bits
};
// The ordered trace is kept only while switched on. Safe while other threads draw: the trace is
// read as a copy.
void setD3D9Trace(bool on);
std::vector<D3D9Call> d3d9Trace();
void clearD3D9Calls();
// The present parameters of every CreateDevice attempt and of every Reset, in order.
const std::vector<D3DPRESENT_PARAMETERS>& d3d9CreateAttempts();
const std::vector<D3DPRESENT_PARAMETERS>& d3d9ResetParameters();
// The token stream of a shader (up to its end token) and the elements of a declaration (up to its end).
std::vector<DWORD> d3d9ShaderTokens(IDirect3DVertexShader9* shader);
std::vector<DWORD> d3d9ShaderTokens(IDirect3DPixelShader9* shader);
std::vector<D3DVERTEXELEMENT9> d3d9DeclarationElements(IDirect3DVertexDeclaration9* declaration);
// What the renderer said it cannot draw (a shader, a declaration), once each, in order.
const std::vector<std::string>& d3d9RendererNotes();
// Bytes of a buffer as they stand.
std::vector<uint8_t> d3d9BufferBytes(IDirect3DVertexBuffer9* buffer);
std::vector<uint8_t> d3d9BufferBytes(IDirect3DIndexBuffer9* buffer);

// Windows and messages. The test backend has no SDL and no lock files; switching forgets every
// window, class, queue and script.
void useTestWindows();
void useLiveWindows();
void setScreenSize(int width, int height);
// The foreground window as GetForegroundWindow reports it (no messages are sent).
void setForeground(HWND__* window);
// Pretends that another process has (or no longer has) a top-level window of the class.
void setOtherProcessWindow(const char* className, bool present);
void setKeyDown(int virtualKey, bool down);
// GetMessageA on an empty queue runs this once (it may post); when the queue is still empty it
// returns WM_NULL instead of blocking.
void setIdleHook(std::function<void()> hook);
// Messages waiting for the calling thread.
int queuedMessages();

struct WindowCalls {
    int setWindowPos = 0;
    int getMessage = 0;
    int showWindow = 0;
    // The latest SetWindowPos.
    HWND__* lastInsertAfter = nullptr;
    int lastX = 0, lastY = 0, lastWidth = 0, lastHeight = 0;
    UINT lastFlags = 0;
    int lastShowCommand = -1;
};
const WindowCalls& windowCalls();
void resetWindowCalls();

struct MessageBoxRecord {
    std::string text;
    std::string caption;
};
const std::vector<MessageBoxRecord>& messageBoxes();
void clearMessageBoxes();

// The frame script (the text of a PLATFORM_SCRIPT file, a UTF-8 byte-order mark at its start
// skipped). False with a line on stderr when a line cannot be read; then none is loaded.
bool loadScript(const char* text);
DWORD scriptFrame();

// CoInitialize calls not yet balanced by CoUninitialize on the calling thread.
int comInitCount();

// Processor. While answers are set, cpuid answers from them (EAX, EBX, ECX, EDX per leaf; other
// leaves give zeros) instead of the processor. Null: the processor again.
struct CpuAnswers {
    bool present;          // whether CPUID exists at all
    uint32_t leaf0[4];     // highest leaf; vendor in EBX, EDX, ECX
    uint32_t leaf1[4];     // feature bits in EDX
    uint32_t extended0[4]; // highest extended leaf
    uint32_t extended1[4]; // extended feature bits in EDX
};
void setCpuAnswers(const CpuAnswers* answers);
// While set, readTsc answers a counter that only moves by the step on each read.
void setManualCycleCounter(bool manual);
void setCycleCounter(uint64_t value);
void setCycleStep(uint64_t cycles);

}  // namespace platform::testing
