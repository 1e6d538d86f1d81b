// Square-root-free Cholesky factorization of a symmetric matrix held as its upper triangle,
// in place on the row lists, and the Cholesky_Solve driver.
//
//   A = U^T D U,  D = diag(d_k), U unit upper.  Row by row (up-looking), for j = 0, 1, ...:
//     1. w = row j of A from its diagonal on, in a dense work row;
//     2. for each finished row k < j whose a_kj is neither 0.0 nor NaN, in increasing k:
//          w_m += f a_km  for m >= j,   f = -a_kj / d_k,   a_km = d_k u_km (undivided);
//     3. row j = w, a cell made for each entry w has and the row lacks (fill-in);
//     4. the pivot: row j must be the list's row j, begin at its diagonal, and d_j = w_j > 0;
//     5. u_jm = a_jm / d_j (m > j) in the row; its undivided a_jm are kept to send to rows m.
// Reference: G. H. Golub, C. F. Van Loan, Matrix Computations, 4th ed., sec. 4.1 (LDL^T);
// T. A. Davis, Direct Methods for Sparse Linear Systems, SIAM, 2006, ch. 4 (up-looking form).
//
// The right-looking form merges row k into every row it touches as soon as d_k is known. Row by
// row, each entry receives the same additions in the same order (a fill-in entry starts at -0.0,
// an exact additive identity, where the right-looking form starts it at its first update), so
// the lists, the bits, m_Flops and the state after a failure are those of the right-looking form
// (the tests keep it as their reference). Entries 0.0 or NaN send nothing and are not divided.
// A row that receives fill-in is remade from its diagonal on as one chain of consecutive cells
// (tarvel::detail::new_cell_run), so that the substitutions stream through each row of the factor.
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
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

using tarvel::detail::Cell;
using tarvel::detail::Row;

namespace
{

constexpr int kNoRow = -1;   // the end of a chain; a previous entry that does not send
constexpr int kNoSlot = -1;  // a column no update reaches; a row that sends no more

// An entry neither 0.0 nor NaN sends an update to the row of its column (step 2).
inline bool sends(double a_kj) { return !tarvel::detail::is_zero_or_nan(a_kj); }

// Step 4: row r (index j) may be finished at list position p when j = p, its first cell is its
// diagonal and d_j > 0 (0.0, negative and NaN fail).
bool is_pivot(const Row& r, int p)
{
    const Cell* diag = r.m_pFirstCell;
    return r.m_nRow == p && diag && diag->m_nCol == p && diag->m_dValue > 0.0;
}

// y_t += f x_t, t < n, each with the roundings of one scalar update. Four independent statements
// a turn, so that the compiler packs them into two-lane multiplies and adds at -O2 as well.
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

// Column slots. An update or a gather reaches only a column that some row other than its own
// holds; the work row, the tails and the chains are indexed by the rank of such a column (its
// slot). The columns of rows coupled to nothing (the unit rows of prescribed values) take none,
// so that runs of consecutive slots span them.
struct Columns
{
    std::vector<char> stored;  // by index: a row of that index is stored
    std::vector<int> slot;     // by column: its slot, kNoSlot where none
    std::vector<int> column;   // by slot: its column

    int width() const { return static_cast<int>(slot.size()); }  // largest index or column + 1
    int slots() const { return static_cast<int>(column.size()); }
};

Columns columns_of(const Row* first)
{
    int width = 0;
    for (const Row* r = first; r; r = r->m_pNextRow)
    {
        width = std::max(width, r->m_nRow + 1);
        for (const Cell* c = r->m_pFirstCell; c; c = c->m_pNext)
            width = std::max(width, c->m_nCol + 1);
    }
    Columns cols;
    cols.stored.assign(width, 0);
    cols.slot.assign(width, kNoSlot);
    for (const Row* r = first; r; r = r->m_pNextRow)
    {
        if (r->m_nRow >= 0) cols.stored[r->m_nRow] = 1;
        for (const Cell* c = r->m_pFirstCell; c; c = c->m_pNext)
            if (c->m_nCol >= 0 && c->m_nCol != r->m_nRow) cols.slot[c->m_nCol] = 0;
    }
    int slots = 0;
    for (int m = 0; m < width; ++m)
    {
        if (cols.slot[m] == kNoSlot) continue;
        cols.slot[m] = slots++;
        cols.column.push_back(m);
    }
    return cols;
}

// An entry (k, m) of a finished row's tail. What a row gathering column j reads of entry (k, j)
// lies in one record, so that the fifty-odd senders of a row of a band touch a line each.
struct Entry
{
    int slot;      // of column m
    int link;      // at a sending entry: the next row of the chain of m (S2), kNoRow at its end
    int after;     // at a sending entry: the position of row k's next sending entry, else size
    int prevRow;   // column of the previous entry when that entry sends, else kNoRow
    double ratio;  // at a sending entry: f = -a_km / d_k, the multiplier of row m's update
};

// A finished row that still sends: its tail (entries right of its diagonal in column order,
// the values undivided in an array of their own, which the updates stream through), the end of
// the run of consecutive slots at each entry (not made when the whole tail is one run) and its
// cursor, the position of its next sending entry.
struct Sender
{
    const Entry* entry = nullptr;
    const double* value = nullptr;
    const int* runEnd = nullptr;
    int size = 0;
    int next = 0;
    int buffer = 0;
    bool oneRun = false;

    int run_end(int q) const { return oneRun ? size : runEnd[q]; }
};

// The finished rows that still send updates, chained by column.
// Invariants:
//  S1  a row sends to row m exactly through its sending entries (k, m) (sends(a_km)); a row
//      with one aiming at a row that is not stored fails at its pivot step and never joins
//  S2  the chain of slot c runs from head(c) through the links of the sending entries at c:
//      the rows whose entry at c has not yet been applied, in increasing k. Rows finish in
//      increasing k and are appended at the end (m_lastLink), so the senders of row j arrive in
//      the order its updates must be applied, without a search or a sort
//  S3  a chain is taken once, when the row of its column is gathered; no row finishing later
//      joins it (a row's entries lie right of its diagonal), so m_lastLink there is dead
//  S4  next_slot(k) is the slot of row k's cursor, kNoSlot once every sending entry of row k
//      has been applied; its tail's buffer is then spare, so the storage in use follows the
//      rows still sending (a band's width of rows for a banded matrix)
class SenderChains
{
public:
    SenderChains(int width, int slots)
        : m_senders(width), m_nextSlot(width, kNoSlot), m_head(slots, kNoRow), m_lastLink(slots)
    {
        for (int c = 0; c < slots; ++c) m_lastLink[c] = &m_head[c];
    }

    // Storage for a tail of n entries (its old contents not kept), and its release.
    struct Tail
    {
        std::unique_ptr<Entry[]> entry;
        std::unique_ptr<double[]> value;
        std::unique_ptr<int[]> runEnd;
        int capacity = 0;
    };
    int take_buffer(int n);
    Tail& buffer(int b) { return m_tails[b]; }
    void release(int b) { m_spare.push_back(b); }

    // Row k joins the chains of its sending entries, its tail of n entries (slot, prevRow,
    // ratio set) in buffer b; the buffer is released when nothing sends.
    void append(int k, int b, int n);
    // The first row of the chain of slot c, the chain then empty (S3).
    int take_chain(int c) { return std::exchange(m_head[c], kNoRow); }
    const Sender& sender(int k) const { return m_senders[k]; }
    int next_slot(int k) const { return m_nextSlot[k]; }
    // Row k has applied its cursor's entry: the cursor moves on (S4). Returns the next row of
    // the chain it was read from.
    int pass(int k);

private:
    std::vector<Tail> m_tails;      // buffers, in use or spare
    std::vector<int> m_spare;       // buffers not in use
    std::vector<Sender> m_senders;  // by row
    std::vector<int> m_nextSlot;    // by row (S4)
    std::vector<int> m_head;        // by slot (S2)
    std::vector<int*> m_lastLink;   // by slot: where the next row joining the chain is written
};

int SenderChains::take_buffer(int n)
{
    int b = static_cast<int>(m_tails.size());
    if (m_spare.empty())
        m_tails.emplace_back();
    else
    {
        b = m_spare.back();
        m_spare.pop_back();
    }
    Tail& t = m_tails[b];
    if (n > t.capacity)
    {
        t.capacity = std::max(n, 2 * t.capacity);
        t.entry.reset(new Entry[t.capacity]);
        t.value.reset(new double[t.capacity]);
        t.runEnd.reset(new int[t.capacity]);
    }
    return b;
}

void SenderChains::append(int k, int b, int n)
{
    Tail& t = m_tails[b];
    Entry* entry = t.entry.get();
    const bool oneRun = entry[n - 1].slot - entry[0].slot == n - 1;  // slots ascend: exactly then
    if (!oneRun)
    {
        t.runEnd[n - 1] = n;
        for (int q = n - 2; q >= 0; --q)
            t.runEnd[q] = entry[q + 1].slot == entry[q].slot + 1 ? t.runEnd[q + 1] : q + 1;
    }
    int first = n;  // the first sending entry so far, from the right
    for (int q = n - 1; q >= 0; --q)
    {
        if (!sends(t.value[q])) continue;
        entry[q].after = first;
        first = q;
        entry[q].link = kNoRow;
        int*& last = m_lastLink[entry[q].slot];
        *last = k;
        last = &entry[q].link;
    }
    if (first == n)
    {
        release(b);
        return;
    }
    m_senders[k] = Sender{entry, t.value.get(), t.runEnd.get(), n, first, b, oneRun};
    m_nextSlot[k] = entry[first].slot;
}

int SenderChains::pass(int k)
{
    Sender& s = m_senders[k];
    const Entry& e = s.entry[s.next];
    if (e.after == s.size)
    {
        release(s.buffer);
        m_nextSlot[k] = kNoSlot;
    }
    else
    {
        s.next = e.after;
        m_nextSlot[k] = s.entry[e.after].slot;
    }
    return e.link;  // the buffer, if released, is reused only when a row finishes
}

// The factorization's work space: the senders, the work row w by slot (-0.0, the exact additive
// identity, wherever no row is being gathered, so an update needs no test of its own), and the
// pattern of the row being gathered.
class UpLooking
{
public:
    explicit UpLooking(const Columns& cols)
        : m_cols(cols), m_chains(cols.width(), cols.slots()), m_w(cols.slots(), -0.0),
          m_stamp(cols.slots(), -1), m_fill(cols.slots())
    {
    }

    // Steps 1-5 for the row at list position p; steps 4-5 only when `finishing` (after a
    // failure the rows still receive their pending updates). Returns whether the row finished.
    bool factor_row(Row& rj, int p, bool finishing);
    std::uint32_t updates() const { return m_nUpdates; }  // entry updates so far

private:
    void update(const Sender& s, int jc, int p);
    void write_back(Row& rj, Cell* beforeDiag, Cell* c, int nOld);
    bool send(Cell* diag, int k, int n);
    double take(int m) { return std::exchange(m_w[m], -0.0); }

    const Columns& m_cols;
    SenderChains m_chains;
    std::vector<double> m_w;       // by slot: the work row
    std::vector<int> m_stamp;      // by slot: the position of the last row holding it
    std::vector<int> m_fill;       // the fill-in slots of the row being gathered
    int m_nFill = 0;               // their number
    std::uint32_t m_nUpdates = 0;  // wraps as m_Flops does
};

bool UpLooking::factor_row(Row& rj, int p, bool finishing)
{
    const int j = rj.m_nRow;
    const int jc = j >= 0 && j < m_cols.width() ? m_cols.slot[j] : kNoSlot;
    const int first = jc == kNoSlot ? kNoRow : m_chains.take_chain(jc);
    int n = 0;  // cells right of the diagonal after step 3
    if (first != kNoRow)
    {
        // -- 1. w = row j from its diagonal on (no update reaches left of it) --
        Cell* beforeDiag = nullptr;  // last cell left of column j
        Cell* c = rj.m_pFirstCell;
        for (; c && c->m_nCol < j; c = c->m_pNext) beforeDiag = c;
        int nOld = 0;
        for (const Cell* e = c; e; e = e->m_pNext, ++nOld)
        {
            const int m = m_cols.slot[e->m_nCol];
            m_w[m] = e->m_dValue;
            m_stamp[m] = p;
        }
        // -- 2. w_m += f a_km, row k's senders in increasing k (S2) --
        m_nFill = 0;
        for (int k = first; k != kNoRow; k = m_chains.pass(k)) update(m_chains.sender(k), jc, p);
        // -- 3. Row j = w --
        write_back(rj, beforeDiag, c, nOld);
        n = nOld + m_nFill - 1;
    }
    // -- 4. The pivot --
    if (!finishing || !is_pivot(rj, p)) return false;
    // -- 5. u_jm = a_jm / d_j; row j sends --
    Cell* diag = rj.m_pFirstCell;
    if (first == kNoRow)  // the row as it stood
        for (const Cell* e = diag->m_pNext; e; e = e->m_pNext) ++n;
    return send(diag, p, n);
}

// Step 2 for sender k, at its entry (k, j): w_m += f a_km over its tail from there on, by runs
// of consecutive slots. The tail's columns join row j's pattern (the fill-in) unless another
// sender brings them all: when k's previous entry (k, i) sent, row i received k's tail from i
// on, so when row i sends to row j too, row i (later in the chain) brings every column of k's
// tail from j on (Liu's column-structure argument, restricted to the updates actually made).
// Reference: J. W. H. Liu, The role of elimination trees in sparse factorization, SIAM J.
// Matrix Anal. Appl. 11 (1990), sec. 3.
void UpLooking::update(const Sender& s, int jc, int p)
{
    const Entry& e_kj = s.entry[s.next];
    const bool covered = e_kj.prevRow != kNoRow && m_chains.next_slot(e_kj.prevRow) == jc;
    int nFill = m_nFill;  // a local: the stores below could alias the member
    for (int q = s.next; !covered && q < s.size; ++q)
    {
        const int m = s.entry[q].slot;
        if (m_stamp[m] == p) continue;
        m_stamp[m] = p;
        m_fill[nFill++] = m;
    }
    m_nFill = nFill;
    for (int q = s.next, end; q < s.size; q = end)
    {
        end = s.run_end(q);
        add_scaled(m_w.data() + s.entry[q].slot, s.value + q, end - q, e_kj.ratio);
    }
    m_nUpdates += s.size - s.next;
}

// Step 3: the values of w go into the row from its diagonal on (c, nOld cells), w back to -0.0.
// With fill-in, that part of the row is remade as one chain of consecutive cells, the old cells
// and the fill-in merged in column order (R2).
void UpLooking::write_back(Row& rj, Cell* beforeDiag, Cell* c, int nOld)
{
    const int* slot = m_cols.slot.data();
    if (m_nFill == 0)
    {
        for (Cell* e = c; e; e = e->m_pNext) e->m_dValue = take(slot[e->m_nCol]);
        return;
    }
    const auto fill = m_fill.begin(), fillEnd = fill + m_nFill;
    if (!std::is_sorted(fill, fillEnd)) std::sort(fill, fillEnd);
    Cell* chain = tarvel::detail::new_cell_run(nOld + m_nFill);
    if (!chain) throw std::bad_alloc();
    const Cell* old = c;
    auto f = fill;
    for (Cell* out = chain; out; out = out->m_pNext)
    {
        if (old && (f == fillEnd || slot[old->m_nCol] < *f))
        {
            out->m_nCol = old->m_nCol;
            old = old->m_pNext;
        }
        else
            out->m_nCol = m_cols.column[*f++];
        out->m_dValue = take(slot[out->m_nCol]);
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
}

// Step 5 for row k, which passed its pivot step, with n cells right of its diagonal: its tail
// copied, u_km = a_km / d_k in the row, and the chains joined, in one walk over the cells. The
// rare row with a sending entry aiming at a row that is not stored (S1) gets its undivided
// values back from the tail and returns false.
bool UpLooking::send(Cell* diag, int k, int n)
{
    if (n == 0) return true;
    const int b = m_chains.take_buffer(n);
    SenderChains::Tail& t = m_chains.buffer(b);
    const double d_k = diag->m_dValue;
    bool stray = false;
    int q = 0;
    int prevRow = kNoRow;
    for (Cell* e = diag->m_pNext; e; e = e->m_pNext, ++q)
    {
        const double a_km = e->m_dValue;
        t.entry[q].slot = m_cols.slot[e->m_nCol];
        t.entry[q].prevRow = prevRow;
        t.value[q] = a_km;
        prevRow = kNoRow;
        if (!sends(a_km)) continue;
        stray |= !m_cols.stored[e->m_nCol];
        e->m_dValue = a_km / d_k;         // u_km
        t.entry[q].ratio = -e->m_dValue;  // -(a / d) = -a / d exactly
        prevRow = e->m_nCol;
    }
    if (stray)
    {
        q = 0;
        for (Cell* e = diag->m_pNext; e; e = e->m_pNext) e->m_dValue = t.value[q++];
        m_chains.release(b);
        return false;
    }
    m_chains.append(k, b, n);
    return true;
}

// The driver: rows in list order; after a failure the rows below still receive the pending
// updates. m_Flops: +1 per finished row, +2 per update of an entry.
int cholesky_up_looking(Row* first)
{
    if (!first) return 1;
    const Columns cols = columns_of(first);
    UpLooking work(cols);
    std::uint32_t finished = 0;
    int status = 1;
    tarvel::detail::ProgressReport progress("Cholesky", cols.width());
    int p = 0;
    for (Row* r = first; r; r = r->m_pNextRow, ++p)
    {
        progress.step(p);
        if (work.factor_row(*r, p, status == 1))
            ++finished;
        else
            status = -1;
    }
    CVirtMat::m_Flops += 2u * work.updates() + finished;
    if (status == 1) progress.finish();
    return status;
}

}  // namespace

// Cholesky(): 1 on success (an empty matrix included), -1 at the first row that fails its
// pivot step (is_pivot, or an entry aiming at a row not stored), the matrix then partly
// factorized: the rows above it finished, it and every row below it holding the updates of
// the rows above.
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
