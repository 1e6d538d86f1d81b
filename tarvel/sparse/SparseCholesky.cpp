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
// the lists, the bits, m_Flops and the state after a failure are those of the classical form,
// kept in tarvel::detail::cholesky_right_looking for the tests.
//
// Rows whose factorization has finished keep their undivided values in compact arrays that
// the later rows read; the division a_kj / d_k of a cell never feeds another computation, so
// it is made as soon as the row is finished.
#include <tarvel/core/Matrix.h>
#include <tarvel/platform/Clock.h>
#include <tarvel/sparse/SparseMatrix.h>
#include <tarvel/sparse/detail/SparseDetail.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

using tarvel::detail::add_in_row;
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
        if (r->m_nRow >= 0) stored[static_cast<std::size_t>(r->m_nRow)] = 1;
    return stored;
}

// The checks of row k at its turn, after all updates of the rows above it:
//  - its index is k, its first cell is its diagonal, and d_k > 0 (0.0, negative, NaN fail);
//  - every entry right of the diagonal that will send an update (not 0.0, not NaN) aims at a
//    stored row.
bool row_passes(const Row& rk, int k, const std::vector<char>& stored)
{
    const Cell* diag = rk.m_pFirstCell;
    if (rk.m_nRow != k || !diag || diag->m_nCol != k || !(diag->m_dValue > 0.0)) return false;
    for (const Cell* c = diag->m_pNext; c; c = c->m_pNext)
    {
        if (is_zero_or_nan(c->m_dValue)) continue;
        if (c->m_nCol < 0 || c->m_nCol >= static_cast<int>(stored.size()) ||
            !stored[static_cast<std::size_t>(c->m_nCol)])
            return false;
    }
    return true;
}

// Work space of the up-looking factorization: the finished rows still sending updates, in
// compact form; the rows waiting in each column; one dense work row.
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
        : m_stored(stored), m_tails(static_cast<std::size_t>(nRows)),
          m_next(static_cast<std::size_t>(nRows), 0), m_d(static_cast<std::size_t>(nRows), 0.0),
          m_aj(static_cast<std::size_t>(nRows), 0.0),
          m_senderOf(static_cast<std::size_t>(nRows), -1),
          m_waiting(static_cast<std::size_t>(width), -1),
          m_nextWaiting(static_cast<std::size_t>(nRows), -1),
          m_w(static_cast<std::size_t>(width), -0.0), m_stamp(static_cast<std::size_t>(width), -1),
          m_fill(static_cast<std::size_t>(width), 0)
    {
    }

    // Applies to row j (at list position p) every update of the finished rows, in increasing
    // k, and writes the result back into its cells (fill-in made where needed).
    void gather_updates(Row& rj, int p, std::uint32_t& flops);
    // Records finished row k (it passed its checks) and divides its cells by d_k.
    void finish(Row& rk, int k);

private:
    struct Entry
    {
        int col;
        double value;  // undivided a_kj
    };
    using Tail = std::vector<Entry>;

    // Row k waits in the column of its next entry that aims at a stored row (the others are
    // 0.0 or NaN, row_passes made sure of it, and send nothing); a used-up tail is recycled.
    void wait(int k)
    {
        const std::size_t uk = static_cast<std::size_t>(k);
        Tail& tail = m_tails[uk];
        std::size_t at = m_next[uk];
        while (at < tail.size() && !m_stored[static_cast<std::size_t>(tail[at].col)]) ++at;
        m_next[uk] = at;
        if (at == tail.size())
        {
            tail.clear();
            m_spare.push_back(std::move(tail));
            return;
        }
        const std::size_t c = static_cast<std::size_t>(tail[at].col);
        m_nextWaiting[uk] = m_waiting[c];
        m_waiting[c] = k;
    }

    const std::vector<char>& m_stored;  // by index: the row is stored
    // Finished row k's entries right of its diagonal, undivided; m_next[k] is the first one
    // not yet used. A tail used up goes back to m_spare, so the storage in use follows the
    // rows still sending (a band's width of rows for a banded matrix).
    std::vector<Tail> m_tails;
    std::vector<Tail> m_spare;
    std::vector<std::size_t> m_next;
    std::vector<double> m_d;         // d_k of the finished rows
    std::vector<double> m_aj;        // a_kj of the senders of the current row j
    std::vector<int> m_senderOf;     // by row: the position of the last row it sent to
    std::vector<int> m_waiting;      // by column: a finished row whose next entry is there
    std::vector<int> m_nextWaiting;  // by row: the next row waiting in the same column
    std::vector<double> m_w;         // the work row, -0.0 outside the row being gathered
    std::vector<int> m_stamp;        // by column: the position of the last row holding it
    std::vector<int> m_senders;      // scratch: rows updating the current row
    std::vector<int> m_fill;         // scratch: fill-in columns of the current row
};

void UpLooking::gather_updates(Row& rj, int p, std::uint32_t& flops)
{
    const int j = rj.m_nRow;
    if (j < 0 || j >= static_cast<int>(m_waiting.size())) return;
    // -- 1. The senders: finished rows whose next entry is in column j, in increasing k --
    m_senders.clear();
    for (int k = m_waiting[static_cast<std::size_t>(j)]; k >= 0;
         k = m_nextWaiting[static_cast<std::size_t>(k)])
    {
        m_senders.push_back(k);
        m_aj[static_cast<std::size_t>(k)] =
            m_tails[static_cast<std::size_t>(k)][m_next[static_cast<std::size_t>(k)]].value;
        m_senderOf[static_cast<std::size_t>(k)] = p;
    }
    m_waiting[static_cast<std::size_t>(j)] = -1;
    if (m_senders.empty()) return;
    std::sort(m_senders.begin(), m_senders.end());

    // -- 2. Scatter row j from its diagonal on (updates never reach left of it) --
    double* w = m_w.data();
    int* stamp = m_stamp.data();
    Cell* beforeDiag = nullptr;  // last cell left of column j
    Cell* c = rj.m_pFirstCell;
    for (; c && c->m_nCol < j; c = c->m_pNext) beforeDiag = c;
    for (Cell* s = c; s; s = s->m_pNext)
    {
        w[s->m_nCol] = s->m_dValue;
        stamp[s->m_nCol] = p;
    }

    // -- 3. Updates w_m += f * a_km, f = -a_kj / d_k, m over row k from column j on --
    int* fill = m_fill.data();
    int nFill = 0;
    std::uint32_t count = 0;
    for (const int k : m_senders)
    {
        const std::size_t uk = static_cast<std::size_t>(k);
        const std::size_t at = m_next[uk];  // entry (k, j)
        const Tail& tail = m_tails[uk];
        const std::size_t end = tail.size();
        const Entry* e = tail.data();
        const double a = e[at].value;
        if (!is_zero_or_nan(a))
        {
            const double f = -a / m_d[uk];
            // Covered: the previous entry (k, i) sent, and row i sends to row j.
            bool covered = false;
            if (at > 0 && !is_zero_or_nan(e[at - 1].value))
            {
                const std::size_t i = static_cast<std::size_t>(e[at - 1].col);
                covered = i < m_senderOf.size() && m_senderOf[i] == p && !is_zero_or_nan(m_aj[i]);
            }
            if (covered)
            {
                for (std::size_t q = at; q < end; ++q) w[e[q].col] += f * e[q].value;
            }
            else
            {
                for (std::size_t q = at; q < end; ++q)
                {
                    const int m = e[q].col;
                    if (stamp[m] != p)
                    {
                        stamp[m] = p;
                        fill[nFill++] = m;
                    }
                    w[m] += f * e[q].value;
                }
            }
            count += static_cast<std::uint32_t>(end - at);
        }
        m_next[uk] = at + 1;
        wait(k);
    }
    flops += 2u * count;

    // -- 4. Write back, inserting the fill-in at its ordered places (R2); w back to -0.0 --
    std::sort(fill, fill + nFill);
    Cell* prev = beforeDiag;
    Cell* cur = c;
    for (int t = 0; t < nFill; ++t)
    {
        const int m = fill[t];
        for (; cur && cur->m_nCol < m; cur = cur->m_pNext)
        {
            cur->m_dValue = w[cur->m_nCol];
            w[cur->m_nCol] = -0.0;
            prev = cur;
        }
        Cell* made = new Cell{cur, w[m], m};
        w[m] = -0.0;
        if (prev)
            prev->m_pNext = made;
        else
            rj.m_pFirstCell = made;
        prev = made;
    }
    for (; cur; cur = cur->m_pNext)
    {
        cur->m_dValue = w[cur->m_nCol];
        w[cur->m_nCol] = -0.0;
    }
}

void UpLooking::finish(Row& rk, int k)
{
    const std::size_t uk = static_cast<std::size_t>(k);
    Cell* diag = rk.m_pFirstCell;
    if (!diag->m_pNext) return;  // sends nothing
    const double d = diag->m_dValue;
    m_d[uk] = d;
    Tail& tail = m_tails[uk];
    if (!m_spare.empty())
    {
        tail = std::move(m_spare.back());
        m_spare.pop_back();
    }
    for (Cell* c = diag->m_pNext; c; c = c->m_pNext)
    {
        tail.push_back(Entry{c->m_nCol, c->m_dValue});
        if (!is_zero_or_nan(c->m_dValue)) c->m_dValue = c->m_dValue / d;  // u_kj
    }
    m_next[uk] = 0;
    wait(k);
}

int cholesky_up_looking(Row* first);

}  // namespace

// Cholesky(): 1 on success (an empty matrix included), -1 at the first row that fails its
// checks (row_passes), the matrix then partly factorized: the rows above it finished, it and
// every row below it holding the updates of the rows above. m_Flops: +1 per finished row, +2
// per update of an entry.
int CSparseMatrix::Cholesky()
{
    try
    {
        return cholesky_up_looking(m_pFirstRow);
    }
    catch (const std::bad_alloc&)  // work space or a fill-in cell: reported as a failure
    {
        return -1;
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
        work.gather_updates(*r, p, flops);
        if (status != 1) continue;  // after a failure only the pending updates are applied
        if (!row_passes(*r, p, stored))
        {
            status = -1;
            continue;
        }
        ++flops;
        work.finish(*r, p);
    }
    CVirtMat::m_Flops += flops;
    return status;
}

}  // namespace

// The classical right-looking form: for each row k in list order, check it, then for each entry (k, j) right
// of its diagonal that is not 0.0 or NaN merge f times the row from column j on into row j
// (found by walking forward), then store a_kj / d_k.
int tarvel::detail::cholesky_right_looking(CSparseMatrix& A)
{
    if (!A.m_pFirstRow) return 1;
    int maxRow = 0, maxCol = 0;
    extents(A.m_pFirstRow, maxRow, maxCol);
    const std::vector<char> stored = stored_rows(A.m_pFirstRow, std::max(maxRow, maxCol) + 1);
    int k = 0;
    for (Row* rk = A.m_pFirstRow; rk; rk = rk->m_pNextRow, ++k)
    {
        if (!row_passes(*rk, k, stored)) return -1;
        ++CVirtMat::m_Flops;
        Cell* diag = rk->m_pFirstCell;
        const double d = diag->m_dValue;
        Row* rj = rk;
        for (Cell* ckj = diag->m_pNext; ckj; ckj = ckj->m_pNext)
        {
            const double a = ckj->m_dValue;
            if (is_zero_or_nan(a)) continue;
            const double f = -a / d;
            while (rj && rj->m_nRow < ckj->m_nCol) rj = rj->m_pNextRow;
            if (!rj) return -1;  // not reached: row_passes found row j stored, and R1
            Cell* cursor = nullptr;
            for (const Cell* ckm = ckj; ckm; ckm = ckm->m_pNext)
            {
                cursor = add_in_row(*rj, cursor, ckm->m_nCol, f * ckm->m_dValue);
                CVirtMat::m_Flops += 2;
            }
            ckj->m_dValue = a / d;
        }
    }
    return 1;
}

// Cholesky_Solve(B, seconds): m_Flops = 0; Cholesky; ForwSub(B, null, -1) solves U^T y = b,
// DiagMult(B, null, -2) divides by D, BackwSub(B, null, 1) solves U x = y. On a failed
// factorization seconds becomes -1.0, B is untouched and the failure is returned.
int CSparseMatrix::Cholesky_Solve(CVirtMat* B, double& seconds)
{
    m_Flops = 0;
    seconds = 1000.0;  // clock ticks per second until the elapsed time is known
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
    seconds = static_cast<double>(TarvelClock() - t0) / 1000.0;
    return 1;
}
