// CVector against values worked by hand: sizing, element-wise operations and their size rules,
// reductions with ties, ownership, assembling and the rotation-vector quaternion.
#include "support/Dense.h"

#include <gtest/gtest.h>

using namespace tarvel_test;
using V = std::vector<double>;

// Each operation on a copy of its operand, and the exact text it leaves. +=, -=, Add and
// LinComb run over the longer operand, the shorter one contributing nothing past its end,
// whichever is this; LinComb sizes through the virtual Allocate (a matrix becomes a column).
// Trunc keeps first .. last-1, last < 1 or past the end running to the end. Assembling skips
// negative indices. A new size is zero-filled; the same size without init keeps the values.
TEST(Vector, OperationsAgainstHandWorkedValues)
{
    const CVector s = MakeVector({10, 20, 30}), l = MakeVector({1, 2, 3, 4, 5});
    const CVector v = MakeVector({1, -2, 4}), w = MakeVector({2, 3, -1});
    long idx[] = {2, -1, 0};
    double val[] = {10, 99, 20};
    int four[] = {4, 1, 7}, same[] = {4, 0};
    double* adopted[] = {new double[2]{7, 8}, new double[1]{9}};  // each taken over once below
    const std::pair<std::string, const char*> cases[] = {
        {After(s, [&](auto& x) { x += l; }), "5: 11 22 33 4 5"},
        {After(l, [&](auto& x) { x += s; }), "5: 11 22 33 4 5"},
        {After(l, [&](auto& x) { x -= s; }), "5: -9 -18 -27 4 5"},
        {After(s, [&](auto& x) { x -= l; }), "5: 9 18 27 -4 -5"},
        {After(l, [&](auto& x) { x.Add(s, 2.0); }), "5: 21 42 63 4 5"},
        {After(s, [&](auto& x) { x.Add(l, 2.0); }), "5: 12 24 36 8 10"},
        {After(CVector(), [&](auto& x) { x.LinComb(2.0, s, -1.0, l); }), "5: 19 38 57 -4 -5"},
        {After(CVector(), [&](auto& x) { x.LinComb(2.0, l, -1.0, s); }), "5: -8 -16 -24 8 10"},
        {After(CMatrix(2, 3), [&](auto& x) { x.LinComb(1.0, l, 0.0, s); }), "5x1: 1 2 3 4 5"},
        {After(v, [](auto& x) { x /= 2.0; }), "3: 0.5 -1 2"},
        {After(v, [](auto& x) { x += 1.5; }), "3: 2.5 -0.5 5.5"},
        {After(v, [&](auto& x) { x.Scale(&w); }), "3: 2 -6 -4"},
        {After(v, [](auto& x) { x.SetIncremental(0.5, -1.0); }), "3: -1 -0.5 0"},
        {After(v, [&](auto& x) { x.CrossProd(&v, &w); }), "3: -10 9 7"},
        {After(v, [&](auto& x) { x.SetVector(2, adopted[0]); }), "2: 7 8"},
        {After(v, [&](auto& x) { delete[] x.ReplaceVector(adopted[1], 1); }), "1: 9"},
        {After(v, [&](auto& x) { x.AddValues(idx, val, 3); }), "3: 21 -2 14"},
        {After(l, [](auto& x) { x.Trunc(1, 3); }), "2: 2 3"},
        {After(l, [](auto& x) { x.Trunc(2, 0); }), "3: 3 4 5"},
        {After(l, [](auto& x) { x.Trunc(1, 99); }), "4: 2 3 4 5"},
        {After(l, [](auto& x) { x.Trunc(4, 2); }), "0:"},
        {After(v, [](auto& x) { x.Allocate(3, false, 9.0); }), "3: 1 -2 4"},
        {After(v, [](auto& x) { x.Allocate(2, false, 9.0); }), "2: 0 0"},
        {After(v, [](auto& x) { x.Allocate(3, true, 2.5); }), "3: 2.5 2.5 2.5"},
        {After(v, [](auto& x) { x.Allocate(-4, true, 1.0); }), "0:"},
        {After(v, [&](auto& x) { x.Allocate(four, 0); }), "4: 0 0 0 0"},  // reads d[0] anyway
        {After(v, [&](auto& x) { (void)(x.Allocate(four, 3) && x.Allocate(same, 2)); }),
         "4: 7 7 7 7"},
    };
    for (const auto& [got, expected] : cases) EXPECT_EQ(got, expected);
    CVector t;
    EXPECT_TRUE(!t.Allocate(-4, true, 1.0) && t.Allocate(four, 0) && t.Allocate(same, 2));
}

// Norms and reductions; the first of equal maxima or minima; Find and Count over first ..
// last-1 (last < 1: the whole vector); an empty vector equals every scalar (a documented
// choice); comparisons are exact. AplusBC is DenseKernels_test's.
// Copies own their arrays, moves take them over; the dense classes inherit the base
// Cholesky_Solve, which answers 0 and touches nothing.
TEST(Vector, ReductionsSearchesComparisonsAndOwnership)
{
    const CVector w = MakeVector({1, -2, 2, 0});
    CVector n = MakeVector({3, 4}), zero(2, true, 0.0);  // zero: left alone, no division
    EXPECT_EQ((V{w.PNorm(0.0), w.PNorm(1.0), w.PNorm(2.0), w.InfNorm(), w.ZeroNorm(), w.Sum(),
                 w.Mean(), w.Dot(MakeVector({4, 5})), n.Normalize(), zero.Normalize()}),
              (V{4, 5, 3, 2, 0, 1, 0.25, -6, 5, 0}));
    EXPECT_DOUBLE_EQ(w.PNorm(3.0), std::cbrt(17.0));
    EXPECT_EQ(Text(n) + " " + Text(zero), "2: 0.59999999999999998 0.80000000000000004 2: 0 0");
    EXPECT_EQ(CVector().ZeroNorm(), 0.0);

    CVector a = MakeVector({1, 5, 5, 0, 0});
    EXPECT_TRUE(&a.Max() == &a[1] && &a.Min() == &a[3]);
    const CVector v = MakeVector({7, 1, 7, 2, 7});  // (value, first, last, Find, Count)
    const double cases[][5] = {{7, 0, 0, 0, 3},  {7, 1, 0, 2, 2},  {7, 1, 4, 2, 1},
                               {2, 0, 3, -1, 0}, {7, 3, 3, -1, 0}, {7, 4, 2, -1, 0}};
    for (const auto& c : cases)
        EXPECT_EQ((V{double(v.Find(c[0], int(c[1]), int(c[2]))),
                     double(v.Count(c[0], int(c[1]), int(c[2])))}),
                  (V{c[3], c[4]}))
            << &c - cases;

    EXPECT_TRUE(CVector() == 3.0);
    EXPECT_FALSE(MakeVector({1}) == MakeVector({1, 1}));
    EXPECT_FALSE(MakeVector({NAN}) == MakeVector({NAN}));

    CVector o = MakeVector({1, 2, 3}), copy(o), fromPointer(&o);
    EXPECT_TRUE(copy == o && fromPointer == o && copy.m_pData != o.m_pData &&
                fromPointer.m_pData != o.m_pData);
    const double* data = o.m_pData;
    copy = std::move(o);
    EXPECT_EQ(CVector(std::move(copy)).m_pData, data);

    CVector u = MakeVector({4, 1});
    CMatrix A = MakeMatrix(2, 2, {4, 1, 1, 3}), rhs = MakeMatrix(2, 1, {1, 2});
    double seconds = 42.0;
    EXPECT_EQ(u.Cholesky_Solve(&rhs, seconds) +
                  static_cast<CVirtRealMat&>(A).Cholesky_Solve(&rhs, seconds),
              0);
    EXPECT_EQ(seconds, 42.0);
    EXPECT_EQ(Text(rhs) + " " + Text(u) + " " + Text(A), "2x1: 1 2 2: 4 1 2x2: 4 1 1 3");
}

// Zero rotation: the identity quaternion. Below 1e-4 a series stands for sin(theta/2)/theta,
// above it the closed form; both agree with sin and cos to a few roundings.
TEST(Vector, VectToQuatAgainstHalfAngleFormulas)
{
    double q[3] = {9, 9, 9};
    const double zero[3] = {0, 0, 0}, small[3] = {3e-5, -4e-5, 0}, large[3] = {1, 2, 2};
    EXPECT_EQ(CVector::VectToQuat(zero, q), 1.0);
    EXPECT_EQ(V(q, q + 3), V(3, 0.0));
    for (const double* v : {small, large})  // theta = 5e-5 and 3
    {
        const double theta = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        EXPECT_NEAR(CVector::VectToQuat(v, q), std::cos(theta / 2), 8 * kUnitRoundoff);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(q[i], v[i] * std::sin(theta / 2) / theta,
                        8 * kUnitRoundoff * std::fabs(v[i]));
    }
}
