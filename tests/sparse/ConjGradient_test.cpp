// Block conjugate gradients: the hand-worked 2 x 2 case with its count, maxIter 0 and a zero
// right-hand side; both solvers against the reference solve with two right-hand sides, scaling
// on and off, and against each other bit for bit; a start solution; a prescribed unit row (the
// report of ConjGradient2 is pinned in TimingReports_test).
#include "support/GlobalState.h"
#include "support/Problems.h"

#include <tarvel/Tarvel.h>

#include <cmath>
#include <gtest/gtest.h>

using namespace tarvel_test;
using ConjGradient = GlobalStateTest;

namespace
{

// Solver 0 is ConjGradient (no start solution), solver 1 ConjGradient2.
int Solve(int solver, CSparseMatrix& A, CMatrix& B, double& res, int maxIter, double tol,
          bool scale)
{
    return solver == 0 ? A.ConjGradient(B, nullptr, res, maxIter, tol, nullptr, scale)
                       : A.ConjGradient2(B, res, maxIter, tol, nullptr, scale);
}

}  // namespace

// Upper triangle [[4, 1], [., 3]], b = (1, 2): two iterations reach (1/11, 7/11), the test being
// met in iteration 1; flops 2 x (2 + 4) for the products plus (9 m + 1) k p = 19: 35 in all.
// maxIter 0: no iteration, B = 0, res the largest squared column norm of B (scaled: b_i^2 /
// a_ii). A zero right-hand side divides 0 by 0: NaN results and all maxIter iterations (choice).
TEST_F(ConjGradient, TwoByTwoCasesForBothSolvers)
{
    for (int solver = 0; solver < 2; ++solver)
    {
        SCOPED_TRACE(solver);
        CSparseMatrix A = FromTriplets({{0, 0, 4}, {0, 1, 1}, {1, 1, 3}});
        CMatrix B = Mat(2, 1, {1, 2});
        double res = -1.0;
        CVirtMat::m_Flops = 0;
        EXPECT_EQ(Solve(solver, A, B, res, 10, 1e-12, false), 1);
        EXPECT_LT(MaxRelativeDifference(B, Mat(2, 1, {1.0 / 11.0, 7.0 / 11.0})), 1e-14);
        EXPECT_LT(res, 5e-12);
        EXPECT_EQ(CVirtMat::m_Flops, 35u);
        EXPECT_EQ(Structure(A), "0: 0=4 1=1; 1: 1=3");

        for (bool scale : {false, true})
        {
            CSparseMatrix S = FromTriplets({{0, 0, 4}, {0, 1, 1}, {1, 1, 3}});
            B = Mat(2, 1, {1, 2});
            EXPECT_EQ(Solve(solver, S, B, res, 0, 1e-12, scale), 0);
            EXPECT_DOUBLE_EQ(res, scale ? 0.25 + 4.0 / 3.0 : 5.0);
            EXPECT_TRUE(SameBits(B, Mat(2, 1, {0, 0})));
        }
        B = Mat(2, 1, {0, 0});
        EXPECT_EQ(Solve(solver, A, B, res, 4, 1e-12, false), 4);
        EXPECT_TRUE(std::isnan(B.m_pData[0]) && std::isnan(res));
    }
    EXPECT_TRUE(m_messages.empty());
}

// An 80-unknown Poisson problem with one and with two right-hand sides: each solver, scaled or
// not, reaches the reference solution; unscaled, both make the same iterations bit for bit (the
// products through the lists and through the exported arrays, whose single-column loop is a
// kernel of its own), with the same res and count.
TEST_F(ConjGradient, ReachTheReferenceSolutionWithOneAndTwoRightHandSides)
{
    const Mesh mesh = PoissonQ4(11, 9);
    for (int nRhs : {1, 2})
    {
        SCOPED_TRACE(nRhs);
        const Problem p0 = MakeProblem(mesh, nRhs, true, 5);
        const CMatrix reference = DenseSolve(p0.dense, p0.b);
        CMatrix unscaled[2];
        std::tuple<int, double, std::uint32_t> runs[2];  // iterations, res, m_Flops
        for (int solver = 0; solver < 2; ++solver)
            for (bool scale : {false, true})
            {
                SCOPED_TRACE(::testing::Message() << "solver " << solver << " scale " << scale);
                Problem p = MakeProblem(mesh, nRhs, true, 5);
                double res = 0.0;
                CVirtMat::m_Flops = 0;
                const int k = Solve(solver, p.A, p.rhs, res, 1000, 1e-24, scale);
                EXPECT_TRUE(k > 1 && k < 1000) << k;
                EXPECT_LT(MaxRelativeDifference(p.rhs, reference), 1e-9);
                if (scale)  // ConjGradient leaves its cells scaled: a unit diagonal
                    EXPECT_EQ(std::fabs(*p.A.GetValue(3, 3) - 1.0) < 1e-15, solver == 0);
                else
                {
                    unscaled[solver] = p.rhs;
                    runs[solver] = {k, res, CVirtMat::m_Flops};
                }
            }
        EXPECT_TRUE(SameBits(unscaled[0], unscaled[1]));
        EXPECT_EQ(runs[0], runs[1]);
    }

    // A start solution receives the correction; B is left holding a direction matrix.
    Problem p = MakeProblem(mesh, 2, true, 5);
    const CMatrix reference = DenseSolve(p.dense, p.b);
    CMatrix X0(reference);
    for (int e = 0; e < X0.m_nSize; ++e) X0.m_pData[e] *= 0.9;
    double res = 0.0;
    EXPECT_GT(p.A.ConjGradient(p.rhs, &X0, res, 1000, 1e-24, nullptr, false), 1);
    EXPECT_LT(MaxRelativeDifference(X0, reference), 1e-9);
}

// ConjGradient2 takes a row holding only 1.0 on its diagonal (a prescribed row) as an identity
// row: x_2 = b_2. ConjGradient scales its own cells, a row without its diagonal by 1.0 (choice).
TEST_F(ConjGradient, PrescribedRowAndScalingWithoutDiagonal)
{
    CSparseMatrix A = FromTriplets({{0, 0, 4}, {0, 1, 1}, {1, 1, 3}, {2, 2, 1.0}});
    CMatrix B = Mat(3, 1, {1, 2, 5});
    double res = 0.0;
    EXPECT_LE(A.ConjGradient2(B, res, 10, 1e-20, nullptr, true), 3);
    EXPECT_LT(MaxRelativeDifference(B, Mat(3, 1, {1.0 / 11.0, 7.0 / 11.0, 5.0})), 1e-14);

    CSparseMatrix S = FromTriplets({{0, 0, 4}, {0, 1, 1}, {1, 2, 3}, {2, 2, 9}});
    B = Mat(3, 1, {2, 1, 3});
    S.ConjGradient(B, nullptr, res, 0, 1e-12, nullptr, true);
    EXPECT_EQ(Structure(S), "0: 0=1 1=0.5; 1: 2=1; 2: 2=1");
    EXPECT_EQ(res, 3.0);  // the scaled B is (1, 1, 1)
}

// A row that holds only its unit diagonal still receives what earlier rows add into it through
// their entries in its column: in upper storage that is the last row of every matrix with a unit
// diagonal (after symmetric diagonal scaling, for one). ConjGradient2 must then solve as
// ConjGradient and a dense solve do: the 2 x 2 case by hand, a unit-diagonal chain and a grid
// Laplacian divided by its diagonal 4, one and two right-hand sides, scaling on and off.
TEST_F(ConjGradient, UnitDiagonalRowWithCouplingsInItsColumn)
{
    const auto chain = [](int n)
    {
        std::vector<std::tuple<int, int, double>> t;
        for (int i = 0; i < n; ++i)
        {
            t.emplace_back(i, i, 1.0);
            if (i + 1 < n) t.emplace_back(i, i + 1, -0.45);
        }
        return t;
    };
    const auto grid = [](int nx, int ny)
    {
        std::vector<std::tuple<int, int, double>> t;
        for (int i = 0; i < nx * ny; ++i)
        {
            t.emplace_back(i, i, 1.0);
            if (i % nx + 1 < nx) t.emplace_back(i, i + 1, -0.25);
            if (i + nx < nx * ny) t.emplace_back(i, i + nx, -0.25);
        }
        return t;
    };
    // Upper triangle, right-hand sides and, for the hand case, the solution.
    const std::tuple<std::vector<std::tuple<int, int, double>>, CMatrix, CMatrix> cases[] = {
        {{{0, 0, 1.0}, {0, 1, 0.5}, {1, 1, 1.0}}, Mat(2, 1, {1.5, 1.5}), Mat(2, 1, {1, 1})},
        {chain(12), RandomMatrix(12, 1, 3), CMatrix()},
        {grid(6, 5), RandomMatrix(30, 2, 4), CMatrix()},
    };
    for (const auto& [upper, b, solution] : cases)
        for (bool scale : {false, true})
        {
            const int n = b.GetRows();
            SCOPED_TRACE(testing::Message() << "n " << n << " scale " << scale);
            CMatrix dense(n, n, true, 0.0);
            for (const auto& [i, j, v] : upper) dense(i, j) = dense(j, i) = v;
            const CMatrix reference = solution.GetRows() ? solution : DenseSolve(dense, b);
            CSparseMatrix A = FromTriplets(upper), A1(A);
            CMatrix B(b), B1(b);
            double res = 0.0, res1 = 0.0;
            EXPECT_LT(A.ConjGradient2(B, res, 200, 1e-28, nullptr, scale), 200);
            EXPECT_LT(A1.ConjGradient(B1, nullptr, res1, 200, 1e-28, nullptr, scale), 200);
            EXPECT_LT(MaxRelativeDifference(B, reference), 1e-12);
            EXPECT_LT(MaxRelativeDifference(B1, reference), 1e-12);
        }
}
