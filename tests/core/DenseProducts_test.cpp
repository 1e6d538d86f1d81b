// Matrix chains, block transforms, the rank-one update and the symmetric/skew split, against
// products written out in the tests and values worked by hand. The kernels' bits are
// DenseKernels_test's.
#include "support/Dense.h"

#include <gtest/gtest.h>

using namespace tarvel_test;

// The textbook chain 10x100, 100x5, 5x50: (A1 A2) A3 costs 7500, the split after A2. The
// optimal order and the order as given agree with the reference product to within the
// rounding of any order: (100 + 5 + 50) u times the entries of |A1| |A2| |A3| |A4|, at most
// 100 * 5 * 50 for entries in [-1, 1]. As given, only the first matrix changes.
// SubMult on the block at p: flags 1|2 give T^T B T, 4|8 give T B T^T; flag 4 alone transforms
// the block rows of every column and leaves the other rows. vectAvectBT: M += f x y^T, or with
// x and y taken from their last elements. Split mirrors into the strictly lower triangles (the
// documented choice): sym + skew == G.
TEST(DenseProducts, ChainsTransformsRankOneAndSplit)
{
    CVector p = MakeVector({10, 100, 5, 50});
    CMatrix s(3, 3, true, 0.0);
    EXPECT_EQ(CMatrix::MatrixChainOrder(&s, &p), 7500.0);
    EXPECT_EQ(s(0, 2), 2.0);

    const CMatrix A1 = RandomMatrix(10, 100, 1), A2 = RandomMatrix(100, 5, 2),
                  A3 = RandomMatrix(5, 50, 3), A4 = RandomMatrix(50, 7, 4);
    const CMatrix expected = ReferenceProduct(ReferenceProduct(ReferenceProduct(A1, A2), A3), A4);
    const double tol = (100 + 5 + 50) * kUnitRoundoff * 100 * 5 * 50;
    for (bool optimal : {true, false})
    {
        CMatrix a1(A1), a2(A2), a3(A3), a4(A4);
        EXPECT_GE(CMatrix::ChainMult(optimal, 4, &a1, &a2, &a3, &a4), 0.0);
        ASSERT_EQ(Text(a1).substr(0, 5), "10x7:");
        for (int k = 0; k < a1.m_nSize; ++k) EXPECT_NEAR(a1.m_pData[k], expected.m_pData[k], tol);
        EXPECT_TRUE(optimal || (a2 == A2 && a3 == A3 && a4 == A4));
    }

    CMatrix Tm = MakeMatrix(2, 2, {1, 2, 3, 4}), a = MakeMatrix(2, 2, {2, -1, 0, 5}), b(a);
    CMatrix c = MakeMatrix(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    a.SubMult(Tm, 0, 1u | 2u);
    b.SubMult(Tm, 0, 4u | 8u);
    c.SubMult(Tm, 1, 4u);
    EXPECT_EQ(Text(a) + " " + Text(b) + " " + Text(c),
              "2x2: 44 60 58 80 2x2: 20 42 40 86 3x3: 1 2 3 18 21 24 40 47 54");

    CMatrix M(2, 3, true, 1.0), R(2, 3, true, 0.0);
    const CVector x = MakeVector({1, 0}), y = MakeVector({1, 2, 3});
    double f = 2.0;
    CMatrix::vectAvectBT(M, x, y, f, false);
    CMatrix::vectAvectBT(R, x, y, f, true);
    EXPECT_EQ(Text(M) + " " + Text(R), "2x3: 3 5 7 1 1 1 2x3: 0 0 0 6 4 2");

    CMatrix* sym = nullptr;
    CMatrix* skew = nullptr;
    c.Split(sym, skew);
    std::unique_ptr<CMatrix> ownSym(sym), ownSkew(skew);
    ASSERT_TRUE(sym && skew);
    EXPECT_EQ(Text(*sym) + " " + Text(*skew),
              "3x3: 1 10 21.5 10 21 35.5 21.5 35.5 54 3x3: 0 -8 -18.5 8 0 -11.5 18.5 11.5 0");
}
