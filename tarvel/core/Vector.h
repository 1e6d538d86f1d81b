/// \file
/// CVector: the dense real vector, and the storage base of the dense matrix CMatrix.
///
/// Invariants:
///  V1  m_pData is null exactly when the vector has no storage; otherwise it holds m_nSize
///      doubles, allocated with new[] and owned by the vector
///  V2  indices are zero-based and never checked
/// A copy (copy constructor, CVector(const CVector*), operator=) owns its own array; a move
/// takes the array over. No operation of this class counts m_Flops.
///
/// Choices where the behaviour is open:
///  - storage obtained by a size change is zero-filled, so "unset" elements read as 0.0;
///  - AplusBC with c exactly 0.0 adds b unscaled (a[i] += b[i]), as it always has;
///  - operator==(double) and operator==(int) of an empty vector are true for every value;
///  - a failed allocation leaves an empty vector (m_nSize 0, no array); a negative size is
///    refused the same way (Allocate returns false);
///  - an operation that grows the vector (+=, -=, Add, Trunc) and cannot obtain the new array
///    leaves the vector as it was;
///  - Mean of an empty vector is 0.0 / 0 (NaN);
///  - loading from an archive (untrusted input): a negative count throws CArchiveException
///    (generic); a count that differs from the held size is read block by block into a new
///    array, so a count the archive cannot back ends in the archive's endOfFile without a large
///    allocation, and the vector keeps its old contents.
///  - text (DenseText.cpp): ReadASCII takes every number to the end of the file (at most
///    INT_MAX); with no number at all the vector becomes empty and the file stands after the
///    first line read. Writers hand the file large blocks; the bytes are those of the format.
#pragma once

#include <tarvel/core/VirtMat.h>
#include <tarvel/platform/Assert.h>
#include <tarvel/platform/Export.h>

/// The dense real vector (this file's comment states its invariants and rules).
class TARVEL_API CVector : public CVirtRealMat
{
    DECLARE_SERIAL(CVector)

public:
    CVector();
    /// n > 0: n elements, each set to value when init is true; n <= 0: empty.
    explicit CVector(int n, bool init = false, double value = 0.0);
    /// Deep copy of *other (empty when other is empty).
    explicit CVector(const CVector* other);
    CVector(const CVector& other);      ///< deep copy (empty when storage fails)
    CVector(CVector&& other) noexcept;  ///< takes other's array, leaving it empty
    ~CVector() override;

    // ---- Operations of the matrix interface ----
    /// Sizes to dims[0] elements (dims[0] read even for count 0), set to dims[2] when count > 2
    /// and dims[1] != 0, else zero; false as Allocate(n, init, value).
    bool Allocate(int* dims, int count) override;
    /// Every number from the file's position to its end, in order (text rules in DenseText.cpp);
    /// the file is left after the line holding the last number.
    void ReadASCII(CFile* file) override;
    /// All elements on one line, then "\r\n": format 0 "%s%*.*f%s", any other "%s%*.*e%s".
    void WriteASCII(CFile* file, CString prefix, CString suffix, int width, int precision,
                    int format, bool rowNumbers, bool header) override;
    /// x[idx[k]] += val[k] for k < n; negative indices skipped; idx[k] < size is the caller's.
    void AddValues(long* idx, double* val, int n) override;
    CVirtRealMat& operator=(double v) override;   ///< every element = v
    CVirtRealMat& operator+=(double v) override;  ///< every element += v
    void Serialize(CArchive& ar) override;        ///< the count, then the elements

    // ---- Virtual operations of the vector, in virtual-table order (append, never reorder) ----
    /// this += f b; a longer b grows this (the new tail f b); both empty: this empty.
    virtual void Add(const CVector& b, double f);
    /// this = a A + b B over max(|A|, |B|) elements (the shorter operand taken as zero beyond
    /// its end); a matrix becomes a column (M3). Left as it was when storage fails.
    virtual CVector& LinComb(double a, const CVector& A, double b, const CVector& B);
    /// this = a x b, three elements; a and b must hold at least three.
    virtual void CrossProd(const CVector* a, const CVector* b);
    /// How many (Count) / the first index (Find, -1: none) of elements == v in first .. last-1;
    /// last < 1 means the size; first and last inside the vector are the caller's.
    virtual int Count(double v, int first, int last) const;
    /// sum x_i b_i over the common length, from 0.0 in index order.
    virtual double Dot(const CVector& b) const;
    virtual int Find(double v, int first, int last) const;  ///< see Count
    /// n elements (zeros, or value when init); the same size keeps the array and, without init,
    /// the contents. False, the vector empty, for n <= 0 or when storage fails (V1).
    virtual bool Allocate(int n, bool init, double value);
    virtual double Mean() const;      ///< Sum() / size (NaN when empty)
    virtual double ZeroNorm() const;  ///< min |x_i| (0.0 when empty)
    virtual double InfNorm() const;   ///< max |x_i| (0.0 when empty)
    /// p = 0: the size; p = 1: sum |x_i|; else (sum |x_i|^p)^(1/p).
    virtual double PNorm(double p) const;
    /// The first largest (Max) / smallest (Min) element, by reference; not for an empty vector.
    virtual double& Min();
    virtual double Sum() const;  ///< from 0.0 in index order
    virtual double& Max();       ///< see Min
    /// x_0 = start, x_i = x_(i-1) + step (a running sum, not start + i step).
    virtual void SetIncremental(double step, double start);
    /// Takes array (n elements, new[]) as the storage and returns the old array, which the caller
    /// now owns; a matrix takes a single column (M3).
    virtual double* ReplaceVector(double* array, int n);
    /// Exchanges the arrays with other; a matrix on either side gets the row count that fits
    /// what it received (CMatrix::SwitchVectors).
    virtual void SwitchVectors(CVector* other);
    virtual void Initialize(double v);  ///< every element = v

    // ---- Storage ----
    void SetVector(int n, double* array);  ///< adopts array (n elements, new[]), frees the old one
    /// Keeps elements first .. last-1 (last < 1 or beyond the size: to the end); first >= last
    /// empties. No array, or no storage for the shorter one: left as it was.
    void Trunc(int first, int last);
    int GetSize() const { return m_nSize; }  ///< elements
    /// The elements.
    ///@{
    double* GetVector() { return m_pData; }
    const double* GetVector() const { return m_pData; }
    ///@}

    // ---- Element access (checked only where TARVEL_ASSERT is active) ----
    /// Element i.
    ///@{
    double& operator[](int i) { return m_pData[checked(i)]; }
    double operator[](int i) const { return m_pData[checked(i)]; }
    double GetValue(int i) const { return m_pData[checked(i)]; }
    void SetValue(int i, double v) { m_pData[checked(i)] = v; }
    ///@}

    // ---- Whole-vector assignment and arithmetic ----
    /// Deep copy (a new size reallocates: empty when storage fails); a move takes the array.
    ///@{
    CVector& operator=(const CVector& other);
    CVector& operator=(CVector&& other) noexcept;
    ///@}
    CVector& operator*=(double f);  ///< x_i *= f
    CVector& operator/=(double f);  ///< x_i /= f (no test for 0)
    void Scale(double f);           ///< x_i *= f
    /// x_i *= other_i over this vector's size; other must be at least as long.
    void Scale(const CVector* other);
    /// this +-= b; a longer b grows this (its tail +-b); storage failure: left as it was.
    ///@{
    CVector& operator+=(const CVector& b);
    CVector& operator-=(const CVector& b);
    ///@}
    /// a[i] += c b[i] for i < n (c exactly 0.0 adds b unscaled: see above).
    static void AplusBC(double* a, const double* b, int n, double c);

    // ---- Exact comparisons ----
    /// Same size and every element == (NaN never equal); against a number, every element ==.
    ///@{
    bool operator==(const CVector& b) const;
    bool operator!=(const CVector& b) const { return !(*this == b); }
    bool operator==(double v) const;
    bool operator!=(double v) const { return !(*this == v); }
    bool operator==(int v) const { return *this == static_cast<double>(v); }
    bool operator!=(int v) const { return !(*this == v); }
    ///@}

    // ---- Reductions that are not virtual ----
    double Length() const;  ///< sqrt(sum x_i^2), no scaling against overflow
    /// Divides by Length() and returns it; a zero vector is left alone and gives 0.0.
    double Normalize();

    /// Unit quaternion of a rotation vector: vector part to q[0..2], scalar part returned.
    static double VectToQuat(const double* v, double* q);

    int m_nSize;      ///< number of elements (V1)
    double* m_pData;  ///< owned array, null when empty (V1)

protected:
    /// Releases the array and leaves the vector empty.
    void release();
    /// i, checked against the size where TARVEL_ASSERT is active.
    int checked(int i) const
    {
        TARVEL_ASSERT(i >= 0 && i < m_nSize, "CVector element access: index outside the vector");
        return i;
    }
};
