/// \file
/// CSupernodalCholesky: a sparse direct solver for symmetric positive definite systems, the
/// supernodal Cholesky A = P^T L L^T P with a fill-reducing ordering P. Part of the optional
/// component Tarvel::Direct (library TarvelDirect), built when CMake finds BLAS, LAPACK, AMD and
/// METIS; the core library TarvelR10 does not depend on it.
///
/// Calling order: SetOrdering / SetLabels / SetThreads (optional), Analyze(A) once per pattern,
/// Factorize(A) for every new set of values on that pattern, then Solve as often as needed.
///
/// Preconditions (the caller's): A holds the upper triangle of a symmetric positive definite
/// matrix (cells below the diagonal are ignored; stored zeros belong to the pattern); B has n rows.
///
/// Failures: -1, and LastFailure says why, in one of these texts:
///   "not positive definite at column j"      j in the caller's numbering (Factorize)
///   "pattern differs from the analysed one"  a cell added or missing since Analyze (Factorize)
///   "out of memory..."                       what did not fit follows (Analyze, Factorize, Solve)
///   "no analysis: Analyze comes before Factorize"
///   "no factorization: Factorize comes before Solve"
///   "R right-hand side rows for N equations" (Solve)
///   "the labelling ..."                      a SetLabels labelling that does not fit (Analyze)
///
/// Choices:
///  - A failed Analyze or Factorize leaves no factor (Solve fails until a Factorize succeeds); a
///    failed Solve leaves B as it was and the factor usable.
///  - Factorize first compares the factor and its work space with the smaller of the physical
///    memory and the address-space limit (RLIMIT_AS), and fails with "out of memory" above it.
///  - Every successful Factorize shows one report through AfxMessageBox (MB_OK), "Used time:\r\n
///    Factorizing  :   %u m %2.2f s\r\n Size factor  :   %lld\r\n Flops        :   %10.3e": the
///    processor time of all threads, FactorEntries() and FactorFlops(); a failed one shows none.
///  - Factorize reports its progress (tarvel/platform/Progress.h, task "Cholesky") by the share
///    of FactorFlops() done, from the calling thread whatever the thread count.
///  - SetThreads(n) with n <= 0 takes all cores (std::thread::hardware_concurrency). The factor
///    and the solutions have the same bits for every thread count: the threads share fixed
///    pieces of the work and the BLAS runs on one thread (its own count is restored afterwards).
///  - Solve(CVector&) is Solve of a one-column matrix; a matrix of 0 columns returns 1 untouched.
///  - FactorEntries and FactorFlops are 0 before a successful Analyze.
///  - A move takes the analysis and the factor over; the source may then only be destroyed or
///    assigned to.
#pragma once

#include <tarvel/platform/AfxTypes.h>
#include <tarvel/platform/String.h>

#include <memory>

class CMatrix;
class CVector;
class CSparseMatrix;
class CReorderMat;

/// The supernodal sparse Cholesky solver (this file's comment states its calling order, failures
/// and rules).
class CSupernodalCholesky
{
public:
    /// The fill-reducing ordering Analyze takes: automatic, AMD, METIS, none, or SetLabels'
    /// labelling.
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
    /// Moves (see the choices).
    ///@{
    CSupernodalCholesky(CSupernodalCholesky&&) noexcept;
    CSupernodalCholesky& operator=(CSupernodalCholesky&&) noexcept;
    ///@}

    void SetOrdering(Ordering o);              ///< default orderAuto
    void SetLabels(const CReorderMat& graph);  ///< use a CReorderMat labelling (orderLabels)
    void SetThreads(int n);                    ///< 0 = all cores (default 1)
    int Analyze(const CSparseMatrix& A);    ///< A: upper triangle of a symmetric matrix; 1, or -1
    int Factorize(const CSparseMatrix& A);  ///< same pattern as analysed; 1, or -1
    int Solve(CMatrix& B) const;            ///< n x k right-hand sides, overwritten; 1, or -1
    int Solve(CVector& b) const;            ///< one right-hand side, overwritten; 1, or -1
    LONGLONG FactorEntries() const;         ///< entries of L after Analyze
    double FactorFlops() const;             ///< multiply-adds of Factorize after Analyze
    CString LastFailure() const;            ///< why the last -1

private:
    struct Impl;
    std::unique_ptr<Impl> m_pImpl;
};
