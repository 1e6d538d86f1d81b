// The reorderings worked by hand from their algorithms on small graphs (labels, the lists left
// as they were, the state each run leaves), and their steps: the elimination of the fourth
// minimum-degree variant, the scores of the backward labellings, the exchanges of the tabu
// searches and TabuReorder's random draws under a fixed seed.
#include "GraphProbe.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace tarvel_test;
using Reorderings = ReorderTest;

namespace
{

unsigned Seed42() { return 42; }

// path 0-1-2, path 2-0-3-1, star, two pieces, the 3x3 grid, three DOFs without edges, one DOF.
const std::pair<int, ElementList> kGraphs[] = {
    {3, {{0, 1}, {1, 2}}},   {4, kPath}, {4, kStar}, {4, kPieces},
    {9, GridElements(2, 2)}, {3, {}},    {1, {}}};

// The labels of DOFs 0, 1, 2, ... as digits, one group per graph of kGraphs ("-": not worked by
// hand). Every run starts with m_nStep 5, which only TabuReorder2 reads: every DOF is then a
// candidate by its stamp.
const std::tuple<const char*, void (*)(CReorderMat&), const char*> kWorked[] = {
    // key(i) = max(0, max over unlabelled neighbours u of (initial degree(u) - k)); label(k)
    // takes the chosen DOF's parked value while k is unlabelled (the star's leaves inherit -3).
    {"MinDeg", [](CReorderMat& g) { g.MinDegReorder(nullptr); },
     "- 0213 1203 0123 123405678 012 0"},
    // Minimum remaining degree without fill, ties to the lowest DOF.
    {"MinDeg2", [](CReorderMat& g) { g.MinDegReorder2(); }, "012 2013 0123 0213 021356478 012 0"},
    // key(i) = max(|hi - k|, |k - lo|) over the DOF numbers of the neighbours still negative.
    {"MinDeg3", [](CReorderMat& g) { g.MinDegReorder3(); }, "- 2301 0132 2301 - 012 0"},
    // Chains of eliminations: the path end to end, the star from a leaf through the hub; one
    // chain per DOF without edges.
    {"MinDeg4", [](CReorderMat& g) { g.MinDegReorder4(); }, "- 2031 0123 0213 - 012 0"},
    // Most labelled neighbours first (ties to the smaller DOF), from the highest-numbered DOF of
    // smallest degree.
    {"Hager1", [](CReorderMat& g) { g.Hager1(); }, "012 2031 1023 1203 143276058 102 0"},
    // Largest truncated S_k, ties to the last list position.
    {"Hager2", [](CReorderMat& g) { g.Hager2(); }, "021 1203 0132 0213 - 012 0"},
    // Cached scores: on the path DOF 1 keeps 6.67 + 10 from the first step and loses to DOF 0.
    {"Hager3", [](CReorderMat& g) { g.Hager3(); }, "- 2013 0132 0213 - 012 0"},
    // Path 0-1-2: step 0 exchanges 0 and 1 (B_f(0) stays 1), step 1 exchanges 1 and 2 (B_f(1)
    // stays 2), step 2 finds nothing closer and draws a DOF. Without edges: only draws.
    {"Tabu", [](CReorderMat& g) { g.TabuReorder(); }, "120 - - - - 012 0"},
    // Exchanges (0, 1), then (1, 2), then (1, 1). Without edges every score is 0: no move.
    {"Tabu2", [](CReorderMat& g) { g.TabuReorder2(); }, "120 - - - - 012 0"},
};

}  // namespace

// Each worked case under both graph types (without a tabu array, the backward labellings and
// the tabu searches make one, choice); the lists are left as they were, the backward labellings
// leave m_nStep at -1 and no candidate list (choice), and every run but TabuReorder2 reports.
TEST_F(Reorderings, LabelsWorkedByHand)
{
    SeedScope seed(Seed42);
    for (const auto& [name, run, labels] : kWorked)
    {
        std::istringstream expected(labels);
        for (const auto& [n, elements] : kGraphs)
        {
            std::string digits;
            expected >> digits;
            for (int type = 0; type < 2 && digits != "-"; ++type)
            {
                SCOPED_TRACE(::testing::Message() << name << " n " << n << " type " << type);
                GraphProbe g(n, elements, type);
                g.m_nStep = 5;
                m_messages.clear();
                run(g);
                std::string got;
                for (long label : Labels(g)) got += static_cast<char>('0' + label);
                EXPECT_EQ(got, digits);
                EXPECT_EQ(Lists(g), Lists(GraphProbe(n, elements)));
                EXPECT_EQ(m_messages.size(), std::string(name) == "Tabu2" ? 0u : 1u);
                const bool backward = std::string(name).rfind("Hager", 0) == 0;
                EXPECT_TRUE(!backward || (g.m_nStep == -1 && g.m_pList == nullptr));
            }
        }
    }
    // An element naming its only DOF twice gives it degree 2: no degree is below the scans'
    // starting values, and they take the first candidate (choice).
    for (auto run : {&CReorderMat::MinDegReorder4, &CReorderMat::Hager1})
    {
        GraphProbe g(1, {{0, 0}});
        (g.*run)();
        EXPECT_EQ(Labels(g), Labels_t{0});
    }
}

// The elimination of MinDegReorder4: UnionAdj_Ex_p_i(p, i) merges i's list into p's, without
// p and the entries p has; a list emptied is freed. SetLabels follows the chain of smallest
// new degree while it is below length(v) + slack + 1.
TEST_F(Reorderings, EliminationAndBackwardLabellingSteps)
{
    GraphProbe g(4, kPath);                 // 0:[2,3] 1:[3] 2:[0] 3:[0,1]
    EXPECT_EQ(g.UnionAdj_Ex_p_i(0, 3), 2);  // [2] + {1}
    EXPECT_EQ(g.UnionAdj_Ex_p_i(3, 1), 1);  // i's list holds only p: p loses i
    EXPECT_EQ(g.UnionAdj_Ex_p_i(1, 2), 2);  // 2 is not in 1's list: nothing removed, DOF 0 added
    EXPECT_EQ(Lists(g), (Lists_t{{2, 1}, {3, 0}, {0}, {0}}));
    GraphProbe pieces(4, kPieces);
    EXPECT_EQ(pieces.UnionAdj_Ex_p_i(2, 0), 0);
    EXPECT_TRUE(!pieces.m_ppData[2] && pieces.m_pLength[2] == 0);

    auto complemented = [](const ElementList& e)  // every DOF unlabelled, as the variant starts
    {
        GraphProbe c(4, e);
        for (int i = 0; i < 4; ++i) c.m_pLabel[i] = ~c.m_pLabel[i];
        return c;
    };
    GraphProbe path = complemented(kPath);
    int label = 0;
    EXPECT_EQ(path.SetLabels(1, label, 0), 1);  // 1, 3, 0, 2
    EXPECT_EQ(label, 3);
    EXPECT_EQ(Labels(path), (Labels_t{2, 0, 3, 1}));
    GraphProbe star = complemented(kStar);
    label = 0;
    EXPECT_EQ(star.SetLabels(0, label, 0), 2);  // the hub's degree 2 is not below 1 + 0 + 1
    EXPECT_EQ(label, 0);
    star = complemented(kStar);
    star.SetLabels(0, label, 1);  // limit 3: the hub follows, then leaf 1, then leaf 3
    EXPECT_EQ(label, 3);
    EXPECT_EQ(Labels(star), (Labels_t{0, 2, 1, 3}));

    // The scores of the backward labellings, and Hager1's counts left in the tabu array.
    GraphProbe probe;
    EXPECT_EQ(std::tuple(probe.WFun(201), probe.WFun(200), probe.WFun(4), probe.WFun(1)),
              std::tuple(0.1f, 0.1f, 5.0f, 20.0f));

    GraphProbe walk(4, kPath);  // 0:[2,3] 1:[3] 2:[0] 3:[0,1]
    walk.InitLabels(-1);
    walk.m_pLabel[3] = 3;
    walk.m_nStep = 2;
    for (int k = 0; k < 4; ++k) EXPECT_EQ(walk.d_k(k), walk.r_k(k));
    EXPECT_EQ(std::pair(walk.d_k(3), walk.d_k(1)), std::pair(2, 0));
    EXPECT_EQ(walk.S_k(1), 30.0f);  // WFun(d_k(3) = 2) + WFun(min(2 - 0 + 1, 0 + 1))
    EXPECT_EQ(walk.S_k(0), 20.0f);  // WFun(2) + WFun(min(2 - 1 + 1, 1 + 1))
    EXPECT_EQ(walk.S_k(2), 10.0f);  // no labelled neighbour: WFun(2)

    long list[] = {3, 1, 2, 0};
    std::copy_n(Labels_t{2, 2, 1, 2}.begin(), 4, walk.m_pTabu);  // counts
    walk.m_pList = list;
    walk.m_nStep = 2;  // positions 0..2 hold DOFs 3, 1, 2
    EXPECT_EQ(walk.MinZ(), 1);
    walk.m_nStep = 3;  // DOF 0 joins with count 2 and the smallest number
    EXPECT_EQ(walk.MinZ(), 3);
    walk.m_nStep = -1;
    EXPECT_EQ(walk.MinZ(), 0);
    walk.m_pList = nullptr;

    GraphProbe counted(4, kPath);
    counted.Hager1();  // every DOF counted once per neighbour: the degrees
    EXPECT_EQ(Labels_t(counted.m_pTabu, counted.m_pTabu + 4), (Labels_t{2, 1, 1, 2}));
}

// mid, IsCandidate, GetClosestToMid, Move and NumMovables on the path 0-1-2 and the star.
TEST_F(Reorderings, TabuStepsAndSeed)
{
    GraphProbe path(3, {{0, 1}, {1, 2}});  // identity labels, stamps 0, m_nStep 0
    for (auto [k, M, carrier] : {std::tuple{0, 1, 1}, {1, 2, 2}, {2, 3, 2}})
    {
        int v = k;  // (hi + lo + 1) / 2 over the higher neighbours; (L + n + 1) / 2 without
        EXPECT_EQ(path.mid(v), M);
        EXPECT_EQ(v, carrier);
    }
    EXPECT_TRUE(path.IsCandidate(0, 1));   // M = 1: |1 - 1| < |1 - 0|
    EXPECT_FALSE(path.IsCandidate(1, 0));  // M = 2: |2 - 0| < |2 - 1| fails, stamp 0 < 0 too
    path.m_nStep = 1;
    EXPECT_TRUE(path.IsCandidate(1, 0));  // stamp 0 < 1
    EXPECT_EQ(std::tuple(path.GetClosestToMid(0), path.GetClosestToMid(1), path.GetClosestToMid(2)),
              std::tuple(1, 2, 2));
    EXPECT_EQ(GraphProbe(2, {}).GetClosestToMid(1), 1);

    GraphProbe star(4, kStar);
    star.Move(0, 0);
    star.Move(0, 2);
    EXPECT_EQ(Labels(star), (Labels_t{2, 1, 0, 3}));
    star.Move(0, 2);
    EXPECT_EQ(Labels(star), (Labels_t{0, 1, 2, 3}));
    EXPECT_EQ(star.NumMovables(2, 0), 0);
    star.m_pTabu[1] = 4;
    EXPECT_EQ(std::pair(star.NumMovables(2, 1), star.NumMovables(2, 5)), std::pair(2, 3));

    // TabuReorder seeds through the seam and draws once per step on a graph without edges: after a
    // run seeded with 42 over 5 DOFs the generator stands where 5 draws leave it, whatever it held.
    SeedScope seed(Seed42);
    TarvelSrand(42);
    for (int i = 0; i < 5; ++i) TarvelRand();
    const int sixth = TarvelRand();
    TarvelSrand(7);
    GraphProbe g(5, {});
    g.TabuReorder();
    EXPECT_EQ(TarvelRand(), sixth);
    EXPECT_EQ(Labels(g), (Labels_t{0, 1, 2, 3, 4}));
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_NE(m_messages[0].find("Nr. of switches:   0\r\n"), std::string::npos);
}
