// Sparse LU without pivoting, in place on the row lists, and the LU_Solve driver.
//
// Row-oriented elimination (Doolittle form, one cursor per row): at step k the multiplier of
// every later row r holding an entry in column k is l_rk = a_rk / u_kk, and row r receives
// -l_rk * u_kj for every j right of the diagonal of row k, fill-in included:
//   A = L U,  L unit lower (multipliers left of the diagonal), U upper (diagonal and right).
// Reference: G. H. Golub, C. F. Van Loan, Matrix Computations, 4th ed., sec. 3.2.
//
// The textbook loop visits every later row at every step (quadratic in the rows); the
// member keeps, per column, the list of rows whose cursor stands in that column, which gives
// the same updates (each row's update depends only on that row and the pivot row).
#include <tarvel/core/Matrix.h>
#include <tarvel/platform/Clock.h>
#include <tarvel/platform/MessageBox.h>
#include <tarvel/platform/detail/ReportTime.h>
#include <tarvel/sparse/SparseMatrix.h>
#include <tarvel/sparse/detail/SparseDetail.h>

#include <cmath>
#include <cstddef>

using tarvel::detail::Cell;
using tarvel::detail::Row;
using tarvel::detail::try_alloc;

namespace
{

// Rows of the list by position; null when the array cannot be obtained.
std::unique_ptr<Row* []> rows_by_position(Row* first, int& n)
{
    n = 0;
    for (Row* r = first; r; r = r->m_pNextRow) ++n;
    auto rows = try_alloc<Row*>(static_cast<std::size_t>(n));
    if (rows)
    {
        int k = 0;
        for (Row* r = first; r; r = r->m_pNextRow) rows[k++] = r;
    }
    return rows;
}

// Step-2 test of pivot row k: its index is k, its cursor stands on its diagonal, and the
// pivot is neither 0.0 nor NaN.
bool pivot_is_usable(const Row& rk, const Cell* ck, int k)
{
    return rk.m_nRow == k && ck && ck->m_nCol == k && ck->m_dValue != 0.0 &&
           !std::isnan(ck->m_dValue);
}

// Eliminates column k from a later row whose cursor c stands on column k: l = c / d is stored
// in c and -(u_km * l) is added at column m for every cell of uk (the cells of the pivot row
// right of its diagonal), by sorted insertion walking forward from c. A cursor holding 0.0
// is only passed. Returns the cell after c, the row's new cursor.
Cell* eliminate(Cell* c, const Cell* uk, double d)
{
    if (c->m_dValue == 0.0) return c->m_pNext;
    const double l = c->m_dValue / d;
    c->m_dValue = l;
    Cell* prev = c;
    for (const Cell* u = uk; u; u = u->m_pNext)
    {
        const int m = u->m_nCol;
        const double v = -(u->m_dValue * l);
        Cell* p = prev->m_pNext;
        while (p && p->m_nCol < m)
        {
            prev = p;
            p = p->m_pNext;
        }
        if (p && p->m_nCol == m)
        {
            p->m_dValue += v;
            prev = p;
        }
        else
        {
            Cell* made = new Cell{p, v, m};  // fill-in
            prev->m_pNext = made;
            prev = made;
        }
    }
    return c->m_pNext;
}

int lu_with_column_lists(Row* first);

}  // namespace

// LU(): A = L U in place; 1 on success (an empty matrix included), -1 when row k of the list
// does not have index k, lacks its diagonal at its cursor, or has a pivot of 0.0 or NaN.
// Cursors are kept by list position (the same as by index whenever the factorization
// succeeds). Nothing is counted in m_Flops.
int CSparseMatrix::LU()
{
    try
    {
        return lu_with_column_lists(m_pFirstRow);
    }
    catch (const std::bad_alloc&)  // a fill-in cell: reported as a failure
    {
        return -1;
    }
}

namespace
{

int lu_with_column_lists(Row* first)
{
    // -- 1. Rows by position, every cursor on its row's first cell --
    int n = 0;
    auto rows = rows_by_position(first, n);
    auto cursor = try_alloc<Cell*>(static_cast<std::size_t>(n));
    auto waiting = try_alloc<int>(static_cast<std::size_t>(n));  // head of column k's list
    auto nextWaiting = try_alloc<int>(static_cast<std::size_t>(n));
    if (!rows || !cursor || !waiting || !nextWaiting) return -1;

    // A row r waits in column c's list while its cursor stands there and c < r: step c will
    // eliminate it. A cursor at or right of the row's own position is never visited again.
    auto file = [&](int r)
    {
        const Cell* c = cursor[r];
        if (c && c->m_nCol >= 0 && c->m_nCol < r)
        {
            nextWaiting[r] = waiting[c->m_nCol];
            waiting[c->m_nCol] = r;
        }
    };
    for (int k = 0; k < n; ++k) waiting[k] = -1;
    for (int r = 0; r < n; ++r)
    {
        cursor[r] = rows[r]->m_pFirstCell;
        file(r);
    }

    for (int k = 0; k < n; ++k)
    {
        // -- 2. The pivot --
        Cell* ck = cursor[k];
        if (!pivot_is_usable(*rows[k], ck, k)) return -1;
        const Cell* uk = ck->m_pNext;
        if (!uk) continue;  // nothing right of the diagonal: column k is left alone
        // -- 3. Eliminate column k from the rows waiting in it --
        const double d = ck->m_dValue;
        int r = waiting[k];
        waiting[k] = -1;
        while (r >= 0)
        {
            const int after = nextWaiting[r];
            cursor[r] = eliminate(cursor[r], uk, d);
            file(r);
            r = after;
        }
    }
    return 1;
}

}  // namespace

int tarvel::detail::lu_plain(CSparseMatrix& A)
{
    int n = 0;
    auto rows = rows_by_position(A.m_pFirstRow, n);
    auto cursor = try_alloc<Cell*>(static_cast<std::size_t>(n));
    if (!rows || !cursor) return -1;
    for (int r = 0; r < n; ++r) cursor[r] = rows[r]->m_pFirstCell;
    for (int k = 0; k < n; ++k)
    {
        Cell* ck = cursor[k];
        if (!pivot_is_usable(*rows[k], ck, k)) return -1;
        const Cell* uk = ck->m_pNext;
        if (!uk) continue;
        for (int r = k + 1; r < n; ++r)
            if (cursor[r] && cursor[r]->m_nCol == k)
                cursor[r] = eliminate(cursor[r], uk, ck->m_dValue);
    }
    return 1;
}

// LU_Solve(B, seconds): LU, ForwSub(B, null, 1), BackwSub(B, null, 2), all virtual; the
// phase times are reported in a message box. On a failed factorization seconds becomes -1.0,
// B is untouched and LU's result is returned.
int CSparseMatrix::LU_Solve(CVirtMat* B, double& seconds)
{
    seconds = 1000.0;  // clock ticks per second until the elapsed time is known
    const long t0 = TarvelClock();
    const int status = LU();
    if (status != 1)
    {
        seconds = -1.0;
        return status;
    }
    const long t1 = TarvelClock();
    ForwSub(B, nullptr, 1);
    const long t2 = TarvelClock();
    BackwSub(B, nullptr, 2);
    const long t3 = TarvelClock();
    seconds = static_cast<double>(t3 - t0) / 1000.0;

    using tarvel::detail::report_time;
    const auto factor = report_time(static_cast<double>(t1 - t0) / 1000.0);
    const auto forward = report_time(static_cast<double>(t2 - t1) / 1000.0);
    const auto backward = report_time(static_cast<double>(t3 - t2) / 1000.0);
    CString text;
    text.Format("Used time:\r\n Factorizing  :   %u m %2.2f s\r\n Forw. subst. :   %u m %2.2f "
                "s\r\n Backw. subst.:   %u m %2.2f s\r\n",
                factor.minutes, static_cast<double>(factor.seconds), forward.minutes,
                static_cast<double>(forward.seconds), backward.minutes,
                static_cast<double>(backward.seconds));
    AfxMessageBox(text, MB_OK);
    return 1;
}
