// The kernels of the dense products and element-wise operations, compiled once per instruction
// set (portable SSE2, AVX2, AVX-512) and chosen at run time for the processor, so that a build
// without -march is fast everywhere.
//
// Every kernel forms each result element with the operations, and in the order, of the plain
// loop it replaces: a product element is 0.0 + a_i0 b_0j + a_i1 b_1j + ... added in increasing
// k, one rounding per multiplication and per addition (no fused multiply-add). The vectors run
// across independent elements (the columns j of a row of C), so each element sees the same
// sequence of roundings as in the plain loop and the results agree bit for bit.
// Reference: K. Goto, R. van de Geijn, Anatomy of high-performance matrix multiplication,
// ACM TOMS 34(3), 2008 (register tiles, panels of B reused across the rows of A).
#pragma once

#include <cstddef>

namespace tarvel::detail
{

struct DenseKernels
{
    const char* name;  // "avx512", "avx2" or "sse2" ("generic" off x86)
    // C = A B: A r x m (row stride lda), B m x n (ldb), C r x n (ldc); c_ij = sum_k a_ik b_kj
    // from 0.0 in increasing k. C overlaps neither A nor B.
    void (*product)(const double* a, long lda, const double* b, long ldb, double* c, long ldc,
                    int r, int m, int n);
    // y_i += sum_j a_ij x_j (the sum from 0.0 in increasing j), i < r, j < n.
    void (*row_dots)(const double* a, long lda, const double* x, double* y, int r, int n);
    // y_j += x_i a_ij for i = 0 .. r-1 in turn, j < n.
    void (*column_sums)(const double* a, long lda, const double* x, double* y, int r, int n);
    // x_k *= f; x_k += y_k; x_k -= y_k; x_k += f y_k (k < n).
    void (*scale)(double* x, double f, long n);
    void (*add)(double* x, const double* y, long n);
    void (*subtract)(double* x, const double* y, long n);
    void (*add_scaled)(double* x, double f, const double* y, long n);
    // In place on the n x n block of a row-major array with cols columns, the loops of
    // CMatrix::LU (false at a zero pivot) and CMatrix::Cholesky (0 at a zero pivot, else 1).
    bool (*lu)(double* a, int n, long cols);
    int (*cholesky)(double* a, int n, long cols);
};

// The kernels the operations run: the best set of this processor (DenseSurroundings.cpp; the
// tests link their own choice in its place).
const DenseKernels& dense_kernels();
// Every kernel set this processor can run, best first, ending with a null entry.
const DenseKernels* const* dense_kernel_sets();

// The element-wise operations of the vector: below kShortRun elements the plain loop (same
// operations) costs less than the call into a kernel.
constexpr long kShortRun = 8;
inline void scale_elements(double* x, double f, long n)
{
    if (n >= kShortRun) return dense_kernels().scale(x, f, n);
    for (long k = 0; k < n; ++k) x[k] *= f;
}
inline void add_elements(double* x, const double* y, long n)
{
    if (n >= kShortRun) return dense_kernels().add(x, y, n);
    for (long k = 0; k < n; ++k) x[k] += y[k];
}
inline void subtract_elements(double* x, const double* y, long n)
{
    if (n >= kShortRun) return dense_kernels().subtract(x, y, n);
    for (long k = 0; k < n; ++k) x[k] -= y[k];
}
inline void add_scaled_elements(double* x, double f, const double* y, long n)
{
    if (n >= kShortRun) return dense_kernels().add_scaled(x, f, y, n);
    for (long k = 0; k < n; ++k) x[k] += f * y[k];
}

// T (cols x rows) = A^T for A rows x cols (row stride lda); T does not overlap A.
void transpose_into(const double* a, long lda, int rows, int cols, double* t);

// Work space of n doubles for one operation: an array inside the object (on the caller's stack)
// up to kLocal doubles, which covers element matrices; else the calling thread's kept array
// (grown on demand, freed with the thread) when no other operation of the thread holds it and
// n is at most kKept; else an array of its own, freed with this object. get() is null when no
// storage can be had.
class DenseScratch
{
public:
    static constexpr std::size_t kLocal = 1024;                 // 8 KiB of stack
    static constexpr std::size_t kKept = std::size_t(1) << 16;  // 512 KiB a thread

    explicit DenseScratch(std::size_t n) : m_pData(m_aLocal), m_bKept(false)
    {
        if (n > kLocal) take(n);
    }
    ~DenseScratch()
    {
        if (m_pData != m_aLocal) give_back();
    }
    DenseScratch(const DenseScratch&) = delete;
    DenseScratch& operator=(const DenseScratch&) = delete;
    double* get() const { return m_pData; }

private:
    void take(std::size_t n);
    void give_back();

    double* m_pData;
    bool m_bKept;  // the thread's array, handed back by give_back
    double m_aLocal[kLocal];
};

}  // namespace tarvel::detail
