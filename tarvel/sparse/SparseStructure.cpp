// Structural operations around the direct solvers: Mirror (upper triangle to full matrix),
// AAT (the product with the transpose), and the shape tests IsUpper, IsLower and IsSym.
#include <tarvel/platform/Assert.h>
#include <tarvel/platform/Clock.h>
#include <tarvel/platform/detail/Report.h>
#include <tarvel/sparse/SparseMatrix.h>
#include <tarvel/sparse/detail/ListNodes.h>
#include <tarvel/sparse/detail/ListOrder.h>
#include <tarvel/sparse/detail/RowEdits.h>
#include <tarvel/sparse/detail/ValueTests.h>

#include <algorithm>
#include <cstddef>
#include <vector>

using tarvel::detail::Cell;
using tarvel::detail::drop_left_of_diagonal;
using tarvel::detail::is_zero_or_nan;
using tarvel::detail::Row;
using tarvel::detail::SecondsArgument;

// Mirror(f): A = U + f U_s^T, U the diagonal and upper part, U_s its strictly upper part.
//  1. Cells left of the diagonal are deleted; rows left without cells are deleted.
//  2. The rows are visited from the last to the first, so each still holds only its upper
//     part; cell (i, j, a) right of the diagonal adds f * a at (j, i) through the virtual
//     Add(int, int, double, row*&), the row cursor starting at row i.
// Returns the elapsed seconds (ticks times 0.001).
double CSparseMatrix::Mirror(double f)
{
    TARVEL_ASSERT(tarvel::detail::lists_are_ordered(*this),
                  "CSparseMatrix::Mirror: rows or cells out of order or repeated (R1, R2)");
    const long start = TarvelClock();
    // -- 1. Keep the diagonal and upper part; unlink rows left empty --
    std::vector<row*> rows;
    row* prev = nullptr;
    row* r = m_pFirstRow;
    while (r)
    {
        row* next = r->m_pNextRow;
        drop_left_of_diagonal(*r);
        if (!r->m_pFirstCell)
        {
            if (prev)
                prev->m_pNextRow = next;
            else
                m_pFirstRow = next;
            delete r;
        }
        else
        {
            rows.push_back(r);
            prev = r;
        }
        r = next;
    }
    // -- 2. Mirror, last row first --
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
    {
        row* ri = *it;
        const int i = ri->m_nRow;
        const cell* c = ri->m_pFirstCell;
        if (c->m_nCol == i) c = c->m_pNext;  // the diagonal stays alone
        row* cursor = ri;
        for (; c; c = c->m_pNext) Add(c->m_nCol, i, f * c->m_dValue, cursor);
    }
    return tarvel::detail::seconds_by_product(TarvelClock() - start);
}

// AAT(): this becomes T = A A^T, t_ij = sum_c a_ic a_jc (from 0.0, in increasing c); entries
// whose sum is 0.0 or NaN are not stored. T is filled through CSparseMatrix's own five-
// argument Add, rows and columns ascending, and then takes the place of the rows; the
// allocation sizes stay. Nothing is counted.
// The direct form takes the merge of every pair of rows (quadratic in the rows); here the
// rows j meeting row i are found through the column lists of A, and each t_ij receives the
// same products in the same order (the tests compare it with the direct form, one merge per pair of rows).
void CSparseMatrix::AAT()
{
    TARVEL_ASSERT(tarvel::detail::lists_are_ordered(*this),
                  "CSparseMatrix::AAT: rows or cells out of order or repeated (R1, R2)");
    int maxRow = -1, maxCol = -1;
    for (const row* r = m_pFirstRow; r; r = r->m_pNextRow)
    {
        maxRow = std::max(maxRow, r->m_nRow);
        for (const cell* c = r->m_pFirstCell; c; c = c->m_pNext)
            maxCol = std::max(maxCol, c->m_nCol);
    }
    // -- 1. Column lists of A (rows ascending within each column, R1) --
    const std::size_t nCols = static_cast<std::size_t>(maxCol + 1);
    std::vector<std::size_t> begin(nCols + 1, 0);
    for (const row* r = m_pFirstRow; r; r = r->m_pNextRow)
        for (const cell* c = r->m_pFirstCell; c; c = c->m_pNext)
            if (c->m_nCol >= 0) ++begin[static_cast<std::size_t>(c->m_nCol) + 1];
    for (std::size_t c = 0; c < nCols; ++c) begin[c + 1] += begin[c];
    std::vector<int> rowOf(begin[nCols]);
    std::vector<double> valueOf(begin[nCols]);
    {
        std::vector<std::size_t> at(begin.begin(), begin.end() - 1);
        for (const row* r = m_pFirstRow; r; r = r->m_pNextRow)
            for (const cell* c = r->m_pFirstCell; c; c = c->m_pNext)
            {
                if (c->m_nCol < 0) continue;
                const std::size_t q = at[static_cast<std::size_t>(c->m_nCol)]++;
                rowOf[q] = r->m_nRow;
                valueOf[q] = c->m_dValue;
            }
    }
    // -- 2. Row i of T: t_ij accumulated over the cells of row i in increasing column --
    const std::size_t nRows = static_cast<std::size_t>(maxRow + 1);
    std::vector<double> t(nRows, 0.0);
    std::vector<char> touched(nRows, 0);
    std::vector<int> meets;
    CSparseMatrix T;
    row* rowCursor = nullptr;
    for (const row* r = m_pFirstRow; r; r = r->m_pNextRow)
    {
        meets.clear();
        for (const cell* c = r->m_pFirstCell; c; c = c->m_pNext)
        {
            if (c->m_nCol < 0) continue;
            const double a = c->m_dValue;
            const std::size_t end = begin[static_cast<std::size_t>(c->m_nCol) + 1];
            for (std::size_t q = begin[static_cast<std::size_t>(c->m_nCol)]; q < end; ++q)
            {
                const std::size_t j = static_cast<std::size_t>(rowOf[q]);
                if (!touched[j])
                {
                    touched[j] = 1;
                    t[j] = 0.0;
                    meets.push_back(rowOf[q]);
                }
                t[j] += a * valueOf[q];
            }
        }
        std::sort(meets.begin(), meets.end());
        cell* cellCursor = nullptr;
        for (const int j : meets)
        {
            touched[static_cast<std::size_t>(j)] = 0;
            const double s = t[static_cast<std::size_t>(j)];
            if (!is_zero_or_nan(s)) T.CSparseMatrix::Add(r->m_nRow, j, s, rowCursor, cellCursor);
        }
    }
    // -- 3. Exchange the row lists; T leaves with the old rows --
    std::swap(m_pFirstRow, T.m_pFirstRow);
}

bool CSparseMatrix::IsUpper() const
{
    for (const row* r = m_pFirstRow; r; r = r->m_pNextRow)
        if (r->m_pFirstCell && r->m_pFirstCell->m_nCol < r->m_nRow) return false;
    return true;
}

bool CSparseMatrix::IsLower(double* seconds) const
{
    SecondsArgument timer(seconds);
    for (const row* r = m_pFirstRow; r; r = r->m_pNextRow)
        for (const cell* c = r->m_pFirstCell; c; c = c->m_pNext)
            if (c->m_nCol > r->m_nRow) return false;
    return true;
}

// IsSym(): with n = GetRows(), false exactly when
//  (a) a stored (i, c), i < c < n, has no stored partner (c, i) of equal value, or
//  (b) a stored (c, i), i < c, of a value other than 0.0 has no stored (i, c) while row i is
//      stored.
// Instead of testing every column i + 1 .. n - 1 of every row (quadratic in n), this walk
// visits each cell a bounded number of times: the rows' lower cells are met in increasing
// column by a cursor per row, as the rows i ascend.
bool CSparseMatrix::IsSym() const
{
    const int n = GetRows();
    if (n <= 0) return true;
    std::vector<const row*> rowAt(static_cast<std::size_t>(n), nullptr);
    std::vector<const cell*> lower(static_cast<std::size_t>(n), nullptr);  // next unmet
    for (const row* r = m_pFirstRow; r; r = r->m_pNextRow)
    {
        if (r->m_nRow < 0) continue;
        rowAt[static_cast<std::size_t>(r->m_nRow)] = r;
        lower[static_cast<std::size_t>(r->m_nRow)] = r->m_pFirstCell;
    }
    // A lower cell (c, i) passed without a partner: row i, if stored, lacks (i, c).
    auto unmatched_is_fine = [&](const cell* x)
    { return x->m_nCol < 0 || !rowAt[static_cast<std::size_t>(x->m_nCol)] || x->m_dValue == 0.0; };
    for (const row* r = m_pFirstRow; r; r = r->m_pNextRow)
    {
        const int i = r->m_nRow;
        if (i < 0) continue;
        for (const cell* x = r->m_pFirstCell; x; x = x->m_pNext)
        {
            const int c = x->m_nCol;
            if (c <= i) continue;
            if (c >= n) break;
            const row* partner = rowAt[static_cast<std::size_t>(c)];
            if (!partner) return false;
            const cell*& y = lower[static_cast<std::size_t>(c)];
            for (; y && y->m_nCol < i; y = y->m_pNext)
                if (!unmatched_is_fine(y)) return false;
            if (!y || y->m_nCol != i || !(y->m_dValue == x->m_dValue)) return false;
            y = y->m_pNext;
        }
    }
    for (const row* r = m_pFirstRow; r; r = r->m_pNextRow)
    {
        if (r->m_nRow < 0) continue;
        for (const cell* y = lower[static_cast<std::size_t>(r->m_nRow)]; y && y->m_nCol < r->m_nRow;
             y = y->m_pNext)
            if (!unmatched_is_fine(y)) return false;
    }
    return true;
}
