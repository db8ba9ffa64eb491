// What one small draw costs on the OpenGL renderer: 1,000 textured pre-transformed quads a frame,
// one draw each, at 640 x 480, beside plain OpenGL 3.3 making the same 1,000 draws in the same kind
// of context. Each frame is cleared, drawn, presented and, in the rows with read-back, read back as
// a screenshot does.
//
// User-pointer draws: each quad from the caller's memory through DrawPrimitiveUP; plain OpenGL
// writes the frame's quads into one buffer and draws each from it. Indexed draws from static
// buffers (as display lists draw): every quad in one vertex buffer and one index buffer made once,
// each drawn with its own base vertex, on both sides.
//
// Every pair is timed twice: by the wall clock, and by the CPU time of the main thread alone (the
// rows ending in MainThread), since the driver works on threads of its own.
#include "../BenchMain.h"
#include "../PlainGL.h"
#include "d3d9gl/DeviceRenderer.h"
#include "platform/d3d9.h"
#include "platform/testing.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int QUADS = 1000;
constexpr UINT WIDTH = 640, HEIGHT = 480, TEXTURE = 64;
constexpr DWORD FVF = D3DFVF_XYZRHW | D3DFVF_TEX1;
constexpr DWORD CLEAR = 0xFF000040u;

struct Vertex {
    float x, y, z, rhw;
    float u, v;
};

// Quad i: 20 pixels square somewhere on the screen, the whole texture across it.
std::vector<Vertex> quads()
{
    std::vector<Vertex> v(4 * QUADS);
    for (int i = 0; i < QUADS; ++i) {
        const float x = static_cast<float>((i * 37) % 620), y = static_cast<float>((i * 53) % 460);
        v[4 * i + 0] = {x, y, 0.5f, 1, 0, 0};
        v[4 * i + 1] = {x + 20, y, 0.5f, 1, 1, 0};
        v[4 * i + 2] = {x, y + 20, 0.5f, 1, 0, 1};
        v[4 * i + 3] = {x + 20, y + 20, 0.5f, 1, 1, 1};
    }
    return v;
}

const WORD QUAD_INDICES[6] = {0, 1, 2, 2, 1, 3};

// Texel (x, y) of the texture both sides draw with: a checkerboard of two colours, opaque.
DWORD texel(UINT x, UINT y) { return ((x / 8 + y / 8) % 2) ? 0xFFE0A020u : 0xFF2080E0u; }

// What the last quad drawn covers at its centre (quads overlap: the last one drawn is on top).
bool drawn(DWORD pixel) { return (pixel & 0x00FFFFFFu) != (CLEAR & 0x00FFFFFFu); }

// ---- Through the stand-in ----

class StandIn {
public:
    StandIn()
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        platform::testing::resetD3D9();
        d3d9ref::setRendererFactory(&d3d9gl::createOffscreenDeviceRenderer);
        m_d3d = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = WIDTH;
        pp.BackBufferHeight = HEIGHT;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.Windowed = TRUE;
        pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        if (!m_d3d || m_d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &m_device) != D3D_OK)
            return;
        if (m_device->CreateTexture(TEXTURE, TEXTURE, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &m_texture, nullptr) != D3D_OK ||
            m_device->CreateOffscreenPlainSurface(WIDTH, HEIGHT, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &m_screenshot, nullptr) != D3D_OK)
            return;
        D3DLOCKED_RECT r{};
        if (m_texture->LockRect(0, &r, nullptr, 0) != D3D_OK) return;
        for (UINT y = 0; y < TEXTURE; ++y)
            for (UINT x = 0; x < TEXTURE; ++x) static_cast<DWORD*>(r.pBits)[y * (r.Pitch / 4) + x] = texel(x, y);
        m_texture->UnlockRect(0);
        const std::vector<Vertex> v = quads();
        const UINT bytes = static_cast<UINT>(v.size() * sizeof(Vertex));
        if (m_device->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, FVF, D3DPOOL_MANAGED, &m_vb, nullptr) != D3D_OK ||
            m_device->CreateIndexBuffer(sizeof(QUAD_INDICES), D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &m_ib,
                                        nullptr) != D3D_OK)
            return;
        void* p = nullptr;
        if (m_vb->Lock(0, 0, &p, 0) != D3D_OK) return;
        std::memcpy(p, v.data(), bytes);
        m_vb->Unlock();
        if (m_ib->Lock(0, 0, &p, 0) != D3D_OK) return;
        std::memcpy(p, QUAD_INDICES, sizeof(QUAD_INDICES));
        m_ib->Unlock();
        m_device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        m_device->SetRenderState(D3DRS_LIGHTING, FALSE);
        m_device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        m_device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        m_ok = true;
    }

    ~StandIn()
    {
        if (m_device) {
            m_device->SetTexture(0, nullptr);
            m_device->SetStreamSource(0, nullptr, 0, 0);
            m_device->SetIndices(nullptr);
        }
        if (m_vb) m_vb->Release();
        if (m_ib) m_ib->Release();
        if (m_texture) m_texture->Release();
        if (m_screenshot) m_screenshot->Release();
        if (m_device) m_device->Release();
        if (m_d3d) m_d3d->Release();
        d3d9ref::setRendererFactory(nullptr);
        platform::testing::resetD3D9();
    }

    bool ok() const { return m_ok; }

    void frame(bool indexed, bool readBack)
    {
        m_device->Clear(0, nullptr, D3DCLEAR_TARGET, CLEAR, 1.0f, 0);
        m_device->BeginScene();
        m_device->SetFVF(FVF);
        m_device->SetTexture(0, m_texture);
        if (indexed) {
            m_device->SetStreamSource(0, m_vb, 0, sizeof(Vertex));
            m_device->SetIndices(m_ib);
            for (int i = 0; i < QUADS; ++i) m_device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 4 * i, 0, 4, 0, 2);
        } else {
            for (int i = 0; i < QUADS; ++i)
                m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, &m_quads[4 * i], sizeof(Vertex));
        }
        m_device->EndScene();
        m_device->Present(nullptr, nullptr, nullptr, nullptr);
        if (readBack) m_device->GetFrontBufferData(0, m_screenshot);
    }

    // The last quad's centre, read from the presented frame.
    DWORD lastQuadCentre()
    {
        m_device->GetFrontBufferData(0, m_screenshot);
        D3DLOCKED_RECT r{};
        if (m_screenshot->LockRect(&r, nullptr, D3DLOCK_READONLY) != D3D_OK) return CLEAR;
        const Vertex& corner = m_quads[4 * (QUADS - 1)];
        const UINT x = static_cast<UINT>(corner.x) + 10, y = static_cast<UINT>(corner.y) + 10;
        const DWORD p = static_cast<const DWORD*>(r.pBits)[y * (r.Pitch / 4) + x];
        m_screenshot->UnlockRect();
        return p;
    }

private:
    IDirect3D9* m_d3d = nullptr;
    IDirect3DDevice9* m_device = nullptr;
    IDirect3DTexture9* m_texture = nullptr;
    IDirect3DSurface9* m_screenshot = nullptr;
    IDirect3DVertexBuffer9* m_vb = nullptr;
    IDirect3DIndexBuffer9* m_ib = nullptr;
    const std::vector<Vertex> m_quads = quads();
    bool m_ok = false;
};

// ---- Plain OpenGL 3.3 ----

// Screen positions to clip space as the device reads pre-transformed vertices (x, y in pixels from
// the top left, w = 1 / rhw), and the texture sampled.
const char* const PLAIN_VERTEX =
    "#version 330 core\nlayout(location = 0) in vec4 position;\nlayout(location = 1) in vec2 uv;\n"
    "uniform vec2 screen;\nout vec2 vUv;\n"
    "void main() {\n  float w = 1.0 / position.w;\n"
    "  gl_Position = vec4(position.x * 2.0 / screen.x - 1.0, 1.0 - position.y * 2.0 / screen.y, position.z, 1.0) * w;\n"
    "  vUv = uv;\n}\n";
const char* const PLAIN_PIXEL =
    "#version 330 core\nuniform sampler2D tex;\nin vec2 vUv;\nout vec4 result;\n"
    "void main() { result = texture(tex, vUv); }\n";

class Plain {
public:
    Plain() : m_gl(WIDTH, HEIGHT), m_rows(WIDTH * HEIGHT), m_image(WIDTH * HEIGHT)
    {
        if (!m_gl.ok()) return;
        m_program = plaingl::program(PLAIN_VERTEX, PLAIN_PIXEL);
        if (!m_program) return;
        glUseProgram(m_program);
        glUniform2f(glGetUniformLocation(m_program, "screen"), WIDTH, HEIGHT);
        glUniform1i(glGetUniformLocation(m_program, "tex"), 0);
        std::vector<DWORD> texels(TEXTURE * TEXTURE);
        for (UINT y = 0; y < TEXTURE; ++y)
            for (UINT x = 0; x < TEXTURE; ++x) texels[y * TEXTURE + x] = texel(x, y);
        glGenTextures(1, &m_texture);
        glBindTexture(GL_TEXTURE_2D, m_texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, TEXTURE, TEXTURE, 0, GL_BGRA, GL_UNSIGNED_BYTE, texels.data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glGenBuffers(1, &m_vertices);
        glGenBuffers(1, &m_indices);
        glBindBuffer(GL_ARRAY_BUFFER, m_vertices);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_indices);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof(QUAD_INDICES), QUAD_INDICES, GL_STATIC_DRAW);
        glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, sizeof(Vertex), nullptr);
        glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(16));
        glEnableVertexAttribArray(0);
        glEnableVertexAttribArray(1);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        m_ok = true;
    }

    ~Plain()
    {
        if (m_program) glDeleteProgram(m_program);
        if (m_texture) glDeleteTextures(1, &m_texture);
        if (m_vertices) glDeleteBuffers(1, &m_vertices);
        if (m_indices) glDeleteBuffers(1, &m_indices);
    }

    bool ok() const { return m_ok; }

    // The static buffer written once; the user-pointer frames write theirs every frame.
    void fillStatic() { glBufferData(GL_ARRAY_BUFFER, m_quads.size() * sizeof(Vertex), m_quads.data(), GL_STATIC_DRAW); }

    void frame(bool indexed, bool readBack)
    {
        glClearColor(0, 0, 0.25f, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        if (indexed) {
            for (int i = 0; i < QUADS; ++i) glDrawElementsBaseVertex(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, nullptr, 4 * i);
        } else {
            glBufferData(GL_ARRAY_BUFFER, m_quads.size() * sizeof(Vertex), m_quads.data(), GL_STREAM_DRAW);
            for (int i = 0; i < QUADS; ++i) glDrawArrays(GL_TRIANGLE_STRIP, 4 * i, 4);
        }
        // The frame as it goes to the window, read before the swap leaves the back buffer undefined,
        // rows turned top first. Swapping a hidden offscreen window does not make GL draw the frame
        // (Mesa goes on collecting draws); presenting to a screen would, and so does a flush.
        if (readBack) readFrame();
        glFlush();
        m_gl.swap();
        if (readBack)
            for (UINT y = 0; y < HEIGHT; ++y)
                std::memcpy(&m_image[y * WIDTH], &m_rows[(HEIGHT - 1 - y) * WIDTH], WIDTH * 4);
        benchmark::DoNotOptimize(m_image.data());
    }

    DWORD lastQuadCentre(bool indexed)
    {
        glClearColor(0, 0, 0.25f, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        if (indexed) {
            glDrawElementsBaseVertex(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, nullptr, 4 * (QUADS - 1));
        } else {
            glBufferData(GL_ARRAY_BUFFER, m_quads.size() * sizeof(Vertex), m_quads.data(), GL_STREAM_DRAW);
            glDrawArrays(GL_TRIANGLE_STRIP, 4 * (QUADS - 1), 4);
        }
        readFrame();
        const Vertex& corner = m_quads[4 * (QUADS - 1)];
        const UINT x = static_cast<UINT>(corner.x) + 10, y = static_cast<UINT>(corner.y) + 10;
        return m_rows[(HEIGHT - 1 - y) * WIDTH + x];
    }

private:
    void readFrame() { glReadPixels(0, 0, WIDTH, HEIGHT, GL_BGRA, GL_UNSIGNED_BYTE, m_rows.data()); }

    plaingl::Context m_gl;
    GLuint m_program = 0, m_texture = 0, m_vertices = 0, m_indices = 0;
    const std::vector<Vertex> m_quads = quads();
    std::vector<DWORD> m_rows, m_image;
    bool m_ok = false;
};

void standIn(benchmark::State& state, bool indexed)
{
    StandIn device;
    if (!device.ok()) return state.SkipWithError("no device");
    const bool readBack = state.range(0) != 0;
    device.frame(indexed, false);
    if (!drawn(device.lastQuadCentre())) return state.SkipWithError("the stand-in drew nothing");
    for (auto _ : state) device.frame(indexed, readBack);
    state.SetItemsProcessed(state.iterations() * QUADS);
}

void plain(benchmark::State& state, bool indexed)
{
    Plain gl;
    if (!gl.ok()) return state.SkipWithError("no OpenGL");
    const bool readBack = state.range(0) != 0;
    if (indexed) gl.fillStatic();
    if (!drawn(gl.lastQuadCentre(indexed))) return state.SkipWithError("plain OpenGL drew nothing");
    for (auto _ : state) gl.frame(indexed, readBack);
    state.SetItemsProcessed(state.iterations() * QUADS);
}

void BM_StandInUserPointerQuads(benchmark::State& state) { standIn(state, false); }
void BM_PlainUserPointerQuads(benchmark::State& state) { plain(state, false); }
void BM_StandInIndexedQuads(benchmark::State& state) { standIn(state, true); }
void BM_PlainIndexedQuads(benchmark::State& state) { plain(state, true); }
void BM_StandInUserPointerQuadsMainThread(benchmark::State& state) { standIn(state, false); }
void BM_PlainUserPointerQuadsMainThread(benchmark::State& state) { plain(state, false); }
void BM_StandInIndexedQuadsMainThread(benchmark::State& state) { standIn(state, true); }
void BM_PlainIndexedQuadsMainThread(benchmark::State& state) { plain(state, true); }

#define WALL(f) BENCHMARK(f)->ArgName("readback")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()
#define MAIN_THREAD(f) BENCHMARK(f)->ArgName("readback")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)

WALL(BM_StandInUserPointerQuads);
WALL(BM_PlainUserPointerQuads);
WALL(BM_StandInIndexedQuads);
WALL(BM_PlainIndexedQuads);
MAIN_THREAD(BM_StandInUserPointerQuadsMainThread);
MAIN_THREAD(BM_PlainUserPointerQuadsMainThread);
MAIN_THREAD(BM_StandInIndexedQuadsMainThread);
MAIN_THREAD(BM_PlainIndexedQuadsMainThread);
BENCH_PAIR(BM_StandInUserPointerQuads, BM_PlainUserPointerQuads);
BENCH_PAIR(BM_StandInIndexedQuads, BM_PlainIndexedQuads);
BENCH_PAIR(BM_StandInUserPointerQuadsMainThread, BM_PlainUserPointerQuadsMainThread);
BENCH_PAIR(BM_StandInIndexedQuadsMainThread, BM_PlainIndexedQuadsMainThread);

}  // namespace

VELDRANE_BENCH_MAIN("drawcalls")
