/// \file
/// CObjMat: a row-major matrix of object pointers that does not own the objects, storable in
/// archives together with the objects it points to.
///
/// Invariants:
///  OM1 m_pData is null exactly when the matrix holds no array; otherwise it holds
///      m_nRows * m_nCols pointers, row by row (entry (i, j) is element i * m_nCols + j),
///      allocated with new[] and owned by the matrix; the array is kept while the entry count
///      stays the same, whatever the shape
///  OM2 the objects are the caller's: only DeleteEntries deletes them; entries may be null and
///      one object may stand in several entries
///  OM3 indices are zero-based and never checked
///
/// Choices where the behaviour is open:
///  - the matrix cannot be copied (a copy would silently share the caller's objects);
///  - an array that cannot be obtained (or an entry count beyond the int range) leaves no array
///    and 0 by 0 dimensions; an array obtained holds null entries;
///  - loading from an archive (untrusted input): a negative dimension or a product of the two
///    beyond the int range throws CArchiveException (generic), entries the archive does not
///    hold throw endOfFile, and storage grows only with the entries actually read. When loading
///    fails the matrix keeps its old shape and entries, and every object created for it is
///    deleted once (also through vectors and matrices of objects loaded inside it); objects
///    loaded before it stay the caller's.
#pragma once

#include <tarvel/platform/Archive.h>
#include <tarvel/platform/Object.h>

/// A matrix of object pointers that stores shared objects once (this file's comment states its
/// rules).
class TARVEL_API CObjMat : public CObject
{
    DECLARE_SERIAL(CObjMat)

public:
    CObjMat();
    CObjMat(const CObjMat&) = delete;
    CObjMat& operator=(const CObjMat&) = delete;
    ~CObjMat() override;  ///< releases the array, never the objects (OM2)

    void Serialize(CArchive& ar) override;

    // ---- Virtual operation ----
    /// The sizing of the four-argument Allocate; then every entry, from the last to the first,
    /// receives a new object of the class (null when the class is not creatable).
    virtual void Allocate(int rows, int cols, CRuntimeClass* pClass);

    /// Stores both dimensions. An array whose entry count differs from rows * cols is released;
    /// for positive dimensions an array is kept (with its entries, OM1) or obtained; with init
    /// every entry is set to value.
    void Allocate(int rows, int cols, bool init, CObject* value);

    CObject** operator[](int i) { return m_pData + static_cast<long>(i) * m_nCols; }  ///< row i
    int GetRows() const { return m_nRows; }                                           ///< rows
    int GetColumns() const { return m_nCols; }                                        ///< columns

    /// Sets every entry to p; no object is deleted.
    CObjMat& operator=(CObject* p);
    /// Deletes every distinct object held exactly once, from the last entry to the first, and
    /// leaves every entry null; shape and array stay. Linear in the entry count.
    void DeleteEntries();

    int m_nRows;        ///< number of rows
    int m_nCols;        ///< number of columns
    CObject** m_pData;  ///< owned array of pointers, null when there is none (OM1)
};
