// The drawing half of the reference device. The device keeps every state and resource; a renderer
// only turns clears, draws and presents into pixels. The null renderer draws nothing.
#pragma once

#include "platform/testing.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace d3d9ref {

struct DrawCall {
    D3DPRIMITIVETYPE Type;
    bool Indexed;
    INT BaseVertex;
    UINT MinIndex;
    UINT NumVertices;
    UINT Start;              // first vertex, or first index when indexed
    UINT PrimitiveCount;
    const void* UserVertices;  // the user-pointer draws only
    UINT UserStride;
    const void* UserIndices = nullptr;  // DrawIndexedPrimitiveUP only
    UINT UserIndexSize = 2;
};

class Renderer {
public:
    virtual ~Renderer() = default;
    // The device was created or reset with these parameters.
    virtual bool open(HWND window, const D3DPRESENT_PARAMETERS& parameters) = 0;
    virtual void close() = 0;
    // Clears and draws go to the state's render target.
    virtual void clear(const platform::testing::D3D9State& state, DWORD flags, D3DCOLOR colour, float z,
                       DWORD stencil) = 0;
    virtual void draw(const platform::testing::D3D9State& state, const DrawCall& call) = 0;
    virtual void present() = 0;
    // The last presented image as A8R8G8B8 rows `pitch` bytes apart, as much of its top left as
    // width x height holds; width and height become the image's size. False when the renderer
    // keeps none.
    virtual bool readFrontBuffer(uint8_t* pixels, UINT pitch, UINT& width, UINT& height) = 0;
    // What ValidateDevice asks beyond the card's caps and the shaders. A renderer that draws nothing
    // refuses nothing.
    virtual bool canDrawStageOp(DWORD) const { return true; }
    virtual bool canSample(D3DRESOURCETYPE, D3DFORMAT) const { return true; }
    // Whether a render-target texture of the format can be drawn into; SetRenderTarget refuses
    // the others rather than take draws it would lose.
    virtual bool canRenderTo(D3DFORMAT) const { return true; }
};

// What a renderer reads of the device's resources. Version grows with every unlock, so a renderer
// uploads a buffer or level again only when it changed.
struct BufferView {
    const uint8_t* Bytes;
    size_t Size;
    uint64_t Version;
    D3DFORMAT Format;  // index format; D3DFMT_UNKNOWN for vertex buffers
};
bool viewBuffer(IDirect3DVertexBuffer9* buffer, BufferView& view);
bool viewBuffer(IDirect3DIndexBuffer9* buffer, BufferView& view);

struct LevelView {
    D3DFORMAT Format;
    UINT Width;
    UINT Height;
    UINT Pitch;
    const uint8_t* Bytes;
    uint64_t Version;
};
// Face 0 for 2D textures; faces 0..5 of a cube texture.
bool viewTextureLevel(IDirect3DBaseTexture9* texture, UINT face, UINT level, LevelView& view);

// Whether the renderers can draw with the state's shaders and vertex declaration; false with the
// reason. ValidateDevice answers from it.
bool shadersDrawable(const platform::testing::D3D9State& state, std::string& why);

std::unique_ptr<Renderer> createNullRenderer();
// The OpenGL renderer in the device window's SDL window; it draws nothing when there is none.
std::unique_ptr<Renderer> createWindowRenderer();

// The factory the device asks for its renderer; a real renderer installs its own.
typedef std::unique_ptr<Renderer> (*RendererFactory)();
void setRendererFactory(RendererFactory factory);
std::unique_ptr<Renderer> createRenderer();

}  // namespace d3d9ref
