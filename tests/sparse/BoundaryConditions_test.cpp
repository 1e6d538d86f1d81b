// Prescribed degrees of freedom: UnifyAndZero by hand, the list operations of the system matrix
// by hand and against their plain rows-x-prescribed forms (bit for bit), the upper-triangle form
// against the full one, and SymHandleBCs.
#include "support/GlobalState.h"
#include "support/Problems.h"

#include <tarvel/Tarvel.h>
#include <tarvel/sparse/detail/SystDetail.h>

#include <cstring>
#include <gtest/gtest.h>
#include <random>

using namespace tarvel_test;
using BoundaryConditions = GlobalStateTest;

namespace
{

CMatrix Rows(int n, int p, std::initializer_list<double> v)
{
    CMatrix B(n, p, true, 0.0);
    int i = 0;
    for (double x : v) B.m_pData[i++] = x;
    return B;
}

CVector Vec(std::initializer_list<double> v)
{
    CVector x(static_cast<int>(v.size()), true, 0.0);
    int i = 0;
    for (double e : v) x[i++] = e;
    return x;
}

bool SameDense(const CMatrix& a, const CMatrix& b)
{
    return a.m_nSize == b.m_nSize &&
           std::memcmp(a.m_pData, b.m_pData, sizeof(double) * static_cast<size_t>(a.m_nSize)) == 0;
}

// A system matrix holding S (zeros of S not stored).
CSystSpMat System(int n, CSparseMatrix&& S)
{
    CSystSpMat K(n);
    K = std::move(S);
    return K;
}

// A random symmetric matrix of order n with a full diagonal, as its full storage or its upper
// triangle, values drawn so that products and differences are inexact.
CSystSpMat RandomSymmetric(int n, bool upperOnly, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::uniform_int_distribution<int> column(0, n - 1);
    CSystSpMat K(n);
    for (int i = 0; i < n; ++i)
    {
        K.Add(i, i, 4.0 + u(gen));
        for (int t = 0; t < 4; ++t)
        {
            const int j = column(gen);
            if (j == i) continue;
            const double v = u(gen);
            K.Add(std::min(i, j), std::max(i, j), v);
            if (!upperOnly) K.Add(std::max(i, j), std::min(i, j), v);
        }
    }
    return K;
}

}  // namespace

// The hand-worked cases: a full 3 x 3 matrix with (0, 1) = 3 and (2, 1) = 4 and g = 2 moves
// -6 and -8 to B; a missing row k is made at its ordered place.
TEST_F(BoundaryConditions, UnifyAndZeroByHand)
{
    CSparseMatrix A = FromTriplets({{0, 0, 1},
                                    {0, 1, 3},
                                    {0, 2, 1},
                                    {1, 0, 1},
                                    {1, 1, 1},
                                    {1, 2, 1},
                                    {2, 0, 1},
                                    {2, 1, 4},
                                    {2, 2, 1}});
    CMatrix B = Rows(3, 1, {1, 1, 1});
    A.UnifyAndZero(1, 2.0, &B);
    EXPECT_EQ(Structure(A), "0: 0=1 2=1; 1: 1=1; 2: 0=1 2=1");
    EXPECT_EQ(B.m_pData[0], -5.0);
    EXPECT_EQ(B.m_pData[1], 2.0);
    EXPECT_EQ(B.m_pData[2], -7.0);

    CSparseMatrix onlyRow2 = FromTriplets({{2, 0, 5}, {2, 2, 1}});
    onlyRow2.UnifyAndZero(0);
    EXPECT_EQ(Structure(onlyRow2), "0: 0=1; 2: 2=1");
    CSparseMatrix between = FromTriplets({{0, 0, 1}, {3, 1, 2}, {3, 3, 1}});
    between.UnifyAndZero(1);
    EXPECT_EQ(Structure(between), "0: 0=1; 1: 1=1; 3: 3=1");
    CSparseMatrix empty;
    empty.UnifyAndZero(5);
    EXPECT_EQ(Structure(empty), "5: 5=1");
}

// [[2, -1], [-1, 2]], u_0 = 1: row 1 keeps only (1, 1) = 2 and b_1 = 0 - (-1)(1) = 1.
TEST_F(BoundaryConditions, UnifyAndZero2ByHand)
{
    CSystSpMat K = System(2, FromTriplets({{0, 0, 2}, {0, 1, -1}, {1, 0, -1}, {1, 1, 2}}));
    CVector dofs = Vec({0}), values = Vec({1.0});
    CMatrix b = Rows(2, 1, {0, 0});
    K.UnifyAndZero2(dofs, values, &b);
    EXPECT_EQ(Structure(K), "0: 0=1; 1: 1=2");
    EXPECT_EQ(b.m_pData[0], 1.0);
    EXPECT_EQ(b.m_pData[1], 1.0);
}

// Upper triangle of [[4, 1, 2], [1, 5, 3], [2, 3, 6]], u_1 = 2: row 0 loses (0, 1) (b_0 -= 1 * 2),
// row 1 becomes the unit row, and the coupling (1, 2) that row 1 held is moved to b_2 (-= 3 * 2).
TEST_F(BoundaryConditions, SymUnifyAndZeroCorrectsRowsBelowThePrescribedOne)
{
    CSystSpMat K =
        System(3, FromTriplets({{0, 0, 4}, {0, 1, 1}, {0, 2, 2}, {1, 1, 5}, {1, 2, 3}, {2, 2, 6}}));
    CVector dofs = Vec({1.9}), values = Vec({2.0});  // 1.9 truncates to 1
    CMatrix B = Rows(3, 2, {10, 20, 10, 20, 10, 20});
    K.SymUnifyAndZero(dofs, values, &B);
    EXPECT_EQ(Structure(K), "0: 0=4 2=2; 1: 1=1; 2: 2=6");
    EXPECT_TRUE(SameDense(B, Rows(3, 2, {8, 18, 2, 2, 4, 14})));
}

// The one-pass forms against the plain ones, on lists in any order with repeated indices,
// indices outside the matrix and fractional ones, with two right-hand sides; the upper form
// against the full one: the same right-hand sides bit for bit and the upper triangle of its
// matrix.
TEST_F(BoundaryConditions, ListOperationsMatchThePlainFormsBitForBit)
{
    const int n = 60;
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int trial = 0; trial < 20; ++trial)
    {
        SCOPED_TRACE(trial);
        const int m = 1 + trial % 12;
        CVector dofs(m + 2, true, 0.0), values(m + 2, true, 0.0);
        for (int t = 0; t < m; ++t)
        {
            dofs[t] = static_cast<int>(gen() % n) + 0.5 * (t % 2);
            values[t] = u(gen);
        }
        dofs[m] = dofs[0];  // repeated: its couplings are already gone
        values[m] = u(gen);
        dofs[m + 1] = trial % 2 ? -3.0 : n + 1.0;  // outside: ignored
        CMatrix B = RandomMatrix(n, 2, static_cast<unsigned>(trial));

        CSystSpMat full = RandomSymmetric(n, false, static_cast<unsigned>(trial));
        CSystSpMat fullPlain(full);
        CMatrix Bfull(B), BfullPlain(B);
        full.UnifyAndZero2(dofs, values, &Bfull);
        tarvel::detail::unify_and_zero2_plain(fullPlain, dofs, values, &BfullPlain);
        EXPECT_TRUE(SameBits(full, fullPlain)) << Structure(full) << "\n" << Structure(fullPlain);
        EXPECT_TRUE(SameDense(Bfull, BfullPlain));

        CSystSpMat upper = RandomSymmetric(n, true, static_cast<unsigned>(trial));
        CSystSpMat upperPlain(upper);
        CMatrix Bupper(B), BupperPlain(B);
        upper.SymUnifyAndZero(dofs, values, &Bupper);
        tarvel::detail::sym_unify_and_zero_plain(upperPlain, dofs, values, &BupperPlain);
        EXPECT_TRUE(SameBits(upper, upperPlain));
        EXPECT_TRUE(SameDense(Bupper, BupperPlain));

        EXPECT_TRUE(SameDense(Bupper, Bfull));
        full.MakeUpper();
        EXPECT_TRUE(SameBits(upper, full));
    }
}

// SymHandleBCs: the couplings of the prescribed indices go, their rows keep only the diagonal
// set to 1.0 (row 3 has none and ends empty); the caller's right-hand side stays as it was.
TEST_F(BoundaryConditions, SymHandleBCsChangesTheMatrixOnly)
{
    CSystSpMat K = System(
        4, FromTriplets(
               {{0, 0, 4}, {0, 1, 1}, {0, 3, 2}, {1, 1, 5}, {1, 2, 3}, {2, 2, 6}, {3, 2, 7}}));
    CMatrix bc = Rows(2, 2, {1, 0.5, 3, 0.25});  // indices 1 and 3 with their values
    CMatrix B = Rows(4, 1, {1, 2, 3, 4});
    const CMatrix before(B);
    K.SymHandleBCs(bc, B);
    EXPECT_EQ(Structure(K), "0: 0=4; 1: 1=1; 2: 2=6; 3:");
    EXPECT_TRUE(SameDense(B, before));
}
