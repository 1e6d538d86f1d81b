// Prescribed degrees of freedom: UnifyAndZero by hand, the list operations against one
// UnifyAndZero per listed index (bit for bit), the upper-triangle form against the full one,
// and SymHandleBCs.
#include "SparseTesting.h"

// A full 3 x 3 matrix with (0, 1) = 3 and (2, 1) = 4 and g = 2 moves -6 and -8 to B; a missing
// row k is made at its ordered place, except in a system matrix, where an index outside 0 .. n-1
// leaves the matrix as it was and B changes in its row k only when it has one.
TEST_F(SystSpMat, BoundaryConditionsUnifyAndZeroByHand)
{
    CSparseMatrix A;
    CSparseMatrix* pA = &A;
    Mat(3, 3, {1, 3, 1, 1, 1, 1, 1, 4, 1}).Sparse(pA);
    CMatrix B = Mat(3, 1, {1, 1, 1});
    A.UnifyAndZero(1, 2.0, &B);
    EXPECT_EQ(Structure(A), "0: 0=1 2=1; 1: 1=1; 2: 0=1 2=1");
    EXPECT_TRUE(SameBits(B, Mat(3, 1, {-5, 2, -7})));

    CSparseMatrix S;
    S.UnifyAndZero(3);
    S.Add(2, 0, 5.0);
    for (int k : {0, 1, 4}) S.UnifyAndZero(k);
    EXPECT_EQ(Structure(S), "0: 0=1; 1: 1=1; 2:; 3: 3=1; 4: 4=1");

    for (const int k : {-1, 3, 4})
    {
        CSystSpMat K = System(3, FromTriplets({{0, 0, 2}, {0, 2, 1}, {1, 1, 3}, {2, 2, 4}}));
        CMatrix B4 = Mat(4, 1, {1, 1, 1, 1});
        K.UnifyAndZero(k, 5.0, &B4);
        K.UnifyAndZero(k);
        EXPECT_EQ(Structure(K), "0: 0=2 2=1; 1: 1=3; 2: 2=4") << k;
        EXPECT_TRUE(SameBits(B4, Mat(4, 1, {1, 1, 1, k == 3 ? 5.0 : 1.0}))) << k;
    }
}

// UnifyAndZero2 against UnifyAndZero applied index by index in list order (the same subtractions
// from each row of B in the same order), on lists with repeated, fractional and outside indices
// and two right-hand sides; SymUnifyAndZero against UnifyAndZero2: the same right-hand sides bit
// for bit (rows below a prescribed one corrected too) and the upper triangle of its matrix.
TEST_F(SystSpMat, BoundaryConditionsListOperationsMatchOneIndexAtATime)
{
    const int n = 60;
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (unsigned trial = 0; trial < 20; ++trial)
    {
        SCOPED_TRACE(trial);
        const int m = 1 + trial % 12;
        CVector dofs(m + 2, true, 0.0), values(m + 2, true, 0.0);
        for (int t = 0; t < m; ++t)  // the DOF drawn first, then its value
        {
            dofs[t] = static_cast<int>(gen() % n) + 0.5 * (t % 2);
            values[t] = u(gen);
        }
        dofs[m] = dofs[0];  // repeated: its couplings are already gone
        values[m] = u(gen);
        dofs[m + 1] = trial % 2 ? -3.0 : n + 1.0;  // outside: ignored
        const CMatrix B = RandomMatrix(n, 2, trial);
        CSystSpMat upper = System(n, RandomSparse(gen, {n, 4, n - 1, true, 12.0, false}));
        CSystSpMat full(upper);
        full.Mirror(1.0);
        CSystSpMat reference(full);
        CMatrix Bfull(B), Breference(B), Bupper(B);

        full.UnifyAndZero2(dofs, values, &Bfull);
        for (int t = 0; t < m + 2; ++t)
            if (dofs[t] >= 0 && dofs[t] < n)
                reference.UnifyAndZero(static_cast<int>(dofs[t]), values[t], &Breference);
        EXPECT_TRUE(SameBits(full, reference));
        EXPECT_TRUE(SameBits(Bfull, Breference));
        upper.SymUnifyAndZero(dofs, values, &Bupper);
        EXPECT_TRUE(SameBits(Bupper, Bfull));
        full.MakeUpper();
        EXPECT_TRUE(SameBits(upper, full));
    }
}

// SymHandleBCs: the couplings of the prescribed indices go, their rows keep only the diagonal
// set to 1.0 (row 3 has none and ends empty). B, taken by value, is not the caller's. The same
// with SymUnifyAndZero: row 3 gets its unit diagonal; a B of one row is corrected in that row
// only (b_0 -= 1 * 0.5 + 2 * 0.25); no B (or one that is not a CMatrix): none.
TEST_F(SystSpMat, BoundaryConditionsSymHandleBCsChangesTheMatrixOnly)
{
    CSystSpMat K = System(
        4, FromTriplets(
               {{0, 0, 4}, {0, 1, 1}, {0, 3, 2}, {1, 1, 5}, {1, 2, 3}, {2, 2, 6}, {3, 2, 7}}));
    CSystSpMat L(K), M(K);
    CMatrix bc = Mat(2, 2, {1, 0.5, 3, 0.25});  // indices 1 and 3 with their values
    K.SymHandleBCs(bc, Mat(4, 1, {1, 2, 3, 4}));
    EXPECT_EQ(Structure(K), "0: 0=4; 1: 1=1; 2: 2=6; 3:");

    CMatrix dofs = Mat(2, 1, {1, 3}), values = Mat(2, 1, {0.5, 0.25}), B = Mat(1, 1, {1});
    L.SymUnifyAndZero(dofs, values, &B);
    EXPECT_EQ(Structure(L), "0: 0=4; 1: 1=1; 2: 2=6; 3: 3=1");
    EXPECT_EQ(B.m_pData[0], 0.0);
    CSparseMatrix notDense;
    M.SymUnifyAndZero(dofs, values, &notDense);
    EXPECT_TRUE(SameBits(M, L));
}
