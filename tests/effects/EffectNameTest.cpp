// The effect name and angle value types.
#include "TestSupport.h"
#include "effects/EffectName.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(EffectNameTest, NamesCompareWithoutCaseAndAssignmentGrowsToFit)
{
    CEffectName name("Smoke_Big");
    EXPECT_TRUE(name == "smoke_BIG");
    EXPECT_FALSE(name == "smoke_bi");
    EXPECT_EQ(name.GetSize(), 10u);

    CEffectName& same = name;
    name = same;
    EXPECT_STREQ(name.GetText(), "Smoke_Big");

    CEffectName roomy("a", 40);
    EXPECT_EQ(roomy.GetSize(), 40u);
    roomy = name;
    EXPECT_STREQ(roomy.GetText(), "Smoke_Big");
    EXPECT_EQ(roomy.GetSize(), 40u);

    CEffectName tight("x");
    tight = CEffectName("a much longer name than before");
    EXPECT_STREQ(tight.GetText(), "a much longer name than before");

    CEffectName small("too long for it", 4);  // reported and grown
    EXPECT_STREQ(small.GetText(), "too long for it");
    EXPECT_EQ(testsupport::countReports("size >= needed"), 1);
}

TEST(EffectNameTest, AngleTriplesMakeTheOrientationOfTheirAngles)
{
    const CAngleTriple angles{0.3f, -0.7f, 1.1f};
    Matrix3 m;
    angles.ToMatrix(m);
    // First row (cos b cos a, -cos b sin a, sin b).
    EXPECT_NEAR(m.m[0][0], std::cos(-0.7f) * std::cos(0.3f), 1e-6f);
    EXPECT_NEAR(m.m[0][1], -std::cos(-0.7f) * std::sin(0.3f), 1e-6f);
    EXPECT_NEAR(m.m[0][2], std::sin(-0.7f), 1e-6f);
}

}  // namespace
