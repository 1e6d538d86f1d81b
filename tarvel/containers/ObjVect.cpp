// CObjVect storage and deletion of its objects. The archive form is in ContainerArchive.cpp.
#include <tarvel/containers/ObjVect.h>
#include <tarvel/containers/detail/ObjectTable.h>

#include <algorithm>

IMPLEMENT_SERIAL(CObjVect, CObject, 1)

CObjVect::CObjVect() : m_nSize(0), m_pData(nullptr) {}

CObjVect::~CObjVect() { delete[] m_pData; }

void CObjVect::Allocate(int n, bool init, CObject* value)
{
    if (m_pData && n != m_nSize)
    {
        delete[] m_pData;
        m_pData = nullptr;
    }
    m_nSize = n;
    if (n <= 0)
    {
        delete[] m_pData;
        m_pData = nullptr;
        return;
    }
    if (!m_pData) m_pData = tarvel::detail::new_entries(n);
    if (!m_pData)
    {
        m_nSize = 0;  // O1: no size without an array
        return;
    }
    if (init) std::fill_n(m_pData, n, value);
}

CObjVect& CObjVect::operator=(CObject* p)
{
    if (m_pData) std::fill_n(m_pData, m_nSize, p);
    return *this;
}

void CObjVect::DeleteEntries()
{
    if (m_pData) tarvel::detail::delete_distinct(m_pData, m_nSize);
}
