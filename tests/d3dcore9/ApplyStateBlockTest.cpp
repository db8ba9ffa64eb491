// State blocks on the device, seen through the reference device's call log.
#include "FrameFixture.h"

#include <cmath>
#include <cstring>

namespace pt = platform::testing;
using testsupport::countReports;

namespace {

class ApplyStateBlockTest : public FrameFixture {
protected:
    void SetUp() override { FrameFixture::SetUp(); }

    void TearDown() override
    {
        for (IDirect3DTexture9* t : m_textures) t->Release();
        D3DCore.StateBlocks.ReleaseAll();
        FrameFixture::TearDown();
    }

    // A block whose pass p holds the given states, with stages[p] stages.
    static StateBlock* block(const char* name, std::vector<DWORD> stages,
                             std::vector<std::vector<RecordedState>> passes, std::vector<RecordedState> restore = {})
    {
        GMaterial* GM = newMaterial(name, stages, passes);
        record(&GM->RestoreStates, restore);
        return makeBlock(GM);
    }

    IDirect3DTexture9* texture()
    {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(DXInterface.ID3DDevice->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        m_textures.push_back(t);
        return t;
    }

    // The render and stage-state calls of the trace, as (method, stage or -1, state, value).
    static std::vector<std::vector<uint64_t>> stateCalls()
    {
        std::vector<std::vector<uint64_t>> out;
        for (const auto& c : pt::d3d9Trace()) {
            if (c.Method == "SetRenderState") out.push_back({0, c.Args[0], c.Args[1]});
            if (c.Method == "SetTextureStageState") out.push_back({1, c.Args[0], c.Args[1], c.Args[2]});
        }
        return out;
    }

    std::vector<IDirect3DTexture9*> m_textures;
};

TEST_F(ApplyStateBlockTest, PassesApplyOnceAndTheRestoreListRunsBeforeTheNextMaterial)
{
    ASSERT_TRUE(bringUp());
    StateBlock* A = block("a.mtl", {4}, {{rs(D3DRS_FOGENABLE, TRUE), rs(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA)}},
                          {rs(D3DRS_SRCBLEND, D3DBLEND_ONE)});
    StateBlock* B = block("b.mtl", {2}, {{rs(D3DRS_DESTBLEND, D3DBLEND_ONE)}}, {rs(D3DRS_DESTBLEND, D3DBLEND_ZERO)});
    A->Texture[0][0] = texture();
    D3DCore.BeginScene(true, false);
    D3DCore.ApplyStateBlock(A, 0, 0);
    EXPECT_EQ(state().RenderStates[D3DRS_FOGENABLE], 1u);
    EXPECT_EQ(state().Textures[0], A->Texture[0][0]);

    // Again: textures are set again, the pass list is not.
    D3DCore.SetRenderState(D3DRS_FOGENABLE, FALSE);
    D3DCore.SetTexture(0, nullptr);
    D3DCore.ApplyStateBlock(A, 0, 0);
    EXPECT_EQ(state().RenderStates[D3DRS_FOGENABLE], 0u);
    EXPECT_EQ(state().Textures[0], A->Texture[0][0]);

    // B: A's restore list first, then B's list, then the two stages A used and B does not.
    pt::setD3D9Trace(true);
    D3DCore.ApplyStateBlock(B, 0, 0);
    std::vector<std::vector<uint64_t>> expected = {{0, D3DRS_SRCBLEND, D3DBLEND_ONE}, {0, D3DRS_DESTBLEND, D3DBLEND_ONE}};
    for (uint64_t s : {2, 3}) {
        expected.push_back({1, s, D3DTSS_COLOROP, D3DTOP_DISABLE});
        expected.push_back({1, s, D3DTSS_ALPHAOP, D3DTOP_DISABLE});
        expected.push_back({1, s, D3DTSS_TEXCOORDINDEX, s});
    }
    EXPECT_EQ(stateCalls(), expected);

    // The scene's end puts back what the last material changed.
    D3DCore.EndScene(true);
    EXPECT_EQ(state().RenderStates[D3DRS_DESTBLEND], static_cast<DWORD>(D3DBLEND_ZERO));
    // Releasing a block while its restore list is pending runs the list; nothing points at it after.
    D3DCore.ApplyStateBlock(A, 0, 0);
    EXPECT_EQ(state().RenderStates[D3DRS_SRCBLEND], static_cast<DWORD>(D3DBLEND_SRCALPHA));
    D3DCore.StateBlocks.ReleaseSB(D3DCore.StateBlocks.HandleOf(A));
    EXPECT_EQ(state().RenderStates[D3DRS_SRCBLEND], static_cast<DWORD>(D3DBLEND_ONE));
    EXPECT_EQ(nullptr, D3DCore.LastStateBlock);
    EXPECT_EQ(nullptr, D3DCore.LastStateList);

}

TEST_F(ApplyStateBlockTest, FixedFunctionPassesSetFactorFormatNodesAndDepthBias)
{
    ASSERT_TRUE(bringUp());
    StateBlock* SB = block("a.mtl", {1, 1}, {});
    GMaterial* GM = SB->GMaterial;
    GM->UseTextureFactor = 1;
    GM->TextureFactor = 0x80FF0000u;
    GM->DepthBias[1] = 1.0f;
    auto add = [&](DWORD type, DWORD stage, DWORD value) {
        StateNode* n = new StateNode();
        n->Type = type;
        n->Stage = stage;
        n->Value = value;
        n->Colour[0] = 0.5f;
        GM->PassStates[0].Append(n);
    };
    add(NODE_MATERIAL, 0, 0);
    add(NODE_TEXTURE, 1, 17);  // a hardware texture no longer in use
    add(7, 0, 0);
    D3DCore.SetPerspective(1.0f, 100.0f, 1.0f, 1.0f, true);
    D3DCore.SetTexture(1, texture());
    D3DCore.ApplyStateBlock(SB, 0, D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    EXPECT_EQ(state().RenderStates[D3DRS_TEXTUREFACTOR], 0x80FF0000u);
    EXPECT_EQ(state().FVF, static_cast<DWORD>(D3DFVF_XYZRHW | D3DFVF_DIFFUSE));
    EXPECT_EQ(state().Textures[1], nullptr);  // the texture no longer in use binds nothing
    EXPECT_EQ(state().Material.Diffuse.r, 0.5f);
    EXPECT_EQ(countReports("0"), 1);  // the unknown node
    EXPECT_EQ(state().Transforms.at(D3DTS_PROJECTION).m[2][2], 100.0f / 99.0f);
    // A biased pass stretches the far plane; the next unbiased one puts it back.
    D3DCore.ApplyStateBlock(SB, 1, 0);
    EXPECT_EQ(state().FVF, static_cast<DWORD>(D3DFVF_XYZ | D3DFVF_DIFFUSE));
    EXPECT_FLOAT_EQ(state().Transforms.at(D3DTS_PROJECTION).m[2][2], 107.0f / 106.0f);
    D3DCore.ApplyStateBlock(SB, 0, 0);
    EXPECT_FLOAT_EQ(state().Transforms.at(D3DTS_PROJECTION).m[2][2], 100.0f / 99.0f);
    // A pass the material does not have is refused.
    D3DCore.ApplyStateBlock(SB, 2, 0);
    EXPECT_EQ(countReports("pass < GM->Passes"), 1);
}

TEST_F(ApplyStateBlockTest, ShaderMaterialsGetTheirMatricesInOneUpload)
{
    // Without vertex shaders in hardware the device mixes vertex processing.
    caps().VertexShaderVersion = D3DVS_VERSION(0, 0);
    ASSERT_TRUE(bringUp());
    ASSERT_EQ(D3DCore.VertexProcessing, static_cast<DWORD>(D3DCREATE_MIXED_VERTEXPROCESSING));
    StateBlock* SB = block("shaded.mtl", {1}, {});
    GMaterial* GM = SB->GMaterial;
    m_dir.write("data/VertexShaders/basic.vsh", "vs.1.1\ndcl_position0 v0\nm4x4 oPos, v0, c0\n");
    GM->VertexShader = static_cast<DWORD>(D3DCore.LoadVertexShader("data\\m\\basic.vsh", "shaded.mtl",
                                                                   D3DFVF_XYZ, false, nullptr));
    ASSERT_NE(GM->VertexShader, 0u);
    GM->wvpmatrix = 0;
    GM->wvmatrixi = 4;
    GM->pscubematrix = 8;
    D3DMATRIX world;
    std::memset(&world, 0, sizeof world);
    world.m[0][1] = world.m[1][0] = world.m[2][2] = world.m[3][3] = 1.0f;  // x and y swapped
    world.m[3][0] = 1;
    world.m[3][1] = 2;
    world.m[3][2] = 3;
    D3DCore.SetWorldMatrix(world);
    pt::setD3D9Trace(true);
    D3DCore.ApplyStateBlock(SB, 0, 0);
    const auto uploads = calls("SetVertexShaderConstantF");
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0][2], 11u);
    const auto& c = state().VertexShaderConstants;
    // World x identity view-projection, transposed: the translation is the fourth column.
    EXPECT_EQ(std::vector<float>({c[0][3], c[2][3], c[3][3]}), std::vector<float>({1, 3, 1}));
    // The inverse is not transposed: its translation row is register 4 + 3.
    EXPECT_EQ(std::vector<float>(c[7], c[7] + 3), (std::vector<float>{-2, -1, -3}));
    // Columns of the world's rotation with the sign pattern.
    EXPECT_EQ(std::vector<float>(c[10], c[10] + 4), (std::vector<float>{0, 1, 0, -1}));
    EXPECT_EQ(state().VertexShader, D3DCore.VShaderTable.VShaderPtr[GM->VertexShader]);
    // Software processing for shaders, every stage reading its own coordinates; once.
    EXPECT_EQ(calls("SetSoftwareVertexProcessing"), (std::vector<std::vector<uint64_t>>{{1}}));
    D3DCore.ApplyStateBlock(SB, 0, 0);
    EXPECT_EQ(calls("SetTextureStageState").size(), 8u);
    // A fixed-function material switches back.
    D3DCore.ApplyStateBlock(block("plain.mtl", {1}, {}), 0, 0);
    EXPECT_EQ(calls("SetSoftwareVertexProcessing").back(), std::vector<uint64_t>{0});
    // The material's shader slot goes with it.
    D3DCore.StateBlocks.ReleaseAll();
    EXPECT_EQ(D3DCore.VShaderTable.RefCount[1], 0);
}

TEST_F(ApplyStateBlockTest, ValidationRunsEachPassOnPlaceholdersAndRestoresTheDefaults)
{
    ASSERT_TRUE(bringUp());
    StateBlock* SB = block("v.mtl", {1, 2}, {{rs(D3DRS_FOGENABLE, TRUE)}, {rs(D3DRS_FOGENABLE, TRUE)}});
    GMaterial* GM = SB->GMaterial;
    Tex format;
    format.Format = D3DFMT_A8R8G8B8;
    GM->TexFormat[0] = GM->TexFormat[1] = &format;
    GM->CubeMap[1] = 1;
    GM->TextureIndex[0][0] = 0;
    GM->TextureIndex[1][1] = 1;
    D3DCore.ForceRenderState(D3DRS_FOGENABLE, FALSE);
    D3DCore.SaveRenderDefaults();
    const int managed = pt::d3d9LiveResources(D3DPOOL_MANAGED);
    int call = 0;
    pt::setValidateResult([&](DWORD* passes) {
        *passes = ++call;
        EXPECT_EQ(state().RenderStates[D3DRS_FOGENABLE], 1u);
        return D3D_OK;
    });
    pt::setD3D9Trace(true);
    DWORD passes = 0, total = 0;
    HRESULT result = E_FAIL;
    EXPECT_TRUE(D3DCore.ValidateMaterial(GM, &passes, &total, &result));
    EXPECT_EQ(std::vector<DWORD>({passes, total}), std::vector<DWORD>({2, 3}));
    EXPECT_EQ(calls("CreateCubeTexture").size(), 1u);
    // Defaults back, placeholders gone and unbound.
    EXPECT_EQ(state().RenderStates[D3DRS_FOGENABLE], 0u);
    EXPECT_EQ(pt::d3d9LiveResources(D3DPOOL_MANAGED), managed);
    EXPECT_EQ(state().Textures[0], nullptr);

    // A failing pass fails the material and leaves the total alone.
    pt::setValidateResult([&](DWORD* p) {
        *p = 1;
        return call++ == 3 ? D3DERR_TOOMANYOPERATIONS : D3D_OK;
    });
    total = 0;
    EXPECT_FALSE(D3DCore.ValidateMaterial(GM, &passes, &total, &result));
    EXPECT_EQ(result, D3DERR_TOOMANYOPERATIONS);
    // Skipping validation counts one call per pass without asking the device.
    pt::clearD3D9Calls();
    D3DCore.SkipValidation = 1;
    EXPECT_TRUE(D3DCore.ValidateMaterial(GM, &passes, &total, &result));
    EXPECT_EQ(total, 2u);
    EXPECT_EQ(pt::d3d9Calls("ValidateDevice"), 0);
}

TEST_F(ApplyStateBlockTest, ARestoreBeforeAnyPerspectiveKeepsTheIdentityProjection)
{
    ASSERT_TRUE(bringUp());
    D3DCore.LoseDevice();
    D3DCore.RestoreLostDevice();
    D3DMATRIX identity{};
    identity._11 = identity._22 = identity._33 = identity._44 = 1.0f;
    EXPECT_EQ(std::memcmp(&state().Transforms.at(D3DTS_PROJECTION), &identity, sizeof identity), 0);
    // The last valid projection is kept in the same way.
    D3DCore.SetProjection(0, 100, 640, 480);
    D3DCore.SetPerspective(0, 0, 0, 0, true);
    EXPECT_FLOAT_EQ(state().Transforms.at(D3DTS_PROJECTION).m[0][0], 2.0f / 640);
}

TEST_F(ApplyStateBlockTest, BlocksBindAndReleaseTheirTablesTextures)
{
    ASSERT_TRUE(bringUp());
    TextureTable& textures = D3DCore.TextureTables;
    StateBlock* SB = makeBlock(newMaterial("first.mtl", {2}), texNames({"data\\t.tga"}));
    const DWORD handle = handleOf(SB);

    // A hardware texture with a palette, bound by the stage and by a texture node.
    Tex format;
    format.Format = D3DFMT_A8R8G8B8;
    TextureHandle h = TEXTURE_NONE;
    ASSERT_TRUE(textures.AddHWTexture("data\\t.tga", &format, 0, 0, false, false, &h, "first.mtl"));
    HWTexture* entry = textures.GetHWTexture(h);
    textures.GetDiskTexture(entry->DiskTexture)->SizeX = textures.GetDiskTexture(entry->DiskTexture)->SizeY = 4;
    ASSERT_TRUE(textures.CreateTexture(entry));
    PALETTEENTRY palette[256] = {};
    textures.SetTexturePalette(h, palette);
    ASSERT_GE(entry->Palette, 0);
    SB->HWTexture[0][0] = h;
    SB->Texture[0][0] = entry->ITexture;
    StateNode* node = new StateNode();
    node->Type = NODE_TEXTURE;
    node->Stage = 1;
    node->Value = h;
    SB->GMaterial->PassStates[0].Append(node);
    D3DCore.ApplyStateBlock(SB, 0, 0);
    EXPECT_EQ(state().Textures[0], entry->ITexture);
    EXPECT_EQ(state().Textures[1], entry->ITexture);
    EXPECT_EQ(state().CurrentPalette, static_cast<UINT>(entry->Palette));

    // The last release gives back the hardware and disk entries.
    EXPECT_TRUE(D3DCore.StateBlocks.ReleaseSB(handle));
    EXPECT_EQ(textures.HWSlots.SlotsUsed + textures.DiskSlots.SlotsUsed, 0u);
}

}  // namespace
