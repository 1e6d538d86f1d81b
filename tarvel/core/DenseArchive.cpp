// Archive form of the dense classes.
//   CVector: int32 element count, then the elements as float64, element 0 first.
//   CMatrix: the CVector form (elements row by row), then int32 row count.
// Loading trusts no count: a negative count, or a row count that disagrees with the element
// count, is refused (generic), and a count larger than what the archive still holds never
// reserves its full size up front (see read_elements). A failed load leaves the object's
// dimensions as they were.
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

// The elements of a stored vector: n, and the new array (null when the elements were read in
// place into an array of the same size, or when n is 0).
struct LoadedElements
{
    int n;
    std::unique_ptr<double[]> data;
};

// Reads a stored count and its elements. A held array of the same size is read in place; any
// other count is read into a new array, left to the caller to adopt, so a failure leaves the
// vector as it was. A negative count is refused (generic).
LoadedElements load_elements(CArchive& ar, CVector& v)
{
    LoadedElements loaded{0, nullptr};
    ar >> loaded.n;
    if (loaded.n < 0) throw CArchiveException(CArchiveException::generic);
    if (loaded.n == v.m_nSize && (v.m_pData || loaded.n == 0))
    {
        for (double *x = v.m_pData, *end = v.m_pData + v.m_nSize; x != end; ++x) ar >> *x;
        return loaded;
    }
    if (loaded.n > 0) loaded.data = read_elements(ar, loaded.n);  // V1: no array when empty
    return loaded;
}

void adopt(CVector& v, LoadedElements& loaded)
{
    if (loaded.n == v.m_nSize && !loaded.data) return;  // read in place
    delete[] v.m_pData;
    v.m_pData = loaded.data.release();
    v.m_nSize = loaded.n;
}

}  // namespace

void CVector::Serialize(CArchive& ar)
{
    if (ar.IsStoring())
    {
        ar << m_nSize;
        for (const double *x = m_pData, *end = m_pData + m_nSize; x != end; ++x) ar << *x;
        return;
    }
    LoadedElements loaded = load_elements(ar, *this);
    adopt(*this, loaded);
}

// The row count must agree with the elements: 0 rows for no elements, otherwise a positive
// divisor of the element count; anything else is refused (generic) and the matrix keeps its
// shape.
void CMatrix::Serialize(CArchive& ar)
{
    if (ar.IsStoring())
    {
        CVector::Serialize(ar);
        ar << m_nRows;
        return;
    }
    LoadedElements loaded = load_elements(ar, *this);
    int rows = 0;
    ar >> rows;
    const bool agrees = loaded.n == 0 ? rows == 0 : rows > 0 && loaded.n % rows == 0;
    if (!agrees) throw CArchiveException(CArchiveException::generic);
    adopt(*this, loaded);
    m_nRows = rows;
}
