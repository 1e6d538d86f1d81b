// CSkylineMatrix::GaussSeidel_Iter: Gauss-Seidel sweeps on A x = b with A held as its upper
// triangle U + D (the lower triangle is U^T):
//   x_new = (D + U^T)^-1 (b - U x_old)
// formed in two halves per sweep: first x = b - U y (y the previous iterate), column by column
// of the profile; then x_i = (x_i - sum_{r=p_i}^{i-1} u_ri x_r) / a_ii in increasing i, with the
// entries x_r already new. The sweep stops when ||y - x||inf < tol (strict).
// Reference: Y. Saad, Iterative Methods for Sparse Linear Systems, 2nd ed., sec. 4.1.
#include <tarvel/core/Vector.h>
#include <tarvel/platform/Clock.h>
#include <tarvel/platform/detail/Report.h>
#include <tarvel/skyline/SkylineMatrix.h>

#include <algorithm>

// Steps: 1. trivial orders; 2. the previous iterate y; 3. sweeps; 4. x holds the last iterate;
// 5. the report.
int CSkylineMatrix::GaussSeidel_Iter(CVector& b, CVector& x, double tol, int maxIter)
{
    // -- 1. --
    const int n = b.GetSize();
    if (n == 0) return 1;
    if (n == 1)
    {
        x[0] = b[0] / *m_ppDiag[0];
        return 1;
    }

    // -- 2. --
    int result = -1;
    double err = 0.0;
    long firstTicks = 0, secondTicks = 0;
    const long start = TarvelClock();
    CVector y;
    y.Allocate(n, false, 0.0);
    y = x;

    // -- 3. --
    int it = 0;
    for (; it < maxIter; ++it)
    {
        x = b;
        double* xs = x.m_pData;
        const double* ys = y.m_pData;

        // x = b - U y, column by column
        long t0 = TarvelClock();
        for (int i = 1; i < n; ++i)
        {
            const int p = PeakRow(i);
            const double* u = m_ppDiag[i] - (i - p);  // u[r - p] = (r, i)
            const double y_i = ys[i];
            for (int r = p; r < i; ++r) xs[r] -= y_i * u[r - p];
        }
        long t1 = TarvelClock();
        firstTicks += t1 - t0;

        // x_i = (x_i - sum u_ri x_r) / a_ii with the new x_r
        for (int i = 0; i < n; ++i)
        {
            const int p = PeakRow(i);
            const double* u = m_ppDiag[i] - (i - p);
            double s = 0.0;
            for (int r = p; r < i; ++r) s += xs[r] * u[r - p];
            xs[i] = (xs[i] - s) / *m_ppDiag[i];
        }
        secondTicks += TarvelClock() - t1;

        y -= x;  // the change of this sweep
        err = y.InfNorm();
        if (err < tol)
        {
            result = 1;
            break;
        }
        y.SwitchVectors(&x);  // y: the new iterate; x: scratch for the next sweep
    }

    // -- 4. --
    if (result != 1) y.SwitchVectors(&x);

    // -- 5. --
    using namespace tarvel::detail;
    const ReportTime total = report_time(seconds_by_product(TarvelClock() - start));
    const ReportTime first = report_time(seconds_by_product(firstTicks));
    const ReportTime second = report_time(seconds_by_product(secondTicks));
    show_report("Used time solving :   %u m %2.2f s\r\nFirst            :   %u m %2.2f "
                "s\r\nLast             :   %u m %2.2f s\r\n Number of iter. :   %u\r\n NEQ  "
                "           :   %u\r\n Norm of error   :   %e",
                total.minutes, total.seconds, first.minutes, first.seconds, second.minutes,
                second.seconds, static_cast<unsigned>(std::min(it + 1, maxIter)),
                static_cast<unsigned>(n), err);
    return result;
}
