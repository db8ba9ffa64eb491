// Lines drawn straight from the caller's memory, past the state cache.
#include "CoreFixture.h"

namespace pt = platform::testing;

namespace {

class ImmediateDrawTest : public CoreFixture {
protected:
    void SetUp() override
    {
        CoreFixture::SetUp();
        ASSERT_TRUE(bringUp());
    }
};

TEST_F(ImmediateDrawTest, OneUnlitLineListIsDrawnAndTheCacheForgetsWhatTheDrawWentRound)
{
    D3DCore.SetRenderState(D3DRS_LIGHTING, TRUE);
    D3DCore.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    const struct {
        float x, y, z;
        DWORD colour;
    } lines[4] = {{0, 0, 0, 0xFFFF0000}, {1, 0, 0, 0xFFFF0000}, {0, 1, 0, 0xFFFF0000}, {0, 2, 0, 0xFFFF0000}};
    pt::clearD3D9Calls();
    D3DCore.DrawUserLines(lines, 2, sizeof lines[0]);
    EXPECT_EQ(1, pt::d3d9Calls("DrawPrimitiveUP"));
    EXPECT_EQ(static_cast<DWORD>(FALSE), state().RenderStates[D3DRS_LIGHTING]);
    EXPECT_EQ(static_cast<DWORD>(D3DFVF_XYZ | D3DFVF_DIFFUSE), state().FVF);
    // The first stage is put back as the cache holds it.
    EXPECT_EQ(static_cast<DWORD>(D3DTOP_MODULATE), state().StageStates[0][D3DTSS_COLOROP]);

    // Lighting reaches the device again, even set as the cache last held it.
    pt::clearD3D9Calls();
    D3DCore.SetRenderState(D3DRS_LIGHTING, TRUE);
    D3DCore.SetRenderState(D3DRS_LIGHTING, TRUE);
    EXPECT_EQ(1, pt::d3d9Calls("SetRenderState"));
    EXPECT_EQ(static_cast<DWORD>(TRUE), state().RenderStates[D3DRS_LIGHTING]);

    // Nothing to draw draws nothing.
    D3DCore.DrawUserLines(nullptr, 2, sizeof lines[0]);
    D3DCore.DrawUserLines(lines, 0, sizeof lines[0]);
    EXPECT_EQ(0, pt::d3d9Calls("DrawPrimitiveUP"));
}

}  // namespace
