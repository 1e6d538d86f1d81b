// The timing reports and time arguments of the sparse solvers, with a clock that advances by a
// fixed step at every reading, against their exact texts. A step of 570 ticks tells the two
// conversions apart: 570 / 1000.0 shows as 0.56 s, 570 * 0.001 as 0.57 s (the shown
// hundredths are truncated, and the product lies just above 0.57, the quotient just below).
#include "support/FixedClock.h"
#include "support/GlobalState.h"
#include "support/Problems.h"

#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>

using namespace tarvel_test;
using TimingReports = GlobalStateTest;

// LU_Solve reads the clock before the factorization and after each of its three phases; the
// phases and the time argument are by division.
TEST_F(TimingReports, LuSolve)
{
    CSparseMatrix A = FromTriplets({{0, 0, 2}, {1, 1, 4}});
    CMatrix B = Mat(2, 1, {2, 4});
    double seconds = 0.0;
    {
        FixedClock clock(570);
        ASSERT_EQ(A.LU_Solve(&B, seconds), 1);
    }
    EXPECT_EQ(seconds, 1.71);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], "Used time:\r\n Factorizing  :   0 m 0.56 s\r\n Forw. subst. :   "
                             "0 m 0.56 s\r\n Backw. subst.:   0 m 0.56 s\r\n");
}

// Cholesky_Solve shows nothing; its time argument is by division (-1.0 on a failed pivot:
// SparseDirect_test).
TEST_F(TimingReports, CholeskySolveTimeArgument)
{
    CSparseMatrix A = FromTriplets({{0, 0, 2}, {1, 1, 4}});
    CMatrix B = Mat(2, 1, {2, 4});
    double seconds = 0.0;
    {
        FixedClock clock(64070);
        ASSERT_EQ(A.Cholesky_Solve(&B, seconds), 1);
    }
    EXPECT_EQ(seconds, 64.07);
    EXPECT_TRUE(m_messages.empty());
}

// ConjGradient2 times its products (T[0]) and the rest (T[1]) per iteration and converts the
// sums by product; on 2 I the first step is exact, so the test is met in iteration 0.
TEST_F(TimingReports, ConjGradient2)
{
    CSparseMatrix A = FromTriplets({{0, 0, 2}, {1, 1, 2}});
    CMatrix B = Mat(2, 1, {1, 1});
    CVector T;
    double res = -1.0;
    {
        FixedClock clock(64070);
        ASSERT_EQ(A.ConjGradient2(B, res, 10, 1e-12, &T, false), 0);
    }
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], "Used time:\r\n Solving (1)    :   1 m 4.07 s\r\n Solving (2)    :   "
                             "1 m 4.07 s\r\n Iter/Eq's      :    0.000 %\r\n ||v_0||        :   "
                             "2.000e+00\r\n ||v_i||         :   0.000e+00\r\n ||v_i||/||v_0||:   "
                             "0.000e+00\r\n (norms are inf-norm)");
}

// Gauss-Seidel on the system matrix: one sweep from the solution itself; the clock is read at
// the start and before the report, by product.
TEST_F(TimingReports, SystemGaussSeidel)
{
    CVirtMat::m_bSym = false;
    CSystSpMat K(2);
    long dofs[] = {0, 1};
    double ke[] = {2, 0, 0, 4};
    K.AddValues(dofs, ke, 2);
    CVector b(2, true, 0.0), x(2, true, 1.0);
    b[0] = 2;
    b[1] = 4;
    {
        FixedClock clock(570);
        ASSERT_EQ(K.GaussSeidel_Iter(b, x, 1e-10, 5), 1);
    }
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], "Used time solving :   0 m 0.57 s\r\n Number of iter. :   1\r\n NEQ  "
                             "           :   2\r\n Norm of error   :   0.000000e+00\r\n Symmetric "
                             "      :   0\r\n24\r\n16");
}
