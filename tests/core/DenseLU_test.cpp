// Dense factorizations: solves judged by their residuals, Cholesky by reproducing A, the
// determinant against known factors, and the exact pivot rules and failure results.
#include "support/Dense.h"
#include "support/GlobalState.h"

#include <tarvel/Tarvel.h>

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

using namespace tarvel_test;
using V = std::vector<double>;

namespace
{

// 50 x 50 systems: a backward-stable LU on these well-conditioned matrices leaves a relative
// residual of a few n * eps (about 1e-14 here); 1e-12 leaves two orders of margin.
constexpr int kN = 50;
constexpr double kTol = 1e-12;

CMatrix ThreeRightHandSides(unsigned seed) { return RandomMatrix(kN, 3, seed); }

}  // namespace

TEST(DenseLU, PivotedDecompositionAndSolve)
{
    const CMatrix A = RandomMatrix(kN, kN, 11);  // random: well conditioned with probability ~1
    const CMatrix B = ThreeRightHandSides(12);
    CMatrix LU(A);
    int* perm = nullptr;
    ASSERT_EQ(LU.LUP_Decomp(perm), 1);
    ASSERT_NE(perm, nullptr);
    std::vector<int> seen(kN, 0);
    for (int i = 0; i < kN; ++i) ++seen[perm[i]];
    EXPECT_EQ(seen, std::vector<int>(kN, 1));  // a permutation
    CMatrix X(B);
    CMatrix::LUP_Solve(&LU, perm, &X);
    delete[] perm;
    EXPECT_LT(RelativeResidual(A, X, B), kTol);
}

TEST(DenseLU, SolveAxEqbBothWays)
{
    const CMatrix A = RandomMatrix(kN, kN, 21);
    const CMatrix B = ThreeRightHandSides(22);
    CMatrix work(A);
    CMatrix X(B);
    double seconds = -5.0;
    ASSERT_TRUE(work.SolveAxEqb(&X, true, seconds));
    EXPECT_GE(seconds, 0.0);
    EXPECT_LT(RelativeResidual(A, X, B), kTol);

    const CMatrix D = DiagonallyDominant(kN, 23);  // no pivoting needed
    CMatrix work2(D);
    CMatrix Y(B);
    ASSERT_TRUE(work2.SolveAxEqb(&Y, false, seconds));
    EXPECT_LT(RelativeResidual(D, Y, B), kTol);

    CMatrix work3(D);  // LU + LUP_Solve without permutation directly
    ASSERT_EQ(work3.LU(), &work3);
    CMatrix Z(B);
    CMatrix::LUP_Solve(&work3, nullptr, &Z);
    EXPECT_EQ(Elements(Z), Elements(Y));
}

TEST(DenseLU, FactorsReproduceTheMatrix)
{
    // L U of the unpivoted factorization equals A up to rounding.
    const CMatrix D = DiagonallyDominant(6, 31);
    CMatrix F(D);
    ASSERT_NE(F.LU(), nullptr);
    for (int i = 0; i < 6; ++i)
        for (int j = 0; j < 6; ++j)
        {
            double s = 0.0;
            for (int k = 0; k <= std::min(i, j); ++k) s += (k == i ? 1.0 : F(i, k)) * F(k, j);
            EXPECT_NEAR(s, D(i, j), 1e-14 * 6 * 6);
        }
}

TEST(DenseLU, PivotTieBreaksAndTheUntestedLastPivot)
{
    CMatrix swap = MakeMatrix(2, 2, {0, 1, 1, 0});
    int* perm = nullptr;
    ASSERT_EQ(swap.LUP_Decomp(perm), 1);
    EXPECT_EQ(perm[0], 1);
    EXPECT_EQ(perm[1], 0);
    delete[] perm;
    CMatrix swap2 = MakeMatrix(2, 2, {0, 1, 1, 0});
    EXPECT_EQ(swap2.LU(), nullptr);

    // |-2| == |2|: the upper of the two rows is the pivot, so row 0 stays.
    CMatrix tie = MakeMatrix(3, 3, {1, 1, 1, -2, 0, 1, 2, 1, 0});
    ASSERT_EQ(tie.LUP_Decomp(perm), 1);
    EXPECT_EQ(perm[0], 1);
    EXPECT_EQ(tie(0, 0), -2.0);
    EXPECT_EQ(tie(1, 0), -0.5);  // old row 0 scaled by 1/-2
    delete[] perm;

    CMatrix singularLast = MakeMatrix(2, 2, {1, 2, 2, 4});
    ASSERT_EQ(singularLast.LUP_Decomp(perm), 1);  // only (1, 1) is zero, and it is not tested
    EXPECT_EQ(singularLast(1, 1), 0.0);
    delete[] perm;

    CMatrix oneByOne = MakeMatrix(1, 1, {0});
    ASSERT_EQ(oneByOne.LUP_Decomp(perm), 1);
    EXPECT_EQ(perm[0], 0);
    delete[] perm;

    CMatrix zeroColumn = MakeMatrix(3, 3, {0, 1, 2, 0, 3, 4, 0, 5, 6});
    perm = reinterpret_cast<int*>(&zeroColumn);  // overwritten with null on failure
    EXPECT_EQ(zeroColumn.LUP_Decomp(perm), -1);
    EXPECT_EQ(perm, nullptr);
}

TEST(DenseLU, FailuresLeaveTheRightHandSideAlone)
{
    const CMatrix B = MakeMatrix(3, 2, {1, 2, 3, 4, 5, 6});
    for (bool pivoting : {true, false})
    {
        SCOPED_TRACE(pivoting);
        CMatrix singular = MakeMatrix(3, 3, {0, 1, 2, 0, 3, 4, 0, 5, 6});
        CMatrix X(B);
        double seconds = 9.0;
        EXPECT_FALSE(singular.SolveAxEqb(&X, pivoting, seconds));
        EXPECT_EQ(seconds, 0.0);
        EXPECT_EQ(Elements(X), Elements(B));
    }
    CMatrix laterZero = MakeMatrix(2, 2, {1, 1, 1, 1});  // second pivot becomes exactly 0
    EXPECT_EQ(laterZero.LU(), nullptr);
}

TEST(DenseCholesky, HandWorkedAndSpdReconstruction)
{
    CMatrix a = MakeMatrix(2, 2, {4, 2, 2, 3});
    ASSERT_EQ(a.Cholesky(), 1);
    EXPECT_EQ(a(0, 0), 2.0);
    EXPECT_EQ(a(0, 1), 1.0);
    EXPECT_EQ(a(1, 0), 0.0);
    EXPECT_EQ(a(1, 1), 2.0 / std::sqrt(2.0));  // divided by its square root

    // Only the upper triangle is read: garbage below the diagonal changes nothing.
    const CMatrix M = RandomMatrix(8, 8, 41);
    CMatrix spd(8, 8, true, 0.0);
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j)
        {
            double s = i == j ? 8.0 : 0.0;
            for (int k = 0; k < 8; ++k) s += M(k, i) * M(k, j);
            spd(i, j) = s;
        }
    CMatrix U(spd);
    for (int i = 1; i < 8; ++i)
        for (int j = 0; j < i; ++j) U(i, j) = 1e9;
    ASSERT_EQ(U.Cholesky(), 1);
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j)
        {
            if (j < i)
            {
                EXPECT_EQ(U(i, j), 0.0);
            }
            double s = 0.0;
            for (int k = 0; k < 8; ++k) s += U(k, i) * U(k, j);
            EXPECT_NEAR(s, spd(i, j), 1e-13 * spd.InfNorm());
        }

    CMatrix zeroPivot = MakeMatrix(2, 2, {0, 1, 1, 1});
    EXPECT_EQ(zeroPivot.Cholesky(), 0);
    CMatrix zeroLast = MakeMatrix(2, 2, {1, 1, 1, 1});
    EXPECT_EQ(zeroLast.Cholesky(), 0);
    CMatrix single = MakeMatrix(1, 1, {9});
    EXPECT_EQ(single.Cholesky(), 1);
    EXPECT_EQ(single(0, 0), 3.0);
}

TEST(DenseLU, DeterminantAgainstKnownFactors)
{
    // A = L U with unit lower L and upper U whose diagonal is (2, -3, 0.5, 4): det = -12.
    const CMatrix L = MakeMatrix(4, 4, {1, 0, 0, 0, 0.5, 1, 0, 0, -1, 2, 1, 0, 3, 0.25, -2, 1});
    const CMatrix U = MakeMatrix(4, 4, {2, 1, -1, 3, 0, -3, 2, 1, 0, 0, 0.5, -2, 0, 0, 0, 4});
    CMatrix A(L);
    A *= U;
    const CMatrix before(A);
    EXPECT_NEAR(A.Det(), -12.0, 1e-12);
    EXPECT_TRUE(A == before);  // the matrix itself is unchanged

    CMatrix I;
    I.Identity(5, 1.0);
    EXPECT_EQ(I.Det(), 1.0);
    EXPECT_EQ(MakeMatrix(2, 2, {1, 2, 0, 0}).Det(), 0.0);  // zero row
    EXPECT_EQ(MakeMatrix(2, 2, {0, 1, 1, 0}).Det(), 0.0);  // no pivoting: zero leading pivot

    CMatrix m = MakeMatrix(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 10});
    EXPECT_EQ(m.SubDetSqMat(1, 1, 2), 5.0 * 10 - 6.0 * 8);
    EXPECT_EQ(m.SubDetSqMat(0, 0, 3), 0.0);
    EXPECT_EQ(m.Multiply(2, 2, 0.5), 5.0);
    EXPECT_EQ(m(2, 2), 5.0);
}
