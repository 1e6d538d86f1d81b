#include "support/FixedClock.h"

#include <tarvel/platform/Clock.h>

#include <ctime>

namespace
{

bool g_fixed = false;
long g_step = 0;
long g_readings = 0;

}  // namespace

long TarvelClock()
{
    if (g_fixed) return g_step * g_readings++;
    const std::clock_t ticks = std::clock();
    if (ticks == std::clock_t(-1)) return -1;
    return static_cast<long>(static_cast<double>(ticks) * 1000.0 / CLOCKS_PER_SEC);
}

namespace tarvel_test
{

FixedClock::FixedClock(long step)
{
    g_fixed = true;
    g_step = step;
    g_readings = 0;
}

FixedClock::~FixedClock() { g_fixed = false; }

}  // namespace tarvel_test
