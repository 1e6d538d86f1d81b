// Reference forms of the sparse factorizations, written the direct way the textbooks state them,
// for the tests that compare the library's faster members with them bit for bit: the same lists,
// the same values, the same partial state after a failure.
#pragma once

#include <tarvel/Tarvel.h>

namespace tarvel_test
{

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

}  // namespace tarvel_test
