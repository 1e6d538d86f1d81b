// CVector: sizing, size rules of the element-wise operations, norms, searches with ties,
// ownership and the rotation-vector quaternion.
#include "support/Dense.h"

#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>

using namespace tarvel_test;
using V = std::vector<double>;

// Same size and no init keeps array and values; a new size is zero-filled (the documented
// choice); a negative size is refused and leaves the vector empty. The list form reads d[0]
// even for a count of 0, then init = d[1] != 0 and value = d[2].
TEST(Vector, AllocateCopyAndMove)
{
    CVector v;
    ASSERT_TRUE(v.Allocate(3, true, 2.5));
    const double* array = v.m_pData;
    v[1] = 7.0;
    EXPECT_TRUE(v.Allocate(3, false, 0.0) && v.m_pData == array);
    EXPECT_EQ(Text(v), "3: 2.5 7 2.5");
    EXPECT_TRUE(v.Allocate(2, false, 9.0));
    EXPECT_EQ(Text(v), "2: 0 0");
    EXPECT_FALSE(v.Allocate(-4, true, 1.0) || v.m_pData);
    int four[] = {4, 1, 7}, same[] = {4, 0};
    EXPECT_TRUE(v.Allocate(four, 0));
    EXPECT_EQ(Text(v), "4: 0 0 0 0");
    EXPECT_TRUE(v.Allocate(four, 3) && v.Allocate(same, 2));
    EXPECT_EQ(Text(v), "4: 7 7 7 7");

    CVector a = MakeVector({1, 2, 3}), b(a), c(&a);
    EXPECT_TRUE(b == a && c == a && b.m_pData != a.m_pData && c.m_pData != a.m_pData);
    const double* data = a.m_pData;
    b = std::move(a);
    EXPECT_EQ(b.m_pData, data);
    EXPECT_EQ(CVector(std::move(b)).m_pData, data);
}

// +=, -=, Add and LinComb run over the longer operand, the shorter one contributing nothing
// past its end, whichever is this. LinComb sizes through the virtual Allocate: a matrix
// becomes a column.
TEST(Vector, ElementwiseOperationsTakeTheLongerSize)
{
    const CVector s = MakeVector({10, 20, 30}), l = MakeVector({1, 2, 3, 4, 5});
    CVector a(s), b(l), c(s), d(l), e(s), f(l), g, h;
    a += l;
    b -= s;
    c -= l;
    d.Add(s, 2.0);
    e.Add(l, 2.0);
    f += s;
    g.LinComb(2.0, s, -1.0, l);
    h.LinComb(2.0, l, -1.0, s);
    const std::pair<const CVector*, const char*> cases[] = {
        {&a, "5: 11 22 33 4 5"},    {&b, "5: -9 -18 -27 4 5"}, {&c, "5: 9 18 27 -4 -5"},
        {&d, "5: 21 42 63 4 5"},    {&e, "5: 12 24 36 8 10"},  {&g, "5: 19 38 57 -4 -5"},
        {&h, "5: -8 -16 -24 8 10"}, {&f, "5: 11 22 33 4 5"}};
    for (const auto& [v, text] : cases) EXPECT_EQ(Text(*v), text);
    CMatrix m(2, 3, true, 0.0);
    m.LinComb(1.0, l, 0.0, s);
    EXPECT_EQ(Text(m), "5x1: 1 2 3 4 5");
}

TEST(Vector, NormsAndReductions)
{
    const CVector w = MakeVector({1, -2, 2, 0});
    // p = 0 counts the elements (non-zeros or not); p = 3 goes through pow.
    EXPECT_EQ((V{w.PNorm(0.0), w.PNorm(1.0), w.PNorm(2.0)}), (V{4, 5, 3}));
    EXPECT_DOUBLE_EQ(w.PNorm(3.0), std::cbrt(17.0));
    CVector n = MakeVector({3, 4}), zero(2, true, 0.0);  // zero: left alone, no division
    // InfNorm, Dot over the shorter length, the lengths Normalize returns.
    EXPECT_EQ((V{w.InfNorm(), w.Dot(MakeVector({4, 5})), n.Normalize(), zero.Normalize()}),
              (V{2, -6, 5, 0}));
    EXPECT_EQ(Text(n) + " " + Text(zero), "2: 0.59999999999999998 0.80000000000000004 2: 0 0");
}

TEST(Vector, MaxMinFindCountAndTrunc)
{
    CVector a = MakeVector({1, 5, 5, 0, 0});
    EXPECT_EQ(&a.Max(), &a[1]);  // the first of equal maxima or minima
    EXPECT_EQ(&a.Min(), &a[3]);

    // (value, first, last, Find, Count): last < 1 means the whole vector; last is excluded.
    const CVector v = MakeVector({7, 1, 7, 2, 7});
    const double cases[][5] = {{7, 0, 0, 0, 3},  {7, 1, 0, 2, 2},  {7, 1, 4, 2, 1},
                               {2, 0, 3, -1, 0}, {7, 3, 3, -1, 0}, {7, 4, 2, -1, 0}};
    for (const auto& c : cases)
        EXPECT_EQ((V{double(v.Find(c[0], int(c[1]), int(c[2]))),
                     double(v.Count(c[0], int(c[1]), int(c[2])))}),
                  (V{c[3], c[4]}))
            << &c - cases;

    // Trunc keeps first .. last-1; last < 1 or past the end runs to the end.
    const std::tuple<int, int, const char*> ranges[] = {
        {1, 3, "2: 2 3"}, {2, 0, "2: 3 4"}, {1, 99, "3: 2 3 4"}, {4, 2, "0:"}};
    for (const auto& [first, last, text] : ranges)
    {
        CVector t = MakeVector({1, 2, 3, 4});
        t.Trunc(first, last);
        EXPECT_EQ(Text(t), text);
    }
}

// Assembling skips negative indices; AplusBC with c = 0 adds b unscaled and an empty vector
// equals every scalar (both documented choices); comparisons are exact.
TEST(Vector, AssemblingAndDocumentedChoices)
{
    CVector v = MakeVector({1, 2, 3});
    long idx[] = {2, -1, 0};
    double val[] = {10, 99, 20}, a[] = {1, 1}, b[] = {2, 3};
    v.AddValues(idx, val, 3);
    EXPECT_EQ(Text(v), "3: 21 2 13");
    CVector::AplusBC(a, b, 2, 0.5);
    CVector::AplusBC(a, b, 2, 0.0);
    EXPECT_EQ(std::pair(a[0], a[1]), std::pair(4.0, 5.5));
    EXPECT_TRUE(CVector() == 3.0);
    EXPECT_FALSE(MakeVector({1}) == MakeVector({1, 1}));
    EXPECT_FALSE(MakeVector({NAN}) == MakeVector({NAN}));

    // The dense classes inherit the base Cholesky_Solve: 0, nothing touched.
    CVector u = MakeVector({4, 1});
    CMatrix A = MakeMatrix(2, 2, {4, 1, 1, 3}), rhs = MakeMatrix(2, 1, {1, 2});
    double seconds = 42.0;
    EXPECT_EQ(u.Cholesky_Solve(&rhs, seconds), 0);
    EXPECT_EQ(static_cast<CVirtRealMat&>(A).Cholesky_Solve(&rhs, seconds), 0);
    EXPECT_EQ(seconds, 42.0);
    EXPECT_EQ(Text(rhs) + Text(u) + Text(A), "2x1: 1 2"
                                             "2: 4 1"
                                             "2x2: 4 1 1 3");
}

// Zero rotation: the identity quaternion. Below 1e-4 a series stands for sin(theta/2)/theta,
// above it the closed form; both agree with sin and cos to rounding.
TEST(Vector, VectToQuatAgainstHalfAngleFormulas)
{
    double q[3] = {9, 9, 9};
    const double zero[3] = {0, 0, 0}, small[3] = {3e-5, -4e-5, 0}, large[3] = {1, 2, 2};
    EXPECT_EQ(CVector::VectToQuat(zero, q), 1.0);
    EXPECT_EQ(V(q, q + 3), V(3, 0.0));
    for (const double* v : {small, large})  // theta = 5e-5 and 3
    {
        const double theta = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        EXPECT_NEAR(CVector::VectToQuat(v, q), std::cos(theta / 2), 1e-15);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(q[i], v[i] * std::sin(theta / 2) / theta, 1e-15 * std::fabs(v[i]));
    }
}
