// CSkylineMatrix: sizing the profile from a band, explicit heights or a reordered graph,
// assembling, the printout and copies; the factorization by hand, the blocked kernels by their
// backward error and the substitutions by their residuals, grid solves under scrambled and
// reordered labellings, and Gauss-Seidel.
#include "support/DofGraphs.h"
#include "support/GlobalState.h"
#include "support/Problems.h"
#include "support/TempDir.h"

#include <tarvel/Tarvel.h>
#include <tarvel/skyline/detail/SkylineKernels.h>

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>

using namespace tarvel_test;
using Skyline = GlobalStateTest;

namespace
{

// The layout (K2) recounted from the heights, every entry 0.0.
void ExpectLinked(const CSkylineMatrix& S)
{
    int idx = -1;
    for (int j = 0; j < S.m_nOrder; ++j)
    {
        idx += S.m_pHeight[j];
        EXPECT_EQ(S.m_pDiagIdx[j], idx) << j;
        EXPECT_EQ(S.m_ppDiag[j], S.m_pValues + idx) << j;
    }
    EXPECT_EQ(S.m_nValues, idx + 1);
    for (int k = 0; k < S.m_nValues; ++k) EXPECT_EQ(S.m_pValues[k], 0.0);
}

// The graph of n DOFs and the element lists under a labelling (empty: the identity), PostReorder
// done.
void LabelledGraph(CReorderMat& g, int n, const ElementList& elements, const Labels_t& label)
{
    BuildGraph(g, n, elements);
    std::copy(label.begin(), label.end(), g.m_pLabel);
    g.PostReorder();
}

// 0 .. n-1 shuffled within consecutive windows of the given width.
Labels_t Shuffled(int n, unsigned seed, int window)
{
    Labels_t label(n);
    std::iota(label.begin(), label.end(), 0L);
    std::mt19937 rng(seed);
    for (int w = 0; w < n; w += window)
        std::shuffle(label.begin() + w, label.begin() + std::min(n, w + window), rng);
    return label;
}

// The mesh with DOF d renumbered label[d].
Mesh Relabelled(Mesh m, const Labels_t& label)
{
    for (auto& e : m.dofs)
        for (long& d : e) d = d < 0 ? -1 : label[d];
    return m;
}

// The scaled residual of the mesh's system with DOF d renumbered label[d], assembled into S and
// solved there for p random right-hand sides.
double SkylineResidual(const Mesh& m, const Labels_t& label, CSkylineMatrix& S, int p)
{
    const Mesh relabelled = Relabelled(m, label);
    relabelled.AssembleInto(S);
    CSparseMatrix A;
    relabelled.AssembleInto(A);
    const CMatrix b = RandomMatrix(m.n, p, 5);
    CMatrix x(b);
    double seconds = 0.0;
    EXPECT_EQ(S.Cholesky_Solve(&x, seconds), 1);
    return ScaledResidual(A, x, b);
}

// A skyline matrix of the given column heights (order = their count), values set column by
// column from the top.
CSkylineMatrix Profile(std::vector<int> heights, std::vector<double> values = {})
{
    std::vector<int> dims = {static_cast<int>(heights.size()), 0};
    for (int h : heights) dims.push_back(h), dims[1] += h;
    CSkylineMatrix S;
    EXPECT_TRUE(S.Allocate(dims.data(), static_cast<int>(dims.size())));
    std::copy(values.begin(), values.end(), S.m_pValues);
    return S;
}

constexpr double kEps = 0x1p-53;  // unit roundoff of double

// A random profile of order n: column heights drawn up to `reach` (and up to j + 1), plus a few
// columns reaching row 0; entries uniform in [-1, 1] and every diagonal 4 x the tallest height,
// so that Gershgorin keeps the eigenvalues in [2, 6] x that height (condition number <= 3).
CSkylineMatrix RandomProfile(int n, int reach, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<int> heights;
    for (int j = 0; j < n; ++j)
        heights.push_back(j % 37 == 36 ? j + 1
                                       : 1 + static_cast<int>(rng() % std::min(j + 1, reach)));
    CSkylineMatrix A = Profile(heights);
    for (int k = 0; k < A.m_nValues; ++k) A.m_pValues[k] = u(rng);
    const int tallest = *std::max_element(heights.begin(), heights.end());
    for (int j = 0; j < n; ++j) A(j, j) = 4.0 * tallest + u(rng);
    return A;
}

// T^T y (transposed) or T y, T the upper triangle of F with a unit (mode 1) or the stored
// (mode 2) diagonal.
CMatrix Product(CSkylineMatrix& F, const CMatrix& y, int mode, bool transposed)
{
    CMatrix z(y.GetRows(), y.GetColumns(), true, 0.0);
    for (int k = 0; k < F.m_nOrder; ++k)
        for (int i = F.PeakRow(k); i <= k; ++i)
        {
            const double t = i < k ? F(i, k) : mode == 1 ? 1.0 : F(k, k);  // T(i, k)
            for (int c = 0; c < y.GetColumns(); ++c)
                (transposed ? z(k, c) : z(i, c)) += t * (transposed ? y(i, c) : y(k, c));
        }
    return z;
}

}  // namespace

// {n, b} with b < n is a band of half-bandwidth b whose size is written back into dims[1]; {n,
// T} the band of T values; {n, T, heights...} explicit columns. A same-size Allocate zeroes;
// {0} empties; a negative order is refused and {n} sets the order only (heights 1, no
// diagonal table) (choices).
TEST_F(Skyline, AllocateBandsAndExplicitProfiles)
{
    CSkylineMatrix S;
    EXPECT_TRUE(S.m_pCurrent == nullptr && S.DiagVect() == nullptr);  // choices
    for (int b = 1; b <= 9; ++b)  // every band of order 9, as its size and (below 9) as b
        for (int asWidth : {0, 1})
        {
            int band[] = {9, asWidth && b < 9 ? b : b * (18 - b + 1) / 2};
            ASSERT_TRUE(S.Allocate(band, 2));
            EXPECT_EQ(band[1], b * (18 - b + 1) / 2);
            for (int j = 0; j < 9; ++j) EXPECT_EQ(S.m_pHeight[j], std::min(j + 1, b)) << b;
            ExpectLinked(S);
        }
    S = Profile({1, 2, 2});
    EXPECT_EQ(S.PeakRow(2), 1);
    ExpectLinked(S);
    S(1, 2) = 7.0;
    EXPECT_EQ(S.m_pCurrent, S.m_pValues + 3);
    int given[] = {3, 5, 1, 2, 2}, negative[] = {-3, 2}, order[] = {5}, zero[] = {0};
    ASSERT_TRUE(S.Allocate(given, 5));
    EXPECT_EQ(S.m_pValues[3], 0.0);
    EXPECT_FALSE(S.Allocate(negative, 2));
    EXPECT_EQ(S.m_nOrder, 3);
    ASSERT_TRUE(S.Allocate(order, 1));
    EXPECT_EQ(std::vector<int>(S.m_pHeight, S.m_pHeight + 5), std::vector<int>(5, 1));
    EXPECT_EQ(S.m_ppDiag[4], nullptr);
    ASSERT_TRUE(S.Allocate(zero, 1));
    EXPECT_TRUE(S.m_nOrder == 0 && S.m_nValues == 0 && !S.m_pValues && !S.m_pHeight);
}

// Column L reaches its farthest lower-labelled neighbour: height(L) = L - min label + 1 over the
// elements holding L, recounted from the element lists under a scrambled labelling. Allocated
// again for the same order, the previous heights are the floor (choice).
TEST_F(Skyline, ProfileOfAReorderedGraph)
{
    const int n = 30;
    const ElementList elements = GridElements(5, 4);
    std::vector<int> expected(n, 1);
    CSkylineMatrix S;
    for (const Labels_t& label : {Shuffled(n, 7, n), Labels_t()})
    {
        CReorderMat g(0);
        LabelledGraph(g, n, elements, label);
        for (const auto& e : elements)
            for (long a : e)
                for (long b : e)
                {
                    const int la = g.f_v(static_cast<int>(a)), lb = g.f_v(static_cast<int>(b));
                    int& height = expected[std::max(la, lb)];
                    height = std::max(height, std::abs(la - lb) + 1);
                }
        ASSERT_TRUE(S.Allocate(g));
        EXPECT_EQ(std::vector<int>(S.m_pHeight, S.m_pHeight + n), expected);
        ExpectLinked(S);
    }
}

// AddValues skips negative indices and zeros and never writes below the diagonal (entries with
// dofs[c] < dofs[r] would land in the next column's storage); m_pCurrent stays (choice). COUT
// prints the full matrix, DiagVect copies the diagonal (none without columns); copies are deep.
TEST_F(Skyline, AssemblyPrintoutAndCopies)
{
    CSkylineMatrix S = Profile({1, 2, 3});
    long dofs[] = {2, -1, 0};
    double ke[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    S.AddValues(dofs, ke, 3);
    S.AddValues(dofs, ke, 3);
    EXPECT_EQ(S.m_pCurrent, nullptr);
    // Column by column: (0,0) | (0,1) (1,1) | (0,2) (1,2) (2,2)
    EXPECT_EQ(std::vector<double>(S.m_pValues, S.m_pValues + 6),
              (std::vector<double>{18, 0, 0, 14, 0, 2}));

    S = Profile({1, 2, 2}, {4, 1.5, 3, -2.25, 5});
    testing::internal::CaptureStdout();
    S.COUT(",");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "4,1.5,0,\n0,3,-2.25,\n0,0,5,\n");
    const std::unique_ptr<double[]> d(S.DiagVect());  // the caller's copy of the diagonal
    EXPECT_EQ(std::vector<double>(d.get(), d.get() + 3), (std::vector<double>{4, 3, 5}));
    EXPECT_EQ(CSkylineMatrix().DiagVect(), nullptr);
    CSkylineMatrix copy;
    copy = S;
    copy(1, 2) = 2.0;  // through the copy's own column table
    EXPECT_EQ(S(1, 2), -2.25);
    CSkylineMatrix moved(std::move(copy));
    EXPECT_EQ(moved(1, 2), 2.0);
    EXPECT_EQ(copy.m_pValues, nullptr);
}

// [[4, 2], [2, 3]] = U^T D U with U(0, 1) = 0.5, D = (4, 2); b = (2, 1) gives x = (0.5, 0); the
// solve counts no flops and reports its phases, the size and the flops. [[4, 2], [2, 1]] fails at
// its last pivot, exactly 1 - 2 * 0.5 = 0.0. DiagMult's modes, and none without columns.
TEST_F(Skyline, TwoByTwoByHandSingularPivotAndDiagMult)
{
    CSkylineMatrix S = Profile({1, 2}, {4, 2, 3});
    CMatrix B = Mat(2, 1, {2, 1});
    CVirtMat::m_Flops = 99;
    double seconds = 0.0;
    ASSERT_EQ(S.Cholesky_Solve(&B, seconds), 1);
    EXPECT_EQ(std::tuple(S(0, 0), S(0, 1), S(1, 1)), std::tuple(4.0, 0.5, 2.0));
    EXPECT_TRUE(SameBits(B, Mat(2, 1, {0.5, 0.0})));
    EXPECT_EQ(CVirtMat::m_Flops, 0u);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(Untimed(m_messages[0]), "Used time:\r\n Factorizing  :   T s\r\n Forw. subst. :   T "
                                      "s\r\n Backw. subst.:   T s\r\n Size stiffm. :   3\r\n "
                                      "Flops        :    0.000e+00");
    S = Profile({1, 2}, {4, 2, 1});
    EXPECT_EQ(S.Cholesky_Solve(&B, seconds), -1);

    S = Profile({1, 1}, {2, 4});
    B = Mat(2, 2, {1, 3, 8, 2});
    S.DiagMult(&B, nullptr, 2);  // every row of B times its diagonal entry
    EXPECT_TRUE(SameBits(B, Mat(2, 2, {2, 6, 32, 8})));
    S.DiagMult(&B, nullptr, -1);  // the diagonal divided by column 0 of B
    EXPECT_EQ(std::pair(S(0, 0), S(1, 1)), std::pair(1.0, 0.125));
    CMatrix none;
    double t = 5.0;
    S.DiagMult(&none, &t, 2);
    EXPECT_EQ(t, 5.0);
}

// Profiles of every shape the blocks meet (a band, ragged heights, lone columns reaching row 0,
// orders around the block width, a single column), factorized by every kernel set this
// processor runs: backward error |A - U^T D U| <= 2 (h_j + 1) eps (|U|^T |D| |U|) entry by
// entry, the classic bound for Cholesky (Higham, Accuracy and Stability of Numerical Algorithms,
// 2nd ed., thm. 10.3) with h_j + 1 terms in each sum, doubled for the division; the factors are
// unique, so this pins them down. Then 1, 3 and 11 right-hand sides through both substitutions
// in both modes: residuals within 8 n eps.
TEST_F(Skyline, BlockedFactorsAndSubstitutionsToRoundoff)
{
    for (const auto& [order, reach] :
         {std::pair{1, 1}, {23, 23}, {24, 5}, {25, 25}, {97, 30}, {160, 160}, {301, 40}, {260, 9}})
    {
        const CSkylineMatrix A = RandomProfile(order, reach, 7 + order);
        const int n = A.m_nOrder;
        for (auto set = tarvel::detail::skyline_kernel_sets(); *set; ++set)
        {
            SCOPED_TRACE(testing::Message() << (*set)->name << " n " << n << " reach " << reach);
            CSkylineMatrix F(A);
            ASSERT_EQ(tarvel::detail::skyline_cholesky_blocked(F, **set), 1);
            double worst = 0.0;  // backward error over its bound, the largest ratio
            for (int j = 0; j < n; ++j)
                for (int i = F.PeakRow(j); i <= j; ++i)
                {
                    double sum = 0.0, bound = 0.0;  // (U^T D U)_ij and (|U|^T |D| |U|)_ij
                    for (int r = std::max(F.PeakRow(i), F.PeakRow(j)); r <= i; ++r)
                    {
                        const double u_ri = r == i ? 1.0 : F(r, i);
                        const double u_rj = r == j ? 1.0 : F(r, j);
                        sum += u_ri * F(r, r) * u_rj;
                        bound += std::fabs(u_ri * F(r, r) * u_rj);
                    }
                    const double slack = 2.0 * (F.m_pHeight[j] + 1) * kEps * bound;
                    worst = std::max(worst,
                                     std::fabs(sum - A.m_pValues[&F(i, j) - F.m_pValues]) / slack);
                }
            EXPECT_LE(worst, 1.0);
        }

        CSkylineMatrix F(A);
        ASSERT_EQ(F.Cholesky(), 1);
        for (int p : {1, 3, 11})
            for (int mode : {1, 2})
            {
                SCOPED_TRACE(testing::Message() << p << " columns, mode " << mode);
                const CMatrix b = RandomMatrix(n, p, n + p);
                CMatrix y(b), x;
                F.ForwSub(&y, nullptr, mode);
                x = y;
                F.BackwSub(&x, nullptr, mode);
                EXPECT_LE(MaxRelativeDifference(Product(F, y, mode, true), b), 8.0 * n * kEps);
                EXPECT_LE(MaxRelativeDifference(Product(F, x, mode, false), y), 8.0 * n * kEps);
            }
    }
}

// A pivot that is zero (a zero diagonal, as in lumped mass matrices), negative (an indefinite
// matrix) or NaN ends the factorization as failed: -1, the time -1.0, no report, B untouched.
// The pivots fail in the first column, inside a block and in a later block (blocks of 24).
TEST_F(Skyline, NonPositivePivotFailsTheSolve)
{
    const Mesh grid = Grid(8);
    for (const auto& [column, diagonal] : {std::pair{0, 0.0}, {5, -4.0}, {50, 0.0}, {30, NAN}})
    {
        SCOPED_TRACE(column);
        CSkylineMatrix S;
        int band[] = {grid.n, 10};  // the grid's half-bandwidth 9, and the diagonal
        ASSERT_TRUE(S.Allocate(band, 2));
        grid.AssembleInto(S);
        S(column, column) = diagonal;
        const CMatrix b = RandomMatrix(grid.n, 2, 4);
        CMatrix B(b);
        double seconds = 0.0;
        EXPECT_EQ(S.Cholesky_Solve(&B, seconds), -1);
        EXPECT_EQ(seconds, -1.0);
        EXPECT_TRUE(m_messages.empty());
        EXPECT_TRUE(SameBits(B, b));
    }
}

// The cantilever plate of 30 x 25 elements numbered in scrambled windows of 62, three right-hand
// sides: the scaled residual of a backward-stable solve. Then a reordering of each family (the
// tabu search after a backward labelling), run on a grid whose DOF numbers were scrambled at
// random, at least halves the profile, and the solve under its labels keeps the residual.
TEST_F(Skyline, ScrambledAndReorderedGridSolves)
{
    const Mesh m = FreeMesh(tarvel_fem::cantilever_plate(30, 25));
    const Labels_t label = Shuffled(m.n, 3, 62);
    CReorderMat g(0);
    LabelledGraph(g, m.n, m.dofs, label);
    CSkylineMatrix S;
    ASSERT_TRUE(S.Allocate(g));
    EXPECT_LT(SkylineResidual(m, label, S, 3), m.n * DBL_EPSILON);

    TempDir dir;
    ScriptPathScope script(dir.file("Reord.m"));
    const Mesh q = Relabelled(Grid(22), Shuffled(22 * 22, 17, 22 * 22));
    CReorderMat scrambled(1);
    LabelledGraph(scrambled, q.n, q.dofs, {});
    CSkylineMatrix S0;
    ASSERT_TRUE(S0.Allocate(scrambled));
    for (auto run : {&CReorderMat::MinDegReorder2, &CReorderMat::Hager3, &CReorderMat::Hager1})
    {
        CReorderMat g(scrambled);
        (g.*run)();
        if (run == &CReorderMat::Hager1) g.TabuReorder2();  // a tabu search from a good start
        g.PostReorder();
        CSkylineMatrix S;
        ASSERT_TRUE(S.Allocate(g));
        EXPECT_LT(S.m_nValues, S0.m_nValues / 2);
        EXPECT_LT(SkylineResidual(q, Labels(g), S, 1), q.n * DBL_EPSILON);
    }
}

// Three sweeps from x = 0 against the sweeps written densely here, with a report; a converged
// run leaves the new iterate in x; a 1 x 1 system is solved without a report.
TEST_F(Skyline, GaussSeidel)
{
    const Mesh m = Grid(5);  // bandwidth 6
    const int n = m.n;
    CSkylineMatrix S;
    int dims[] = {n, 7};
    ASSERT_TRUE(S.Allocate(dims, 2));
    m.AssembleInto(S);
    const CMatrix A = m.Dense();
    CVector b(n, true, 0.0), x(n, true, 0.0);
    for (int i = 0; i < n; ++i) b[i] = 1.0 + i % 3;
    CMatrix ref(n, 1, true, 0.0);  // x_i = (b_i - sum_{j != i} a_ij x_j) / a_ii
    for (int sweep = 0; sweep < 3; ++sweep)
        for (int i = 0; i < n; ++i)
        {
            double s = b[i];
            for (int j = 0; j < n; ++j) s -= j != i ? A(i, j) * ref(j, 0) : 0.0;
            ref(i, 0) = s / A(i, i);
        }
    EXPECT_EQ(S.GaussSeidel_Iter(b, x, 0.0, 3), -1);  // tol 0: never converges
    EXPECT_LT(MaxRelativeDifference(x, ref), SolveTolerance(n, 1.0));
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(Untimed(m_messages[0])
                  .rfind("Used time solving :   T s\r\nFirst            :   T "
                         "s\r\nLast             :   T s\r\n Number of iter. "
                         ":   3\r\n NEQ             :   25\r\n Norm of error   : ",
                         0),
              0u);

    EXPECT_EQ(S.GaussSeidel_Iter(b, x, 1e-13, 500), 1);
    CSparseMatrix sparse;
    m.AssembleInto(sparse);
    EXPECT_LT(ScaledResidual(sparse, x, b), 1e-11);
    CSkylineMatrix one = Profile({1}, {4});
    CVector b1(1, true, 2.0), x1(1, true, 0.0);
    EXPECT_EQ(one.GaussSeidel_Iter(b1, x1, 1e-10, 10), 1);
    EXPECT_EQ(x1[0], 0.5);
    EXPECT_EQ(m_messages.size(), 2u);
}
