// complex_d: arithmetic against hand-worked values, exact comparisons, modulus ordering, the
// part-wise root and the console form.
#include <tarvel/Tarvel.h>

#include <cmath>
#include <gtest/gtest.h>
#include <string>

namespace
{

complex_d z(double re, double im)
{
    complex_d c;
    return c(re, im);
}

::testing::AssertionResult is(const complex_d& c, double re, double im)
{
    if (c.m_dRe == re && c.m_dIm == im) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << c.m_dRe << ", " << c.m_dIm << ")";
}

}  // namespace

TEST(Complex, Arithmetic)
{
    EXPECT_TRUE(is(z(0, 2).Inv(), 0, -0.5));
    EXPECT_TRUE(is(z(3, 4) / z(1, 2), 2.2, -0.4));
    EXPECT_TRUE(is(z(1, 2) * z(3, 4), -5, 10));
    EXPECT_TRUE(is(z(1, 2) + z(3, 4), 4, 6));
    EXPECT_TRUE(is(z(1, 2) - z(3, 5), -2, -3));
    EXPECT_TRUE(is(z(3, 4) + 1.0, 4, 4));
    EXPECT_TRUE(is(z(3, 4) - 1.0, 2, 4));
    EXPECT_TRUE(is(z(3, 4) * 2.0, 6, 8));
    EXPECT_TRUE(is(z(3, 4) / 2.0, 1.5, 2));
    EXPECT_TRUE(is(z(3, 4) /= 2.0, 1.5, 2));
    EXPECT_TRUE(is(z(3, 4) *= 2.0, 6, 8));
    EXPECT_TRUE(is(z(3, 4) += 2.0, 5, 4));
    EXPECT_TRUE(is(z(3, 4) -= 2.0, 1, 4));

    // In-place forms compute both parts from the old ones.
    complex_d a = z(1, 2);
    EXPECT_TRUE(is(a *= z(3, 4), -5, 10));
    a = z(3, 4);
    EXPECT_TRUE(is(a /= z(1, 2), 2.2, -0.4));
    a = z(1, 2);
    EXPECT_TRUE(is(a += z(1, 1), 2, 3));
    EXPECT_TRUE(is(a -= z(2, 1), 0, 2));
    EXPECT_TRUE(is(a.Conj(), 0, -2));
    a = 5.0;
    EXPECT_TRUE(is(a, 5, 0));
    EXPECT_TRUE(is(complex_d(), 0, 0));
}

TEST(Complex, ExactComparisonsAndModulusOrdering)
{
    EXPECT_TRUE(z(1, 2) != z(1, 3));
    EXPECT_FALSE(z(1, 2) != z(1, 2));
    EXPECT_TRUE(z(1, 2) == z(1, 2));
    EXPECT_TRUE(z(2, 0) == 2.0);
    EXPECT_FALSE(z(2, 1e-300) == 2.0);
    EXPECT_TRUE(z(2, 1e-300) != 2.0);
    EXPECT_TRUE(z(3, 4) > z(0, 4.9));
    EXPECT_TRUE(z(0, 4.9) < z(3, 4));
    EXPECT_FALSE(z(1, 0) > z(0, 1));
    EXPECT_FALSE(z(1, 0) < z(0, 1));
    EXPECT_FALSE(z(1, 0) < z(-1, 0));
    EXPECT_TRUE(z(5, 0).IsReal());
    EXPECT_TRUE(z(0, 5).IsIm());
    EXPECT_FALSE(z(5, 1e-20).IsReal());
    EXPECT_FALSE(z(1e-20, 5).IsIm());
}

// The root is taken part by part, not the principal root: sqrt(-4 + 0i) has a NaN real part.
TEST(Complex, ModulusAndPartWiseRoot)
{
    EXPECT_EQ(fabs(z(3, -4)), 5.0);
    EXPECT_TRUE(is(sqrt(z(4, 9)), 2, 3));
    const complex_d r = sqrt(z(-4, 0));
    EXPECT_TRUE(std::isnan(r.m_dRe));
    EXPECT_EQ(r.m_dIm, 0.0);
}

TEST(Complex, ConsoleForm)
{
    for (auto [re, im, expected] : {std::tuple{1.5, -2.0, "1.5 -2i\n"},
                                    std::tuple{0.0, 1.0, "0 +1i\n"}, std::tuple{3.0, 0.0, "3 \n"}})
    {
        ::testing::internal::CaptureStdout();
        z(re, im).COUT();
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), expected);
    }
}
