// The factorizations of the system matrix: hand-worked cases, the inherited driver reaching them
// (no operation count), and the member against the stated row-merging form bit for bit, failures
// and rows that do not start at their diagonal included.
#include "support/GlobalState.h"
#include "support/Problems.h"

#include <tarvel/Tarvel.h>
#include <tarvel/sparse/detail/SparseDetail.h>
#include <tarvel/sparse/detail/SystDetail.h>

#include <gtest/gtest.h>
#include <random>

using namespace tarvel_test;
using SystFactor = GlobalStateTest;

namespace
{

CSystSpMat System(int n, CSparseMatrix&& S)
{
    CSystSpMat K(n);
    K = std::move(S);
    return K;
}

// A random n x n matrix: a diagonal, and about `perRow` entries per row within `band` of it,
// mirrored into the other triangle with probability `mirror` (1.0: a symmetric pattern).
CSystSpMat RandomSquare(int n, int perRow, int band, double mirror, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::uniform_int_distribution<int> offset(-band, band);
    CSystSpMat K(n);
    for (int i = 0; i < n; ++i)
    {
        K.Add(i, i, 3.0 + u(gen));
        for (int t = 0; t < perRow; ++t)
        {
            const int j = i + offset(gen);
            if (j < 0 || j >= n || j == i) continue;
            K.Add(i, j, u(gen));
            if ((u(gen) + 1.0) / 2.0 < mirror) K.Add(j, i, u(gen));
        }
    }
    return K;
}

}  // namespace

TEST_F(SystFactor, CholeskyByHand)
{
    CSystSpMat D = System(2, FromTriplets({{0, 0, 4}, {1, 1, 9}}));
    EXPECT_EQ(D.Cholesky(), 1);
    EXPECT_EQ(Structure(D), "0: 0=4; 1: 1=9");
    CSystSpMat none;
    EXPECT_EQ(none.Cholesky(), 1);
    CSystSpMat zero = System(2, FromTriplets({{0, 0, 4}}));
    zero.m_pRowArray[1].Add(1, 0.0);
    EXPECT_EQ(zero.Cholesky(), -1);

    // [[4, 2], [2, 3]], b = [2, 1]: d = 4 and 2, multiplier 0.5, x = [0.5, 0]. The inherited
    // driver reaches this class's factorization, which counts nothing.
    CSystSpMat K = System(2, FromTriplets({{0, 0, 4}, {0, 1, 2}, {1, 1, 3}}));
    CMatrix B(2, 1, true, 0.0);
    B.m_pData[0] = 2.0;
    B.m_pData[1] = 1.0;
    CVirtMat::m_Flops = 99;
    double seconds = -5.0;
    ASSERT_EQ(K.Cholesky_Solve(&B, seconds), 1);
    EXPECT_EQ(Structure(K), "0: 0=4 1=0.5; 1: 1=2");
    EXPECT_EQ(B.m_pData[0], 0.5);
    EXPECT_EQ(B.m_pData[1], 0.0);
    EXPECT_EQ(CVirtMat::m_Flops, 0u);
    EXPECT_GE(seconds, 0.0);
}

// The member against syst_cholesky_merging (row::AddRow as stated) on copies: same result, same
// lists and bits (the partial state after a failure too), m_Flops untouched.
TEST_F(SystFactor, CholeskyMatchesTheRowMergingFormBitForBit)
{
    const int n = 90;
    std::vector<CSystSpMat> cases;
    cases.push_back(System(n, RandomSpdUpper(n, 5, 17, 3)));
    cases.push_back(System(n, RandomSpdUpper(n, 3, 40, 4)));
    cases.push_back(System(n, RandomSpdUpper(n, 5, 17, 5)));
    cases.back().m_pRowArray[50].m_pFirstCell->m_dValue = -1.0;  // fails at row 50
    cases.push_back(System(n, RandomSpdUpper(n, 5, 17, 6)));
    cases.back().Add(20, n + 3, 1.0);  // an entry outside the matrix: fails at row 20
    cases.push_back(System(n, RandomSpdUpper(n, 5, 17, 7)));
    delete cases.back().m_pRowArray[30].Remove(30);  // row 30 starts right of its diagonal
    cases.push_back(System(n, RandomSpdUpper(n, 5, 17, 8)));
    cases.back().Add(60, 10, 0.25);  // row 60 starts left of its diagonal
    cases.push_back(System(3, FromTriplets({{0, 0, 4}, {0, 2, 1}, {2, 2, 3}})));  // empty row 1
    for (size_t t = 0; t < cases.size(); ++t)
    {
        SCOPED_TRACE(t);
        CSystSpMat fast(cases[t]), plain(cases[t]);
        CVirtMat::m_Flops = 7;
        const int status = fast.Cholesky();
        EXPECT_EQ(CVirtMat::m_Flops, 7u);
        EXPECT_EQ(status, tarvel::detail::syst_cholesky_merging(plain));
        const int expected[] = {1, 1, -1, -1, 0, 0, -1};  // 0: whatever the merging gives
        if (expected[t] != 0)
        {
            EXPECT_EQ(status, expected[t]);
        }
        EXPECT_TRUE(SameBits(fast, plain));
    }
}

// The row-by-row LU against the stated elimination (tarvel::detail::lu_plain) on copies: same
// result, lists and bits, also after a failure (the rows below the failing step then hold the
// eliminations of the steps before it).
TEST_F(SystFactor, LUMatchesTheStatedEliminationBitForBit)
{
    const int n = 150;
    std::vector<CSystSpMat> cases;
    cases.push_back(RandomSquare(n, 4, 12, 1.0, 1));
    cases.push_back(RandomSquare(n, 4, 30, 0.3, 2));  // unsymmetric pattern
    cases.push_back(System(3, FromTriplets({{0, 0, 1},
                                            {0, 1, 1},
                                            {1, 0, 1},
                                            {1, 1, 1},
                                            {1, 2, 1},
                                            {2, 1, 1},
                                            {2, 2, 1}})));  // pivot 1 becomes 0.0
    cases.push_back(RandomSquare(n, 4, 12, 0.5, 3));
    CSystSpMat::row& r40 = cases.back().m_pRowArray[40];  // row 40 starts right of its diagonal
    while (r40.m_pFirstCell->m_nCol <= 40) delete r40.Remove(r40.m_pFirstCell->m_nCol);
    cases.push_back(RandomSquare(n, 4, 12, 1.0, 4));
    cases.back().Add(99, 7, 0.5);
    CSystSpMat::row& r7 = cases.back().m_pRowArray[7];
    while (r7.m_pFirstCell->m_pNext) delete r7.Remove(r7.m_pFirstCell->m_pNext->m_nCol);
    // row 7 now sends nothing: the later rows holding column 7 stay there and fail
    cases.push_back(System(3, FromTriplets({{0, 0, 2},
                                            {0, 2, 1},
                                            {1, 0, 0.0},
                                            {1, 1, 3},
                                            {1, 2, 1},
                                            {2, 0, 4},
                                            {2, 2, 5}})));  // a stored 0.0
    for (size_t t = 0; t < cases.size(); ++t)
    {
        SCOPED_TRACE(t);
        CSystSpMat fast(cases[t]), plain(cases[t]);
        const int status = fast.LU();
        EXPECT_EQ(status, tarvel::detail::lu_plain(plain));
        const int expected[] = {1, 1, -1, -1, -1, 1};
        EXPECT_EQ(status, expected[t]);
        EXPECT_TRUE(SameBits(fast, plain)) << Structure(fast) << "\n" << Structure(plain);
    }
}
