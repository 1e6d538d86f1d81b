// Dense factorizations: every solve road judged by its scaled residual, the exact pivot rules
// and failure results, Cholesky's use of the upper triangle alone, and the determinant against
// known factors. The factors themselves are compared bit for bit in DenseKernels_test.
#include "support/Dense.h"

#include <gtest/gtest.h>

using namespace tarvel_test;

namespace
{

// Factorizes A in place and solves A X = B into X by one road: 0 LUP_Decomp and LUP_Solve, 1 LU
// and LUP_Solve without a permutation, 2 and 3 SolveAxEqb with and without pivoting (which sets
// seconds; the other roads set 0). False when the factorization fails.
bool Solve(int road, CMatrix& A, CMatrix& X, double& seconds)
{
    if (road >= 2) return A.SolveAxEqb(&X, road == 2, seconds);
    int* perm = nullptr;
    seconds = 0.0;
    if (road == 0 ? A.LUP_Decomp(perm) != 1 : A.LU() != &A) return false;
    CMatrix::LUP_Solve(&A, perm, &X);
    delete[] perm;
    return true;
}

}  // namespace

// 50 x 50 systems with 3 right-hand sides, solved by each road: with partial pivoting on a
// random matrix, without on a diagonally dominant one (which needs none). Gaussian elimination
// is backward stable on both (the growth stays small), so the scaled residual stays below
// c n u; c = 4 leaves room for the order of summation (Higham, Accuracy and Stability of
// Numerical Algorithms, 2nd ed., thm. 9.4).
TEST(DenseLU, EveryRoadSolvesToRoundoff)
{
    constexpr int n = 50;
    const CMatrix A = RandomMatrix(n, n, 11), B = RandomMatrix(n, 3, 12);
    CMatrix D = RandomMatrix(n, n, 23);
    for (int i = 0; i < n; ++i) D(i, i) += n;  // strictly diagonally dominant
    for (int road = 0; road < 4; ++road)
    {
        const CMatrix& M = road % 2 == 0 ? A : D;
        CMatrix F(M), X(B);
        double seconds = -5.0;
        ASSERT_TRUE(Solve(road, F, X, seconds)) << road;
        EXPECT_GE(seconds, 0.0);
        EXPECT_LE(RelativeResidual(M, X, B), 4 * n * kUnitRoundoff) << road;
    }
}

// Among equal pivot magnitudes the upper row wins; the last pivot is never tested; a zero
// column gives -1 and a null permutation; LU and Cholesky fail on an exact zero pivot, and a
// failed solve leaves B untouched (SolveAxEqb with seconds 0). Cholesky reads the upper
// triangle only and leaves zeros below it.
// Det is the product of the pivots of LU without pivoting (DenseKernels_test checks its bits
// against plain loops; here pivots 1, -3, 1) and leaves A unchanged; a zero leading pivot gives
// 0. SubDetSqMat takes order 2 only.
TEST(DenseLU, PivotsFailuresUpperTriangleAndDeterminant)
{
    int* perm = nullptr;
    CMatrix tie = MakeMatrix(3, 3, {1, 1, 1, -2, 0, 1, 2, 1, 0});  // |-2| == |2|
    ASSERT_EQ(tie.LUP_Decomp(perm), 1);
    // row 1 first; old row 0 scaled by 1/-2
    EXPECT_EQ((std::vector<double>{double(perm[0]), tie(0, 0), tie(1, 0)}),
              (std::vector<double>{1, -2, -0.5}));
    delete[] perm;
    CMatrix singularLast = MakeMatrix(2, 2, {1, 2, 2, 4});
    ASSERT_EQ(singularLast.LUP_Decomp(perm), 1);
    EXPECT_EQ(singularLast(1, 1), 0.0);
    delete[] perm;
    const CMatrix zeroColumn = MakeMatrix(3, 3, {0, 1, 2, 0, 3, 4, 0, 5, 6});
    perm = reinterpret_cast<int*>(&tie);  // anything: overwritten with null
    EXPECT_EQ(CMatrix(zeroColumn).LUP_Decomp(perm), -1);
    EXPECT_EQ(perm, nullptr);
    for (const CMatrix& z : {MakeMatrix(2, 2, {0, 1, 1, 1}), MakeMatrix(2, 2, {1, 1, 1, 1})})
        EXPECT_TRUE(CMatrix(z).LU() == nullptr && CMatrix(z).Cholesky() == 0);  // pivot 1, 2 zero
    const CMatrix B = MakeMatrix(3, 2, {1, 2, 3, 4, 5, 6});
    for (int road = 0; road < 4; ++road)
    {
        CMatrix singular(zeroColumn), X(B);
        double seconds = 9.0;
        EXPECT_FALSE(Solve(road, singular, X, seconds));
        EXPECT_EQ(seconds, 0.0);
        EXPECT_EQ(Text(X), Text(B)) << road;
    }
    CMatrix a = MakeMatrix(2, 2, {4, 2, 1e9, 3});
    ASSERT_EQ(a.Cholesky(), 1);
    EXPECT_EQ(Text(a), Text(MakeMatrix(2, 2, {2, 1, 0, 2 / std::sqrt(2.0)})));

    CMatrix m = MakeMatrix(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 10});
    const CMatrix before(m);
    EXPECT_EQ(m.Det(), -3.0);
    EXPECT_TRUE(m == before);
    EXPECT_EQ(MakeMatrix(2, 2, {0, 1, 1, 0}).Det(), 0.0);
    EXPECT_EQ(m.SubDetSqMat(1, 1, 2), 5.0 * 10 - 6.0 * 8);
    EXPECT_EQ(m.SubDetSqMat(0, 0, 3), 0.0);
}
