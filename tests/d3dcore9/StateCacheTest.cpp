#include "CoreFixture.h"

#include "d3dcore9/DXWrappers.h"

#include <cstdint>

namespace pt = platform::testing;
using testsupport::countReports;

namespace {

class StateCacheTest : public CoreFixture {
protected:
    void SetUp() override
    {
        CoreFixture::SetUp();
        ASSERT_TRUE(bringUp());
        pt::clearD3D9Calls();
    }
};

TEST_F(StateCacheTest, CachedSetsReachTheDeviceOnlyOnAChangeAndOutOfRangeOnesNever)
{
    EXPECT_EQ(D3DCore.SetRenderState(D3DRS_ZENABLE, 1), D3D_OK);
    EXPECT_EQ(D3DCore.SetRenderState(D3DRS_ZENABLE, 1), D3D_OK);
    EXPECT_EQ(pt::d3d9Calls("SetRenderState"), 1);
    D3DCore.InvalidateStateCache();
    D3DCore.SetRenderState(D3DRS_ZENABLE, 1);
    EXPECT_EQ(pt::d3d9Calls("SetRenderState"), 2);
    EXPECT_EQ(D3DCore.RenderStateTouched[D3DRS_ZENABLE], 0);

    D3DCore.ForceRenderState(D3DRS_ZENABLE, 1);
    EXPECT_EQ(pt::d3d9Calls("SetRenderState"), 3);
    EXPECT_EQ(D3DCore.RenderStateTouched[D3DRS_ZENABLE], 1);

    // Out of range: refused before the cache or the device is touched.
    pt::clearD3D9Calls();
    const DWORD before = D3DCore.StageStates[7][199];
    EXPECT_EQ(D3DCore.SetRenderState(256, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DCore.ForceRenderState(1000, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DCore.SetTextureStageState(8, 1, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DCore.SetTextureStageState(0, 200, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DCore.StageStates[7][199], before);
    D3DCore.SetTexture(8, nullptr);
    EXPECT_EQ(pt::d3d9Calls("SetRenderState") + pt::d3d9Calls("SetTextureStageState") + pt::d3d9Calls("SetTexture"), 0);
}

TEST_F(StateCacheTest, SamplerTypesGoToTheSamplerAndSurviveInvalidation)
{
    D3DCore.SetTextureStageState(0, 101, 2);
    EXPECT_EQ(pt::d3d9Calls("SetSamplerState"), 1);
    EXPECT_EQ(state().SamplerStates[0][D3DSAMP_ADDRESSU], 2u);
    D3DCore.SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);

    D3DCore.InvalidateStateCache();
    EXPECT_EQ(D3DCore.StageStates[0][63], STATE_UNKNOWN);
    EXPECT_EQ(D3DCore.StageStates[0][101], 2u);
    D3DCore.SetTextureStageState(0, 101, 2);
    D3DCore.SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
    EXPECT_EQ(pt::d3d9Calls("SetSamplerState"), 1);
    EXPECT_EQ(pt::d3d9Calls("SetTextureStageState"), 2);

}

TEST_F(StateCacheTest, ShaderConstantsWidenTheirRangeAndRefuseStrayRegisters)
{
    D3DCore.SetVertexShaderConstant(5, 1, 2, 3, 4);
    D3DCore.SetVertexShaderConstantComponent(2, 3, 9);
    EXPECT_EQ(std::make_pair(D3DCore.VSConstantsLow, D3DCore.VSConstantsHigh), std::make_pair(2, 5));

    EXPECT_EQ(D3DCore.GetVertexShaderConstants(90, 10), nullptr);
    D3DCore.SetVertexShaderConstant(96, 1, 1, 1, 1);
    D3DCore.SetVertexShaderConstantComponent(3, 4, 1);
    D3DCore.SetPixelShaderConstant(8, 1, 1, 1, 1);
    EXPECT_EQ(D3DCore.GetPixelShaderConstants(6, 3), nullptr);
    // A count so large that start + count - 1 would not fit a register number.
    EXPECT_EQ(D3DCore.GetVertexShaderConstants(5, INT32_MAX), nullptr);
    EXPECT_EQ(D3DCore.GetPixelShaderConstants(2, INT32_MAX), nullptr);
    EXPECT_EQ(D3DCore.VSConstantsHigh, 5);
    EXPECT_EQ(D3DCore.PSConstantsHigh, -1000);
    float* filled = D3DCore.GetVertexShaderConstants(94, 2);
    ASSERT_NE(filled, nullptr);
    filled[7] = 5;
    EXPECT_EQ(D3DCore.VertexShaderConstants[95][3], 5.0f);

    D3DCore.SetPixelShaderConstant(1, 0.5f, 0, 0, 1);
    D3DCore.ApplyShaderConstants();
    EXPECT_EQ(state().VertexShaderConstants[95][3], 5.0f);
    EXPECT_EQ(state().VertexShaderConstants[2][3], 9.0f);
    EXPECT_EQ(state().PixelShaderConstants[1][0], 0.5f);
    EXPECT_EQ(D3DCore.VSConstantsLow, 1000);
}

TEST_F(StateCacheTest, SnapshotsReplayOnlyTouchedStates)
{
    D3DCore.ForceRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    D3DCore.ForceTextureStageState(0, 106, D3DTEXF_POINT);
    D3DCore.SaveRenderDefaults();
    D3DCore.SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    D3DCore.SetRenderState(D3DRS_FOGENABLE, 1);  // never touched
    D3DCore.SetTextureStageState(0, 106, D3DTEXF_LINEAR);
    pt::setD3D9Trace(true);
    pt::clearD3D9Calls();
    D3DCore.RestoreRenderDefaults();
    EXPECT_EQ(pt::d3d9Calls("SetRenderState"), 1);
    EXPECT_EQ(pt::d3d9Calls("SetSamplerState"), 1);
    EXPECT_EQ(state().RenderStates[D3DRS_FOGENABLE], 1u);
    D3DCore.RestoreRenderDefaults();
    EXPECT_EQ(pt::d3d9Calls("SetRenderState"), 1);  // the cache already holds the defaults

    pt::clearD3D9Calls();
    D3DCore.ForceRenderDefaults();
    EXPECT_EQ(pt::d3d9Calls("SetRenderState") + pt::d3d9Calls("SetSamplerState") + pt::d3d9Calls("SetVertexShader"), 3);
}

TEST_F(StateCacheTest, StreamShaderAndTextureCachesSkipRepeats)
{
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(DXCreateVertexBuffer(64, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &vb), D3D_OK);
    D3DCore.SetStreamSource(0, vb, 16);
    D3DCore.SetStreamSource(0, vb, 16);
    D3DCore.SetStreamSource(16, vb, 16);
    EXPECT_EQ(pt::d3d9Calls("SetStreamSource"), 1);
    D3DCore.SetFVF(0x44);
    D3DCore.SetFVF(0x44);
    EXPECT_EQ(pt::d3d9Calls("SetFVF"), 1);
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(DXCreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex), D3D_OK);
    D3DCore.SetTexture(3, tex);
    D3DCore.SetTexture(3, tex);
    EXPECT_EQ(pt::d3d9Calls("SetTexture"), 1);
    IDirect3DTexture9* bad = nullptr;
    EXPECT_EQ(DXCreateTexture(0, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &bad), D3DERR_INVALIDCALL);
    DXReleaseInterface(tex);
    DXReleaseInterface(vb);
    EXPECT_EQ(tex, nullptr);
    EXPECT_EQ(pt::d3d9LiveResources(D3DPOOL_MANAGED), 0);
}

TEST(ColourTest, PremultiplyAndAlphaToAll)
{
    DWORD c = 0x80FF4020u;
    ColourPremultiply(c);
    EXPECT_EQ(c, 0x807F2010u);
    c = 0x80123456u;
    ColourAlphaToAll(c);
    EXPECT_EQ(c, 0x80808080u);
}

TEST(FactorLookupTest, HalfCosineRampFrom0To255)
{
    class D3DCore core;
    EXPECT_EQ(std::vector<int>({core.FactorLookup[0], core.FactorLookup[64], core.FactorLookup[255]}),
              std::vector<int>({0, 38, 255}));
    for (int i = 1; i < 256; ++i) EXPECT_GE(core.FactorLookup[i], core.FactorLookup[i - 1]) << i;
}

}  // namespace
