// CSparseMatrix storage: construction, copies, the Add family, element assembling, sizing,
// export, queries and printing; and the operations of its rows and cells.
#include <tarvel/sparse/SparseMatrix.h>
#include <tarvel/sparse/detail/ElementOrder.h>
#include <tarvel/sparse/detail/ListNodes.h>
#include <tarvel/sparse/detail/ListOrder.h>
#include <tarvel/sparse/detail/RowEdits.h>
#include <tarvel/sparse/detail/ValueTests.h>

#include <cmath>
#include <iostream>
#include <typeinfo>
#include <utility>
#include <vector>

IMPLEMENT_SERIAL(CSparseMatrix, CVirtRealMat, 1)

using tarvel::detail::add_in_row;
using tarvel::detail::is_zero_or_nan;
using tarvel::detail::nearly_equal;
using Cell = CSparseMatrix::cell;
using Row = CSparseMatrix::row;

namespace
{

void delete_cells(Cell* c)
{
    while (c)
    {
        Cell* next = c->m_pNext;
        delete c;
        c = next;
    }
}

}  // namespace

// =============================================================================================
// CSparseMatrix::cell
// =============================================================================================

void CSparseMatrix::cell::Remove(cell* target)
{
    if (!target) return;
    for (cell* p = this; p->m_pNext; p = p->m_pNext)
    {
        if (p->m_pNext == target)
        {
            p->m_pNext = target->m_pNext;
            return;
        }
    }
}

CSparseMatrix::cell* CSparseMatrix::cell::Remove(int col)
{
    cell* p = this;
    while (p->m_pNext && p->m_pNext->m_nCol < col) p = p->m_pNext;  // R2: stop early
    cell* found = p->m_pNext;
    if (!found || found->m_nCol != col) return nullptr;
    p->m_pNext = found->m_pNext;
    return found;
}

void CSparseMatrix::cell::DivideAll(double d)
{
    for (cell* p = this; p; p = p->m_pNext) p->m_dValue /= d;
}

// =============================================================================================
// CSparseMatrix::row
// =============================================================================================

CSparseMatrix::row::~row() { delete_cells(m_pFirstCell); }

void CSparseMatrix::row::Add(int col, double v) { add_in_row(*this, nullptr, col, v); }

void CSparseMatrix::row::Add(int col, double v, cell*& c)
{
    c = add_in_row(*this, (c && c->m_nCol <= col) ? c : nullptr, col, v);
}

void CSparseMatrix::row::Allocate(int n, double v, int first)
{
    cell* prev = nullptr;
    cell* c = m_pFirstCell;
    for (int t = 0; t < n; ++t)
    {
        if (!c)
        {
            c = new cell{nullptr, 0.0, 0};
            if (prev)
                prev->m_pNext = c;
            else
                m_pFirstCell = c;
        }
        c->m_dValue = v;
        c->m_nCol = first + t;
        prev = c;
        c = c->m_pNext;
    }
    if (prev)
        prev->m_pNext = nullptr;
    else
        m_pFirstCell = nullptr;
    delete_cells(c);  // the surplus
}

void CSparseMatrix::row::Clear()
{
    delete_cells(m_pFirstCell);
    m_pFirstCell = nullptr;
}

CSparseMatrix::cell* CSparseMatrix::row::GetCell(int col)
{
    cell* c = m_pFirstCell;
    while (c && c->m_nCol < col) c = c->m_pNext;
    return (c && c->m_nCol == col) ? c : nullptr;
}

double* CSparseMatrix::row::GetValue(int col)
{
    cell* c = GetCell(col);
    return c ? &c->m_dValue : nullptr;
}

CSparseMatrix::cell* CSparseMatrix::row::Remove(int col)
{
    cell* prev = nullptr;
    cell* c = m_pFirstCell;
    while (c && c->m_nCol < col)
    {
        prev = c;
        c = c->m_pNext;
    }
    if (!c || c->m_nCol != col) return nullptr;
    if (prev)
        prev->m_pNext = c->m_pNext;
    else
        m_pFirstCell = c->m_pNext;
    return c;
}

CSparseMatrix::cell* CSparseMatrix::row::Remove(int rowIndex, int col)
{
    row* r = this;
    while (r && r->m_nRow != rowIndex) r = r->m_pNextRow;
    return r ? r->Remove(col) : nullptr;
}

void CSparseMatrix::row::Multiply(double f, int fromCol)
{
    std::uint32_t flops = 0;
    for (cell* c = m_pFirstCell; c; c = c->m_pNext)
    {
        if (c->m_nCol >= fromCol)
        {
            c->m_dValue *= f;
            ++flops;
        }
    }
    CVirtMat::m_Flops += flops;
}

double CSparseMatrix::row::Max()
{
    double best = 0.0;
    for (cell* c = m_pFirstCell; c; c = c->m_pNext)
        if (c->m_dValue > best) best = c->m_dValue;
    return best;
}

// Merge of f * S (S = src, src->m_pNext, ...) into this row R, both ascending (R2):
//  1. src null: f is added to every cell of R.
//  2. S starting left of R's first cell (or R empty): a new head cell for S's first entry.
//  3. Lockstep walk: equal columns accumulate, an S column left of the R cell is inserted
//     before it, otherwise R advances.
//  4. R exhausted: the rest of S is appended.
void CSparseMatrix::row::AddRow(cell* src, double f)
{
    if (!src)
    {
        for (cell* c = m_pFirstCell; c; c = c->m_pNext) c->m_dValue += f;
        return;
    }
    const cell* s = src;
    cell* prev = nullptr;  // the R cell before r, null while r is R's head
    cell* r = m_pFirstCell;
    // -- 2. New head --
    if (!r || r->m_nCol > s->m_nCol)
    {
        prev = new cell{r, f * s->m_dValue, s->m_nCol};
        m_pFirstCell = prev;
        s = s->m_pNext;
    }
    // -- 3. Lockstep walk --
    while (s && r)
    {
        if (r->m_nCol == s->m_nCol)
        {
            r->m_dValue += f * s->m_dValue;
            prev = r;
            r = r->m_pNext;
            s = s->m_pNext;
        }
        else if (s->m_nCol < r->m_nCol)
        {
            cell* made = new cell{r, f * s->m_dValue, s->m_nCol};
            if (prev)
                prev->m_pNext = made;
            else
                m_pFirstCell = made;
            prev = made;
            s = s->m_pNext;
        }
        else
        {
            prev = r;
            r = r->m_pNext;
        }
    }
    // -- 4. Append the rest of S --
    for (; s; s = s->m_pNext)
    {
        cell* made = new cell{nullptr, f * s->m_dValue, s->m_nCol};
        if (prev)
            prev->m_pNext = made;
        else
            m_pFirstCell = made;
        prev = made;
    }
}

int CSparseMatrix::row::NonZeros()
{
    int n = 0;
    for (cell* c = m_pFirstCell; c; c = c->m_pNext) ++n;
    return n;
}

int CSparseMatrix::row::NumZeros(double tol)
{
    int n = 0;
    for (cell* c = m_pFirstCell; c; c = c->m_pNext)
        if (nearly_equal(c->m_dValue, 0.0, tol)) ++n;
    return n;
}

// =============================================================================================
// CSparseMatrix: construction, copies, whole-matrix operations
// =============================================================================================

CSparseMatrix::CSparseMatrix() : m_nAllocRows(0), m_nAllocCols(0), m_pFirstRow(nullptr) {}

CSparseMatrix::CSparseMatrix(const CSparseMatrix& other)
    : CVirtRealMat(other), m_nAllocRows(other.m_nAllocRows), m_nAllocCols(other.m_nAllocCols),
      m_pFirstRow(nullptr)
{
    row* lastRow = nullptr;
    for (const row* src = other.m_pFirstRow; src; src = src->m_pNextRow)
    {
        row* r = new row;
        r->m_nRow = src->m_nRow;
        if (lastRow)
            lastRow->m_pNextRow = r;
        else
            m_pFirstRow = r;
        lastRow = r;
        cell* lastCell = nullptr;
        for (const cell* c = src->m_pFirstCell; c; c = c->m_pNext)
        {
            cell* made = new cell{nullptr, c->m_dValue, c->m_nCol};
            if (lastCell)
                lastCell->m_pNext = made;
            else
                r->m_pFirstCell = made;
            lastCell = made;
        }
    }
}

// Whether m's rows are separate objects of its own list (R3), which a move may take over. A
// matrix of a derived class may keep its rows elsewhere (the system matrix keeps them as the
// elements of one array): they must stay where they are.
static bool rows_are_plain(const CSparseMatrix& m) { return typeid(m) == typeid(CSparseMatrix); }

// Takes src's cells, row by row, into rows made for this (empty) matrix; src keeps its rows,
// empty. Nothing changes (this matrix stays empty) when the rows cannot be obtained.
void CSparseMatrix::take_cells(CSparseMatrix& src) noexcept
{
    row* first = nullptr;
    row** link = &first;
    for (const row* s = src.m_pFirstRow; s; s = s->m_pNextRow)
    {
        row* r = new (std::nothrow) row;
        if (!r)
        {
            while (first) delete std::exchange(first, first->m_pNextRow);
            return;
        }
        r->m_nRow = s->m_nRow;
        *link = r;
        link = &r->m_pNextRow;
    }
    row* r = first;
    for (row* s = src.m_pFirstRow; s; s = s->m_pNextRow, r = r->m_pNextRow)
        r->m_pFirstCell = std::exchange(s->m_pFirstCell, nullptr);
    m_pFirstRow = first;
    m_nAllocRows = src.m_nAllocRows;
    m_nAllocCols = src.m_nAllocCols;
}

CSparseMatrix::CSparseMatrix(CSparseMatrix&& other) noexcept
    : CVirtRealMat(std::move(other)), m_nAllocRows(0), m_nAllocCols(0), m_pFirstRow(nullptr)
{
    if (!rows_are_plain(other))
    {
        take_cells(other);
        return;
    }
    m_pFirstRow = std::exchange(other.m_pFirstRow, nullptr);
    m_nAllocRows = std::exchange(other.m_nAllocRows, 0);
    m_nAllocCols = std::exchange(other.m_nAllocCols, 0);
}

CSparseMatrix::~CSparseMatrix() { CSparseMatrix::Clear(); }

CSparseMatrix& CSparseMatrix::operator=(CSparseMatrix& src)
{
    row* rowCursor = nullptr;
    for (row* r = src.m_pFirstRow; r; r = r->m_pNextRow)
    {
        cell* cellCursor = nullptr;
        for (cell* c = r->m_pFirstCell; c; c = c->m_pNext)
        {
            const double v = c->m_dValue;  // read before the add: src may be this matrix
            if (!is_zero_or_nan(v)) Add(r->m_nRow, c->m_nCol, v, rowCursor, cellCursor);
        }
    }
    return *this;
}

// A target of a derived class keeps its own rows: it is cleared and receives src's entries
// through its own Clear and Add (so a system matrix keeps its array and ignores what lies
// outside it). Storage exhaustion there leaves it cleared.
CSparseMatrix& CSparseMatrix::operator=(CSparseMatrix&& src) noexcept
{
    if (this == &src) return *this;
    if (!rows_are_plain(*this))
    {
        Clear();
        try
        {
            operator=(src);
        }
        catch (...)
        {
            Clear();
        }
        return *this;
    }
    CSparseMatrix::Clear();
    if (!rows_are_plain(src))
    {
        take_cells(src);
        return *this;
    }
    m_pFirstRow = std::exchange(src.m_pFirstRow, nullptr);
    m_nAllocRows = std::exchange(src.m_nAllocRows, 0);
    m_nAllocCols = std::exchange(src.m_nAllocCols, 0);
    return *this;
}

void CSparseMatrix::Clear()
{
    row* r = m_pFirstRow;
    while (r)
    {
        row* next = r->m_pNextRow;
        delete r;  // the row's destructor deletes its cells (R3)
        r = next;
    }
    m_pFirstRow = nullptr;
    m_nAllocRows = 0;
    m_nAllocCols = 0;
}

// Allocate(dims, count):
//  1. R = dims[0]; R == 0 clears (a negative R does nothing).
//  2. C = dims[1] (count >= 2) else 0; fill value dims[3] (count >= 4) else 0.0.
//  3-5. The existing rows, renumbered 0, 1, ... in list order, are reshaped to C cells each;
//     missing rows are appended, surplus ones deleted.
bool CSparseMatrix::Allocate(int* dims, int count)
{
    const int R = dims[0];
    if (R == 0)
    {
        Clear();
        return true;
    }
    if (R < 0) return true;
    const int C = count >= 2 ? dims[1] : 0;
    const double fill = count >= 4 ? static_cast<double>(dims[3]) : 0.0;
    m_nAllocCols = C;
    if (!m_pFirstRow) m_pFirstRow = new row;

    row* prev = nullptr;
    row* r = m_pFirstRow;
    int number = 0;
    for (; number < R; ++number)
    {
        if (!r)
        {
            r = new row;
            prev->m_pNextRow = r;  // prev exists: the head was made above
        }
        r->m_nRow = number;
        r->Allocate(C, fill, 0);
        prev = r;
        r = r->m_pNextRow;
    }
    prev->m_pNextRow = nullptr;
    while (r)  // rows beyond the R-th
    {
        row* next = r->m_pNextRow;
        delete r;
        r = next;
    }
    m_nAllocRows = R;
    return true;
}

CVirtRealMat& CSparseMatrix::operator=(double v)
{
    for (row* r = m_pFirstRow; r; r = r->m_pNextRow)
        for (cell* c = r->m_pFirstCell; c; c = c->m_pNext) c->m_dValue = v;
    return *this;
}

CVirtRealMat& CSparseMatrix::operator+=(double v)
{
    for (row* r = m_pFirstRow; r; r = r->m_pNextRow)
        for (cell* c = r->m_pFirstCell; c; c = c->m_pNext) c->m_dValue += v;
    return *this;
}

// =============================================================================================
// The Add family
// =============================================================================================

CSparseMatrix::row* CSparseMatrix::find_or_make_row(row* start, int i)
{
    row* prev = nullptr;
    row* r = m_pFirstRow;
    if (start && start->m_nRow <= i)
    {
        if (start->m_nRow == i) return start;
        prev = start;
        r = start->m_pNextRow;
    }
    while (r && r->m_nRow < i)
    {
        prev = r;
        r = r->m_pNextRow;
    }
    if (r && r->m_nRow == i) return r;
    row* made = new row;
    made->m_nRow = i;
    made->m_pNextRow = r;
    if (prev)
        prev->m_pNextRow = made;
    else
        m_pFirstRow = made;
    return made;
}

void CSparseMatrix::Add(int i, int j, double v)
{
    if (is_zero_or_nan(v)) return;
    add_in_row(*find_or_make_row(nullptr, i), nullptr, j, v);
}

void CSparseMatrix::Add(int i, int j, double v, cell*& c)
{
    row* r = find_or_make_row(nullptr, i);
    c = add_in_row(*r, (c && c->m_nCol <= j) ? c : nullptr, j, v);
}

void CSparseMatrix::Add(int i, int j, double v, row*& r)
{
    r = find_or_make_row(r, i);
    add_in_row(*r, nullptr, j, v);
}

void CSparseMatrix::Add(int i, int j, double v, row*& r, cell*& c)
{
    r = find_or_make_row(r, i);
    c = add_in_row(*r, (c && c->m_nCol <= j) ? c : nullptr, j, v);
}

// AddValues(dofs, ke, n): ke[p * n + q] couples element position p to position q.
//  1. Positions with a negative index are skipped.
//  2. The valid positions are ordered by ascending index: each pick scans all n positions for
//     the smallest index above the previous pick, stopping early at previous + 1.
//  3. Per position p: the entry at the smallest index q0 goes through the virtual
//     Add(i, j, v, row*&, cell*&), zero or not, so that the row and that cell exist.
//  4. The further entries of the row, non-zero and non-NaN, by sorted insertion from the
//     cell cursor (a forward sweep, since the columns ascend).
void CSparseMatrix::AddValues(long* dofs, double* ke, int n)
{
    // -- 1./2. The valid positions in ascending index order --
    const tarvel::detail::ElementOrder order(dofs, n);
    const int valid = order.size();
    if (valid == 0) return;

    // -- 3./4. Row by row, one forward sweep each --
    const int q0 = order[0];
    row* rowCursor = nullptr;
    for (int t = 0; t < valid; ++t)
    {
        const int p = order[t];
        const double* keRow = ke + static_cast<long>(p) * n;
        cell* cellCursor = nullptr;
        Add(static_cast<int>(dofs[p]), static_cast<int>(dofs[q0]), keRow[q0], rowCursor,
            cellCursor);
        if (!rowCursor) continue;  // an override of Add that made no row
        for (int u = 1; u < valid; ++u)
        {
            const int q = order[u];
            const double v = keRow[q];
            if (is_zero_or_nan(v)) continue;
            rowCursor->Add(static_cast<int>(dofs[q]), v, cellCursor);
        }
    }
}

// =============================================================================================
// Queries
// =============================================================================================

int CSparseMatrix::GetRows() const
{
    const row* last = nullptr;
    for (const row* r = m_pFirstRow; r; r = r->m_pNextRow) last = r;
    return last ? last->m_nRow + 1 : 0;
}

int CSparseMatrix::GetColumns() const
{
    int columns = 0;
    for (const row* r = m_pFirstRow; r; r = r->m_pNextRow)
    {
        const cell* last = nullptr;
        for (const cell* c = r->m_pFirstCell; c; c = c->m_pNext) last = c;
        if (last && last->m_nCol + 1 > columns) columns = last->m_nCol + 1;
    }
    return columns;
}

double* CSparseMatrix::GetValue(int i, int j)
{
    row* r = m_pFirstRow;
    while (r && r->m_nRow < i) r = r->m_pNextRow;
    if (!r || r->m_nRow != i) return nullptr;
    return r->GetValue(j);
}

int CSparseMatrix::NumZeros(double tol) const
{
    int n = 0;
    for (const row* r = m_pFirstRow; r; r = r->m_pNextRow)
        for (const cell* c = r->m_pFirstCell; c; c = c->m_pNext)
            if (nearly_equal(c->m_dValue, 0.0, tol)) ++n;
    return n;
}

double CSparseMatrix::Max() const
{
    double best = 0.0;
    for (const row* r = m_pFirstRow; r; r = r->m_pNextRow)
        for (const cell* c = r->m_pFirstCell; c; c = c->m_pNext)
            if (c->m_dValue > best) best = c->m_dValue;
    return best;
}

// MakeArrayMat(values, counts, cols, nRows): per-row counts (a row holding exactly one cell
// of value 1.0 is a unit row and counts 0; rows not stored count 0), then the first counts[r]
// cells of each row, values and columns consecutively. Returns the total.
int CSparseMatrix::MakeArrayMat(double*& values, int*& counts, int*& cols, int nRows) const
{
    counts = new int[static_cast<size_t>(nRows > 0 ? nRows : 0)]();
    int total = 0;
    for (const row* r = m_pFirstRow; r; r = r->m_pNextRow)
    {
        const cell* first = r->m_pFirstCell;
        int count = 0;
        if (first && !first->m_pNext && first->m_dValue == 1.0)
            count = 0;  // a unit row, as the boundary-condition operations leave it
        else
            for (const cell* c = first; c; c = c->m_pNext) ++count;
        counts[r->m_nRow] = count;
        total += count;
    }
    values = new double[static_cast<size_t>(total)];
    cols = new int[static_cast<size_t>(total)];
    int at = 0;
    for (const row* r = m_pFirstRow; r; r = r->m_pNextRow)
    {
        const cell* c = r->m_pFirstCell;
        for (int t = 0; t < counts[r->m_nRow]; ++t, c = c->m_pNext, ++at)
        {
            values[at] = c->m_dValue;
            cols[at] = c->m_nCol;
        }
    }
    return total;
}

// =============================================================================================
// Structural edits and printing
// =============================================================================================

using tarvel::detail::drop_left_of_diagonal;

void CSparseMatrix::MakeLower()
{
    for (row* r = m_pFirstRow; r; r = r->m_pNextRow) drop_left_of_diagonal(*r);
}

void CSparseMatrix::MakeUpper()
{
    for (row* r = m_pFirstRow; r; r = r->m_pNextRow) drop_left_of_diagonal(*r);
}

void CSparseMatrix::ReverseRows()
{
    row* reversed = nullptr;
    row* r = m_pFirstRow;
    while (r)
    {
        row* next = r->m_pNextRow;
        r->m_pNextRow = reversed;
        reversed = r;
        r = next;
    }
    m_pFirstRow = reversed;
}

// COUT(sep): every row index below a stored row prints as a line "0<sep>"; a stored row prints
// a "0<sep>" for each missing column before each cell, then the cell's value and sep; nothing
// follows a row's last cell or the last stored row.
void CSparseMatrix::COUT(const char* sep) const
{
    int nextRow = 0;
    for (const row* r = m_pFirstRow; r; r = r->m_pNextRow)
    {
        for (; nextRow < r->m_nRow; ++nextRow) std::cout << 0 << sep << std::endl;
        int nextCol = 0;
        for (const cell* c = r->m_pFirstCell; c; c = c->m_pNext)
        {
            for (; nextCol < c->m_nCol; ++nextCol) std::cout << 0 << sep;
            std::cout << c->m_dValue << sep;
            nextCol = c->m_nCol + 1;
        }
        std::cout << std::endl;
        nextRow = r->m_nRow + 1;
    }
}

// =============================================================================================
// Checks used by the tests and assertions
// =============================================================================================

bool tarvel::detail::lists_are_ordered(const CSparseMatrix& A)
{
    const Row* previousRow = nullptr;
    for (const Row* r = A.GetFirstRow(); r; r = r->m_pNextRow)
    {
        if (previousRow && previousRow->m_nRow >= r->m_nRow) return false;
        previousRow = r;
        for (const Cell* c = r->m_pFirstCell; c && c->m_pNext; c = c->m_pNext)
            if (c->m_nCol >= c->m_pNext->m_nCol) return false;
    }
    return true;
}
