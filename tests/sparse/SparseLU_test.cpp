// Sparse LU without pivoting and LU_Solve: hand-worked factors, the report text, model and
// unsymmetric problems against dense references, the column-list elimination against the
// every-row scan (bit for bit), and the failure paths.
#include "support/GlobalState.h"
#include "support/Problems.h"

#include <tarvel/Tarvel.h>
#include <tarvel/sparse/detail/SparseDetail.h>

#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <regex>

using namespace tarvel_test;
using SparseLU = GlobalStateTest;

namespace
{

// A random unsymmetric, diagonally dominant n x n matrix; with symmetricPattern its pattern is
// symmetric (every pivot row then reaches the rows that hold its column).
CSparseMatrix RandomUnsymmetric(int n, int perRow, unsigned seed, bool symmetricPattern)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::uniform_int_distribution<int> col(0, n - 1);
    CSparseMatrix S;
    for (int i = 0; i < n; ++i)
    {
        S.Add(i, i, 2.0 * perRow + 1.0 + u(gen));
        for (int t = 0; t < perRow; ++t)
        {
            const int j = col(gen);
            if (j == i) continue;
            S.Add(i, j, u(gen));
            if (symmetricPattern) S.Add(j, i, u(gen));
        }
    }
    return S;
}

void ExpectSameAsPlain(const CSparseMatrix& A)
{
    CSparseMatrix fast(A);
    CSparseMatrix plain(A);
    EXPECT_EQ(fast.LU(), tarvel::detail::lu_plain(plain));
    EXPECT_TRUE(SameBits(fast, plain));
    EXPECT_TRUE(tarvel::detail::lists_are_ordered(fast));
}

const std::regex kReport(
    "Used time:\r\n Factorizing  :   \\d+ m +\\d+\\.\\d\\d s\r\n Forw\\. subst\\. :   \\d+ m "
    "+\\d+\\.\\d\\d s\r\n Backw\\. subst\\.:   \\d+ m +\\d+\\.\\d\\d s\r\n");

}  // namespace

TEST_F(SparseLU, TwoByTwoByHandWithReport)
{
    CSparseMatrix A = FromTriplets({{0, 0, 2}, {0, 1, 1}, {1, 0, 4}, {1, 1, 5}});
    CMatrix B(2, 1, true, 0.0);
    B.m_pData[0] = 3;
    B.m_pData[1] = 9;
    double seconds = -5.0;
    CVirtMat::m_Flops = 17;
    ASSERT_EQ(A.LU_Solve(&B, seconds), 1);
    EXPECT_EQ(Structure(A), "0: 0=2 1=1; 1: 0=2 1=3");
    EXPECT_EQ(B.m_pData[0], 1.0);
    EXPECT_EQ(B.m_pData[1], 1.0);
    EXPECT_GE(seconds, 0.0);
    EXPECT_EQ(CVirtMat::m_Flops, 17u);  // LU counts nothing and resets nothing
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(std::regex_match(m_messages[0], kReport)) << m_messages[0];
    EXPECT_EQ(m_types[0], static_cast<UINT>(MB_OK));
}

TEST_F(SparseLU, SolvesModelAndUnsymmetricProblems)
{
    {
        Problem p = MakeProblem(GridLaplacian(20, 15), 3, false);
        const int nx = 20;
        EXPECT_EQ(p.A.GetValue(nx, 1), nullptr);
        double seconds = 0.0;
        ASSERT_EQ(p.A.LU_Solve(&p.rhs, seconds), 1);
        EXPECT_NE(p.A.GetValue(nx, 1), nullptr);  // fill-in left of the diagonal (L)
        EXPECT_NE(p.A.GetValue(1, nx), nullptr);  // and right of it (U)
        EXPECT_LT(ScaledResidual(p.dense, p.rhs, p.b), 10.0 * 300 * kEps);
    }
    for (unsigned seed = 1; seed <= 5; ++seed)
    {
        CSparseMatrix A = RandomUnsymmetric(120, 3, seed, true);
        CMatrix dense;
        dense.UnSparse(&A);
        const CMatrix b = RandomMatrix(120, 2, seed);
        CMatrix x(b);
        double seconds = 0.0;
        ASSERT_EQ(A.LU_Solve(&x, seconds), 1);
        EXPECT_LT(ScaledResidual(dense, x, b), 1e-13);
    }
    EXPECT_EQ(m_messages.size(), 6u);  // one report per solve
}

TEST_F(SparseLU, ColumnListsMatchTheEveryRowScanBitForBit)
{
    ExpectSameAsPlain(MakeProblem(PoissonQ4(10, 9), 1, false).A);
    for (unsigned seed = 1; seed <= 30; ++seed)
    {
        SCOPED_TRACE(seed);
        ExpectSameAsPlain(RandomUnsymmetric(50, 1 + seed % 5, seed, seed % 2 == 0));
    }
    // A zero multiplier: the cursor is only passed.
    ExpectSameAsPlain(FromTriplets({{0, 0, 2}, {0, 1, 1}, {1, 0, 0.0}, {1, 1, 5}}));
}

TEST_F(SparseLU, FailurePathsLeaveTheRightHandSideAlone)
{
    struct Case
    {
        const char* name;
        std::vector<std::tuple<int, int, double>> entries;
    };
    const Case cases[] = {
        {"zero pivot", {{0, 0, 1}, {0, 1, 2}, {1, 0, 2}, {1, 1, 4}}},
        {"NaN pivot", {{0, 0, std::nan("")}}},
        {"missing diagonal", {{0, 0, 1}, {1, 2, 1}, {2, 2, 1}}},
        {"missing row", {{0, 0, 1}, {2, 2, 1}}},
        // Nothing right of the first pivot: column 0 of row 1 is left alone and row 1 fails.
        {"pivot row without upper part", {{0, 0, 2}, {1, 0, 1}, {1, 1, 3}}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CSparseMatrix A = FromTriplets(c.entries);
        ExpectSameAsPlain(A);
        CMatrix B = RandomMatrix(3, 2, 3);
        const CMatrix kept(B);
        double seconds = 0.0;
        EXPECT_EQ(A.LU_Solve(&B, seconds), -1);
        EXPECT_EQ(seconds, -1.0);
        EXPECT_EQ(std::memcmp(B.m_pData, kept.m_pData, sizeof(double) * 6), 0);
    }
    EXPECT_TRUE(m_messages.empty());
    CSparseMatrix empty;
    EXPECT_EQ(empty.LU(), 1);
}
