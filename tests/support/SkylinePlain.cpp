// The skyline kernels written as the textbook states them, one element at a time through
// operator() and PeakRow, each sum one running sum from +0.0 in increasing r.
#include "support/SkylinePlain.h"

#include <algorithm>
#include <memory>
#include <new>

namespace tarvel_test
{

int CholeskyPlain(CSkylineMatrix& A)
{
    const int n = A.m_nOrder;
    if (n <= 1) return 1;
    const int tallest = *std::max_element(A.m_pHeight, A.m_pHeight + n);
    std::unique_ptr<double[]> w(new (std::nothrow) double[static_cast<size_t>(tallest)]);
    std::unique_ptr<double[]> d(A.DiagVect());
    if (!w || !d) return -1;
    for (int j = 1; j < n; ++j)
    {
        const int p = A.PeakRow(j), m = j - p;
        for (int r = p; r <= j; ++r) w[r - p] = A(r, j);
        for (int i = p; i < j; ++i)
        {
            const int q = std::max(A.PeakRow(i), p);
            double s = 0.0;
            for (int r = q; r < i; ++r) s += (w[r - p] * A(r, i)) * d[r];
            w[i - p] -= s;
            w[i - p] = w[i - p] / d[i];
        }
        double s = 0.0;
        for (int r = p; r < j; ++r) s += (w[r - p] * w[r - p]) * d[r];
        w[m] -= s;
        d[j] = w[m];
        for (int r = p; r <= j; ++r) A(r, j) = w[r - p];
    }
    return 1;
}

void ForwSubPlain(CSkylineMatrix& A, CMatrix& B, int mode)
{
    if (mode != 1 && mode != 2) return;
    const int n = A.m_nOrder;
    for (int c = B.GetColumns() - 1; c >= 0; --c)
        for (int i = 0; i < n; ++i)
        {
            double s = 0.0;
            for (int r = A.PeakRow(i); r < i; ++r) s += A(r, i) * B(r, c);
            B(i, c) -= s;
            if (mode == 2) B(i, c) = B(i, c) / A(i, i);
        }
}

void BackwSubPlain(CSkylineMatrix& A, CMatrix& B, int mode)
{
    if (mode != 1 && mode != 2) return;
    const int n = A.m_nOrder;
    for (int c = B.GetColumns() - 1; c >= 0; --c)
        for (int i = n - 1; i >= 0; --i)
        {
            for (int j = n - 1; j > i; --j)
                if (A.PeakRow(j) <= i) B(i, c) -= A(i, j) * B(j, c);
            if (mode == 2) B(i, c) = B(i, c) / A(i, i);
        }
}

}  // namespace tarvel_test
