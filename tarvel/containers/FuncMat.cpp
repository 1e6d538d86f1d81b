// CFuncMat storage and evaluation.
#include <tarvel/containers/FuncMat.h>
#include <tarvel/core/Matrix.h>

#include <algorithm>
#include <new>

namespace
{

// The element count of the result matrix CMatrix::Allocate sizes (rows * cols).
long entry_count(int rows, int cols) { return static_cast<long>(rows) * cols; }

}  // namespace

CFuncMat::CFuncMat() : m_nRows(0), m_nCols(0), m_pData(nullptr) {}

CFuncMat::CFuncMat(int rows, int cols, bool init, Entry entry) : CFuncMat()
{
    Allocate(rows, cols, init, entry);
}

CFuncMat::~CFuncMat() { delete[] m_pData; }

int CFuncMat::Allocate(int rows, int cols, bool init, Entry entry)
{
    const long n = std::max(entry_count(rows, cols), 0L);
    if (m_pData && n != std::max(entry_count(m_nRows, m_nCols), 0L))
    {
        delete[] m_pData;
        m_pData = nullptr;
    }
    m_nRows = rows;
    m_nCols = cols;
    if (!m_pData)
    {
        m_pData = new (std::nothrow) Entry[static_cast<std::size_t>(n)]();
        if (!m_pData && n != 0)
        {
            m_nRows = m_nCols = 0;  // F1: no entries without an array
            return -1;
        }
    }
    if (init) std::fill_n(m_pData, n, entry);
    return rows * cols;
}

bool CFuncMat::Allocate(int* dims, int count)
{
    if (count >= 3) return Allocate(dims[0], dims[1], dims[2] != 0, nullptr) != 0;
    if (count == 2) return Allocate(dims[0], dims[1], true, nullptr) != 0;
    return Allocate(dims[0], dims[0], true, nullptr) != 0;
}

double CFuncMat::EvalFunc(int i, int j, double x) const
{
    return m_pData[static_cast<long>(i) * m_nCols + j](x);
}

void CFuncMat::EvalFunc(CMatrix& result, double x) const
{
    result.Allocate(m_nRows, m_nCols, false, 0.0);
    double* r = result.GetVector();
    if (!r) return;
    for (int k = 0; k < result.m_nSize; ++k) r[k] = m_pData[k] ? m_pData[k](x) : 0.0;
}

void CFuncMat::EvalFunc(CMatrix& result, double x, double y, ...) const
{
    result.Allocate(m_nRows, m_nCols, false, 0.0);
    double* r = result.GetVector();
    if (!r) return;
    for (int k = 0; k < result.m_nSize; ++k)
        r[k] = m_pData[k] ? reinterpret_cast<Entry2>(reinterpret_cast<void (*)()>(m_pData[k]))(x, y)
                          : 0.0;
}
