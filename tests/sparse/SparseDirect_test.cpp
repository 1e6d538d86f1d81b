// The direct solvers (LU, Cholesky and their substitutions): hand-worked factors, counts and
// report, grid solves by their scaled residual, the failure paths, the fast kernels against their
// plain forms bit for bit, the substitution and scaling modes, and the one-column substitutions
// against the general ones.
#include "SparseTesting.h"

// LU of [[2, 1], [4, 5]]: multiplier 2, U = [[2, 1], [0, 3]]; b = (3, 9) gives (1, 1), one report,
// no count. Cholesky of [[4, 2], [2, 3]]: d = (4, 2), multiplier 0.5; b = (2, 1) gives (0.5, 0);
// m_Flops reset, then 2 rows + 1 update (2) = 4; no report.
TEST_F(SparseMatrix, SmallCasesByHand)
{
    CSparseMatrix A = FromTriplets({{0, 0, 2}, {0, 1, 1}, {1, 0, 4}, {1, 1, 5}});
    CSparseMatrix C = FromTriplets({{0, 0, 4}, {0, 1, 2}, {1, 1, 3}});
    CMatrix B = Mat(2, 1, {3, 9}), BC = Mat(2, 1, {2, 1});
    double seconds = -5.0, secondsC = -5.0;
    CVirtMat::m_Flops = 17;
    ASSERT_EQ(A.LU_Solve(&B, seconds), 1);
    EXPECT_EQ(CVirtMat::m_Flops, 17u);
    ASSERT_EQ(C.Cholesky_Solve(&BC, secondsC), 1);
    EXPECT_EQ(CVirtMat::m_Flops, 4u);
    EXPECT_EQ(Structure(A) + "; " + Structure(C), "0: 0=2 1=1; 1: 0=2 1=3; 0: 0=4 1=0.5; 1: 1=2");
    EXPECT_TRUE(SameBits(B, Mat(2, 1, {1, 1})) && SameBits(BC, Mat(2, 1, {0.5, 0.0})));
    EXPECT_TRUE(seconds >= 0.0 && secondsC >= 0.0);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(Untimed(m_messages[0]), "Used time:\r\n Factorizing  :   T s\r\n"
                                      " Forw. subst. :   T s\r\n Backw. subst.:   T s\r\n");
    EXPECT_EQ(m_types[0], static_cast<UINT>(MB_OK));

    // The modes the drivers do not use. F holds L = [[1, 0], [2, 1]] left of its diagonal (2, 4);
    // row 0 of D holds its diagonal, row 1 only a cell right of it, row 2 nothing (B untouched).
    CSparseMatrix F = FromTriplets({{0, 0, 2.0}, {1, 0, 2.0}, {1, 1, 4.0}});
    CSparseMatrix D = FromTriplets({{0, 0, 4.0}, {1, 3, 5.0}, {3, 3, 2.0}});
    const double inf = std::numeric_limits<double>::infinity();
    const CMatrix b2 = Mat(2, 2, {1, 2, 5, 8}), b4 = Mat(4, 2, {8, 2, 1, 1, 7, 7, 6, 3});
    using Op = void (CSparseMatrix::*)(CVirtMat*, double*, int);
    const std::tuple<CSparseMatrix*, Op, int, CMatrix, CMatrix> cases[] = {
        {&F, &CSparseMatrix::ForwSub, 2, b2, Mat(2, 2, {0.5, 1, 1, 1.5})},  // divides as it goes
        {&D, &CSparseMatrix::DiagMult, -2, b4, Mat(4, 2, {2, 0.5, inf, inf, 7, 7, 3, 1.5})},
        {&D, &CSparseMatrix::DiagMult, 2, b4, Mat(4, 2, {32, 8, 0, 0, 7, 7, 12, 6})},
    };
    for (const auto& [A, op, mode, in, out] : cases)
    {
        CMatrix B(in);
        (A->*op)(&B, nullptr, mode);
        EXPECT_TRUE(SameBits(B, out)) << mode;
    }
    B = Mat(4, 1, {2, 3, 4, 4});
    D.DiagMult(&B, nullptr, 1);  // the diagonal times column 0 of B
    EXPECT_EQ(Structure(D), "0: 0=8; 1: 3=5; 3: 3=8");
    D.DiagMult(&B, nullptr, -1);
    EXPECT_EQ(Structure(D), "0: 0=4; 1: 3=5; 3: 3=2");
}

// The Poisson grid of 17 x 17 unknowns with three right-hand sides, by both drivers: the scaled
// residual of a backward-stable solve.
TEST_F(SparseMatrix, GridSolvesWithSeveralRightHandSides)
{
    const int k = 17, n = k * k;
    for (bool cholesky : {false, true})
    {
        SCOPED_TRACE(cholesky ? "Cholesky_Solve" : "LU_Solve");
        Problem p = MakeProblem(Grid(k), 3, cholesky, 7);
        const CSparseMatrix A(p.A);
        double seconds = 0.0;
        ASSERT_EQ(cholesky ? p.A.Cholesky_Solve(&p.rhs, seconds) : p.A.LU_Solve(&p.rhs, seconds),
                  1);
        EXPECT_LT(ScaledResidual(A, p.rhs, p.b), n * DBL_EPSILON);
    }
    EXPECT_EQ(m_messages.size(), 1u);  // the LU report only
}

// A failing factorization: the driver returns -1, stores -1.0 as its time and leaves B alone,
// and the matrix records a breakdown; the next factorization that succeeds clears it. No report.
TEST_F(SparseMatrix, FailurePathsLeaveTheRightHandSideAlone)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const int lu = 1, cholesky = 2, both = 3;
    const std::tuple<const char*, int, std::vector<std::tuple<int, int, double>>> cases[] = {
        {"zero pivot", lu, {{0, 0, 1}, {0, 1, 2}, {1, 0, 2}, {1, 1, 4}}},
        {"zero pivot", cholesky, {{0, 0, 1}, {0, 1, 2}, {1, 1, 4}}},
        {"zero pivot that no update reaches", cholesky, {{0, 0, 0}}},
        {"negative pivot", cholesky, {{0, 0, 4}, {1, 1, -1}}},
        {"NaN pivot", both, {{0, 0, nan}}},
        {"missing diagonal", both, {{0, 0, 4}, {1, 2, 1}, {2, 2, 4}}},
        {"missing row 1 of rows 0 and 2", both, {{0, 0, 4}, {2, 2, 4}}},
        {"cell left of the diagonal", cholesky, {{0, 0, 4}, {1, 0, 1}, {1, 1, 4}}},
        // Nothing right of the first pivot: (1, 0) is left alone and row 1 fails (choice).
        {"pivot row without upper part", lu, {{0, 0, 2}, {1, 0, 1}, {1, 1, 3}}},
        // (0, 3) aims at the missing row 3: row 0 fails before sending anything (choice).
        {"update aimed at a missing row", cholesky, {{0, 0, 4}, {0, 1, 1}, {0, 3, 1}, {1, 1, 4}}},
    };
    for (const auto& [name, drivers, entries] : cases)
        for (const bool byLu : {true, false})
        {
            if (!(drivers & (byLu ? lu : cholesky))) continue;
            SCOPED_TRACE(std::string(name) + (byLu ? " LU" : " Cholesky"));
            CSparseMatrix A = FromTriplets(entries);
            CMatrix B = RandomMatrix(3, 2, 3);
            const CMatrix kept(B);
            double seconds = 0.0;
            EXPECT_EQ(byLu ? A.LU_Solve(&B, seconds) : A.Cholesky_Solve(&B, seconds), -1);
            EXPECT_EQ(seconds, -1.0);
            EXPECT_TRUE(SameBits(B, kept));
            EXPECT_EQ(A.LastFactorFailure(), CSparseMatrix::FactorFailure::Breakdown);
            EXPECT_EQ(CSparseMatrix(A).LastFactorFailure(), CSparseMatrix::FactorFailure::None);
            A.Clear();
            A.Add(0, 0, 2.0);
            EXPECT_EQ(byLu ? A.LU() : A.Cholesky(), 1);
            EXPECT_EQ(A.LastFactorFailure(), CSparseMatrix::FactorFailure::None);
        }
    EXPECT_TRUE(m_messages.empty());
    CSparseMatrix empty;
    CMatrix B = Mat(1, 1, {1});
    double seconds = 0.0;
    EXPECT_EQ(empty.LU() + empty.Cholesky_Solve(&B, seconds), 2);
    EXPECT_EQ(B.m_pData[0], 1.0);
}

// Storage running out during a factorization is told from a breakdown: with the address space
// limited to what the matrices already hold plus 8 MiB, the work space of a million-row
// factorization (tens of bytes per row) cannot be had, and each factorization of both matrix
// classes returns -1 with OutOfMemory recorded (one bit of the exit code each when not).
TEST(SparseFactorFailure, ExhaustedStorageIsOutOfMemory)
{
    ExpectZeroUnderLimit(
        []
        {
            const int n = 1000000;
            CSparseMatrix A;
            CSystSpMat K(n), L(n);
            CSparseMatrix::row* r = nullptr;
            for (int i = 0; i < n; ++i) A.Add(i, i, 1.0, r), K.Add(i, i, 1.0), L.Add(i, i, 1.0);
            if (!limit_address_space(8ull << 20)) return 99;
            const int results[] = {A.Cholesky(), A.LU(), K.Cholesky(), L.LU()};
            const CSparseMatrix* failed[] = {&A, &A, &K, &L};
            int code = 0;
            for (int k = 0; k < 4; ++k)
                if (results[k] != -1 ||
                    failed[k]->LastFactorFailure() != CSparseMatrix::FactorFailure::OutOfMemory)
                    code |= 1 << k;
            return code;
        });
}

// LU by per-column lists, Cholesky row by row and ForwSub modes -1/-2 by column lists, each
// against its plain form on one stream of random patterns: small integers make exact
// cancellations (entries that stop sending part way, stored zeros), weak diagonals make
// failures with updates pending; every fourth LU meets lists with missing rows (the row at
// position k is not row k: the failure at the first such position, with the eliminations of
// the steps before it done in the rows below); the forward substitution also meets row gaps
// and a cell beyond the last row, with one right-hand side and with three. ForwSub and BackwSub,
// modes 1 and 2, on one column give the bits of the same column solved among others (the
// one-column forms keep the entry in a register, the same operations).
TEST_F(SparseMatrix, FastKernelsMatchThePlainFormsBitForBit)
{
    std::mt19937 gen(12345);
    for (int trial = 0; trial < 240; ++trial)
    {
        SCOPED_TRACE(trial);
        const int n = 20 + trial % 40, perRow = 1 + trial % 4;
        const double diag = trial % 3 == 0 ? 3.0 : 9.0;
        CSparseMatrix F =
            RandomSparse(gen, {n, perRow, 1 + trial % 30, false, diag, trial % 4 == 3});
        ExpectSameAsPlain(F, Lu, LuRightLooking);
        CSparseMatrix U =
            RandomSparse(gen, {n, perRow, 1 + trial % 12, true, diag, trial % 5 == 0});
        ExpectSameAsPlain(U, Cholesky, CholeskyRightLooking);

        if (U.Cholesky() != 1) U = RandomSparse(gen, {n, perRow, 6, true, 9.0, true});
        U.Add(n - 1, n + 4, 0.25);  // a column no row index reaches: its cursor stays put
        for (int mode : {-1, -2})
        {
            CMatrix fast = RandomMatrix(n + 6, trial % 2 ? 1 : 3, trial), plain(fast);
            U.ForwSub(&fast, nullptr, mode);
            tarvel::detail::forward_sub_transposed_plain(U, plain, mode);
            EXPECT_TRUE(SameBits(fast, plain));
        }
        for (auto sub : {&CSparseMatrix::ForwSub, &CSparseMatrix::BackwSub})
            for (int mode : {1, 2})  // one column alone: the bits of the same column among others
            {
                CMatrix all = RandomMatrix(n, 3, trial), one(n, 1), column(n, 1);
                for (int i = 0; i < n; ++i) one.m_pData[i] = all(i, 1);
                (F.*sub)(&all, nullptr, mode);
                (F.*sub)(&one, nullptr, mode);
                for (int i = 0; i < n; ++i) column.m_pData[i] = all(i, 1);
                EXPECT_TRUE(SameBits(one, column)) << mode;
            }
    }
}
