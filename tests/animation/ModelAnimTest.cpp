#include "AnimTestSupport.h"

#include <cmath>

using testsupport::countReports;
using V = std::vector<float>;

namespace {

// Every node holds one pose for 1000 ms.
std::string still(const std::string& hierarchy, const std::string& parts) { return "#HIERARCHY\n" + hierarchy + parts; }
std::string track(const std::string& node, const char* channel, const std::string& values)
{
    return "#NAME:\"" + node + "\"\n#TRACK:" + channel + " #CONTROLLER:Linear\n0[" + values + "] 4800[" + values + "]\n";
}

}  // namespace

// Names bind without regard to case; a dummy, the node the class lacks and every node after it stay
// unbound and write nothing, whatever their creation index; a node past the model's nodes is
// refused; an animation that did not load or a missing class or instance binds nothing.
TEST_F(ModelAnimFixture, OnlyBoundNodesAreWritten)
{
    CModelInst* inst = robotInstance();
    ASSERT_EQ(4u, inst ? inst->GetNumAnimNodes() : 0);
    const CModelClass* robot = classNamed("robot");

    m_dir.write("partial.txt", still("\"x\" \"none\"\n\"tail\" \"ROOT\"\n\"armL\" \"ROOT\"\n\"d\" \"ROOT\" #DUMMY\n",
                                     track("ROOT", "POS", "1,2,3") + track("armL", "POS", "7,7,7") +
                                         track("d", "POS", "9,9,9")));
    CModelAnim partial("partial.txt");
    EXPECT_FALSE(partial.Attach(robot, inst));
    EXPECT_EQ(1, countReports("Cant find animation node tail in model with class robot"));
    partial.Play(100);
    // armL (after the unknown node), its creation index and the dummy's keep their places.
    EXPECT_EQ(V({1, 2, 3, 10, 0, 0, 0, 20, 0, 0, 5, 0}), positions(inst));

    m_dir.write("data/classdef/big.def", modelwriter::classFile({{"big", {"root", "armL", "armR", "hand", "leg"}}}));
    m_dir.write("leg.txt", still("\"x\" \"none\"\n\"leg\" \"root\"\n", track("root", "POS", "4,4,4") + track("leg", "POS", "5,5,5")));
    CModelAnim leg("leg.txt");
    EXPECT_TRUE(leg.Attach(classNamed("big"), inst));
    leg.Play(0);
    EXPECT_EQ(1, countReports("index < pModel->GetNumAnimNodes()"));
    EXPECT_EQ(4.0f, positions(inst)[0]);

    CModelAnim missing("none.txt");
    EXPECT_FALSE(missing.Attach(robot, inst));
    EXPECT_FALSE(leg.Attach(nullptr, inst));
    EXPECT_FALSE(leg.Attach(robot, nullptr));
    missing.Play(100);
    EXPECT_EQ(4.0f, positions(inst)[0]);
}

// Distance 0 shows the other animation's pose and 1 this one's; between them translations and
// scales mix linearly and rotations spherically. A distance past 1 is reported twice and used as 1.
TEST_F(ModelAnimFixture, PlayBlendMixesTheTwoPoses)
{
    CModelInst* inst = robotInstance();
    ASSERT_NE(nullptr, inst);
    const std::string hierarchy = "\"x\" \"none\"\n\"armL\" \"root\"\n";
    m_dir.write("a.txt", still(hierarchy, track("root", "POS", "100,0,0") + track("root", "SCA", "3,3,3") +
                                              track("armL", "ROT", "0.70710678,0,0,0.70710678")));
    m_dir.write("b.txt", still(hierarchy, track("root", "POS", "0,0,0") + track("armL", "ROT", "1,0,0,0")));
    CModelAnim a("a.txt"), b("b.txt");
    ASSERT_TRUE(a.Attach(classNamed("robot"), inst));
    const struct { float distance, x, scale, cosine; } rows[] = {
        {0, 0, 1, 1}, {0.5f, 50, 2, 0.70710678f}, {1, 100, 3, 0}, {0.25f, 25, 1.5f, 0.92387953f}, {1.5f, 100, 3, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.distance);
        a.PlayBlend(40, &b, row.distance);
        const CModelTransform& root = *inst->GetAnimNode(0);
        const CModelTransform& arm = *inst->GetAnimNode(1);
        EXPECT_NEAR(row.x, root.Translation[0], 1e-4f);
        EXPECT_NEAR(row.scale, root.Scale[1], 1e-4f);
        EXPECT_NEAR(row.cosine, arm.Rotation[0], 1e-5f);
        EXPECT_NEAR(std::sqrt(1 - row.cosine * row.cosine), std::fabs(arm.Rotation[1]), 1e-4f);
        EXPECT_FLOAT_EQ(1.0f, arm.Rotation[8]);  // about z alone
    }
    EXPECT_EQ(1, countReports("Distance greater than 1 passed into PlayBlend"));
    EXPECT_EQ(1, countReports("Distance for blend is not in range 0 to 1"));
    EXPECT_NEAR(0.2f, b.CurrentFrame, 1e-5f);  // the other one advances too
    // A node with children against one without is reported.
    m_dir.write("c.txt", still(hierarchy + "\"hand\" \"armL\"\n", track("hand", "POS", "1,1,1")));
    CModelAnim c("c.txt");
    c.PlayBlend(0, &a, 1);
    EXPECT_EQ(1, countReports("Failed to treverse second hierarchy"));
}
