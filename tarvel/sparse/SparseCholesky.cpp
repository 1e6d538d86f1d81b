// Square-root-free Cholesky factorization of a symmetric matrix held as its upper triangle,
// in place on the row lists, and the Cholesky_Solve driver.
//
//   A = U^T D U,  D = diag(d_k), U unit upper;  row k: d_k = a_kk after the updates of the rows
//   above it, u_kj = a_kj / d_k, and row j (j > k) receives f * a_km for m >= j with
//   f = -a_kj / d_k (the update of the trailing matrix, one row at a time).
// Reference: G. H. Golub, C. F. Van Loan, Matrix Computations, 4th ed., sec. 4.1 (LDL^T).
//
// The classical form merges row k into every row j it touches (right-looking). The member computes
// the same numbers row by row instead (up-looking): row j gathers, in increasing k, the
// updates of the rows above it in a dense work row, then is written back into its cells. Each
// entry receives the same additions in the same order (a fill-in entry starts at -0.0, which
// is an exact additive identity, as the right-looking form starts it at its first update), so
// the lists, the bits, m_Flops and the state after a failure are those of the classical form
// (the tests keep it as their reference).
//
// Rows whose factorization has finished keep their undivided values in compact arrays that
// the later rows read; the division a_kj / d_k of a cell never feeds another computation, so
// it is made as soon as the row is finished.
//
// A row that receives fill-in is remade from its diagonal on as one chain of consecutive cells
// (tarvel::detail::new_cell_chain), so that the substitutions stream through each row of the
// factor: the lists and values are those of the classical form, the cells' addresses are not.
#include <tarvel/core/Matrix.h>
#include <tarvel/platform/Assert.h>
#include <tarvel/platform/Clock.h>
#include <tarvel/platform/detail/Report.h>
#include <tarvel/sparse/SparseMatrix.h>
#include <tarvel/sparse/detail/CellPool.h>
#include <tarvel/sparse/detail/RowLists.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <vector>

using tarvel::detail::Cell;
using tarvel::detail::is_zero_or_nan;
using tarvel::detail::Row;

namespace
{

// The largest row index and column of the matrix (-1 when there is none).
void extents(const Row* first, int& maxRow, int& maxCol)
{
    maxRow = -1;
    maxCol = -1;
    for (const Row* r = first; r; r = r->m_pNextRow)
    {
        if (r->m_nRow > maxRow) maxRow = r->m_nRow;
        for (const Cell* c = r->m_pFirstCell; c; c = c->m_pNext)
            if (c->m_nCol > maxCol) maxCol = c->m_nCol;
    }
}

// Flags of the stored row indices, for the indices 0 .. width - 1.
std::vector<char> stored_rows(const Row* first, int width)
{
    std::vector<char> stored(static_cast<std::size_t>(width), 0);
    for (const Row* r = first; r; r = r->m_pNextRow)
        if (r->m_nRow >= 0) stored[r->m_nRow] = 1;
    return stored;
}

// The pivot of row k at its turn, after all updates of the rows above it: the row's index is
// k, its first cell is its diagonal, and d_k > 0 (0.0, negative and NaN fail). Returns the
// diagonal cell, or null when the row cannot be a pivot.
Cell* pivot_of(const Row& rk, int k)
{
    Cell* diag = rk.m_pFirstCell;
    const bool usable = rk.m_nRow == k && diag && diag->m_nCol == k && diag->m_dValue > 0.0;
    return usable ? diag : nullptr;
}

// An entry (k, col) holding v sends an update unless v is 0.0 or NaN; it must then aim at a
// stored row.
bool aims_at_stored_row(int col, double v, const std::vector<char>& stored)
{
    return is_zero_or_nan(v) || (col >= 0 && col < static_cast<int>(stored.size()) && stored[col]);
}

// Work space of the up-looking factorization.
//
// Finished rows still sending updates keep their entries right of the diagonal (undivided) in
// contiguous arrays (a Tail), with the runs of consecutive columns marked, so that an update
// f * (row k from column j on) is a few dense loops the compiler vectorizes. Rows sending to
// the same column are chained through their tails in increasing k (a row is appended to the
// chain of each column it sends to when it finishes, and rows finish in increasing k), so the
// senders of row j arrive in the order the updates must be applied, without a search or a sort.
//
// The work row w holds -0.0 (the exact additive identity) wherever no row is being gathered,
// so an update needs no test of its own; the pattern of the row (where fill-in must be made)
// is collected only from the senders that can bring a new column. A sender k whose previous
// entry (k, i) was not 0.0 or NaN merged its whole tail into row i when row i was gathered;
// if row i in turn sends to row j (a_ij neither 0.0 nor NaN), row i's tail from column j holds
// every column of k's tail from j, and k need not be looked at for the pattern (Liu's
// column-structure argument, restricted to the updates actually made).
// Reference: J. W. H. Liu, The role of elimination trees in sparse factorization, SIAM J.
// Matrix Anal. Appl. 11 (1990), sec. 3.
class UpLooking
{
public:
    UpLooking(int width, int nRows, const std::vector<char>& stored)
        : m_stored(stored), m_tailOf(static_cast<std::size_t>(nRows), -1),
          m_next(static_cast<std::size_t>(nRows), 0), m_d(static_cast<std::size_t>(nRows), 0.0),
          m_head(static_cast<std::size_t>(width), -1),
          m_lastRow(static_cast<std::size_t>(width), -1),
          m_lastAt(static_cast<std::size_t>(width), 0), m_w(static_cast<std::size_t>(width), -0.0),
          m_stamp(static_cast<std::size_t>(width), -1), m_fill(static_cast<std::size_t>(width), 0)
    {
    }

    // Applies to row j (at list position p) every update of the finished rows, in increasing
    // k, and writes the result back into its cells (fill-in made where needed). Returns the
    // number of entry updates.
    std::uint32_t gather_updates(Row& rj, int p);
    // The checks of row k at its turn (pivot_of, aims_at_stored_row); when it passes, records its tail, chains it
    // to the columns it sends to and divides its cells by d_k.
    bool finish(Row& rk, int k);

private:
    // Row k's entries right of its diagonal: columns (ascending), values a_kj (undivided), the
    // end of the run of consecutive columns that holds each entry, and at each sending entry
    // (k, c) the next row sending to column c (-1 at the end of the chain).
    struct Tail
    {
        std::vector<int> col;
        std::vector<int> runEnd;
        std::vector<int> link;
        std::vector<double> value;
        int size = 0;

        void resize(int n)
        {
            if (static_cast<std::size_t>(n) > col.size())
            {
                const std::size_t grown =
                    std::max<std::size_t>(static_cast<std::size_t>(n), 2 * col.size());
                col.resize(grown);
                runEnd.resize(grown);
                link.resize(grown);
                value.resize(grown);
            }
            size = n;
        }
    };

    Tail& tail_of(int k) { return m_tails[m_tailOf[k]]; }
    // Row i's next update goes to row j (i finished and not used up).
    bool sends_to(int i, int j)
    {
        if (static_cast<std::size_t>(i) >= m_tailOf.size()) return false;  // never finished
        const int t = m_tailOf[i];
        return t >= 0 && m_tails[t].col[m_next[i]] == j;
    }
    // Moves row k's cursor to its first sending entry at or after `at`; a used-up tail goes
    // back to the spare buffers, so the storage in use follows the rows still sending (a
    // band's width of rows for a banded matrix).
    void advance(int k, int at);
    int take_buffer();
    void give_back(int k)
    {
        m_spare.push_back(m_tailOf[k]);
        m_tailOf[k] = -1;
    }

    const std::vector<char>& m_stored;  // by index: the row is stored
    std::vector<Tail> m_tails;          // buffers, in use or spare
    std::vector<int> m_spare;           // buffers not in use
    std::vector<int> m_tailOf;          // by row: its buffer while it still sends, else -1
    std::vector<int> m_next;            // by row: position of its next sending entry
    std::vector<double> m_d;            // d_k of the finished rows
    std::vector<int> m_head;            // by column: the first row sending to it, -1
    std::vector<int> m_lastRow;         // by column: the last row appended to its chain
    std::vector<int> m_lastAt;          // by column: that row's entry in the column
    std::vector<double> m_w;            // the work row, -0.0 outside the row being gathered
    std::vector<int> m_stamp;           // by column: the position of the last row holding it
    std::vector<int> m_fill;            // scratch: fill-in columns of the current row
};

// y_t += f * x_t, t < n: element by element, the roundings of one update at a time.
inline void add_scaled(double* __restrict y, const double* __restrict x, int n, double f)
{
    for (int t = 0; t < n; ++t) y[t] += f * x[t];
}

int UpLooking::take_buffer()
{
    if (!m_spare.empty())
    {
        const int b = m_spare.back();
        m_spare.pop_back();
        return b;
    }
    m_tails.emplace_back();
    return static_cast<int>(m_tails.size()) - 1;
}

void UpLooking::advance(int k, int at)
{
    const Tail& t = tail_of(k);
    const double* value = t.value.data();
    while (at < t.size && is_zero_or_nan(value[at])) ++at;
    if (at == t.size)
        give_back(k);
    else
        m_next[k] = at;
}

std::uint32_t UpLooking::gather_updates(Row& rj, int p)
{
    const int j = rj.m_nRow;
    if (j < 0 || j >= static_cast<int>(m_head.size())) return 0;
    int k = m_head[j];  // the senders, in increasing k
    if (k < 0) return 0;
    m_head[j] = -1;  // no row finishing later sends to column j

    // -- 1. Scatter row j from its diagonal on (updates never reach left of it) --
    double* w = m_w.data();
    int* stamp = m_stamp.data();
    Cell* beforeDiag = nullptr;  // last cell left of column j
    Cell* c = rj.m_pFirstCell;
    for (; c && c->m_nCol < j; c = c->m_pNext) beforeDiag = c;
    int nOld = 0;
    for (Cell* s = c; s; s = s->m_pNext, ++nOld)
    {
        w[s->m_nCol] = s->m_dValue;
        stamp[s->m_nCol] = p;
    }

    // -- 2. Updates w_m += f * a_km, f = -a_kj / d_k, m over row k from column j on --
    int* fill = m_fill.data();
    int nFill = 0;
    std::uint32_t count = 0;
    while (k >= 0)
    {
        const Tail& t = tail_of(k);
        const int at = m_next[k];  // entry (k, j)
        const int following = t.link[at];
        const int* col = t.col.data();
        const double* value = t.value.data();
        const double f = -value[at] / m_d[k];
        // Covered: the previous entry (k, i) sent, and row i sends to row j.
        const bool covered = at > 0 && !is_zero_or_nan(value[at - 1]) && sends_to(col[at - 1], j);
        if (covered)
        {
            const int* runEnd = t.runEnd.data();
            for (int q = at; q < t.size; q = runEnd[q])
                add_scaled(w + col[q], value + q, runEnd[q] - q, f);
        }
        else
        {
            for (int q = at; q < t.size; ++q)
            {
                const int m = col[q];
                if (stamp[m] != p)
                {
                    stamp[m] = p;
                    fill[nFill++] = m;
                }
                w[m] += f * value[q];
            }
        }
        count += static_cast<std::uint32_t>(t.size - at);
        advance(k, at + 1);
        k = following;
    }

    // -- 3. Write back; w back to -0.0 --
    if (nFill == 0)  // the pattern is closed: the values go into the row's own cells
    {
        for (Cell* cur = c; cur; cur = cur->m_pNext)
        {
            cur->m_dValue = w[cur->m_nCol];
            w[cur->m_nCol] = -0.0;
        }
        return count;
    }
    // With fill-in, the row from its diagonal on is remade as one chain of consecutive cells
    // (the old cells and the fill-in merged in column order, R2), so that the substitutions
    // stream through each row of the factor.
    if (!std::is_sorted(fill, fill + nFill)) std::sort(fill, fill + nFill);
    Cell* chain = tarvel::detail::new_cell_chain(static_cast<std::size_t>(nOld + nFill));
    if (!chain) throw std::bad_alloc();
    Cell* out = chain;
    const Cell* cur = c;
    for (int t = 0; t <= nFill; ++t)
    {
        const int limit = t < nFill ? fill[t] : std::numeric_limits<int>::max();
        for (; cur && cur->m_nCol < limit; cur = cur->m_pNext, out = out->m_pNext)
            out->m_nCol = cur->m_nCol;
        if (t < nFill)
        {
            out->m_nCol = limit;
            out = out->m_pNext;
        }
    }
    for (Cell* e = chain; e; e = e->m_pNext)
    {
        e->m_dValue = w[e->m_nCol];
        w[e->m_nCol] = -0.0;
    }
    if (beforeDiag)
        beforeDiag->m_pNext = chain;
    else
        rj.m_pFirstCell = chain;
    while (c)
    {
        Cell* next = c->m_pNext;
        delete c;
        c = next;
    }
    return count;
}

bool UpLooking::finish(Row& rk, int k)
{
    Cell* diag = pivot_of(rk, k);
    if (!diag) return false;
    const double d = diag->m_dValue;
    int n = 0;
    for (const Cell* c = diag->m_pNext; c; c = c->m_pNext) ++n;
    if (n == 0) return true;  // sends nothing

    // -- 1. The tail, undivided; every entry that will send must aim at a stored row --
    const int b = take_buffer();
    m_tailOf[k] = b;
    Tail& t = m_tails[b];
    t.resize(n);
    int* col = t.col.data();
    double* value = t.value.data();
    int q = 0;
    for (const Cell* c = diag->m_pNext; c; c = c->m_pNext, ++q)
    {
        col[q] = c->m_nCol;
        value[q] = c->m_dValue;
        if (!aims_at_stored_row(col[q], value[q], m_stored))
        {
            give_back(k);
            return false;
        }
    }

    // -- 2. Runs of consecutive columns; the chains of the columns row k sends to --
    int* runEnd = t.runEnd.data();
    int* link = t.link.data();
    runEnd[n - 1] = n;
    for (int e = n - 2; e >= 0; --e) runEnd[e] = col[e + 1] == col[e] + 1 ? runEnd[e + 1] : e + 1;
    int first = -1;
    for (int e = 0; e < n; ++e)
    {
        if (is_zero_or_nan(value[e])) continue;
        if (first < 0) first = e;
        const std::size_t c = static_cast<std::size_t>(col[e]);
        link[e] = -1;
        if (m_head[c] < 0)
            m_head[c] = k;
        else
            tail_of(m_lastRow[c]).link[m_lastAt[c]] = k;
        m_lastRow[c] = k;
        m_lastAt[c] = e;
    }
    if (first < 0)
    {
        give_back(k);
        return true;
    }
    m_next[k] = first;
    m_d[k] = d;

    // -- 3. u_kj = a_kj / d_k in the cells --
    for (Cell* c = diag->m_pNext; c; c = c->m_pNext)
        if (!is_zero_or_nan(c->m_dValue)) c->m_dValue = c->m_dValue / d;
    return true;
}

int cholesky_up_looking(Row* first);

}  // namespace

// Cholesky(): 1 on success (an empty matrix included), -1 at the first row that fails its
// checks (pivot_of, aims_at_stored_row), the matrix then partly factorized: the rows above it finished, it and
// every row below it holding the updates of the rows above. m_Flops: +1 per finished row, +2
// per update of an entry.
int CSparseMatrix::Cholesky()
{
    TARVEL_ASSERT(tarvel::detail::lists_are_ordered(*this),
                  "CSparseMatrix::Cholesky: rows or cells out of order or repeated (R1, R2)");
    try
    {
        return record_factor_result(cholesky_up_looking(m_pFirstRow));
    }
    catch (const std::bad_alloc&)  // work space or a fill-in cell: reported as a failure
    {
        return record_factor_result(-1, FactorFailure::OutOfMemory);
    }
}

namespace
{

int cholesky_up_looking(Row* first)
{
    if (!first) return 1;
    int maxRow = 0, maxCol = 0;
    extents(first, maxRow, maxCol);
    const int width = std::max(maxRow, maxCol) + 1;
    const std::vector<char> stored = stored_rows(first, width);
    int nRows = 0;
    for (const Row* r = first; r; r = r->m_pNextRow) ++nRows;

    UpLooking work(width, nRows, stored);
    std::uint32_t flops = 0;
    int status = 1;
    int p = 0;
    for (Row* r = first; r; r = r->m_pNextRow, ++p)
    {
        flops += 2u * work.gather_updates(*r, p);
        if (status != 1) continue;  // after a failure only the pending updates are applied
        if (!work.finish(*r, p))
        {
            status = -1;
            continue;
        }
        ++flops;
    }
    CVirtMat::m_Flops += flops;
    return status;
}

}  // namespace

// Cholesky_Solve(B, seconds): m_Flops = 0; Cholesky; ForwSub(B, null, -1) solves U^T y = b,
// DiagMult(B, null, -2) divides by D, BackwSub(B, null, 1) solves U x = y. On a failed
// factorization seconds becomes -1.0, B is untouched and the failure is returned.
int CSparseMatrix::Cholesky_Solve(CVirtMat* B, double& seconds)
{
    m_Flops = 0;
    seconds = tarvel::detail::kTicksPerSecond;  // until the elapsed time is known
    const long t0 = TarvelClock();
    const int status = Cholesky();
    if (status != 1)
    {
        seconds = -1.0;
        return status;
    }
    ForwSub(B, nullptr, -1);
    DiagMult(B, nullptr, -2);
    BackwSub(B, nullptr, 1);
    seconds = tarvel::detail::seconds_by_division(TarvelClock() - t0);
    return 1;
}
