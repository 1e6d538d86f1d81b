// The factorizations of the system matrix: LU without pivoting and square-root-free Cholesky of
// the upper triangle, both in place on the array's rows.
//
// Cholesky by row merging (right-looking):
//   for k = 0, 1, ..., n - 1:  d_k = the first cell of row k (it must exist, d_k > 0);
//     for each further cell (k, j) with a = a_kj not 0.0 or NaN:
//       row j += f * [(k, j), (k, j + ...), ...]  with f = -a / d_k   (row::AddRow, fill-in made)
//       a_kj <- a / d_k
//   A = U^T D U,  D = diag(d_k), U unit upper: the layout the inherited Cholesky_Solve expects.
// Reference: G. H. Golub, C. F. Van Loan, Matrix Computations, 4th ed., sec. 4.1 (LDL^T).
#include <tarvel/sparse/SystSpMat.h>
#include <tarvel/sparse/detail/SparseDetail.h>
#include <tarvel/sparse/detail/SystDetail.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

using tarvel::detail::Cell;
using tarvel::detail::is_zero_or_nan;
using tarvel::detail::Row;

namespace
{

// The stated elimination. Fails with -1 at a row without cells, with a first value not above
// 0.0, or with a non-zero entry after the first cell in a column outside 0 .. n - 1 (its row j
// would not exist).
int merge_rows(Row* rows, int n)
{
    for (int k = 0; k < n; ++k)
    {
        Cell* first = rows[k].m_pFirstCell;
        if (!first || !(first->m_dValue > 0.0)) return -1;
        for (const Cell* c = first->m_pNext; c; c = c->m_pNext)
            if (!is_zero_or_nan(c->m_dValue) && (c->m_nCol < 0 || c->m_nCol >= n)) return -1;
        const double d = first->m_dValue;  // taken as the diagonal, whatever its column
        for (Cell* c = first->m_pNext; c; c = c->m_pNext)
        {
            const double a = c->m_dValue;
            if (is_zero_or_nan(a)) continue;
            rows[c->m_nCol].AddRow(c, -a / d);
            c->m_dValue = a / d;
        }
    }
    return 1;
}

// True when every row starts at its diagonal or is empty. The updates of a row j start at
// column j, so this stays true during the elimination and each row's first cell at its turn is
// its diagonal (or the row is still empty).
bool rows_start_at_diagonal(const Row* rows, int n)
{
    for (int k = 0; k < n; ++k)
        if (rows[k].m_pFirstCell && rows[k].m_pFirstCell->m_nCol != k) return false;
    return true;
}

}  // namespace

int tarvel::detail::syst_cholesky_merging(CSystSpMat& A)
{
    return merge_rows(A.m_pRowArray, A.m_nRowArraySize);
}

// Cholesky(): 1 on success (no rows included), -1 as merge_rows fails; on failure the rows above
// the failing one are finished and every row below holds their updates. Nothing is counted.
//
// When every row starts at its diagonal, the merging is exactly CSparseMatrix::Cholesky on the
// list (S2): the same checks at each row's turn (first cell present and positive, entries aiming
// at rows of the matrix), the same updates in the same order, the same partial state on failure;
// that member computes them row by row from compact copies of the finished rows, which is much
// faster than merging linked rows. Its operation count is not kept. Other matrices (a row
// starting left or right of its diagonal, where the first cell still serves as d_k) are merged
// as stated.
int CSystSpMat::Cholesky()
{
    if (m_nRowArraySize < 1) return 1;
    if (!rows_start_at_diagonal(m_pRowArray, m_nRowArraySize))
    {
        try
        {
            return merge_rows(m_pRowArray, m_nRowArraySize);
        }
        catch (const std::bad_alloc&)  // a fill-in cell: reported as a failure
        {
            return -1;
        }
    }
    const std::uint32_t flops = m_Flops;
    const int status = CSparseMatrix::Cholesky();  // reports exhausted storage as -1 itself
    m_Flops = flops;
    return status;
}

// =============================================================================================
// LU
// =============================================================================================

namespace
{

// Up-looking form of the row-oriented elimination. Row r is taken at its turn: the pivot rows
// k < r are final, and the eliminations that the stated algorithm applies to row r at steps
// k = 0 .. r - 1 (each depending only on row r and the final row k) are applied to a dense copy
// of row r in increasing k, then row r is checked as pivot r and written back. Every entry
// receives the same operations in the same order as in the stated form; a fill-in entry starts
// at -0.0, an exact additive identity, so its first update becomes its value bit for bit.
class RowByRowLU
{
public:
    RowByRowLU(Row* rows, int n, int width)
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

    Row* m_rows;
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
    Row& row = m_rows[r];
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

    // -- 3. Row r as pivot: its cursor on its diagonal, a usable pivot --
    if (limit != r || stuck || stamp[r] != r || w[r] == 0.0 || std::isnan(w[r])) return false;
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

void RowByRowLU::write_back(Row& row)
{
    std::sort(m_fill.begin(), m_fill.end());
    const double* w = m_w.data();
    Cell* prev = nullptr;
    Cell* cur = row.m_pFirstCell;
    for (; cur && cur->m_nCol < 0; cur = cur->m_pNext) prev = cur;
    for (const int m : m_fill)
    {
        for (; cur && cur->m_nCol < m; cur = cur->m_pNext)
        {
            cur->m_dValue = w[cur->m_nCol];
            prev = cur;
        }
        Cell* made = new Cell{cur, w[m], m};
        if (prev)
            prev->m_pNext = made;
        else
            row.m_pFirstCell = made;
        prev = made;
    }
    for (; cur; cur = cur->m_pNext) cur->m_dValue = w[cur->m_nCol];
}

}  // namespace

// LU(): A = L U in place, the elimination of CSparseMatrix::LU (rows by list position are the
// array's rows, S2; each update added forward from the row's cursor cell): 1 on success, -1 at
// the first step k whose row has no usable pivot (its cursor not on its diagonal, or a pivot of
// 0.0 or NaN), every row below it then holding the eliminations of the steps before k.
// Nothing is counted. Row by row (RowByRowLU); tarvel::detail::lu_plain is the stated form.
int CSystSpMat::LU()
{
    const int n = m_nRowArraySize;
    if (n < 1) return 1;
    int width = n;
    for (int r = 0; r < n; ++r)
        for (const Cell* c = m_pRowArray[r].m_pFirstCell; c; c = c->m_pNext)
            if (c->m_nCol >= width) width = c->m_nCol + 1;
    try
    {
        RowByRowLU work(m_pRowArray, n, width);
        int failed = n;  // the first step without a usable pivot
        for (int r = 0; r < n; ++r)
            if (!work.eliminate_row(r, std::min(r, failed)) && failed == n) failed = r;
        return failed == n ? 1 : -1;
    }
    catch (const std::bad_alloc&)  // work space or a fill-in cell: reported as a failure
    {
        return -1;
    }
}
