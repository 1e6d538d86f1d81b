// CObjMat storage, creation of its objects and their deletion. The archive form is in
// ContainerArchive.cpp.
#include <tarvel/containers/ObjMat.h>
#include <tarvel/containers/detail/ObjectTable.h>

#include <algorithm>
#include <climits>

IMPLEMENT_SERIAL(CObjMat, CObject, 1)

using tarvel::detail::entry_count;

CObjMat::CObjMat() : m_nRows(0), m_nCols(0), m_pData(nullptr) {}

CObjMat::~CObjMat() { delete[] m_pData; }

void CObjMat::Allocate(int rows, int cols, bool init, CObject* value)
{
    const long n = entry_count(rows, cols);
    if (m_pData && n != entry_count(m_nRows, m_nCols))
    {
        delete[] m_pData;
        m_pData = nullptr;
    }
    m_nRows = rows;
    m_nCols = cols;
    if (n == 0 || n > INT_MAX)
    {
        delete[] m_pData;
        m_pData = nullptr;
        if (n != 0) m_nRows = m_nCols = 0;  // OM1
        return;
    }
    if (!m_pData) m_pData = tarvel::detail::new_entries(n);
    if (!m_pData)
    {
        m_nRows = m_nCols = 0;  // OM1: positive dimensions always have an array
        return;
    }
    if (init) std::fill_n(m_pData, n, value);
}

void CObjMat::Allocate(int rows, int cols, CRuntimeClass* pClass)
{
    Allocate(rows, cols, false, nullptr);
    if (!m_pData) return;
    for (long k = entry_count(m_nRows, m_nCols) - 1; k >= 0; --k)
        m_pData[k] = pClass->CreateObject();
}

CObjMat& CObjMat::operator=(CObject* p)
{
    if (m_pData) std::fill_n(m_pData, entry_count(m_nRows, m_nCols), p);
    return *this;
}

void CObjMat::DeleteEntries()
{
    if (m_pData) tarvel::detail::delete_distinct(m_pData, entry_count(m_nRows, m_nCols));
}
