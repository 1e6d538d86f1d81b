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

// The steps with a result of their own: MinDegReorder4's UnionAdj_Ex_p_i(p, i) merges i's list
// into p's, without p and the entries p has (a list emptied is freed); the backward labellings'
// weights WFun and scores S_k (WFun(d_k) plus WFun(min(k - d + 1, d + 1)) over labelled
// neighbours); the tabu searches' mid, with the carrier of the higher neighbours; Hager1's counts
// left in the tabu array. TabuReorder seeds through the seam and draws once per step on a
// graph without edges: after a run seeded with 42 over 5 DOFs the generator stands where 5
// draws leave it, whatever it held.
TEST_F(Reorderings, Steps)
{
    GraphProbe g(4, kPath);                 // 0:[2,3] 1:[3] 2:[0] 3:[0,1]
    EXPECT_EQ(g.UnionAdj_Ex_p_i(0, 3), 2);  // [2] + {1}
    EXPECT_EQ(g.UnionAdj_Ex_p_i(3, 1), 1);  // i's list holds only p: p loses i
    EXPECT_EQ(g.UnionAdj_Ex_p_i(1, 2), 2);  // 2 is not in 1's list: nothing removed, DOF 0 added
    EXPECT_EQ(Lists(g), (Lists_t{{2, 1}, {3, 0}, {0}, {0}}));
    GraphProbe pieces(4, kPieces);
    EXPECT_EQ(pieces.UnionAdj_Ex_p_i(2, 0), 0);
    EXPECT_TRUE(!pieces.m_ppData[2] && pieces.m_pLength[2] == 0);

    EXPECT_EQ(std::tuple(g.WFun(201), g.WFun(200), g.WFun(4), g.WFun(1)),
              std::tuple(0.1f, 0.1f, 5.0f, 20.0f));
    GraphProbe walk(4, kPath);
    walk.InitLabels(-1);
    walk.m_pLabel[3] = 3;
    walk.m_nStep = 2;
    EXPECT_EQ(std::tuple(walk.S_k(1), walk.S_k(0), walk.S_k(2)), std::tuple(30.0f, 20.0f, 10.0f));
    GraphProbe path(3, {{0, 1}, {1, 2}});
    for (auto [k, M, carrier] : {std::tuple{0, 1, 1}, {1, 2, 2}, {2, 3, 2}})
    {
        int v = k;  // (hi + lo + 1) / 2 over the higher neighbours; (L + n + 1) / 2 without
        EXPECT_EQ(std::pair(path.mid(v), v), std::pair(M, carrier));
    }
    GraphProbe counted(4, kPath);
    counted.Hager1();  // every DOF counted once per neighbour: the degrees
    EXPECT_EQ(Labels_t(counted.m_pTabu, counted.m_pTabu + 4), (Labels_t{2, 1, 1, 2}));

    SeedScope seed(Seed42);
    TarvelSrand(42);
    for (int i = 0; i < 5; ++i) TarvelRand();
    const int sixth = TarvelRand();
    TarvelSrand(7);
    GraphProbe edgeless(5, {});
    edgeless.TabuReorder();
    EXPECT_EQ(TarvelRand(), sixth);
    EXPECT_NE(m_messages.back().find("Nr. of switches:   0\r\n"), std::string::npos);
}
