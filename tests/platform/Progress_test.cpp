// The progress handler: none by default and nothing said without one; with one, every phase that
// reports calls it from done = 0 to done = 1, never backwards, and at most kProgressSteps + 2
// times (plus the doublings of an iteration count).
#include "fem/Roads.h"
#include "support/GlobalState.h"
#include "support/Problems.h"
#include "support/ReorderSeams.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace tarvel_test;
using Progress = GlobalStateTest;

namespace
{

// Poisson on a 40 x 40 grid (1521 free DOFs) by one of the reporting phases: "skyline",
// "system", "ConjGradient2" or a reordering by its member name.
void run_phase(const std::string& phase)
{
    double seconds = 0.0, res = 0.0;
    if (phase == "system" || phase == "ConjGradient2")
    {
        CVirtMat::m_bSym = true;
        Problem p = MakeProblem(Grid(39), 1, true);
        CSystSpMat K = System(p.rhs.GetRows(), std::move(p.A));
        const int status = phase == "system"
                               ? K.Cholesky_Solve(&p.rhs, seconds)
                               : K.ConjGradient2(p.rhs, res, 2000, 1e-24, nullptr, true) < 2000;
        EXPECT_EQ(status, 1);
        return;
    }
    tarvel_fem::FemProblem p = tarvel_fem::poisson_2d(40);
    CReorderMat g(1);
    tarvel_fem::build_free_graph(g, p);
    for (const tarvel_fem::NamedReordering& r : tarvel_fem::reorderings())
        if (phase == r.name) r.run(g);
    g.PostReorder();
    if (phase != "skyline") return;
    CSkylineMatrix K;
    CMatrix B;
    ASSERT_TRUE(tarvel_fem::assemble_skyline(K, B, p, g));
    EXPECT_EQ(K.Cholesky_Solve(&B, seconds), 1);
}

}  // namespace

// Without a handler (none by default) a phase says nothing.
TEST_F(Progress, EveryPhaseReportsInOrderAndBounded)
{
    EXPECT_FALSE(TarvelSetProgressHandler({}));  // each test runs in a fresh process
    TempDir dir;
    CReorderMat::SetScriptPath(dir.file("Reord.m").c_str());
    std::vector<std::pair<std::string, const char*>> phases = {
        {"skyline", "Cholesky"}, {"system", "Cholesky"}, {"ConjGradient2", "ConjGradient2"}};
    for (const tarvel_fem::NamedReordering& r : tarvel_fem::reorderings())
        phases.emplace_back(r.name, r.name);
    // Some reports between start and end: 1521 steps report every 16 at most; a minimum-degree
    // chain labels many DOFs at once, the iterations converge fast. The profile reductions count
    // their few labellings and searches, and TabuReorder2 stops once no exchange helps.
    const std::map<std::string, size_t> fewer = {
        {"RevCuthillMcKee", 2}, {"Sloan", 3}, {"SloanExchange", 7}, {"TabuReorder2", 2}};
    for (const auto& [phase, task] : phases)
        for (ReorderPath path : {ReorderPath::fast, ReorderPath::plain})  // every kernel
        {
            const bool iterative = phase == "ConjGradient2";
            SCOPED_TRACE(phase + (path == ReorderPath::plain ? " (plain)" : ""));
            const ReorderPath previous = SetReorderPath(path);
            testing::internal::CaptureStderr();
            run_phase(phase);
            EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
            std::vector<TarvelProgress> calls;
            TarvelSetProgressHandler([&calls](const TarvelProgress& p) { calls.push_back(p); });
            run_phase(phase);
            TarvelSetProgressHandler({});
            SetReorderPath(previous);
            ASSERT_GE(calls.size(), fewer.count(phase) ? fewer.at(phase) : 8);
            EXPECT_LE(calls.size(), kProgressSteps + 2u + (iterative ? 12u : 0u));  // 2^11 > 2000
            EXPECT_EQ(std::tuple(calls.front().done, calls.back().done), std::tuple(0.0, 1.0));
            for (std::size_t c = 1; c < calls.size(); ++c)
            {
                EXPECT_STREQ(calls[c].task, task);
                EXPECT_GE(calls[c].done, calls[c - 1].done) << c;
                EXPECT_TRUE(!iterative || calls[c].iteration > calls[c - 1].iteration) << c;
            }
            EXPECT_TRUE(!iterative || calls.back().residual < 1e-24);  // the converged test
        }
}
