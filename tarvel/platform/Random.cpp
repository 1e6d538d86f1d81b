// TarvelSrand / TarvelRand: the linear congruential generator
//   x_{k+1} = (214013 x_k + 2531011) mod 2^32,  result (x_{k+1} >> 16) & 0x7FFF.
#include <tarvel/platform/Random.h>

#include <cstdint>

namespace
{

std::uint32_t g_state = 1;  // as if seeded with 1

}  // namespace

void TarvelSrand(unsigned seed) { g_state = seed; }

int TarvelRand()
{
    g_state = g_state * 214013u + 2531011u;  // unsigned arithmetic wraps modulo 2^32
    return static_cast<int>((g_state >> 16) & 0x7FFFu);
}
