// The CMatrix members that meet CSparseMatrix: PreMult (both forms, both modes, flop count),
// ATthisA against a dense computation, and the Sparse/UnSparse conversions.
#include "support/GlobalState.h"
#include "support/Problems.h"

#include <tarvel/Tarvel.h>

#include <cstring>
#include <gtest/gtest.h>

using namespace tarvel_test;
using DenseSparseProducts = GlobalStateTest;

namespace
{

bool SameDense(const CMatrix& a, const CMatrix& b)
{
    return a.GetRows() == b.GetRows() && a.m_nSize == b.m_nSize &&
           std::memcmp(a.m_pData, b.m_pData, sizeof(double) * static_cast<size_t>(a.m_nSize)) == 0;
}

}  // namespace

// Upper triangle [[2, 1], [., 3]] in mode 1 against the full [[2, 1], [1, 3]] in mode 0.
TEST_F(DenseSparseProducts, SymmetricModeEqualsTheMirroredMatrix)
{
    CSparseMatrix upper = FromTriplets({{0, 0, 2}, {0, 1, 1}, {1, 1, 3}});
    CSparseMatrix full = FromTriplets({{0, 0, 2}, {0, 1, 1}, {1, 0, 1}, {1, 1, 3}});
    const CMatrix A = RandomMatrix(2, 3, 4);
    const int c = 3;

    CMatrix inPlaceSym(A), inPlaceFull(A);
    CVirtMat::m_Flops = 0;
    inPlaceSym.PreMult(&upper, 1);
    inPlaceFull.PreMult(&full, 0);
    EXPECT_EQ(CVirtMat::m_Flops, 0u);  // the in-place form counts nothing
    EXPECT_TRUE(SameDense(inPlaceSym, inPlaceFull));

    CMatrix R1, R0;
    A.PreMult(&upper, R1, false, 1);
    EXPECT_EQ(CVirtMat::m_Flops, static_cast<std::uint32_t>(2 * c + 4 * c + 2 * c));
    A.PreMult(&full, R0, false, 0);
    EXPECT_EQ(CVirtMat::m_Flops, static_cast<std::uint32_t>(8 * c + 4 * 2 * c));
    EXPECT_TRUE(SameDense(R1, R0));
    EXPECT_TRUE(SameDense(R1, inPlaceSym));

    EXPECT_DOUBLE_EQ(R1(1, 2), A(0, 2) + 3.0 * A(1, 2));  // against the dense product

    // Accumulating: R += S A.
    CMatrix acc(R1);
    A.PreMult(&upper, acc, true, 1);
    for (int e = 0; e < acc.m_nSize; ++e) EXPECT_DOUBLE_EQ(acc.m_pData[e], 2.0 * R1.m_pData[e]);
}

TEST_F(DenseSparseProducts, OtherModesLeaveZerosOrTheResultAsAllocated)
{
    CSparseMatrix S = FromTriplets({{0, 0, 2}, {1, 1, 3}});
    CMatrix A = RandomMatrix(2, 2, 1);
    A.PreMult(&S, 2);
    EXPECT_EQ(A.GetRows(), 2);
    for (int e = 0; e < 4; ++e) EXPECT_EQ(A.m_pData[e], 0.0);
    const CMatrix B = RandomMatrix(2, 2, 2);
    CMatrix R(2, 2, true, 7.0);
    CVirtMat::m_Flops = 0;
    B.PreMult(&S, R, true, 5);
    for (int e = 0; e < 4; ++e) EXPECT_EQ(R.m_pData[e], 7.0);
    EXPECT_EQ(CVirtMat::m_Flops, 0u);
}

TEST_F(DenseSparseProducts, AccumulatingIntoAResultOfAnotherSizeAddsToZeros)
{
    CSparseMatrix S = FromTriplets({{0, 0, 2}, {2, 1, 3}});
    const CMatrix A = RandomMatrix(2, 2, 3);
    CMatrix R(1, 1, true, 9.0);
    A.PreMult(&S, R, true, 0);
    ASSERT_EQ(R.GetRows(), 3);
    ASSERT_EQ(R.GetColumns(), 2);
    EXPECT_EQ(R(0, 1), 2.0 * A(0, 1));
    EXPECT_EQ(R(1, 0), 0.0);
    EXPECT_EQ(R(2, 0), 3.0 * A(1, 0));
}

TEST_F(DenseSparseProducts, ATthisAAgainstTheDenseCongruence)
{
    Problem p = MakeProblem(PoissonQ4(4, 5), 1, false);
    CSparseMatrix& S = p.A;  // 12 x 12, unsymmetric use is fine
    S.Add(0, 5, 0.75);
    const int n = S.GetRows();
    const CMatrix A = RandomMatrix(n, n, 8);
    CMatrix Sd;
    Sd.UnSparse(&S);
    CMatrix result(A);
    result.ATthisA(&S);
    ASSERT_EQ(result.GetRows(), n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
        {
            double s = 0.0;
            for (int k = 0; k < n; ++k)
                for (int l = 0; l < n; ++l) s += Sd(i, k) * A(k, l) * Sd(j, l);
            EXPECT_NEAR(result(i, j), s, 1e-12) << i << "," << j;
        }
}

TEST(DenseSparseConversions, RoundTripAndShapes)
{
    CMatrix D(3, 4, true, 0.0);
    D(0, 3) = 1.5;
    D(2, 0) = -2.0;
    D(2, 2) = 4.0;
    CSparseMatrix* S = nullptr;
    D.Sparse(S);
    ASSERT_NE(S, nullptr);
    EXPECT_EQ(Structure(*S), "0: 3=1.5; 2: 0=-2 2=4");
    CMatrix back;
    back.UnSparse(S);
    EXPECT_TRUE(SameDense(back, D));

    // The width comes from the largest stored column, not from the allocation.
    int dims[] = {2, 8};
    CSparseMatrix wide;
    wide.Allocate(dims, 1);
    wide.Add(1, 4, 1.0);
    back.UnSparse(&wide);
    EXPECT_EQ(back.GetRows(), 2);
    EXPECT_EQ(back.GetColumns(), 5);

    // Into a matrix that holds entries: the values are added.
    D.Sparse(S);
    EXPECT_EQ(Structure(*S), "0: 3=3; 2: 0=-4 2=8");
    delete S;

    CMatrix zeros(2, 2, true, 0.0);
    CSparseMatrix* made = nullptr;
    zeros.Sparse(made);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->GetFirstRow(), nullptr);
    delete made;
}
