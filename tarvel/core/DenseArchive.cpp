// Archive form of the dense classes.
//   CVector: int32 element count, then the elements as float64, element 0 first.
//   CMatrix: the CVector form (elements row by row), then int32 row count.
// Loading trusts no count: a negative count loads an empty vector, and a count larger than
// what the archive still holds never reserves its full size up front (see read_elements).
#include <tarvel/core/Matrix.h>
#include <tarvel/core/Vector.h>

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

namespace
{

// Elements per block while a count that differs from the held size is read: 64 Ki doubles
// (512 KiB). Memory then grows only with the bytes actually present in the archive.
constexpr int kBlock = 1 << 16;

// Reads n > 0 doubles into a new array. Counts above one block are read block by block, so a
// count that the archive cannot back runs into the archive's endOfFile after at most one
// block beyond the data; every block is owned by a unique_ptr, so nothing leaks on the throw.
// A failed allocation (a real archive too large for memory) is signalled as the archive's
// generic error.
std::unique_ptr<double[]> read_elements(CArchive& ar, int n)
{
    if (n <= kBlock)
    {
        std::unique_ptr<double[]> data(new (std::nothrow) double[static_cast<std::size_t>(n)]);
        if (!data) throw CArchiveException(CArchiveException::generic);
        for (int i = 0; i < n; ++i) ar >> data[i];
        return data;
    }
    std::vector<std::unique_ptr<double[]>> blocks;
    for (int done = 0; done < n; done += kBlock)
    {
        const int len = std::min(kBlock, n - done);
        std::unique_ptr<double[]> block(new (std::nothrow) double[static_cast<std::size_t>(len)]);
        if (!block) throw CArchiveException(CArchiveException::generic);
        for (int i = 0; i < len; ++i) ar >> block[i];
        blocks.push_back(std::move(block));
    }
    // Every element was present: the full array is now backed by real data.
    std::unique_ptr<double[]> data(new (std::nothrow) double[static_cast<std::size_t>(n)]);
    if (!data) throw CArchiveException(CArchiveException::generic);
    for (std::size_t b = 0; b < blocks.size(); ++b)
    {
        const int start = static_cast<int>(b) * kBlock;
        std::copy_n(blocks[b].get(), std::min(kBlock, n - start), data.get() + start);
    }
    return data;
}

}  // namespace

// Loading reuses an array of the same size (read in place); any other count builds the new
// array completely before the old one is released, so a failed load of a new size leaves the
// vector as it was.
void CVector::Serialize(CArchive& ar)
{
    if (ar.IsStoring())
    {
        ar << m_nSize;
        for (const double *x = m_pData, *end = m_pData + m_nSize; x != end; ++x) ar << *x;
        return;
    }
    int n = 0;
    ar >> n;
    if (n < 0) n = 0;  // malformed count: load empty
    if (n == m_nSize && (m_pData || n == 0))
    {
        for (double *x = m_pData, *end = m_pData + m_nSize; x != end; ++x) ar >> *x;
        return;
    }
    std::unique_ptr<double[]> data;
    if (n > 0) data = read_elements(ar, n);
    delete[] m_pData;
    m_pData = data.release();
    m_nSize = n;
}

// A negative stored row count loads as 0 rows (no columns), like a negative element count.
void CMatrix::Serialize(CArchive& ar)
{
    CVector::Serialize(ar);
    if (ar.IsStoring())
    {
        ar << m_nRows;
        return;
    }
    int rows = 0;
    ar >> rows;
    m_nRows = rows < 0 ? 0 : rows;
}
