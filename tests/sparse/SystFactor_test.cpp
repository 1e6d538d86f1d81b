// The factorizations of the system matrix: hand-worked cases, the inherited driver reaching them
// (no operation count), and the members against the stated forms bit for bit, failures and
// rows that do not start at their diagonal included.
#include "support/GlobalState.h"
#include "support/Problems.h"

#include <tarvel/Tarvel.h>
#include <tarvel/sparse/detail/SparseDetail.h>
#include <tarvel/sparse/detail/SystDetail.h>

#include <gtest/gtest.h>

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

// Deletes the cells of row i from column `from` to column `to`.
void Drop(CSystSpMat& K, int i, int from, int to)
{
    for (int j = from; j <= to; ++j) delete K.m_pRowArray[i].Remove(j);
}

// The member and the stated form on copies of each case: the same result (when `expected` is
// not 0, that one), lists and bits; m_Flops untouched (Cholesky_Solve then reports 0).
template <class Member, class Stated>
void ExpectSame(const std::vector<CSystSpMat>& cases, const std::vector<int>& expected,
                Member member, Stated stated)
{
    for (size_t t = 0; t < cases.size(); ++t)
    {
        SCOPED_TRACE(t);
        CSystSpMat fast(cases[t]), plain(cases[t]);
        CVirtMat::m_Flops = 7;
        const int status = member(fast);
        EXPECT_EQ(CVirtMat::m_Flops, 7u);
        EXPECT_EQ(status, stated(plain));
        EXPECT_TRUE(expected[t] == 0 || status == expected[t]) << status;
        EXPECT_TRUE(SameBits(fast, plain));
    }
}

}  // namespace

// Rows holding only their diagonals 4 and 9 stay as they are; a first value of 0.0 fails.
TEST_F(SystFactor, CholeskyByHand)
{
    CSystSpMat D = System(2, FromTriplets({{0, 0, 4}, {1, 1, 9}}));
    EXPECT_EQ(D.Cholesky(), 1);
    EXPECT_EQ(Structure(D), "0: 0=4; 1: 1=9");
    D.m_pRowArray[1].m_pFirstCell->m_dValue = 0.0;
    EXPECT_EQ(D.Cholesky(), -1);
}

// Against the row merging (row::AddRow) as stated: SPD cases, a negative pivot at row 50, an
// entry outside the matrix in row 20, a row starting right of its diagonal (its first cell then
// serves as d), a row starting left of it, an empty row.
TEST_F(SystFactor, CholeskyMatchesTheRowMerging)
{
    const int n = 90;
    std::vector<CSystSpMat> cases;
    for (unsigned seed = 3; seed < 9; ++seed)
        cases.push_back(System(n, RandomSpdUpper(n, 5, 17, seed)));
    cases[2].m_pRowArray[50].m_pFirstCell->m_dValue = -1.0;
    cases[3].m_pRowArray[20].Add(n + 3, 1.0);
    Drop(cases[4], 30, 30, 30);
    cases[5].Add(60, 10, 0.25);
    cases.push_back(System(3, FromTriplets({{0, 0, 4}, {0, 2, 1}, {2, 2, 3}})));
    ExpectSame(
        cases, {1, 1, -1, -1, 0, 0, -1}, [](CSystSpMat& K) { return K.Cholesky(); },
        tarvel::detail::syst_cholesky_merging);
}

// Against the stated elimination (tarvel::detail::lu_plain): symmetric and unsymmetric
// patterns, a pivot that becomes 0.0, a row starting right of its diagonal, a pivot row with
// nothing right of its diagonal (the later rows holding its column stay there and fail), a
// stored 0.0 left of a diagonal (only passed), a negative column. After a failure the rows
// below it hold the eliminations of the steps before it.
TEST_F(SystFactor, LUMatchesTheStatedElimination)
{
    const int n = 150;
    std::vector<CSystSpMat> cases;
    for (unsigned seed = 1; seed < 5; ++seed)
    {
        cases.push_back(System(n, RandomSpdUpper(n, 4, 12, seed)));
        cases.back().Mirror(-0.5);
    }
    Drop(cases[1], 30, 0, 29);  // unsymmetric pattern
    Drop(cases[1], 31, 32, n);
    Drop(cases[2], 40, 0, 40);
    Drop(cases[3], 7, 0, 6);
    Drop(cases[3], 7, 8, n);
    cases.push_back(System(
        3, FromTriplets(
               {{0, 0, 1}, {0, 1, 1}, {1, 0, 1}, {1, 1, 1}, {1, 2, 1}, {2, 1, 1}, {2, 2, 1}})));
    cases.push_back(System(2, FromTriplets({{0, 0, 2}, {0, 1, 1}, {1, 1, 3}})));
    cases.back().m_pRowArray[1].Add(0, 0.0);
    cases.push_back(System(5, FromTriplets({{0, 0, 2},
                                            {0, 2, 1},
                                            {1, 1, 3},
                                            {1, 2, 1},
                                            {2, 2, 4},
                                            {3, 1, 1},
                                            {3, 3, 1},
                                            {4, 0, 1},
                                            {4, 4, 1}})));
    cases.back().m_pRowArray[3].Add(-1, 1.0);  // a column no step reaches: fails at step 3
    ExpectSame(
        cases, {1, 1, -1, -1, -1, 1, -1}, [](CSystSpMat& K) { return K.LU(); },
        [](CSystSpMat& K) { return tarvel::detail::lu_plain(K); });
}
