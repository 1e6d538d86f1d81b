// Upper Cholesky factorization A = U^T U of a dense symmetric matrix, in place, row-oriented
// (outer-product form), reading only the diagonal and upper triangle.
// Reference: G. H. Golub, C. F. Van Loan, Matrix Computations, 4th ed., sec. 4.2.
#include <tarvel/core/Matrix.h>
#include <tarvel/core/detail/DenseKernels.h>

// For k = 0 .. n-1:
//   -- 1. d = a_kk; d == 0.0 -> result 0, the matrix partly factorized (a negative d is not
//         detected: its square root is NaN);
//   -- 2. (k < n-1) for each i > k with f = a_ki != 0.0: a_ij -= (f / d) a_kj for j >= i, so
//         only the upper triangle of the trailing block is updated;
//   -- 3. row k: zero left of the diagonal, divided by sqrt(d) from the diagonal on.
// Result 1. The matrix must not be empty. The loops are the cholesky kernel of
// detail/DenseKernels.h.
int CMatrix::Cholesky()
{
    return tarvel::detail::dense_kernels().cholesky(m_pData, m_nRows, columns());
}
