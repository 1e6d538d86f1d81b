// Gauss-Seidel: the 2 x 2 case against sweeps written here (same iterates, sweep count and
// report text) in both storage modes, and the runs that make no sweep.
#include "SparseTesting.h"

namespace
{

// The report expected, its time field as Untimed leaves it.
std::string Report(int sweeps, int n, double error, bool symmetric)
{
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "Used time solving :   T s\r\n Number of iter. :   %d\r\n NEQ             :   "
                  "%d\r\n Norm of error   :   %e\r\n Symmetric       :   %d\r\n24\r\n16",
                  sweeps, n, error, symmetric ? 1 : 0);
    return buf;
}

// [[4, 1], [1, 3]] in full storage, or its upper triangle.
CSystSpMat TwoByTwo(bool upperOnly)
{
    CSystSpMat K = System(2, FromTriplets({{0, 0, 4}, {0, 1, 1}, {1, 0, 1}, {1, 1, 3}}));
    if (upperOnly) K.MakeUpper();
    return K;
}

}  // namespace

// For a 2 x 2 system both modes make the operations of the textbook sweep below, so iterates,
// sweep count and final change agree exactly, and x holds the last iterate in its own array
// whichever array the upper-triangle mode computed it in (1, 2 and all sweeps).
TEST_F(SystSpMat, GaussSeidelTwoByTwoMatchesTheTextbookSweep)
{
    for (int maxIter : {1, 2, 100})
        for (bool symmetric : {false, true})
        {
            SCOPED_TRACE(maxIter * 10 + symmetric);
            double y0 = 0.0, y1 = 0.0, change = 0.0;
            int sweeps = 0;
            do
            {
                const double x0 = (1.0 - 1.0 * y1) / 4.0, x1 = (2.0 - 1.0 * x0) / 3.0;
                change = std::max(std::fabs(x0 - y0), std::fabs(x1 - y1));
                y0 = x0;
                y1 = x1;
            } while (++sweeps < maxIter && !(change < 1e-10));

            CVirtMat::m_bSym = symmetric;
            CSystSpMat K = TwoByTwo(symmetric);
            CVector b(2, true, 1.0), x(2, true, 0.0);
            b[1] = 2.0;
            const double* storage = x.m_pData;
            m_messages.clear();
            EXPECT_EQ(K.GaussSeidel_Iter(b, x, 1e-10, maxIter), change < 1e-10 ? 1 : -1);
            EXPECT_EQ(std::pair(x[0], x[1]), std::pair(y0, y1));
            EXPECT_EQ(x.m_pData, storage);
            ASSERT_EQ(m_messages.size(), 1u);
            EXPECT_EQ(Untimed(m_messages[0]), Report(sweeps, 2, change, symmetric));
        }
}

// No sweep: an empty system is solved (1); no sweep allowed, or a system larger than the matrix
// or than x, is not (-1); x is untouched and the report shows 0 sweeps and error 0. A row
// without a diagonal divides by 0.0 in both modes.
TEST_F(SystSpMat, GaussSeidelRunsWithoutASweepAndRowsWithoutDiagonal)
{
    CVirtMat::m_bSym = false;
    CSystSpMat K = TwoByTwo(false);
    CVector empty, x(2, true, 5.0), b(2, true, 1.0), b3(3, true, 1.0), x1(1, true, 0.0);
    EXPECT_EQ(K.GaussSeidel_Iter(empty, x, 1e-10, 10), 1);
    EXPECT_EQ(K.GaussSeidel_Iter(b, x, 1e-10, 0), -1);
    EXPECT_EQ(K.GaussSeidel_Iter(b3, x, 1e-10, 10), -1);
    EXPECT_EQ(K.GaussSeidel_Iter(b, x1, 1e-10, 10), -1);
    EXPECT_EQ(x[0] + x[1] + x1[0], 10.0);
    ASSERT_EQ(m_messages.size(), 4u);
    EXPECT_EQ(Untimed(m_messages[0]), Report(0, 0, 0.0, false));
    EXPECT_EQ(Untimed(m_messages[2]), Report(0, 3, 0.0, false));

    CSystSpMat noDiagonal(1);
    for (bool symmetric : {false, true})
    {
        CVirtMat::m_bSym = symmetric;
        CVector b1(1, true, 1.0), x0(1, true, 0.0);
        EXPECT_EQ(noDiagonal.GaussSeidel_Iter(b1, x0, 1e-10, 1), -1);
        EXPECT_EQ(x0[0], std::numeric_limits<double>::infinity());
    }
}
