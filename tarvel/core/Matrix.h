// CMatrix: the dense real matrix, row-major over the storage of CVector.
//
// Invariants (besides V1-V2 of CVector):
//  M1  element (i, j) is m_pData[i * GetColumns() + j]; GetColumns() is m_nSize / m_nRows,
//      0 when m_nRows is 0
//  M2  a matrix built with 0 columns has m_nRows 0
//  M3  a vector-level resize (one-size Allocate, ReplaceVector, LinComb, CrossProd) leaves a
//      single column: m_nRows == m_nSize
// Right-hand sides of the sparse and skyline solvers are CMatrix objects: one equation per row,
// one right-hand side per column.
// Element matrices run fastest as T = D; T.PostPreMult(Bt, 0); T *= w; ke += T (B^T D B in one
// call) and C *= B with a square B (in place); examples/hex8_element.cpp shows the Hex8 element.
//
// Choices where the behaviour is open:
//  - Resize(0, ...) is accepted only by an empty matrix (it then has no rows), so a switch with
//    an empty vector never divides by zero;
//  - Split fills the strictly lower triangles by mirroring (sym symmetric, skew skew-symmetric,
//    sym + skew = A); both results are null when their storage cannot be obtained;
//  - RandMat clips its column ranges to the matrix (kind -1 on a tall matrix writes no element
//    past its own row);
//  - operator*= with the matrix itself as the factor multiplies by a copy of it;
//  - MatrixChainOrder converts a cost outside the 32-bit range to INT_MIN, as the x86
//    conversion instruction does, instead of undefined behaviour;
//  - a failed allocation leaves the matrix as it was (products, Transpose) or empty with no
//    rows (Allocate, copies); LUP_Decomp returns -1 when its permutation cannot be allocated;
//  - loading from an archive (untrusted input): a row count that is negative, exceeds the
//    element count or does not divide it (0 rows only for no elements) throws
//    CArchiveException (generic), and the matrix keeps its shape;
//  - an accumulating PreMult whose result has another element count adds the products to the
//    zeros that the result's Allocate leaves.
//  - text readers (DenseText.cpp): a block whose rows x columns exceed 16 entries per byte of
//    its text plus 2^20 (only a forged file, a few long rows among many short ones, comes
//    near) is refused: the matrix is left without rows, the file positioned as after the
//    block. Errors of the line reader end the sectioned reader's pass as the end of the file
//    would; the plain reader lets them reach the caller.
#pragma once

#include <tarvel/core/Vector.h>
#include <tarvel/platform/Export.h>

class CSparseMatrix;

class TARVEL_API CMatrix : public CVector
{
    DECLARE_SERIAL(CMatrix)

public:
    CMatrix();
    // rows * cols elements as CVector(rows * cols, init, value); m_nRows = rows, or 0 when
    // cols is 0.
    CMatrix(int rows, int cols, bool init = false, double value = 0.0);
    // Deep copy, or the transpose when transpose is true.
    CMatrix(const CMatrix& other, bool transpose = false);
    CMatrix(CMatrix&& other) noexcept;
    ~CMatrix() override;

    // ---- Operations of the matrix and vector interfaces that CMatrix overrides ----
    bool Allocate(int* dims, int count) override;
    bool Allocate(int n, bool init, double value) override;  // an n x 1 column
    void ReadASCII(CFile* file) override;
    void WriteASCII(CFile* file, CString prefix, CString suffix, int width, int precision,
                    int format, bool rowNumbers, bool header) override;
    void AddValues(long* idx, double* val, int n) override;
    CVirtRealMat& operator=(double v) override;
    double InfNorm() const override;  // largest row sum of absolute values
    double* ReplaceVector(double* array, int n) override;
    void SwitchVectors(CVector* other) override;
    void Serialize(CArchive& ar) override;

    // ---- Virtual operations of the matrix, in virtual-table order (append, never reorder) ----
    virtual void GetColVect(CVector& v, int j) const;
    virtual CMatrix& MakeRotMat(const CVector& rotVec);
    virtual void ReadASCII(CFile* file, CString startKey, CString endKey, CString comment);
    virtual void ApplyTo(CVector& v, int mode) const;
    virtual void ApplyTo(const CVector& x, CVector& y, int mode) const;
    virtual bool Allocate(int rows, int cols, bool init, double value);
    virtual void GetMaxMinLength(double& max, double& min, int a, int b, bool perRow) const;
    virtual void GetMaxMinLength(double& max, double& min, int a, int b, int c, bool perRow) const;
    virtual void SubMult(CMatrix& T, int p, unsigned int flags);
    virtual void Vect2Norm(CVector& v, int mode) const;
    virtual int Cholesky();
    virtual void MultiplyCol(int j, double f);
    virtual void MultiplyRow(int i, double f);
    virtual void COUT(const char* sep) const;
    virtual double Trace() const;
    virtual double& MinInCol(int j);
    virtual const double& MinInCol(int j) const;
    virtual double OneNorm() const;
    virtual double Frobenius() const;
    virtual void Identity(int n, double d);
    virtual void PreMult(CSparseMatrix* S, int mode);
    virtual void PreMult(CSparseMatrix* S, CMatrix& R, bool accumulate, int mode) const;
    virtual void ATthisA(CSparseMatrix* S);
    virtual bool Resize(int n, bool asColumns);
    virtual bool SolveAxEqb(CMatrix* B, bool pivoting, double& seconds);
    virtual double Multiply(int i, int j, double f);
    virtual int LUP_Decomp(int*& perm);
    virtual CMatrix* LU();
    virtual double SubDetSqMat(int i, int j, int order);
    virtual double Det() const;
    virtual void Transpose();
    virtual int GetColumns() const;

    // ---- Storage ----
    bool IsAllocated() const { return m_pData != nullptr; }
    void SetVector(double* array, int rows, int cols);  // adopts array
    using CVector::SetVector;

    // ---- Element access (zero-based; checked only where TARVEL_ASSERT is active) ----
    int GetRows() const { return m_nRows; }
    double* operator[](int i) { return m_pData + static_cast<long>(checked_row(i)) * columns(); }
    const double* operator[](int i) const
    {
        return m_pData + static_cast<long>(checked_row(i)) * columns();
    }
    double& operator()(int i, int j) { return m_pData[index(i, j)]; }
    const double& operator()(int i, int j) const { return m_pData[index(i, j)]; }
    double& GetValueByRef(int i, int j) { return m_pData[index(i, j)]; }
    double GetValue(int i, int j) const { return m_pData[index(i, j)]; }
    void SetValue(int i, int j, double v) { m_pData[index(i, j)] = v; }
    void AddValue(int i, int j, double v) { m_pData[index(i, j)] += v; }
    using CVector::GetValue;
    using CVector::SetValue;

    // ---- Whole-matrix arithmetic ----
    CMatrix& operator=(const CMatrix& other);
    CMatrix& operator=(CMatrix&& other) noexcept;
    using CVector::operator+=;
    using CVector::operator-=;
    CMatrix& operator+=(const CMatrix& other);
    CMatrix& operator-=(const CMatrix& other);
    CMatrix& operator*=(double f);
    CMatrix& operator/=(double f);
    CMatrix& operator*=(const CMatrix& B);  // this = this * B
    void MultiplySubRow(int i, int from, int to, double f);
    void Eig(bool vectors, CMatrix& V, CVector& d);  // does nothing
    void AAT();                                      // does nothing

    // ---- Searching ----
    double& MaxInCol(int j);
    const double& MaxInCol(int j) const;
    double& fabsMaxInCol(int j);
    const double& fabsMaxInCol(int j) const;
    double MaxInRow(int i) const;
    int FindInRow(int i, double v) const;
    int FindInCol(int j, double v) const;
    bool CheckSymm() const;

    // ---- Console output ----
    void Stream() const;

    // ---- Dense solvers ----
    static void LUP_Solve(CMatrix* A, int* perm, CMatrix* B);

    // ---- Dense-sparse products and chains ----
    void PostMult(const CMatrix& B);
    void PostPreMult(const CMatrix& T, int unused);
    static void vectAvectBT(CMatrix& M, const CVector& a, const CVector& b, double& f,
                            bool reversed);
    void Sparse(CSparseMatrix*& S) const;
    void UnSparse(CSparseMatrix* S);
    void Split(CMatrix*& sym, CMatrix*& skew) const;
    static double ChainMult(bool optimal, int n, CMatrix* first, ...);
    static double MatrixChainOrder(CMatrix* s, CVector* p);
    static void ChainMultRec(CMatrix** A, CMatrix* s, int i, int j);

    // ---- Generators, rotations and statistics ----
    void RandMat(int rows, int cols, double hi, double lo, int kind);
    void LMat(int rows, int cols, double off, double diag, bool add);
    void UMat(int rows, int cols, double off, double diag, bool add);
    void SetVals(int k, double v, bool add, bool row);
    void WellCond(int rows, int cols, double spread);
    void Dev() const;
    static void RotMat2D(CMatrix& R, double angle, bool transposed);
    void RotMat(double a, double b);
    void GetMaxMin1(double (*f)(double), double& max, double& min, int k, bool perRow) const;
    void GetMaxMin2(double (*f)(double*), double& max, double& min, int a, int b,
                    bool perRow) const;
    void GetMaxMin3(double (*f)(double*), double& max, double& min, int a, int b, int c,
                    bool perRow) const;

    int m_nRows;  // number of rows (M1-M3)

protected:
    // The column count of M1 without the virtual call, for element access.
    int columns() const { return m_nRows != 0 ? m_nSize / m_nRows : 0; }
    long index(int i, int j) const
    {
        TARVEL_ASSERT(i >= 0 && i < m_nRows && j >= 0 && j < columns(),
                      "CMatrix element access: (i, j) outside the matrix");
        return static_cast<long>(i) * columns() + j;
    }
    int checked_row(int i) const
    {
        TARVEL_ASSERT(i >= 0 && i < m_nRows, "CMatrix::operator[]: row outside the matrix");
        return i;
    }
    // Element (i, j) of a row-major array with cols columns (M1).
    static long index_of(int i, int j, int cols) { return static_cast<long>(i) * cols + j; }
};
