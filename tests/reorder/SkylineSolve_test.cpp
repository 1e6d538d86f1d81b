// CSkylineMatrix solvers: the factorization by hand, the fast kernels against the plain ones
// bit for bit, solves on grids under scrambled and reordered labellings against the dense twin
// and the system matrix, Gauss-Seidel, and the report texts.
#include "support/DofGraphs.h"
#include "support/GlobalState.h"
#include "support/Problems.h"
#include "support/TempDir.h"

#include <tarvel/Tarvel.h>
#include <tarvel/reorder/detail/SkylineKernels.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <initializer_list>
#include <random>
#include <regex>
#include <vector>

using namespace tarvel_test;
using SkylineSolve = GlobalStateTest;

namespace
{

// The report with every "%u m %2.2f s" time replaced by T.
std::string Untimed(const std::string& text)
{
    return std::regex_replace(text, std::regex("[0-9]+ m +[0-9]+\\.[0-9][0-9] s"), "T");
}

// The skyline matrix of mesh m under a labelling: DOF d becomes row and column label[d].
void AssembleLabelled(const Mesh& m, const std::vector<long>& label, CSkylineMatrix& S)
{
    for (size_t e = 0; e < m.dofs.size(); ++e)
    {
        std::vector<long> l = m.dofs[e];
        for (long& d : l) d = d < 0 ? -1 : label[d];
        std::vector<double> k = m.ke[e];
        S.AddValues(l.data(), k.data(), static_cast<int>(l.size()));
    }
}

// Solves the mesh's system for the columns of b (DOF order) through the skyline matrix under
// the labelling; returns the solution in DOF order.
CMatrix SkylineSolution(const Mesh& m, const std::vector<long>& label, CSkylineMatrix& S,
                        const CMatrix& b)
{
    AssembleLabelled(m, label, S);
    const int n = m.n, p = b.GetColumns();
    CMatrix B(n, p, true, 0.0);
    for (int d = 0; d < n; ++d)
        for (int c = 0; c < p; ++c) B(label[d], c) = b(d, c);
    double seconds = 0.0;
    EXPECT_EQ(S.Cholesky_Solve(&B, seconds), 1);
    CMatrix x(n, p, true, 0.0);
    for (int d = 0; d < n; ++d)
        for (int c = 0; c < p; ++c) x(d, c) = B(label[d], c);
    return x;
}

// The system matrix's solution of the same system (upper triangle, Cholesky_Solve).
CMatrix SystemSolution(const Mesh& m, const CMatrix& b)
{
    CVirtMat::m_bSym = true;
    CSystSpMat K(m.n);
    m.AssembleInto(K);
    CMatrix x(b);
    double seconds = 0.0;
    EXPECT_EQ(K.Cholesky_Solve(&x, seconds), 1);
    return x;
}

double MaxRelativeDifference(const CMatrix& x, const CMatrix& y)
{
    double diff = 0.0, size = 0.0;
    for (int k = 0; k < x.m_nSize; ++k)
    {
        diff = std::max(diff, std::fabs(x.m_pData[k] - y.m_pData[k]));
        size = std::max(size, std::fabs(y.m_pData[k]));
    }
    return diff / size;
}

CMatrix Column(std::initializer_list<double> values, int cols = 1)
{
    CMatrix M(static_cast<int>(values.size()) / cols, cols, true, 0.0);
    std::copy(values.begin(), values.end(), M.m_pData);
    return M;
}

bool SameBits(const double* a, const double* b, int n)
{
    for (int k = 0; k < n; ++k)
        if (std::memcmp(&a[k], &b[k], sizeof(double)) != 0 &&
            !(std::isnan(a[k]) && std::isnan(b[k])))
            return false;
    return true;
}

}  // namespace

// [[4, 2], [2, 3]] = U^T D U with U(0, 1) = 0.5, D = (4, 2); b = (2, 1) gives x = (0.5, 0).
TEST_F(SkylineSolve, TwoByTwoByHandWithReport)
{
    CSkylineMatrix S;
    int dims[] = {2, 3};
    ASSERT_TRUE(S.Allocate(dims, 2));
    S(0, 0) = 4;
    S(0, 1) = 2;
    S(1, 1) = 3;
    CMatrix B = Column({2, 1});
    CVirtMat::m_Flops = 99;
    double seconds = 0.0;
    ASSERT_EQ(S.Cholesky_Solve(&B, seconds), 1);
    EXPECT_EQ(S(0, 1), 0.5);
    EXPECT_EQ(S(0, 0), 4.0);
    EXPECT_EQ(S(1, 1), 2.0);
    EXPECT_EQ(B(0, 0), 0.5);
    EXPECT_EQ(B(1, 0), 0.0);
    EXPECT_EQ(CVirtMat::m_Flops, 0u);
    EXPECT_GE(seconds, 0.0);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(Untimed(m_messages[0]),
              "Used time:\r\n Factorizing  :   T\r\n Forw. subst. :   T\r\n Backw. subst.:   "
              "T\r\n Size stiffm. :   3\r\n Flops        :    0.000e+00");
}

TEST_F(SkylineSolve, DiagMultModes)
{
    CSkylineMatrix S;
    int dims[] = {2, 2};
    ASSERT_TRUE(S.Allocate(dims, 2));  // the diagonal only
    S(0, 0) = 2;
    S(1, 1) = 4;
    CMatrix B = Column({1, 3, 8, 2}, 2);
    S.DiagMult(&B, nullptr, 2);  // every row of B times its diagonal entry
    EXPECT_EQ(std::vector<double>(B.m_pData, B.m_pData + 4), (std::vector<double>{2, 6, 32, 8}));
    S.DiagMult(&B, nullptr, -1);  // the diagonal divided by column 0 of B
    EXPECT_EQ(S(0, 0), 1.0);
    EXPECT_EQ(S(1, 1), 0.125);
    CMatrix none;
    double t = 5.0;
    S.DiagMult(&none, &t, 2);
    EXPECT_EQ(t, 5.0);
}

// Random profiles (ragged heights, orders not a multiple of the lane count, a zero pivot) and
// 1, 3 and 11 right-hand sides: the members and the plain kernels agree bit for bit.
TEST_F(SkylineSolve, FastKernelsMatchPlainBitForBit)
{
    std::mt19937 rng(11);
    for (int trial = 0; trial < 6; ++trial)
    {
        SCOPED_TRACE(trial);
        const int n = 40 + 37 * trial;
        std::vector<int> dims = {n, 0};
        for (int j = 0; j < n; ++j)
        {
            const int reach = trial % 2 ? 30 : j;  // odd trials: ragged band; even: anything
            dims.push_back(1 + static_cast<int>(rng() % (std::min(j, reach) + 1)));
            dims[1] += dims.back();
        }
        CSkylineMatrix A;
        ASSERT_TRUE(A.Allocate(dims.data(), static_cast<int>(dims.size())));
        std::uniform_real_distribution<double> u(-1.0, 1.0);
        for (int k = 0; k < A.m_nValues; ++k) A.m_pValues[k] = u(rng);
        for (int j = 0; j < n; ++j) A(j, j) = trial == 5 && j == 7 ? 0.0 : n + u(rng);
        CSkylineMatrix plain(A);

        ASSERT_EQ(A.Cholesky(), 1);
        ASSERT_EQ(tarvel::detail::skyline_cholesky_plain(plain), 1);
        ASSERT_TRUE(SameBits(A.m_pValues, plain.m_pValues, A.m_nValues));

        for (int p : {1, 3, 11})
            for (int mode : {1, 2})
            {
                SCOPED_TRACE(testing::Message() << p << " columns, mode " << mode);
                CMatrix fast = RandomMatrix(n, p, trial * 10 + p);
                CMatrix slow(fast);
                A.ForwSub(&fast, nullptr, mode);
                tarvel::detail::skyline_forwsub_plain(A, slow, mode);
                EXPECT_TRUE(SameBits(fast.m_pData, slow.m_pData, fast.m_nSize));
                A.BackwSub(&fast, nullptr, mode);
                tarvel::detail::skyline_backwsub_plain(A, slow, mode);
                EXPECT_TRUE(SameBits(fast.m_pData, slow.m_pData, fast.m_nSize));
            }
    }
}

// A grid of 3000 unknowns numbered in scrambled windows of 50, three right-hand sides: the
// scaled residual against the dense twin stays at roundoff (backward stable, c = 10) and the
// solution agrees with the system matrix's.
TEST_F(SkylineSolve, ScrambledGridThreeRightHandSides)
{
    const Mesh m = GridLaplacian(60, 50);
    std::vector<long> label(m.n);
    for (int d = 0; d < m.n; ++d) label[d] = d;
    std::mt19937 rng(3);
    for (int w = 0; w < m.n; w += 50) std::shuffle(label.begin() + w, label.begin() + w + 50, rng);

    ElementList elements(m.dofs.begin(), m.dofs.end());
    CReorderMat g(0);
    BuildGraph(g, m.n, elements);
    std::copy(label.begin(), label.end(), g.m_pLabel);
    g.PostReorder();
    CSkylineMatrix S;
    ASSERT_TRUE(S.Allocate(g));

    const CMatrix b = RandomMatrix(m.n, 3, 5);
    const CMatrix x = SkylineSolution(m, label, S, b);
    EXPECT_LE(ScaledResidual(m.Dense(), x, b), 10.0 * m.n * kEps);
    EXPECT_LE(MaxRelativeDifference(x, SystemSolution(m, b)), 1e-10);
}

// Every family of reorderings, run on a grid whose DOF numbers were scrambled at random,
// shrinks the profile, and the skyline solve under its labels matches the system matrix.
TEST_F(SkylineSolve, ReorderedScrambledGrid)
{
    TempDir dir;
    ScriptPathScope script(dir.file("Reord.m"));
    const int nx = 24, ny = 20;
    Mesh m = GridLaplacian(nx, ny);
    std::vector<long> scramble(m.n);
    for (int d = 0; d < m.n; ++d) scramble[d] = d;
    std::mt19937 rng(17);
    std::shuffle(scramble.begin(), scramble.end(), rng);
    for (auto& e : m.dofs)
        for (long& d : e) d = scramble[d];
    const ElementList elements(m.dofs.begin(), m.dofs.end());
    const CMatrix b = RandomMatrix(m.n, 1, 9);
    const CMatrix reference = SystemSolution(m, b);

    CReorderMat scrambled(1);
    BuildGraph(scrambled, m.n, elements);
    scrambled.PostReorder();
    CSkylineMatrix S0;
    ASSERT_TRUE(S0.Allocate(scrambled));

    const std::vector<std::pair<const char*, std::function<void(CReorderMat&)>>> runs = {
        {"MinDegReorder2", [](CReorderMat& g) { g.MinDegReorder2(); }},
        {"Hager3", [](CReorderMat& g) { g.Hager3(); }},
        {"Hager1 + TabuReorder2",
         [](CReorderMat& g)
         {
             g.Hager1();
             g.TabuReorder2();
         }},
    };
    for (const auto& [name, run] : runs)
    {
        SCOPED_TRACE(name);
        CReorderMat g(scrambled);
        run(g);
        g.PostReorder();
        CSkylineMatrix S;
        ASSERT_TRUE(S.Allocate(g));
        EXPECT_LT(S.m_nValues, S0.m_nValues / 2);
        const CMatrix x = SkylineSolution(m, Labels(g), S, b);
        EXPECT_LE(MaxRelativeDifference(x, reference), 1e-10);
    }
}

// One Gauss-Seidel sweep count and the report; a converged run; the 1 x 1 case without report.
TEST_F(SkylineSolve, GaussSeidel)
{
    const Mesh m = GridLaplacian(5, 4);  // bandwidth 5
    const int n = m.n;
    CSkylineMatrix S;
    int dims[] = {n, 6};
    ASSERT_TRUE(S.Allocate(dims, 2));
    m.AssembleInto(S);
    const CMatrix A = m.Dense();
    CVector b(n, true, 0.0);
    for (int i = 0; i < n; ++i) b[i] = 1.0 + i % 3;

    // Three sweeps from x = 0 written densely: x_i = (b_i - sum_{j != i} a_ij x_j) / a_ii.
    std::vector<double> ref(n, 0.0);
    for (int sweep = 0; sweep < 3; ++sweep)
        for (int i = 0; i < n; ++i)
        {
            double s = b[i];
            for (int j = 0; j < n; ++j)
                if (j != i) s -= A(i, j) * ref[j];
            ref[i] = s / A(i, i);
        }
    CVector x(n, true, 0.0);
    EXPECT_EQ(S.GaussSeidel_Iter(b, x, 0.0, 3), -1);  // tol 0: never converges
    for (int i = 0; i < n; ++i) EXPECT_NEAR(x[i], ref[i], 1e-14 * std::fabs(ref[i]) + 1e-15);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(std::regex_match(
        Untimed(m_messages[0]),
        std::regex(
            "Used time solving :   T\r\nFirst            :   T\r\nLast             :   T\r\n "
            "Number of iter. :   3\r\n NEQ             :   20\r\n Norm of error   :   "
            "[0-9]\\.[0-9]{6}e[-+][0-9]{2}")))
        << m_messages[0];

    // Converged: x is the new iterate, not the change of the last sweep.
    EXPECT_EQ(S.GaussSeidel_Iter(b, x, 1e-13, 500), 1);
    for (int i = 0; i < n; ++i)
    {
        double r = -b[i];
        for (int j = 0; j < n; ++j) r += A(i, j) * x[j];
        EXPECT_NEAR(r, 0.0, 1e-11);
    }

    CSkylineMatrix one;
    int order[] = {1, 1};
    ASSERT_TRUE(one.Allocate(order, 2));
    one(0, 0) = 4;
    CVector b1(1, true, 2.0), x1(1, true, 0.0);
    EXPECT_EQ(one.GaussSeidel_Iter(b1, x1, 1e-10, 10), 1);
    EXPECT_EQ(x1[0], 0.5);
    EXPECT_EQ(m_messages.size(), 2u);  // the 1 x 1 system shows none
}
