// TarvelClock: processor time in milliseconds, the unit the timing reports assume.
#include <tarvel/Tarvel.h>

#include <ctime>
#include <gtest/gtest.h>

TEST(Clock, CountsProcessorTimeInMilliseconds)
{
    // Bracketed by two readings of the C clock, converted to milliseconds.
    const double before = double(std::clock()) * 1000.0 / CLOCKS_PER_SEC;
    const long ticks = TarvelClock();
    const double after = double(std::clock()) * 1000.0 / CLOCKS_PER_SEC;
    EXPECT_GE(double(ticks), before - 1.0);
    EXPECT_LE(double(ticks), after + 1.0);
}
