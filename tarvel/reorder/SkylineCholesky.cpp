// CSkylineMatrix: the root-free Cholesky factorization A = U^T D U in place and the
// Cholesky_Solve driver with its report.
//
// Column j (peak p, m = j - p) is reduced against the columns it overlaps (Bathe, Finite
// Element Procedures, 1996, sec. 8.2.3, the active-column solver):
//   w = column j;  for i = p .. j-1:  w_i = (w_i - sum_{r=max(p_i,p)}^{i-1} (w_r u_ri) d_r) / d_i
//   d_j = w_j - sum_{r=p}^{j-1} (w_r w_r) d_r
// so that w_i = u_ij afterwards. Each sum starts at +0.0 and runs in increasing r.
//
// The member reduces kLanes consecutive columns together. A sum of one column depends on the
// earlier entries of the same column, never on the other columns of the block, so the block
// keeps its columns interleaved in a work array (lane b of row r at W[(r - P) kLanes + b]) and
// forms the sums of all lanes in one pass over r: kLanes independent chains instead of one,
// each with its own operations in its own order. Where a lane's sum has not started yet (its
// start r0 = max(p_i, p_b) lies above the shared part), the lane adds +0.0, which leaves a sum
// unchanged: a sum started at +0.0 is never -0.0 under rounding to nearest. Rows inside the
// block wait until the column of that row is finished (its diagonal is known and it is written
// back); the results are those of tarvel::detail::skyline_cholesky_plain bit for bit.
#include <tarvel/core/Matrix.h>
#include <tarvel/platform/Clock.h>
#include <tarvel/platform/detail/Report.h>
#include <tarvel/reorder/SkylineMatrix.h>
#include <tarvel/reorder/detail/SkylineKernels.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <new>

namespace
{

constexpr int kLanes = 8;  // columns reduced together: enough independent sums to fill the pipes

// A read-only view of the profile for the kernel.
struct Profile
{
    double* const* diag;  // diag[j]: address of (j, j) (K2)
    const int* height;    // K1

    int peak(int j) const { return j - height[j] + 1; }
    double* column(int j) const { return diag[j] - (height[j] - 1); }  // address of (peak, j)
};

// One block of columns j0 .. j0 + lanes - 1 (lanes <= kLanes) in the work array W.
class ColumnBlock
{
public:
    ColumnBlock(const Profile& A, double* d, double* W, int j0, int lanes)
        : m_A(A), m_d(d), m_W(W), m_j0(j0), m_lanes(lanes)
    {
        m_P = INT_MAX;
        for (int b = 0; b < kLanes; ++b)
        {
            m_peak[b] = b < lanes ? A.peak(j0 + b) : INT_MAX;  // absent lanes never start
            m_P = std::min(m_P, m_peak[b]);
        }
    }

    // Steps: 1. load the columns; 2. reduce them against the rows above the block; 3. finish
    // the block's triangle column by column.
    void factorize()
    {
        // -- 1. Interleave the block's columns; rows outside a column hold 0.0 --
        const int rows = m_j0 + m_lanes - m_P;
        std::fill(m_W, m_W + static_cast<long>(rows) * kLanes, 0.0);
        for (int b = 0; b < m_lanes; ++b)
        {
            const double* src = m_A.column(m_j0 + b);
            for (int r = m_peak[b]; r <= m_j0 + b; ++r) w(r)[b] = src[r - m_peak[b]];
        }
        // -- 2. Rows of finished columns: every lane whose column reaches the row --
        for (int i = m_P; i < m_j0; ++i) reduce_row(i, 0);
        // -- 3. Column j0 + t is finished before row j0 + t of the later lanes reads it --
        for (int t = 0; t < m_lanes; ++t)
        {
            finish_column(t);
            if (t + 1 < m_lanes) reduce_row(m_j0 + t, t + 1);
        }
    }

private:
    double* w(int r) const { return m_W + static_cast<long>(r - m_P) * kLanes; }

    // w_ib = (w_ib - sum_{r=max(p_i, p_b)}^{i-1} (w_rb u_ri) d_r) / d_i for the lanes b >= first
    // whose column reaches row i (p_b <= i). Column i is finished.
    void reduce_row(int i, int first)
    {
        const int p_i = m_A.peak(i);
        const double* u_i = m_A.column(i);  // u_i[r - p_i] = (r, i)
        int start[kLanes];                  // first r of each lane's sum; i: no sum
        int lo = i, shared = p_i;           // [lo, shared): some lanes wait; [shared, i): all
        bool any = false;
        for (int b = 0; b < kLanes; ++b)
        {
            start[b] = i;
            if (b < first || m_peak[b] > i) continue;
            start[b] = std::max(p_i, m_peak[b]);
            lo = std::min(lo, start[b]);
            shared = std::max(shared, start[b]);
            any = true;
        }
        if (!any) return;

        double s[kLanes] = {};
        const double* d = m_d;
        for (int r = lo; r < shared; ++r)  // lanes whose sum has not started add +0.0
        {
            const double u_ri = u_i[r - p_i], d_r = d[r];
            const double* w_r = w(r);
            for (int b = 0; b < kLanes; ++b)
            {
                const double term = (w_r[b] * u_ri) * d_r;
                s[b] += r >= start[b] ? term : 0.0;
            }
        }
        for (int r = shared; r < i; ++r)  // the sums of the lanes that do not reach row i are
        {                                 // formed too and dropped below
            const double u_ri = u_i[r - p_i], d_r = d[r];
            const double* w_r = w(r);
            for (int b = 0; b < kLanes; ++b) s[b] += (w_r[b] * u_ri) * d_r;
        }
        double* w_i = w(i);
        const double d_i = d[i];
        for (int b = first; b < m_lanes; ++b)
            if (m_peak[b] <= i) w_i[b] = (w_i[b] - s[b]) / d_i;
    }

    // d_j = w_jj - sum_{r=p}^{j-1} (w_r w_r) d_r for the column of lane t, then the column goes
    // back into the profile.
    void finish_column(int t)
    {
        const int j = m_j0 + t, p = m_peak[t];
        double s = 0.0;
        for (int r = p; r < j; ++r)
        {
            const double w_r = w(r)[t];
            s += (w_r * w_r) * m_d[r];
        }
        w(j)[t] -= s;
        m_d[j] = w(j)[t];
        double* dst = m_A.column(j);
        for (int r = p; r <= j; ++r) dst[r - p] = w(r)[t];
    }

    const Profile& m_A;
    double* m_d;
    double* m_W;
    int m_j0;
    int m_lanes;
    int m_P;  // lowest peak of the block: row m_P is row 0 of W
    int m_peak[kLanes];
};

}  // namespace

int CSkylineMatrix::Cholesky()
{
    const int n = m_nOrder;
    if (n <= 1) return 1;  // column 0 is its own factor
    const int tallest = *std::max_element(m_pHeight, m_pHeight + n);
    std::unique_ptr<double[]> d(DiagVect());  // d_r, the pivots found so far
    std::unique_ptr<double[]> W(
        new (std::nothrow) double[static_cast<size_t>(tallest + kLanes) * kLanes]);
    if (!d || !W) return -1;

    const Profile A{m_ppDiag, m_pHeight};
    for (int j0 = 1; j0 < n; j0 += kLanes)
        ColumnBlock(A, d.get(), W.get(), j0, std::min(kLanes, n - j0)).factorize();
    return 1;
}

int tarvel::detail::skyline_cholesky_plain(CSkylineMatrix& A)
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

// Steps: 1. reset the counter and the time; 2. factorize; 3. forward substitution, diagonal
// scaling, backward substitution; 4. the total time; 5. the report.
int CSkylineMatrix::Cholesky_Solve(CVirtMat* B, double& seconds)
{
    // -- 1. --
    m_Flops = 0;
    seconds = tarvel::detail::kTicksPerSecond;  // until the elapsed time is known
    const long start = TarvelClock();
    const long factorStart = TarvelClock();

    // -- 2. --
    const int status = Cholesky();
    if (status != 1)
    {
        seconds = -1.0;
        return status;
    }

    // -- 3. --
    const long forwardStart = TarvelClock();
    ForwSub(B, nullptr, 1);
    const long backwardStart = TarvelClock();  // the backward time includes the scaling
    DiagMult(B, nullptr, -2);
    BackwSub(B, nullptr, 1);
    const long end = TarvelClock();

    // -- 4. --
    using namespace tarvel::detail;
    seconds = seconds_by_division(end - start);

    // -- 5. --
    const ReportTime factor = report_time(seconds_by_product(forwardStart - factorStart));
    const ReportTime forward = report_time(seconds_by_product(backwardStart - forwardStart));
    const ReportTime backward = report_time(seconds_by_product(end - backwardStart));
    show_report("Used time:\r\n Factorizing  :   %u m %2.2f s\r\n Forw. subst. :   %u m %2.2f "
                "s\r\n Backw. subst.:   %u m %2.2f s\r\n Size stiffm. :   %u\r\n Flops        : "
                "  %10.3e",
                factor.minutes, factor.seconds, forward.minutes, forward.seconds, backward.minutes,
                backward.seconds, static_cast<unsigned>(m_nValues), static_cast<double>(m_Flops));
    return 1;
}
