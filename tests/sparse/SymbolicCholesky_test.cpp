// The symbolic count: the elimination tree and the factor's row counts against the factor that
// Cholesky actually makes, and trees worked by hand.
#include "SparseTesting.h"

namespace
{

// An upper triangle of n rows: perRow couplings per row drawn in i + 1 .. i + band (and, every
// fifth row, one anywhere to the right), values of both signs in 0.5 .. 1.5 so that nothing
// cancels, and a diagonal above the sum of every row's and column's couplings (SPD).
CSystSpMat random_upper(std::mt19937& gen, int n, int perRow, int band)
{
    std::uniform_real_distribution<double> magnitude(0.5, 1.5);
    CSystSpMat K(n);
    for (int i = 0; i < n; ++i)
    {
        K.Add(i, i, 4.0 * (perRow + 2) + n);
        for (int d = 0; i + 1 < n && d < perRow + (i % 5 == 0); ++d)
        {
            const int reach = d < perRow ? std::min(n - 1, i + band) : n - 1;
            const int j = std::uniform_int_distribution<int>(i + 1, reach)(gen);
            K.Add(i, j, gen() % 2 ? magnitude(gen) : -magnitude(gen));
        }
    }
    return K;
}

}  // namespace

// On random patterns (narrow and wide bands, sparse and dense rows) and on the grid in its
// natural order, as a system matrix and as a list matrix, the count, the tree and every row's
// count equal those of the factor Cholesky makes.
TEST_F(SparseMatrix, SymbolicCholeskyMatchesTheFactorCholeskyMakes)
{
    std::mt19937 gen(11);
    const auto check = [](CSparseMatrix& A)  // Cholesky is virtual: the system matrix's own
    {
        const Symbolic before = counted(A);
        ASSERT_EQ(A.Cholesky(), 1);
        EXPECT_EQ(before, made(A));
    };
    const std::tuple<int, int, int> sizes[] = {{1, 0, 1},    {2, 1, 1},    {30, 1, 3},
                                               {60, 2, 10},  {120, 3, 40}, {200, 1, 200},
                                               {300, 4, 15}, {150, 8, 150}};  // n, per row, band
    for (const auto& [n, perRow, band] : sizes)
    {
        CSystSpMat K = random_upper(gen, n, perRow, band);
        check(K);
    }
    Problem grid = MakeProblem(Grid(12), 1, true);
    CSystSpMat K = System(grid.A.GetRows(), CSparseMatrix(grid.A));
    check(K);
    check(grid.A);
}

// Trees worked by hand on 4 x 4 patterns (entries right of the diagonal; every diagonal
// stored): an arrow at the top fills everything, an arrow at the bottom nothing; a chain is its
// own tree; two disjoint pairs make a forest. Entries left of the diagonal, at columns beyond
// the last row and in rows that are not stored are not couplings. Stored zeros count as
// couplings, but Cholesky sends no update from them: the factor holds at most the count.
TEST_F(SparseMatrix, SymbolicCholeskyHandWorkedTrees)
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
        EXPECT_EQ(counted(K),
                  Symbolic(std::accumulate(counts.begin(), counts.end(), 0LL), parent, counts));
    }
    // Rows 1 and 2 not stored: they count their diagonals, and the coupling (0, 3) passes them.
    EXPECT_EQ(counted(FromTriplets({{0, 0, 1}, {0, 3, 1}, {3, 3, 1}})),
              Symbolic(5, {3, -1, -1, -1}, {2, 1, 1, 1}));
    EXPECT_EQ(CholeskyFactorSize(CSparseMatrix()), 0);
    EXPECT_EQ(CholeskyFactorSize(CSystSpMat(3)), 3);

    CSystSpMat K(4);  // row 0's couplings hold 0.0: rows 1 .. 3 receive no fill
    for (int i = 0; i < 4; ++i) K.Add(i, i, 2.0);
    for (int j = 1; j < 4; ++j) K.m_pRowArray[0].Add(j, 0.0);
    EXPECT_EQ(CholeskyFactorSize(K), 10);
    ASSERT_EQ(K.Cholesky(), 1);
    EXPECT_EQ(std::get<0>(made(K)), 7);
}
