// CSupernodalCholesky: solutions against a dense solve for every ordering, many right-hand
// sides, new values on the analysed pattern, the failure paths and their texts, prescribed
// DOFs, a CReorderMat labelling, one and two threads with their progress, the timing report.
#include "support/DofGraphs.h"
#include "support/GlobalState.h"
#include "support/MemoryLimit.h"
#include "support/Problems.h"
#include "support/TempDir.h"

#include <tarvel/Tarvel.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fem/Problems.h>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <tarvel-direct/SupernodalCholesky.h>
#include <thread>

using namespace tarvel_test;
using SupernodalCholesky = GlobalStateTest;

namespace
{

constexpr double kEps = 2.220446049250313e-16;

const CSupernodalCholesky::Ordering kOrderings[] = {
    CSupernodalCholesky::orderAuto, CSupernodalCholesky::orderAMD, CSupernodalCholesky::orderMETIS,
    CSupernodalCholesky::orderNatural};

// A random SPD matrix on n unknowns: a weighted graph Laplacian (count edges, weights 0.5 .. 2)
// plus the identity, so every eigenvalue lies in 1 .. 1 + 4 * (largest degree).
Mesh RandomLaplacian(int n, int edges, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> node(0, n - 1);
    std::uniform_real_distribution<double> weight(0.5, 2.0);
    Mesh m;
    m.n = n;
    for (int i = 0; i < n; ++i)
    {
        m.dofs.push_back({i});
        m.ke.push_back({1.0});
    }
    for (int e = 0; e < edges && n > 1; ++e)
    {
        const long i = node(gen), j = node(gen);
        if (i == j) continue;
        const double w = weight(gen);
        m.dofs.push_back({i, j});
        m.ke.push_back({w, -w, -w, w});
    }
    return m;
}

// One dense element on n unknowns: off-diagonal entries uniform in -1 .. 1, diagonal 2n, so
// every eigenvalue lies in n + 1 .. 3n (Gershgorin) - one wide supernode.
Mesh DenseSpd(int n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::vector<double> K(static_cast<size_t>(n) * n, 2.0 * n);
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
            K[static_cast<size_t>(i) * n + j] = K[static_cast<size_t>(j) * n + i] = value(gen);
    Mesh m;
    m.n = n;
    m.dofs.push_back({});
    for (int i = 0; i < n; ++i) m.dofs[0].push_back(i);
    m.ke.push_back(K);
    return m;
}

// The upper triangle of a FemProblem in a system matrix with its prescribed DOFs imposed by
// SymUnifyAndZero (unit rows), and the corrected loads as one right-hand side.
struct FemSystem
{
    CSystSpMat K;
    CMatrix f;
};

void MakeFemSystem(const tarvel_fem::FemProblem& p, FemSystem& s)
{
    const int n = static_cast<int>(p.num_dofs);
    const bool sym = CVirtMat::m_bSym;
    CVirtMat::m_bSym = true;
    int dims[] = {n};
    s.K.Allocate(dims, 1);
    std::vector<double> ke;
    for (long e = 0; e < p.num_elements(); ++e)
    {
        ke.assign(p.matrix(e), p.matrix(e) + p.dofs_per_element * p.dofs_per_element);
        s.K.AddValues(const_cast<long*>(p.dofs(e)), ke.data(), p.dofs_per_element);
    }
    CVirtMat::m_bSym = sym;
    s.f = CMatrix(n, 1, true, 0.0);
    std::copy(p.load.begin(), p.load.end(), s.f.m_pData);
    const int fixed = static_cast<int>(p.fixed_dofs.size());
    CVector dofs(fixed, true, 0.0), values(fixed, true, 0.0);
    for (int t = 0; t < fixed; ++t)
    {
        dofs.m_pData[t] = static_cast<double>(p.fixed_dofs[t]);
        values.m_pData[t] = p.fixed_values[t];
    }
    s.K.SymUnifyAndZero(dofs, values, &s.f);
}

// ||A x - b||_inf / (||A||_inf ||x||_inf + ||b||_inf) for A given by its upper triangle,
// the product formed here from the stored cells.
double ScaledResidual(const CSparseMatrix& upper, const CMatrix& x, const CMatrix& b)
{
    const int n = b.GetRows(), k = b.GetColumns();
    std::vector<double> r(b.m_pData, b.m_pData + static_cast<size_t>(n) * k), rowSum(n, 0.0);
    for (const CSparseMatrix::row* row = upper.GetFirstRow(); row; row = row->m_pNextRow)
        for (const CSparseMatrix::cell* c = row->m_pFirstCell; c; c = c->m_pNext)
        {
            const int i = row->m_nRow, j = c->m_nCol;
            if (j < i) continue;
            for (int q = 0; q < k; ++q) r[i * k + q] -= c->m_dValue * x.m_pData[j * k + q];
            rowSum[i] += std::fabs(c->m_dValue);
            if (i == j) continue;
            for (int q = 0; q < k; ++q) r[j * k + q] -= c->m_dValue * x.m_pData[i * k + q];
            rowSum[j] += std::fabs(c->m_dValue);
        }
    double rn = 0.0, an = 0.0, xn = 0.0, bn = 0.0;
    for (double v : r) rn = std::max(rn, std::fabs(v));
    for (double v : rowSum) an = std::max(an, v);
    for (int e = 0; e < x.m_nSize; ++e) xn = std::max(xn, std::fabs(x.m_pData[e]));
    for (int e = 0; e < b.m_nSize; ++e) bn = std::max(bn, std::fabs(b.m_pData[e]));
    return rn / (an * xn + bn);
}

// Analyze, Factorize and Solve in one go; the status of the first step that fails.
int SolveWith(CSupernodalCholesky& chol, const CSparseMatrix& A, CMatrix& B)
{
    if (chol.Analyze(A) != 1 || chol.Factorize(A) != 1) return -1;
    return chol.Solve(B);
}

}  // namespace

// Each case is solved with three right-hand sides (and its first as a CVector) and compared
// with the dense elimination of the same matrix. The condition numbers stay below 1000 (the
// random Laplacians and the dense case by Gershgorin, the Q4 grids by their spectra: about 400
// at 30 x 30) and both solves are backward stable, so they agree to kappa * n * eps times a
// small constant: the bound 1000 * n * eps.
TEST_F(SupernodalCholesky, SolvesLikeADenseEliminationForEveryOrdering)
{
    struct Case
    {
        const char* name;
        Mesh mesh;
    };
    const Case cases[] = {{"one", RandomLaplacian(1, 0, 1)},
                          {"random-5", RandomLaplacian(5, 6, 2)},
                          {"random-40", RandomLaplacian(40, 60, 3)},
                          {"random-300", RandomLaplacian(300, 700, 4)},
                          {"grid-7x5", GridLaplacian(7, 5)},
                          {"poisson-q4-24", PoissonQ4(24, 24)},
                          {"dense-300", DenseSpd(300, 5)}};
    for (const Case& c : cases)
        for (CSupernodalCholesky::Ordering o : kOrderings)
        {
            SCOPED_TRACE(std::string(c.name) + " ordering " + std::to_string(o));
            Problem p = MakeProblem(c.mesh, 3, true);
            const CMatrix reference = DenseSolve(p.dense, p.b);
            CSupernodalCholesky chol;
            chol.SetOrdering(o);
            ASSERT_EQ(SolveWith(chol, p.A, p.rhs), 1) << chol.LastFailure().GetString();
            const double bound = 1000.0 * c.mesh.n * kEps;
            EXPECT_LE(MaxRelativeDifference(p.rhs, reference), bound);
            CVector b(c.mesh.n, true, 0.0), x(c.mesh.n, true, 0.0);
            for (int i = 0; i < c.mesh.n; ++i)
                b.m_pData[i] = p.b(i, 0), x.m_pData[i] = reference(i, 0);
            ASSERT_EQ(chol.Solve(b), 1);
            EXPECT_LE(MaxRelativeDifference(b, x), bound);
        }
}

// 100 right-hand sides at once, then new values on the same pattern without a new analysis:
// each against the dense elimination, with the bound of the test above.
TEST_F(SupernodalCholesky, RefactorizesAndSolvesManyRightHandSides)
{
    const Mesh mesh = PoissonQ4(30, 30);
    Problem p = MakeProblem(mesh, 100, true, 7);
    CSupernodalCholesky chol;
    ASSERT_EQ(SolveWith(chol, p.A, p.rhs), 1);
    const double bound = 1000.0 * mesh.n * kEps;
    EXPECT_LE(MaxRelativeDifference(p.rhs, DenseSolve(p.dense, p.b)), bound);

    for (CSparseMatrix::row* r = p.A.GetFirstRow(); r; r = r->m_pNextRow)  // A + 2 I
        *r->GetValue(r->m_nRow) += 2.0;
    for (int i = 0; i < mesh.n; ++i) p.dense(i, i) += 2.0;
    p.rhs = p.b;
    ASSERT_EQ(chol.Factorize(p.A), 1);
    ASSERT_EQ(chol.Solve(p.rhs), 1);
    EXPECT_LE(MaxRelativeDifference(p.rhs, DenseSolve(p.dense, p.b)), bound);
}

// A negative diagonal at caller column j makes the Schur complement at j negative whatever
// the elimination order, while every pivot before j belongs to an SPD principal submatrix: the
// failure is reported at j, and the object has no factor afterwards.
TEST_F(SupernodalCholesky, NamesTheColumnThatIsNotPositiveDefinite)
{
    for (int j : {0, 17, 62})
        for (CSupernodalCholesky::Ordering o : kOrderings)
        {
            SCOPED_TRACE("column " + std::to_string(j) + " ordering " + std::to_string(o));
            Problem p = MakeProblem(GridLaplacian(9, 7), 1, true);
            *p.A.GetValue(j, j) = -10.0;
            CSupernodalCholesky chol;
            chol.SetOrdering(o);
            ASSERT_EQ(chol.Analyze(p.A), 1);
            EXPECT_EQ(chol.Factorize(p.A), -1);
            EXPECT_EQ(chol.LastFailure(), "not positive definite at column " + std::to_string(j));
            EXPECT_EQ(chol.Solve(p.rhs), -1);
        }
}

// Factorize takes only the analysed pattern: an added or a missing entry fails (no factor
// left), and the analysed pattern then factorizes again. Solve fails before any factor and on
// a right-hand side of the wrong size.
TEST_F(SupernodalCholesky, RejectsAnotherPatternAndMisuse)
{
    Problem p = MakeProblem(GridLaplacian(6, 5), 2, true);
    CSupernodalCholesky chol;
    CVector b(30, true, 1.0);
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
    CVector shorter(29, true, 1.0);
    EXPECT_EQ(chol.Solve(shorter), -1);
}

// The empty matrix analyses, factorizes and solves (nothing to do); 1 x 1 divides exactly.
TEST_F(SupernodalCholesky, SolvesEmptyAndOneByOne)
{
    CSparseMatrix empty;
    CMatrix none;
    CSupernodalCholesky chol;
    EXPECT_EQ(SolveWith(chol, empty, none), 1);
    EXPECT_EQ(chol.FactorEntries(), 0);

    CSparseMatrix one;
    one.Add(0, 0, 4.0);
    CMatrix b = Mat(1, 2, {2.0, -6.0});
    ASSERT_EQ(SolveWith(chol, one, b), 1);
    EXPECT_TRUE(SameBits(b, Mat(1, 2, {0.5, -1.5})));
    EXPECT_EQ(chol.FactorEntries(), 1);
}

// The model problems with their prescribed DOFs as unit rows (SymUnifyAndZero), 130 right-hand
// sides (multiples of the load): the scaled residual on the whole system, prescribed values
// exact. One, two and all threads give the same bits: every entry of the factor and of the
// solutions sees the same operations in the same order (the dense case splits its one wide
// supernode into pieces of rows and columns, the solve its right-hand sides into groups).
// A backward-stable solve keeps the residual below c * n * eps; c = 1 is loose for these sizes
// (the error grows with the largest column count, not with n). A progress handler is installed
// throughout: it changes no bit and is called in order by the calling thread alone.
TEST_F(SupernodalCholesky, SolvesAlikeOnAnyThreadCount)
{
    struct Case
    {
        std::string name;
        CSystSpMat K;
        CMatrix f;
        std::vector<long> fixed;
        std::vector<double> values;
    };
    std::vector<Case> cases(3);
    const tarvel_fem::FemProblem problems[] = {tarvel_fem::cantilever_plate(40, 10),
                                               tarvel_fem::poisson_3d(16)};
    for (int c = 0; c < 2; ++c)
    {
        FemSystem s;
        MakeFemSystem(problems[c], s);
        cases[c].name = problems[c].name;
        cases[c].K = std::move(s.K);
        cases[c].f = CMatrix(s.f.GetRows(), 130, true, 0.0);
        for (int i = 0; i < s.f.GetRows(); ++i)
            for (int j = 0; j < 130; ++j) cases[c].f(i, j) = s.f(i, 0) * (j + 1);
        cases[c].fixed = problems[c].fixed_dofs;
        cases[c].values = problems[c].fixed_values;
    }
    Problem dense = MakeProblem(DenseSpd(660, 9), 130, true);
    cases[2].name = "dense-660";
    cases[2].K = System(660, std::move(dense.A));
    cases[2].f = dense.b;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CMatrix first;
        for (int threads : {1, 2, 0})
        {
            CMatrix x = c.f;
            CSupernodalCholesky chol;
            chol.SetThreads(threads);
            std::vector<double> done;  // the progress; -1 for a call from another thread
            const std::thread::id caller = std::this_thread::get_id();
            TarvelSetProgressHandler(
                [&](const TarvelProgress& p)
                { done.push_back(std::this_thread::get_id() == caller ? p.done : -1); });
            ASSERT_EQ(SolveWith(chol, c.K, x), 1) << chol.LastFailure().GetString();
            TarvelSetProgressHandler({});
            ASSERT_GE(done.size(), 3u);  // in order from 0 to 1, bounded
            EXPECT_TRUE(done.front() == 0.0 && done.back() == 1.0 &&
                        done.size() <= kProgressSteps + 2u &&
                        std::is_sorted(done.begin(), done.end()));
            EXPECT_LE(ScaledResidual(c.K, x, c.f), x.GetRows() * kEps);
            for (size_t t = 0; t < c.fixed.size(); ++t)
                EXPECT_EQ(x(static_cast<int>(c.fixed[t]), 0), c.values[t]);
            if (threads == 1)
                first = x;
            else
                EXPECT_TRUE(SameBits(x, first)) << threads << " threads";
        }
    }
}

// A labelling of CReorderMat (reverse Cuthill-McKee on the grid's graph) is the elimination
// order: the solution matches the dense elimination as in the first test.
TEST_F(SupernodalCholesky, FactorsInTheOrderOfACReorderMatLabelling)
{
    TempDir dir;
    const ScriptPathScope script(dir.file("Reord.m"));
    const int nx = 12, ny = 9;
    Problem p = MakeProblem(GridLaplacian(nx, ny), 2, true);
    CReorderMat graph(0);
    ElementList edges;
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i)
        {
            if (i + 1 < nx) edges.push_back({j * nx + i, j * nx + i + 1});
            if (j + 1 < ny) edges.push_back({j * nx + i, (j + 1) * nx + i});
        }
    BuildGraph(graph, nx * ny, edges);
    graph.RevCuthillMcKee();
    CSupernodalCholesky chol;
    chol.SetLabels(graph);
    const CMatrix reference = DenseSolve(p.dense, p.b);
    ASSERT_EQ(SolveWith(chol, p.A, p.rhs), 1) << chol.LastFailure().GetString();
    EXPECT_LE(MaxRelativeDifference(p.rhs, reference), 1000.0 * nx * ny * kEps);
}

// Every successful factorization shows one report with a fixed text (the time, the factor's
// entries and the multiply-adds); a failed one shows none.
TEST_F(SupernodalCholesky, ReportsEachFactorization)
{
    Problem p = MakeProblem(GridLaplacian(8, 8), 1, true);
    CSupernodalCholesky chol;
    ASSERT_EQ(chol.Analyze(p.A), 1);
    ASSERT_EQ(chol.Factorize(p.A), 1);
    ASSERT_EQ(m_messages.size(), 1u);
    char flops[32];
    std::snprintf(flops, sizeof flops, "%10.3e", chol.FactorFlops());
    EXPECT_EQ(Untimed(m_messages[0]), "Used time:\r\n Factorizing  :   T s\r\n Size factor  :   " +
                                          std::to_string(chol.FactorEntries()) +
                                          "\r\n Flops        :   " + flops);
    *p.A.GetValue(5, 5) = -1.0;
    EXPECT_EQ(chol.Factorize(p.A), -1);
    EXPECT_EQ(m_messages.size(), 1u);
}

// Storage: a factor that cannot be had is refused with -1 and "out of memory", in a child
// process whose address space is limited to what it uses now plus 64 MiB: the natural order of
// a 400 x 400 grid fills the band, 6.4e7 entries of the factor (512 MB).
TEST_F(SupernodalCholesky, RefusesAFactorThatDoesNotFit)
{
    if (!kAddressLimitWorks) GTEST_SKIP() << "sanitizers reserve the address space";
    const int w = 400;
    CSystSpMat A(w * w);  // rows in an array: each Add reaches its row at once
    for (int i = 0; i < w * w; ++i)
    {
        A.Add(i, i, 4.0);
        if (i % w + 1 < w) A.Add(i, i + 1, -1.0);
        if (i + w < w * w) A.Add(i, i + w, -1.0);
    }
    CSupernodalCholesky chol;
    chol.SetOrdering(CSupernodalCholesky::orderNatural);
    ASSERT_EQ(chol.Analyze(A), 1);
    EXPECT_EXIT(
        {
            limit_address_space(64ull << 20);
            const bool refused =
                chol.Factorize(A) == -1 && chol.LastFailure().Left(13) == "out of memory";
            std::exit(refused ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
