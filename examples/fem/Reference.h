// An independent assembled copy of a model problem, for judging any solver's answer: a plain
// compressed-row matrix summed from the element matrices, the system reduced by the prescribed
// DOFs, and the relative residual. Nothing here uses the library.
//
// Invariants of CsrMatrix:
//  C1  row i's entries are col/val[row_start[i] .. row_start[i + 1] - 1], columns strictly
//      ascending; row_start has n + 1 entries, row_start[0] == 0
//  C2  both triangles are stored (the full symmetric matrix)
#pragma once

#include "fem/Problems.h"

#include <vector>

namespace tarvel_fem
{

struct CsrMatrix
{
    long n = 0;
    std::vector<long> row_start;  // C1
    std::vector<long> col;        // C1
    std::vector<double> val;      // C1, C2

    long nonzeros() const { return static_cast<long>(val.size()); }
    // y = A x.
    void multiply(const double* x, double* y) const;
};

// K = sum over elements of the scattered element matrices (C1, C2). Entries that sum to 0.0
// are kept: the pattern is that of the element lists.
CsrMatrix assemble_reference(const FemProblem& p);

// The system with the prescribed DOFs imposed by elimination: K_red has a unit row and column
// at every fixed DOF d and K's entries elsewhere; b_red = f - K_{:,fixed} g on the free DOFs and
// g at the fixed ones. Its solution is the problem's solution, prescribed values included.
struct ReducedSystem
{
    CsrMatrix K;
    std::vector<double> b;
};
ReducedSystem reduce(const FemProblem& p);

// ||A u - b||_2 / ||b||_2 (u and b of A.n entries); the infinity when b is zero.
double relative_residual(const CsrMatrix& A, const double* u, const std::vector<double>& b);

}  // namespace tarvel_fem
