// Dense factorizations: solves judged by their residuals, Cholesky by reproducing A, the
// determinant against known factors, and the exact pivot rules and failure results.
#include "support/Dense.h"

#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>
#include <memory>

using namespace tarvel_test;

namespace
{

// 50 x 50 systems with 3 right-hand sides: a backward-stable LU on these well-conditioned
// matrices leaves a relative residual of a few n * eps (about 1e-14); 1e-12 leaves two orders
// of margin.
constexpr int kN = 50;
constexpr double kTol = 1e-12;

}  // namespace

TEST(DenseLU, SolvesByResidual)
{
    const CMatrix A = RandomMatrix(kN, kN, 11), B = RandomMatrix(kN, 3, 12);
    CMatrix D = RandomMatrix(kN, kN, 23);
    for (int i = 0; i < kN; ++i) D(i, i) += kN;  // strictly diagonally dominant
    CMatrix LU(A), X(B);
    int* perm = nullptr;
    ASSERT_EQ(LU.LUP_Decomp(perm), 1);
    std::unique_ptr<int[]> owner(perm);
    CMatrix::LUP_Solve(&LU, perm, &X);
    EXPECT_LT(RelativeResidual(A, X, B), kTol);

    for (const bool pivoting : {true, false})  // no pivoting on the diagonally dominant one
    {
        const CMatrix& M = pivoting ? A : D;
        CMatrix work(M), Y(B);
        double seconds = -5.0;
        ASSERT_TRUE(work.SolveAxEqb(&Y, pivoting, seconds));
        EXPECT_GE(seconds, 0.0);
        EXPECT_LT(RelativeResidual(M, Y, B), kTol) << pivoting;
    }
    CMatrix F(D), Z(B);  // LU and LUP_Solve without a permutation
    ASSERT_EQ(F.LU(), &F);
    CMatrix::LUP_Solve(&F, nullptr, &Z);
    EXPECT_LT(RelativeResidual(D, Z, B), kTol);
}

// Among equal pivot magnitudes the upper row wins; the last pivot is never tested; a zero
// column gives -1 and a null permutation; LU and Cholesky fail on an exact zero pivot; a failed
// SolveAxEqb leaves B untouched.
TEST(DenseLU, PivotTieBreaksAndFailures)
{
    int* perm = nullptr;
    CMatrix tie = MakeMatrix(3, 3, {1, 1, 1, -2, 0, 1, 2, 1, 0});  // |-2| == |2|
    ASSERT_EQ(tie.LUP_Decomp(perm), 1);
    EXPECT_EQ(perm[0], 1);
    EXPECT_EQ(tie(0, 0), -2.0);
    EXPECT_EQ(tie(1, 0), -0.5);  // old row 0 scaled by 1/-2
    delete[] perm;
    CMatrix singularLast = MakeMatrix(2, 2, {1, 2, 2, 4});
    ASSERT_EQ(singularLast.LUP_Decomp(perm), 1);
    EXPECT_EQ(singularLast(1, 1), 0.0);
    delete[] perm;
    CMatrix zeroColumn = MakeMatrix(3, 3, {0, 1, 2, 0, 3, 4, 0, 5, 6});
    perm = reinterpret_cast<int*>(&zeroColumn);  // anything: overwritten with null
    EXPECT_EQ(zeroColumn.LUP_Decomp(perm), -1);
    EXPECT_EQ(perm, nullptr);

    EXPECT_EQ(MakeMatrix(2, 2, {0, 1, 1, 0}).LU(), nullptr);  // first pivot 0
    EXPECT_EQ(MakeMatrix(2, 2, {1, 1, 1, 1}).LU(), nullptr);  // second pivot exactly 0
    EXPECT_EQ(MakeMatrix(2, 2, {0, 1, 1, 1}).Cholesky(), 0);
    EXPECT_EQ(MakeMatrix(2, 2, {1, 1, 1, 1}).Cholesky(), 0);

    const CMatrix B = MakeMatrix(3, 2, {1, 2, 3, 4, 5, 6});
    for (bool pivoting : {true, false})
    {
        CMatrix singular(zeroColumn), X(B);
        double seconds = 9.0;
        EXPECT_FALSE(singular.SolveAxEqb(&X, pivoting, seconds));
        EXPECT_EQ(seconds, 0.0);
        EXPECT_EQ(Text(X), Text(B)) << pivoting;
    }
}

// A hand-worked 2 x 2, then U^T U == A for an SPD matrix whose lower triangle holds garbage
// (only the upper triangle is read; the lower one comes back zero).
TEST(DenseCholesky, ReproducesTheMatrix)
{
    CMatrix a = MakeMatrix(2, 2, {4, 2, 2, 3});
    ASSERT_EQ(a.Cholesky(), 1);
    EXPECT_EQ(Text(a), Text(MakeMatrix(2, 2, {2, 1, 0, 2 / std::sqrt(2.0)})));

    const int n = 8;
    const CMatrix M = RandomMatrix(n, n, 41);
    CMatrix spd(M, true);
    spd *= M;  // M^T M + n I
    for (int i = 0; i < n; ++i) spd(i, i) += n;
    CMatrix U(spd);
    for (int i = 1; i < n; ++i)
        for (int j = 0; j < i; ++j) U(i, j) = 1e9;
    ASSERT_EQ(U.Cholesky(), 1);
    CMatrix UtU(U, true);
    UtU *= U;
    for (int k = 0; k < n * n; ++k)
        EXPECT_NEAR(UtU.m_pData[k], spd.m_pData[k], 1e-13 * spd.InfNorm()) << k;
    for (int i = 1; i < n; ++i) EXPECT_EQ(U(i, i - 1), 0.0);
}

// A = L U with unit lower L and upper U whose diagonal is (2, -3, 0.5, 4): det A = -12, and A
// itself is left unchanged. A zero leading pivot gives 0 (no pivoting is done).
TEST(DenseLU, DeterminantAgainstKnownFactors)
{
    CMatrix A = MakeMatrix(4, 4, {1, 0, 0, 0, 0.5, 1, 0, 0, -1, 2, 1, 0, 3, 0.25, -2, 1});
    A *= MakeMatrix(4, 4, {2, 1, -1, 3, 0, -3, 2, 1, 0, 0, 0.5, -2, 0, 0, 0, 4});
    const CMatrix before(A);
    EXPECT_NEAR(A.Det(), -12.0, 1e-12);
    EXPECT_TRUE(A == before);
    EXPECT_EQ(MakeMatrix(2, 2, {0, 1, 1, 0}).Det(), 0.0);
    CMatrix m = MakeMatrix(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 10});
    EXPECT_EQ(m.SubDetSqMat(1, 1, 2), 5.0 * 10 - 6.0 * 8);
    EXPECT_EQ(m.SubDetSqMat(0, 0, 3), 0.0);  // only order 2
}
