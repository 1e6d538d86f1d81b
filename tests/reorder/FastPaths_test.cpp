// Every reordering run twice, by its plain kernel and by its fast kernel, from the same starting
// state on random graphs and grids: labels, what is left in m_pTabu, m_nStep, the lists, the
// script and the report (time aside) must be identical; the labels a permutation of 0..n-1,
// the lists those of the graph, the measures those of a recount.
#include "GraphProbe.h"
#include "fem/Roads.h"

#include <cstdio>
#include <gtest/gtest.h>

using namespace tarvel_test;
using tarvel::detail::ReorderPath;

class FastPaths : public ReorderTest
{
protected:
    using Outcome =
        std::tuple<Labels_t, Labels_t, int, Lists_t, std::string, std::vector<std::string>>;

    // r run by the kernels of the path on the graph from the labels, stamps and step given.
    Outcome Run(const tarvel_fem::NamedReordering& r, ReorderPath path, const ElementList& elements,
                const Labels_t& labels, const Labels_t& stamps, int step)
    {
        PathScope scope(path);
        SeedScope seed([] { return 1234u; });
        std::remove(m_dir.file("Reord.m").c_str());
        const int n = static_cast<int>(labels.size());
        GraphProbe g(n, elements);
        std::copy(labels.begin(), labels.end(), g.m_pLabel);
        std::copy(stamps.begin(), stamps.end(), g.m_pTabu);
        g.m_nStep = step;
        m_messages.clear();
        r.run(g);
        for (std::string& m : m_messages) m = Untimed(m);
        int row = 0;
        const Measures measured = Recount(Lists(g), Labels(g));
        EXPECT_EQ(
            std::pair(g.GetB(row), g.Env(nullptr)),
            std::pair(static_cast<int>(measured.bandwidth), static_cast<int>(measured.envelope)));
        return {Labels(g), Labels_t(g.m_pTabu, g.m_pTabu + n), g.m_nStep,
                Lists(g),  read_bytes(m_dir.file("Reord.m")),  m_messages};
    }

    // Every reordering (but Hager2 when told: its weights divide by a count that malformed
    // lists can drive to zero) by both paths from a random state of its own: labels the
    // identity, shuffled, or (for the tabu searches' sake) not a permutation at all; stamps zero
    // or random; any step. With plainTabu the tabu searches start from the identity with the
    // stamps cleared (a good labelling to improve).
    void ExpectSame(std::mt19937& rng, int n, const ElementList& elements, bool withHager2,
                    bool plainTabu, const std::string& what)
    {
        for (const auto& r : tarvel_fem::reorderings())
        {
            const bool tabu = std::string(r.name).rfind("Tabu", 0) == 0;
            if (!withHager2 && r.name == std::string("Hager2")) continue;
            Labels_t labels(static_cast<size_t>(n)), stamps(static_cast<size_t>(n), 0);
            std::iota(labels.begin(), labels.end(), 0L);
            const int step = static_cast<int>(rng() % static_cast<unsigned>(n + 4)) - 1;
            const unsigned kind = plainTabu && tabu ? 0 : rng() % 8;
            if (kind % 4 == 1) std::shuffle(labels.begin(), labels.end(), rng);
            if (kind % 4 == 2)
                for (long& l : labels) l = static_cast<long>(rng() % static_cast<unsigned>(n));
            if (kind >= 4)
                for (long& t : stamps) t = static_cast<long>(rng() % static_cast<unsigned>(n + 6));
            SCOPED_TRACE(what + " " + r.name + " n=" + std::to_string(n));
            const Outcome fast = Run(r, ReorderPath::fast, elements, labels, stamps, step);
            EXPECT_EQ(fast, Run(r, ReorderPath::plain, elements, labels, stamps, step));
            EXPECT_TRUE(IsPermutation(std::get<0>(fast)) || (tabu && !IsPermutation(labels)));
            EXPECT_EQ(std::get<3>(fast), Lists(GraphProbe(n, elements)));
        }
    }
};

// Random meshes with negative DOFs, well formed or with elements that name a DOF twice (the
// lists then hold self-entries, which the kernels follow as they are); grids.
TEST_F(FastPaths, RandomGraphsAndGrids)
{
    std::mt19937 rng(918273);
    for (int trial = 0; trial < 160; ++trial)
    {
        const bool wellFormed = trial % 4 != 3;
        const int n = 1 + static_cast<int>(rng() % 80);
        const int count = static_cast<int>(rng() % static_cast<unsigned>(n + 1));
        const ElementList elements = RandomElements(rng, n, count, 6, 0.1, wellFormed ? 0.0 : 0.15);
        ExpectSame(rng, n, elements, wellFormed, false, "random #" + std::to_string(trial));
    }
    for (auto [nx, ny] : {std::pair{1, 1}, {2, 3}, {5, 4}, {9, 9}, {15, 3}, {14, 14}})
        ExpectSame(rng, (nx + 1) * (ny + 1), GridElements(nx, ny), true, true,
                   "grid " + std::to_string(nx) + "x" + std::to_string(ny));
}
