// Model problems for the solver tests, assembled element by element through AddValues, each
// with an independent dense twin; the scaled residual and the one reference solve of the tests;
// a printer and exact comparisons of the row/cell lists; a random sparse generator and the
// driver that compares a fast kernel with its plain form.
#pragma once

#include "support/Dense.h"

#include <tarvel/Tarvel.h>

#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace tarvel_test
{

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

inline constexpr auto& Mat = MakeMatrix;  // rows x cols, the values row by row
// max |x - reference| / max |reference| over all elements (the shapes must agree).
double MaxRelativeDifference(const CVector& x, const CVector& reference);
// X with A X = B by Gaussian elimination with partial pivoting, written here; the loops keep
// to A's band (w = max |i - j| over the non-zeros: L within w, U within 2w), so grids of a
// few thousand unknowns solve quickly.
CMatrix DenseSolve(const CMatrix& A, const CMatrix& B);

// The text with every elapsed-time field ("%u m %2.2f s", the only part a clock decides)
// replaced by "T s".
std::string Untimed(const std::string& text);

// The lists of S as text: "i: j=v j=v; i: ..." with %.17g values, rows and cells in list
// order (an empty row prints as "i:").
std::string Structure(const CSparseMatrix& S);
// Same rows and cells with bit-identical values / same shape and bit-identical elements.
bool SameBits(const CSparseMatrix& a, const CSparseMatrix& b);
inline bool SameBits(const CMatrix& a, const CMatrix& b) { return Text(a) == Text(b); }
// A sparse matrix from triplets (i, j, v), added in the given order through Add(i, j, v, c)
// (zeros are stored).
CSparseMatrix FromTriplets(const std::vector<std::tuple<int, int, double>>& entries);

// A system matrix of n rows holding the non-zero entries of S.
inline CSystSpMat System(int n, CSparseMatrix&& S)
{
    CSystSpMat K(n);
    K = std::move(S);
    return K;
}

// A random n x n pattern for the kernel comparisons. Row i stores its diagonal, diag plus a
// small integer, then perRow draws (i, j), j in i + 1 .. i + band, valued -2 .. 2 so that
// updates cancel exactly and zeros get stored; unless upper, each draw also stores (j, i) with
// its own value, or nothing when that value is 0 (a pattern slightly unsymmetric). With gaps,
// about one row in five is not stored at all (it gets no draws either).
struct Pattern
{
    int n;
    int perRow;
    int band;
    bool upper;
    double diag;
    bool gaps;
};
CSparseMatrix RandomSparse(std::mt19937& gen, const Pattern& p);

// Applies fast and plain to copies of A: the same result, lists, bits and m_Flops. Returns the
// result. Callers restore m_Flops (GlobalStateTest).
template <class Matrix, class Fast, class Plain>
int ExpectSameAsPlain(const Matrix& A, Fast fast, Plain plain)
{
    Matrix f(A), p(A);
    CVirtMat::m_Flops = 7;
    const int result = fast(f);
    const std::uint32_t flops = CVirtMat::m_Flops;
    CVirtMat::m_Flops = 7;
    EXPECT_EQ(result, plain(p));
    EXPECT_EQ(flops, CVirtMat::m_Flops);
    EXPECT_TRUE(SameBits(f, p)) << Structure(f) << "\n" << Structure(p);
    return result;
}

}  // namespace tarvel_test
