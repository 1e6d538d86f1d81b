/// \file
/// CObjVect: a vector of object pointers that does not own the objects, storable in archives
/// together with the objects it points to.
///
/// Invariants:
///  O1  m_pData is null exactly when the vector holds no array; otherwise it holds m_nSize
///      pointers, allocated with new[] and owned by the vector
///  O2  the objects are the caller's: only DeleteEntries deletes them; entries may be null and
///      one object may stand in several entries
///  O3  indices are zero-based and never checked
///
/// Choices where the behaviour is open:
///  - the vector cannot be copied (a copy would silently share the caller's objects);
///  - an array that cannot be obtained leaves no array and size 0; an array obtained holds null
///    entries;
///  - loading from an archive (untrusted input): a negative count throws CArchiveException
///    (generic), entries the archive does not hold throw endOfFile, and storage grows only with
///    the entries actually read. When loading fails the vector keeps its old entries, and every
///    object created for it is deleted once (also through vectors and matrices of objects
///    loaded inside it); objects loaded before it stay the caller's.
#pragma once

#include <tarvel/platform/Archive.h>
#include <tarvel/platform/Object.h>

/// A vector of object pointers that stores shared objects once (this file's comment states its
/// rules).
class TARVEL_API CObjVect : public CObject
{
    DECLARE_SERIAL(CObjVect)

public:
    CObjVect();
    CObjVect(const CObjVect&) = delete;
    CObjVect& operator=(const CObjVect&) = delete;
    ~CObjVect() override;  ///< releases the array, never the objects (O2)

    void Serialize(CArchive& ar) override;

    /// m_nSize becomes n. An array of another size is released; for n > 0 an array is kept or
    /// obtained (a kept one keeps its entries); with init every entry is set to value.
    void Allocate(int n, bool init, CObject* value);

    /// Entry i (unchecked).
    ///@{
    CObject*& operator[](int i) { return m_pData[i]; }
    const CObject* const& operator[](int i) const
    {
        return reinterpret_cast<const CObject* const&>(m_pData[i]);
    }
    ///@}
    int GetSize() const { return m_nSize; }  ///< entries

    /// Sets every entry to p; no object is deleted.
    CObjVect& operator=(CObject* p);
    /// Deletes every distinct object held exactly once, from the last entry to the first, and
    /// leaves every entry null; size and array stay. Linear in the entry count.
    void DeleteEntries();

    int m_nSize;        ///< number of entries (O1)
    CObject** m_pData;  ///< owned array of pointers, null when there is none (O1)
};
