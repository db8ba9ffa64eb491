#include "CoreFixture.h"

#include "d3dcore9/RenderMatrix.h"

#include <cmath>
#include <cstring>

namespace pt = platform::testing;
using testsupport::countReports;

namespace {

class TransformTest : public CoreFixture {
protected:
    void SetUp() override
    {
        CoreFixture::SetUp();
        ASSERT_TRUE(bringUp());
        pt::clearD3D9Calls();
    }
};

DWORD bits(float f)
{
    DWORD b;
    std::memcpy(&b, &f, 4);
    return b;
}

TEST_F(TransformTest, PerspectiveStretchesTheFarPlaneWithoutCompounding)
{
    D3DCore.SetPerspective(1, 100, 2, 1.5f, false);
    const D3DMATRIX& p = state().Transforms.at(D3DTS_PROJECTION);
    EXPECT_EQ(std::vector<float>({p._22, p._34, p._44}), std::vector<float>({2 / 1.5f, 1, 0}));
    EXPECT_FLOAT_EQ(p._43, -100.0f / 99);
    D3DCore.SetPerspective(1, 100, 2, 1.5f, false);
    EXPECT_EQ(pt::d3d9Calls("SetTransform"), 1);

    D3DCore.FarMultiplier = 0.5f;
    for (int i = 0; i < 3; ++i) D3DCore.SetPerspective(D3DCore.NearZ, D3DCore.FarZ, 2, 1.5f, true);
    EXPECT_EQ(D3DCore.FarZ, 100.0f);
    float f = 100 * 1.07f;
    EXPECT_FLOAT_EQ(state().Transforms.at(D3DTS_PROJECTION)._33, f / (f - 1));

    D3DCore.SetProjection(0, 100, 640, 480);
    EXPECT_FLOAT_EQ(state().Transforms.at(D3DTS_PROJECTION)._22, 2.0f / 480);
}

TEST_F(TransformTest, WorldTransformScalesOnlyTheRotation)
{
    D3DCore.SetWorldTransform(0, 0, 5, 6, 7, 1.0f);
    D3DCore.SetWorldTransform(0.5f, 0.25f, 5, 6, 7, 2.0f);
    D3DMATRIX r;
    RenderMatrix::buildRotationY(r, -0.25f);
    RenderMatrix::rotateZ(r, 0.5f);
    const D3DMATRIX& s = state().Transforms.at(D3DTS_WORLD);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_FLOAT_EQ(s.m[i][j], 2 * r.m[i][j]);
    EXPECT_EQ(std::vector<float>({s._42, s._44, s._14}), std::vector<float>({6, 1, 0}));
    EXPECT_EQ(D3DCore.WorldMatrixChanges, 3u);  // creation set the identity once
}

TEST_F(TransformTest, FogPicksTableOrVertexFog)
{
    D3DCore.SetFog(10, 200, 255, 128, 0x1FF);
    const auto& rs = state().RenderStates;
    EXPECT_EQ(std::vector<DWORD>({rs[D3DRS_FOGCOLOR], rs[D3DRS_FOGTABLEMODE], rs[D3DRS_FOGEND]}),
              std::vector<DWORD>({0xFFFF80FFu, D3DFOG_LINEAR, bits(200)}));
    D3DCore.CurrentDevice->TableFog = 0;
    D3DCore.SetFog(10, 200, 255, 128, 0);
    EXPECT_EQ(std::vector<DWORD>({rs[D3DRS_FOGVERTEXMODE], rs[D3DRS_FOGTABLEMODE]}),
              std::vector<DWORD>({D3DFOG_LINEAR, D3DFOG_NONE}));
}

// 3x3 rotations as the render device turns them, rows written out.
struct M3 {
    float m[3][3];
};
M3 mul(const M3& a, const M3& b)
{
    M3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) r.m[i][j] += a.m[i][k] * b.m[k][j];
    return r;
}
M3 rx(float a) { return M3{{{1, 0, 0}, {0, std::cos(a), std::sin(a)}, {0, -std::sin(a), std::cos(a)}}}; }
M3 ry(float a) { return M3{{{std::cos(a), 0, -std::sin(a)}, {0, 1, 0}, {std::sin(a), 0, std::cos(a)}}}; }
M3 rz(float a) { return M3{{{std::cos(a), std::sin(a), 0}, {-std::sin(a), std::cos(a), 0}, {0, 0, 1}}}; }

TEST_F(TransformTest, CameraAnglesTurnInTheirOrderAndSense)
{
    // The base turns the game's axes onto the device's: rows (0,-1,0), (0,0,1), (1,0,0).
    const M3 base{{{0, -1, 0}, {0, 0, 1}, {1, 0, 0}}};
    const float a1 = 0.3f, a2 = -0.7f, a3 = 1.1f;
    for (int zFirst = 0; zFirst < 2; ++zFirst) {
        M3 c = zFirst ? mul(mul(rz(a1), ry(-a2)), rx(a3)) : mul(mul(rx(a1), ry(-a2)), rz(a3));
        if (zFirst) D3DCore.SetCameraAnglesZFirst(a1, a2, a3, 1, 2, 3);
        else D3DCore.SetCameraAngles(a1, a2, a3, 1, 2, 3);
        // The view's rotation is the inverse, that is the transpose, of base * C.
        M3 camera = mul(base, c);
        const D3DMATRIX& v = state().Transforms.at(D3DTS_VIEW);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                EXPECT_NEAR(D3DCore.CameraRotation.m[i][j], c.m[i][j], 1e-5f) << zFirst << i << j;
                EXPECT_NEAR(v.m[i][j], camera.m[j][i], 1e-5f) << zFirst << i << j;
            }
        // The camera's own position goes to the origin.
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(v.m[0][j] + 2 * v.m[1][j] + 3 * v.m[2][j] + v.m[3][j], 0.0f, 1e-5f);
    }
    // Without a device nothing changes.
    D3DMATRIX before = D3DCore.ViewMatrix;
    IDirect3DDevice9* device = DXInterface.ID3DDevice;
    DXInterface.ID3DDevice = nullptr;
    D3DCore.SetCameraAngles(0, 0, 0, 9, 9, 9);
    DXInterface.ID3DDevice = device;
    EXPECT_EQ(std::memcmp(&before, &D3DCore.ViewMatrix, sizeof(before)), 0);
    EXPECT_EQ(D3DCore.CameraPosition[0], 1.0f);
}

TEST_F(TransformTest, GammaRampIsSentWidenedAndClamped)
{
    D3DCore.SetGammaOffset(-300);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(state().Gamma.green[i], 0);
    D3DCore.ResetGammaRamp();
    D3DCore.SetGammaOffset(0);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(state().Gamma.red[i], i * 257);
    D3DCore.SetGammaOffset(10);
    EXPECT_EQ(state().Gamma.blue[250], 255 * 257);
}

TEST_F(TransformTest, MultiMaterialBlocksAndOverridePaths)
{
    for (int i = 0; i < MAXMBLOCKS; ++i) {
        MBlockEntry* b = D3DCore.AddMBlock();
        ASSERT_NE(b, nullptr);
        if (i == 3) continue;  // left nameless
        b->Name = new char[16];
        std::snprintf(b->Name, 16, "block%d", i);
    }
    EXPECT_EQ(D3DCore.AddMBlock(), nullptr);
    MBlockEntry* found = nullptr;
    EXPECT_TRUE(D3DCore.FindMBlock("block7", &found));
    EXPECT_EQ(found, &D3DCore.MBlock[7]);
    EXPECT_FALSE(D3DCore.FindMBlock("BLOCK7", nullptr));
    EXPECT_EQ(countReports("MBlock[i].Name != NULL"), 2);
    D3DCore.ClearMBlocks();
    EXPECT_EQ(D3DCore.MBlock[7].Name, nullptr);

    EXPECT_FALSE(D3DCore.SetOverridePath("x\\", 6));
    EXPECT_FALSE(D3DCore.SetOverridePath(std::string(600, 'a').c_str(), 0));
    EXPECT_STREQ(D3DCore.GetOverridePath(0), "");
}

}  // namespace
