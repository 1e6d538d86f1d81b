// Block conjugate gradients: the hand-worked 2 x 2 case with its count and report, maxIter 0 and
// a zero right-hand side; both solvers by their scaled residual, scaling on and off, and against
// each other bit for bit; a start solution; prescribed unit rows.
#include "SparseTesting.h"

namespace
{

// The iteration stops at a relative residual of sqrt(tol) in the 2-norm of the largest column:
// with tol = 1e-24 the scaled residual of these small well-conditioned problems stays below this.
constexpr double kTol = 1e-24, kResidual = 1e-11;

// Solver 0 is ConjGradient (no start solution), solver 1 ConjGradient2.
int Solve(int solver, CSparseMatrix& A, CMatrix& B, double& res, int maxIter, double tol,
          bool scale, CVector* times = nullptr)
{
    return solver == 0 ? A.ConjGradient(B, nullptr, res, maxIter, tol, times, scale)
                       : A.ConjGradient2(B, res, maxIter, tol, times, scale);
}

}  // namespace

// Upper triangle [[4, 1], [., 3]], b = (1, 2): two iterations reach (1/11, 7/11), the test being
// met in iteration 1; flops 2 x (2 + 4) for the products plus (9 m + 1) k p = 19: 35 in all.
// ConjGradient2 reports, with the iterations per equation and the squared residual norms.
// maxIter 0: no iteration, B = 0, res the largest squared column norm of B (scaled: b_i^2 /
// a_ii). A zero right-hand side divides 0 by 0: NaN results and all maxIter iterations (choice).
TEST_F(SparseMatrix, ConjGradientTwoByTwoCasesForBothSolvers)
{
    for (int solver = 0; solver < 2; ++solver)
    {
        SCOPED_TRACE(solver);
        CSparseMatrix A = FromTriplets({{0, 0, 4}, {0, 1, 1}, {1, 1, 3}});
        CMatrix B = Mat(2, 1, {1, 2});
        CVector times;
        double res = -1.0;
        CVirtMat::m_Flops = 0;
        m_messages.clear();
        EXPECT_EQ(Solve(solver, A, B, res, 10, 1e-12, false, &times), 1);
        EXPECT_LT(MaxRelativeDifference(B, Mat(2, 1, {1.0 / 11.0, 7.0 / 11.0})),
                  SolveTolerance(2, 3.0));
        EXPECT_LT(res, 5e-12);
        EXPECT_EQ(CVirtMat::m_Flops, 35u);
        EXPECT_EQ(Structure(A), "0: 0=4 1=1; 1: 1=3");
        ASSERT_EQ(m_messages.size(), static_cast<size_t>(solver));
        if (solver == 1)
        {
            EXPECT_EQ(Untimed(m_messages[0]),
                      "Used time:\r\n Solving (1)    :   T s\r\n Solving (2)    :   T s\r\n "
                      "Iter/Eq's      :   50.000 %\r\n ||v_0||        :   5.000e+00\r\n ||v_i||  "
                      "       :   0.000e+00\r\n ||v_i||/||v_0||:   0.000e+00\r\n (norms are "
                      "inf-norm)");
        }

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
}

// The Poisson problem on 100 unknowns with one and two right-hand sides: each solver, scaled or
// not, solves it; unscaled, both make the same iterations bit for bit (the products through the
// lists and through the exported arrays, whose single-column loop is a kernel of its own), with
// the same res and count. A start solution receives the correction.
TEST_F(SparseMatrix, ConjGradientBothSolversSolveAlikeWithOneAndTwoRightHandSides)
{
    const Mesh mesh = Grid(10);
    CMatrix unscaled[2];
    for (int nRhs : {1, 2})
    {
        SCOPED_TRACE(nRhs);
        std::tuple<int, double, std::uint32_t> runs[2];  // iterations, res, m_Flops
        for (int solver = 0; solver < 2; ++solver)
            for (bool scale : {false, true})
            {
                SCOPED_TRACE(::testing::Message() << "solver " << solver << " scale " << scale);
                Problem p = MakeProblem(mesh, nRhs, true, 5);
                const CSparseMatrix A(p.A);
                double res = 0.0;
                CVirtMat::m_Flops = 0;
                const int k = Solve(solver, p.A, p.rhs, res, 1000, kTol, scale);
                EXPECT_TRUE(k > 1 && k < 1000) << k;
                EXPECT_LT(ScaledResidual(A, p.rhs, p.b), kResidual);
                if (scale)  // ConjGradient leaves its cells scaled: a unit diagonal
                    EXPECT_EQ(*p.A.GetValue(3, 3) == 1.0, solver == 0);
                else
                    unscaled[solver] = p.rhs, runs[solver] = {k, res, CVirtMat::m_Flops};
            }
        EXPECT_TRUE(SameBits(unscaled[0], unscaled[1]));
        EXPECT_EQ(runs[0], runs[1]);
    }
    Problem p = MakeProblem(mesh, 2, true, 5);
    CMatrix X0(unscaled[0]);
    X0 *= 0.9;
    double res = 0.0;
    EXPECT_GT(p.A.ConjGradient(p.rhs, &X0, res, 1000, kTol, nullptr, false), 1);
    EXPECT_LT(ScaledResidual(MakeProblem(mesh, 2, true, 5).A, X0, p.b), kResidual);
}

// A row holding only its unit diagonal (a prescribed row) still receives what earlier rows add
// into it through their entries in its column: in upper storage that is the last row of every
// matrix with a unit diagonal. ConjGradient2 must solve as ConjGradient does: the 2 x 2 case, a
// unit-diagonal chain (condition below 20), scaling on and off; then a decoupled unit row.
// ConjGradient scales its own cells, a row without its diagonal by 1.0 (choice).
TEST_F(SparseMatrix, ConjGradientPrescribedRowsAndScaling)
{
    std::vector<std::tuple<int, int, double>> chain;
    for (int i = 0; i < 12; ++i)
    {
        chain.emplace_back(i, i, 1.0);
        if (i + 1 < 12) chain.emplace_back(i, i + 1, -0.45);
    }
    const std::pair<std::vector<std::tuple<int, int, double>>, CMatrix> cases[] = {
        {{{0, 0, 1.0}, {0, 1, 0.5}, {1, 1, 1.0}}, Mat(2, 1, {1.5, 1.5})},
        {chain, RandomMatrix(12, 2, 3)},
        {{{0, 0, 4}, {0, 1, 1}, {1, 1, 3}, {2, 2, 1.0}}, Mat(3, 1, {1, 2, 5})},
    };
    for (const auto& [upper, b] : cases)
        for (int solver = 0; solver < 2; ++solver)
            for (bool scale : {false, true})
            {
                SCOPED_TRACE(testing::Message() << b.GetRows() << " " << solver << " " << scale);
                CSparseMatrix A = FromTriplets(upper);
                CMatrix B(b);
                double res = 0.0;
                EXPECT_LT(Solve(solver, A, B, res, 200, 1e-28, scale), 200);
                EXPECT_LT(ScaledResidual(FromTriplets(upper), B, b), kResidual);
            }

    CSparseMatrix S = FromTriplets({{0, 0, 4}, {0, 1, 1}, {1, 2, 3}, {2, 2, 9}});
    CMatrix B = Mat(3, 1, {2, 1, 3});
    double res = 0.0;
    S.ConjGradient(B, nullptr, res, 0, 1e-12, nullptr, true);
    EXPECT_EQ(Structure(S), "0: 0=1 1=0.5; 1: 2=1; 2: 2=1");
    EXPECT_EQ(res, 3.0);  // the scaled B is (1, 1, 1)
}
