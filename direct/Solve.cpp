// The substitutions with the supernodal factor: L Y = B forward, L^T X = Y backward, for k
// right-hand sides at once.
//
// X holds the right-hand sides row by row (row i, the k values of pivot i, contiguous): read as
// a column-major k x n matrix, the rows of a supernode's pivots are its columns k1 .. k2-1, so
// each supernode is (T. Davis, Direct Methods for Sparse Linear Systems, SIAM 2006, sec. 9.3):
//   forward   X1^T <- X1^T L11^-T                  (dtrsm)
//             X2^T <- X2^T - X1^T L21^T            (dgemm into a work block, then scattered
//                                                    to the rows below, rowInd)
//   backward  X1^T <- (X1^T - X2^T L21) L11^-1     (the rows below gathered, dgemm, dtrsm)
// Supernodes whose block is small go through plain loops: the BLAS's call costs more there.
#include "detail/Blas.h"
#include "detail/Numeric.h"

#include <algorithm>

namespace tarvel::direct
{

namespace
{

constexpr int64_t kPlainBlock = 512;  // nsrow * nscol * k below which the loops run

const double kOne = 1.0, kMinusOne = -1.0, kZero = 0.0;

// Forward step of supernode s in plain loops, column by column:
// x_c = x_c / l_cc, then x_r -= l_rc x_c for the rows r below c.
void forward_plain(const double* L, int nscol, int nsrow, const int* rows, double* X, int k)
{
    for (int c = 0; c < nscol; ++c)
    {
        const double* l = L + static_cast<int64_t>(c) * nsrow;
        double* x_c = X + static_cast<int64_t>(rows[c]) * k;
        for (int j = 0; j < k; ++j) x_c[j] /= l[c];
        for (int i = c + 1; i < nsrow; ++i)
        {
            double* x_r = X + static_cast<int64_t>(rows[i]) * k;
            const double l_ic = l[i];
            for (int j = 0; j < k; ++j) x_r[j] -= l_ic * x_c[j];
        }
    }
}

// Backward step of supernode s in plain loops: x_c = (x_c - sum_{r>c} l_rc x_r) / l_cc, c
// descending.
void backward_plain(const double* L, int nscol, int nsrow, const int* rows, double* X, int k)
{
    for (int c = nscol - 1; c >= 0; --c)
    {
        const double* l = L + static_cast<int64_t>(c) * nsrow;
        double* x_c = X + static_cast<int64_t>(rows[c]) * k;
        for (int i = c + 1; i < nsrow; ++i)
        {
            const double* x_r = X + static_cast<int64_t>(rows[i]) * k;
            const double l_ic = l[i];
            for (int j = 0; j < k; ++j) x_c[j] -= l_ic * x_r[j];
        }
        for (int j = 0; j < k; ++j) x_c[j] /= l[c];
    }
}

}  // namespace

void solve_factored(const Symbolic& S, const double* values, double* X, int k, int threads)
{
    if (S.nsuper == 0 || k == 0) return;
    int64_t widest = 0;  // rows below the pivots of any supernode
    for (int s = 0; s < S.nsuper; ++s) widest = std::max(widest, S.nrows(s) - S.ncols(s));
    std::vector<double> work(static_cast<size_t>(widest * k));
    double* W = work.data();
    BlasThreads blas(threads);

    // -- 1. Forward: L Y = B --
    for (int s = 0; s < S.nsuper; ++s)
    {
        const int k1 = S.superStart[s], nscol = S.ncols(s);
        const int nsrow = static_cast<int>(S.nrows(s)), below = nsrow - nscol;
        const double* L = values + S.valuePtr[s];
        const int* rows = S.rowInd.data() + S.rowPtr[s];
        if (static_cast<int64_t>(nsrow) * nscol * k < kPlainBlock)
        {
            forward_plain(L, nscol, nsrow, rows, X, k);
            continue;
        }
        double* X1 = X + static_cast<int64_t>(k1) * k;
        dtrsm_("R", "L", "T", "N", &k, &nscol, &kOne, L, &nsrow, X1, &k);
        if (below == 0) continue;
        dgemm_("N", "T", &k, &below, &nscol, &kOne, X1, &k, L + nscol, &nsrow, &kZero, W, &k);
        for (int i = 0; i < below; ++i)
        {
            double* x_r = X + static_cast<int64_t>(rows[nscol + i]) * k;
            const double* w = W + static_cast<int64_t>(i) * k;
            for (int j = 0; j < k; ++j) x_r[j] -= w[j];
        }
    }

    // -- 2. Backward: L^T X = Y --
    for (int s = S.nsuper - 1; s >= 0; --s)
    {
        const int k1 = S.superStart[s], nscol = S.ncols(s);
        const int nsrow = static_cast<int>(S.nrows(s)), below = nsrow - nscol;
        const double* L = values + S.valuePtr[s];
        const int* rows = S.rowInd.data() + S.rowPtr[s];
        if (static_cast<int64_t>(nsrow) * nscol * k < kPlainBlock)
        {
            backward_plain(L, nscol, nsrow, rows, X, k);
            continue;
        }
        double* X1 = X + static_cast<int64_t>(k1) * k;
        if (below > 0)
        {
            for (int i = 0; i < below; ++i)
                std::copy_n(X + static_cast<int64_t>(rows[nscol + i]) * k, k,
                            W + static_cast<int64_t>(i) * k);
            dgemm_("N", "N", &k, &nscol, &below, &kMinusOne, W, &k, L + nscol, &nsrow, &kOne, X1,
                   &k);
        }
        dtrsm_("R", "L", "N", "N", &k, &nscol, &kOne, L, &nsrow, X1, &k);
    }
}

}  // namespace tarvel::direct
