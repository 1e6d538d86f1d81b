// CLongMatrix storage, searching and whole-matrix assignment. Text output is in LongText.cpp,
// the archive form in ContainerArchive.cpp.
#include <tarvel/containers/LongMatrix.h>
#include <tarvel/containers/detail/ObjectTable.h>

#include <algorithm>
#include <climits>
#include <new>

IMPLEMENT_SERIAL(CLongMatrix, CObject, 1)

using tarvel::detail::entry_count;

CLongMatrix::CLongMatrix() : m_nRows(0), m_nCols(0), m_pData(nullptr) {}

CLongMatrix::CLongMatrix(const CLongMatrix& other)
    : CObject(), m_nRows(0), m_nCols(0), m_pData(nullptr)
{
    *this = other;
}

CLongMatrix::~CLongMatrix() { delete[] m_pData; }

bool CLongMatrix::Allocate(int rows, int cols, bool init, long value)
{
    delete[] m_pData;
    m_pData = nullptr;
    m_nRows = rows;
    m_nCols = cols;
    const long n = entry_count(rows, cols);
    if (n == 0) return false;
    if (n <= INT_MAX) m_pData = new (std::nothrow) long[static_cast<std::size_t>(n)];
    if (!m_pData)
    {
        m_nRows = m_nCols = 0;  // LM1: positive dimensions always have storage
        return false;
    }
    if (init) std::fill_n(m_pData, n, value);
    return true;
}

bool CLongMatrix::Allocate(int* dims, int count)
{
    if (count >= 4) return Allocate(dims[0], dims[1], dims[2] != 0, dims[3]);
    if (count == 3) return Allocate(dims[0], dims[1], dims[2] != 0, 0);
    if (count == 2) return Allocate(dims[0], dims[1], true, 0);
    return Allocate(dims[0], dims[0], true, 0);
}

long& CLongMatrix::GetValue(int i, int j) { return m_pData[static_cast<long>(i) * m_nCols + j]; }

void CLongMatrix::GetPointerMat(CLongMatrix& out, int offset)
{
    if (!out.Allocate(m_nRows + 1, 1, false, 0)) return;
    for (int i = 0; i <= m_nRows; ++i) out.m_pData[i] = static_cast<long>(i) * m_nCols + offset;
}

int CLongMatrix::FindInCol(int j, long value) const { return FindInCol(j, value, 0); }

// Walks column j from (first, j) in steps of the column count while inside the array.
int CLongMatrix::FindInCol(int j, long value, int first) const
{
    const long n = entry_count(m_nRows, m_nCols);
    int i = first;
    for (long k = static_cast<long>(first) * m_nCols + j; k < n; k += m_nCols, ++i)
        if (m_pData[k] == value) return i;
    return -1;
}

int CLongMatrix::FindInRow(int i, long value) const
{
    const long* row = m_pData + static_cast<long>(i) * m_nCols;
    for (int j = 0; j < m_nCols; ++j)
        if (row[j] == value) return j;
    return -1;
}

CLongMatrix& CLongMatrix::operator=(const CLongMatrix& other)
{
    if (&other == this) return *this;  // Allocate would discard the source
    if (Allocate(other.m_nRows, other.m_nCols, false, 0))
        std::copy_n(other.m_pData, entry_count(m_nRows, m_nCols), m_pData);
    return *this;
}

CLongMatrix& CLongMatrix::operator=(long value)
{
    if (m_pData) std::fill_n(m_pData, entry_count(m_nRows, m_nCols), value);
    return *this;
}

CLongMatrix& CLongMatrix::operator+=(long value)
{
    if (!m_pData) return *this;
    const long n = entry_count(m_nRows, m_nCols);
    for (long k = 0; k < n; ++k) m_pData[k] += value;
    return *this;
}
