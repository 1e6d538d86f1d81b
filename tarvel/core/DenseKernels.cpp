// The dense kernels of detail/DenseKernelBody.h compiled for each instruction set, the list of
// those the processor runs (platform/detail/InstructionSets.h), the transpose and the per-thread
// work space.
//
//   set      vector        tile (rows x lanes)   columns left over
//   avx512   8 doubles     8 x 24                4, 2 and 1 doubles
//   avx2     4 doubles     4 x 12                2 and 1 doubles
//   sse2     2 doubles     4 x 4                 1 double
//   generic  1 double      2 x 4                 none (processors other than x86)
//
// The tiles keep all accumulators, the loaded vectors of B and the broadcast a_ik in registers
// (28 of 32 with AVX-512, 16 of 16 with AVX2). Each set is compiled with its own target
// attributes, so the library itself needs no -march; sse2 is the x86-64 baseline. None uses a
// fused multiply-add: results are those of the plain loops, bit for bit.
#include <tarvel/core/detail/DenseKernels.h>
#include <tarvel/platform/detail/InstructionSets.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

#ifdef TARVEL_X86_KERNELS
#include <immintrin.h>
#endif

namespace tarvel::detail
{
namespace
{

// A list of vector widths.
template <class... K> struct Widths
{
};

// One struct per vector width: the type, its width and the operations the body uses.
#define TARVEL_DENSE_WIDTH(Name, V, W, zero_, load_, store_, splat_, add_, sub_, mul_)             \
    struct Name                                                                                    \
    {                                                                                              \
        using Vec = V;                                                                             \
        static constexpr int kWidth = W;                                                           \
        static Vec zero() { return zero_(); }                                                      \
        static Vec load(const double* p) { return load_(p); }                                      \
        static void store(double* p, Vec x) { store_(p, x); }                                      \
        static Vec splat(double a) { return splat_(a); }                                           \
        static Vec add(Vec a, Vec b) { return add_(a, b); }                                        \
        static Vec sub(Vec a, Vec b) { return sub_(a, b); }                                        \
        static Vec mul(Vec a, Vec b) { return mul_(a, b); }                                        \
    }

// The scalar width, for the columns left after the vectors.
inline double zero1() { return 0.0; }
inline double load1(const double* p) { return *p; }
inline void store1(double* p, double x) { *p = x; }
inline double splat1(double a) { return a; }
inline double add1(double a, double b) { return a + b; }
inline double sub1(double a, double b) { return a - b; }
inline double mul1(double a, double b) { return a * b; }
#define TARVEL_DENSE_SCALAR                                                                        \
    TARVEL_DENSE_WIDTH(W1, double, 1, zero1, load1, store1, splat1, add1, sub1, mul1)

#define TARVEL_DENSE_XMM                                                                           \
    TARVEL_DENSE_WIDTH(W2, __m128d, 2, _mm_setzero_pd, _mm_loadu_pd, _mm_storeu_pd, _mm_set1_pd,   \
                       _mm_add_pd, _mm_sub_pd, _mm_mul_pd)

namespace generic
{
TARVEL_DENSE_SCALAR;
using Wide = W1;
constexpr int kTileRows = 2, kTileVecs = 4;
using Narrower = Widths<>;
#include <tarvel/core/detail/DenseKernelBody.h>
}  // namespace generic

#ifdef TARVEL_X86_KERNELS

namespace sse2
{
TARVEL_DENSE_SCALAR;
TARVEL_DENSE_XMM;
using Wide = W2;
constexpr int kTileRows = 4, kTileVecs = 2;
using Narrower = Widths<W1>;
#include <tarvel/core/detail/DenseKernelBody.h>
}  // namespace sse2

TARVEL_TARGET_BEGIN("avx2")
namespace avx2
{
TARVEL_DENSE_SCALAR;
TARVEL_DENSE_XMM;
TARVEL_DENSE_WIDTH(W4, __m256d, 4, _mm256_setzero_pd, _mm256_loadu_pd, _mm256_storeu_pd,
                   _mm256_set1_pd, _mm256_add_pd, _mm256_sub_pd, _mm256_mul_pd);
using Wide = W4;
constexpr int kTileRows = 4, kTileVecs = 3;
using Narrower = Widths<W2, W1>;
#include <tarvel/core/detail/DenseKernelBody.h>
}  // namespace avx2
TARVEL_TARGET_END

TARVEL_TARGET_BEGIN("avx512f")
namespace avx512
{
TARVEL_DENSE_SCALAR;
TARVEL_DENSE_XMM;
TARVEL_DENSE_WIDTH(W4, __m256d, 4, _mm256_setzero_pd, _mm256_loadu_pd, _mm256_storeu_pd,
                   _mm256_set1_pd, _mm256_add_pd, _mm256_sub_pd, _mm256_mul_pd);
TARVEL_DENSE_WIDTH(W8, __m512d, 8, _mm512_setzero_pd, _mm512_loadu_pd, _mm512_storeu_pd,
                   _mm512_set1_pd, _mm512_add_pd, _mm512_sub_pd, _mm512_mul_pd);
using Wide = W8;
constexpr int kTileRows = 8, kTileVecs = 3;
using Narrower = Widths<W4, W2, W1>;
#include <tarvel/core/detail/DenseKernelBody.h>
}  // namespace avx512
TARVEL_TARGET_END

#endif  // TARVEL_X86_KERNELS

#define TARVEL_DENSE_SET(ns)                                                                       \
    DenseKernels                                                                                   \
    {                                                                                              \
#ns, &ns::product, &ns::row_dots, &ns::column_sums, &ns::scale, &ns::add_to,               \
            &ns::subtract, &ns::add_scaled, &ns::lu, &ns::cholesky                                 \
    }

const DenseKernels kGeneric = TARVEL_DENSE_SET(generic);
#ifdef TARVEL_X86_KERNELS
const DenseKernels kSse2 = TARVEL_DENSE_SET(sse2);
const DenseKernels kAvx2 = TARVEL_DENSE_SET(avx2);
const DenseKernels kAvx512 = TARVEL_DENSE_SET(avx512);
#endif

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
    static const RunnableSets<DenseKernels> runnable{
#ifdef TARVEL_X86_KERNELS
        {&kAvx512, kCpuAvx512f},
        {&kAvx2, kCpuAvx2},
        {&kSse2, kCpuBaseline},
#endif
        {&kGeneric, kCpuBaseline}};
    return runnable.sets();
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

void DenseScratch::take(std::size_t n)
{
    KeptScratch& kept = t_scratch;
    if (n <= kKept && !kept.held)
    {
        if (kept.size < n)
        {
            const std::size_t grown = std::max(n, 4 * kLocal);
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
    m_pData = new (std::nothrow) double[n];
}

void DenseScratch::give_back()
{
    if (m_bKept)
        t_scratch.held = false;
    else
        delete[] m_pData;
}

}  // namespace tarvel::detail
