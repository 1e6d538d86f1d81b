// Reverse Cuthill-McKee and Sloan: labels worked by hand, the envelope on grids, the local
// search's local minimum, the record they leave; the 64-bit measures against a plain count,
// Env past 2^31, and the script file under concurrent reorderings.
#include "GraphProbe.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

using namespace tarvel_test;
using ProfileReduction = ReorderTest;

const ElementList kGrid3x3 = GridElements(2, 2);  // nodes 0 1 2 / 3 4 5 / 6 7 8, bottom up

// Worked by hand from the definitions (degrees, level structures, Sloan's priorities with both
// weight pairs; where the pairs tie on the envelope the first pair's labelling stays).
TEST_F(ProfileReduction, HandWorkedLabels)
{
    const std::vector<std::tuple<const char*, int, ElementList, Labels_t, Labels_t>> cases = {
        // path 2-0-3-1: RCM from DOF 1 (lowest degree, lower number), reversed; Sloan from 1.
        {"path", 4, kPath, {1, 3, 0, 2}, {2, 0, 3, 1}},
        // star around 2: CM 0, 2, 1, 3 reversed; Sloan numbers 0, 3, 2, 1.
        {"star", 4, kStar, {3, 1, 2, 0}, {0, 3, 2, 1}},
        // 3 x 3 nodes, king couplings: CM 0, 1, 3, 4, 2, 5, 6, 7, 8 reversed; Sloan from corner 0
        // towards corner 2: 0, 3, 6, 7, 8, 1, 4, 5, 2.
        {"grid 3x3", 9, kGrid3x3, {8, 7, 4, 6, 5, 3, 2, 1, 0}, {0, 5, 8, 1, 6, 7, 2, 3, 4}},
        // components {0, 2} and {1, 3}, numbered in that order (RCM reverses the whole).
        {"two components", 4, kPieces, {3, 1, 2, 0}, {0, 2, 1, 3}},
        // one element: Sloan's end is sought in the last level of DOF 0's structure only, which
        // holds 1 and 2 (not 0 itself); the end, 1, is numbered last.
        {"triangle", 3, {{0, 1, 2}}, {2, 1, 0}, {0, 2, 1}},
        {"no DOF", 0, {}, {}, {}},
        {"three DOFs without couplings", 3, {}, {2, 1, 0}, {0, 1, 2}},
    };
    for (const auto& [name, n, elements, rcm, sloan] : cases)
    {
        SCOPED_TRACE(name);
        GraphProbe a(n, elements), b(n, elements);
        a.RevCuthillMcKee();
        b.Sloan();
        EXPECT_EQ(Labels(a), rcm);
        EXPECT_EQ(Labels(b), sloan);
    }
}

// On grids numbered along their long side, an envelope no larger than the mesh's own.
TEST_F(ProfileReduction, NoWorseThanTheGridsOwnNumbering)
{
    for (auto [nx, ny] : {std::pair{12, 2}, {30, 3}, {40, 7}, {25, 10}})
        for (auto reorder : {&CReorderMat::RevCuthillMcKee, &CReorderMat::Sloan})
        {
            GraphProbe g((nx + 1) * (ny + 1), GridElements(nx, ny));
            const long long identity = g.Env64(nullptr);
            (g.*reorder)();
            EXPECT_LE(g.Env64(nullptr), identity) << nx << "x" << ny;
        }
}

// SloanExchange on random graphs: a permutation, an envelope never above Sloan's or reverse
// Cuthill-McKee's, and (these graphs are far below the search's work bound) no exchange of two
// labels up to 8 apart and no move of one label by 1 or 2 places that would lower it further,
// checked by trying every one. On the 3 x 3 king grid it reaches the smallest envelope of all
// 9! labellings (34), with labels worked by hand.
TEST_F(ProfileReduction, LocalSearchOnlyLowersTheEnvelope)
{
    std::mt19937 rng(99);
    int improved = 0;
    for (int trial = 0; trial < 40; ++trial)
    {
        const int n = 2 + static_cast<int>(rng() % 80);
        const ElementList elements = RandomElements(rng, n, n, 3);
        GraphProbe sloan(n, elements), rcm(n, elements), g(n, elements);
        sloan.Sloan();
        rcm.RevCuthillMcKee();
        g.SloanExchange();
        Labels_t labels = Labels(g);
        ASSERT_TRUE(IsPermutation(labels));
        const Lists_t lists = Lists(g);
        const long long env = Recount(lists, labels).envelope;
        const long long either = std::min(sloan.Env64(nullptr), rcm.Env64(nullptr));
        ASSERT_LE(env, either);
        improved += env < either;
        std::vector<long> carrier(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) carrier[labels[i]] = i;
        for (int p = 0; p < n; ++p)
            for (int q = std::max(0, p - 8); q < std::min(n, p + 9); ++q)
            {
                Labels_t exchanged = labels, shifted = labels;
                std::swap(exchanged[carrier[p]], exchanged[carrier[q]]);
                EXPECT_GE(Recount(lists, exchanged).envelope, env) << "trial " << trial;
                if (std::abs(q - p) > 2) continue;
                for (int r = std::min(p, q); r <= std::max(p, q); ++r)
                    shifted[carrier[r]] = r == p ? q : r + (q > p ? -1 : 1);
                EXPECT_GE(Recount(lists, shifted).envelope, env) << "trial " << trial;
            }
    }
    EXPECT_GT(improved, 10);

    // Column by column from corner 6: 6, 3, 0 | 7, 4, 1 | 8, 5, 2. Every DOF's farthest
    // neighbour is 4 labels away but corners 0 and 8's, 3: envelope 34.
    GraphProbe grid(9, kGrid3x3);
    grid.SloanExchange();
    EXPECT_EQ(Labels(grid), (Labels_t{2, 5, 8, 1, 4, 7, 0, 3, 6}));
    EXPECT_EQ(grid.Env64(nullptr), 34);
}

// Env64 and Profile64 against the pair-by-pair count; Env stays at 2^31 - 1 when the sum does
// not fit, while Env64, the maximum and the reports give the true figures.
TEST_F(ProfileReduction, MeasuresInSixtyFourBits)
{
    std::mt19937 rng(31);
    for (int trial = 0; trial < 40; ++trial)
    {
        const int n = 1 + static_cast<int>(rng() % 60);
        GraphProbe g(n, RandomElements(rng, n, static_cast<int>(rng() % (n + 1)), 5));
        Labels_t labels(static_cast<size_t>(n));
        std::iota(labels.begin(), labels.end(), 0L);
        std::shuffle(labels.begin(), labels.end(), rng);
        std::copy(labels.begin(), labels.end(), g.m_pLabel);
        const Measures m = Recount(Lists(g), labels);
        EXPECT_EQ(std::tuple(g.Env64(nullptr), g.Env(nullptr), g.Profile64()),
                  std::tuple(m.envelope, m.envelope, m.profile));
    }

    // A path of 2^17 DOFs whose neighbours lie about 2^16 labels apart: envelope about 2^33.
    const int n = 1 << 17;
    ElementList path;
    for (long i = 0; i + 1 < n; ++i) path.push_back({i, i + 1});
    GraphProbe g(n, path);
    Labels_t labels(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) labels[i] = i % 2 == 0 ? i / 2 : n / 2 + i / 2;
    std::copy(labels.begin(), labels.end(), g.m_pLabel);
    const Measures m = Recount(Lists(g), labels);
    ASSERT_GT(m.envelope, static_cast<long long>(INT_MAX));
    int widest = 0, widest64 = 0;
    EXPECT_EQ(g.Env(&widest), INT_MAX);
    EXPECT_EQ(g.Env64(&widest64), m.envelope);
    EXPECT_EQ(std::tuple(g.Profile64(), widest, widest64), std::tuple(m.profile, n / 2, n / 2));
    g.RevCuthillMcKee();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_NE(
        m_messages[0].find(" Old env                   :   " + std::to_string(m.envelope) + "\r\n"),
        std::string::npos)
        << m_messages[0];
    EXPECT_EQ(g.Env64(nullptr), n);  // numbered end to end: every DOF 1 from its farthest
}

// Reorderings on several threads, each with its own graph, all writing the one script file:
// whenever a thread reads the file it holds one whole script of one of the graphs, and no
// temporary file is left behind.
TEST_F(ProfileReduction, ConcurrentRunsNeverMixTheirScripts)
{
    AfxSetMessageBoxHandler([](const CString&, UINT) { return IDOK; });
    const int kThreads = 4, kRounds = 12;
    auto run = [&](int t)
    {
        GraphProbe g((21 + 7 * t) * (7 + t), GridElements(20 + 7 * t, 6 + t));
        t % 2 == 0 ? g.RevCuthillMcKee() : g.Hager1();
        return Script();
    };
    std::vector<std::string> expected;
    for (int t = 0; t < kThreads; ++t) expected.push_back(run(t));
    std::vector<int> bad(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(
            [&, t]
            {
                for (int r = 0; r < kRounds; ++r)
                    bad[t] += std::find(expected.begin(), expected.end(), run(t)) == expected.end();
            });
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(bad, std::vector<int>(kThreads, 0));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.path()), {}), 1);
}
