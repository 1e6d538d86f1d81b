/// \file
/// CSparseMatrix: the general sparse real matrix, an ascending singly linked list of rows, each
/// row an ascending singly linked list of cells. Only entries that were added are stored; an
/// entry that is not stored reads as absent, not as a stored zero.
///
/// Invariants (tarvel::detail::lists_are_ordered checks R1-R2; every operation keeps them;
/// TARVEL_ASSERT checks them on entry to LU, Cholesky, Mirror and AAT and after UnifyAndZero):
///  R1  rows strictly ascending in m_nRow along m_pNextRow; a row may exist with no cells, and
///      a row that never received anything does not exist
///  R2  within a row, cells strictly ascending in m_nCol along m_pNext; the diagonal entry of
///      row i is simply the cell of column i (the factorizations find it through R2)
///  R3  the matrix owns its rows and every row owns its cells; rows and cells are separate
///      objects made with new and released with delete (a row through its virtual destructor)
///
/// The solvers (SparseLU.cpp, SparseCholesky.cpp, SparseSubstitution.cpp, ConjGradient.cpp)
/// take right-hand sides as CVirtMat* that must be dense matrices (CMatrix): one equation per
/// row, one right-hand side per column, overwritten with the solution. The drivers reach the
/// factorizations and substitutions through the virtual table, so a derived system matrix
/// replaces LU and Cholesky and keeps the rest.
///
/// Copying: the copy constructor makes an exact deep copy (stored zeros, empty rows and the
/// allocation sizes included). operator=(CSparseMatrix&) ADDS the source's non-zero entries to
/// this matrix through the virtual Add (an empty target receives a copy without stored zeros).
/// Moves take the lists over; a move assignment first releases this matrix's lists.
/// Threads: distinct matrices may be used on distinct threads at once; one matrix on one thread
/// at a time (hand it over with a lock or a join). A matrix may be destroyed on any thread: its
/// cells go back to the pool of the thread that made them, and the pools of ended threads to a
/// shared reserve (CellPool.cpp). The class-wide m_Flops and m_bSym are shared by all threads.
/// Storage exhaustion while cells or rows are made is the allocator's failure (std::bad_alloc);
/// LU and Cholesky report it as their failure result -1 instead, the matrix partly factorized;
/// LastFactorFailure tells that case from a breakdown of the elimination.
///
/// Choices where the behaviour is open:
///  - MakeLower holds the earlier of the two virtual slots, MakeUpper the later one.
///  - Allocate with a negative row count does nothing (returns true); ReverseRows, BackwSub
///    and the other list walks do nothing on a matrix without rows.
///  - AddValues with an index repeated in one element: a pick that finds no larger index
///    repeats the previous pick's position, so the repeated occurrence is never read.
///  - NearlyEqual with a zero tolerance and |y| >= 1 includes both (equal) bounds: x == y.
///  - LU: a pivot row with nothing right of its diagonal leaves that column alone (the later
///    rows holding an entry in it then fail their diagonal check).
///  - Cholesky: a non-zero entry (k, j) whose row j is not stored fails the factorization at
///    row k, before row k sends any update.
///  - LU and Cholesky remake each row that receives fill-in (Cholesky from its diagonal on) as
///    one run of new cells: no cell address from before a factorization may be kept across it.
///  - ConjGradient/ConjGradient2: a zero step-length or direction denominator gives IEEE
///    infinities or NaNs in the results; rows without a diagonal scale by 1.0.
///  - ConjGradient2: a row exported with count 0 (only its unit diagonal) adds p_i to what the
///    rows above it sent into q_i through column i, so A P is exact for any unit-diagonal row.
///  - A move from a matrix of a derived class (the system matrix keeps its rows in an array)
///    takes its cells into rows made for the target; the source keeps its rows, empty.
///  - A move assignment into a matrix of a derived class (through CSparseMatrix&) clears it
///    and adds the source's non-zero entries through its virtual Clear and Add.
///  - Text (SparseText.cpp): a row index below the rows already written starts no zero rows
///    (the writer never walks back); the reader reads at most INT_MAX lines.
#pragma once

#include <tarvel/core/VirtMat.h>
#include <tarvel/platform/Export.h>

#include <cstddef>
#include <new>

class CMatrix;
class CVector;

/// The general sparse matrix: a linked list of rows of cells (this file's comment states its
/// invariants and rules).
class TARVEL_API CSparseMatrix : public CVirtRealMat
{
    DECLARE_SERIAL(CSparseMatrix)

public:
    /// One stored entry. Plain structure: no virtual operation.
    struct cell
    {
        cell* m_pNext;    ///< next cell of the row, null at the row's end (R2)
        double m_dValue;  ///< the stored value
        int m_nCol;       ///< zero-based column

        // The implicit assignment copies all three fields, the link included.

        /// Cells are made and released one at a time by the thousands during assembling and
        /// factorization; they come from per-thread pools of equal slots (CellPool.cpp), so
        /// `new cell` and `delete` of a cell stay cheap. Sanitizer builds use the global heap.
        ///@{
        static void* operator new(std::size_t size);
        static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
        static void operator delete(void* p, std::size_t size) noexcept;
        static void operator delete(void* p, const std::nothrow_t&) noexcept;
        ///@}

        /// Unlinks target from the chain after this cell (this cell is never removed); does
        /// not delete it; nothing when target is not in the chain.
        void Remove(cell* target);
        /// Unlinks and returns the cell of column col from the chain after this cell (the
        /// caller deletes it); null when there is none.
        cell* Remove(int col);
        /// Divides this cell and every cell after it by d.
        void DivideAll(double d);
    };

    /// One stored row. Its only virtual operation is the destructor, which deletes its cells.
    struct row
    {
        /// The creating operation sets the fields; they start null/0 so that a row made
        /// without them releases nothing.
        row() = default;
        /// Copy the three fields: the copy refers to the SAME cells, so only one of the two
        /// may release them.
        ///@{
        row(const row& other) = default;
        row& operator=(const row& other) = default;
        ///@}
        virtual ~row();

        cell* m_pFirstCell = nullptr;  ///< head of the cell list, null for an empty row (R2)
        row* m_pNextRow = nullptr;     ///< next row of the matrix, null for the last (R1)
        int m_nRow = 0;                ///< zero-based row index

        /// Adds v at column col: accumulates into the existing cell or inserts a new one in
        /// order. No zero test.
        void Add(int col, double v);
        /// As above, the walk starting at c when c is not null and c->m_nCol <= col;
        /// afterwards c points at the cell of column col.
        void Add(int col, double v, cell*& c);
        /// Leaves exactly n cells, columns first .. first + n - 1, each holding v; existing
        /// cells are reused in order, missing ones made, surplus ones deleted.
        void Allocate(int n, double v, int first);
        /// Deletes every cell.
        void Clear();
        cell* GetCell(int col);     ///< the cell of column col, or null
        double* GetValue(int col);  ///< address of the value of column col, or null
        /// Unlinks and returns the cell of column col (the caller deletes it), or null.
        cell* Remove(int col);
        /// Walks from this row along m_pNextRow to the row of index rowIndex (null when the
        /// list ends first) and removes column col from it as above.
        cell* Remove(int rowIndex, int col);
        /// Multiplies every cell of column >= fromCol by f; one flop per multiplied cell.
        void Multiply(double f, int fromCol);
        /// The largest value, the search starting from 0.0.
        double Max();
        /// Adds f times the chain src, src->m_pNext, ... into this row (src null: adds f to
        /// every cell). No zero test, nothing counted.
        void AddRow(cell* src, double f);
        int NonZeros();            ///< number of stored cells, whatever their values
        int NumZeros(double tol);  ///< cells nearly equal to 0.0 under tol (NearlyEqual)
    };

    CSparseMatrix();
    CSparseMatrix(const CSparseMatrix& other);      ///< exact deep copy
    CSparseMatrix(CSparseMatrix&& other) noexcept;  ///< takes other's lists (see Copying above)
    ~CSparseMatrix() override;                      ///< calls Clear

    /// Adds every non-zero, non-NaN cell of src through the virtual four-argument Add (one
    /// row cursor for the whole copy); this matrix is not cleared first.
    CSparseMatrix& operator=(CSparseMatrix& src);
    CSparseMatrix& operator=(CSparseMatrix&& src) noexcept;  ///< releases its lists, takes src's

    // ---- The interface operations of CVirtMat and CVirtRealMat ----
    /// Builds a pattern of explicit cells: {R} gives R empty rows, {R, C} an R x C pattern of
    /// 0.0, {R, C, -, v} of v. R == 0 clears. Always true.
    bool Allocate(int* dims, int count) override;
    /// Line i from the file's position to its end is row i; its number j is added by the
    /// virtual Add(i, j, value) (zeros and NaNs add nothing, existing entries accumulate).
    void ReadASCII(CFile* file) override;
    /// format 0: a listing of the stored cells per row (fixed form); otherwise dense rows in the
    /// exponent form, zeros where nothing is stored (SparseText.cpp); rowNumbers labels rows.
    void WriteASCII(CFile* file, CString prefix, CString suffix, int width, int precision,
                    int format, bool rowNumbers, bool header) override;
    /// Adds the n x n row-major element matrix ke at the indices dofs (negative ones skipped).
    void AddValues(long* dofs, double* ke, int n) override;
    /// Solves A X = B in place (B a CMatrix, X overwrites it) for A symmetric positive definite
    /// held as its upper triangle: square-root-free Cholesky (A overwritten by its factor), then
    /// ForwSub(-1), DiagMult(-2), BackwSub(1). 1; or -1, B untouched, seconds -1.0, A partly
    /// factorized (LastFactorFailure says why). m_Flops counts this solve only.
    int Cholesky_Solve(CVirtMat* B, double& seconds) override;
    CVirtRealMat& operator=(double v) override;   ///< every stored value becomes v
    CVirtRealMat& operator+=(double v) override;  ///< v added to every stored value

    // ---- Virtual operations, in virtual-table order (append, never reorder) ----
    virtual double Max() const;              ///< largest stored value, search from 0.0
    virtual int NumZeros(double tol) const;  ///< stored cells nearly equal to 0.0 under tol
    /// With d_r the row's first cell at or right of its diagonal when its column is r: mode 1
    /// d_r *= b_r0, -1 d_r /= b_r0; mode 2 row r of B *= d_r, -2 /= d_r (no diagonal: 0.0 and
    /// +inf). Rows not stored leave B alone. seconds, when not null, receives the elapsed seconds.
    virtual void DiagMult(CVirtMat* B, double* seconds, int mode);
    virtual void Clear();  ///< deletes every row and cell
    /// Exports per-row counts, values and columns for nRows rows (unit rows count 0); returns
    /// the number of exported entries. The caller owns and deletes[] the three arrays.
    virtual int MakeArrayMat(double*& values, int*& counts, int*& cols, int nRows) const;
    /// Block conjugate gradients for A X = B, A symmetric positive definite held as its upper
    /// triangle, every column of B at once; B's columns are overwritten with X (started from 0).
    /// Stops at the first iteration k where max_c |r_c|^2 / max_c |b_c|^2 < tol (tol compares
    /// squared norms, relative to the largest right-hand side), or after maxIter. Returns k
    /// (maxIter when never met); res = max_c |r_c|^2 at the end. scale: on D^-1/2 A D^-1/2
    /// (res then of the scaled system). T, when given, receives the clock ticks of the products
    /// and of the rest, and the time report is shown. The matrix is not changed.
    virtual int ConjGradient2(CVirtMat& B, double& res, int maxIter, double tol, CVector* T,
                              bool scale);
    virtual void MinDegReorder(CVector& v);  ///< does nothing
    /// ConjGradient2 on the row lists, without the report; X0 (when given) is the start and
    /// receives the solution (B is overwritten along the way), else B does. scale divides the
    /// matrix's cells in place, for good.
    virtual int ConjGradient(CVirtMat& B, CVirtMat* X0, double& res, int maxIter, double tol,
                             CVector* T, bool scale);
    virtual void MakeLower();  ///< deletes the cells left of each row's diagonal
    /// The rows to standard output, cells separated by sep with "0" for each column skipped.
    virtual void COUT(const char* sep) const;
    /// In place A = L U without pivoting (L unit lower left of the diagonals). 1; -1 when row k
    /// of the list is not index k, lacks its diagonal or has a pivot of 0.0 or NaN (partly
    /// factorized). Nothing counted.
    virtual int LU();
    virtual int GetColumns() const;            ///< 1 + the largest column stored, 0 without cells
    virtual int GetRows() const;               ///< 1 + the index of the last row, 0 without rows
    virtual void Add(int i, int j, double v);  ///< a_ij += v; zero and NaN add nothing
    /// a_ij += v (also 0.0 and NaN, which make the cell) with cursors: c (a cell of row i left
    /// of column j, or null) starts the walk and ends on (i, j); r (a row at or above i, or
    /// null) likewise ends on row i.
    ///@{
    virtual void Add(int i, int j, double v, cell*& c);
    virtual void Add(int i, int j, double v, row*& r);
    virtual void Add(int i, int j, double v, row*& r, cell*& c);
    ///@}
    virtual void AAT();          ///< this becomes this * this^T; sums of 0.0 or NaN not stored
    virtual void MakeUpper();    ///< the same as MakeLower
    virtual void ReverseRows();  ///< reverses the row list (R1 broken until reversed back)
    /// U X = Y in place on the columns of B, rows last to first: mode 1 the unit upper factor
    /// (Cholesky), mode 2 the upper factor of LU (divided by a_rr). seconds as DiagMult.
    virtual void BackwSub(CVirtMat* B, double* seconds, int mode);
    /// L Y = B in place: mode 1 the unit lower factor of LU, 2 then divided by the diagonal;
    /// -1, -2 the transposed unit upper factor of Cholesky. seconds as DiagMult.
    virtual void ForwSub(CVirtMat* B, double* seconds, int mode);
    /// No cell right of (IsLower) / left of (IsUpper) its row's diagonal.
    ///@{
    virtual bool IsLower(double* seconds) const;
    virtual bool IsUpper() const;
    ///@}
    /// In place square-root-free A = U^T D U of the upper triangle (U unit upper, D on the
    /// diagonal). 1; -1 at a row without a usable pivot (none, 0.0, NaN or negative) or with an
    /// entry aiming at a row not stored, or out of storage: partly factorized, LastFactorFailure.
    virtual int Cholesky();
    /// A = U + f U_s^T (U the upper triangle, U_s its strictly upper part): the lower triangle
    /// is rebuilt from the upper one (f = 1 symmetric, -1 skew). Returns the elapsed seconds.
    virtual double Mirror(double f);
    /// Solves A X = B in place by LU (A overwritten), ForwSub(1), BackwSub(2); the phase times
    /// in a message box. 1; or LU's -1, B untouched, seconds -1.0.
    virtual int LU_Solve(CVirtMat* B, double& seconds);
    virtual double* GetValue(int i, int j);  ///< address of the stored value, or null

    // ---- Not virtual ----
    /// The first row of the list (R1), null when there is none.
    ///@{
    row* GetFirstRow() { return m_pFirstRow; }
    const row* GetFirstRow() const { return m_pFirstRow; }
    ///@}
    /// Exact symmetry of the stored entries: every stored (i, j) has a stored (j, i) of equal
    /// value (a non-zero lower entry without partner in a stored row fails too); no tolerance.
    bool IsSym() const;

    /// Why the last LU or Cholesky of this matrix (LU_Solve and Cholesky_Solve included) failed,
    /// beside its status -1: Breakdown when a row had no usable pivot (no diagonal; a pivot of
    /// 0.0 or NaN, or below 0.0 for Cholesky) or sent an update to a row that is not stored;
    /// OutOfMemory when storage for the factor or its work space ran out. None after a success
    /// and before the first factorization; copies and moves start at None.
    enum class FactorFailure
    {
        None,
        Breakdown,
        OutOfMemory
    };
    /// Why the last LU or Cholesky failed (see FactorFailure).
    FactorFailure LastFactorFailure() const { return m_eFactorFailure; }

    /// Prescribed value g at index k: row k becomes the unit row (k, k) = 1.0 (made at its
    /// ordered place when missing), every other stored row loses its cell (r, k) and, with B (a
    /// CMatrix of right-hand sides), B(r, c) -= g a_rk; B(k, c) = g. BoundaryConditions.cpp.
    void UnifyAndZero(int k, double g, CVirtMat* B);
    void UnifyAndZero(int k);  ///< the matrix side only

    int m_nAllocRows;  ///< the row count last given to Allocate; MMWrite keeps it as the size
    int m_nAllocCols;  ///< the column count last given to Allocate; MMWrite likewise
    row* m_pFirstRow;  ///< head of the row list (R1), null for an empty matrix

protected:
    /// Row i, found or made at its ordered place, the walk starting at start when start is not
    /// null and start->m_nRow <= i (R1).
    row* find_or_make_row(row* start, int i);
    /// Records the outcome of a factorization for LastFactorFailure; returns status.
    int record_factor_result(int status, FactorFailure failure = FactorFailure::Breakdown)
    {
        m_eFactorFailure = status == 1 ? FactorFailure::None : failure;
        return status;
    }

private:
    void take_cells(CSparseMatrix& src) noexcept;  ///< SparseMatrix.cpp

    FactorFailure m_eFactorFailure = FactorFailure::None;
};
