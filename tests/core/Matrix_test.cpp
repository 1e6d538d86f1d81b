// CMatrix storage and arithmetic: shapes after every resizing operation, products against an
// independent triple loop, searches with ties, norms, and the console printouts.
#include "support/Dense.h"

#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>
#include <sstream>
#include <vector>

using tarvel_test::Elements;
using tarvel_test::MakeMatrix;
using tarvel_test::MakeVector;
using tarvel_test::RandomMatrix;
using tarvel_test::ReferenceProduct;
using V = std::vector<double>;

TEST(Matrix, ConstructionAndAllocateShapes)
{
    const CMatrix threeByZero(3, 0, true, 1.0);
    EXPECT_EQ(threeByZero.GetRows(), 0);
    EXPECT_EQ(threeByZero.GetColumns(), 0);
    EXPECT_FALSE(threeByZero.IsAllocated());

    CMatrix m(2, 3, true, 1.0);
    EXPECT_FALSE(m.Allocate(3, 0, true, 0.0));  // no elements: false, no rows
    EXPECT_EQ(m.GetRows(), 0);
    EXPECT_EQ(m.GetColumns(), 0);

    ASSERT_TRUE(m.Allocate(2, 3, true, 1.0));
    double* array = m.GetVector();
    m(1, 2) = 5.0;
    ASSERT_TRUE(m.Allocate(3, 2, false, 0.0));  // same total: array and values kept
    EXPECT_EQ(m.GetVector(), array);
    EXPECT_EQ(m.GetRows(), 3);
    EXPECT_EQ(m(2, 1), 5.0);

    ASSERT_TRUE(m.Allocate(4, false, 0.0));  // the one-size form: a column
    EXPECT_EQ(m.GetRows(), 4);
    EXPECT_EQ(m.GetColumns(), 1);
}

TEST(Matrix, AllocateFromDimensionListCounts)
{
    CMatrix m;
    int d[] = {3, 2, 1, 7};
    ASSERT_TRUE(m.Allocate(d, 0));  // count 0 and 1: d0 x d0 zeros
    EXPECT_EQ(m.GetRows(), 3);
    EXPECT_EQ(m.GetColumns(), 3);
    EXPECT_EQ(m.Sum(), 0.0);
    m = 4.0;
    ASSERT_TRUE(m.Allocate(d, 1));
    EXPECT_EQ(m.Sum(), 0.0);
    ASSERT_TRUE(m.Allocate(d, 2));  // d0 x d1 zeros
    EXPECT_EQ(m.GetRows(), 3);
    EXPECT_EQ(m.GetColumns(), 2);
    m = 4.0;
    int noInit[] = {3, 2, 0, 7};
    ASSERT_TRUE(m.Allocate(noInit, 3));  // same size, no init: kept
    EXPECT_EQ(m.Sum(), 24.0);
    ASSERT_TRUE(m.Allocate(d, 3));  // init to 0.0
    EXPECT_EQ(m.Sum(), 0.0);
    ASSERT_TRUE(m.Allocate(d, 4));  // init to d3
    EXPECT_EQ(Elements(m), (V{7, 7, 7, 7, 7, 7}));
    int zeroCols[] = {3, 0};
    EXPECT_FALSE(m.Allocate(zeroCols, 2));
    EXPECT_EQ(m.GetSize(), 0);
    EXPECT_EQ(m.GetRows(), 3);  // a failed allocation leaves the row count alone
}

TEST(Matrix, CopyTransposeAndAssignment)
{
    const CMatrix a = MakeMatrix(2, 3, {1, 2, 3, 4, 5, 6});
    const CMatrix t(a, true);
    EXPECT_EQ(t.GetRows(), 3);
    EXPECT_EQ(t.GetColumns(), 2);
    EXPECT_EQ(Elements(t), (V{1, 4, 2, 5, 3, 6}));

    CMatrix b(a);
    EXPECT_NE(b.GetVector(), a.GetVector());
    EXPECT_EQ(b.GetRows(), 2);
    CMatrix c;
    c = t;
    EXPECT_EQ(c.GetRows(), 3);
    EXPECT_EQ(Elements(c), Elements(t));

    b.Transpose();
    EXPECT_EQ(b.GetRows(), 3);
    EXPECT_TRUE(b == t);
    b.Transpose();
    EXPECT_EQ(b.GetRows(), 2);
    EXPECT_TRUE(b == a);

    CMatrix sq = MakeMatrix(2, 2, {1, 2, 3, 4});
    double* array = sq.GetVector();
    sq.Transpose();
    EXPECT_EQ(sq.GetVector(), array);  // square: in place
    EXPECT_EQ(Elements(sq), (V{1, 3, 2, 4}));

    CMatrix moved(std::move(sq));
    EXPECT_EQ(moved.GetVector(), array);
    EXPECT_EQ(moved.GetRows(), 2);
    EXPECT_EQ(sq.GetRows(), 0);  // NOLINT(bugprone-use-after-move)
}

TEST(Matrix, ResizeReshapesWithoutTouchingElements)
{
    CMatrix m = MakeMatrix(2, 3, {1, 2, 3, 4, 5, 6});
    EXPECT_TRUE(m.Resize(3, true));
    EXPECT_EQ(m.GetRows(), 2);
    EXPECT_TRUE(m.Resize(2, true));
    EXPECT_EQ(m.GetRows(), 3);
    EXPECT_EQ(m.GetColumns(), 2);
    EXPECT_FALSE(m.Resize(4, false));
    EXPECT_EQ(m.GetRows(), 3);
    EXPECT_TRUE(m.Resize(6, false));
    EXPECT_EQ(m.GetColumns(), 1);
    EXPECT_FALSE(m.Resize(0, false));  // refused while there are elements
    EXPECT_EQ(Elements(m), (V{1, 2, 3, 4, 5, 6}));
}

TEST(Matrix, SwitchVectorsGivesEachSideItsShape)
{
    CMatrix a = MakeMatrix(2, 3, {1, 2, 3, 4, 5, 6});
    CMatrix b = MakeMatrix(4, 1, {7, 8, 9, 10});
    a.SwitchVectors(&b);
    EXPECT_EQ(a.GetRows(), 4);
    EXPECT_EQ(a.GetColumns(), 1);
    EXPECT_EQ(b.GetRows(), 2);
    EXPECT_EQ(b.GetColumns(), 3);
    EXPECT_EQ(b(1, 0), 4.0);

    CVector v = MakeVector({1, 2, 3, 4, 5});
    a.SwitchVectors(&v);  // a plain vector: a becomes a column of it
    EXPECT_EQ(a.GetRows(), 5);
    EXPECT_EQ(v.GetSize(), 4);

    double* mine = new double[2]{1, 2};
    double* old = a.ReplaceVector(mine, 2);
    delete[] old;
    EXPECT_EQ(a.GetRows(), 2);
    EXPECT_EQ(a.GetColumns(), 1);
}

TEST(Matrix, AddValuesSkipsNegativeIndices)
{
    CMatrix m(3, 3, true, 0.0);
    long idx[] = {2, -1, 0};
    double block[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    m.AddValues(idx, block, 3);
    EXPECT_EQ(Elements(m), (V{9, 0, 7, 0, 0, 0, 3, 0, 1}));
    m.AddValues(idx, block, 3);
    EXPECT_EQ(m(0, 0), 18.0);
}

TEST(Matrix, ProductsWithSquareAndNonSquareFactors)
{
    const CMatrix A = RandomMatrix(2, 3, 1);
    const CMatrix B = RandomMatrix(3, 2, 2);
    CMatrix C(A);
    C *= B;
    EXPECT_EQ(C.GetRows(), 2);
    EXPECT_EQ(C.GetColumns(), 2);
    EXPECT_EQ(Elements(C), ReferenceProduct(A, B));  // same sums in the same order: exact

    const CMatrix S = RandomMatrix(3, 3, 3);
    CMatrix D(A);
    double* array = D.GetVector();
    D *= S;
    EXPECT_EQ(D.GetVector(), array);  // square factor: in place
    EXPECT_EQ(D.GetRows(), 2);
    EXPECT_EQ(Elements(D), ReferenceProduct(A, S));

    CMatrix E(S);
    E.PostMult(S);
    EXPECT_EQ(Elements(E), ReferenceProduct(S, S));
    CMatrix F(S);
    F *= F;  // the factor is the matrix itself
    EXPECT_EQ(Elements(F), ReferenceProduct(S, S));

    CMatrix sum = MakeMatrix(2, 2, {1, 2, 3, 4});
    sum += MakeMatrix(2, 2, {1, 1, 1, 1});
    sum -= MakeMatrix(2, 2, {0, 0, 0, 2});
    sum *= 2.0;
    sum /= 4.0;
    EXPECT_EQ(Elements(sum), (V{1, 1.5, 2, 1.5}));
    EXPECT_EQ(sum.GetRows(), 2);
}

TEST(Matrix, ApplyToModes)
{
    const CMatrix A = MakeMatrix(2, 3, {1, 2, 3, 4, 5, 6});
    CVector v = MakeVector({1, 0, -1});
    A.ApplyTo(v, 1);
    EXPECT_EQ(Elements(v), (V{-2, -2}));
    A.ApplyTo(v, 2);  // A^T v
    EXPECT_EQ(Elements(v), (V{-10, -14, -18}));
    A.ApplyTo(v, 3);
    EXPECT_EQ(v.GetSize(), 0);

    CVector y = MakeVector({100, 100});  // accumulates into y
    A.ApplyTo(MakeVector({1, 1, 1}), y, 1);
    EXPECT_EQ(Elements(y), (V{106, 115}));
    CVector z = MakeVector({1, 1, 1});
    A.ApplyTo(MakeVector({1, 2}), z, 2);
    EXPECT_EQ(Elements(z), (V{10, 13, 16}));
    A.ApplyTo(MakeVector({1, 2}), z, 0);
    EXPECT_EQ(Elements(z), (V{10, 13, 16}));

    CMatrix column = MakeMatrix(3, 1, {1, 1, 1});
    A.ApplyTo(column, 1);  // a matrix argument becomes a column of the product
    EXPECT_EQ(column.GetRows(), 2);
    EXPECT_EQ(Elements(column), (V{6, 15}));
}

TEST(Matrix, GetColVectWithShorterAndLongerVectors)
{
    const CMatrix A = MakeMatrix(2, 3, {1, 2, 3, 4, 5, 6});
    CVector shorter = MakeVector({9});
    A.GetColVect(shorter, 1);
    EXPECT_EQ(Elements(shorter), (V{2, 5}));
    CVector longer = MakeVector({9, 9, 9, 9});
    A.GetColVect(longer, 2);
    EXPECT_EQ(Elements(longer), (V{3, 6, 9, 9}));
}

TEST(Matrix, SearchesAndTies)
{
    CMatrix m = MakeMatrix(3, 2, {3, 1, -3, 1, 2, 0});
    EXPECT_EQ(&m.fabsMaxInCol(0), &m(1, 0));  // last of equal magnitudes
    EXPECT_EQ(&m.MaxInCol(1), &m(0, 1));      // first of equal maxima
    EXPECT_EQ(&m.MinInCol(0), &m(1, 0));
    EXPECT_EQ(&m.MinInCol(1), &m(2, 1));
    const CMatrix& cm = m;
    EXPECT_EQ(&cm.MaxInCol(0), &m(0, 0));
    EXPECT_EQ(cm.MaxInRow(2), 2.0);
    EXPECT_EQ(cm.FindInRow(1, 1.0), 1);
    EXPECT_EQ(cm.FindInRow(1, 7.0), -1);
    EXPECT_EQ(cm.FindInCol(1, 1.0), 0);
    EXPECT_EQ(cm.FindInCol(0, 2.0), 2);
    EXPECT_EQ(cm.FindInCol(0, 5.0), -1);
    CMatrix zeros(2, 2, true, 0.0);
    EXPECT_EQ(&zeros.fabsMaxInCol(1), &zeros(1, 1));

    EXPECT_FALSE(m.CheckSymm());
    EXPECT_TRUE(MakeMatrix(1, 1, {5}).CheckSymm());
    EXPECT_TRUE(MakeMatrix(2, 2, {1, 2, 2, 1}).CheckSymm());
    EXPECT_FALSE(MakeMatrix(2, 2, {1, NAN, NAN, 1}).CheckSymm());
}

TEST(Matrix, NormsTraceAndRowOperations)
{
    CMatrix m = MakeMatrix(2, 3, {1, -2, 3, -4, 5, -6});
    EXPECT_EQ(m.OneNorm(), 9.0);
    EXPECT_EQ(m.InfNorm(), 15.0);
    EXPECT_DOUBLE_EQ(m.Frobenius(), std::sqrt(91.0));
    EXPECT_EQ(m.Trace(), 6.0);
    EXPECT_EQ(m.PNorm(1.0), 21.0);  // vector operations act on all elements
    const CMatrix empty;
    EXPECT_EQ(empty.OneNorm(), 0.0);
    EXPECT_EQ(empty.InfNorm(), 0.0);
    EXPECT_EQ(empty.Trace(), 0.0);

    m.MultiplyRow(0, 2.0);
    m.MultiplyCol(2, -1.0);
    m.MultiplySubRow(1, 0, 2, 10.0);
    m.MultiplySubRow(1, 2, 2, 10.0);
    EXPECT_EQ(Elements(m), (V{2, -4, -6, -40, 50, 6}));
    m.Identity(3, 2.5);
    EXPECT_EQ(Elements(m), (V{2.5, 0, 0, 0, 2.5, 0, 0, 0, 2.5}));
    EXPECT_EQ(m.GetRows(), 3);
}

TEST(Matrix, ConsoleOutput)
{
    const CMatrix m = MakeMatrix(2, 2, {1.5, -2, 3, 0.25});
    testing::internal::CaptureStdout();
    m.COUT(", ");
    m.Stream();
    CMatrix().COUT(", ");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "1.5, -2, \n3, 0.25, \n1.5\t-2\t\n3\t0.25\t\n");
}
