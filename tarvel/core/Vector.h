// CVector: the dense real vector, and the storage base of the dense matrix CMatrix.
//
// Invariants:
//  V1  m_pData is null exactly when the vector has no storage; otherwise it holds m_nSize
//      doubles, allocated with new[] and owned by the vector
//  V2  indices are zero-based and never checked
// A copy (copy constructor, CVector(const CVector*), operator=) owns its own array; a move
// takes the array over. No operation of this class counts m_Flops.
//
// Choices where the behaviour is open:
//  - storage obtained by a size change is zero-filled, so "unset" elements read as 0.0;
//  - AplusBC with c exactly 0.0 adds b unscaled (a[i] += b[i]), as it always has;
//  - operator==(double) and operator==(int) of an empty vector are true for every value;
//  - a failed allocation leaves an empty vector (m_nSize 0, no array); a negative size is
//    refused the same way (Allocate returns false);
//  - an operation that grows the vector (+=, -=, Add, Trunc) and cannot obtain the new array
//    leaves the vector as it was;
//  - Mean of an empty vector is 0.0 / 0 (NaN);
//  - loading from an archive (untrusted input): a negative count throws CArchiveException
//    (generic); a count that differs from the held size is read block by block into a new
//    array, so a count the archive cannot back ends in the archive's endOfFile without a large
//    allocation, and the vector keeps its old contents.
//  - text (DenseText.cpp): ReadASCII takes every number to the end of the file (at most
//    INT_MAX); with no number at all the vector becomes empty and the file stands after the
//    first line read. Writers hand the file large blocks; the bytes are those of the format.
#pragma once

#include <tarvel/core/VirtMat.h>
#include <tarvel/platform/Assert.h>
#include <tarvel/platform/Export.h>

class TARVEL_API CVector : public CVirtRealMat
{
    DECLARE_SERIAL(CVector)

public:
    CVector();
    // n > 0: n elements, each set to value when init is true; n <= 0: empty.
    explicit CVector(int n, bool init = false, double value = 0.0);
    // Deep copy of *other (empty when other is empty).
    explicit CVector(const CVector* other);
    CVector(const CVector& other);
    CVector(CVector&& other) noexcept;
    ~CVector() override;

    // ---- Operations of the matrix interface ----
    bool Allocate(int* dims, int count) override;
    void ReadASCII(CFile* file) override;
    void WriteASCII(CFile* file, CString prefix, CString suffix, int width, int precision,
                    int format, bool rowNumbers, bool header) override;
    void AddValues(long* idx, double* val, int n) override;
    CVirtRealMat& operator=(double v) override;
    CVirtRealMat& operator+=(double v) override;
    void Serialize(CArchive& ar) override;

    // ---- Virtual operations of the vector, in virtual-table order (append, never reorder) ----
    virtual void Add(const CVector& b, double f);
    virtual CVector& LinComb(double a, const CVector& A, double b, const CVector& B);
    virtual void CrossProd(const CVector* a, const CVector* b);
    virtual int Count(double v, int first, int last) const;
    virtual double Dot(const CVector& b) const;
    virtual int Find(double v, int first, int last) const;
    virtual bool Allocate(int n, bool init, double value);
    virtual double Mean() const;
    virtual double ZeroNorm() const;
    virtual double InfNorm() const;
    virtual double PNorm(double p) const;
    virtual double& Min();
    virtual double Sum() const;
    virtual double& Max();
    virtual void SetIncremental(double step, double start);
    virtual double* ReplaceVector(double* array, int n);
    virtual void SwitchVectors(CVector* other);
    virtual void Initialize(double v);

    // ---- Storage ----
    void SetVector(int n, double* array);  // adopts array, releases the old one
    void Trunc(int first, int last);
    int GetSize() const { return m_nSize; }
    double* GetVector() { return m_pData; }
    const double* GetVector() const { return m_pData; }

    // ---- Element access (unchecked) ----
    double& operator[](int i) { return m_pData[checked(i)]; }
    double operator[](int i) const { return m_pData[checked(i)]; }
    double GetValue(int i) const { return m_pData[checked(i)]; }
    void SetValue(int i, double v) { m_pData[checked(i)] = v; }

    // ---- Whole-vector assignment and arithmetic ----
    CVector& operator=(const CVector& other);
    CVector& operator=(CVector&& other) noexcept;
    CVector& operator*=(double f);
    CVector& operator/=(double f);
    void Scale(double f);
    void Scale(const CVector* other);
    CVector& operator+=(const CVector& b);
    CVector& operator-=(const CVector& b);
    static void AplusBC(double* a, const double* b, int n, double c);

    // ---- Exact comparisons ----
    bool operator==(const CVector& b) const;
    bool operator!=(const CVector& b) const { return !(*this == b); }
    bool operator==(double v) const;
    bool operator!=(double v) const { return !(*this == v); }
    bool operator==(int v) const { return *this == static_cast<double>(v); }
    bool operator!=(int v) const { return !(*this == v); }

    // ---- Reductions that are not virtual ----
    double Length() const;
    double Normalize();

    // Unit quaternion of a rotation vector: vector part to q[0..2], scalar part returned.
    static double VectToQuat(const double* v, double* q);

    int m_nSize;      // number of elements (V1)
    double* m_pData;  // owned array, null when empty (V1)

protected:
    // Releases the array and leaves the vector empty.
    void release();
    // i, checked against the size where TARVEL_ASSERT is active.
    int checked(int i) const
    {
        TARVEL_ASSERT(i >= 0 && i < m_nSize, "CVector element access: index outside the vector");
        return i;
    }
};
