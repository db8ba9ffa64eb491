// The state-block table: slots, sharing and look-ups.
#include "FrameFixture.h"

using testsupport::countReports;

namespace {

class StateBlockTest : public FrameFixture {
protected:
    void SetUp() override
    {
        FrameFixture::SetUp();
        ASSERT_TRUE(bringUp());
        testsupport::clearReports();
    }

    void TearDown() override
    {
        table.ReleaseAll();
        FrameFixture::TearDown();
    }

    DWORD create(const char* name, const TexNames& tex = TexNames(), float red = 1.0f, bool lit = false)
    {
        GMaterial* GM = newMaterial(name, {});
        GM->Lit = lit;
        return handleOf(makeBlock(GM, tex, red));
    }

    void expectEmpty()
    {
        EXPECT_EQ(std::vector<DWORD>({table.FirstUsed, table.LastUsed, table.FirstFree, table.SlotsUsed}),
                  std::vector<DWORD>({767, 0, 0, 0}));
    }

    StateBlockTable& table = D3DCore.StateBlocks;
};

TEST_F(StateBlockTest, SlotsAreTakenLowestFirstAndTheEmptyTableComesBack)
{
    expectEmpty();
    const DWORD a = create("a.mtl");
    EXPECT_EQ(a, 0u);
    const DWORD b = create("b.mtl"), c = create("c.mtl");
    EXPECT_TRUE(table.ReleaseSB(b));
    EXPECT_EQ(table.FirstFree, 1u);
    EXPECT_EQ(create("d.mtl"), 1u);
    EXPECT_TRUE(table.ReleaseSB(a));
    EXPECT_EQ(table.FirstUsed, 1u);
    EXPECT_TRUE(table.ReleaseSB(c));
    EXPECT_EQ(table.LastUsed, 1u);
    EXPECT_TRUE(table.ReleaseSB(1));
    expectEmpty();
    EXPECT_EQ(GMaterial::Live, 0);
    // Releasing a free slot or a handle past the table changes nothing.
    EXPECT_FALSE(table.ReleaseSB(3));
    EXPECT_FALSE(table.ReleaseSB(768));
    EXPECT_EQ(table.GetSB(768), nullptr);
    expectEmpty();
}

TEST_F(StateBlockTest, BlocksAreSharedByNameTexturesAndLitColours)
{
    const DWORD a = create("Rock.mtl", texNames({"data\\rock.tga", "data\\moss.tga"}));
    EXPECT_EQ(create("ROCK.MTL", texNames({"DATA\\ROCK.TGA", "data\\Moss.tga"})), a);
    // Other textures: a new block on the same material.
    const DWORD b = create("rock.mtl", texNames({"data\\moss.tga", "data\\rock.tga"}));
    const DWORD c = create("rock.mtl", texNames({"data\\rock.tga"}));
    EXPECT_NE(a, b);
    EXPECT_NE(b, c);

    EXPECT_EQ(table.GetSB(a)->GMaterial->RefCount, 3u);
    // Lit materials compare colours too, unless the stored red is -1.
    const DWORD lit = create("lit.mtl", TexNames(), 1.0f, true);
    EXPECT_EQ(create("lit.mtl", TexNames(), 1.0f, true), lit);
    const DWORD red = create("lit.mtl", TexNames(), 0.5f, true);
    EXPECT_NE(red, lit);
    table.GetSB(red)->Ambient[0] = table.GetSB(red)->Diffuse[0] = -1.0f;
    EXPECT_EQ(create("lit.mtl", TexNames(), 0.25f, true), red);
    // A first block of a new name has no material: the caller parses the file.
    DWORD fresh = SB_NONE;
    const float white[3] = {1, 1, 1};
    EXPECT_TRUE(table.CreateSB("new.mtl", TexNames(), white, white, &fresh));
    EXPECT_EQ(table.GetSB(fresh)->GMaterial, nullptr);
    // More than eight names are refused.
    TexNames nine = texNames({"1", "2", "3", "4", "5", "6", "7", "8"});
    nine.TotalNames = 9;
    EXPECT_FALSE(table.CreateSB("nine.mtl", nine, white, white, &fresh));
    StateBlock* found = nullptr;
    EXPECT_TRUE(D3DCore.FindStateBlockByName("LIT.mtl", &found));
    EXPECT_EQ(found, table.GetSB(lit));
    // Of the blocks a request matches, the lowest slot is shared, whenever it was made.
    const DWORD freed = create("freed.mtl");
    const DWORD one = create("order.mtl", TexNames(), 0.25f, true), two = create("order.mtl", TexNames(), 0.5f, true);
    EXPECT_TRUE(table.ReleaseSB(freed));
    const DWORD lowest = create("order.mtl", TexNames(), 0.125f, true);
    EXPECT_LT(lowest, one);
    EXPECT_LT(one, two);
    for (DWORD h : {one, two, lowest}) table.GetSB(h)->Ambient[0] = table.GetSB(h)->Diffuse[0] = -1.0f;
    EXPECT_EQ(create("ORDER.mtl", TexNames(), 0.75f, true), lowest);
    EXPECT_TRUE(D3DCore.FindStateBlockByName("order.MTL", &found));
    EXPECT_EQ(found, table.GetSB(lowest));
    EXPECT_TRUE(table.ReleaseSB(lowest));
    EXPECT_TRUE(table.ReleaseSB(lowest));

    EXPECT_EQ(create("order.mtl", TexNames(), 0.75f, true), one);
    EXPECT_FALSE(D3DCore.FindStateBlockByName("freed.mtl", &found));
}

TEST_F(StateBlockTest, TheTableHoldsExactly768Blocks)
{
    char name[32];
    for (int i = 0; i < 768; ++i) {
        std::snprintf(name, sizeof name, "m%d.mtl", i);
        ASSERT_EQ(create(name), static_cast<DWORD>(i));
    }
    DWORD handle = SB_NONE;
    const float white[3] = {1, 1, 1};
    EXPECT_FALSE(table.CreateSB("one-more.mtl", TexNames(), white, white, &handle));
    // Sharing still works in a full table, and recording does not report fullness.
    EXPECT_TRUE(table.CreateSB("m5.mtl", TexNames(), white, white, &handle));
    EXPECT_EQ(handle, 5u);
    testsupport::clearReports();
    GMaterial* GM = table.GetSB(5)->GMaterial;
    table.BeginRecordPass(GM, 0);
    table.RecordRenderState(D3DRS_ZENABLE, 0);
    table.EndRecord();
    EXPECT_TRUE(testsupport::reports().empty());
    EXPECT_EQ(GM->PassStates[0].Objects, 1);
}

TEST_F(StateBlockTest, LookUpsByMaterialIDAndStageName)
{
    const DWORD a = create("a.mtl"), c = create("c.mtl"), d = create("d.mtl");
    create("b.mtl");
    table.GetSB(a)->GMaterial->MatID = copyText("Glass");
    table.GetSB(c)->GMaterial->MatID = copyText("glass");
    EXPECT_EQ(table.FindSBByMatID("GLASS"), a);
    EXPECT_EQ(table.FindSBByMatID("metal"), SB_NONE);
    DWORD handles[2] = {}, found = 0;
    EXPECT_TRUE(table.FindSBsByMatID("glass", handles, 2, &found));
    EXPECT_EQ(found, 2u);
    table.GetSB(d)->GMaterial->MatID = copyText("glass");
    EXPECT_FALSE(table.FindSBsByMatID("glass", handles, 2, &found));
    EXPECT_EQ(std::vector<DWORD>(handles, handles + 2), std::vector<DWORD>({a, c}));

    GMaterial& GM = *table.GetSB(a)->GMaterial;
    EXPECT_EQ(GM.FindStageID("water"), 0xFFFFFFFFu);
    GM.Passes = 2;
    GM.Stages[0] = 1;
    GM.Stages[1] = 3;
    GM.StageName[1][2] = copyText("Water");
    EXPECT_EQ(GM.FindStageID("water"), 0x102u);
    const float m[9] = {1, 2, 3, 4, 5, 6, 2.25f, -0.25f, 9};
    GM.SetStageTextureMatrix(0x102, m);
    const D3DMATRIX* t = GM.TextureMatrix[1][2];
    ASSERT_NE(t, nullptr);
    const D3DMATRIX expected = {1, 2, 3, 0, 4, 5, 6, 0, 0.25f, 0.75f, 9, 0, 0, 0, 0, 1};
    EXPECT_EQ(std::memcmp(t, &expected, sizeof expected), 0);
    // Handles outside the material's passes and stages write nothing.
    GM.SetStageTextureMatrix(0x103, m);
    GM.SetStageTextureMatrix(0x200, m);
    GM.SetStageTextureMatrix(0xFFFFFFFF, m);
    EXPECT_EQ(countReports("IDHandle != 0xffffffff"), 1);
    EXPECT_EQ(GM.TextureMatrixCount, 1u);
}

}  // namespace
