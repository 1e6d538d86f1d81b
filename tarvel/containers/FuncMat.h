/// \file
/// CFuncMat: a row-major matrix of scalar functions; evaluated at a parameter it gives a dense
/// matrix of numbers. Not storable; it reports the record of CObject.
///
/// Invariants:
///  F1  m_pData is null before the first allocation; otherwise it holds the entries of the
///      matrix row by row (entry (i, j) is element i * m_nCols + j), allocated with new[] and
///      owned by the matrix; the functions are not owned
///  F2  a null entry stands for the zero function
///
/// Entries have the proper function-pointer type Entry, a function of one double; a function of
/// two doubles for the two-argument evaluation is stored through Entry2ToEntry and called back
/// with its own type.
///
/// Choices where the behaviour is open:
///  - the further argument of the two-argument evaluation is declared double, so an integer
///    argument converts; arguments after it are ignored;
///  - a new array holds null entries; the matrix cannot be copied (it owns its array).
#pragma once

#include <tarvel/platform/Object.h>

class CMatrix;

/// A matrix of scalar functions, evaluated into a CMatrix (this file's comment states its rules).
class TARVEL_API CFuncMat : public CObject
{
public:
    using Entry = double (*)(double);           ///< an entry: f(x)
    using Entry2 = double (*)(double, double);  ///< an entry of two arguments: f(x, y)

    /// The entry that stands for f in the two-argument evaluation.
    /// (Through the generic function pointer void (*)(), which converts to and from any
    /// function-pointer type; calling it back as Entry2 is well defined.)
    static Entry Entry2ToEntry(Entry2 f)
    {
        return reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(f));
    }

    CFuncMat();
    CFuncMat(int rows, int cols, bool init, Entry entry);  ///< Allocate(rows, cols, init, entry)
    CFuncMat(const CFuncMat&) = delete;
    CFuncMat& operator=(const CFuncMat&) = delete;
    ~CFuncMat() override;

    // ---- Virtual operation ----
    /// count >= 3: d0 x d1, cleared when d2 != 0; 2: d0 x d1 cleared; less: d0 x d0 cleared.
    /// True when that sizing returned a non-zero value.
    virtual bool Allocate(int* dims, int count);

    /// Stores both dimensions; an array of another entry count is replaced, one of the same
    /// count kept with its entries; with init every entry is set to entry. Returns rows * cols,
    /// or -1 when no storage could be obtained for a non-zero count.
    int Allocate(int rows, int cols, bool init, Entry entry);

    Entry* operator[](int i) { return m_pData + static_cast<long>(i) * m_nCols; }  ///< row i
    int GetRows() const { return m_nRows; }                                        ///< rows
    int GetColumns() const { return m_nCols; }                                     ///< columns

    /// Entry (i, j) at x; the entry must not be null.
    double EvalFunc(int i, int j, double x) const;
    /// result(i, j) = entry (i, j) at x, 0.0 for a null entry; result is sized rows x columns.
    void EvalFunc(CMatrix& result, double x) const;
    /// result(i, j) = entry (i, j) at (x, y) for entries stored through Entry2ToEntry.
    void EvalFunc(CMatrix& result, double x, double y, ...) const;

    int m_nRows;     ///< number of rows
    int m_nCols;     ///< number of columns
    Entry* m_pData;  ///< owned array of entries (F1)
};
