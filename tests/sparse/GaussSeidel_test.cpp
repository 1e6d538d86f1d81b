// Gauss-Seidel iteration of the system matrix: the 2 x 2 case against sweeps written here (same
// iterates, sweep count and report text), both storage modes, non-convergence, and the runs
// that make no sweep.
#include "support/GlobalState.h"
#include "support/Problems.h"

#include <tarvel/Tarvel.h>

#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>

using namespace tarvel_test;
using GaussSeidel = GlobalStateTest;

namespace
{

// The report with its time field replaced by "T" (the only part that depends on the clock).
std::string WithoutTime(const std::string& text)
{
    const std::string head = "Used time solving :   ";
    const size_t end = text.find(" s\r\n");
    if (text.compare(0, head.size(), head) != 0 || end == std::string::npos) return text;
    return head + "T" + text.substr(end);
}

std::string Report(unsigned sweeps, unsigned n, double error, bool symmetric)
{
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "Used time solving :   T s\r\n Number of iter. :   %u\r\n NEQ             :   "
                  "%u\r\n Norm of error   :   %e\r\n Symmetric       :   %u\r\n24\r\n16",
                  sweeps, n, error, symmetric ? 1u : 0u);
    return buf;
}

// [[4, 1], [1, 3]] in full storage, or its upper triangle (row 1 holding only (1, 1)).
CSystSpMat TwoByTwo(bool upperOnly)
{
    CSystSpMat K(2);
    K.Add(0, 0, 4.0);
    K.Add(0, 1, 1.0);
    if (!upperOnly) K.Add(1, 0, 1.0);
    K.Add(1, 1, 3.0);
    return K;
}

CVector Vec2(double a, double b)
{
    CVector v(2, true, 0.0);
    v[0] = a;
    v[1] = b;
    return v;
}

}  // namespace

// For a 2 x 2 system both modes make the same operations as the textbook sweep below, so the
// iterates, the number of sweeps and the final change agree exactly.
TEST_F(GaussSeidel, TwoByTwoInBothModesMatchesTheTextbookSweep)
{
    double x0 = 0.0, x1 = 0.0, change = 0.0;
    unsigned sweeps = 0;
    do
    {
        const double y0 = (1.0 - 1.0 * x1) / 4.0;
        const double y1 = (2.0 - 1.0 * y0) / 3.0;
        change = std::max(std::fabs(y0 - x0), std::fabs(y1 - x1));
        x0 = y0;
        x1 = y1;
        ++sweeps;
    } while (!(change < 1e-10));

    for (bool symmetric : {false, true})
    {
        SCOPED_TRACE(symmetric);
        CVirtMat::m_bSym = symmetric;
        CSystSpMat K = TwoByTwo(symmetric);
        CVector b = Vec2(1.0, 2.0), x = Vec2(0.0, 0.0);
        const double* storage = x.m_pData;
        m_messages.clear();
        EXPECT_EQ(K.GaussSeidel_Iter(b, x, 1e-10, 100), 1);
        EXPECT_EQ(x[0], x0);
        EXPECT_EQ(x[1], x1);
        EXPECT_NEAR(x[0], 1.0 / 11.0, 1e-10);
        EXPECT_NEAR(x[1], 7.0 / 11.0, 1e-10);
        EXPECT_EQ(x.m_pData, storage);  // x keeps its own array
        ASSERT_EQ(m_messages.size(), 1u);
        EXPECT_EQ(WithoutTime(m_messages[0]), Report(sweeps, 2, change, symmetric));
        EXPECT_NE(m_messages[0].find(" m "), std::string::npos);
    }
}

// Out of sweeps: -1, the report shows maxIter, and x holds the last iterate (in both modes, for
// an odd and an even number of sweeps, whichever array it was computed in).
TEST_F(GaussSeidel, NonConvergenceReturnsTheLastIterate)
{
    for (bool symmetric : {false, true})
        for (int maxIter : {1, 2})
        {
            SCOPED_TRACE(symmetric);
            SCOPED_TRACE(maxIter);
            CVirtMat::m_bSym = symmetric;
            CSystSpMat K = TwoByTwo(symmetric);
            CVector b = Vec2(1.0, 2.0), x = Vec2(0.0, 0.0);
            m_messages.clear();
            EXPECT_EQ(K.GaussSeidel_Iter(b, x, 1e-10, maxIter), -1);
            const double first0 = 0.25, first1 = (2.0 - 0.25) / 3.0;
            const double second0 = (1.0 - first1) / 4.0, second1 = (2.0 - second0) / 3.0;
            EXPECT_EQ(x[0], maxIter == 1 ? first0 : second0);
            EXPECT_EQ(x[1], maxIter == 1 ? first1 : second1);
            const double change = maxIter == 1 ? first1 : std::fabs(second0 - first0);
            ASSERT_EQ(m_messages.size(), 1u);
            EXPECT_EQ(WithoutTime(m_messages[0]),
                      Report(static_cast<unsigned>(maxIter), 2, change, symmetric));
        }
}

// No sweep: an empty system is solved (1); no sweep allowed, or a system larger than the matrix
// or than x, is not (-1); x is untouched and the report shows 0 sweeps and error 0.
TEST_F(GaussSeidel, RunsWithoutASweep)
{
    CVirtMat::m_bSym = true;
    CSystSpMat K = TwoByTwo(true);
    CVector empty, x = Vec2(5.0, 6.0), b = Vec2(1.0, 2.0), b3(3, true, 1.0);
    EXPECT_EQ(K.GaussSeidel_Iter(empty, x, 1e-10, 10), 1);
    EXPECT_EQ(K.GaussSeidel_Iter(b, x, 1e-10, 0), -1);
    EXPECT_EQ(K.GaussSeidel_Iter(b, x, 1e-10, -4), -1);
    EXPECT_EQ(K.GaussSeidel_Iter(b3, x, 1e-10, 10), -1);
    CVector shortX(1, true, 0.0);
    EXPECT_EQ(K.GaussSeidel_Iter(b, shortX, 1e-10, 10), -1);
    EXPECT_EQ(x[0], 5.0);
    EXPECT_EQ(x[1], 6.0);
    ASSERT_EQ(m_messages.size(), 5u);
    EXPECT_EQ(WithoutTime(m_messages[0]), Report(0, 0, 0.0, true));
    EXPECT_EQ(WithoutTime(m_messages[1]), Report(0, 2, 0.0, true));
    EXPECT_EQ(WithoutTime(m_messages[3]), Report(0, 3, 0.0, true));
}
