// complex_d: arithmetic against hand-worked values, exact comparisons, modulus ordering, the
// part-wise root and the console form.
#include <tarvel/Tarvel.h>

#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <tuple>

namespace
{

complex_d z(double re, double im)
{
    complex_d c;
    return c(re, im);
}

}  // namespace

// Each operation on (3, 4) or (1, 2), with its exact result; in-place forms compute both parts
// from the old ones.
TEST(Complex, Arithmetic)
{
    using Op = std::function<complex_d(complex_d)>;
    for (auto [what, op, re, im] :
         {
             std::tuple{"Inv", Op([](complex_d) { return z(0, 2).Inv(); }), 0.0, -0.5},
             std::tuple{"/", Op([](complex_d a) { return a / z(1, 2); }), 2.2, -0.4},
             std::tuple{"/=", Op([](complex_d a) { return a /= z(1, 2); }), 2.2, -0.4},
             std::tuple{"*", Op([](complex_d) { return z(1, 2) * z(3, 4); }), -5.0, 10.0},
             std::tuple{"*=", Op([](complex_d) { return z(1, 2) *= z(3, 4); }), -5.0, 10.0},
             std::tuple{"+", Op([](complex_d a) { return a + z(1, 1); }), 4.0, 5.0},
             std::tuple{"+=", Op([](complex_d a) { return a += z(1, 1); }), 4.0, 5.0},
             std::tuple{"-", Op([](complex_d a) { return a - z(1, 5); }), 2.0, -1.0},
             std::tuple{"-=", Op([](complex_d a) { return a -= z(1, 5); }), 2.0, -1.0},
             std::tuple{"+d", Op([](complex_d a) { return a + 1.0; }), 4.0, 4.0},
             std::tuple{"+=d", Op([](complex_d a) { return a += 1.0; }), 4.0, 4.0},
             std::tuple{"-d", Op([](complex_d a) { return a - 1.0; }), 2.0, 4.0},
             std::tuple{"-=d", Op([](complex_d a) { return a -= 1.0; }), 2.0, 4.0},
             std::tuple{"*d", Op([](complex_d a) { return a * 2.0; }), 6.0, 8.0},
             std::tuple{"*=d", Op([](complex_d a) { return a *= 2.0; }), 6.0, 8.0},
             std::tuple{"/d", Op([](complex_d a) { return a / 2.0; }), 1.5, 2.0},
             std::tuple{"/=d", Op([](complex_d a) { return a /= 2.0; }), 1.5, 2.0},
             std::tuple{"Conj", Op([](complex_d a) { return a.Conj(); }), 3.0, -4.0},
             std::tuple{"=d", Op([](complex_d a) { return a = 5.0; }), 5.0, 0.0},
             std::tuple{"sqrt", Op([](complex_d) { return sqrt(z(4, 9)); }), 2.0, 3.0},
         })
    {
        const complex_d r = op(z(3, 4));
        EXPECT_TRUE(r.m_dRe == re && r.m_dIm == im) << what << ": " << r.m_dRe << ", " << r.m_dIm;
    }
    EXPECT_EQ(fabs(z(3, -4)), 5.0);
    const complex_d root = sqrt(z(-4, 0));  // part by part, not the principal root
    EXPECT_TRUE(std::isnan(root.m_dRe) && root.m_dIm == 0.0);
}

TEST(Complex, ExactComparisonsAndModulusOrdering)
{
    EXPECT_TRUE(z(1, 2) != z(1, 3) && !(z(1, 2) != z(1, 2)) && z(1, 2) == z(1, 2));
    EXPECT_TRUE(z(2, 0) == 2.0 && !(z(2, 1e-300) == 2.0) && z(2, 1e-300) != 2.0);
    EXPECT_TRUE(z(3, 4) > z(0, 4.9) && z(0, 4.9) < z(3, 4));
    EXPECT_FALSE(z(1, 0) > z(0, 1) || z(1, 0) < z(0, 1) || z(1, 0) < z(-1, 0));
    EXPECT_TRUE(z(5, 0).IsReal() && z(0, 5).IsIm());
    EXPECT_FALSE(z(5, 1e-20).IsReal() || z(1e-20, 5).IsIm());
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
