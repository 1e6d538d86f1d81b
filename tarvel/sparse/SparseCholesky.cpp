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
// (tarvel::detail::new_cell_run), so that the substitutions stream through each row of the
// factor: the lists and values are those of the classical form, the cells' addresses are not.
#include <tarvel/core/Matrix.h>
#include <tarvel/platform/Assert.h>
#include <tarvel/platform/Clock.h>
#include <tarvel/platform/detail/Progress.h>
#include <tarvel/platform/detail/Report.h>
#include <tarvel/sparse/SparseMatrix.h>
#include <tarvel/sparse/detail/CellPool.h>
#include <tarvel/sparse/detail/ListNodes.h>
#include <tarvel/sparse/detail/ListOrder.h>
#include <tarvel/sparse/detail/ValueTests.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
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

// The stored row indices (flags for the indices 0 .. width - 1) and the slot of each column in
// the work row. An update or a gather reaches only a column that some row other than its own
// holds: a tail holds the columns of its row's cells right of the diagonal and of the tails
// merged into it, all columns of other rows' cells. The other columns (rows coupled to
// nothing, as the unit rows of prescribed values) take no slot (-1), so that the runs of
// consecutive slots span them.
struct Columns
{
    std::vector<char> stored;
    std::vector<int> slot;    // by column
    std::vector<int> column;  // by slot
};

Columns columns_of(const Row* first, int width)
{
    Columns cols;
    cols.stored.assign(static_cast<std::size_t>(width), 0);
    cols.slot.assign(static_cast<std::size_t>(width), -1);
    for (const Row* r = first; r; r = r->m_pNextRow)
    {
        if (r->m_nRow >= 0) cols.stored[static_cast<std::size_t>(r->m_nRow)] = 1;
        for (const Cell* c = r->m_pFirstCell; c; c = c->m_pNext)
            if (c->m_nCol >= 0 && c->m_nCol != r->m_nRow)
                cols.slot[static_cast<std::size_t>(c->m_nCol)] = 0;
    }
    for (int m = 0; m < width; ++m)
    {
        int& slot = cols.slot[static_cast<std::size_t>(m)];
        if (slot < 0) continue;
        slot = static_cast<int>(cols.column.size());
        cols.column.push_back(m);
    }
    return cols;
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

// An entry (k, col) right of row k's diagonal sends an update unless its value is 0.0 or NaN;
// it must then aim at a stored row. Such a column lies right of k >= 0 and at or left of the
// largest column of the matrix, within the flags.
inline bool aims_at_stored_row(int col, const char* stored) { return stored[col] != 0; }

// Work space of the up-looking factorization.
//
// Finished rows still sending updates keep their entries right of the diagonal (undivided) in
// contiguous arrays (a Tail), with the runs of consecutive columns marked, so that an update
// f * (row k from column j on) is a few dense loops over runs. Rows sending to the same column
// are chained through their tails in increasing k (a row is appended to the chain of each
// column it sends to when it finishes, and rows finish in increasing k), so the senders of row
// j arrive in the order the updates must be applied, without a search or a sort.
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
//
// The work row, the tails, the chains and the fill-in are indexed by column slot (columns_of),
// so that in a row of a grid's factor the runs go across the prescribed values' columns.
//
// A row is written back, checked as a pivot and recorded as a sender in one walk over its
// cells: the values leave the work row, the tail is copied and the cells are divided by d_k
// together; the rare row that then fails the check of its entries (aims_at_stored_row) gets
// its undivided values back from the tail.
class UpLooking
{
public:
    explicit UpLooking(const Columns& cols)
        : m_stored(cols.stored), m_slot(cols.slot), m_column(cols.column),
          m_senders(cols.slot.size()), m_nextCol(cols.slot.size(), -1),
          m_head(cols.column.size(), -1), m_lastLink(cols.column.size()),
          m_w(cols.column.size(), -0.0), m_stamp(cols.column.size(), -1),
          m_fill(cols.column.size(), 0)
    {
        for (std::size_t c = 0; c < m_head.size(); ++c) m_lastLink[c] = &m_head[c];
    }

    // Row j at list position p: applies every update of the finished rows in increasing k and
    // writes the result back into its cells (fill-in made where needed); then, when
    // `finishing`, the checks of the row at its turn (pivot_of, aims_at_stored_row), and when
    // they pass, the row becomes a sender and its cells are divided by d_p. Adds the number
    // of entry updates to `updates`; returns whether the row finished.
    bool factor_row(Row& rj, int p, bool finishing, std::uint32_t& updates);

private:
    // Row k's entries right of its diagonal, in column order. The values a_kj (undivided) are
    // an array of their own, which the updates stream through; what a row gathering column j
    // reads of entry (k, j) lies in one record, so that the fifty-odd senders of a row of a
    // band touch a line each rather than one per array.
    struct Entry
    {
        int col;       // column slot
        int link;      // at a sending entry (k, c): the next row sending to column c, -1 last
        int after;     // at a sending entry: the position of the row's next sending entry
        int prevRow;   // the row of the previous entry's column when that entry sends, else -1
        double ratio;  // at a sending entry: -a_kj / d_k, the factor of its updates
    };
    struct Tail
    {
        std::unique_ptr<Entry[]> entry;
        std::unique_ptr<double[]> value;
        std::unique_ptr<int[]> runEnd;  // the end of the run of consecutive slots of each entry
        int capacity = 0;

        // Room for n entries; what the arrays held is not kept (every entry is written before
        // it is read).
        void resize(int n)
        {
            if (n > capacity)
            {
                const int grown = std::max(n, 2 * capacity);
                const std::size_t g = static_cast<std::size_t>(grown);
                entry.reset(new Entry[g]);
                value.reset(new double[g]);
                runEnd.reset(new int[g]);
                capacity = grown;
            }
        }
    };
    // A finished row that still sends: its tail's arrays and length, whether its slots are
    // consecutive (runEnd is then not made), the buffer that holds them and the position of its
    // next sending entry.
    struct Sender
    {
        const Entry* entry = nullptr;
        const double* value = nullptr;
        const int* runEnd = nullptr;
        int size = 0;
        int next = 0;
        int buffer = -1;
        bool oneRun = false;
    };

    // Applies the updates of the chain starting at row k to the work row (row j, of slot jc,
    // at position p); the slots of the fill-in go to m_fill. Returns their number.
    int apply_senders(int k, int jc, int p, std::uint32_t& updates);
    // Writes the work row into the row's cells from its diagonal on: into the cells themselves
    // when nFill is 0, else into a new chain of consecutive cells that replaces them.
    void write_back(Row& rj, Cell* beforeDiag, Cell* c, int nOld, int nFill);
    // Records row k, d_k > 0, as a sender, its tail in buffer b (taken for n entries when n
    // is not 0): walk(put) must call put(cell, slot, value) for each of its n entries right
    // of diag, in column order, and leave them in the row.
    template <class Walk> bool record(int k, int b, Cell* diag, double d, int n, Walk walk);
    int take_buffer(int n);

    const std::vector<char>& m_stored;  // by index: the row is stored
    const std::vector<int>& m_slot;     // by column: its slot, -1 where none
    const std::vector<int>& m_column;   // by slot: its column
    std::vector<Tail> m_tails;          // buffers, in use or spare
    std::vector<int> m_spare;           // buffers not in use
    std::vector<Sender> m_senders;      // by row: its tail while it still sends
    std::vector<int> m_nextCol;         // by row: slot of its next sending entry, else -1
    std::vector<int> m_head;            // by slot: the first row sending to it, -1
    std::vector<int*> m_lastLink;       // by slot: where the next row sending to it is written
    std::vector<double> m_w;            // by slot: the work row, -0.0 outside the row gathered
    std::vector<int> m_stamp;           // by slot: the position of the last row holding it
    std::vector<int> m_fill;            // scratch: fill-in slots of the current row
};

// y_t += f * x_t, t < n: element by element, each with the roundings of one update. Written
// in groups of eight, four and two so that the compiler packs the updates into two-lane
// multiplies and adds, whose lanes round as the scalar operations do.
inline void add_scaled(double* __restrict y, const double* __restrict x, int n, double f)
{
    int t = 0;
    for (; t + 8 <= n; t += 8)
    {
        const double a0 = y[t] + f * x[t];
        const double a1 = y[t + 1] + f * x[t + 1];
        const double a2 = y[t + 2] + f * x[t + 2];
        const double a3 = y[t + 3] + f * x[t + 3];
        const double a4 = y[t + 4] + f * x[t + 4];
        const double a5 = y[t + 5] + f * x[t + 5];
        const double a6 = y[t + 6] + f * x[t + 6];
        const double a7 = y[t + 7] + f * x[t + 7];
        y[t] = a0;
        y[t + 1] = a1;
        y[t + 2] = a2;
        y[t + 3] = a3;
        y[t + 4] = a4;
        y[t + 5] = a5;
        y[t + 6] = a6;
        y[t + 7] = a7;
    }
    if (t + 4 <= n)
    {
        const double a0 = y[t] + f * x[t];
        const double a1 = y[t + 1] + f * x[t + 1];
        const double a2 = y[t + 2] + f * x[t + 2];
        const double a3 = y[t + 3] + f * x[t + 3];
        y[t] = a0;
        y[t + 1] = a1;
        y[t + 2] = a2;
        y[t + 3] = a3;
        t += 4;
    }
    if (t + 2 <= n)
    {
        const double a0 = y[t] + f * x[t];
        const double a1 = y[t + 1] + f * x[t + 1];
        y[t] = a0;
        y[t + 1] = a1;
        t += 2;
    }
    if (t < n) y[t] += f * x[t];
}

// Merges, in column order, the cells from `old` on and the slots fill[0 .. nFill - 1] (none of
// them the slot of one of the cells) into the chain from `out` on: each cell of the chain
// takes its column, then put(cell, slot) is called for it.
template <class Put>
void merge_columns(Cell* out, const Cell* old, const int* fill, int nFill, const int* slot,
                   const int* column, Put put)
{
    constexpr int kNone = std::numeric_limits<int>::max();
    int oldSlot = old ? slot[old->m_nCol] : kNone;
    for (int t = 0; t < nFill; ++t)
    {
        const int limit = fill[t];
        for (; oldSlot < limit; out = out->m_pNext)
        {
            out->m_nCol = old->m_nCol;
            put(out, oldSlot);
            old = old->m_pNext;
            oldSlot = old ? slot[old->m_nCol] : kNone;
        }
        out->m_nCol = column[limit];
        put(out, limit);
        out = out->m_pNext;
    }
    for (; old; old = old->m_pNext, out = out->m_pNext)
    {
        out->m_nCol = old->m_nCol;
        put(out, slot[old->m_nCol]);
    }
}

void delete_cells(Cell* c)
{
    while (c)
    {
        Cell* next = c->m_pNext;
        delete c;
        c = next;
    }
}

int UpLooking::take_buffer(int n)
{
    int b;
    if (!m_spare.empty())
    {
        b = m_spare.back();
        m_spare.pop_back();
    }
    else
    {
        m_tails.emplace_back();
        b = static_cast<int>(m_tails.size()) - 1;
    }
    m_tails[static_cast<std::size_t>(b)].resize(n);
    return b;
}

int UpLooking::apply_senders(int k, int jc, int p, std::uint32_t& updates)
{
    double* w = m_w.data();
    int* stamp = m_stamp.data();
    const int* nextCol = m_nextCol.data();
    int* fill = m_fill.data();
    int nFill = 0;
    while (k >= 0)
    {
        Sender& s = m_senders[static_cast<std::size_t>(k)];
        const int at = s.next;  // entry (k, j)
        const Entry* entry = s.entry;
        const Entry& ej = entry[at];
        const int following = ej.link;
        const int size = s.size;
        const double* value = s.value;
        const double f = ej.ratio;
        // Covered: the previous entry (k, i) sent, and row i sends to row j.
        const bool covered = ej.prevRow >= 0 && nextCol[ej.prevRow] == jc;
        if (covered && s.oneRun)
        {
            add_scaled(w + ej.col, value + at, size - at, f);
        }
        else if (covered)
        {
            const int* runEnd = s.runEnd;
            for (int q = at; q < size;)
            {
                const int e = runEnd[q];
                add_scaled(w + entry[q].col, value + q, e - q, f);
                q = e;
            }
        }
        else
        {
            for (int q = at; q < size; ++q)
            {
                const int m = entry[q].col;
                if (stamp[m] != p)
                {
                    stamp[m] = p;
                    fill[nFill++] = m;
                }
                w[m] += f * value[q];
            }
        }
        updates += static_cast<std::uint32_t>(size - at);

        // The cursor to the next sending entry; a used-up tail goes back to the spare buffers,
        // so the storage in use follows the rows still sending (a band's width of rows for a
        // banded matrix).
        const int next = ej.after;
        if (next == size)
        {
            m_spare.push_back(s.buffer);
            m_nextCol[static_cast<std::size_t>(k)] = -1;
        }
        else
        {
            s.next = next;
            m_nextCol[static_cast<std::size_t>(k)] = entry[next].col;
        }
        k = following;
    }
    return nFill;
}

void UpLooking::write_back(Row& rj, Cell* beforeDiag, Cell* c, int nOld, int nFill)
{
    double* w = m_w.data();
    const int* slot = m_slot.data();
    if (nFill == 0)  // the pattern is closed: the values go into the row's own cells
    {
        for (Cell* e = c; e; e = e->m_pNext)
        {
            const int m = slot[e->m_nCol];
            e->m_dValue = w[m];
            w[m] = -0.0;
        }
        return;
    }
    // With fill-in, the row from its diagonal on is remade as one chain of consecutive cells
    // (the old cells and the fill-in merged in column order, R2), so that the substitutions
    // stream through each row of the factor.
    Cell* chain = tarvel::detail::new_cell_run(static_cast<std::size_t>(nOld + nFill));
    if (!chain) throw std::bad_alloc();
    merge_columns(chain, c, m_fill.data(), nFill, slot, m_column.data(),
                  [w](Cell* e, int m)
                  {
                      e->m_dValue = w[m];
                      w[m] = -0.0;
                  });
    if (beforeDiag)
        beforeDiag->m_pNext = chain;
    else
        rj.m_pFirstCell = chain;
    delete_cells(c);
}

template <class Walk> bool UpLooking::record(int k, int b, Cell* diag, double d, int n, Walk walk)
{
    if (n == 0) return true;  // sends nothing
    Tail& t = m_tails[static_cast<std::size_t>(b)];
    Entry* entry = t.entry.get();
    double* value = t.value.get();
    const char* stored = m_stored.data();
    int q = 0;
    int prevRow = -1;    // the previous entry's column when it sends
    bool stray = false;  // an entry that would send aims at a row that is not stored
    walk(
        [&](Cell* e, int m, double v)
        {
            Entry& en = entry[q];
            en.col = m;
            en.prevRow = prevRow;
            value[q] = v;
            ++q;
            if (is_zero_or_nan(v))
            {
                e->m_dValue = v;
                prevRow = -1;
                return;
            }
            stray |= !aims_at_stored_row(e->m_nCol, stored);
            const double u = v / d;
            e->m_dValue = u;
            en.ratio = -u;  // -(v / d) = -v / d exactly
            prevRow = e->m_nCol;
        });
    if (stray)  // the row fails: it keeps its undivided values and sends nothing
    {
        q = 0;
        for (Cell* e = diag->m_pNext; e; e = e->m_pNext) e->m_dValue = value[q++];
        m_spare.push_back(b);
        return false;
    }

    // Runs of consecutive slots; the chains of the columns row k sends to
    const bool oneRun = entry[n - 1].col - entry[0].col == n - 1;  // ascending: exactly then
    int* runEnd = t.runEnd.get();
    if (!oneRun)
    {
        runEnd[n - 1] = n;
        for (int e = n - 2; e >= 0; --e)
            runEnd[e] = entry[e + 1].col == entry[e].col + 1 ? runEnd[e + 1] : e + 1;
    }
    int first = n;  // the first sending entry so far, from the right
    for (int e = n - 1; e >= 0; --e)
    {
        if (is_zero_or_nan(value[e])) continue;
        Entry& en = entry[e];
        en.after = first;
        first = e;
        int*& last = m_lastLink[static_cast<std::size_t>(en.col)];
        en.link = -1;
        *last = k;
        last = &en.link;
    }
    if (first == n)
    {
        m_spare.push_back(b);
        return true;
    }
    m_senders[static_cast<std::size_t>(k)] = Sender{entry, value, runEnd, n, first, b, oneRun};
    m_nextCol[static_cast<std::size_t>(k)] = entry[first].col;
    return true;
}

bool UpLooking::factor_row(Row& rj, int p, bool finishing, std::uint32_t& updates)
{
    const int* slot = m_slot.data();
    const int j = rj.m_nRow;
    const int jc = j >= 0 && j < static_cast<int>(m_slot.size()) ? slot[j] : -1;
    const int k = jc >= 0 ? m_head[static_cast<std::size_t>(jc)] : -1;
    if (k < 0)  // nothing to gather: the row as it stands
    {
        if (!finishing) return false;
        Cell* diag = pivot_of(rj, p);
        if (!diag) return false;
        int n = 0;
        for (const Cell* e = diag->m_pNext; e; e = e->m_pNext) ++n;
        return record(p, n > 0 ? take_buffer(n) : -1, diag, diag->m_dValue, n,
                      [diag, slot](auto put)
                      {
                          for (Cell* e = diag->m_pNext; e; e = e->m_pNext)
                              put(e, slot[e->m_nCol], e->m_dValue);
                      });
    }
    m_head[static_cast<std::size_t>(jc)] = -1;  // no row finishing later sends to column j

    // -- 1. Scatter row j from its diagonal on (updates never reach left of it) --
    double* w = m_w.data();
    int* stamp = m_stamp.data();
    Cell* beforeDiag = nullptr;  // last cell left of column j
    Cell* c = rj.m_pFirstCell;
    for (; c && c->m_nCol < j; c = c->m_pNext) beforeDiag = c;
    int nOld = 0;
    for (Cell* e = c; e; e = e->m_pNext, ++nOld)
    {
        const int m = slot[e->m_nCol];
        w[m] = e->m_dValue;
        stamp[m] = p;
    }

    // -- 2. Updates w_m += f * a_km, f = -a_kj / d_k, m over row k from column j on --
    const int nFill = apply_senders(k, jc, p, updates);
    int* fill = m_fill.data();
    if (nFill > 1 && !std::is_sorted(fill, fill + nFill)) std::sort(fill, fill + nFill);

    // -- 3. Write back; w back to -0.0; the checks of the row, and its record as a sender --
    const bool oldDiag = c && c->m_nCol == j;
    const double d = w[jc];
    if (!finishing || j != p || beforeDiag || !(oldDiag || (nFill > 0 && fill[0] == jc)) ||
        !(d > 0.0))
    {
        write_back(rj, beforeDiag, c, nOld, nFill);
        return false;
    }
    const int n = nOld + nFill - 1;             // entries right of the diagonal
    const int b = n > 0 ? take_buffer(n) : -1;  // before the row changes (it may throw)
    w[jc] = -0.0;
    if (nFill == 0)
    {
        c->m_dValue = d;
        return record(p, b, c, d, n,
                      [c, w, slot](auto put)
                      {
                          for (Cell* e = c->m_pNext; e; e = e->m_pNext)
                          {
                              const int m = slot[e->m_nCol];
                              const double v = w[m];
                              w[m] = -0.0;
                              put(e, m, v);
                          }
                      });
    }
    Cell* chain = tarvel::detail::new_cell_run(static_cast<std::size_t>(nOld + nFill));
    if (!chain) throw std::bad_alloc();
    chain->m_nCol = j;
    chain->m_dValue = d;
    const Cell* oldRight = oldDiag ? c->m_pNext : c;
    const int skip = oldDiag ? 0 : 1;  // the diagonal among the fill-in
    const bool done = record(p, b, chain, d, n,
                             [&](auto put)
                             {
                                 merge_columns(chain->m_pNext, oldRight, fill + skip, nFill - skip,
                                               slot, m_column.data(),
                                               [w, &put](Cell* e, int m)
                                               {
                                                   const double v = w[m];
                                                   w[m] = -0.0;
                                                   put(e, m, v);
                                               });
                             });
    if (beforeDiag)
        beforeDiag->m_pNext = chain;
    else
        rj.m_pFirstCell = chain;
    delete_cells(c);
    return done;
}

int cholesky_up_looking(Row* first);

}  // namespace

// Cholesky(): 1 on success (an empty matrix included), -1 at the first row that fails its
// checks (pivot_of, aims_at_stored_row), the matrix then partly factorized: the rows above it
// finished, it and every row below it holding the updates of the rows above. m_Flops: +1 per
// finished row, +2 per update of an entry.
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
    const Columns cols = columns_of(first, width);

    UpLooking work(cols);
    std::uint32_t flops = 0;
    int status = 1;
    int p = 0;
    tarvel::detail::ProgressReport progress("Cholesky", width);
    for (Row* r = first; r; r = r->m_pNextRow, ++p)
    {
        progress.step(p);
        // after a failure only the pending updates are applied
        std::uint32_t updates = 0;
        const bool finished = work.factor_row(*r, p, status == 1, updates);
        flops += 2u * updates;
        if (status != 1) continue;
        if (!finished)
        {
            status = -1;
            continue;
        }
        ++flops;
    }
    CVirtMat::m_Flops += flops;
    if (status == 1) progress.finish();
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
