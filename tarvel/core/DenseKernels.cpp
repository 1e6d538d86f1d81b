// The dense kernels of detail/DenseKernelBody.h compiled for each instruction set, the choice
// among them by what the processor reports (cpuid through the compiler's builtin), the
// transpose and the per-thread work space.
//
//   set      vector        tile (rows x lanes)   partial vector
//   avx512   8 doubles     8 x 24                lane mask (k register)
//   avx2     4 doubles     4 x 12                lane mask (maskload/maskstore)
//   sse2     2 doubles     4 x 4                 one lane (movsd)
//   generic  1 double      2 x 4                 none (processors other than x86)
//
// The tiles keep all accumulators, the loaded vectors of B and the broadcast a_ik in registers
// (28 of 32 with AVX-512, 16 of 16 with AVX2). Each set is compiled with its own target
// attributes, so the library itself needs no -march; sse2 is the x86-64 baseline. None uses a
// fused multiply-add: results are those of the plain loops, bit for bit.
#include <tarvel/core/detail/DenseKernels.h>

#include <algorithm>
#include <memory>
#include <new>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TARVEL_DENSE_X86 1
#include <immintrin.h>
#endif

namespace tarvel::detail
{
namespace
{

namespace generic
{
using Vec = double;
using Mask = int;
constexpr int kWidth = 1, kTileRows = 2, kTileVecs = 4;
inline Vec zero() { return 0.0; }
inline Vec load(const double* p) { return *p; }
inline void store(double* p, Vec x) { *p = x; }
inline Vec splat(double a) { return a; }
inline Mask mask_of(int n) { return n; }
inline Vec load_part(const double* p, Mask) { return *p; }  // never called: no partial vector
inline void store_part(double* p, Vec x, Mask) { *p = x; }
inline Vec add(Vec a, Vec b) { return a + b; }
inline Vec sub(Vec a, Vec b) { return a - b; }
inline Vec mul(Vec a, Vec b) { return a * b; }
#include <tarvel/core/detail/DenseKernelBody.h>
}  // namespace generic

#ifdef TARVEL_DENSE_X86

namespace sse2
{
using Vec = __m128d;
using Mask = int;  // the one lane of a partial vector
constexpr int kWidth = 2, kTileRows = 4, kTileVecs = 2;
inline Vec zero() { return _mm_setzero_pd(); }
inline Vec load(const double* p) { return _mm_loadu_pd(p); }
inline void store(double* p, Vec x) { _mm_storeu_pd(p, x); }
inline Vec splat(double a) { return _mm_set1_pd(a); }
inline Mask mask_of(int n) { return n; }
inline Vec load_part(const double* p, Mask) { return _mm_load_sd(p); }
inline void store_part(double* p, Vec x, Mask) { _mm_store_sd(p, x); }
inline Vec add(Vec a, Vec b) { return _mm_add_pd(a, b); }
inline Vec sub(Vec a, Vec b) { return _mm_sub_pd(a, b); }
inline Vec mul(Vec a, Vec b) { return _mm_mul_pd(a, b); }
#include <tarvel/core/detail/DenseKernelBody.h>
}  // namespace sse2

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif
namespace avx2
{
using Vec = __m256d;
using Mask = __m256i;
constexpr int kWidth = 4, kTileRows = 4, kTileVecs = 3;
inline Vec zero() { return _mm256_setzero_pd(); }
inline Vec load(const double* p) { return _mm256_loadu_pd(p); }
inline void store(double* p, Vec x) { _mm256_storeu_pd(p, x); }
inline Vec splat(double a) { return _mm256_set1_pd(a); }
inline Mask mask_of(int n)  // lanes below n set (sign bit), n < 4
{
    return _mm256_cmpgt_epi64(_mm256_set1_epi64x(n), _mm256_set_epi64x(3, 2, 1, 0));
}
inline Vec load_part(const double* p, Mask m) { return _mm256_maskload_pd(p, m); }
inline void store_part(double* p, Vec x, Mask m) { _mm256_maskstore_pd(p, m, x); }
inline Vec add(Vec a, Vec b) { return _mm256_add_pd(a, b); }
inline Vec sub(Vec a, Vec b) { return _mm256_sub_pd(a, b); }
inline Vec mul(Vec a, Vec b) { return _mm256_mul_pd(a, b); }
#include <tarvel/core/detail/DenseKernelBody.h>
}  // namespace avx2
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f")
#endif
namespace avx512
{
using Vec = __m512d;
using Mask = __mmask8;
constexpr int kWidth = 8, kTileRows = 8, kTileVecs = 3;
inline Vec zero() { return _mm512_setzero_pd(); }
inline Vec load(const double* p) { return _mm512_loadu_pd(p); }
inline void store(double* p, Vec x) { _mm512_storeu_pd(p, x); }
inline Vec splat(double a) { return _mm512_set1_pd(a); }
inline Mask mask_of(int n) { return static_cast<Mask>((1u << n) - 1u); }
inline Vec load_part(const double* p, Mask m) { return _mm512_maskz_loadu_pd(m, p); }
inline void store_part(double* p, Vec x, Mask m) { _mm512_mask_storeu_pd(p, m, x); }
inline Vec add(Vec a, Vec b) { return _mm512_add_pd(a, b); }
inline Vec sub(Vec a, Vec b) { return _mm512_sub_pd(a, b); }
inline Vec mul(Vec a, Vec b) { return _mm512_mul_pd(a, b); }
#include <tarvel/core/detail/DenseKernelBody.h>
}  // namespace avx512
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#endif  // TARVEL_DENSE_X86

#define TARVEL_DENSE_SET(ns)                                                                       \
    DenseKernels { #ns, &ns::product, &ns::row_dots, &ns::column_sums, &ns::scale, &ns::add_to, \
                   &ns::subtract, &ns::add_scaled }

const DenseKernels kGeneric = TARVEL_DENSE_SET(generic);
#ifdef TARVEL_DENSE_X86
const DenseKernels kSse2 = TARVEL_DENSE_SET(sse2);
const DenseKernels kAvx2 = TARVEL_DENSE_SET(avx2);
const DenseKernels kAvx512 = TARVEL_DENSE_SET(avx512);
#endif

// The sets this processor runs, best first, null-terminated.
struct Available
{
    const DenseKernels* sets[5] = {};

    Available()
    {
        int k = 0;
#ifdef TARVEL_DENSE_X86
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx512f")) sets[k++] = &kAvx512;
        if (__builtin_cpu_supports("avx2")) sets[k++] = &kAvx2;
        sets[k++] = &kSse2;
#endif
        sets[k++] = &kGeneric;
    }
};

// The thread's kept work array and whether an operation holds it.
struct KeptScratch
{
    std::unique_ptr<double[]> data;
    std::size_t size = 0;
    bool held = false;
};
thread_local KeptScratch t_scratch;

}  // namespace

const DenseKernels* const* dense_kernel_sets()
{
    static const Available a;
    return a.sets;
}

// Blocks of 8 x 8, so that both the rows read and the rows written stay in cache.
void transpose_into(const double* a, long lda, int rows, int cols, double* t)
{
    constexpr int B = 8;
    for (int i0 = 0; i0 < rows; i0 += B)
    {
        const int i1 = std::min(rows, i0 + B);
        for (int j0 = 0; j0 < cols; j0 += B)
        {
            const int j1 = std::min(cols, j0 + B);
            for (int i = i0; i < i1; ++i)
                for (int j = j0; j < j1; ++j) t[static_cast<long>(j) * rows + i] = a[i * lda + j];
        }
    }
}

DenseScratch::DenseScratch(std::size_t n) : m_pData(nullptr), m_bKept(false)
{
    KeptScratch& kept = t_scratch;
    if (n <= kKeptScratch && !kept.held)
    {
        if (kept.size < n)
        {
            const std::size_t grown = std::max(n, std::size_t(4096));
            kept.data.reset(new (std::nothrow) double[grown]);
            kept.size = kept.data ? grown : 0;
        }
        if (kept.data)
        {
            kept.held = true;
            m_bKept = true;
            m_pData = kept.data.get();
            return;
        }
    }
    m_pData = new (std::nothrow) double[std::max(n, std::size_t(1))];
}

DenseScratch::~DenseScratch()
{
    if (m_bKept)
        t_scratch.held = false;
    else
        delete[] m_pData;
}

}  // namespace tarvel::detail
