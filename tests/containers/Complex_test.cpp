// complex_d: arithmetic against hand-worked values, exact comparisons, modulus ordering, the
// part-wise root and the console form.
#include <tarvel/Tarvel.h>

#include <cmath>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace
{

complex_d z(double re, double im)
{
    complex_d c;
    return c(re, im);
}

}  // namespace

// Each operation with its exact result; in-place forms compute both parts from the old ones.
TEST(Complex, Arithmetic)
{
    const complex_d a = z(3, 4), b = z(1, 2);
    // (result, expected)
    const std::vector<std::pair<complex_d, complex_d>> cases = {
        {z(0, 2).Inv(), z(0, -0.5)},    {a / b, z(2.2, -0.4)},
        {z(3, 4) /= b, z(2.2, -0.4)},   {b * a, z(-5, 10)},
        {z(1, 2) *= a, z(-5, 10)},      {a + z(1, 1), z(4, 5)},
        {z(3, 4) += z(1, 1), z(4, 5)},  {a - z(1, 5), z(2, -1)},
        {z(3, 4) -= z(1, 5), z(2, -1)}, {a + 1.0, z(4, 4)},
        {z(3, 4) += 1.0, z(4, 4)},      {a - 1.0, z(2, 4)},
        {z(3, 4) -= 1.0, z(2, 4)},      {a * 2.0, z(6, 8)},
        {z(3, 4) *= 2.0, z(6, 8)},      {a / 2.0, z(1.5, 2)},
        {z(3, 4) /= 2.0, z(1.5, 2)},    {z(3, 4).Conj(), z(3, -4)},
        {z(3, 4) = 5.0, z(5, 0)},       {sqrt(z(4, 9)), z(2, 3)},
    };
    for (std::size_t k = 0; k < cases.size(); ++k)
        EXPECT_TRUE(cases[k].first == cases[k].second)
            << k << ": " << cases[k].first.m_dRe << ", " << cases[k].first.m_dIm;
    EXPECT_EQ(fabs(z(3, -4)), 5.0);
    const complex_d root = sqrt(z(-4, 0));  // part by part, not the principal root
    EXPECT_TRUE(std::isnan(root.m_dRe) && root.m_dIm == 0.0);
}

// Equality is exact; < and > compare moduli; the console form prints an imaginary part only when
// it is not 0.
TEST(Complex, ComparisonsAndConsoleForm)
{
    EXPECT_TRUE(z(1, 2) != z(1, 3) && z(2, 0) == 2.0 && z(2, 1e-300) != 2.0);
    EXPECT_TRUE(z(3, 4) > z(0, 4.9) && z(0, 4.9) < z(3, 4));
    EXPECT_FALSE(z(1, 0) > z(0, 1) || z(1, 0) < z(0, 1) || z(1, 0) < z(-1, 0));
    ::testing::internal::CaptureStdout();
    for (const complex_d& c : {z(1.5, -2.0), z(0, 1), z(3, 0)}) c.COUT();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "1.5 -2i\n0 +1i\n3 \n");
}
