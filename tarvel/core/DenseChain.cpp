// Multiplication of a chain of dense matrices, in the given order or in the order of fewest
// scalar multiplications found by dynamic programming.
// Reference: T. H. Cormen, C. E. Leiserson, R. L. Rivest, C. Stein, Introduction to
// Algorithms, 3rd ed., sec. 15.2 (MATRIX-CHAIN-ORDER).
#include <tarvel/core/Matrix.h>
#include <tarvel/platform/Clock.h>
#include <tarvel/platform/detail/Report.h>

#include <cfloat>
#include <climits>
#include <cstdarg>
#include <memory>
#include <new>

namespace
{

// A double truncated toward zero to a 32-bit integer, as the x86 conversion instruction does:
// a value out of range (or NaN) gives INT_MIN instead of undefined behaviour.
int truncate_to_int32(double x)
{
    if (!(x > -2147483649.0 && x < 2147483648.0)) return INT_MIN;
    return static_cast<int>(x);
}

}  // namespace

// Cost table m and split table s for the chain of n = size(p) - 1 matrices, matrix t being
// p_t x p_{t+1}; chain positions i..j are one-based and stored at (i-1, j-1):
//   m(i, j) = min_{i <= k < j} p_{i-1} p_k p_j + m(i, k) + m(k+1, j)
// each candidate truncated to a 32-bit integer, ties keeping the smallest k. Returns m(1, n)
// (0.0 for a single matrix); s must be n x n.
double CMatrix::MatrixChainOrder(CMatrix* s, CVector* p)
{
    const int n = p->m_nSize - 1;
    if (n < 1) return 0.0;
    CMatrix m(n, n, true, 0.0);
    if (!m.m_pData) return 0.0;
    if (n < 2) return m(0, 0);
    const double* d = p->m_pData;
    for (int l = 2; l <= n; ++l)
    {
        for (int i = 1; i <= n - l + 1; ++i)
        {
            const int j = i + l - 1;
            double& m_ij = m(i - 1, j - 1);
            m_ij = DBL_MAX;
            for (int k = i; k <= j - 1; ++k)
            {
                const int q =
                    truncate_to_int32(d[i - 1] * d[k] * d[j] + m(i - 1, k - 1) + m(k, j - 1));
                if (q < m_ij)
                {
                    m_ij = q;
                    (*s)(i - 1, j - 1) = k;
                }
            }
        }
    }
    return m(0, n - 1);
}

// Product of matrices i..j (one-based) of A in the order of s, left in A[i-1]; the first
// matrices of right-hand sub-chains are overwritten too.
void CMatrix::ChainMultRec(CMatrix** A, CMatrix* s, int i, int j)
{
    if (j <= i) return;
    const int k = static_cast<int>((*s)(i - 1, j - 1));
    ChainMultRec(A, s, i, k);
    ChainMultRec(A, s, k + 1, j);
    *A[i - 1] *= *A[k];
}

// first = first * A_1 * ... * A_{n-1} (n - 1 further CMatrix* arguments), in the cheapest
// order when optimal, else left to right. Returns the processor time in seconds.
double CMatrix::ChainMult(bool optimal, int n, CMatrix* first, ...)
{
    const long start = TarvelClock();
    std::unique_ptr<CMatrix*[]> A(new (std::nothrow)
                                      CMatrix*[static_cast<std::size_t>(n > 0 ? n : 1)]);
    if (!A) return 0.0;
    A[0] = first;
    va_list args;
    va_start(args, first);
    for (int t = 1; t < n; ++t) A[t] = va_arg(args, CMatrix*);
    va_end(args);

    if (optimal)
    {
        CVector p(n + 1, true, 0.0);
        p[0] = first->m_nRows;
        for (int t = 0; t < n; ++t) p[t + 1] = A[t]->GetColumns();
        CMatrix s(n, n, true, 0.0);
        MatrixChainOrder(&s, &p);
        ChainMultRec(A.get(), &s, 1, n);
    }
    else
    {
        for (int t = 1; t < n; ++t) *first *= *A[t];
    }
    return tarvel::detail::seconds_by_product(TarvelClock() - start);
}
