// The skyline kernels of detail/SkylineKernelBody.h compiled for each instruction set, and the
// list of those the processor runs (platform/detail/InstructionSets.h).
//
//   set      vector        tile (rows x lanes)   a b + c
//   avx512   8 doubles     8 x 24                fused (FMA)
//   avx2     4 doubles     4 x 12                fused (FMA)
//   sse2     2 doubles     3 x 6                 multiply, then add
//   generic  1 double      2 x 4                 multiply, then add (processors other than x86)
//
// The tiles keep all accumulators and the loaded lanes in registers (16 of 16 with AVX2, 28 of
// 32 with AVX-512). Each set is compiled with its own target attributes, so the library itself
// needs no -march; sse2 is the x86-64 baseline.
#include <tarvel/platform/detail/InstructionSets.h>
#include <tarvel/skyline/detail/SkylineKernels.h>

#include <algorithm>
#include <climits>

#ifdef TARVEL_X86_KERNELS
#include <immintrin.h>
#endif

namespace tarvel::detail
{
namespace
{

namespace generic
{
using Vec = double;
constexpr int kWidth = 1, kTileRows = 2, kTileVecs = 4;
inline Vec zero() { return 0.0; }
inline Vec load(const double* p) { return *p; }
inline void store(double* p, Vec x) { *p = x; }
inline Vec splat(double a) { return a; }
inline Vec add(Vec a, Vec b) { return a + b; }
inline Vec sub(Vec a, Vec b) { return a - b; }
inline Vec mul(Vec a, Vec b) { return a * b; }
inline Vec madd(Vec a, Vec b, Vec c) { return c + a * b; }
inline Vec div(Vec a, Vec b) { return a / b; }
#include <tarvel/skyline/detail/SkylineKernelBody.h>
}  // namespace generic

#ifdef TARVEL_X86_KERNELS

namespace sse2
{
using Vec = __m128d;
constexpr int kWidth = 2, kTileRows = 3, kTileVecs = 3;
inline Vec zero() { return _mm_setzero_pd(); }
inline Vec load(const double* p) { return _mm_loadu_pd(p); }
inline void store(double* p, Vec x) { _mm_storeu_pd(p, x); }
inline Vec splat(double a) { return _mm_set1_pd(a); }
inline Vec add(Vec a, Vec b) { return _mm_add_pd(a, b); }
inline Vec sub(Vec a, Vec b) { return _mm_sub_pd(a, b); }
inline Vec mul(Vec a, Vec b) { return _mm_mul_pd(a, b); }
inline Vec madd(Vec a, Vec b, Vec c) { return _mm_add_pd(c, _mm_mul_pd(a, b)); }
inline Vec div(Vec a, Vec b) { return _mm_div_pd(a, b); }
#include <tarvel/skyline/detail/SkylineKernelBody.h>
}  // namespace sse2

TARVEL_TARGET_BEGIN("avx2,fma")
namespace avx2
{
using Vec = __m256d;
constexpr int kWidth = 4, kTileRows = 4, kTileVecs = 3;
inline Vec zero() { return _mm256_setzero_pd(); }
inline Vec load(const double* p) { return _mm256_loadu_pd(p); }
inline void store(double* p, Vec x) { _mm256_storeu_pd(p, x); }
inline Vec splat(double a) { return _mm256_set1_pd(a); }
inline Vec add(Vec a, Vec b) { return _mm256_add_pd(a, b); }
inline Vec sub(Vec a, Vec b) { return _mm256_sub_pd(a, b); }
inline Vec mul(Vec a, Vec b) { return _mm256_mul_pd(a, b); }
inline Vec madd(Vec a, Vec b, Vec c) { return _mm256_fmadd_pd(a, b, c); }
inline Vec div(Vec a, Vec b) { return _mm256_div_pd(a, b); }
#include <tarvel/skyline/detail/SkylineKernelBody.h>
}  // namespace avx2
TARVEL_TARGET_END

TARVEL_TARGET_BEGIN("avx512f")
namespace avx512
{
using Vec = __m512d;
constexpr int kWidth = 8, kTileRows = 8, kTileVecs = 3;
inline Vec zero() { return _mm512_setzero_pd(); }
inline Vec load(const double* p) { return _mm512_loadu_pd(p); }
inline void store(double* p, Vec x) { _mm512_storeu_pd(p, x); }
inline Vec splat(double a) { return _mm512_set1_pd(a); }
inline Vec add(Vec a, Vec b) { return _mm512_add_pd(a, b); }
inline Vec sub(Vec a, Vec b) { return _mm512_sub_pd(a, b); }
inline Vec mul(Vec a, Vec b) { return _mm512_mul_pd(a, b); }
inline Vec madd(Vec a, Vec b, Vec c) { return _mm512_fmadd_pd(a, b, c); }
inline Vec div(Vec a, Vec b) { return _mm512_div_pd(a, b); }
#include <tarvel/skyline/detail/SkylineKernelBody.h>
}  // namespace avx512
TARVEL_TARGET_END

#endif  // TARVEL_X86_KERNELS

#define TARVEL_SKYLINE_SET(ns)                                                                     \
    SkylineKernels { #ns, &ns::reduce_rows, &ns::dot, &ns::axpy, &ns::divide_row }

const SkylineKernels kGeneric = TARVEL_SKYLINE_SET(generic);
#ifdef TARVEL_X86_KERNELS
const SkylineKernels kSse2 = TARVEL_SKYLINE_SET(sse2);
const SkylineKernels kAvx2 = TARVEL_SKYLINE_SET(avx2);
const SkylineKernels kAvx512 = TARVEL_SKYLINE_SET(avx512);
#endif

const SkylineKernels* const* runnable_sets()
{
    static const RunnableSets<SkylineKernels> runnable{
#ifdef TARVEL_X86_KERNELS
        {&kAvx512, kCpuAvx512f},
        {&kAvx2, kCpuAvx2 | kCpuFma},
        {&kSse2, kCpuBaseline},
#endif
        {&kGeneric, kCpuBaseline}};
    return runnable.sets();
}

}  // namespace

const SkylineKernels& skyline_kernels() { return *runnable_sets()[0]; }

const SkylineKernels* const* skyline_kernel_sets() { return runnable_sets(); }

}  // namespace tarvel::detail
