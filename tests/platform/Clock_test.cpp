// TarvelClock: processor time in milliseconds, the unit the timing reports assume.
#include <tarvel/Tarvel.h>

#include <ctime>
#include <gtest/gtest.h>

TEST(Clock, CountsProcessorTimeInMilliseconds)
{
    // Bracketed by two readings of the C clock converted to milliseconds.
    const double before = double(std::clock()) * 1000.0 / CLOCKS_PER_SEC;
    const double ticks = double(TarvelClock());
    EXPECT_GE(ticks, before - 1.0);
    EXPECT_LE(ticks, double(std::clock()) * 1000.0 / CLOCKS_PER_SEC + 1.0);
}
