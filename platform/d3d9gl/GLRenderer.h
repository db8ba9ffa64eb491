// Draws for the reference Direct3D 9 device through OpenGL 3.3 core in an SDL2 window.
//
// The device keeps every state and resource; this class only turns them into GL objects and draw
// calls. Values are the device's own (render-state numbers, formats, FVF words, colours as
// 0xAARRGGBB), so the device hands its tables over as they are. Rendering goes to an off-screen
// back buffer, or to a texture made the render target; Present makes the back buffer the front
// buffer (what a screenshot reads), copying it to the window when one can be seen. A draw makes
// only the GL calls that change what GL holds.
//
// Usage: create(window or null, width, height); per frame clear/draw, then present(). Buffers and
// textures are renderer handles (0 = none) that the device updates when their contents change.
#pragma once

#include "d3d9gl/FixedFunctionKey.h"
#include "d3d9gl/Lighting.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct SDL_Window;

namespace d3d9gl {

struct Viewport {
    uint32_t X, Y, Width, Height;
    float MinZ, MaxZ;
};

struct Rect {
    int32_t x1, y1, x2, y2;
};

constexpr int RENDER_STATE_COUNT = 256;
constexpr int STAGE_STATE_COUNT = 33;
constexpr int SAMPLER_STATE_COUNT = 14;

// ---- Shader model 1.x ----
// A token stream the renderer translates once and keeps under its id; id 0 is the fixed-function
// stage.
struct ShaderCode {
    uint64_t id = 0;
    const uint32_t* tokens = nullptr;
    size_t count = 0;
};

// One vertex-shader input: attribute `location` (its input register) read from a stream at an
// offset, in a declaration type as the device numbers them (0..3 FLOAT1..4, 4 D3DCOLOR, 5 UBYTE4,
// 6 SHORT2, 7 SHORT4, 8 UBYTE4N, 9 SHORT2N, 10 SHORT4N, 11 USHORT2N, 12 USHORT4N, 15 FLOAT16_2,
// 16 FLOAT16_4).
struct VertexInput {
    uint32_t location = 0, stream = 0, offset = 0, type = 0;
};

constexpr int MAX_VERTEX_STREAMS = 16;

struct ShaderState;

// The device's state as the renderer reads it at a draw. Pointers stay owned by the device.
struct PipelineState {
    const uint32_t* renderStates = nullptr;                      // [RENDER_STATE_COUNT]
    const uint32_t (*stageStates)[STAGE_STATE_COUNT] = nullptr;  // [MAX_STAGES][...]
    const uint32_t (*samplerStates)[SAMPLER_STATE_COUNT] = nullptr;
    const float* world = nullptr;  // 16 floats each, row-major, for row vectors
    const float* view = nullptr;
    const float* projection = nullptr;
    const float* blendWorlds[3] = {};        // world matrices 1..3 for vertex blending (null: identity)
    const float* textureMatrices[8] = {};    // per stage (null: identity)
    Viewport viewport{};
    uint32_t textures[MAX_STAGES] = {};  // renderer texture handles
    const ShaderState* shaders = nullptr;  // null: fixed function throughout
    const LightingState* lighting = nullptr;  // null: no lights, a black material
    // Changes whenever anything above or what it points to does (but the shaders' streams); a
    // draw of the version drawn last, with the same FVF, reuses what that draw set up. 0: unknown.
    uint64_t version = 0;
};

// Where a draw's vertices come from: a renderer buffer (buffer != 0), or memory that holds the
// vertices from index 0 and is streamed to GL at each draw: the caller's (size 0: read as far as
// the draw says it reaches) or `size` bytes the device keeps, of which only the vertices the draw
// reads are taken (those its indices name, for an indexed draw).
struct VertexSource {
    uint32_t buffer = 0;
    const void* data = nullptr;
    uint32_t offset = 0;  // bytes into the buffer
    uint32_t stride = 0;
    uint32_t fvf = 0;
    size_t size = 0;
};

// Shaders in place of either fixed-function stage. With a vertex shader the vertices come from
// the streams through the inputs, and the draw's own vertex source is not read. Without one,
// inputs (at the fixed-function attribute locations) read a declaration's vertices in the same
// way, the draw's vertex source giving only the FVF word of what they carry.
struct ShaderState {
    ShaderCode vertex, pixel;
    const float* vertexConstants = nullptr;  // 256 registers of four floats
    const float* pixelConstants = nullptr;   // 8 registers of four floats
    const VertexInput* inputs = nullptr;
    uint32_t inputCount = 0;
    VertexSource streams[MAX_VERTEX_STREAMS];
};

// Indices from a renderer buffer or from memory (the caller's when size is 0). A buffer may come
// with its indices in memory too, for a draw whose vertices the device keeps.
struct IndexSource {
    uint32_t buffer = 0;
    const void* data = nullptr;
    size_t size = 0;
    uint32_t indexSize = 2;  // 2 or 4 bytes
};

// Clear flags, as the device numbers them.
enum : uint32_t { CLEAR_TARGET = 1, CLEAR_ZBUFFER = 2, CLEAR_STENCIL = 4 };

class GLRenderer {
public:
    GLRenderer();
    ~GLRenderer();
    GLRenderer(const GLRenderer&) = delete;
    GLRenderer& operator=(const GLRenderer&) = delete;

    // Makes a GL 3.3 core context on the window (null: a hidden window of our own) and a back
    // buffer of the given size. False, with the reason in lastError(), when GL is not available.
    // An opaque back buffer (X8R8G8B8 and the like) keeps no alpha: its alpha stays one, which is
    // what blending then reads as the destination alpha.
    bool create(SDL_Window* window, uint32_t width, uint32_t height, bool opaque = false);
    void destroy();
    bool isCreated() const;
    // A new back-buffer size (after a reset); contents are lost.
    bool resize(uint32_t width, uint32_t height);
    // Presents wait for this many display refreshes (0: none).
    void setSwapInterval(int interval);
    // The context is current on one thread at a time: create and resize make it current on theirs;
    // another thread takes it with makeCurrent once the holder has let it go with releaseCurrent.
    bool makeCurrent();
    void releaseCurrent();
    uint32_t width() const { return m_width; }
    uint32_t height() const { return m_height; }
    const char* lastError() const { return m_error.c_str(); }

    uint32_t createBuffer(uint32_t size);
    void updateBuffer(uint32_t buffer, uint32_t offset, uint32_t size, const void* data);
    void deleteBuffer(uint32_t buffer);

    // Returns 0 for a format the renderer cannot sample. A cube texture has six square faces.
    // Textures of the formats canRenderTo accepts can also be drawn into.
    uint32_t createTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t format, bool cube = false);
    // Rows top first, `pitch` bytes apart, in the texture's own format; faces of a cube in the
    // device's order; palettised formats read their colours from the 256 entries given.
    void updateTexture(uint32_t texture, uint32_t level, const void* data, uint32_t pitch, uint32_t face = 0,
                       const void* palette = nullptr);
    void deleteTexture(uint32_t texture);
    static bool canSample(uint32_t format);
    static bool canRenderTo(uint32_t format);

    // Where clears and draws go: the back buffer (texture 0), or one level of one face of a
    // texture, drawn into with a depth buffer of its own and sampled afterwards the right way up.
    // False when the texture cannot be drawn into; clears and draws then do nothing until another
    // target is set.
    bool setRenderTarget(uint32_t texture, uint32_t level = 0, uint32_t face = 0);

    // Clears the viewport's area, limited to the rectangles when there are any.
    void clear(const Viewport& viewport, uint32_t rectCount, const Rect* rects, uint32_t flags,
               uint32_t colour, float z, uint32_t stencil);
    void draw(const PipelineState& state, uint32_t primitiveType, const VertexSource& vertices,
              uint32_t startVertex, uint32_t primitiveCount);
    void drawIndexed(const PipelineState& state, uint32_t primitiveType, const VertexSource& vertices,
                     const IndexSource& indices, int32_t baseVertex, uint32_t minIndex,
                     uint32_t numVertices, uint32_t startIndex, uint32_t primitiveCount);
    void present();

    // Pixels as B, G, R, A bytes, top row first, `pitch` bytes apart; width() x height(), or the
    // top left of the image as wide and high as asked. An opaque back buffer reads with alpha one,
    // as a screen without alpha shows it.
    bool readBackBuffer(void* pixels, uint32_t pitch);
    bool readFrontBuffer(void* pixels, uint32_t pitch, uint32_t width, uint32_t height);

    // Programs generated so far (one per distinct fixed-function key and shader pair).
    size_t programCount() const;
    static FixedFunctionKey makeKey(const PipelineState& state, uint32_t fvf);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    uint32_t m_width = 0;
    uint32_t m_height = 0;
    std::string m_error;
};

}  // namespace d3d9gl
