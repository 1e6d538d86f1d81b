// The entries of an analysed matrix in the one order the analysis and the numeric factorization
// both use: rows ascending along the row list, cells ascending within a row, only cells on or
// above the diagonal and inside 0 .. n-1 (cells below the diagonal are ignored: the matrix is
// the upper triangle of a symmetric one).
#pragma once

#include <tarvel/sparse/SparseMatrix.h>

#include <algorithm>

namespace tarvel::detail
{

// The order n of the analysed matrix: the larger of its row and column counts (a CSystSpMat
// reports its n for both).
inline int analysed_order(const CSparseMatrix& A) { return std::max(A.GetRows(), A.GetColumns()); }

// Calls visit(i, j, cell) for every stored cell (i, j) with i <= j < n, rows ascending, cells
// ascending: entry t of Symbolic::entryMap is the t-th call.
template <class Visit> void for_each_upper_entry(const CSparseMatrix& A, int n, Visit visit)
{
    for (const CSparseMatrix::row* r = A.GetFirstRow(); r; r = r->m_pNextRow)
    {
        const int i = r->m_nRow;
        if (i < 0 || i >= n) continue;
        for (const CSparseMatrix::cell* c = r->m_pFirstCell; c; c = c->m_pNext)
            if (c->m_nCol >= i && c->m_nCol < n) visit(i, c->m_nCol, c);
    }
}

}  // namespace tarvel::detail
