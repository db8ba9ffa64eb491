// The sample clumps drawn through the façade by the OpenGL renderer, headless, on the sloped map;
// and the sample files equal what their tool writes now.
#include "ClumpFixture.h"

#include <fstream>
#include <sstream>

namespace {

const DWORD CLEAR = 0x000050;

class ClumpPixelTest : public ClumpFixture {
protected:
    ClumpPixelTest() { m_pixels = true; }

    // One frame from (0, 500, 150) looking east, every clump drawn combined; the image as 0xRRGGBB.
    void frame()
    {
        L3BeginScene(true);
        ViewportSettings v;
        v.aspectRatio = AspectRatioToFloat(2);
        v.width = 640, v.height = 480;
        v.nearZ = 1.0f, v.farZ = 10000.0f, v.fov = 240.0f / 270.0f;
        L3ApplyViewportSettings(v);
        L3SetViewFromAngles(Vector3(0, 500, 150), 0, 0, 0);
        for (uint32_t t = 0; t < clumps.GetNumClumpTypes(); ++t) {
            bool visible = false;
            EXPECT_FALSE(clump(t).d_pClump->Render(0.0f, true, &visible));
            EXPECT_TRUE(visible);
        }
        L3EndScene();
        L3Present(false);
        IDirect3DSurface9* surface = nullptr;
        ASSERT_EQ(DXInterface.ID3DDevice->CreateOffscreenPlainSurface(640, 480, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                                      &surface, nullptr),
                  D3D_OK);
        EXPECT_EQ(DXInterface.ID3DDevice->GetFrontBufferData(0, surface), D3D_OK);
        D3DLOCKED_RECT r{};
        surface->LockRect(&r, nullptr, D3DLOCK_READONLY);
        m_image.resize(640 * 480);
        for (int y = 0; y < 480; ++y) std::memcpy(&m_image[y * 640], static_cast<const uint8_t*>(r.pBits) + y * r.Pitch, 640 * 4);
        surface->UnlockRect();
        surface->Release();
    }
    // The pixel where a world point lands.
    DWORD at(const Vector3& world) const
    {
        Vector3 p;
        EXPECT_TRUE(L3ViewportToScreen(world, &p));
        return m_image.at((int(p.y) + D3DCore.LastViewPort.Y) * 640 + int(p.x) + D3DCore.LastViewPort.X) & 0xFFFFFF;
    }

    std::vector<DWORD> m_image;
};

}  // namespace

TEST_F(ClumpPixelTest, TheSampleClumpsStandOnTheSlopeInTheirColoursAndAStateShowsItsModel)
{
    // A sun along the view, no ambient: the faces towards the camera take the rocks' colours.
    float sun[CSun::NUM_WORDS] = {1, 0, 0, 0, 0, 0, 0, 1, 1, 1};
    CSun::setSunProperties(sun);
    D3DCore.SetClearColour(true, 0, 0, 0x50);
    ASSERT_TRUE(clumps.LoadClumpFile("data\\clumps\\demo.clump"));
    frame();
    // Trees of 80 stand at x 400, where the ground is at 80: in their colours from the ground up.
    const CClumpType& trees = *clumps.GetClumpType(1);
    for (uint32_t i = 0; i < 4; ++i) {
        const CClumpElementData& e = element(1, i);
        const float x = 400, y = e.pModelInst->m_transform.Translation[1];
        const DWORD colour = e.colour[0] << 16 | e.colour[1] << 8 | e.colour[2];
        EXPECT_EQ(std::vector<DWORD>({at({x, y, 86}), at({x, y, 150}), at({x, y, 154}), at({x, y, 166})}),
                  std::vector<DWORD>({colour, colour, colour, CLEAR}))
            << i;
    }
    EXPECT_EQ(trees.numStates, 2u);
    // The rocks in front (the middle one turned), lit on their faces towards the sun.
    for (uint32_t i : {0u, 2u}) {
        const DWORD c = at({300, element(0, i).pModelInst->m_transform.Translation[1], 62});
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(int(c >> (16 - 8 * k) & 0xFF), element(0, i).colour[k], 12) << i << " " << std::hex << c;
    }

    // Tree 0 becomes a stump of 20 in its own colour.
    ASSERT_TRUE(clump(1).SetElementStateEx(0, 1, CClumpInstance::COPY_MASK_DEFAULT, nullptr, false));
    frame();
    const float y0 = element(1, 0).pModelInst->m_transform.Translation[1];
    const DWORD colour = element(1, 0).colour[0] << 16 | element(1, 0).colour[1] << 8 | element(1, 0).colour[2];
    EXPECT_EQ(std::vector<DWORD>({at({400, y0, 90}), at({400, y0, 110}), at({400, y0, 150})}),
              std::vector<DWORD>({colour, CLEAR, CLEAR}));
}

TEST(DemoClumps, TheSampleFilesAreWhatTheToolWrites)
{
    for (const auto& [name, bytes] : democlumps::files()) {
        std::ifstream in(std::string(VELDRANE_DATA) + "/" + name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        EXPECT_TRUE(text.str() == bytes) << name << ": run tools/clumpdata/make-demo-clumps.sh";
    }
}
