/// \file
/// CSkylineMatrix: a symmetric real matrix in skyline (profile) storage. Of each column only
/// the stretch from its first stored row (the peak) down to the diagonal is kept; the lower
/// triangle is the mirror image and is never stored. Sized from a reordered DOF graph, from
/// explicit column heights or from a band; assembled element by element; factorized in place as
/// A = U^T D U (U unit upper triangular, no square roots) and solved for several right-hand
/// sides at once, or iterated by Gauss-Seidel.
///
/// Invariants (after a successful Allocate that gave a profile):
///  K1  m_pHeight[j] >= 1 entries are stored for column j: rows PeakRow(j) = j - m_pHeight[j] + 1
///      up to j, increasing, the diagonal last; column 0 has height 1
///  K2  columns follow one another in m_pValues without gaps: m_pDiagIdx[j] = m_pHeight[0] + ...
///      + m_pHeight[j] - 1, m_ppDiag[j] == m_pValues + m_pDiagIdx[j], so element (i, j) with
///      PeakRow(j) <= i <= j lies at m_ppDiag[j] + (i - j)
///  K3  m_nValues is the sum of the heights and the length of m_pValues; m_nOrder the length of
///      the three column tables; all four arrays are owned (new[]) and null when empty
///  K4  after Allocate(CReorderMat&) rows and columns are labels (graph.f_v of a DOF), not DOFs
///
/// After Cholesky the stored off-diagonal entries hold U and the diagonal holds D; a second
/// Cholesky_Solve would factorize the factors again. Right-hand sides of ForwSub, DiagMult,
/// BackwSub and Cholesky_Solve are CMatrix objects of n rows, one right-hand side per column,
/// overwritten with the result. Nothing here counts m_Flops (Cholesky_Solve resets it to 0).
///
/// Copying: copy construction and assignment are deep (m_pCurrent of the copy is null); moving
/// takes the arrays over and leaves the source empty.
///
/// Choices where the behaviour is open:
///  - a second Allocate(CReorderMat&) of the same order keeps the previous heights as the floor
///    (the profile never shrinks); Allocate({0}, 1) first starts afresh;
///  - Allocate({n}, 1) with a new order leaves every height at 1 and the diagonal table null
///    until a later Allocate gives the profile;
///  - a negative order is refused: Allocate returns false and changes nothing;
///  - Cholesky returns -1, the matrix untouched, when its work arrays cannot be allocated;
///    Cholesky_Solve then returns -1 with the time -1.0;
///  - a pivot that is not positive (zero, negative or NaN: the matrix is not positive definite)
///    ends Cholesky with -1, the columns before it factorized and the rest partly reduced;
///    Cholesky_Solve then returns -1 with the time -1.0, shows no report and leaves B as it was;
///  - the factorization and the single-column substitutions use vector kernels chosen for the
///    processor; they may round differently from one running sum per entry;
///  - DiagVect returns null for an empty matrix or when the array cannot be allocated;
///  - m_pCurrent starts null; AddValues writes without moving it;
///  - a failed allocation in Allocate or in a copy leaves an empty matrix (order 0);
///  - WriteASCII of a matrix with an order but no profile yet writes zero entries only.
#pragma once

#include <tarvel/core/VirtMat.h>
#include <tarvel/platform/Export.h>

class CMatrix;
class CReorderMat;
class CVector;

/// The symmetric profile (skyline) matrix (this file's comment states its layout and rules).
class TARVEL_API CSkylineMatrix : public CVirtRealMat
{
    DECLARE_SERIAL(CSkylineMatrix)

public:
    CSkylineMatrix();
    /// Copies and moves (see Copying above).
    ///@{
    CSkylineMatrix(const CSkylineMatrix& other);
    CSkylineMatrix(CSkylineMatrix&& other) noexcept;
    CSkylineMatrix& operator=(const CSkylineMatrix& other);
    CSkylineMatrix& operator=(CSkylineMatrix&& other) noexcept;
    ///@}
    ~CSkylineMatrix() override;

    // ---- The interface operations of CVirtMat and CVirtRealMat ----
    /// {0} or no entry: empties the matrix. {n}: sets the order only. {n, T}: a band of T stored
    /// values, or, when T < n, of half-bandwidth T (the full column height, the diagonal
    /// included), T being rewritten in the caller's array to the band's size b(2n - b + 1)/2.
    /// {n, T, h0 .. h(n-1)}: the given column heights (T must be their sum). All entries 0.0.
    /// False, the matrix empty, when storage could not be obtained.
    bool Allocate(int* dims, int nDims) override;
    void ReadASCII(CFile* file) override;  ///< does nothing: matrix and file position unchanged
    /// The full n x n matrix, a line per row: stored entries "%s%*.*e%s", every other entry
    /// (the lower triangle included) a zero "%s%*.0f%s"; format, rowNumbers, header unused.
    void WriteASCII(CFile* file, CString prefix, CString suffix, int width, int precision,
                    int format, bool rowNumbers, bool header) override;
    /// Adds the k x k row-major element matrix ke at the indices dofs: entry (r, c) goes to
    /// (dofs[r], dofs[c]) when 0 <= dofs[r] <= dofs[c] and it is not exactly 0.0. The indices
    /// must lie in the profile.
    void AddValues(long* dofs, double* ke, int k) override;
    /// Cholesky, ForwSub(B, -, 1), DiagMult(B, -, -2), BackwSub(B, -, 1), and a timing report.
    /// 1 on success; the factorization's own result, with seconds = -1.0, when it fails.
    int Cholesky_Solve(CVirtMat* B, double& seconds) override;
    /// The vector instructions Cholesky runs on, chosen once for this processor: "avx512",
    /// "avx2", "sse2" ("generic" off x86).
    static const char* KernelSetName();
    CVirtRealMat& operator=(double v) override;   ///< every stored entry becomes v
    CVirtRealMat& operator+=(double v) override;  ///< v added to every stored entry

    // ---- Virtual operations, in virtual-table order (append, never reorder) ----
    /// Gauss-Seidel sweeps on A x = b from the starting x until the largest change of an entry
    /// is below tol (1) or maxIter sweeps are done (-1); x receives the last iterate. Report.
    virtual int GaussSeidel_Iter(CVector& b, CVector& x, double tol, int maxIter);
    /// The profile of a reordered graph (PostReorder called after its last reordering): column
    /// L = f_v(w) reaches up to the lowest label k of a neighbour of w. All entries 0.0.
    virtual bool Allocate(CReorderMat& graph);
    /// mode 1: A(i, i) *= B(i, 0); -1: A(i, i) /= B(i, 0); 2: row i of B *= A(i, i);
    /// -2: row i of B /= A(i, i); nothing for other modes or a B without columns.
    virtual void DiagMult(CVirtMat* B, double* seconds, int mode);
    /// Solves U^T Y = B column by column, in place: mode 1 with a unit diagonal, mode 2 with the
    /// stored one. seconds, when not null, receives the elapsed seconds (also for DiagMult,
    /// BackwSub).
    virtual void ForwSub(CVirtMat* B, double* seconds, int mode);
    /// Solves U X = B column by column, in place: mode 1 with a unit diagonal, mode 2 with the
    /// stored one.
    virtual void BackwSub(CVirtMat* B, double* seconds, int mode);
    /// Root-free factorization A = U^T D U in place (U over the stored off-diagonal entries, D
    /// on the diagonal); 1, or -1 at the first pivot d_j that is not positive (partly reduced)
    /// or when the work arrays cannot be allocated (untouched).
    virtual int Cholesky();
    /// Prints the full n x n matrix to std::cout, each entry followed by sep, a line per row.
    virtual void COUT(const char* sep) const;
    /// First stored row of column j (j - height + 1), j inside the matrix.
    virtual int PeakRow(int j) const;
    /// The stored element (i, j), PeakRow(j) <= i <= j, unchecked; its address goes to
    /// m_pCurrent.
    virtual double& operator()(int i, int j);

    // ---- Not virtual ----
    /// A new array (delete[] by the caller) of the n diagonal entries; null when empty or when
    /// it cannot be allocated.
    double* DiagVect() const;

    // ---- Fields ----
    double* m_pValues = nullptr;   ///< the stored entries, column after column (K2, K3)
    double** m_ppDiag = nullptr;   ///< address of each column's diagonal entry (K2)
    int* m_pHeight = nullptr;      ///< stored entries of each column, diagonal included (K1)
    int* m_pDiagIdx = nullptr;     ///< index of each column's diagonal entry in m_pValues (K2)
    int m_nValues = 0;             ///< number of stored entries (K3)
    int m_nOrder = 0;              ///< the order n (K3)
    double* m_pCurrent = nullptr;  ///< the element last addressed by operator(); not owned

private:
    void release() noexcept;
    void swap_storage(CSkylineMatrix& other) noexcept;
    /// Gives the three column tables n entries (heights 1); false when one cannot be allocated.
    bool allocate_columns(int n);
    /// m_nValues = total, with m_pValues reallocated when the total changes or it is absent.
    bool allocate_values(int total);
    /// DiagIdx and Diag from the heights (K2).
    void link_columns() noexcept;
};
