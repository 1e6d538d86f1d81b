// CMatrix storage and arithmetic: shapes after every resizing operation, products against an
// independent triple loop, searches with ties, norms, and the console printouts.
#include "support/Dense.h"

#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>

using namespace tarvel_test;

// A matrix built or allocated with 0 columns has no rows. The list form: count 0 and 1 give
// d0 x d0 zeros, 2 gives d0 x d1 zeros, 3 zeros only when d2 != 0 (same size otherwise keeps
// the values), 4 sets d3; a failed allocation leaves the row count.
TEST(Matrix, AllocateShapes)
{
    EXPECT_EQ(Text(CMatrix(3, 0, true, 1.0)), "0x0:");
    CMatrix m(2, 3, true, 4.0);
    int d[] = {3, 2, 1, 7}, keep[] = {3, 2, 0, 7}, zeroCols[] = {3, 0};
    const std::tuple<int*, int, const char*> cases[] = {
        {d, 0, "3x3: 0 0 0 0 0 0 0 0 0"}, {d, 1, "3x3: 0 0 0 0 0 0 0 0 0"},
        {d, 2, "3x2: 0 0 0 0 0 0"},       {keep, 3, "3x2: 4 4 4 4 4 4"},
        {d, 3, "3x2: 0 0 0 0 0 0"},       {d, 4, "3x2: 7 7 7 7 7 7"}};
    for (const auto& [dims, count, text] : cases)
    {
        m = 4.0;
        ASSERT_TRUE(m.Allocate(dims, count));
        EXPECT_EQ(Text(m), text) << count;
    }
    EXPECT_FALSE(m.Allocate(zeroCols, 2));
    EXPECT_EQ(std::pair(m.GetRows(), m.GetSize()), std::pair(3, 0));
    EXPECT_FALSE(m.Allocate(3, 0, true, 0.0));
    EXPECT_EQ(Text(m), "0x0:");
    EXPECT_TRUE(m.Allocate(2, true, 1.0));  // the one-size form: a column
    EXPECT_EQ(Text(m), "2x1: 1 1");
}

TEST(Matrix, TransposeResizeAndColumns)
{
    const CMatrix a = MakeMatrix(2, 3, {1, 2, 3, 4, 5, 6});
    CMatrix b(a), sq = MakeMatrix(2, 2, {1, 2, 3, 4});
    b.Transpose();
    EXPECT_EQ(Text(b), "3x2: 1 4 2 5 3 6");
    EXPECT_EQ(Text(CMatrix(a, true)), Text(b));
    const double* array = sq.m_pData;
    sq.Transpose();
    EXPECT_EQ(sq.m_pData, array);  // square: in place
    EXPECT_EQ(Text(sq), "2x2: 1 3 2 4");

    // Resize(n, asColumns) reshapes when n divides the size; n = 0 only an empty matrix.
    EXPECT_TRUE(CMatrix().Resize(0, false));
    const std::tuple<int, bool, bool, int> resizes[] = {{3, true, true, 2},
                                                        {2, true, true, 3},
                                                        {4, false, false, 3},
                                                        {6, false, true, 6},
                                                        {0, false, false, 6}};
    for (const auto& [n, asColumns, ok, rows] : resizes)
        EXPECT_TRUE(b.Resize(n, asColumns) == ok && b.GetRows() == rows) << n;

    // GetColVect grows a shorter vector to the row count and leaves a longer one's tail.
    CVector shorter = MakeVector({9}), longer = MakeVector({9, 9, 9, 9});
    a.GetColVect(shorter, 1);
    a.GetColVect(longer, 2);
    EXPECT_EQ(Text(shorter), "2: 2 5");
    EXPECT_EQ(Text(longer), "4: 3 6 9 9");
}

// operator*= against a plain triple loop (same sums in the same order, so exact): a square
// factor works in place, a non-square one reshapes, the matrix itself as factor is a copy.
TEST(Matrix, ProductsAndApplyTo)
{
    const CMatrix A = RandomMatrix(2, 3, 1), B = RandomMatrix(3, 2, 2), S = RandomMatrix(3, 3, 3);
    CMatrix C(A), D(A), F(S);
    C *= B;
    EXPECT_EQ(Text(C), Text(ReferenceProduct(A, B)));
    const double* array = D.m_pData;
    D *= S;
    EXPECT_EQ(D.m_pData, array);
    EXPECT_EQ(Text(D), Text(ReferenceProduct(A, S)));
    F *= F;
    EXPECT_EQ(Text(F), Text(ReferenceProduct(S, S)));

    // Mode 1: P x; mode 2: P^T x; other modes: nothing (the one-argument form then leaves an
    // empty vector). The two-argument form accumulates into y.
    const CMatrix P = MakeMatrix(2, 3, {1, 2, 3, 4, 5, 6});
    CVector v = MakeVector({1, 0, -1}), y = MakeVector({100, 100}), z = MakeVector({1, 1, 1});
    P.ApplyTo(v, 1);
    EXPECT_EQ(Text(v), "2: -2 -2");
    P.ApplyTo(v, 2);
    EXPECT_EQ(Text(v), "3: -10 -14 -18");
    P.ApplyTo(v, 3);
    EXPECT_EQ(Text(v), "0:");
    P.ApplyTo(MakeVector({1, 1, 1}), y, 1);
    P.ApplyTo(MakeVector({1, 2}), z, 2);
    P.ApplyTo(MakeVector({1, 2}), z, 0);
    EXPECT_EQ(Text(y), "2: 106 115");
    EXPECT_EQ(Text(z), "3: 10 13 16");
}

TEST(Matrix, AssemblingSearchesAndNorms)
{
    CMatrix m(3, 3, true, 0.0);
    long idx[] = {2, -1, 0};
    double block[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    m.AddValues(idx, block, 3);  // row and column -1 are skipped
    EXPECT_EQ(Text(m), "3x3: 9 0 7 0 0 0 3 0 1");

    CMatrix s = MakeMatrix(3, 2, {3, 1, -3, 1, 2, 0});
    EXPECT_EQ(&s.fabsMaxInCol(0), &s(1, 0));  // the last of equal magnitudes
    EXPECT_EQ(&s.MaxInCol(1), &s(0, 1));      // the first of equal maxima
    EXPECT_EQ(&s.MinInCol(0), &s(1, 0));
    EXPECT_EQ((std::vector<int>{s.FindInRow(1, 1.0), s.FindInCol(0, 2.0), s.FindInCol(0, 5.0)}),
              (std::vector<int>{1, 2, -1}));
    EXPECT_TRUE(MakeMatrix(2, 2, {1, 2, 2, 1}).CheckSymm() && !s.CheckSymm());

    const CMatrix n = MakeMatrix(2, 3, {1, -2, 3, -4, 5, -6});
    EXPECT_EQ((std::vector<double>{n.OneNorm(), n.InfNorm(), n.Frobenius(), n.Trace()}),
              (std::vector<double>{9, 15, std::sqrt(91.0), 6}));
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
