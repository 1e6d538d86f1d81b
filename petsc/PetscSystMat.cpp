// CPetscSystMat: preallocation from the local degree-of-freedom graph, element assembling,
// prescribed values and the Krylov solve (contract and choices in PetscSystMat.h).
#include <tarvel/Tarvel.h>

#include <algorithm>
#include <tarvel-petsc/PetscSystMat.h>
#include <unordered_map>

namespace
{

// True when a PETSc call succeeded. PETSc has printed its own trace of a failure.
bool ok(PetscErrorCode e) { return e == 0; }

}  // namespace

CPetscSystMat::CPetscSystMat(MPI_Comm comm, long n, int blockSize)
    : m_comm(comm), m_nRows(n), m_nBlock(blockSize > 0 ? blockSize : 1)
{
    int size = 1, rank = 0;
    MPI_Comm_size(comm, &size);
    MPI_Comm_rank(comm, &rank);
    const long blocks = n / m_nBlock, share = blocks / size, extra = blocks % size;  // P1
    m_nFirst = m_nBlock * (rank * share + std::min<long>(rank, extra));
    m_nLast = m_nFirst + m_nBlock * (share + (rank < extra ? 1 : 0));
}

CPetscSystMat::~CPetscSystMat()
{
    MatNullSpaceDestroy(&m_nearNull);
    KSPDestroy(&m_ksp);
    VecDestroy(&m_x);
    VecDestroy(&m_b);
    MatDestroy(&m_A);
}

// Row counts of the owned rows in the diagonal block (columns this rank owns) and outside it,
// from a CReorderMat whose vertices are the owned rows (0 .. nLocal - 1, in order) followed by
// every other DOF the elements reach (G1: a vertex's list holds its neighbours, not itself).
bool CPetscSystMat::Preallocate(const long* dofs, long numElements, int k)
{
    const long nLocal = m_nLast - m_nFirst;
    std::unordered_map<long, long> ghost;  // DOF outside the range -> its local vertex
    std::vector<long> local(static_cast<std::size_t>(k));
    auto localise = [&](const long* e)  // false when the element misses the owned rows
    {
        bool touches = false;
        for (int a = 0; a < k; ++a) touches = touches || IsOwned(e[a]);
        if (!touches) return false;
        for (int a = 0; a < k; ++a)
        {
            const long d = e[a];
            if (d < 0 || d >= m_nRows)
                local[a] = -1;
            else if (IsOwned(d))
                local[a] = d - m_nFirst;
            else
                local[a] = ghost.emplace(d, nLocal + static_cast<long>(ghost.size())).first->second;
        }
        return true;
    };
    for (long e = 0; e < numElements; ++e) localise(dofs + e * k);  // number the ghosts
    std::vector<PetscInt> dnz(static_cast<std::size_t>(nLocal), 1), onz(dnz.size(), 0);
    {  // the graph is released before the matrix takes its memory
        CReorderMat graph(0);
        graph.Alloc(static_cast<int>(nLocal + static_cast<long>(ghost.size())));
        for (int mode : {0, 1})  // count pass, then fill pass (CReorderMat's calling order)
        {
            if (mode == 1) graph.Init();
            for (long e = 0; e < numElements; ++e)
                if (localise(dofs + e * k)) graph.InsertDOFs(local.data(), mode, k);
        }
        for (long u = 0; u < nLocal; ++u)
            for (int t = 0; t < graph.m_pLength[u]; ++t)
                ++(graph.m_ppData[u][t] < nLocal ? dnz[u] : onz[u]);
    }

    if (!ok(MatCreate(m_comm, &m_A)) ||
        !ok(MatSetSizes(m_A, static_cast<PetscInt>(nLocal), static_cast<PetscInt>(nLocal),
                        static_cast<PetscInt>(m_nRows), static_cast<PetscInt>(m_nRows))) ||
        !ok(MatSetBlockSize(m_A, m_nBlock)) || !ok(MatSetType(m_A, MATAIJ)) ||
        !ok(MatSeqAIJSetPreallocation(m_A, 0, dnz.data())) ||
        !ok(MatMPIAIJSetPreallocation(m_A, 0, dnz.data(), 0, onz.data())) ||
        !ok(MatSetOption(m_A, MAT_NEW_NONZERO_ALLOCATION_ERR, PETSC_TRUE)) ||
        !ok(MatCreateVecs(m_A, &m_x, &m_b)))
        return false;
    return ok(VecSet(m_b, 0.0)) && ok(VecSet(m_x, 0.0));
}

bool CPetscSystMat::AddValues(long* dofs, double* ke, int n)
{
    // The kept positions a, their global indices, and the block of their values.
    std::vector<int> keep;
    keep.reserve(static_cast<std::size_t>(n));
    m_idx.clear();
    for (int a = 0; a < n; ++a)
        if (dofs[a] >= 0 && dofs[a] < m_nRows)
        {
            keep.push_back(a);
            m_idx.push_back(static_cast<PetscInt>(dofs[a]));
        }
    const std::size_t m = keep.size();
    m_val.assign(m * m, 0.0);
    for (std::size_t p = 0; p < m; ++p)
        for (std::size_t q = 0; q < m; ++q)
        {
            const int a = keep[p], b = keep[q];
            // Upper-triangle assembly: the entry at or right of the diagonal, at both places.
            const bool upper = dofs[a] <= dofs[b];
            m_val[p * m + q] = CVirtMat::m_bSym && !upper ? ke[b * n + a] : ke[a * n + b];
        }
    const PetscInt mm = static_cast<PetscInt>(m);
    return ok(MatSetValues(m_A, mm, m_idx.data(), mm, m_idx.data(), m_val.data(), ADD_VALUES));
}

bool CPetscSystMat::AddLoad(long* dofs, double* fe, int n)
{
    for (int a = 0; a < n; ++a)
        if (dofs[a] >= 0 && dofs[a] < m_nRows)
            if (!ok(VecSetValue(m_b, static_cast<PetscInt>(dofs[a]), fe[a], ADD_VALUES)))
                return false;
    return true;
}

bool CPetscSystMat::Assemble()
{
    return ok(MatAssemblyBegin(m_A, MAT_FINAL_ASSEMBLY)) &&
           ok(MatAssemblyEnd(m_A, MAT_FINAL_ASSEMBLY)) && ok(VecAssemblyBegin(m_b)) &&
           ok(VecAssemblyEnd(m_b));
}

bool CPetscSystMat::SymUnifyAndZero(const long* dofs, const double* values, long m)
{
    std::vector<PetscInt> rows;
    for (long t = 0; t < m; ++t)
        if (IsOwned(dofs[t]))
        {
            rows.push_back(static_cast<PetscInt>(dofs[t]));
            if (!ok(VecSetValue(m_x, rows.back(), values[t], INSERT_VALUES))) return false;
        }
    if (!ok(VecAssemblyBegin(m_x)) || !ok(VecAssemblyEnd(m_x))) return false;
    // b_r -= K(r, k) g_k for the other rows, unit row and column k, b_k = 1.0 * g_k.
    if (!ok(MatZeroRowsColumns(m_A, static_cast<PetscInt>(rows.size()), rows.data(), 1.0, m_x,
                               m_b)))
        return false;
    if (CVirtMat::m_bSym && !ok(MatSetOption(m_A, MAT_SYMMETRIC, PETSC_TRUE))) return false;
    return ok(VecSet(m_x, 0.0));
}

bool CPetscSystMat::SetCoordinates(const double* xyz, int dim)
{
    const long nLocal = m_nLast - m_nFirst;
    Vec coords = nullptr;
    bool done = ok(VecCreateMPI(m_comm, static_cast<PetscInt>(nLocal), PETSC_DETERMINE, &coords)) &&
                ok(VecSetBlockSize(coords, dim));
    PetscScalar* c = nullptr;
    if (done && ok(VecGetArray(coords, &c)))
    {
        std::copy(xyz, xyz + nLocal, c);
        done = ok(VecRestoreArray(coords, &c));
    }
    MatNullSpaceDestroy(&m_nearNull);
    done = done && ok(MatNullSpaceCreateRigidBody(coords, &m_nearNull)) &&
           ok(MatSetNearNullSpace(m_A, m_nearNull));
    VecDestroy(&coords);
    return done;
}

int CPetscSystMat::Solve(double& residual)
{
    residual = -1.0;
    if (!m_ksp)
    {
        PC pc = nullptr;
        if (!ok(KSPCreate(m_comm, &m_ksp)) || !ok(KSPSetOperators(m_ksp, m_A, m_A)) ||
            !ok(KSPSetType(m_ksp, KSPCG)) || !ok(KSPGetPC(m_ksp, &pc)) ||
            !ok(PCSetType(pc, PCGAMG)) ||
            !ok(KSPSetTolerances(m_ksp, 1e-12, PETSC_DEFAULT, PETSC_DEFAULT, 10000)) ||
            !ok(KSPSetFromOptions(m_ksp)))
            return -1;
    }
    double start = MPI_Wtime();
    if (!ok(KSPSetUp(m_ksp))) return -1;
    m_dSetup = MPI_Wtime() - start;
    start = MPI_Wtime();
    if (!ok(KSPSolve(m_ksp, m_b, m_x))) return -1;
    m_dSolve = MPI_Wtime() - start;
    KSPConvergedReason reason;
    PetscInt iterations = 0;
    if (!ok(KSPGetConvergedReason(m_ksp, &reason)) ||
        !ok(KSPGetIterationNumber(m_ksp, &iterations)))
        return -1;
    m_nReason = static_cast<int>(reason);
    // ||b - K u|| / ||b|| on the distributed vectors.
    Vec r = nullptr;
    PetscReal rNorm = 0.0, bNorm = 0.0;
    const bool done = ok(VecDuplicate(m_b, &r)) && ok(MatMult(m_A, m_x, r)) &&
                      ok(VecAYPX(r, -1.0, m_b)) && ok(VecNorm(r, NORM_2, &rNorm)) &&
                      ok(VecNorm(m_b, NORM_2, &bNorm));
    VecDestroy(&r);
    if (!done) return -1;
    residual = bNorm > 0.0 ? rNorm / bNorm : rNorm;
    return reason > 0 ? static_cast<int>(iterations) : -1;
}

std::vector<double> CPetscSystMat::LocalSolution() const
{
    std::vector<double> u(static_cast<std::size_t>(m_nLast - m_nFirst));
    const PetscScalar* a = nullptr;
    if (ok(VecGetArrayRead(m_x, &a)))
    {
        std::copy(a, a + u.size(), u.begin());
        VecRestoreArrayRead(m_x, &a);
    }
    return u;
}

std::vector<double> CPetscSystMat::GatherSolution(int root) const
{
    int rank = 0, size = 1;
    MPI_Comm_rank(m_comm, &rank);
    MPI_Comm_size(m_comm, &size);
    const std::vector<double> mine = LocalSolution();
    std::vector<int> counts(static_cast<std::size_t>(size)), offsets(counts.size());
    const int count = static_cast<int>(mine.size());
    MPI_Gather(&count, 1, MPI_INT, counts.data(), 1, MPI_INT, root, m_comm);
    std::vector<double> u;
    if (rank == root)
    {
        for (int r = 1; r < size; ++r) offsets[r] = offsets[r - 1] + counts[r - 1];
        u.resize(static_cast<std::size_t>(m_nRows));
    }
    MPI_Gatherv(mine.data(), count, MPI_DOUBLE, u.data(), counts.data(), offsets.data(), MPI_DOUBLE,
                root, m_comm);
    return u;
}

const char* CPetscSystMat::GetKspType() const
{
    KSPType t = nullptr;
    return m_ksp && ok(KSPGetType(m_ksp, &t)) && t ? t : "";
}

const char* CPetscSystMat::GetPcType() const
{
    PC pc = nullptr;
    PCType t = nullptr;
    return m_ksp && ok(KSPGetPC(m_ksp, &pc)) && ok(PCGetType(pc, &t)) && t ? t : "";
}
