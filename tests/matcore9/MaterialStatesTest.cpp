#include "MatFixture.h"

using testsupport::countReports;

namespace {

class MaterialStatesTest : public MatFixture {
protected:
    void SetUp() override
    {
        MatFixture::SetUp();
        ASSERT_TRUE(bringUp());
    }

    void TearDown() override
    {
        for (GMaterial* GM : m_materials) GM->Release();
        MatFixture::TearDown();
    }

    GMaterial* make(std::vector<DWORD> stages)
    {
        m_materials.push_back(newMaterial("m", stages));
        return m_materials.back();
    }

    std::vector<GMaterial*> m_materials;
    StateBlockTable& table = D3DCore.StateBlocks;
};

TEST_F(MaterialStatesTest, PassZeroKeepsTheLastOfEachMandatoryStateAndGainsTheMissingOnes)
{
    GMaterial* GM = make({2});
    table.BeginRecordPass(GM, 0);
    table.RecordRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    table.RecordRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    table.RecordRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);  // rare: duplicates stay
    table.RecordRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    table.RecordRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    table.RecordRenderState(D3DRS_ZWRITEENABLE, FALSE);
    table.RecordRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    table.RecordStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    table.RecordStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
    table.RecordStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    MatCore.CompleteMaterialStates(GM, 0);
    table.EndRecord();
    const std::vector<std::vector<DWORD>> expected = {
        {NODE_RENDERSTATE, 0, D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
        {NODE_RENDERSTATE, 0, D3DRS_SRCBLEND, D3DBLEND_ONE},
        {NODE_RENDERSTATE, 0, D3DRS_CULLMODE, D3DCULL_NONE},
        {NODE_RENDERSTATE, 0, D3DRS_ZENABLE, D3DZB_FALSE},
        {NODE_RENDERSTATE, 0, D3DRS_ZWRITEENABLE, FALSE},
        {NODE_RENDERSTATE, 0, D3DRS_ALPHABLENDENABLE, TRUE},
        {NODE_STAGESTATE, 0, D3DTSS_COLOROP, D3DTOP_SELECTARG1},
        {NODE_STAGESTATE, 1, D3DTSS_COLOROP, D3DTOP_DISABLE},
        // Added with their defaults: LIGHTING, then per stage ALPHAOP.
        {NODE_RENDERSTATE, 0, D3DRS_LIGHTING, FALSE},
        {NODE_STAGESTATE, 0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1},
        {NODE_STAGESTATE, 1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1},
    };
    EXPECT_EQ(nodes(GM->PassStates[0]), expected);
    EXPECT_EQ(MatCore.Warnings, 5u);
}

TEST_F(MaterialStatesTest, AMissingAlwaysStateEndsTheRunWithOneErrorPrefix)
{
    MatCore.SetRenderStateDefault(D3DRS_CULLMODE, D3DCULL_CCW, ST_ALWAYS);
    GMaterial* GM = make({1});
    table.BeginRecordPass(GM, 0);
    try {
        MatCore.CompleteMaterialStates(GM, 0);
        FAIL() << "the run went on";
    } catch (const testsupport::ProcessExit& e) {
        EXPECT_EQ(e.code, 1);
    }
    table.EndRecord();
    EXPECT_EQ(countReports("Error: Missing state <cullmode> in material m"), 1);
    EXPECT_EQ(countReports("Error: Error:"), 0);
}

TEST_F(MaterialStatesTest, RestoreListResetsRareStatesTheLastPassLeavesChanged)
{
    GMaterial* GM = make({2, 1});
    table.BeginRecordPass(GM, 0);
    table.RecordRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);  // the default
    table.RecordRenderState(D3DRS_FOGENABLE, TRUE);
    table.RecordRenderState(D3DRS_CULLMODE, D3DCULL_NONE);  // alwaysw: set by every material
    table.RecordStageState(1, D3DTSS_COLORARG1, 0);
    table.RecordStageState(0, 100 + D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    table.EndRecord();
    table.BeginRecordPass(GM, 1);
    table.RecordRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    table.RecordRenderState(D3DRS_FOGENABLE, FALSE);  // back to the default by the last pass
    table.RecordStageState(0, 100 + D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
    table.RecordStageState(1, D3DTSS_COLORARG2, 0);  // stage 1 is not in pass 1
    table.EndRecord();
    MatCore.BuildRestoreList(GM);
    const std::vector<std::vector<DWORD>> expected = {
        {NODE_RENDERSTATE, 0, D3DRS_DESTBLEND, D3DBLEND_ZERO},
        {NODE_STAGESTATE, 1, D3DTSS_COLORARG1, 2},
    };
    EXPECT_EQ(nodes(GM->RestoreStates), expected);
    EXPECT_FALSE(table.RecordStarted);
}

}  // namespace
