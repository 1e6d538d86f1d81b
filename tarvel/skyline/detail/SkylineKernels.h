// The vector kernels of the skyline factorization and substitutions, compiled once per
// instruction set (portable SSE2, AVX2 with FMA, AVX-512) and chosen at run time for the
// processor, so that a build without -march is fast everywhere.
//
// The factorization reduces kSkylineLanes consecutive columns at a time in a work array V whose
// row r holds row r of those columns side by side (row P of the block first, kSkylineLanes
// doubles per row, 0.0 outside a column's profile). The heavy step is
//   v_i -= sum_{r=max(p_i, lo)}^{min(i, hi)-1} u_ri v_r      for the rows i of a range in turn,
// u_ri being the finished entry (r, i) of column i (peak p_i) and v_r a row of V: a product of
// a profile panel with the block, register-blocked over several rows i and lanes at once.
// Reference: K. Goto, R. van de Geijn, Anatomy of high-performance matrix multiplication,
// ACM TOMS 34(3), 2008 (the micro-kernel); Bathe, Finite Element Procedures, 1996, sec. 8.2.3
// (the active-column order it is applied in).
#pragma once

class CSkylineMatrix;

namespace tarvel::detail
{

constexpr int kSkylineLanes = 24;  // columns of a block: a multiple of 6, 12 and 24 (the tiles)

// The block being reduced: V row r (P <= r) at v + (r - P) * kSkylineLanes; lane b is column
// j0 + b, whose rows above lane_peak[b] are 0.0 (INT_MAX marks a lane past the last column).
struct SkylineBlock
{
    double* v;
    int P;
    const int* lane_peak;
};

// A read-only view of a profile: diag[i] is the address of (i, i), height[i] the column height.
struct SkylineColumns
{
    double* const* diag;
    const int* height;

    int peak(int i) const { return i - height[i] + 1; }
    const double* column(int i) const { return diag[i] - (height[i] - 1); }  // (peak, i)
};

struct SkylineKernels
{
    const char* name;  // "avx512", "avx2" or "sse2" ("generic" off x86)
    // Rows i = first .. last-1 of the block in turn:
    //   v_i -= sum_{r=max(p_i, lo)}^{min(i, hi)-1} u_ri v_r.
    void (*reduce_rows)(const SkylineColumns& A, const SkylineBlock& B, int first, int last, int lo,
                        int hi);
    // sum_k a_k b_k, k < n, in several interleaved partial sums.
    double (*dot)(const double* a, const double* b, int n);
    // y_k -= alpha x_k, k < n.
    void (*axpy)(double alpha, const double* x, double* y, int n);
    // y_k = x_k / d, k < kSkylineLanes (one row of the block).
    void (*divide_row)(const double* x, double d, double* y);
};

// The kernels for the processor running this program (chosen once).
const SkylineKernels& skyline_kernels();
// Every kernel set this processor can run, best first, ending with a null entry.
const SkylineKernels* const* skyline_kernel_sets();

// Root-free Cholesky A = U^T D U of a profile in blocks of kSkylineLanes columns with the given
// kernels. 1; -1 when a pivot d_j is not positive (zero, negative or NaN), the columns before j
// holding their factors and the rest partly reduced, or when the work array cannot be had (the
// matrix untouched).
int skyline_cholesky_blocked(CSkylineMatrix& A, const SkylineKernels& kernels);

}  // namespace tarvel::detail
