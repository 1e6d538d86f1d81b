// CSkylineMatrix: the root-free Cholesky factorization A = U^T D U in place and the
// Cholesky_Solve driver with its report.
//
// Column j (peak p_j) is reduced against the columns it overlaps (Bathe, Finite Element
// Procedures, 1996, sec. 8.2.3, the active-column solver). With v_ij = d_i u_ij:
//   v_ij = a_ij - sum_{r=max(p_i,p_j)}^{i-1} u_ri v_rj,   u_ij = v_ij / d_i   (p_j <= i < j)
//   d_j  = a_jj - sum_{r=p_j}^{j-1} u_rj v_rj
//
// The columns are reduced kSkylineLanes at a time (a block J = j0 .. j1-1, lowest peak P) in a
// work array V holding row r of every column of J side by side (detail/SkylineKernels.h):
//   1. V = the block's columns, 0.0 above each peak;
//   2. rows P .. j0-1: v_i -= sum_r u_ri v_r with the finished columns i (the vector kernel);
//   3. u_rj = v_rj / d_r into the profile for r < j0;
//   4. rows j0 .. j1-1: the same sums over r < j0, all rows of the block at once;
//   5. row by row inside the block: the sums over j0 <= r < i, then d_i = v_ii, the pivot test
//      and u_ij = v_ij / d_i for the later columns j of the block.
// Each sum is formed in several partial sums (tiles of rows and lanes, fused multiply-adds where
// the processor has them), so the results differ from the column-by-column order by rounding.
// Blocks are always full: the work of a block is set by its lowest peak P whatever the number
// of its columns, so a column that reaches far up costs the same in a full block as alone.
#include <tarvel/core/Matrix.h>
#include <tarvel/platform/Clock.h>
#include <tarvel/platform/detail/Progress.h>
#include <tarvel/platform/detail/Report.h>
#include <tarvel/skyline/SkylineMatrix.h>
#include <tarvel/skyline/detail/SkylineKernels.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <new>

int tarvel::detail::skyline_cholesky_blocked(CSkylineMatrix& S, const SkylineKernels& kernels)
{
    constexpr int L = kSkylineLanes;  // lanes of a block
    const int n = S.m_nOrder;
    if (n == 0) return 1;
    const SkylineColumns A{S.m_ppDiag, S.m_pHeight};
    const int tallest = *std::max_element(S.m_pHeight, S.m_pHeight + n);
    const size_t rows = static_cast<size_t>(tallest) + L;  // rows P .. j1-1 of any block
    std::unique_ptr<double[]> V(new (std::nothrow) double[rows * L]);
    std::unique_ptr<double[]> U(new (std::nothrow) double[rows * L]);  // V / d, rows < j0
    if (!V || !U) return -1;

    int lane_peak[L];
    tarvel::detail::ProgressReport progress("Cholesky", n);
    for (int j0 = 0; j0 < n;)
    {
        progress.step(j0);
        const int j1 = std::min(j0 + L, n), lanes = j1 - j0;
        int P = INT_MAX;
        for (int b = 0; b < L; ++b)
        {
            lane_peak[b] = b < lanes ? A.peak(j0 + b) : INT_MAX;
            P = std::min(P, lane_peak[b]);
        }
        const SkylineBlock B{V.get(), P, lane_peak};
        auto v = [&](int r) { return V.get() + static_cast<long>(r - P) * L; };
        auto u = [&](int r) { return U.get() + static_cast<long>(r - P) * L; };

        // -- 1. Load the block; rows outside a column's profile hold 0.0 --
        double* column[L] = {};  // column[b][r - lane_peak[b]] = (r, j0 + b)
        for (int b = 0; b < lanes; ++b) column[b] = S.m_ppDiag[j0 + b] - (S.m_pHeight[j0 + b] - 1);
        std::fill(V.get(), v(j1), 0.0);
        for (int b = 0; b < lanes; ++b)  // the columns lie one after another: read in order
            for (int r = lane_peak[b]; r <= j0 + b; ++r) v(r)[b] = column[b][r - lane_peak[b]];
        // -- 2. Rows of the finished columns --
        kernels.reduce_rows(A, B, P, j0, P, j0);
        // -- 3. Their factors u_rj = v_rj / d_r go into the profile --
        for (int r = P; r < j0; ++r) kernels.divide_row(v(r), *S.m_ppDiag[r], u(r));
        for (int b = 0; b < lanes; ++b)  // written in address order, as read in step 1
            for (int r = lane_peak[b]; r < j0; ++r) column[b][r - lane_peak[b]] = u(r)[b];
        // -- 4. The block's own rows against the rows above it --
        kernels.reduce_rows(A, B, j0, j1, P, j0);
        // -- 5. Inside the block, row by row --
        for (int t = 0; t < lanes; ++t)
        {
            const int i = j0 + t;
            kernels.reduce_rows(A, B, i, i + 1, j0, i);
            const double d_i = v(i)[t];
            if (!(d_i > 0.0)) return -1;  // zero, negative or NaN: not positive definite
            *S.m_ppDiag[i] = d_i;
            for (int b = t + 1; b < lanes; ++b)
                if (lane_peak[b] <= i) column[b][i - lane_peak[b]] = v(i)[b] / d_i;
        }
        j0 = j1;
    }
    progress.finish();
    return 1;
}

int CSkylineMatrix::Cholesky()
{
    return tarvel::detail::skyline_cholesky_blocked(*this, tarvel::detail::skyline_kernels());
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

const char* CSkylineMatrix::KernelSetName() { return tarvel::detail::skyline_kernels().name; }
