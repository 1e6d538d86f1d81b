// Generators (fill patterns, value ranges, well-conditioned matrices) and row/column
// statistics.
#include "support/Dense.h"

#include <tarvel/Tarvel.h>

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

using tarvel_test::Elements;
using tarvel_test::MakeMatrix;
using V = std::vector<double>;

namespace
{

// Which elements of a rows x cols matrix each RandMat kind fills.
bool Filled(int kind, int i, int j)
{
    switch (kind)
    {
    case 0:
        return true;
    case 1:
        return j <= i;
    case 2:
        return j >= i;
    case -1:
        return j < i;
    case -2:
        return j > i;
    }
    return false;
}

}  // namespace

TEST(MatrixGenerators, RandMatPatternsAndRange)
{
    for (int kind : {0, 1, 2, -1, -2})
        for (const auto& [rows, cols] : {std::pair{4, 4}, std::pair{5, 3}, std::pair{3, 5}})
        {
            SCOPED_TRACE(testing::Message() << kind << " " << rows << "x" << cols);
            CMatrix m;
            m.RandMat(rows, cols, 3.0, -2.0, kind);
            ASSERT_EQ(m.GetRows(), rows);
            ASSERT_EQ(m.GetColumns(), cols);
            for (int i = 0; i < rows; ++i)
                for (int j = 0; j < cols; ++j)
                {
                    if (Filled(kind, i, j))
                    {
                        EXPECT_GE(m(i, j), -2.0);
                        EXPECT_LE(m(i, j), 3.0);
                    }
                    else
                    {
                        EXPECT_EQ(m(i, j), 0.0);
                    }
                }
        }
    CMatrix same;
    same.RandMat(3, 2, 1.5, 1.5, 0);  // hi == lo: that value everywhere
    EXPECT_EQ(Elements(same), (V{1.5, 1.5, 1.5, 1.5, 1.5, 1.5}));
    CMatrix untouched = MakeMatrix(1, 2, {4, 5});
    untouched.RandMat(3, 3, 1.0, 0.0, 7);
    EXPECT_EQ(untouched.GetRows(), 1);
    EXPECT_EQ(Elements(untouched), (V{4, 5}));
}

TEST(MatrixGenerators, TriangularPatterns)
{
    CMatrix L;
    L.LMat(3, 3, 2.0, 5.0, false);
    EXPECT_EQ(Elements(L), (V{5, 0, 0, 2, 5, 0, 2, 2, 5}));
    L(0, 2) = 1.0;
    L.LMat(3, 3, 2.0, 5.0, true);  // adds, keeps the upper part
    EXPECT_EQ(Elements(L), (V{10, 0, 1, 4, 10, 0, 4, 4, 10}));
    CMatrix other(2, 2, true, 9.0);
    other.LMat(3, 3, 2.0, 5.0, true);  // another size: sets instead
    EXPECT_EQ(Elements(other), (V{5, 0, 0, 2, 5, 0, 2, 2, 5}));

    CMatrix U;
    U.UMat(2, 3, 2.0, 5.0, false);
    EXPECT_EQ(Elements(U), (V{5, 2, 2, 0, 5, 2}));
    U.UMat(2, 3, 1.0, 1.0, true);
    EXPECT_EQ(Elements(U), (V{6, 3, 3, 0, 6, 3}));
}

TEST(MatrixGenerators, SetValsAndDev)
{
    CMatrix m(2, 3, true, 1.0);
    m.SetVals(1, 4.0, true, false);  // column 1, added
    m.SetVals(0, 7.0, false, true);  // row 0, set
    EXPECT_EQ(Elements(m), (V{7, 7, 7, 1, 5, 1}));
    CMatrix d = MakeMatrix(3, 3, {1, 9, 9, 9, 2, 9, 9, 9, 6});
    d.Dev();
    EXPECT_EQ(Elements(d), (V{-2, 9, 9, 9, -1, 9, 9, 9, 3}));
}

TEST(MatrixGenerators, WellCondHasOneNonZeroPerRow)
{
    for (const auto& [rows, cols] :
         {std::pair{6, 6}, std::pair{9, 4}, std::pair{4, 9}, std::pair{1, 1}})
    {
        SCOPED_TRACE(testing::Message() << rows << "x" << cols);
        TarvelSrand(static_cast<unsigned>(rows * 31 + cols));
        CMatrix m;
        m.WellCond(rows, cols, 0.4);
        ASSERT_EQ(m.GetRows(), rows);
        std::vector<int> perColumn(cols, 0);
        for (int i = 0; i < rows; ++i)
        {
            int nonZeros = 0;
            for (int j = 0; j < cols; ++j)
                if (m(i, j) != 0.0)
                {
                    ++nonZeros;
                    ++perColumn[j];
                    EXPECT_GE(m(i, j), 0.8);
                    EXPECT_LE(m(i, j), 1.2);
                }
            EXPECT_EQ(nonZeros, 1);
        }
        if (rows == cols)
        {
            EXPECT_EQ(perColumn, std::vector<int>(cols, 1));  // a permutation
        }
    }
    CMatrix p;
    p.WellCond(3, 3, 0.0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(p.MaxInRow(i), 1.0);
    EXPECT_EQ(p.Sum(), 3.0);
}

TEST(MatrixStatistics, NormsAndExtremes)
{
    const CMatrix m = MakeMatrix(2, 2, {3, 4, 0, 0});
    CVector v;
    m.Vect2Norm(v, 2);
    EXPECT_EQ(Elements(v), (V{5, 0}));
    m.Vect2Norm(v, 1);
    EXPECT_EQ(Elements(v), (V{3, 4}));
    m.Vect2Norm(v, -1);
    EXPECT_EQ(Elements(v), (V{9, 16}));
    m.Vect2Norm(v, 0);
    EXPECT_EQ(Elements(v), (V{25, 0}));

    const CMatrix r = MakeMatrix(2, 3, {3, 4, 0, 0, 0, 1});
    double max = -1, min = -1;
    r.GetMaxMinLength(max, min, 0, 1, true);
    EXPECT_EQ(max, 5.0);
    EXPECT_EQ(min, 0.0);
    r.GetMaxMinLength(max, min, 0, 1, 2, true);
    EXPECT_EQ(max, 5.0);
    EXPECT_EQ(min, 1.0);
    r.GetMaxMinLength(max, min, 0, 1, false);  // per column, rows 0 and 1
    EXPECT_EQ(max, 4.0);
    EXPECT_EQ(min, 1.0);
    CMatrix().GetMaxMinLength(max, min, 0, 1, true);
    EXPECT_EQ(max, 0.0);
    EXPECT_EQ(min, 0.0);

    int calls = 0;
    static int* counter = nullptr;
    counter = &calls;
    auto negate = [](double x)
    {
        ++*counter;
        return -x;
    };
    r.GetMaxMin1(+negate, max, min, 0, true);  // column 0: -3, 0
    EXPECT_EQ(max, 0.0);
    EXPECT_EQ(min, -3.0);
    EXPECT_EQ(calls, 2);
    r.GetMaxMin1(+negate, max, min, 1, false);  // row 1: 0, 0, -1
    EXPECT_EQ(max, 0.0);
    EXPECT_EQ(min, -1.0);
    auto sum2 = [](double* x) { return x[0] + x[1]; };
    r.GetMaxMin2(+sum2, max, min, 0, 2, true);  // rows: 3, 1
    EXPECT_EQ(max, 3.0);
    EXPECT_EQ(min, 1.0);
    auto sum3 = [](double* x) { return x[0] - x[1] + x[2]; };
    r.GetMaxMin3(+sum3, max, min, 0, 1, 2, true);  // rows: -1, 1
    EXPECT_EQ(max, 1.0);
    EXPECT_EQ(min, -1.0);
    r.GetMaxMin2(+sum2, max, min, 0, 1, false);  // columns: 3, 4, 1
    EXPECT_EQ(max, 4.0);
    EXPECT_EQ(min, 1.0);
}
