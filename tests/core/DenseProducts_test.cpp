// Dense congruence and block transforms, the rank-one update, the symmetric/skew split and
// matrix chains, against products written out in the tests.
#include "support/Dense.h"

#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>
#include <vector>

using namespace tarvel_test;
using V = std::vector<double>;

namespace
{

CMatrix Product(const CMatrix& A, const CMatrix& B)
{
    CMatrix C(A.GetRows(), B.GetColumns(), true, 0.0);
    const std::vector<double> c = ReferenceProduct(A, B);
    for (int k = 0; k < C.GetSize(); ++k) C.m_pData[k] = c[static_cast<std::size_t>(k)];
    return C;
}

CMatrix Transposed(const CMatrix& A) { return CMatrix(A, true); }

void ExpectNear(const CMatrix& A, const CMatrix& B, double tol)
{
    ASSERT_EQ(A.GetRows(), B.GetRows());
    ASSERT_EQ(A.GetSize(), B.GetSize());
    for (int k = 0; k < A.GetSize(); ++k)
        EXPECT_NEAR(A.m_pData[k], B.m_pData[k], tol) << "element " << k;
}

}  // namespace

TEST(DenseChain, MatrixChainOrderTextbookCase)
{
    CVector p = MakeVector({10, 100, 5, 50});
    CMatrix s(3, 3, true, 0.0);
    EXPECT_EQ(CMatrix::MatrixChainOrder(&s, &p), 7500.0);
    EXPECT_EQ(s(0, 2), 2.0);  // (A1 A2) A3
    EXPECT_EQ(s(0, 1), 1.0);
    EXPECT_EQ(s(1, 2), 2.0);

    CVector single = MakeVector({4, 7});
    CMatrix s1(1, 1, true, 0.0);
    EXPECT_EQ(CMatrix::MatrixChainOrder(&s1, &single), 0.0);
}

TEST(DenseChain, OptimalAndInOrderAgree)
{
    const CMatrix A1 = RandomMatrix(10, 100, 1), A2 = RandomMatrix(100, 5, 2),
                  A3 = RandomMatrix(5, 50, 3), A4 = RandomMatrix(50, 7, 4);
    CMatrix a1(A1), a2(A2), a3(A3), a4(A4);
    const double seconds = CMatrix::ChainMult(true, 4, &a1, &a2, &a3, &a4);
    EXPECT_GE(seconds, 0.0);
    CMatrix b1(A1), b2(A2), b3(A3), b4(A4);
    CMatrix::ChainMult(false, 4, &b1, &b2, &b3, &b4);
    EXPECT_TRUE(b2 == A2);  // in order: only the first matrix changes
    ASSERT_EQ(a1.GetRows(), 10);
    ASSERT_EQ(a1.GetColumns(), 7);
    const CMatrix expected = Product(Product(Product(A1, A2), A3), A4);
    ExpectNear(a1, expected, 1e-12);
    ExpectNear(b1, expected, 1e-12);

    CMatrix one(A2);
    CMatrix::ChainMult(true, 1, &one);
    EXPECT_TRUE(one == A2);
}

TEST(DenseProducts, SubMultBlockTransforms)
{
    const CMatrix B = RandomMatrix(5, 5, 7);
    CMatrix I;
    I.Identity(2, 1.0);
    CMatrix m(B);
    m.SubMult(I, 1, 1u | 2u);
    EXPECT_TRUE(m == B);
    m.SubMult(I, 1, 0u);
    EXPECT_TRUE(m == B);

    // Flags 1|2 with T on the block at p = 0 of a 2 x 2 matrix give T^T B T; 4|8 give T B T^T.
    const CMatrix T = MakeMatrix(2, 2, {1, 2, 3, 4});
    const CMatrix S = MakeMatrix(2, 2, {2, -1, 0, 5});
    CMatrix a(S);
    a.SubMult(const_cast<CMatrix&>(T), 0, 1u | 2u);
    ExpectNear(a, Product(Product(Transposed(T), S), T), 0.0);
    CMatrix b(S);
    b.SubMult(const_cast<CMatrix&>(T), 0, 4u | 8u);
    ExpectNear(b, Product(Product(T, S), Transposed(T)), 0.0);

    // Rows and columns outside the block stay; the block rows of other columns transform.
    CMatrix c = MakeMatrix(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    c.SubMult(const_cast<CMatrix&>(T), 1, 4u);  // rows 1..2 <- T * rows 1..2
    EXPECT_EQ(Elements(c), (V{1, 2, 3, 4 + 14, 5 + 16, 6 + 18, 12 + 28, 15 + 32, 18 + 36}));
}

TEST(DenseProducts, PostPreMultIsTATransposedTT)
{
    const CMatrix T = RandomMatrix(3, 4, 8);
    const CMatrix A = RandomMatrix(4, 4, 9);
    CMatrix m(A);
    m.PostPreMult(T, 0);
    ASSERT_EQ(m.GetRows(), 3);
    ASSERT_EQ(m.GetColumns(), 3);
    ExpectNear(m, Product(Product(T, Transposed(A)), Transposed(T)), 1e-14);
}

TEST(DenseProducts, RankOneUpdate)
{
    CMatrix M(2, 3, true, 1.0);
    const CVector a = MakeVector({1, 0}), b = MakeVector({1, 2, 3});
    double f = 2.0;
    CMatrix::vectAvectBT(M, a, b, f, false);
    EXPECT_EQ(Elements(M), (V{3, 5, 7, 1, 1, 1}));
    CMatrix R(2, 3, true, 0.0);
    CMatrix::vectAvectBT(R, a, b, f, true);  // a and b from their last elements
    EXPECT_EQ(Elements(R), (V{0, 0, 0, 6, 4, 2}));
    double zero = 0.0;
    CMatrix::vectAvectBT(R, a, b, zero, false);
    EXPECT_EQ(Elements(R), (V{0, 0, 0, 6, 4, 2}));
}

TEST(DenseProducts, SplitIntoSymmetricAndSkewParts)
{
    const CMatrix A = MakeMatrix(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    CMatrix* sym = nullptr;
    CMatrix* skew = nullptr;
    A.Split(sym, skew);
    ASSERT_NE(sym, nullptr);
    ASSERT_NE(skew, nullptr);
    EXPECT_EQ(Elements(*sym), (V{1, 3, 5, 3, 5, 7, 5, 7, 9}));
    EXPECT_EQ(Elements(*skew), (V{0, -1, -2, 1, 0, -1, 2, 1, 0}));  // lower: mirrored (choice)
    CMatrix sum(*sym);
    sum += *skew;
    EXPECT_TRUE(sum == A);
    delete sym;
    delete skew;
}
