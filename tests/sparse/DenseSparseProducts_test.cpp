// The CMatrix members that meet CSparseMatrix: PreMult in both forms and modes with its flop
// count, ATthisA against a dense congruence, Sparse/UnSparse.
#include "SparseTesting.h"

// The upper triangle [[2, 1], [., 3]] in mode 1 against the full [[2, 1], [1, 3]] in mode 0,
// bit for bit, in place and into a result. Only the result form counts: 2c per row update
// (mode 0: each cell; mode 1: a row's first cell) and 4c per off-diagonal cell in mode 1.
TEST_F(SparseMatrix, PreMultSymmetricModeEqualsTheMirroredMatrix)
{
    CSparseMatrix upper = FromTriplets({{0, 0, 2}, {0, 1, 1}, {1, 1, 3}});
    CSparseMatrix full = FromTriplets({{0, 0, 2}, {0, 1, 1}, {1, 0, 1}, {1, 1, 3}});
    const CMatrix A = RandomMatrix(2, 3, 4);
    const std::uint32_t c = 3;
    CMatrix inPlaceSym(A), inPlaceFull(A), R1, R0;
    CVirtMat::m_Flops = 0;
    inPlaceSym.PreMult(&upper, 1);
    inPlaceFull.PreMult(&full, 0);
    EXPECT_EQ(CVirtMat::m_Flops, 0u);
    A.PreMult(&upper, R1, false, 1);
    EXPECT_EQ(CVirtMat::m_Flops, 2 * c + 4 * c + 2 * c);
    A.PreMult(&full, R0, false, 0);
    EXPECT_EQ(CVirtMat::m_Flops, 8 * c + 4 * 2 * c);
    EXPECT_TRUE(SameBits(inPlaceSym, inPlaceFull));
    EXPECT_TRUE(SameBits(R1, R0));
    EXPECT_TRUE(SameBits(R1, inPlaceSym));
    EXPECT_DOUBLE_EQ(R1(1, 2), A(0, 2) + 3.0 * A(1, 2));  // against the dense product

    // Accumulating into a result of another size adds to the zeros its Allocate leaves (the
    // documented choice); an unknown mode leaves the result as allocated and counts nothing.
    CMatrix small(1, 1, true, 9.0), kept(R1);
    A.PreMult(&full, small, true, 0);
    EXPECT_TRUE(SameBits(small, R0));
    CVirtMat::m_Flops = 0;
    A.PreMult(&full, kept, true, 5);
    EXPECT_TRUE(SameBits(kept, R1) && CVirtMat::m_Flops == 0);
}

// ATthisA against S A S^T formed densely; the conversions: Sparse stores the non-zeros (added
// into a matrix holding entries), UnSparse takes its width from the largest stored column.
TEST_F(SparseMatrix, ATthisAAndConversions)
{
    Problem p = MakeProblem(Grid(4), 1, false);
    p.A.Add(0, 5, 0.75);  // unsymmetric
    const CMatrix A = RandomMatrix(p.A.GetRows(), p.A.GetRows(), 8);
    CMatrix S, result(A);
    S.UnSparse(&p.A);
    CMatrix expected(S);
    expected *= A;
    expected *= CMatrix(S, true);
    result.ATthisA(&p.A);
    // Two sums of n products each: at most 2 n u times the entries of |S| |A| |S^T|, which are
    // at most ||S||_inf^2 for entries of A in [-1, 1].
    const double tol = 2 * A.GetRows() * kUnitRoundoff * S.InfNorm() * S.InfNorm();
    ASSERT_EQ(result.GetRows(), expected.GetRows());
    for (int k = 0; k < expected.m_nSize; ++k)
        EXPECT_NEAR(result.m_pData[k], expected.m_pData[k], tol) << k;

    CMatrix D(3, 4, true, 0.0), back;
    D(0, 3) = 1.5;
    D(2, 0) = -2.0;
    CSparseMatrix* sparse = nullptr;
    D.Sparse(sparse);
    std::unique_ptr<CSparseMatrix> owner(sparse);
    back.UnSparse(sparse);
    EXPECT_TRUE(SameBits(back, D));
    D.Sparse(sparse);
    sparse->Add(1, 5, 1.0);
    EXPECT_EQ(Structure(*sparse), "0: 3=3; 1: 5=1; 2: 0=-4");
    back.UnSparse(sparse);
    EXPECT_EQ(back.GetColumns(), 6);
}
