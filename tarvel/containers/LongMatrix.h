/// \file
/// CLongMatrix: a row-major matrix of integers (tables of degree-of-freedom numbers), storable in
/// archives.
///
/// Invariants:
///  LM1 m_pData is null exactly when the matrix holds no storage; otherwise it holds
///      m_nRows * m_nCols longs, row by row (entry (i, j) is element i * m_nCols + j), allocated
///      with new[] and owned by the matrix
///      (which it has whenever both dimensions are positive)
///  LM2 indices are zero-based and never checked
///
/// Choices where the behaviour is open:
///  - a copy (copy constructor, operator=) owns its own array;
///  - Allocate that cannot obtain its array (or whose entry count exceeds the int range) leaves
///    no array and 0 by 0 dimensions, and returns false;
///  - loading from an archive (untrusted input): a negative dimension, or a product of the two
///    that exceeds the int range, throws CArchiveException (generic); entries the rest of the
///    archive does not hold throw endOfFile; storage grows only with the entries actually read,
///    and the matrix keeps its old contents when loading fails.
#pragma once

#include <tarvel/platform/Archive.h>
#include <tarvel/platform/File.h>
#include <tarvel/platform/Object.h>
#include <tarvel/platform/String.h>

/// A dense matrix of long integers, row-major (this file's comment states its rules).
class TARVEL_API CLongMatrix : public CObject
{
    DECLARE_SERIAL(CLongMatrix)

public:
    CLongMatrix();
    CLongMatrix(const CLongMatrix& other);  ///< a copy of other's dimensions and entries
    ~CLongMatrix() override;

    void Serialize(CArchive& ar) override;

    // ---- Virtual operations, in virtual-table order (append, never reorder) ----
    /// out becomes the (rows + 1) x 1 column of row starts i * columns + offset, i = 0 .. rows.
    virtual void GetPointerMat(CLongMatrix& out, int offset);
    /// count >= 4: d0 x d1, init d2 != 0, value d3; 3: value 0; 2: d0 x d1 zeros; less: d0 x d0
    /// zeros.
    virtual bool Allocate(int* dims, int count);
    virtual long& GetValue(int i, int j);  ///< entry (i, j), unchecked
    /// The dense-matrix text layout, every entry written as a double: exponent form when
    /// exponent is true, fixed otherwise.
    virtual void WriteASCII(CFile* file, CString prefix, CString suffix, int width, int precision,
                            bool exponent, bool rowNumbers, bool header);
    virtual CLongMatrix& operator=(long value);   ///< every entry = value
    virtual CLongMatrix& operator+=(long value);  ///< every entry += value

    /// Stores both dimensions and always replaces the array: rows * cols entries when both are
    /// positive, each set to value when init; none otherwise. False when no array results.
    bool Allocate(int rows, int cols, bool init, long value);

    int GetRows() const { return m_nRows; }     ///< rows
    int GetColumns() const { return m_nCols; }  ///< columns
    /// The entries, row after row.
    ///@{
    long* GetVector() { return m_pData; }
    const long* GetVector() const { return m_pData; }
    ///@}
    /// Row i.
    ///@{
    long* operator[](int i) { return m_pData + static_cast<long>(i) * m_nCols; }
    const long* operator[](int i) const { return m_pData + static_cast<long>(i) * m_nCols; }
    ///@}

    /// Smallest row i (from first on) with entry (i, j) == value, or -1.
    ///@{
    int FindInCol(int j, long value) const;
    int FindInCol(int j, long value, int first) const;
    ///@}
    /// Smallest column j with entry (i, j) == value, or -1.
    int FindInRow(int i, long value) const;
    /// A copy of other's dimensions and entries in a new array; self-assignment changes nothing.
    CLongMatrix& operator=(const CLongMatrix& other);

    int m_nRows;    ///< number of rows
    int m_nCols;    ///< number of columns
    long* m_pData;  ///< owned array, null when there is no storage (LM1)
};
