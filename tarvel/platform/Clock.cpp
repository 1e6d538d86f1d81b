// TarvelClock: processor time of the process in milliseconds.
#include <tarvel/platform/Clock.h>

#include <ctime>

long TarvelClock()
{
    const std::clock_t ticks = std::clock();
    if (ticks == std::clock_t(-1)) return -1;  // processor time not available
    if constexpr (CLOCKS_PER_SEC % 1000 == 0)
        return static_cast<long>(ticks / (CLOCKS_PER_SEC / 1000));
    else
        return static_cast<long>(static_cast<double>(ticks) * 1000.0 / CLOCKS_PER_SEC);
}
