// Rotation matrices: the rotation-vector form is a proper rotation about its axis, the
// two-angle form follows its nine formulas, and the 2-D form.
#include "support/Dense.h"

#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>
#include <random>

using namespace tarvel_test;

namespace
{

const double kPi = std::acos(-1.0);

// max |R^T R - I|
double OrthogonalityError(const CMatrix& R)
{
    CMatrix RtR(R, true);
    RtR *= R;
    double e = 0.0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) e = std::max(e, std::fabs(RtR(i, j) - (i == j ? 1.0 : 0.0)));
    return e;
}

}  // namespace

// R^T R = I, det R = 1 and R v = v for random rotation vectors; (0, 0, pi/2) maps x to y.
TEST(Rotations, MakeRotMatIsAProperRotation)
{
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> u(-3.0, 3.0);
    CMatrix R;
    for (int t = 0; t < 20; ++t)
    {
        const CVector v = MakeVector({u(gen), u(gen), u(gen)});
        R.MakeRotMat(v);
        EXPECT_LT(OrthogonalityError(R), 1e-14);
        EXPECT_NEAR(R.Det(), 1.0, 1e-14);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(R(i, 0) * v[0] + R(i, 1) * v[1] + R(i, 2) * v[2], v[i], 1e-13);
    }
    R.MakeRotMat(MakeVector({0, 0, kPi / 2}));
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(R(i, 0), i == 1 ? 1.0 : 0.0, 1e-15);
}

// The formulas as written, bit for bit; not orthogonal for every pair of angles, but a = 0 is
// the rotation by b about the second axis and b = 0 the one by a about the third.
TEST(Rotations, RotMatFollowsItsFormulas)
{
    CMatrix R;
    for (const auto& [a, b] : {std::pair{0.3, 1.1}, std::pair{-2.0, 0.4}, std::pair{1.0, -2.5}})
    {
        R.RotMat(a, b);
        const double sa = std::sin(a), ca = std::cos(a), S = sa * sa, C = ca * ca;
        const double cb = std::cos(b), sb = std::sin(b);
        const double expected[9] = {((1 - cb) * S + cb + (cb - 1) * S) * ca,
                                    ((cb - 1) * C - (S + cb - S * cb)) * sa,
                                    ca * sb,
                                    (C + cb - C * cb + (cb - 1) * C) * sa,
                                    (C + cb - C * cb - (cb - 1) * S) * ca,
                                    -(sa * sb),
                                    (S - C) * sb,
                                    2 * (ca * sb * sa),
                                    cb};
        for (int k = 0; k < 9; ++k) EXPECT_EQ(R.m_pData[k], expected[k]) << a << " " << k;
    }
    R.RotMat(0.7, 1.2);
    EXPECT_GT(OrthogonalityError(R), 1e-3);
    R.RotMat(0.0, 0.8);
    EXPECT_LT(OrthogonalityError(R), 1e-15);
    EXPECT_NEAR(R(0, 2), std::sin(0.8), 1e-15);
    R.RotMat(0.8, 0.0);
    EXPECT_LT(OrthogonalityError(R), 1e-15);
    EXPECT_NEAR(R(1, 0), std::sin(0.8), 1e-15);

    // 2-D: [[c, -s], [s, c]], or its transpose; a matrix of another size is resized.
    R.Allocate(3, 3, true, 7.0);
    CMatrix Rt;
    CMatrix::RotMat2D(R, 0.5, false);
    CMatrix::RotMat2D(Rt, 0.5, true);
    const double c = std::cos(0.5), s = std::sin(0.5);
    EXPECT_EQ(Text(R), Text(MakeMatrix(2, 2, {c, -s, s, c})));
    EXPECT_EQ(Text(Rt), Text(CMatrix(R, true)));
}
