// Mirror, AAT and the shape tests: hand cases, dense references, the column-list AAT against
// the every-pair merge, and IsSym against a direct transcription of its rule.
#include "support/Problems.h"

#include <tarvel/Tarvel.h>
#include <tarvel/sparse/detail/SparseDetail.h>

#include <gtest/gtest.h>
#include <random>

using namespace tarvel_test;

namespace
{

// A random sparse matrix with entries drawn from {0, 1, 2, -1.5} (stored zeros included) and
// row gaps, for the structural operations.
CSparseMatrix RandomPattern(int rows, int cols, int perRow, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> col(0, cols - 1);
    std::uniform_int_distribution<int> pick(0, 3);
    const double values[] = {0.0, 1.0, 2.0, -1.5};
    CSparseMatrix S;
    for (int i = 0; i < rows; ++i)
    {
        if (pick(gen) == 0) continue;  // a row that is not stored
        for (int t = 0; t < perRow; ++t)
        {
            CSparseMatrix::cell* c = nullptr;
            S.Add(i, col(gen), values[pick(gen)], c);
        }
    }
    return S;
}

// The rule of IsSym, directly: every column i + 1 .. n - 1 of every stored row.
bool IsSymByRule(CSparseMatrix& S)
{
    const int n = S.GetRows();
    for (CSparseMatrix::row* r = S.GetFirstRow(); r; r = r->m_pNextRow)
        for (int c = r->m_nRow + 1; c < n; ++c)
        {
            const double* a = r->GetValue(c);
            const double* b = S.GetValue(c, r->m_nRow);
            if (a && (!b || !(*a == *b))) return false;
            if (!a && b && *b != 0.0) return false;
        }
    return true;
}

}  // namespace

TEST(SparseMirror, RebuildsTheFullMatrixFromItsUpperTriangle)
{
    Problem full = MakeProblem(PoissonQ4(6, 5), 1, false);
    Problem upper = MakeProblem(PoissonQ4(6, 5), 1, true);
    EXPECT_GE(upper.A.Mirror(1.0), 0.0);
    EXPECT_TRUE(SameBits(upper.A, full.A));

    CSparseMatrix S = FromTriplets({{0, 0, 1}, {0, 2, 3}, {1, 0, 9}, {1, 1, 2}, {2, 0, 5}});
    S.Mirror(-2.0);  // row 2 held only (2, 0): deleted, then rebuilt from (0, 2)
    EXPECT_EQ(Structure(S), "0: 0=1 2=3; 1: 1=2; 2: 0=-6");
}

TEST(SparseAAT, HandCaseDenseReferenceAndEveryPairMerge)
{
    CSparseMatrix A = FromTriplets({{0, 0, 1}, {0, 1, 2}, {1, 1, 3}});
    A.AAT();
    EXPECT_EQ(Structure(A), "0: 0=5 1=6; 1: 0=6 1=9");

    for (unsigned seed = 1; seed <= 10; ++seed)
    {
        SCOPED_TRACE(seed);
        CSparseMatrix S = RandomPattern(40, 25, 1 + seed % 4, seed);
        CSparseMatrix fast(S);
        CSparseMatrix plain(S);
        fast.AAT();
        tarvel::detail::aat_plain(plain);
        EXPECT_TRUE(SameBits(fast, plain));
        EXPECT_EQ(fast.m_nAllocRows, S.m_nAllocRows);

        // Dense reference (the values are small integers and halves: exact).
        CMatrix D;
        D.UnSparse(&S);
        const int n = D.GetRows(), m = D.GetColumns();
        CMatrix P;
        P.UnSparse(&fast);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j)
            {
                double s = 0.0;
                for (int c = 0; c < m; ++c) s += D(i, c) * D(j, c);
                const double got = (i < P.GetRows() && j < P.GetColumns()) ? P(i, j) : 0.0;
                EXPECT_EQ(got, s) << i << "," << j;
            }
    }
}

TEST(SparseShape, IsSymEdgeCases)
{
    CSparseMatrix lowerZero = FromTriplets({{0, 0, 1}, {1, 0, 0.0}, {1, 1, 1}});
    EXPECT_TRUE(lowerZero.IsSym());
    CSparseMatrix upperZero = FromTriplets({{0, 0, 1}, {0, 1, 0.0}, {1, 1, 1}});
    EXPECT_FALSE(upperZero.IsSym());
    CSparseMatrix onlyRow0 = FromTriplets({{0, 0, 1}, {0, 1, 5}});
    EXPECT_TRUE(onlyRow0.IsSym());  // GetRows is 1: column 1 is not examined
    CSparseMatrix nan = FromTriplets({{0, 1, std::nan("")}, {1, 0, std::nan("")}});
    EXPECT_FALSE(nan.IsSym());
    CSparseMatrix empty;
    EXPECT_TRUE(empty.IsSym());

    for (unsigned seed = 1; seed <= 200; ++seed)
    {
        CSparseMatrix S = RandomPattern(8, 8, 3, seed);
        if (seed % 3 == 0)
        {
            CSparseMatrix T(S);
            T.Mirror(1.0);  // symmetric, except where rows were not stored
            S = std::move(T);
        }
        EXPECT_EQ(S.IsSym(), IsSymByRule(S)) << Structure(S);
    }
}

TEST(SparseShape, IsUpperLooksAtFirstCellsIsLowerAtAll)
{
    CSparseMatrix S = FromTriplets({{0, 0, 1}, {1, 1, 1}, {1, 2, 1}});
    EXPECT_TRUE(S.IsUpper());
    EXPECT_FALSE(S.IsLower(nullptr));
    S.Add(2, 0, 1.0);
    EXPECT_FALSE(S.IsUpper());
    CSparseMatrix L = FromTriplets({{0, 0, 1}, {2, 0, 1}, {2, 2, 1}});
    double seconds = 5.0;
    EXPECT_TRUE(L.IsLower(&seconds));
    EXPECT_LT(seconds, 5.0);
    EXPECT_FALSE(L.IsUpper());
}
