// Element-wise operations, reductions and storage hand-overs of the dense vector and matrix,
// each against values worked by hand.
#include "support/Dense.h"

#include <tarvel/Tarvel.h>

#include <functional>
#include <gtest/gtest.h>
#include <string>

using namespace tarvel_test;

TEST(ElementOps, VectorOperationsAndReductions)
{
    const std::pair<std::function<void(CVector&)>, std::string> cases[] = {
        {[](CVector& v) { v /= 2.0; }, "3: 0.5 -1 2"},
        {[](CVector& v) { v += 1.5; }, "3: 2.5 -0.5 5.5"},
        {[](CVector& v)
         {
             const CVector w = MakeVector({2, 3, -1});
             v.Scale(&w);
         },
         "3: 2 -6 -4"},
        {[](CVector& v) { v.SetIncremental(0.5, -1.0); }, "3: -1 -0.5 0"},
        {[](CVector& v)
         {
             const CVector a = MakeVector({1, 2, 3}), b = MakeVector({4, 5, 6});
             v.CrossProd(&a, &b);
         },
         "3: -3 6 -3"},
        {[](CVector& v) {
             v.SetVector(2, new double[2]{7, 8});
         },
         "2: 7 8"},
        {[](CVector& v) { delete[] v.ReplaceVector(new double[1]{9}, 1); }, "1: 9"},
    };
    for (const auto& [operation, expected] : cases)
    {
        CVector v = MakeVector({1, -2, 4});
        operation(v);
        EXPECT_EQ(Text(v), expected);
    }
    const CVector v = MakeVector({1, -2, 4});
    EXPECT_EQ(v.Sum(), 3.0);
    EXPECT_EQ(v.Mean(), 1.0);
    EXPECT_EQ(v.ZeroNorm(), 1.0);  // the smallest magnitude
    EXPECT_EQ(CVector().ZeroNorm(), 0.0);
}

TEST(ElementOps, MatrixRowsColumnsAndStorage)
{
    const std::pair<std::function<void(CMatrix&)>, std::string> cases[] = {
        {[](CMatrix& m) { m.MultiplyRow(1, 2.0); }, "2x3: 1 2 3 8 10 12"},
        {[](CMatrix& m) { m.MultiplyCol(0, -1.0); }, "2x3: -1 2 3 -4 5 6"},
        {[](CMatrix& m) { m.MultiplySubRow(0, 1, 3, 10.0); }, "2x3: 1 20 30 4 5 6"},
        {[](CMatrix& m) { m /= 2.0; }, "2x3: 0.5 1 1.5 2 2.5 3"},
        {[](CMatrix& m) {
             m -= MakeMatrix(2, 3, {1, 1, 1, 2, 2, 2});
         },
         "2x3: 0 1 2 2 3 4"},
        {[](CMatrix& m) { m.Identity(2, 3.0); }, "2x2: 3 0 0 3"},
        {[](CMatrix& m) {
             m.SetVector(new double[2]{5, 6}, 1, 2);
         },
         "1x2: 5 6"},
        {[](CMatrix& m) {
             delete[] m.ReplaceVector(new double[2]{5, 6}, 2);
         },
         "2x1: 5 6"},
    };
    for (const auto& [operation, expected] : cases)
    {
        CMatrix m = MakeMatrix(2, 3, {1, 2, 3, 4, 5, 6});
        operation(m);
        EXPECT_EQ(Text(m), expected);
    }
    const CMatrix m = MakeMatrix(2, 3, {1, 7, 3, 4, 5, -6});
    EXPECT_EQ(m.MaxInRow(1), 5.0);
    EXPECT_EQ(m.MaxInCol(1), 7.0);
    EXPECT_EQ(m.MinInCol(2), -6.0);
}
