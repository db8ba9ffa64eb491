// What shaders cost on the OpenGL renderer: translating a token stream to GLSL against generating
// the fixed-function program text, building a program for a new shader against drawing with a
// cached one, and a frame of 1,000 shaded quads against the same frame in fixed function.
#include "d3d9gl/DeviceRenderer.h"
#include "d3d9gl/GLRenderer.h"
#include "d3d9gl/ShaderGenerator.h"
#include "d3d9gl/ShaderTranslator.h"
#include "platform/d3dx9.h"
#include "platform/testing.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
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

void BM_TranslateShaderPair(benchmark::State& state)
{
    const std::vector<DWORD> vs = assemble(VERTEX_SOURCE), ps = assemble(PIXEL_SOURCE);
    d3d9gl::ShaderOptions options;
    std::string vertexText, pixelText, why;
    for (auto _ : state) {
        d3d9gl::translateShader(vs.data(), vs.size(), options, vertexText, why);
        d3d9gl::translateShader(ps.data(), ps.size(), options, pixelText, why);
        benchmark::DoNotOptimize(vertexText.size() + pixelText.size());
    }
}

// Baseline: the fixed-function program text for one textured stage.
void BM_GenerateFixedFunctionPair(benchmark::State& state)
{
    d3d9gl::FixedFunctionKey key;
    key.stageCount = 1;
    key.stages[0] = d3d9gl::StageKey{4, 0, 2, 1, 2, 0, 2, 1, 0, 0, 1, 0};
    for (auto _ : state) {
        const std::string v = d3d9gl::generateVertexShader(key), f = d3d9gl::generateFragmentShader(key);
        benchmark::DoNotOptimize(v.size() + f.size());
    }
}

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

// Baseline: the same draw with the program cached.
void BM_DrawWithCachedProgram(benchmark::State& state)
{
    Target t;
    if (!t.open()) return state.SkipWithError("no OpenGL");
    for (auto _ : state) t.draw(1);
    state.SetItemsProcessed(state.iterations());
}

struct ShaderVertex {
    float x, y, z;
    DWORD colour;
    float u, v;
};

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
    std::vector<ShaderVertex> quads(4000);
    for (int q = 0; q < 1000; ++q) {
        const float x = (q % 40) / 20.0f - 1, y = (q / 40) / 12.5f - 1;
        const float corners[4][2] = {{0, 0}, {0.04f, 0}, {0, 0.07f}, {0.04f, 0.07f}};
        for (int c = 0; c < 4; ++c)
            quads[q * 4 + c] = ShaderVertex{x + corners[c][0], y + corners[c][1], 0.5f, 0xFF8040C0u, corners[c][0],
                                            corners[c][1]};
    }
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

void BM_FrameOf1000ShadedQuads(benchmark::State& state) { frameOfQuads(state, true); }
void BM_FrameOf1000FixedFunctionQuads(benchmark::State& state) { frameOfQuads(state, false); }

BENCHMARK(BM_TranslateShaderPair);
BENCHMARK(BM_GenerateFixedFunctionPair);
BENCHMARK(BM_BuildProgramPerShader)->Iterations(50);
BENCHMARK(BM_DrawWithCachedProgram);
BENCHMARK(BM_FrameOf1000ShadedQuads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameOf1000FixedFunctionQuads)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
