// The petsc road: the cantilever plate assembled by strips on the ranks of MPI_COMM_WORLD into a
// CPetscSystMat (Tarvel::PETSc) and solved by a PETSc Krylov solver, run as
// "mpirun -n N tarvel-fem --road petsc [--problem block] [--nx N] [--ny N] [--nz N] [--quiet]
// [PETSc options]"; the block likewise (elastic_block of Problems.h).
//
// Choices:
//  - --road petsc runs alone and takes the plate or the block grid only (--problem block, --nx,
//    --ny, --nz, --quiet); options with
//    one leading dash (and the value after one, when it does not start with a dash) are PETSc's
//    and go to PetscInitialize untouched.
//  - Rank r owns the contiguous rows of CPetscSystMat's split (whole nodes); it builds and
//    assembles the elements whose lowest node it owns, and the traction segments likewise; the
//    preallocation sees in addition the elements of the neighbouring strips touching its rows.
//  - Times are wall-clock seconds (MPI_Wtime) of the slowest rank; memory is the largest peak
//    resident size of any rank. Rank 0 prints; the other ranks print nothing.
//  - Exit codes as for the other roads: 0 residual at most 1e-8, 1 no solution or a larger
//    residual, 2 bad input; without PETSc built in, the option is bad input.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tarvel_demo
{

bool petsc_built_in();

// The exit code of a --road petsc run, or -1 when the command line does not ask for that road.
int petsc_dispatch(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// One solve of the plate on the petsc road; PETSc initialised by the caller.
struct PetscPlateRun
{
    bool solved = false;
    std::string failure;
    long dofs = 0;
    int ranks = 1;
    int iterations = 0;
    double residual = 0.0;  // ||K u - f|| / ||f||, computed by PETSc
    double tip = 0.0;       // u_y of the tip node
    double assembleSeconds = 0.0, imposeSeconds = 0.0, setupSeconds = 0.0, solveSeconds = 0.0;
    double peakMiB = 0.0;
    std::string ksp, pc;
    std::vector<double> u;  // the whole solution on rank 0 when asked for, else empty
};
PetscPlateRun petsc_plate(int nx, int ny, bool gather, std::ostream& out);
// The same for the elastic block, split by ranks into slabs along z (whole nodes, as the plate's
// strips), each box's matrix computed once.
PetscPlateRun petsc_block(int nx, int ny, int nz, bool gather, std::ostream& out);

}  // namespace tarvel_demo
