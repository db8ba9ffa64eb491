// What shaders cost on the OpenGL renderer, each beside plain OpenGL doing the same with GLSL
// written to match: building the program for a new shader pair (translation, compiling, linking)
// and drawing a triangle with it; drawing the triangle with the program built; and a frame of 1,000
// quads drawn one by one from the caller's memory, shaded and in fixed function (colour only, no
// texture), cleared and presented.
#include "../BenchMain.h"
#include "../PlainGL.h"
#include "d3d9gl/DeviceRenderer.h"
#include "d3d9gl/GLRenderer.h"
#include "platform/d3dx9.h"
#include "platform/testing.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const VERTEX_SOURCE = "vs.1.1\ndcl_position0 v0\ndcl_position4 v4\ndcl_position6 v6\n"
                                  "m4x4 oPos, v0, c0\nmul r0, v4, c4\nmad oD0, r0, c5, c6\nmov oT0, v6\n";
const char* const PIXEL_SOURCE = "ps.1.1\ntex t0\nmul r0, t0, v0\nlrp r0.rgb, c0, r0, c1\n+mov r0.a, t0\n";

std::vector<DWORD> assemble(const char* source)
{
    LPD3DXBUFFER code = nullptr;
    if (D3DXAssembleShader(source, static_cast<UINT>(std::strlen(source)), nullptr, nullptr, 0, &code, nullptr) != D3D_OK)
        return {};
    const DWORD* p = static_cast<const DWORD*>(code->GetBufferPointer());
    std::vector<DWORD> tokens(p, p + code->GetBufferSize() / 4);
    code->Release();
    return tokens;
}

// The shader pair as plain GLSL: the vertex shader's position times four constant rows, colour
// scaled by two constants and moved by a third, the texture coordinates passed on; the pixel shader's
// texel times colour, blended toward a constant by another, alpha from the texel.
const char* const PLAIN_VERTEX =
    "#version 330 core\nlayout(location = 0) in vec3 position;\nlayout(location = 1) in vec4 colour;\n"
    "layout(location = 2) in vec2 uv;\nuniform vec4 c[7];\nout vec4 vColour;\nout vec2 vUv;\n"
    "void main() {\n  vec4 p = vec4(position, 1.0);\n"
    "  gl_Position = vec4(dot(p, c[0]), dot(p, c[1]), dot(p, c[2]), dot(p, c[3]));\n"
    "  vColour = colour * c[4] * c[5] + c[6];\n  vUv = uv;\n}\n";
const char* const PLAIN_PIXEL =
    "#version 330 core\nuniform sampler2D t0;\nuniform vec4 pc[2];\nin vec4 vColour;\nin vec2 vUv;\n"
    "out vec4 result;\nvoid main() {\n  vec4 t = texture(t0, vUv);\n  vec4 r = t * vColour;\n"
    "  result = vec4(mix(pc[1].rgb, r.rgb, pc[0].rgb), t.a);\n}\n";
// Fixed function with lighting off and no texture: the position through one matrix, the colour as it is.
const char* const PLAIN_FIXED_VERTEX =
    "#version 330 core\nlayout(location = 0) in vec3 position;\nlayout(location = 1) in vec4 colour;\n"
    "uniform mat4 transform;\nout vec4 vColour;\n"
    "void main() {\n  gl_Position = transform * vec4(position, 1.0);\n  vColour = colour;\n}\n";
const char* const PLAIN_FIXED_PIXEL =
    "#version 330 core\nin vec4 vColour;\nout vec4 result;\nvoid main() { result = vColour; }\n";

// A renderer of its own with a triangle to draw through a shader pair.
struct Target {
    d3d9gl::GLRenderer gl;
    uint32_t rs[d3d9gl::RENDER_STATE_COUNT] = {};
    uint32_t ts[d3d9gl::MAX_STAGES][d3d9gl::STAGE_STATE_COUNT] = {};
    uint32_t ss[d3d9gl::MAX_STAGES][d3d9gl::SAMPLER_STATE_COUNT] = {};
    float constants[256 * 4] = {};
    std::vector<DWORD> vs = assemble(VERTEX_SOURCE), ps = assemble(PIXEL_SOURCE);
    d3d9gl::PipelineState pipeline;
    d3d9gl::ShaderState shaders;
    d3d9gl::VertexInput input{0, 0, 0, 2};
    const float triangle[9] = {0, 0, 0.5f, 1, 0, 0.5f, 0, 1, 0.5f};

    bool open()
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        if (!gl.create(nullptr, 64, 64)) return false;
        rs[D3DRS_COLORWRITEENABLE] = 0xF;
        pipeline.renderStates = rs;
        pipeline.stageStates = ts;
        pipeline.samplerStates = ss;
        pipeline.viewport = {0, 0, 64, 64, 0, 1};
        pipeline.shaders = &shaders;
        shaders.vertexConstants = shaders.pixelConstants = constants;
        shaders.inputs = &input;
        shaders.inputCount = 1;
        shaders.streams[0].data = triangle;
        shaders.streams[0].stride = 12;
        return true;
    }

    void draw(uint64_t id)
    {
        shaders.vertex = d3d9gl::ShaderCode{id, vs.data(), vs.size()};
        shaders.pixel = d3d9gl::ShaderCode{id, ps.data(), ps.size()};
        gl.draw(pipeline, D3DPT_TRIANGLELIST, shaders.streams[0], 0, 1);
    }
};

// A new shader pair every time: translation, compilation and linking, then the draw.
void BM_BuildProgramPerShader(benchmark::State& state)
{
    Target t;
    if (!t.open()) return state.SkipWithError("no OpenGL");
    uint64_t id = 0;
    for (auto _ : state) t.draw(++id);
    state.SetItemsProcessed(state.iterations());
}

// The same draw with the program cached.
void BM_DrawWithCachedProgram(benchmark::State& state)
{
    Target t;
    if (!t.open()) return state.SkipWithError("no OpenGL");
    for (auto _ : state) t.draw(1);
    state.SetItemsProcessed(state.iterations());
}

// Plain OpenGL's triangle: a context of its own, the triangle in a buffer.
struct PlainTarget {
    plaingl::Context gl{64, 64};
    GLuint buffer = 0;
    const float triangle[9] = {0, 0, 0.5f, 1, 0, 0.5f, 0, 1, 0.5f};

    bool open()
    {
        if (!gl.ok()) return false;
        glGenBuffers(1, &buffer);
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 12, nullptr);
        glEnableVertexAttribArray(0);
        return true;
    }
    ~PlainTarget()
    {
        if (buffer) glDeleteBuffers(1, &buffer);
    }
    void draw(GLuint program)
    {
        glUseProgram(program);
        glBufferData(GL_ARRAY_BUFFER, sizeof triangle, triangle, GL_STREAM_DRAW);
        glDrawArrays(GL_TRIANGLES, 0, 3);
    }
};

void BM_PlainBuildProgramPerShader(benchmark::State& state)
{
    PlainTarget t;
    if (!t.open()) return state.SkipWithError("no OpenGL");
    for (auto _ : state) {
        const GLuint program = plaingl::program(PLAIN_VERTEX, PLAIN_PIXEL);
        if (!program) return state.SkipWithError("the plain program did not build");
        t.draw(program);
        glDeleteProgram(program);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_PlainDrawWithProgram(benchmark::State& state)
{
    PlainTarget t;
    if (!t.open()) return state.SkipWithError("no OpenGL");
    const GLuint program = plaingl::program(PLAIN_VERTEX, PLAIN_PIXEL);
    if (!program) return state.SkipWithError("the plain program did not build");
    for (auto _ : state) t.draw(program);
    glDeleteProgram(program);
    state.SetItemsProcessed(state.iterations());
}

struct ShaderVertex {
    float x, y, z;
    DWORD colour;
    float u, v;
};

std::vector<ShaderVertex> thousandQuads()
{
    std::vector<ShaderVertex> quads(4000);
    for (int q = 0; q < 1000; ++q) {
        const float x = (q % 40) / 20.0f - 1, y = (q / 40) / 12.5f - 1;
        const float corners[4][2] = {{0, 0}, {0.04f, 0}, {0, 0.07f}, {0.04f, 0.07f}};
        for (int c = 0; c < 4; ++c)
            quads[q * 4 + c] = ShaderVertex{x + corners[c][0], y + corners[c][1], 0.5f, 0xFF8040C0u, corners[c][0],
                                            corners[c][1]};
    }
    return quads;
}

// A device drawing 1,000 quads a frame, with shaders or in fixed function.
void frameOfQuads(benchmark::State& state, bool shaded)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    platform::testing::resetD3D9();
    d3d9ref::setRendererFactory(&d3d9gl::createOffscreenDeviceRenderer);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = 640;
    pp.BackBufferHeight = 480;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    IDirect3DDevice9* device = nullptr;
    if (!d3d || d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device) != D3D_OK)
        return state.SkipWithError("no device");
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                          {0, 12, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_POSITION, 4},
                                          {0, 16, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_POSITION, 6},
                                          {0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0}};
    IDirect3DVertexDeclaration9* declaration = nullptr;
    IDirect3DVertexShader9* vs = nullptr;
    IDirect3DPixelShader9* ps = nullptr;
    device->CreateVertexDeclaration(elements, &declaration);
    device->CreateVertexShader(assemble(VERTEX_SOURCE).data(), &vs);
    device->CreatePixelShader(assemble(PIXEL_SOURCE).data(), &ps);
    const float identity[24] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    device->SetVertexShaderConstantF(0, identity, 6);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    const std::vector<ShaderVertex> quads = thousandQuads();
    for (auto _ : state) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        device->BeginScene();
        if (shaded) {
            device->SetVertexDeclaration(declaration);
            device->SetVertexShader(vs);
            device->SetPixelShader(ps);
        } else {
            device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        }
        for (int q = 0; q < 1000; ++q)
            device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, &quads[q * 4], sizeof(ShaderVertex));
        device->EndScene();
        device->Present(nullptr, nullptr, nullptr, nullptr);
    }
    state.SetItemsProcessed(state.iterations() * 1000);
    device->SetVertexShader(nullptr);
    device->SetPixelShader(nullptr);
    device->SetVertexDeclaration(nullptr);
    ps->Release();
    vs->Release();
    declaration->Release();
    device->Release();
    d3d->Release();
    d3d9ref::setRendererFactory(nullptr);
}

// The same frame in plain OpenGL: each quad's four vertices into a stream buffer and drawn, the
// frame cleared first and swapped last.
void plainFrameOfQuads(benchmark::State& state, bool shaded)
{
    plaingl::Context gl(640, 480);
    if (!gl.ok()) return state.SkipWithError("no OpenGL");
    const GLuint program = shaded ? plaingl::program(PLAIN_VERTEX, PLAIN_PIXEL)
                                  : plaingl::program(PLAIN_FIXED_VERTEX, PLAIN_FIXED_PIXEL);
    if (!program) return state.SkipWithError("the plain program did not build");
    glUseProgram(program);
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    if (shaded) {
        const float constants[28] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1};
        glUniform4fv(glGetUniformLocation(program, "c"), 7, constants);
    } else {
        glUniformMatrix4fv(glGetUniformLocation(program, "transform"), 1, GL_FALSE, identity);
    }
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(ShaderVertex), nullptr);
    glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(ShaderVertex), reinterpret_cast<void*>(12));
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(ShaderVertex), reinterpret_cast<void*>(16));
    for (GLuint a = 0; a < 3; ++a) glEnableVertexAttribArray(a);
    glDisable(GL_CULL_FACE);
    const std::vector<ShaderVertex> quads = thousandQuads();
    for (auto _ : state) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        for (int q = 0; q < 1000; ++q) {
            glBufferData(GL_ARRAY_BUFFER, 4 * sizeof(ShaderVertex), &quads[q * 4], GL_STREAM_DRAW);
            glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        }
        gl.swap();
    }
    state.SetItemsProcessed(state.iterations() * 1000);
    glDeleteBuffers(1, &buffer);
    glDeleteProgram(program);
}

void BM_FrameOf1000ShadedQuads(benchmark::State& state) { frameOfQuads(state, true); }
void BM_FrameOf1000FixedFunctionQuads(benchmark::State& state) { frameOfQuads(state, false); }
void BM_PlainFrameOf1000ShadedQuads(benchmark::State& state) { plainFrameOfQuads(state, true); }
void BM_PlainFrameOf1000FixedFunctionQuads(benchmark::State& state) { plainFrameOfQuads(state, false); }

BENCHMARK(BM_BuildProgramPerShader)->Iterations(50);
BENCHMARK(BM_PlainBuildProgramPerShader)->Iterations(50);
BENCHMARK(BM_DrawWithCachedProgram);
BENCHMARK(BM_PlainDrawWithProgram);
BENCHMARK(BM_FrameOf1000ShadedQuads)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainFrameOf1000ShadedQuads)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FrameOf1000FixedFunctionQuads)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainFrameOf1000FixedFunctionQuads)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCH_PAIR(BM_BuildProgramPerShader, BM_PlainBuildProgramPerShader);
BENCH_PAIR(BM_DrawWithCachedProgram, BM_PlainDrawWithProgram);
BENCH_PAIR(BM_FrameOf1000ShadedQuads, BM_PlainFrameOf1000ShadedQuads);
BENCH_PAIR(BM_FrameOf1000FixedFunctionQuads, BM_PlainFrameOf1000FixedFunctionQuads);

}  // namespace

VELDRANE_BENCH_MAIN("shaders")
