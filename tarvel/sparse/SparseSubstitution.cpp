// Forward and backward substitution with the factors that LU and Cholesky leave in the
// cells, and the diagonal scaling DiagMult. B is the dense matrix of right-hand sides (one
// equation per row, one right-hand side per column), overwritten in place; all p columns are
// processed together, element by element along B's contiguous rows.
#include <tarvel/core/Matrix.h>
#include <tarvel/platform/detail/Report.h>
#include <tarvel/sparse/SparseMatrix.h>
#include <tarvel/sparse/detail/CellWalk.h>
#include <tarvel/sparse/detail/DenseRhs.h>
#include <tarvel/sparse/detail/ListNodes.h>
#include <tarvel/sparse/detail/SparseKernels.h>
#include <tarvel/sparse/detail/WorkStorage.h>

#include <algorithm>
#include <cstddef>
#include <limits>
#include <vector>

using tarvel::detail::Cell;
using tarvel::detail::dense_rhs;
using tarvel::detail::Row;
using tarvel::detail::SecondsArgument;
using tarvel::detail::try_alloc;

namespace
{

// b_i -= a * b_j over the p right-hand sides.
inline void subtract_row(double* bi, const double* bj, double a, int p)
{
    for (int t = 0; t < p; ++t) bi[t] -= a * bj[t];
}

inline double* row_of(CMatrix& B, long i, int p) { return B.m_pData + i * p; }

// The rows of a factor lie in memory one after the other, each a run of consecutive cells (the
// factorizations make them so), and the backward substitution visits them from the last to the
// first, which the processor's own prefetching does not follow: before `current` is walked, ask
// for the cells of `next` when they lie just below it.
inline void prefetch_row_below(const Row& next, const Row& current)
{
    const char* from = reinterpret_cast<const char*>(next.m_pFirstCell);
    const char* to = reinterpret_cast<const char*>(current.m_pFirstCell);
    if (!from || !to || from >= to || to - from > 64 * 1024) return;
    for (; from < to; from += 64) __builtin_prefetch(from);
}

// The first cell of r at or right of its diagonal (the diagonal of a factor), or null.
inline Cell* first_at_or_right_of_diagonal(Row& r)
{
    Cell* c = r.m_pFirstCell;
    while (c && c->m_nCol < r.m_nRow) c = c->m_pNext;
    return c;
}

// Rows by list position.
std::vector<Row*> rows_of(Row* first)
{
    std::vector<Row*> rows;
    for (Row* r = first; r; r = r->m_pNextRow) rows.push_back(r);
    return rows;
}

// Forward substitution with the unit lower factor held as the transpose of the part right of
// each row's first cell (modes -1 and -2), in its direct form:
//   for each row position i (index r_i), in increasing k < i: when cursor[k] stands on column
//   r_i, b_{r_i} -= a * b_k (b_k the row at position k) and cursor[k] moves on;
//   mode -2 then divides b_{r_i} by the value of row i's first cell.
// Instead of scanning every earlier cursor for every row, each row k pushes its entries when
// its turn comes (column-oriented substitution): row k's cursor meets column c at the position
// i of the row of index c when i > k, and only then moves on, so row k sends its entries in
// order up to the first one whose column names no later row (there its cursor stays for good).
// When every index is at least 0, indices never fall below positions, so b_k, the source, is
// final at position k (no later position targets it), and each b_{r_i} receives the same
// subtractions in the same increasing k, then the division, as by the scan: the same bits.
// A list with negative indices is left to the scan (no factor has them).
void forward_sub_transposed(Row* first, CMatrix& B, int p, int mode)
{
    const std::vector<Row*> rows = rows_of(first);
    const int n = static_cast<int>(rows.size());
    if (n == 0) return;
    if (rows.front()->m_nRow < 0)
    {
        tarvel::detail::forward_sub_transposed_plain(rows, B, mode);
        return;
    }
    // Row k has index k everywhere (a factor of a matrix without gaps): an entry names a later
    // row exactly when k < col < n, and the source b_k, which the division of mode -2 has made
    // final, is never among the targets; with one right-hand side it stays in a register.
    if (p == 1 && rows.back()->m_nRow == n - 1)
    {
        double* b = B.m_pData;
        for (int k = 0; k < n; ++k)
        {
            const Cell* head = rows[static_cast<std::size_t>(k)]->m_pFirstCell;
            if (!head) continue;
            if (mode == -2) b[k] /= head->m_dValue;
            const double bk = b[k];
            for (const Cell* c = head->m_pNext; c; c = tarvel::detail::next_cell(c))
            {
                const int col = c->m_nCol;
                if (col <= k || col >= n) break;
                b[col] -= c->m_dValue * bk;
            }
        }
        return;
    }
    // Position of the row of each index (R1: ascending), -1 where no row has it.
    const int maxRow = rows.back()->m_nRow;
    std::vector<int> positionOf(static_cast<std::size_t>(maxRow) + 1, -1);
    for (int i = 0; i < n; ++i)
        positionOf[static_cast<std::size_t>(rows[static_cast<std::size_t>(i)]->m_nRow)] = i;
    for (int k = 0; k < n; ++k)
    {
        const Row* rk = rows[static_cast<std::size_t>(k)];
        const Cell* head = rk->m_pFirstCell;
        if (mode == -2 && head)
        {
            double* bi = row_of(B, rk->m_nRow, p);
            for (int t = 0; t < p; ++t) bi[t] /= head->m_dValue;
        }
        if (!head) continue;
        const double* bk = row_of(B, k, p);
        for (const Cell* c = head->m_pNext; c; c = c->m_pNext)
        {
            const int col = c->m_nCol;
            if (col < 0 || col > maxRow || positionOf[static_cast<std::size_t>(col)] <= k) break;
            double* bc = row_of(B, col, p);
            if (p == 1)
                bc[0] -= c->m_dValue * bk[0];
            else
                subtract_row(bc, bk, c->m_dValue, p);
        }
    }
}

}  // namespace

void tarvel::detail::forward_sub_transposed_plain(const CSparseMatrix& A, CMatrix& B, int mode)
{
    forward_sub_transposed_plain(rows_of(const_cast<Row*>(A.GetFirstRow())), B, mode);
}

void tarvel::detail::forward_sub_transposed_plain(const std::vector<Row*>& rows, CMatrix& B,
                                                  int mode)
{
    const int p = B.GetColumns();
    const int n = static_cast<int>(rows.size());
    std::vector<const Cell*> cursor(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k)
    {
        const Cell* head = rows[static_cast<std::size_t>(k)]->m_pFirstCell;
        cursor[static_cast<std::size_t>(k)] = head ? head->m_pNext : nullptr;
    }
    for (int i = 0; i < n; ++i)
    {
        const int r = rows[static_cast<std::size_t>(i)]->m_nRow;
        if (r < 0) continue;
        double* bi = row_of(B, r, p);
        for (int k = 0; k < i; ++k)
        {
            const Cell* c = cursor[static_cast<std::size_t>(k)];
            if (c && c->m_nCol == r)
            {
                subtract_row(bi, row_of(B, k, p), c->m_dValue, p);
                cursor[static_cast<std::size_t>(k)] = c->m_pNext;
            }
        }
        const Cell* head = rows[static_cast<std::size_t>(i)]->m_pFirstCell;
        if (mode == -2 && head)
            for (int t = 0; t < p; ++t) bi[t] /= head->m_dValue;
    }
}

// ForwSub(B, seconds, mode):
//  mode 1: L y = b with L unit lower held left of the diagonal (as LU leaves it): for each
//          row r, b_r -= a_rj * b_j over its cells left of the diagonal, in order;
//  mode 2: as mode 1, then b_r /= the row's first cell at or right of the diagonal;
//  modes -1, -2: the transposed unit upper factor (as Cholesky leaves it), see above.
// A B without columns returns at once, without touching the time.
void CSparseMatrix::ForwSub(CVirtMat* Bv, double* seconds, int mode)
{
    CMatrix* B = dense_rhs(Bv);
    if (!B) return;
    const int p = B->GetColumns();
    if (p == 0) return;
    SecondsArgument timer(seconds);
    if (mode == 1 || mode == 2)
    {
        for (row* r = m_pFirstRow; r; r = r->m_pNextRow)
        {
            double* bi = row_of(*B, r->m_nRow, p);
            cell* c = r->m_pFirstCell;
            if (p == 1)  // b_r kept in a register: the same subtractions in the same order
            {
                double x = bi[0];
                for (; c && c->m_nCol < r->m_nRow; c = c->m_pNext)
                    x -= c->m_dValue * B->m_pData[c->m_nCol];
                if (mode == 2 && c) x /= c->m_dValue;
                bi[0] = x;
                continue;
            }
            for (; c && c->m_nCol < r->m_nRow; c = c->m_pNext)
                subtract_row(bi, row_of(*B, c->m_nCol, p), c->m_dValue, p);
            if (mode == 2 && c)
                for (int t = 0; t < p; ++t) bi[t] /= c->m_dValue;
        }
    }
    else if (mode == -1 || mode == -2)
    {
        forward_sub_transposed(m_pFirstRow, *B, p, mode);
    }
}

// BackwSub(B, seconds, mode): U x = y with the rows visited from the last to the first (the
// list is reversed in place through the virtual ReverseRows, and restored):
//   x_r = (y_r - sum_{j > r} a_rj x_j) [/ a_rr in mode 2]
// over the cells after the row's first cell at or right of its diagonal. Mode 1 is the unit
// upper factor of Cholesky, mode 2 the upper factor of LU. Each column of B gets the same
// operations as when the columns are processed one after the other.
void CSparseMatrix::BackwSub(CVirtMat* Bv, double* seconds, int mode)
{
    SecondsArgument timer(seconds);
    ReverseRows();
    CMatrix* B = dense_rhs(Bv);
    if (B && (mode == 1 || mode == 2))
    {
        const int p = B->GetColumns();
        for (row* r = m_pFirstRow; r && p > 0; r = r->m_pNextRow)
        {
            if (const row* next = r->m_pNextRow) prefetch_row_below(*next, *r);
            const cell* diag = first_at_or_right_of_diagonal(*r);
            if (!diag) continue;
            double* bi = row_of(*B, r->m_nRow, p);
            if (p == 1)  // x kept in a register
            {
                double x = bi[0];
                for (const cell* c = diag->m_pNext; c; c = tarvel::detail::next_cell(c))
                    x -= c->m_dValue * B->m_pData[c->m_nCol];
                if (mode == 2) x /= diag->m_dValue;
                bi[0] = x;
                continue;
            }
            for (const cell* c = diag->m_pNext; c; c = c->m_pNext)
                subtract_row(bi, row_of(*B, c->m_nCol, p), c->m_dValue, p);
            if (mode == 2)
                for (int t = 0; t < p; ++t) bi[t] /= diag->m_dValue;
        }
    }
    ReverseRows();
}

// DiagMult(B, seconds, mode), with the diagonal cell of row r being its first cell at or right
// of the diagonal when that cell's column is r:
//  mode  1: a_rr *= b_r0;  mode -1: a_rr /= b_r0  (rows without a diagonal: nothing);
//  mode  2: b_r *= a_rr;   mode -2: b_r /= a_rr   (rows without one: b_r = 0.0, resp. +inf).
// Rows that are not stored leave B alone. Nothing is counted.
void CSparseMatrix::DiagMult(CVirtMat* Bv, double* seconds, int mode)
{
    CMatrix* B = dense_rhs(Bv);
    if (!B) return;
    const int p = B->GetColumns();
    if (p == 0) return;
    SecondsArgument timer(seconds);
    for (row* r = m_pFirstRow; r; r = r->m_pNextRow)
    {
        cell* c = first_at_or_right_of_diagonal(*r);
        cell* diag = (c && c->m_nCol == r->m_nRow) ? c : nullptr;
        double* bi = row_of(*B, r->m_nRow, p);
        switch (mode)
        {
        case 1:
            if (diag) diag->m_dValue *= bi[0];
            break;
        case -1:
            if (diag) diag->m_dValue /= bi[0];
            break;
        case 2:
            for (int t = 0; t < p; ++t) bi[t] = diag ? bi[t] * diag->m_dValue : 0.0;
            break;
        case -2:
            for (int t = 0; t < p; ++t)
                bi[t] = diag ? bi[t] / diag->m_dValue : std::numeric_limits<double>::infinity();
            break;
        default:
            break;
        }
    }
}
