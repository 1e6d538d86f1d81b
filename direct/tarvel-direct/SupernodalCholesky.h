// CSupernodalCholesky: a sparse direct solver for symmetric positive definite systems, the
// supernodal Cholesky A = P^T L L^T P with a fill-reducing ordering P. Part of the optional
// component Tarvel::Direct (library TarvelDirect), built when CMake finds BLAS, LAPACK, AMD and
// METIS; the core library TarvelR10 does not depend on it.
//
// Calling order: SetOrdering / SetLabels / SetThreads (optional), Analyze(A) once per pattern,
// Factorize(A) for every new set of values on that pattern, then Solve as often as needed.
//
// Choices:
//  - (to be completed by the implementation: one line per choice left open)
#pragma once

#include <tarvel/platform/AfxTypes.h>
#include <tarvel/platform/String.h>

#include <memory>

class CMatrix;
class CVector;
class CSparseMatrix;
class CReorderMat;

class CSupernodalCholesky
{
public:
    enum Ordering
    {
        orderAuto,
        orderAMD,
        orderMETIS,
        orderNatural,
        orderLabels
    };

    CSupernodalCholesky();
    ~CSupernodalCholesky();
    CSupernodalCholesky(const CSupernodalCholesky&) = delete;
    CSupernodalCholesky& operator=(const CSupernodalCholesky&) = delete;
    CSupernodalCholesky(CSupernodalCholesky&&) noexcept;
    CSupernodalCholesky& operator=(CSupernodalCholesky&&) noexcept;

    void SetOrdering(Ordering o);              // default orderAuto
    void SetLabels(const CReorderMat& graph);  // use a CReorderMat labelling (orderLabels)
    void SetThreads(int n);                    // 0 = all cores (default 1)
    int Analyze(const CSparseMatrix& A);       // A: upper triangle of a symmetric matrix; 1, or -1
    int Factorize(const CSparseMatrix& A);     // same pattern as analysed; 1, or -1
    int Solve(CMatrix& B) const;               // n x k right-hand sides, overwritten; 1, or -1
    int Solve(CVector& b) const;
    LONGLONG FactorEntries() const;  // entries of L after Analyze
    double FactorFlops() const;      // multiply-adds of Factorize after Analyze
    CString LastFailure() const;     // why the last -1

private:
    struct Impl;
    std::unique_ptr<Impl> m_pImpl;
};
