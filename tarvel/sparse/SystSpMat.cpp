// CSystSpMat storage: the row array, construction and copies, sizing, the Add family, element
// assembling, and the inherited structural operations that must keep the array (Clear, Mirror,
// AAT).
#include <tarvel/platform/Clock.h>
#include <tarvel/platform/detail/Report.h>
#include <tarvel/sparse/SystSpMat.h>
#include <tarvel/sparse/detail/ElementOrder.h>
#include <tarvel/sparse/detail/ListNodes.h>
#include <tarvel/sparse/detail/RowEdits.h>
#include <tarvel/sparse/detail/ValueTests.h>

#include <new>
#include <utility>

IMPLEMENT_SERIAL(CSystSpMat, CSparseMatrix, 1)

using tarvel::detail::Cell;
using tarvel::detail::is_zero_or_nan;
using tarvel::detail::Row;

// =============================================================================================
// The row array
// =============================================================================================

void CSystSpMat::release_rows()
{
    m_pFirstRow = nullptr;
    delete[] m_pRowArray;  // each row's destructor deletes its cells (S1)
    m_pRowArray = nullptr;
    m_nRowArraySize = 0;
}

bool CSystSpMat::make_rows(int n)
{
    release_rows();
    if (n < 1) return true;
    m_pRowArray = new (std::nothrow) row[static_cast<std::size_t>(n)];
    if (!m_pRowArray) return false;
    m_nRowArraySize = n;
    for (int k = 0; k < n; ++k) m_pRowArray[k].m_nRow = k;
    FixPointers();
    return true;
}

bool CSystSpMat::grow_rows(int n)
{
    row* grown = new (std::nothrow) row[static_cast<std::size_t>(n)];
    if (!grown) return false;
    for (int k = 0; k < n; ++k)
    {
        grown[k].m_nRow = k;
        if (k < m_nRowArraySize)
            grown[k].m_pFirstCell = std::exchange(m_pRowArray[k].m_pFirstCell, nullptr);
    }
    delete[] m_pRowArray;  // its rows hold no cells any more
    m_pRowArray = grown;
    m_nRowArraySize = n;
    FixPointers();
    return true;
}

void CSystSpMat::FixPointers()
{
    m_pFirstRow = m_nRowArraySize > 0 ? m_pRowArray : nullptr;
    for (int k = 0; k < m_nRowArraySize; ++k)
        m_pRowArray[k].m_pNextRow = k + 1 < m_nRowArraySize ? m_pRowArray + k + 1 : nullptr;
}

// =============================================================================================
// Construction, copies
// =============================================================================================

CSystSpMat::CSystSpMat() : m_pRowArray(nullptr), m_nRowArraySize(0) {}

CSystSpMat::CSystSpMat(int n) : m_pRowArray(nullptr), m_nRowArraySize(0) { make_rows(n); }

CSystSpMat::CSystSpMat(const CSystSpMat& other)
    : CSparseMatrix(), m_pRowArray(nullptr), m_nRowArraySize(0)
{
    if (!make_rows(other.m_nRowArraySize)) return;
    m_nAllocRows = other.m_nAllocRows;
    m_nAllocCols = other.m_nAllocCols;
    for (int k = 0; k < m_nRowArraySize; ++k)
    {
        Cell** link = &m_pRowArray[k].m_pFirstCell;
        for (const Cell* c = other.m_pRowArray[k].m_pFirstCell; c; c = c->m_pNext)
        {
            *link = new (std::nothrow) Cell{nullptr, c->m_dValue, c->m_nCol};
            if (!*link)
            {
                release_rows();  // no partial copy: an empty matrix
                return;
            }
            link = &(*link)->m_pNext;
        }
    }
}

CSystSpMat::CSystSpMat(CSystSpMat&& other) noexcept
    : CSparseMatrix(), m_pRowArray(std::exchange(other.m_pRowArray, nullptr)),
      m_nRowArraySize(std::exchange(other.m_nRowArraySize, 0))
{
    m_pFirstRow = std::exchange(other.m_pFirstRow, nullptr);
    m_nAllocRows = other.m_nAllocRows;
    m_nAllocCols = other.m_nAllocCols;
}

// The base destructor's Clear then finds no row list (S3: rows are released with the array).
CSystSpMat::~CSystSpMat() { release_rows(); }

// operator=(src): grow to src's row count when smaller, then CSparseMatrix::operator=, whose
// virtual Add calls land in this matrix's own rows. src may be this matrix (the values double).
CSystSpMat& CSystSpMat::operator=(CSystSpMat& src)
{
    if (src.m_nRowArraySize > m_nRowArraySize)
    {
        if (m_nRowArraySize == 0)
            make_rows(src.m_nRowArraySize);
        else
            grow_rows(src.m_nRowArraySize);
    }
    CSparseMatrix::operator=(static_cast<CSparseMatrix&>(src));
    return *this;
}

CSystSpMat& CSystSpMat::operator=(CSystSpMat&& src) noexcept
{
    if (this != &src)
    {
        release_rows();
        m_pRowArray = std::exchange(src.m_pRowArray, nullptr);
        m_nRowArraySize = std::exchange(src.m_nRowArraySize, 0);
        m_pFirstRow = std::exchange(src.m_pFirstRow, nullptr);
        m_nAllocRows = src.m_nAllocRows;
        m_nAllocCols = src.m_nAllocCols;
    }
    return *this;
}

CSystSpMat& CSystSpMat::operator=(CSparseMatrix&& src)
{
    CSparseMatrix::operator=(static_cast<CSparseMatrix&>(src));
    return *this;
}

// =============================================================================================
// Sizing and queries
// =============================================================================================

// Allocate(dims, count): only dims[0] is read. R < 1 releases the array, R != n makes R empty
// rows, R == n keeps the rows and their cells; then every stored value becomes 0.0.
bool CSystSpMat::Allocate(int* dims, int /*count*/)
{
    const int R = dims[0];
    bool obtained = true;
    if (R < 1)
        release_rows();
    else if (R != m_nRowArraySize)
        obtained = make_rows(R);
    operator=(0.0);
    return obtained;
}

bool CSystSpMat::Allocate(CReorderMat& /*graph*/) { return false; }

int CSystSpMat::GetRows() const { return m_nRowArraySize; }
int CSystSpMat::GetColumns() const { return m_nRowArraySize; }

void CSystSpMat::Clear()
{
    for (int k = 0; k < m_nRowArraySize; ++k) m_pRowArray[k].Clear();
    m_nAllocRows = 0;
    m_nAllocCols = 0;
}

// =============================================================================================
// The Add family and element assembling
// =============================================================================================

void CSystSpMat::Add(int i, int j, double v)
{
    if (is_zero_or_nan(v) || !inside(j)) return;
    if (row* r = row_at(i)) r->Add(j, v);
}

void CSystSpMat::Add(int i, int j, double v, cell*& c)
{
    if (is_zero_or_nan(v) || !inside(j)) return;
    if (row* r = row_at(i)) r->Add(j, v, c);
}

void CSystSpMat::Add(int i, int j, double v, row*& r)
{
    if (is_zero_or_nan(v) || !inside(j)) return;
    if (row* ri = row_at(i))
    {
        r = ri;
        ri->Add(j, v);
    }
}

void CSystSpMat::Add(int i, int j, double v, row*& r, cell*& c)
{
    if (is_zero_or_nan(v) || !inside(j)) return;
    if (row* ri = row_at(i))
    {
        r = ri;
        ri->Add(j, v, c);
    }
}

// AddValues(dofs, ke, n): ke[p * n + q] couples element position p to position q.
//  1./2. The positions with an index in 0..n-1, by ascending index (tarvel::detail::
//     ElementOrder; an index at or above the row count comes last and is dropped).
//  3. Row dofs[p] of the array for each position p: every q in ascending index order, skipping
//     with m_bSym the q left of the diagonal (dofs[q] < dofs[p]) and the values 0.0 and NaN,
//     by sorted insertion from a cell cursor that only moves forward (both lists ascend).
void CSystSpMat::AddValues(long* dofs, double* ke, int n)
{
    const tarvel::detail::ElementOrder order(dofs, n);
    int valid = order.size();
    while (valid > 0 && dofs[order[valid - 1]] >= m_nRowArraySize) --valid;  // picks never decrease
    const bool upperOnly = m_bSym;
    for (int t = 0; t < valid; ++t)
    {
        const int p = order[t];
        const long i = dofs[p];
        row& r = m_pRowArray[i];
        const double* keRow = ke + static_cast<long>(p) * n;
        cell* cursor = nullptr;
        for (int u = 0; u < valid; ++u)
        {
            const int q = order[u];
            const long j = dofs[q];
            if (upperOnly && j < i) continue;
            const double v = keRow[q];
            if (is_zero_or_nan(v)) continue;
            cursor = tarvel::detail::add_in_row(r, cursor, static_cast<int>(j), v);
        }
    }
}

// =============================================================================================
// Inherited structural operations, kept inside the array (S3)
// =============================================================================================

// Mirror(f): A = U + f U_s^T as CSparseMatrix::Mirror, except that rows left empty stay in the
// array. The rows are visited from the last to the first, so each still holds only its upper
// part when it is read. Returns the elapsed seconds.
double CSystSpMat::Mirror(double f)
{
    const long start = TarvelClock();
    for (int k = 0; k < m_nRowArraySize; ++k) tarvel::detail::drop_left_of_diagonal(m_pRowArray[k]);
    for (int i = m_nRowArraySize - 1; i >= 0; --i)
    {
        const cell* c = m_pRowArray[i].m_pFirstCell;
        if (c && c->m_nCol == i) c = c->m_pNext;  // the diagonal stays alone
        row* cursor = m_pRowArray + i;
        for (; c; c = c->m_pNext) Add(c->m_nCol, i, f * c->m_dValue, cursor);
    }
    return tarvel::detail::seconds_by_product(TarvelClock() - start);
}

// AAT(): the product is formed by CSparseMatrix::AAT on a list that borrows the cells of the
// array's rows, and its rows' cells are then handed back to the array (every row index of the
// product is a row index of this matrix).
void CSystSpMat::AAT()
{
    CSparseMatrix product;
    Row** tail = &product.m_pFirstRow;
    for (int k = 0; k < m_nRowArraySize; ++k)
    {
        Row* r = new Row;
        r->m_nRow = k;
        r->m_pFirstCell = std::exchange(m_pRowArray[k].m_pFirstCell, nullptr);
        *tail = r;
        tail = &r->m_pNextRow;
    }
    product.CSparseMatrix::AAT();
    for (Row* r = product.m_pFirstRow; r; r = r->m_pNextRow)
        m_pRowArray[r->m_nRow].m_pFirstCell = std::exchange(r->m_pFirstCell, nullptr);
}
