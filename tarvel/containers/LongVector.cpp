// CLongVector storage, searching and whole-vector assignment. Text output is in LongText.cpp,
// the archive form in ContainerArchive.cpp.
#include <tarvel/containers/LongVector.h>

#include <algorithm>
#include <new>

IMPLEMENT_SERIAL(CLongVector, CObject, 1)

CLongVector::CLongVector() : m_nSize(0), m_pData(nullptr) {}

CLongVector::CLongVector(const CLongVector& other) : CObject(), m_nSize(0), m_pData(nullptr)
{
    *this = other;
}

CLongVector::~CLongVector() { delete[] m_pData; }

bool CLongVector::Allocate(int n, bool init, long value)
{
    delete[] m_pData;
    m_pData = nullptr;
    m_nSize = n;
    if (n <= 0) return false;
    m_pData = new (std::nothrow) long[static_cast<std::size_t>(n)];
    if (!m_pData)
    {
        m_nSize = 0;  // L1: no size without storage
        return false;
    }
    if (init) std::fill_n(m_pData, n, value);
    return true;
}

bool CLongVector::Allocate(int* dims, int count)
{
    const bool init = count >= 2 ? dims[1] != 0 : true;
    const long value = count >= 3 ? dims[2] : 0;
    return Allocate(dims[0], init, value);
}

int CLongVector::Find(long value) const
{
    for (int i = 0; i < m_nSize; ++i)
        if (m_pData[i] == value) return i;
    return -1;
}

CLongVector& CLongVector::operator=(const CLongVector& other)
{
    if (&other == this) return *this;  // Allocate would discard the source
    if (Allocate(other.m_nSize, false, 0)) std::copy_n(other.m_pData, m_nSize, m_pData);
    return *this;
}

CLongVector& CLongVector::operator=(long value)
{
    std::fill_n(m_pData, std::max(m_nSize, 0), value);
    return *this;
}

CLongVector& CLongVector::operator+=(long value)
{
    for (int i = 0; i < m_nSize; ++i) m_pData[i] += value;
    return *this;
}
