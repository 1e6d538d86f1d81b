// CSupernodalCholesky: the scaled residual of every ordering and of a CReorderMat labelling,
// many right-hand sides, new values on the analysed pattern, the report, the failure paths and
// their texts, prescribed DOFs, one and two threads, exhausted storage (with the analysis).
#include "support/DofGraphs.h"
#include "support/GlobalState.h"
#include "support/Problems.h"
#include "support/TempDir.h"

#include <tarvel/Tarvel.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <tarvel-direct/SupernodalCholesky.h>
#include <thread>

using namespace tarvel_test;
using SupernodalCholesky = GlobalStateTest;

namespace
{

const CSupernodalCholesky::Ordering kOrderings[] = {
    CSupernodalCholesky::orderAuto, CSupernodalCholesky::orderAMD, CSupernodalCholesky::orderMETIS,
    CSupernodalCholesky::orderNatural};

// A random SPD matrix on n unknowns: a weighted graph Laplacian (count edges, weights 0.5 .. 2)
// plus the identity, so every eigenvalue lies in 1 .. 1 + 4 * (largest degree).
Mesh RandomLaplacian(int n, int edges, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_int_distribution<long> node(0, n - 1);
    std::uniform_real_distribution<double> weight(0.5, 2.0);
    Mesh m{n, {}, {}};
    for (long i = 0; i < n; ++i) m.dofs.push_back({i}), m.ke.push_back({1.0});
    for (int e = 0; e < edges && n > 1; ++e)
    {
        const long i = node(gen), j = node(gen);
        const double w = weight(gen);
        if (i != j) m.dofs.push_back({i, j}), m.ke.push_back({w, -w, -w, w});
    }
    return m;
}

// One dense element on n unknowns: off-diagonal entries uniform in -1 .. 1, diagonal 2n, so
// every eigenvalue lies in n + 1 .. 3n (Gershgorin) - one wide supernode.
Mesh DenseSpd(int n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    Mesh m{n, {{}}, {std::vector<double>(static_cast<size_t>(n) * n, 2.0 * n)}};
    for (long i = 0; i < n; ++i)
    {
        m.dofs[0].push_back(i);
        for (long j = i + 1; j < n; ++j) m.ke[0][i * n + j] = m.ke[0][j * n + i] = value(gen);
    }
    return m;
}

// Analyze, Factorize and Solve in one go; the status of the first step that fails.
int SolveWith(CSupernodalCholesky& chol, const CSparseMatrix& A, CMatrix& B)
{
    if (chol.Analyze(A) != 1 || chol.Factorize(A) != 1) return -1;
    return chol.Solve(B);
}

}  // namespace

// Each case with three right-hand sides (and its first as a CVector) by every ordering and by
// the labels of a reverse Cuthill-McKee run of CReorderMat on its elements: the scaled residual
// of a backward-stable solve.
TEST_F(SupernodalCholesky, SolvesEveryCaseInEveryOrder)
{
    TempDir dir;
    const ScriptPathScope script(dir.file("Reord.m"));
    std::vector<Mesh> cases = {Grid(6), Grid(23), DenseSpd(300, 5)};
    for (auto [n, edges] : {std::pair{1, 0}, {5, 6}, {40, 60}, {300, 700}})
        cases.push_back(RandomLaplacian(n, edges, n));
    for (const Mesh& mesh : cases)
        for (int o = 0; o <= 4; ++o)  // 4: the labels
        {
            SCOPED_TRACE(std::to_string(mesh.n) + " unknowns, ordering " + std::to_string(o));
            Problem p = MakeProblem(mesh, 3, true);
            CSupernodalCholesky chol;
            CReorderMat graph(0);
            if (o == 4)
            {
                BuildGraph(graph, mesh.n, mesh.dofs);
                graph.RevCuthillMcKee();
                chol.SetLabels(graph);
            }
            else
                chol.SetOrdering(kOrderings[o]);
            ASSERT_EQ(SolveWith(chol, p.A, p.rhs), 1) << chol.LastFailure().GetString();
            EXPECT_LE(ScaledResidual(p.A, p.rhs, p.b), mesh.n * DBL_EPSILON);
            CVector b(mesh.n, true, 0.0);
            for (int i = 0; i < mesh.n; ++i) b[i] = p.b(i, 0);
            const CVector b0(b);
            ASSERT_EQ(chol.Solve(b), 1);
            EXPECT_LE(ScaledResidual(p.A, b, b0), mesh.n * DBL_EPSILON);
        }
}

// 100 right-hand sides at once, then new values (A + 2 I) on the same pattern without a new
// analysis, each successful factorization with one report of a fixed text (the time, the
// factor's entries and the multiply-adds).
TEST_F(SupernodalCholesky, RefactorizesReportsAndSolvesManyRightHandSides)
{
    Problem p = MakeProblem(Grid(29), 100, true, 7);
    const int n = p.A.GetRows();
    CSupernodalCholesky chol;
    ASSERT_EQ(chol.Analyze(p.A), 1);
    for (int round = 0; round < 2; ++round)
    {
        if (round == 1)
            for (int i = 0; i < n; ++i) *p.A.GetValue(i, i) += 2.0;
        p.rhs = p.b;
        ASSERT_EQ(chol.Factorize(p.A), 1);
        ASSERT_EQ(chol.Solve(p.rhs), 1);
        EXPECT_LE(ScaledResidual(p.A, p.rhs, p.b), n * DBL_EPSILON);
        ASSERT_EQ(m_messages.size(), round + 1u);
        char flops[32];
        std::snprintf(flops, sizeof flops, "%10.3e", chol.FactorFlops());
        EXPECT_EQ(Untimed(m_messages[round]),
                  "Used time:\r\n Factorizing  :   T s\r\n Size factor  :   " +
                      std::to_string(chol.FactorEntries()) + "\r\n Flops        :   " + flops);
    }
}

// A negative diagonal at caller column j makes the Schur complement at j negative whatever
// the elimination order, while every pivot before j belongs to an SPD principal submatrix: the
// failure is reported at j, and the object has no factor afterwards. No report is shown.
TEST_F(SupernodalCholesky, NamesTheColumnThatIsNotPositiveDefinite)
{
    for (int j : {0, 17, 62})
        for (CSupernodalCholesky::Ordering o : kOrderings)
        {
            SCOPED_TRACE("column " + std::to_string(j) + " ordering " + std::to_string(o));
            Problem p = MakeProblem(Grid(8), 1, true);
            *p.A.GetValue(j, j) = -10.0;
            CSupernodalCholesky chol;
            chol.SetOrdering(o);
            ASSERT_EQ(chol.Analyze(p.A), 1);
            EXPECT_EQ(chol.Factorize(p.A), -1);
            EXPECT_EQ(chol.LastFailure(), "not positive definite at column " + std::to_string(j));
            EXPECT_EQ(chol.Solve(p.rhs), -1);
        }
    EXPECT_TRUE(m_messages.empty());
}

// Factorize takes only the analysed pattern: an added or a missing entry fails (no factor
// left), and the analysed pattern then factorizes again. Solve fails before any factor and on
// a right-hand side of the wrong size. The empty matrix solves (nothing to do); 1 x 1 divides
// exactly.
TEST_F(SupernodalCholesky, RejectsAnotherPatternAndMisuse)
{
    Problem p = MakeProblem(Grid(5), 2, true);
    CSupernodalCholesky chol;
    CVector b(25, true, 1.0), shorter(24, true, 1.0);
    EXPECT_EQ(chol.Factorize(p.A), -1);
    EXPECT_EQ(chol.Solve(b), -1);
    ASSERT_EQ(chol.Analyze(p.A), 1);
    EXPECT_EQ(chol.Solve(b), -1);
    CSparseMatrix added(p.A), missing(p.A);
    added.Add(3, 20, 0.5);
    delete missing.GetFirstRow()->m_pNextRow->Remove(2);  // the cell (1, 2)
    for (const CSparseMatrix* other : {&added, &missing})
    {
        EXPECT_EQ(chol.Factorize(*other), -1);
        EXPECT_EQ(chol.LastFailure(), "pattern differs from the analysed one");
        EXPECT_EQ(chol.Solve(b), -1);
    }
    ASSERT_EQ(chol.Factorize(p.A), 1);
    EXPECT_EQ(chol.Solve(p.rhs), 1);
    EXPECT_EQ(chol.Solve(shorter), -1);

    CMatrix none, x = Mat(1, 2, {2.0, -6.0});
    EXPECT_EQ(SolveWith(chol, CSparseMatrix(), none), 1);
    EXPECT_EQ(chol.FactorEntries(), 0);
    ASSERT_EQ(SolveWith(chol, FromTriplets({{0, 0, 4.0}}), x), 1);
    EXPECT_TRUE(SameBits(x, Mat(1, 2, {0.5, -1.5})));
    EXPECT_EQ(chol.FactorEntries(), 1);
}

// The plate, the 3-D Poisson problem with 40 unknowns of their own added (roots of an
// elimination forest) and a dense matrix, 130 right-hand sides (more than one group): the scaled
// residual of a backward-stable solve (n eps is loose at these sizes: the error grows with the
// largest column count, not with n). One, two and all threads give the same bits: every entry of
// the factor and of the solutions sees the same operations in the same order (the dense case
// splits its one wide supernode into pieces, the solve its right-hand sides into groups). A
// progress handler is installed throughout: it changes no bit and is called in order by the
// calling thread alone.
TEST_F(SupernodalCholesky, SolvesAlikeOnAnyThreadCount)
{
    Mesh cube = FreeMesh(tarvel_fem::poisson_3d(16));
    for (int i = 0; i < 40; ++i) cube.dofs.push_back({cube.n++}), cube.ke.push_back({1.0});
    const Mesh meshes[] = {FreeMesh(tarvel_fem::cantilever_plate(40, 10)), cube, DenseSpd(660, 9)};
    for (const Mesh& mesh : meshes)
    {
        SCOPED_TRACE(mesh.n);
        const Problem p = MakeProblem(mesh, 130, true);
        CMatrix first;
        for (int threads : {1, 2, 0})
        {
            CMatrix x = p.b;
            CSupernodalCholesky chol;
            chol.SetThreads(threads);
            std::vector<double> done;  // the progress, -1 for a call from another thread
            const std::thread::id caller = std::this_thread::get_id();
            TarvelSetProgressHandler(
                [&](const TarvelProgress& q)
                { done.push_back(std::this_thread::get_id() == caller ? q.done : -1); });
            ASSERT_EQ(SolveWith(chol, p.A, x), 1) << chol.LastFailure().GetString();
            TarvelSetProgressHandler({});
            ASSERT_GE(done.size(), 3u);  // in order from 0 to 1, bounded
            EXPECT_TRUE(done.front() == 0.0 && done.back() == 1.0 &&
                        done.size() <= kProgressSteps + 2u &&
                        std::is_sorted(done.begin(), done.end()));
            EXPECT_LE(ScaledResidual(p.A, x, p.b), mesh.n * DBL_EPSILON);
            if (threads == 1) first = x;
            EXPECT_TRUE(SameBits(x, first)) << threads << " threads";
        }
    }
}
