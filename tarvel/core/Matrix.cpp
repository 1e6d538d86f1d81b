// CMatrix storage, element access, whole-matrix arithmetic, searching, norms and console
// output. Factorizations, generators, rotations, statistics and products have files of their
// own (see README.md).
#include <tarvel/core/Matrix.h>
#include <tarvel/core/detail/DenseKernels.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <new>
#include <utility>

IMPLEMENT_SERIAL(CMatrix, CVector, 1)

// ---------------------------------------------------------------------------------------------
// Construction

CMatrix::CMatrix() : m_nRows(0) {}

CMatrix::CMatrix(int rows, int cols, bool init, double value)
    : CVector(rows * cols, init, value), m_nRows(0)
{
    // M2: no columns, no rows; no storage obtained: no rows either.
    if (cols != 0 && m_pData) m_nRows = rows;
}

CMatrix::CMatrix(const CMatrix& other, bool transpose) : CVector(), m_nRows(0)
{
    if (!transpose)
    {
        CVector::operator=(other);
        // An empty other keeps its row count; a copy that got no storage has no rows.
        m_nRows = (m_pData || other.m_nSize == 0) ? other.m_nRows : 0;
        return;
    }
    // Transpose: rows' = other's columns, element (i, j) = other (j, i).
    const int oRows = other.m_nRows;
    const int oCols = other.columns();
    if (other.m_nSize <= 0) return;
    if (!CVector::Allocate(other.m_nSize, false, 0.0)) return;
    m_nRows = oCols;
    tarvel::detail::transpose_into(other.m_pData, oCols, oRows, oCols, m_pData);
}

CMatrix::CMatrix(CMatrix&& other) noexcept : CVector(std::move(other)), m_nRows(other.m_nRows)
{
    other.m_nRows = 0;
}

CMatrix::~CMatrix() = default;

// ---------------------------------------------------------------------------------------------
// Sizing

bool CMatrix::Allocate(int rows, int cols, bool init, double value)
{
    const int total = rows * cols;
    if (CVector::Allocate(total, init, value))
    {
        m_nRows = cols == 0 ? 0 : rows;
        return true;
    }
    if (total == 0) m_nRows = 0;
    return false;
}

// count 0-1: d0 x d0 zeros; 2: d0 x d1 zeros; 3: d0 x d1, zeroed if d2 != 0; 4+: d0 x d1,
// set to d3 if d2 != 0. The row count changes only when storage was obtained.
bool CMatrix::Allocate(int* dims, int count)
{
    if (count < 2)
    {
        if (!CVector::Allocate(dims[0] * dims[0], true, 0.0)) return false;
        m_nRows = dims[0];
        return true;
    }
    bool init = true;
    double value = 0.0;
    if (count >= 3) init = dims[2] != 0;
    if (count >= 4) value = static_cast<double>(dims[3]);
    if (!CVector::Allocate(dims[0] * dims[1], init, value)) return false;
    m_nRows = dims[1] == 0 ? 0 : dims[0];
    return true;
}

// The one-size form of the vector: an n x 1 column (M3).
bool CMatrix::Allocate(int n, bool init, double value)
{
    m_nRows = n;
    if (CVector::Allocate(n, init, value)) return true;
    m_nRows = 0;
    return false;
}

// Reshape without touching the elements: n is the new column count (asColumns) or the new
// row count. False, nothing changed, when n does not divide m_nSize. n = 0 is accepted only
// by an empty matrix, which then has no rows.
bool CMatrix::Resize(int n, bool asColumns)
{
    if (n == 0)
    {
        if (m_nSize != 0) return false;
        m_nRows = 0;
        return true;
    }
    if (m_nSize % n != 0) return false;
    m_nRows = asColumns ? m_nSize / n : n;
    return true;
}

void CMatrix::SetVector(double* array, int rows, int cols)
{
    delete[] m_pData;
    m_pData = array;
    m_nRows = rows;
    m_nSize = rows * cols;
}

double* CMatrix::ReplaceVector(double* array, int n)
{
    m_nRows = n;
    return CVector::ReplaceVector(array, n);
}

// Each side takes the row count that belongs to what it receives: this matrix the other's
// row count (or its element count, a column, when the other is a plain vector); a matrix on
// the other side this matrix's former row count.
void CMatrix::SwitchVectors(CVector* other)
{
    const int otherCount = other->m_nSize;
    const bool otherIsMatrix = other->IsKindOf(RUNTIME_CLASS(CMatrix)) != FALSE;
    const int otherRows = otherIsMatrix ? static_cast<CMatrix*>(other)->m_nRows : otherCount;
    const int myRows = m_nRows;
    CVector::SwitchVectors(other);
    Resize(otherRows, false);
    if (otherIsMatrix) static_cast<CMatrix*>(other)->Resize(myRows, false);
}

int CMatrix::GetColumns() const { return columns(); }

// ---------------------------------------------------------------------------------------------
// Assembling and arithmetic

// Adds the n x n row-major block val at rows and columns idx; negative indices are skipped.
void CMatrix::AddValues(long* idx, double* val, int n)
{
    const int cols = columns();
    for (int a = 0; a < n; ++a)
    {
        if (idx[a] < 0) continue;
        TARVEL_ASSERT(idx[a] < m_nRows && idx[a] < cols,
                      "CMatrix::AddValues: index outside the matrix");
        double* row = m_pData + idx[a] * cols;
        const double* v = val + static_cast<long>(a) * n;
        for (int b = 0; b < n; ++b)
            if (idx[b] >= 0) row[idx[b]] += v[b];
    }
}

CVirtRealMat& CMatrix::operator=(double v) { return CVector::operator=(v); }

CMatrix& CMatrix::operator=(const CMatrix& other)
{
    if (this == &other) return *this;
    if (Allocate(other.m_nRows, other.GetColumns(), false, 0.0))
        std::copy_n(other.m_pData, m_nSize, m_pData);
    return *this;
}

CMatrix& CMatrix::operator=(CMatrix&& other) noexcept
{
    if (this != &other)
    {
        CVector::operator=(std::move(other));
        m_nRows = other.m_nRows;
        other.m_nRows = 0;
    }
    return *this;
}

CMatrix& CMatrix::operator+=(const CMatrix& other)
{
    CVector::operator+=(other);
    return *this;
}

CMatrix& CMatrix::operator-=(const CMatrix& other)
{
    CVector::operator-=(other);
    return *this;
}

CMatrix& CMatrix::operator*=(double f)
{
    CVector::Scale(f);
    return *this;
}

CMatrix& CMatrix::operator/=(double f)
{
    CVector::operator/=(f);
    return *this;
}

// this = this * B, with r = rows, m = this matrix's columns (= B's rows), n = B's columns.
// Every product element is sum_{k=0}^{m-1} this(i, k) B(k, j), accumulated from 0.0 in
// increasing k (the product kernel of detail/DenseKernels.h, vectorised across j).
//   m != n: the product goes to a new r x n array that replaces this one.
//   m == n: in place, through per-thread work space holding panels of the old rows (all of
//           them when B is this matrix), so the array is kept.
// When the storage cannot be obtained the matrix is left as it was.
namespace
{

// c_i = a_i B for the rows of a product too small for the kernels' set-up to pay, each element
// from 0.0 in increasing k. c may be a (row i is read whole before it is written; n <= 16);
// b is not c.
void small_product(const double* a, const double* b, double* c, int r, int m, int n)
{
    double c_i[16];
    for (int i = 0; i < r; ++i)
    {
        const double* a_i = a + static_cast<long>(i) * m;
        for (int j = 0; j < n; ++j)
        {
            double s = 0.0;  // each sum in a register, still in increasing k
            for (int k = 0; k < m; ++k) s += a_i[k] * b[k * n + j];
            c_i[j] = s;
        }
        double* out = c + static_cast<long>(i) * n;
#pragma GCC unroll 16
        for (int j = 0; j < n; ++j) out[j] = c_i[j];  // element stores: a memmove call costs more
    }
}

// C = C B in place for C r x n, B n x n (null: C itself), through work space holding panels of
// the old rows (all of them when B is C). Nothing changes when the work space cannot be had.
// Kept out of line: its work space is a large stack frame the small products do not need.
[[gnu::noinline]] void square_product_in_place(double* c, const double* b, int r, int n)
{
    const auto& kernels = tarvel::detail::dense_kernels();
    const long size = static_cast<long>(r) * n;
    if (!b)  // every row of the old matrix is read again: copy it whole
    {
        tarvel::detail::DenseScratch old(static_cast<std::size_t>(size));
        if (!old.get()) return;
        std::copy_n(c, size, old.get());
        kernels.product(old.get(), n, old.get(), n, c, n, r, n, n);
        return;
    }
    // Panels of old rows: at least one tile of rows, about 32 KiB when the rows are long.
    const int panel = std::min(r, std::max(8, 4096 / std::max(n, 1)));
    tarvel::detail::DenseScratch old(static_cast<std::size_t>(panel) * n);
    if (!old.get()) return;
    for (int i = 0; i < r; i += panel)
    {
        const int rows = std::min(panel, r - i);
        double* c_i = c + static_cast<long>(i) * n;
        std::copy_n(c_i, static_cast<long>(rows) * n, old.get());
        kernels.product(old.get(), n, b, n, c_i, n, rows, n, n);
    }
}

constexpr long kSmallProduct = 64;  // r m n at or below which small_product runs

}  // namespace

CMatrix& CMatrix::operator*=(const CMatrix& B)
{
    const int r = m_nRows;
    const int m = columns();
    const int n = B.GetColumns();
    if (m != n)
    {
        const auto& kernels = tarvel::detail::dense_kernels();
        const long total = static_cast<long>(r) * n;
        double* product = nullptr;
        if (total > 0)
        {
            product = new (std::nothrow) double[static_cast<std::size_t>(total)];
            if (!product) return *this;
            if (total * m <= kSmallProduct && n <= 16)
                small_product(m_pData, B.m_pData, product, r, m, n);
            else
                kernels.product(m_pData, m, B.m_pData, n, product, n, r, m, n);
        }
        delete[] m_pData;
        m_pData = product;
        m_nSize = static_cast<int>(total);
        m_nRows = n == 0 ? 0 : r;  // M2
        return *this;
    }
    if (m_nSize == 0) return *this;
    if (static_cast<long>(m_nSize) * n <= kSmallProduct && n <= 16 && &B != this)
    {
        small_product(m_pData, B.m_pData, m_pData, r, n, n);
        return *this;
    }
    square_product_in_place(m_pData, &B == this ? nullptr : B.m_pData, r, n);
    return *this;
}

// Square: (i, j) <-> (j, i) in place. Otherwise a new array in the transposed shape; left as
// it was when that array cannot be obtained.
void CMatrix::Transpose()
{
    const int rows = m_nRows;
    const int cols = columns();
    if (cols == rows)
    {
        for (int i = 0; i < rows; ++i)
            for (int j = i + 1; j < cols; ++j)
                std::swap(m_pData[index_of(i, j, cols)], m_pData[index_of(j, i, cols)]);
        return;
    }
    double* t = nullptr;
    if (m_nSize > 0)
    {
        t = new (std::nothrow) double[static_cast<std::size_t>(m_nSize)];
        if (!t) return;
        tarvel::detail::transpose_into(m_pData, cols, rows, cols, t);
    }
    delete[] m_pData;
    m_pData = t;
    m_nRows = cols;
}

void CMatrix::Identity(int n, double d)
{
    if (!Allocate(n, n, true, 0.0)) return;
    for (int i = 0; i < n; ++i) m_pData[index_of(i, i, n)] = d;
}

void CMatrix::MultiplyRow(int i, double f)
{
    const int cols = columns();
    for (double *x = m_pData + static_cast<long>(i) * cols, *end = x + cols; x != end; ++x) *x *= f;
}

void CMatrix::MultiplyCol(int j, double f)
{
    const int cols = columns();
    for (int i = 0; i < m_nRows; ++i) m_pData[index_of(i, j, cols)] *= f;
}

void CMatrix::MultiplySubRow(int i, int from, int to, double f)
{
    double* row = m_pData + static_cast<long>(i) * columns();
    for (int j = from; j < to; ++j) row[j] *= f;
}

void CMatrix::Eig(bool, CMatrix&, CVector&) {}

void CMatrix::AAT() {}

// v_k = (k, j) for every row k; v grows (through its virtual Allocate) only when shorter.
void CMatrix::GetColVect(CVector& v, int j) const
{
    if (v.m_nSize < m_nRows && !v.Allocate(m_nRows, false, 0.0)) return;
    const int cols = columns();
    for (int k = 0; k < m_nRows; ++k) v.m_pData[k] = m_pData[index_of(k, j, cols)];
}

// mode 1: y += A x (each row sum from 0.0 over x's elements); mode 2: y += A^T x, row by row;
// other modes: nothing.
void CMatrix::ApplyTo(const CVector& x, CVector& y, int mode) const
{
    const auto& kernels = tarvel::detail::dense_kernels();
    if (mode == 1)
        kernels.row_dots(m_pData, columns(), x.m_pData, y.m_pData, m_nRows, x.m_nSize);
    else if (mode == 2)
        kernels.column_sums(m_pData, columns(), x.m_pData, y.m_pData, m_nRows, y.m_nSize);
}

// v = A v (mode 1) or A^T v (mode 2) through a zero temporary that v then switches with;
// any other mode leaves v empty.
void CMatrix::ApplyTo(CVector& v, int mode) const
{
    const int n = mode == 1 ? m_nRows : (mode == 2 ? GetColumns() : 0);
    CVector product(n, true, 0.0);
    ApplyTo(v, product, mode);
    v.SwitchVectors(&product);
}

// ---------------------------------------------------------------------------------------------
// Searching. Column j is the elements j, j + columns, ... below m_nSize.

namespace
{

// Index of the element of column j chosen by better(candidate, current), scanning from row 0;
// a column stride of 0 (no rows) leaves the single element j.
template <class Better> long scan_column(const double* a, int size, int cols, int j, Better better)
{
    long best = j;
    if (cols <= 0) return best;
    for (long p = j + cols; p < size; p += cols)
        if (better(a[p], a[best])) best = p;
    return best;
}

}  // namespace

double& CMatrix::MaxInCol(int j)
{
    return m_pData[scan_column(m_pData, m_nSize, columns(), j,
                               [](double x, double cur) { return x > cur; })];
}

const double& CMatrix::MaxInCol(int j) const
{
    return m_pData[scan_column(m_pData, m_nSize, columns(), j,
                               [](double x, double cur) { return x > cur; })];
}

double& CMatrix::MinInCol(int j)
{
    return m_pData[scan_column(m_pData, m_nSize, columns(), j,
                               [](double x, double cur) { return x < cur; })];
}

const double& CMatrix::MinInCol(int j) const
{
    return m_pData[scan_column(m_pData, m_nSize, columns(), j,
                               [](double x, double cur) { return x < cur; })];
}

// The running maximum of |x| starts at 0.0 and moves on every value not smaller (>=): the
// last of equal largest magnitudes wins, a zero column gives its last element.
double& CMatrix::fabsMaxInCol(int j)
{
    return const_cast<double&>(static_cast<const CMatrix*>(this)->fabsMaxInCol(j));
}

const double& CMatrix::fabsMaxInCol(int j) const
{
    const int cols = columns();
    long best = j;
    double m = 0.0;
    for (long p = j; p < m_nSize; p += cols)
    {
        if (std::fabs(m_pData[p]) >= m)
        {
            m = std::fabs(m_pData[p]);
            best = p;
        }
        if (cols <= 0) break;
    }
    return m_pData[best];
}

double CMatrix::MaxInRow(int i) const
{
    const int cols = columns();
    const double* row = m_pData + static_cast<long>(i) * cols;
    double m = row[0];
    for (int j = 1; j < cols; ++j)
        if (row[j] > m) m = row[j];
    return m;
}

int CMatrix::FindInRow(int i, double v) const
{
    const int cols = columns();
    const double* row = m_pData + static_cast<long>(i) * cols;
    for (int j = 0; j < cols; ++j)
        if (row[j] == v) return j;
    return -1;
}

int CMatrix::FindInCol(int j, double v) const
{
    const int cols = columns();
    if (cols <= 0) return -1;
    int row = 0;
    for (long p = j; p < m_nSize; p += cols, ++row)
        if (m_pData[p] == v) return row;
    return -1;
}

bool CMatrix::CheckSymm() const
{
    const int n = m_nRows;
    if (columns() != n) return false;
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
            if (!(m_pData[index_of(i, j, n)] == m_pData[index_of(j, i, n)])) return false;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Norms and trace

// max_j sum_i |a_ij|: each column sum from 0.0 down the column; the maximum moves only on a
// strictly larger sum.
double CMatrix::OneNorm() const
{
    const int cols = columns();
    double m = 0.0;
    for (int j = 0; j < cols; ++j)
    {
        double s = 0.0;
        for (int i = 0; i < m_nRows; ++i) s += std::fabs(m_pData[index_of(i, j, cols)]);
        if (s > m) m = s;
    }
    return m;
}

// max_i sum_j |a_ij|, likewise.
double CMatrix::InfNorm() const
{
    const int cols = columns();
    double m = 0.0;
    for (int i = 0; i < m_nRows; ++i)
    {
        double s = 0.0;
        for (const double *x = m_pData + static_cast<long>(i) * cols, *end = x + cols; x != end;
             ++x)
            s += std::fabs(*x);
        if (s > m) m = s;
    }
    return m;
}

double CMatrix::Frobenius() const { return Length(); }

double CMatrix::Trace() const
{
    const int cols = columns();
    const int n = std::min(m_nRows, cols);
    double s = 0.0;
    for (int i = 0; i < n; ++i) s += m_pData[index_of(i, i, cols)];
    return s;
}

// ---------------------------------------------------------------------------------------------
// Console output: standard output with its current formatting.

void CMatrix::COUT(const char* sep) const
{
    if (!m_pData || m_nSize == 0) return;
    const int cols = columns();
    for (int i = 0; i < m_nRows; ++i)
    {
        const double* row = m_pData + static_cast<long>(i) * cols;
        for (int j = 0; j < cols; ++j) std::cout << row[j] << sep;
        std::cout << std::endl;
    }
}

void CMatrix::Stream() const
{
    if (!m_pData || m_nSize == 0) return;
    const int cols = columns();
    for (int i = 0; i < m_nRows; ++i)
    {
        const double* row = m_pData + static_cast<long>(i) * cols;
        for (int j = 0; j < cols; ++j) std::cout << row[j] << '\t';
        std::cout << std::endl;
    }
}
