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
// and for a single right-hand side the same with dtrsv and dgemv.
// Supernodes whose block is small go through plain loops: the BLAS's call costs more there.
// The right-hand sides are solved in equal groups of at most kRhsBlock columns (each a block of
// leading dimension k), the groups spread over the threads and the BLAS on one thread: every
// solution has the same bits whatever the thread count. Each group reads the whole factor twice,
// so the groups are as wide as the BLAS keeps efficient (100 right-hand sides make one group).
#include "detail/Blas.h"
#include "detail/Numeric.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

namespace tarvel::direct
{

namespace
{

constexpr int64_t kPlainBlock = 512;  // nsrow * nscol * m below which the loops run
constexpr int kRhsBlock = 128;        // right-hand sides solved together

const double kOne = 1.0, kMinusOne = -1.0, kZero = 0.0;
const int kUnit = 1;  // stride of a contiguous vector

// Forward step of supernode s in plain loops, column by column:
// x_c = x_c / l_cc, then x_r -= l_rc x_c for the rows r below c.
void forward_plain(const double* L, int nscol, int nsrow, const int* rows, double* X, int k, int m)
{
    for (int c = 0; c < nscol; ++c)
    {
        const double* l = L + static_cast<int64_t>(c) * nsrow;
        double* x_c = X + static_cast<int64_t>(rows[c]) * k;
        for (int j = 0; j < m; ++j) x_c[j] /= l[c];
        for (int i = c + 1; i < nsrow; ++i)
        {
            double* x_r = X + static_cast<int64_t>(rows[i]) * k;
            const double l_ic = l[i];
            for (int j = 0; j < m; ++j) x_r[j] -= l_ic * x_c[j];
        }
    }
}

// Backward step of supernode s in plain loops: x_c = (x_c - sum_{r>c} l_rc x_r) / l_cc, c
// descending.
void backward_plain(const double* L, int nscol, int nsrow, const int* rows, double* X, int k, int m)
{
    for (int c = nscol - 1; c >= 0; --c)
    {
        const double* l = L + static_cast<int64_t>(c) * nsrow;
        double* x_c = X + static_cast<int64_t>(rows[c]) * k;
        for (int i = c + 1; i < nsrow; ++i)
        {
            const double* x_r = X + static_cast<int64_t>(rows[i]) * k;
            const double l_ic = l[i];
            for (int j = 0; j < m; ++j) x_c[j] -= l_ic * x_r[j];
        }
        for (int j = 0; j < m; ++j) x_c[j] /= l[c];
    }
}

// The m right-hand sides at X (element (i, j) at X[i * k + j]) by the substitutions; W holds
// m * (rows below the pivots of any supernode) doubles.
void solve_group(const Symbolic& S, const double* values, double* X, int k, int m, double* W)
{
    // -- 1. Forward: L Y = B --
    for (int s = 0; s < S.nsuper; ++s)
    {
        const int k1 = S.superStart[s], nscol = S.ncols(s);
        const int nsrow = static_cast<int>(S.nrows(s)), below = nsrow - nscol;
        const double* L = values + S.valuePtr[s];
        const int* rows = S.rowInd.data() + S.rowPtr[s];
        if (static_cast<int64_t>(nsrow) * nscol * m < kPlainBlock)
        {
            forward_plain(L, nscol, nsrow, rows, X, k, m);
            continue;
        }
        double* X1 = X + static_cast<int64_t>(k1) * k;
        if (m == 1)  // one right-hand side: the level-2 forms
        {
            dtrsv_("L", "N", "N", &nscol, L, &nsrow, X1, &k);
            if (below == 0) continue;
            dgemv_("N", &below, &nscol, &kOne, L + nscol, &nsrow, X1, &k, &kZero, W, &kUnit);
        }
        else
        {
            dtrsm_("R", "L", "T", "N", &m, &nscol, &kOne, L, &nsrow, X1, &k);
            if (below == 0) continue;
            dgemm_("N", "T", &m, &below, &nscol, &kOne, X1, &k, L + nscol, &nsrow, &kZero, W, &m);
        }
        for (int i = 0; i < below; ++i)
        {
            double* x_r = X + static_cast<int64_t>(rows[nscol + i]) * k;
            const double* w = W + static_cast<int64_t>(i) * m;
            for (int j = 0; j < m; ++j) x_r[j] -= w[j];
        }
    }

    // -- 2. Backward: L^T X = Y --
    for (int s = S.nsuper - 1; s >= 0; --s)
    {
        const int k1 = S.superStart[s], nscol = S.ncols(s);
        const int nsrow = static_cast<int>(S.nrows(s)), below = nsrow - nscol;
        const double* L = values + S.valuePtr[s];
        const int* rows = S.rowInd.data() + S.rowPtr[s];
        if (static_cast<int64_t>(nsrow) * nscol * m < kPlainBlock)
        {
            backward_plain(L, nscol, nsrow, rows, X, k, m);
            continue;
        }
        double* X1 = X + static_cast<int64_t>(k1) * k;
        for (int i = 0; i < below; ++i)
            std::copy_n(X + static_cast<int64_t>(rows[nscol + i]) * k, m,
                        W + static_cast<int64_t>(i) * m);
        if (m == 1)
        {
            if (below > 0)
                dgemv_("T", &below, &nscol, &kMinusOne, L + nscol, &nsrow, W, &kUnit, &kOne, X1,
                       &k);
            dtrsv_("L", "T", "N", &nscol, L, &nsrow, X1, &k);
        }
        else
        {
            if (below > 0)
                dgemm_("N", "N", &m, &nscol, &below, &kMinusOne, W, &m, L + nscol, &nsrow, &kOne,
                       X1, &k);
            dtrsm_("R", "L", "N", "N", &m, &nscol, &kOne, L, &nsrow, X1, &k);
        }
    }
}

}  // namespace

void solve_factored(const Symbolic& S, const double* values, double* X, int k, int threads)
{
    if (S.nsuper == 0 || k == 0) return;
    int64_t widest = 0;  // rows below the pivots of any supernode
    for (int s = 0; s < S.nsuper; ++s) widest = std::max(widest, S.nrows(s) - S.ncols(s));
    const int groups = (k + kRhsBlock - 1) / kRhsBlock;
    const int team = std::max(1, std::min(threads, groups));
    const int width = (k + groups - 1) / groups;  // equal groups, set by k alone
    std::vector<double> work(static_cast<size_t>(widest * width) * team);
    const BlasThreads blas(1);
    std::atomic<int> next(0);
    auto run = [&](int t)
    {
        double* W = work.data() + static_cast<size_t>(widest * width) * t;
        for (int g = next.fetch_add(1); g < groups; g = next.fetch_add(1))
        {
            const int j0 = g * width;  // past k for the last groups when k is large
            if (j0 < k) solve_group(S, values, X + j0, k, std::min(width, k - j0), W);
        }
    };
    std::vector<std::thread> helpers;
    try
    {
        for (int t = 1; t < team; ++t) helpers.emplace_back(run, t);
    }
    catch (const std::system_error&)  // fewer threads: the others take the groups
    {
    }
    run(0);
    for (std::thread& t : helpers) t.join();
}

}  // namespace tarvel::direct
