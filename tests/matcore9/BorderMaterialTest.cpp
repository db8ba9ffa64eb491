// The device's life through the library: defaults after a restore, and the screen margin drawn
// with the border material, whose changes do not outlive its frame.
#include "MatFixture.h"

#include "d3d9gl/DeviceRenderer.h"

#include <cstdlib>

namespace pt = platform::testing;

namespace {

struct ScreenVertex {
    float x, y, z, rhw;
    DWORD colour;
};

class BorderMaterialTest : public MatFixture {
protected:
    void TearDown() override
    {
        MatFixture::TearDown();
        d3d9ref::setRendererFactory(nullptr);
    }

    // A material of vertex colour with nothing but the mandatory states.
    static DWORD plainMaterial()
    {
        GMaterial* GM = newMaterial("plain", {1}, {{ss(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1), ss(0, D3DTSS_COLORARG1, 0)}},
                                    D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
        MatCore.CompleteMaterialStates(GM, 0);
        MatCore.BuildRestoreList(GM);
        return handleOf(makeBlock(GM));
    }

    void quad(float x0, float y0, float x1, float y1, float z, DWORD colour)
    {
        const ScreenVertex v[4] = {
            {x0, y0, z, 1, colour}, {x1, y0, z, 1, colour}, {x0, y1, z, 1, colour}, {x1, y1, z, 1, colour}};
        DXInterface.ID3DDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(ScreenVertex));
    }
};

TEST_F(BorderMaterialTest, DefaultsComeBackAfterTheDeviceIsReset)
{
    ASSERT_TRUE(bringUpLibrary());
    EXPECT_EQ(state().RenderStates[D3DRS_LIGHTING], static_cast<DWORD>(FALSE));
    pt::setD3D9DeviceState(D3DERR_DEVICENOTRESET);
    D3DCore.LoseDevice();
    D3DCore.DeviceLost = 1;
    D3DCore.BeginScene(true, false);
    D3DCore.EndScene(true);
    // The reset device starts lit; the library's restore step forces the defaults again.
    EXPECT_EQ(pt::d3d9Calls("Reset"), 1);
    EXPECT_EQ(state().RenderStates[D3DRS_LIGHTING], static_cast<DWORD>(FALSE));
    EXPECT_EQ(state().SamplerStates[5][D3DSAMP_MIPFILTER], static_cast<DWORD>(D3DTEXF_LINEAR));
}

TEST_F(BorderMaterialTest, ADepthTestedFrameFollowsAMarginFrame)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    d3d9ref::setRendererFactory(&d3d9gl::createOffscreenDeviceRenderer);
    ASSERT_TRUE(bringUpLibrary());
    const DWORD plain = plainMaterial();
    D3DCore.SetClearColour(true, 0, 0, 0);
    D3DCore.SetViewPort(0, 0, 800, 600, 800, 600);

    D3DCore.DrawMargin = 1;
    D3DCore.BeginScene(true, false);
    D3DCore.EndScene(true);
    D3DCore.Present(false);
    EXPECT_NEAR(static_cast<int>((frontPixel(400, 0) >> 16) & 0xFF), 0x34, 2);  // 0x40 red at alpha 0xD0
    // What the border material changed beyond the mandatory states is back to the defaults.
    EXPECT_EQ(state().RenderStates[D3DRS_SRCBLEND], static_cast<DWORD>(D3DBLEND_ONE));
    EXPECT_EQ(state().RenderStates[D3DRS_DESTBLEND], static_cast<DWORD>(D3DBLEND_ZERO));

    D3DCore.DrawMargin = 0;
    D3DCore.BeginScene(true, false);
    D3DCore.ApplyStateBlock(D3DCore.StateBlocks.GetSB(plain), 0, 0);
    quad(100, 100, 300, 300, 0.25f, 0xFFFF0000);
    quad(200, 200, 400, 400, 0.75f, 0xFF00FF00);  // behind the red one where they overlap
    D3DCore.EndScene(true);
    D3DCore.Present(false);
    EXPECT_EQ(frontPixel(150, 150), 0xFFFF0000u);
    EXPECT_EQ(frontPixel(250, 250), 0xFFFF0000u);
    EXPECT_EQ(frontPixel(350, 350), 0xFF00FF00u);
    EXPECT_EQ(frontPixel(400, 5), 0xFF000000u);
    EXPECT_TRUE(testsupport::reports().empty());
}

}  // namespace
