// Pseudo-random numbers 0 .. 32767 from the linear congruential rule
//   state = state * 214013 + 2531011, result = (state >> 16) & 0x7FFF,
// so that a seed gives the same sequence on every platform and compiler (the C library's rand
// differs between them). The state is process-wide and starts as if seeded with 1.
#pragma once

#define TARVEL_RAND_MAX 32767

void TarvelSrand(unsigned seed);
int TarvelRand();
