/// \file
/// CPetscSystMat: a system (stiffness) matrix distributed over the ranks of an MPI communicator,
/// assembled element by element through the same AddValues as CSystSpMat and solved by a PETSc
/// Krylov solver. Part of the optional component Tarvel::PETSc (library TarvelPETSc), built when
/// CMake finds PETSc; the core library TarvelR10 does not depend on it.
///
/// Calling order (every step marked "collective" is called by every rank of the communicator):
///  1. CPetscSystMat(comm, n, blockSize)                         collective
///  2. Preallocate(elements)                                    collective
///  3. AddValues(dofs, ke, k), AddLoad(dofs, fe, k) per element  any rank, any element
///  4. Assemble()                                               collective
///  5. SymUnifyAndZero(dofs, values, m)                         collective
///  6. SetCoordinates(xyz, dim) (elasticity: rigid-body modes)  collective, optional
///  7. Solve(residual, iterations)                              collective; again for a new load
///
/// Invariants:
///  P1  rank r owns the contiguous rows [GetFirstRow(), GetLastRow()); the ranges follow the
///      ranks in order and cover 0 .. n-1; each holds a whole number of blocks of blockSize rows
///      (the even split of the n / blockSize blocks, the first ranks one block more)
///  P2  the matrix is MPIAIJ (SeqAIJ on one rank) holding both triangles, preallocated from the
///      degree-of-freedom graph of the elements given to Preallocate; an entry outside that
///      pattern is an error (MAT_NEW_NONZERO_ALLOCATION_ERR), never a reallocation
///
/// Choices:
///  - Preallocate takes every element that touches this rank's rows, whichever rank assembles
///    it (a strip and the neighbouring elements at its edges): the counts of a row come from a
///    CReorderMat of the owned rows and the rows they couple with, numbered locally, so the
///    graph grows with the rank's share of the mesh and not with n.
///  - AddValues skips negative indices and indices at or above n, as CSystSpMat does. With
///    CVirtMat::m_bSym set it takes the element's entries at or right of the diagonal (by global
///    index) and stores each also at its mirror, so the stored matrix is symmetric even when ke is
///    not exactly so; without it every entry is added as given. Entries for rows of another rank
///    travel through PETSc's assembly (MatAssemblyBegin/End).
///  - SymUnifyAndZero imposes u_k = g_k as CSystSpMat::SymUnifyAndZero does: every coupling
///    K(r, k) is moved to the load (b_r -= K(r, k) g_k), row and column k become the unit row and
///    column, and b_k = g_k (MatZeroRowsColumns). Each rank may pass any prescribed DOFs (all of
///    them, or only its own): each rank takes those in its range.
///  - Solve: CG preconditioned by algebraic multigrid (GAMG), relative tolerance 1e-12 of the
///    preconditioned residual, at most 10000 iterations; then PETSc's options database (the
///    command line given to PetscInitialize) overrides any of it, prefix none: "-ksp_type preonly
///    -pc_type cholesky -pc_factor_mat_solver_type mumps" makes it a direct solve. The residual
///    it returns is ||b - K u||_2 / ||b||_2, computed in PETSc on the distributed vectors.
///  - Both triangles are stored, with m_bSym too: GAMG and MatZeroRowsColumns work on AIJ
///    matrices, and MUMPS's Cholesky takes an AIJ matrix marked symmetric (MAT_SYMMETRIC is set
///    after the prescribed values when m_bSym is).
///  - The object holds PETSc objects: it must be destroyed before PetscFinalize.
///  - Errors: every operation returns false (Solve: -1) when a PETSc call fails; PETSc has then
///    printed its own message on standard error. Nothing throws.
#pragma once

#include <petscksp.h>
#include <vector>

/// A system matrix distributed over MPI ranks and solved by PETSc (this file's comment states its
/// calling order, invariants and rules).
class CPetscSystMat
{
public:
    /// Collective. n equations in blocks of blockSize (n a multiple of it); P1.
    CPetscSystMat(MPI_Comm comm, long n, int blockSize = 1);
    ~CPetscSystMat();
    CPetscSystMat(const CPetscSystMat&) = delete;
    CPetscSystMat& operator=(const CPetscSystMat&) = delete;

    long GetRows() const { return m_nRows; }       ///< n
    long GetFirstRow() const { return m_nFirst; }  ///< the first row of this rank (P1)
    long GetLastRow() const { return m_nLast; }    ///< one past the last row of this rank (P1)
    /// dof is a row of this rank.
    bool IsOwned(long dof) const { return dof >= m_nFirst && dof < m_nLast; }

    /// Collective. Sizes the matrix from the elements given (see the choices): dofs holds
    /// numElements lists of k indices each (negative ones skipped). False when PETSc fails.
    bool Preallocate(const long* dofs, long numElements, int k);

    /// Element assembling of the matrix and of the load (fe: k values); see the choices.
    ///@{
    bool AddValues(long* dofs, double* ke, int n);
    bool AddLoad(long* dofs, double* fe, int n);
    ///@}

    /// Collective: completes the assembly of the matrix and the load.
    bool Assemble();

    /// Collective: prescribed values u_dofs[t] = values[t], t < m (see the choices).
    bool SymUnifyAndZero(const long* dofs, const double* values, long m);

    /// Collective: the coordinates of the nodes of this rank's rows, dim values per node
    /// (blockSize == dim), give the multigrid preconditioner the rigid-body modes.
    bool SetCoordinates(const double* xyz, int dim);

    /// Collective: solves K u = b (see the choices). Returns the iterations taken, or -1 when
    /// the solver failed or diverged; residual receives ||b - K u|| / ||b||.
    int Solve(double& residual);

    /// This rank's part of u, rows GetFirstRow() .. GetLastRow() - 1 (after Solve).
    std::vector<double> LocalSolution() const;
    /// Collective: the whole u on rank root (empty elsewhere).
    std::vector<double> GatherSolution(int root = 0) const;

    /// Seconds spent in the last Solve: the preconditioner's setup, then the iterations.
    ///@{
    double GetSetupSeconds() const { return m_dSetup; }
    double GetSolveSeconds() const { return m_dSolve; }
    ///@}
    /// The converged reason of the last solve (KSPConvergedReason) and the solver's names.
    ///@{
    int GetReason() const { return m_nReason; }
    const char* GetKspType() const;
    const char* GetPcType() const;
    ///@}

    /// The PETSc objects: matrix, load, solution, solver (still owned by this object).
    ///@{
    Mat GetMat() const { return m_A; }
    Vec GetLoad() const { return m_b; }
    Vec GetSolution() const { return m_x; }
    KSP GetKsp() const { return m_ksp; }
    ///@}

private:
    MPI_Comm m_comm;
    long m_nRows = 0, m_nFirst = 0, m_nLast = 0;
    int m_nBlock = 1;
    Mat m_A = nullptr;
    Vec m_b = nullptr, m_x = nullptr;
    KSP m_ksp = nullptr;
    MatNullSpace m_nearNull = nullptr;
    double m_dSetup = 0.0, m_dSolve = 0.0;
    int m_nReason = 0;
    std::vector<PetscInt> m_idx;  ///< work: the kept indices of one element
    std::vector<PetscScalar> m_val;
};
