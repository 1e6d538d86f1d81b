// CArrayArray<T>: storage operations. Explicitly instantiated for long below.
#include <tarvel/reorder/ArrayArray.h>

#include <algorithm>
#include <new>
#include <utility>

template <class T> CArrayArray<T>::CArrayArray(const CArrayArray& other) : CVirtMat(other)
{
    Copy(other);
}

template <class T>
CArrayArray<T>::CArrayArray(CArrayArray&& other) noexcept : CVirtMat(std::move(other))
{
    swap_storage(other);
}

template <class T> CArrayArray<T>& CArrayArray<T>::operator=(const CArrayArray& other)
{
    if (this != &other) Copy(other);
    return *this;
}

template <class T> CArrayArray<T>& CArrayArray<T>::operator=(CArrayArray&& other) noexcept
{
    if (this != &other)
    {
        RemoveAll();
        swap_storage(other);
    }
    return *this;
}

template <class T> CArrayArray<T>::~CArrayArray() { RemoveAll(); }

template <class T> void CArrayArray<T>::swap_storage(CArrayArray& other) noexcept
{
    std::swap(m_nCount, other.m_nCount);
    std::swap(m_ppData, other.m_ppData);
    std::swap(m_pLength, other.m_pLength);
}

template <class T> bool CArrayArray<T>::allocate_tables(int n)
{
    m_ppData = new (std::nothrow) T*[static_cast<size_t>(n)];
    m_pLength = new (std::nothrow) int[static_cast<size_t>(n)];
    if (m_ppData == nullptr || m_pLength == nullptr)
    {
        delete[] m_ppData;
        delete[] m_pLength;
        m_ppData = nullptr;
        m_pLength = nullptr;
        m_nCount = 0;
        return false;
    }
    std::fill(m_ppData, m_ppData + n, nullptr);
    std::fill(m_pLength, m_pLength + n, 0);
    m_nCount = n;
    return true;
}

template <class T> bool CArrayArray<T>::Allocate(int* dims, int nDims)
{
    if (dims == nullptr || nDims < 1) return false;
    Alloc(dims[0]);  // virtual: a derived graph resets its labels too
    if (m_nCount != std::max(dims[0], 0)) return false;
    if (nDims >= 2 && dims[0] >= 1)
    {
        for (int i = 0; i < m_nCount; ++i)
        {
            if (!SetLength(i, dims[1])) return false;
        }
    }
    return true;
}

template <class T> void CArrayArray<T>::ReadASCII(CFile*) {}

template <class T>
void CArrayArray<T>::WriteASCII(CFile*, CString, CString, int, int, int, bool, bool)
{
}

template <class T> int CArrayArray<T>::Copy(const CArrayArray<T>& src)
{
    if (&src == this) return m_nCount;
    if (src.m_nCount != m_nCount)
    {
        RemoveAll();
        if (src.m_nCount > 0 && !allocate_tables(src.m_nCount)) return 0;
    }
    else
    {
        FreeArrays();
    }
    for (int i = 0; i < m_nCount; ++i)
    {
        const int len = src.m_pLength[i];
        if (len <= 0) continue;
        if (!SetLength(i, len))
        {
            RemoveAll();
            return 0;
        }
        std::copy(src.m_ppData[i], src.m_ppData[i] + len, m_ppData[i]);
    }
    return m_nCount;
}

template <class T> void CArrayArray<T>::Alloc(int n)
{
    if (n == m_nCount)
    {
        FreeArrays();
        return;
    }
    RemoveAll();
    if (n > 0) allocate_tables(n);
}

template <class T> void CArrayArray<T>::FreeArrays()
{
    for (int i = 0; i < m_nCount; ++i)
    {
        delete[] m_ppData[i];
        m_ppData[i] = nullptr;
        m_pLength[i] = 0;
    }
}

template <class T> void CArrayArray<T>::RemoveAll()
{
    FreeArrays();
    delete[] m_ppData;
    delete[] m_pLength;
    m_ppData = nullptr;
    m_pLength = nullptr;
    m_nCount = 0;
}

template <class T> bool CArrayArray<T>::SetLength(int i, int len)
{
    len = std::max(len, 0);
    if (m_ppData[i] != nullptr && m_pLength[i] == len) return true;
    delete[] m_ppData[i];
    m_ppData[i] = nullptr;
    m_pLength[i] = 0;
    if (len == 0) return true;
    m_ppData[i] = new (std::nothrow) T[static_cast<size_t>(len)];
    if (m_ppData[i] == nullptr) return false;
    m_pLength[i] = len;
    return true;
}

template class CArrayArray<long>;
