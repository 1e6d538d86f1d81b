// Upper Cholesky factorization A = U^T U of a dense symmetric matrix, in place, row-oriented
// (outer-product form), reading only the diagonal and upper triangle.
// Reference: G. H. Golub, C. F. Van Loan, Matrix Computations, 4th ed., sec. 4.2.
#include <tarvel/core/Matrix.h>

#include <cmath>

// For k = 0 .. n-1:
//   -- 1. d = a_kk; d == 0.0 -> result 0, the matrix partly factorized (a negative d is not
//         detected: its square root is NaN);
//   -- 2. (k < n-1) for each i > k with f = a_ki != 0.0: a_ij -= (f / d) a_kj for j >= i, so
//         only the upper triangle of the trailing block is updated;
//   -- 3. row k: zero left of the diagonal, divided by sqrt(d) from the diagonal on.
// Result 1. The matrix must not be empty.
int CMatrix::Cholesky()
{
    const int n = m_nRows;
    const int cols = columns();
    double* a = m_pData;
    for (int k = 0; k < n; ++k)
    {
        double* a_k = a + static_cast<long>(k) * cols;
        // -- 1. Pivot --
        const double d = a_k[k];
        if (d == 0.0) return 0;
        // -- 2. Trailing update, upper triangle only --
        for (int i = k + 1; i < n; ++i)
        {
            const double f = a_k[i];
            if (f == 0.0) continue;
            const double f_d = f / d;
            double* a_i = a + static_cast<long>(i) * cols;
            for (int j = i; j < n; ++j) a_i[j] -= f_d * a_k[j];
        }
        // -- 3. Finish row k of U --
        const double s = std::sqrt(d);
        for (int j = 0; j < k; ++j) a_k[j] = 0.0;
        for (int j = k; j < n; ++j) a_k[j] /= s;
    }
    return 1;
}
