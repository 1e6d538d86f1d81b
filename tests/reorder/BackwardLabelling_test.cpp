// Backward labellings: labels worked by hand from the algorithms, the scoring steps (MinZ, S_k,
// d_k, WFun), and the state each run leaves behind.
#include "GraphProbe.h"

#include <gtest/gtest.h>

using namespace tarvel_test;
using Labels_t = std::vector<long>;
using BackwardLabelling = ReorderTest;

namespace
{

Labels_t Reordered(void (CReorderMat::*reorder)(), int n, const ElementList& elements, int type = 1)
{
    GraphProbe g(n, elements, type);
    const auto lists = Lists(g);
    (g.*reorder)();
    EXPECT_EQ(Lists(g), lists) << "adjacency lists changed";
    EXPECT_EQ(g.m_nStep, -1);
    EXPECT_EQ(g.m_pList, nullptr);
    return Labels(g);
}

}  // namespace

// Most labelled neighbours first (ties to the smaller DOF); the start is a DOF of smallest
// degree, the highest-numbered one.
TEST_F(BackwardLabelling, Hager1ByHand)
{
    auto reorder = &CReorderMat::Hager1;
    EXPECT_EQ(Reordered(reorder, 3, {{0, 1}, {1, 2}}), (Labels_t{0, 1, 2}));
    EXPECT_EQ(Reordered(reorder, 4, kPath), (Labels_t{2, 0, 3, 1}));
    EXPECT_EQ(Reordered(reorder, 4, kStar), (Labels_t{1, 0, 2, 3}));
    EXPECT_EQ(Reordered(reorder, 4, kPieces), (Labels_t{1, 2, 0, 3}));
    EXPECT_EQ(Reordered(reorder, 9, GridElements(2, 2)), (Labels_t{1, 4, 3, 2, 7, 6, 0, 5, 8}));
    EXPECT_EQ(Reordered(reorder, 3, {}), (Labels_t{1, 0, 2}));
    EXPECT_EQ(Reordered(reorder, 1, {}), (Labels_t{0}));
    // Without a tabu array (type 0) one is made for the counts.
    EXPECT_EQ(Reordered(reorder, 4, kPath, 0), (Labels_t{2, 0, 3, 1}));
}

// Largest truncated S_k, ties to the last list position.
TEST_F(BackwardLabelling, Hager2ByHand)
{
    auto reorder = &CReorderMat::Hager2;
    EXPECT_EQ(Reordered(reorder, 3, {{0, 1}, {1, 2}}), (Labels_t{0, 2, 1}));
    EXPECT_EQ(Reordered(reorder, 4, kPath), (Labels_t{1, 2, 0, 3}));
    EXPECT_EQ(Reordered(reorder, 4, kStar), (Labels_t{0, 1, 3, 2}));
    EXPECT_EQ(Reordered(reorder, 4, kPieces), (Labels_t{0, 2, 1, 3}));
    EXPECT_EQ(Reordered(reorder, 3, {}), (Labels_t{0, 1, 2}));
    EXPECT_EQ(Reordered(reorder, 1, {}), (Labels_t{0}));
}

// Cached scores: on the path DOF 1 keeps 6.67 + 10 from the first step and loses to DOF 0.
TEST_F(BackwardLabelling, Hager3ByHand)
{
    auto reorder = &CReorderMat::Hager3;
    EXPECT_EQ(Reordered(reorder, 4, kPath), (Labels_t{2, 0, 1, 3}));
    EXPECT_EQ(Reordered(reorder, 4, kStar), (Labels_t{0, 1, 3, 2}));
    EXPECT_EQ(Reordered(reorder, 4, kPieces), (Labels_t{0, 2, 1, 3}));
    EXPECT_EQ(Reordered(reorder, 3, {}), (Labels_t{0, 1, 2}));
    EXPECT_EQ(Reordered(reorder, 1, {}), (Labels_t{0}));
}

TEST_F(BackwardLabelling, Hager1LeavesTheCountsInTheTabuArray)
{
    GraphProbe g(4, kPath);
    g.Hager1();
    // Every DOF is counted once per neighbour: the counts are the degrees.
    EXPECT_EQ(std::vector<long>(g.m_pTabu, g.m_pTabu + 4), (std::vector<long>{2, 1, 1, 2}));
}

TEST(BackwardLabellingSteps, WeightFunction)
{
    GraphProbe g;
    EXPECT_EQ(g.WFun(201), 0.1f);
    EXPECT_EQ(g.WFun(200), 0.1f);
    EXPECT_EQ(g.WFun(4), 5.0f);
    EXPECT_EQ(g.WFun(3), 20.0f / 3.0f);
    EXPECT_EQ(g.WFun(1), 20.0f);
}

TEST(BackwardLabellingSteps, MinZTakesTheLargestCountTiesToTheSmallerDof)
{
    GraphProbe g(4, kPath);
    long list[] = {3, 1, 2, 0};
    const long count[] = {2, 2, 1, 2};
    std::copy(count, count + 4, g.m_pTabu);
    g.m_pList = list;
    g.m_nStep = 2;  // positions 0..2 hold DOFs 3, 1, 2
    EXPECT_EQ(g.MinZ(), 1);
    g.m_nStep = 3;  // DOF 0 joins with count 2 and the smallest number
    EXPECT_EQ(g.MinZ(), 3);
    g.m_nStep = -1;
    EXPECT_EQ(g.MinZ(), 0);
    g.m_pList = nullptr;
}

TEST(BackwardLabellingSteps, ScoreOfACandidate)
{
    GraphProbe g(4, kPath);  // 0:[2,3] 1:[3] 2:[0] 3:[0,1]
    g.InitLabels(-1);
    g.m_pLabel[3] = 3;
    g.m_nStep = 2;
    for (int k = 0; k < 4; ++k) EXPECT_EQ(g.d_k(k), g.r_k(k));
    EXPECT_EQ(g.d_k(3), 2);
    EXPECT_EQ(g.d_k(1), 0);
    EXPECT_EQ(g.S_k(1), 30.0f);  // WFun(d_k(3) = 2) + WFun(min(2 - 0 + 1, 0 + 1))
    EXPECT_EQ(g.S_k(0), 20.0f);  // WFun(2) + WFun(min(2 - 1 + 1, 1 + 1))
    EXPECT_EQ(g.S_k(2), 10.0f);  // no labelled neighbour: WFun(2)
}

// Degree 2 for one DOF (an element naming it twice): no degree is below n + 1, so the start
// is the highest DOF.
TEST_F(BackwardLabelling, Hager1OnAMalformedSingleDof)
{
    EXPECT_EQ(Reordered(&CReorderMat::Hager1, 1, {{0, 0}}), (Labels_t{0}));
}
