// Forward/backward substitution and DiagMult: the column-list forward substitution against the
// plain cursor scan (bit for bit), hand cases for every mode, the timing convention.
#include "support/GlobalState.h"
#include "support/Problems.h"

#include <tarvel/Tarvel.h>
#include <tarvel/sparse/detail/SparseDetail.h>

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>

using namespace tarvel_test;

namespace
{

bool SameDense(const CMatrix& a, const CMatrix& b)
{
    return a.m_nSize == b.m_nSize &&
           std::memcmp(a.m_pData, b.m_pData, sizeof(double) * static_cast<size_t>(a.m_nSize)) == 0;
}

CMatrix Rows(int rows, int cols, std::initializer_list<double> v)
{
    CMatrix B(rows, cols, true, 0.0);
    int i = 0;
    for (double x : v) B.m_pData[i++] = x;
    return B;
}

}  // namespace

TEST(SparseForwSub, ColumnListsMatchTheCursorScanBitForBit)
{
    for (unsigned seed = 1; seed <= 12; ++seed)
    {
        SCOPED_TRACE(seed);
        CSparseMatrix F = RandomSpdUpper(150, 1 + seed % 5, 2 + static_cast<int>(seed) * 7, seed);
        ASSERT_EQ(F.Cholesky(), 1);
        // A cell that no row index matches (column 150 and beyond): its cursor stays put.
        F.Add(140, 155, 0.25);
        for (int mode : {-1, -2})
        {
            const CMatrix b = RandomMatrix(160, 3, seed);
            CMatrix fast(b);
            CMatrix plain(b);
            F.ForwSub(&fast, nullptr, mode);
            tarvel::detail::forward_sub_transposed_plain(F, plain, mode);
            EXPECT_TRUE(SameDense(fast, plain));
            EXPECT_FALSE(SameDense(fast, b));
        }
    }
    // Rows with gaps and a first cell off the diagonal: the scan's order still holds.
    CSparseMatrix G = FromTriplets({{0, 1, 2.0},
                                    {0, 3, 0.5},
                                    {1, 2, 3.0},
                                    {1, 3, -1.0},
                                    {3, 3, 4.0},
                                    {3, 4, 1.0},
                                    {4, 0, 7.0},
                                    {4, 4, 2.0}});
    for (int mode : {-1, -2})
    {
        const CMatrix b = RandomMatrix(5, 2, 9);
        CMatrix fast(b);
        CMatrix plain(b);
        G.ForwSub(&fast, nullptr, mode);
        tarvel::detail::forward_sub_transposed_plain(G, plain, mode);
        EXPECT_TRUE(SameDense(fast, plain));
    }
}

TEST(SparseForwSub, LowerFactorModesByHand)
{
    // L = [[1, 0], [2, 1]] held left of the diagonal, U diagonal (2, 4).
    CSparseMatrix F = FromTriplets({{0, 0, 2.0}, {1, 0, 2.0}, {1, 1, 4.0}});
    CMatrix B = Rows(2, 2, {1, 2, 5, 8});
    F.ForwSub(&B, nullptr, 1);
    EXPECT_TRUE(SameDense(B, Rows(2, 2, {1, 2, 3, 4})));
    B = Rows(2, 2, {1, 2, 5, 8});
    F.ForwSub(&B, nullptr, 2);
    EXPECT_TRUE(SameDense(B, Rows(2, 2, {0.5, 1, 1, 1.5})));  // b0 is divided first
    // Transposed unit upper factor: U = [[d, 3], [., d]] -> b1 -= 3 b0.
    CSparseMatrix U = FromTriplets({{0, 0, 2.0}, {0, 1, 3.0}, {1, 1, 4.0}});
    B = Rows(2, 1, {1, 5});
    U.ForwSub(&B, nullptr, -1);
    EXPECT_TRUE(SameDense(B, Rows(2, 1, {1, 2})));
    B = Rows(2, 1, {1, 5});
    U.ForwSub(&B, nullptr, -2);
    EXPECT_TRUE(SameDense(B, Rows(2, 1, {0.5, (5 - 1.5) / 4})));
    B = Rows(2, 1, {1, 5});
    U.ForwSub(&B, nullptr, 3);  // other modes: nothing
    EXPECT_TRUE(SameDense(B, Rows(2, 1, {1, 5})));
}

TEST(SparseForwSub, TimingConvention)
{
    CSparseMatrix U = FromTriplets({{0, 0, 2.0}});
    CMatrix none;  // no columns: returns at once
    double seconds = 123.0;
    U.ForwSub(&none, &seconds, -1);
    EXPECT_EQ(seconds, 123.0);
    U.DiagMult(&none, &seconds, 2);
    EXPECT_EQ(seconds, 123.0);
    CMatrix B = Rows(1, 1, {3});
    U.ForwSub(&B, &seconds, 7);  // an unknown mode still times
    EXPECT_GE(seconds, 0.0);
    EXPECT_LT(seconds, 100.0);
    seconds = 123.0;
    U.BackwSub(&none, &seconds, 1);
    EXPECT_LT(seconds, 100.0);
    seconds = 123.0;
    EXPECT_TRUE(U.IsLower(&seconds));
    EXPECT_LT(seconds, 100.0);
}

TEST(SparseBackwSub, UpperFactorsAndRowOrderRestored)
{
    // U = [[2, 1, 1], [., 4, 2], [., ., 8]] with the unit factor of mode 1 meaning the
    // diagonal is skipped.
    CSparseMatrix U = FromTriplets(
        {{0, 0, 2.0}, {0, 1, 1.0}, {0, 2, 1.0}, {1, 1, 4.0}, {1, 2, 2.0}, {2, 2, 8.0}});
    const std::string before = Structure(U);
    CMatrix B = Rows(3, 2, {4, 1, 6, 2, 8, 4});
    U.BackwSub(&B, nullptr, 2);
    // x2 = 1, .5; x1 = (6 - 2) / 4 = 1, (2 - 1) / 4; x0 = (4 - 1 - 1) / 2 = 1, ...
    EXPECT_TRUE(SameDense(B, Rows(3, 2, {1, (1 - 0.25 - 0.5) / 2, 1, 0.25, 1, 0.5})));
    EXPECT_EQ(Structure(U), before);
    B = Rows(3, 1, {4, 6, 8});
    U.BackwSub(&B, nullptr, 1);
    EXPECT_TRUE(SameDense(B, Rows(3, 1, {4 - (6 - 16) - 8, 6 - 16, 8})));
    B = Rows(3, 1, {4, 6, 8});
    U.BackwSub(&B, nullptr, 0);
    EXPECT_TRUE(SameDense(B, Rows(3, 1, {4, 6, 8})));
    EXPECT_EQ(Structure(U), before);
}

TEST(SparseDiagMult, ModesWithAndWithoutDiagonal)
{
    // Row 0 has its diagonal, row 1 only a cell right of it, row 2 is not stored.
    CSparseMatrix D = FromTriplets({{0, 0, 4.0}, {1, 3, 5.0}, {3, 3, 2.0}});
    const double inf = std::numeric_limits<double>::infinity();
    CMatrix B = Rows(4, 2, {8, 2, 1, 1, 7, 7, 6, 3});
    D.DiagMult(&B, nullptr, -2);
    EXPECT_TRUE(SameDense(B, Rows(4, 2, {2, 0.5, inf, inf, 7, 7, 3, 1.5})));
    B = Rows(4, 2, {8, 2, 1, 1, 7, 7, 6, 3});
    D.DiagMult(&B, nullptr, 2);
    EXPECT_TRUE(SameDense(B, Rows(4, 2, {32, 8, 0, 0, 7, 7, 12, 6})));
    B = Rows(4, 1, {2, 3, 4, 4});
    D.DiagMult(&B, nullptr, 1);
    EXPECT_EQ(Structure(D), "0: 0=8; 1: 3=5; 3: 3=8");
    D.DiagMult(&B, nullptr, -1);
    EXPECT_EQ(Structure(D), "0: 0=4; 1: 3=5; 3: 3=2");
}
