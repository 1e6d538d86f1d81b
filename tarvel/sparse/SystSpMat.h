/// \file
/// CSystSpMat: the system (stiffness) matrix of a finite-element program. A CSparseMatrix whose
/// rows are made all at once, for a known number n of equations, as the elements of one array,
/// so that an addition reaches its row by indexing; element contributions arrive through
/// AddValues, only the diagonal and the upper part when m_bSym is set. An Allocate of the same
/// size keeps the pattern and zeroes the values, so the next assembly reuses every cell.
///
/// Invariants (FixPointers restores S2 after a caller has relinked the list):
///  S1  m_pRowArray holds m_nRowArraySize rows (null and 0 when there are none); element k is
///      the row of index k; the array owns its rows and, through them, every cell (R3)
///  S2  the inherited row list runs through the array in order: m_pFirstRow is element 0, each
///      element's m_pNextRow the next element, the last one's null
///  S3  no row is ever unlinked or deleted on its own; rows may be empty
///
/// The inherited drivers (Cholesky_Solve, LU_Solve) and substitutions work on the list (S2) and
/// reach this class's LU and Cholesky through the virtual table. Storage exhaustion is handled as
/// in CSparseMatrix: std::bad_alloc from the operations that make cells, -1 from LU and Cholesky
/// (LastFactorFailure then says OutOfMemory);
/// a copy or an Allocate that cannot obtain its rows leaves an empty matrix (Allocate: false).
///
/// Choices where the behaviour is open:
///  - operator=(CSystSpMat&) adds src's non-zero entries to this matrix's own rows; this matrix
///    keeps its own array, first grown to src's row count when it is smaller (its cells kept):
///    each object owns exactly one array. A move takes the array over.
///  - Through CSparseMatrix&&, the array is never taken: a plain matrix moved from this one
///    takes its cells (the rows stay, empty); a move assignment into this one through
///    CSparseMatrix& clears it and adds the source's non-zero entries.
///  - Clear deletes every cell and keeps the array (GetRows unchanged); Allocate({0}) releases it.
///  - Mirror keeps the rows it leaves empty, and adds the mirrored entries through this class's
///    Add (0.0 and NaN skipped); AAT leaves A A^T in the array's rows.
///  - Input outside the matrix is ignored, never a crash: a row or column index outside 0..n-1
///    in Add (the text reader included), an index of AddValues at or above n (taken like a
///    negative one), a prescribed index outside 0..n-1 after truncation (UnifyAndZero(k) with k
///    outside 0..n-1 included: it changes B's row k only, when B has one), rows beyond B's row
///    count, and a B that is not a CMatrix (no right-hand side then).
///  - Cholesky fails with -1 at a row holding a non-zero entry, right of its first cell, in a
///    column outside 0..n-1, before that row sends any update.
///  - SymUnifyAndZero corrects B(r, c) for every coupling of a free row r with a prescribed k,
///    wherever the upper triangle keeps it, in the order of the list, and B(k, c) receives
///    exactly the prescribed value: B is bit for bit what UnifyAndZero2 gives on the full matrix.
///  - SymHandleBCs changes the matrix only; the caller's right-hand side is never changed (it is
///    taken by value): impose it with SymUnifyAndZero, or subtract the couplings yourself.
///  - GaussSeidel_Iter: n == 0 returns 1 without a sweep; maxIter <= 0, n above the row count or
///    above x's size (or no work vector) return -1 without a sweep; each reports 0 sweeps and
///    error 0, x unchanged.
///  - GaussSeidel_Iter leaves the iterate in x's own array (x keeps its storage); a row without
///    a diagonal divides by 0.0.
#pragma once

#include <tarvel/platform/Export.h>
#include <tarvel/sparse/SparseMatrix.h>

class CReorderMat;

/// The system (stiffness) matrix: a sparse matrix whose rows live in one array (this file's comment
/// states its invariants and rules).
class TARVEL_API CSystSpMat : public CSparseMatrix
{
    DECLARE_SERIAL(CSystSpMat)

public:
    CSystSpMat();
    explicit CSystSpMat(int n);  ///< n empty rows (S1, S2); n < 1 as the default constructor
    CSystSpMat(const CSystSpMat& other);      ///< exact deep copy (stored zeros included)
    CSystSpMat(CSystSpMat&& other) noexcept;  ///< takes other's array
    ~CSystSpMat() override;

    /// Adds src's non-zero entries (see the choices above); the number of rows becomes the
    /// larger of the two.
    CSystSpMat& operator=(CSystSpMat& src);
    CSystSpMat& operator=(CSystSpMat&& src) noexcept;  ///< releases this array, takes src's
    using CSparseMatrix::operator=;  ///< = double, and the adding = CSparseMatrix&
    /// A sparse temporary is added like any sparse matrix (the rows stay in the array).
    CSystSpMat& operator=(CSparseMatrix&& src);

    // ---- Overrides of the matrix interface and of CSparseMatrix ----
    /// {R}: R < 1 releases the array; R != n makes R empty rows; R == n keeps every cell. Then
    /// every stored value becomes 0.0. False (and no rows) when the array cannot be obtained.
    bool Allocate(int* dims, int count) override;
    /// Element assembling: ke (n x n, row-major) at the indices dofs; negative ones skipped;
    /// with m_bSym only entries at or right of the diagonal; 0.0 and NaN values skipped.
    void AddValues(long* dofs, double* ke, int n) override;
    void Clear() override;  ///< deletes every cell, keeps the rows (GetRows unchanged)
    /// As CSparseMatrix::LU on the array's rows: 1, or -1 at the first row without a usable
    /// pivot (partly factorized). Nothing counted.
    int LU() override;
    int GetColumns() const override;  ///< m_nRowArraySize
    int GetRows() const override;     ///< m_nRowArraySize
    /// 0.0, NaN and indices outside 0..n-1 add nothing (cursors untouched); otherwise row i of
    /// the array, then row::Add(j, v) or row::Add(j, v, c).
    ///@{
    void Add(int i, int j, double v) override;
    void Add(int i, int j, double v, cell*& c) override;
    void Add(int i, int j, double v, row*& r) override;
    void Add(int i, int j, double v, row*& r, cell*& c) override;
    ///@}
    void AAT() override;  ///< this becomes this * this^T, in the array's rows
    /// As CSparseMatrix::Cholesky (the same checks, updates and partial state on failure), each
    /// row's first cell serving as its pivot; not counted in m_Flops.
    int Cholesky() override;
    double Mirror(double f) override;  ///< as CSparseMatrix::Mirror; emptied rows stay

    // ---- Virtual operations, in virtual-table order (append, never reorder) ----
    /// Gauss-Seidel sweeps for A x = b from x (b's size is n); 1 when two iterates differ by
    /// less than tol in the maximum norm, -1 after maxIter sweeps. Always shows a report.
    virtual int GaussSeidel_Iter(CVector& b, CVector& x, double tol, int maxIter);
    virtual bool Allocate(CReorderMat& graph);  ///< takes no profile from a graph: false
    /// Prescribed values values[k] at the indices dofs[k] (truncated toward zero) on an
    /// upper-triangle system: row dofs[k] becomes the unit row, its couplings are removed and
    /// B(r, c) -= g a_rk for every free row r; B(dofs[k], c) = values[k]. B may be null.
    virtual void SymUnifyAndZero(CVector& dofs, CVector& values, CVirtMat* B);
    /// The same on a fully stored system (columns removed from the free rows).
    virtual void UnifyAndZero2(CVector& dofs, CVector& values, CVirtMat* B);

    // ---- Not virtual ----
    void FixPointers();  ///< relinks the list through the array (S2)
    /// Prescribed indices in column 0 of bc, on an upper-triangle system: their couplings are
    /// deleted and their rows keep only the diagonal, set to 1.0 (a row without one ends empty).
    void SymHandleBCs(CMatrix& bc, CMatrix B);

    row* m_pRowArray;     ///< S1
    int m_nRowArraySize;  ///< S1

private:
    /// Releases the array and every cell; no rows afterwards.
    void release_rows();
    /// Makes an array of n empty rows (S1, S2); false, with no rows, when it cannot be obtained.
    bool make_rows(int n);
    /// Whether i names a row (or column) of the matrix; row i of the array, or null.
    bool inside(int i) const { return i >= 0 && i < m_nRowArraySize; }
    row* row_at(int i) { return inside(i) ? m_pRowArray + i : nullptr; }
    /// Grows the array to n rows, moving the cells of the old rows; false when it cannot.
    bool grow_rows(int n);
};
