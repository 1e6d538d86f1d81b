// Model problems for the solver tests, assembled element by element through AddValues, each
// with an independent dense twin; a scaled residual, an independent dense reference solve,
// and helpers that print or compare the row/cell lists of a sparse matrix exactly.
#pragma once

#include <tarvel/Tarvel.h>

#include <string>
#include <tuple>
#include <vector>

namespace tarvel_test
{

constexpr double kEps = 2.220446049250313e-16;  // unit roundoff times 2 (DBL_EPSILON)

// A finite-element model: n unknowns and its elements, each a list of k degree-of-freedom
// numbers (negative numbers take no part) with its k x k row-major element matrix.
struct Mesh
{
    int n = 0;
    std::vector<std::vector<long>> dofs;
    std::vector<std::vector<double>> ke;

    // Calls A.AddValues once per element, in element order.
    void AssembleInto(CVirtRealMat& A) const;
    // The n x n matrix summed element by element, written here without AddValues.
    CMatrix Dense() const;
};

// n unknowns on a chain of springs: spring e (stiffness 1 + e % 3) joins unknown e - 1 to e;
// spring 0 ties unknown 0 to the ground (its element lists -1, 0). Tridiagonal SPD.
Mesh SpringChain(int n);
// The five-point Laplacian on an nx x ny grid of unknowns (row by row): an element [[1, -1],
// [-1, 1]] per grid edge and a one-unknown element 4 - degree at every boundary node, so every
// diagonal is 4 and every neighbour -1. SPD, bandwidth nx.
Mesh GridLaplacian(int nx, int ny);
// Poisson on the unit square with nx x ny bilinear 4-node elements; the boundary nodes are
// fixed (numbered -1 in the element lists), the (nx - 1)(ny - 1) interior nodes are the
// unknowns, row by row. Element matrix (nodes counter-clockwise):
//   1/6 [[4, -1, -2, -1], [-1, 4, -1, -2], [-2, -1, 4, -1], [-1, -2, -1, 4]].
Mesh PoissonQ4(int nx, int ny);

// A problem ready for a direct or iterative sparse solve.
struct Problem
{
    CSparseMatrix A;  // assembled through AddValues; only the upper triangle when asked
    CMatrix dense;    // the full dense twin (never touched by the solvers)
    CMatrix b;        // the right-hand sides, kept aside
    CMatrix rhs;      // a copy of b for the solver to overwrite
};
Problem MakeProblem(const Mesh& mesh, int nRhs, bool upperOnly, unsigned seed = 1);

// rows x cols uniform in [-1, 1) from a seeded std::mt19937.
CMatrix RandomMatrix(int rows, int cols, unsigned seed);
// The largest over the columns of ||A x - b||inf / (||A||inf ||x||inf + ||b||inf).
double ScaledResidual(const CMatrix& A, const CMatrix& X, const CMatrix& B);
// X with A X = B by Gaussian elimination with partial pivoting, written here.
CMatrix DenseSolve(const CMatrix& A, const CMatrix& B);

// The lists of S as text: "i: j=v j=v; i: ..." with %.17g values, rows and cells in list
// order (an empty row prints as "i:").
std::string Structure(const CSparseMatrix& S);
// True when both matrices have the same rows and cells with bit-identical values.
bool SameBits(const CSparseMatrix& a, const CSparseMatrix& b);
// A sparse matrix from triplets (i, j, v), added in the given order through Add(i, j, v, c)
// (zeros are stored).
CSparseMatrix FromTriplets(const std::vector<std::tuple<int, int, double>>& entries);
// A random symmetric positive definite matrix of order n as its upper triangle: about
// `perRow` off-diagonal entries per row within `band` of the diagonal, diagonally dominant.
CSparseMatrix RandomSpdUpper(int n, int perRow, int band, unsigned seed);

}  // namespace tarvel_test
