// The run-time choice among the instruction sets a kernel family is compiled for: each family
// compiles one set of kernels per x86 level with target attributes (so the library needs no
// -march) and lists them, best first, with what each needs of the processor; this file keeps
// those the processor reports (cpuid through the compiler's builtin), then the portable set.
#pragma once

#include <tarvel/platform/Assert.h>

#include <initializer_list>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TARVEL_X86_KERNELS 1  // the families compile their SSE2, AVX2 and AVX-512 sets

// TARVEL_TARGET_BEGIN("avx2,fma") ... TARVEL_TARGET_END compiles the functions between them for
// that instruction set, whatever -march the library is built with.
#define TARVEL_PRAGMA(text) _Pragma(#text)
#if defined(__clang__)
#define TARVEL_TARGET_BEGIN(isa)                                                                   \
    TARVEL_PRAGMA(clang attribute push(__attribute__((target(isa))), apply_to = function))
#define TARVEL_TARGET_END TARVEL_PRAGMA(clang attribute pop)
#else
#define TARVEL_TARGET_BEGIN(isa) TARVEL_PRAGMA(GCC push_options) TARVEL_PRAGMA(GCC target(isa))
#define TARVEL_TARGET_END TARVEL_PRAGMA(GCC pop_options)
#endif
#endif

namespace tarvel::detail
{

// What a kernel set needs of the processor, or-ed. SSE2 is the x86-64 baseline: kCpuBaseline.
enum CpuNeeds : unsigned
{
    kCpuBaseline = 0,
    kCpuAvx2 = 1u << 0,
    kCpuFma = 1u << 1,
    kCpuAvx512f = 1u << 2,
};

// Whether the processor running this program has all of `needs`.
inline bool cpu_has(unsigned needs)
{
#ifdef TARVEL_X86_KERNELS
    __builtin_cpu_init();
    return (!(needs & kCpuAvx2) || __builtin_cpu_supports("avx2")) &&
           (!(needs & kCpuFma) || __builtin_cpu_supports("fma")) &&
           (!(needs & kCpuAvx512f) || __builtin_cpu_supports("avx512f"));
#else
    return needs == kCpuBaseline;
#endif
}

// The sets of one family this processor runs, best first, ending with a null entry: the
// candidates, in the order given, whose needs it meets.
template <class Set> class RunnableSets
{
public:
    struct Candidate
    {
        const Set* set;
        unsigned needs;
    };

    RunnableSets(std::initializer_list<Candidate> bestFirst)
    {
        TARVEL_ASSERT(bestFirst.size() < kMaxSets, "RunnableSets: too many candidates");
        int k = 0;
        for (const Candidate& c : bestFirst)
            if (cpu_has(c.needs)) m_sets[k++] = c.set;
    }
    const Set* const* sets() const { return m_sets; }

private:
    static constexpr unsigned kMaxSets = 5;
    const Set* m_sets[kMaxSets] = {};
};

}  // namespace tarvel::detail
