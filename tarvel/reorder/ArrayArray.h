/// \file
/// CArrayArray<T>: an array of separately allocated arrays, the storage of the degree-of-freedom
/// graph CReorderMat (inner array i is the adjacency list of DOF i). Instantiated for long only.
///
/// Invariants:
///  A1  m_nCount == 0 exactly when both tables are null; otherwise m_ppData and m_pLength each
///      hold m_nCount entries, allocated with new[] and owned by the object
///  A2  m_ppData[i] is null or an owned new[] array with at least m_pLength[i] slots (an inner
///      array may hold more slots than its length says; no capacity is stored); a length of 0
///      always comes with a null pointer after Alloc, SetLength or Copy
///  A3  the object has no run-time class record of its own: GetRuntimeClass reports CVirtMat's
///
/// Copying: the copy constructor and copy assignment make a deep copy through Copy; moving takes
/// the tables over and leaves the source empty.
///
/// Choices where the behaviour is open:
///  - a failed allocation leaves the object empty (count 0, no tables); Allocate then returns
///    false and Copy returns 0, so the caller can tell (a copy constructed from a graph whose
///    allocation fails is empty as well);
///  - inner arrays of length 0 are not allocated (null pointer).
#pragma once

#include <tarvel/core/VirtMat.h>
#include <tarvel/platform/Export.h>

/// An array of separately allocated arrays (this file's comment states its rules).
template <class T> class TARVEL_API CArrayArray : public CVirtMat
{
public:
    CArrayArray() = default;
    CArrayArray(const CArrayArray& other);                 ///< deep copy (see Copying above)
    CArrayArray(CArrayArray&& other) noexcept;             ///< takes other's tables
    CArrayArray& operator=(const CArrayArray& other);      ///< deep copy
    CArrayArray& operator=(CArrayArray&& other) noexcept;  ///< takes other's tables
    ~CArrayArray() override;

    // ---- Operations of the matrix interface ----
    /// 1. Alloc(dims[0]); with nDims >= 2 and dims[0] >= 1, every inner array gets dims[1] slots
    ///    (contents not initialized) and the length dims[1]. True unless an allocation failed.
    bool Allocate(int* dims, int nDims) override;
    /// 2. Does nothing.
    void ReadASCII(CFile* file) override;
    /// 3. Does nothing.
    void WriteASCII(CFile* file, CString prefix, CString suffix, int width, int precision,
                    int format, bool rowNumbers, bool header) override;

    // ---- Virtual operations of the template, in virtual-table order (append, never reorder) ----
    /// 4. Deep copy of src: tables rebuilt when the counts differ, inner arrays always.
    ///    Returns the count (0 and an empty object when an allocation failed).
    virtual int Copy(const CArrayArray<T>& src);
    /// 5. n == count: frees every inner array and keeps the tables. Otherwise frees everything
    ///    and allocates both tables for n arrays, all absent with length 0 (n <= 0: empty).
    virtual void Alloc(int n);

    // ---- Storage ----
    /// Frees every inner array (length 0, pointer null) and keeps the tables.
    void FreeArrays();
    /// FreeArrays, then frees both tables; the count becomes 0.
    void RemoveAll();
    /// Gives inner array i exactly len slots and the length len; an existing array of that length
    /// stays untouched. False when the allocation failed (the array is then absent, length 0).
    bool SetLength(int i, int len);

    int m_nCount = 0;          ///< number of inner arrays (A1)
    T** m_ppData = nullptr;    ///< owned table of owned inner arrays (A1, A2)
    int* m_pLength = nullptr;  ///< entries in use of each inner array (A1, A2)

protected:
    /// Allocates both tables for n > 0 arrays (all absent, length 0); false on failure, with the
    /// object empty. The object must hold no tables when called.
    bool allocate_tables(int n);
    void swap_storage(CArrayArray& other) noexcept;  ///< exchanges the tables with other's
};

extern template class CArrayArray<long>;
