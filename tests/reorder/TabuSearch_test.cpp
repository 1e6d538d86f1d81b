// Tabu searches: the exchange steps (mid, IsCandidate, GetClosestToMid, Move, NumMovables),
// both searches worked by hand, and TabuReorder's random draws under a fixed seed.
#include "GraphProbe.h"

#include <gtest/gtest.h>

using namespace tarvel_test;
using Labels_t = std::vector<long>;
using TabuSearch = ReorderTest;

namespace
{
unsigned Seed42() { return 42; }
}  // namespace

TEST(TabuSteps, MidAndTheDofCarryingIt)
{
    GraphProbe path(3, {{0, 1}, {1, 2}});
    int k = 0;
    EXPECT_EQ(path.mid(k), 1);  // higher neighbour 1: (1 + 1 + 1) / 2
    EXPECT_EQ(k, 1);
    k = 1;
    EXPECT_EQ(path.mid(k), 2);
    EXPECT_EQ(k, 2);
    k = 2;  // no higher neighbour: (L + n + 1) / 2 = 3, carried by nobody
    EXPECT_EQ(path.mid(k), 3);
    EXPECT_EQ(k, 2);
    path.m_pLabel[0] = 2;  // neighbours all lower: (2 + 3 + 1) / 2
    path.m_pLabel[2] = 0;
    k = 0;
    EXPECT_EQ(path.mid(k), 3);
}

TEST(TabuSteps, CandidatesAndTheClosestNeighbour)
{
    GraphProbe path(3, {{0, 1}, {1, 2}});  // stamps 0, m_nStep 0
    EXPECT_TRUE(path.IsCandidate(0, 1));   // M = 1: |1 - 1| < |1 - 0|
    EXPECT_FALSE(path.IsCandidate(1, 0));  // M = 2: |2 - 0| < |2 - 1| fails, stamp 0 < 0 fails
    path.m_nStep = 1;
    EXPECT_TRUE(path.IsCandidate(1, 0));  // stamp 0 < 1
    EXPECT_EQ(path.GetClosestToMid(0), 1);
    EXPECT_EQ(path.GetClosestToMid(1), 2);  // M = 2: DOF 2 sits on it
    EXPECT_EQ(path.GetClosestToMid(2), 2);  // M = 3: nothing closer than 2 itself
    GraphProbe edgeless(2, {});
    EXPECT_EQ(edgeless.GetClosestToMid(1), 1);
}

TEST(TabuSteps, MoveAndMovables)
{
    GraphProbe g(4, kStar);
    g.Move(0, 0);
    EXPECT_EQ(Labels(g), (Labels_t{0, 1, 2, 3}));
    g.Move(0, 2);
    EXPECT_EQ(Labels(g), (Labels_t{2, 1, 0, 3}));
    g.Move(0, 2);
    EXPECT_EQ(Labels(g), (Labels_t{0, 1, 2, 3}));
    EXPECT_EQ(g.NumMovables(2, 0), 0);
    g.m_pTabu[1] = 4;
    EXPECT_EQ(g.NumMovables(2, 1), 2);  // neighbours 0 and 3 have stamp 0 < 1
    EXPECT_EQ(g.NumMovables(2, 5), 3);
}

// Path 0-1-2, identity: step 0 exchanges 0 and 1 (B_f(0) stays 1), step 1 exchanges 1 and 2
// (B_f(1) stays 2), step 2 finds nothing closer and draws a random DOF.
TEST_F(TabuSearch, TabuReorderByHand)
{
    SeedScope seed(Seed42);
    GraphProbe g(3, {{0, 1}, {1, 2}});
    g.TabuReorder();
    EXPECT_EQ(Labels(g), (Labels_t{1, 2, 0}));
    EXPECT_EQ(g.m_nStep, 3);
    EXPECT_EQ(std::vector<long>(g.m_pTabu, g.m_pTabu + 3), (std::vector<long>{1, 2, 2}));
    ASSERT_EQ(m_messages.size(), 1u);
    const std::string& text = m_messages[0];
    EXPECT_EQ(text.substr(text.find("\r\n") + 2),
              " Old bandwidth. :   1\r\n New bandwidth  :   2\r\n Nr. of switches:   2\r\n"
              " Old env        :   3\r\n new env        :   5\r\n");
}

TEST_F(TabuSearch, TabuReorderOnAnEdgelessGraphOnlyDraws)
{
    SeedScope seed(Seed42);
    GraphProbe g(5, {});
    g.TabuReorder();
    EXPECT_EQ(Labels(g), (Labels_t{0, 1, 2, 3, 4}));
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_NE(m_messages[0].find("Nr. of switches:   0\r\n"), std::string::npos);
    // Seeded with 42 and exactly one draw per step: the generator stands after 5 draws.
    TarvelSrand(42);
    for (int i = 0; i < 5; ++i) TarvelRand();
    const int sixth = TarvelRand();
    TarvelSrand(7);  // the run reseeds from the seam, whatever the generator held
    g.TabuReorder();
    EXPECT_EQ(TarvelRand(), sixth);
}

// With m_nStep 5 every DOF is a candidate by its stamp; the best B_f moves each step.
TEST(TabuSteps, TabuReorder2ByHand)
{
    GraphProbe g(3, {{0, 1}, {1, 2}});
    g.TabuReorder2();  // m_nStep 0: no move qualifies
    EXPECT_EQ(Labels(g), (Labels_t{0, 1, 2}));
    g.m_nStep = 5;
    g.TabuReorder2();  // exchanges (0, 1), then (1, 2), then (1, 1)
    EXPECT_EQ(Labels(g), (Labels_t{1, 2, 0}));
    EXPECT_EQ(g.m_nStep, 5);

    GraphProbe edgeless(4, {});
    edgeless.m_nStep = 5;
    edgeless.TabuReorder2();
    EXPECT_EQ(Labels(edgeless), (Labels_t{0, 1, 2, 3}));
    GraphProbe single(1, {}, 0);  // no tabu array yet: one is made, zeroed
    single.TabuReorder2();
    EXPECT_EQ(Labels(single), (Labels_t{0}));
    ASSERT_NE(single.m_pTabu, nullptr);
    EXPECT_EQ(single.m_pTabu[0], 0);
}
