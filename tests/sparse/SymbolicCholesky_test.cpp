// CholeskyFactorSize: the elimination tree and the factor's row counts, judged against the
// factor that Cholesky actually makes (its cells counted row by row, the tree read off as each
// row's first entry right of the diagonal), and a few trees worked by hand.
#include "support/GlobalState.h"
#include "support/Problems.h"

#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>
#include <random>

using namespace tarvel_test;
using SymbolicCholesky = GlobalStateTest;

namespace
{

struct Symbolic
{
    LONGLONG total = 0;
    std::vector<int> parent, counts;
};

Symbolic symbolic_of(const CSparseMatrix& A)
{
    Symbolic s;
    s.parent.assign(static_cast<std::size_t>(A.GetRows()), -7);
    s.counts.assign(static_cast<std::size_t>(A.GetRows()), -7);
    s.total = CholeskyFactorSize(A, s.parent.data(), s.counts.data());
    return s;
}

// The same three read off a factor that Cholesky has made.
Symbolic factor_of(const CSparseMatrix& U)
{
    Symbolic s;
    for (const CSparseMatrix::row* r = U.GetFirstRow(); r; r = r->m_pNextRow)
    {
        int cells = 0;
        for (const CSparseMatrix::cell* c = r->m_pFirstCell; c; c = c->m_pNext) ++cells;
        const CSparseMatrix::cell* first = r->m_pFirstCell;
        s.parent.push_back(first && first->m_pNext ? first->m_pNext->m_nCol : -1);
        s.counts.push_back(cells);
        s.total += cells;
    }
    return s;
}

// An upper triangle of n rows: perRow couplings per row drawn in i + 1 .. i + band (and, every
// fifth row, one anywhere to the right), values of both signs away from 0 so that nothing
// cancels, and a diagonal above the sum of every row's and column's couplings (SPD).
CSystSpMat random_upper(std::mt19937& gen, int n, int perRow, int band)
{
    std::uniform_real_distribution<double> magnitude(0.5, 1.5);
    std::vector<std::tuple<int, int, double>> entries;
    for (int i = 0; i < n; ++i)
    {
        std::uniform_int_distribution<int> near(i + 1, std::min(n - 1, i + band));
        for (int d = 0; i + 1 < n && d < perRow + (i % 5 == 0); ++d)
        {
            const int j =
                d < perRow ? near(gen) : std::uniform_int_distribution<int>(i + 1, n - 1)(gen);
            entries.emplace_back(i, j, gen() % 2 ? magnitude(gen) : -magnitude(gen));
        }
        entries.emplace_back(i, i, 4.0 * (perRow + 2) + n);
    }
    CSystSpMat K(n);
    for (const auto& [i, j, v] : entries) K.Add(i, j, v);
    return K;
}

}  // namespace

// On random patterns (narrow and wide bands, sparse and dense rows), on the grid Laplacian in
// the natural order, and on a list matrix, the count, the tree and every row's count equal
// those of the factor Cholesky makes.
TEST_F(SymbolicCholesky, MatchesTheFactorCholeskyMakes)
{
    std::mt19937 gen(11);
    std::vector<CSystSpMat> systems;
    for (const auto& [n, perRow, band] : {std::tuple{1, 0, 1},
                                          {2, 1, 1},
                                          {30, 1, 3},
                                          {60, 2, 10},
                                          {120, 3, 40},
                                          {200, 1, 200},
                                          {300, 4, 15},
                                          {150, 8, 150}})
        systems.push_back(random_upper(gen, n, perRow, band));
    Problem grid = MakeProblem(GridLaplacian(17, 9), 1, true);
    systems.push_back(System(grid.A.GetRows(), CSparseMatrix(grid.A)));
    for (std::size_t t = 0; t < systems.size(); ++t)
    {
        SCOPED_TRACE(t);
        const Symbolic counted = symbolic_of(systems[t]);
        CSystSpMat U(systems[t]);
        ASSERT_EQ(U.Cholesky(), 1);
        const Symbolic made = factor_of(U);
        EXPECT_EQ(counted.total, made.total);
        EXPECT_EQ(counted.parent, made.parent);
        EXPECT_EQ(counted.counts, made.counts);
    }
    const Symbolic list = symbolic_of(grid.A);  // the same through the row list
    ASSERT_EQ(grid.A.Cholesky(), 1);
    EXPECT_EQ(list.counts, factor_of(grid.A).counts);
}

// Trees worked by hand on 4 x 4 patterns (entries right of the diagonal; every diagonal
// stored): an arrow at the top fills everything, an arrow at the bottom nothing; a chain is its
// own tree; two disjoint pairs make a forest. Entries left of the diagonal, at columns beyond
// the last row and in rows that are not stored are not couplings; an empty matrix has none.
TEST_F(SymbolicCholesky, HandWorkedTrees)
{
    const std::tuple<const char*, std::vector<std::pair<int, int>>, std::vector<int>,
                     std::vector<int>>
        cases[] = {
            {"arrow at the top", {{0, 1}, {0, 2}, {0, 3}}, {1, 2, 3, -1}, {4, 3, 2, 1}},
            {"arrow at the bottom", {{0, 3}, {1, 3}, {2, 3}}, {3, 3, 3, -1}, {2, 2, 2, 1}},
            {"chain", {{0, 1}, {1, 2}, {2, 3}}, {1, 2, 3, -1}, {2, 2, 2, 1}},
            {"two pairs", {{0, 2}, {1, 3}}, {2, 3, -1, -1}, {2, 2, 1, 1}},
            {"fill joins two branches", {{0, 2}, {1, 2}, {0, 3}}, {2, 2, 3, -1}, {3, 2, 2, 1}},
            {"left of the diagonal, beyond the last row",
             {{2, 0}, {3, 1}, {1, 9}},
             {-1, -1, -1, -1},
             {1, 1, 1, 1}},
        };
    for (const auto& [name, couplings, parent, counts] : cases)
    {
        SCOPED_TRACE(name);
        CSystSpMat K(4);
        for (int i = 0; i < 4; ++i) K.Add(i, i, 1.0);
        for (const auto& [i, j] : couplings) K.m_pRowArray[i].Add(j, 0.5);  // even outside
        const Symbolic s = symbolic_of(K);
        EXPECT_EQ(s.parent, parent);
        EXPECT_EQ(s.counts, counts);
        LONGLONG total = 0;
        for (int c : counts) total += c;
        EXPECT_EQ(s.total, total);
    }
    // Rows 1 and 2 not stored: they count their diagonals, and the coupling (0, 3) passes them.
    const Symbolic gaps = symbolic_of(FromTriplets({{0, 0, 1}, {0, 3, 1}, {3, 3, 1}}));
    EXPECT_EQ(gaps.parent, (std::vector<int>{3, -1, -1, -1}));
    EXPECT_EQ(gaps.counts, (std::vector<int>{2, 1, 1, 1}));
    EXPECT_EQ(CholeskyFactorSize(CSparseMatrix()), 0);
    EXPECT_EQ(CholeskyFactorSize(CSystSpMat(3)), 3);
}

// Stored zeros count as couplings, but Cholesky sends no update from them: the factor holds at
// most the count. Here row 0's couplings hold 0.0, so rows 1 .. 3 receive no fill.
TEST_F(SymbolicCholesky, StoredZerosBoundTheFactorFromAbove)
{
    CSystSpMat K(4);
    for (int i = 0; i < 4; ++i) K.Add(i, i, 2.0);
    for (int j = 1; j < 4; ++j) K.m_pRowArray[0].Add(j, 0.0);
    EXPECT_EQ(CholeskyFactorSize(K), 10);
    ASSERT_EQ(K.Cholesky(), 1);
    EXPECT_EQ(factor_of(K).total, 7);
}
