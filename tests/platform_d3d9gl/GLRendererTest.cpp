// Small scenes drawn headless and read back as pixels.
#include "d3d9gl/GLRenderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace d3d9gl;

namespace {

constexpr uint32_t W = 64, H = 64;

uint32_t floatBits(float f)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// A device's state with its documented defaults.
struct DeviceState {
    uint32_t rs[RENDER_STATE_COUNT] = {};
    uint32_t ts[MAX_STAGES][STAGE_STATE_COUNT] = {};
    uint32_t ss[MAX_STAGES][SAMPLER_STATE_COUNT] = {};
    float world[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float view[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float proj[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    PipelineState pipeline;

    DeviceState()
    {
        // Depth test and write, solid, blend ONE / ZERO, cull counter-clockwise, LESSEQUAL, ALWAYS.
        rs[7] = rs[14] = 1, rs[8] = 3, rs[19] = 2, rs[20] = 1, rs[22] = 3, rs[23] = 4, rs[25] = 8;
        rs[37] = rs[38] = floatBits(1.0f), rs[56] = 8, rs[58] = rs[59] = rs[60] = 0xFFFFFFFF;
        rs[53] = rs[54] = rs[55] = 1, rs[168] = 0xF, rs[171] = 1;
        for (int i = 0; i < MAX_STAGES; ++i) {
            // MODULATE / SELECTARG1 on stage 0, the others disabled; TEXTURE and CURRENT.
            ts[i][1] = i == 0 ? 4 : 1, ts[i][4] = i == 0 ? 2 : 1, ts[i][2] = ts[i][5] = 2, ts[i][3] = ts[i][6] = 1;
            ts[i][11] = static_cast<uint32_t>(i), ts[i][26] = ts[i][27] = ts[i][28] = 1;
            ss[i][1] = ss[i][2] = ss[i][3] = ss[i][5] = ss[i][6] = 1;  // wrap, point
        }
        pipeline.renderStates = rs, pipeline.stageStates = ts, pipeline.samplerStates = ss;
        pipeline.world = world, pipeline.view = view, pipeline.projection = proj;
        pipeline.viewport = {0, 0, W, H, 0.0f, 1.0f};
    }
};

struct ScreenVertex {  // XYZRHW | DIFFUSE
    float x, y, z, rhw;
    uint32_t colour;
};
constexpr uint32_t FVF_SCREEN = 0x44;

struct WorldVertex {  // XYZ | DIFFUSE
    float x, y, z;
    uint32_t colour;
};
constexpr uint32_t FVF_WORLD = 0x42;

struct Pixel {
    int r, g, b, a;
};

class GLRendererTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        ASSERT_TRUE(m_renderer.create(nullptr, W, H)) << m_renderer.lastError();
    }

    void clearAll(uint32_t colour)
    {
        m_renderer.clear(m_state.pipeline.viewport, 0, nullptr, CLEAR_TARGET | CLEAR_ZBUFFER | CLEAR_STENCIL,
                         colour, 1.0f, 0);
    }

    template <typename V>
    void drawStrip(const std::vector<V>& v, uint32_t fvf)
    {
        VertexSource src;
        src.data = v.data(), src.stride = sizeof(V), src.fvf = fvf;
        m_renderer.draw(m_state.pipeline, 5, src, 0, static_cast<uint32_t>(v.size() - 2));
        EXPECT_STREQ(m_renderer.lastError(), "");
    }

    // A screen rectangle drawn clockwise as a two-triangle strip.
    void screenQuad(float x1, float y1, float x2, float y2, uint32_t colour, float z = 0.5f)
    {
        drawStrip(std::vector<ScreenVertex>{{x1, y1, z, 1, colour}, {x2, y1, z, 1, colour}, {x1, y2, z, 1, colour},
                                            {x2, y2, z, 1, colour}},
                  FVF_SCREEN);
    }

    Pixel at(int x, int y)
    {
        if (m_pixels.empty()) {
            m_pixels.resize(W * H * 4);
            EXPECT_TRUE(m_renderer.readBackBuffer(m_pixels.data(), W * 4));
        }
        const uint8_t* p = &m_pixels[(static_cast<size_t>(y) * W + x) * 4];
        return {p[2], p[1], p[0], p[3]};
    }
    void reread() { m_pixels.clear(); }

    static ::testing::AssertionResult near(Pixel p, int r, int g, int b, int tolerance = 2)
    {
        if (std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance && std::abs(p.b - b) <= tolerance)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "got (" << p.r << ", " << p.g << ", " << p.b << "), expected (" << r << ", " << g << ", " << b << ")";
    }

    GLRenderer m_renderer;
    DeviceState m_state;
    std::vector<uint8_t> m_pixels;
};

TEST_F(GLRendererTest, ClearsAndQuadsCoverThePixelsTheDeviceWould)
{
    clearAll(0xFF000000);
    const Viewport inner{16, 8, 32, 40, 0, 1};
    m_renderer.clear(inner, 0, nullptr, CLEAR_TARGET, 0xFF00FF00, 1.0f, 0);
    Rect r{0, 0, 20, 12};  // reaching outside the viewport: cut to it
    m_renderer.clear(inner, 1, &r, CLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    for (auto [x, y, want] : {std::tuple{15, 20, 0}, {16, 8, 0xFF}, {19, 11, 0xFF}, {20, 11, 0xFF00}, {47, 47, 0xFF00},
                              {48, 47, 0}, {47, 48, 0}})
        EXPECT_TRUE(near(at(x, y), want >> 16, want >> 8 & 0xFF, want & 0xFF)) << x << "," << y;

    // Pixel centres lie on whole numbers (7.75..23.75 covers 8..23, not GL's 7..23); through centres,
    // left and top edges take their pixels; transformed vertices alike; the viewport places and clips.
    auto ndc = [](float x, float y) { return std::pair{-1.0f + 2.0f * x / W, 1.0f - 2.0f * y / H}; };
    const struct {
        float x1, y1, x2, y2;
        bool transformed;
        Viewport viewport;
        int in[2][2], out[4][2];
    } cases[] = {
        {7.75f, 3.75f, 23.75f, 11.75f, false, {0, 0, W, H, 0, 1}, {{8, 4}, {23, 11}}, {{7, 4}, {8, 3}, {24, 11}, {23, 12}}},
        {2, 3, 6, 7, false, {0, 0, W, H, 0, 1}, {{2, 3}, {5, 6}}, {{1, 3}, {2, 2}, {6, 6}, {5, 7}}},
        {10.25f, 4.25f, 20.75f, 9.75f, true, {0, 0, W, H, 0, 1}, {{11, 5}, {20, 9}}, {{10, 5}, {11, 4}, {21, 9}, {20, 10}}},
        {-0.5f, -0.5f, 63.5f, 63.5f, false, {32, 0, 32, 64, 0, 1}, {{32, 10}, {63, 63}}, {{31, 10}, {0, 0}, {31, 63}, {0, 63}}},
    };
    m_state.ts[0][1] = 3;  // SELECTARG2: the diffuse colour
    for (const auto& c : cases) {
        clearAll(0xFF000000);
        m_state.pipeline.viewport = c.viewport;
        if (c.transformed) {
            const auto [l, t] = ndc(c.x1, c.y1);
            const auto [rt, b] = ndc(c.x2, c.y2);
            drawStrip(std::vector<WorldVertex>{{l, t, 0.5f, ~0u}, {rt, t, 0.5f, ~0u}, {l, b, 0.5f, ~0u}, {rt, b, 0.5f, ~0u}},
                      FVF_WORLD);
        } else {
            screenQuad(c.x1, c.y1, c.x2, c.y2, 0xFFFFFFFF);
        }
        reread();
        for (auto [x, y] : c.in) EXPECT_TRUE(near(at(x, y), 255, 255, 255)) << c.x1 << ": " << x << "," << y;
        for (auto [x, y] : c.out) EXPECT_TRUE(near(at(x, y), 0, 0, 0)) << c.x1 << ": " << x << "," << y;
    }
}

TEST_F(GLRendererTest, CullingFollowsScreenWinding)
{
    // Clockwise on screen on the left, counter-clockwise on the right.
    auto draw = [&](uint32_t cull) {
        m_state.rs[22] = cull;
        clearAll(0xFF000000);
        screenQuad(-0.5f, -0.5f, 31.5f, 31.5f, 0xFFFF0000);
        const uint32_t g = 0xFF00FF00;
        drawStrip(std::vector<ScreenVertex>{{32, 0, 0.5f, 1, g}, {32, 32, 0.5f, 1, g}, {64, 0, 0.5f, 1, g}, {64, 32, 0.5f, 1, g}},
                  FVF_SCREEN);
        reread();
        return std::string{at(10, 10).r > 200 ? 'R' : '.', at(40, 10).g > 200 ? 'G' : '.'};
    };
    EXPECT_EQ(draw(3), "R.");  // counter-clockwise culled, the default
    EXPECT_EQ(draw(1), "RG");  // none
    EXPECT_EQ(draw(2), ".G");  // clockwise
}

TEST_F(GLRendererTest, DepthTestKeepsTheNearerOfTwoTransformedQuads)
{
    // Left-handed perspective: near 1, far 100, a view 2 units wide at distance 1.
    const float zf = 100.0f / 99.0f;
    const float proj[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, zf, 1, 0, 0, -zf, 0};
    std::memcpy(m_state.proj, proj, sizeof(proj));
    m_state.ts[0][1] = 3;
    // x and y scaled by z so the quad spans the same screen area at any depth.
    auto quad = [&](float x1, float x2, float z, uint32_t c) {
        drawStrip(std::vector<WorldVertex>{{x1 * z, z, z, c}, {x2 * z, z, z, c}, {x1 * z, -z, z, c}, {x2 * z, -z, z, c}},
                  FVF_WORLD);
    };
    auto scene = [&] {
        clearAll(0xFF000000);
        quad(-1.0f, 0.5f, 2.0f, 0xFF0000FF);  // near: blue, screen x 0..48
        quad(-0.5f, 1.0f, 4.0f, 0xFFFF0000);  // far: red, screen x 16..64
        reread();
    };
    scene();
    EXPECT_TRUE(near(at(8, 32), 0, 0, 255));
    EXPECT_TRUE(near(at(32, 32), 0, 0, 255));
    EXPECT_TRUE(near(at(56, 32), 255, 0, 0));
    m_state.rs[7] = 0;  // without the depth test the far quad paints over the near one
    scene();
    EXPECT_TRUE(near(at(32, 32), 255, 0, 0));
    // Row vectors: the world's translation sits in the last row; one unit at distance 2 is a
    // quarter of the screen, from pixels 0..16 to 16..32.
    m_state.world[12] = 1;
    clearAll(0xFF000000);
    quad(-1.0f, -0.5f, 2.0f, 0xFF00FF00);
    reread();
    for (auto [x, g] : {std::pair{4, 0}, {20, 255}, {30, 255}, {34, 0}}) EXPECT_TRUE(near(at(x, 32), 0, g, 0)) << x;
}

// Vertex fog counts camera-space depth (or the distance from the eye with range fog); table fog
// counts w under a perspective projection and the pixel's depth under an affine one.
TEST_F(GLRendererTest, FogByEyeDistanceOrDepth)
{
    const float zf = 100.0f / 99.0f;
    const float perspective[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, zf, 1, 0, 0, -zf, 0};
    const float ortho[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0.25f, 1};  // depth 0.5 z + 0.25
    m_state.ts[0][1] = 3;
    m_state.rs[34] = 0xFFFFFFFF;  // white fog over black quads
    // A quad at depth 1.5, and a strip from the axis to x 3 at that depth: range fog counts the
    // distance from the eye (2.12 at its right end, past the end) but only for vertex fog.
    const float z = 1.5f;
    const std::vector<WorldVertex> quad{{-z, z, z, 0xFF000000}, {z, z, z, 0xFF000000}, {-z, -z, z, 0xFF000000},
                                        {z, -z, z, 0xFF000000}};
    const std::vector<WorldVertex> side{{0, 0.1f, z, 0xFF000000}, {3, 0.1f, z, 0xFF000000}, {0, -0.1f, z, 0xFF000000},
                                        {3, -0.1f, z, 0xFF000000}};
    auto flat = [](float depth) {
        return std::vector<WorldVertex>{{-1, 1, depth, 0xFF000000}, {1, 1, depth, 0xFF000000},
                                        {-1, -1, depth, 0xFF000000}, {1, -1, depth, 0xFF000000}};
    };
    const std::vector<WorldVertex> shallow = flat(0.2f), half = flat(0.5f);
    const struct {
        uint32_t on, table, vertex, range;
        const float* proj;
        float start, end;
        const std::vector<WorldVertex>& v;
        int x, y, grey;
    } cases[] = {
        {1, 3, 0, 0, perspective, 1, 2, quad, 32, 32, 128}, {1, 0, 3, 0, perspective, 1, 2, quad, 10, 50, 128},
        {1, 0, 3, 1, perspective, 1, 2, side, 63, 32, 255}, {1, 3, 0, 1, perspective, 1, 2, side, 63, 32, 128},
        {0, 3, 0, 0, perspective, 1, 2, quad, 32, 32, 0},
        // Depth 0.35 under the affine projection, 0.2 from the eye.
        {1, 3, 0, 0, ortho, 0, 1, shallow, 32, 32, 89}, {1, 0, 3, 0, ortho, 0, 1, shallow, 32, 32, 51},
        // Start and end together: fogged whatever the depth.
        {1, 3, 0, 0, ortho, 0.5f, 0.5f, half, 32, 32, 255}, {1, 3, 0, 0, ortho, 0.75f, 0.75f, half, 32, 32, 255},
    };
    for (const auto& c : cases) {
        std::memcpy(m_state.proj, c.proj, sizeof(m_state.proj));
        m_state.rs[28] = c.on, m_state.rs[35] = c.table, m_state.rs[140] = c.vertex, m_state.rs[48] = c.range;
        m_state.rs[36] = floatBits(c.start), m_state.rs[37] = floatBits(c.end);
        clearAll(0xFF000000);
        drawStrip(c.v, FVF_WORLD);
        reread();
        EXPECT_TRUE(near(at(c.x, c.y), c.grey, c.grey, c.grey, 3)) << c.table << c.vertex << c.range << " " << c.start;
    }
}

// Stage operations on diffuse (0.5, 0.25, 1.0) and texture factor (0.25, 0.5, 0.5, a 0.5).
TEST_F(GLRendererTest, ColourOperations)
{
    const struct {
        uint32_t op;
        int r, g, b;
    } cases[] = {
        // SELECTARG1, SELECTARG2, MODULATE, MODULATE2X, ADD, ADDSIGNED
        {2, 128, 64, 255}, {3, 64, 128, 128}, {4, 32, 32, 128}, {5, 64, 64, 255}, {7, 191, 191, 255}, {8, 64, 64, 255},
        // SUBTRACT, ADDSMOOTH, BLENDFACTORALPHA, LERP by arg 0 (the factor), MULTIPLYADD
        {10, 64, 0, 128}, {11, 160, 160, 255}, {14, 96, 96, 191}, {26, 80, 96, 191}, {25, 96, 160, 255},
    };
    m_state.ts[0][2] = 0, m_state.ts[0][3] = m_state.ts[0][26] = 3;  // DIFFUSE, TFACTOR
    m_state.rs[60] = 0x80408080;
    for (const auto& k : cases) {
        m_state.ts[0][1] = k.op;
        clearAll(0xFF000000);
        screenQuad(-0.5f, -0.5f, 63.5f, 63.5f, 0xFF8040FF);
        reread();
        EXPECT_TRUE(near(at(32, 32), k.r, k.g, k.b, 3)) << "operation " << k.op;
    }
    // Every operation and argument modifier yields a program that compiles.
    for (uint32_t op = 1; op <= 26; ++op)
        for (uint32_t arg : {0x02u, 0x11u, 0x23u, 0x35u}) {
            m_state.ts[0][1] = m_state.ts[0][4] = op;
            m_state.ts[0][2] = m_state.ts[0][5] = arg;
            m_state.ts[1][1] = 4;
            screenQuad(0, 0, 4, 4, 0xFFFFFFFF);
        }
}

TEST_F(GLRendererTest, IndexedDrawFromBuffersUploadedOnChange)
{
    clearAll(0xFF000000);
    m_state.ts[0][1] = 3;
    const ScreenVertex v[] = {{0, 0, 0, 1, 0}, {0, 0, 0, 1, 0}, // unused base vertices
                              {-0.5f, -0.5f, 0.5f, 1, 0xFFFFFF00}, {63.5f, -0.5f, 0.5f, 1, 0xFFFFFF00},
                              {-0.5f, 63.5f, 0.5f, 1, 0xFFFFFF00}, {63.5f, 63.5f, 0.5f, 1, 0xFFFFFF00}};
    const uint16_t idx[] = {9, 9, 0, 1, 2, 2, 1, 3};
    const uint32_t vb = m_renderer.createBuffer(sizeof(v)), ib = m_renderer.createBuffer(sizeof(idx));
    ASSERT_NE(vb, 0u);
    ASSERT_NE(ib, vb);
    m_renderer.updateBuffer(vb, 0, sizeof(v), v), m_renderer.updateBuffer(ib, 0, sizeof(idx), idx);
    VertexSource vs;
    vs.buffer = vb, vs.stride = sizeof(ScreenVertex), vs.fvf = FVF_SCREEN;
    IndexSource is;
    is.buffer = ib;
    m_renderer.drawIndexed(m_state.pipeline, 4, vs, is, 2, 0, 4, 2, 2);
    EXPECT_TRUE(near(at(5, 60), 255, 255, 0));
    EXPECT_TRUE(near(at(60, 5), 255, 255, 0));

    // Only the changed colour bytes are sent again.
    const uint32_t cyan = 0xFF00FFFF;
    for (int i = 2; i < 6; ++i)
        m_renderer.updateBuffer(vb, static_cast<uint32_t>(i * sizeof(ScreenVertex) + 16), 4, &cyan);
    m_renderer.drawIndexed(m_state.pipeline, 4, vs, is, 2, 0, 4, 2, 2);
    reread();
    EXPECT_TRUE(near(at(30, 30), 0, 255, 255));
    // Draws reaching past either buffer are refused; so is an update past the end.
    clearAll(0xFF000000);
    m_renderer.drawIndexed(m_state.pipeline, 4, vs, is, 2, 0, 4, 4, 2);
    m_renderer.draw(m_state.pipeline, 4, vs, 4, 1);
    m_renderer.updateBuffer(vb, sizeof(v) - 2, 4, &cyan);
    reread();
    EXPECT_TRUE(near(at(30, 30), 0, 0, 0));
    m_renderer.deleteBuffer(vb), m_renderer.deleteBuffer(ib);
}

// What a draw sets is not kept from an earlier draw of another program, nor from a clear between.
TEST_F(GLRendererTest, EachDrawGetsItsOwnUniformsAndStatesWhateverCameBetween)
{
    clearAll(0xFF000000);
    m_state.ts[0][1] = 2, m_state.ts[0][2] = 3;  // SELECTARG1 of the texture factor
    auto factorQuad = [&](uint32_t alphaOp, uint32_t factor, float x) {
        m_state.ts[0][4] = alphaOp;  // each alpha operation makes a program of its own
        m_state.rs[60] = factor;
        screenQuad(x - 0.5f, -0.5f, x + 31.5f, 31.5f, 0xFFFFFFFF);
    };
    factorQuad(2, 0xFFFF0000, 0);
    factorQuad(3, 0xFFFF0000, 32);
    factorQuad(3, 0xFF0000FF, 32);
    factorQuad(2, 0xFF0000FF, 0);
    EXPECT_TRUE(near(at(10, 10), 0, 0, 255) && near(at(40, 10), 0, 0, 255));
    // A clear writes every channel; the draw after it writes red alone again.
    m_state.ts[0][1] = 3, m_state.rs[168] = 1;
    for (int i = 0; i < 2; ++i) {
        clearAll(0xFF0000FF);
        screenQuad(-0.5f, -0.5f, 63.5f, 63.5f, 0xFFFFFFFF);
        reread();
        EXPECT_TRUE(near(at(30, 30), 255, 0, 255)) << i;
    }
}

// Each buffer's draws read its own vertices, also after another of the same layout was deleted
// (whose GL name it may get). Caller memory larger than the stream ring makes it larger, again and
// again; smaller, it goes round the ring.
TEST_F(GLRendererTest, DrawsReadTheirOwnBuffersAndCallerMemoryOfAnySize)
{
    m_state.ts[0][1] = 3;
    auto quad = [](uint32_t colour) {
        return std::vector<ScreenVertex>{{-0.5f, -0.5f, 0.5f, 1, colour}, {63.5f, -0.5f, 0.5f, 1, colour},
                                         {-0.5f, 63.5f, 0.5f, 1, colour}, {63.5f, 63.5f, 0.5f, 1, colour}};
    };
    for (uint32_t colour : {0xFFFFFF00u, 0xFF00FFFFu}) {
        clearAll(0xFF000000);
        const std::vector<ScreenVertex> v = quad(colour);
        const uint32_t vb = m_renderer.createBuffer(static_cast<uint32_t>(v.size() * sizeof(ScreenVertex)));
        m_renderer.updateBuffer(vb, 0, static_cast<uint32_t>(v.size() * sizeof(ScreenVertex)), v.data());
        VertexSource vs;
        vs.buffer = vb, vs.stride = sizeof(ScreenVertex), vs.fvf = FVF_SCREEN;
        m_renderer.draw(m_state.pipeline, 5, vs, 0, 2);
        reread();
        EXPECT_TRUE(near(at(30, 30), colour >> 16 & 0xFF, colour >> 8 & 0xFF, colour & 0xFF)) << std::hex << colour;
        m_renderer.deleteBuffer(vb);
    }
    // Over 6 MB of degenerate triangles ending in one over the top left, twice over.
    m_state.rs[22] = 1;
    for (uint32_t colour : {0xFFFF0000u, 0xFF00FF00u}) {
        clearAll(0xFF000000);
        std::vector<ScreenVertex> v(300000, ScreenVertex{0, 0, 0.5f, 1, colour});
        v[v.size() - 3] = {-0.5f, -0.5f, 0.5f, 1, colour};
        v[v.size() - 2] = {31.5f, -0.5f, 0.5f, 1, colour};
        v[v.size() - 1] = {-0.5f, 63.5f, 0.5f, 1, colour};
        drawStrip(v, FVF_SCREEN);
        reread();
        EXPECT_TRUE(near(at(5, 5), colour >> 16 & 0xFF, colour >> 8 & 0xFF, 0) && near(at(60, 60), 0, 0, 0));
    }
    drawStrip(quad(0xFF0000FF), FVF_SCREEN);
    reread();
    EXPECT_TRUE(near(at(60, 60), 0, 0, 255));
    // Draws of a megabyte each go round the ring several times in one frame, each a column of its own.
    clearAll(0xFF000000);
    for (int i = 0; i < 16; ++i) {
        const uint32_t colour = 0xFF000000u | (0x10u * static_cast<uint32_t>(i) + 8) << 8;
        std::vector<ScreenVertex> v(50000, ScreenVertex{0, 0, 0.5f, 1, colour});
        const float x = 4.0f * static_cast<float>(i) - 0.5f;
        v[v.size() - 3] = {x, -0.5f, 0.5f, 1, colour};
        v[v.size() - 2] = {x + 4, -0.5f, 0.5f, 1, colour};
        v[v.size() - 1] = {x, 63.5f, 0.5f, 1, colour};
        drawStrip(v, FVF_SCREEN);
    }
    reread();
    for (int i = 0; i < 16; ++i) EXPECT_TRUE(near(at(4 * i, 2), 0, 0x10 * i + 8, 0)) << i;
}

// A full-screen quad of transformed vertices: (x, y) in clip space, the texture set (u, v) from 0 to 1.
struct WorldTexVertex {  // XYZ | TEX1
    float x, y, z, u, v;
};
constexpr uint32_t FVF_WORLD_TEX1 = 0x102;

class TextureStageTest : public GLRendererTest {
protected:
    void SetUp() override
    {
        GLRendererTest::SetUp();
        // Red, green / blue, white, sampled point by point.
        const uint32_t texels[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
        m_texture = m_renderer.createTexture(2, 2, 1, 21);
        m_renderer.updateTexture(m_texture, 0, texels, 8);
        m_state.pipeline.textures[0] = m_texture;
        m_state.ts[0][1] = 2;  // SELECTARG1 texture
    }
    void TearDown() override { m_renderer.deleteTexture(m_texture); }

    void texturedQuad()
    {
        clearAll(0xFF000000);
        drawStrip(std::vector<WorldTexVertex>{{-1, 1, 0.5f, 0, 0}, {1, 1, 0.5f, 1, 0}, {-1, -1, 0.5f, 0, 1}, {1, -1, 0.5f, 1, 1}},
                  FVF_WORLD_TEX1);
        reread();
    }
    // Colours seen at the four quarters: top left, top right, bottom left, bottom right.
    std::string quarters()
    {
        std::string out;
        for (auto [x, y] : {std::pair{16, 16}, {48, 16}, {16, 48}, {48, 48}}) {
            const Pixel p = at(x, y);
            out += p.r > 200 && p.g > 200 ? 'W' : p.r > 200 ? 'R' : p.g > 200 ? 'G' : p.b > 200 ? 'B' : '.';
        }
        return out;
    }

    uint32_t m_texture = 0;
    float m_matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

TEST_F(TextureStageTest, TextureTransformsReadSetsAsTheDeviceDoes)
{
    texturedQuad();
    EXPECT_EQ(quarters(), "RGBW");
    m_state.pipeline.textureMatrices[0] = m_matrix;
    const struct {
        uint32_t flags;
        std::vector<std::pair<int, float>> entries;  // matrix index, value
        const char* seen;
    } cases[] = {
        // A 2D set is read as (u, v, 1, 0): the offset sits in the third row, not the fourth.
        {2, {{8, 0.5f}}, "GRWB"},
        {2, {{12, 0.5f}}, "RGBW"},
        {2, {{9, 0.5f}}, "BWRG"},
        // Doubled coordinates wrap; projected by a doubled third element they come back.
        {2, {{0, 2}, {5, 2}}, "WWWW"},
        {3 | 256, {{0, 2}, {5, 2}, {10, 2}}, "RGBW"},
        // Turned a quarter: u' = v, v' = u.
        {2, {{0, 0}, {1, 1}, {4, 1}, {5, 0}}, "RBGW"},
    };
    for (const auto& k : cases) {
        std::memcpy(m_matrix, m_state.world, sizeof(m_matrix));
        for (auto [i, v] : k.entries) m_matrix[i] = v;
        m_state.ts[0][24] = k.flags;
        texturedQuad();
        EXPECT_EQ(quarters(), k.seen) << "flags " << k.flags;
    }
    // Disabled again: the matrix is not read.
    m_state.ts[0][24] = 0;
    texturedQuad();
    EXPECT_EQ(quarters(), "RGBW");
    // A stage selecting a texture it lacks passes the current colour and alpha on, here the
    // diffuse: the alpha test keeps the opaque quad on the left and drops the half-transparent one
    // on the right.
    m_state.pipeline.textures[0] = 0;
    m_state.rs[15] = 1, m_state.rs[24] = 0xC0, m_state.rs[25] = 5;  // GREATER than 0xC0
    clearAll(0xFF000000);
    screenQuad(-0.5f, -0.5f, 31.5f, 63.5f, 0xFFFF0000);
    screenQuad(31.5f, -0.5f, 63.5f, 63.5f, 0x80FF0000);
    reread();
    EXPECT_EQ(quarters(), "R.R.");
}

TEST_F(TextureStageTest, BumpMappingAndPremodulation)
{
    // Stage 0 a flat bump map of du = 0.5; stage 1 the coloured texture, moved half a texture.
    const uint32_t bump = 0xFF80FF80;  // du 0.5, dv 1.0, luminance source 0.5
    const uint32_t bumpTexture = m_renderer.createTexture(1, 1, 1, 21);
    m_renderer.updateTexture(bumpTexture, 0, &bump, 4);
    m_state.pipeline.textures[0] = bumpTexture, m_state.pipeline.textures[1] = m_texture;
    m_state.ts[0][1] = 22;  // BUMPENVMAP, dv ignored
    m_state.ts[0][7] = floatBits(1.0f), m_state.ts[0][10] = floatBits(0.0f);
    m_state.ts[1][1] = 2, m_state.ts[1][11] = 0;  // the same set
    texturedQuad();
    EXPECT_EQ(quarters(), "GRWB");
    // With luminance: the moved colour scaled by 0.5 x 0.5 + 0.25.
    m_state.ts[0][1] = 23;
    m_state.ts[0][22] = floatBits(0.5f), m_state.ts[0][23] = floatBits(0.25f);
    texturedQuad();
    EXPECT_TRUE(near(at(16, 16), 0, 128, 0, 3));
    // Pre-modulation: stage 0's result is multiplied by stage 1's texture.
    m_state.ts[0][1] = 17, m_state.ts[0][2] = 0;  // DIFFUSE
    m_state.ts[1][1] = 2, m_state.ts[1][2] = 1;   // CURRENT
    texturedQuad();
    EXPECT_EQ(quarters(), "RGBW");
    m_renderer.deleteTexture(bumpTexture);
}

}  // namespace
