// Draws take the device's state again only when it changed: for every setter a draw reads, a draw
// made after that setter alone, straight after a draw of the old state, shows the new state.
#include "HeadlessDevice.h"

#include "platform/d3dx9.h"

#include <functional>
#include <string>
#include <vector>

namespace {

constexpr DWORD CLEAR = 0xFF404040, RED = 0xFFFF0000, GREEN = 0xFF00FF00, BLUE = 0xFF0000FF;
// Stage operations and the declaration usage the engine's header leaves out, as the device numbers them.
enum : DWORD { SELECTARG2 = 3, BUMPENVMAP = 22, USAGE_POSITIONT = 9 };

DWORD bitsOf(float f)
{
    DWORD d;
    std::memcpy(&d, &f, 4);
    return d;
}

D3DMATRIX moved(float x)
{
    D3DMATRIX m{};
    m.m[0][0] = m.m[1][1] = m.m[2][2] = m.m[3][3] = 1;
    m.m[3][0] = x;
    return m;
}

constexpr DWORD SCREEN = D3DFVF_XYZRHW | D3DFVF_DIFFUSE, WORLD = D3DFVF_XYZ | D3DFVF_DIFFUSE;

struct Screen {  // SCREEN
    float x, y, z, rhw;
    DWORD colour;
};
std::vector<Screen> screenQuad(DWORD colour)
{
    return {{-0.5f, -0.5f, 0.5f, 1, colour}, {31.5f, -0.5f, 0.5f, 1, colour}, {-0.5f, 31.5f, 0.5f, 1, colour},
            {31.5f, 31.5f, 0.5f, 1, colour}};
}

struct World {  // WORLD, and a shader's position and colour
    float x, y, z;
    DWORD colour;
};
// From x1 to x2 across clip space, the full height.
std::vector<World> worldQuad(float x1, float x2, DWORD colour)
{
    return {{x1, 1, 0.5f, colour}, {x2, 1, 0.5f, colour}, {x1, -1, 0.5f, colour}, {x2, -1, 0.5f, colour}};
}

// What one case does: the vertices' FVF word (0: none) and the rest of the state the first draws
// see, the one setter called between two draws, the draw, and what the pixel shows before and
// after. The draw sets nothing, so that the setter is the only call between.
struct Change {
    std::string name;
    DWORD fvf;
    std::function<void()> before, change, draw;
    DWORD was, now;
    UINT x = 16, y = 16;
};

class StateChangeTest : public HeadlessDevice {
protected:
    IDirect3DTexture9* texture(UINT width, UINT height, D3DFORMAT format, const std::vector<uint8_t>& bytes)
    {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(m_device->CreateTexture(width, height, 1, 0, format, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        D3DLOCKED_RECT r{};
        t->LockRect(0, &r, nullptr, 0);
        const size_t row = bytes.size() / height;
        for (UINT y = 0; y < height; ++y) std::memcpy(static_cast<uint8_t*>(r.pBits) + y * r.Pitch, &bytes[y * row], row);
        t->UnlockRect(0);
        m_textures.push_back(t);
        return t;
    }
    // Red on the left, green on the right.
    IDirect3DTexture9* redGreen() { return texture(2, 1, D3DFMT_A8R8G8B8, {0, 0, 0xFF, 0xFF, 0, 0xFF, 0, 0xFF}); }

    template <class Vertex>
    IDirect3DVertexBuffer9* buffer(const std::vector<Vertex>& vertices)
    {
        IDirect3DVertexBuffer9* vb = nullptr;
        const UINT size = static_cast<UINT>(vertices.size() * sizeof(Vertex));
        EXPECT_EQ(m_device->CreateVertexBuffer(size, 0, 0, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
        void* p = nullptr;
        vb->Lock(0, 0, &p, 0), std::memcpy(p, vertices.data(), size), vb->Unlock();
        m_buffers.push_back(vb);
        return vb;
    }

    IDirect3DVertexDeclaration9* declaration(const std::vector<D3DVERTEXELEMENT9>& elements)
    {
        std::vector<D3DVERTEXELEMENT9> ended = elements;
        ended.push_back({0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0});
        IDirect3DVertexDeclaration9* d = nullptr;
        EXPECT_EQ(m_device->CreateVertexDeclaration(ended.data(), &d), D3D_OK);
        m_declarations.push_back(d);
        return d;
    }

    std::vector<DWORD> assemble(const char* source)
    {
        LPD3DXBUFFER code = nullptr;
        EXPECT_EQ(D3DXAssembleShader(source, UINT(std::strlen(source)), nullptr, nullptr, 0, &code, nullptr), D3D_OK)
            << source;
        if (!code) return {0xFFFF};
        const DWORD* p = static_cast<const DWORD*>(code->GetBufferPointer());
        std::vector<DWORD> tokens(p, p + code->GetBufferSize() / 4);
        code->Release();
        return tokens;
    }
    IDirect3DVertexShader9* vertexShader(const char* source)
    {
        IDirect3DVertexShader9* s = nullptr;
        EXPECT_EQ(m_device->CreateVertexShader(assemble(source).data(), &s), D3D_OK);
        m_vertexShaders.push_back(s);
        return s;
    }
    IDirect3DPixelShader9* pixelShader(const char* source)
    {
        IDirect3DPixelShader9* s = nullptr;
        EXPECT_EQ(m_device->CreatePixelShader(assemble(source).data(), &s), D3D_OK);
        m_pixelShaders.push_back(s);
        return s;
    }

    template <class Vertex>
    void drawUP(const std::vector<Vertex>& vertices)
    {
        m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, vertices.data(), sizeof(Vertex));
    }

    // Each case from the states of a device just reset: a frame drawn with the old state, then a
    // frame drawing it again, making the change and drawing once more with nothing between.
    void check(const std::vector<Change>& cases)
    {
        for (const Change& c : cases) {
            D3DPRESENT_PARAMETERS pp = headlessParameters();
            ASSERT_EQ(m_device->Reset(&pp), D3D_OK) << c.name;
            m_device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
            m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
            m_device->SetRenderState(D3DRS_LIGHTING, FALSE);
            m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
            m_device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
            m_device->Clear(0, nullptr, D3DCLEAR_TARGET, CLEAR, 1.0f, 0);
            if (c.fvf) m_device->SetFVF(c.fvf);
            c.before();
            m_device->BeginScene();
            c.draw();
            present();
            const DWORD was = front(c.x, c.y);
            m_device->BeginScene();
            c.draw();
            c.change();
            c.draw();
            present();
            EXPECT_EQ(std::make_pair(was, front(c.x, c.y)), std::make_pair(c.was, c.now)) << c.name;
        }
    }

    void TearDown() override
    {
        for (auto* t : m_textures) t->Release();
        for (auto* b : m_buffers) b->Release();
        for (auto* i : m_indices) i->Release();
        for (auto* d : m_declarations) d->Release();
        for (auto* s : m_vertexShaders) s->Release();
        for (auto* s : m_pixelShaders) s->Release();
        HeadlessDevice::TearDown();
    }

    std::vector<IDirect3DTexture9*> m_textures;
    std::vector<IDirect3DVertexBuffer9*> m_buffers;
    std::vector<IDirect3DIndexBuffer9*> m_indices;
    std::vector<IDirect3DVertexDeclaration9*> m_declarations;
    std::vector<IDirect3DVertexShader9*> m_vertexShaders;
    std::vector<IDirect3DPixelShader9*> m_pixelShaders;
};

// Render states reaching the program, its uniforms and GL's own state; every transform; the
// viewport; the render target. A quad on the left half is moved onto the right by each matrix in
// turn.
TEST_F(StateChangeTest, RenderStatesTransformsViewportAndTarget)
{
    const auto fullRed = screenQuad(RED), faintRed = screenQuad(0x40FF0000), dim = screenQuad(0xFF402010);
    const auto left = worldQuad(-1, 0, GREEN), full = worldQuad(-1, 1, GREEN);
    std::vector<Change> cases = {
        {"TEXTUREFACTOR", SCREEN,
         [&] {
             m_device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
             m_device->SetRenderState(D3DRS_TEXTUREFACTOR, RED);
         },
         [&] { m_device->SetRenderState(D3DRS_TEXTUREFACTOR, GREEN); }, [&] { drawUP(fullRed); },
         RED, GREEN},
        {"ALPHATESTENABLE", SCREEN,
         [&] {
             m_device->SetRenderState(D3DRS_ALPHAREF, 0x80);
             m_device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
             m_device->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
         },
         [&] { m_device->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE); },
         [&] { drawUP(faintRed); }, CLEAR, RED},
        {"DESTBLEND", SCREEN,
         [&] { m_device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE); },
         [&] { m_device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE); },
         [&] { drawUP(dim); }, 0xFF402010, 0xFF804020},
        {"the viewport", WORLD,
         [&] {
             const D3DVIEWPORT9 half{0, 0, W / 2, H, 0, 1};
             m_device->SetViewport(&half);
         },
         [&] {
             const D3DVIEWPORT9 whole{0, 0, W, H, 0, 1};
             m_device->SetViewport(&whole);
         },
         [&] { drawUP(full); }, CLEAR, GREEN, 24},
    };
    for (D3DTRANSFORMSTATETYPE which : {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION})
        cases.push_back({"transform " + std::to_string(which), WORLD, [] {},
                         [this, which] {
                             const D3DMATRIX m = moved(1);
                             m_device->SetTransform(which, &m);
                         },
                         [&] { drawUP(left); }, CLEAR, GREEN, 24});
    // World matrix k under k weights, each zero: the last matrix takes the whole vertex.
    for (DWORD k = 1; k <= 3; ++k) {
        std::vector<float> weighted;
        for (const World& v : left) {
            weighted.insert(weighted.end(), {v.x, v.y, v.z});
            weighted.insert(weighted.end(), k, 0.0f);
            DWORD colour = v.colour;
            weighted.push_back(0), std::memcpy(&weighted.back(), &colour, 4);
        }
        const DWORD fvf = (D3DFVF_XYZB1 + 2 * (k - 1)) | D3DFVF_DIFFUSE;
        const UINT stride = (4 + k) * 4;
        cases.push_back({"world matrix " + std::to_string(k), fvf,
                         [this, k] { m_device->SetRenderState(D3DRS_VERTEXBLEND, k); },
                         [this, k] {
                             const D3DMATRIX m = moved(1);
                             m_device->SetTransform(D3DTS_WORLDMATRIX(k), &m);
                         },
                         [this, weighted, stride] {
                             m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, weighted.data(), stride);
                         },
                         CLEAR, GREEN, 24});
    }
    // A texture made the target takes the last draw, red, from the back buffer. It is made after
    // the device's last reset: a texture that can be drawn into lives in the default pool.
    IDirect3DTexture9* target = nullptr;
    IDirect3DSurface9* targetLevel = nullptr;
    int drawn = 0;
    const auto red = worldQuad(-1, 1, RED);
    cases.push_back({"the render target", WORLD,
                     [&] {
                         ASSERT_EQ(m_device->CreateTexture(W, H, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8,
                                                           D3DPOOL_DEFAULT, &target, nullptr),
                                   D3D_OK);
                         target->GetSurfaceLevel(0, &targetLevel);
                     },
                     [&] { m_device->SetRenderTarget(0, targetLevel); }, [&] { drawUP(++drawn < 3 ? full : red); },
                     GREEN, GREEN});
    check(cases);
    if (target) targetLevel->Release(), target->Release();
}

// For each stage in turn (those before it passing the diffuse colour on): its texture, its
// texture matrix, a sampler state and a stage state; then a stage constant, a bump matrix and
// the palette of a palettised texture. The quad's coordinates run from 0 to 2 across it.
TEST_F(StateChangeTest, EachStagesTextureMatrixSamplerAndStageStates)
{
    struct Vertex {  // XYZ | DIFFUSE | TEX1
        float x, y, z;
        DWORD colour;
        float u, v;
    };
    const DWORD fvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;
    const std::vector<Vertex> quad = {{-1, 1, 0.5f, BLUE, 0, 0}, {1, 1, 0.5f, BLUE, 2, 0}, {-1, -1, 0.5f, BLUE, 0, 1},
                                      {1, -1, 0.5f, BLUE, 2, 1}};
    IDirect3DTexture9* colours = redGreen();
    IDirect3DTexture9* blue = texture(1, 1, D3DFMT_A8R8G8B8, {0xFF, 0, 0, 0xFF});
    auto draw = [&] { drawUP(quad); };
    std::vector<Change> cases;
    for (DWORD k = 0; k < 8; ++k) {
        // Stage k samples the texture at the vertex's coordinates.
        auto stages = [this, k, colours] {
            for (DWORD j = 0; j < k; ++j) {
                m_device->SetTextureStageState(j, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
                m_device->SetTextureStageState(j, D3DTSS_COLORARG1, D3DTA_CURRENT);
            }
            m_device->SetTextureStageState(k, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
            m_device->SetTextureStageState(k, D3DTSS_COLORARG1, D3DTA_TEXTURE);
            m_device->SetTextureStageState(k, D3DTSS_TEXCOORDINDEX, 0);
            m_device->SetTexture(k, colours);
        };
        const std::string stage = " of stage " + std::to_string(k);
        cases.push_back({"the texture" + stage, fvf, stages, [this, k, blue] { m_device->SetTexture(k, blue); }, draw, RED, BLUE, 4});
        // Without it the stage passes the diffuse colour on.
        cases.push_back({"no texture" + stage, fvf, stages, [this, k] { m_device->SetTexture(k, nullptr); }, draw, RED, BLUE, 4});
        cases.push_back({"the texture matrix" + stage, fvf,
                         [this, k, stages] {
                             stages();
                             m_device->SetTextureStageState(k, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
                         },
                         [this, k] {
                             D3DMATRIX m = moved(0);
                             m.m[2][0] = 0.5f;  // a 2D set is read as (u, v, 1, 0)
                             m_device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + k), &m);
                         },
                         draw, RED, GREEN, 4});
        cases.push_back({"ADDRESSU" + stage, fvf, stages,
                         [this, k] { m_device->SetSamplerState(k, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP); }, draw, RED,
                         GREEN, 20});
        cases.push_back({"COLOROP" + stage, fvf, stages,
                         [this, k] { m_device->SetTextureStageState(k, D3DTSS_COLOROP, SELECTARG2); }, draw, RED, BLUE, 4});
    }
    cases.push_back({"CONSTANT", fvf,
                     [&] {
                         m_device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_CONSTANT);
                         m_device->SetTextureStageState(0, D3DTSS_CONSTANT, RED);
                     },
                     [&] { m_device->SetTextureStageState(0, D3DTSS_CONSTANT, GREEN); }, draw, RED, GREEN});
    // A bump map of du 1 at stage 0 moves stage 1's coordinates by its matrix.
    IDirect3DTexture9* bump = texture(1, 1, D3DFMT_V8U8, {0x7F, 0});
    cases.push_back({"BUMPENVMAT00", fvf,
                     [&] {
                         m_device->SetTextureStageState(0, D3DTSS_COLOROP, BUMPENVMAP);
                         m_device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
                         m_device->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
                         m_device->SetTexture(0, bump), m_device->SetTexture(1, colours);
                     },
                     [&] { m_device->SetTextureStageState(0, D3DTSS_BUMPENVMAT00, bitsOf(0.5f)); }, draw, RED, GREEN, 4});
    // Colour 0 of palettes 1 and 2 red and green.
    IDirect3DTexture9* indexed = texture(1, 1, D3DFMT_P8, {0});
    PALETTEENTRY palettes[2][256] = {};
    palettes[0][0] = {0xFF, 0, 0, 0xFF}, palettes[1][0] = {0, 0xFF, 0, 0xFF};
    auto paletted = [&] {
        m_device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        m_device->SetTexture(0, indexed);
        m_device->SetPaletteEntries(1, palettes[0]);
        m_device->SetPaletteEntries(2, palettes[1]);
        m_device->SetCurrentTexturePalette(1);
    };
    cases.push_back({"SetCurrentTexturePalette", fvf, paletted, [&] { m_device->SetCurrentTexturePalette(2); }, draw, RED, GREEN});
    cases.push_back({"SetPaletteEntries", fvf, paletted, [&] { m_device->SetPaletteEntries(1, palettes[1]); }, draw, RED, GREEN});
    check(cases);
}

// Each kind of shader and its constants.
TEST_F(StateChangeTest, ShadersAndTheirConstants)
{
    const float constants[2][4] = {{1, 0, 0, 1}, {0, 1, 0, 1}};  // red, green
    IDirect3DVertexShader9* vsRed = vertexShader("vs.1.1\ndcl_position0 v0\nmov oPos, v0\nmov oD0, c0\n");
    IDirect3DVertexShader9* vsGreen = vertexShader("vs.1.1\ndcl_position0 v0\nmov oPos, v0\nmov oD0, c1\n");
    IDirect3DPixelShader9* psRed = pixelShader("ps.1.1\nmov r0, c0\n");
    IDirect3DPixelShader9* psGreen = pixelShader("ps.1.1\nmov r0, c1\n");
    IDirect3DVertexDeclaration9* positions = declaration({{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0}});
    const auto full = worldQuad(-1, 1, 0);
    const auto screen = screenQuad(0);
    auto vertexDraw = [&] { drawUP(full); };
    auto pixelDraw = [&] { drawUP(screen); };
    auto vertexConstants = [&] {
        m_device->SetVertexDeclaration(positions);
        m_device->SetVertexShaderConstantF(0, &constants[0][0], 2);
        m_device->SetVertexShader(vsRed);
    };
    auto pixelConstants = [&] {
        m_device->SetPixelShaderConstantF(0, &constants[0][0], 2);
        m_device->SetPixelShader(psRed);
    };
    check({
        {"SetVertexShader", 0, vertexConstants, [&] { m_device->SetVertexShader(vsGreen); }, vertexDraw, RED, GREEN},
        {"SetVertexShaderConstantF", 0, vertexConstants, [&] { m_device->SetVertexShaderConstantF(0, constants[1], 1); },
         vertexDraw, RED, GREEN},
        {"SetPixelShader", SCREEN, pixelConstants, [&] { m_device->SetPixelShader(psGreen); }, pixelDraw, RED, GREEN},
        {"SetPixelShaderConstantF", SCREEN, pixelConstants, [&] { m_device->SetPixelShaderConstantF(0, constants[1], 1); },
         pixelDraw, RED, GREEN},
    });
}

// Lit quads facing the eye: the material's emissive colour, a light's colour, a light switched on.
TEST_F(StateChangeTest, TheMaterialAndTheLights)
{
    struct Vertex {  // XYZ | NORMAL
        float x, y, z, nx, ny, nz;
    };
    const std::vector<Vertex> quad = {{-1, 1, 0.5f, 0, 0, -1}, {1, 1, 0.5f, 0, 0, -1}, {-1, -1, 0.5f, 0, 0, -1},
                                      {1, -1, 0.5f, 0, 0, -1}};
    const DWORD fvf = D3DFVF_XYZ | D3DFVF_NORMAL;
    auto draw = [&] { drawUP(quad); };
    auto material = [&](D3DCOLORVALUE emissive) {
        D3DMATERIAL9 m{};
        m.Diffuse = {1, 1, 1, 1};
        m.Emissive = emissive;
        m_device->SetMaterial(&m);
    };
    auto light = [&](D3DCOLORVALUE colour) {
        D3DLIGHT9 l{};
        l.Type = D3DLIGHT_DIRECTIONAL;
        l.Diffuse = colour;
        l.Direction = {0, 0, 1};
        m_device->SetLight(0, &l);
    };
    auto lit = [&](bool on, D3DCOLORVALUE colour) {
        return [&, on, colour] {
            m_device->SetRenderState(D3DRS_LIGHTING, TRUE);
            material({0, 0, 0, 1});
            light(colour);
            m_device->LightEnable(0, on);
        };
    };
    check({
        {"SetMaterial", fvf,
         [&] {
             m_device->SetRenderState(D3DRS_LIGHTING, TRUE);
             material({1, 0, 0, 1});
         },
         [&] { material({0, 1, 0, 1}); }, draw, RED, GREEN},
        {"SetLight", fvf, lit(true, {1, 0, 0, 1}), [&] { light({0, 1, 0, 1}); }, draw, RED, GREEN},
        {"LightEnable", fvf, lit(false, {0, 1, 0, 1}), [&] { m_device->LightEnable(0, TRUE); }, draw, 0xFF000000, GREEN},
    });
}

// Where the vertices come from: the stream's buffer and offset (also through a vertex shader's
// inputs), the indices, the declaration (for fixed function and for a shader) and the FVF word.
TEST_F(StateChangeTest, StreamsIndicesDeclarationsAndTheFVF)
{
    std::vector<Screen> redThenGreen = screenQuad(RED);
    for (const Screen& v : screenQuad(GREEN)) redThenGreen.push_back(v);
    IDirect3DVertexBuffer9* red = buffer(screenQuad(RED));
    IDirect3DVertexBuffer9* green = buffer(screenQuad(GREEN));
    IDirect3DVertexBuffer9* both = buffer(redThenGreen);
    IDirect3DVertexBuffer9* worldRed = buffer(worldQuad(-1, 1, RED));
    IDirect3DVertexBuffer9* worldGreen = buffer(worldQuad(-1, 1, GREEN));
    auto indices = [&](WORD first) {
        IDirect3DIndexBuffer9* ib = nullptr;
        EXPECT_EQ(m_device->CreateIndexBuffer(12, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), D3D_OK);
        const WORD i[] = {first, WORD(first + 1), WORD(first + 2), WORD(first + 2), WORD(first + 1), WORD(first + 3)};
        void* p = nullptr;
        ib->Lock(0, 0, &p, 0), std::memcpy(p, i, sizeof(i)), ib->Unlock();
        m_indices.push_back(ib);
        return ib;
    };
    IDirect3DIndexBuffer9 *first = indices(0), *second = indices(4);
    IDirect3DVertexShader9* vs = vertexShader("vs.1.1\ndcl_position0 v0\ndcl_position4 v4\nmov oPos, v0\nmov oD0, v4\n");
    IDirect3DVertexDeclaration9* shaderInputs = declaration({{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                                             {0, 12, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_POSITION, 4}});
    auto stream = [&](IDirect3DVertexBuffer9* vb, UINT stride) {
        return [this, vb, stride] { m_device->SetStreamSource(0, vb, 0, stride); };
    };
    auto draw = [&] { m_device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2); };

    // Two colours a vertex: red first, green after it.
    struct TwoColours {
        float x, y, z, rhw;
        DWORD first, second;
    };
    std::vector<TwoColours> twoColours;
    for (const Screen& v : screenQuad(RED)) twoColours.push_back({v.x, v.y, v.z, v.rhw, RED, GREEN});
    IDirect3DVertexDeclaration9* firstColour = declaration({{0, 0, D3DDECLTYPE_FLOAT4, 0, USAGE_POSITIONT, 0},
                                                            {0, 16, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0}});
    IDirect3DVertexDeclaration9* secondColour = declaration({{0, 0, D3DDECLTYPE_FLOAT4, 0, USAGE_POSITIONT, 0},
                                                             {0, 20, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0}});
    struct WorldTwoColours {
        float x, y, z;
        DWORD first, second;
    };
    std::vector<WorldTwoColours> worldTwoColours;
    for (const World& v : worldQuad(-1, 1, RED)) worldTwoColours.push_back({v.x, v.y, v.z, RED, GREEN});
    IDirect3DVertexDeclaration9* secondInput = declaration({{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                                            {0, 16, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_POSITION, 4}});
    check({
        {"SetStreamSource's buffer", SCREEN, stream(red, sizeof(Screen)), stream(green, sizeof(Screen)), draw, RED, GREEN},
        {"SetStreamSource's offset", SCREEN, stream(both, sizeof(Screen)),
         [&] { m_device->SetStreamSource(0, both, 4 * sizeof(Screen), sizeof(Screen)); }, draw, RED, GREEN},
        {"SetStreamSource under a vertex shader", 0,
         [&] {
             m_device->SetVertexDeclaration(shaderInputs);
             m_device->SetVertexShader(vs);
             stream(worldRed, sizeof(World))();
         },
         stream(worldGreen, sizeof(World)), draw, RED, GREEN},
        {"SetIndices", SCREEN,
         [&] {
             stream(both, sizeof(Screen))();
             m_device->SetIndices(first);
         },
         [&] { m_device->SetIndices(second); },
         [&] { m_device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 8, 0, 2); }, RED, GREEN},
        {"SetVertexDeclaration", 0, [&] { m_device->SetVertexDeclaration(firstColour); },
         [&] { m_device->SetVertexDeclaration(secondColour); }, [&] { drawUP(twoColours); }, RED, GREEN},
        {"SetVertexDeclaration under a vertex shader", 0,
         [&] {
             m_device->SetVertexDeclaration(shaderInputs);
             m_device->SetVertexShader(vs);
         },
         [&] { m_device->SetVertexDeclaration(secondInput); }, [&] { drawUP(worldTwoColours); }, RED, GREEN},
        // A point size ahead of the colour: the colour is read from the second.
        {"SetFVF", SCREEN, [] {}, [&] { m_device->SetFVF(SCREEN | D3DFVF_PSIZE); }, [&] { drawUP(twoColours); }, RED,
         GREEN},
    });
}

}  // namespace
