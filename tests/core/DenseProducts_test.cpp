// Matrix chains, congruence and block transforms, the rank-one update and the symmetric/skew
// split, against products written out in the tests.
#include "support/Dense.h"

#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>
#include <memory>

using namespace tarvel_test;
using V = std::vector<double>;

namespace
{

CMatrix Product(const CMatrix& A, const CMatrix& B) { return ReferenceProduct(A, B); }
CMatrix T(const CMatrix& A) { return CMatrix(A, true); }

void ExpectNear(const CMatrix& A, const CMatrix& B, double tol)
{
    ASSERT_EQ(A.GetRows(), B.GetRows());
    ASSERT_EQ(A.GetSize(), B.GetSize());
    for (int k = 0; k < A.GetSize(); ++k) EXPECT_NEAR(A.m_pData[k], B.m_pData[k], tol) << k;
}

}  // namespace

// The textbook chain 10x100, 100x5, 5x50: (A1 A2) A3 costs 7500, the split after A2.
TEST(DenseChain, MatrixChainOrderAndChainMult)
{
    CVector p = MakeVector({10, 100, 5, 50});
    CMatrix s(3, 3, true, 0.0);
    EXPECT_EQ(CMatrix::MatrixChainOrder(&s, &p), 7500.0);
    EXPECT_EQ(s(0, 2), 2.0);

    // Optimal order and order as given give the same product (to rounding); as given, only
    // the first matrix changes.
    const CMatrix A1 = RandomMatrix(10, 100, 1), A2 = RandomMatrix(100, 5, 2),
                  A3 = RandomMatrix(5, 50, 3), A4 = RandomMatrix(50, 7, 4);
    const CMatrix expected = Product(Product(Product(A1, A2), A3), A4);
    for (bool optimal : {true, false})
    {
        CMatrix a1(A1), a2(A2), a3(A3), a4(A4);
        EXPECT_GE(CMatrix::ChainMult(optimal, 4, &a1, &a2, &a3, &a4), 0.0);
        ExpectNear(a1, expected, 1e-12);
        EXPECT_TRUE(optimal || (a2 == A2 && a3 == A3 && a4 == A4));
    }
}

// SubMult on the block at p: flags 1|2 give T^T B T, 4|8 give T B T^T; flag 4 alone
// transforms the block rows of every column and leaves the other rows.
TEST(DenseProducts, TransformsRankOneAndSplit)
{
    const CMatrix Tm = MakeMatrix(2, 2, {1, 2, 3, 4}), S = MakeMatrix(2, 2, {2, -1, 0, 5});
    CMatrix a(S), b(S), c = MakeMatrix(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    a.SubMult(const_cast<CMatrix&>(Tm), 0, 1u | 2u);
    b.SubMult(const_cast<CMatrix&>(Tm), 0, 4u | 8u);
    c.SubMult(const_cast<CMatrix&>(Tm), 1, 4u);
    EXPECT_EQ(Text(a), Text(Product(Product(T(Tm), S), Tm)));
    EXPECT_EQ(Text(b), Text(Product(Product(Tm, S), T(Tm))));
    EXPECT_EQ(Text(c), "3x3: 1 2 3 18 21 24 40 47 54");

    const CMatrix P = RandomMatrix(3, 4, 8), A = RandomMatrix(4, 4, 9);
    CMatrix m(A);
    m.PostPreMult(P, 0);  // P A^T P^T
    ExpectNear(m, Product(Product(P, T(A)), T(P)), 1e-14);

    CMatrix M(2, 3, true, 1.0), R(2, 3, true, 0.0);
    const CVector x = MakeVector({1, 0}), y = MakeVector({1, 2, 3});
    double f = 2.0;
    CMatrix::vectAvectBT(M, x, y, f, false);  // M += f x y^T
    CMatrix::vectAvectBT(R, x, y, f, true);   // x and y from their last elements
    EXPECT_EQ(Text(M), "2x3: 3 5 7 1 1 1");
    EXPECT_EQ(Text(R), "2x3: 0 0 0 6 4 2");

    // Split mirrors into the strictly lower triangles (the documented choice): sym + skew == G.
    const CMatrix G = MakeMatrix(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    CMatrix* sym = nullptr;
    CMatrix* skew = nullptr;
    G.Split(sym, skew);
    std::unique_ptr<CMatrix> ownSym(sym), ownSkew(skew);
    ASSERT_TRUE(sym && skew);
    EXPECT_EQ(Text(*sym), "3x3: 1 3 5 3 5 7 5 7 9");
    EXPECT_EQ(Text(*skew), "3x3: 0 -1 -2 1 0 -1 2 1 0");
}
