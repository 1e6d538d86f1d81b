// Minimum-degree reorderings: labels worked by hand from the algorithms on small graphs, the
// elimination steps of the fourth variant, and the lists left as they were.
#include "GraphProbe.h"

#include <gtest/gtest.h>

using namespace tarvel_test;
using Labels_t = std::vector<long>;
using MinimumDegree = ReorderTest;

namespace
{

Labels_t Reordered(void (CReorderMat::*reorder)(), int n, const ElementList& elements)
{
    GraphProbe g(n, elements);
    const auto lists = Lists(g);
    (g.*reorder)();
    EXPECT_EQ(Lists(g), lists) << "adjacency lists changed";
    return Labels(g);
}

void MinDeg1(CReorderMat& g) { g.MinDegReorder(nullptr); }

}  // namespace

// key(i) = max(0, max over unlabelled neighbours u of (initial degree(u) - k)); label(k) takes
// the chosen DOF's parked value while k is unlabelled.
TEST_F(MinimumDegree, FirstVariantByHand)
{
    auto run = [](int n, const ElementList& e)
    {
        GraphProbe g(n, e);
        MinDeg1(g);
        return Labels(g);
    };
    EXPECT_EQ(run(4, kPath), (Labels_t{0, 2, 1, 3}));
    EXPECT_EQ(run(4, kStar), (Labels_t{1, 2, 0, 3}));  // hub first; DOFs 0, 1 inherit -3
    EXPECT_EQ(run(4, kPieces), (Labels_t{0, 1, 2, 3}));
    EXPECT_EQ(run(9, GridElements(2, 2)), (Labels_t{1, 2, 3, 4, 0, 5, 6, 7, 8}));
    EXPECT_EQ(run(3, {}), (Labels_t{0, 1, 2}));
    EXPECT_EQ(run(1, {}), (Labels_t{0}));
    EXPECT_EQ(m_messages.size(), 6u);
}

// Minimum remaining degree without fill, ties to the lowest DOF.
TEST_F(MinimumDegree, SecondVariantByHand)
{
    auto reorder = &CReorderMat::MinDegReorder2;
    EXPECT_EQ(Reordered(reorder, 3, {{0, 1}, {1, 2}}), (Labels_t{0, 1, 2}));
    EXPECT_EQ(Reordered(reorder, 4, kPath), (Labels_t{2, 0, 1, 3}));
    EXPECT_EQ(Reordered(reorder, 4, kStar), (Labels_t{0, 1, 2, 3}));
    EXPECT_EQ(Reordered(reorder, 4, kPieces), (Labels_t{0, 2, 1, 3}));
    EXPECT_EQ(Reordered(reorder, 9, GridElements(2, 2)), (Labels_t{0, 2, 1, 3, 5, 6, 4, 7, 8}));
    EXPECT_EQ(Reordered(reorder, 3, {}), (Labels_t{0, 1, 2}));
    EXPECT_EQ(Reordered(reorder, 1, {}), (Labels_t{0}));
}

// key(i) = max(|hi - k|, |k - lo|) over the DOF numbers of the neighbours with a negative label.
TEST_F(MinimumDegree, ThirdVariantByHand)
{
    auto reorder = &CReorderMat::MinDegReorder3;
    EXPECT_EQ(Reordered(reorder, 4, kPath), (Labels_t{2, 3, 0, 1}));
    EXPECT_EQ(Reordered(reorder, 4, kStar), (Labels_t{0, 1, 3, 2}));
    EXPECT_EQ(Reordered(reorder, 4, kPieces), (Labels_t{2, 3, 0, 1}));
    EXPECT_EQ(Reordered(reorder, 3, {}), (Labels_t{0, 1, 2}));
    EXPECT_EQ(Reordered(reorder, 1, {}), (Labels_t{0}));
}

// Chains of eliminations: the path is followed end to end, the star from a leaf through the hub.
TEST_F(MinimumDegree, FourthVariantByHand)
{
    auto reorder = &CReorderMat::MinDegReorder4;
    EXPECT_EQ(Reordered(reorder, 4, kPath), (Labels_t{2, 0, 3, 1}));
    EXPECT_EQ(Reordered(reorder, 4, kStar), (Labels_t{0, 1, 2, 3}));
    EXPECT_EQ(Reordered(reorder, 4, kPieces), (Labels_t{0, 2, 1, 3}));
    EXPECT_EQ(Reordered(reorder, 3, {}), (Labels_t{0, 1, 2}));  // one chain per DOF
    EXPECT_EQ(Reordered(reorder, 1, {}), (Labels_t{0}));
    EXPECT_EQ(m_messages.size(), 5u);
}

TEST_F(MinimumDegree, FourthVariantStartsFromTheCurrentLabelling)
{
    // The complement keeps the old order only as "unlabelled"; the result is the same chain.
    GraphProbe g(4, kPath);
    const long start[] = {3, 1, 0, 2};
    std::copy(start, start + 4, g.m_pLabel);
    g.MinDegReorder4();
    EXPECT_EQ(Labels(g), (Labels_t{2, 0, 3, 1}));
}

TEST_F(MinimumDegree, UnionEliminatesIIntoP)
{
    GraphProbe g(4, kPath);                 // 0:[2,3] 1:[3] 2:[0] 3:[0,1]
    EXPECT_EQ(g.UnionAdj_Ex_p_i(0, 3), 2);  // [2] + {1}
    EXPECT_EQ(Lists(g)[0], (std::vector<long>{2, 1}));
    EXPECT_EQ(g.UnionAdj_Ex_p_i(3, 1), 1);  // i's list holds only p: p loses i
    EXPECT_EQ(Lists(g)[3], (std::vector<long>{0}));

    EXPECT_EQ(g.UnionAdj_Ex_p_i(1, 2), 2);  // 2 not in 1's list: nothing removed, 0 added
    EXPECT_EQ(Lists(g)[1], (std::vector<long>{3, 0}));

    GraphProbe pieces(4, kPieces);
    EXPECT_EQ(pieces.UnionAdj_Ex_p_i(2, 0), 0);  // emptied: freed
    EXPECT_EQ(pieces.m_ppData[2], nullptr);
    EXPECT_EQ(pieces.m_pLength[2], 0);
}

TEST_F(MinimumDegree, SetLabelsFollowsTheChainOfSmallestNewDegree)
{
    GraphProbe g(4, kPath);
    for (int i = 0; i < 4; ++i) g.m_pLabel[i] = ~g.m_pLabel[i];
    int label = 0;
    EXPECT_EQ(g.SetLabels(1, label, 0), 1);  // 1, 3, 0, 2; the last DOF has no neighbour left
    EXPECT_EQ(label, 3);
    EXPECT_EQ(Labels(g), (Labels_t{2, 0, 3, 1}));
    EXPECT_EQ(g.m_ppData[2], nullptr);

    // With slack the chain goes on through a neighbour whose degree grows.
    GraphProbe star(4, kStar);
    for (int i = 0; i < 4; ++i) star.m_pLabel[i] = ~star.m_pLabel[i];
    label = 0;
    EXPECT_EQ(star.SetLabels(0, label, 0), 2);  // hub degree 2 is not below 1 + 0 + 1
    EXPECT_EQ(label, 0);
    label = 0;
    BuildGraph(star, 4, kStar);
    for (int i = 0; i < 4; ++i) star.m_pLabel[i] = ~star.m_pLabel[i];
    star.SetLabels(0, label, 1);  // limit 3: the hub follows, then leaf 1, then leaf 3
    EXPECT_EQ(label, 3);
    EXPECT_EQ(Labels(star), (Labels_t{0, 2, 1, 3}));
}

TEST_F(MinimumDegree, CallersFileGetsBothBlocksAndTheReportComesLast)
{
    GraphProbe g(2, {{0, 1}});
    CFile file;
    ASSERT_TRUE(file.Open(m_dir.file("mine.m").c_str(), CFile::modeCreate | CFile::modeReadWrite));
    g.MinDegReorder(&file);
    file.Close();
    const std::string text = read_bytes(m_dir.file("mine.m"));
    EXPECT_EQ(text.rfind("before = sparse(2,2);\r\n", 0), 0u);
    EXPECT_NE(text.find("after = sparse(2,2);\r\n"), std::string::npos);
    EXPECT_NE(text.find("r = symmmd(before);"), std::string::npos);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].rfind("Used time reordering:   0 m ", 0), 0u);
}

// An element naming its only DOF twice gives it degree 2 > n: the start scan finds no degree
// below n and takes the first unlabelled DOF.
TEST_F(MinimumDegree, FourthVariantOnAMalformedSingleDof)
{
    EXPECT_EQ(Reordered(&CReorderMat::MinDegReorder4, 1, {{0, 0}}), (Labels_t{0}));
}
