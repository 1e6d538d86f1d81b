// Sparse LU without pivoting, in place on the row lists, and the LU_Solve driver.
//
// Row-oriented elimination (Doolittle form, one cursor per row): at step k the multiplier of
// every later row r holding an entry in column k is l_rk = a_rk / u_kk, and row r receives
// -l_rk * u_kj for every j right of the diagonal of row k, fill-in included:
//   A = L U,  L unit lower (multipliers left of the diagonal), U upper (diagonal and right).
// Reference: G. H. Golub, C. F. Van Loan, Matrix Computations, 4th ed., sec. 3.2.
//
// The textbook loop visits every later row at every step (quadratic in the rows); the member
// takes the rows one at a time instead (up-looking, below), each row's eliminations depending
// only on that row and the final pivot rows, which gives the same updates in the same order.
// The system matrix's LU runs the same kernel on its array's rows.
#include <tarvel/core/Matrix.h>
#include <tarvel/platform/Assert.h>
#include <tarvel/platform/Clock.h>
#include <tarvel/platform/detail/Report.h>
#include <tarvel/sparse/SparseMatrix.h>
#include <tarvel/sparse/detail/CellPool.h>
#include <tarvel/sparse/detail/ListNodes.h>
#include <tarvel/sparse/detail/ListOrder.h>
#include <tarvel/sparse/detail/SparseKernels.h>
#include <tarvel/sparse/detail/ValueTests.h>
#include <tarvel/sparse/detail/WorkStorage.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

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

}  // namespace

// LU(): A = L U in place; 1 on success (an empty matrix included), -1 when row k of the list
// does not have index k, lacks its diagonal at its cursor, or has a pivot of 0.0 or NaN; the
// rows below it then hold the eliminations of the steps before k. Cursors are kept by list
// position (the same as by index whenever the factorization succeeds). Nothing is counted in
// m_Flops. Row by row (lu_row_by_row); the tests compare it with the
// textbook right-looking form it reproduces.
int CSparseMatrix::LU()
{
    TARVEL_ASSERT(tarvel::detail::lists_are_ordered(*this),
                  "CSparseMatrix::LU: rows or cells out of order or repeated (R1, R2)");
    try
    {
        int n = 0;
        const auto rows = rows_by_position(m_pFirstRow, n);
        if (!rows) return record_factor_result(-1);
        return record_factor_result(tarvel::detail::lu_row_by_row(rows.get(), n));
    }
    catch (const std::bad_alloc&)  // work space or a fill-in cell: reported as a failure
    {
        return record_factor_result(-1, FactorFailure::OutOfMemory);
    }
}

namespace
{

// Up-looking form of the row-oriented elimination. Row r is taken at its turn: the pivot rows
// k < r are final, and the eliminations that the right-looking algorithm applies to row r at steps
// k = 0 .. r - 1 (each depending only on row r and the final row k) are applied to a dense copy
// of row r in increasing k, then row r is checked as pivot r and written back. Every entry
// receives the same operations in the same order as in the right-looking form; a fill-in entry starts
// at -0.0, an exact additive identity, so its first update becomes its value bit for bit.
class RowByRowLU
{
public:
    RowByRowLU(Row* const* rows, int n, int width)
        : m_rows(rows), m_w(static_cast<std::size_t>(width), 0.0),
          m_stamp(static_cast<std::size_t>(width), -1),
          m_pending(static_cast<std::size_t>(n) / 64 + 1, 0),
          m_pivot(static_cast<std::size_t>(n), 0.0), m_uStart(static_cast<std::size_t>(n) + 1, 0)
    {
        m_fill.reserve(64);
    }

    // Applies to row r the eliminations of the steps below `limit` (r itself, or the step that
    // failed). Returns false when row r cannot serve as pivot r.
    bool eliminate_row(int r, int limit);

private:
    // The next pending column at or after c (below the limit), or -1.
    int next_pending(int c, int limit) const;
    void set_pending(int c) { m_pending[static_cast<std::size_t>(c) >> 6] |= 1ull << (c & 63); }
    void clear_pending(int c)
    {
        m_pending[static_cast<std::size_t>(c) >> 6] &= ~(1ull << (c & 63));
    }
    void write_back(Row& row);

    Row* const* m_rows;                    // by position
    std::vector<double> m_w;               // the dense row, valid where m_stamp holds the row
    std::vector<int> m_stamp;              // by column: the row whose value m_w holds
    std::vector<std::uint64_t> m_pending;  // columns left of the limit still to eliminate
    std::vector<double> m_pivot;           // u_kk of the pivot rows
    // U_k of the pivot rows, contiguous (read by every later row holding column k):
    // columns m_uCol[m_uStart[k] .. m_uStart[k + 1] - 1] and their values.
    std::vector<std::size_t> m_uStart;
    std::vector<int> m_uCol;
    std::vector<double> m_uValue;
    std::vector<int> m_fill;  // the fill-in columns of the current row
};

int RowByRowLU::next_pending(int c, int limit) const
{
    for (int word = c >> 6; word <= (limit - 1) >> 6; ++word)
    {
        std::uint64_t bits = m_pending[static_cast<std::size_t>(word)];
        if (word == c >> 6) bits &= ~0ull << (c & 63);
        if (bits)
        {
            const int found = (word << 6) + __builtin_ctzll(bits);
            return found < limit ? found : -1;
        }
    }
    return -1;
}

bool RowByRowLU::eliminate_row(int r, int limit)
{
    Row& row = *m_rows[r];
    double* w = m_w.data();
    int* stamp = m_stamp.data();
    m_fill.clear();

    // -- 1. Scatter; the cells left of the limit are the columns to eliminate --
    const Cell* head = row.m_pFirstCell;
    const bool blocked = head && head->m_nCol < 0;  // a cursor no step ever reaches
    int first = -1;
    for (const Cell* c = head; c; c = c->m_pNext)
    {
        if (c->m_nCol < 0) continue;
        w[c->m_nCol] = c->m_dValue;
        stamp[c->m_nCol] = r;
        if (c->m_nCol < limit && !blocked)
        {
            set_pending(c->m_nCol);
            if (first < 0) first = c->m_nCol;
        }
    }

    // -- 2. Eliminate in increasing column k: l = a_rk / u_kk, a_rm -= u_km l --
    bool stuck = blocked;
    for (int k = blocked ? -1 : first; k >= 0; k = next_pending(k + 1, limit))
    {
        clear_pending(k);
        const std::size_t uk = static_cast<std::size_t>(k);
        const std::size_t begin = m_uStart[uk], end = m_uStart[uk + 1];
        if (begin == end)  // pivot row k leaves its column alone: the cursor stays here for good
        {
            stuck = true;
            for (int rest = next_pending(k + 1, limit); rest >= 0;
                 rest = next_pending(rest + 1, limit))
                clear_pending(rest);
            break;
        }
        const double a = w[k];
        if (a == 0.0) continue;  // only passed
        const double l = a / m_pivot[uk];
        w[k] = l;
        const int* col = m_uCol.data();
        const double* value = m_uValue.data();
        for (std::size_t q = begin; q < end; ++q)
        {
            const int m = col[q];
            if (stamp[m] != r)
            {
                stamp[m] = r;
                w[m] = -0.0;  // exact identity: the first update becomes the fill-in value
                m_fill.push_back(m);
                if (m < limit) set_pending(m);
            }
            w[m] += -(value[q] * l);
        }
    }

    write_back(row);

    // -- 3. Row r as pivot: its index r, its cursor on its diagonal, a usable pivot --
    if (limit != r || stuck || row.m_nRow != r || stamp[r] != r ||
        tarvel::detail::is_zero_or_nan(w[r]))
        return false;
    const Cell* c = row.m_pFirstCell;
    while (c->m_nCol != r) c = c->m_pNext;
    m_pivot[static_cast<std::size_t>(r)] = c->m_dValue;
    for (const Cell* u = c->m_pNext; u; u = u->m_pNext)
    {
        m_uCol.push_back(u->m_nCol);
        m_uValue.push_back(u->m_dValue);
    }
    m_uStart[static_cast<std::size_t>(r) + 1] = m_uCol.size();
    return true;
}

// Without fill-in the values go back into the row's own cells. With fill-in the row, from its
// first cell of a non-negative column on, is remade as one chain of consecutive cells (the old
// cells and the fill-in merged in column order, R2), so that the substitutions stream through
// each row of the factor; the old cells are released.
void RowByRowLU::write_back(Row& row)
{
    const double* w = m_w.data();
    Cell* prev = nullptr;
    Cell* cur = row.m_pFirstCell;
    for (; cur && cur->m_nCol < 0; cur = cur->m_pNext) prev = cur;
    if (m_fill.empty())
    {
        for (; cur; cur = cur->m_pNext) cur->m_dValue = w[cur->m_nCol];
        return;
    }
    std::sort(m_fill.begin(), m_fill.end());
    std::size_t nOld = 0;
    for (const Cell* c = cur; c; c = c->m_pNext) ++nOld;
    Cell* chain = tarvel::detail::new_cell_chain(nOld + m_fill.size());
    if (!chain) throw std::bad_alloc();
    Cell* out = chain;
    const Cell* old = cur;
    for (const int m : m_fill)
    {
        for (; old && old->m_nCol < m; old = old->m_pNext, out = out->m_pNext)
            out->m_nCol = old->m_nCol;
        out->m_nCol = m;
        out = out->m_pNext;
    }
    for (; old; old = old->m_pNext, out = out->m_pNext) out->m_nCol = old->m_nCol;
    for (Cell* e = chain; e; e = e->m_pNext) e->m_dValue = w[e->m_nCol];
    if (prev)
        prev->m_pNext = chain;
    else
        row.m_pFirstCell = chain;
    while (cur) delete std::exchange(cur, cur->m_pNext);
}

}  // namespace

int tarvel::detail::lu_row_by_row(Row* const* rows, int n)
{
    if (n < 1) return 1;
    int width = n;
    for (int r = 0; r < n; ++r)
        for (const Cell* c = rows[r]->m_pFirstCell; c; c = c->m_pNext)
            if (c->m_nCol >= width) width = c->m_nCol + 1;
    RowByRowLU work(rows, n, width);
    int failed = n;  // the first step without a usable pivot
    for (int r = 0; r < n; ++r)
        if (!work.eliminate_row(r, std::min(r, failed)) && failed == n) failed = r;
    return failed == n ? 1 : -1;
}

// LU_Solve(B, seconds): LU, ForwSub(B, null, 1), BackwSub(B, null, 2), all virtual; the
// phase times are reported in a message box. On a failed factorization seconds becomes -1.0,
// B is untouched and LU's result is returned.
int CSparseMatrix::LU_Solve(CVirtMat* B, double& seconds)
{
    using namespace tarvel::detail;
    seconds = kTicksPerSecond;  // until the elapsed time is known
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
    seconds = seconds_by_division(t3 - t0);

    const ReportTime factor = report_time(seconds_by_division(t1 - t0));
    const ReportTime forward = report_time(seconds_by_division(t2 - t1));
    const ReportTime backward = report_time(seconds_by_division(t3 - t2));
    show_report("Used time:\r\n Factorizing  :   %u m %2.2f s\r\n Forw. subst. :   %u m %2.2f "
                "s\r\n Backw. subst.:   %u m %2.2f s\r\n",
                factor.minutes, factor.seconds, forward.minutes, forward.seconds, backward.minutes,
                backward.seconds);
    return 1;
}
