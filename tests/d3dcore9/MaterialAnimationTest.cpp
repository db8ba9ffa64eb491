#include "d3dcore9/D3DCore.h"
#include "d3dcore9/MaterialAnimation.h"
#include "d3dcore9/RenderMatrix.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

namespace {

std::vector<std::string> tokens(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string t; in >> t;) out.push_back(t);
    return out;
}

class MaterialAnimationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        D3DCore::ResetObject();
        testsupport::clearReports();
    }
    void TearDown() override { D3DCore::ResetObject(); }

    float run(const std::string& program, uint32_t type = MaterialAnimation::OFFSETU)
    {
        std::string bad;
        EXPECT_TRUE(m_anim.CompileBlock(type, tokens(program), &bad)) << bad;
        return m_anim.Evaluate(type, "water.mtl", 250.0f, 3);
    }

    MaterialAnimation m_anim;
};

TEST_F(MaterialAnimationTest, EachOpcodeGivesItsResult)
{
    D3DCore.AnimationTime = 1250.0;
    D3DCore.AlphaFactor = 200;
    for (int i = 0; i < 3; ++i) D3DCore.CameraPosition[i] = static_cast<float>(7 + i);
    // A world matrix turned 30 degrees about z, scaled (2, 3, 4), placed at (10, 20, 30).
    D3DMATRIX& W = D3DCore.WorldMatrix;
    RenderMatrix::identity(W);
    const float c = std::cos(0.5235988f), s = std::sin(0.5235988f);
    W.m[0][0] = 2 * c;
    W.m[0][1] = -2 * s;
    W.m[1][0] = 3 * s;
    W.m[1][1] = 3 * c;
    W.m[2][2] = 4;
    W.m[3][0] = 10;
    W.m[3][1] = 20;
    W.m[3][2] = 30;
    D3DCore.RandomFloats[3] = 0.25f;
    D3DCore.RandomBytes[2][3] = 77;
    D3DCore.RandomBytes[0][511] = 12;

    struct Case {
        const char* program;
        double expected;
    };
    const Case cases[] = {
        {"2 3 subtract", -1},    {"3 2 divide", 1.5},    {"-0.5 0 1 wrap", 0.5},  {"-7 0 5 clamp", 0},
        {"-1.5 1 quantise", -2.0001}, {"90 sin", 1},     {"worldz", 30},          {"cameray", 8},
        {"worldzangle", 30},     {"scaley", 3},          {"reltime", 1000},       {"festate", 3},
        {"0.25 softtriangle", 0.5}, {"1.5 square", 1},   {"-0.25 saw", 0.75},     {"1.4 1 1 pulse", 0},
        {"0.5 10 20 map", 15},   {"1 2 10 20 ifgt", 20}, {"5 1 5 10 20 ifbt", 20}, {"1 2 swap subtract", 1},
        {"alphafactor", 200},    {"time 1000 divide 360 multiply sin", std::sin(1.25 * 2 * 3.14159265358979)},
    };
    for (const Case& k : cases) EXPECT_NEAR(run(k.program), k.expected, 1e-4) << k.program;

    // The unique tables are read at the object's index, wrapped into their 512 entries.
    D3DCore.UniqueIndex = 515;
    EXPECT_FLOAT_EQ(run("uniquefloat"), 0.25f);
    EXPECT_FLOAT_EQ(run("uniquebyte3"), 77);
    D3DCore.UniqueIndex = -1;
    EXPECT_FLOAT_EQ(run("uniquebyte1"), 12);
    EXPECT_EQ(testsupport::reports().size(), 0u);

    // A world matrix without an x axis has no z angle.
    W.m[0][0] = W.m[0][1] = 0;
    EXPECT_EQ(run("worldzangle"), 0.0f);
    EXPECT_EQ(testsupport::countReports("false"), 1);
}

TEST_F(MaterialAnimationTest, AbsentBlocksAndWrongResultCounts)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float absent[MaterialAnimation::NUM_BLOCK_TYPES] = {1, 1, 0, 0, 0, 0, 0, 0, 0, inf, inf, inf, inf, 0};
    for (uint32_t t = 0; t < MaterialAnimation::NUM_BLOCK_TYPES; ++t)
        EXPECT_EQ(m_anim.Evaluate(t, "m", 0, 0), absent[t]) << MaterialAnimation::BlockHeading(t);

    // Two results: reported with the material, and the first value pushed is the answer.
    EXPECT_EQ(run("1 2", MaterialAnimation::SCALEU), 1.0f);
    EXPECT_EQ(testsupport::countReports("Instruction block returns 2 results. 1 expected\nStateBlock: water.mtl"), 1);
    // None at all: the block's absent value. Shader registers must leave nothing behind.
    EXPECT_EQ(run("1 0 0 vregister", MaterialAnimation::SCALEV), 1.0f);
    EXPECT_EQ(run("1", MaterialAnimation::SHADERREGISTERS), 0.0f);
    EXPECT_EQ(testsupport::reports().size(), 3u);
    EXPECT_EQ(m_anim.StackSize, 0);
    // An unknown word refuses the block, leaving it as it was; an unset instruction is passed over.
    std::string bad;
    EXPECT_FALSE(m_anim.CompileBlock(MaterialAnimation::SCALEU, tokens("time 1000 divde"), &bad));
    EXPECT_EQ(bad, "divde");
    EXPECT_EQ(m_anim.InstructionCount[MaterialAnimation::SCALEU], 2);
    ASSERT_TRUE(m_anim.Allocate(MaterialAnimation::OFFSETU, 2));
    m_anim.SetConstant(MaterialAnimation::OFFSETU, 0, 0.5f);
    EXPECT_EQ(m_anim.Evaluate(MaterialAnimation::OFFSETU, "m", 0, 0), 0.5f);
}

TEST_F(MaterialAnimationTest, StackFaultsStopTheBlockInsideTheStack)
{
    std::string pushes;
    for (int i = 0; i < 33; ++i) pushes += "1 ";
    EXPECT_EQ(run(pushes, MaterialAnimation::SCALEU), 1.0f);
    EXPECT_EQ(testsupport::countReports("StackSize < STACKSIZE"), 1);
    EXPECT_EQ(run(pushes, MaterialAnimation::RFACTOR), std::numeric_limits<float>::infinity());
    EXPECT_EQ(run("add", MaterialAnimation::ROTATE), 0.0f);
    EXPECT_EQ(testsupport::countReports("StackSize >= 2"), 1);
    EXPECT_EQ(run("1 2 ifbt 4 add"), 0.0f);
    EXPECT_EQ(testsupport::countReports("StackSize >= 5"), 1);
    EXPECT_EQ(run("duplicate"), 0.0f);
    EXPECT_EQ(testsupport::countReports("StackSize != 0"), 1);
    EXPECT_EQ(m_anim.StackSize, 0);
}

TEST_F(MaterialAnimationTest, RegisterWritesTruncateAndRefuseOutOfRange)
{
    EXPECT_EQ(run("0.5 4 2 vregister", MaterialAnimation::SHADERREGISTERS), 0.0f);
    EXPECT_FLOAT_EQ(D3DCore.VertexShaderConstants[4][2], 0.5f);
    run("0.25 95.9 3.7 vregister 0.75 7.5 1.2 pregister", MaterialAnimation::SHADERREGISTERS);
    EXPECT_FLOAT_EQ(D3DCore.VertexShaderConstants[95][3], 0.25f);
    EXPECT_FLOAT_EQ(D3DCore.PixelShaderConstants[7][1], 0.75f);
    EXPECT_EQ(testsupport::reports().size(), 0u);

    struct Case {
        const char* program;
        const char* report;
    };
    const Case refused[] = {
        {"1 96 0 vregister", "Register failed: Illegal vregister number in animation"},
        {"1 -1 0 vregister", "number"}, {"1 0 4 vregister", "conponent"}, {"1 8 0 pregister", "number"},
        {"1 0 -1 pregister", "conponent"}, {"8 plight", "plight"}, {"1 0 0 -1 pcustomlight", "plight"},
    };
    for (const Case& k : refused) {
        testsupport::clearReports();
        run(k.program, MaterialAnimation::SHADERREGISTERS);
        EXPECT_EQ(testsupport::countReports(k.report), 1) << k.program;
    }
    EXPECT_EQ(D3DCore.VertexShaderConstants[0][0], 0.0f);  // nothing was written

    // The light colour as 0..1; a custom light direction into object space, mapped to 0..1.
    D3DCore.LightColour[0] = 255;
    D3DCore.LightColour[1] = 51;
    RenderMatrix::buildRotationZ(D3DCore.WorldMatrix, 1.5707964f);
    run("2 plight 0 0 -2 3 pcustomlight", MaterialAnimation::SHADERREGISTERS);
    const float* l = D3DCore.PixelShaderConstants[2];
    const float* n = D3DCore.PixelShaderConstants[3];
    EXPECT_EQ(std::vector<float>({l[0], l[1], l[3], n[2]}), std::vector<float>({1, 0.2f, 0, 1}));
    EXPECT_NEAR(n[0], 0.5f, 1e-6);
}

}  // namespace
