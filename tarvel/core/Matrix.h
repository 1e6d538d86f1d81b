/// \file
/// CMatrix: the dense real matrix, row-major over the storage of CVector.
///
/// Invariants (besides V1-V2 of CVector):
///  M1  element (i, j) is m_pData[i * GetColumns() + j]; GetColumns() is m_nSize / m_nRows,
///      0 when m_nRows is 0
///  M2  a matrix built with 0 columns has m_nRows 0
///  M3  a vector-level resize (one-size Allocate, ReplaceVector, LinComb, CrossProd) leaves a
///      single column: m_nRows == m_nSize
/// Right-hand sides of the sparse and skyline solvers are CMatrix objects: one equation per row,
/// one right-hand side per column.
/// Element matrices run fastest as T = D; T.PostPreMult(Bt, 0); T *= w; ke += T (B^T D B in one
/// call) and C *= B with a square B (in place); examples/hex8_element.cpp shows the Hex8 element.
///
/// Choices where the behaviour is open:
///  - Resize(0, ...) is accepted only by an empty matrix (it then has no rows), so a switch with
///    an empty vector never divides by zero;
///  - Split fills the strictly lower triangles by mirroring (sym symmetric, skew skew-symmetric,
///    sym + skew = A); both results are null when their storage cannot be obtained;
///  - RandMat clips its column ranges to the matrix (kind -1 on a tall matrix writes no element
///    past its own row);
///  - operator*= with the matrix itself as the factor multiplies by a copy of it;
///  - MatrixChainOrder converts a cost outside the 32-bit range to INT_MIN, as the x86
///    conversion instruction does, instead of undefined behaviour;
///  - a failed allocation leaves the matrix as it was (products, Transpose) or empty with no
///    rows (Allocate, copies); LUP_Decomp returns -1 when its permutation cannot be allocated;
///  - loading from an archive (untrusted input): a row count that is negative, exceeds the
///    element count or does not divide it (0 rows only for no elements) throws
///    CArchiveException (generic), and the matrix keeps its shape;
///  - an accumulating PreMult whose result has another element count adds the products to the
///    zeros that the result's Allocate leaves.
///  - text readers (DenseText.cpp): a block whose rows x columns exceed 16 entries per byte of
///    its text plus 2^20 (only a forged file, a few long rows among many short ones, comes
///    near) is refused: the matrix is left without rows, the file positioned as after the
///    block. Errors of the line reader end the sectioned reader's pass as the end of the file
///    would; the plain reader lets them reach the caller.
#pragma once

#include <tarvel/core/Vector.h>
#include <tarvel/platform/Export.h>

class CSparseMatrix;

/// The dense real matrix, row-major (this file's comment states its invariants and rules).
class TARVEL_API CMatrix : public CVector
{
    DECLARE_SERIAL(CMatrix)

public:
    CMatrix();  ///< empty: no rows
    /// rows * cols elements as CVector(rows * cols, init, value); m_nRows = rows, or 0 when
    /// cols is 0.
    CMatrix(int rows, int cols, bool init = false, double value = 0.0);
    /// Deep copy, or the transpose when transpose is true.
    CMatrix(const CMatrix& other, bool transpose = false);
    CMatrix(CMatrix&& other) noexcept;  ///< takes other's array and shape
    ~CMatrix() override;

    // ---- Operations of the matrix and vector interfaces that CMatrix overrides ----
    /// count 0-1: d0 x d0 zeros; 2: d0 x d1 zeros; 3: d0 x d1, zeroed when d2 != 0; 4 or more:
    /// d0 x d1 set to d3 when d2 != 0. False when storage fails (the row count then unchanged).
    bool Allocate(int* dims, int count) override;
    bool Allocate(int n, bool init, double value) override;  ///< an n x 1 column (M3)
    /// The lines from the file's position up to the first without a number are the rows; the
    /// most numbers in a line, the columns (short rows end in zeros). The file is left after the
    /// last row line (DenseText.cpp; a forged size: see the choices above).
    void ReadASCII(CFile* file) override;
    /// The dense layout (io/detail/TextFormat.h): format 0 fixed, 1 exponent, 2 shortest, any
    /// other no row; rowNumbers labels the rows, header writes the column numbers first.
    void WriteASCII(CFile* file, CString prefix, CString suffix, int width, int precision,
                    int format, bool rowNumbers, bool header) override;
    /// a(idx[r], idx[c]) += val[r * n + c] for the n x n block val; negative indices skipped.
    void AddValues(long* idx, double* val, int n) override;
    CVirtRealMat& operator=(double v) override;  ///< every element = v
    double InfNorm() const override;             ///< max_i sum_j |a_ij|
    /// Takes array (n elements) as an n x 1 column and returns the old array (now the caller's).
    double* ReplaceVector(double* array, int n) override;
    /// Exchanges the arrays; each side takes the row count that fits what it received (a plain
    /// vector gives this matrix a column).
    void SwitchVectors(CVector* other) override;
    void Serialize(CArchive& ar) override;  ///< the vector form, then the row count

    // ---- Virtual operations of the matrix, in virtual-table order (append, never reorder) ----
    /// v_k = a_kj for every row k; v grows (its virtual Allocate) only when shorter.
    virtual void GetColVect(CVector& v, int j) const;
    /// This becomes the 3 x 3 rotation matrix of the rotation vector rotVec (angle |rotVec|
    /// about its direction); left as it was when storage fails.
    virtual CMatrix& MakeRotMat(const CVector& rotVec);
    /// The block after the first line (from the file's position) holding startKey, up to a line
    /// holding endKey: empty lines skipped, comments cut, case ignored, nested blocks (a line
    /// beginning with startKey's first character) skipped; the file is left after the last line
    /// the block took. startKey not found: matrix and file position unchanged.
    virtual void ReadASCII(CFile* file, CString startKey, CString endKey, CString comment);
    /// v = A v (mode 1) or A^T v (mode 2) through a temporary; any other mode leaves v empty.
    virtual void ApplyTo(CVector& v, int mode) const;
    /// y += A x (mode 1) or A^T x (mode 2); other modes do nothing. y must be sized already.
    virtual void ApplyTo(const CVector& x, CVector& y, int mode) const;
    /// rows x cols (zeros, or value when init); m_nRows 0 when cols is 0. False when storage
    /// fails (the matrix then empty when rows * cols is 0, else unchanged in shape).
    virtual bool Allocate(int rows, int cols, bool init, double value);
    /// Largest and smallest Euclidean length of (a_ra, a_rb) over the rows r (perRow), or of
    /// (a_ac, a_bc) over the columns c; the second form takes three indices.
    ///@{
    virtual void GetMaxMinLength(double& max, double& min, int a, int b, bool perRow) const;
    virtual void GetMaxMinLength(double& max, double& min, int a, int b, int c, bool perRow) const;
    ///@}
    /// Rows and/or columns p .. p+m-1 transformed by the m x m matrix T in place, by the flag
    /// bits in the order 1 (T^T from the left), 2 (T from the right), 4 (T from the left),
    /// 8 (T^T from the right): 1|2 makes the diagonal block B into T^T B T, 4|8 into T B T^T.
    virtual void SubMult(CMatrix& T, int p, unsigned int flags);
    /// v = the column (|mode| == 1) or row (otherwise) 2-norms (mode >= 1) or sums of squares
    /// (mode <= 0); v is resized.
    virtual void Vect2Norm(CVector& v, int mode) const;
    /// In place A = R^T R, R upper triangular (the lower triangle zeroed); the upper triangle of
    /// A is read. 1, or 0 at a zero pivot (partly factorized; a negative pivot is not detected
    /// and gives NaN). Not for an empty matrix.
    virtual int Cholesky();
    virtual void MultiplyCol(int j, double f);  ///< column j *= f
    virtual void MultiplyRow(int i, double f);  ///< row i *= f
    /// The rows to standard output, each element followed by sep, one line per row.
    virtual void COUT(const char* sep) const;
    virtual double Trace() const;  ///< sum of a_ii over min(rows, columns)
    /// The first smallest element of column j, by reference.
    ///@{
    virtual double& MinInCol(int j);
    virtual const double& MinInCol(int j) const;
    ///@}
    virtual double OneNorm() const;    ///< max_j sum_i |a_ij|
    virtual double Frobenius() const;  ///< sqrt(sum a_ij^2)
    /// n x n, d on the diagonal and zeros elsewhere; empty when storage fails.
    virtual void Identity(int n, double d);
    /// This becomes S this (S's rows by this matrix's columns); mode 1 reads S as the upper
    /// triangle of a symmetric matrix, mode 0 as stored. Not counted in m_Flops.
    virtual void PreMult(CSparseMatrix* S, int mode);
    /// R = S this, or R += S this when accumulate (R sized by its Allocate(rows of S, columns,
    /// !accumulate, 0.0)); modes as above; m_Flops grows by 2 per multiply-add.
    virtual void PreMult(CSparseMatrix* S, CMatrix& R, bool accumulate, int mode) const;
    /// This (n x n, n = S's rows) becomes S this S^T.
    virtual void ATthisA(CSparseMatrix* S);
    /// Reshape, elements untouched: n is the new column count (asColumns) or row count. False,
    /// nothing changed, when n does not divide the size; n = 0 only for an empty matrix.
    virtual bool Resize(int n, bool asColumns);
    /// Solves A X = B for every column of B, X overwriting B; A (square, n x n; B with n rows)
    /// is overwritten by its LU factors (LUP_Decomp with pivoting, else LU). seconds: the
    /// processor time of the factorization. False, B untouched, when the factorization fails.
    virtual bool SolveAxEqb(CMatrix* B, bool pivoting, double& seconds);
    /// a_ij *= f; returns the new a_ij (the pivoting LU scales its multipliers through it).
    virtual double Multiply(int i, int j, double f);
    /// In place PA = LU by partial pivoting (L unit lower, U upper, both in A); perm receives a
    /// new int[n] (delete[] it), perm[i] the original row now at row i. 1, or -1 with perm
    /// null at a zero column or when perm cannot be allocated; the last pivot is not tested.
    virtual int LUP_Decomp(int*& perm);
    /// In place A = LU without row exchanges; returns this, or null at a zero pivot (partly
    /// factorized).
    virtual CMatrix* LU();
    /// Determinant of the 2 x 2 block with top-left (i, j); any other order gives 0.0.
    virtual double SubDetSqMat(int i, int j, int order);
    /// Product of the pivots of an unpivoted LU of a copy: 0.0 also for a regular matrix whose
    /// LU meets a zero pivot without exchanges.
    virtual double Det() const;
    /// In place (a new array for a non-square matrix: unchanged when it cannot be obtained).
    virtual void Transpose();
    virtual int GetColumns() const;  ///< m_nSize / m_nRows, 0 without rows (M1)

    // ---- Storage ----
    bool IsAllocated() const { return m_pData != nullptr; }  ///< an array is held
    /// Adopts array (rows * cols elements, new[]), freeing the old one.
    void SetVector(double* array, int rows, int cols);
    using CVector::SetVector;

    // ---- Element access (zero-based; checked only where TARVEL_ASSERT is active) ----
    int GetRows() const { return m_nRows; }  ///< rows (M1)
    /// Row i.
    ///@{
    double* operator[](int i) { return m_pData + static_cast<long>(checked_row(i)) * columns(); }
    const double* operator[](int i) const
    {
        return m_pData + static_cast<long>(checked_row(i)) * columns();
    }
    ///@}
    /// Element (i, j): by reference, by value, set, added to.
    ///@{
    double& operator()(int i, int j) { return m_pData[index(i, j)]; }
    const double& operator()(int i, int j) const { return m_pData[index(i, j)]; }
    double& GetValueByRef(int i, int j) { return m_pData[index(i, j)]; }
    double GetValue(int i, int j) const { return m_pData[index(i, j)]; }
    void SetValue(int i, int j, double v) { m_pData[index(i, j)] = v; }
    void AddValue(int i, int j, double v) { m_pData[index(i, j)] += v; }
    ///@}
    /// Element i of the array, row after row.
    ///@{
    using CVector::GetValue;
    using CVector::SetValue;
    ///@}

    // ---- Whole-matrix arithmetic ----
    /// Deep copy with the shape (empty when storage fails); a move takes the array.
    ///@{
    CMatrix& operator=(const CMatrix& other);
    CMatrix& operator=(CMatrix&& other) noexcept;
    ///@}
    /// As CVector's.
    ///@{
    using CVector::operator+=;
    using CVector::operator-=;
    ///@}
    /// Elementwise, as CVector's: the same shape is the caller's.
    ///@{
    CMatrix& operator+=(const CMatrix& other);
    CMatrix& operator-=(const CMatrix& other);
    CMatrix& operator*=(double f);
    CMatrix& operator/=(double f);
    ///@}
    /// this = this B (this matrix's columns = B's rows, the caller's); each element summed from
    /// 0.0 in increasing k. Unchanged when storage fails.
    CMatrix& operator*=(const CMatrix& B);
    void MultiplySubRow(int i, int from, int to, double f);  ///< a_ij *= f, from <= j < to
    void Eig(bool vectors, CMatrix& V, CVector& d);          ///< does nothing
    void AAT();                                              ///< does nothing

    // ---- Searching (by reference: the element itself; not for an empty matrix) ----
    /// The first largest element of column j; fabsMaxInCol: the last of the largest magnitude.
    ///@{
    double& MaxInCol(int j);
    const double& MaxInCol(int j) const;
    double& fabsMaxInCol(int j);
    const double& fabsMaxInCol(int j) const;
    ///@}
    double MaxInRow(int i) const;  ///< the largest element of row i
    /// The first column (row) of row i (column j) holding exactly v, -1 when none does.
    ///@{
    int FindInRow(int i, double v) const;
    int FindInCol(int j, double v) const;
    ///@}
    /// Square and a_ij == a_ji exactly for every pair: no tolerance (a NaN fails).
    bool CheckSymm() const;

    // ---- Console output ----
    void Stream() const;  ///< the rows to standard output, elements separated by tabs

    // ---- Dense solvers ----
    /// Solves for every column of B (X overwrites B) with A from LUP_Decomp (perm) or from LU
    /// (perm null); nothing is solved when the work vector cannot be allocated.
    static void LUP_Solve(CMatrix* A, int* perm, CMatrix* B);

    // ---- Dense-sparse products and chains ----
    void PostMult(const CMatrix& B);  ///< this *= B
    /// This becomes T this^T T^T (T this T^T for a symmetric this), r x r with r = T's rows;
    /// unchanged when the work matrix cannot be allocated.
    void PostPreMult(const CMatrix& T, int unused);
    /// M += f a b^T over M's elements in row-major order (M holds |a| |b| of them); reversed
    /// takes a and b from their last elements.
    static void vectAvectBT(CMatrix& M, const CVector& a, const CVector& b, double& f,
                            bool reversed);
    /// Every element not exactly 0.0 added into S (a new CSparseMatrix, the caller's to
    /// delete, when S is null).
    void Sparse(CSparseMatrix*& S) const;
    /// This becomes the dense form of S: S's rows by 1 + its largest column, zeros elsewhere.
    void UnSparse(CSparseMatrix* S);
    /// sym = (A + A^T) / 2 and skew = (A - A^T) / 2 as new n x n matrices (the caller's to
    /// delete) of the square A; both null when storage fails.
    void Split(CMatrix*& sym, CMatrix*& skew) const;
    /// first = first * A_1 * ... * A_(n-1), the n - 1 further CMatrix* arguments. optimal takes
    /// the cheapest order (MatrixChainOrder) and then also overwrites the first matrix of every
    /// right-hand sub-chain (a middle operand); otherwise left to right, the others untouched.
    /// Returns the processor time in seconds.
    static double ChainMult(bool optimal, int n, CMatrix* first, ...);
    /// The least scalar multiplications for the chain of n = size(p) - 1 matrices, matrix t
    /// being p_t x p_(t+1); s (n x n) receives the split points (DenseChain.cpp).
    static double MatrixChainOrder(CMatrix* s, CVector* p);
    /// A[i-1] = A[i-1] ... A[j-1] in the order of s (one-based i, j), overwriting as ChainMult.
    static void ChainMultRec(CMatrix** A, CMatrix* s, int i, int j);

    // ---- Generators, rotations and statistics ----
    /// Random values r (hi - lo) / 32767 + lo (TarvelRand, reseeded with the time) on the
    /// pattern of kind: 0 all, 1 lower with the diagonal, 2 upper with it, -1 strictly lower,
    /// -2 strictly upper (the rest zero); any other kind leaves the matrix untouched.
    void RandMat(int rows, int cols, double hi, double lo, int kind);
    /// rows x cols lower (LMat) or upper (UMat) triangular: off off the diagonal, diag on it,
    /// zeros elsewhere; add (on a matrix of that size) adds them and keeps the other triangle.
    ///@{
    void LMat(int rows, int cols, double off, double diag, bool add);
    void UMat(int rows, int cols, double off, double diag, bool add);
    ///@}
    /// Sets (add: adds) v along row k (row) or column k.
    void SetVals(int k, double v, bool add, bool row);
    /// Random, one non-zero per row in [1 - spread/2, 1 + spread/2] (a square result is a
    /// scaled permutation: well conditioned); nothing when its work vector cannot be allocated.
    void WellCond(int rows, int cols, double spread);
    /// a_ii -= trace / min(rows, columns): the deviator. Changes the matrix, though const.
    void Dev() const;
    /// R = [[cos, -sin], [sin, cos]] of angle, or its transpose.
    static void RotMat2D(CMatrix& R, double angle, bool transposed);
    /// The 3 x 3 two-angle matrix: a rotation by b about the second axis for a = 0, by a about
    /// the third for b = 0; not orthogonal for other pairs.
    void RotMat(double a, double b);
    /// Extremes of f over column k (perRow: one element per row) or over row k; of f of the
    /// elements a, b (and c) of each row (perRow) or column.
    ///@{
    void GetMaxMin1(double (*f)(double), double& max, double& min, int k, bool perRow) const;
    void GetMaxMin2(double (*f)(double*), double& max, double& min, int a, int b,
                    bool perRow) const;
    void GetMaxMin3(double (*f)(double*), double& max, double& min, int a, int b, int c,
                    bool perRow) const;
    ///@}

    int m_nRows;  ///< number of rows (M1-M3)

protected:
    /// The column count of M1 without the virtual call, for element access.
    int columns() const { return m_nRows != 0 ? m_nSize / m_nRows : 0; }
    /// The position of element (i, j) (M1), checked where TARVEL_ASSERT is active.
    long index(int i, int j) const
    {
        TARVEL_ASSERT(i >= 0 && i < m_nRows && j >= 0 && j < columns(),
                      "CMatrix element access: (i, j) outside the matrix");
        return static_cast<long>(i) * columns() + j;
    }
    /// i, checked where TARVEL_ASSERT is active.
    int checked_row(int i) const
    {
        TARVEL_ASSERT(i >= 0 && i < m_nRows, "CMatrix::operator[]: row outside the matrix");
        return i;
    }
    /// Element (i, j) of a row-major array with cols columns (M1).
    static long index_of(int i, int j, int cols) { return static_cast<long>(i) * cols + j; }
};
