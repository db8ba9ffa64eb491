// Vertex and pixel shaders of the 1.x models drawn headless through the reference device, the
// pixels compared with colours worked out here.
#include "HeadlessDevice.h"

#include "../platform_d3dx9/ShaderSamples.h"
#include "d3d9gl/GLRenderer.h"
#include "d3d9gl/ShaderTranslator.h"
#include "platform/d3dx9.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>

namespace pt = platform::testing;

namespace {

typedef std::array<float, 3> Rgb;

// Stage operations the engine's header leaves out, as the device numbers them.
enum : DWORD { SELECTARG2 = 3, BUMPENVMAP = 22, BUMPENVMAPLUMINANCE = 23, MULTIPLYADD = 25, LERP = 26 };

DWORD bitsOf(float f)
{
    DWORD d;
    std::memcpy(&d, &f, 4);
    return d;
}

// A colour word as floats, and what the back buffer keeps of a float colour.
Rgb rgbOf(DWORD c) { return {((c >> 16) & 0xFF) / 255.0f, ((c >> 8) & 0xFF) / 255.0f, (c & 0xFF) / 255.0f}; }

class ShaderDrawTest : public HeadlessDevice {
protected:
    std::vector<DWORD> assemble(const std::string& source)
    {
        LPD3DXBUFFER code = nullptr, errors = nullptr;
        const HRESULT hr = D3DXAssembleShader(source.c_str(), static_cast<UINT>(source.size()), nullptr, nullptr, 0,
                                              &code, &errors);
        EXPECT_EQ(hr, D3D_OK) << source << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "");
        if (errors) errors->Release();
        if (hr != D3D_OK) return {0xFFFF};
        const DWORD* p = static_cast<const DWORD*>(code->GetBufferPointer());
        std::vector<DWORD> tokens(p, p + code->GetBufferSize() / 4);
        code->Release();
        return tokens;
    }

    IDirect3DVertexShader9* vertexShader(const std::string& source)
    {
        IDirect3DVertexShader9* s = nullptr;
        EXPECT_EQ(m_device->CreateVertexShader(assemble(source).data(), &s), D3D_OK) << source;
        return s;
    }
    IDirect3DPixelShader9* pixelShader(const std::string& source)
    {
        IDirect3DPixelShader9* s = nullptr;
        EXPECT_EQ(m_device->CreatePixelShader(assemble(source).data(), &s), D3D_OK) << source;
        return s;
    }

    static void expectNear(DWORD pixel, const Rgb& want, const std::string& what)
    {
        const Rgb got = rgbOf(pixel);
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(got[c], std::clamp(want[c], 0.0f, 1.0f), 2.5f / 255) << what << " channel " << c;
    }

    // One frame: cleared to grey, then whatever draw does.
    void frame(const std::function<void()>& draw)
    {
        m_device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, CLEAR, 1.0f, 0);
        m_device->BeginScene();
        draw();
        present();
    }

    // A 2 x 2 texture sampled point by point: red, green / blue, white.
    IDirect3DTexture9* quarters()
    {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(m_device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
        D3DLOCKED_RECT r{};
        texture->LockRect(0, &r, nullptr, 0);
        const DWORD texels[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
        for (int i = 0; i < 4; ++i) std::memcpy(static_cast<uint8_t*>(r.pBits) + i / 2 * r.Pitch + i % 2 * 4, &texels[i], 4);
        texture->UnlockRect(0);
        return texture;
    }

    static constexpr DWORD CLEAR = 0xFF404040;
};

// The engine's vertex layout for shaders: usage POSITION with the input register as its index.
struct ShaderVertex {
    float x, y, z;
    DWORD colour;
};
const D3DVERTEXELEMENT9 SHADER_DECLARATION[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                                {0, 12, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_POSITION, 4},
                                                {0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0}};

TEST_F(ShaderDrawTest, AVertexShaderTransformsAndColoursBufferedVertices)
{
    IDirect3DVertexShader9* vs = vertexShader("vs.1.1\ndcl_position0 v0\ndcl_position4 v4\n"
                                              "m4x4 oPos, v0, c0\nmov oD0, v4\n");
    IDirect3DVertexDeclaration9* declaration = nullptr;
    ASSERT_EQ(m_device->CreateVertexDeclaration(SHADER_DECLARATION, &declaration), D3D_OK);
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(m_device->CreateVertexBuffer(4 * sizeof(ShaderVertex), 0, 0, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    ASSERT_EQ(m_device->CreateIndexBuffer(6 * 2, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), D3D_OK);
    const ShaderVertex quad[] = {{-1, 1, 0.5f, 0xFFFF8000}, {1, 1, 0.5f, 0xFFFF8000}, {-1, -1, 0.5f, 0xFFFF8000},
                                 {1, -1, 0.5f, 0xFFFF8000}};
    const WORD indices[] = {0, 1, 2, 2, 1, 3};
    void* p = nullptr;
    vb->Lock(0, 0, &p, 0), std::memcpy(p, quad, sizeof(quad)), vb->Unlock();
    ib->Lock(0, 0, &p, 0), std::memcpy(p, indices, sizeof(indices)), ib->Unlock();
    // Rows of a matrix for row vectors, transposed into c0..c3: x halved and moved left.
    const float columns[16] = {0.5f, 0, 0, -0.5f, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    m_device->SetVertexShaderConstantF(0, columns, 4);
    m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    frame([&] {
        m_device->SetVertexDeclaration(declaration);
        m_device->SetVertexShader(vs);
        m_device->SetStreamSource(0, vb, 0, sizeof(ShaderVertex));
        m_device->SetIndices(ib);
        m_device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2);
    });
    EXPECT_EQ(std::vector<DWORD>({0xFFFF8000u, 0xFFFF8000u, CLEAR}), std::vector<DWORD>({front(4, 16), front(15, 3), front(17, 16)}));
    DWORD passes = 0;
    EXPECT_EQ(m_device->ValidateDevice(&passes), D3D_OK);
    EXPECT_TRUE(pt::d3d9RendererNotes().empty());

    // The same shader fed through an FVF word has no element for v4 (the FVF's colour is COLOR0).
    m_device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    EXPECT_EQ(m_device->ValidateDevice(&passes), D3DERR_CONFLICTINGRENDERSTATE);
    frame([&] { m_device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2); });
    EXPECT_EQ(front(4, 16), CLEAR);
    ASSERT_EQ(pt::d3d9RendererNotes().size(), 1u);
    EXPECT_EQ(pt::d3d9RendererNotes()[0], "the vertex declaration has no element for input v4 (usage 0, index 4)");

    m_device->SetVertexShader(nullptr), m_device->SetVertexDeclaration(nullptr);
    m_device->SetStreamSource(0, nullptr, 0, 0), m_device->SetIndices(nullptr);
    ib->Release(), vb->Release(), declaration->Release(), vs->Release();
}

TEST_F(ShaderDrawTest, VertexShaderInstructionsComputeWhatTheyShould)
{
    const float c[][4] = {
        {0.25f, 0.5f, 0.75f, 1.0f},  // c4
        {0.5f, 0.25f, 0.125f, 0.5f}, // c5
        {0.1f, 0.2f, 0.3f, 0.4f},    // c6
        {2, 4, 0.5f, 0},             // c7
        {1.25f, -0.25f, 3.5f, 0},    // c8
        {0.5f, 0.5f, 0, 2},          // c9
        {1, 0, 0, 0},                // c10
        {0, 0, 1, 0},                // c11
        {0.5f, 0.5f, 0, 0},          // c12
        {0.9f, 0.9f, 0.9f, 0.9f},    // c13
    };
    const float log35 = std::log2(3.5f);
    struct Case {
        const char* body;
        Rgb want;
    } cases[] = {
        {"add oD0, c4, c5", {0.75f, 0.75f, 0.875f}},
        {"mad oD0, c4, c5, c6", {0.225f, 0.325f, 0.39375f}},
        {"mul r0, c4, c5\nmov oD0, -r0\nmov oD0.xy, r0", {0.125f, 0.125f, 0}},
        {"sub oD0, c4.wzyx, c5.x", {0.5f, 0.25f, 0}},
        {"dp3 oD0, c4, c5", {0.34375f, 0.34375f, 0.34375f}},
        {"dp4 oD0, c4, c6", {0.75f, 0.75f, 0.75f}},
        {"rcp oD0, c7.y", {0.25f, 0.25f, 0.25f}},
        {"rsq oD0, c7.y", {0.5f, 0.5f, 0.5f}},
        {"min oD0, c4, c5", {0.25f, 0.25f, 0.125f}},
        {"max oD0, c4, c5", {0.5f, 0.5f, 0.75f}},
        {"slt oD0, c4, c5", {1, 0, 0}},
        {"sge oD0, c4, c5", {0, 1, 1}},
        {"frc oD0, c8", {0.25f, 0.75f, 0.5f}},
        {"exp r0, c4.x\nmul oD0, r0, c6", {0.1f * 1.18920712f, 0.2f * 1.18920712f, 0.3f * 1.18920712f}},
        {"log r0, c7.y\nmul oD0, r0, c6", {0.2f, 0.4f, 0.6f}},
        {"expp r0, c8.z\nmul oD0, r0, c6", {0.8f, 0.1f, 1}},
        {"logp r0, c8.z\nmul oD0, r0, c6", {0.1f, 0.2f * 1.75f, 0.3f * log35}},
        {"lit oD0, c9", {1, 0.5f, 0.25f}},
        {"dst oD0, c4, c5", {1, 0.125f, 0.75f}},
        {"mov a0.x, c7.x\nmov oD0, c[a0.x + 3]", {0.5f, 0.25f, 0.125f}},
        {"mov a0.x, c7.y\nmov oD0, c[a0.x + 9]", {0.2f, 0.4f, 0.6f}},  // a definition reached relatively
        {"m3x3 oD0.xyz, c4, c10", {0.25f, 0.75f, 0.375f}},
        {"m3x2 oD0.xy, c4, c10\nmov oD0.z, c6.x", {0.25f, 0.75f, 0.1f}},
        {"mov oD0, c13", {0.2f, 0.4f, 0.6f}},  // the definition wins over the register
    };
    const ShaderVertex quad[] = {{-1, 1, 0.5f, 0}, {1, 1, 0.5f, 0}, {-1, -1, 0.5f, 0}, {1, -1, 0.5f, 0}};
    IDirect3DVertexDeclaration9* declaration = nullptr;
    ASSERT_EQ(m_device->CreateVertexDeclaration(SHADER_DECLARATION, &declaration), D3D_OK);
    m_device->SetVertexShaderConstantF(4, &c[0][0], 10);
    m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    for (const Case& k : cases) {
        IDirect3DVertexShader9* vs = vertexShader(std::string("vs.1.1\ndcl_position0 v0\ndef c13, 0.2, 0.4, 0.6, 1\n"
                                                              "mov oPos, v0\n") + k.body + "\n");
        frame([&] {
            m_device->SetVertexDeclaration(declaration);
            m_device->SetVertexShader(vs);
            m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ShaderVertex));
        });
        expectNear(front(16, 16), k.want, k.body);
        m_device->SetVertexShader(nullptr), vs->Release();
    }
    EXPECT_TRUE(pt::d3d9RendererNotes().empty());
    m_device->SetVertexDeclaration(nullptr), declaration->Release();
}

struct ScreenVertex {  // XYZRHW | DIFFUSE | SPECULAR | TEX1
    float x, y, z, rhw;
    DWORD diffuse, specular;
    float u, v;
};
const DWORD SCREEN_FVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1;

TEST_F(ShaderDrawTest, PixelShadersOfEveryVersionCombineTexturesColoursAndConstants)
{
    const DWORD D = 0xFF80FF40, S = 0xFF204080, TEXEL = 0xFF40C0FF;
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(m_device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    D3DLOCKED_RECT r{};
    texture->LockRect(0, &r, nullptr, 0);
    for (int i = 0; i < 4; ++i) std::memcpy(static_cast<uint8_t*>(r.pBits) + i / 2 * r.Pitch + i % 2 * 4, &TEXEL, 4);
    texture->UnlockRect(0);
    const float c[4][4] = {{0.25f, 0.5f, 0.75f, 0.75f}, {0.75f, 0.5f, 0.25f, 1}, {0.1f, 0.9f, 0.4f, 0.2f},
                           {-0.5f, 0.25f, 0, 1}};
    m_device->SetPixelShaderConstantF(0, &c[0][0], 4);
    const Rgb d = rgbOf(D), s = rgbOf(S), t = rgbOf(TEXEL);
    auto each = [](const std::function<float(int)>& f) { return Rgb{f(0), f(1), f(2)}; };
    auto bx2 = [](float x) { return 2 * x - 1; };
    struct Case {
        const char* source;
        Rgb want;
        float u = 0.25f;
    } cases[] = {
        {"ps.1.1\ntex t0\nmul r0, t0, v0", each([&](int i) { return t[i] * d[i]; })},
        {"ps.1.1\ntex t0\nmul_sat r0, t0_bx2, v0_bx2", each([&](int i) { return bx2(t[i]) * bx2(d[i]); })},
        {"ps.1.1\nmov r0, c0\ncnd r0, r0.a, c1, c2", {0.75f, 0.5f, 0.25f}},
        {"ps.1.1\nmov r0, c2\ncnd r0, r0.a, c1, c2", {0.1f, 0.9f, 0.4f}},
        {"ps.1.1\nlrp r0, c0, c1, c2", each([&](int i) { return c[0][i] * c[1][i] + (1 - c[0][i]) * c[2][i]; })},
        {"ps.1.1\nmul r0.rgb, c1, c2\n+mov r0.a, c0", each([&](int i) { return c[1][i] * c[2][i]; })},
        {"ps.1.1\nadd_d2 r0, v0, v1", each([&](int i) { return (d[i] + s[i]) / 2; })},
        {"ps.1.1\nsub r0, c1, 1 - v0", each([&](int i) { return c[1][i] - (1 - d[i]); })},
        {"ps.1.1\ndp3 r0, v0_bx2, c3", each([&](int) { return bx2(d[0]) * -0.5f + bx2(d[1]) * 0.25f; })},
        {"ps.1.1\nadd r0, c1, c1\nmul r0, r0, c0", {0.25f, 0.5f, 0.375f}},  // 1.5 held at 1 first
        {"ps.1.4\nadd r0, c1, c1\nmul r0, r0, c0", {0.375f, 0.5f, 0.375f}},
        {"ps.1.2\ncmp r0, c3, c1, c2", {0.1f, 0.5f, 0.25f}},
        {"ps.1.4\ntexld r0, t0\nmul_x2 r0, r0, v0", each([&](int i) { return 2 * t[i] * d[i]; })},
        {"ps.1.4\ntexcrd r1.rgb, t0\nmov r0, r1", {0.25f, 0.75f, 0}},
        {"ps.1.4\ntexld r0, t0\nphase\ntexld r0, r0\nmul r0, r0, c1", each([&](int i) { return t[i] * c[1][i]; })},
        {"ps.1.1\ntexkill t0\nmov r0, c1", rgbOf(CLEAR), -0.25f},
        {"ps.1.1\ntexcoord t0\nmov r0, t0", {0.25f, 0.75f, 0}},
    };
    for (const Case& k : cases) {
        IDirect3DPixelShader9* ps = pixelShader(std::string(k.source) + "\n");
        const ScreenVertex quad[] = {{-0.5f, -0.5f, 0.5f, 1, D, S, k.u, 0.75f}, {31.5f, -0.5f, 0.5f, 1, D, S, k.u, 0.75f},
                                     {-0.5f, 31.5f, 0.5f, 1, D, S, k.u, 0.75f}, {31.5f, 31.5f, 0.5f, 1, D, S, k.u, 0.75f}};
        frame([&] {
            m_device->SetFVF(SCREEN_FVF);
            m_device->SetTexture(0, texture);
            m_device->SetPixelShader(ps);
            m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex));
        });
        expectNear(front(16, 16), k.want, k.source);
        m_device->SetPixelShader(nullptr), ps->Release();
    }
    EXPECT_TRUE(pt::d3d9RendererNotes().empty());
    m_device->SetTexture(0, nullptr), texture->Release();
}

TEST_F(ShaderDrawTest, ShadersLeaveBlendingAlphaTestAndFogToTheFixedStates)
{
    IDirect3DPixelShader9* ps = pixelShader("ps.1.1\nmov r0, c0\n");
    const float half[4] = {1, 0, 0, 0.5f};
    m_device->SetPixelShaderConstantF(0, half, 1);
    const ScreenVertex quad[] = {{-0.5f, -0.5f, 0.5f, 1, 0, 0, 0, 0}, {31.5f, -0.5f, 0.5f, 1, 0, 0, 0, 0},
                                 {-0.5f, 31.5f, 0.5f, 1, 0, 0, 0, 0}, {31.5f, 31.5f, 0.5f, 1, 0, 0, 0, 0}};
    auto draw = [&] {
        m_device->SetFVF(SCREEN_FVF);
        m_device->SetPixelShader(ps);
        m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex));
    };
    for (auto [state, value] : {std::pair{D3DRS_ALPHABLENDENABLE, DWORD(TRUE)}, {D3DRS_SRCBLEND, DWORD(D3DBLEND_SRCALPHA)},
                                {D3DRS_DESTBLEND, DWORD(D3DBLEND_INVSRCALPHA)}})
        m_device->SetRenderState(state, value);
    frame(draw);
    expectNear(front(16, 16), {0.5f + 0.5f * 0.25f, 0.125f, 0.125f}, "blended");
    for (auto [state, value] : {std::pair{D3DRS_ALPHABLENDENABLE, DWORD(FALSE)}, {D3DRS_ALPHATESTENABLE, DWORD(TRUE)},
                                {D3DRS_ALPHAREF, DWORD(0x90)}, {D3DRS_ALPHAFUNC, DWORD(D3DCMP_GREATER)}})
        m_device->SetRenderState(state, value);
    frame(draw);
    EXPECT_EQ(front(16, 16), CLEAR);
    m_device->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);

    // A vertex shader's oFog is the fog factor.
    IDirect3DVertexShader9* vs = vertexShader("vs.1.1\ndcl_position0 v0\nmov oPos, v0\nmov oD0, c4\nmov oFog, c5.x\n");
    const float colours[8] = {0, 0, 1, 1, 0.25f, 0, 0, 0};
    m_device->SetVertexShaderConstantF(4, colours, 2);
    m_device->SetRenderState(D3DRS_FOGENABLE, TRUE), m_device->SetRenderState(D3DRS_FOGCOLOR, 0xFFFFFFFF);
    IDirect3DVertexDeclaration9* declaration = nullptr;
    ASSERT_EQ(m_device->CreateVertexDeclaration(SHADER_DECLARATION, &declaration), D3D_OK);
    const ShaderVertex full[] = {{-1, 1, 0.5f, 0}, {1, 1, 0.5f, 0}, {-1, -1, 0.5f, 0}, {1, -1, 0.5f, 0}};
    m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    frame([&] {
        m_device->SetVertexDeclaration(declaration);
        m_device->SetVertexShader(vs);
        m_device->SetPixelShader(nullptr);
        m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, full, sizeof(ShaderVertex));
    });
    expectNear(front(16, 16), {0.75f, 0.75f, 1}, "fogged");

    // Table fog reads the depth written to oPos, pixel by pixel: here from 0 at the left edge to 1
    // at the right, so pixel x (its centre on the whole number) lies at x / 32.
    IDirect3DVertexShader9* passed = vertexShader("vs.1.1\ndcl_position0 v0\nmov oPos, v0\nmov oD0, c4\n");
    const ShaderVertex ramp[] = {{-1, 1, 0, 0}, {1, 1, 1, 0}, {-1, -1, 0, 0}, {1, -1, 1, 0}};
    const struct {
        DWORD mode;
        float density;
        int x;
        float fog;  // the share of the vertex colour left
    } tableFog[] = {
        {D3DFOG_LINEAR, 1, 8, 1 - 8.0f / 32}, {D3DFOG_LINEAR, 1, 24, 1 - 24.0f / 32},
        {D3DFOG_EXP, 2, 8, std::exp(-2 * 8.0f / 32)}, {D3DFOG_EXP2, 2, 24, std::exp(-std::pow(2 * 24.0f / 32, 2.0f))},
    };
    for (const auto& t : tableFog) {
        m_device->SetRenderState(D3DRS_FOGTABLEMODE, t.mode);
        m_device->SetRenderState(D3DRS_FOGDENSITY, bitsOf(t.density));
        frame([&] {
            m_device->SetVertexShader(passed);
            m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, ramp, sizeof(ShaderVertex));
        });
        expectNear(front(t.x, 16), {1 - t.fog, 1 - t.fog, 1}, "table fog " + std::to_string(t.mode));
    }
    m_device->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_NONE);
    m_device->SetVertexShader(nullptr), m_device->SetVertexDeclaration(nullptr);
    passed->Release(), declaration->Release(), vs->Release(), ps->Release();
}

// A stage without a texture whose colour or alpha operation reads the texture passes the current
// colour or alpha on, each on its own (at stage 0 the diffuse); an operation reading no texture
// draws as it would. Drawn first under a vertex shader with the default stages, then with the
// fixed-function vertex colour: the diffuse (0.75, 0.75, 0.5) of alpha 0.75 and the texture factor
// (0.25, 1, 0.5) of alpha 0.5, the result blended by its alpha over the grey of the clear.
TEST_F(ShaderDrawTest, AStageWithoutItsTexturePassesTheCurrentValueOn)
{
    IDirect3DVertexShader9* vs = vertexShader("vs.1.1\ndcl_position0 v0\nmov oPos, v0\nmov oD0, c4\n");
    IDirect3DVertexDeclaration9* declaration = nullptr;
    ASSERT_EQ(m_device->CreateVertexDeclaration(SHADER_DECLARATION, &declaration), D3D_OK);
    const float colour[4] = {0.75f, 0.75f, 0.5f, 1};
    m_device->SetVertexShaderConstantF(4, colour, 1);
    m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    const ShaderVertex full[] = {{-1, 1, 0.5f, 0}, {1, 1, 0.5f, 0}, {-1, -1, 0.5f, 0}, {1, -1, 0.5f, 0}};
    frame([&] {
        m_device->SetVertexDeclaration(declaration);
        m_device->SetVertexShader(vs);
        m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, full, sizeof(ShaderVertex));
    });
    expectNear(front(16, 16), {0.75f, 0.75f, 0.5f}, "the default stages under a vertex shader");
    m_device->SetVertexShader(nullptr), m_device->SetVertexDeclaration(nullptr);

    const DWORD D = 0xC0C0C080, T = 0x8040FF80;
    const Rgb d = rgbOf(D), t = rgbOf(T);
    const float da = 0xC0 / 255.0f, ta = 0x80 / 255.0f;
    m_device->SetRenderState(D3DRS_TEXTUREFACTOR, T);
    m_device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    m_device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    m_device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    enum : DWORD { TEX = D3DTA_TEXTURE, CUR = D3DTA_CURRENT, DIF = D3DTA_DIFFUSE, TF = D3DTA_TFACTOR };
    struct Operation {
        DWORD op, arg0, arg1, arg2;
    };
    const Operation off{D3DTOP_DISABLE, CUR, TEX, CUR};
    const struct {
        const char* name;
        Operation colour0, alpha0, colour1, alpha1;
        Rgb rgb;
        float alpha;
    } cases[] = {
        {"the defaults", {D3DTOP_MODULATE, CUR, TEX, CUR}, {D3DTOP_SELECTARG1, CUR, TEX, CUR}, off, off, d, da},
        {"LERP by the texture", {LERP, TEX, TF, DIF}, {D3DTOP_SELECTARG1, CUR, TF, TEX}, off, off, d, ta},
        {"MULTIPLYADD of the texture", {MULTIPLYADD, TEX, TF, DIF}, {D3DTOP_MODULATE, CUR, TEX, TF}, off, off, d, da},
        {"the texture unread", {SELECTARG2, CUR, TEX, TF}, {SELECTARG2, TEX, TEX, TF}, off, off, t, ta},
        {"argument 0 unread", {D3DTOP_MODULATE, TEX, TF, DIF}, {D3DTOP_SELECTARG1, TEX, DIF, TEX}, off, off,
         {t[0] * d[0], t[1] * d[1], t[2] * d[2]}, da},
        {"stage 1 passes stage 0's", {D3DTOP_SELECTARG1, CUR, TF, CUR}, {D3DTOP_SELECTARG1, CUR, TF, CUR},
         {D3DTOP_MODULATE, CUR, TEX, CUR}, {D3DTOP_MODULATE, CUR, CUR, TEX}, t, ta},
    };
    struct Vertex {
        float x, y, z, rhw;
        DWORD diffuse;
    };
    const Vertex quad[] = {{-0.5f, -0.5f, 0.5f, 1, D}, {31.5f, -0.5f, 0.5f, 1, D}, {-0.5f, 31.5f, 0.5f, 1, D},
                           {31.5f, 31.5f, 0.5f, 1, D}};
    const Rgb grey = rgbOf(CLEAR);
    for (const auto& c : cases) {
        for (DWORD stage : {0, 1}) {
            const Operation& colourOp = stage ? c.colour1 : c.colour0;
            const Operation& alphaOp = stage ? c.alpha1 : c.alpha0;
            m_device->SetTextureStageState(stage, D3DTSS_COLOROP, colourOp.op);
            m_device->SetTextureStageState(stage, D3DTSS_COLORARG0, colourOp.arg0);
            m_device->SetTextureStageState(stage, D3DTSS_COLORARG1, colourOp.arg1);
            m_device->SetTextureStageState(stage, D3DTSS_COLORARG2, colourOp.arg2);
            m_device->SetTextureStageState(stage, D3DTSS_ALPHAOP, alphaOp.op);
            m_device->SetTextureStageState(stage, D3DTSS_ALPHAARG0, alphaOp.arg0);
            m_device->SetTextureStageState(stage, D3DTSS_ALPHAARG1, alphaOp.arg1);
            m_device->SetTextureStageState(stage, D3DTSS_ALPHAARG2, alphaOp.arg2);
        }
        frame([&] {
            m_device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
            m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
        });
        Rgb want;
        for (int i = 0; i < 3; ++i) want[i] = c.rgb[i] * c.alpha + grey[i] * (1 - c.alpha);
        expectNear(front(16, 16), want, c.name);
    }
    m_device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    declaration->Release(), vs->Release();
}

// Linear fog whose start is its end fogs everything fully, in front of the start as behind it:
// quads 0.1 and 1 from the eye, as vertex fog and as table fog counting w.
TEST_F(ShaderDrawTest, LinearFogFromStartToTheSameEndFogsEveryDepth)
{
    // Far from the eye at 10, near at 0.05.
    const float far = 10, near = 0.05f, zf = far / (far - near);
    D3DMATRIX perspective{};
    perspective.m[0][0] = perspective.m[1][1] = 1, perspective.m[2][2] = zf, perspective.m[2][3] = 1;
    perspective.m[3][2] = -near * zf;
    m_device->SetTransform(D3DTS_PROJECTION, &perspective);
    m_device->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    m_device->SetRenderState(D3DRS_FOGCOLOR, 0xFFFFFFFF);
    m_device->SetRenderState(D3DRS_FOGSTART, bitsOf(512));
    m_device->SetRenderState(D3DRS_FOGEND, bitsOf(512));
    struct Vertex {
        float x, y, z;
        DWORD diffuse;
    };
    // Black quads on the left half at 0.1 and on the right half at 1.
    auto half = [](float x1, float x2, float z) {
        return std::vector<Vertex>{{x1 * z, z, z, 0xFF000000}, {x2 * z, z, z, 0xFF000000}, {x1 * z, -z, z, 0xFF000000},
                                   {x2 * z, -z, z, 0xFF000000}};
    };
    const std::vector<Vertex> nearQuad = half(-1, 0, 0.1f), farQuad = half(0, 1, 1);
    const struct {
        const char* name;
        DWORD enable, vertex, table;
        DWORD seen;
    } cases[] = {
        {"no fog", FALSE, D3DFOG_NONE, D3DFOG_NONE, 0xFF000000},
        {"vertex fog", TRUE, D3DFOG_LINEAR, D3DFOG_NONE, 0xFFFFFFFF},
        {"table fog", TRUE, D3DFOG_NONE, D3DFOG_LINEAR, 0xFFFFFFFF},
    };
    for (const auto& c : cases) {
        m_device->SetRenderState(D3DRS_FOGENABLE, c.enable);
        m_device->SetRenderState(D3DRS_FOGVERTEXMODE, c.vertex);
        m_device->SetRenderState(D3DRS_FOGTABLEMODE, c.table);
        frame([&] {
            m_device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
            m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, nearQuad.data(), sizeof(Vertex));
            m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, farQuad.data(), sizeof(Vertex));
        });
        EXPECT_EQ(std::make_pair(front(8, 16), front(24, 16)), std::make_pair(c.seen, c.seen)) << c.name;
    }
    m_device->SetRenderState(D3DRS_FOGENABLE, FALSE);
}

// A bump map moves a projected stage's coordinates after they are divided: (u, v) counted four
// and projected as (128 u, 128 v, 0, 128) lands where plain (u, v) does, under texbem and texbeml
// and under the fixed-function bump stages.
TEST_F(ShaderDrawTest, BumpMapsMoveProjectedCoordinatesOnceDivided)
{
    // Stage 1 red, green / blue, white; stage 0 a bump map of du 1, which a matrix of 0.5 halves:
    // (0.25, 0.25) in the red texel moves to (0.75, 0.25) in the green one.
    IDirect3DTexture9 *colours = quarters(), *bump = nullptr;
    ASSERT_EQ(m_device->CreateTexture(1, 1, 1, 0, D3DFMT_V8U8, D3DPOOL_MANAGED, &bump, nullptr), D3D_OK);
    D3DLOCKED_RECT r{};
    bump->LockRect(0, &r, nullptr, 0);
    static_cast<int8_t*>(r.pBits)[0] = 127, static_cast<int8_t*>(r.pBits)[1] = 0;
    bump->UnlockRect(0);
    struct Vertex {
        float x, y, z, rhw, u0, v0, t1[4];
    };
    const DWORD TEX1_SIZE4 = 2u << 18;
    for (DWORD stage : {0, 1}) {
        m_device->SetTextureStageState(stage, D3DTSS_BUMPENVMAT00, bitsOf(0.5f));
        m_device->SetTextureStageState(stage, D3DTSS_BUMPENVLSCALE, bitsOf(1.0f));
    }
    IDirect3DPixelShader9* plain = pixelShader("ps.1.1\ntex t1\nmov r0, t1\n");
    IDirect3DPixelShader9* texbem = pixelShader("ps.1.1\ntex t0\ntexbem t1, t0\nmov r0, t1\n");
    IDirect3DPixelShader9* texbeml = pixelShader("ps.1.3\ntex t0\ntexbeml t1, t0\nmov r0, t1\n");
    const struct {
        const char* name;
        IDirect3DPixelShader9* shader;
        DWORD bumpOp;  // the fixed-function stage 0 without a shader
        Rgb want;
    } cases[] = {
        {"tex", plain, 0, {1, 0, 0}},
        {"texbem", texbem, 0, {0, 1, 0}},
        {"texbeml", texbeml, 0, {0, 1, 0}},
        {"BUMPENVMAP", nullptr, BUMPENVMAP, {0, 1, 0}},
        {"BUMPENVMAPLUMINANCE", nullptr, BUMPENVMAPLUMINANCE, {0, 1, 0}},
    };
    for (const auto& c : cases)
        for (float q : {1.0f, 128.0f}) {
            const float t1[4] = {0.25f * q, 0.25f * q, 0, q};
            std::vector<Vertex> quad;
            for (auto [x, y] : {std::pair{-0.5f, -0.5f}, {31.5f, -0.5f}, {-0.5f, 31.5f}, {31.5f, 31.5f}})
                quad.push_back(Vertex{x, y, 0.5f, 1, 0.5f, 0.5f, {t1[0], t1[1], t1[2], t1[3]}});
            m_device->SetTextureStageState(1, D3DTSS_TEXTURETRANSFORMFLAGS,
                                           q == 1 ? D3DTTFF_DISABLE : D3DTTFF_COUNT4 | D3DTTFF_PROJECTED);
            m_device->SetTextureStageState(0, D3DTSS_COLOROP, c.bumpOp ? c.bumpOp : D3DTOP_SELECTARG1);
            m_device->SetTextureStageState(1, D3DTSS_COLOROP, c.bumpOp ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE);
            frame([&] {
                m_device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX2 | TEX1_SIZE4);
                m_device->SetTexture(0, bump), m_device->SetTexture(1, colours);
                m_device->SetPixelShader(c.shader);
                m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad.data(), sizeof(Vertex));
            });
            expectNear(front(16, 16), c.want, std::string(c.name) + (q == 1 ? "" : ", projected"));
        }
    m_device->SetPixelShader(nullptr);
    m_device->SetTexture(0, nullptr), m_device->SetTexture(1, nullptr);
    texbeml->Release(), texbem->Release(), plain->Release(), bump->Release(), colours->Release();
}

// A projected stage divides its coordinates by the last element counted; without a valid count,
// by the last the vertex supplies (an invalid count standing for that many, texture matrix
// included); under a vertex shader by the fourth, whatever the count. Each is drawn with the
// fixed-function stage and with a ps_1_1 tex. Every other reading lands outside the green texel.
TEST_F(ShaderDrawTest, ProjectedCoordinatesDivideByTheElementTheDeviceChooses)
{
    IDirect3DTexture9* colours = quarters();
    IDirect3DPixelShader9* ps = pixelShader("ps.1.1\ntex t0\nmov r0, t0\n");
    IDirect3DVertexShader9* vs = vertexShader("vs.1.1\ndcl_position0 v0\nmov oPos, v0\nmov oT0, c4\n");
    IDirect3DVertexDeclaration9* positions = nullptr;
    ASSERT_EQ(m_device->CreateVertexDeclaration(SHADER_DECLARATION, &positions), D3D_OK);
    // The third element doubled where a texture matrix applies.
    D3DMATRIX doubleThird{};
    doubleThird.m[0][0] = doubleThird.m[1][1] = doubleThird.m[3][3] = 1, doubleThird.m[2][2] = 2;
    m_device->SetTransform(D3DTS_TEXTURE0, &doubleThird);
    m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    const struct {
        const char* name;
        DWORD flags;
        int supplied;  // elements of the vertex's set; 0: a vertex shader writes oT0 from c4
        float tex[4];
    } cases[] = {
        {"no count, three supplied", D3DTTFF_PROJECTED, 3, {2.25f, 0.75f, 3}},
        {"no count, four supplied", D3DTTFF_PROJECTED, 4, {2.25f, 0.75f, 5, 3}},
        {"an invalid count, three supplied", 0xFFFFFFFF, 3, {1.25f, 0.25f, 1}},
        {"a vertex shader, counted three", D3DTTFF_COUNT3 | D3DTTFF_PROJECTED, 0, {2.25f, 0.75f, 5, 3}},
    };
    for (const auto& c : cases)
        for (IDirect3DPixelShader9* shader : {static_cast<IDirect3DPixelShader9*>(nullptr), ps}) {
            std::vector<float> quad;
            for (auto [x, y] : {std::pair{-1, 1}, {1, 1}, {-1, -1}, {1, -1}}) {
                quad.insert(quad.end(), {float(x), float(y), 0.5f});
                quad.insert(quad.end(), c.tex, c.tex + c.supplied);
            }
            const UINT stride = static_cast<UINT>((3 + c.supplied) * sizeof(float));
            m_device->SetVertexShaderConstantF(4, c.tex, 1);
            m_device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, c.flags);
            frame([&] {
                if (c.supplied) {
                    const DWORD sizeBits = c.supplied == 3 ? 1u << 16 : 2u << 16;
                    m_device->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1 | sizeBits);
                } else {
                    m_device->SetVertexDeclaration(positions);
                    m_device->SetVertexShader(vs);
                }
                m_device->SetTexture(0, colours);
                m_device->SetPixelShader(shader);
                m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad.data(), stride);
            });
            expectNear(front(16, 16), {0, 1, 0}, std::string(c.name) + (shader ? ", tex" : ", fixed-function stage"));
            m_device->SetVertexShader(nullptr), m_device->SetPixelShader(nullptr);
        }
    m_device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    m_device->SetTexture(0, nullptr), m_device->SetVertexDeclaration(nullptr);
    positions->Release(), vs->Release(), ps->Release(), colours->Release();
}

// A D3DCOLOR blend weight gives its red, green and blue over 255 as the weights, in that order,
// to the fixed-function blend and to a vertex shader's input. Of the four world matrices the
// first leaves the quad in the top left quarter, the second moves it right, the third down and
// the fourth, which takes what the weights leave, both.
TEST_F(ShaderDrawTest, ColourBlendWeightsWeighTheWorldMatricesInRedGreenBlueOrder)
{
    struct Vertex {
        float x, y, z;
        DWORD weights, colour;
    };
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                          {0, 12, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_BLENDWEIGHT, 0},
                                          {0, 16, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
                                          {0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0}};
    IDirect3DVertexDeclaration9* declaration = nullptr;
    ASSERT_EQ(m_device->CreateVertexDeclaration(elements, &declaration), D3D_OK);
    // The shader blends the same moves, c5 to c7, the last by one less the three weights.
    IDirect3DVertexShader9* vs = vertexShader("vs.1.1\ndcl_position0 v0\ndcl_blendweight0 v1\ndcl_color0 v2\n"
                                              "def c8, 1, 1, 1, 0\ndef c9, 1, 1, 1, 1\n"
                                              "dp3 r1, v1, c8\nsub r1, c9, r1\nmad r0, v1.y, c5, v0\n"
                                              "mad r0, v1.z, c6, r0\nmad r0, r1.x, c7, r0\nmov oPos, r0\nmov oD0, v2\n");
    const float moves[3][4] = {{1, 0, 0, 0}, {0, -1, 0, 0}, {1, -1, 0, 0}};
    m_device->SetVertexShaderConstantF(5, &moves[0][0], 3);
    for (int m = 0; m < 3; ++m) {
        D3DMATRIX world{};
        world.m[0][0] = world.m[1][1] = world.m[2][2] = world.m[3][3] = 1;
        world.m[3][0] = moves[m][0], world.m[3][1] = moves[m][1];
        m_device->SetTransform(D3DTS_WORLDMATRIX(m + 1), &world);
    }
    m_device->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_3WEIGHTS);
    m_device->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    // Where the green quad lands, as the quarter (left/right, top/bottom) it fills.
    auto quarter = [&](DWORD weights, IDirect3DVertexShader9* shader) {
        const DWORD g = 0xFF00FF00;
        const Vertex quad[] = {{-1, 1, 0.5f, weights, g}, {0, 1, 0.5f, weights, g}, {-1, 0, 0.5f, weights, g},
                               {0, 0, 0.5f, weights, g}};
        frame([&] {
            m_device->SetVertexDeclaration(declaration);
            m_device->SetVertexShader(shader);
            m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
        });
        std::string seen;
        for (auto [x, y, name] : {std::tuple{8, 8, "top left"}, {24, 8, "top right"}, {8, 24, "bottom left"},
                                  {24, 24, "bottom right"}})
            if (front(x, y) == g) seen += name;
        return seen;
    };
    DWORD passes = 0;
    EXPECT_EQ(m_device->ValidateDevice(&passes), D3D_OK);
    for (IDirect3DVertexShader9* shader : {static_cast<IDirect3DVertexShader9*>(nullptr), vs}) {
        const std::string path = shader ? "shader" : "fixed function";
        EXPECT_EQ(quarter(0x00FF0000, shader), "top left") << path;
        EXPECT_EQ(quarter(0x0000FF00, shader), "top right") << path;
        EXPECT_EQ(quarter(0x000000FF, shader), "bottom left") << path;
        EXPECT_EQ(quarter(0x00000000, shader), "bottom right") << path;
        // Half a move right and half one down: the quad straddles the middle.
        quarter(0x00008080, shader);
        EXPECT_EQ(std::vector<DWORD>({front(4, 4), front(16, 16), front(28, 28)}),
                  std::vector<DWORD>({CLEAR, 0xFF00FF00u, CLEAR})) << path;
    }
    EXPECT_TRUE(pt::d3d9RendererNotes().empty());
    m_device->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
    m_device->SetVertexShader(nullptr), m_device->SetVertexDeclaration(nullptr);
    vs->Release(), declaration->Release();
}

TEST_F(ShaderDrawTest, DeclarationsFeedFixedFunctionAndWhatCannotBeDrawnIsSaidOnce)
{
    struct Vertex {
        float x, y, z, rhw;
        DWORD colour;
    };
    const Vertex quad[] = {{-0.5f, -0.5f, 0.5f, 1, 0xFF00FF00}, {31.5f, -0.5f, 0.5f, 1, 0xFF00FF00},
                           {-0.5f, 31.5f, 0.5f, 1, 0xFF00FF00}, {31.5f, 31.5f, 0.5f, 1, 0xFF00FF00}};
    // Elements are found by usage, in any order; one without a position cannot be drawn.
    const D3DVERTEXELEMENT9 readable[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, 9, 0}, {0, 16, D3DDECLTYPE_D3DCOLOR, 0, 10, 0},
                                          {0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0}};
    const D3DVERTEXELEMENT9 reordered[] = {{0, 16, D3DDECLTYPE_D3DCOLOR, 0, 10, 0}, {0, 0, D3DDECLTYPE_FLOAT4, 0, 9, 0},
                                           {0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0}};
    const D3DVERTEXELEMENT9 unreadable[] = {{0, 16, D3DDECLTYPE_D3DCOLOR, 0, 10, 0}, {0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0}};
    IDirect3DVertexDeclaration9 *good = nullptr, *turned = nullptr, *bad = nullptr;
    ASSERT_EQ(m_device->CreateVertexDeclaration(readable, &good), D3D_OK);
    ASSERT_EQ(m_device->CreateVertexDeclaration(reordered, &turned), D3D_OK);
    ASSERT_EQ(m_device->CreateVertexDeclaration(unreadable, &bad), D3D_OK);
    auto draw = [&](IDirect3DVertexDeclaration9* declaration) {
        frame([&] {
            m_device->SetVertexDeclaration(declaration);
            m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
        });
    };
    DWORD passes = 0;
    for (IDirect3DVertexDeclaration9* declaration : {good, turned}) {
        draw(declaration);
        EXPECT_EQ(0xFF00FF00u, front(16, 16));
        EXPECT_EQ(m_device->ValidateDevice(&passes), D3D_OK);
    }
    draw(bad), draw(bad);  // said once
    EXPECT_EQ(CLEAR, front(16, 16));
    EXPECT_EQ(m_device->ValidateDevice(&passes), D3DERR_CONFLICTINGRENDERSTATE);


    // A shader asking for cube textures.
    IDirect3DPixelShader9* cube = pixelShader("ps.1.1\ntex t0\ntexm3x3pad t1, t0\ntexm3x3pad t2, t0\n"
                                              "texm3x3tex t3, t0\nmov r0, t3\n");
    m_device->SetPixelShader(cube);
    EXPECT_EQ(m_device->ValidateDevice(&passes), D3DERR_CONFLICTINGRENDERSTATE);
    draw(good), draw(good);
    EXPECT_EQ(front(16, 16), CLEAR);
    ASSERT_EQ(pt::d3d9RendererNotes().size(), 2u);
    EXPECT_EQ(pt::d3d9RendererNotes()[0], "a vertex declaration the fixed-function pipeline cannot read is not drawn");
    EXPECT_EQ(pt::d3d9RendererNotes()[1], "a pixel shader is not drawn: texm3x3tex, texm3x3spec and texm3x3vspec "
                                          "need cube textures, which are not drawn");
    m_device->SetPixelShader(nullptr), m_device->SetVertexDeclaration(nullptr);
    cube->Release(), good->Release(), turned->Release(), bad->Release();
}

// Every instruction of every version becomes GLSL that compiles and links, in programs cached
// once per shader.
TEST(ShaderTranslationTest, EveryInstructionTranslatesToAProgramThatLinks)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    d3d9gl::GLRenderer gl;
    ASSERT_TRUE(gl.create(nullptr, 8, 8)) << gl.lastError();
    uint32_t rs[d3d9gl::RENDER_STATE_COUNT] = {};
    uint32_t ts[d3d9gl::MAX_STAGES][d3d9gl::STAGE_STATE_COUNT] = {};
    uint32_t ss[d3d9gl::MAX_STAGES][d3d9gl::SAMPLER_STATE_COUNT] = {};
    rs[D3DRS_FOGENABLE] = rs[D3DRS_ALPHATESTENABLE] = TRUE, rs[D3DRS_ALPHAFUNC] = D3DCMP_GREATER;  // the tails too
    float constants[256 * 4] = {};
    d3d9gl::PipelineState pipeline;
    pipeline.renderStates = rs, pipeline.stageStates = ts, pipeline.samplerStates = ss;
    pipeline.viewport = {0, 0, 8, 8, 0, 1};
    const float triangle[] = {0, 0, 0.5f, 1, 8, 0, 0.5f, 1, 0, 8, 0.5f, 1};
    d3d9gl::VertexSource vertices;
    vertices.data = triangle, vertices.stride = 16, vertices.fvf = D3DFVF_XYZRHW;
    uint64_t id = 0;
    size_t programs = 0;
    for (const d3d9shader::InstructionInfo& info : d3d9shader::instructionTable())
        for (int m = 0; m < d3d9shader::MODEL_COUNT; ++m) {
            if (!(info.models & (1 << m))) continue;
            const auto model = static_cast<d3d9shader::Model>(m);
            const std::string source = sampleStatement(info, model);
            LPD3DXBUFFER code = nullptr;
            ASSERT_EQ(D3DXAssembleShader(source.c_str(), UINT(source.size()), nullptr, nullptr, 0, &code, nullptr), D3D_OK)
                << source;
            d3d9gl::ShaderState shaders;
            d3d9gl::ShaderCode& stage = d3d9shader::isPixel(model) ? shaders.pixel : shaders.vertex;
            stage = d3d9gl::ShaderCode{++id, static_cast<const uint32_t*>(code->GetBufferPointer()),
                                       code->GetBufferSize() / 4};
            shaders.vertexConstants = shaders.pixelConstants = constants;
            pipeline.shaders = &shaders;
            for (int twice = 0; twice < 2; ++twice) gl.draw(pipeline, D3DPT_TRIANGLELIST, vertices, 0, 1);
            EXPECT_EQ(gl.programCount(), ++programs) << source;
            std::string why;
            if (d3d9gl::shaderRunnable(stage.tokens, stage.count, why)) { EXPECT_STREQ(gl.lastError(), "") << source; }
            code->Release();
        }
}

}  // namespace
