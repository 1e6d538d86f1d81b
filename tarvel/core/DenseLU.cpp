// LU factorization of a dense square matrix, without and with partial pivoting, the solve with
// several right-hand sides, and the determinant.
//
// LU form (both factorizations): the strictly lower part holds the multipliers of the unit
// lower triangle L (its unit diagonal is not stored), diagonal and upper part hold U, so that
// P A = L U. Pivots are compared with exactly 0.0; there is no tolerance.
// Reference: G. H. Golub, C. F. Van Loan, Matrix Computations, 4th ed., sec. 3.2 and 3.4.
#include <tarvel/core/Matrix.h>
#include <tarvel/core/detail/DenseKernels.h>
#include <tarvel/platform/Clock.h>
#include <tarvel/platform/detail/Report.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

// Kij elimination without row exchanges, in place (the lu kernel of detail/DenseKernels.h).
// For k = 0 .. n-1:
//   p = a_kk; p == 0.0 -> null (the matrix stays partly factorized);
//   every row i > k with a_ik != 0.0: l_ik = a_ik / p, a_ij -= l_ik a_kj for j > k.
// Returns this matrix (also for n < 1).
CMatrix* CMatrix::LU()
{
    return tarvel::detail::dense_kernels().lu(m_pData, m_nRows, columns()) ? this : nullptr;
}

double CMatrix::Multiply(int i, int j, double f)
{
    double& x = m_pData[index(i, j)];
    x = x * f;
    return x;
}

// Partial (row) pivoting, in place; perm receives a new array of n ints, perm[i] = the row
// that stands at row i after the factorization had before it.
//   -- 1. pivot: the largest |a_ik|, i >= k; the running maximum starts at 0.0 and moves only on
//         a strictly larger value, so among equal magnitudes the upper row wins;
//   -- 2. a zero column below the diagonal: release perm, null it, result -1;
//   -- 3. exchange the whole rows (multipliers included) and the permutation entries;
//   -- 4. scale the multipliers through the virtual Multiply by 1/a_kk (formed per row) and
//         update the trailing block.
// The last pivot a_{n-1,n-1} is not tested. Result 1, or -1 also when perm cannot be allocated.
int CMatrix::LUP_Decomp(int*& perm)
{
    const int n = m_nRows;
    perm = new (std::nothrow) int[static_cast<std::size_t>(n > 0 ? n : 0)];
    if (!perm) return -1;
    for (int i = 0; i < n; ++i) perm[i] = i;
    if (n - 1 < 1) return 1;

    const int cols = columns();
    double* a = m_pData;
    for (int k = 0; k < n - 1; ++k)
    {
        // -- 1. Pivot search --
        double largest = 0.0;
        int kp = k;
        for (int i = k; i < n; ++i)
        {
            const double m = std::fabs(a[index_of(i, k, cols)]);
            if (m > largest)
            {
                largest = m;
                kp = i;
            }
        }
        // -- 2. Singular column --
        if (largest == 0.0)
        {
            delete[] perm;
            perm = nullptr;
            return -1;
        }
        // -- 3. Row exchange --
        std::swap(perm[k], perm[kp]);
        if (kp != k)
        {
            double* r1 = a + static_cast<long>(k) * cols;
            double* r2 = a + static_cast<long>(kp) * cols;
            for (int j = 0; j < n; ++j) std::swap(r1[j], r2[j]);
        }
        // -- 4. Elimination --
        const double* a_k = a + static_cast<long>(k) * cols;
        for (int i = k + 1; i < n; ++i)
        {
            Multiply(i, k, 1.0 / a_k[k]);
            double* a_i = a + static_cast<long>(i) * cols;
            const double l_ik = a_i[k];
            for (int j = k + 1; j < n; ++j) a_i[j] -= a_k[j] * l_ik;
        }
    }
    return 1;
}

// Solves A X = B for every column of B (X overwrites B), A in LU form. With perm (from
// LUP_Decomp) through a work vector y = L^-1 P b (per-thread work space); without (from LU) in
// place:
//   forward   y_i = b_{perm_i} - sum_{j<i} l_ij y_j            (the sum from 0.0)
//   backward  x_i = (y_i - u_i,i+1 x_i+1 - ... - u_i,n-1 x_n-1) / u_ii, subtracted term by term
// Nothing is solved when the work vector cannot be allocated.
void CMatrix::LUP_Solve(CMatrix* A, int* perm, CMatrix* B)
{
    const int n = A->m_nRows;
    const int acols = A->columns();
    const int m = B->GetColumns();
    const double* a = A->m_pData;
    double* b = B->m_pData;

    if (perm)
    {
        tarvel::detail::DenseScratch work(static_cast<std::size_t>(n > 0 ? n : 0));
        double* y = work.get();
        if (!y || m < 1) return;
        for (int c = 0; c < m; ++c)
        {
            for (int i = 0; i < n; ++i)  // -- forward: L y = P b
            {
                const double* l_i = a + static_cast<long>(i) * acols;
                double s = 0.0;
                for (int j = 0; j < i; ++j) s += l_i[j] * y[j];
                y[i] = b[index_of(perm[i], c, m)] - s;
            }
            for (int i = n - 1; i >= 0; --i)  // -- backward: U x = y; rows below i are solved
            {
                const double* u_i = a + static_cast<long>(i) * acols;
                double s = y[i];
                for (int j = i + 1; j < n; ++j) s -= u_i[j] * b[index_of(j, c, m)];
                b[index_of(i, c, m)] = s / u_i[i];
            }
        }
        return;
    }
    for (int c = 0; c < m; ++c)
    {
        for (int i = 0; i < n; ++i)  // -- forward: L y = b, in place
        {
            const double* l_i = a + static_cast<long>(i) * acols;
            double s = 0.0;
            for (int j = 0; j < i; ++j) s += l_i[j] * b[index_of(j, c, m)];
            double& b_i = b[index_of(i, c, m)];
            b_i = b_i - s;
        }
        for (int i = n - 1; i >= 0; --i)  // -- backward: U x = y
        {
            const double* u_i = a + static_cast<long>(i) * acols;
            double s = b[index_of(i, c, m)];
            for (int j = i + 1; j < n; ++j) s -= u_i[j] * b[index_of(j, c, m)];
            b[index_of(i, c, m)] = s / u_i[i];
        }
    }
}

// Factorizes (LUP_Decomp when pivoting, else LU, both virtual) and solves for B. seconds = 0.0
// at entry and, on success, the processor time of the factorization alone. False, B
// untouched, when the factorization fails.
bool CMatrix::SolveAxEqb(CMatrix* B, bool pivoting, double& seconds)
{
    seconds = 0.0;
    const long start = TarvelClock();
    int* perm = nullptr;
    if (pivoting)
    {
        if (LUP_Decomp(perm) != 1) return false;
    }
    else if (!LU())
    {
        return false;
    }
    seconds = tarvel::detail::seconds_by_product(TarvelClock() - start);
    LUP_Solve(this, perm, B);
    delete[] perm;
    return true;
}

// det A = prod u_ii from the unpivoted LU of a copy (in per-thread work space): 0.0 when that
// LU meets a zero pivot (so a regular matrix with a zero leading pivot reports 0.0) or as soon
// as the product is 0.0.
double CMatrix::Det() const
{
    tarvel::detail::DenseScratch lu(static_cast<std::size_t>(m_nSize));
    if (!lu.get()) return 0.0;  // no storage for the copy
    std::copy_n(m_pData, m_nSize, lu.get());
    const int cols = columns();
    if (!tarvel::detail::dense_kernels().lu(lu.get(), m_nRows, cols)) return 0.0;
    const int n = std::min(m_nRows, cols);
    double det = 1.0;
    for (int i = 0; i < n; ++i)
    {
        det *= lu.get()[index_of(i, i, cols)];
        if (det == 0.0) return 0.0;
    }
    return det;
}

// Determinant of the order-2 block with top-left (i, j); every other order gives 0.0.
double CMatrix::SubDetSqMat(int i, int j, int order)
{
    if (order != 2) return 0.0;
    return GetValue(i, j) * GetValue(i + 1, j + 1) - GetValue(i, j + 1) * GetValue(i + 1, j);
}
