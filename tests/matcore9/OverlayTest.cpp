// Overlay pages and fonts: page files read within their bounds, quads batched into the dynamic
// buffers and flushed every 128, text laid out through the character map.
#include "LibraryFixture.h"

#include "utility/RunLog.h"

#include <cstring>

namespace pt = platform::testing;

namespace {

struct OverlayVertex {
    float x, y, z, rhw;
    DWORD colour;
    float u, v;
};

class OverlayTest : public LibraryFixture {
protected:
    void SetUp() override
    {
        LibraryFixture::SetUp();
        ASSERT_TRUE(bringUpLibrary());
        for (const char* f : {"overlay/hudfont.mtl", "overlay/hudfont.tga"}) copyData(f);
        testsupport::clearReports();
    }

    int32_t page(const std::string& text, bool font = false, float scale = 1.0f,
                 const char* material = "data\\overlay\\hudfont.mtl", const char* tex = "data\\overlay\\hudfont.tga")
    {
        write("overlay\\page.txt", text);
        return MatCore.LoadOverlayPage(tex, material, "data\\overlay\\page.txt", font, nullptr, scale);
    }

    // The vertices and indices the last batch drew.
    static std::vector<OverlayVertex> vertices(int32_t id, int count)
    {
        const DynamicVB& vb = D3DCore.DynamicVertexBuffer9[MatCore.OverlayPage[id].VertexBuffer];
        const std::vector<uint8_t> bytes = pt::d3d9BufferBytes(vb.VB);
        std::vector<OverlayVertex> out(static_cast<size_t>(count));
        std::memcpy(out.data(), bytes.data() + vb.LastByte, out.size() * sizeof(OverlayVertex));
        return out;
    }
    static std::vector<uint16_t> indices(int count)
    {
        const std::vector<uint8_t> bytes = pt::d3d9BufferBytes(D3DCore.DynamicIndexBuffer9.IB);
        std::vector<uint16_t> out(static_cast<size_t>(count));
        std::memcpy(out.data(), bytes.data() + D3DCore.DynamicIndexBuffer9.LastByte, out.size() * 2);
        return out;
    }
};

TEST_F(OverlayTest, PageFilesAreReadWithinTheirBounds)
{
    // Pixels scaled and rounded down; texture coordinates from the 256 x 256 texture.
    const int32_t sprites = page("; sprites\n// of a test\n\n2\n0 0 32 16\n32,0,65,33\n", false, 0.5f);
    ASSERT_GE(sprites, 0);
    const OverlayPageInfo& p = MatCore.OverlayPage[sprites];
    EXPECT_EQ(p.Sprite[0].V1, 0.03125f);
    EXPECT_EQ(std::vector<int32_t>({p.Sprite[0].Height, p.Sprite[1].Width}), std::vector<int32_t>({8, 16}));
    // A short file stops at its end, the sprites it leaves zero.
    EXPECT_EQ(MatCore.OverlayPage[page("3\n0 0 8 8\n")].Sprite[2].Width, 0);

    // Fonts: the euro's code maps into its Windows-1252 place; codes past a byte are refused, the
    // file's first such line being its one report.
    const int32_t font =
        page("4\n65 0 0 0 10 20 12\n8364 0 10 0 10 20 11\n9000 0 20 0 10 20 11\n9001 0 30 0 10 20 11\n", true);
    ASSERT_GE(font, 0);
    EXPECT_EQ(MatCore.OverlayPage[font].CharMap[128], 1);
    EXPECT_EQ(testsupport::countReports("Code >= 0 && Code <= 255"), 1);

    // Each refused with one report that names the file.
    const std::pair<std::string, const char*> refused[] = {
        {"70000\n", "Sprites <= MAXOVERLAYSPRITES"}, {"; nothing\n", "Sprites > 0"}, {"0\n", "Sprites > 0"},
        {"junk 12\n3\n", "Sprites > 0"}};
    for (const auto& [text, report] : refused) {
        testsupport::clearReports();
        resetRunLogCount();  // each a run of its own
        EXPECT_EQ(page(text), -1) << text;
        EXPECT_EQ(testsupport::countReports(report), 1) << text;
        EXPECT_EQ(testsupport::countReports("data\\overlay\\page.txt"), 1) << text;
        EXPECT_EQ(testsupport::reports().size(), 1u) << text;
    }
    // A material of another layout is a fault of the material file.
    texture("other.tga", 8, 8);
    write("wrong.mtl", material("XYZRHW|TEX1", "settexture 0 0\n"));
    testsupport::clearReports();
    EXPECT_EQ(page("1\n0 0 1 1\n", false, 1, "data\\wrong.mtl", "data\\other.tga"), -1);
    EXPECT_EQ(testsupport::countReports("While reading data\\wrong.mtl"), 1);
    EXPECT_EQ(page("1\n0 0 1 1\n", false, 1, "data\\overlay\\hudfont.mtl", "data\\missing.tga"), -1);

    // All 130 pages taken: the next is refused, as are unused or wrong ids.
    std::vector<int32_t> pages;
    for (int32_t id = page("1\n0 0 1 1\n"); id >= 0; id = page("1\n0 0 1 1\n")) pages.push_back(id);
    EXPECT_EQ(pages.size() + 3, static_cast<size_t>(MAXOVERLAYPAGES));
    MatCore.ReleaseOverlayPage(pages[0]);
    testsupport::clearReports();
    MatCore.ReleaseOverlayPage(pages[0]);
    MatCore.ReleaseOverlayPage(MAXOVERLAYPAGES);
    MatCore.BeginOverlay(-1);
    EXPECT_EQ(testsupport::reports().size(), 3u);
}

TEST_F(OverlayTest, QuadsAreBatchedAndFlushedEvery128)
{
    const int32_t id = page("2\n0 0 32 16\n64 64 128 128\n");
    ASSERT_GE(id, 0);
    pt::setD3D9Trace(true);
    MatCore.OverlayQuad(0, 0, 0, 1, 1, 0);  // not begun: refused
    EXPECT_EQ(testsupport::countReports("Overlay.OverlayStarted"), 1);

    D3DCore.BeginScene(true, false);
    pt::clearD3D9Calls();
    MatCore.BeginOverlay(id);
    for (int i = 0; i < 128; ++i) MatCore.OverlayQuad(0, static_cast<float>(i), 0, 1, 1, 0xFF808080u);
    EXPECT_EQ(calls("DrawIndexedPrimitive").size(), 1u);
    EXPECT_EQ(calls("DrawIndexedPrimitive")[0][5], 256u);  // 128 quads
    MatCore.EndOverlay();
    EXPECT_EQ(calls("DrawIndexedPrimitive").size(), 1u);

    // One quad: its corners, +0.5, with the sprite's coordinates; a matrix moves set 0.
    const float shift[9] = {2, 0, 0, 0, 1, 0, 0.25f, 0.5f, 1};
    MatCore.BeginOverlay(id);
    MatCore.SetOverlayTextureMatrix(0, shift);
    MatCore.SetOverlayTextureMatrix(1, shift);  // one texture only: refused
    MatCore.OverlayQuad(1, 10, 20, 2, 0.5f, 0x80FF0000u);
    MatCore.ClearOverlayTextureMatrix(0);
    MatCore.EndOverlay();
    ASSERT_EQ(calls("DrawIndexedPrimitive").size(), 2u);
    EXPECT_EQ(calls("DrawIndexedPrimitive")[1][5], 2u);
    const std::vector<OverlayVertex> v = vertices(id, 4);
    EXPECT_EQ(std::vector<float>({v[0].x, v[0].y, v[0].u, v[0].v}), std::vector<float>({10.5f, 20.5f, 0.75f, 0.75f}));
    EXPECT_EQ(std::vector<float>({v[3].x, v[3].y, v[3].u, v[3].v}), std::vector<float>({138.5f, 52.5f, 1.25f, 1.0f}));
    EXPECT_EQ(v[3].colour, 0x80FF0000u);
    EXPECT_EQ(indices(6), std::vector<uint16_t>({0, 1, 2, 2, 1, 3}));

    // Sprites are centred; the viewport origin counts once.
    D3DCore.EndScene(true);
    D3DCore.SetViewPort(0, 0, 800, 600, 800, 450);
    D3DCore.BeginScene(true, false);
    MatCore.BeginOverlay(id);
    MatCore.OverlaySprite(0, 100, 100, 1, 1, 0);
    MatCore.EndOverlay();
    EXPECT_EQ(std::vector<float>({vertices(id, 1)[0].x, vertices(id, 1)[0].y}), std::vector<float>({84.5f, 167.5f}));
    D3DCore.EndScene(true);
}

TEST_F(OverlayTest, TextGoesThroughTheCharacterMapAndWritesTheApostropheBack)
{
    const int32_t font = page("3\n65 0 0 0 10 20 12\n39 0 10 0 4 20 5\n8364 0 20 0 10 20 11\n", true);
    ASSERT_GE(font, 0);
    D3DCore.BeginScene(true, false);
    MatCore.BeginOverlay(font);
    char text[] = {'A', static_cast<char>(146), static_cast<char>(128), 'A', 0};
    MatCore.OverlayText(text, 5, 7, 2, 1, 0xFFFFFFFFu);
    MatCore.EndOverlay();
    D3DCore.EndScene(true);
    EXPECT_EQ(text[1], 39);
    const std::vector<OverlayVertex> v = vertices(font, 16);
    // Pens at 5, 5 + 24, + 10, + 22; the euro's sprite at byte 128.
    EXPECT_EQ(std::vector<float>({v[4].x, v[8].x, v[12].x, v[9].u}), std::vector<float>({29.5f, 39.5f, 61.5f, 30 / 256.0f}));

    // Text on a page that is not a font is refused.
    const int32_t sprites = page("1\n0 0 8 8\n");
    MatCore.BeginOverlay(sprites);
    testsupport::clearReports();
    MatCore.OverlayText(text, 0, 0, 1, 1, 0);
    EXPECT_EQ(testsupport::countReports("Op->Font"), 1);
    MatCore.EndOverlay();
}

}  // namespace
