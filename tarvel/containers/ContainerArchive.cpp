// Archive form of the integer and object containers.
//   CLongVector: int32 count, int32 1 (skipped on loading), then the elements as int32.
//   CLongMatrix: int32 rows, int32 columns, then rows * columns int32 entries, row by row.
//   CObjVect:    int32 count, then the entries as objects (tag and contents, or a reference).
//   CObjMat:     int32 columns, int32 rows, then rows * columns objects, row by row.
// Loading trusts no count: negative counts and entry counts beyond the int range are refused,
// every entry is read before the container is resized, and the buffer of entries grows only
// with what was actually read, so a count the archive cannot back ends in endOfFile after at
// most one block of allocation beyond the data.
#include <tarvel/containers/LongMatrix.h>
#include <tarvel/containers/LongVector.h>
#include <tarvel/containers/ObjMat.h>
#include <tarvel/containers/ObjVect.h>
#include <tarvel/containers/detail/ObjectTable.h>

#include <algorithm>
#include <climits>
#include <new>
#include <unordered_set>
#include <utility>
#include <vector>

namespace
{

// Entries reserved at once before any is read: 64 Ki.
constexpr long kBlock = 1 << 16;

[[noreturn]] void refuse() { throw CArchiveException(CArchiveException::generic); }

// The entry count of rows x cols stored dimensions; negative dimensions and products beyond the
// int range are refused.
long checked_count(int rows, int cols)
{
    if (rows < 0 || cols < 0) refuse();
    const long n = static_cast<long>(rows) * cols;
    if (n > INT_MAX) refuse();
    return n;
}

// Makes room for one more value; the growth of capacity is the only allocation, and its
// failure is the archive's generic error.
template <class T> void grow(std::vector<T>& values, long n)
{
    if (values.size() < values.capacity()) return;
    try
    {
        values.reserve(values.empty() ? std::min(n, kBlock) : 2 * values.capacity());
    }
    catch (const std::bad_alloc&)
    {
        refuse();
    }
}

std::vector<long> read_longs(CArchive& ar, long n)
{
    std::vector<long> values;
    for (long k = 0; k < n; ++k)
    {
        grow(values, n);
        long v = 0;
        ar >> v;
        values.push_back(v);
    }
    return values;
}

// Deletes the objects the archive created since mark that entries hold, directly or through
// object vectors and matrices created since mark, each once. Objects created before mark are
// the caller's (or an enclosing object's) and stay.
void release_created(CArchive& ar, DWORD mark, const std::vector<CObject*>& entries)
{
    const std::vector<CObject*> created = ar.GetObjectsLoadedSince(mark);
    std::unordered_set<CObject*> pending(created.begin(), created.end());
    std::vector<CObject*> doomed;
    std::vector<std::pair<CObject* const*, long>> tables{{entries.data(), long(entries.size())}};
    while (!tables.empty())
    {
        const auto [table, n] = tables.back();
        tables.pop_back();
        for (long k = 0; k < n; ++k)
        {
            CObject* p = table[k];
            if (p == nullptr || pending.erase(p) == 0) continue;
            doomed.push_back(p);
            if (const auto* v = dynamic_cast<const CObjVect*>(p); v && v->m_pData)
                tables.emplace_back(v->m_pData, std::max(v->m_nSize, 0));
            else if (const auto* m = dynamic_cast<const CObjMat*>(p); m && m->m_pData)
                tables.emplace_back(m->m_pData,
                                    tarvel::detail::entry_count(m->m_nRows, m->m_nCols));
        }
    }
    for (CObject* p : doomed) delete p;  // containers never delete their entries: any order
}

// Reads n objects of any storable class. When reading fails, the objects created for them are
// deleted before the exception goes on.
std::vector<CObject*> read_objects(CArchive& ar, long n)
{
    const DWORD mark = ar.GetLoadMark();
    std::vector<CObject*> entries;
    try
    {
        for (long k = 0; k < n; ++k)
        {
            grow(entries, n);
            entries.push_back(ar.ReadObject(nullptr));  // capacity is there: no throw after it
        }
    }
    catch (...)
    {
        release_created(ar, mark, entries);
        throw;
    }
    return entries;
}

void write_objects(CArchive& ar, CObject* const* entries, long n)
{
    for (long k = 0; k < n; ++k) ar.WriteObject(entries[k]);
}

}  // namespace

void CLongVector::Serialize(CArchive& ar)
{
    if (ar.IsStoring())
    {
        ar << m_nSize << 1;
        for (int i = 0; i < m_nSize; ++i) ar << m_pData[i];
        return;
    }
    int n = 0;
    int ignored = 0;  // always written as 1
    ar >> n >> ignored;
    if (n < 0) refuse();
    const std::vector<long> values = read_longs(ar, n);
    if (!Allocate(n, false, 0) && n > 0) refuse();  // out of memory
    std::copy(values.begin(), values.end(), m_pData);
}

void CLongMatrix::Serialize(CArchive& ar)
{
    if (ar.IsStoring())
    {
        ar << m_nRows << m_nCols;
        const long n = m_pData ? tarvel::detail::entry_count(m_nRows, m_nCols) : 0;
        for (long k = 0; k < n; ++k) ar << m_pData[k];
        return;
    }
    int rows = 0;
    int cols = 0;
    ar >> rows >> cols;
    const long n = checked_count(rows, cols);
    const std::vector<long> values = read_longs(ar, n);
    if (!Allocate(rows, cols, false, 0) && n > 0) refuse();  // out of memory
    std::copy(values.begin(), values.end(), m_pData);
}

void CObjVect::Serialize(CArchive& ar)
{
    if (ar.IsStoring())
    {
        ar << m_nSize;
        if (m_pData) write_objects(ar, m_pData, m_nSize);
        return;
    }
    const DWORD mark = ar.GetLoadMark();
    int n = 0;
    ar >> n;
    if (n < 0) refuse();
    const std::vector<CObject*> entries = read_objects(ar, n);
    Allocate(n, true, nullptr);
    if (n > 0 && !m_pData)  // out of memory
    {
        release_created(ar, mark, entries);
        refuse();
    }
    std::copy(entries.begin(), entries.end(), m_pData);
}

void CObjMat::Serialize(CArchive& ar)
{
    if (ar.IsStoring())
    {
        ar << m_nCols << m_nRows;
        if (m_pData) write_objects(ar, m_pData, tarvel::detail::entry_count(m_nRows, m_nCols));
        return;
    }
    const DWORD mark = ar.GetLoadMark();
    int cols = 0;
    int rows = 0;
    ar >> cols >> rows;
    const long n = checked_count(rows, cols);
    const std::vector<CObject*> entries = read_objects(ar, n);
    Allocate(rows, cols, true, nullptr);
    if (n > 0 && !m_pData)  // out of memory
    {
        release_created(ar, mark, entries);
        refuse();
    }
    std::copy(entries.begin(), entries.end(), m_pData);
}
