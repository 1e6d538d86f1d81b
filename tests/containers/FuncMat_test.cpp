// CFuncMat: sizing, the one-entry, one-argument and two-argument evaluations.
#include "support/Dense.h"

#include <tarvel/Tarvel.h>

#include <cmath>
#include <gtest/gtest.h>

using namespace tarvel_test;

namespace
{

double square(double x) { return x * x; }
double product(double x, double y) { return x * y; }

}  // namespace

// Entries sin, null, cos, square: at 0 the matrix 0, 0, 1, 0; at 2 the last entry is 4. With
// f(x, y) = x y and y = 3, 3 x in every non-null position; an integer y converts.
TEST(FuncMat, EvaluatesEntriesWithNullAsZero)
{
    CFuncMat f(2, 2, true, nullptr), g(1, 3, true, CFuncMat::Entry2ToEntry(product));
    f[0][0] = std::sin;
    f[1][0] = std::cos;
    f[1][1] = square;
    g[0][1] = nullptr;
    CMatrix result = MakeMatrix(3, 3, {});
    f.EvalFunc(result, 0.0);
    EXPECT_EQ(Text(result), "2x2: 0 0 1 0");
    f.EvalFunc(result, 2.0);
    EXPECT_TRUE(result(1, 1) == 4.0 && result(0, 0) == std::sin(2.0));
    EXPECT_EQ(f.EvalFunc(1, 0, 0.5), std::cos(0.5));
    g.EvalFunc(result, 2.0, 3.0);
    EXPECT_EQ(Text(result), "1x3: 6 0 6");
    g.EvalFunc(result, 5.0, 3);
    EXPECT_EQ(Text(result), "1x3: 15 0 15");
}

// The same entry count keeps the array, cleared; the array form takes rows and columns (one
// dimension: a square), fails for no entries.
TEST(FuncMat, Sizing)
{
    CFuncMat f(3, 2, true, square);
    CFuncMat::Entry* array = f.m_pData;
    EXPECT_EQ(f.Allocate(2, 3, true, nullptr), 6);
    EXPECT_TRUE(f.m_pData == array && f[1][2] == nullptr && f.GetRows() == 2);
    f.Allocate(1, 1, true, square);
    int two[] = {2}, zero[] = {0}, dims[] = {2, 5, 0};
    EXPECT_TRUE(f.Allocate(two, 1) && f.GetColumns() == 2 && f.m_pData[0] == nullptr &&
                f.m_pData[3] == nullptr);
    EXPECT_TRUE(!f.Allocate(zero, 1) && f.Allocate(dims, 3) && f.GetColumns() == 5);
}
