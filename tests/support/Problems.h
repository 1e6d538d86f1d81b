// Test problems and checks for the solver tests: the finite-element models of examples/fem as
// element lists over their free DOFs, each with a dense twin summed here; the scale-free
// residual and the tolerance of a backward-stable solve; the reference solve; the row/cell lists
// as text; a random sparse generator, the reference factorizations and the comparison of a fast
// kernel with its plain form.
#pragma once

#include "fem/Problems.h"
#include "support/Dense.h"

#include <tarvel/Tarvel.h>

#include <cfloat>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace tarvel_test
{

// n unknowns and the elements, each a list of k DOF numbers (negative: no part) with its k x k
// row-major matrix.
struct Mesh
{
    int n = 0;
    std::vector<std::vector<long>> dofs;
    std::vector<std::vector<double>> ke;

    void AssembleInto(CVirtRealMat& A) const;  // one AddValues per element, in element order
    CMatrix Dense() const;                     // the n x n sum, written here without AddValues
};

// The elements of p over its free DOFs, numbered 0, 1, ... in increasing DOF order (fixed: -1);
// with all, over every DOF in p's own numbering.
Mesh FreeMesh(const tarvel_fem::FemProblem& p, bool all = false);
// The unit square's Poisson problem on a k x k grid of unknowns numbered row by row: the Q4
// Laplacian, every unknown coupled to its eight neighbours; SPD, its eigenvalues
// 8/3 - 2/3 (cos a + cos b) - 4/3 cos a cos b, a, b in pi/(k + 1) .. pi k/(k + 1), so a condition
// below (k + 1)^2 / 4.
inline Mesh Grid(int k) { return FreeMesh(tarvel_fem::poisson_2d(k + 1)); }

struct Problem
{
    CSparseMatrix A;  // assembled through AddValues; only the upper triangle when asked
    CMatrix b;        // the right-hand sides, kept aside
    CMatrix rhs;      // a copy of b for the solver to overwrite
};
Problem MakeProblem(const Mesh& mesh, int nRhs, bool upperOnly, unsigned seed = 1);

inline constexpr auto& Mat = MakeMatrix;  // rows x cols, the values row by row
// max |x - reference| / max |reference| over all elements (the shapes must agree).
double MaxRelativeDifference(const CVector& x, const CVector& reference);
// What two backward-stable solves of order n and condition kappa may differ by, relatively.
inline double SolveTolerance(int n, double kappa) { return kappa * n * DBL_EPSILON; }
// ||A X - B|| / (||A|| ||X|| + ||B||) in the infinity norms (X, B: CMatrix objects of n rows,
// or vectors), the product formed here from A's cells; a matrix holding only its upper triangle
// stands for the symmetric one. A backward-stable solve keeps it near n eps whatever the
// condition.
double ScaledResidual(const CSparseMatrix& A, const CVector& X, const CVector& B);
// X with A X = B by Gaussian elimination within A's band, written here; without pivoting, for
// the symmetric positive definite matrices and those whose other rows are unit rows.
CMatrix DenseSolve(const CMatrix& A, const CMatrix& B);

// The text with every elapsed-time field ("%u m %2.2f s") replaced by "T s".
std::string Untimed(const std::string& text);

// The lists of S as text: "i: j=v j=v; i: ..." with %.17g values, rows and cells in list
// order (an empty row prints as "i:").
std::string Structure(const CSparseMatrix& S);
// Same rows and cells with bit-identical values / same shape and bit-identical elements.
inline bool SameBits(const CSparseMatrix& a, const CSparseMatrix& b)
{
    return Structure(a) == Structure(b);  // %.17g tells every two doubles apart (and -0 from 0)
}
inline bool SameBits(const CMatrix& a, const CMatrix& b) { return Text(a) == Text(b); }
// A sparse matrix from triplets (i, j, v), added in the given order (zeros are stored).
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
// its own value, or nothing when that value is 0. With gaps, about one row in five is not
// stored at all (it gets no draws either).
struct Pattern
{
    int n, perRow, band;
    bool upper;
    double diag;
    bool gaps;
};
CSparseMatrix RandomSparse(std::mt19937& gen, const Pattern& p);

// Reference forms of the sparse factorizations, written the direct way the textbooks state them,
// for the comparisons of the library's faster members with them bit for bit (ExpectSameAsPlain):
// the same lists, the same values, the same partial state after a failure.
// Row-oriented LU without pivoting, visiting every later row for every pivot k: l = a_rk / u_kk
// stored at (r, k), -(u_km l) added at every column m of the pivot row right of its diagonal
// (sorted insertion; a cursor holding 0.0 is only passed). -1 at the first row k whose index is
// not k, whose cursor is not on its diagonal, or whose pivot is 0.0 or NaN. As CSparseMatrix::LU.
// Reference: G. H. Golub, C. F. Van Loan, Matrix Computations, 4th ed., sec. 3.2.
int LuRightLooking(CSparseMatrix& A);

// Square-root-free Cholesky of the upper triangle, right-looking: for each row k in list
// order, check it (index k, first cell its diagonal, d_k > 0, every sending entry aimed at a
// stored row), then merge f = -a_kj / d_k times the row from column j on into row j for every
// entry (k, j) right of the diagonal that is not 0.0 or NaN, then store a_kj / d_k. Counts one
// flop per row and two per entry update in m_Flops. As CSparseMatrix::Cholesky.
// Reference: G. H. Golub, C. F. Van Loan, Matrix Computations, 4th ed., sec. 4.1 (LDL^T).
int CholeskyRightLooking(CSparseMatrix& A);

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
