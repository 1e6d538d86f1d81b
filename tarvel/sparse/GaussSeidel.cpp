// Gauss-Seidel iteration on the system matrix for one right-hand side, with its timing report.
//
//   x_i <- (b_i - sum_{j<i} a_ij x_j(new) - sum_{j>i} a_ij x_j(old)) / a_ii,  i = 0 .. n - 1
// Full storage (m_bSym false) takes row i as it stands. Upper-triangle storage (m_bSym true)
// applies the lower part through the stored upper part, column by column, so no transposed copy
// is built:
//   1. x_i = b_i - sum_{j>i} a_ij w_j                 (w: the previous iterate)
//   2. for i = 0 .. n - 1: x_i /= a_ii; x_j -= a_ij x_i for the stored j > i  (a_ji = a_ij)
// Both stop when the largest change of an element in a sweep is below tol (strictly).
// Reference: Y. Saad, Iterative Methods for Sparse Linear Systems, 2nd ed., sec. 4.1.
#include <tarvel/core/Vector.h>
#include <tarvel/platform/Clock.h>
#include <tarvel/platform/String.h>
#include <tarvel/platform/detail/Report.h>
#include <tarvel/sparse/SystSpMat.h>
#include <tarvel/sparse/detail/ListNodes.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

using tarvel::detail::Cell;
using tarvel::detail::Row;

namespace
{

// One sweep on full storage; returns max_i |x_i(new) - x_i(old)|. The diagonal of row i is its
// first cell at or right of column i (0.0 when there is none).
double sweep_full(const Row* rows, const double* b, double* x, int n)
{
    double error = 0.0;
    for (int i = 0; i < n; ++i)
    {
        double sum = b[i];
        double d = 0.0;
        bool seen = false;
        for (const Cell* c = rows[i].m_pFirstCell; c; c = c->m_pNext)
        {
            if (!seen && c->m_nCol >= i)
            {
                d = c->m_dValue;
                seen = true;
            }
            else
            {
                sum -= c->m_dValue * x[c->m_nCol];  // x_j new for j < i, old for j > i
            }
        }
        const double updated = sum / d;
        const double change = std::fabs(updated - x[i]);
        if (change > error) error = change;
        x[i] = updated;
    }
    return error;
}

// One sweep on upper-triangle storage from the previous iterate w into x; then w becomes
// w - x and the result is its largest absolute element. The first cell of a row is its diagonal.
double sweep_upper(const Row* rows, const double* b, double* x, double* w, int n)
{
    // -- 1. The upper part with the previous iterate --
    for (int i = 0; i < n; ++i)
    {
        double xi = b[i];
        const Cell* first = rows[i].m_pFirstCell;
        for (const Cell* c = first ? first->m_pNext : nullptr; c; c = c->m_pNext)
            xi -= c->m_dValue * w[c->m_nCol];
        x[i] = xi;
    }
    // -- 2. The diagonal and, column by column, the lower part with the new values --
    for (int i = 0; i < n; ++i)
    {
        const Cell* first = rows[i].m_pFirstCell;
        x[i] /= first ? first->m_dValue : 0.0;
        if (i == n - 1) break;  // the last row's cells after its diagonal are not applied
        const double xi = x[i];
        for (const Cell* c = first ? first->m_pNext : nullptr; c; c = c->m_pNext)
            x[c->m_nCol] -= c->m_dValue * xi;
    }
    // -- 3. The change: w - x in the maximum norm --
    double error = 0.0;
    for (int i = 0; i < n; ++i)
    {
        w[i] -= x[i];
        const double change = std::fabs(w[i]);
        if (change > error) error = change;
    }
    return error;
}

void show_report(double seconds, unsigned sweeps, unsigned n, double error, bool symmetric)
{
    const auto t = tarvel::detail::report_time(seconds);
    tarvel::detail::show_report("Used time solving :   %u m %2.2f s\r\n"
                                " Number of iter. :   %u\r\n"
                                " NEQ             :   %u\r\n"
                                " Norm of error   :   %e\r\n"
                                " Symmetric       :   %u\r\n"
                                "%u\r\n"
                                "%u",
                                t.minutes, t.seconds, sweeps, n, error, symmetric ? 1u : 0u, 24u,
                                16u);
}

}  // namespace

// GaussSeidel_Iter(b, x, tol, maxIter): n = b's size; 1 when a sweep s changes no element of x
// by tol or more (the report then shows s + 1 sweeps), -1 after maxIter sweeps (it shows
// maxIter); x holds the last iterate. The report always follows.
int CSystSpMat::GaussSeidel_Iter(CVector& b, CVector& x, double tol, int maxIter)
{
    const long start = TarvelClock();
    const int n = b.m_nSize > 0 ? b.m_nSize : 0;
    const bool symmetric = m_bSym;
    int result = -1;
    unsigned sweeps = 0;
    double error = 0.0;
    const bool solvable = maxIter > 0 && n <= m_nRowArraySize && n <= x.m_nSize;
    std::unique_ptr<double[]> work;  // upper storage: the previous iterate
    if (solvable && symmetric) work.reset(new (std::nothrow) double[static_cast<std::size_t>(n)]);
    if (n == 0)
    {
        result = 1;  // an empty system is solved
    }
    else if (solvable && (!symmetric || work))
    {
        sweeps = static_cast<unsigned>(maxIter);
        if (!symmetric)
        {
            for (int s = 0; s < maxIter; ++s)
            {
                error = sweep_full(m_pRowArray, b.m_pData, x.m_pData, n);
                if (error < tol)
                {
                    result = 1;
                    sweeps = static_cast<unsigned>(s) + 1;
                    break;
                }
            }
        }
        else
        {
            // The iterates alternate between x's array and the work array; the last one is
            // copied into x's array when it ends in the other.
            double* next = x.m_pData;
            double* previous = work.get();
            std::memcpy(previous, next, sizeof(double) * static_cast<std::size_t>(n));
            for (int s = 0; s < maxIter; ++s)
            {
                error = sweep_upper(m_pRowArray, b.m_pData, next, previous, n);
                if (error < tol)
                {
                    result = 1;
                    sweeps = static_cast<unsigned>(s) + 1;
                    break;
                }
                std::swap(next, previous);  // `previous` holds the new iterate
            }
            const double* last = result == 1 ? next : previous;
            if (last != x.m_pData)
                std::memcpy(x.m_pData, last, sizeof(double) * static_cast<std::size_t>(n));
        }
    }
    show_report(tarvel::detail::seconds_by_product(TarvelClock() - start), sweeps,
                static_cast<unsigned>(n), error, symmetric);
    return result;
}
