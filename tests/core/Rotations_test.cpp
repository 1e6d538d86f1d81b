// Rotation matrices: orthogonality and orientation of the rotation-vector form, the two-angle
// formulas element by element, and the 2-D form.
#include "support/Dense.h"

#include <tarvel/Tarvel.h>

#include <cmath>
#include <gtest/gtest.h>
#include <random>

using tarvel_test::MakeVector;

namespace
{

const double kPi = std::acos(-1.0);

// max |R^T R - I|
double OrthogonalityError(const CMatrix& R)
{
    double e = 0.0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
        {
            double s = 0.0;
            for (int k = 0; k < 3; ++k) s += R(k, i) * R(k, j);
            e = std::max(e, std::fabs(s - (i == j ? 1.0 : 0.0)));
        }
    return e;
}

double Det3(const CMatrix& R)
{
    return R(0, 0) * (R(1, 1) * R(2, 2) - R(1, 2) * R(2, 1)) -
           R(0, 1) * (R(1, 0) * R(2, 2) - R(1, 2) * R(2, 0)) +
           R(0, 2) * (R(1, 0) * R(2, 1) - R(1, 1) * R(2, 0));
}

}  // namespace

TEST(Rotations, MakeRotMatIsAProperRotation)
{
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> u(-3.0, 3.0);
    CMatrix R;
    for (int t = 0; t < 20; ++t)
    {
        const CVector v = MakeVector({u(gen), u(gen), u(gen)});
        EXPECT_EQ(&R.MakeRotMat(v), &R);
        EXPECT_LT(OrthogonalityError(R), 1e-14);
        EXPECT_NEAR(Det3(R), 1.0, 1e-14);
        // The axis is left fixed: R v = v.
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(R(i, 0) * v[0] + R(i, 1) * v[1] + R(i, 2) * v[2], v[i], 1e-13);
    }

    R.MakeRotMat(MakeVector({0, 0, kPi / 2}));  // a quarter turn about z: x axis -> y axis
    EXPECT_NEAR(R(0, 0), 0.0, 1e-15);
    EXPECT_NEAR(R(1, 0), 1.0, 1e-15);
    EXPECT_NEAR(R(2, 0), 0.0, 1e-15);

    R.MakeRotMat(MakeVector({0, 0, 0}));
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_EQ(R(i, j), i == j ? 1.0 : 0.0);
}

TEST(Rotations, RotMatFollowsItsFormulas)
{
    for (const auto& [a, b] : {std::pair{0.3, 1.1}, std::pair{-2.0, 0.4}, std::pair{1.0, -2.5}})
    {
        SCOPED_TRACE(a);
        CMatrix R;
        R.RotMat(a, b);
        ASSERT_EQ(R.GetRows(), 3);
        const double sa = std::sin(a), ca = std::cos(a), S = sa * sa, C = ca * ca;
        const double cb = std::cos(b), sb = std::sin(b);
        EXPECT_EQ(R(0, 0), ((1 - cb) * S + cb + (cb - 1) * S) * ca);
        EXPECT_EQ(R(0, 1), ((cb - 1) * C - (S + cb - S * cb)) * sa);
        EXPECT_EQ(R(0, 2), ca * sb);
        EXPECT_EQ(R(1, 0), (C + cb - C * cb + (cb - 1) * C) * sa);
        EXPECT_EQ(R(1, 1), (C + cb - C * cb - (cb - 1) * S) * ca);
        EXPECT_EQ(R(1, 2), -(sa * sb));
        EXPECT_EQ(R(2, 0), (S - C) * sb);
        EXPECT_EQ(R(2, 1), 2 * (ca * sb * sa));
        EXPECT_EQ(R(2, 2), cb);
    }
    // Not orthogonal for every pair of angles ...
    CMatrix R;
    R.RotMat(0.7, 1.2);
    EXPECT_GT(OrthogonalityError(R), 1e-3);
    // ... but a = 0 is the rotation by b about the second axis, b = 0 the one by a about the
    // third.
    R.RotMat(0.0, 0.8);
    EXPECT_LT(OrthogonalityError(R), 1e-15);
    EXPECT_NEAR(R(0, 2), std::sin(0.8), 1e-15);
    EXPECT_NEAR(R(2, 0), -std::sin(0.8), 1e-15);
    EXPECT_NEAR(R(1, 1), 1.0, 1e-15);  // 1 + cb - cb: rounding of the formula as written
    R.RotMat(0.8, 0.0);
    EXPECT_LT(OrthogonalityError(R), 1e-15);
    EXPECT_NEAR(R(0, 1), -std::sin(0.8), 1e-15);
    EXPECT_NEAR(R(1, 0), std::sin(0.8), 1e-15);
    EXPECT_EQ(R(2, 2), 1.0);
}

TEST(Rotations, RotMat2D)
{
    CMatrix R(3, 3, true, 7.0);
    CMatrix::RotMat2D(R, kPi / 2, false);
    ASSERT_EQ(R.GetRows(), 2);
    EXPECT_NEAR(R(0, 0), 0.0, 1e-16);
    EXPECT_EQ(R(0, 1), -1.0);
    EXPECT_EQ(R(1, 0), 1.0);
    CMatrix::RotMat2D(R, kPi / 2, true);
    EXPECT_EQ(R(0, 1), 1.0);
    EXPECT_EQ(R(1, 0), -1.0);
    EXPECT_NEAR(R(1, 1), 0.0, 1e-16);
}
