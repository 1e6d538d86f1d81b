// CMatrix against values worked by hand: shapes after every resizing operation, element-wise
// and row/column operations, generators, searches with ties, norms and statistics, rotations,
// and the console printouts. Products and factorizations are DenseKernels_test's.
#include "support/Dense.h"

#include <gtest/gtest.h>
#include <random>
#include <regex>

using namespace tarvel_test;
using V = std::vector<double>;

namespace
{

// The pattern of m row by row: '#' for an element in [lo, hi], '.' for a zero, '?' otherwise.
std::string Pattern(const CMatrix& m, double lo, double hi)
{
    std::string p;
    for (int i = 0; i < m.GetRows(); ++i, p += '/')
        for (int j = 0; j < m.GetColumns(); ++j)
            p += m(i, j) == 0.0 ? '.' : (m(i, j) >= lo && m(i, j) <= hi ? '#' : '?');
    return p;
}

// ||R^T R - I||_inf
double OrthogonalityError(const CMatrix& R)
{
    CMatrix E(R, true);
    E *= R;
    for (int i = 0; i < 3; ++i) E(i, i) -= 1.0;
    return E.InfNorm();
}

}  // namespace

// Each operation on a copy of m (2 x 3, 1 .. 6) and the exact text it leaves. A matrix with 0
// columns has no rows. Allocate's list form: count 0 and 1 give d0 x d0 zeros, 2 gives d0 x d1
// zeros, 3 zeros only when d2 != 0 (otherwise the same size keeps the values), 4 sets d3.
// Resize(n, asColumns) reshapes when n divides the size. GetColVect grows a shorter vector to
// the row count and leaves a longer one's tail. ApplyTo: mode 1 m x, mode 2 m^T x, any other
// mode nothing (the one-argument form then leaves an empty vector; the two-argument form's
// products are DenseKernels_test's). LMat / UMat with add add to the pattern and keep the other triangle.
TEST(Matrix, OperationsAgainstHandWorkedValues)
{
    const CMatrix m = MakeMatrix(2, 3, {1, 2, 3, 4, 5, 6});
    static int d[] = {3, 2, 1, 7}, keep[] = {3, 2, 0, 7}, zeroCols[] = {3, 0};
    static long idx[] = {2, -1, 0};
    static double block[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    double* adopted[] = {new double[2]{5, 6}, new double[2]{5, 6}};  // each taken over once below
    const CVector x = MakeVector({1, 0, -1});
    const std::pair<std::string, const char*> cases[] = {
        {After(m, [](CMatrix& a) { a.MultiplyRow(1, 2.0); }), "2x3: 1 2 3 8 10 12"},
        {After(m, [](CMatrix& a) { a.MultiplyCol(0, -1.0); }), "2x3: -1 2 3 -4 5 6"},
        {After(m, [](CMatrix& a) { a.MultiplySubRow(0, 1, 3, 10.0); }), "2x3: 1 20 30 4 5 6"},
        {After(m, [](CMatrix& a) { a /= 2.0; }), "2x3: 0.5 1 1.5 2 2.5 3"},
        {After(m, [](CMatrix& a) { a.Identity(2, 3.0); }), "2x2: 3 0 0 3"},
        {After(m, [&](CMatrix& a) { a.SetVector(adopted[0], 1, 2); }), "1x2: 5 6"},
        {After(m, [&](CMatrix& a) { delete[] a.ReplaceVector(adopted[1], 2); }), "2x1: 5 6"},
        {After(m, [](CMatrix& a) { a.Resize(2, true); }), "3x2: 1 2 3 4 5 6"},
        {After(m, [](CMatrix& a) { a.Resize(6, false); }), "6x1: 1 2 3 4 5 6"},
        {After(m, [](CMatrix& a) { a.Resize(4, false); }), "2x3: 1 2 3 4 5 6"},
        {After(m, [](CMatrix& a) { a.Allocate(d, 0); }), "3x3: 0 0 0 0 0 0 0 0 0"},
        {After(m, [](CMatrix& a) { a.Allocate(d, 1); }), "3x3: 0 0 0 0 0 0 0 0 0"},
        {After(m, [](CMatrix& a) { a.Allocate(d, 2); }), "3x2: 0 0 0 0 0 0"},
        {After(m, [](CMatrix& a) { a.Allocate(d, 3); }), "3x2: 0 0 0 0 0 0"},
        {After(m, [](CMatrix& a) { a.Allocate(keep, 3); }), "3x2: 1 2 3 4 5 6"},
        {After(m, [](CMatrix& a) { a.Allocate(d, 4); }), "3x2: 7 7 7 7 7 7"},
        {After(m, [](CMatrix& a) { a.Allocate(zeroCols, 2); }), "2x0:"},  // the rows kept
        {After(m, [](CMatrix& a) { a.Allocate(3, 0, true, 0.0); }), "0x0:"},
        {After(m, [](CMatrix& a) { a.Allocate(2, true, 1.0); }), "2x1: 1 1"},
        {Text(CMatrix(3, 0, true, 1.0)), "0x0:"},
        {After(CMatrix(3, 3, true, 0.0), [](CMatrix& a) { a.AddValues(idx, block, 3); }),
         "3x3: 9 0 7 0 0 0 3 0 1"},
        {After(MakeVector({9}), [&](CVector& v) { m.GetColVect(v, 1); }), "2: 2 5"},
        {After(MakeVector({9, 9, 9, 9}), [&](CVector& v) { m.GetColVect(v, 2); }), "4: 3 6 9 9"},
        {After(x, [&](CVector& v) { m.ApplyTo(v, 1); }), "2: -2 -2"},
        {After(MakeVector({-2, -2}), [&](CVector& v) { m.ApplyTo(v, 2); }), "3: -10 -14 -18"},
        {After(x, [&](CVector& v) { m.ApplyTo(v, 3); }), "0:"},
        {After(x,
               [&](CVector& v) {
                   m.ApplyTo(MakeVector({1, 2}), v, 0);
               }),
         "3: 1 0 -1"},
        {After(m, [](CMatrix& a) { a.LMat(3, 3, 2.0, 5.0, false); }), "3x3: 5 0 0 2 5 0 2 2 5"},
        {After(CMatrix(3, 3, true, 1.0), [](CMatrix& a) { a.LMat(3, 3, 2.0, 5.0, true); }),
         "3x3: 6 1 1 3 6 1 3 3 6"},
        {After(m, [](CMatrix& a) { a.UMat(2, 3, 2.0, 5.0, false); }), "2x3: 5 2 2 0 5 2"},
        {After(m, [](CMatrix& a) { a.SetVals(1, 4.0, true, false); }), "2x3: 1 6 3 4 9 6"},
        {After(m, [](CMatrix& a) { a.SetVals(0, 7.0, false, true); }), "2x3: 7 7 7 4 5 6"},
        {After(MakeMatrix(3, 3, {1, 9, 9, 9, 2, 9, 9, 9, 6}), [](CMatrix& a) { a.Dev(); }),
         "3x3: -2 9 9 9 -1 9 9 9 3"},
    };
    for (const auto& [got, expected] : cases) EXPECT_EQ(got, expected);
    CMatrix t(m);
    EXPECT_TRUE(CMatrix().Resize(0, false) && !t.Resize(0, false) && !t.Resize(4, false));
    EXPECT_FALSE(t.Allocate(3, 0, true, 0.0) || t.Allocate(zeroCols, 2));
}

// Searches with ties, norms, Vect2Norm (modes -1, 0, 1, 2: squared column norms, squared row
// norms, column norms, row norms) and the extremes of lengths and of functions of columns
// (perRow) or rows.
TEST(Matrix, SearchesNormsStatisticsAndPrintouts)
{
    CMatrix s = MakeMatrix(3, 2, {3, 1, -3, 1, 2, 0});
    // the last of equal magnitudes, the first of equal maxima
    EXPECT_TRUE(&s.fabsMaxInCol(0) == &s(1, 0) && &s.MaxInCol(1) == &s(0, 1) &&
                &s.MinInCol(0) == &s(1, 0));
    EXPECT_EQ((V{double(s.FindInRow(1, 1.0)), double(s.FindInCol(0, 2.0)),
                 double(s.FindInCol(0, 5.0)), s.MaxInRow(2)}),
              (V{1, 2, -1, 2}));
    EXPECT_TRUE(MakeMatrix(2, 2, {1, 2, 2, 1}).CheckSymm() && !s.CheckSymm());
    const CMatrix n = MakeMatrix(2, 3, {1, -2, 3, -4, 5, -6});
    EXPECT_EQ((V{n.OneNorm(), n.InfNorm(), n.Frobenius(), n.Trace()}),
              (V{9, 15, std::sqrt(91.0), 6}));

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
    EXPECT_EQ(V(r, r + 10), (V{5, 0, 5, 1, 4, 1, 1, -1, 0, -1}));
}

// RandMat fills the pattern of its kind with values in [lo, hi] and leaves zeros elsewhere, on
// wide and tall matrices (an unknown kind leaves the matrix as it was); WellCond puts exactly
// one non-zero per row within 1 +- spread/2, a permutation pattern when square.
TEST(Matrix, GeneratorPatterns)
{
    // clang-format off
    const std::tuple<int, int, int, const char*> kinds[] = {  // all, lower, upper, strictly ...
        {3, 4, 0, "####/####/####/"}, {3, 4, 1, "#.../##../###./"}, {3, 4, 2, "####/.###/..##/"},
        {3, 4, -1, "..../#.../##../"}, {3, 4, -2, ".###/..##/...#/"}, {4, 3, 0, "###/###/###/###/"},
        {4, 3, 1, "#../##./###/###/"}, {4, 3, 2, "###/.##/..#/.../"}, {4, 3, -1, ".../#../##./###/"},
        {4, 3, -2, ".##/..#/.../.../"}};
    // clang-format on
    for (const auto& [rows, cols, kind, pattern] : kinds)
    {
        CMatrix m;
        m.RandMat(rows, cols, 3.0, -2.0, kind);
        EXPECT_EQ(Pattern(m, -2.0, 3.0), pattern) << kind;
    }
    EXPECT_EQ(After(MakeMatrix(1, 2, {4, 5}), [](CMatrix& a) { a.RandMat(3, 3, 1.0, 0.0, 7); }),
              "1x2: 4 5");

    const std::regex onePerRow("(\\.*#\\.*/)+");
    for (const auto& [rows, cols] : {std::pair{6, 6}, std::pair{9, 4}, std::pair{4, 9}})
    {
        TarvelSrand(unsigned(rows * 31 + cols));
        CMatrix w;
        w.WellCond(rows, cols, 0.4);
        EXPECT_TRUE(std::regex_match(Pattern(w, 0.8, 1.2), onePerRow)) << Pattern(w, 0.8, 1.2);
        EXPECT_TRUE(rows != cols ||
                    std::regex_match(Pattern(CMatrix(w, true), 0.8, 1.2), onePerRow));
    }
}

// MakeRotMat: R^T R = I, det R = 1 and R v = v for random rotation vectors, to roundoff;
// (0, 0, pi/2) maps x to y. RotMat is the rotation by b about the second axis for a = 0 and by a
// about the third for b = 0, not orthogonal in general. RotMat2D: [[c, -s], [s, c]] or its
// transpose, a matrix of another size resized.
TEST(Matrix, Rotations)
{
    // Each entry of R takes about ten roundings from v (the half-angle sine and cosine, the
    // normalization, the products); R^T R, det R and R v add a few more: 64 u covers them.
    const double tol = 64 * kUnitRoundoff;
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> u(-3.0, 3.0);
    CMatrix R;
    for (int t = 0; t < 20; ++t)
    {
        const CVector v = MakeVector({u(gen), u(gen), u(gen)});
        R.MakeRotMat(v);
        EXPECT_LT(OrthogonalityError(R), tol);
        EXPECT_NEAR(R.Det(), 1.0, tol);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(R(i, 0) * v[0] + R(i, 1) * v[1] + R(i, 2) * v[2], v[i], tol * v.InfNorm());
    }
    R.MakeRotMat(MakeVector({0, 0, std::acos(0.0)}));
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(R(i, 0), i == 1 ? 1.0 : 0.0, tol);
    for (const auto& [a, b, i, j] : {std::tuple{0.0, 0.8, 0, 2}, std::tuple{0.8, 0.0, 1, 0}})
    {
        R.RotMat(a, b);
        EXPECT_LT(OrthogonalityError(R), tol);
        EXPECT_NEAR(R(i, j), std::sin(0.8), tol);
    }
    R.RotMat(0.7, 1.2);
    EXPECT_GT(OrthogonalityError(R), 1e-3);
    const double c = std::cos(0.5), s = std::sin(0.5);
    EXPECT_EQ(After(R, [](CMatrix& a) { CMatrix::RotMat2D(a, 0.5, false); }),
              Text(MakeMatrix(2, 2, {c, -s, s, c})));
    EXPECT_EQ(After(CMatrix(), [](CMatrix& a) { CMatrix::RotMat2D(a, 0.5, true); }),
              Text(MakeMatrix(2, 2, {c, s, -s, c})));

    const CMatrix p = MakeMatrix(2, 2, {1.5, -2, 3, 0.25});
    testing::internal::CaptureStdout();
    p.COUT(", ");
    p.Stream();
    CMatrix().COUT(", ");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "1.5, -2, \n3, 0.25, \n1.5\t-2\t\n3\t0.25\t\n");
}
