// Generators (fill patterns, value ranges, well-conditioned matrices) and row/column
// statistics.
#include "support/Dense.h"

#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>

using namespace tarvel_test;
using V = std::vector<double>;

// Every kind fills its pattern with values in [lo, hi] and leaves zeros elsewhere, on square,
// tall and wide matrices; an unknown kind leaves the matrix as it was.
TEST(MatrixGenerators, RandMatPatternsAndRange)
{
    const auto filled = [](int kind, int i, int j)
    {
        return kind == 0 || (kind == 1 && j <= i) || (kind == 2 && j >= i) ||
               (kind == -1 && j < i) || (kind == -2 && j > i);
    };
    for (int kind : {0, 1, 2, -1, -2})
        for (const auto& [rows, cols] : {std::pair{4, 4}, std::pair{5, 3}, std::pair{3, 5}})
        {
            CMatrix m;
            m.RandMat(rows, cols, 3.0, -2.0, kind);
            ASSERT_EQ(m.GetRows(), rows);
            ASSERT_EQ(m.GetColumns(), cols);
            for (int i = 0; i < rows; ++i)
                for (int j = 0; j < cols; ++j)
                    EXPECT_TRUE(filled(kind, i, j) ? m(i, j) >= -2.0 && m(i, j) <= 3.0
                                                   : m(i, j) == 0.0)
                        << kind << " " << rows << "x" << cols << " (" << i << "," << j << ")";
        }
    CMatrix untouched = MakeMatrix(1, 2, {4, 5});
    untouched.RandMat(3, 3, 1.0, 0.0, 7);
    EXPECT_EQ(Text(untouched), "1x2: 4 5");
}

// Exactly one non-zero per row within 1 +- spread/2; a permutation pattern when square.
TEST(MatrixGenerators, WellCondHasOneNonZeroPerRow)
{
    for (const auto& [rows, cols] : {std::pair{6, 6}, std::pair{9, 4}, std::pair{4, 9}})
    {
        TarvelSrand(unsigned(rows * 31 + cols));
        CMatrix m;
        m.WellCond(rows, cols, 0.4);
        ASSERT_EQ(m.GetRows(), rows);
        std::vector<int> perColumn(std::size_t(cols), 0);
        for (int i = 0; i < rows; ++i)
        {
            int nonZeros = 0;
            for (int j = 0; j < cols; ++j)
            {
                const bool filled = m(i, j) != 0.0;
                nonZeros += filled;
                perColumn[std::size_t(j)] += filled;
                EXPECT_TRUE(!filled || (m(i, j) >= 0.8 && m(i, j) <= 1.2)) << m(i, j);
            }
            EXPECT_EQ(nonZeros, 1) << rows << "x" << cols << " row " << i;
        }
        EXPECT_TRUE(rows != cols || perColumn == std::vector<int>(std::size_t(cols), 1));
    }
}

// LMat/UMat patterns (with add: added, the other triangle kept), SetVals along a row or a
// column, Dev subtracting the mean of the diagonal.
TEST(MatrixGenerators, TriangularPatternsSetValsAndDev)
{
    CMatrix L, U, m(2, 3, true, 1.0);
    L.LMat(3, 3, 2.0, 5.0, false);
    EXPECT_EQ(Text(L), "3x3: 5 0 0 2 5 0 2 2 5");
    L(0, 2) = 1.0;
    L.LMat(3, 3, 2.0, 5.0, true);
    EXPECT_EQ(Text(L), "3x3: 10 0 1 4 10 0 4 4 10");
    U.UMat(2, 3, 2.0, 5.0, false);
    EXPECT_EQ(Text(U), "2x3: 5 2 2 0 5 2");
    m.SetVals(1, 4.0, true, false);  // column 1, added
    m.SetVals(0, 7.0, false, true);  // row 0, set
    EXPECT_EQ(Text(m), "2x3: 7 7 7 1 5 1");
    const CMatrix d = MakeMatrix(3, 3, {1, 9, 9, 9, 2, 9, 9, 9, 6});
    d.Dev();
    EXPECT_EQ(Text(d), "3x3: -2 9 9 9 -1 9 9 9 3");
}

// Vect2Norm modes -1, 0, 1, 2: squared column norms, squared row norms, column norms, row
// norms; the extremes of lengths and of functions of columns (perRow) or rows.
TEST(MatrixStatistics, NormsAndExtremes)
{
    const CMatrix m = MakeMatrix(2, 3, {3, 4, 0, 0, 0, 1});
    CVector v[4];
    for (int mode = -1; mode < 3; ++mode) m.Vect2Norm(v[mode + 1], mode);
    EXPECT_EQ(Text(v[0]) + " " + Text(v[1]) + " " + Text(v[2]) + " " + Text(v[3]),
              "3: 9 16 1 2: 25 1 3: 3 4 1 2: 5 1");
    double r[10];
    m.GetMaxMinLength(r[0], r[1], 0, 1, true);     // rows of columns 0, 1: 5, 0
    m.GetMaxMinLength(r[2], r[3], 0, 1, 2, true);  // 5, 1
    m.GetMaxMin2([](double* x) { return x[0] + x[1]; }, r[4], r[5], 0, 1, false);  // 3, 4, 1
    m.GetMaxMin3([](double* x) { return x[0] - x[1] + x[2]; }, r[6], r[7], 0, 1, 2, true);
    m.GetMaxMin1([](double x) { return -x; }, r[8], r[9], 1, false);  // row 1: 0, 0, -1
    EXPECT_EQ(std::vector<double>(r, r + 10), (V{5, 0, 5, 1, 4, 1, 1, -1, 0, -1}));
}
