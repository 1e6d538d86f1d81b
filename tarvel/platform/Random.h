/// \file
/// Pseudo-random numbers 0 .. 32767 from the linear congruential rule
///   state = state * 214013 + 2531011, result = (state >> 16) & 0x7FFF,
/// so that a seed gives the same sequence on every platform and compiler (the C library's rand
/// differs between them). The state is process-wide and starts as if seeded with 1.
/// Threads: the one state is shared, unsynchronized; draws on several threads at once interleave
/// (and race), so a sequence repeats only while one thread draws. TarvelSrand reseeds everyone.
#pragma once

#include <tarvel/platform/Export.h>
#define TARVEL_RAND_MAX 32767  ///< the largest number TarvelRand gives

TARVEL_API void TarvelSrand(unsigned seed);  ///< the state as if seeded with seed
TARVEL_API int TarvelRand();                 ///< the next number of the sequence
