// CSkylineMatrix: the substitutions with the factors A = U^T D U and the diagonal scaling, on
// right-hand sides held as the columns of a row-major CMatrix B (entry (i, c) at
// m_pData[i * cols + c]).
//
//   ForwSub  U^T y = b:  y_i = b_i - sum_{r=p_i}^{i-1} u_ri y_r  (mode 2: then / (i, i))
//   BackwSub U x = y:    x_i = y_i - u_ij x_j for j = n-1 down to i+1 with p_j <= i  (mode 2:
//                        then / (i, i))
//
// Columns of B are independent, so every row is worked for all of them at once, the row of B
// being contiguous; a single right-hand side goes through the vector kernels of
// detail/SkylineKernels.h (a dot product in partial sums, which may round differently from one
// running sum). BackwSub walks columns instead of rows: once x_j is final, column j's stored
// stretch subtracts u_ij x_j from each row i >= p_j; row i still sees its subtractions for
// j = n-1 down to i+1 in that order, in time proportional to the profile.
// Reference: G. H. Golub, C. F. Van Loan, Matrix Computations, 4th ed., sec. 3.1.
#include <tarvel/core/Matrix.h>
#include <tarvel/platform/detail/Report.h>
#include <tarvel/skyline/SkylineMatrix.h>
#include <tarvel/skyline/detail/SkylineKernels.h>

#include <algorithm>

namespace
{

constexpr int kChunk = 8;  // right-hand sides summed together

using tarvel::detail::SecondsArgument;

}  // namespace

void CSkylineMatrix::ForwSub(CVirtMat* B, double* seconds, int mode)
{
    SecondsArgument timer(seconds);
    if (mode != 1 && mode != 2) return;
    CMatrix& M = *static_cast<CMatrix*>(B);
    const int cols = M.GetColumns();
    double* b = M.m_pData;
    const tarvel::detail::SkylineKernels& kernels = tarvel::detail::skyline_kernels();
    for (int i = 0; i < m_nOrder; ++i)
    {
        const int p = PeakRow(i);
        const double* u = m_ppDiag[i] - (i - p);  // u[r - p] = (r, i)
        double* b_i = b + static_cast<long>(i) * cols;
        for (int c0 = 0; c0 < cols; c0 += kChunk)
        {
            const int width = std::min(kChunk, cols - c0);
            double s[kChunk] = {};
            if (cols == 1)
                s[0] = kernels.dot(u, b + p, i - p);
            else
                for (int r = p; r < i; ++r)
                {
                    const double u_ri = u[r - p];
                    const double* b_r = b + static_cast<long>(r) * cols + c0;
                    for (int c = 0; c < width; ++c) s[c] += u_ri * b_r[c];
                }
            for (int c = 0; c < width; ++c) b_i[c0 + c] -= s[c];
        }
        if (mode == 2)
        {
            const double d_i = *m_ppDiag[i];
            for (int c = 0; c < cols; ++c) b_i[c] = b_i[c] / d_i;
        }
    }
}

void CSkylineMatrix::BackwSub(CVirtMat* B, double* seconds, int mode)
{
    SecondsArgument timer(seconds);
    if (mode != 1 && mode != 2) return;
    CMatrix& M = *static_cast<CMatrix*>(B);
    const int cols = M.GetColumns();
    double* b = M.m_pData;
    const tarvel::detail::SkylineKernels& kernels = tarvel::detail::skyline_kernels();
    for (int j = m_nOrder - 1; j >= 0; --j)
    {
        double* x_j = b + static_cast<long>(j) * cols;
        if (mode == 2)  // row j has received all its subtractions: x_j is final after this
        {
            const double d_j = *m_ppDiag[j];
            for (int c = 0; c < cols; ++c) x_j[c] = x_j[c] / d_j;
        }
        const int p = PeakRow(j);
        const double* u = m_ppDiag[j] - (j - p);  // u[i - p] = (i, j)
        if (cols == 1)
            kernels.axpy(x_j[0], u, b + p, j - p);
        else
            for (int i = p; i < j; ++i)
            {
                const double u_ij = u[i - p];
                double* b_i = b + static_cast<long>(i) * cols;
                for (int c = 0; c < cols; ++c) b_i[c] -= u_ij * x_j[c];
            }
    }
}

void CSkylineMatrix::DiagMult(CVirtMat* B, double* seconds, int mode)
{
    CMatrix& M = *static_cast<CMatrix*>(B);
    const int cols = M.GetColumns();
    if (cols == 0) return;
    SecondsArgument timer(seconds);
    double* b = M.m_pData;
    const int n = m_nOrder;
    switch (mode)
    {
    case 1:
        for (int i = 0; i < n; ++i) *m_ppDiag[i] *= b[static_cast<long>(i) * cols];
        break;
    case -1:
        for (int i = 0; i < n; ++i) *m_ppDiag[i] /= b[static_cast<long>(i) * cols];
        break;
    case 2:
    case -2:
        for (int i = 0; i < n; ++i)
        {
            const double d_i = *m_ppDiag[i];
            double* b_i = b + static_cast<long>(i) * cols;
            if (mode == 2)
                for (int c = 0; c < cols; ++c) b_i[c] *= d_i;
            else
                for (int c = 0; c < cols; ++c) b_i[c] /= d_i;
        }
        break;
    default:
        break;
    }
}
