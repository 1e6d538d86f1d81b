/// \file
/// CLongVector: a vector of integers (degree-of-freedom numbers, index lists), storable in
/// archives.
///
/// Invariants:
///  L1  m_pData is null exactly when the vector holds no storage; otherwise it holds m_nSize
///      longs, allocated with new[] and owned by the vector
///  L2  indices are zero-based and never checked
///
/// Choices where the behaviour is open:
///  - a copy (copy constructor, operator=) owns its own array;
///  - Allocate that cannot obtain its array leaves no array and size 0, and returns false;
///  - loading from an archive (untrusted input): a negative count, or one the rest of the archive
///    cannot hold, throws CArchiveException (generic, endOfFile) before anything is allocated
///    for it, and the vector keeps its old contents; storage grows only with the elements
///    actually read. A vector sized with a negative count stores that count and does not load
///    back.
#pragma once

#include <tarvel/platform/Archive.h>
#include <tarvel/platform/File.h>
#include <tarvel/platform/Object.h>
#include <tarvel/platform/String.h>

/// A vector of long integers (this file's comment states its rules).
class TARVEL_API CLongVector : public CObject
{
    DECLARE_SERIAL(CLongVector)

public:
    CLongVector();
    CLongVector(const CLongVector& other);  ///< a copy of other's elements
    ~CLongVector() override;

    void Serialize(CArchive& ar) override;

    // ---- Virtual operations, in virtual-table order (append, never reorder) ----
    /// One element per line (rowLayout false) or all on one line, numbered 1.. when numbering.
    virtual void WriteASCII(CFile* file, CString prefix, CString suffix, int width, bool numbering,
                            bool rowLayout);
    /// The vector as a ragged matrix: row i holds elements rowStarts[i] .. rowStarts[i+1] - 1.
    virtual void WriteASCII(CFile* file, CString prefix, CString suffix, int width,
                            CLongVector& rowStarts, bool header, bool rowNumbers);
    /// d[0] size; init d[1] != 0 (true when count < 2); value d[2] (0 when count < 3).
    virtual bool Allocate(int* dims, int count);
    virtual CLongVector& operator=(long value);   ///< every element = value
    virtual CLongVector& operator+=(long value);  ///< every element += value

    /// Sets m_nSize to n and always replaces the array (old contents are lost): n > 0 elements,
    /// each set to value when init; none for n <= 0. False when no array results.
    bool Allocate(int n, bool init, long value);

    int GetSize() const { return m_nSize; }  ///< elements
    /// The elements; element i (unchecked).
    ///@{
    long* GetVector() { return m_pData; }
    const long* GetVector() const { return m_pData; }
    long& operator[](int i) { return m_pData[i]; }
    const long& operator[](int i) const { return m_pData[i]; }
    ///@}

    /// Index of the first element equal to value, or -1.
    int Find(long value) const;
    /// A copy of other's elements in a new array; assigning the vector to itself changes nothing.
    CLongVector& operator=(const CLongVector& other);

    int m_nSize;    ///< number of elements as last requested (L1)
    long* m_pData;  ///< owned array, null when there is no storage (L1)
};
