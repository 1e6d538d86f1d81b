// The progress handler: none by default and nothing said without one; with one, every phase that
// reports calls it from done = 0 to done = 1, never backwards, and at most kProgressSteps + 2
// times (plus the doublings of an iteration count).
#include "fem/Problems.h"
#include "fem/Roads.h"
#include "fem/TarvelInput.h"
#include "support/GlobalState.h"
#include "support/TempDir.h"

#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

using Progress = tarvel_test::GlobalStateTest;

namespace
{

// Poisson on a 40 x 40 grid (1521 free DOFs) by one of the reporting phases.
void run_phase(const std::string& phase)
{
    tarvel_fem::FemProblem p = tarvel_fem::poisson_2d(40);
    CMatrix B;
    double seconds = 0.0, res = 0.0;
    if (phase == "skyline" || phase == "Hager2" || phase == "MinDegReorder4")
    {
        CReorderMat g(1);
        tarvel_fem::build_free_graph(g, p);
        if (phase == "Hager2") g.Hager2();
        if (phase == "MinDegReorder4") g.MinDegReorder4();
        g.PostReorder();
        CSkylineMatrix K;
        ASSERT_TRUE(tarvel_fem::assemble_skyline(K, B, p, g));
        EXPECT_TRUE(phase != "skyline" || K.Cholesky_Solve(&B, seconds) == 1);
        return;
    }
    CVirtMat::m_bSym = true;
    CSystSpMat K(int(p.num_dofs));
    tarvel_fem::assemble(K, p);
    B = tarvel_fem::load_matrix(p);
    CVector dofs, values;
    tarvel_fem::prescribed_vectors(p, dofs, values);
    K.SymUnifyAndZero(dofs, values, &B);
    if (phase == "system")
        ASSERT_EQ(K.Cholesky_Solve(&B, seconds), 1);
    else
        EXPECT_LT(K.ConjGradient2(B, res, 2000, 1e-24, nullptr, true), 2000);
}

}  // namespace

TEST_F(Progress, EveryPhaseReportsInOrderAndBoundedAndNothingWithoutAHandler)
{
    EXPECT_FALSE(TarvelSetProgressHandler({}));  // each test runs in a fresh process
    tarvel_test::TempDir dir;
    CReorderMat::SetScriptPath(dir.file("Reord.m").c_str());
    const std::pair<std::string, const char*> phases[] = {{"skyline", "Cholesky"},
                                                          {"system", "Cholesky"},
                                                          {"Hager2", "Hager2"},
                                                          {"MinDegReorder4", "MinDegReorder4"},
                                                          {"ConjGradient2", "ConjGradient2"}};
    for (const auto& [phase, task] : phases)
    {
        SCOPED_TRACE(phase);
        testing::internal::CaptureStderr();
        run_phase(phase);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        std::vector<TarvelProgress> calls;
        TarvelSetProgressHandler([&calls](const TarvelProgress& p) { calls.push_back(p); });
        run_phase(phase);
        TarvelSetProgressHandler({});
        const bool iterative = phase == "ConjGradient2";
        // Some reports between start and end (1521 steps report every 16 at most; a
        // minimum-degree chain labels many DOFs at once, and the iterations converge fast).
        ASSERT_GE(calls.size(), 8u);
        EXPECT_LE(calls.size(), kProgressSteps + 2u + (iterative ? 12u : 0u));  // 2^11 > 2000
        EXPECT_EQ(std::pair(calls.front().done, calls.back().done), std::pair(0.0, 1.0));
        for (std::size_t c = 0; c < calls.size(); ++c)
        {
            EXPECT_STREQ(calls[c].task, task);
            EXPECT_TRUE(c == 0 || calls[c].done >= calls[c - 1].done) << c;
            EXPECT_TRUE(!iterative || c == 0 || calls[c].iteration > calls[c - 1].iteration) << c;
        }
        EXPECT_TRUE(!iterative || calls.back().residual < 1e-24);  // the converged stopping test
    }
}
