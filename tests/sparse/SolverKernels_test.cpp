// The memory layout the fast kernels rely on, and their one-column forms: the cell pool hands
// out released slots lowest first and chains of cells in consecutive slots; a factorization
// leaves each row of the factor with fill-in as one run of consecutive cells; the one-column
// substitutions give the bits of the general ones. (The factorizations are compared with their
// plain forms in SparseDirect_test.cpp.)
#include "support/GlobalState.h"
#include "support/Problems.h"

#include <tarvel/Tarvel.h>
#include <tarvel/sparse/detail/CellPool.h>

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace tarvel_test;
using SolverKernels = GlobalStateTest;
using Cell = CSparseMatrix::cell;

// Slots released in any order come back lowest first (when the pools are in use; sanitizer
// builds take every cell from the heap); a chain is consecutive cells, 0.0 at column 0 (a
// run: consecutive cells, only linked).
TEST_F(SolverKernels, PoolReusesSlotsInAddressOrderAndChainsAreRuns)
{
    const bool pooled = tarvel::detail::cells_reused_in_address_order();
    for (const bool cleared : {true, false})
    {
        Cell* chain = cleared ? tarvel::detail::new_cell_chain(5) : tarvel::detail::new_cell_run(5);
        ASSERT_NE(chain, nullptr);
        int length = 0;
        for (Cell* c = chain; c; c = c->m_pNext, ++length)
            EXPECT_TRUE((!cleared || (c->m_dValue == 0.0 && c->m_nCol == 0)) &&
                        (!pooled || !c->m_pNext || c->m_pNext == c + 1));
        EXPECT_EQ(length, 5);
        while (chain) delete std::exchange(chain, chain->m_pNext);
    }
    EXPECT_EQ(tarvel::detail::new_cell_chain(0), nullptr);
    EXPECT_EQ(tarvel::detail::new_cell_run(0), nullptr);
    if (!pooled) return;

    std::vector<Cell*> cells;
    for (int k = 0; k < 2000; ++k) cells.push_back(new Cell{nullptr, 1.0, k});
    std::vector<Cell*> sorted(cells);
    std::sort(sorted.begin(), sorted.end());
    std::shuffle(cells.begin(), cells.end(), std::mt19937(7));
    for (Cell* c : cells) delete c;
    // The slots just released are the lowest free ones of their blocks: taken again in address
    // order within each block (the blocks in the order the thread made them).
    std::vector<Cell*> again;
    for (int k = 0; k < 2000; ++k) again.push_back(new Cell{nullptr, 2.0, k});
    int descents = 0;
    for (std::size_t k = 1; k < again.size(); ++k) descents += again[k] < again[k - 1];
    EXPECT_LE(descents, 1);
    std::vector<Cell*> sortedAgain(again);
    std::sort(sortedAgain.begin(), sortedAgain.end());
    EXPECT_EQ(sortedAgain, sorted);
    for (Cell* c : again) delete c;
}

// On a 2D grid (fill-in on every row of the band), each factor row's cells from its diagonal on
// lie in consecutive slots, and the pattern reuse of the system matrix keeps working after the
// factorization: a same-size Allocate keeps every cell of the factor, zeroed.
TEST_F(SolverKernels, FactorRowsAreRunsAndThePatternIsReused)
{
    const int n = 12 * 12;
    CVirtMat::m_bSym = true;  // the upper triangle
    CSystSpMat K(n);
    GridLaplacian(12, 12).AssembleInto(K);
    ASSERT_EQ(K.Cholesky(), 1);
    std::vector<const Cell*> cells;
    for (const CSparseMatrix::row* r = K.GetFirstRow(); r; r = r->m_pNextRow)
    {
        const Cell* diag = r->m_pFirstCell;
        ASSERT_NE(diag, nullptr);
        EXPECT_EQ(diag->m_nCol, r->m_nRow);
        int count = 0;
        for (const Cell* c = diag; c; c = c->m_pNext) cells.push_back(c), ++count;
        // More than the three assembled cells: the row received fill-in and was remade.
        if (tarvel::detail::cells_reused_in_address_order() && count > 3)
        {
            for (const Cell* c = diag; c->m_pNext; c = c->m_pNext)
                EXPECT_EQ(c->m_pNext, c + 1) << r->m_nRow;
        }
    }
    const std::string pattern = Structure(K);
    int dims[] = {n};
    ASSERT_TRUE(K.Allocate(dims, 1));
    std::vector<const Cell*> kept;
    for (const CSparseMatrix::row* r = K.GetFirstRow(); r; r = r->m_pNextRow)
        for (const Cell* c = r->m_pFirstCell; c; c = c->m_pNext) kept.push_back(c);
    EXPECT_EQ(kept, cells);
    EXPECT_EQ(K.NumZeros(0.0), static_cast<int>(cells.size()));  // every one exactly 0.0
}

// ForwSub and BackwSub, modes 1 and 2, on one column give the bits of the same column solved
// among others (the one-column forms keep the entry in a register, the same operations).
TEST_F(SolverKernels, OneColumnSubstitutionsMatchTheGeneralForm)
{
    std::mt19937 gen(99);
    for (int trial = 0; trial < 20; ++trial)
    {
        SCOPED_TRACE(trial);
        const int n = 15 + trial;
        CSparseMatrix A = RandomSparse(gen, {n, 3, 6, false, 9.0, false});
        const auto column1 = [n](const CMatrix& all)
        {
            CMatrix one(n, 1);
            for (int i = 0; i < n; ++i) one.m_pData[i] = all.m_pData[3 * i + 1];
            return one;
        };
        for (int mode : {1, 2})
            for (auto sub : {&CSparseMatrix::ForwSub, &CSparseMatrix::BackwSub})
            {
                CMatrix all = RandomMatrix(n, 3, static_cast<unsigned>(trial)), one = column1(all);
                (A.*sub)(&all, nullptr, mode);
                (A.*sub)(&one, nullptr, mode);
                EXPECT_TRUE(SameBits(one, column1(all))) << mode;
            }
    }
}
